// The data-file reader: one record decoded byte by byte, the text scanner's
// odd but real-world lines, whole files in every encoding against the values
// written, what each failure leaves behind, and files whose announced size
// must not drive allocations.

#include "writer/ComtradeWriter.h"

#include <KivComtradeLib/Cfg.h>
#include <KivComtradeLib/Dat.h>
#include <KivComtradeLib/Sample.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

using namespace KivTest;
using KivComtradeLib::Cfg;
using KivComtradeLib::Dat;
using KivComtradeLib::Sample;
namespace E = KivComtradeLib::Enums;

namespace {

// `analogs` channels with distinct gains, offsets and units, so that every
// value must pass through its own channel's scaling; `statuses` channels.
RecordingLayout layout(E::DataFileType type, std::size_t analogs, std::size_t statuses)
{
    RecordingLayout design;
    design.type = type;
    for (std::size_t c = 0; c < analogs; ++c) {
        AnalogLayout a;
        a.id = "A" + std::to_string(c + 1);
        a.a = 0.25 * double(c + 1) + 1.25;
        a.b = double(c) - 0.75;
        a.unit = c % 2 ? "kV" : "A";
        design.analogs.push_back(a);
    }
    for (std::size_t d = 0; d < statuses; ++d)
        design.statuses.push_back(StatusLayout{"D" + std::to_string(d + 1), "", "", 0});
    return design;
}

// Writes `dir`/`name`.cfg of `design` announcing `samples` records and loads it.
std::unique_ptr<Cfg> loadedCfg(const TempDir& dir, const RecordingLayout& design, unsigned long long samples,
                               const std::string& name = "rec")
{
    auto cfg = std::make_unique<Cfg>();
    const std::string path = dir.file(name + ".cfg");
    EXPECT_TRUE(writeFile(path, cfgText(design, samples)));
    EXPECT_EQ(cfg->load(path), 4) << cfgText(design, samples);
    return cfg;
}

// Two analog channels; a zero rate takes times from the time stamps.
RecordingLayout twoAnalogs(E::DataFileType type, bool fromTimeStamps, std::size_t statuses,
                         double timeMultiplier = 1.0)
{
    RecordingLayout design = layout(type, 2, statuses);
    design.rates = {{fromTimeStamps ? 0.0 : 1000.0, 10}};
    design.timeMultiplier = timeMultiplier;
    return design;
}

// The first `count` samples of `dat` hold what `rec` wrote, one per millisecond.
void expectWritten(const Dat& dat, const Recording& rec, std::size_t count)
{
    ASSERT_EQ(dat.samples.size(), count);
    for (std::size_t k = 0; k < count; ++k) {
        const auto& s = dat.samples[k];
        ASSERT_EQ(s.index, k);
        ASSERT_DOUBLE_EQ(s.time, double(k) / 1000.0);
        ASSERT_EQ(s.analogValues.size(), rec.design.analogs.size());
        for (std::size_t c = 0; c < rec.design.analogs.size(); ++c)
            ASSERT_DOUBLE_EQ(s.analogValues[c], rec.expectedValue(k, c)) << "record " << k << " channel " << c;
        ASSERT_EQ(s.binaryValues, rec.records[k].status) << "record " << k;
    }
    EXPECT_EQ(dat.lastSampleTime, count ? dat.samples.back().time : -1.0);
}

std::string firstLines(const std::string& text, std::size_t n)
{
    std::size_t pos = 0;
    for (std::size_t i = 0; i < n; ++i)
        pos = text.find('\n', pos) + 1;
    return text.substr(0, pos);
}

} // namespace

// Layout: uint32 sample number, uint32 time stamp, the analog values, then
// the status words, all little-endian.
TEST(BinaryRecord, DecodesEveryEncodingByteForByte)
{
    const struct {
        const char* name;
        RecordingLayout design;
        std::string bytes;
        double time;
        double raw0, raw1;
        std::size_t statuses;
        std::set<std::size_t> set; // status channels that are on
    } cases[] = {
        {"int16 -1 and 0x8000 (missing), time stamp 10000 us", twoAnalogs(E::Binary, true, 0),
         std::string("\x01\0\0\0\x10\x27\0\0\xFF\xFF\x00\x80", 12), 0.01, -1.0, std::nan(""), 0, {}},
        {"int16 0x8001 is a value", twoAnalogs(E::Binary, true, 0),
         std::string("\x01\0\0\0\x10\x27\0\0\x01\x80\x00\x00", 12), 0.01, -32767.0, 0.0, 0, {}},
        {"time stamp 0xFFFFFFFF is unsigned", twoAnalogs(E::Binary, true, 0),
         std::string("\x01\0\0\0\xFF\xFF\xFF\xFF\x00\x00\xFF\x7F", 12), 4294.967295, 0.0, 32767.0, 0, {}},
        {"time multiplier 2.5", twoAnalogs(E::Binary, true, 0, 2.5),
         std::string("\x01\0\0\0\x10\x27\0\0\0\0\0\0", 12), 0.025, 0.0, 0.0, 0, {}},
        {"rates ignore the time stamp", twoAnalogs(E::Binary, false, 0),
         std::string("\x01\0\0\0\x10\x27\0\0\xFF\xFF\x00\x80", 12), 0.005, -1.0, std::nan(""), 0, {}},
        {"Binary32 -2 and INT32_MIN (missing)", twoAnalogs(E::Binary32, true, 0),
         std::string("\0\0\0\0\0\0\0\0\xFE\xFF\xFF\xFF\x00\x00\x00\x80", 16), 0.0, -2.0, std::nan(""), 0, {}},
        {"Binary32 INT32_MIN + 1 and 0x8000 are values", twoAnalogs(E::Binary32, true, 0),
         std::string("\0\0\0\0\0\0\0\0\x01\x00\x00\x80\x00\x80\x00\x00", 16), 0.0, -2147483647.0, 32768.0, 0, {}},
        {"Float32 1.0 and a NaN pattern, which stays NaN", twoAnalogs(E::Float32, true, 0),
         std::string("\0\0\0\0\0\0\0\0\x00\x00\x80\x3F\x00\x00\xC0\xFF", 16), 0.0, 1.0, std::nan(""), 0, {}},
        {"17 status channels over two words, padding bits set", twoAnalogs(E::Binary, false, 17),
         std::string("\0\0\0\0\0\0\0\0\0\0\0\0\x01\x80\xFF\xFF", 16), 0.005, 0.0, 0.0, 17, {0, 15, 16}},
        {"16 status channels, one word", twoAnalogs(E::Binary, false, 16),
         std::string("\0\0\0\0\0\0\0\0\0\0\0\0\x02\x40", 14), 0.005, 0.0, 0.0, 16, {1, 14}},
    };
    TempDir dir("binrec");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto cfg = loadedCfg(dir, c.design, 10);
        ASSERT_EQ(cfg->recordSize, c.bytes.size());
        std::vector<char> record(c.bytes.begin(), c.bytes.end()); // exact size: ASan sees over-reads
        Sample s(*cfg);
        ASSERT_TRUE(s.load(record.data(), 5));
        EXPECT_EQ(s.index, 5u);
        EXPECT_DOUBLE_EQ(s.time, c.time);
        ASSERT_EQ(s.analogValues.size(), 2u);
        EXPECT_DOUBLE_EQ(s.analogValues[0], engineeringValue(c.design, 0, c.raw0));
        if (std::isnan(c.raw1)) {
            EXPECT_TRUE(std::isnan(s.analogValues[1]));
        } else {
            EXPECT_DOUBLE_EQ(s.analogValues[1], engineeringValue(c.design, 1, c.raw1));
        }
        ASSERT_EQ(s.binaryValues.size(), c.statuses);
        for (std::size_t d = 0; d < c.statuses; ++d)
            EXPECT_EQ(s.binaryValues[d], c.set.count(d) == 1) << "channel " << d + 1;
    }
}

// Same double, NaN included (NaN != NaN).
void expectSameValue(double actual, double expected)
{
    if (std::isnan(expected)) {
        EXPECT_TRUE(std::isnan(actual)) << actual;
    } else {
        EXPECT_DOUBLE_EQ(actual, expected);
    }
}

bool sameBits(const std::vector<double>& a, const std::vector<double>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

// One text line against two analog and two status channels (revision 1999:
// 99999 marks a missing value): whether it decodes, and into what. Both
// overloads (string, and bytes without a terminator) must agree.
TEST(TextRecord, ScannerCases)
{
    const double nan = std::nan("");
    struct Case {
        const char* line;
        bool ok;
        double raw0 = 0, raw1 = 0;
        bool st0 = false, st1 = false;
        double time = -1; // -1: not checked
        bool rates = false; // times from the sampling rates, not the stamps
    };
    const Case cases[] = {
        {"1,2500,100,-5,1,0", true, 100, -5, true, false, 0.0025},
        // Blanks before a field are skipped.
        {" 1, 2500,100,-5,1,0", true, 100, -5, true, false, 0.0025},
        {"1,\t2500,\v100,\f-5,\r1, 0", true, 100, -5, true, false, 0.0025},
        {"1,2500,100,-5,1,0 ", true, 100, -5, true, false},
        {"1,2500,100,-5,1,0\r", true, 100, -5, true, false},
        // Fields past the last status channel are ignored.
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
        // '+' signs and reals, as recorders write them.
        {"+1,+2500,+000025,+100,1,0", true, 25, 100, true, false, 0.0025},
        {"1,2500,12.5,-5,1,0", true, 12.5, -5, true, false},
        {"1,2500,1e3,-2.5E-1,1,0", true, 1000, -0.25, true, false},
        {"1,2500,.5,12.,1,0", true, 0.5, 12, true, false},
        {"1,2500,+,-5,1,0", false},
        {"1,2500,1e999,-5,1,0", false},
        // Missing values: the empty field, and 99999 (not 99998, not -99999).
        {"1,2500,,-5,1,0", true, nan, -5, true, false},
        {"1,2500, \t,-5,1,0", true, nan, -5, true, false},
        {"1,2500,99999,99998,1,0", true, nan, 99998, true, false},
        {"1,2500,-99999,+99999,1,0", true, -99999, nan, true, false},
        {"1,2500,99999.0,-5,1,0", true, 99999, -5, true, false},
        // The time stamp may be left out only when the rates give the times.
        {"1,,100,-5,1,0", false},
        {"1,,100,-5,1,0", true, 100, -5, true, false, 0.004, true},
        {"1,2500,100,-5,1", false},
        {"1,2500,100,-5,1,", false},
        {"1,2500,-,-5,1,0", false},
        {"-", false},
        // A line of blanks, and empty lines, are no record.
        {"   ", false},
        {"\r", false},
        {"", false},
    };
    TempDir dir("textrec");
    const RecordingLayout stamped = twoAnalogs(E::Ascii, true, 2), rated = twoAnalogs(E::Ascii, false, 2);
    auto stampedCfg = loadedCfg(dir, stamped, 10, "stamped");
    auto ratedCfg = loadedCfg(dir, rated, 10, "rated");
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("line \"") + c.line + "\"");
        const Cfg& cfg = c.rates ? *ratedCfg : *stampedCfg;
        const RecordingLayout& design = c.rates ? rated : stamped;
        const std::string line(c.line);
        Sample s(cfg);
        ASSERT_EQ(s.load(line, 4), c.ok);
        const std::vector<char> bytes(line.begin(), line.end());
        Sample r(cfg);
        ASSERT_EQ(r.load(bytes.data(), bytes.size(), 4), c.ok);
        if (!c.ok)
            continue;
        EXPECT_EQ(s.index, 4u);
        ASSERT_EQ(s.analogValues.size(), 2u);
        expectSameValue(s.analogValues[0], std::isnan(c.raw0) ? c.raw0 : engineeringValue(design, 0, c.raw0));
        expectSameValue(s.analogValues[1], std::isnan(c.raw1) ? c.raw1 : engineeringValue(design, 1, c.raw1));
        EXPECT_EQ(s.binaryValues, (std::vector<bool>{c.st0, c.st1}));
        if (c.time >= 0) {
            EXPECT_DOUBLE_EQ(s.time, c.time);
        }
        EXPECT_TRUE(sameBits(r.analogValues, s.analogValues));
        EXPECT_EQ(r.binaryValues, s.binaryValues);
        EXPECT_EQ(r.time, s.time);
    }
}

// The marker of a missing text value goes with the revision: 999999 below
// 1999, 99999 from 1999 to 2012, none from 2013 on (only the empty field).
TEST(TextRecord, MissingMarkerByRevision)
{
    const struct {
        int revision;
        const char* field;
        bool missing;
        const char* max = "99999"; // the channel's declared maximum
    } cases[] = {
        {1991, "999999", true}, {1991, "99999", false}, {1991, "", true},
        {1999, "99999", true},  {1999, "999999", false}, {2012, "99999", true},
        {2013, "99999", false}, {2013, "999999", false}, {2013, "", true},
        // 2013 files that still write 99999 where the range cannot hold it.
        {2013, "99999", true, "32767"}, {2013, "99998", false, "32767"},
    };
    TempDir dir("markers");
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.revision) + " '" + c.field + "'");
        Cfg cfg;
        const std::string path = dir.file("m.cfg");
        const std::string station = c.revision < 1999 ? "S,D\n" : "S,D," + std::to_string(c.revision) + "\n";
        ASSERT_TRUE(writeFile(path, station + "1,1A,0D\n1,U,,,V,1,0,0,-99999," + c.max + "\n50\n1\n1000,3\nd1\nd2\nASCII\n"));
        ASSERT_EQ(cfg.load(path), 4);
        ASSERT_EQ(cfg.revYear, c.revision);
        Sample s(cfg);
        ASSERT_TRUE(s.load("1,0," + std::string(c.field) + ",", 0));
        ASSERT_EQ(s.analogValues.size(), 1u);
        EXPECT_EQ(std::isnan(s.analogValues[0]), c.missing) << s.analogValues[0];
    }
}

// Status states fill 16-bit words bit 0 first; the unused high bits of the
// last word are set here, so that a reader taking them for states shows.
TEST(DatLoad, EveryEncodingAndStatusCountGivesTheWrittenValues)
{
    TempDir dir("encodings");
    for (E::DataFileType type : {E::Ascii, E::Binary, E::Binary32, E::Float32}) {
        for (std::size_t statuses : {1u, 16u, 17u, 65u}) {
            SCOPED_TRACE(typeKeyword(type) + ", " + std::to_string(statuses) + " status channels");
            Recording rec = makeRecording(layout(type, 5, statuses), 60);
            for (std::size_t k = 0; k < 60; k += 7)
                rec.records[k].status.assign(statuses, true);
            auto cfg = loadedCfg(dir, rec.design, 60);
            std::string bytes = datBytes(rec);
            const unsigned padding = (0xFFFFu << (statuses % 16)) & 0xFFFFu;
            if (type != E::Ascii && statuses % 16 != 0) {
                for (std::size_t end = cfg->recordSize; end <= bytes.size(); end += cfg->recordSize) {
                    bytes[end - 2] = char(static_cast<unsigned char>(bytes[end - 2]) | (padding & 0xFFu));
                    bytes[end - 1] = char(static_cast<unsigned char>(bytes[end - 1]) | (padding >> 8));
                }
            }
            ASSERT_TRUE(writeFile(dir.file("rec.dat"), bytes));
            Dat dat(*cfg);
            ASSERT_EQ(dat.load(dir.file("rec.dat")), 0);
            expectWritten(dat, rec, 60);
        }
    }
}

// Each row loads over an earlier good load of the same Dat (when the
// configuration allows one): 6 drops the earlier samples, 5 keeps them, and
// no announced count sizes the memory.
// Both kinds load what they hold up to the announced count, and say so when
// that differs (a binary file needs one whole record); empty lines are no
// records, and a bad line fails all.
TEST(DatLoad, FailureTable)
{
    TempDir dir("failures");
    const Recording bin = makeRecording(layout(E::Binary, 3, 18), 1000); // 18-byte records
    const Recording text = makeRecording(layout(E::Ascii, 2, 2), 5);
    auto binCfg = loadedCfg(dir, bin.design, 1000, "bin");
    auto textCfg = loadedCfg(dir, text.design, 3, "text"); // three of the five lines announced
    auto binNone = loadedCfg(dir, bin.design, 0, "binnone");
    auto textNone = loadedCfg(dir, text.design, 0, "textnone");
    RecordingLayout binHugeLayout = bin.design, textHugeLayout = text.design;
    binHugeLayout.rates = textHugeLayout.rates = {{1000.0, 2000000000ull}};
    auto binHuge = loadedCfg(dir, binHugeLayout, 0, "binhuge");
    auto textHuge = loadedCfg(dir, textHugeLayout, 0, "texthuge");
    ASSERT_EQ(binCfg->recordSize, 18u);
    const std::string b = datBytes(bin);
    const std::string t = datBytes(text);
    const std::string t1 = firstLines(t, 1), t2 = firstLines(t, 2);
    std::string spaced; // an empty line after every record, as some recorders write
    for (char ch : t)
        spaced += ch == '\n' ? "\n\n" : std::string(1, ch);
    std::filesystem::create_directory(dir.file("folder.dat"));

    // `said`: in the failure sentence, or in one of the warnings on success.
    const struct {
        const char* name;
        const Cfg& cfg;
        std::string bytes;
        int result;
        std::size_t samples;
        const char* said;
        const char* path = "rec.dat";
    } rows[] = {
        {"binary, exact", *binCfg, b, 0, 1000, ""},
        {"binary, 17 trailing bytes", *binCfg, b + std::string(17, 'Z'), 0, 1000, "ends with 17 bytes of a partial record"},
        {"binary, one byte short", *binCfg, b.substr(0, 17999), 0, 999, "holds only 999 of the 1000 records"},
        {"binary, one record more", *binCfg, b + b.substr(0, 18), 0, 1000, "holds 1 record beyond the 1000"},
        {"binary, one record", *binCfg, b.substr(0, 18), 0, 1, "holds only 1 of the 1000 records"},
        {"binary, a partial record only", *binCfg, b.substr(0, 17), 6, 0, "rec.dat: its 17 bytes hold no whole record of 18 bytes"},
        {"binary, empty", *binCfg, "", 6, 0, "rec.dat: is empty"},
        {"binary, no records announced", *binNone, b, 6, 0, "announces no records"},
        {"binary, 2e9 records announced", *binHuge, b, 0, 1000, "holds only 1000 of the 2000000000 records"},
        {"absent file keeps the earlier samples", *binCfg, "", 5, 1000, "absent.dat: no such data file", "absent.dat"},
        {"a folder is no data file", *binCfg, "", 5, 1000, "no such data file", "folder.dat"},
        {"text, five lines for three", *textCfg, t, 0, 3, "holds 2 records beyond the 3"},
        {"text, two lines", *textCfg, t2, 0, 2, "holds only 2 of the 3 records"},
        {"text, no final line end", *textCfg, t2.substr(0, t2.size() - 1), 0, 2, "holds only 2 of the 3"},
        {"text, empty lines around records", *textCfg, "\n\n" + t1 + "\n\n" + t.substr(t1.size()), 0, 3, "2 records beyond"},
        {"text, blank line after the last record", *textCfg, firstLines(t, 3) + "   \n", 0, 3, ""},
        {"text, blank line before the last record", *textCfg, t2 + "   \n" + t.substr(t2.size()), 6, 0,
         "rec.dat: line 3, field 1 'sample number': not a number"},
        {"text, bad line", *textCfg, t1 + "2,1000,1,2\n" + t.substr(t1.size()), 6, 0,
         "rec.dat: line 2, field 5 (status channel 1): missing"},
        {"text, letters in a value", *textCfg, t1 + "2,1000,1,x,0,0\n", 6, 0,
         "rec.dat: line 2, field 4 (analog channel 2): not a number"},
        {"text, empty file", *textCfg, "", 0, 0, "holds only 0 of the 3 records"},
        {"text, CR LF", *textCfg, toCrLf(t), 0, 3, "2 records beyond"},
        {"text, CR LF and an empty line after every record", *textCfg, toCrLf(spaced), 0, 3, "2 records beyond"},
        // Regression: ten lines where 2e9 are announced load without
        // reserving room for the announced count.
        {"text, 2e9 records announced", *textHuge, t, 0, 5, "holds only 5 of the 2000000000 records"},
        {"text, no records announced", *textNone, t, 6, 0, "announces no records"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const bool isText = &row.cfg == textCfg.get() || &row.cfg == textNone.get() || &row.cfg == textHuge.get();
        const Recording& rec = isText ? text : bin;
        Dat dat(row.cfg);
        if (&row.cfg == binCfg.get() || &row.cfg == textCfg.get()) {
            ASSERT_TRUE(writeFile(dir.file("rec.dat"), isText ? t : b));
            ASSERT_EQ(dat.load(dir.file("rec.dat")), 0);
        }
        ASSERT_TRUE(writeFile(dir.file("rec.dat"), row.bytes));
        ASSERT_EQ(dat.load(dir.file(row.path)), row.result);
        expectWritten(dat, rec, row.samples);
        EXPECT_LE(dat.samples.capacity(), 2000u);
        std::string said = dat.report.message;
        for (const std::string& w : dat.report.warnings)
            said += "|" + w;
        EXPECT_NE(said.find(row.said), std::string::npos) << said;
        EXPECT_EQ(dat.report.result, row.result);
        if (*row.said == '\0') {
            EXPECT_EQ(said, "");
        }
    }
}

// Regression: file lengths are measured in 64 bits, so a 4 GiB + 18000 byte
// file is not taken for an 18000-byte one (a sparse file, no disk used).
TEST(DatLoad, LengthBeyondFourGiBIsNotWrapped)
{
    TempDir dir("sparse");
    const Recording rec = makeRecording(layout(E::Binary, 3, 18), 1000);
    auto cfg = loadedCfg(dir, rec.design, 1000);
    const std::string path = dir.file("rec.dat");
    ASSERT_TRUE(writeFile(path, datBytes(rec)));
    std::error_code ec;
    std::filesystem::resize_file(path, (1ull << 32) + 18000ull, ec);
    if (ec)
        GTEST_SKIP() << "cannot make a large sparse file here: " << ec.message();
    // (2^32 + 18000) / 18 = 238610294 whole records: all but the announced
    // 1000 are extra, which a 32-bit length would not have seen.
    Dat dat(*cfg);
    EXPECT_EQ(dat.load(path), 0);
    EXPECT_EQ(dat.samples.size(), 1000u);
    ASSERT_EQ(dat.report.warnings.size(), 2u);
    EXPECT_NE(dat.report.warnings[0].find("238609294 records beyond the 1000"), std::string::npos)
        << dat.report.warnings[0];
}
