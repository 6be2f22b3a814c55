// Selective loads and blocks: the channels and the window asked for, read
// without the rest, must give exactly the values and times of the same
// records of a whole load; selections a recording cannot satisfy give 7.

#include "writer/ComtradeWriter.h"

#include <KivComtradeLib/ChunkReader.h>
#include <KivComtradeLib/ColumnarRecording.h>
#include <KivComtradeLib/Comtrade.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

using namespace KivTest;
using KivComtradeLib::ChunkReader;
using KivComtradeLib::ColumnarRecording;
using KivComtradeLib::ColumnChunk;
using KivComtradeLib::LoadOptions;
namespace E = KivComtradeLib::Enums;

namespace {

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The records of `full` whose times fall in [from, to], read by hand.
std::vector<std::size_t> recordsIn(const ColumnarRecording& full, double from, double to)
{
    std::vector<std::size_t> ks;
    for (std::size_t k = 0; k < full.count; ++k)
        if (full.time[k] >= from && full.time[k] <= to)
            ks.push_back(k);
    return ks;
}

// `part` holds the records `ks` of `full`, channels as its indices say.
void expectPartOf(const ColumnarRecording& full, const ColumnarRecording& part, const std::vector<std::size_t>& ks,
                  const std::string& what)
{
    ASSERT_EQ(part.count, ks.size()) << what;
    ASSERT_EQ(part.firstRecord, ks.front()) << what;
    ASSERT_FALSE(part.report.selection.empty()) << what;
    for (std::size_t i = 0; i < ks.size(); ++i) {
        bool same = sameBits(part.time[i], full.time[ks[i]]);
        for (std::size_t c : part.analogChannelIndices)
            same = same && sameBits(part.analogRow(c)[i], full.analogRow(c)[ks[i]]);
        for (std::size_t d : part.statusChannelIndices)
            same = same && part.statusRow(d)[i] == full.statusRow(d)[ks[i]];
        ASSERT_TRUE(same) << what << ": record " << ks[i];
    }
}

// The blocks of a ChunkReader joined: the same as one selective load.
void expectChunksAsLoad(const std::string& path, const LoadOptions& options, const ColumnarRecording& part,
                        std::size_t samples)
{
    ChunkReader reader;
    ASSERT_EQ(reader.open(path, samples, options), 0) << path;
    ASSERT_EQ(reader.analogChannelIndices, part.analogChannelIndices);
    std::size_t at = 0;
    for (ColumnChunk chunk; reader.next(chunk);) {
        ASSERT_TRUE(chunk.count > 0 && chunk.count <= samples && chunk.first == part.firstRecord + at) << path;
        ASSERT_TRUE(chunk.time.capacity() <= samples) << "a block holds at most its size";
        for (std::size_t i = 0; i < chunk.count; ++i, ++at) {
            bool same = sameBits(chunk.time[i], part.time[at]);
            for (std::size_t r = 0; r < reader.analogChannelIndices.size(); ++r)
                same = same && sameBits(chunk.analog[r * chunk.count + i], part.analog[r * part.count + at]);
            for (std::size_t r = 0; r < reader.statusChannelIndices.size(); ++r)
                same = same && chunk.status[r * chunk.count + i] == part.status[r * part.count + at];
            ASSERT_TRUE(same) << path << ": block record " << at;
        }
    }
    EXPECT_EQ(reader.report.result, 0) << reader.report.message;
    EXPECT_EQ(at, part.count) << path;
    EXPECT_EQ(reader.report.selection, part.report.selection);
}

// Windows and channel choices over one recording, each checked against its
// whole load (and through blocks of 7 records).
void expectSelectionsAsWholeLoad(const std::string& path, bool mustLoad = true)
{
    ColumnarRecording full;
    if (!mustLoad && full.load(path) == 5)
        return; // a configuration without its data file
    ASSERT_EQ(full.load(path), 0) << path;
    ASSERT_GT(full.count, 0u);
    const std::size_t n = full.count, analogs = full.cfg.analogChannels.size(), states = full.cfg.binaryChannels.size();
    const double inf = INFINITY;
    struct Case {
        double from, to;
        bool channels;
    };
    const Case cases[] = {
        {full.time[n / 3], full.time[2 * n / 3], true}, // bounds on samples: both included
        {-inf, full.time[n / 4], false},
        {full.time[n - 1] - 1e-12, inf, true},          // the last record alone
        {-1.0, full.time[0], true},
        {(full.time[n / 2] + full.time[n / 2 + (n > 1)]) / 2, inf, true}, // between two samples
    };
    for (const Case& c : cases) {
        const std::vector<std::size_t> ks = recordsIn(full, c.from, c.to);
        if (ks.empty() || ks.back() - ks.front() + 1 != ks.size())
            continue; // times that go back: no window of consecutive records
        LoadOptions options;
        if (c.from != -inf)
            options.windowFrom = c.from;
        if (c.to != inf)
            options.windowTo = c.to;
        if (c.channels) {
            if (analogs > 0)
                options.analogIndices = {analogs - 1, 0};
            if (states > 0)
                options.statusIndices = {states / 2};
        }
        ColumnarRecording part;
        const std::string what = path + " [" + std::to_string(c.from) + ", " + std::to_string(c.to) + "]";
        ASSERT_EQ(part.load(path, options), 0) << what << ": " << part.report.message;
        if (c.channels) {
            EXPECT_EQ(part.analogChannelIndices.size() + part.statusChannelIndices.size(),
                      std::size_t(analogs > 1) + (analogs > 0) + (states > 0)) << what;
        }
        expectPartOf(full, part, ks, what);
        expectChunksAsLoad(path, options, part, 7);
    }
}

} // namespace

TEST(SelectiveLoad, RealRecordingsGiveTheSameRecordsAsWholeLoads)
{
    const std::string root = sharedSamplesDir();
    if (root.empty())
        GTEST_SKIP() << "no ../shared/samples beside the project: real recordings not tested";
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        const std::string ext = entry.path().extension().string();
        if (ext == ".cfg" || ext == ".CFG" || ext == ".cff")
            expectSelectionsAsWholeLoad(entry.path().string(), false);
    }
}

// Multi-rate tables, time stamps (a rate of 0), every data-file type, combined files.
TEST(SelectiveLoad, GeneratedTimeBasesAndTypes)
{
    TempDir dir("selection");
    int made = 0;
    for (E::DataFileType type : {E::Ascii, E::Binary, E::Binary32, E::Float32}) {
        for (int rates = 0; rates < 3; ++rates) {
            RecordingLayout design;
            design.type = type;
            design.analogs = {AnalogLayout{"IA", "", "", "A", 0.5}, AnalogLayout{"IB", "", "", "V"}, AnalogLayout{"UC", "", "", "kV", 0.01}};
            design.statuses.assign(19, StatusLayout{});
            design.statuses[3].id = "TRIP";
            if (rates == 1)
                design.rates = {{1000.0, 30}, {250.0, 70}, {4000.0, 150}};
            else if (rates == 2)
                design.rates = {{0.0, 150}}; // times from the time stamps
            const Recording rec = makeRecording(design, 150);
            const std::string base = dir.file("r" + std::to_string(made++));
            ASSERT_TRUE(writeRecording(rec, base) && writeFile(base + "c.cff", cffBytes(rec)));
            expectSelectionsAsWholeLoad(base + ".cfg");
            expectSelectionsAsWholeLoad(base + "c.cff");

            // By name, from the trigger (100 ms after the first sample).
            LoadOptions options;
            options.channelNames = {"TRIP", "UC"};
            options.windowFromTrigger = true;
            options.windowFrom = -0.004;
            options.windowTo = 0.0;
            ColumnarRecording full, part;
            ASSERT_EQ(full.load(base + ".cfg"), 0);
            ASSERT_EQ(part.load(base + ".cfg", options), 0) << part.report.message;
            EXPECT_EQ(part.analogChannelIndices, std::vector<std::size_t>{2});
            EXPECT_EQ(part.statusChannelIndices, std::vector<std::size_t>{3});
            EXPECT_TRUE(part.analogRow(0) == nullptr && part.analogRow(2) != nullptr);
            expectPartOf(full, part, recordsIn(full, full.cfg.triggerOffset - 0.004, full.cfg.triggerOffset), base);
            KivComtradeLib::Comtrade facade; // reads everything, and says so
            ASSERT_EQ(facade.load(base + ".cfg", options), 0);
            EXPECT_TRUE(facade.dat.samples.size() == 150 && facade.report.warnings.back().find("selection") != std::string::npos);
        }
    }
}

// A text file longer than the reader's 4 MiB block: lines cut by a block's
// end are read whole, with CR LF line ends too.
TEST(SelectiveLoad, TextLongerThanOneBlock)
{
    TempDir dir("long");
    RecordingLayout design;
    design.analogs = {AnalogLayout{"IA", "", "", "V"}, AnalogLayout{"IB", "", "", "V"}, AnalogLayout{"IC", "", "", "V"}};
    design.statuses.assign(40, StatusLayout{});
    design.crlf = true;
    design.rates = {{2000.0, 60000}};
    ASSERT_TRUE(writeRecording(makeRecording(design, 60000), dir.file("long")));
    ASSERT_GT(std::filesystem::file_size(dir.file("long.dat")), 5u << 20);
    expectSelectionsAsWholeLoad(dir.file("long.cfg"));
}

TEST(SelectiveLoad, SelectionsTheRecordingCannotSatisfy)
{
    TempDir dir("unsatisfied");
    RecordingLayout design;
    design.analogs = {AnalogLayout{"IA", "", "", "V"}, AnalogLayout{"IB", "", "", "V"}};
    design.statuses.assign(2, StatusLayout{});
    design.triggerTime = "09/44/2025,00:00:00.000000"; // no possible date: no trigger
    for (E::DataFileType type : {E::Ascii, E::Binary}) {
        design.type = type;
        const std::string base = dir.file(type == E::Ascii ? "a" : "b");
        ASSERT_TRUE(writeRecording(makeRecording(design, 50), base)); // 0 to 0.049 s
        const auto set = [](auto change) {
            LoadOptions o;
            change(o);
            return o;
        };
        const struct { LoadOptions options; const char* said; } cases[] = {
            {set([](LoadOptions& o) { o.channelNames = {"IA", "IX"}; }), "no channel named 'IX'"},
            {set([](LoadOptions& o) { o.analogIndices = {2}; }), "no analog channel 2 (2 analog channels"},
            {set([](LoadOptions& o) { o.statusIndices = {5}; }), "no status channel 5"},
            {set([](LoadOptions& o) { o.selectChannels = true; }), "the selection names no channel"},
            {set([](LoadOptions& o) { o.windowFrom = 1.0; }), "holds no sample"},
            {set([](LoadOptions& o) { o.windowTo = -0.5; }), "holds no sample"},
            {set([](LoadOptions& o) { o.windowFrom = 0.0105; o.windowTo = 0.0107; }), "holds no sample"},
            {set([](LoadOptions& o) { o.windowFrom = 0.02; o.windowTo = 0.01; }), "starts (0.02 s) after it ends"},
            {set([](LoadOptions& o) { o.windowFromTrigger = true; o.windowFrom = 0.0; }), "gives none"},
        };
        for (const auto& c : cases) {
            ColumnarRecording part;
            EXPECT_EQ(part.load(base + ".cfg", c.options), 7) << c.said;
            EXPECT_NE(part.report.message.find(c.said), std::string::npos) << part.report.message;
            EXPECT_TRUE(part.count == 0 && part.time.empty() && part.analog.empty());
            ChunkReader reader;
            ColumnChunk chunk;
            const int opened = reader.open(base + ".cfg", 16, c.options);
            EXPECT_TRUE(opened == 7 || (opened == 0 && !reader.next(chunk) && reader.report.result == 7)) << c.said;
            EXPECT_NE(reader.report.message.find(c.said), std::string::npos) << reader.report.message;
        }
    }
}

// A file that ends early: the blocks stop where a whole load stops, and a
// record that does not decode fails the block that holds it.
TEST(ChunkReader, ShortAndBrokenFiles)
{
    TempDir dir("chunks");
    RecordingLayout design;
    design.analogs = {AnalogLayout{"IA", "", "", "V"}};
    design.type = E::Ascii;
    const Recording rec = makeRecording(design, 40);
    std::string text = datBytes(rec);
    ASSERT_TRUE(writeFile(dir.file("short.cfg"), cfgText(design, 60)) && writeFile(dir.file("short.dat"), text));
    ChunkReader reader;
    ASSERT_EQ(reader.open(dir.file("short.cfg"), 16), 0);
    std::size_t total = 0;
    for (ColumnChunk chunk; reader.next(chunk);)
        total += chunk.count;
    EXPECT_TRUE(total == 40 && reader.report.result == 0 && reader.recordsRead == 40);

    text.replace(text.find("\n30,") + 1, 2, "x0");
    ASSERT_TRUE(writeFile(dir.file("broken.cfg"), cfgText(design, 40)) && writeFile(dir.file("broken.dat"), text));
    ASSERT_EQ(reader.open(dir.file("broken.cfg"), 16), 0);
    ColumnChunk chunk;
    EXPECT_TRUE(reader.next(chunk) && !reader.next(chunk));
    EXPECT_EQ(reader.report.result, 6);
    EXPECT_NE(reader.report.message.find("line 30"), std::string::npos) << reader.report.message;
    EXPECT_EQ(reader.open(dir.file("none.cfg"), 16), 2);
    EXPECT_FALSE(reader.next(chunk));
}
