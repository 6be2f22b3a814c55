// The facade: result codes and the state each one leaves, file-name
// derivation, the recording's duration, and values through the views for
// every data-file type.

#include "RecordingTestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>

using namespace KivTest;
using KivComtradeLib::Comtrade;
namespace E = KivComtradeLib::Enums;

namespace {

bool write(const Recording& rec, const TempDir& dir, const std::string& base)
{
    return writeRecording(rec, dir.file(base));
}

} // namespace

TEST(ComtradeLoad, ResultCodesAndTheStateTheyLeave)
{
    TempDir dir("codes");
    const Recording good = makeRecording(mixedSpec(E::Ascii), 40);
    ASSERT_TRUE(write(good, dir, "good"));
    ASSERT_TRUE(writeFile(dir.file("badcfg.cfg"), "S,D,1999\n0,0A,0D\n"));
    ASSERT_TRUE(writeFile(dir.file("nodat.cfg"), cfgText(good.spec, 40)));
    Recording mismatch = makeRecording(mixedSpec(E::Binary), 40);
    ASSERT_TRUE(writeFile(dir.file("mismatch.cfg"), cfgText(mismatch.spec, 41)));
    ASSERT_TRUE(writeFile(dir.file("mismatch.dat"), datBytes(mismatch)));
    std::filesystem::create_directory(dir.file("data.old"));
    ASSERT_TRUE(write(good, dir, "data.old/good"));

    Comtrade c;
    EXPECT_FALSE(c.loaded);
    EXPECT_EQ(c.duration, -1.0);
    ASSERT_EQ(c.load(dir.file("good.cfg")), 0);
    EXPECT_TRUE(c.loaded);
    EXPECT_EQ(c.fileName, dir.file("good.cfg"));
    EXPECT_DOUBLE_EQ(c.duration, 0.039);
    EXPECT_EQ(c.analogChannels.size(), 3u);
    EXPECT_EQ(c.binaryChannels.size(), 17u);

    // Not a recording's name: nothing changes, the views stay usable.
    for (const std::string name : {"good.txt", "good", "good.cfgx", "data.old/good"}) {
        EXPECT_EQ(c.load(dir.file(name)), 1) << name;
        EXPECT_TRUE(c.loaded);
        EXPECT_EQ(c.fileName, dir.file("good.cfg"));
        EXPECT_EQ(c.cfgFileName, dir.file("good.cfg"));
        ASSERT_EQ(c.analogChannels.size(), 3u);
        EXPECT_FALSE(c.analogChannels[0].getPoints(0.0, -1.0, -1.0).empty());
    }

    const struct {
        const char* name;
        int result;
    } failures[] = {{"absent.cfg", 2}, {"badcfg.cfg", 3}, {"nodat.cfg", 5}, {"mismatch.dat", 6}};
    for (const auto& f : failures) {
        SCOPED_TRACE(f.name);
        ASSERT_EQ(c.load(dir.file("good.cfg")), 0);
        const std::string base = std::string(f.name).substr(0, std::string(f.name).size() - 4);
        EXPECT_EQ(c.load(dir.file(f.name)), f.result);
        EXPECT_FALSE(c.loaded);
        EXPECT_EQ(c.cfgFileName, dir.file(base + ".cfg"));
        EXPECT_EQ(c.datFileName, dir.file(base + ".dat"));
        // The path and the duration of the last success stay; no view
        // outlives the records it referred to.
        EXPECT_EQ(c.fileName, dir.file("good.cfg"));
        EXPECT_DOUBLE_EQ(c.duration, 0.039);
        EXPECT_TRUE(c.analogChannels.empty());
        EXPECT_TRUE(c.binaryChannels.empty());
        // Samples decoded with the earlier configuration do not survive it.
        if (f.result != 5) {
            EXPECT_TRUE(c.dat.samples.empty());
            EXPECT_EQ(c.dat.lastSampleTime, -1.0);
        }
    }
}

TEST(ComtradeLoad, FileNamesDerivedFromAnyOfTheThree)
{
    const Recording rec = makeRecording(mixedSpec(E::Binary), 20);
    const struct {
        const char* cfgOnDisk;
        const char* datOnDisk;
        const char* path;
        const char* cfgName;
        const char* datName;
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
        ASSERT_TRUE(writeFile(dir.file(c.cfgOnDisk), cfgText(rec.spec, 20)));
        ASSERT_TRUE(writeFile(dir.file(c.datOnDisk), datBytes(rec)));
        Comtrade ct;
        ASSERT_EQ(ct.load(dir.file(c.path)), 0);
        EXPECT_EQ(ct.fileName, dir.file(c.path));
        EXPECT_EQ(ct.cfgFileName, dir.file(c.cfgName));
        EXPECT_EQ(ct.datFileName, dir.file(c.datName));
        EXPECT_EQ(ct.dat.samples.size(), 20u);
    }
}

// Rates give the duration whatever the time stamps say; a zero rate makes the
// last time stamp the duration.
TEST(ComtradeLoad, DurationFromRatesOrLastTimeStamp)
{
    TempDir dir("duration");
    const struct {
        std::vector<RateSpec> rates;
        double timeMultiplier;
        double duration;
    } cases[] = {
        {{{1000.0, 50}}, 1.0, 0.049},
        {{{1000.0, 10}, {500.0, 50}}, 1.0, 0.01 + 39.0 / 500.0},
        {{{1000.0, 50}}, 2.0, 0.098},
        {{{0.0, 50}}, 1.0, 49 * 333e-6},
        {{{1000.0, 10}, {0.0, 50}}, 2.0, 49 * 333e-6 * 2.0},
    };
    for (const auto& c : cases) {
        for (E::DataFileType type : {E::Ascii, E::Float32}) {
            RecordingSpec spec = mixedSpec(type, 2, 2);
            spec.rates = c.rates;
            spec.timeMultiplier = c.timeMultiplier;
            Recording rec = makeRecording(spec, 50);
            for (std::size_t k = 0; k < 50; ++k)
                rec.records[k].timeStamp = std::uint32_t(k * 333);
            ASSERT_TRUE(writeRecording(rec, dir.file("rec")));
            Comtrade ct;
            ASSERT_EQ(ct.load(dir.file("rec.cfg")), 0);
            EXPECT_DOUBLE_EQ(ct.duration, c.duration) << typeKeyword(type) << " " << c.duration;
            EXPECT_DOUBLE_EQ(ct.dat.lastSampleTime, c.duration);
        }
    }
}

// Every data-file type, both line ends and both channel-line layouts: the
// values read through the views are the values written.
TEST(ComtradeLoad, EveryTypeEndToEnd)
{
    TempDir dir("e2e");
    for (int rev : {1991, 1999, 2013}) {
        for (E::DataFileType type : {E::Ascii, E::Binary, E::Binary32, E::Float32}) {
            for (bool crlf : {false, true}) {
                SCOPED_TRACE(std::to_string(rev) + " " + typeKeyword(type) + (crlf ? " CR LF" : " LF"));
                RecordingSpec spec = mixedSpec(type, 4, 17);
                spec.revYear = rev;
                spec.crlf = crlf;
                spec.finalLineEnd = !crlf;
                const Recording rec = makeRecording(spec, 250);
                ASSERT_TRUE(writeRecording(rec, dir.file("rec")));
                Comtrade ct;
                ASSERT_EQ(ct.load(dir.file("rec.cfg")), 0);
                ASSERT_EQ(ct.analogChannels.size(), 4u);
                ASSERT_EQ(ct.binaryChannels.size(), 17u);
                EXPECT_DOUBLE_EQ(ct.duration, 0.249);

                for (std::size_t c = 0; c < 4; ++c) {
                    const auto& view = ct.analogChannels[c];
                    EXPECT_EQ(view.unit(), spec.analogs[c].unit);
                    EXPECT_EQ(view.phase(), spec.analogs[c].phase);
                    EXPECT_DOUBLE_EQ(view.skew, spec.analogs[c].skewMicroseconds * 1e-6);
                    // Interpolating at a record's own time may cost a few ulps of
                    // the channel's scale.
                    double scale = 1.0;
                    for (std::size_t k = 0; k < 250; ++k)
                        scale = std::max(scale, std::fabs(rec.expectedValue(k, c)));
                    unsigned hint = 0;
                    for (std::size_t k = 0; k < 250; ++k) {
                        const double expected = rec.expectedValue(k, c);
                        ASSERT_DOUBLE_EQ(ct.dat.samples[k].analogValues[c], expected);
                        const double t = double(k) / 1000.0 + view.skew;
                        ASSERT_NEAR(view.getValue(t, hint), expected, 1e-9 * scale)
                            << "channel " << c << " record " << k;
                    }
                }
                for (std::size_t d = 0; d < 17; ++d) {
                    // The step series has a point at the first record and at every change.
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

// A recording with no samples, or a window after its end, draws nothing.
TEST(ComtradeLoad, NothingToDraw)
{
    TempDir dir("nodraw");
    Recording rec = makeRecording(mixedSpec(E::Ascii, 2, 2), 0);
    ASSERT_TRUE(writeFile(dir.file("empty.cfg"), cfgText(rec.spec, 5)));
    ASSERT_TRUE(writeFile(dir.file("empty.dat"), ""));
    Comtrade ct;
    ASSERT_EQ(ct.load(dir.file("empty.cfg")), 0);
    EXPECT_TRUE(ct.dat.samples.empty());
    EXPECT_DOUBLE_EQ(ct.duration, 0.004);
    ASSERT_EQ(ct.analogChannels.size(), 2u);
    ASSERT_EQ(ct.binaryChannels.size(), 2u);
    for (const auto& v : ct.analogChannels) {
        EXPECT_TRUE(v.getPoints(0.0, -1.0, -1.0).empty());
        EXPECT_TRUE(v.getPoints(0.0, 1.0, 100.0).empty());
    }
    for (const auto& v : ct.binaryChannels) {
        EXPECT_TRUE(v.getPoints(0.0, -1.0, -1.0).empty());
        EXPECT_TRUE(v.getPoints(0.0, 1.0, -1.0).empty());
    }

    rec = makeRecording(mixedSpec(E::Binary, 2, 2), 100);
    ASSERT_TRUE(writeRecording(rec, dir.file("full")));
    ASSERT_EQ(ct.load(dir.file("full.cfg")), 0);
    EXPECT_TRUE(ct.analogChannels[0].getPoints(0.5, 1.0, 100.0).empty());
    EXPECT_TRUE(ct.analogChannels[0].getPoints(0.5, -1.0, -1.0).empty());
    EXPECT_TRUE(ct.binaryChannels[0].getPoints(0.5, 1.0, -1.0).empty());
    EXPECT_FALSE(ct.binaryChannels[0].getPoints(0.05, 1.0, -1.0).empty());
}
