#include <KivComtradeLib/AnalogChannelConfig.h>
#include <KivComtradeLib/BinaryChannelConfig.h>
#include <KivComtradeLib/StringHelper.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

using KivComtradeLib::AnalogChannelConfig;
using KivComtradeLib::BinaryChannelConfig;
using KivComtradeLib::StringHelper;

namespace {

TEST(AnalogChannelConfig, FullLineGivesFieldsAndValue)
{
    // Numbered by position, not by the number the line carries; skew in microseconds.
    const AnalogChannelConfig c(2, "9,IA,A,Line 1,kA,0.5,-1.25,1.5,-32767,32767,1000,1,S", 1999);
    EXPECT_EQ(c.channelInfo(), "3,IA,A,Line 1,kA,0.500000,-1.250000,0.000002,-32767.000000,32767.000000,"
                               "1000.000000,1.000000,S");
    EXPECT_DOUBLE_EQ(c.skew, 1.5e-6);
    EXPECT_DOUBLE_EQ(c.GetRealValue(100.0), (100 * 0.5 - 1.25) * 1000); // kA: times 1000
}

// Fields 11-13 are read whenever the line has 13 fields, whatever the
// revision; a primary-side channel has gain and offset rescaled once.
TEST(AnalogChannelConfig, PrimarySideGroupRescalesGainAndOffsetOnce)
{
    const struct {
        std::string tail;
        int revision;
        double a, b, primary, secondary;
        bool isSecondary;
    } cases[] = {
        {",1000,100,P", 1999, 0.2, 0.05, 1000, 100, false}, {",1000,100,p", 2013, 0.2, 0.05, 1000, 100, false},
        {",1000,100,s", 1999, 2.0, 0.5, 1000, 100, true},   {",1000,100,,x", 1999, 0.2, 0.05, 1000, 100, false},
        {",1000,100,P", 1991, 0.2, 0.05, 1000, 100, false}, {",1000,100,P", 1997, 0.2, 0.05, 1000, 100, false},
        {",1000,100", 1999, 2.0, 0.5, 1, 1, true}, // 12 fields: no group
        {"", 1991, 2.0, 0.5, 1, 1, true},
        {",,,P", 1999, 2.0, 0.5, 1, 1, false}, // empty ratio fields give 1
        {",1000, ,P", 1999, 0.002, 0.0005, 1000, 1, false},
    };
    for (const auto& c : cases) {
        const std::string line = "1,IA,A,,A,2,0.5,0,-32767,32767" + c.tail;
        AnalogChannelConfig record(0, line, c.revision);
        for (int pass = 0; pass < 2; ++pass) { // a second load must not rescale again
            EXPECT_DOUBLE_EQ(record.a, c.a) << line << " " << c.revision;
            EXPECT_DOUBLE_EQ(record.b, c.b) << line << " " << c.revision;
            EXPECT_DOUBLE_EQ(record.primary, c.primary) << line;
            EXPECT_DOUBLE_EQ(record.secondary, c.secondary) << line;
            EXPECT_EQ(record.isSecondary, c.isSecondary) << line;
            record.load(4, StringHelper::split(line, ','), c.revision);
        }
    }
    // (100 * 2 + 0.5) * 100 / 1000
    EXPECT_DOUBLE_EQ(AnalogChannelConfig(0, "1,IA,A,,A,2,0.5,0,0,0,1000,100,P", 1999).GetRealValue(100.0), 20.05);
}

// Empty skew and range take neutral values (the range by revision); an
// empty gain or offset, a bad number or a short line is refused.
TEST(AnalogChannelConfig, EmptyFieldsAndBadLines)
{
    const struct {
        std::string line;
        int revision;
        double skew, min, max;
    } empties[] = {
        {"1,U,V,,V,0.1,0,,-5,5", 1999, 0.0, -5, 5},
        {"1,U,V,,V,0.1,0, ,,", 1999, 0.0, -32767, 32767},
        {"1,U,V,,V,0.1,0,5,,\r", 2013, 5e-6, -99999, 99999},
        {"1,U,V,,V,0.1,0,,,", 1991, 0.0, -99999, 99999},
    };
    for (const auto& c : empties) {
        const AnalogChannelConfig record(0, c.line + ",,,S", c.revision);
        EXPECT_DOUBLE_EQ(record.skew, c.skew) << c.line;
        EXPECT_DOUBLE_EQ(record.min, c.min) << c.line;
        EXPECT_DOUBLE_EQ(record.max, c.max) << c.line;
    }
    for (const char* line : {"1,IA,A,,A,,0,0,-1,1", "1,IA,A,,A,1, ,0,-1,1", "1,IA,A,,A,1,0,0,-1,1,x,1,P"})
        EXPECT_THROW(AnalogChannelConfig(0, line, 1999), std::invalid_argument) << line;
    try {
        AnalogChannelConfig(0, "1,IA,A,,A,1,0,x,-1,1", 1999);
        ADD_FAILURE();
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "field 8 'skew': 'x' is not a number");
    }
    const std::vector<std::string> good = StringHelper::split("1,IA,A,,A,2,0,0,-1,1", ',');
    for (long count = 0; count < 10; ++count) // refused, never read past its fields
        EXPECT_THROW(AnalogChannelConfig(0, false, 1991).load(0, {good.begin(), good.begin() + count}, 1991),
                     std::invalid_argument) << count;
}

TEST(AnalogChannelConfig, UnitPrefixGivesMultiplier)
{
    const std::vector<std::pair<std::string, double>> cases = {
        {"kV", 1e3}, {"KV", 1e3}, {"MW", 1e6}, {"mA", 1e-3}, {"V", 1}, {"k", 1}, {" kV", 1}, {"\xD0\xBA\xD0\x92", 1},
    };
    for (const auto& [unit, factor] : cases)
        EXPECT_DOUBLE_EQ(AnalogChannelConfig(0, "1,U,,," + unit + ",0.5,0,0,-1,1", 1999).GetRealValue(100.0),
                         50.0 * factor) << unit;
}

// Each line is loaded over a record that held another one, so a field that
// the new line lacks must be reset, not left from before.
TEST(BinaryChannelConfig, FieldsByRevision)
{
    const std::vector<std::pair<std::string, int>> lines = {
        {"1,TRIP,1,Q1", 1991}, {"1,TRIP, 7\r", 1991}, {"1,TRP,A,Q1,1", 1991}, {"3,BRK,A,Q1,0", 2013},
        {"1,BRK", 1999},       {"1,BRK,A,Q1,", 1999},
    };
    const char* infos[] = {"3,TRIP,,,1", "3,TRIP,,,7", "3,TRP,A,Q1,1", "3,BRK,A,Q1,0", "3,BRK,,,0", "3,BRK,A,Q1,0"};
    for (std::size_t i = 0; i < lines.size(); ++i) {
        BinaryChannelConfig record(0, "9,OLD,B,Q9,5", 1999);
        record.load(2, StringHelper::split(lines[i].first, ','), lines[i].second);
        EXPECT_EQ(record.channelInfo(), infos[i]) << lines[i].first;
    }
    for (const auto& [line, revision] : std::vector<std::pair<std::string, int>>{
             {"1,BRK,A,Q1,X", 1999}, {"1", 1999}, {"1,TRIP,X", 1991}, {"1,TRIP", 1991}})
        EXPECT_THROW(BinaryChannelConfig(0, line, revision), std::invalid_argument) << line;
    EXPECT_THROW(BinaryChannelConfig(0, "1,BRK,A,Q1,99999999999", 1999), std::out_of_range);
}

} // namespace
