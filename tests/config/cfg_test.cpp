#include <KivComtradeLib/Cfg.h>
#include <KivComtradeLib/KivCommon.h>

#include "config/TimeBase.h"
#include "writer/ComtradeWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

using KivComtradeLib::Cfg;

namespace {

// Every field as text, so that two loads compare in one assertion. The first line sums up
// what a load kept: station|device|rev|TT,A,D|analog lines,status lines|frequency|rate lines|samples|file type
std::string dump(const Cfg& c, bool firstLineOnly = false)
{
    std::ostringstream out;
    out << c.stationName << '|' << c.recDevId << '|' << c.revYear << '|' << c.channelsCount << ',' << c.analogChannelsCount
        << ',' << c.binaryChannelsCount << '|' << c.analogChannels.size() << ',' << c.binaryChannels.size() << '|'
        << c.lineFrequency << '|' << c.samplingRates.size() << '|' << c.samplesCount << '|' << c.dataFileType;
    if (firstLineOnly)
        return out.str();
    for (const auto& a : c.analogChannels)
        out << '\n' << a.index << ':' << a.channelInfo() << '|' << a.multiplier;
    for (const auto& b : c.binaryChannels)
        out << '\n' << b.index << ':' << b.channelInfo();
    out << '\n' << c.allRatesNonZero << '|' << c.recordSize << '|' << c.timeMultiplier << '|' << c.duration << '|'
        << c.timeStampUnit << '|' << c.start.text << '|' << c.timeCode << ','
        << c.localCode << ',' << c.timeQuality << ',' << c.leapSecond << '|' << c.line;
    return out.str();
}

// Loads the text with LF ends into a fresh object, with CR LF ends into one
// that held the previous load, and with the lone CR ends of old Mac tools:
// all must give `code` and the same fields.
Cfg loadBothWays(const std::string& text, int code = 4)
{
    static Cfg reused;
    KivTest::TempDir dir("cfg");
    std::string cr = text;
    std::replace(cr.begin(), cr.end(), '\n', '\r');
    Cfg lf, crOnly;
    EXPECT_TRUE(KivTest::writeFile(dir.file("lf.cfg"), text) &&
                KivTest::writeFile(dir.file("crlf.cfg"), KivTest::toCrLf(text)) && KivTest::writeFile(dir.file("cr.cfg"), cr));
    EXPECT_EQ(lf.load(dir.file("lf.cfg")), code) << text;
    EXPECT_EQ(reused.load(dir.file("crlf.cfg")), code) << text << " (CR LF)";
    EXPECT_EQ(crOnly.load(dir.file("cr.cfg")), code) << text << " (CR)";
    EXPECT_EQ(dump(lf), dump(reused)) << text;
    EXPECT_EQ(dump(lf), dump(crOnly)) << text;
    const auto said = [](const Cfg& c) { return c.report.message.substr(std::min(c.report.message.find(".cfg"), c.report.message.size())); };
    EXPECT_EQ(said(lf), said(crOnly)) << text;
    return lf;
}

// A configuration with lines replaced (a replacement may hold several), cut to `count` lines. Lines: 0 station,
// 1 counts, 2-3 analog, 4 status, 5 frequency, 6 nrates, 7 rate, 8-9 dates, 10 file type, 11 time multiplier.
std::string with(const std::vector<std::pair<std::size_t, std::string>>& changes, std::size_t count = 12,
                 bool finalEol = true)
{
    std::vector<std::string> lines = {"SUB,REL,1999", "3,2A,1D", "1,A1,,,kV,2,0,0,-1,1,1000,1,P",
                                      "2,A2,,,kV,2,0,0,-1,1,1000,1,P", "1,D1,,,0", "60", "1", "1000,100",
                                      "01/01/2020,00:00:00.000000", "01/01/2020,00:00:00.000000", "BINARY", "1.0"};
    for (const auto& [i, text] : changes)
        lines[i] = text;
    std::string joined;
    for (std::size_t k = 0; k < count; ++k)
        joined += lines[k] + (k + 1 < count || finalEol ? "\n" : "");
    return joined;
}

TEST(CfgLoad, ReadsEveryLineWithOrWithoutFinalLineEnd)
{
    for (bool finalEol : {true, false})
        EXPECT_EQ(dump(loadBothWays(with({}, 12, finalEol))),
                  "SUB|REL|1999|3,2,1|2,1|60|1|100|1\n" // gain 2 brought to the secondary side
                  "0:1,A1,,,kV,0.002000,0.000000,0.000000,-1.000000,1.000000,1000.000000,1.000000,P|1000\n"
                  "1:2,A2,,,kV,0.002000,0.000000,0.000000,-1.000000,1.000000,1000.000000,1.000000,P|1000\n"
                  "0:1,D1,,,0\n1|14|1|0.099|1e-06|01/01/2020,00:00:00.000000|,,,|1.0");
}

// A fault gives 3 and keeps what was read before it; short lines are refused,
// not read past. The station line may lack the revision year (1991).
TEST(CfgLoad, StationLineAndFaults)
{
    const std::string head = "SUB|REL|1999|", counted = head + "3,2,1|";
    const std::vector<std::tuple<std::string, int, std::string>> cases = {
        {"", 3, "Station1||1999|0,0,0|0,0|50|0|0|0"},
        {with({{0, "SUB,REL"}}), 4, "SUB|REL|1991|3,2,1|2,1|60|1|100|1"},
        {with({{1, "5,2A,2D"}}), 3, head + "5,2,2|0,0|50|0|0|0"}, // counts do not add up
        {with({}, 3), 3, counted + "1,0|50|0|0|0"},               // channel lines break off
        {with({{3, "2,UB,B,Q1,kV,2,0,0,-32767"}}), 3, counted + "1,0|50|0|0|0"},
        {with({{4, "1,D1,,,X"}}), 3, counted + "2,0|50|0|0|0"},
        {with({{6, "2"}}, 8), 3, counted + "2,1|60|1|0|0"}, // fewer rate lines than nrates
        {with({{7, "1000,2147483648"}}), 3, counted + "2,1|60|0|0|0"}, // beyond a 32-bit long
        {with({}, 9), 3, counted + "2,1|60|1|100|0"},                  // no trigger line
        {with({{11, "abc"}}), 3, counted + "2,1|60|1|100|1"},
    };
    for (const auto& [text, code, kept] : cases)
        EXPECT_EQ(dump(loadBothWays(text, code), true), kept) << testing::PrintToString(text);
    EXPECT_EQ(Cfg().load("no/such/rec.cfg"), 2);
}

// Figures no recorder writes: negative counts, NaN and infinities (std::stod
// reads "nan", "inf" and "infinity" in any case), a line past the length
// limit. Each fails with 3 and names its line, or (the time multiplier) is
// read as 1 with a warning.
TEST(CfgLoad, HostileFiguresFailWithTheirLine)
{
    const std::string longLine(std::size_t(1) << 20 | 1, '7');
    const std::vector<std::tuple<std::string, int, std::string>> cases = {
        {with({{7, "1000,-1"}}), 3, "line 8 (sampling rate lines), field 2 'last sample number': '-1' is negative"},
        {with({{6, "-2"}}), 3, "line 7 (sampling rate lines): a negative number of sampling rates, -2"},
        {with({{1, "-3,-2A,-1D"}}), 3, "line 2 (channel counts line): a negative channel count"},
        {with({{5, "nan"}}), 3, "line 6 (line frequency line): the line frequency 'nan' is not a finite number"},
        {with({{5, "-INF"}}), 3, "line 6 (line frequency line): the line frequency '-INF' is not a finite number"},
        {with({{7, "NaN,100"}}), 3, "line 8 (sampling rate lines), field 1 'rate': 'NaN' is not a finite number"},
        {with({{7, "Infinity,100"}}), 3, "line 8 (sampling rate lines), field 1 'rate': 'Infinity' is not a finite number"},
        {with({{2, "1,A1,,,kV,nan,0,0,-1,1,1000,1,P"}}), 3, "line 3 (analog channel 1), field 6 'gain': 'nan' is not a finite number"},
        {with({{2, "1,A1,,,kV,2,-inf,0,-1,1,1000,1,P"}}), 3, "line 3 (analog channel 1), field 7 'offset': '-inf' is not a finite number"},
        {with({{2, "1,A1,,,kV,2,0,INFINITY,-1,1,1000,1,P"}}), 3, "line 3 (analog channel 1), field 8 'skew': 'INFINITY' is not a finite number"},
        {with({{3, "2,A2,,,kV,2,0,0,-1,1,1e-300,1e300,P"}}), 3, "line 4 (analog channel 2), field 11 'primary': '1e-300' gives a ratio"},
        {with({{3, "2,A2,,,kV,2,0,0,-1,1,1000,nan,P"}}), 3, "line 4 (analog channel 2), field 12 'secondary': 'nan' is not a finite number"},
        {with({{2, longLine}}), 3, "line 3 (analog channel 1): longer than 1048576 bytes, the limit of a line"},
        {with({{5, longLine}}), 3, "line 6 (line frequency line): longer than 1048576 bytes, the limit of a line"},
        {with({{11, longLine}}), 3, "line 12 (time multiplier line): longer than 1048576 bytes, the limit of a line"},
        {with({{11, "nan"}}), 4, "time multiplier 'nan' is not a positive number; time stamps are read with 1"},
        {with({{11, "-Inf"}}), 4, "time multiplier '-Inf' is not a positive number; time stamps are read with 1"},
        {with({{11, "1e300"}}), 4, "time multiplier '1e300' makes time stamps infinite; they are read with 1"},
    };
    for (const auto& [text, code, said] : cases) {
        const Cfg cfg = loadBothWays(text, code);
        const std::string& sentence = code == 4 ? cfg.report.warnings.at(0) : cfg.report.message;
        EXPECT_NE(sentence.find(said), std::string::npos) << sentence;
        EXPECT_TRUE(std::isfinite(cfg.timeMultiplier) && cfg.samplesCount < (1u << 31)) << said;
    }
}

// The type keyword in any letter case and with blanks; one status word per
// 16 status channels.
TEST(CfgLoad, RecordSizeFromTypeKeywordAndCounts)
{
    for (const auto& [statuses, keyword, layout] : std::vector<std::tuple<int, std::string, std::string>>{
             {16, "BINARY", "1|14"}, {17, " binary32\t", "2|20"}, {32, "FLOAT32 ", "3|20"}, {33, "Binary", "1|18"},
             {1, "binary 32", "0|0"}}) {
        std::string lines = "1,D,,,0";
        for (int i = 2; i <= statuses; ++i)
            lines += "\n" + std::to_string(i) + ",D,,,0";
        const Cfg cfg = loadBothWays(
            with({{1, std::to_string(statuses + 2) + ",2A," + std::to_string(statuses) + "D"}, {4, lines}, {10, keyword}}));
        EXPECT_EQ(std::to_string(cfg.dataFileType) + "|" + std::to_string(cfg.recordSize), layout) << keyword;
    }
}

// The rates give the time of each sample, past the last segment at the last
// rate. The time multiplier (which may be missing, or followed by the time
// code lines) scales time stamps only, of microseconds or, when a date line
// has more than six decimals, nanoseconds.
TEST(CfgTimeBase, TimesFromRatesAndStamps)
{
    using Times = std::vector<std::pair<unsigned long long, double>>; // position, seconds
    const std::string three = "1000,100\n500,300\n250,400";
    const std::vector<std::tuple<std::string, double, Times, double, std::string>> cases = {
        {with({{6, "3"}, {7, three}}), 0.896, {{99, 0.099}, {100, 0.1}, {150, 0.2}, {399, 0.896}, {500, 1.3}}, 1e-3, ",,,"},
        {with({{6, "3"}, {7, three}, {11, "2\n0,0"}}), 0.896, {{350, 0.7}}, 2e-3, "0,0,,"},
        {with({{6, "0"}, {7, " 1000 , 5000 "}}, 11, false), 4.999, {{1234, 1.234}}, 1e-3, ",,,"}, // nrates 0: one line
        {with({{6, "2"}, {7, "1000,100\n0,200"}}, 11), 0.0, {{99, 0.099}, {150, -1.0}}, 1e-3, ",,,"},
        {with({{7, "-1000,10"}, {11, " 0.5 "}}), 0.0, {{1, -1.0}}, 5e-4, ",,,"},
        {with({{11, "0"}}), 0.099, {}, 1e-3, ",,,"},                                  // read as 1, with a warning
        {with({{9, "01/01/2020,00:00:00.0000000"}, {11, "1\n -5h30, -5h30 \nB,3\x1A\x1A"}}), 0.099, {}, 1e-6,
         "-5h30,-5h30,B,3"},
    };
    for (const auto& [text, duration, times, stamp1000, codes] : cases) {
        const Cfg cfg = loadBothWays(text);
        EXPECT_DOUBLE_EQ(cfg.duration, duration) << text;
        for (const auto& [index, seconds] : times)
            EXPECT_DOUBLE_EQ(cfg.timeFromSampleIndex(index), seconds) << text << " at " << index;
        EXPECT_DOUBLE_EQ(KivComtradeLib::TimeBase::stampTime(1000, cfg), stamp1000) << text;
        EXPECT_EQ(cfg.timeCode + "," + cfg.localCode + "," + cfg.timeQuality + "," + cfg.leapSecond, codes);
        EXPECT_EQ(cfg.report.warnings.size(), cfg.line == "0" ? 1u : 0u) << text;
    }
    // A time base walks on from its last position, and again from the start for a smaller one.
    const Cfg cfg = loadBothWays(std::get<0>(cases[0]));
    KivComtradeLib::TimeBase clock(cfg);
    for (const auto& [index, seconds] : Times{{350, 0.7}, {50, 0.05}, {150, 0.2}, {399, 0.896}, {0, 0.0}})
        EXPECT_DOUBLE_EQ(clock.timeAt(index), seconds) << index;
}

// "y-m-d h:m:s.nanoseconds/digits", or "invalid/digits".
std::string show(const KivComtradeLib::DateTime& t)
{
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%09lld/%d", t.year, t.month, t.day, t.hour,
                  t.minute, t.second, t.nanosecond, t.fractionDigits);
    return t.valid ? text : "invalid/" + std::to_string(t.fractionDigits);
}

// Date lines are dd/mm/yyyy, except the 1991 form with a two-digit year (and
// any line of a revision 1991 file), which is mm/dd/yy; 00-69 are 20xx. A
// date impossible in that order but possible in the other is read in the
// other with a warning; an impossible one is invalid with a warning.
TEST(TimeLines, DateTimeLinesParsed)
{
    const std::vector<std::tuple<std::string, std::string, std::string, std::size_t>> cases = {
        {"SUB,R,2013", "12/03/2019,10:15:07.123456789", "2019-03-12 10:15:07.123456789/9", 0},
        {"SUB,R,1999", " 22/02/2010,21:41:29.659551 ", "2010-02-22 21:41:29.659551000/6", 0},
        {"SUB,R,1999", "29/02/2024,23:59:60.5", "2024-02-29 23:59:60.500000000/1", 0}, // leap second
        {"SUB,R", "09/17/15,10:52:52.987545", "2015-09-17 10:52:52.987545000/6", 0},
        {"SUB,R", "02/12/69,11:41:11", "2069-02-12 11:41:11.000000000/0", 0},
        {"SUB,R", "02/12/70,11:41:11", "1970-02-12 11:41:11.000000000/0", 0},
        {"SUB,R,1991", "02/12/1995,00:00:00", "1995-02-12 00:00:00.000000000/0", 0},
        {"SUB,R,1999", "12/25/2019,08:00:00", "2019-12-25 08:00:00.000000000/0", 1}, // order swapped
        {"SUB,R", "25/12/19,08:00:00", "2019-12-25 08:00:00.000000000/0", 1},
        {"SUB,R,2013", "09/44/2025,10:00:00.1234567", "invalid/7", 1}, // the unit still follows the digits
        {"SUB,R,1999", "29/02/2021,00:00:00", "invalid/0", 1},
        {"SUB,R,1999", "01/01/2020,24:00:00", "invalid/0", 1},
    };
    for (const auto& [station, line, parsed, warnings] : cases) {
        const Cfg cfg = loadBothWays(with({{0, station}, {8, line}}));
        EXPECT_EQ(show(cfg.start), parsed) << line;
        EXPECT_EQ(cfg.report.warnings.size(), warnings) << line;
        EXPECT_EQ(cfg.timeStampUnit, line.find(".1234567") != std::string::npos ? 1e-9 : 1e-6) << line;
        EXPECT_EQ(std::isnan(cfg.triggerOffset), !cfg.start.valid) << line;
    }
    // Trigger offset by the calendar, exact to the nanosecond.
    for (const auto& [start, trigger, offset] : std::vector<std::tuple<std::string, std::string, double>>{
             {"31/12/2019,23:59:59.999999999", "01/01/2020,00:00:00.000000001", 2e-9},
             {"28/02/2024,23:00:00.5", "01/03/2024,01:00:00.25", 93599.75}, // over 29 February
             {"22/02/2010,21:41:29.659551", "01/01/1970,00:00:00.000000", -1266874889.659551}})
        EXPECT_DOUBLE_EQ(loadBothWays(with({{8, start}, {9, trigger}})).triggerOffset, offset) << start;
}

// Real recordings, and LF and CR LF copies of them, give the values their
// files hold: durations are (samples - 1) / rate, offsets from the date lines,
// names in the encoding their recorder used.
TEST(CfgLoad, RealRecordings)
{
    const std::string root = KivTest::sharedSamplesDir();
    if (root.empty())
        GTEST_SKIP() << "no folder of real recordings (../shared/samples) beside the project";
    // file, start and trigger offset, duration, texts found in the loaded fields (in UTF-8)
    for (const auto& [file, start, duration, texts] :
         std::vector<std::tuple<std::string, std::string, double, std::vector<std::string>>>{
             {"python-comtrade/sample_sub_char.cfg", "2011-01-12 05:55:30.075011000/6 0.003250", 0.0325,
              {"SMARTSTATION|IED123|2013|8,4,4|4,4|60|1|40|", "|-5h30,-5h30,B,3|"}}, // 0x1A padding after "B,3"
             {"sel/1991-ascii-sel.cfg", "2011-02-12 11:41:11.081315000/6 0.065685", 479.0 / 960.0,
              {"|1991|616,24,592|24,592|"}},
             {"gb-1991/ascii_1991.cfg", "2015-09-17 10:52:52.987545000/6 0.077500", 2130.0 / 1200.0,
              {"UNREAL SUBSTATION|DEMOTEST|1991|61,24,37|24,37|50|8|2131|"}},
             {"wisp/4.cfg", "2014-12-04 07:01:48.813000000/6 0.720000", 2398.0 / 600.0, {"|1997|"}}, // as 4.CFG; day first
             {"wisp/1.cfg", "2017-05-25 08:13:16.587000000/6 0.090000", 2.211419899836923,
              {"|83|", ",ЗМН-1 пуск,"}}, // code page 1251
             {"cp866/test.cfg", "2007-01-01 00:45:13.457000000/6 1.000000", 5.999,
              {"СИРИУС-2-Л          |", ",Iв,"}}}) {
        Cfg original;
        ASSERT_EQ(original.load(root + "/" + file), 4) << file;
        std::string lf = KivTest::readFile(Kiv::resolveFileName(root + "/" + file));
        for (std::size_t at = lf.find("\r\n"); at != std::string::npos; at = lf.find("\r\n", at))
            lf.erase(at, 1);
        const Cfg cfg = loadBothWays(lf);
        EXPECT_EQ(dump(cfg), dump(original)) << file;
        EXPECT_EQ(show(cfg.start) + " " + std::to_string(cfg.triggerOffset), start) << file;
        EXPECT_DOUBLE_EQ(cfg.duration, duration) << file;
        for (const std::string& text : texts)
            EXPECT_NE(dump(cfg).find(text), std::string::npos) << file << ": " << text;
    }
    // Every real configuration read without options decodes its names as its
    // recorder wrote them (UTF-8 unless listed).
    const std::map<std::string, std::pair<std::string, std::string>> expected = {
        {"gb-1991/ascii_1991.cfg", {"GB18030", ",接收对侧远跳命令,"}},
        {"python-comtrade/sample_iso8859-1.cfg", {"ISO-8859-1", "Estação de Medição|Oscilógrafo|"}},
        {"python-comtrade/sample_iso8859-1_bin.cfg", {"ISO-8859-1", "Estação de Medição|Oscilógrafo|"}},
        {"cp866/test.cfg", {"CP866", ", Вход 2              ,"}},
        {"wisp/1.cfg", {"CP1251", ",Реле Отказ,"}},
        {"wisp/2.cfg", {"CP1251", "Неизвестный регистратор|576|"}},
        {"ge850/real_1999_bin.cfg", {"UTF-8", ",J1 Ia Angle         ,_,,°     ,"}},
        {"python-comtrade/sample_ascii_utf-8.cfg", {"UTF-8", "SMARTSTATION testing text encoding: hgvcj터파크387|"}},
    };
    std::size_t checked = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        const std::string extension = entry.path().extension().string(), file = std::filesystem::relative(entry.path(), root).generic_string();
        Cfg cfg;
        if (extension != ".cfg" && extension != ".CFG")
            continue;
        ASSERT_EQ(cfg.load(entry.path().string()), 4) << file;
        const auto found = expected.find(file);
        EXPECT_EQ(cfg.report.encoding + (cfg.report.encodingDetected ? "" : " named"), found == expected.end() ? "UTF-8" : found->second.first) << file;
        checked += found != expected.end();
        EXPECT_TRUE(found == expected.end() || dump(cfg).find(found->second.second) != std::string::npos) << file;
    }
    EXPECT_EQ(checked, expected.size());
}

// Gain and offset on each side: a 200:1 channel flagged P, the same flagged S,
// and one without a ratio. Primary values of a P channel are its written ones.
TEST(CfgLoad, ValueSides)
{
    using KivComtradeLib::ValueSide;
    const std::string text = "SUB,REL,2013\n3,3A,0D\n1,IA,A,,A,0.5,0.25,0,-32767,32767,200,1,P\n"
                             "2,IB,B,,A,0.5,0.25,0,-32767,32767,200,1,S\n3,UA,A,,kV,0.5,0.25,0,-32767,32767\n"
                             "50\n1\n1000,10\n01/01/2020,00:00:00\n01/01/2020,00:00:00\nASCII\n1\n";
    for (const auto& [side, expected] : std::vector<std::pair<ValueSide, std::string>>{
             {ValueSide::Secondary, "0.0025,0.00125 0.5,0.25 0.5,0.25"},
             {ValueSide::Primary, "0.5,0.25 100,50 0.5,0.25"},
             {ValueSide::Recorded, "0.5,0.25 0.5,0.25 0.5,0.25"}}) {
        KivComtradeLib::LoadOptions options;
        options.side = side;
        std::istringstream stream(text);
        Cfg cfg;
        ASSERT_EQ(cfg.load(stream, "x.cfg", options), 4);
        std::ostringstream got;
        for (const auto& channel : cfg.analogChannels)
            got << (channel.index ? " " : "") << channel.a << ',' << channel.b;
        EXPECT_EQ(got.str(), expected) << static_cast<int>(side);
        EXPECT_EQ(cfg.analogChannels[0].unit + cfg.analogChannels[2].unit, "AkV");
    }
}

} // namespace
