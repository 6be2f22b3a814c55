#include <KivComtradeLib/Cfg.h>
#include <KivComtradeLib/KivCommon.h>

#include "config/TimeBase.h"
#include "writer/ComtradeWriter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

using KivComtradeLib::Cfg;
using KivComtradeLib::DateTime;
using Lines = std::vector<std::string>;

namespace {

// Every field as text, so that two loads compare in one assertion. The first
// line sums up what a load kept:
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
        out << '\n' << a.index << ':' << a.channelInfo() << '|' << a.multiplier;
    for (const auto& b : c.binaryChannels)
        out << '\n' << b.index << ':' << b.channelInfo();
    out << '\n' << c.allRatesNonZero << '|' << c.recordSize << '|' << c.timeMultiplier << '|' << c.duration << '|'
        << c.timeStampUnit << '|' << c.start.text << '|' << c.timeCode << ',' << c.localCode << ','
        << c.timeQuality << ',' << c.leapSecond << '|' << c.line;
    return out.str();
}

// Loads the text with LF and with CR LF line ends: both must give `code` and
// the same fields. Returns the LF load.
Cfg loadBothWays(const std::string& text, int code = 4, const std::string& name = "rec.cfg")
{
    KivTest::TempDir dir("cfg");
    Cfg lf, crlf;
    EXPECT_TRUE(KivTest::writeFile(dir.file(name), text));
    EXPECT_EQ(lf.load(dir.file(name)), code) << text;
    EXPECT_TRUE(KivTest::writeFile(dir.file(name), KivTest::toCrLf(text)));
    EXPECT_EQ(crlf.load(dir.file(name)), code) << text << " (CR LF)";
    EXPECT_EQ(dump(lf), dump(crlf)) << text;
    return lf;
}

// Lines: 0 station, 1 counts, 2-3 analog, 4 status, 5 frequency, 6 nrates,
// 7 rate, 8-9 dates, 10 file type, 11 time multiplier.
const Lines kBase = {"SUB,REL,1999", "3,2A,1D", "1,A1,,,kV,2,0,0,-1,1,1000,1,P", "2,A2,,,kV,2,0,0,-1,1,1000,1,P",
                     "1,D1,,,0", "60", "1", "1000,100", "01/01/2020,00:00:00.000000", "01/01/2020,00:00:00.000000",
                     "BINARY", "1.0"};

// kBase with line i replaced, cut to `count` lines, more lines added; joined
// with a final line end or not.
std::string with(std::size_t i, const std::string& text, std::size_t count = kBase.size(), const Lines& more = {},
                 bool finalEol = true)
{
    Lines lines(kBase.begin(), kBase.begin() + static_cast<long>(count));
    lines[i] = text;
    lines.insert(lines.end(), more.begin(), more.end());
    std::string joined;
    for (std::size_t k = 0; k < lines.size(); ++k)
        joined += lines[k] + (k + 1 < lines.size() || finalEol ? "\n" : "");
    return joined;
}

TEST(CfgLoad, ReadsEveryLineWithOrWithoutFinalLineEnd)
{
    for (bool finalEol : {true, false})
        EXPECT_EQ(dump(loadBothWays(with(0, kBase[0], kBase.size(), {}, finalEol))),
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
    const struct {
        std::string text;
        int code;
        std::string kept;
    } cases[] = {
        {"", 3, "Station1||1999|0,0,0|0,0|50|0|0|0"},
        {with(0, "SUB,REL"), 4, "SUB|REL|1991|3,2,1|2,1|60|1|100|1"},
        {with(0, " SUB ,REL , 2013 ,x"), 4, " SUB |REL |2013|3,2,1|2,1|60|1|100|1"},
        {with(1, " 3 , 2A , 1D "), 4, head + "3,2,1|2,1|60|1|100|1"},
        {with(0, "SUB,REL,X"), 3, head + "0,0,0|0,0|50|0|0|0"},
        {with(0, kBase[0], 1), 3, head + "0,0,0|0,0|50|0|0|0"},
        {with(1, "5,2A,2D"), 3, head + "5,2,2|0,0|50|0|0|0"}, // counts do not add up
        {with(1, "3,2A"), 3, head + "3,0,0|0,0|50|0|0|0"},
        {with(0, kBase[0], 3), 3, counted + "1,0|50|0|0|0"}, // channel lines break off
        {with(3, "2,UB,B,Q1,kV,2,0,0,-32767"), 3, counted + "1,0|50|0|0|0"},
        {with(4, "1,D1,,,X"), 3, counted + "2,0|50|0|0|0"},
        {with(5, "fifty"), 3, counted + "2,1|50|0|0|0"},
        {with(6, "-1"), 3, counted + "2,1|60|0|0|0"},
        {with(6, "2", 8), 3, counted + "2,1|60|1|0|0"}, // fewer rate lines than nrates
        {with(7, "1000"), 3, counted + "2,1|60|0|0|0"},
        {with(7, "1000,2147483648"), 3, counted + "2,1|60|0|0|0"}, // beyond a 32-bit long
        {with(0, kBase[0], 9), 3, counted + "2,1|60|1|100|0"},     // no trigger line
        {with(0, kBase[0], 10), 3, counted + "2,1|60|1|100|0"},    // no file type line
        {with(11, "abc"), 3, counted + "2,1|60|1|100|1"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(dump(loadBothWays(c.text, c.code), true), c.kept) << testing::PrintToString(c.text);
    Cfg missing;
    EXPECT_EQ(missing.load("no/such/rec.cfg"), 2);
}

TEST(CfgLoad, SecondLoadEqualsFreshLoad)
{
    // The second has no time-multiplier line and no final line end.
    const std::string a = with(11, "2.5", kBase.size(), {"-5h30,0", "B,3"}), b = with(10, "ASCII", 11, {}, false);
    const Cfg freshB = loadBothWays(b);
    EXPECT_DOUBLE_EQ(freshB.timeMultiplier, 1.0);
    for (const std::string& first : {a, with(3, "2,X")}) {
        KivTest::TempDir dir("cfg");
        ASSERT_TRUE(KivTest::writeFile(dir.file("a.cfg"), first) && KivTest::writeFile(dir.file("b.cfg"), b));
        Cfg reused;
        reused.load(dir.file("a.cfg"));
        EXPECT_EQ(reused.load(dir.file("b.cfg")), 4);
        EXPECT_EQ(dump(reused), dump(freshB)) << first;
    }
}

// The rates give the time of each sample (the time multiplier scales time
// stamps only); past the last segment the last rate runs on.
TEST(CfgTimeBase, RateSegmentsGiveTimeOfEachSample)
{
    const Lines three = {"3", "1000,100", "500,300", "250,400"};
    const struct {
        Lines rates;
        std::string multiplier;
        bool allNonZero;
        double duration;
        std::vector<std::pair<unsigned long long, double>> times; // position, seconds
    } cases[] = {
        {three, "1.0", true, 0.896, {{99, 0.099}, {100, 0.1}, {150, 0.2}, {300, 0.5}, {399, 0.896}, {500, 1.3}}},
        {three, "2.0", true, 0.896, {{150, 0.2}, {350, 0.7}}},
        {{"0", " 1000 , 5000 "}, "1", true, 4.999, {{1234, 1.234}}}, // nrates 0 reads one line
        {{"2", "1000,100", "0,200"}, "1", false, 0.0, {{99, 0.099}, {150, -1.0}}},
        {{"1", "0.0000005,10"}, "1", false, 0.0, {}}, // below 1e-6 counts as zero
        {{"1", "-1000,10"}, "1", false, 0.0, {{1, -1.0}}},
    };
    for (const auto& c : cases) {
        Lines lines(kBase.begin(), kBase.begin() + 6);
        lines.insert(lines.end(), c.rates.begin(), c.rates.end());
        lines.insert(lines.end(), {kBase[8], kBase[9], "ASCII", c.multiplier});
        std::string text;
        for (const std::string& line : lines)
            text += line + "\n";
        const Cfg cfg = loadBothWays(text);
        EXPECT_EQ(cfg.allRatesNonZero, c.allNonZero) << text;
        EXPECT_DOUBLE_EQ(cfg.duration, c.duration) << text;
        for (const auto& [index, seconds] : c.times)
            EXPECT_DOUBLE_EQ(cfg.timeFromSampleIndex(index), seconds) << text << " at " << index;
    }
    // The walk resumes where the last position left it; a smaller one starts again.
    const Cfg cfg = loadBothWays(with(6, "3", 7, {"1000,100", "500,300", "250,400", kBase[8], kBase[9], "ASCII"}));
    KivComtradeLib::TimeBase clock(cfg);
    for (const auto& [index, seconds] : std::vector<std::pair<unsigned long long, double>>{
             {350, 0.7}, {50, 0.05}, {150, 0.2}, {150, 0.2}, {399, 0.896}, {0, 0.0}, {300, 0.5}})
        EXPECT_DOUBLE_EQ(clock.timeAt(index), seconds) << index;
}

// The time-multiplier line may be missing, last, or followed by the time code
// lines; stamps count microseconds, or nanoseconds when a date line has more
// than six decimals.
TEST(CfgTimeBase, TimeMultiplierStampUnitAndTimeCodeLines)
{
    const struct {
        std::string text;
        double stamp1000; // seconds of a time stamp of 1000
        std::string codes;
    } cases[] = {
        {with(10, "ASCII", 11, {}, false), 1e-3, ",,,"},
        {with(10, "ASCII", 11), 1e-3, ",,,"},
        {with(11, " 0.5 "), 5e-4, ",,,"},
        {with(11, "0"), 1e-3, ",,,"}, // read as 1, with a warning
        {with(9, "01/01/2020,00:00:00.0000000", 12, {" -5h30, -5h30 ", "B,3\x1A\x1A"}), 1e-6, "-5h30,-5h30,B,3"},
        {with(8, "01/01/2020,00:00:00.123456789", 12, {"+10h,0"}), 1e-6, "+10h,0,,"},
        {with(11, "2", 12, {"0,0"}), 2e-3, "0,0,,"},
    };
    for (const auto& c : cases) {
        const Cfg cfg = loadBothWays(c.text);
        EXPECT_DOUBLE_EQ(KivComtradeLib::TimeBase::stampTime(1000, cfg), c.stamp1000) << c.text;
        EXPECT_EQ(cfg.timeCode + "," + cfg.localCode + "," + cfg.timeQuality + "," + cfg.leapSecond, c.codes);
        EXPECT_DOUBLE_EQ(cfg.duration, 0.099) << c.text;
        EXPECT_EQ(cfg.report.warnings.size(), cfg.line == "0" ? 1u : 0u) << c.text;
    }
}

// "y-m-d h:m:s.nanoseconds/digits", or "invalid/digits".
std::string show(const DateTime& t)
{
    if (!t.valid)
        return "invalid/" + std::to_string(t.fractionDigits);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%09lld/%d", t.year, t.month, t.day, t.hour,
                  t.minute, t.second, t.nanosecond, t.fractionDigits);
    return text;
}

// Date lines are dd/mm/yyyy, except the 1991 form with a two-digit year (and
// any line of a revision 1991 file), which is mm/dd/yy; 00-69 are 20xx. A
// date impossible in that order but possible in the other is read in the
// other with a warning; an impossible one is invalid with a warning.
TEST(TimeLines, DateTimeLinesParsed)
{
    const struct {
        std::string station, line, parsed;
        std::size_t warnings;
    } cases[] = {
        {"SUB,R,2013", "12/03/2019,10:15:07.123456789", "2019-03-12 10:15:07.123456789/9", 0},
        {"SUB,R,2013", "12/03/2019,10:15:07.1234567891", "2019-03-12 10:15:07.123456789/10", 0},
        {"SUB,R,1999", " 22/02/2010,21:41:29.659551 ", "2010-02-22 21:41:29.659551000/6", 0},
        {"SUB,R,1999", "29/02/2024,05:06:07", "2024-02-29 05:06:07.000000000/0", 0},
        {"SUB,R,1999", "31/12/2016,23:59:60.5", "2016-12-31 23:59:60.500000000/1", 0}, // leap second
        {"SUB,R", "09/17/15,10:52:52.987545", "2015-09-17 10:52:52.987545000/6", 0},
        {"SUB,R", "02/12/69,11:41:11", "2069-02-12 11:41:11.000000000/0", 0},
        {"SUB,R", "02/12/70,11:41:11", "1970-02-12 11:41:11.000000000/0", 0},
        {"SUB,R,1991", "02/12/1995,00:00:00", "1995-02-12 00:00:00.000000000/0", 0},
        {"SUB,R,1999", "12/25/2019,08:00:00", "2019-12-25 08:00:00.000000000/0", 1}, // order swapped
        {"SUB,R", "25/12/19,08:00:00", "2019-12-25 08:00:00.000000000/0", 1},
        {"SUB,R,2013", "09/44/2025,10:00:00.1234567", "invalid/7", 1}, // the unit still follows the digits
        {"SUB,R,1999", "29/02/2021,00:00:00", "invalid/0", 1},
        {"SUB,R,1999", "01/01/2020,24:00:00", "invalid/0", 1},
        {"SUB,R,1999", "01/01/202,10:00:00", "invalid/0", 1},
    };
    for (const auto& c : cases) {
        std::string text = with(0, c.station);
        text.replace(text.find(kBase[8]), kBase[8].size(), c.line);
        const Cfg cfg = loadBothWays(text);
        EXPECT_EQ(show(cfg.start), c.parsed) << c.line;
        EXPECT_EQ(cfg.report.warnings.size(), c.warnings) << c.line;
        EXPECT_EQ(cfg.timeStampUnit, c.line.find(".1234567") != std::string::npos ? 1e-9 : 1e-6) << c.line;
        EXPECT_EQ(std::isnan(cfg.triggerOffset), !cfg.start.valid) << c.line;
    }
    // Trigger offset by the calendar, exact to the nanosecond.
    const struct {
        std::string start, trigger;
        double offset;
    } offsets[] = {
        {"31/12/2019,23:59:59.999999999", "01/01/2020,00:00:00.000000001", 2e-9},
        {"28/02/2024,23:00:00.5", "01/03/2024,01:00:00.25", 93599.75}, // over 29 February
        {"22/02/2010,21:41:29.659551", "01/01/1970,00:00:00.000000", -1266874889.659551},
    };
    for (const auto& c : offsets)
        EXPECT_DOUBLE_EQ(loadBothWays(with(8, c.start, 9, {c.trigger, "ASCII"})).triggerOffset, c.offset) << c.start;
}

// Real recordings, and LF and CR LF copies of them, give the values their
// files hold: durations are (samples - 1) / rate, offsets from the date lines.
TEST(CfgLoad, RealRecordings)
{
    const std::string root = KivTest::sharedSamplesDir();
    if (root.empty())
        GTEST_SKIP() << "no folder of real recordings (../shared/samples) beside the project";
    const struct {
        std::string file, start;
        double offset, duration;
        std::vector<std::string> texts; // found in the loaded fields, in UTF-8
    } cases[] = {
        {"python-comtrade/sample_sub_char.cfg", "2011-01-12 05:55:30.075011000/6", 0.00325, 0.0325,
         {"SMARTSTATION|IED123|2013|8,4,4|4,4|60|1|40|", "|-5h30,-5h30,B,3|"}}, // 0x1A padding after "B,3"
        {"sel/1999-binary-hif-sel.cfg", "2016-04-08 04:39:50.598100000/6", 89.981018, 0.0, {"FEEDER 1|"}},
        {"sel/1991-ascii-sel.cfg", "2011-02-12 11:41:11.081315000/6", 0.065685, 479.0 / 960.0,
         {"|1991|616,24,592|24,592|"}},
        {"gb-1991/ascii_1991.cfg", "2015-09-17 10:52:52.987545000/6", 0.0775, 2130.0 / 1200.0,
         {"UNREAL SUBSTATION|DEMOTEST|1991|61,24,37|24,37|50|8|2131|"}},
        {"wisp/4.cfg", "2014-12-04 07:01:48.813000000/6", 0.72, 2398.0 / 600.0, {"|1997|"}}, // as 4.CFG; day first
        {"wisp/1.cfg", "", 0.0, 0.0, {",ЗМН-1 пуск,", ",Реле Отказ,"}}, // code page 1251
        {"cp866/test.cfg", "2007-01-01 00:45:13.457000000/6", 1.0, 5.999,
         {"СИРИУС-2-Л          |", ",Iв,", ", Вход 2              ,"}},
    };
    for (const auto& c : cases) {
        Cfg original;
        ASSERT_EQ(original.load(root + "/" + c.file), 4) << c.file;
        std::string lf = KivTest::readFile(Kiv::resolveFileName(root + "/" + c.file));
        for (std::size_t at = lf.find("\r\n"); at != std::string::npos; at = lf.find("\r\n", at))
            lf.erase(at, 1);
        const Cfg cfg = loadBothWays(lf, 4, "copy.cfg");
        EXPECT_EQ(dump(cfg), dump(original)) << c.file;
        if (!c.start.empty()) {
            EXPECT_EQ(show(cfg.start), c.start) << c.file;
            EXPECT_NEAR(cfg.triggerOffset, c.offset, 1e-12) << c.file;
            EXPECT_DOUBLE_EQ(cfg.duration, c.duration) << c.file;
        }
        for (const std::string& text : c.texts)
            EXPECT_NE(dump(cfg).find(text), std::string::npos) << c.file << ": " << text;
    }
}

} // namespace
