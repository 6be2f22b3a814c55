#include <KivComtradeLib/Cfg.h>

#include <gtest/gtest.h>

#include <iconv.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <system_error>
#include <vector>

#include <stdlib.h>

using KivComtradeLib::Cfg;
namespace Enums = KivComtradeLib::Enums;

namespace {

using Lines = std::vector<std::string>;

class ScratchDir {
public:
    ScratchDir()
    {
        char pattern[] = "/tmp/kivcomtrade-cfg-XXXXXX";
        if (const char* made = ::mkdtemp(pattern)) {
            path_ = made;
        }
    }
    ~ScratchDir()
    {
        std::error_code ignored;
        if (!path_.empty()) {
            std::filesystem::remove_all(path_, ignored);
        }
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

bool writeBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios_base::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

std::string joined(const Lines& lines, const std::string& eol, bool finalEol = true)
{
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        text += lines[i];
        if (i + 1 < lines.size() || finalEol) {
            text += eol;
        }
    }
    return text;
}

// UTF-8 text in a single-byte code page, by the system's iconv.
std::string encoded(const char* codePage, const std::string& utf8)
{
    iconv_t cd = iconv_open(codePage, "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return std::string();
    }
    std::string in = utf8;
    std::string out(in.size() * 2 + 4, '\0');
    char* inPtr = &in[0];
    char* outPtr = &out[0];
    std::size_t inLeft = in.size();
    std::size_t outLeft = out.size();
    const std::size_t done = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (done == static_cast<std::size_t>(-1)) {
        return std::string();
    }
    out.resize(out.size() - outLeft);
    return out;
}

void expectSameCfg(const Cfg& a, const Cfg& b, const std::string& context)
{
    SCOPED_TRACE(context);
    EXPECT_EQ(a.stationName, b.stationName);
    EXPECT_EQ(a.recDevId, b.recDevId);
    EXPECT_EQ(a.revYear, b.revYear);
    EXPECT_EQ(a.channelsCount, b.channelsCount);
    EXPECT_EQ(a.analogChannelsCount, b.analogChannelsCount);
    EXPECT_EQ(a.binaryChannelsCount, b.binaryChannelsCount);
    EXPECT_EQ(a.lineFrequency, b.lineFrequency);
    ASSERT_EQ(a.analogChannels.size(), b.analogChannels.size());
    for (std::size_t i = 0; i < a.analogChannels.size(); ++i) {
        const auto& x = a.analogChannels[i];
        const auto& y = b.analogChannels[i];
        EXPECT_EQ(x.channelInfo(), y.channelInfo()) << "analog " << i;
        EXPECT_EQ(x.name(), y.name()) << "analog " << i;
        EXPECT_EQ(x.index, y.index);
        EXPECT_EQ(x.multiplier, y.multiplier);
        EXPECT_EQ(x.a, y.a);
        EXPECT_EQ(x.b, y.b);
        EXPECT_EQ(x.skew, y.skew);
    }
    ASSERT_EQ(a.binaryChannels.size(), b.binaryChannels.size());
    for (std::size_t i = 0; i < a.binaryChannels.size(); ++i) {
        EXPECT_EQ(a.binaryChannels[i].channelInfo(), b.binaryChannels[i].channelInfo()) << "status " << i;
        EXPECT_EQ(a.binaryChannels[i].index, b.binaryChannels[i].index);
    }
    ASSERT_EQ(a.samplingRates.size(), b.samplingRates.size());
    for (std::size_t i = 0; i < a.samplingRates.size(); ++i) {
        EXPECT_EQ(a.samplingRates[i].rate, b.samplingRates[i].rate) << "rate " << i;
        EXPECT_EQ(a.samplingRates[i].endSample, b.samplingRates[i].endSample) << "rate " << i;
    }
    EXPECT_EQ(a.samplesCount, b.samplesCount);
    EXPECT_EQ(a.allRatesNonZero, b.allRatesNonZero);
    EXPECT_EQ(a.dataFileType, b.dataFileType);
    EXPECT_EQ(a.analogValueSize, b.analogValueSize);
    EXPECT_EQ(a.analogValuesSize, b.analogValuesSize);
    EXPECT_EQ(a.binaryWordsCount, b.binaryWordsCount);
    EXPECT_EQ(a.binaryValuesSize, b.binaryValuesSize);
    EXPECT_EQ(a.recordSize, b.recordSize);
    EXPECT_EQ(a.timeMultiplier, b.timeMultiplier);
    EXPECT_EQ(a.duration, b.duration);
}

// A valid configuration, one line per element.
const Lines kBase = {
    "SUB,REL,1999",                                   // 0 station
    "3,2A,1D",                                        // 1 counts
    "1,IA,A,Q1,A,0.5,0.1,1.5,-32767,32767,1000,1,P",  // 2 analog
    "2,UB,B,Q1,kV,2,0,0,-32767,32767,1,1,S",          // 3 analog
    "1,TRIP,,Q1,1",                                   // 4 status
    "60",                                             // 5 line frequency
    "1",                                              // 6 nrates
    "1000,100",                                       // 7 rate
    "01/01/2020,00:00:00.000000",                     // 8 first sample
    "01/01/2020,00:00:00.100000",                     // 9 trigger
    "BINARY",                                         // 10 file type
    "1.0",                                            // 11 time multiplier
};

Lines with(std::size_t i, const std::string& text)
{
    Lines lines = kBase;
    lines[i] = text;
    return lines;
}

Lines upTo(std::size_t count)
{
    return Lines(kBase.begin(), kBase.begin() + static_cast<long>(count));
}

class CfgLoad : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(dir_.path().empty()); }

    int load(Cfg& cfg, const std::string& bytes, const std::string& name = "rec.cfg")
    {
        const std::string path = dir_.file(name);
        EXPECT_TRUE(writeBytes(path, bytes));
        return cfg.load(path);
    }

    // Loads the lines with LF and with CR LF line ends, expects `code` both
    // ways and the same fields; `check` looks at the LF result.
    void loadBothWays(const Lines& lines, int code, const std::function<void(const Cfg&)>& check,
                      const std::string& context, bool finalEol = true)
    {
        Cfg lf;
        Cfg crlf;
        EXPECT_EQ(load(lf, joined(lines, "\n", finalEol), "lf.cfg"), code) << context;
        EXPECT_EQ(load(crlf, joined(lines, "\r\n", finalEol), "crlf.cfg"), code) << context << " (CR LF)";
        expectSameCfg(lf, crlf, context);
        if (check) {
            SCOPED_TRACE(context);
            check(lf);
        }
    }

    ScratchDir dir_;
};

TEST_F(CfgLoad, ReadsEveryLine)
{
    for (bool finalEol : {true, false}) {
        loadBothWays(kBase, 4, [](const Cfg& cfg) {
            EXPECT_EQ(cfg.stationName, "SUB");
            EXPECT_EQ(cfg.recDevId, "REL");
            EXPECT_EQ(cfg.revYear, 1999);
            EXPECT_EQ(cfg.channelsCount, 3);
            EXPECT_EQ(cfg.analogChannelsCount, 2);
            EXPECT_EQ(cfg.binaryChannelsCount, 1);
            EXPECT_DOUBLE_EQ(cfg.lineFrequency, 60.0);
            ASSERT_EQ(cfg.analogChannels.size(), 2u);
            EXPECT_EQ(cfg.analogChannels[0].channelInfo(),
                      "1,IA,A,Q1,A,0.000500,0.100000,0.000002,-32767.000000,32767.000000,"
                      "1000.000000,1.000000,P");
            EXPECT_EQ(cfg.analogChannels[1].name(), "UB,B,Q1,kV");
            EXPECT_DOUBLE_EQ(cfg.analogChannels[1].GetRealValue(3.0), 6000.0);
            ASSERT_EQ(cfg.binaryChannels.size(), 1u);
            EXPECT_EQ(cfg.binaryChannels[0].channelInfo(), "1,TRIP,,Q1,1");
            ASSERT_EQ(cfg.samplingRates.size(), 1u);
            EXPECT_DOUBLE_EQ(cfg.samplingRates[0].rate, 1000.0);
            EXPECT_EQ(cfg.samplingRates[0].endSample, 100u);
            EXPECT_EQ(cfg.samplesCount, 100u);
            EXPECT_TRUE(cfg.allRatesNonZero);
            EXPECT_EQ(cfg.dataFileType, Enums::Binary);
            EXPECT_EQ(cfg.recordSize, 8u + 4u + 2u);
            EXPECT_DOUBLE_EQ(cfg.timeMultiplier, 1.0);
            EXPECT_DOUBLE_EQ(cfg.duration, 0.099);
            EXPECT_EQ(cfg.line, "1.0");
        }, finalEol ? "final line end" : "no final line end", finalEol);
    }
}

TEST_F(CfgLoad, FailuresGiveTheirCodeAndKeepWhatWasRead)
{
    struct Variant {
        std::string name;
        Lines lines;
        std::function<void(const Cfg&)> check;
    };
    const std::vector<Variant> variants = {
        {"empty file", {}, [](const Cfg& c) { EXPECT_EQ(c.stationName, "Station1"); }},
        {"empty station line", with(0, ""), [](const Cfg& c) { EXPECT_EQ(c.stationName, "Station1"); }},
        {"year not a number", with(0, "SUB,REL,X"),
         [](const Cfg& c) {
             EXPECT_EQ(c.stationName, "SUB");
             EXPECT_EQ(c.recDevId, "REL");
             EXPECT_EQ(c.revYear, 1999);
         }},
        {"year out of range", with(0, "SUB,REL,99999999999"), nullptr},
        {"no counts line", upTo(1), [](const Cfg& c) { EXPECT_EQ(c.stationName, "SUB"); }},
        {"empty counts line", with(1, ""), nullptr},
        {"counts not numbers", with(1, "x,2A,1D"), nullptr},
        {"TT zero", with(1, "0,0A,0D"), [](const Cfg& c) { EXPECT_EQ(c.channelsCount, 0); }},
        {"counts do not add up", with(1, "5,2A,2D"),
         [](const Cfg& c) {
             EXPECT_EQ(c.channelsCount, 5);
             EXPECT_EQ(c.analogChannelsCount, 2);
             EXPECT_EQ(c.binaryChannelsCount, 2);
             EXPECT_TRUE(c.analogChannels.empty());
         }},
        {"two count fields", with(1, "3,2A"), [](const Cfg& c) { EXPECT_TRUE(c.analogChannels.empty()); }},
        {"one count field", with(1, "3"), nullptr},
        {"count out of range", with(1, "3,2A,99999999999D"), nullptr},
        {"negative status count", with(1, "1,2A,-1D"),
         [](const Cfg& c) {
             EXPECT_TRUE(c.analogChannels.empty());
             EXPECT_TRUE(c.binaryChannels.empty());
             EXPECT_TRUE(c.samplingRates.empty());
         }},
        {"negative counts", with(1, "-2,-1A,-1D"), [](const Cfg& c) { EXPECT_TRUE(c.analogChannels.empty()); }},
        {"channel lines break off", upTo(3),
         [](const Cfg& c) {
             ASSERT_EQ(c.analogChannels.size(), 1u);
             EXPECT_EQ(c.analogChannels[0].channelId, "IA");
         }},
        {"empty analog line", with(3, ""), [](const Cfg& c) { EXPECT_EQ(c.analogChannels.size(), 1u); }},
        {"analog line of 9 fields", with(3, "2,UB,B,Q1,kV,2,0,0,-32767"),
         [](const Cfg& c) { EXPECT_EQ(c.analogChannels.size(), 1u); }},
        {"analog gain not a number", with(3, "2,UB,B,Q1,kV,x,0,0,-32767,32767"), nullptr},
        {"status line of 1 field", with(4, "1"),
         [](const Cfg& c) {
             EXPECT_EQ(c.analogChannels.size(), 2u);
             EXPECT_TRUE(c.binaryChannels.empty());
         }},
        {"status state not a number", with(4, "1,TRIP,,Q1,X"), nullptr},
        {"no frequency line", upTo(5), [](const Cfg& c) { EXPECT_EQ(c.binaryChannels.size(), 1u); }},
        {"empty frequency line", with(5, ""), nullptr},
        {"frequency not a number", with(5, "fifty"), nullptr},
        {"no nrates line", upTo(6), [](const Cfg& c) { EXPECT_DOUBLE_EQ(c.lineFrequency, 60.0); }},
        {"nrates not a number", with(6, "n"), nullptr},
        {"nrates negative", with(6, "-1"), nullptr},
        {"nrates out of range", with(6, "99999999999"), nullptr},
        {"fewer rate lines", [] { Lines l = upTo(8); l[6] = "2"; return l; }(),
         [](const Cfg& c) {
             ASSERT_EQ(c.samplingRates.size(), 1u);
             EXPECT_EQ(c.samplingRates[0].endSample, 100u);
         }},
        {"empty rate line", with(7, ""), nullptr},
        {"rate line of one field", with(7, "1000"), nullptr},
        {"rate not a number", with(7, "r,100"), nullptr},
        {"end sample not a number", with(7, "1000,x"), nullptr},
        {"end sample beyond 32-bit long", with(7, "1000,2147483648"), nullptr},
        {"end sample below 32-bit long", with(7, "1000,-2147483649"), nullptr},
        {"no trigger line", upTo(9), [](const Cfg& c) { EXPECT_EQ(c.samplesCount, 100u); }},
        {"empty first date line", with(8, ""), nullptr},
        {"no file type line", upTo(10), nullptr},
        {"empty file type line", with(10, ""), [](const Cfg& c) { EXPECT_EQ(c.dataFileType, Enums::Ascii); }},
        {"empty time multiplier line", [] { Lines l = with(11, ""); l.push_back("2"); return l; }(),
         [](const Cfg& c) { EXPECT_EQ(c.dataFileType, Enums::Binary); }},
        {"time multiplier not a number", with(11, "abc"), nullptr},
    };
    for (const Variant& v : variants) {
        loadBothWays(v.lines, 3, v.check, v.name);
    }
    // The empty time-multiplier line also fails as the last line of the file.
    loadBothWays(with(11, ""), 3, nullptr, "empty last time multiplier line");

    Cfg cfg;
    EXPECT_EQ(cfg.load(dir_.file("missing.cfg")), 2);
    EXPECT_EQ(cfg.load(dir_.path()), 2);
    EXPECT_EQ(cfg.load(""), 2);
    EXPECT_EQ(cfg.stationName, "Station1");
}

TEST_F(CfgLoad, StationLine)
{
    struct Case {
        std::string line, station, device;
        int year;
    };
    const std::vector<Case> cases = {
        {"SUB,REL,1991", "SUB", "REL", 1991},
        {"SUB,REL", "SUB", "REL", 1999},
        {"SUB,REL,", "SUB", "REL", 1999},
        {"SUB,REL, 2013", "SUB", "REL", 2013},
        {"SUB", "SUB", "", 1999},
        {" SUB ,REL ,2013 ,x", " SUB ", "REL ", 2013},
        {",,1991", "", "", 1991},
        {"SUB,REL,2000", "SUB", "REL", 2000},
    };
    for (const Case& c : cases) {
        const Lines lines = {c.line, "1,1A,0D", "1,U,,,V,1,0,0,-1,1", "50", "1", "1000,10", "d1", "d2", "ASCII"};
        loadBothWays(lines, 4, [&c](const Cfg& cfg) {
            EXPECT_EQ(cfg.stationName, c.station);
            EXPECT_EQ(cfg.recDevId, c.device);
            EXPECT_EQ(cfg.revYear, c.year);
        }, c.line);
    }
}

TEST_F(CfgLoad, CountsLineAndChannelLoops)
{
    const Lines tail = {"50", "1", "1000,10", "d1", "d2", "ASCII"};
    struct Case {
        Lines channels;
        int analogs, statuses;
    };
    const std::vector<Case> cases = {
        {{"5,2A,3D", "1,A1,,,V,1,0,0,-1,1", "2,A2,,,V,1,0,0,-1,1", "1,D1,,,0", "2,D2,,,0", "3,D3,,,0"}, 2, 3},
        {{"5,2D,3A", "1,A1,,,V,1,0,0,-1,1", "2,A2,,,V,1,0,0,-1,1", "1,D1,,,0", "2,D2,,,0", "3,D3,,,0"}, 2, 3},
        {{" 3 , 2A , 1D ", "1,A1,,,V,1,0,0,-1,1", "2,A2,,,V,1,0,0,-1,1", "1,D1,,,0"}, 2, 1},
        // No analog line: the next line is the first status line.
        {{"1,0A,1D", "1,D1,,,0"}, 0, 1},
        {{"1,1A,0D", "1,A1,,,V,1,0,0,-1,1"}, 1, 0},
    };
    for (const Case& c : cases) {
        Lines lines = {"SUB,REL,1999"};
        lines.insert(lines.end(), c.channels.begin(), c.channels.end());
        lines.insert(lines.end(), tail.begin(), tail.end());
        loadBothWays(lines, 4, [&c](const Cfg& cfg) {
            EXPECT_EQ(cfg.channelsCount, c.analogs + c.statuses);
            ASSERT_EQ(cfg.analogChannels.size(), static_cast<std::size_t>(c.analogs));
            ASSERT_EQ(cfg.binaryChannels.size(), static_cast<std::size_t>(c.statuses));
            for (int i = 0; i < c.analogs; ++i) {
                EXPECT_EQ(cfg.analogChannels[static_cast<std::size_t>(i)].channelId, "A" + std::to_string(i + 1));
            }
            for (int i = 0; i < c.statuses; ++i) {
                EXPECT_EQ(cfg.binaryChannels[static_cast<std::size_t>(i)].channelId, "D" + std::to_string(i + 1));
            }
        }, c.channels[0]);
    }

    // The index is the position among the lines, not the number they carry.
    const Lines numbered = {"SUB,REL,1999", "3,3A,0D", "7,A,,,V,1,0,0,-1,1", "9,B,,,V,1,0,0,-1,1",
                            "11,C,,,V,1,0,0,-1,1", "50", "1", "1000,10", "d1", "d2", "ASCII"};
    loadBothWays(numbered, 4, [](const Cfg& cfg) {
        ASSERT_EQ(cfg.analogChannels.size(), 3u);
        EXPECT_EQ(cfg.analogChannels[2].index, 2);
        EXPECT_EQ(cfg.analogChannels[2].channelInfo().substr(0, 4), "3,C,");
    }, "numbering");
}

TEST_F(CfgLoad, CyrillicChannelLinesArriveInUtf8)
{
    const std::string station = "Подстанция Северная";
    const std::string analog = "1,Ток фазы А,А,,кА,0.5,0,0,-32767,32767,1,1,S";
    const std::string status = "1,Пуск МТЗ,,,0";
    for (const char* codePage : {"CP1251", "CP866", "UTF-8"}) {
        const std::string stationBytes = encoded(codePage, station);
        const std::string analogBytes = encoded(codePage, analog);
        const std::string statusBytes = encoded(codePage, status);
        ASSERT_FALSE(stationBytes.empty() || analogBytes.empty() || statusBytes.empty()) << codePage;
        const Lines lines = {stationBytes + ",REL,1999", "2,1A,1D", analogBytes, statusBytes,
                             "50", "1", "1000,10", "d1", "d2", "ASCII"};
        loadBothWays(lines, 4, [&](const Cfg& cfg) {
            // The station line keeps the file's bytes.
            EXPECT_EQ(cfg.stationName, stationBytes);
            ASSERT_EQ(cfg.analogChannels.size(), 1u);
            EXPECT_EQ(cfg.analogChannels[0].channelId, "Ток фазы А");
            EXPECT_EQ(cfg.analogChannels[0].phase, "А");
            EXPECT_EQ(cfg.analogChannels[0].unit, "кА");
            // The Cyrillic prefix letter is no decimal prefix.
            EXPECT_DOUBLE_EQ(cfg.analogChannels[0].multiplier, 1.0);
            ASSERT_EQ(cfg.binaryChannels.size(), 1u);
            EXPECT_EQ(cfg.binaryChannels[0].channelId, "Пуск МТЗ");
        }, codePage);
    }
}

TEST_F(CfgLoad, SecondLoadStartsFromConstructionValues)
{
    const Lines a = {"A,DEV,2013", "4,2A,2D", "1,A1,,,kV,2,0,0,-1,1,100,1,P", "2,A2,,,V,1,0,0,-1,1",
                     "1,D1,,,1", "2,D2,,,0", "60", "2", "1000,100", "0,300", "d1", "d2", "FLOAT32", "2.5"};
    // The two-field station line of revision 1991; no time multiplier line and
    // no final line end, so the multiplier stays what the object holds.
    const Lines b = {"B,DEV2", "1,0A,1D", "1,D1,1", "50", "1", "500,20", "d1", "d2", "ASCII"};
    const Lines broken = {"C,DEV3,1999", "2,2A,0D", "1,X,,,V,1,0,0,-1,1"};

    for (const std::string& eol : {std::string("\n"), std::string("\r\n")}) {
        Cfg freshA;
        Cfg freshB;
        ASSERT_EQ(load(freshA, joined(a, eol), "a.cfg"), 4);
        ASSERT_EQ(load(freshB, joined(b, eol, false), "b.cfg"), 4);
        EXPECT_DOUBLE_EQ(freshA.timeMultiplier, 2.5);
        EXPECT_FALSE(freshA.allRatesNonZero);
        EXPECT_DOUBLE_EQ(freshB.timeMultiplier, 1.0);

        Cfg reused;
        ASSERT_EQ(load(reused, joined(a, eol), "a.cfg"), 4);
        ASSERT_EQ(load(reused, joined(b, eol, false), "b.cfg"), 4);
        expectSameCfg(reused, freshB, "A then B");
        EXPECT_EQ(reused.line, freshB.line);

        ASSERT_EQ(load(reused, joined(a, eol), "a.cfg"), 4);
        expectSameCfg(reused, freshA, "B then A");
        ASSERT_EQ(load(reused, joined(a, eol), "a.cfg"), 4);
        expectSameCfg(reused, freshA, "A twice");
        EXPECT_EQ(reused.samplingRates.size(), 2u);

        EXPECT_EQ(load(reused, joined(broken, eol), "c.cfg"), 3);
        ASSERT_EQ(load(reused, joined(b, eol, false), "b.cfg"), 4);
        expectSameCfg(reused, freshB, "broken then B");
    }
}

TEST_F(CfgLoad, NameInOtherLetterCase)
{
    Cfg cfg;
    ASSERT_TRUE(writeBytes(dir_.file("rec.CFG"), joined(kBase, "\r\n")));
    EXPECT_EQ(cfg.load(dir_.file("rec.cfg")), 4);
    EXPECT_EQ(cfg.stationName, "SUB");
}

// Strict UTF-8 (RFC 3629): no overlong forms, no surrogates, nothing past U+10FFFF.
bool isValidUtf8(const std::string& text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        if (i + length > text.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            const unsigned char next = static_cast<unsigned char>(text[i + k]);
            const unsigned char lo = k == 1 ? low : 0x80;
            const unsigned char hi = k == 1 ? high : 0xBF;
            if (next < lo || next > hi) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

TEST(Utf8Checker, KnowsTheTable)
{
    EXPECT_TRUE(isValidUtf8("plain \xD0\xA2\xE2\x82\xAC\xF0\x9F\x98\x80"));
    for (const char* bad : {"\xC0\x80", "\xED\xA0\x80", "\xE0\x80\x80", "\xF4\x90\x80\x80", "\xD0", "\xFF", "\x80"}) {
        EXPECT_FALSE(isValidUtf8(bad)) << testing::PrintToString(std::string(bad));
    }
}

std::string readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios_base::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Every LF that is not already preceded by CR gets one: a file written with
// CR LF stays as it is.
std::string withCrLf(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) {
            out.push_back('\r');
        }
        out.push_back(text[i]);
    }
    return out;
}

std::vector<std::filesystem::path> sampleConfigurations(const std::string& root)
{
    std::vector<std::filesystem::path> found;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        std::string extension = entry.path().extension().string();
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
        if (entry.is_regular_file() && extension == ".cfg") {
            found.push_back(entry.path());
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

TEST_F(CfgLoad, RealRecordingsLoadWithBothLineEnds)
{
    const std::string root = KIVCOMTRADE_SAMPLES_DIR;
    if (!std::filesystem::is_directory(root)) {
        GTEST_SKIP() << "no sample recordings at " << root;
    }
    const std::vector<std::filesystem::path> files = sampleConfigurations(root);
    ASSERT_FALSE(files.empty());

    std::map<std::string, Cfg> loaded; // by path relative to the samples folder
    for (const std::filesystem::path& file : files) {
        const std::string relative = std::filesystem::relative(file, root).generic_string();
        SCOPED_TRACE(relative);
        Cfg original;
        ASSERT_EQ(original.load(file.string()), 4);

        const std::string bytes = readBytes(file.string());
        Cfg crlf;
        ASSERT_EQ(load(crlf, withCrLf(bytes), file.filename().string()), 4);
        expectSameCfg(original, crlf, relative + " as CR LF");
        // A blind conversion doubles the CR of a file written with CR LF;
        // the stray CR stays in the last field but the file still loads.
        std::string blind;
        for (char c : bytes) {
            blind += c == '\n' ? std::string("\r\n") : std::string(1, c);
        }
        Cfg doubled;
        EXPECT_EQ(load(doubled, blind, file.filename().string()), 4);

        for (const auto& c : original.analogChannels) {
            for (const std::string& text : {c.channelId, c.phase, c.circuitComponent, c.unit}) {
                EXPECT_TRUE(isValidUtf8(text)) << "analog " << c.index << ": " << testing::PrintToString(text);
            }
        }
        for (const auto& c : original.binaryChannels) {
            for (const std::string& text : {c.channelId, c.phase, c.circuitComponent}) {
                EXPECT_TRUE(isValidUtf8(text)) << "status " << c.index << ": " << testing::PrintToString(text);
            }
        }
        EXPECT_EQ(original.analogChannels.size(), static_cast<std::size_t>(original.analogChannelsCount));
        EXPECT_EQ(original.binaryChannels.size(), static_cast<std::size_t>(original.binaryChannelsCount));
        loaded.emplace(relative, original);
    }

    // What the samples' README says of them.
    struct Fact {
        std::string file;
        std::function<void(const Cfg&)> check;
    };
    const std::vector<Fact> facts = {
        {"wisp/1.cfg", [](const Cfg& c) {
             EXPECT_EQ(c.revYear, 2000);
             EXPECT_EQ(c.samplingRates.size(), 83u);
             EXPECT_EQ(c.dataFileType, Enums::Ascii);
             // Status names written in code page 1251.
             ASSERT_EQ(c.binaryChannels.size(), 15u);
             EXPECT_EQ(c.binaryChannels[0].channelId, "ЗМН-1 пуск");
             EXPECT_EQ(c.binaryChannels[11].channelId, "Реле Отказ");
         }},
        {"wisp/2.cfg", [](const Cfg& c) {
             EXPECT_EQ(c.analogChannelsCount, 55);
             EXPECT_EQ(c.binaryChannelsCount, 112);
             EXPECT_EQ(c.dataFileType, Enums::Binary);
             EXPECT_EQ(c.recordSize, 8u + 55u * 2u + 7u * 2u);
         }},
        {"wisp/3.cfg", [](const Cfg& c) {
             EXPECT_FALSE(c.allRatesNonZero);
             EXPECT_EQ(c.samplesCount, 1360u);
             EXPECT_EQ(c.duration, 0.0);
         }},
        {"wisp/4.CFG", [](const Cfg& c) {
             EXPECT_EQ(c.revYear, 1997);
             EXPECT_EQ(c.dataFileType, Enums::Binary);
         }},
        {"wisp/5.cfg", [](const Cfg& c) {
             EXPECT_EQ(c.revYear, 2013);
             EXPECT_EQ(c.analogChannelsCount, 37);
             EXPECT_EQ(c.binaryChannelsCount, 300);
             EXPECT_EQ(c.dataFileType, Enums::Binary32);
             EXPECT_EQ(c.recordSize, 8u + 37u * 4u + 19u * 2u);
         }},
        {"python-comtrade/sample_bin.cfg", [](const Cfg& c) {
             EXPECT_EQ(c.analogChannelsCount, 4);
             EXPECT_EQ(c.binaryChannelsCount, 16);
             EXPECT_EQ(c.dataFileType, Enums::Binary);
         }},
        {"ge850/real_1999_bin.cfg", [](const Cfg& c) {
             EXPECT_EQ(c.analogChannelsCount, 24);
             EXPECT_EQ(c.binaryChannelsCount, 64);
             EXPECT_FALSE(c.allRatesNonZero);
             EXPECT_EQ(c.samplesCount, 8000u);
             const bool degree = std::any_of(c.analogChannels.begin(), c.analogChannels.end(),
                 [](const auto& a) { return a.unit.find("\xC2\xB0") != std::string::npos; });
             EXPECT_TRUE(degree);
         }},
    };
    for (const Fact& fact : facts) {
        const auto it = loaded.find(fact.file);
        if (it == loaded.end()) {
            ADD_FAILURE() << fact.file << " is missing from the samples";
            continue;
        }
        SCOPED_TRACE(fact.file);
        fact.check(it->second);
    }

    // 4.CFG is found by the lower-case name that the pair derivation gives.
    const std::string upper = root + "/wisp/4.CFG";
    if (std::filesystem::exists(upper)) {
        Cfg byLowerName;
        EXPECT_EQ(byLowerName.load(root + "/wisp/4.cfg"), 4);
        expectSameCfg(byLowerName, loaded.at("wisp/4.CFG"), "4.CFG as 4.cfg");
    }
}

} // namespace
