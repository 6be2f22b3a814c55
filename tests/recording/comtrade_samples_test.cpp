// Real recordings written by relays and by other readers' authors. Every file
// gives a definite result; those whose two files agree load, with plausible
// times and values, and read the same from CR LF copies.

#include "RecordingTestUtil.h"

#include <KivComtradeLib/FilesHelper.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <string>

using namespace KivTest;
using KivComtradeLib::Comtrade;
namespace fs = std::filesystem;

namespace {

struct Known {
    int result;
    std::size_t samples = 0;
    double duration = -1.0; // checked when >= 0
};

// What each recording gives by the rules, from its own bytes.
const std::map<std::string, Known>& known()
{
    static const std::map<std::string, Known> table = {
        {"wisp/1.cfg", {0, 5316}},
        {"wisp/1.dat", {0, 5316}},
        // 19680 whole records where 19679 are announced.
        {"wisp/2.cfg", {6}},
        {"wisp/2.dat", {6}},
        // Rates of zero: times from the time stamps.
        {"wisp/3.cfg", {0, 1360, 1.698295}},
        {"wisp/3.dat", {0, 1360, 1.698295}},
        // 2400 whole records where 2399 are announced.
        {"wisp/4.CFG", {6}},
        {"wisp/4.DAT", {6}},
        // The keyword is written "BINARY32 ", with a trailing blank.
        {"wisp/5.cfg", {0, 202, 201.0 / 2000.0}},
        {"wisp/5.dat", {0, 202, 201.0 / 2000.0}},
        {"python-comtrade/sample_ascii.cfg", {0, 40, 39.0 / 1200.0}},
        {"python-comtrade/sample_ascii.dat", {0, 40, 39.0 / 1200.0}},
        {"python-comtrade/sample_ascii.cff", {0, 40, 39.0 / 1200.0}},
        {"python-comtrade/sample_ascii_utf-8.cfg", {5}},
        {"python-comtrade/sample_ascii_missing.dat", {2}},
        {"python-comtrade/sample_bin.cfg", {0, 5, 4.0 / 15360.0}},
        {"python-comtrade/sample_bin.dat", {0, 5, 4.0 / 15360.0}},
        {"python-comtrade/sample_bin_missing.dat", {2}},
        {"python-comtrade/sample_float32.cff", {2}},
        {"python-comtrade/sample_iso8859-1.cfg", {0, 40}},
        {"python-comtrade/sample_iso8859-1.dat", {0, 40}},
        {"python-comtrade/sample_iso8859-1_bin.cfg", {0, 40}},
        {"python-comtrade/sample_iso8859-1_bin.dat", {0, 40}},
        {"python-comtrade/sample_sub_char.cfg", {5}},
        {"ge850/real_1999_bin.cfg", {0, 8000, 4.995215}},
        {"ge850/real_1999_bin.dat", {0, 8000, 4.995215}},
    };
    return table;
}

void expectPlausible(const Comtrade& c, const std::string& name)
{
    SCOPED_TRACE(name);
    ASSERT_FALSE(c.dat.samples.empty());
    double previous = c.dat.samples.front().time;
    EXPECT_GE(previous, 0.0);
    for (const auto& s : c.dat.samples) {
        ASSERT_GE(s.time, previous);
        if (c.cfg.allRatesNonZero) {
            ASSERT_DOUBLE_EQ(s.time, c.cfg.timeFromSampleIndex(s.index)) << s.index;
        }
        previous = s.time;
        ASSERT_EQ(s.analogValues.size(), c.cfg.analogChannels.size());
        ASSERT_EQ(s.binaryValues.size(), c.cfg.binaryChannels.size());
        for (double v : s.analogValues)
            ASSERT_TRUE(std::isfinite(v));
    }
    EXPECT_EQ(c.dat.lastSampleTime, previous);
    EXPECT_DOUBLE_EQ(c.duration, previous);
    ASSERT_EQ(c.analogChannels.size(), c.cfg.analogChannels.size());
    ASSERT_EQ(c.binaryChannels.size(), c.cfg.binaryChannels.size());
    // The default plotting series: about 1000 points over the whole recording.
    for (const auto& view : c.analogChannels) {
        const double d = c.dat.lastSampleTime;
        const double count = d * view.defaultSampleRate(d);
        const auto pts = view.getPoints(0.0, -1.0, -1.0);
        EXPECT_EQ(pts.size(), std::size_t(std::ceil(count))) << view.name();
        EXPECT_TRUE(pts.size() == 1000 || pts.size() == 1001) << pts.size();
    }
    for (const auto& view : c.binaryChannels) {
        const auto pts = view.getPoints(0.0, -1.0, -1.0);
        ASSERT_FALSE(pts.empty());
        EXPECT_EQ(pts.front().x, 0.0f);
        EXPECT_FLOAT_EQ(pts.back().x, float(c.dat.lastSampleTime));
    }
}

} // namespace

TEST(RealRecordings, EveryFileGivesADefiniteResult)
{
    const std::string root = sharedSamplesDir();
    if (root.empty())
        GTEST_SKIP() << "no folder of real recordings beside the project";
    std::size_t loadedCount = 0;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file())
            continue;
        const std::string rel = fs::relative(entry.path(), root).generic_string();
        SCOPED_TRACE(rel);
        Comtrade c;
        const int result = c.load(entry.path().string());
        EXPECT_TRUE(result == 0 || result == 1 || result == 2 || result == 3 || result == 5 || result == 6)
            << result;
        EXPECT_EQ(result == 1, !KivComtradeLib::FilesHelper::isComtradeFile(rel));
        EXPECT_EQ(c.loaded, result == 0);
        const auto it = known().find(rel);
        if (it == known().end())
            continue;
        const Known& k = it->second;
        ASSERT_EQ(result, k.result);
        if (result != 0) {
            EXPECT_TRUE(c.analogChannels.empty());
            continue;
        }
        ++loadedCount;
        EXPECT_EQ(c.dat.samples.size(), k.samples);
        if (k.duration >= 0) {
            EXPECT_NEAR(c.duration, k.duration, 1e-12);
        }
        expectPlausible(c, rel);
    }
    EXPECT_GE(loadedCount, 14u);
}

// Values read back against the bytes of the files, decoded by hand.
TEST(RealRecordings, FirstValuesMatchTheFiles)
{
    const std::string root = sharedSamplesDir();
    if (root.empty())
        GTEST_SKIP() << "no folder of real recordings beside the project";
    const struct {
        const char* file;
        std::size_t channel;
        double value; // of the first record
        const char* unit;
    } cases[] = {
        // int16 -24979, gain 0.000361849 kV, primary-side 120:1.
        {"python-comtrade/sample_bin.cfg", 0, -75.32188475833333, "kV"},
        // Text -3188, gain 0.016552 V.
        {"wisp/1.cfg", 0, -52.767776000000005, "V"},
        // Text -83, gain 0.1138916015625, offset 0.05694580078125; unit " A".
        {"python-comtrade/sample_ascii.cfg", 0, -9.39605712890625, " A"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        Comtrade ct;
        ASSERT_EQ(ct.load(root + "/" + c.file), 0);
        EXPECT_NEAR(ct.dat.samples[0].analogValues[c.channel], c.value, 1e-9);
        EXPECT_EQ(ct.analogChannels[c.channel].unit(), c.unit);
        unsigned hint = 0;
        EXPECT_NEAR(ct.analogChannels[c.channel].getValue(ct.analogChannels[c.channel].skew, hint), c.value, 1e-9);
    }

    // Sepam relay: every time stamp is 0xFFFFFFFF; with the announced count
    // corrected the records load and the times still come from the rates.
    TempDir dir("sepam");
    std::string dat = readFile(root + "/wisp/4.DAT");
    ASSERT_EQ(dat.size(), 52800u);
    ASSERT_TRUE(writeFile(dir.file("4.CFG"), readFile(root + "/wisp/4.CFG")));
    ASSERT_TRUE(writeFile(dir.file("4.DAT"), dat.substr(0, dat.size() - 22)));
    Comtrade sepam;
    ASSERT_EQ(sepam.load(dir.file("4.cff")), 0);
    EXPECT_EQ(sepam.dat.samples.size(), 2399u);
    EXPECT_DOUBLE_EQ(sepam.duration, 2398.0 / 600.0);
    expectPlausible(sepam, "wisp/4 cut to 2399 records");
}

// Real recorders write CR LF: converted copies read exactly like the originals.
TEST(RealRecordings, CrLfCopiesReadTheSame)
{
    const std::string root = sharedSamplesDir();
    if (root.empty())
        GTEST_SKIP() << "no folder of real recordings beside the project";
    TempDir dir("samples-crlf");
    std::size_t compared = 0;
    for (const auto& [rel, k] : known()) {
        if (k.result != 0 || fs::path(rel).extension() != ".cfg")
            continue;
        SCOPED_TRACE(rel);
        Comtrade original;
        ASSERT_EQ(original.load(root + "/" + rel), 0);
        const std::string cfgText = readFile(root + "/" + rel);
        if (cfgText.find('\r') != std::string::npos)
            continue;
        const std::string datPath = original.datFileName;
        std::string dat = readFile(datPath);
        if (original.cfg.dataFileType == KivComtradeLib::Enums::Ascii)
            dat = toCrLf(dat);
        ASSERT_TRUE(writeFile(dir.file("copy.cfg"), toCrLf(cfgText)));
        ASSERT_TRUE(writeFile(dir.file("copy.dat"), dat));
        Comtrade copy;
        ASSERT_EQ(copy.load(dir.file("copy.cfg")), 0);
        expectSameState(copy, original);
        ASSERT_EQ(copy.cfg.analogChannels.size(), original.cfg.analogChannels.size());
        for (std::size_t c = 0; c < copy.cfg.analogChannels.size(); ++c)
            EXPECT_EQ(copy.cfg.analogChannels[c].name(), original.cfg.analogChannels[c].name());
        ++compared;
    }
    EXPECT_GE(compared, 7u);
}
