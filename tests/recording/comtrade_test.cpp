// The facade: result codes and the state each one leaves, file-name
// derivation, the recording's duration, values through the views for every
// data-file type, reuse, copies and moves, and the real recordings of
// ../shared/samples.

#include "writer/ComtradeWriter.h"

#include <KivComtradeLib/Comtrade.h>
#include <KivComtradeLib/FilesHelper.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <utility>

using namespace KivTest;
using KivComtradeLib::Comtrade;
namespace E = KivComtradeLib::Enums;
namespace fs = std::filesystem;

namespace {

// Analog channels of varied units, gains, offsets and skews, every second one
// primary-side; status channels of alternating normal states.
RecordingLayout mixedLayout(E::DataFileType type, std::size_t analogs = 3, std::size_t statuses = 17)
{
    RecordingLayout design;
    design.type = type;
    const char* units[] = {"A", "kV", "mA", "V"};
    for (std::size_t c = 0; c < analogs; ++c) {
        AnalogLayout a;
        a.id = "CH" + std::to_string(c + 1);
        a.phase = std::string(1, char('A' + c % 3));
        a.unit = units[c % 4];
        a.a = 0.125 * double(c + 1);
        a.b = double(c) * 0.5 - 0.25;
        a.skewMicroseconds = double(c) * 10.0;
        if (c % 2) {
            a.ps = 'P';
            a.primary = 110000.0;
            a.secondary = 100.0;
        }
        design.analogs.push_back(a);
    }
    for (std::size_t d = 0; d < statuses; ++d)
        design.statuses.push_back(StatusLayout{"ST" + std::to_string(d + 1), "", "", int(d % 2)});
    return design;
}

// What a load leaves observable: the time base, every sample, and every
// view's default point series.
void expectSameState(const Comtrade& a, const Comtrade& b)
{
    EXPECT_EQ(a.loaded, b.loaded);
    EXPECT_EQ(a.duration, b.duration);
    EXPECT_EQ(a.cfg.stationName, b.cfg.stationName);
    EXPECT_EQ(a.cfg.samplesCount, b.cfg.samplesCount);
    EXPECT_EQ(a.cfg.dataFileType, b.cfg.dataFileType);
    EXPECT_EQ(a.cfg.timeMultiplier, b.cfg.timeMultiplier);
    EXPECT_EQ(a.dat.lastSampleTime, b.dat.lastSampleTime);
    ASSERT_EQ(a.dat.samples.size(), b.dat.samples.size());
    for (std::size_t k = 0; k < a.dat.samples.size(); ++k) {
        ASSERT_EQ(a.dat.samples[k].time, b.dat.samples[k].time) << k;
        const auto& va = a.dat.samples[k].analogValues;
        const auto& vb = b.dat.samples[k].analogValues;
        ASSERT_TRUE(va.size() == vb.size() && std::memcmp(va.data(), vb.data(), va.size() * sizeof(double)) == 0) << k;
        ASSERT_EQ(a.dat.samples[k].binaryValues, b.dat.samples[k].binaryValues) << k;
    }
    ASSERT_EQ(a.analogChannels.size(), b.analogChannels.size());
    ASSERT_EQ(a.binaryChannels.size(), b.binaryChannels.size());
    const auto samePoints = [](const KivComtradeLib::BaseChannel& x, const KivComtradeLib::BaseChannel& y) {
        EXPECT_EQ(x.name(), y.name());
        const auto px = x.getPoints(0.0, -1.0, -1.0), py = y.getPoints(0.0, -1.0, -1.0);
        ASSERT_EQ(px.size(), py.size()) << x.name();
        for (std::size_t i = 0; i < px.size(); ++i)
            ASSERT_EQ(std::memcmp(&px[i], &py[i], sizeof px[i]), 0) << x.name() << " point " << i;
    };
    for (std::size_t c = 0; c < a.analogChannels.size(); ++c)
        samePoints(a.analogChannels[c], b.analogChannels[c]);
    for (std::size_t d = 0; d < a.binaryChannels.size(); ++d)
        samePoints(a.binaryChannels[d], b.binaryChannels[d]);
}

// Views, the Dat and every sample of `c` refer into `c` itself.
void expectOwnViews(const Comtrade& c)
{
    EXPECT_EQ(c.dat.cfg, &c.cfg);
    for (const auto& s : c.dat.samples)
        ASSERT_EQ(s.cfg, &c.cfg);
    ASSERT_EQ(c.analogChannels.size(), c.cfg.analogChannels.size());
    ASSERT_EQ(c.binaryChannels.size(), c.cfg.binaryChannels.size());
    for (std::size_t i = 0; i < c.analogChannels.size(); ++i)
        EXPECT_TRUE(&c.analogChannels[i].config == &c.cfg.analogChannels[i]
                    && &c.analogChannels[i].samples == &c.dat.samples);
    for (std::size_t i = 0; i < c.binaryChannels.size(); ++i)
        EXPECT_TRUE(&c.binaryChannels[i].config == &c.cfg.binaryChannels[i]
                    && &c.binaryChannels[i].samples == &c.dat.samples);
}

// Two recordings that differ in everything a load sets: layout, type, rate
// table, time base and time multiplier. The second has no time-multiplier
// line and no final line end. Plus a broken configuration and a short file.
struct TwoRecordings {
    TempDir dir{"lifetime"};
    std::string first = dir.file("first.cfg");
    std::string second = dir.file("second.dat");

    TwoRecordings()
    {
        RecordingLayout a = mixedLayout(E::Binary32, 5, 20);
        a.station = "FIRST";
        a.revYear = 2013;
        a.rates = {{4000.0, 100}, {0.0, 300}};
        a.timeMultiplier = 2.0;
        EXPECT_TRUE(writeRecording(makeRecording(a, 300), dir.file("first")));
        RecordingLayout b = mixedLayout(E::Ascii, 2, 3);
        b.station = "SECOND";
        b.revYear = 1991;
        b.writeTimeMultiplier = false;
        b.finalLineEnd = false;
        b.crlf = true;
        EXPECT_TRUE(writeRecording(makeRecording(b, 120), dir.file("second")));
        EXPECT_TRUE(writeFile(dir.file("broken.cfg"), "S,D,1999\n3,2A,1D\n1,U,,,V,1,0,0,0,1\n"));
        EXPECT_TRUE(writeFile(dir.file("short.cfg"), readFile(dir.file("first.cfg"))));
        EXPECT_TRUE(writeFile(dir.file("short.dat"), readFile(dir.file("first.dat")).substr(0, 100)));
    }
};

struct Known {
    int result;
    std::size_t samples = 0;
    double duration = -1.0; // checked when >= 0
};

// What each recording gives by the rules, from its own bytes, whichever of
// its files (.cfg, .dat, .cff) is loaded.
const std::map<std::string, Known> kKnown = {
    {"wisp/1", {0, 5316}},
    {"wisp/2", {0, 19679}},               // 19680 whole records where 19679 are announced
    {"wisp/3", {0, 1360, 1.698295}},      // rates of zero: times from the time stamps
    {"wisp/4", {0, 2399}},                // 2400 whole records where 2399 are announced
    {"wisp/5", {0, 202, 201.0 / 2000.0}}, // the keyword written "BINARY32 "
    {"python-comtrade/sample_ascii", {0, 40, 39.0 / 1200.0}},
    {"python-comtrade/sample_ascii_utf-8", {5}},
    {"python-comtrade/sample_ascii_missing", {2}},
    {"python-comtrade/sample_bin", {0, 5, 4.0 / 15360.0}},
    {"python-comtrade/sample_bin_missing", {2}},
    {"python-comtrade/sample_float32", {0, 301, 3.0}}, // a combined file alone
    {"python-comtrade/sample_iso8859-1", {0, 40}},
    {"python-comtrade/sample_iso8859-1_bin", {0, 40}},
    {"python-comtrade/sample_sub_char", {5}},
    {"ge850/real_1999_bin", {0, 8000, 4.995215}},
    {"sel/1991-ascii-sel", {0, 480}},
    {"sel/1999-ascii-pq", {0, 3584}},
    {"sel/1999-binary-hif-sel", {0, 20700}}, // 8 bytes of padding after the last record
    {"cp866/test", {0, 6000, 5.999}},
    {"gb-1991/ascii_1991", {0, 2131}},
};

// Times rise, values are finite, and the default series of every analog view
// has ceil(duration * defaultSampleRate) points: 1000 or 1001.
void expectPlausible(const Comtrade& c)
{
    ASSERT_FALSE(c.dat.samples.empty());
    double previous = c.dat.samples.front().time;
    EXPECT_GE(previous, 0.0);
    for (const auto& s : c.dat.samples) {
        ASSERT_GE(s.time, previous);
        previous = s.time;
        ASSERT_EQ(s.analogValues.size(), c.cfg.analogChannels.size());
        ASSERT_EQ(s.binaryValues.size(), c.cfg.binaryChannels.size());
        for (double v : s.analogValues)
            ASSERT_FALSE(std::isinf(v)); // NaN: a value the file marks as missing
    }
    EXPECT_EQ(c.dat.lastSampleTime, previous);
    EXPECT_DOUBLE_EQ(c.duration, previous);
    for (const auto& view : c.analogChannels) {
        const auto pts = view.getPoints(0.0, -1.0, -1.0);
        EXPECT_EQ(pts.size(), std::size_t(std::ceil(previous * view.defaultSampleRate(previous)))) << view.name();
        EXPECT_TRUE(pts.size() == 1000 || pts.size() == 1001) << pts.size();
    }
    for (const auto& view : c.binaryChannels)
        EXPECT_FLOAT_EQ(view.getPoints(0.0, -1.0, -1.0).at(0).x, 0.0f);
}

#define SKIP_WITHOUT_SAMPLES(root)                                                                 \
    const std::string root = sharedSamplesDir();                                                   \
    if (root.empty())                                                                              \
    GTEST_SKIP() << "no folder of real recordings beside the project"

} // namespace

TEST(ComtradeLoad, ResultCodesAndTheStateTheyLeave)
{
    TempDir dir("codes");
    const Recording good = makeRecording(mixedLayout(E::Ascii), 40);
    ASSERT_TRUE(writeRecording(good, dir.file("good")));
    ASSERT_TRUE(writeFile(dir.file("badcfg.cfg"), "S,D,1999\n0,0A,0D\n"));
    ASSERT_TRUE(writeFile(dir.file("nodat.cfg"), cfgText(good.design, 40)));
    const Recording mismatch = makeRecording(mixedLayout(E::Binary), 40);
    ASSERT_TRUE(writeFile(dir.file("mismatch.cfg"), cfgText(mismatch.design, 41)));
    ASSERT_TRUE(writeFile(dir.file("mismatch.dat"), datBytes(mismatch).substr(0, 5)));
    std::filesystem::create_directory(dir.file("data.old"));
    ASSERT_TRUE(writeRecording(good, dir.file("data.old/good")));

    Comtrade c;
    EXPECT_TRUE(!c.loaded && c.duration == -1.0);
    ASSERT_EQ(c.load(dir.file("good.cfg")), 0);
    EXPECT_TRUE(c.loaded);
    EXPECT_EQ(c.fileName, dir.file("good.cfg"));
    EXPECT_DOUBLE_EQ(c.duration, 0.039);
    EXPECT_TRUE(c.analogChannels.size() == 3 && c.binaryChannels.size() == 17);

    // 1, not a recording's name: nothing changes, the views stay usable.
    for (const std::string name : {"good.txt", "good", "good.cfgx", "data.old/good"}) {
        EXPECT_EQ(c.load(dir.file(name)), 1) << name;
        EXPECT_TRUE(c.loaded);
        EXPECT_EQ(c.fileName, dir.file("good.cfg"));
        EXPECT_EQ(c.cfgFileName, dir.file("good.cfg"));
        ASSERT_EQ(c.analogChannels.size(), 3u);
        EXPECT_FALSE(c.analogChannels[0].getPoints(0.0, -1.0, -1.0).empty());
    }
    // The report names the file, the line and the field where there are any.
    const struct {
        const char* base;
        const char* ext;
        int result;
        const char* said;
        unsigned long long line;
    } failures[] = {
        {"absent", ".cfg", 2, "absent.cfg: no such configuration file", 0},
        {"badcfg", ".cfg", 3, "badcfg.cfg: line 2 (channel counts line), field 1 'total channels': 0", 2},
        {"nodat", ".cfg", 5, "nodat.dat: no such data file", 0},
        {"mismatch", ".dat", 6, "mismatch.dat: its 5 bytes hold no whole record of 18 bytes", 0},
    };
    for (const auto& f : failures) {
        SCOPED_TRACE(f.base);
        ASSERT_EQ(c.load(dir.file("good.cfg")), 0);
        EXPECT_EQ(c.load(dir.file(std::string(f.base) + f.ext)), f.result);
        EXPECT_FALSE(c.loaded);
        EXPECT_EQ(c.report.result, f.result);
        EXPECT_EQ(c.report.message, dir.file(f.said));
        EXPECT_EQ(c.report.line, f.line);
        EXPECT_EQ(c.cfgFileName, dir.file(std::string(f.base) + ".cfg"));
        EXPECT_EQ(c.datFileName, dir.file(std::string(f.base) + ".dat"));
        // The path and duration of the last success stay; no view outlives
        // the records it referred to.
        EXPECT_EQ(c.fileName, dir.file("good.cfg"));
        EXPECT_DOUBLE_EQ(c.duration, 0.039);
        EXPECT_TRUE(c.analogChannels.empty() && c.binaryChannels.empty());
        // Samples of the earlier recording do not survive it (5 included:
        // they belong to another data file).
        EXPECT_TRUE(c.dat.samples.empty());
        EXPECT_EQ(c.dat.lastSampleTime, -1.0);
    }
}

TEST(ComtradeLoad, FileNamesDerivedFromAnyOfTheThree)
{
    const Recording rec = makeRecording(mixedLayout(E::Binary), 20);
    const struct {
        const char *cfgOnDisk, *datOnDisk, *path, *cfgName, *datName;
    } cases[] = {
        {"rec.cfg", "rec.dat", "rec.cfg", "rec.cfg", "rec.dat"},
        {"rec.cfg", "rec.dat", "rec.dat", "rec.cfg", "rec.dat"},
        {"rec.cfg", "rec.dat", "rec.cff", "rec.cfg", "rec.dat"},
        {"rec.CFG", "rec.dat", "rec.CFG", "rec.CFG", "rec.dat"},
        {"rec.cfg", "rec.DAT", "rec.DAT", "rec.cfg", "rec.DAT"},
        {"rec.cfg", "rec.dat", "rec.CfF", "rec.cfg", "rec.dat"},
        // Stored in another letter case than asked for.
        {"rec.CFG", "rec.DAT", "rec.cfg", "rec.cfg", "rec.dat"},
        {"REC.CFG", "REC.DAT", "rec.cff", "rec.cfg", "rec.dat"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.cfgOnDisk) + " + " + c.datOnDisk + " loaded as " + c.path);
        TempDir dir("names");
        ASSERT_TRUE(writeFile(dir.file(c.cfgOnDisk), cfgText(rec.design, 20)));
        ASSERT_TRUE(writeFile(dir.file(c.datOnDisk), datBytes(rec)));
        Comtrade ct;
        ASSERT_EQ(ct.load(dir.file(c.path)), 0);
        EXPECT_EQ(ct.fileName, dir.file(c.path));
        EXPECT_EQ(ct.cfgFileName, dir.file(c.cfgName));
        EXPECT_EQ(ct.datFileName, dir.file(c.datName));
        EXPECT_EQ(ct.dat.samples.size(), 20u);
    }
}

// A combined file alone reads exactly like its .cfg/.dat twin, in every type,
// with LF or CR LF and canonical or lenient headers; its texts come along, as
// do the .hdr and .inf files beside a pair.
TEST(CombinedFile, LoadsLikeItsPair)
{
    const CffStyle canonical{false, "Fault on line 2\n\nphase A", "k=1\n"};
    const CffStyle lenient{true, "Fault on line 2\n\nphase A", "k=1\n"};
    for (const E::DataFileType type : {E::Ascii, E::Binary, E::Binary32, E::Float32})
        for (const bool crlf : {false, true})
            for (const CffStyle& style : {canonical, lenient}) {
                SCOPED_TRACE(typeKeyword(type) + (crlf ? " CR LF" : " LF") + (style.lenient ? " lenient" : ""));
                RecordingLayout design = mixedLayout(type);
                design.crlf = crlf;
                const Recording rec = makeRecording(design, 50);
                TempDir dir("cff");
                ASSERT_TRUE(writeRecording(rec, dir.file("pair")));
                ASSERT_TRUE(writeFile(dir.file("pair.HDR"), toCrLf("Fault on line 2\n\nphase A\n")));
                ASSERT_TRUE(writeFile(dir.file("alone.CFF"), cffBytes(rec, style)));
                Comtrade pair, alone;
                ASSERT_EQ(pair.load(dir.file("pair.cfg")), 0);
                ASSERT_EQ(alone.load(dir.file("alone.cff")), 0) << alone.report.message;
                expectSameState(alone, pair);
                EXPECT_EQ(alone.cfgFileName + alone.datFileName, dir.file("alone.cff") + dir.file("alone.cff"));
                EXPECT_EQ(alone.headerText, "Fault on line 2\n\nphase A\n");
                EXPECT_EQ(alone.informationText, "k=1\n");
                EXPECT_EQ(pair.headerText, alone.headerText);
                EXPECT_EQ(pair.informationText, "");
            }
}

// What is wrong in a combined file is named, with the code of the part at fault.
TEST(CombinedFile, FailuresSayWhatIsMissing)
{
    const Recording rec = makeRecording(mixedLayout(E::Binary), 20);
    const std::string whole = cffBytes(rec); // 20 records of 8 + 3 * 2 + 2 * 2 bytes
    const std::size_t datHeader = whole.find("--- file type: DAT");
    const std::string typeSwapped = std::string(whole).replace(datHeader, 25, "--- file type: DAT ASCII");
    const struct {
        std::string bytes;
        int code;
        const char* says;
    } cases[] = {
        {"1,2,3\n", 3, "rec.cff: no CFG section"},
        {whole.substr(0, datHeader), 5, "rec.cff: no DAT section"},
        {whole.substr(0, whole.size() - 1), 6, "rec.cff: the DAT section announces 360 bytes, 359 follow its header"},
        {typeSwapped, 6, "rec.cff: the DAT section is ASCII but the CFG section says BINARY"},
    };
    for (const auto& c : cases) {
        TempDir dir("cff-bad");
        ASSERT_TRUE(writeFile(dir.file("rec.cff"), c.bytes));
        Comtrade ct;
        EXPECT_EQ(ct.load(dir.file("rec.cff")), c.code) << c.says;
        EXPECT_EQ(ct.report.message, dir.path() + "/" + c.says);
    }
    TempDir empty("cff-none");
    Comtrade none;
    EXPECT_EQ(none.load(empty.file("rec.cff")), 2);
}

// Rates give the duration whatever the time stamps say (even with no sample
// in the file); a zero rate makes the last time stamp the duration.
TEST(ComtradeLoad, DurationFromRatesOrLastTimeStamp)
{
    TempDir dir("duration");
    const struct {
        std::vector<RateLayout> rates;
        double timeMultiplier;
        std::size_t records;
        double duration;
    } cases[] = {
        {{{1000.0, 50}}, 1.0, 50, 0.049},
        {{{1000.0, 10}, {500.0, 50}}, 1.0, 50, 0.01 + 39.0 / 500.0},
        {{{1000.0, 50}}, 2.0, 50, 0.049}, // the multiplier scales time stamps only
        {{{1000.0, 50}}, 1.0, 0, 0.049},
        {{{0.0, 50}}, 1.0, 50, 49 * 333e-6},
        {{{1000.0, 10}, {0.0, 50}}, 2.0, 50, 49 * 333e-6 * 2.0},
    };
    for (const auto& c : cases) {
        for (E::DataFileType type : {E::Ascii, E::Float32}) {
            SCOPED_TRACE(typeKeyword(type) + " " + std::to_string(c.duration));
            RecordingLayout design = mixedLayout(type, 2, 2);
            design.rates = c.rates;
            design.timeMultiplier = c.timeMultiplier;
            Recording rec = makeRecording(design, 50);
            for (std::size_t k = 0; k < 50; ++k)
                rec.records[k].timeStamp = std::uint32_t(k * 333);
            rec.records.resize(c.records);
            if (c.records == 0 && type != E::Ascii)
                continue; // a binary file must hold every announced record
            ASSERT_TRUE(writeFile(dir.file("rec.cfg"), cfgText(design, 50)));
            ASSERT_TRUE(writeFile(dir.file("rec.dat"), datBytes(rec)));
            Comtrade ct;
            ASSERT_EQ(ct.load(dir.file("rec.cfg")), 0);
            EXPECT_DOUBLE_EQ(ct.duration, c.duration);
            EXPECT_EQ(ct.dat.lastSampleTime, c.records ? ct.duration : -1.0);
            for (const auto& view : ct.analogChannels)
                EXPECT_EQ(view.getPoints(0.0, -1.0, -1.0).empty(), c.records == 0);
            for (const auto& view : ct.binaryChannels)
                EXPECT_EQ(view.getPoints(0.0, -1.0, -1.0).empty(), c.records == 0);
        }
    }
}

// Every data-file type, both line ends and every channel-line layout: the
// values read through the views are the values written.
TEST(ComtradeLoad, EveryTypeEndToEnd)
{
    TempDir dir("e2e");
    for (int rev : {1991, 1999, 2013}) {
        for (E::DataFileType type : {E::Ascii, E::Binary, E::Binary32, E::Float32}) {
            for (bool crlf : {false, true}) {
                SCOPED_TRACE(std::to_string(rev) + " " + typeKeyword(type) + (crlf ? " CR LF" : " LF"));
                RecordingLayout design = mixedLayout(type, 4, 17);
                design.revYear = rev;
                design.crlf = crlf;
                design.finalLineEnd = !crlf;
                const Recording rec = makeRecording(design, 250);
                ASSERT_TRUE(writeRecording(rec, dir.file("rec")));
                Comtrade ct;
                ASSERT_EQ(ct.load(dir.file("rec.cfg")), 0);
                ASSERT_EQ(ct.analogChannels.size(), 4u);
                ASSERT_EQ(ct.binaryChannels.size(), 17u);
                EXPECT_DOUBLE_EQ(ct.duration, 0.249);
                for (std::size_t c = 0; c < 4; ++c) {
                    const auto& view = ct.analogChannels[c];
                    EXPECT_EQ(view.unit(), design.analogs[c].unit);
                    EXPECT_DOUBLE_EQ(view.skew, design.analogs[c].skewMicroseconds * 1e-6);
                    // Interpolating at a record's own time may cost a few ulps of
                    // the channel's scale.
                    double scale = 1.0;
                    for (std::size_t k = 0; k < 250; ++k)
                        scale = std::max(scale, std::fabs(rec.expectedValue(k, c)));
                    unsigned hint = 0;
                    for (std::size_t k = 0; k < 250; ++k) {
                        const double expected = rec.expectedValue(k, c);
                        ASSERT_DOUBLE_EQ(ct.dat.samples[k].analogValues[c], expected);
                        ASSERT_NEAR(view.getValue(double(k) / 1000.0 + view.skew, hint), expected, 1e-9 * scale)
                            << "channel " << c << " record " << k;
                    }
                }
                for (std::size_t d = 0; d < 17; ++d) {
                    // A point at the first record, at every change, and a closing one.
                    const auto pts = ct.binaryChannels[d].getPoints(0.0, -1.0, -1.0);
                    std::size_t p = 0;
                    for (std::size_t k = 0; k < 250; ++k) {
                        if (k > 0 && rec.records[k].status[d] == rec.records[k - 1].status[d])
                            continue;
                        ASSERT_LT(p, pts.size());
                        EXPECT_EQ(pts[p].x, float(double(k) / 1000.0)) << "status " << d;
                        EXPECT_EQ(pts[p].y, rec.records[k].status[d] ? 1.0f : 0.0f) << "status " << d;
                        ++p;
                    }
                    ASSERT_LE(pts.size(), p + 1);
                    EXPECT_EQ(pts.back().y, rec.records.back().status[d] ? 1.0f : 0.0f);
                }
            }
        }
    }
}

TEST(ComtradeLifetime, SecondLoadEqualsAFreshObject)
{
    TwoRecordings f;
    Comtrade fresh;
    ASSERT_EQ(fresh.load(f.second), 0);
    EXPECT_EQ(fresh.cfg.timeMultiplier, 1.0);
    // Directly after the first recording, and after failed loads in between.
    const std::vector<std::vector<std::string>> histories = {
        {f.first},
        {f.first, f.dir.file("broken.cfg")},
        {f.first, f.dir.file("short.cfg")},
        {f.first, f.dir.file("absent.cfg")},
        {f.first, f.second, f.first},
    };
    for (const auto& history : histories) {
        SCOPED_TRACE(history.back());
        Comtrade c;
        for (const auto& path : history)
            c.load(path);
        ASSERT_EQ(c.load(f.second), 0);
        expectSameState(c, fresh);
        expectOwnViews(c);
        EXPECT_EQ(c.fileName, f.second);
    }
}

// Copies and moves rebind to their own data: a copy outlives its original and
// loads on its own, self-assignment changes nothing, and a moved-from object
// is left empty, as after construction, and loads again.
TEST(ComtradeLifetime, CopiesAndMovesOwnTheirData)
{
    TwoRecordings f;
    Comtrade reference;
    ASSERT_EQ(reference.load(f.first), 0);
    auto original = std::make_unique<Comtrade>();
    ASSERT_EQ(original->load(f.first), 0);
    Comtrade copy(*original), assigned, target, other;
    ASSERT_EQ(assigned.load(f.second), 0);
    assigned = *original;
    Comtrade& alias = assigned;
    assigned = alias;
    Comtrade moved(std::move(*original));
    ASSERT_EQ(target.load(f.second), 0);
    ASSERT_EQ(other.load(f.first), 0);
    target = std::move(other);
    for (Comtrade* from : {original.get(), &other}) {
        EXPECT_FALSE(from->loaded);
        EXPECT_EQ(from->duration, -1.0);
        EXPECT_TRUE(from->fileName.empty());
        EXPECT_TRUE(from->dat.samples.empty() && from->cfg.analogChannels.empty());
        EXPECT_TRUE(from->analogChannels.empty() && from->binaryChannels.empty());
        ASSERT_EQ(from->load(f.second), 0);
        expectOwnViews(*from);
    }
    original.reset();
    for (const Comtrade* c : {&copy, &assigned, &moved, &target}) {
        expectOwnViews(*c);
        expectSameState(*c, reference);
        EXPECT_EQ(c->fileName, f.first);
    }
    ASSERT_EQ(copy.load(f.second), 0);
    expectOwnViews(copy);
    expectSameState(assigned, reference);
}

TEST(RealRecordings, EveryFileGivesADefiniteResult)
{
    SKIP_WITHOUT_SAMPLES(root);
    std::size_t loadedCount = 0;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file())
            continue;
        const std::string rel = fs::relative(entry.path(), root).generic_string();
        SCOPED_TRACE(rel);
        Comtrade c;
        const int result = c.load(entry.path().string());
        EXPECT_TRUE(result >= 0 && result <= 6 && result != 4) << result;
        EXPECT_EQ(result == 1, !KivComtradeLib::FilesHelper::isComtradeFile(rel));
        EXPECT_EQ(c.loaded, result == 0);
        const auto it = kKnown.find(rel.substr(0, rel.rfind('.')));
        if (it == kKnown.end() || result == 1)
            continue;
        ASSERT_EQ(result, it->second.result);
        if (result != 0) {
            EXPECT_TRUE(c.analogChannels.empty());
            continue;
        }
        ++loadedCount;
        EXPECT_EQ(c.dat.samples.size(), it->second.samples);
        if (it->second.duration >= 0) {
            EXPECT_NEAR(c.duration, it->second.duration, 1e-12);
        }
        expectPlausible(c);
    }
    EXPECT_GE(loadedCount, 19u);
}

// First values against the files' bytes, decoded by hand, and what the
// revision and layout rules make of each file's channel lines.
TEST(RealRecordings, FirstValuesMatchTheFiles)
{
    SKIP_WITHOUT_SAMPLES(root);
    const double nan = std::nan("");
    const struct {
        const char* file;
        std::size_t channel;
        double value;
        int revision;
    } cases[] = {
        {"python-comtrade/sample_bin.cfg", 0, -75.32188475833333, 1999}, // int16 -24979 * 0.000361849 kV, 120:1 primary
        {"wisp/1.cfg", 0, -52.767776000000005, 2000},                     // text -3188 * 0.016552
        {"python-comtrade/sample_ascii.cfg", 0, -9.39605712890625, 2013}, // -83 * 0.1138916015625 + 0.05694580078125
        // int16 43, (43 * 2.836798 - 102.1247) * 1 / 1250: offset rescaled too
        {"wisp/4.CFG", 0, 0.0158860912, 1997},
        {"wisp/2.cfg", 0, 68.76834607272727, 1999}, // int16 1228 * 0.06160031 kV / 1100
        {"gb-1991/ascii_1991.cfg", 4, 0.025, 1991}, // "+000025" * 0.001
        {"cp866/test.cfg", 0, 1.931931, 1991},      // 51 * 0.037881
        {"sel/1991-ascii-sel.cfg", 0, -270.999876, 1991}, // 156550 * 0.00079208 - 395
        {"sel/1991-ascii-sel.cfg", 18, nan, 1991},        // 999999 in a 1991 file: missing
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " channel " + std::to_string(c.channel + 1));
        Comtrade ct;
        ASSERT_EQ(ct.load(root + "/" + c.file), 0);
        EXPECT_EQ(ct.cfg.revYear, c.revision);
        const auto& view = ct.analogChannels.at(c.channel);
        const double got = ct.dat.samples[0].analogValues[c.channel];
        unsigned hint = 0;
        if (std::isnan(c.value)) {
            EXPECT_TRUE(std::isnan(got));
            EXPECT_TRUE(std::isnan(view.getValue(view.skew, hint)));
            EXPECT_GT(ct.report.missingValues, 0u);
        } else {
            EXPECT_NEAR(got, c.value, 1e-9);
            EXPECT_NEAR(view.getValue(view.skew, hint), c.value, 1e-9);
        }
    }
    // 1991 status lines "n,id,y": the state, not the phase.
    Comtrade sel;
    ASSERT_EQ(sel.load(root + "/sel/1991-ascii-sel.cfg"), 0);
    EXPECT_EQ(sel.cfg.binaryChannels.at(1).channelInfo(), "2,TRP,,,0");
    // wisp/4 writes 1997 with the later layouts: ratios read, states from field 5.
    Comtrade sepam;
    ASSERT_EQ(sepam.load(root + "/wisp/4.CFG"), 0);
    EXPECT_EQ(sepam.cfg.analogChannels.at(0).primary, 1250.0);
    EXPECT_FALSE(sepam.cfg.analogChannels.at(0).isSecondary);
    EXPECT_EQ(sepam.cfg.binaryChannels.at(0).channelInfo(), "1,I11,1,,0");
    EXPECT_EQ(sepam.report.warnings.size(), 1u); // the record beyond the announced ones
}

// The data files with missing-value markers, each paired with the .cfg of
// its recording: int16 0x8000 becomes NaN.
TEST(RealRecordings, MissingValuesOfABinaryFile)
{
    SKIP_WITHOUT_SAMPLES(root);
    TempDir dir("missing");
    ASSERT_TRUE(writeFile(dir.file("m.cfg"), readFile(root + "/python-comtrade/sample_bin.cfg")));
    ASSERT_TRUE(writeFile(dir.file("m.dat"), readFile(root + "/python-comtrade/sample_bin_missing.dat")));
    Comtrade c;
    ASSERT_EQ(c.load(dir.file("m.cfg")), 0);
    EXPECT_TRUE(std::isnan(c.dat.samples[0].analogValues[0])); // bytes 00 80
    EXPECT_NEAR(c.dat.samples[0].analogValues[1], -11.902, 1e-3);
    EXPECT_EQ(c.report.missingValues, 4u);
}

// The combined samples, copied without their pair, read like the pair.
TEST(RealRecordings, CombinedFilesAlone)
{
    SKIP_WITHOUT_SAMPLES(root);
    TempDir dir("samples-cff");
    for (const char* base : {"sample_ascii", "sample_float32"}) {
        SCOPED_TRACE(base);
        const std::string cff = readFile(root + "/python-comtrade/" + base + ".cff");
        ASSERT_FALSE(cff.empty());
        ASSERT_TRUE(writeFile(dir.file(std::string(base) + ".cff"), cff));
        Comtrade alone;
        ASSERT_EQ(alone.load(dir.file(std::string(base) + ".cff")), 0) << alone.report.message;
        EXPECT_EQ(alone.cfg.revYear, 2013);
        expectPlausible(alone);
        if (std::string(base) == "sample_ascii") {
            Comtrade pair;
            ASSERT_EQ(pair.load(root + "/python-comtrade/sample_ascii.cfg"), 0);
            expectSameState(alone, pair);
        } else { // the last record's float 0x4233B9CD, with a = 1 and b = 0
            EXPECT_EQ(alone.dat.samples.size(), 301u);
            EXPECT_FLOAT_EQ(static_cast<float>(alone.dat.samples.back().analogValues[0]), 44.93145f);
        }
    }
}

// Real recorders write CR LF: converted copies read exactly like the originals.
TEST(RealRecordings, CrLfCopiesReadTheSame)
{
    SKIP_WITHOUT_SAMPLES(root);
    TempDir dir("samples-crlf");
    std::size_t compared = 0;
    for (const auto& [base, k] : kKnown) {
        const std::string rel = base + ".cfg", cfgText = readFile(root + "/" + rel);
        if (k.result != 0 || cfgText.empty() || cfgText.find('\r') != std::string::npos)
            continue;
        SCOPED_TRACE(rel);
        Comtrade original;
        ASSERT_EQ(original.load(root + "/" + rel), 0);
        std::string dat = readFile(original.datFileName);
        if (original.cfg.dataFileType == KivComtradeLib::Enums::Ascii)
            dat = toCrLf(dat);
        ASSERT_TRUE(writeFile(dir.file("copy.cfg"), toCrLf(cfgText)));
        ASSERT_TRUE(writeFile(dir.file("copy.dat"), dat));
        Comtrade copy;
        ASSERT_EQ(copy.load(dir.file("copy.cfg")), 0);
        expectSameState(copy, original);
        ++compared;
    }
    EXPECT_GE(compared, 7u);
}

// A failed load says, in one sentence, which file, line and field failed and
// why; nothing read after the fault (the time-multiplier step still reads
// on) changes it.
TEST(LoadReport, ConfigurationFaultsNameLineAndField)
{
    TempDir dir("report");
    const std::string tail = "50\n1\n1000,3\n01/01/2000,00:00:00.000000\n01/01/2000,00:00:00.000000\nASCII\n1\n";
    const struct {
        std::string cfg;
        unsigned long long line;
        const char* said;
    } cases[] = {
        {"S,D,X\n", 1, "line 1 (station line), field 3 'revision year': 'X' is not a number"},
        {"S,D,1999\n\n", 2, "line 2 (channel counts line): empty"},
        {"S,D,1999\n3,2A,2D\n", 2, "line 2 (channel counts line): 2 analog and 2 status channels differ from the total 3"},
        {"S,D,1999\n2,2A,0D\n1,U,,,V,1,0,0,0,1\n2,U,,,V,1,0,x,0,1\n" + tail, 4,
         "line 4 (analog channel 2), field 8 'skew': 'x' is not a number"},
        {"S,D,1999\n1,1A,0D\n1,U,,,V,,0,0,0,1\n" + tail, 3, "line 3 (analog channel 1), field 6 'gain': empty"},
        {"S,D,1999\n1,1A,0D\n1,U,,,V,1,0,0\n" + tail, 3,
         "line 3 (analog channel 1): has 8 fields where an analog channel line has at least 10"},
        {"S,D\n1,0A,1D\n1,TRP\n" + tail, 3,
         "line 3 (status channel 1): has 2 fields where a status channel line of this revision has 3"},
        {"S,D\n2,2A,0D\n1,U,,,V,1,0,0,0,1\n", 4, "line 4 (analog channel 2): missing: the file ends before it"},
        {"S,D\n2,2A,0D\n1,U,,,V,1,0,0,0,1", 3 + 1, "line 4 (analog channel 2): missing: the file ends before it"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cfg);
        ASSERT_TRUE(writeFile(dir.file("r.cfg"), c.cfg));
        ASSERT_TRUE(writeFile(dir.file("r.dat"), "1,0,5\n"));
        Comtrade rec;
        ASSERT_EQ(rec.load(dir.file("r.cfg")), 3);
        EXPECT_EQ(rec.report.message, dir.file("r.cfg") + ": " + c.said);
        EXPECT_EQ(rec.report.file, dir.file("r.cfg"));
        EXPECT_EQ(rec.report.line, c.line);
    }
    // Success: the data file's warnings and missing values reach the host.
    ASSERT_TRUE(writeFile(dir.file("r.cfg"), "S,D,1999\n1,1A,0D\n1,U,,,V,1,0,0,0,1\n" + tail));
    ASSERT_TRUE(writeFile(dir.file("r.dat"), "1,0,99999\n2,1,7\n3,2,\n4,3,8\n"));
    Comtrade rec;
    ASSERT_EQ(rec.load(dir.file("r.cfg")), 0);
    EXPECT_EQ(rec.report.result, 0);
    EXPECT_EQ(rec.report.message, "");
    EXPECT_EQ(rec.report.missingValues, 2u);
    ASSERT_EQ(rec.report.warnings.size(), 2u);
    EXPECT_EQ(rec.report.warnings[0], dir.file("r.dat") + ": holds 1 record beyond the 3 the configuration announces; they are ignored");
    EXPECT_EQ(rec.report.warnings[1], dir.file("r.dat") + ": 2 analog values marked as missing (read as NaN)");
    ASSERT_TRUE(writeFile(dir.file("r.dat"), "1,0,5\n\n2,1,x\n"));
    ASSERT_EQ(rec.load(dir.file("r.cfg")), 6);
    EXPECT_EQ(rec.report.message, dir.file("r.dat") + ": line 3, field 3 (analog channel 1): not a number");
    EXPECT_EQ(rec.report.line, 3u);
}
