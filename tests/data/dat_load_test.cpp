// Reading whole data files: every encoding against the values written, the
// length and count rules with what a failed load leaves behind, text-file
// quirks, and files whose announced size must not drive allocations.

#include "DataTestUtil.h"

#include <KivComtradeLib/Dat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

using namespace KivTest;
using KivComtradeLib::Cfg;
using KivComtradeLib::Dat;
namespace E = KivComtradeLib::Enums;

namespace {

RecordingSpec layout(E::DataFileType type, std::size_t analogs, std::size_t statuses)
{
    RecordingSpec spec;
    spec.type = type;
    for (std::size_t c = 0; c < analogs; ++c)
        spec.analogs.push_back(analog("A" + std::to_string(c + 1), 0.25 * double(c + 1),
                                      double(c) - 1.0, c % 2 ? "kV" : "A"));
    for (std::size_t d = 0; d < statuses; ++d)
        spec.statuses.push_back(status("D" + std::to_string(d + 1)));
    return spec;
}

void expectMatches(const Dat& dat, const Recording& rec)
{
    ASSERT_EQ(dat.samples.size(), rec.records.size());
    for (std::size_t k = 0; k < rec.records.size(); ++k) {
        const auto& s = dat.samples[k];
        ASSERT_EQ(s.index, k);
        ASSERT_EQ(s.analogValues.size(), rec.spec.analogs.size());
        for (std::size_t c = 0; c < rec.spec.analogs.size(); ++c)
            ASSERT_DOUBLE_EQ(s.analogValues[c], rec.expectedValue(k, c)) << "record " << k << " channel " << c;
        ASSERT_EQ(s.binaryValues, rec.records[k].status) << "record " << k;
    }
    EXPECT_EQ(dat.lastSampleTime, dat.samples.back().time);
}

// A recording with 1000 samples of 18-byte records (3 analog, 18 status).
struct Eighteen {
    TempDir dir{"eighteen"};
    RecordingSpec spec = layout(E::Binary, 3, 18);
    Recording rec = makeRecording(spec, 1000);
    std::unique_ptr<Cfg> cfg = loadedCfg(dir, spec, 1000);
    std::string bytes = datBytes(rec);
};

} // namespace

TEST(DatLoad, EveryEncodingGivesTheWrittenValues)
{
    TempDir dir("encodings");
    for (E::DataFileType type : {E::Ascii, E::Binary, E::Binary32, E::Float32}) {
        for (bool crlf : {false, true}) {
            SCOPED_TRACE("type " + typeKeyword(type) + (crlf ? " CR LF" : " LF"));
            RecordingSpec spec = layout(type, 5, 17);
            spec.crlf = crlf;
            const Recording rec = makeRecording(spec, 300);
            auto cfg = loadedCfg(dir, spec, rec.samplesCount());
            ASSERT_TRUE(writeFile(dir.file("rec.dat"), datBytes(rec)));
            Dat dat(*cfg);
            ASSERT_EQ(dat.load(dir.file("rec.dat")), 0);
            expectMatches(dat, rec);
            for (std::size_t k = 0; k < dat.samples.size(); ++k)
                ASSERT_DOUBLE_EQ(dat.samples[k].time, double(k) / 1000.0);
        }
    }
}

TEST(DatLoad, TimesFromTimeStampsWhenARateIsZero)
{
    TempDir dir("stamps");
    for (E::DataFileType type : {E::Ascii, E::Binary}) {
        RecordingSpec spec = layout(type, 1, 1);
        spec.rates = {{0.0, 4}};
        spec.timeMultiplier = 0.5;
        Recording rec = makeRecording(spec, 4);
        const std::uint32_t stamps[] = {0, 7, 0x80000000u, 0xFFFFFFFFu};
        for (std::size_t k = 0; k < 4; ++k)
            rec.records[k].timeStamp = stamps[k];
        auto cfg = loadedCfg(dir, spec, 4);
        ASSERT_TRUE(writeFile(dir.file("rec.dat"), datBytes(rec)));
        Dat dat(*cfg);
        ASSERT_EQ(dat.load(dir.file("rec.dat")), 0);
        ASSERT_EQ(dat.samples.size(), 4u);
        for (std::size_t k = 0; k < 4; ++k)
            EXPECT_DOUBLE_EQ(dat.samples[k].time, double(stamps[k]) * 0.5e-6);
        EXPECT_DOUBLE_EQ(dat.lastSampleTime, 4294967295.0 * 0.5e-6);
    }
}

// Whole records must match the announced count; a partial trailing record is
// tolerated. Every failure empties the samples of the earlier load.
TEST(DatLoad, BinaryLengthRules)
{
    Eighteen f;
    ASSERT_EQ(f.cfg->recordSize, 18u);
    ASSERT_EQ(f.bytes.size(), 18000u);
    const struct {
        std::size_t length;
        int result;
    } cases[] = {{18000, 0}, {18017, 0}, {17999, 6}, {18018, 6}, {18, 6}, {0, 6}};
    for (const auto& c : cases) {
        SCOPED_TRACE("length " + std::to_string(c.length));
        std::string bytes = f.bytes;
        bytes.resize(c.length, '\x5A');
        ASSERT_TRUE(writeFile(f.dir.file("rec.dat"), f.bytes));
        Dat dat(*f.cfg);
        ASSERT_EQ(dat.load(f.dir.file("rec.dat")), 0);
        ASSERT_TRUE(writeFile(f.dir.file("rec.dat"), bytes));
        ASSERT_EQ(dat.load(f.dir.file("rec.dat")), c.result);
        if (c.result == 0) {
            expectMatches(dat, f.rec);
            EXPECT_DOUBLE_EQ(dat.lastSampleTime, 0.999);
        } else {
            EXPECT_TRUE(dat.samples.empty());
            EXPECT_EQ(dat.lastSampleTime, -1.0);
        }
    }
}

TEST(DatLoad, NoRecordsAnnounced)
{
    TempDir dir("zero");
    for (E::DataFileType type : {E::Ascii, E::Binary}) {
        RecordingSpec spec = layout(type, 2, 2);
        spec.rates = {{1000.0, 0}};
        const Recording rec = makeRecording(spec, 3);
        auto cfg = loadedCfg(dir, spec, 0);
        ASSERT_TRUE(writeFile(dir.file("rec.dat"), datBytes(rec)));
        Dat dat(*cfg);
        EXPECT_EQ(dat.load(dir.file("rec.dat")), 6) << typeKeyword(type);
        EXPECT_TRUE(dat.samples.empty());
    }
}

TEST(DatLoad, MissingFileKeepsEarlierSamples)
{
    Eighteen f;
    ASSERT_TRUE(writeFile(f.dir.file("rec.dat"), f.bytes));
    Dat dat(*f.cfg);
    ASSERT_EQ(dat.load(f.dir.file("rec.dat")), 0);
    EXPECT_EQ(dat.load(f.dir.file("absent.dat")), 5);
    expectMatches(dat, f.rec);
    EXPECT_DOUBLE_EQ(dat.lastSampleTime, 0.999);
    // A folder is not a data file.
    std::filesystem::create_directory(f.dir.file("folder.dat"));
    EXPECT_EQ(dat.load(f.dir.file("folder.dat")), 5);
    EXPECT_EQ(dat.samples.size(), 1000u);
}

// Text files: empty lines are no records, lines past the announced count are
// ignored, fewer lines than announced are fine, one bad line fails the file.
TEST(DatLoad, TextFileLines)
{
    TempDir dir("textfile");
    const RecordingSpec spec = layout(E::Ascii, 2, 2);
    const Recording rec = makeRecording(spec, 5);
    const std::string five = datBytes(rec);
    auto cfg3 = loadedCfg(dir, spec, 3, "three");
    const auto firstLines = [&](std::size_t n) {
        std::size_t pos = 0;
        for (std::size_t i = 0; i < n; ++i)
            pos = five.find('\n', pos) + 1;
        return five.substr(0, pos);
    };
    const struct {
        std::string name;
        std::string text;
        int result;
        std::size_t samples;
    } cases[] = {
        {"five lines, three announced", five, 0, 3},
        {"two lines", firstLines(2), 0, 2},
        {"no final line end", firstLines(2).substr(0, firstLines(2).size() - 1), 0, 2},
        {"empty lines around records", "\n\n" + firstLines(1) + "\n\n" + five.substr(firstLines(1).size()), 0, 3},
        {"blank line before the last record", firstLines(2) + "   \n" + five.substr(firstLines(2).size()), 6, 0},
        {"blank line after the last record", firstLines(3) + "   \n", 0, 3},
        {"bad line in the middle", firstLines(1) + "2,1000,1,2\n" + five.substr(firstLines(1).size()), 6, 0},
        {"empty file", "", 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(writeFile(dir.file("three.dat"), five));
        Dat dat(*cfg3);
        ASSERT_EQ(dat.load(dir.file("three.dat")), 0);
        ASSERT_TRUE(writeFile(dir.file("three.dat"), c.text));
        ASSERT_EQ(dat.load(dir.file("three.dat")), c.result);
        ASSERT_EQ(dat.samples.size(), c.samples);
        for (std::size_t k = 0; k < c.samples; ++k) {
            EXPECT_EQ(dat.samples[k].index, k);
            EXPECT_DOUBLE_EQ(dat.samples[k].analogValues[1], rec.expectedValue(k, 1));
        }
        EXPECT_EQ(dat.lastSampleTime, c.samples ? dat.samples.back().time : -1.0);
    }
}

// Recorders write CR LF; a line that held only CR LF is an empty line.
TEST(DatLoad, CrLfTextReadsLikeLf)
{
    TempDir dir("crlf");
    const RecordingSpec spec = layout(E::Ascii, 3, 3);
    const Recording rec = makeRecording(spec, 40);
    auto cfg = loadedCfg(dir, spec, 40);
    std::string spaced;
    for (char ch : datBytes(rec)) {
        spaced.push_back(ch);
        if (ch == '\n')
            spaced.push_back('\n'); // an empty line after every record, as some recorders write
    }
    for (const std::string& text : {datBytes(rec), toCrLf(datBytes(rec)), spaced, toCrLf(spaced)}) {
        ASSERT_TRUE(writeFile(dir.file("rec.dat"), text));
        Dat dat(*cfg);
        ASSERT_EQ(dat.load(dir.file("rec.dat")), 0);
        expectMatches(dat, rec);
    }
}

// A text file whose configuration announces two thousand million samples but
// holds ten lines loads those ten; room is not reserved for what the file
// cannot hold. The binary reader checks the count before reserving.
TEST(DatLoad, AnnouncedCountDoesNotSizeMemory)
{
    TempDir dir("huge");
    for (E::DataFileType type : {E::Ascii, E::Binary}) {
        SCOPED_TRACE(typeKeyword(type));
        RecordingSpec spec = layout(type, 4, 4);
        spec.rates = {{1000.0, 2000000000ull}};
        const Recording rec = makeRecording(spec, 10);
        auto cfg = loadedCfg(dir, spec, 0);
        ASSERT_EQ(cfg->samplesCount, 2000000000ull);
        ASSERT_TRUE(writeFile(dir.file("rec.dat"), datBytes(rec)));
        Dat dat(*cfg);
        const int result = dat.load(dir.file("rec.dat"));
        if (type == E::Ascii) {
            ASSERT_EQ(result, 0);
            expectMatches(dat, rec);
            EXPECT_LT(dat.samples.capacity(), 1000u);
        } else {
            EXPECT_EQ(result, 6);
            EXPECT_TRUE(dat.samples.empty());
        }
    }
}

// Lengths are measured in 64 bits: a 4 GiB + 18000 byte file is not taken
// for an 18000-byte one.
TEST(DatLoad, LengthBeyondFourGiBIsNotWrapped)
{
    Eighteen f;
    const std::string path = f.dir.file("rec.dat");
    ASSERT_TRUE(writeFile(path, f.bytes));
    std::error_code ec;
    std::filesystem::resize_file(path, (1ull << 32) + 18000ull, ec); // sparse on disk
    if (ec)
        GTEST_SKIP() << "cannot make a large sparse file here: " << ec.message();
    Dat dat(*f.cfg);
    EXPECT_EQ(dat.load(path), 6);
    EXPECT_TRUE(dat.samples.empty());
    std::filesystem::resize_file(path, (1ull << 31) + 18000ull, ec);
    EXPECT_EQ(dat.load(path), 6);
}

// A recording cut at every byte: always a clean 0 or 6, never more samples
// than announced, and every whole record before the cut read as written.
TEST(DatLoad, TruncatedAtEveryOffset)
{
    TempDir dir("truncated");
    for (E::DataFileType type : {E::Ascii, E::Binary32}) {
        SCOPED_TRACE(typeKeyword(type));
        const RecordingSpec spec = layout(type, 2, 3);
        const Recording rec = makeRecording(spec, 12);
        auto cfg = loadedCfg(dir, spec, 12);
        const std::string bytes = datBytes(rec);
        for (std::size_t cut = 0; cut <= bytes.size(); ++cut) {
            ASSERT_TRUE(writeFile(dir.file("rec.dat"), bytes.substr(0, cut)));
            Dat dat(*cfg);
            const int result = dat.load(dir.file("rec.dat"));
            ASSERT_TRUE(result == 0 || result == 6) << "cut " << cut << " result " << result;
            ASSERT_LE(dat.samples.size(), 12u);
            if (type != E::Ascii) {
                ASSERT_EQ(result, cut == bytes.size() ? 0 : 6) << "cut " << cut;
                continue;
            }
            // Only the last, cut line may differ from what was written.
            for (std::size_t k = 0; k + 1 < dat.samples.size(); ++k)
                ASSERT_DOUBLE_EQ(dat.samples[k].analogValues[0], rec.expectedValue(k, 0)) << "cut " << cut;
        }
    }
}

// Status words of any count: whole words, a partial last word, and more
// states than one 64-bit block holds.
TEST(DatLoad, StatusCountsAcrossWordBoundaries)
{
    TempDir dir("statuses");
    for (std::size_t statuses : {1u, 15u, 16u, 17u, 63u, 64u, 65u, 130u, 300u}) {
        for (E::DataFileType type : {E::Binary, E::Float32, E::Ascii}) {
            SCOPED_TRACE(std::to_string(statuses) + " status channels, " + typeKeyword(type));
            const RecordingSpec spec = layout(type, 1, statuses);
            Recording rec = makeRecording(spec, 40);
            // Some records with every state set, so that padding bits are 1 too.
            for (std::size_t k = 0; k < 40; k += 7)
                rec.records[k].status.assign(statuses, true);
            auto cfg = loadedCfg(dir, spec, 40);
            std::string bytes = datBytes(rec);
            const std::size_t used = statuses % 16; // bits of the last word that hold states
            if (type != E::Ascii && used != 0) {
                // Set the padding bits of the last status word in every record.
                const unsigned padding = (0xFFFFu << used) & 0xFFFFu;
                for (std::size_t end = cfg->recordSize; end <= bytes.size(); end += cfg->recordSize) {
                    bytes[end - 2] = char(static_cast<unsigned char>(bytes[end - 2]) | (padding & 0xFFu));
                    bytes[end - 1] = char(static_cast<unsigned char>(bytes[end - 1]) | (padding >> 8));
                }
            }
            ASSERT_TRUE(writeFile(dir.file("rec.dat"), bytes));
            Dat dat(*cfg);
            ASSERT_EQ(dat.load(dir.file("rec.dat")), 0);
            expectMatches(dat, rec);
        }
    }
}
