// Cyrillic code pages, and the encoding of a configuration as a whole.
// Expectations come from glibc's iconv.

#include <KivComtradeLib/Cfg.h>
#include <KivComtradeLib/ToUtf8.h>

#include <gtest/gtest.h>

#include <iconv.h>

#include <sstream>
#include <string>
#include <tuple>
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

// Votes as "866/1251/utf8"; surrogates and overlong forms are no UTF-8.
TEST(ToUtf8Detector, VotesAndDecision)
{
    const std::vector<std::pair<std::string, std::string>> votes = {
        {"\x80\xF2\xD0\x90\xD0\x91\xD0\x92\xD0\xD0", "2/3/3"}, {"\xD2\xEE\xEA", "2/3/0"}, {"\x92\xAE\xAA", "3/0/0"}, // "Ток" in 1251 and in 866
        {"\xE0\xF2\xF3\xB0\xB1\xC0\x7F", "3/4/0"}, {"abc\xD0", "0/1/0"}, {"\xD0\x90", "0/0/1"},
        {"\xED\xA0\x80", "3/1/0"}, {"\xC0\x80", "1/1/0"}, {"\xF0\x90\x80\x80\xE0\xA0\x80", "0/0/2"},
    };
    for (const auto& [text, expected] : votes) {
        toUtf8::DetectRusCodePages d;
        d.analize(text.data(), text.size());
        EXPECT_EQ(std::to_string(d.count866) + "/" + std::to_string(d.count1251) + "/" + std::to_string(d.countUtf8),
                  expected) << testing::PrintToString(text);
    }
    // The decision: 866 wins a tie with 1251, UTF-8 (unchanged) wins ties.
    const std::string text = "\xD2\xEE\xEA";
    const std::string as866 = iconvText("UTF-8", "CP866", text), as1251 = iconvText("UTF-8", "CP1251", text);
    for (const auto& [c866, c1251, utf8, result] : std::vector<std::tuple<int, int, int, std::string>>{
             {3, 2, 1, as866}, {2, 2, 1, as866}, {2, 3, 1, as1251}, {1, 3, 2, as1251}, {0, 1, 0, as1251},
             {2, 2, 2, text}, {1, 3, 3, text}, {0, 0, 0, text}}) {
        toUtf8::DetectRusCodePages d;
        d.count866 = c866, d.count1251 = c1251, d.countUtf8 = utf8;
        EXPECT_EQ(d.convertSC(text, text.data(), text.size()), result) << c866 << c1251 << utf8;
    }
    EXPECT_EQ(toUtf8::detectAndConvert("\xD2\xEE\xEA") + toUtf8::detectAndConvert("\x92\xAE\xAA"), "ТокТок");
}

// A configuration whose station is `station` and whose status channels are
// named `names` (bytes as the file holds them), read with `encoding`: the
// names in UTF-8, the encoding, whether detected or warned (the first warning
// in `warning`); or the failure.
std::string load(const std::string& station, const std::vector<std::string>& names, const std::string& encoding,
                 std::string* warning = nullptr)
{
    const std::string count = std::to_string(names.size());
    std::string text = station + ",REL,1999\n" + count + ",0A," + count + "D\n";
    for (std::size_t i = 0; i < names.size(); ++i)
        text += std::to_string(i + 1) + "," + names[i] + ",,,0\n";
    std::istringstream stream(text + "50\n1\n1000,10\n01/01/2020,00:00:00\n01/01/2020,00:00:00\nASCII\n");
    KivComtradeLib::LoadOptions options;
    options.encoding = encoding;
    Cfg cfg;
    if (cfg.load(stream, "x.cfg", options) != 4)
        return cfg.report.message;
    if (warning && !cfg.report.warnings.empty())
        *warning = cfg.report.warnings[0];
    std::string all = cfg.stationName;
    for (const auto& channel : cfg.binaryChannels)
        all += "|" + channel.channelId;
    return all + " " + cfg.report.encoding + (cfg.report.encodingDetected ? " detected" : "") +
           (cfg.report.warnings.empty() ? "" : " warned");
}

// Detected once from the station and channel lines together, or named by the
// host. Judged alone, the short 1251 line passes for 866, and the 866 bytes of
// "ход" (E5 AE A4) are well-formed UTF-8.
TEST(FileEncoding, DetectedForTheWholeFileOrNamed)
{
    const std::string latin = "Esta\xE7\xE3o";
    for (const auto& [station, names, named, expected] :
         std::vector<std::tuple<std::string, std::vector<std::string>, std::string, std::string>>{
             {"SUB", {in("CP1251", "Ток фазы А"), in("CP1251", "SGUзв.не гот.")}, "", "SUB|Ток фазы А|SGUзв.не гот. CP1251 detected"},
             {in("CP866", "СИРИУС"), {in("CP866", "Вход 2"), in("CP866", "ход")}, "", "СИРИУС|Вход 2|ход CP866 detected warned"}, // 13 bytes, uchardet silent
             {"SUB", {"Ток фазы А", in("CP1251", "Пуск МТЗ"), in("CP1251", "Отказ")}, "",
              "SUB|Ток фазы А|Пуск МТЗ|Отказ CP1251 detected"}, // a line re-typed in UTF-8 among 1251 lines stays
             {"SUB", {"纵联差动保护", "Ток\xFF"}, "", "SUB|纵联差动保护|Ток\xEF\xBF\xBD UTF-8 detected warned"},
             {"SUB", {latin}, "", "SUB|Estação ISO-8859-1 detected warned"}, // 2 bytes: a guess, said so
             {in("LATIN1", "Estação de Medição"), {in("LATIN1", "Proteção Ação"), in("LATIN1", "Tensão Média"), in("LATIN1", "Corrente Máxima"),
                                                   in("LATIN1", "Ligação à Terra"), in("LATIN1", "Medição Elétrica")},
              "", "Estação de Medição|Proteção Ação|Tensão Média|Corrente Máxima|Ligação à Terra|Medição Elétrica ISO-8859-1 detected"},
             {"SUB", {in("CP1252", "Ligação €"), in("LATIN1", "Tensão Média"), in("LATIN1", "Proteção Térmica")},
              "", "SUB|Ligação €|Tensão Média|Proteção Térmica CP1252 detected warned"}, // 0x80: the euro of 1252
             {in("GBK", "华中科技大学动模实验室"), {in("GBK", "纵联差动保护"), "远方跳闸保护", in("GBK", "A相跳闸位置")}, "",
              "华中科技大学动模实验室|纵联差动保护|远方跳闸保护|A相跳闸位置 GB18030 detected"}, // one line re-typed in UTF-8
             {"SUB", {in("CP1251", "Ток фазы А линии"), in("CP1251", "Пуск МТЗ")}, "",
              "SUB|Ток фазы А линии|Пуск МТЗ CP1251 detected"}, // 20 bytes, and uchardet agrees
             {latin, {latin}, "cp1252", "Estação|Estação CP1252"}, {"SUB", {latin}, "Latin-1", "SUB|Estação ISO-8859-1"},
             {"SUB", {"\x92\xAE\xAA"}, "Windows-1251", "SUB|’®Є CP1251"},
             {in("GBK", "纵联差动保护"), {"IA"}, "GB18030", "纵联差动保护|IA GB18030"},
             {"SUB", {"IA"}, "EBCDIC", "x.cfg: unknown encoding 'EBCDIC'"}})
        EXPECT_EQ(load(station, names, named), expected);
    // The warning of a guess (here a wrong one: 4 GBK bytes) names the encoding and the bytes it rests on.
    std::string warning;
    EXPECT_EQ(load("SUB", {in("GBK", "电流")}, "", &warning), "SUB|µзБч CP1251 detected warned");
    EXPECT_EQ(warning, "x.cfg: names read as CP1251 (detected from 4 bytes); name the encoding if they look wrong");
}

} // namespace
