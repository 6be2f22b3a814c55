#include <KivComtradeLib/Cfg.h>
#include <KivComtradeLib/Converters.h>

#include "writer/ComtradeWriter.h"

#include <gtest/gtest.h>

#include <iconv.h>

#include <algorithm>
#include <filesystem>
#include <limits>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

using KivComtradeLib::Cfg;
namespace Enums = KivComtradeLib::Enums;

namespace {

using Lines = std::vector<std::string>;

std::string joined(const Lines& lines, bool finalEol = true)
{
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i)
        text += lines[i] + (i + 1 < lines.size() || finalEol ? "\n" : "");
    return text;
}

// Every field as text, so that two loads compare in one assertion that shows
// where they differ. The first line sums up what a load kept:
// station|device|rev|TT,A,D|analog lines,status lines|frequency|rate lines|samples|file type
std::string dump(const Cfg& c, bool firstLineOnly = false)
{
    std::ostringstream out;
    out.precision(15);
    out << c.stationName << '|' << c.recDevId << '|' << c.revYear << '|' << c.channelsCount << ','
        << c.analogChannelsCount << ',' << c.binaryChannelsCount << '|' << c.analogChannels.size() << ','
        << c.binaryChannels.size() << '|' << c.lineFrequency << '|' << c.samplingRates.size() << '|'
        << c.samplesCount << '|' << c.dataFileType;
    if (firstLineOnly)
        return out.str();
    for (const auto& a : c.analogChannels)
        out << '\n' << a.index << ':' << a.channelInfo() << '|' << a.multiplier << '|' << a.a;
    for (const auto& b : c.binaryChannels)
        out << '\n' << b.index << ':' << b.channelInfo();
    for (const auto& r : c.samplingRates)
        out << '\n' << r.rate << ',' << r.endSample;
    out << '\n' << c.allRatesNonZero << '|' << c.analogValueSize << ',' << c.analogValuesSize << ','
        << c.binaryWordsCount << ',' << c.binaryValuesSize << ',' << c.recordSize << '|' << c.timeMultiplier
        << '|' << c.duration << '|' << c.line;
    return out.str();
}

int loadText(Cfg& cfg, const std::string& text, const std::string& name = "rec.cfg")
{
    KivTest::TempDir dir("cfg");
    EXPECT_TRUE(KivTest::writeFile(dir.file(name), text));
    return cfg.load(dir.file(name));
}

// Loads the lines with LF and with CR LF ends: both must give `code` and the
// same fields. Returns the LF result.
Cfg loadBothWays(const Lines& lines, int code, const std::string& context, bool finalEol = true)
{
    Cfg lf, crlf;
    EXPECT_EQ(loadText(lf, joined(lines, finalEol)), code) << context;
    EXPECT_EQ(loadText(crlf, KivTest::toCrLf(joined(lines, finalEol))), code) << context << " (CR LF)";
    EXPECT_EQ(dump(lf), dump(crlf)) << context;
    return lf;
}

constexpr unsigned long long kAllOnes = std::numeric_limits<unsigned long long>::max();

// A configuration of the given channels (analogs on the primary side, in kV),
// rate lines (nrates first), file type keyword and the lines after it.
Lines configuration(int analogs, int statuses, const Lines& rates, const std::string& type, const Lines& after)
{
    Lines lines = {"SUB,REL,1999", std::to_string(analogs + statuses) + "," + std::to_string(analogs) + "A," +
                                       std::to_string(statuses) + "D"};
    for (int i = 1; i <= analogs; ++i)
        lines.push_back(std::to_string(i) + ",A" + std::to_string(i) + ",,,kV,2,0,0,-1,1,1000,1,P");
    for (int i = 1; i <= statuses; ++i)
        lines.push_back(std::to_string(i) + ",D" + std::to_string(i) + ",,,0");
    lines.push_back("60");
    lines.insert(lines.end(), rates.begin(), rates.end());
    lines.insert(lines.end(), {"01/01/2020,00:00:00.000000", "01/01/2020,00:00:00.000000", type});
    lines.insert(lines.end(), after.begin(), after.end());
    return lines;
}

// Lines: 0 station, 1 counts, 2-3 analog, 4 status, 5 frequency, 6 nrates,
// 7 rate, 8-9 dates, 10 file type, 11 time multiplier.
const Lines kBase = configuration(2, 1, {"1", "1000,100"}, "BINARY", {"1.0"});

// kBase with line i replaced, cut to `count` lines, more lines added.
Lines with(std::size_t i, const std::string& text, std::size_t count = kBase.size(), const Lines& more = {})
{
    Lines lines(kBase.begin(), kBase.begin() + static_cast<long>(count));
    lines[i] = text;
    lines.insert(lines.end(), more.begin(), more.end());
    return lines;
}

TEST(CfgLoad, ReadsEveryLineWithOrWithoutFinalLineEnd)
{
    for (bool finalEol : {true, false}) {
        const Cfg cfg = loadBothWays(kBase, 4, "base", finalEol);
        EXPECT_EQ(dump(cfg), "SUB|REL|1999|3,2,1|2,1|60|1|100|1\n" // gain 2 brought to the secondary side
                             "0:1,A1,,,kV,0.002000,0.000000,0.000000,-1.000000,1.000000,1000.000000,1.000000,P|1000|0.002\n"
                             "1:2,A2,,,kV,0.002000,0.000000,0.000000,-1.000000,1.000000,1000.000000,1.000000,P|1000|0.002\n"
                             "0:1,D1,,,0\n1000,100\n1|2,4,1,2,14|1|0.099|1.0");
    }
}

// Each fault gives 3 and keeps what was read before it; counts, rate lines
// and channel lines too short to hold their fields are refused, not read past.
TEST(CfgLoad, EachFaultGivesThreeAndKeepsWhatWasRead)
{
    const std::string none = "Station1||1999|0,0,0|0,0|50|0|0|0";
    const std::string head = "SUB|REL|1999|";
    const std::string counted = head + "3,2,1|";
    const std::vector<std::pair<Lines, std::string>> variants = {
        {{}, none},
        {with(0, ""), none},
        {with(0, "SUB,REL,X"), head + "0,0,0|0,0|50|0|0|0"},
        {with(0, kBase[0], 1), head + "0,0,0|0,0|50|0|0|0"}, // no counts line
        {with(1, ""), head + "0,0,0|0,0|50|0|0|0"},
        {with(1, "x,2A,1D"), head + "0,0,0|0,0|50|0|0|0"},
        {with(1, "0,0A,0D"), head + "0,0,0|0,0|50|0|0|0"},
        {with(1, "5,2A,2D"), head + "5,2,2|0,0|50|0|0|0"}, // counts do not add up
        {with(1, "3,2A"), head + "3,0,0|0,0|50|0|0|0"},
        {with(1, "3,2A,99999999999D"), head + "3,2,0|0,0|50|0|0|0"},
        {with(1, "1,2A,-1D"), head + "1,2,-1|0,0|50|0|0|0"},
        {with(0, kBase[0], 3), counted + "1,0|50|0|0|0"}, // channel lines break off
        {with(3, ""), counted + "1,0|50|0|0|0"},
        {with(3, "2,UB,B,Q1,kV,2,0,0,-32767"), counted + "1,0|50|0|0|0"},
        {with(3, "2,UB,B,Q1,kV,x,0,0,-1,1"), counted + "1,0|50|0|0|0"},
        {with(4, "1"), counted + "2,0|50|0|0|0"},
        {with(4, "1,D1,,,X"), counted + "2,0|50|0|0|0"},
        {with(0, kBase[0], 5), counted + "2,1|50|0|0|0"}, // no frequency line
        {with(5, "fifty"), counted + "2,1|50|0|0|0"}, // the construction value stays
        {with(0, kBase[0], 6), counted + "2,1|60|0|0|0"}, // no nrates line
        {with(6, "n"), counted + "2,1|60|0|0|0"},
        {with(6, "-1"), counted + "2,1|60|0|0|0"},
        {with(6, "2", 8), counted + "2,1|60|1|0|0"}, // fewer rate lines than nrates
        {with(7, ""), counted + "2,1|60|0|0|0"},
        {with(7, "1000"), counted + "2,1|60|0|0|0"},
        {with(7, "r,100"), counted + "2,1|60|0|0|0"},
        {with(7, "1000,x"), counted + "2,1|60|0|0|0"},
        {with(7, "1000,2147483648"), counted + "2,1|60|0|0|0"}, // beyond a 32-bit long
        {with(0, kBase[0], 9), counted + "2,1|60|1|100|0"}, // no trigger line
        {with(8, ""), counted + "2,1|60|1|100|0"},
        {with(0, kBase[0], 10), counted + "2,1|60|1|100|0"}, // no file type line
        {with(10, ""), counted + "2,1|60|1|100|0"},
        {with(11, ""), counted + "2,1|60|1|100|1"}, // empty time-multiplier line, last or not
        {with(11, "", 12, {"2"}), counted + "2,1|60|1|100|1"},
        {with(11, "abc"), counted + "2,1|60|1|100|1"},
    };
    for (const auto& [lines, kept] : variants) {
        const std::string text = testing::PrintToString(joined(lines));
        EXPECT_EQ(dump(loadBothWays(lines, 3, text), true), kept) << text;
    }
    KivTest::TempDir dir("cfg");
    for (const std::string& path : {dir.file("missing.cfg"), dir.path(), std::string()}) {
        Cfg cfg;
        EXPECT_EQ(cfg.load(path), 2) << path;
        EXPECT_EQ(dump(cfg, true), none);
    }
}

TEST(CfgLoad, StationCountsAndChannelLines)
{
    // station|device|rev, then position + id of each analog | status channel
    const std::vector<std::pair<Lines, std::string>> cases = {
        {{"SUB,REL,1991", "3,2A,1D", "7,A,,,V,1,0,0,-1,1", "9,B,,,V,1,0,0,-1,1", "4,D,0"}, "SUB|REL|1991 0A 1B | 0D"},
        {{"SUB,REL", "1,0A,1D", "1,D,,,0"}, "SUB|REL|1991 | 0D"}, // no analog line; no year: 1991
        {{"SUB", "3,1D,2A", "1,A,,,V,1,0,0,-1,1", "1,D,,,0", "2,E,,,0"}, "SUB||1991 0A | 0D 1E"}, // letters ignored
        {{" SUB ,REL , 2013 ,x", " 2 , 1A , 1D ", "1,A,,,V,1,0,0,-1,1", "1,D,,,0"}, " SUB |REL |2013 0A | 0D"},
    };
    for (auto [lines, expected] : cases) {
        lines.insert(lines.end(), {"50", "1", "1000,10", "d1", "d2", "ASCII"});
        const Cfg cfg = loadBothWays(lines, 4, lines[0]);
        std::string got = cfg.stationName + "|" + cfg.recDevId + "|" + std::to_string(cfg.revYear) + " ";
        for (const auto& a : cfg.analogChannels)
            got += std::to_string(a.index) + a.channelId + " ";
        got += "|";
        for (const auto& b : cfg.binaryChannels)
            got += " " + std::to_string(b.index) + b.channelId;
        EXPECT_EQ(got, expected);
    }
}

// Text converted by glibc's iconv; `ok` false when it cannot be.
std::string iconvText(const char* to, const char* from, const std::string& text, bool& ok)
{
    iconv_t cd = iconv_open(to, from);
    std::string in = text, out(text.size() * 4 + 4, '\0');
    char *inPtr = in.data(), *outPtr = out.data();
    std::size_t inLeft = in.size(), outLeft = out.size();
    ok = cd != reinterpret_cast<iconv_t>(-1) && iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != std::size_t(-1);
    if (cd != reinterpret_cast<iconv_t>(-1))
        iconv_close(cd);
    out.resize(out.size() - outLeft);
    return out;
}

// Station and channel lines arrive in UTF-8 whatever code page the recorder used.
TEST(CfgLoad, CyrillicChannelLinesArriveInUtf8)
{
    for (const char* codePage : {"CP1251", "CP866", "UTF-8"}) {
        bool ok[3] = {};
        const std::string station = iconvText(codePage, "UTF-8", "Подстанция Северная", ok[0]);
        const Lines lines = {station + ",REL,1999", "2,1A,1D",
                             iconvText(codePage, "UTF-8", "1,Ток фазы А,А,,кА,0.5,0,0,-32767,32767,1,1,S", ok[1]),
                             iconvText(codePage, "UTF-8", "1,Пуск МТЗ,,,0", ok[2]), "50", "1", "1000,10", "d1", "d2",
                             "ASCII"};
        ASSERT_TRUE(ok[0] && ok[1] && ok[2]) << codePage;
        const Cfg cfg = loadBothWays(lines, 4, codePage);
        EXPECT_EQ(cfg.stationName, "Подстанция Северная");
        ASSERT_EQ(cfg.analogChannels.size() + cfg.binaryChannels.size(), 2u);
        EXPECT_EQ(cfg.analogChannels[0].name(), "Ток фазы А,А,,кА");
        EXPECT_DOUBLE_EQ(cfg.analogChannels[0].multiplier, 1.0); // Cyrillic "к" is no decimal prefix
        EXPECT_EQ(cfg.binaryChannels[0].channelId, "Пуск МТЗ");
    }
}

TEST(CfgLoad, SecondLoadEqualsFreshLoad)
{
    const std::string a = joined({"A,DEV,2013", "4,2A,2D", "1,A1,,,kV,2,0,0,-1,1,100,1,P", "2,A2,,,V,1,0,0,-1,1",
                                  "1,D1,,,1", "2,D2,,,0", "60", "2", "1000,100", "0,300", "d1", "d2", "FLOAT32", "2.5"});
    // A station line without revision year; no time-multiplier line and no
    // final line end, so the multiplier stays what the object holds.
    const std::string b = joined({"B,DEV2", "1,0A,1D", "1,D1,,,1", "50", "1", "500,20", "d1", "d2", "ASCII"}, false);
    const std::string broken = joined({"C,DEV3,1999", "2,2A,0D", "1,X,,,V,1,0,0,-1,1"});
    for (bool crlf : {false, true}) {
        const auto eol = [crlf](const std::string& text) { return crlf ? KivTest::toCrLf(text) : text; };
        Cfg freshA, freshB, reused;
        ASSERT_EQ(loadText(freshA, eol(a)) + loadText(freshB, eol(b)), 8);
        EXPECT_DOUBLE_EQ(freshB.timeMultiplier, 1.0);
        ASSERT_EQ(loadText(reused, eol(a)) + loadText(reused, eol(b)), 8);
        EXPECT_EQ(dump(reused), dump(freshB)) << "A then B";
        ASSERT_EQ(loadText(reused, eol(a)) + loadText(reused, eol(a)), 8);
        EXPECT_EQ(dump(reused), dump(freshA)) << "A twice";
        ASSERT_EQ(loadText(reused, eol(broken)) + loadText(reused, eol(b)), 7);
        EXPECT_EQ(dump(reused), dump(freshB)) << "broken then B";
    }
}

// Every real recording loads, and so do LF and CR LF copies of it, with the
// same fields and channel texts in valid UTF-8.
TEST(CfgLoad, RealRecordingsLoadWithBothLineEnds)
{
    const std::string root = KivTest::sharedSamplesDir();
    if (root.empty())
        GTEST_SKIP() << "no folder of real recordings beside the project";
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
        if (entry.is_regular_file() && (entry.path().extension() == ".cfg" || entry.path().extension() == ".CFG"))
            files.push_back(entry.path());
    ASSERT_FALSE(files.empty());
    for (const std::filesystem::path& file : files) {
        const std::string name = std::filesystem::relative(file, root).generic_string();
        Cfg original;
        ASSERT_EQ(original.load(file.string()), 4) << name;
        std::string lf = KivTest::readFile(file.string());
        for (std::size_t at = lf.find("\r\n"); at != std::string::npos; at = lf.find("\r\n", at))
            lf.erase(at, 1);
        for (const std::string& copy : {lf, KivTest::toCrLf(lf)}) {
            Cfg loaded;
            EXPECT_EQ(loadText(loaded, copy, file.filename().string()), 4) << name;
            EXPECT_EQ(dump(loaded), dump(original)) << name;
        }
        bool valid = true;
        for (const auto& c : original.analogChannels)
            EXPECT_TRUE((iconvText("UTF-32", "UTF-8", c.channelInfo(), valid), valid)) << name << ": " << c.name();
        for (const auto& c : original.binaryChannels)
            EXPECT_TRUE((iconvText("UTF-32", "UTF-8", c.channelInfo(), valid), valid)) << name << ": " << c.name();

        // What the samples' README says of some of them.
        if (name == "wisp/1.cfg") { // status names in code page 1251
            EXPECT_EQ(original.binaryChannels.at(0).channelId, "ЗМН-1 пуск");
            EXPECT_EQ(original.binaryChannels.at(11).channelId, "Реле Отказ");
        } else if (name == "cp866/test.cfg") { // code page 866, station included
            EXPECT_EQ(original.stationName, "СИРИУС-2-Л          ");
            EXPECT_EQ(original.analogChannels.at(1).channelId, "Iв");
            EXPECT_EQ(original.binaryChannels.at(1).channelId, " Вход 2              ");
        } else if (name == "ge850/real_1999_bin.cfg") { // a degree sign already in UTF-8
            EXPECT_TRUE(std::any_of(original.analogChannels.begin(), original.analogChannels.end(),
                                    [](const auto& a) { return a.unit.find("\xC2\xB0") != std::string::npos; }));
        } else if (name == "wisp/4.CFG") { // found by the lower-case name the pair derivation gives
            Cfg byLowerName;
            EXPECT_EQ(byLowerName.load(root + "/wisp/4.cfg"), 4);
            EXPECT_EQ(dump(byLowerName), dump(original));
        }
    }
}

TEST(CfgTimeBase, RateSegmentsGiveTimeOfEachSample)
{
    struct Case {
        Lines rates, after;
        unsigned long long samples;
        bool allNonZero;
        double duration;
        std::vector<std::pair<unsigned long long, double>> times; // position, seconds
    };
    const Lines three = {"3", "1000,100", "500,300", "250,400"};
    const std::vector<Case> cases = {
        {{"1", " 1000 , 5000 "}, {"1"}, 5000, true, 4.999, {{0, 0.0}, {1234, 1.234}}},
        {{"0", "1000,5000"}, {}, 5000, true, 4.999, {{1234, 1.234}}}, // nrates 0 reads one line
        {three, {"1.0"}, 400, true, 0.896, {{99, 0.099}, {100, 0.1}, {150, 0.2}, {300, 0.5}, {350, 0.7}, {399, 0.896}}},
        {three, {"2.0"}, 400, true, 0.896, {{50, 0.05}, {150, 0.2}, {350, 0.7}}}, // multiplier: stamps only
        {{"1", "1000,100"}, {"1"}, 100, true, 0.099, {{250, 0.2}, {kAllOnes, 0.2}}}, // beyond the last segment
        {{"1", "0,5000"}, {"1"}, 5000, false, 0.0, {{10, -1.0}}},
        {{"2", "1000,100", "0,200"}, {"1"}, 200, false, 0.0, {{99, 0.099}, {150, -1.0}, {250, -1.0}}},
        {{"1", "0.0000005,10"}, {"1"}, 10, false, 0.0, {}}, // below 1e-6 counts as zero
        {{"1", "0.000001,10"}, {"1"}, 10, true, 9e6, {{1, 1e6}}},
        {{"1", "-1000,10"}, {"1"}, 10, false, 0.0, {{1, -1.0}}},
        {{"1", "1000,0"}, {"1"}, 0, true, 0.0, {{0, 0.0}}},
        // Widened with its sign: no data file reaches that sample number.
        {{"1", "1000,-1"}, {"1"}, kAllOnes, true, static_cast<double>(kAllOnes - 1) / 1000.0, {{1000, 1.0}}},
    };
    for (const Case& c : cases) {
        const std::string name = joined(c.rates);
        const Cfg cfg = loadBothWays(configuration(1, 1, c.rates, "ASCII", c.after), 4, name);
        EXPECT_EQ(cfg.samplesCount, c.samples) << name;
        EXPECT_EQ(cfg.allRatesNonZero, c.allNonZero) << name;
        EXPECT_DOUBLE_EQ(cfg.duration, c.duration) << name;
        for (const auto& [index, seconds] : c.times)
            EXPECT_DOUBLE_EQ(cfg.timeFromSampleIndex(index), seconds) << name << " at " << index;
    }
    EXPECT_EQ(Cfg().timeFromSampleIndex(0), -1.0);
}

// The time-multiplier line may be missing: how the file ends around it must
// not matter, with either line end.
TEST(CfgTimeBase, TimeMultiplierLineAtEndOfFile)
{
    for (const auto& [after, finalEol, multiplier, lastLine] : std::vector<std::tuple<Lines, bool, double, std::string>>{
             {{}, false, 1.0, "ASCII"}, {{}, true, 1.0, ""}, // the failed read of the missing line empties it
             {{"2.5"}, false, 2.5, "2.5"}, {{"2.5"}, true, 2.5, "2.5"}, {{" 0.5 "}, true, 0.5, " 0.5 "},
             {{"0.001", "-5h30,-5h30", "B,3"}, true, 0.001, "0.001"}}) { // `line` stays the multiplier
        const std::string name = joined(after, finalEol) + (finalEol ? " (final line end)" : "");
        const Cfg cfg = loadBothWays(configuration(1, 0, {"1", "1000,11"}, "ASCII", after), 4, name, finalEol);
        EXPECT_DOUBLE_EQ(cfg.timeMultiplier, multiplier) << name;
        EXPECT_DOUBLE_EQ(cfg.duration, 0.01) << name;
        EXPECT_EQ(cfg.line, lastLine) << name;
    }
}

// Relays write the keyword in any case and with blanks around it ("BINARY32 ");
// reading a binary file as text would be plainly wrong.
TEST(CfgLayout, RecordLayoutFromTypeKeywordAndCounts)
{
    // layout: type|value size,values size,status words,status bytes,record size
    for (const auto& [analogs, statuses, keyword, layout] : std::vector<std::tuple<int, int, std::string, std::string>>{
             {3, 18, "BINARY", "1|2,6,2,4,18"}, {3, 16, "FLOAT32", "3|4,12,1,2,22"}, {2, 0, "BINARY32", "2|4,8,0,0,16"},
             {0, 1, "binary", "1|2,0,1,2,10"}, {1, 17, "BINARY32 ", "2|4,4,2,4,16"}, {1, 32, "\t fLoAt32  ", "3|4,4,2,4,16"},
             {1, 33, " Binary\t", "1|2,2,3,6,16"}, {1, 1, "bInaRy32", "2|4,4,1,2,14"},
             // Text files keep the construction values.
             {3, 16, "ASCII", "0|2,0,0,0,0"}, {1, 1, "ascii", "0|2,0,0,0,0"}, {1, 1, "bin", "0|2,0,0,0,0"},
             {1, 1, "binary 32", "0|2,0,0,0,0"}, {1, 1, "binary,", "0|2,0,0,0,0"}, {1, 1, "float", "0|2,0,0,0,0"},
             {1, 1, "   ", "0|2,0,0,0,0"}}) {
        const Cfg cfg = loadBothWays(configuration(analogs, statuses, {"1", "1000,10"}, keyword, {"1"}), 4, keyword);
        std::ostringstream got;
        got << cfg.dataFileType << '|' << cfg.analogValueSize << ',' << cfg.analogValuesSize << ','
            << cfg.binaryWordsCount << ',' << cfg.binaryValuesSize << ',' << cfg.recordSize;
        EXPECT_EQ(got.str(), layout) << testing::PrintToString(keyword) << " " << analogs << "A " << statuses << "D";
    }
    std::string keyword = " BINARY ";
    EXPECT_EQ(KivComtradeLib::Converters::toDataFileType(keyword), KivComtradeLib::Enums::Binary);
    EXPECT_EQ(keyword, " BINARY "); // the caller's text is left as it was
}

} // namespace
