#include <KivComtradeLib/Cfg.h>
#include <KivComtradeLib/Converters.h>
#include <KivComtradeLib/SamplingRate.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include <stdlib.h>

using KivComtradeLib::Cfg;
using KivComtradeLib::SamplingRate;
namespace Enums = KivComtradeLib::Enums;

namespace {

using Lines = std::vector<std::string>;
constexpr unsigned long long kAllOnes = std::numeric_limits<unsigned long long>::max();

class ScratchDir {
public:
    ScratchDir()
    {
        char pattern[] = "/tmp/kivcomtrade-timebase-XXXXXX";
        if (const char* made = ::mkdtemp(pattern)) {
            path_ = made;
        }
    }
    ~ScratchDir()
    {
        std::error_code ignored;
        if (!path_.empty()) {
            std::filesystem::remove_all(path_, ignored);
        }
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::string joined(const Lines& lines, const std::string& eol, bool finalEol)
{
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        text += lines[i];
        if (i + 1 < lines.size() || finalEol) {
            text += eol;
        }
    }
    return text;
}

// A configuration with the given channels, rate lines (nrates first), file
// type keyword and whatever follows it.
Lines configuration(int analogs, int statuses, const Lines& rates, const std::string& type,
                    const Lines& after = {})
{
    Lines lines = {"SUB,REL,1999", std::to_string(analogs + statuses) + "," + std::to_string(analogs) + "A," +
                                       std::to_string(statuses) + "D"};
    for (int i = 1; i <= analogs; ++i) {
        lines.push_back(std::to_string(i) + ",A" + std::to_string(i) + ",,,V,1,0,0,-1,1");
    }
    for (int i = 1; i <= statuses; ++i) {
        lines.push_back(std::to_string(i) + ",D" + std::to_string(i) + ",,,0");
    }
    lines.push_back("50");
    lines.insert(lines.end(), rates.begin(), rates.end());
    lines.push_back("01/01/2020,00:00:00.000000");
    lines.push_back("01/01/2020,00:00:00.000000");
    lines.push_back(type);
    lines.insert(lines.end(), after.begin(), after.end());
    return lines;
}

class CfgTimeBase : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(dir_.path().empty()); }

    // Loads with LF and with CR LF ends; both must give `code` and the same
    // time base. Returns the LF result.
    Cfg load(const Lines& lines, int code = 4, bool finalEol = true)
    {
        Cfg lf;
        Cfg crlf;
        EXPECT_EQ(loadText(lf, joined(lines, "\n", finalEol)), code);
        EXPECT_EQ(loadText(crlf, joined(lines, "\r\n", finalEol)), code) << "CR LF";
        EXPECT_EQ(lf.samplesCount, crlf.samplesCount);
        EXPECT_EQ(lf.allRatesNonZero, crlf.allRatesNonZero);
        EXPECT_EQ(lf.timeMultiplier, crlf.timeMultiplier);
        EXPECT_EQ(lf.duration, crlf.duration);
        EXPECT_EQ(lf.dataFileType, crlf.dataFileType);
        EXPECT_EQ(lf.recordSize, crlf.recordSize);
        EXPECT_EQ(lf.line, crlf.line);
        return lf;
    }

    int loadText(Cfg& cfg, const std::string& text)
    {
        const std::string path = dir_.file("rec.cfg");
        std::ofstream out(path, std::ios_base::binary | std::ios_base::trunc);
        out << text;
        out.close();
        return cfg.load(path);
    }

    ScratchDir dir_;
};

TEST(SamplingRateLine, FieldsAndFailures)
{
    struct Good {
        std::string line;
        double rate;
        unsigned long long endSample;
    };
    const std::vector<Good> good = {
        {"1000,5000", 1000.0, 5000},       {" 1000 , 5000 ", 1000.0, 5000},
        {"0,  1360", 0.0, 1360},            {"600.000000,2399", 600.0, 2399},
        {"1000,5,extra", 1000.0, 5},       {"1000,-1", 1000.0, kAllOnes},
        {"1000,2147483647", 1000.0, 2147483647ULL},
        {"1e3,7\r", 1000.0, 7},
    };
    for (const Good& g : good) {
        const SamplingRate r(g.line);
        EXPECT_DOUBLE_EQ(r.rate, g.rate) << g.line;
        EXPECT_EQ(r.endSample, g.endSample) << g.line;
    }
    struct Bad {
        std::string line;
        bool outOfRange;
        const char* what; // nullptr: any message
    };
    const std::vector<Bad> bad = {
        {"1000,2147483648", true, "stol"}, {"1000,-2147483649", true, "stol"},
        {"1000,x", false, "stol"},         {"x,5", false, "stod"},
        {"1e999,5", true, "stod"},         {"1000", false, nullptr},
        {"1000,", false, nullptr},         {"", false, nullptr},
    };
    for (const Bad& b : bad) {
        try {
            SamplingRate r(b.line);
            ADD_FAILURE() << "no exception for \"" << b.line << '"';
        } catch (const std::out_of_range& e) {
            EXPECT_TRUE(b.outOfRange) << b.line;
            if (b.what) {
                EXPECT_STREQ(e.what(), b.what);
            }
        } catch (const std::invalid_argument& e) {
            EXPECT_FALSE(b.outOfRange) << b.line;
            if (b.what) {
                EXPECT_STREQ(e.what(), b.what);
            }
        }
    }
}

TEST(SamplingRateLine, DurationIsCappedAtSegment)
{
    const SamplingRate r("1000,100");
    EXPECT_DOUBLE_EQ(r.getDuration(50), 0.05);
    EXPECT_DOUBLE_EQ(r.getDuration(150), 0.1);
    EXPECT_DOUBLE_EQ(r.getDuration(kAllOnes), 0.1);
    for (const char* line : {"0,100", "-5,100", "nan,100"}) {
        EXPECT_EQ(SamplingRate(line).getDuration(10), -1.0) << line;
    }
}

TEST_F(CfgTimeBase, RateSegments)
{
    struct Query {
        unsigned long long index;
        double seconds;
    };
    struct Case {
        std::string name;
        Lines rates;
        std::string multiplier; // empty: no time multiplier line
        unsigned long long samples;
        bool allNonZero;
        double duration;
        std::vector<Query> queries;
    };
    const Lines three = {"3", "1000,100", "500,300", "250,400"};
    const std::vector<Case> cases = {
        {"one rate", {"1", "1000,5000"}, "1", 5000, true, 4.999, {{0, 0.0}, {1234, 1.234}, {4999, 4.999}}},
        {"nrates 0 reads one line", {"0", "1000,5000"}, "", 5000, true, 4.999, {{1234, 1.234}}},
        {"three segments", three, "1.0", 400, true, 0.896,
         {{50, 0.05}, {99, 0.099}, {100, 0.1}, {150, 0.2}, {300, 0.5}, {350, 0.7}, {399, 0.896}}},
        {"multiplier doubles", three, "2.0", 400, true, 1.792, {{50, 0.1}, {150, 0.4}, {350, 1.4}}},
        {"beyond the last segment", {"1", "1000,100"}, "1", 100, true, 0.099, {{250, 0.2}, {kAllOnes, 0.2}}},
        {"zero rate", {"1", "0,5000"}, "1", 5000, false, 0.0, {{10, -1.0}}},
        {"zero rate after a good one", {"2", "1000,100", "0,200"}, "1", 200, false, 0.0,
         {{50, 0.05}, {99, 0.099}, {150, -1.0}, {250, -1.0}}},
        {"below 1e-6 is zero", {"1", "0.0000005,10"}, "1", 10, false, 0.0, {}},
        {"1e-6 is not zero", {"1", "0.000001,10"}, "1", 10, true, 9e6, {{1, 1e6}}},
        {"negative rate is zero", {"1", "-1000,10"}, "1", 10, false, 0.0, {{1, -1.0}}},
        {"no samples", {"1", "1000,0"}, "1", 0, true, 0.0, {{0, 0.0}}},
        {"last sample -1", {"1", "1000,-1"}, "1", kAllOnes, true, static_cast<double>(kAllOnes - 1) / 1000.0,
         {{1000, 1.0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Lines after = c.multiplier.empty() ? Lines{} : Lines{c.multiplier};
        const Cfg cfg = load(configuration(1, 1, c.rates, "ASCII", after));
        EXPECT_EQ(cfg.samplesCount, c.samples);
        EXPECT_EQ(cfg.allRatesNonZero, c.allNonZero);
        EXPECT_DOUBLE_EQ(cfg.duration, c.duration);
        for (const Query& q : c.queries) {
            EXPECT_DOUBLE_EQ(cfg.timeFromSampleIndex(q.index), q.seconds) << "position " << q.index;
        }
    }
    const Cfg fresh;
    EXPECT_EQ(fresh.timeFromSampleIndex(0), -1.0);
}

TEST_F(CfgTimeBase, TimeMultiplierLineAtEndOfFile)
{
    struct Case {
        std::string name;
        Lines after;
        bool finalEol;
        double multiplier;
        std::string lastLine;
    };
    const std::vector<Case> cases = {
        {"ends after the type line", {}, false, 1.0, "ASCII"},
        // The failed read of the missing line leaves the buffer empty.
        {"type line with its line end, nothing after", {}, true, 1.0, ""},
        {"multiplier without final line end", {"2.5"}, false, 2.5, "2.5"},
        {"multiplier with final line end", {"2.5"}, true, 2.5, "2.5"},
        {"blanks around the number", {" 0.5 "}, true, 0.5, " 0.5 "},
        {"lines after the multiplier are not read", {"0.001", "-5h30,-5h30", "B,3", "x"}, true, 0.001, "0.001"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Cfg cfg = load(configuration(1, 0, {"1", "1000,11"}, "ASCII", c.after), 4, c.finalEol);
        EXPECT_DOUBLE_EQ(cfg.timeMultiplier, c.multiplier);
        EXPECT_DOUBLE_EQ(cfg.duration, 0.01 * c.multiplier);
        EXPECT_EQ(cfg.line, c.lastLine);
    }
}

TEST(DataFileType, KeywordInAnyCaseBetweenBlanks)
{
    struct Case {
        std::string keyword;
        Enums::DataFileType type;
    };
    const std::vector<Case> cases = {
        {"ASCII", Enums::Ascii},        {"ascii", Enums::Ascii},       {"BINARY", Enums::Binary},
        {"Binary", Enums::Binary},      {"binary", Enums::Binary},     {"BINARY32", Enums::Binary32},
        {"Binary32", Enums::Binary32},  {"FLOAT32", Enums::Float32},   {"fLoAt32", Enums::Float32},
        {"BINARY32 ", Enums::Binary32}, {" binary\t", Enums::Binary},  {"\t Float32  ", Enums::Float32},
        {"bin", Enums::Ascii},          {"int16", Enums::Ascii},       {"binary 32", Enums::Ascii},
        {"", Enums::Ascii},             {"   ", Enums::Ascii},         {"binary\r", Enums::Ascii},
        {"binary,", Enums::Ascii},      {"float", Enums::Ascii},
    };
    for (const Case& c : cases) {
        std::string keyword = c.keyword;
        EXPECT_EQ(KivComtradeLib::Converters::toDataFileType(keyword), c.type) << '"' << c.keyword << '"';
        EXPECT_EQ(keyword, c.keyword);
    }
}

TEST_F(CfgTimeBase, RecordLayoutFromTypeAndCounts)
{
    struct Case {
        int analogs, statuses;
        std::string keyword;
        Enums::DataFileType type;
        std::uint32_t valueSize, valuesSize, words, statusBytes, record;
    };
    const std::vector<Case> cases = {
        {3, 18, "BINARY", Enums::Binary, 2, 6, 2, 4, 18},
        {3, 16, "FLOAT32", Enums::Float32, 4, 12, 1, 2, 22},
        {2, 0, "BINARY32", Enums::Binary32, 4, 8, 0, 0, 16},
        {0, 1, "binary", Enums::Binary, 2, 0, 1, 2, 10},
        {1, 17, "BINARY32 ", Enums::Binary32, 4, 4, 2, 4, 16},
        {1, 32, "Float32", Enums::Float32, 4, 4, 2, 4, 16},
        {1, 33, "Binary", Enums::Binary, 2, 2, 3, 6, 16},
        // Text files keep the construction values.
        {3, 16, "ASCII", Enums::Ascii, 2, 0, 0, 0, 0},
        {3, 16, "int16", Enums::Ascii, 2, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keyword + " " + std::to_string(c.analogs) + "A " + std::to_string(c.statuses) + "D");
        const Cfg cfg = load(configuration(c.analogs, c.statuses, {"1", "1000,10"}, c.keyword, {"1"}));
        EXPECT_EQ(cfg.dataFileType, c.type);
        EXPECT_EQ(cfg.analogValueSize, c.valueSize);
        EXPECT_EQ(cfg.analogValuesSize, c.valuesSize);
        EXPECT_EQ(cfg.binaryWordsCount, c.words);
        EXPECT_EQ(cfg.binaryValuesSize, c.statusBytes);
        EXPECT_EQ(cfg.recordSize, c.record);
    }
}

} // namespace
