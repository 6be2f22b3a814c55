#include <KivComtradeLib/BinaryChannelConfig.h>
#include <KivComtradeLib/StringHelper.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

using KivComtradeLib::BinaryChannelConfig;
using KivComtradeLib::StringHelper;

namespace {

TEST(BinaryChannelConfig, LayoutByRevision)
{
    struct Case {
        std::string line;
        int revision;
        std::string id, phase, component;
        int normalState;
        std::string name, info; // as the first status channel
    };
    const std::vector<Case> cases = {
        {"1,TRIP,1", 1991, "TRIP", "", "", 1, "TRIP,", "1,TRIP,,,1"},
        {"1,TRIP,1,Q1,0", 1991, "TRIP", "", "", 1, "TRIP,", "1,TRIP,,,1"},
        {"3,BRK,A,Q1,0", 1999, "BRK", "A", "Q1", 0, "BRK,Q1", "1,BRK,A,Q1,0"},
        {"3,BRK,A,Q1,0", 2013, "BRK", "A", "Q1", 0, "BRK,Q1", "1,BRK,A,Q1,0"},
        {"1,BRK", 1999, "BRK", "", "", 0, "BRK,", "1,BRK,,,0"},
        {"1,BRK,A", 1999, "BRK", "A", "", 0, "BRK,", "1,BRK,A,,0"},
        {"1,BRK,A,Q1", 1999, "BRK", "A", "Q1", 0, "BRK,Q1", "1,BRK,A,Q1,0"},
        {"1,BRK,A,Q1,", 1999, "BRK", "A", "Q1", 0, "BRK,Q1", "1,BRK,A,Q1,0"},
        {"1,BRK,A,Q1,1\r", 1999, "BRK", "A", "Q1", 1, "BRK,Q1", "1,BRK,A,Q1,1"},
        {"1, BRK ,, Q1 , -3 ,x", 1999, " BRK ", "", " Q1 ", -3, " BRK , Q1 ", "1, BRK ,, Q1 ,-3"},
        {"1,TRIP, 7\r", 1991, "TRIP", "", "", 7, "TRIP,", "1,TRIP,,,7"},
    };
    for (const Case& c : cases) {
        const BinaryChannelConfig record(0, c.line, c.revision);
        EXPECT_EQ(record.index, 0);
        EXPECT_EQ(record.channelId, c.id) << c.line;
        EXPECT_EQ(record.phase, c.phase) << c.line;
        EXPECT_EQ(record.circuitComponent, c.component) << c.line;
        EXPECT_EQ(record.normalState, c.normalState) << c.line;
        EXPECT_EQ(record.name(), c.name) << c.line;
        EXPECT_EQ(record.channelInfo(), c.info) << c.line;
    }
    const BinaryChannelConfig fifth(4, "77,X,,,1", 1999);
    EXPECT_EQ(fifth.channelInfo(), "5,X,,,1");
    const BinaryChannelConfig empty;
    EXPECT_EQ(empty.channelInfo(), "1,,,,0");
}

TEST(BinaryChannelConfig, ReloadReassignsEveryField)
{
    BinaryChannelConfig record(0, "1,BRK,A,Q1,1", 1999);
    record.load(2, StringHelper::split("1,TRIP", ','), 1999);
    EXPECT_EQ(record.index, 2);
    EXPECT_EQ(record.channelId, "TRIP");
    EXPECT_EQ(record.phase, "");
    EXPECT_EQ(record.circuitComponent, "");
    EXPECT_EQ(record.normalState, 0);

    record.load(1, StringHelper::split("1,BRK,A,Q1,1", ','), 1999);
    record.load(1, StringHelper::split("1,OLD,1", ','), 1991);
    EXPECT_EQ(record.phase, "");
    EXPECT_EQ(record.circuitComponent, "");
    EXPECT_EQ(record.normalState, 1);
}

TEST(BinaryChannelConfig, BadLinesThrow)
{
    struct Case {
        std::string line;
        int revision;
        bool outOfRange;
    };
    const std::vector<Case> cases = {
        {"1,BRK,A,Q1,X", 1999, false}, {"1,BRK,A,Q1,,", 1999, false},
        {"1,BRK,A,Q1,,0", 1999, false}, {"1,BRK,A,Q1,99999999999", 1999, true},
        {"1,TRIP,X", 1991, false},      {"1,TRIP,", 1991, false},
        {"1,TRIP", 1991, false},        {"1", 1991, false},
        {"", 1991, false},              {"1", 1999, false},
        {"", 1999, false},              {",", 2013, false},
        {"1,TRIP,-2147483649", 1991, true},
    };
    for (const Case& c : cases) {
        try {
            BinaryChannelConfig record(0, c.line, c.revision);
            ADD_FAILURE() << "no exception for \"" << c.line << "\" rev " << c.revision;
        } catch (const std::out_of_range&) {
            EXPECT_TRUE(c.outOfRange) << c.line;
        } catch (const std::invalid_argument&) {
            EXPECT_FALSE(c.outOfRange) << c.line;
        }
    }
    // The texts are assigned before the state field fails.
    BinaryChannelConfig record;
    try {
        record.load(0, StringHelper::split("1,BRK,A,Q1,X", ','), 1999);
        ADD_FAILURE() << "no exception";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "stoi");
    }
    EXPECT_EQ(record.phase, "A");
    EXPECT_EQ(record.circuitComponent, "Q1");
}

} // namespace
