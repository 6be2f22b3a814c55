#include <KivComtradeLib/AnalogChannelConfig.h>
#include <KivComtradeLib/BinaryChannelConfig.h>
#include <KivComtradeLib/StringHelper.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

using KivComtradeLib::AnalogChannelConfig;
using KivComtradeLib::BinaryChannelConfig;

namespace {

// Fields 11-13 are read whenever the line has 13 fields, whatever the revision; a primary-side
// channel has gain and offset rescaled once. Empty skew, range and ratio fields take neutral
// values (the range by revision). Cases: line, revision, channelInfo() as the third channel.
TEST(AnalogChannelConfig, RatioGroupAndEmptyFields)
{
    for (const auto& [line, revision, info] : std::vector<std::tuple<std::string, int, std::string>>{
        {"9,IA,A,L1,kA,2,0.5,1.5,-9,9,1000,100,P", 1999, "3,IA,A,L1,kA,0.200000,0.050000,0.000002,-9.000000,9.000000,1000.000000,100.000000,P"},
        {"1,IA,,,A,2,0.5,0,-9,9,1000,100,p", 1991, "3,IA,,,A,0.200000,0.050000,0.000000,-9.000000,9.000000,1000.000000,100.000000,P"},
        {"1,IA,,,A,2,0.5,0,-9,9,1000,100,s", 1997, "3,IA,,,A,2.000000,0.500000,0.000000,-9.000000,9.000000,1000.000000,100.000000,S"},
        {"1,IA,,,A,2,0.5,0,-9,9,1000,100,,x", 2013, "3,IA,,,A,0.200000,0.050000,0.000000,-9.000000,9.000000,1000.000000,100.000000,P"},
        {"1,IA,,,A,2,0.5,0,-9,9,1000,100", 1999, "3,IA,,,A,2.000000,0.500000,0.000000,-9.000000,9.000000,1.000000,1.000000,S"},
        {"1,U,,,V,2,0.5, ,,,1000, ,P", 1999, "3,U,,,V,0.002000,0.000500,0.000000,-32767.000000,32767.000000,1000.000000,1.000000,P"},
        {"1,U,,,V,2,0.5,5,,\r,,,P", 2013, "3,U,,,V,2.000000,0.500000,0.000005,-99999.000000,99999.000000,1.000000,1.000000,P"},
        {"1,U,,,V,2,0.5,,, ", 1991, "3,U,,,V,2.000000,0.500000,0.000000,-99999.000000,99999.000000,1.000000,1.000000,S"}}) {
        AnalogChannelConfig record(0, "1,OLD,,,V,7,7,7,7,7,7,7,P", 1999);
        for (int pass = 0; pass < 2; ++pass) { // loaded over another line, then again: rescaled once
            record.load(2, KivComtradeLib::StringHelper::split(line, ','), revision);
            EXPECT_EQ(record.channelInfo(), info) << line << " " << revision;
        }
    }
    // (100 * 2 + 0.5) * 100 / 1000, then kV, MW, mA prefixes; "кВ" has none.
    const std::vector<std::pair<std::string, double>> units = {{"A", 20.05}, {"kV", 20050}, {"MW", 20.05e6},
                                                               {"mA", 0.02005}, {"k", 20.05}, {"\xD0\xBA\xD0\x92", 20.05}};
    for (const auto& [unit, value] : units)
        EXPECT_DOUBLE_EQ(AnalogChannelConfig(0, "1,IA,A,," + unit + ",2,0.5,0,0,0,1000,100,P", 1999).GetRealValue(100.0),
                         value) << unit;
}

// An empty gain or offset, a bad number or a short line is refused, never read past.
TEST(AnalogChannelConfig, BadLinesThrow)
{
    for (const char* line : {"1,IA,A,,A,,0,0,-1,1", "1,IA,A,,A,1, ,0,-1,1", "1,IA,A,,A,1,0,0,-1,1,x,1,P", "1,IA,A,,A,1,0,0,-1"})
        EXPECT_THROW(AnalogChannelConfig(0, line, 1991), std::invalid_argument) << line;
}

// Each line is loaded over a record that held another one, so a field that
// the new line lacks must be reset, not left from before.
TEST(BinaryChannelConfig, FieldsByRevision)
{
    for (const auto& [line, revision, info] : std::vector<std::tuple<std::string, int, std::string>>{
             {"1,TRIP,1,Q1", 1991, "3,TRIP,,,1"}, {"1,TRIP, 7\r", 1991, "3,TRIP,,,7"}, {"1,TRP,A,Q1,1", 1991, "3,TRP,A,Q1,1"},
             {"1,BRK", 1999, "3,BRK,,,0"}, {"1,BRK,A,Q1,", 2013, "3,BRK,A,Q1,0"}}) {
        BinaryChannelConfig record(0, "9,OLD,B,Q9,5", 1999);
        record.load(2, KivComtradeLib::StringHelper::split(line, ','), revision);
        EXPECT_EQ(record.channelInfo(), info) << line;
    }
    for (const char* line : {"1,BRK,A,Q1,X", "1", "1,TRIP,X"})
        EXPECT_THROW(BinaryChannelConfig(0, line, 1991), std::invalid_argument) << line;
}

} // namespace
