#include <KivComtradeLib/AnalogChannelConfig.h>
#include <KivComtradeLib/BaseChannelConfig.h>
#include <KivComtradeLib/StringHelper.h>

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

using KivComtradeLib::AnalogChannelConfig;
using KivComtradeLib::BaseChannelConfig;
using KivComtradeLib::StringHelper;

namespace {

TEST(BaseChannelConfig, DefaultsAndPositionNumbering)
{
    const BaseChannelConfig empty;
    EXPECT_EQ(empty.name(), ",");
    EXPECT_EQ(empty.channelInfo(), "1,,,");

    BaseChannelConfig record;
    record.load(9, StringHelper::split("1, IA ,A,Q1", ','), 1999);
    EXPECT_EQ(record.index, 9);
    EXPECT_EQ(record.channelId, " IA ");
    // The base reads only the identifier; phase and component are the kinds' job.
    EXPECT_EQ(record.phase, "");
    EXPECT_EQ(record.channelInfo(), "10, IA ,,");

    record.load(0, StringHelper::split("7,,A", ','), 1999);
    EXPECT_EQ(record.channelId, "");
    // "7," is one field: a trailing comma adds none.
    EXPECT_THROW(record.load(0, StringHelper::split("7,", ','), 1999), std::invalid_argument);
    EXPECT_THROW(record.load(0, {}, 1999), std::invalid_argument);
}

TEST(AnalogChannelConfig, FieldsOfRevision1999Line)
{
    // A literal line must reach the line constructor, not convert to bool.
    const AnalogChannelConfig c(2, "9,IA,A,Line 1,kA,0.5,-1.25,1.5,-32767,32767,1000,1,S", 1999);
    EXPECT_EQ(c.index, 2);
    EXPECT_EQ(c.channelId, "IA");
    EXPECT_EQ(c.phase, "A");
    EXPECT_EQ(c.circuitComponent, "Line 1");
    EXPECT_EQ(c.unit, "kA");
    EXPECT_DOUBLE_EQ(c.multiplier, 1000.0);
    EXPECT_DOUBLE_EQ(c.a, 0.5);
    EXPECT_DOUBLE_EQ(c.b, -1.25);
    EXPECT_DOUBLE_EQ(c.skew, 1.5e-6);
    EXPECT_DOUBLE_EQ(c.min, -32767.0);
    EXPECT_DOUBLE_EQ(c.max, 32767.0);
    EXPECT_DOUBLE_EQ(c.primary, 1000.0);
    EXPECT_DOUBLE_EQ(c.secondary, 1.0);
    EXPECT_TRUE(c.isSecondary);
    EXPECT_EQ(c.name(), "IA,A,Line 1,kA");
    EXPECT_EQ(c.channelInfo(),
              "3,IA,A,Line 1,kA,0.500000,-1.250000,0.000002,-32767.000000,32767.000000,"
              "1000.000000,1.000000,S");
    // (100 * 0.5 - 1.25) * 1000
    EXPECT_DOUBLE_EQ(c.GetRealValue(100.0), 48750.0);
    // Through the base, as the views call it.
    const BaseChannelConfig& base = c;
    EXPECT_EQ(base.name(), "IA,A,Line 1,kA");
}

TEST(AnalogChannelConfig, UnitPrefixGivesMultiplierAndKeepsText)
{
    struct Case {
        std::string unit;
        double multiplier;
    };
    const std::vector<Case> cases = {
        {"kV", 1000.0}, {"KV", 1000.0}, {"Kv", 1000.0}, {"kA", 1000.0}, {"MW", 1e6},
        {"MVA", 1e6},   {"mA", 0.001},  {"mV", 0.001},  {"V", 1.0},     {"k", 1.0},
        {"", 1.0},      {" kV", 1.0},   {"\xD0\xBA\xD0\x92", 1.0},      {"A\r", 1.0},
    };
    for (const Case& c : cases) {
        const AnalogChannelConfig record(0, "1,U,,," + c.unit + ",0.5,0,0,-1,1", 1999);
        EXPECT_EQ(record.unit, c.unit);
        EXPECT_DOUBLE_EQ(record.multiplier, c.multiplier) << c.unit;
        EXPECT_DOUBLE_EQ(record.GetRealValue(100.0), 50.0 * c.multiplier) << c.unit;
        EXPECT_DOUBLE_EQ(record.multiplicator(c.unit), c.multiplier) << c.unit;
    }
}

TEST(AnalogChannelConfig, PrimarySideChannelsRescaleGainOnce)
{
    struct Case {
        std::string tail; // fields 11 onwards ("" for none)
        int revision;
        double a, primary, secondary;
        bool isSecondary;
    };
    const std::vector<Case> cases = {
        {",1000,100,P", 1999, 0.2, 1000.0, 100.0, false},
        {",1000,100,p", 2013, 0.2, 1000.0, 100.0, false},
        {",1000,100,s", 1999, 2.0, 1000.0, 100.0, true},
        {",1000,100,S\r", 1999, 2.0, 1000.0, 100.0, true},
        {",1000,100, S", 1999, 0.2, 1000.0, 100.0, false}, // fields are not trimmed
        {",1000,100,,x", 1999, 0.2, 1000.0, 100.0, false}, // empty flag field
        {",1000,100,Secondary,extra", 1999, 2.0, 1000.0, 100.0, true},
        {",1000,100", 1999, 2.0, 1.0, 1.0, true},          // 12 fields: no group
        {",1000", 1999, 2.0, 1.0, 1.0, true},
        {"", 1999, 2.0, 1.0, 1.0, true},
        {",1000,100,P", 1991, 2.0, 1.0, 1.0, true},        // 1991 never reads them
    };
    for (const Case& c : cases) {
        const std::string line = "1,IA,A,,A,2,0.5,0,-32767,32767" + c.tail;
        AnalogChannelConfig record(0, line, c.revision);
        EXPECT_DOUBLE_EQ(record.a, c.a) << line;
        EXPECT_DOUBLE_EQ(record.b, 0.5) << line;
        EXPECT_DOUBLE_EQ(record.primary, c.primary) << line;
        EXPECT_DOUBLE_EQ(record.secondary, c.secondary) << line;
        EXPECT_EQ(record.isSecondary, c.isSecondary) << line;

        // Loading again re-reads every field; the gain is not rescaled twice.
        record.load(4, StringHelper::split(line, ','), c.revision);
        EXPECT_DOUBLE_EQ(record.a, c.a) << line;
        EXPECT_EQ(record.index, 4);
    }
    const AnalogChannelConfig primary(0, "1,IA,A,,A,2,0,0,-32767,32767,1000,100,P", 1999);
    const std::string info = primary.channelInfo();
    const std::string tail = ",1000.000000,100.000000,P";
    ASSERT_GE(info.size(), tail.size());
    EXPECT_EQ(info.substr(info.size() - tail.size()), tail);
}

TEST(AnalogChannelConfig, NumbersFollowStodRules)
{
    const AnalogChannelConfig spaced(0, "1,IA,A,,A,  0.25 ,\t3, 2.5us,-5e2,1e3\r", 1999);
    EXPECT_DOUBLE_EQ(spaced.a, 0.25);
    EXPECT_DOUBLE_EQ(spaced.b, 3.0);
    EXPECT_DOUBLE_EQ(spaced.skew, 2.5e-6);
    EXPECT_DOUBLE_EQ(spaced.min, -500.0);
    EXPECT_DOUBLE_EQ(spaced.max, 1000.0);

    // Each number field in turn made unreadable, and every truncation of a line.
    const std::vector<std::string> good = StringHelper::split("1,IA,A,,A,2,0,0,-1,1,10,1,P", ',');
    for (std::size_t field = 5; field < 12; ++field) {
        for (const char* bad : {"", "x", "abc1", "1e999"}) {
            std::vector<std::string> fields = good;
            fields[field] = bad;
            const std::string line = StringHelper::join(',', fields);
            try {
                AnalogChannelConfig record(0, line, 1999);
                ADD_FAILURE() << "no exception for " << line;
            } catch (const std::out_of_range& e) {
                EXPECT_EQ(std::string(bad), "1e999") << line;
                EXPECT_STREQ(e.what(), "stod");
            } catch (const std::invalid_argument& e) {
                EXPECT_NE(std::string(bad), "1e999") << line;
                EXPECT_STREQ(e.what(), "stod");
            }
        }
    }
    for (std::size_t count = 0; count < 10; ++count) {
        const std::vector<std::string> fields(good.begin(), good.begin() + static_cast<long>(count));
        const std::string line = StringHelper::join(',', fields);
        EXPECT_THROW(AnalogChannelConfig(0, line, 1999), std::invalid_argument) << count << " fields";
        EXPECT_THROW(AnalogChannelConfig(0, line, 1991), std::invalid_argument) << count << " fields";
        AnalogChannelConfig record(0, true, 1999);
        EXPECT_THROW(record.load(0, fields, 1999), std::invalid_argument) << count << " fields";
    }
    // A 1991 line with a bad primary field is fine: the group is never read.
    EXPECT_NO_THROW(AnalogChannelConfig(0, "1,IA,A,,A,2,0,0,-1,1,x,y,P", 1991));
}

TEST(AnalogChannelConfig, RangeByRevision)
{
    struct Case {
        bool extended;
        int revision;
        double limit;
    };
    const std::vector<Case> cases = {
        {false, 1999, 32767.0}, {false, 2013, 99999.0}, {true, 1999, 99999.0}, {false, 1991, 99999.0},
    };
    for (const Case& c : cases) {
        AnalogChannelConfig record(3, c.extended, c.revision);
        EXPECT_EQ(record.index, 3);
        EXPECT_DOUBLE_EQ(record.min, -c.limit);
        EXPECT_DOUBLE_EQ(record.max, c.limit);
        EXPECT_EQ(record.unit, "V");
        EXPECT_DOUBLE_EQ(record.a, 1.0);
        EXPECT_TRUE(record.isSecondary);
        EXPECT_EQ(record.channelId, "");

        record.setMinMax(!c.extended, c.revision);
        const double flipped = (c.extended && c.revision == 1999) ? 32767.0 : 99999.0;
        EXPECT_DOUBLE_EQ(record.max, flipped);
    }
}

TEST(AnalogChannelConfig, RecordsAreValues)
{
    std::vector<AnalogChannelConfig> records;
    for (int i = 0; i < 40; ++i) {
        records.emplace_back(i, "1,ch" + std::to_string(i) + ",A,,kV,2,0,0,-1,1,100,1,P", 2013);
    }
    const AnalogChannelConfig copy = records[17];
    records.clear();
    EXPECT_EQ(copy.channelId, "ch17");
    EXPECT_DOUBLE_EQ(copy.GetRealValue(1.0), 2.0 / 100.0 * 1000.0);

    std::unique_ptr<BaseChannelConfig> owned =
        std::make_unique<AnalogChannelConfig>(0, "1,x,,,V,1,0,0,0,0", 1999);
    EXPECT_EQ(owned->name(), "x,,,V");
}

} // namespace
