// Cyrillic code-page detection and conversion, and the encoding of a
// configuration as a whole: detected once from its station and channel lines,
// or named by the host. Expectations come from glibc's iconv.

#include <KivComtradeLib/Cfg.h>
#include <KivComtradeLib/ToUtf8.h>

#include <gtest/gtest.h>

#include <iconv.h>

#include <sstream>
#include <string>
#include <vector>

using KivComtradeLib::Cfg;

namespace {

// The reference conversion; empty when iconv cannot convert.
std::string iconvText(const char* to, const char* from, const std::string& text)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return "";
    std::string in = text, out(text.size() * 4 + 4, '\0');
    char *inPtr = in.data(), *outPtr = out.data();
    std::size_t inLeft = in.size(), outLeft = out.size();
    const bool ok = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1);
    iconv_close(cd);
    out.resize(out.size() - outLeft);
    return ok ? out : "";
}

std::string in(const char* codePage, const std::string& utf8) { return iconvText(codePage, "UTF-8", utf8); }

// 1251 leaves 0x98 unassigned and 0xAD is a soft hyphen: both read as a blank.
TEST(ToUtf8Tables, EveryByteMatchesIconvButTheTwoBlankCells)
{
    for (int b = 0; b < 0x100; ++b) {
        const char byte = static_cast<char>(b);
        const std::string as1251 = b == 0x98 || b == 0xAD ? " " : iconvText("UTF-8", "CP1251", {byte});
        ASSERT_FALSE(as1251.empty() || iconvText("UTF-8", "CP866", {byte}).empty()) << "iconv lacks byte " << b;
        EXPECT_EQ(toUtf8::from866(&byte, 1), iconvText("UTF-8", "CP866", {byte})) << "866 byte " << b;
        EXPECT_EQ(toUtf8::from1251(&byte, 1), as1251) << "1251 byte " << b;
    }
}

TEST(ToUtf8Sequences, CountsWellFormedRunAndStopsAtBadLeadOrNul)
{
    const struct {
        std::string bytes; // a NUL follows
        int count;
        long stop; // where the pointer is left
    } cases[] = {
        {"\xD0\x90\xD0\x91" "A", 2, 4}, {"\xE0\xA0\x80\xED\x9F\xBF", 2, 6}, {"\xF0\x90\x80\x80\xF4\x8F\xBF\xBF", 2, 8},
        {"\xED\xA0\x80", 0, 0}, {"\xC0\x80", 0, 0}, {"\xF4\x90\x80\x80", 0, 0}, {"\xC2\x7F", 0, 0}, // surrogate, overlong, too high
        {"\xD0\x90\xE1\x80\xC0", 1, 2}, // stops on the lead of the bad one
        {"\xC2\x80\xE1\x80", 1, 2},     // the NUL cuts the second one short
    };
    for (const auto& c : cases) {
        const std::string buffer = c.bytes;
        const char* p = buffer.c_str();
        EXPECT_EQ(toUtf8::isUtf8Seq(p), c.count) << testing::PrintToString(c.bytes);
        EXPECT_EQ(p - buffer.c_str(), c.stop) << testing::PrintToString(c.bytes);
    }
}

// Votes as "866/1251/utf8".
TEST(ToUtf8Detector, VotesAndDecision)
{
    const std::vector<std::pair<std::string, std::string>> votes = {
        {"\x80\xF2\xD0\x90\xD0\x91\xD0\x92\xD0\xD0", "2/3/3"}, {"\xF2\xD0\x90\xD0\x91\xD0\xD0", "1/3/2"},
        {"\xD2\xEE\xEA", "2/3/0"}, {"\x92\xAE\xAA", "3/0/0"}, // "Ток" in 1251 and in 866
        {"\xE0\xF2\xF3\xB0\xB1\xC0\x7F", "3/4/0"}, {"abc\xD0", "0/1/0"}, {"\xD0\x90", "0/0/1"},
    };
    for (const auto& [text, expected] : votes) {
        toUtf8::DetectRusCodePages d;
        d.analize(text.data(), text.size());
        EXPECT_EQ(std::to_string(d.count866) + "/" + std::to_string(d.count1251) + "/" + std::to_string(d.countUtf8),
                  expected) << testing::PrintToString(text);
    }
    const std::string text = "\xD2\xEE\xEA";
    const std::string as866 = iconvText("UTF-8", "CP866", text), as1251 = iconvText("UTF-8", "CP1251", text);
    const struct {
        int c866, c1251, utf8;
        std::string result;
    } cases[] = {
        {3, 2, 1, as866}, {2, 2, 1, as866}, // 866 wins a tie with 1251
        {2, 3, 1, as1251}, {1, 3, 2, as1251}, {0, 1, 0, as1251},
        {2, 2, 2, text}, {1, 3, 3, text}, {0, 0, 0, text}, // UTF-8 wins ties
    };
    for (const auto& c : cases) {
        toUtf8::DetectRusCodePages d;
        d.count866 = c.c866, d.count1251 = c.c1251, d.countUtf8 = c.utf8;
        EXPECT_EQ(d.convertSC(text, text.data(), text.size()), c.result) << c.c866 << c.c1251 << c.utf8;
    }
    EXPECT_EQ(toUtf8::detectAndConvert("\xD2\xEE\xEA"), "Ток");
    EXPECT_EQ(toUtf8::detectAndConvert("\x92\xAE\xAA"), "Ток");
}

// A configuration whose station is `station` and whose status channels are
// named `names` (bytes as the file holds them), read with `encoding`.
Cfg load(const std::string& station, const std::vector<std::string>& names, const std::string& encoding = "")
{
    std::string text = station + ",REL,1999\n" + std::to_string(names.size()) + ",0A," +
                       std::to_string(names.size()) + "D\n";
    for (std::size_t i = 0; i < names.size(); ++i)
        text += std::to_string(i + 1) + "," + names[i] + ",,,0\n";
    text += "50\n1\n1000,10\n01/01/2020,00:00:00\n01/01/2020,00:00:00\nASCII\n";
    std::istringstream stream(text);
    KivComtradeLib::LoadOptions options;
    options.encoding = encoding;
    Cfg cfg;
    EXPECT_EQ(cfg.load(stream, "x.cfg", options), 4) << cfg.report.message;
    std::string all = cfg.stationName;
    for (const auto& channel : cfg.binaryChannels)
        all += "|" + channel.channelId;
    cfg.stationName = all;
    return cfg;
}

TEST(FileEncoding, DetectedOnceForTheWholeFile)
{
    // Judged alone, the short 1251 line passes for 866; the 866 bytes of "ход"
    // (E5 AE A4) are well-formed UTF-8.
    const std::string shortLine = in("CP1251", "SGUзв.не гот."), in866 = in("CP866", "ход");
    const struct {
        std::string station;
        std::vector<std::string> names;
        const char* encoding;
        const char* expected;
    } cases[] = {
        {"SUB", {in("CP1251", "Ток фазы А"), shortLine}, "CP1251", "SUB|Ток фазы А|SGUзв.не гот."},
        {in("CP866", "СИРИУС"), {in("CP866", "Вход 2"), in866, in("CP866", "Пуск МТЗ")}, "CP866",
         "СИРИУС|Вход 2|ход|Пуск МТЗ"},
        {"SUB", {"Ток фазы А", in("CP1251", "Пуск МТЗ"), in("CP1251", "Отказ")}, "CP1251",
         "SUB|Ток фазы А|Пуск МТЗ|Отказ"}, // a line re-typed in UTF-8 among 1251 lines stays
        {"SUB", {"纵联差动保护", "Ток"}, "UTF-8", "SUB|纵联差动保护|Ток"},
        {"SUB", {"Ток фазы А\xFF"}, "UTF-8", "SUB|Ток фазы А\xEF\xBF\xBD"}, // a stray byte, with a warning
    };
    for (const auto& c : cases) {
        const Cfg cfg = load(c.station, c.names);
        EXPECT_EQ(cfg.stationName, c.expected);
        EXPECT_EQ(cfg.report.encoding, c.encoding) << c.expected;
        EXPECT_TRUE(cfg.report.encodingDetected);
        EXPECT_EQ(cfg.report.warnings.size(), c.names[0].back() == '\xFF' ? 1u : 0u) << c.expected;
    }
}

TEST(FileEncoding, NamedByTheHost)
{
    const std::string latin = "Esta\xE7\xE3o", gbk = in("GBK", "纵联差动保护");
    EXPECT_EQ(load("SUB", {latin}).stationName, "SUB|Estaчуo"); // detection takes it for 866
    const struct {
        const char *name, *reported, *iconvName;
        std::string bytes;
    } cases[] = {
        {"cp1252", "CP1252", "CP1252", latin}, {"Latin-1", "ISO-8859-1", "ISO-8859-1", latin},
        {"Windows-1251", "CP1251", "CP1251", in("CP1251", "Ток")}, {"GB18030", "GB18030", "GB18030", gbk},
    };
    for (const auto& c : cases) {
        const std::string expected = iconvText("UTF-8", c.iconvName, c.bytes);
        const Cfg cfg = load(c.bytes, {c.bytes}, c.name);
        EXPECT_EQ(cfg.stationName, expected + "|" + expected) << c.name;
        EXPECT_EQ(cfg.report.encoding, c.reported);
        EXPECT_FALSE(cfg.report.encodingDetected);
    }
    std::istringstream stream("SUB,REL,1999\n");
    KivComtradeLib::LoadOptions options;
    options.encoding = "EBCDIC";
    Cfg cfg;
    EXPECT_EQ(cfg.load(stream, "x.cfg", options), 3);
    EXPECT_EQ(cfg.report.message, "x.cfg: unknown encoding 'EBCDIC'");
}

} // namespace
