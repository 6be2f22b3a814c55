#include <KivComtradeLib/Cfg.h>
#include <KivComtradeLib/Comtrade.h>

#include "config/TimeBase.h"
#include "writer/ComtradeWriter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

using KivComtradeLib::Cfg;
using KivComtradeLib::Comtrade;
using KivComtradeLib::DateTime;
namespace E = KivComtradeLib::Enums;

namespace {

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

// The whole time base of one recording: the rates give times without the
// multiplier; a zero rate makes the time stamps (k x 333 here) give them, in
// microseconds or, when a date line writes more than six decimals, nanoseconds.
TEST(TimeBase, DurationAndTimesFromRatesOrStamps)
{
    const std::string us = "01/06/2026,10:00:00.000000", ns = "01/06/2026,10:00:00.0000000";
    const struct {
        double rate, multiplier;
        std::string startLine;
        double unit, duration, time10;
    } cases[] = {
        {1000.0, 1.0, us, 1e-6, 0.049, 0.010},
        {1000.0, 0.5, us, 1e-6, 0.049, 0.010},
        {1000.0, 1000.0, ns, 1e-9, 0.049, 0.010},
        {0.0, 1.0, us, 1e-6, 0.016317, 0.00333},
        {0.0, 1.0, ns, 1e-9, 1.6317e-5, 3.33e-6},
        {0.0, 0.5, us, 1e-6, 0.0081585, 0.001665},
        {0.0, 1000.0, ns, 1e-9, 0.016317, 0.00333},
        {0.0, 0.0, us, 1e-6, 0.016317, 0.00333}, // zero multiplier: read as 1, with a warning
    };
    KivTest::TempDir dir("timebase");
    for (const auto& c : cases) {
        for (E::DataFileType type : {E::Ascii, E::Binary32}) {
            const std::string name = std::to_string(c.rate) + " x" + std::to_string(c.multiplier) + " " +
                                     c.startLine + " " + KivTest::typeKeyword(type);
            KivTest::RecordingLayout design;
            design.analogs.resize(1);
            design.type = type;
            design.rates = {{c.rate, 50}};
            design.timeMultiplier = c.multiplier;
            design.startTime = c.startLine;
            KivTest::Recording rec = KivTest::makeRecording(design, 50);
            for (std::size_t k = 0; k < rec.records.size(); ++k)
                rec.records[k].timeStamp = static_cast<std::uint32_t>(k * 333);
            ASSERT_TRUE(KivTest::writeRecording(rec, dir.file("rec")));
            Comtrade ct;
            ASSERT_EQ(ct.load(dir.file("rec.cfg")), 0) << name;
            EXPECT_EQ(ct.cfg.timeStampUnit, c.unit) << name;
            EXPECT_DOUBLE_EQ(ct.duration, c.duration) << name;
            EXPECT_DOUBLE_EQ(ct.dat.samples.at(10).time, c.time10) << name;
            EXPECT_EQ(ct.cfg.report.warnings.size(), c.multiplier > 0.0 ? 0u : 1u) << name;
        }
    }
}

// The walk resumes where the last position left it, and a smaller position
// starts it again: both give what a fresh walk gives.
TEST(TimeBase, ClockInAnyOrderEqualsFreshWalk)
{
    std::vector<KivComtradeLib::SamplingRate> rates(3);
    rates[0].rate = 1000.0, rates[0].endSample = 100;
    rates[1].rate = 500.0, rates[1].endSample = 300;
    rates[2].rate = 250.0, rates[2].endSample = 400;
    const std::vector<std::pair<unsigned long long, double>> times = {
        {350, 0.7}, {50, 0.05}, {150, 0.2}, {150, 0.2}, {399, 0.896}, {500, 1.3}, {0, 0.0}, {300, 0.5}};
    KivComtradeLib::TimeBase clock(rates);
    for (const auto& [index, seconds] : times)
        EXPECT_DOUBLE_EQ(clock.timeAt(index), seconds) << index;
    rates[1].rate = 0.0;
    KivComtradeLib::TimeBase broken(rates);
    EXPECT_DOUBLE_EQ(broken.timeAt(50), 0.05);
    EXPECT_EQ(broken.timeAt(150), -1.0);
    EXPECT_EQ(broken.timeAt(350), -1.0);
}

Cfg loadCfg(const std::vector<std::string>& lines, int code = 4)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    KivTest::TempDir dir("time");
    EXPECT_TRUE(KivTest::writeFile(dir.file("rec.cfg"), text));
    Cfg cfg;
    EXPECT_EQ(cfg.load(dir.file("rec.cfg")), code) << text;
    return cfg;
}

std::vector<std::string> configuration(const std::string& rev, const std::string& start, const std::string& trigger,
                                       const std::vector<std::string>& after)
{
    std::vector<std::string> lines = {"SUB" + rev, "1,1A,0D", "1,A1,,,V,1,0,0,-1,1", "50", "1", "1000,10",
                                      start, trigger, "ASCII"};
    lines.insert(lines.end(), after.begin(), after.end());
    return lines;
}

// Date lines are dd/mm/yyyy, except the 1991 form with a two-digit year
// (and any line of a revision 1991 file), which is mm/dd/yy; 00-69 are 20xx.
// A date that is impossible in that order but possible in the other is read
// in the other with a warning; an impossible one is invalid with a warning.
TEST(TimeLines, DateTimeLinesParsed)
{
    const std::string ok = "01/01/2020,00:00:00.000000";
    const struct {
        std::string rev, line, parsed;
        std::size_t warnings;
        double unit;
    } cases[] = {
        {",R,2013", "12/03/2019,10:15:07.123456789", "2019-03-12 10:15:07.123456789/9", 0, 1e-9},
        {",R,2013", "12/03/2019,10:15:07.1234567", "2019-03-12 10:15:07.123456700/7", 0, 1e-9},
        {",R,2013", "12/03/2019,10:15:07.1234567891", "2019-03-12 10:15:07.123456789/10", 0, 1e-9},
        {",R,1999", " 22/02/2010,21:41:29.659551 ", "2010-02-22 21:41:29.659551000/6", 0, 1e-6},
        {",R,1999", "29/02/2024,05:06:07", "2024-02-29 05:06:07.000000000/0", 0, 1e-6}, // no sub-second part
        {",R,1999", "31/12/2016,23:59:60.5", "2016-12-31 23:59:60.500000000/1", 0, 1e-6}, // leap second
        {",R", "01/01/07,00:45:13.457000", "2007-01-01 00:45:13.457000000/6", 0, 1e-6},
        {",R", "09/17/15,10:52:52.987545", "2015-09-17 10:52:52.987545000/6", 0, 1e-6},
        {",R", "02/12/11,11:41:11.081315", "2011-02-12 11:41:11.081315000/6", 0, 1e-6},
        {",R", "02/12/95,11:41:11.081315", "1995-02-12 11:41:11.081315000/6", 0, 1e-6},
        {",R,1991", "02/12/1995,00:00:00.000000", "1995-02-12 00:00:00.000000000/6", 0, 1e-6},
        {",R,1999", "12/25/2019,08:00:00.000000", "2019-12-25 08:00:00.000000000/6", 1, 1e-6}, // order swapped
        {",R", "25/12/19,08:00:00.000000", "2019-12-25 08:00:00.000000000/6", 1, 1e-6},
        {",R,2013", "09/44/2025,10:00:00.123456789", "invalid/9", 1, 1e-9}, // unit still from the digits
        {",R,1999", "29/02/2021,00:00:00.000000", "invalid/6", 1, 1e-6},
        {",R,1999", "01/01/2020,24:00:00.000000", "invalid/6", 1, 1e-6},
        {",R,1999", "01/01/2020,10:00:00.12a", "invalid/0", 1, 1e-6},
        {",R,1999", "01/01/202,10:00:00", "invalid/0", 1, 1e-6},
        {",R,1999", "d1", "invalid/0", 1, 1e-6},
    };
    for (const auto& c : cases) {
        const Cfg cfg = loadCfg(configuration(c.rev, c.line, ok, {"1"}));
        EXPECT_EQ(show(cfg.start), c.parsed) << c.line;
        EXPECT_EQ(cfg.start.text, c.line);
        EXPECT_EQ(cfg.report.warnings.size(), c.warnings) << c.line;
        EXPECT_EQ(cfg.timeStampUnit, c.unit) << c.line;
        EXPECT_EQ(std::isnan(cfg.triggerOffset), !cfg.start.valid) << c.line;
    }
}

// Trigger offset by the calendar, exact to the nanosecond.
TEST(TimeLines, TriggerOffsetAndTimeCodeLines)
{
    const struct {
        std::string start, trigger;
        double offset;
    } offsets[] = {
        {"31/12/2019,23:59:59.999999999", "01/01/2020,00:00:00.000000001", 2e-9},
        {"28/02/2024,23:00:00.5", "01/03/2024,01:00:00.25", 93599.75}, // over 29 February
        {"22/02/2010,21:41:29.659551", "01/01/1970,00:00:00.000000", -1266874889.659551},
        {"01/01/2020,00:00:00.000000", "01/01/2020,00:00:00.000000", 0.0},
    };
    for (const auto& c : offsets)
        EXPECT_DOUBLE_EQ(loadCfg(configuration(",R,2013", c.start, c.trigger, {"1"})).triggerOffset, c.offset)
            << c.start << " " << c.trigger;

    // The 2013 lines after the multiplier: kept when present, never required.
    const std::string d = "01/01/2020,00:00:00.000000";
    const struct {
        std::vector<std::string> after;
        std::string codes; // timeCode|localCode|timeQuality|leapSecond
    } tails[] = {
        {{"1", "-5h30,-5h30", "B,3"}, "-5h30|-5h30|B|3"},
        {{"1", " 0,0 ", "0,0"}, "0|0|0|0"},
        {{"1", "+10h,0"}, "+10h|0||"},
        {{"1"}, "|||"},
        {{}, "|||"},
    };
    for (const auto& c : tails) {
        const Cfg cfg = loadCfg(configuration(",R,2013", d, d, c.after));
        EXPECT_EQ(cfg.timeCode + "|" + cfg.localCode + "|" + cfg.timeQuality + "|" + cfg.leapSecond, c.codes);
    }
}

// Real recordings: durations worked out from their .cfg files (the rates:
// (samples - 1) / rate; the multiplier does not apply), trigger offsets from
// their date lines.
TEST(TimeLines, RealRecordings)
{
    const std::string root = KivTest::sharedSamplesDir();
    if (root.empty())
        GTEST_SKIP() << "no folder of real recordings beside the project";
    const struct {
        std::string file, start;
        double offset, duration;
        std::string codes;
    } cases[] = {
        {"python-comtrade/sample_ascii.cfg", "2011-01-12 05:55:30.075011000/6", 0.00325, 0.0325, "-5h30|-5h30|B|3"},
        {"python-comtrade/sample_iso8859-1.cfg", "2011-01-12 05:55:30.075011000/6", 0.00325, 0.0325, "-5h30|-5h30|B|3"},
        {"python-comtrade/sample_iso8859-1_bin.cfg", "2011-01-12 05:55:30.750110000/6", 0.0325, 0.0325,
         "-5h30|-5h30|B|3"},
        {"python-comtrade/sample_sub_char.cfg", "2011-01-12 05:55:30.075011000/6", 0.00325, 0.0325,
         "-5h30|-5h30|B|3"}, // 0x1A padding right after "B,3"
        {"sel/1999-binary-hif-sel.cfg", "2016-04-08 04:39:50.598100000/6", 89.981018, 0.0, "|||"}, // a line of 0x1A
        {"python-comtrade/sample_bin.cfg", "2017-01-07 15:35:41.958268000/6", 0.000065, 4.0 / 15360.0, "|||"},
        {"sel/1991-ascii-sel.cfg", "2011-02-12 11:41:11.081315000/6", 0.065685, 479.0 / 960.0, "|||"},
        {"gb-1991/ascii_1991.cfg", "2015-09-17 10:52:52.987545000/6", 0.0775, 2130.0 / 1200.0, "|||"},
        // Revision "1997" with a four-digit year: day first (the file name says 2014-12-04).
        {"wisp/4.CFG", "2014-12-04 07:01:48.813000000/6", 0.72, 2398.0 / 600.0, "|||"},
        {"cp866/test.cfg", "2007-01-01 00:45:13.457000000/6", 1.0, 5.999, "|||"},
    };
    for (const auto& c : cases) {
        Cfg cfg;
        ASSERT_EQ(cfg.load(root + "/" + c.file), 4) << c.file;
        EXPECT_EQ(show(cfg.start), c.start) << c.file;
        EXPECT_NEAR(cfg.triggerOffset, c.offset, 1e-12) << c.file;
        EXPECT_DOUBLE_EQ(cfg.duration, c.duration) << c.file;
        EXPECT_EQ(cfg.timeCode + "|" + cfg.localCode + "|" + cfg.timeQuality + "|" + cfg.leapSecond, c.codes)
            << c.file;
    }
}

} // namespace
