// The encoding of a configuration as a whole: detected once for the file from
// its station and channel lines, or named by the host.

#include <KivComtradeLib/Cfg.h>
#include <KivComtradeLib/ToUtf8.h>

#include <gtest/gtest.h>

#include <iconv.h>

#include <sstream>
#include <string>
#include <vector>

using KivComtradeLib::Cfg;
using KivComtradeLib::LoadOptions;

namespace {

// The reference conversion: glibc's iconv. Empty when it cannot convert.
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
    LoadOptions options;
    options.encoding = encoding;
    Cfg cfg;
    EXPECT_EQ(cfg.load(stream, "x.cfg", options), 4) << cfg.report.message;
    return cfg;
}

std::string names(const Cfg& cfg)
{
    std::string all = cfg.stationName;
    for (const auto& channel : cfg.binaryChannels)
        all += "|" + channel.channelId;
    return all;
}

TEST(FileEncoding, DetectedOnceForTheWholeFile)
{
    const std::string shortLine = in("CP1251", "SGUзв.не гот."), in866 = in("CP866", "ход");
    // Judged alone, the short 1251 line passes for 866; and the 866 bytes of
    // "ход" (E5 AE A4) are well-formed UTF-8.
    ASSERT_NE(toUtf8::detectAndConvert(shortLine), "SGUзв.не гот.");
    ASSERT_EQ(in866, "\xE5\xAE\xA4");
    const struct {
        std::string station;
        std::vector<std::string> names;
        const char* encoding;
        const char* expected;
    } cases[] = {
        {"SUB", {in("CP1251", "Ток фазы А"), shortLine}, "CP1251", "SUB|Ток фазы А|SGUзв.не гот."},
        {in("CP866", "СИРИУС"), {in("CP866", "Вход 2"), in866, in("CP866", "Пуск МТЗ")}, "CP866",
         "СИРИУС|Вход 2|ход|Пуск МТЗ"},
        {in("CP1251", "Подстанция"), {"IA", "IB"}, "CP1251", "Подстанция|IA|IB"},
        // A line re-typed in UTF-8 among 1251 lines stays.
        {"SUB", {"Ток фазы А", in("CP1251", "Пуск МТЗ"), in("CP1251", "Отказ")}, "CP1251",
         "SUB|Ток фазы А|Пуск МТЗ|Отказ"},
        {"SUB", {"纵联差动保护", "Ток"}, "UTF-8", "SUB|纵联差动保护|Ток"},
        {"SUB", {"Ток фазы А\xFF"}, "UTF-8", "SUB|Ток фазы А\xEF\xBF\xBD"}, // a stray byte in UTF-8
        {"SUB", {"IA"}, "UTF-8", "SUB|IA"},
    };
    for (const auto& c : cases) {
        const Cfg cfg = load(c.station, c.names);
        EXPECT_EQ(names(cfg), c.expected);
        EXPECT_EQ(cfg.report.encoding, c.encoding) << c.expected;
        EXPECT_TRUE(cfg.report.encodingDetected);
        EXPECT_EQ(cfg.report.warnings.size(), c.names[0].back() == '\xFF' ? 1u : 0u) << c.expected;
    }
}

// Every high byte of each single-byte code page, and GBK text, as iconv reads them.
TEST(FileEncoding, NamedByTheHost)
{
    const auto highBytes = [](std::initializer_list<int> skip) {
        std::string bytes;
        for (int b = 0x80; b < 0x100; ++b)
            if (std::find(skip.begin(), skip.end(), b) == skip.end())
                bytes += static_cast<char>(b);
        return bytes;
    };
    const struct {
        const char* name;
        const char* reported;
        const char* iconvName;
        std::string bytes;
    } cases[] = {
        {"utf8", "UTF-8", "UTF-8", "Ток фазы А"},
        {"CP866", "CP866", "CP866", highBytes({})},
        {"Windows-1251", "CP1251", "CP1251", highBytes({0x98, 0xAD})}, // those two read as a blank
        {"cp1252", "CP1252", "CP1252", highBytes({0x81, 0x8D, 0x8F, 0x90, 0x9D})},
        {"Latin-1", "ISO-8859-1", "ISO-8859-1", highBytes({})},
        {"GB18030", "GB18030", "GB18030", in("GBK", "纵联差动保护 光纤通道一")},
    };
    for (const auto& c : cases) {
        const std::string expected = iconvText("UTF-8", c.iconvName, c.bytes);
        ASSERT_FALSE(expected.empty()) << c.name;
        const Cfg cfg = load(c.bytes, {c.bytes}, c.name);
        EXPECT_EQ(names(cfg), expected + "|" + expected) << c.name;
        EXPECT_EQ(cfg.report.encoding, c.reported);
        EXPECT_FALSE(cfg.report.encodingDetected);
    }
    // Latin bytes that detection takes for Cyrillic read right once named.
    EXPECT_EQ(names(load("SUB", {"Esta\xE7\xE3o"})), "SUB|Estaчуo"); // 866 wins the tie
    EXPECT_EQ(names(load("SUB", {"Esta\xE7\xE3o"}, "CP1252")), "SUB|Estação");

    std::istringstream stream("SUB,REL,1999\n");
    LoadOptions options;
    options.encoding = "EBCDIC";
    Cfg cfg;
    EXPECT_EQ(cfg.load(stream, "x.cfg", options), 3);
    EXPECT_EQ(cfg.report.message, "x.cfg: unknown encoding 'EBCDIC'");
}

} // namespace
