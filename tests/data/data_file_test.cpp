// The data-file reader: binary records byte by byte, the text scanner's
// real-world lines, missing-value markers, truncations and record counts.

#include "writer/ComtradeWriter.h"

#include <KivComtradeLib/Cfg.h>
#include <KivComtradeLib/Dat.h>
#include <KivComtradeLib/Sample.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace KivTest;
using KivComtradeLib::Cfg;
using KivComtradeLib::Dat;
using KivComtradeLib::Sample;
namespace E = KivComtradeLib::Enums;

namespace {

// Two analog channels (gains 1.5 and 1.75, offsets -0.75 and 0.25) and
// `statuses` status channels; a zero rate takes times from the time stamps.
RecordingLayout layout(E::DataFileType type, std::size_t statuses, bool fromTimeStamps = true,
                       double timeMultiplier = 1.0)
{
    RecordingLayout design;
    design.type = type;
    design.analogs = {AnalogLayout{"A1", "", "", "A", 1.5, -0.75}, AnalogLayout{"A2", "", "", "kV", 1.75, 0.25}};
    for (std::size_t d = 0; d < statuses; ++d)
        design.statuses.push_back(StatusLayout{"D" + std::to_string(d + 1), "", "", 0});
    design.rates = {{fromTimeStamps ? 0.0 : 1000.0, 10}};
    design.timeMultiplier = timeMultiplier;
    return design;
}

std::unique_ptr<Cfg> loadedCfg(const TempDir& dir, const RecordingLayout& design, unsigned long long samples)
{
    auto cfg = std::make_unique<Cfg>();
    EXPECT_TRUE(writeFile(dir.file("rec.cfg"), cfgText(design, samples)));
    EXPECT_EQ(cfg->load(dir.file("rec.cfg")), 4);
    return cfg;
}

// Raw 1 of channel 1 and raw 2 of channel 2, in engineering units (V for kV).
double eng0(double raw) { return std::isnan(raw) ? raw : raw * 1.5 - 0.75; }
double eng1(double raw) { return std::isnan(raw) ? raw : (raw * 1.75 + 0.25) * 1000.0; }

void expectSame(double actual, double expected)
{
    EXPECT_TRUE(std::isnan(expected) ? std::isnan(actual) : actual == expected) << actual << " for " << expected;
}

} // namespace

// uint32 sample number, uint32 time stamp, the analog values, then the
// status words, all little-endian.
TEST(BinaryRecord, DecodesEveryEncodingByteForByte)
{
    const double nan = std::nan("");
    const auto b = [](const char* bytes, std::size_t n) { return std::string(bytes, n); };
    const std::string s10k = b("\1\0\0\0\x10\x27\0\0", 8), zero(8, '\0'); // time stamp 10000 us, or all zero
    const struct { const char* name; RecordingLayout design; std::string bytes; double time, raw0, raw1;
                   std::vector<bool> states; } cases[] = {
        {"int16 -1, 0x8000 missing", layout(E::Binary, 0), s10k + b("\xFF\xFF\0\x80", 4), 0.01, -1, nan, {}},
        {"int16 0x8001", layout(E::Binary, 0), s10k + b("\x01\x80\0\0", 4), 0.01, -32767, 0, {}},
        {"unsigned stamp", layout(E::Binary, 0), b("\1\0\0\0\xFF\xFF\xFF\xFF\0\0\xFF\x7F", 12), 4294.967295, 0, 32767, {}},
        {"time multiplier", layout(E::Binary, 0, true, 2.5), s10k + zero.substr(4), 0.025, 0, 0, {}},
        {"rates, not stamps", layout(E::Binary, 0, false), s10k + zero.substr(4), 0.005, 0, 0, {}},
        {"int32 -2, min missing", layout(E::Binary32, 0), zero + b("\xFE\xFF\xFF\xFF\0\0\0\x80", 8), 0, -2, nan, {}},
        {"int32 min + 1, 0x8000", layout(E::Binary32, 0), zero + b("\x01\0\0\x80\0\x80\0\0", 8), 0, -2147483647.0, 32768, {}},
        {"float 1, NaN", layout(E::Float32, 0), zero + b("\0\0\x80\x3F\0\0\xC0\xFF", 8), 0, 1, nan, {}},
        {"17 states, padding set", layout(E::Binary, 17), zero + b("\0\0\0\0\x01\x80\xFF\xFF", 8), 0, 0, 0,
         {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1}},
    };
    TempDir dir("binrec");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto cfg = loadedCfg(dir, c.design, 10);
        ASSERT_EQ(cfg->recordSize, c.bytes.size());
        std::vector<char> record(c.bytes.begin(), c.bytes.end()); // exact size: ASan sees over-reads
        Sample s(*cfg);
        ASSERT_TRUE(s.load(record.data(), 5));
        EXPECT_DOUBLE_EQ(s.time, c.time);
        expectSame(s.analogValues.at(0), eng0(c.raw0));
        expectSame(s.analogValues.at(1), eng1(c.raw1));
        EXPECT_EQ(s.binaryValues, c.states);
    }
}

// One text line against two analog and two status channels (revision 1999:
// 99999 marks a missing value): whether it decodes, and into what. Both
// overloads (string, and bytes without a terminator) must agree.
TEST(TextRecord, ScannerCases)
{
    const double nan = std::nan("");
    struct Case { // time -1: not checked; rates: times from the rates, not the stamps
        const char* line;
        bool ok;
        double raw0 = 0, raw1 = 0;
        bool st0 = false, st1 = false;
        double time = -1;
        bool rates = false;
    };
    const Case cases[] = {
        {"1,2500,100,-5,1,0", true, 100, -5, true, false, 0.0025},
        {" 1,\t2500,\v100,\f-5,\r1, 0", true, 100, -5, true, false, 0.0025},
        // A blank before a comma ends the number; the comma starts the next field.
        {"1,2500 ,100,-5,1,0", false},
        {"1,2500,100,-5 ,1,0", true, 100, -5, true, true},
        // Unsigned 32-bit accumulation: wraps, and '-' negates modulo 2^32.
        {"1,-1,4294967295,4294967396,1,1", true, -1, 100, true, true, 4294.967295},
        {"1,0,-2147483648,2147483648,0,0", true, -2147483648.0, -2147483648.0, false, false, 0},
        // '+' signs and reals, as recorders write them.
        {"+1,+2500,+000025,+100,1,0", true, 25, 100, true, false, 0.0025},
        {"1,2500,12.5,-5,1,0", true, 12.5, -5, true, false},
        {"1,2500,1e3,-2.5E-1,1,0", true, 1000, -0.25, true, false},
        {"1,2500,.5,12.,1,0", true, 0.5, 12, true, false},
        {"1,2500,-1234567.25,123456789,1,0", true, -1234567.25, 123456789, true, false},
        {"1,2500,+,-5,1,0", false},
        {"1,2500,1e999,-5,1,0", false},
        // Missing: the empty field, and 99999 (not 99998, -99999 or 99999.0).
        {"1,2500,,-5,1,0", true, nan, -5, true, false},
        {"1,2500,99999,99998,1,0", true, nan, 99998, true, false},
        {"1,2500,-99999,+99999,1,0", true, -99999, nan, true, false},
        {"1,2500,99999.0,-5,1,0", true, 99999, -5, true, false},
        // The time stamp may be left out only when the rates give the times.
        {"1,,100,-5,1,0", false},
        {"1,,100,-5,1,0", true, 100, -5, true, false, 0.004, true},
        {"1,2500,100,-5,1,", false},
    };
    TempDir dir("textrec");
    const auto stamped = loadedCfg(dir, layout(E::Ascii, 2), 10), rated = loadedCfg(dir, layout(E::Ascii, 2, false), 10);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("line \"") + c.line + "\"");
        const std::string line(c.line);
        const std::vector<char> bytes(line.begin(), line.end());
        Sample s(c.rates ? *rated : *stamped), r(c.rates ? *rated : *stamped);
        ASSERT_EQ(s.load(line, 4), c.ok);
        ASSERT_EQ(r.load(bytes.data(), bytes.size(), 4), c.ok);
        if (!c.ok)
            continue;
        expectSame(s.analogValues.at(0), eng0(c.raw0));
        expectSame(s.analogValues.at(1), eng1(c.raw1));
        EXPECT_EQ(s.binaryValues, (std::vector<bool>{c.st0, c.st1}));
        EXPECT_TRUE(c.time < 0 || std::fabs(s.time - c.time) < 1e-9) << s.time;
        EXPECT_TRUE(std::memcmp(r.analogValues.data(), s.analogValues.data(), 16) == 0 && r.binaryValues == s.binaryValues
                    && r.time == s.time);
    }
}

// The marker of a missing text value goes with the revision: 999999 before
// 1999, 99999 up to 2012, from 2013 on only where the range cannot hold it.
TEST(TextRecord, MissingMarkerByRevision)
{
    const struct { int revision; const char* field; bool missing; const char* max = "99999"; } cases[] = {
        {1991, "999999", true}, {1991, "99999", false}, {1991, "", true},         {1999, "99999", true},
        {1999, "999999", false}, {2012, "99999", true}, {2013, "99999", false},   {2013, "", true},
        {2013, "99999", true, "32767"}, {2013, "99998", false, "32767"},
    };
    TempDir dir("markers");
    for (const auto& c : cases) {
        Cfg cfg;
        const std::string station = c.revision < 1999 ? "S,D\n" : "S,D," + std::to_string(c.revision) + "\n";
        ASSERT_TRUE(writeFile(dir.file("m.cfg"),
                              station + "1,1A,0D\n1,U,,,V,1,0,0,-99999," + c.max + "\n50\n1\n1000,3\nd1\nd2\nASCII\n"));
        ASSERT_EQ(cfg.load(dir.file("m.cfg")), 4);
        Sample s(cfg);
        ASSERT_TRUE(s.load("1,0," + std::string(c.field) + ",", 0));
        EXPECT_EQ(std::isnan(s.analogValues.at(0)), c.missing) << c.revision << " '" << c.field << "' max " << c.max;
    }
}

// Truncated files and hostile counts. Each row loads over an earlier good
// load of the same Dat: 6 drops the earlier samples, 5 keeps them. Both kinds
// load what they hold up to the announced count and say so when that differs
// (a binary file needs one whole record); empty lines are no records; a bad
// line fails all; no announced count sizes the memory.
TEST(DatLoad, RecordCountsAndTruncations)
{
    TempDir dir("counts");
    RecordingLayout binary = layout(E::Binary, 17), ascii = layout(E::Ascii, 2);
    binary.rates.clear(); // one rate of 1000 up to the announced count
    ascii.rates.clear();
    const Recording bin = makeRecording(binary, 1000); // 16-byte records
    const Recording text = makeRecording(ascii, 5);
    const std::string b = datBytes(bin), t = datBytes(text);
    const std::string t1 = t.substr(0, t.find('\n') + 1), t2 = t.substr(0, t.find('\n', t1.size()) + 1);
    const struct { // said: in the failure, or in the warnings
        const char* name; const Recording& rec; unsigned long long announced; std::string bytes; int result;
        std::size_t samples; const char* said;
    } rows[] = {
        {"binary, exact", bin, 1000, b, 0, 1000, ""},
        {"binary, 15 trailing bytes", bin, 1000, b + std::string(15, 'Z'), 0, 1000, "ends with 15 bytes of a partial"},
        {"binary, one byte short", bin, 1000, b.substr(0, 15999), 0, 999, "holds only 999 of the 1000 records"},
        {"binary, one record more", bin, 999, b, 0, 999, "holds 1 record beyond the 999"},
        {"binary, a partial record", bin, 1000, b.substr(0, 15), 6, 0, "its 15 bytes hold no whole record of 16"},
        {"binary, empty", bin, 1000, "", 6, 0, "rec.dat: is empty"},
        {"binary, none announced", bin, 0, b, 6, 0, "announces no records"},
        {"binary, 2e9 announced", bin, 2000000000, b, 0, 1000, "holds only 1000 of the 2000000000"},
        {"absent file keeps the samples", bin, 1000, "-", 5, 1000, "rec.dat: no such data file"},
        {"text, five lines for three", text, 3, t, 0, 3, "holds 2 records beyond the 3"},
        {"text, two lines", text, 3, t2, 0, 2, "holds only 2 of the 3 records"},
        {"text, no final line end", text, 3, t2.substr(0, t2.size() - 1), 0, 2, "holds only 2 of the 3"},
        {"text, CR LF and empty lines", text, 3, toCrLf("\n" + t1 + "\n" + t.substr(t1.size())), 0, 3, "2 records beyond"},
        {"text, blank line inside", text, 3, t2 + "   \n" + t.substr(t2.size()), 6, 0,
         "rec.dat: line 3, field 1 'sample number': not a number"},
        {"text, 2e9 announced", text, 2000000000, t, 0, 5, "holds only 5 of the 2000000000"},
        {"text, none announced", text, 0, t, 6, 0, "announces no records"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        auto cfg = loadedCfg(dir, row.rec.design, row.announced);
        Dat dat(*cfg);
        ASSERT_TRUE(writeFile(dir.file("rec.dat"), datBytes(row.rec)));
        ASSERT_EQ(dat.load(dir.file("rec.dat")), row.announced ? 0 : 6);
        if (row.bytes == "-")
            std::remove(dir.file("rec.dat").c_str());
        else
            ASSERT_TRUE(writeFile(dir.file("rec.dat"), row.bytes));
        ASSERT_EQ(dat.load(dir.file("rec.dat")), row.result);
        ASSERT_EQ(dat.samples.size(), row.samples);
        for (std::size_t k = 0; k < row.samples; ++k)
            ASSERT_DOUBLE_EQ(dat.samples[k].analogValues[1], row.rec.expectedValue(k, 1)) << k;
        EXPECT_DOUBLE_EQ(dat.lastSampleTime, row.samples ? (row.samples - 1) / 1000.0 : -1.0);
        EXPECT_LE(dat.samples.capacity(), 2000u);
        std::string said = dat.report.message;
        for (const std::string& w : dat.report.warnings)
            said += "|" + w;
        EXPECT_NE(said.find(row.said), std::string::npos) << said;
        EXPECT_TRUE(*row.said != '\0' || said.empty()) << said;
    }
    // A configuration a host edited so that its records no longer hold its
    // channels is refused, not read past each record's end.
    auto cfg = loadedCfg(dir, bin.design, 1000);
    ASSERT_TRUE(writeFile(dir.file("rec.dat"), b));
    cfg->analogChannelsCount += 40;
    Dat dat(*cfg);
    EXPECT_EQ(dat.load(dir.file("rec.dat")), 6);
    EXPECT_NE(dat.report.message.find("no binary record layout"), std::string::npos) << dat.report.message;
}
