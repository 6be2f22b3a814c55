#include <KivComtradeLib/AnalogChannelConfig.h>
#include <KivComtradeLib/BinaryChannelConfig.h>
#include <KivComtradeLib/StringHelper.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

using KivComtradeLib::AnalogChannelConfig;
using KivComtradeLib::BinaryChannelConfig;
using KivComtradeLib::StringHelper;

namespace {

TEST(AnalogChannelConfig, FullLineGivesFieldsAndTexts)
{
    // A literal line must reach the line constructor, not convert to bool.
    const AnalogChannelConfig c(2, "9,IA,A,Line 1,kA,0.5,-1.25,1.5,-32767,32767,1000,1,S", 1999);
    // Numbered by position, not by the number the line carries.
    EXPECT_EQ(c.channelInfo(), "3,IA,A,Line 1,kA,0.500000,-1.250000,0.000002,-32767.000000,32767.000000,"
                               "1000.000000,1.000000,S");
    EXPECT_EQ(static_cast<const KivComtradeLib::BaseChannelConfig&>(c).name(), "IA,A,Line 1,kA");
    EXPECT_DOUBLE_EQ(c.skew, 1.5e-6); // the file gives microseconds
    EXPECT_DOUBLE_EQ(c.GetRealValue(100.0), (100 * 0.5 - 1.25) * 1000);
}

// Fields 11-13 are read whenever the line has 13 fields, whatever the
// revision; a primary-side channel has gain and offset rescaled once.
TEST(AnalogChannelConfig, PrimarySideGroupRescalesGainAndOffsetOnce)
{
    // fields 11 onwards, revision, then a, b, primary, secondary, isSecondary as read
    const std::vector<std::tuple<std::string, int, double, double, double, double, bool>> cases = {
        {",1000,100,P", 1999, 0.2, 0.05, 1000, 100, false}, {",1000,100,p", 2013, 0.2, 0.05, 1000, 100, false},
        {",1000,100,s", 1999, 2.0, 0.5, 1000, 100, true},   {",1000,100,S\r", 1999, 2.0, 0.5, 1000, 100, true},
        {",1000,100,Secondary,x", 1999, 2.0, 0.5, 1000, 100, true},
        {",1000,100, S", 1999, 0.2, 0.05, 1000, 100, false}, // fields are not trimmed
        {",1000,100,,x", 1999, 0.2, 0.05, 1000, 100, false}, // an empty flag is no S
        {",1000,100", 1999, 2.0, 0.5, 1, 1, true},           // 12 fields: no group
        {"", 1999, 2.0, 0.5, 1, 1, true},
        {",1000,100,P", 1991, 0.2, 0.05, 1000, 100, false},  // the later layout in a 1991 file
        {",1000,100,P", 1997, 0.2, 0.05, 1000, 100, false},
        {",,,P", 1999, 2.0, 0.5, 1, 1, false},               // empty ratio fields give 1
        {",1000, ,P", 1999, 0.002, 0.0005, 1000, 1, false},
    };
    for (const auto& [tail, revision, a, b, primary, secondary, isSecondary] : cases) {
        const std::string line = "1,IA,A,,A,2,0.5,0,-32767,32767" + tail;
        AnalogChannelConfig record(0, line, revision);
        for (int pass = 0; pass < 2; ++pass) { // a second load must not rescale again
            EXPECT_DOUBLE_EQ(record.a, a) << line;
            EXPECT_DOUBLE_EQ(record.b, b) << line;
            EXPECT_DOUBLE_EQ(record.primary, primary) << line;
            EXPECT_DOUBLE_EQ(record.secondary, secondary) << line;
            EXPECT_EQ(record.isSecondary, isSecondary) << line;
            record.load(4, StringHelper::split(line, ','), revision);
        }
    }
    // (raw * a + b) * secondary / primary: (100 * 2 + 0.5) / 10.
    EXPECT_DOUBLE_EQ(AnalogChannelConfig(0, "1,IA,A,,A,2,0.5,0,0,0,1000,100,P", 1999).GetRealValue(100.0), 20.05);
}

TEST(AnalogChannelConfig, UnitPrefixGivesMultiplier)
{
    const std::vector<std::pair<std::string, double>> cases = {
        {"kV", 1e3}, {"KV", 1e3}, {"MW", 1e6}, {"mA", 1e-3}, {"V", 1}, {"k", 1}, {"", 1}, {" kV", 1},
        {"\xD0\xBA\xD0\x92", 1}, // Cyrillic "кВ": no decimal prefix
    };
    for (const auto& [unit, factor] : cases) {
        const AnalogChannelConfig record(0, "1,U,,," + unit + ",0.5,0,0,-1,1", 1999);
        EXPECT_EQ(record.unit, unit);
        EXPECT_DOUBLE_EQ(record.multiplicator(unit), factor) << unit;
        EXPECT_DOUBLE_EQ(record.GetRealValue(100.0), 50.0 * factor) << unit;
    }
}

TEST(AnalogChannelConfig, NumbersFollowStodAndShortOrBadLinesThrow)
{
    const AnalogChannelConfig spaced(0, "1,IA,A,,A,  0.25 ,\t3, 2us,-5e2,1e3\r", 1999);
    EXPECT_EQ(spaced.channelInfo(), "1,IA,A,,A,0.250000,3.000000,0.000002,-500.000000,1000.000000,1.000000,1.000000,S");

    // Every number field with letters throws and names itself; an empty gain
    // or offset throws, the other fields take neutral values when empty.
    const std::vector<std::string> good = StringHelper::split("1,IA,A,,A,2,0,0,-1,1,10,1,P", ',');
    const char* names[] = {"gain", "offset", "skew", "minimum", "maximum", "primary", "secondary"};
    for (std::size_t field = 5; field < 12; ++field) {
        std::vector<std::string> fields = good;
        fields[field] = "x";
        try {
            AnalogChannelConfig(0, StringHelper::join(',', fields), 1999);
            ADD_FAILURE() << field;
        } catch (const std::invalid_argument& e) {
            EXPECT_EQ(e.what(), "field " + std::to_string(field + 1) + " '" + names[field - 5] + "': 'x' is not a number");
        }
    }
    for (const char* line : {"1,IA,A,,A,,0,0,-1,1", "1,IA,A,,A,1, ,0,-1,1"})
        EXPECT_THROW(AnalogChannelConfig(0, line, 1999), std::invalid_argument) << line;
    // line, revision, skew (s), min, max
    const std::vector<std::tuple<std::string, int, double, double, double>> empties = {
        {"1,U,V,,V,0.1,0,,-32767,32767", 1999, 0.0, -32767, 32767},
        {"1,U,V,,V,0.1,0, ,,", 1999, 0.0, -32767, 32767},
        {"1,U,V,,V,0.1,0,5,,\r", 2013, 5e-6, -99999, 99999},
        {"1,U,V,,V,0.1,0,,,", 1991, 0.0, -99999, 99999},
    };
    for (const auto& [line, revision, skew, min, max] : empties) {
        const AnalogChannelConfig record(0, line + ",,,S", revision);
        EXPECT_DOUBLE_EQ(record.skew, skew) << line;
        EXPECT_DOUBLE_EQ(record.min, min) << line;
        EXPECT_DOUBLE_EQ(record.max, max) << line;
    }
    EXPECT_THROW(AnalogChannelConfig(0, "1,IA,A,,A,1e999,0,0,-1,1", 1999), std::out_of_range);
    // A line cut short is refused, never read past its fields.
    for (long count = 0; count < 10; ++count) {
        AnalogChannelConfig record(0, false, 1999);
        EXPECT_THROW(record.load(0, {good.begin(), good.begin() + count}, 1999), std::invalid_argument) << count;
        EXPECT_THROW(record.load(0, {good.begin(), good.begin() + count}, 1991), std::invalid_argument) << count;
    }
}

TEST(AnalogChannelConfig, DefaultRangeByRevision)
{
    EXPECT_DOUBLE_EQ(AnalogChannelConfig(3, false, 1999).max, 32767.0);
    EXPECT_DOUBLE_EQ(AnalogChannelConfig(3, false, 1999).min, -32767.0);
    EXPECT_DOUBLE_EQ(AnalogChannelConfig(3, true, 1999).min, -99999.0);
    EXPECT_DOUBLE_EQ(AnalogChannelConfig(3, false, 2013).max, 99999.0);
    EXPECT_DOUBLE_EQ(AnalogChannelConfig(3, false, 1991).max, 99999.0);
}

// Each line is loaded over a record that held another one, so a field that
// the new line lacks must be reset, not left from before.
TEST(BinaryChannelConfig, FieldsByRevisionAndTexts)
{
    // line, revision, name(), channelInfo() as the third status channel
    const std::vector<std::tuple<std::string, int, std::string, std::string>> cases = {
        {"1,TRIP,1", 1991, "TRIP,", "3,TRIP,,,1"},
        {"1,TRIP,1,Q1", 1991, "TRIP,", "3,TRIP,,,1"}, // 1991: no phase, no component
        {"1,TRIP, 7\r", 1991, "TRIP,", "3,TRIP,,,7"},
        {"1,TRP,A,Q1,1", 1991, "TRP,Q1", "3,TRP,A,Q1,1"}, // five fields: the later layout
        {"1,I11,1,,0", 1997, "I11,", "3,I11,1,,0"},
        {"3,BRK,A,Q1,0", 2013, "BRK,Q1", "3,BRK,A,Q1,0"},
        {"1,BRK", 1999, "BRK,", "3,BRK,,,0"}, // missing trailing fields take defaults
        {"1,BRK,A", 1999, "BRK,", "3,BRK,A,,0"},
        {"1,BRK,A,Q1,", 1999, "BRK,Q1", "3,BRK,A,Q1,0"},
        {"1, BRK ,, Q1 , -3 ,x", 1999, " BRK , Q1 ", "3, BRK ,, Q1 ,-3"},
    };
    for (const auto& [line, revision, name, info] : cases) {
        BinaryChannelConfig record(0, "9,OLD,B,Q9,5", 1999);
        record.load(2, StringHelper::split(line, ','), revision);
        EXPECT_EQ(record.name(), name) << line;
        EXPECT_EQ(record.channelInfo(), info) << line;
    }
}

TEST(BinaryChannelConfig, ShortOrBadLinesThrow)
{
    for (const auto& [line, revision] : std::vector<std::pair<std::string, int>>{
             {"1,BRK,A,Q1,X", 1999}, {"1,BRK,A,Q1,,0", 1999}, {"1", 1999}, {"", 1999}, {",", 2013},
             {"1,TRIP,X", 1991}, {"1,TRIP,", 1991}, {"1,TRIP", 1991}, {"1", 1991}})
        EXPECT_THROW(BinaryChannelConfig(0, line, revision), std::invalid_argument) << line << " " << revision;
    EXPECT_THROW(BinaryChannelConfig(0, "1,BRK,A,Q1,99999999999", 1999), std::out_of_range);
    EXPECT_THROW(BinaryChannelConfig(0, "1,TRIP,-2147483649", 1991), std::out_of_range);
}

} // namespace
