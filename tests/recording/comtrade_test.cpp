// The facade: result codes and the state each one leaves, the duration,
// values through the views for every data-file type, combined files, copies
// and moves, and the real recordings of ../shared/samples.

#include "writer/ComtradeWriter.h"

#include <KivComtradeLib/Comtrade.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

using namespace KivTest;
using KivComtradeLib::Comtrade;
namespace E = KivComtradeLib::Enums;

namespace {

// Analog channels of varied units, gains, offsets and skews, every second one
// primary-side; 17 status channels.
RecordingLayout mixedLayout(E::DataFileType type, std::size_t analogs = 3)
{
    RecordingLayout design;
    design.type = type;
    const char* units[] = {"A", "kV", "mA"};
    for (std::size_t c = 0; c < analogs; ++c)
        design.analogs.push_back(AnalogLayout{"CH" + std::to_string(c + 1), "A", "", units[c % 3], 0.125 * double(c + 1),
                                              double(c) * 0.5 - 0.25, double(c) * 10.0, -32767, 32767,
                                              c % 2 ? 110000.0 : 1.0, c % 2 ? 100.0 : 1.0, c % 2 ? 'P' : 'S'});
    design.statuses.assign(17, StatusLayout{});
    return design;
}

// Every sample bit for bit, and every view's default point series.
void expectSameState(const Comtrade& a, const Comtrade& b)
{
    EXPECT_EQ(a.loaded, b.loaded);
    EXPECT_EQ(a.duration, b.duration);
    ASSERT_EQ(a.dat.samples.size(), b.dat.samples.size());
    for (std::size_t k = 0; k < a.dat.samples.size(); ++k) {
        const auto &sa = a.dat.samples[k], &sb = b.dat.samples[k];
        ASSERT_TRUE(sa.time == sb.time && sa.binaryValues == sb.binaryValues && sa.analogValues.size() == sb.analogValues.size()
                    && std::memcmp(sa.analogValues.data(), sb.analogValues.data(), sa.analogValues.size() * 8) == 0)
            << "record " << k;
    }
    ASSERT_EQ(a.analogChannels.size(), b.analogChannels.size());
    for (std::size_t c = 0; c < a.analogChannels.size(); ++c) {
        const auto pa = a.analogChannels[c].getPoints(0.0, -1.0, -1.0), pb = b.analogChannels[c].getPoints(0.0, -1.0, -1.0);
        ASSERT_TRUE(pa.size() == pb.size() && std::memcmp(pa.data(), pb.data(), pa.size() * sizeof pa[0]) == 0) << c;
    }
}

// The Dat, every sample and every view refer into `c` itself.
void expectOwnViews(const Comtrade& c)
{
    EXPECT_EQ(c.dat.cfg, &c.cfg);
    for (const auto& s : c.dat.samples)
        ASSERT_EQ(s.cfg, &c.cfg);
    ASSERT_EQ(c.analogChannels.size(), c.cfg.analogChannels.size());
    for (std::size_t i = 0; i < c.analogChannels.size(); ++i)
        EXPECT_TRUE(&c.analogChannels[i].config == &c.cfg.analogChannels[i] && &c.analogChannels[i].samples == &c.dat.samples);
}

} // namespace

TEST(ComtradeLoad, ResultCodesAndTheStateTheyLeave)
{
    TempDir dir("codes");
    const Recording good = makeRecording(mixedLayout(E::Ascii), 40);
    ASSERT_TRUE(writeRecording(good, dir.file("good")));
    ASSERT_TRUE(writeFile(dir.file("badcfg.cfg"), "S,D,1999\n0,0A,0D\n"));
    const std::string oneAnalog = "S,D,1999\n1,1A,0D\n1,U,,,V,1,0,0,0,1\n50\n1\n1000,3\n01/01/2000,00:00:00.000000\n"
                                  "01/01/2000,00:00:00.000000\nASCII\n1\n";
    ASSERT_TRUE(writeFile(dir.file("skew.cfg"), std::string(oneAnalog).replace(29, 1, "x")));
    ASSERT_TRUE(writeFile(dir.file("nodat.cfg"), cfgText(good.design, 40)));
    ASSERT_TRUE(writeFile(dir.file("short.cfg"), cfgText(mixedLayout(E::Binary), 41)));
    ASSERT_TRUE(writeFile(dir.file("short.dat"), "12345"));
    ASSERT_TRUE(writeFile(dir.file("bad.cfg"), oneAnalog));
    ASSERT_TRUE(writeFile(dir.file("bad.dat"), "1,0,5\n\n2,1,x\n"));
    const struct {
        const char* path;
        int result;
        const char* said;
        unsigned long long line;
    } failures[] = {
        {"good.txt", 1, "good.txt: not the name of a .cfg, .dat or .cff file", 0},
        {"absent.cfg", 2, "absent.cfg: no such configuration file", 0},
        {"badcfg.cfg", 3, "badcfg.cfg: line 2 (channel counts line), field 1 'total channels': 0", 2},
        {"skew.cfg", 3, "skew.cfg: line 3 (analog channel 1), field 8 'skew': 'x' is not a number", 3},
        {"nodat.cfg", 5, "nodat.dat: no such data file", 0},
        {"short.dat", 6, "short.dat: its 5 bytes hold no whole record of 18 bytes", 0},
        {"bad.cfg", 6, "bad.dat: line 3, field 3 (analog channel 1): not a number", 3},
    };
    for (const auto& f : failures) {
        SCOPED_TRACE(f.path);
        Comtrade c;
        ASSERT_EQ(c.load(dir.file("good.cfg")), 0);
        EXPECT_DOUBLE_EQ(c.duration, 0.039);
        EXPECT_EQ(c.load(dir.file(f.path)), f.result);
        EXPECT_EQ(c.report.result, f.result);
        EXPECT_EQ(c.report.message, dir.file(f.said));
        EXPECT_EQ(c.report.line, f.line);
        // The path and duration of the last success stay. On 1 nothing else
        // changes; otherwise no view or sample outlives its recording.
        EXPECT_EQ(c.fileName, dir.file("good.cfg"));
        EXPECT_DOUBLE_EQ(c.duration, 0.039);
        EXPECT_EQ(c.loaded, f.result == 1);
        EXPECT_EQ(c.analogChannels.size(), f.result == 1 ? 3u : 0u);
        EXPECT_EQ(c.dat.samples.size(), f.result == 1 ? 40u : 0u);
    }
    // Success: the data file's warnings and missing values reach the host.
    ASSERT_TRUE(writeFile(dir.file("bad.dat"), "1,0,99999\n2,1,7\n3,2,\n4,3,8\n"));
    Comtrade rec;
    ASSERT_EQ(rec.load(dir.file("bad.cfg")), 0);
    EXPECT_EQ(rec.report.message, "");
    EXPECT_EQ(rec.report.missingValues, 2u);
    EXPECT_EQ(rec.report.warnings, (std::vector<std::string>{
        dir.file("bad.dat") + ": holds 1 record beyond the 3 the configuration announces; they are ignored",
        dir.file("bad.dat") + ": 2 analog values marked as missing (read as NaN)"}));
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
        {{{1000.0, 10}, {500.0, 50}}, 2.0, 50, 0.01 + 39.0 / 500.0}, // the multiplier scales stamps only
        {{{1000.0, 50}}, 1.0, 0, 0.049},
        {{{1000.0, 10}, {0.0, 50}}, 2.0, 50, 49 * 333e-6 * 2.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.duration);
        RecordingLayout design = mixedLayout(E::Ascii, 1);
        design.rates = c.rates;
        design.timeMultiplier = c.timeMultiplier;
        Recording rec = makeRecording(design, 50);
        for (std::size_t k = 0; k < 50; ++k)
            rec.records[k].timeStamp = std::uint32_t(k * 333);
        rec.records.resize(c.records);
        ASSERT_TRUE(writeRecording(rec, dir.file("rec")));
        Comtrade ct;
        ASSERT_EQ(ct.load(dir.file("rec.cfg")), 0);
        EXPECT_DOUBLE_EQ(ct.duration, c.duration);
        EXPECT_EQ(ct.analogChannels[0].getPoints(0.0, -1.0, -1.0).empty(), c.records == 0);
    }
}

// One path per data-file type (revisions, line ends and channel layouts
// varied across them): the values read through the views are those written.
TEST(ComtradeLoad, EveryTypeEndToEnd)
{
    TempDir dir("e2e");
    const struct {
        E::DataFileType type;
        int revision;
        bool crlf;
    } cases[] = {{E::Ascii, 1991, true}, {E::Binary, 1999, false}, {E::Binary32, 2013, true}, {E::Float32, 2013, false}};
    for (const auto& t : cases) {
        SCOPED_TRACE(typeKeyword(t.type));
        RecordingLayout design = mixedLayout(t.type, 4);
        design.revYear = t.revision;
        design.crlf = t.crlf;
        design.finalLineEnd = !t.crlf;
        const Recording rec = makeRecording(design, 250);
        ASSERT_TRUE(writeRecording(rec, dir.file("rec")));
        Comtrade ct;
        ASSERT_EQ(ct.load(dir.file("rec.cfg")), 0);
        ASSERT_EQ(ct.binaryChannels.size(), 17u);
        EXPECT_DOUBLE_EQ(ct.duration, 0.249);
        for (std::size_t c = 0; c < 4; ++c) {
            const auto& view = ct.analogChannels.at(c);
            EXPECT_DOUBLE_EQ(view.skew, double(c) * 10e-6);
            unsigned hint = 0;
            for (std::size_t k = 0; k < 250; ++k) {
                const double expected = rec.expectedValue(k, c);
                ASSERT_DOUBLE_EQ(ct.dat.samples[k].analogValues[c], expected) << "channel " << c << " record " << k;
                ASSERT_NEAR(view.getValue(double(k) / 1000.0 + view.skew, hint), expected, 1e-9 * (1 + std::fabs(expected)));
            }
        }
        for (std::size_t d = 0; d < 17; ++d) {
            // A point at the first record and at every change of state.
            const auto pts = ct.binaryChannels[d].getPoints(0.0, -1.0, -1.0);
            std::size_t p = 0;
            for (std::size_t k = 0; k < 250; ++k) {
                if (k > 0 && rec.records[k].status[d] == rec.records[k - 1].status[d])
                    continue;
                ASSERT_LT(p, pts.size());
                EXPECT_EQ(pts[p].x, float(double(k) / 1000.0)) << "status " << d;
                EXPECT_EQ(pts[p++].y, rec.records[k].status[d] ? 1.0f : 0.0f) << "status " << d;
            }
        }
    }
}

// A combined file alone reads exactly like its .cfg/.dat pair, texts
// included; a .cff name with a pair beside it reads the pair.
TEST(CombinedFile, LoadsLikeItsPair)
{
    for (const E::DataFileType type : {E::Ascii, E::Binary, E::Binary32, E::Float32}) {
        SCOPED_TRACE(typeKeyword(type));
        RecordingLayout design = mixedLayout(type);
        design.crlf = type == E::Ascii || type == E::Binary32;
        const Recording rec = makeRecording(design, 50);
        TempDir dir("cff");
        ASSERT_TRUE(writeRecording(rec, dir.file("pair")));
        ASSERT_TRUE(writeFile(dir.file("pair.HDR"), "Fault on line 2\r\n\r\nphase A\r\n"));
        ASSERT_TRUE(writeFile(dir.file("alone.CFF"), cffBytes(rec, {type == E::Binary, "Fault on line 2\n\nphase A", "k=1\n"})));
        Comtrade pair, alone;
        ASSERT_EQ(pair.load(dir.file("pair.cff")), 0);
        EXPECT_EQ(pair.cfgFileName, dir.file("pair.cfg"));
        ASSERT_EQ(alone.load(dir.file("alone.cff")), 0) << alone.report.message;
        expectSameState(alone, pair);
        EXPECT_EQ(alone.datFileName, dir.file("alone.cff"));
        EXPECT_EQ(alone.headerText, "Fault on line 2\n\nphase A\n");
        EXPECT_EQ(alone.informationText, "k=1\n");
        EXPECT_EQ(pair.headerText, alone.headerText);
    }
}

// What is wrong in a combined file is named, with the code of the part at fault.
TEST(CombinedFile, FailuresSayWhatIsMissing)
{
    const std::string whole = cffBytes(makeRecording(mixedLayout(E::Binary), 20)); // 20 records of 18 bytes
    const std::size_t datHeader = whole.find("--- file type: DAT");
    const struct {
        std::string bytes;
        int code;
        const char* says;
    } cases[] = {
        {"1,2,3\n", 3, "rec.cff: no CFG section"},
        {whole.substr(0, datHeader), 5, "rec.cff: no DAT section"},
        {whole.substr(0, whole.size() - 1), 6, "rec.cff: the DAT section announces 360 bytes, 359 follow its header"},
        {std::string(whole).replace(datHeader, 25, "--- file type: DAT ASCII"), 6,
         "rec.cff: the DAT section is ASCII but the CFG section says BINARY"},
    };
    TempDir dir("cff-bad");
    for (const auto& c : cases) {
        ASSERT_TRUE(writeFile(dir.file("rec.cff"), c.bytes));
        Comtrade ct;
        EXPECT_EQ(ct.load(dir.file("rec.cff")), c.code) << c.says;
        EXPECT_EQ(ct.report.message, dir.path() + "/" + c.says);
    }
    Comtrade none;
    EXPECT_EQ(none.load(dir.file("none.cff")), 2);
}

// A second load, after anything, equals a fresh one; copies and moves rebind
// to their own data, and a moved-from object is empty and loads again.
TEST(ComtradeLifetime, ReloadsCopiesAndMoves)
{
    TempDir dir("lifetime");
    RecordingLayout a = mixedLayout(E::Binary32, 5);
    a.rates = {{4000.0, 100}, {0.0, 300}};
    a.timeMultiplier = 2.0;
    ASSERT_TRUE(writeRecording(makeRecording(a, 300), dir.file("first")));
    RecordingLayout b = mixedLayout(E::Ascii, 2);
    b.writeTimeMultiplier = false;
    ASSERT_TRUE(writeRecording(makeRecording(b, 120), dir.file("second")));
    const std::string first = dir.file("first.cfg"), second = dir.file("second.dat");
    Comtrade fresh, reference;
    ASSERT_EQ(fresh.load(second), 0);
    ASSERT_EQ(reference.load(first), 0);
    for (const std::string& between : {first, dir.file("absent.cfg"), second}) {
        Comtrade c;
        c.load(first);
        c.load(between);
        ASSERT_EQ(c.load(second), 0);
        expectSameState(c, fresh);
        expectOwnViews(c);
    }
    auto original = std::make_unique<Comtrade>(reference);
    Comtrade copy(*original), assigned, target, other(reference);
    ASSERT_EQ(assigned.load(second), 0);
    assigned = *original;
    Comtrade moved(std::move(*original));
    ASSERT_EQ(target.load(second), 0);
    target = std::move(other);
    for (Comtrade* from : {original.get(), &other}) {
        EXPECT_TRUE(!from->loaded && from->duration == -1.0 && from->fileName.empty() && from->dat.samples.empty());
        ASSERT_EQ(from->load(second), 0);
        expectOwnViews(*from);
    }
    original.reset();
    for (const Comtrade* c : {&copy, &assigned, &moved, &target}) {
        expectOwnViews(*c);
        expectSameState(*c, reference);
    }
}

// What each real recording gives, from its own bytes: the samples loaded, the
// duration and a first value decoded by hand (NaN: marked missing).
TEST(RealRecordings, LiteralCountsAndValues)
{
    const std::string root = sharedSamplesDir();
    if (root.empty())
        GTEST_SKIP() << "no ../shared/samples beside the project: real recordings not tested";
    const double nan = std::nan(""), any = -1.0;
    const struct {
        const char* file;
        int result;
        std::size_t samples;
        double duration;
        std::size_t channel;
        double value;
    } cases[] = {
        {"wisp/1.cfg", 0, 5316, any, 0, -52.767776000000005}, // -3188 * 0.016552
        {"wisp/2.cfg", 0, 19679, any, 0, 68.76834607272727},  // int16 1228 * 0.06160031 kV / 1100; a record more
        {"wisp/3.cfg", 0, 1360, 1.698295, 0, any},            // zero rates: times from the stamps
        {"wisp/4.CFG", 0, 2399, any, 0, 0.0158860912},        // (43 * 2.836798 - 102.1247) / 1250
        {"wisp/5.dat", 0, 202, 201.0 / 2000.0, 0, any},       // "BINARY32 "
        {"python-comtrade/sample_ascii.cfg", 0, 40, 39.0 / 1200.0, 0, -9.39605712890625},
        {"python-comtrade/sample_ascii_utf-8.cfg", 5, 0, any, 0, any},
        {"python-comtrade/sample_bin.cfg", 0, 5, 4.0 / 15360.0, 0, -75.32188475833333}, // -24979 * 0.000361849 kV * 120
        {"python-comtrade/sample_float32.cff", 0, 301, 3.0, 0, any},
        {"python-comtrade/sample_iso8859-1_bin.cfg", 0, 40, any, 0, any},
        {"ge850/real_1999_bin.cfg", 0, 8000, 4.995215, 0, any},
        {"sel/1991-ascii-sel.cfg", 0, 480, any, 0, -270.999876}, // 156550 * 0.00079208 - 395
        {"sel/1991-ascii-sel.cfg", 0, 480, any, 18, nan},        // 999999 in a 1991 file
        {"sel/1999-binary-hif-sel.cfg", 0, 20700, any, 0, any},   // 8 bytes of padding after the last record
        {"sel/1999-ascii-pq.cfg", 0, 3584, any, 0, any},
        {"cp866/test.cfg", 0, 6000, 5.999, 0, 1.931931},       // 51 * 0.037881
        {"gb-1991/ascii_1991.cfg", 0, 2131, any, 4, 0.025},    // "+000025" * 0.001
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        Comtrade ct;
        ASSERT_EQ(ct.load(root + "/" + c.file), c.result);
        ASSERT_EQ(ct.dat.samples.size(), c.samples);
        EXPECT_TRUE(c.duration == any || std::fabs(ct.duration - c.duration) < 1e-12) << ct.duration;
        const double got = c.samples ? ct.dat.samples[0].analogValues.at(c.channel) : 0.0;
        EXPECT_TRUE(c.value == any || (std::isnan(c.value) ? std::isnan(got) : std::fabs(got - c.value) < 1e-9)) << got;
    }
    // A binary data file with missing-value markers, under the .cfg of its recording.
    TempDir dir("missing");
    ASSERT_TRUE(writeFile(dir.file("m.cfg"), readFile(root + "/python-comtrade/sample_bin.cfg")));
    ASSERT_TRUE(writeFile(dir.file("m.dat"), readFile(root + "/python-comtrade/sample_bin_missing.dat")));
    Comtrade m;
    ASSERT_EQ(m.load(dir.file("m.cfg")), 0);
    EXPECT_TRUE(std::isnan(m.dat.samples[0].analogValues[0])); // bytes 00 80
    EXPECT_NEAR(m.dat.samples[0].analogValues[1], -11.902, 1e-3);
    EXPECT_EQ(m.report.missingValues, 4u);
}

// Real recorders write CR LF: converted copies read exactly like the originals.
TEST(RealRecordings, CrLfCopiesReadTheSame)
{
    const std::string root = sharedSamplesDir();
    if (root.empty())
        GTEST_SKIP() << "no ../shared/samples beside the project: real recordings not tested";
    TempDir dir("samples-crlf");
    for (const char* rel : {"wisp/1", "wisp/3", "python-comtrade/sample_ascii", "sel/1991-ascii-sel", "cp866/test"}) {
        SCOPED_TRACE(rel);
        Comtrade original, copy;
        ASSERT_EQ(original.load(root + "/" + rel + ".cfg"), 0);
        std::string dat = readFile(original.datFileName);
        ASSERT_TRUE(writeFile(dir.file("copy.cfg"), toCrLf(readFile(original.cfgFileName))));
        ASSERT_TRUE(writeFile(dir.file("copy.dat"), original.cfg.dataFileType == E::Ascii ? toCrLf(dat) : dat));
        ASSERT_EQ(copy.load(dir.file("copy.cfg")), 0);
        expectSameState(copy, original);
    }
}
