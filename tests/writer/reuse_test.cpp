// Writes that copy the raw data values of the source's unchanged data file
// must give the very bytes of writes rebuilt from the arrays; a data file
// changed after the load, or a request the copy cannot serve, takes the
// general path.

#include "writer/ComtradeWriter.h"

#include <KivComtradeLib/ColumnarRecording.h>
#include <KivComtradeLib/Writer.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>
#include <vector>

using namespace KivTest;
using KivComtradeLib::ColumnarRecording;
using KivComtradeLib::WriteOptions;
using KivComtradeLib::WriteReport;
using KivComtradeLib::Writer;
namespace E = KivComtradeLib::Enums;
namespace fs = std::filesystem;

namespace {

// A load only trusts a data file last touched before it began, on the
// coarse clock file times use.
void letFileTimesAge()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
}

std::string bytesOf(const WriteReport& report)
{
    std::string all;
    for (const std::string& file : report.files)
        all += file + "\n" + readFile(file);
    return all;
}

// Writes `rec` as `out` both ways; expects the same bytes and returns whether
// the data file was reused.
bool expectSameBytes(const ColumnarRecording& rec, const std::string& out, WriteOptions options, const std::string& what)
{
    options.reuseDataFile = false;
    const WriteReport general = Writer::write(rec, out, options);
    const std::string expected = bytesOf(general);
    options.reuseDataFile = true;
    const WriteReport copied = Writer::write(rec, out, options);
    EXPECT_EQ(general.result, copied.result) << what << ": " << copied.message;
    EXPECT_FALSE(general.dataFileReused) << what;
    EXPECT_EQ(general.rescaledChannels, copied.rescaledChannels) << what;
    EXPECT_TRUE(expected == bytesOf(copied)) << what << ": other bytes when the data file is reused";
    return copied.dataFileReused;
}

// Enough records for several blocks of every written layout (the blocks
// are prepared on a second thread).
constexpr std::size_t kRecords = 120000;
constexpr double kAll = 1e9;

RecordingLayout design(E::DataFileType type)
{
    RecordingLayout d;
    d.type = type;
    const double top = type == E::Binary ? 32767 : 2147483647;
    d.analogs = {AnalogLayout{"IA", "A", "", "A", 0.25, -1, 0, -top, top, 1, 1, 'S'},
                 AnalogLayout{"UB", "B", "", "kV", 0.013500000000000002, 0.5, 10, -top, top, 1000, 5, 'P'},
                 AnalogLayout{"IN", "N", "", "A", 1e-3, 0, 0, -top, top, 1, 1, 'S'}};
    for (int s = 1; s <= 19; ++s)
        d.statuses.push_back(StatusLayout{"D" + std::to_string(s), "", "", s % 2});
    d.rates = {{1000.0, 120}, {500.0, 300}, {250.0, kRecords}};
    return d;
}

// Missing values, the extremes of the type and states that change; the
// status words' unused bits set in the file (no state, not to be kept).
Recording sourceRecording(E::DataFileType type)
{
    Recording rec = makeRecording(design(type), kRecords);
    const double top = type == E::Binary ? 32767 : 2147483647;
    for (std::size_t k = 0; k < rec.records.size(); ++k) {
        Record& r = rec.records[k];
        if (k % 37 == 5)
            r.raw[k % 3] = -top - 1;
        if (k == 7)
            r.raw = {top, -top, 99999};
        for (std::size_t s = 0; s < r.status.size(); ++s)
            r.status[s] = (k * 7 + s * 3) % 5 < 2;
    }
    return rec;
}

void setUnusedStatusBits(const std::string& datPath, const Recording& rec)
{
    std::string bytes = readFile(datPath);
    const std::size_t width = rec.design.type == E::Binary ? 2 : 4;
    const std::size_t size = 8 + width * rec.design.analogs.size() + 4;
    for (std::size_t at = 0; at + size <= bytes.size(); at += size) {
        bytes[at + size - 2] = static_cast<char>(bytes[at + size - 2] | 0xF8); // states 20..24 of 19
        bytes[at + size - 1] = static_cast<char>(0xFF);
    }
    ASSERT_TRUE(writeFile(datPath, bytes));
}

} // namespace

// Every binary real recording (pairs), to every integer type, both
// revisions, whole, windowed and with some channels.
TEST(WriterReuse, RealRecordingsSameBytes)
{
    const std::string root = sharedSamplesDir();
    if (root.empty())
        GTEST_SKIP() << "no ../shared/samples beside the project: real recordings not tested";
    TempDir dir("reuse-real");
    int reused = 0;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string ext = entry.path().extension().string();
        if (ext != ".cfg" && ext != ".CFG")
            continue;
        ColumnarRecording rec;
        if (rec.load(entry.path().string()) != 0 || rec.cfg.dataFileType == E::Ascii || rec.count < 4)
            continue;
        const double mid = rec.time[rec.count / 4], late = rec.time[3 * rec.count / 4];
        for (const E::DataFileType type : {E::Ascii, E::Binary, E::Binary32}) {
            for (const int revision : {1999, 2013}) {
                const struct { double from, to; std::vector<std::string> channels; } requests[] = {
                    {-1e300, 1e300, {}}, {mid, late, {}}, {mid, 1e300, {"A2", "A1", "D2"}}};
                for (const auto& request : requests) {
                    WriteOptions options;
                    options.type = type;
                    options.revision = revision;
                    options.from = request.from;
                    options.to = request.to;
                    options.channels = request.channels;
                    const std::string what = entry.path().string() + " as " + std::to_string(type) + "/" +
                                             std::to_string(revision) + " from " + std::to_string(request.from);
                    reused += expectSameBytes(rec, dir.file("out.cfg"), options, what);
                }
            }
        }
    }
    EXPECT_GT(reused, 0);
}

// Synthetic BINARY and BINARY32 sources: multi-rate windows, selections,
// missing values, widening, a .cff, and the requests that cannot reuse
// the file (narrowing, FLOAT32, 99999 in a 1999 text file).
TEST(WriterReuse, SyntheticRequests)
{
    TempDir dir("reuse-synthetic");
    const struct {
        E::DataFileType from, to;
        int revision;
        double start, end;
        std::vector<std::string> channels;
        const char* out;
        bool reused;
        KivComtradeLib::ValueSide side = KivComtradeLib::ValueSide::Secondary;
    } cases[] = {
        {E::Binary, E::Binary, 2013, -1, kAll, {}, "out.cfg", true},
        {E::Binary, E::Binary, 1999, 0.05, 0.5, {}, "out.cfg", true},
        {E::Binary, E::Binary, 2013, 1.0, 300.0, {}, "out.cfg", true},
        {E::Binary, E::Ascii, 2013, 1.0, 300.0, {}, "out.cfg", true},
        {E::Binary, E::Binary, 2013, 0.119, 0.121, {"A3", "IA", "D19", "D2", "D17"}, "out.cfg", true},
        {E::Binary, E::Binary32, 2013, -1, kAll, {}, "out.cff", true},
        {E::Binary, E::Ascii, 1999, -1, kAll, {}, "out.cfg", true},
        {E::Binary, E::Ascii, 2013, 0.3, kAll, {"D3", "UB"}, "out.cfg", true},
        {E::Binary, E::Binary, 2013, -1, kAll, {}, "out.cfg", true, KivComtradeLib::ValueSide::Primary},
        {E::Binary, E::Ascii, 2013, -1, kAll, {}, "out.cfg", true, KivComtradeLib::ValueSide::Recorded},
        {E::Binary, E::Float32, 2013, -1, kAll, {}, "out.cfg", false},
        {E::Binary32, E::Binary32, 2013, -1, kAll, {}, "out.cfg", true},
        {E::Binary32, E::Ascii, 2013, 0.01, kAll, {"IN", "D1"}, "out.cff", true},
        {E::Binary32, E::Ascii, 1999, -1, kAll, {}, "out.cfg", false}, // 99999 is the text marker
        {E::Binary32, E::Binary, 2013, -1, kAll, {}, "out.cfg", false},
    };
    for (const E::DataFileType type : {E::Binary, E::Binary32}) {
        const Recording source = sourceRecording(type);
        const std::string base = dir.file(type == E::Binary ? "b16" : "b32");
        ASSERT_TRUE(writeRecording(source, base));
        setUnusedStatusBits(base + ".dat", source);
    }
    letFileTimesAge();
    for (const auto& c : cases) {
        ColumnarRecording rec;
        KivComtradeLib::LoadOptions load;
        load.side = c.side;
        ASSERT_EQ(rec.load(dir.file(c.from == E::Binary ? "b16.cfg" : "b32.cfg"), load), 0) << rec.report.message;
        WriteOptions options;
        options.type = c.to;
        options.revision = c.revision;
        options.from = c.start;
        options.to = c.end;
        options.channels = c.channels;
        const std::string what = std::to_string(c.from) + " to " + std::to_string(c.to) + "/" +
                                 std::to_string(c.revision) + " " + c.out + " from " + std::to_string(c.start);
        EXPECT_EQ(expectSameBytes(rec, dir.file(c.out), options, what), c.reused) << what;
    }
}

// Whatever happened to the data file or to the recording after the load,
// the write reads the arrays: never the bytes of another file.
TEST(WriterReuse, ChangedSourceTakesTheArrays)
{
    TempDir dir("reuse-changed");
    const Recording source = sourceRecording(E::Binary);
    const std::string base = dir.file("in");
    const auto fresh = [&](ColumnarRecording& rec) {
        ASSERT_TRUE(writeRecording(source, base));
        letFileTimesAge();
        ASSERT_EQ(rec.load(base + ".cfg"), 0);
    };
    const Recording other = makeRecording(design(E::Binary), kRecords); // other values, same size
    const struct {
        const char* what;
        std::function<void(ColumnarRecording&)> change;
    } cases[] = {
        {"rewritten", [&](ColumnarRecording&) { ASSERT_TRUE(writeFile(base + ".dat", datBytes(other))); }},
        {"removed", [&](ColumnarRecording&) { fs::remove(base + ".dat"); }},
        {"replaced", [&](ColumnarRecording&) {
             ASSERT_TRUE(writeFile(base + ".new", datBytes(other)));
             fs::rename(base + ".new", base + ".dat");
         }},
        {"times put back", [&](ColumnarRecording&) {
             const auto then = fs::last_write_time(base + ".dat");
             ASSERT_TRUE(writeFile(base + ".dat", datBytes(other)));
             fs::last_write_time(base + ".dat", then);
         }},
        {"gain changed", [&](ColumnarRecording& rec) { rec.cfg.analogChannels[0].a *= 2.0; }},
        {"arrays replaced", [&](ColumnarRecording& rec) { rec.analog = std::vector<double>(rec.analog); }},
    };
    for (const auto& c : cases) {
        ColumnarRecording rec;
        fresh(rec);
        c.change(rec);
        WriteOptions options;
        options.reuseDataFile = false;
        const WriteReport general = Writer::write(rec, dir.file("general.cfg"), options);
        options.reuseDataFile = true;
        const WriteReport report = Writer::write(rec, dir.file("out.cfg"), options);
        ASSERT_TRUE(general.ok() && report.ok()) << c.what << ": " << report.message;
        EXPECT_FALSE(report.dataFileReused) << c.what;
        EXPECT_TRUE(readFile(dir.file("out.dat")) == readFile(dir.file("general.dat"))) << c.what;
    }
    // Loaded from memory, or a window only: no file to reuse.
    ColumnarRecording rec;
    fresh(rec);
    KivComtradeLib::LoadOptions window;
    window.windowFrom = 0.1;
    ASSERT_EQ(rec.load(base + ".cfg", window), 0);
    WriteOptions reuse;
    reuse.reuseDataFile = true;
    EXPECT_FALSE(Writer::write(rec, dir.file("out.cfg"), reuse).dataFileReused);
    const std::string dat = readFile(base + ".dat");
    ASSERT_EQ(rec.loadFromMemory(readFile(base + ".cfg"), dat.data(), dat.size()), 0);
    EXPECT_FALSE(Writer::write(rec, dir.file("out.cfg"), reuse).dataFileReused);
    // Unless asked for, a write reads the arrays: an edit made in place is written.
    ASSERT_EQ(rec.load(base + ".cfg"), 0);
    ASSERT_NE(rec.analog[0], rec.analog[1]);
    std::swap(rec.analog[0], rec.analog[1]); // two values of one channel: still exact
    ASSERT_TRUE(Writer::write(rec, dir.file("edited.cfg")).ok());
    ColumnarRecording back;
    ASSERT_EQ(back.load(dir.file("edited.cfg")), 0);
    EXPECT_TRUE(back.analog[0] == rec.analog[0] && back.analog[1] == rec.analog[1]);
}
