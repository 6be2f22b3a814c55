// Decoding of one data record: binary records byte by byte, and the text
// scanner's handling of odd but real-world lines.

#include "DataTestUtil.h"

#include <KivComtradeLib/Sample.h>

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

using namespace KivTest;
using KivComtradeLib::Cfg;
using KivComtradeLib::Sample;
namespace E = KivComtradeLib::Enums;

namespace {

// Two analog channels with a gain, an offset and a unit prefix, so that every
// value must pass through the channel's scaling.
RecordingSpec twoAnalogs(E::DataFileType type, bool ratesFromTimeStamps, std::size_t statuses = 0)
{
    RecordingSpec spec;
    spec.type = type;
    spec.analogs = {analog("IA", 1.5, 0.25, "A"), analog("UA", 0.5, -1.0, "kV")};
    for (std::size_t d = 0; d < statuses; ++d)
        spec.statuses.push_back(status("D" + std::to_string(d + 1)));
    spec.rates = {{ratesFromTimeStamps ? 0.0 : 1000.0, 10}};
    return spec;
}

bool decode(const std::string& bytes, Sample& sample, unsigned long long index = 0)
{
    // An exact-size heap copy, so that a read past the record is caught.
    std::vector<char> record(bytes.begin(), bytes.end());
    return sample.load(record.data(), index);
}

} // namespace

TEST(BinaryRecord, ValuesAndTimeStampsAreNeverMissingMarkers)
{
    TempDir dir("binrec");
    const RecordingSpec spec = twoAnalogs(E::Binary, true);
    auto cfg = loadedCfg(dir, spec, 10);
    ASSERT_EQ(cfg->recordSize, 12u);

    Sample s(*cfg);
    ASSERT_TRUE(decode(std::string("\x01\0\0\0\x10\x27\0\0\xFF\xFF\x00\x80", 12), s, 3));
    EXPECT_EQ(s.index, 3u);
    EXPECT_DOUBLE_EQ(s.time, 0.01);
    ASSERT_EQ(s.analogValues.size(), 2u);
    EXPECT_DOUBLE_EQ(s.analogValues[0], engineeringValue(spec, 0, -1.0));
    EXPECT_DOUBLE_EQ(s.analogValues[1], engineeringValue(spec, 1, -32768.0));
    EXPECT_TRUE(s.binaryValues.empty());

    // An all-ones time stamp is unsigned, not -1.
    Sample t(*cfg);
    ASSERT_TRUE(decode(std::string("\x01\0\0\0\xFF\xFF\xFF\xFF\x00\x00\xFF\x7F", 12), t));
    EXPECT_DOUBLE_EQ(t.time, 4294.967295);
    EXPECT_DOUBLE_EQ(t.analogValues[1], engineeringValue(spec, 1, 32767.0));

    // The time multiplier scales time stamps.
    RecordingSpec slow = spec;
    slow.timeMultiplier = 2.5;
    auto slowCfg = loadedCfg(dir, slow, 10, "slow");
    Sample u(*slowCfg);
    ASSERT_TRUE(decode(std::string("\x01\0\0\0\x10\x27\0\0\0\0\0\0", 12), u));
    EXPECT_DOUBLE_EQ(u.time, 0.025);
}

TEST(BinaryRecord, TimeFromRatesIgnoresTheTimeStamp)
{
    TempDir dir("binrate");
    auto cfg = loadedCfg(dir, twoAnalogs(E::Binary, false), 10);
    Sample s(*cfg);
    ASSERT_TRUE(decode(std::string("\x01\0\0\0\x10\x27\0\0\xFF\xFF\x00\x80", 12), s, 5));
    EXPECT_DOUBLE_EQ(s.time, 0.005);
}

TEST(BinaryRecord, WideAndFloatValues)
{
    TempDir dir("binwide");
    const RecordingSpec b32 = twoAnalogs(E::Binary32, true);
    auto cfg32 = loadedCfg(dir, b32, 10, "b32");
    ASSERT_EQ(cfg32->recordSize, 16u);
    Sample s(*cfg32);
    ASSERT_TRUE(decode(std::string("\0\0\0\0\0\0\0\0\xFE\xFF\xFF\xFF\x00\x00\x00\x80", 16), s));
    EXPECT_DOUBLE_EQ(s.analogValues[0], engineeringValue(b32, 0, -2.0));
    EXPECT_DOUBLE_EQ(s.analogValues[1], engineeringValue(b32, 1, -2147483648.0));

    const RecordingSpec f32 = twoAnalogs(E::Float32, true);
    auto cfgF = loadedCfg(dir, f32, 10, "f32");
    Sample f(*cfgF);
    ASSERT_TRUE(decode(std::string("\0\0\0\0\0\0\0\0\x00\x00\x80\x3F\x00\x00\xC0\xFF", 16), f));
    EXPECT_DOUBLE_EQ(f.analogValues[0], engineeringValue(f32, 0, 1.0));
    EXPECT_TRUE(std::isnan(f.analogValues[1])); // a NaN pattern is decoded, not rejected
}

TEST(BinaryRecord, StatusWordsBitZeroFirst)
{
    TempDir dir("binstat");
    // 17 status channels need two words; the high 15 bits of the second are padding.
    auto cfg17 = loadedCfg(dir, twoAnalogs(E::Binary, false, 17), 10, "s17");
    ASSERT_EQ(cfg17->recordSize, 16u);
    Sample s(*cfg17);
    ASSERT_TRUE(decode(std::string("\0\0\0\0\0\0\0\0\0\0\0\0\x01\x80\xFF\xFF", 16), s));
    ASSERT_EQ(s.binaryValues.size(), 17u);
    for (std::size_t d = 0; d < 17; ++d)
        EXPECT_EQ(s.binaryValues[d], d == 0 || d == 15 || d == 16) << "channel " << d + 1;
    // The decoder appends: a sample decoded twice holds both records' states.
    ASSERT_TRUE(decode(std::string("\0\0\0\0\0\0\0\0\0\0\0\0\x01\x80\xFF\xFF", 16), s));
    ASSERT_EQ(s.binaryValues.size(), 34u);
    ASSERT_EQ(s.analogValues.size(), 4u);
    for (std::size_t d = 0; d < 17; ++d)
        EXPECT_EQ(s.binaryValues[17 + d], s.binaryValues[d]) << "channel " << d + 1;

    // Exactly 16 channels: one word, nothing read beyond it.
    auto cfg16 = loadedCfg(dir, twoAnalogs(E::Binary, false, 16), 10, "s16");
    ASSERT_EQ(cfg16->recordSize, 14u);
    Sample t(*cfg16);
    ASSERT_TRUE(decode(std::string("\0\0\0\0\0\0\0\0\0\0\0\0\x02\x40", 14), t));
    ASSERT_EQ(t.binaryValues.size(), 16u);
    for (std::size_t d = 0; d < 16; ++d)
        EXPECT_EQ(t.binaryValues[d], d == 1 || d == 14) << "channel " << d + 1;

    // A record with no channels at all decodes to nothing.
    Cfg bare;
    bare.dataFileType = E::Binary;
    bare.recordSize = 8;
    Sample empty(bare);
    EXPECT_TRUE(decode(std::string(8, '\0'), empty));
    EXPECT_TRUE(empty.analogValues.empty());
    EXPECT_TRUE(empty.binaryValues.empty());
}

// One text line against a configuration of two analog and two status
// channels: whether it decodes, and into what.
TEST(TextRecord, ScannerCases)
{
    struct Case {
        const char* line;
        bool ok;
        double raw0 = 0, raw1 = 0;
        bool st0 = false, st1 = false;
        double time = -1; // -1: not checked
    };
    const Case cases[] = {
        {"1,2500,100,-5,1,0", true, 100, -5, true, false, 0.0025},
        {" 1, 2500,100,-5,1,0", true, 100, -5, true, false, 0.0025},
        {"1,\t2500,\v100,\f-5,\r1, 0", true, 100, -5, true, false, 0.0025},
        {"1,2500,100,-5,1,0 ", true, 100, -5, true, false},
        {"1,2500,100,-5,1,0\r", true, 100, -5, true, false},
        {"1,2500,100,-5,1,0,", true, 100, -5, true, false},
        {"1,2500,100,-5,1,0,7,junk", true, 100, -5, true, false},
        // A blank before a comma ends the number; the comma then starts the next field.
        {"1,2500 ,100,-5,1,0", false},
        {"1,2500,100,-5 ,1,0", true, 100, -5, true, true},
        // One character per status field: "10" is two fields.
        {"1,2500,100,-5,10", true, 100, -5, true, false},
        {"1,2500,100,-5,x,0", true, 100, -5, true, false},
        {"1,2500,100,-5,0,-", true, 100, -5, false, true},
        // Unsigned 32-bit accumulation: wraps, and '-' negates modulo 2^32.
        {"1,-1,4294967295,4294967396,1,1", true, -1, 100, true, true, 4294.967295},
        {"1,0,-2147483648,2147483648,0,0", true, -2147483648.0, -2147483648.0, false, false, 0},
        {"1,2500,100,-5,1", false},
        {"1,2500,100,-5,1,", false},
        {"1,2500,12.5,-5,1,0", false},
        {"1,2500,,-5,1,0", false},
        {"1,2500,+100,-5,1,0", false},
        {"1,2500,-,-5,1,0", false},
        {"1,2500,100,-", false},
        {"-", false},
        {"   ", false},
        {"\r", false},
        {"", false},
    };
    TempDir dir("textrec");
    const RecordingSpec spec = twoAnalogs(E::Ascii, true, 2);
    auto cfg = loadedCfg(dir, spec, 10);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("line \"") + c.line + "\"");
        Sample s(*cfg);
        const std::string line(c.line);
        ASSERT_EQ(s.load(line, 4), c.ok);
        if (!c.ok)
            continue;
        EXPECT_EQ(s.index, 4u);
        ASSERT_EQ(s.analogValues.size(), 2u);
        EXPECT_DOUBLE_EQ(s.analogValues[0], engineeringValue(spec, 0, c.raw0));
        EXPECT_DOUBLE_EQ(s.analogValues[1], engineeringValue(spec, 1, c.raw1));
        ASSERT_EQ(s.binaryValues.size(), 2u);
        EXPECT_EQ(s.binaryValues[0], c.st0);
        EXPECT_EQ(s.binaryValues[1], c.st1);
        if (c.time >= 0) {
            EXPECT_DOUBLE_EQ(s.time, c.time);
        }

        // The byte-range overload reads the same line without a terminator.
        std::vector<char> bytes(line.begin(), line.end());
        Sample r(*cfg);
        ASSERT_TRUE(r.load(bytes.data(), bytes.size(), 4));
        EXPECT_EQ(r.analogValues, s.analogValues);
        EXPECT_EQ(r.binaryValues, s.binaryValues);
        EXPECT_EQ(r.time, s.time);
    }

    // With rates the time comes from the record's position, not its stamp.
    auto rated = loadedCfg(dir, twoAnalogs(E::Ascii, false, 2), 10, "rated");
    Sample s(*rated);
    ASSERT_TRUE(s.load(std::string("1,2500,100,-5,1,0"), 7));
    EXPECT_DOUBLE_EQ(s.time, 0.007);
}
