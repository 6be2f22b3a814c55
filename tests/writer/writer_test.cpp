// The public writer: every real recording to every type and revision and back,
// windows of multi-rate recordings, channel selections, arrays, and the
// requests that must fail without leaving a file behind.

#include "writer/ComtradeWriter.h"

#include <KivComtradeLib/ColumnarRecording.h>
#include <KivComtradeLib/Comtrade.h>
#include <KivComtradeLib/Writer.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

using namespace KivTest;
using KivComtradeLib::ColumnarRecording;
using KivComtradeLib::Comtrade;
using KivComtradeLib::RecordingArrays;
using KivComtradeLib::WriteOptions;
using KivComtradeLib::WriteReport;
using KivComtradeLib::Writer;
namespace E = KivComtradeLib::Enums;
namespace fs = std::filesystem;

namespace {

const E::DataFileType kTypes[] = {E::Ascii, E::Binary, E::Binary32, E::Float32};

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

int bitsOf(E::DataFileType type) { return type == E::Binary ? 16 : type == E::Float32 ? 0 : 32; }

// How far a value read back may be from the source's: 0 when the source's
// integers are kept; half a step of the written gain when rescaled; float
// rounding for FLOAT32.
double tolerance(const KivComtradeLib::AnalogChannelConfig& written, E::DataFileType type, double v)
{
    // The reader's own (raw * a + b) * m rounds: a few units in the last place of its terms.
    const double m = std::fabs(written.multiplier),
                 slack = 1e-12 * std::fabs(v) + 1e-15 * (std::fabs(written.b) + 2147483648.0 * std::fabs(written.a)) * m + 1e-300;
    if (type == E::Float32)
        return std::fabs(v / written.multiplier - written.b) * m * 1.2e-7 + slack;
    return 0.5 * std::fabs(written.a) * m * (1.0 + 1e-9) + slack;
}

// `back` holds `source`'s records [first, first + back's count), times moved by `shift`.
void expectSameRecording(const Comtrade& source, const Comtrade& back, E::DataFileType type, bool exact,
                         const std::string& what, std::size_t first = 0, double shift = 0.0,
                         const std::vector<std::size_t>& analogs = {}, const std::vector<std::size_t>& statuses = {})
{
    const auto& sc = source.cfg;
    const auto& bc = back.cfg;
    std::vector<std::size_t> as = analogs, ds = statuses;
    if (as.empty() && ds.empty()) {
        for (std::size_t c = 0; c < sc.analogChannels.size(); ++c)
            as.push_back(c);
        for (std::size_t c = 0; c < sc.binaryChannels.size(); ++c)
            ds.push_back(c);
    }
    ASSERT_EQ(bc.analogChannels.size(), as.size()) << what;
    ASSERT_EQ(bc.binaryChannels.size(), ds.size()) << what;
    EXPECT_TRUE(bc.stationName == sc.stationName && bc.recDevId == sc.recDevId) << what;
    for (std::size_t i = 0; i < as.size(); ++i) {
        const auto &s = sc.analogChannels[as[i]], &b = bc.analogChannels[i];
        EXPECT_TRUE(s.channelId == b.channelId && s.phase == b.phase && s.circuitComponent == b.circuitComponent &&
                    s.unit == b.unit) << what << " analog " << i;
        if (exact) {
            EXPECT_TRUE(s.a == b.a && s.b == b.b && s.skew == b.skew && s.min == b.min && s.max == b.max &&
                        s.primary == b.primary && s.secondary == b.secondary) << what << " analog " << i;
        }
    }
    for (std::size_t i = 0; i < ds.size(); ++i)
        EXPECT_EQ(sc.binaryChannels[ds[i]].channelId, bc.binaryChannels[i].channelId) << what;
    const std::size_t n = back.dat.samples.size();
    ASSERT_LE(first + n, source.dat.samples.size()) << what;
    for (std::size_t k = 0; k < n; ++k) {
        const auto &s = source.dat.samples[first + k], &b = back.dat.samples[k];
        if (shift == 0.0)
            ASSERT_TRUE(sameBits(s.time, b.time)) << what << " record " << k << ": " << s.time << " " << b.time;
        else
            ASSERT_NEAR(s.time - shift, b.time, 1e-9 + 1e-12 * s.time) << what << " record " << k;
        for (std::size_t i = 0; i < as.size(); ++i) {
            const double v = s.analogValues[as[i]], w = b.analogValues[i];
            const bool ok = exact ? sameBits(v, w)
                                  : (std::isnan(v) ? std::isnan(w)
                                                   : std::fabs(v - w) <= tolerance(bc.analogChannels[i], type, v));
            ASSERT_TRUE(ok) << what << " record " << k << " analog " << i << ": " << v << " read back as " << w;
        }
        for (std::size_t i = 0; i < ds.size(); ++i)
            ASSERT_EQ(s.binaryValues[ds[i]], b.binaryValues[i]) << what << " record " << k << " status " << i;
    }
}

std::vector<std::string> realRecordings(const std::string& root)
{
    std::vector<std::string> paths;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string ext = entry.path().extension().string();
        if (ext == ".cfg" || ext == ".CFG" || ext == ".cff") {
            Comtrade probe;
            if (probe.load(entry.path().string()) == 0)
                paths.push_back(entry.path().string());
        }
    }
    return paths;
}

std::string crlf(std::string text)
{
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return toCrLf(text);
}

// The pair of `path` with CR LF line ends in `dir` (an ASCII .dat too).
std::string crlfCopy(const std::string& path, const TempDir& dir, const Comtrade& loaded)
{
    const std::string stem = fs::path(path).stem().string();
    const std::string cfg = dir.file(stem + ".cfg");
    writeFile(cfg, crlf(readFile(loaded.cfgFileName)));
    std::string dat = readFile(loaded.datFileName);
    if (dat.empty())
        dat = readFile(fs::path(path).replace_extension(".DAT").string());
    writeFile(dir.file(stem + ".dat"), loaded.cfg.dataFileType == E::Ascii ? crlf(dat) : dat);
    return cfg;
}

AnalogLayout analog(const std::string& id)
{
    AnalogLayout layout;
    layout.id = id;
    return layout;
}

StatusLayout status(const std::string& id)
{
    StatusLayout layout;
    layout.id = id;
    return layout;
}

} // namespace

// Every real recording (and its CR LF copy) to every type and both revisions:
// the integers of an integer source are kept in the same or a wider type.
TEST(WriterRoundTrip, RealRecordingsToEveryTypeAndRevision)
{
    const std::string root = sharedSamplesDir();
    if (root.empty())
        GTEST_SKIP() << "no ../shared/samples beside the project: real recordings not tested";
    TempDir dir("writer-real");
    const auto paths = realRecordings(root);
    ASSERT_GE(paths.size(), 12u);
    for (const std::string& path : paths) {
        Comtrade source, crlfSource;
        ASSERT_EQ(source.load(path), 0) << path;
        const bool combined = fs::path(path).extension() == ".cff";
        if (!combined) {
            ASSERT_EQ(crlfSource.load(crlfCopy(path, dir, source)), 0) << path << ": " << crlfSource.report.message;
        }
        for (const E::DataFileType type : kTypes) {
            for (const int revision : {1999, 2013}) {
                const std::string what = path + " as " + std::to_string(type) + "/" + std::to_string(revision);
                WriteOptions options;
                options.type = type;
                options.revision = revision;
                const std::string out = dir.file("out.cfg");
                const WriteReport report = Writer::write(source, out, options);
                ASSERT_TRUE(report.ok()) << what << ": " << report.message;
                Comtrade back;
                ASSERT_EQ(back.load(out), 0) << what << ": " << back.report.message;
                EXPECT_EQ(back.cfg.revYear, revision) << what;
                EXPECT_EQ(back.report.missingValues, source.report.missingValues) << what;
                EXPECT_EQ(back.report.warnings.size(), source.report.missingValues ? 1u : 0u) << what;
                const E::DataFileType from = source.cfg.dataFileType;
                const bool exact = from != E::Float32 && bitsOf(type) >= bitsOf(from) &&
                                   !(type == E::Ascii && revision == 1999 && source.cfg.revYear >= 2013);
                expectSameRecording(source, back, type, exact, what);
                if (revision == 2013 && !source.cfg.timeCode.empty()) {
                    EXPECT_EQ(back.cfg.timeCode, source.cfg.timeCode) << what;
                }
                for (const auto line : {&KivComtradeLib::Cfg::start, &KivComtradeLib::Cfg::trigger}) {
                    const auto &s = source.cfg.*line, &b = back.cfg.*line;
                    EXPECT_TRUE(!s.valid || (b.valid && s.year == b.year && s.month == b.month && s.day == b.day &&
                                             s.hour == b.hour && s.second == b.second && s.nanosecond == b.nanosecond))
                        << what << ": " << b.text;
                }
                // Every line ends in CR LF.
                const std::string text = readFile(out);
                for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1))
                    ASSERT_TRUE(at > 0 && text[at - 1] == '\r') << what;
                if (!combined) {
                    const std::string bytes = readFile(dir.file("out.dat"));
                    ASSERT_TRUE(Writer::write(crlfSource, out, options).ok()) << what;
                    EXPECT_TRUE(readFile(dir.file("out.dat")) == bytes && readFile(out) == text)
                        << what << ": the CR LF copy writes other bytes";
                }
            }
        }
        // A .cff of it reads back as the pair does.
        ASSERT_TRUE(Writer::write(source, dir.file("combined.cff")).ok()) << path;
        Comtrade combinedBack;
        ASSERT_EQ(combinedBack.load(dir.file("combined.cff")), 0) << path << ": " << combinedBack.report.message;
        expectSameRecording(source, combinedBack, E::Binary, source.cfg.dataFileType == E::Binary, path + " as .cff");
        const auto rstrip = [](std::string text) {
            text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
            return text.erase(text.find_last_not_of('\n') + 1);
        };
        EXPECT_EQ(rstrip(combinedBack.headerText), rstrip(source.headerText)) << path;
    }
}

// A window of a multi-rate recording keeps the segments it crosses,
// renumbered, and the start moves to its first record.
TEST(WriterWindow, MultiRateSegmentsAndStart)
{
    RecordingLayout design;
    design.type = E::Binary;
    design.analogs = {AnalogLayout{"IA", "A", "", "A", 0.5, 0, 0, -32767, 32767, 1, 1, 'S'}};
    design.statuses.assign(3, StatusLayout{});
    design.rates = {{1000.0, 100}, {500.0, 300}, {250.0, 400}};
    TempDir dir("writer-window");
    ASSERT_TRUE(writeRecording(makeRecording(design, 400), dir.file("in")));
    Comtrade source;
    ASSERT_EQ(source.load(dir.file("in.cfg")), 0);
    const struct { double from, to; std::size_t first, count; std::vector<std::pair<double, unsigned long long>> rates; } cases[] = {
        {0.05, 0.3 + 1e-9, 50, 151, {{1000, 50}, {500, 151}}},            // 0.05 .. 0.1 + 100/500
        {0.2, 0.9, 150, 250, {{500, 150}, {250, 250}}},            // to the end
        {0.0505, 0.0595, 51, 9, {{1000, 9}}},                       // inside one segment
        {-1.0, 1e9, 0, 400, {{1000, 100}, {500, 300}, {250, 400}}}, // everything
    };
    for (const auto& c : cases) {
        WriteOptions options;
        options.from = c.from;
        options.to = c.to;
        const WriteReport report = Writer::write(source, dir.file("w.cff"), options);
        ASSERT_TRUE(report.ok()) << report.message;
        EXPECT_EQ(report.records, c.count);
        Comtrade back;
        ASSERT_EQ(back.load(dir.file("w.cff")), 0);
        ASSERT_EQ(back.cfg.samplingRates.size(), c.rates.size()) << c.from;
        for (std::size_t i = 0; i < c.rates.size(); ++i)
            EXPECT_TRUE(back.cfg.samplingRates[i].rate == c.rates[i].first &&
                        back.cfg.samplingRates[i].endSample == c.rates[i].second) << c.from << " segment " << i;
        const double shift = source.dat.samples[c.first].time;
        expectSameRecording(source, back, E::Binary, true, "window from " + std::to_string(c.from), c.first, shift);
        // The trigger stays where it was: it comes `shift` seconds nearer the start.
        EXPECT_NEAR(back.cfg.triggerOffset, source.cfg.triggerOffset - shift, 1e-9);
    }
}

// Time stamps: a window of a recording timed by its stamps counts from its
// first record; the whole recording keeps the source's stamps.
TEST(WriterWindow, TimedByStamps)
{
    RecordingLayout design;
    design.type = E::Ascii;
    design.analogs = {AnalogLayout{"U", "", "", "V", 1.0, 0, 0, -99999, 99999, 1, 1, 'S'}};
    design.rates = {{0.0, 50}};
    design.timeMultiplier = 2.0;
    Recording recording = makeRecording(design, 50);
    for (std::size_t k = 0; k < 50; ++k)
        recording.records[k].timeStamp = static_cast<std::uint32_t>(7 + k * k);
    TempDir dir("writer-stamps");
    ASSERT_TRUE(writeRecording(recording, dir.file("in")));
    Comtrade source;
    ASSERT_EQ(source.load(dir.file("in.cfg")), 0);
    for (const E::DataFileType type : kTypes) {
        WriteOptions options;
        options.type = type;
        ASSERT_TRUE(Writer::write(source, dir.file("all.cfg"), options).ok());
        Comtrade back;
        ASSERT_EQ(back.load(dir.file("all.cfg")), 0);
        EXPECT_FALSE(back.cfg.allRatesNonZero);
        expectSameRecording(source, back, type, type != E::Float32 && type != E::Binary, "stamps");
        options.from = source.dat.samples[10].time;
        ASSERT_TRUE(Writer::write(source, dir.file("part.cfg"), options).ok());
        ASSERT_EQ(back.load(dir.file("part.cfg")), 0);
        EXPECT_EQ(back.dat.samples.size(), 40u);
        expectSameRecording(source, back, type, type != E::Float32 && type != E::Binary, "stamps window", 10,
                            source.dat.samples[10].time);
    }
}

// Names and numbers, in the order given, each kind apart; analog first by name.
TEST(WriterChannels, Selection)
{
    RecordingLayout design;
    design.type = E::Binary;
    design.analogs = {analog("IA"), analog("IB"), analog("Trip")};
    design.statuses = {status("Trip"), status("CB open")};
    TempDir dir("writer-channels");
    ASSERT_TRUE(writeRecording(makeRecording(design, 20), dir.file("in")));
    Comtrade source;
    ASSERT_EQ(source.load(dir.file("in.cfg")), 0);
    const struct { std::vector<std::string> list; std::vector<std::size_t> analogs, statuses; } cases[] = {
        {{"A3", "1"}, {2, 0}, {}},
        {{"D2", " ib ", "IB"}, {1}, {1}},
        {{"Trip", "cb OPEN", "D1"}, {2}, {1, 0}},
    };
    for (const auto& c : cases) {
        WriteOptions options;
        options.channels = c.list;
        ASSERT_TRUE(Writer::write(source, dir.file("out.cfg"), options).ok()) << c.list[0];
        Comtrade back;
        ASSERT_EQ(back.load(dir.file("out.cfg")), 0);
        expectSameRecording(source, back, E::Binary, true, "selection " + c.list[0], 0, 0.0, c.analogs, c.statuses);
    }
}

// Requests that fail: a result, a sentence, and no file under any target name.
TEST(WriterFailures, ResultsAndNoFileLeft)
{
    RecordingLayout design;
    design.analogs = {analog("IA")};
    TempDir dir("writer-fail");
    ASSERT_TRUE(writeRecording(makeRecording(design, 10), dir.file("in")));
    Comtrade source, empty;
    ASSERT_EQ(source.load(dir.file("in.cfg")), 0);
    fs::create_directory(dir.file("taken.dat")); // the .dat cannot take this name
    const auto with = [](auto change) {
        WriteOptions o;
        change(o);
        return o;
    };
    const struct { const Comtrade* rec; std::string out; WriteOptions options; WriteReport::Result result; const char* words; } cases[] = {
        {&source, "out.txt", {}, WriteReport::BadOptions, "ends in none of"},
        {&source, "out.cfg", with([](WriteOptions& o) { o.revision = 1991; }), WriteReport::BadOptions, "revision 1991"},
        {&source, "out.cfg", with([](WriteOptions& o) { o.from = 2.0, o.to = 1.0; }), WriteReport::EmptyWindow, "runs from 0 s to 0.009 s"},
        {&source, "out.cfg", with([](WriteOptions& o) { o.from = 5.0; }), WriteReport::EmptyWindow, "no record lies"},
        {&source, "out.cfg", with([](WriteOptions& o) { o.channels = {"IX"}; }), WriteReport::UnknownChannel, "'IX'"},
        {&source, "out.cfg", with([](WriteOptions& o) { o.channels = {"A2"}; }), WriteReport::UnknownChannel, "'A2'"},
        {&source, "no/such/folder/out.cfg", {}, WriteReport::CannotWrite, "No such file"},
        {&source, "taken.cfg", {}, WriteReport::CannotWrite, "taken.dat"},
        {&empty, "out.cfg", {}, WriteReport::NotLoaded, "not loaded"},
    };
    for (const auto& c : cases) {
        const WriteReport report = Writer::write(*c.rec, dir.file(c.out), c.options);
        EXPECT_EQ(report.result, c.result) << c.out << ": " << report.message;
        EXPECT_NE(report.message.find(c.words), std::string::npos) << report.message;
        std::vector<std::string> left;
        for (const auto& entry : fs::directory_iterator(dir.path()))
            if (entry.path().filename() != "in.cfg" && entry.path().filename() != "in.dat" &&
                entry.path().filename() != "taken.dat")
                left.push_back(entry.path().filename().string());
        EXPECT_TRUE(left.empty()) << c.out << " left " << left.front();
    }
}

// Arrays: evenly spaced times become a rate, others stamps; each value reads
// back within half a step (float rounding for FLOAT32); NaN stays missing.
TEST(WriterArrays, ValuesTimesAndMissing)
{
    const std::size_t n = 500;
    RecordingArrays arrays;
    arrays.analogNames = {"Va", "Ia", "Flat"};
    arrays.analogUnits = {"kV", "A", "V"};
    arrays.statusNames = {"Trip"};
    arrays.station = "Sim";
    arrays.start.valid = true;
    arrays.start.year = 2026, arrays.start.month = 3, arrays.start.day = 14, arrays.start.hour = 9;
    arrays.start.nanosecond = 250000000;
    for (std::size_t k = 0; k < n; ++k)
        arrays.time.push_back(static_cast<double>(k) / 4000.0);
    for (std::size_t c = 0; c < 3; ++c)
        for (std::size_t k = 0; k < n; ++k)
            arrays.analog.push_back(c == 2 ? 42.0 : (c + 1) * 1e4 * std::sin(0.01 * static_cast<double>(k)) + 7.0);
    arrays.analog[3] = std::nan("");
    for (std::size_t k = 0; k < n; ++k)
        arrays.status.push_back(k > 200);
    TempDir dir("writer-arrays");
    for (const bool even : {true, false}) {
        if (!even)
            arrays.time[n / 2] += 1e-4;
        ColumnarRecording rec;
        ASSERT_TRUE(Writer::fromArrays(arrays, rec).ok());
        for (const E::DataFileType type : kTypes) {
            WriteOptions options;
            options.type = type;
            const WriteReport report = Writer::write(rec, dir.file("sim.cfg"), options);
            ASSERT_TRUE(report.ok()) << report.message;
            Comtrade back;
            ASSERT_EQ(back.load(dir.file("sim.cfg")), 0) << back.report.message;
            EXPECT_EQ(back.cfg.allRatesNonZero, even);
            EXPECT_TRUE(back.cfg.start.valid && back.cfg.start.hour == 9 && back.cfg.start.nanosecond == 250000000);
            for (std::size_t k = 0; k < n; ++k) {
                ASSERT_NEAR(back.dat.samples[k].time, arrays.time[k], 1e-6) << k;
                EXPECT_EQ(back.dat.samples[k].binaryValues[0], k > 200);
                for (std::size_t c = 0; c < 3; ++c) {
                    const double v = arrays.analog[c * n + k], w = back.dat.samples[k].analogValues[c];
                    ASSERT_TRUE(std::isnan(v) ? std::isnan(w) : std::fabs(v - w) <= tolerance(back.cfg.analogChannels[c], type, v))
                        << type << " channel " << c << " record " << k << ": " << v << " read back as " << w;
                }
            }
        }
    }
    const struct { void (*change)(RecordingArrays&); const char* words; } bad[] = {
        {[](RecordingArrays& a) { a.analog.pop_back(); }, "analog values"},
        {[](RecordingArrays& a) { a.time[3] = -1.0; }, "earlier than"},
        {[](RecordingArrays& a) { a.analogNames[0] = "V,a"; }, "comma"},
        {[](RecordingArrays& a) { a.analogUnits.pop_back(); }, "units"},
    };
    for (const auto& b : bad) {
        RecordingArrays broken = arrays;
        b.change(broken);
        ColumnarRecording rec;
        const WriteReport report = Writer::fromArrays(broken, rec);
        EXPECT_EQ(report.result, WriteReport::BadValues);
        EXPECT_NE(report.message.find(b.words), std::string::npos) << report.message;
    }
    // No gain makes an infinite value an integer.
    arrays.analog[5] = HUGE_VAL;
    ColumnarRecording rec;
    ASSERT_TRUE(Writer::fromArrays(arrays, rec).ok());
    const WriteReport report = Writer::write(rec, dir.file("inf.cfg"));
    EXPECT_EQ(report.result, WriteReport::BadValues);
    EXPECT_FALSE(fs::exists(dir.file("inf.cfg")));
}

// The side of the values: P or S lines read back to the same values.
TEST(WriterOptions, ValueSide)
{
    RecordingLayout design;
    design.type = E::Binary32;
    design.analogs = {AnalogLayout{"IA", "A", "", "A", 0.3, 0.1, 0, -99999, 99999, 1200, 5, 'P'},
                      AnalogLayout{"VA", "A", "", "kV", 0.7, -2.5, 0, -99999, 99999, 110000, 100, 'S'}};
    TempDir dir("writer-side");
    ASSERT_TRUE(writeRecording(makeRecording(design, 50), dir.file("in")));
    Comtrade source;
    ASSERT_EQ(source.load(dir.file("in.cfg")), 0);
    const struct { WriteOptions::Side side; bool primary0, primary1; } cases[] = {
        {WriteOptions::SourceSide, true, false},
        {WriteOptions::PrimarySide, true, true},
        {WriteOptions::SecondarySide, false, false},
    };
    for (const auto& c : cases) {
        WriteOptions options;
        options.type = E::Binary32;
        options.side = c.side;
        const WriteReport report = Writer::write(source, dir.file("out.cfg"), options);
        ASSERT_TRUE(report.ok());
        Comtrade back;
        ASSERT_EQ(back.load(dir.file("out.cfg")), 0);
        // A side whose ratio cannot give the gain back bit for bit stays the source's, with a warning.
        for (std::size_t i = 0; i < 2; ++i) {
            const bool asked = i == 0 ? c.primary0 : c.primary1, kept = !source.cfg.analogChannels[i].isSecondary;
            const bool primary = !back.cfg.analogChannels[i].isSecondary;
            EXPECT_TRUE(primary == asked || (primary == kept && !report.warnings.empty())) << c.side << " " << i;
        }
        expectSameRecording(source, back, E::Binary32, true, "side " + std::to_string(c.side));
    }
}
