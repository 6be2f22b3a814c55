// Load performance of KivComtradeLib on generated recordings of realistic size.
//
// Every load is measured next to a baseline that reads the same file and
// decodes every value into one flat, freshly allocated double array: the cost
// of the job without the data model (one Sample per record holding two
// vectors). The summary printed at the end gives each load as a ratio to its
// baseline, the time per record over 10/100/400 MB, and the peak resident
// memory of a load (measured in a fresh process) against the model's size.
//
//   kivcomtrade_benchmarks [--benchmark_filter=...] [google-benchmark flags]
//   KIVCOMTRADE_BENCH_REPS=N   repetitions of each load (default 5)
//   KIVCOMTRADE_BENCH_TMP=DIR  where the recordings are generated (default /tmp)

#include "util/ComtradeWriter.h"

#include <KivComtradeLib/Comtrade.h>
#include <KivComtradeLib/ToUtf8.h>

#include <benchmark/benchmark.h>

#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

using KivComtradeLib::Comtrade;
using KivComtradeLib::Sample;
using KivComtradeLib::Enums::DataFileType;

constexpr double kRate = 4000.0; // samples per second of every generated recording

// ---------------------------------------------------------------------------
// Generated recordings

struct Layout {
    const char* name;
    DataFileType type;
    std::size_t analogs;
    std::size_t statuses;
    unsigned long long records;
};

// 16A+16D binary records are 42 bytes: 2,380,952 of them are 100 MB. The
// other types keep the sample count; the wide layout (208-byte records) is
// sized to 100 MB as well.
const Layout kLayouts[] = {
    {"BINARY_16A16D_100MB", KivComtradeLib::Enums::Binary, 16, 16, 2380952},
    {"BINARY32_16A16D", KivComtradeLib::Enums::Binary32, 16, 16, 2380952},
    {"FLOAT32_16A16D", KivComtradeLib::Enums::Float32, 16, 16, 2380952},
    {"ASCII_16A16D", KivComtradeLib::Enums::Ascii, 16, 16, 2380952},
    {"BINARY_96A64D_100MB", KivComtradeLib::Enums::Binary, 96, 64, 480769},
    {"BINARY_16A16D_10MB", KivComtradeLib::Enums::Binary, 16, 16, 238095},
    {"BINARY_16A16D_400MB", KivComtradeLib::Enums::Binary, 16, 16, 9523809},
};
constexpr int kLayoutCount = static_cast<int>(sizeof(kLayouts) / sizeof(kLayouts[0]));
constexpr int kMain = 0;    // the 100 MB BINARY recording the views run on
constexpr int kAscii = 3;
constexpr int kScale10 = 5;
constexpr int kScale400 = 6;

struct Dataset {
    bool ready = false;
    std::string cfgPath;
    std::string datPath;
    unsigned long long datBytes = 0;
};

std::unique_ptr<KivTest::TempDir>& tempDir()
{
    static std::unique_ptr<KivTest::TempDir> dir;
    return dir;
}

// The temporary folder, then every file the benchmark may write in it, as
// NUL-terminated names for the signal handler.
std::vector<std::vector<char>>& signalSafeNames()
{
    static std::vector<std::vector<char>> names;
    return names;
}

void prepareSignalSafeNames(const std::string& dir)
{
    std::vector<std::vector<char>> names;
    const auto add = [&names](const std::string& name) { names.emplace_back(name.c_str(), name.c_str() + name.size() + 1); };
    add(dir);
    for (const Layout& layout : kLayouts) {
        add(dir + "/" + layout.name + ".cfg");
        add(dir + "/" + layout.name + ".dat");
    }
    signalSafeNames() = std::move(names);
}

KivTest::RecordingSpec specOf(const Layout& layout)
{
    static const char* const units[] = {"kV", "A", "V", "kA"};
    KivTest::RecordingSpec design;
    design.type = layout.type;
    for (std::size_t c = 0; c < layout.analogs; ++c) {
        KivTest::AnalogSpec an;
        an.id = "U" + std::to_string(c + 1);
        an.phase = std::string(1, static_cast<char>('A' + c % 3));
        an.unit = units[c % 4];
        an.a = 0.0125 + 0.001 * static_cast<double>(c);
        an.b = 0.5 * static_cast<double>(c % 5) - 1.0;
        if (c % 4 == 3) {
            an.ps = 'P';
            an.primary = 1000.0;
            an.secondary = 5.0;
        }
        design.analogs.push_back(an);
    }
    for (std::size_t d = 0; d < layout.statuses; ++d) {
        KivTest::StatusSpec st;
        st.id = "D" + std::to_string(d + 1);
        design.statuses.push_back(st);
    }
    design.rates.push_back({kRate, layout.records});
    return design;
}

const Dataset& dataset(int id)
{
    static Dataset sets[kLayoutCount];
    Dataset& set = sets[id];
    if (set.ready)
        return set;
    if (!tempDir()) {
        const char* base = std::getenv("KIVCOMTRADE_BENCH_TMP");
        if (base && *base)
            setenv("KIVCOMTRADE_TEST_TMP", base, 1);
        tempDir() = std::make_unique<KivTest::TempDir>("bench");
        prepareSignalSafeNames(tempDir()->path());
    }
    const Layout& layout = kLayouts[id];
    const std::string basePath = tempDir()->file(layout.name);

    // A sine table per channel phase keeps generation cheap; the values use
    // the whole range of each type (and fractions for FLOAT32).
    double amplitude = 30000.0;
    if (layout.type == KivComtradeLib::Enums::Binary32)
        amplitude = 2.0e9;
    else if (layout.type == KivComtradeLib::Enums::Float32)
        amplitude = 1234.5678;
    std::vector<double> table(256);
    for (std::size_t i = 0; i < table.size(); ++i) {
        const double v = amplitude * std::sin(2.0 * 3.14159265358979323846 * static_cast<double>(i) / 256.0);
        table[i] = layout.type == KivComtradeLib::Enums::Float32 ? v : std::round(v);
    }
    const auto fill = [&](unsigned long long k, KivTest::Record& r) {
        r.sampleNumber = static_cast<std::uint32_t>(k + 1);
        r.timeStamp = static_cast<std::uint32_t>(k * 250u);
        for (std::size_t c = 0; c < r.raw.size(); ++c)
            r.raw[c] = table[(k * 5 + c * 37) & 255];
        for (std::size_t d = 0; d < r.status.size(); ++d)
            r.status[d] = ((k / (100 + 37 * d)) & 1u) != 0;
    };
    std::fprintf(stderr, "generating %s (%llu records)...\n", layout.name, layout.records);
    if (!KivTest::writeGenerated(specOf(layout), layout.records, fill, basePath))
        throw std::runtime_error(std::string("cannot write ") + basePath);
    set.cfgPath = basePath + ".cfg";
    set.datPath = basePath + ".dat";
    std::ifstream dat(set.datPath, std::ios::binary | std::ios::ate);
    set.datBytes = static_cast<unsigned long long>(dat.tellg());
    set.ready = true;
    return set;
}

// ---------------------------------------------------------------------------
// Baseline: the file into one flat double array, (1 + A + D) values per record
// (time, engineering values, states as 0/1), without the data model.

struct Coefficients {
    std::vector<double> a, b, m;
    double rate = kRate;
    double timeMultiplier = 1.0;
};

Coefficients coefficientsOf(const KivComtradeLib::Cfg& cfg)
{
    Coefficients k;
    for (const auto& ch : cfg.analogChannels) {
        k.a.push_back(ch.a);
        k.b.push_back(ch.b);
        k.m.push_back(ch.multiplier);
    }
    k.rate = cfg.samplingRates.at(0).rate;
    k.timeMultiplier = cfg.timeMultiplier;
    return k;
}

template <int Width, bool IsFloat>
inline double rawAt(const unsigned char* p)
{
    if constexpr (Width == 2) {
        return static_cast<double>(static_cast<std::int16_t>(p[0] | (p[1] << 8)));
    } else {
        const std::uint32_t bits = static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
                                   (static_cast<std::uint32_t>(p[2]) << 16) |
                                   (static_cast<std::uint32_t>(p[3]) << 24);
        if constexpr (IsFloat) {
            float f;
            std::memcpy(&f, &bits, sizeof f);
            return static_cast<double>(f);
        } else {
            return static_cast<double>(static_cast<std::int32_t>(bits));
        }
    }
}

template <int Width, bool IsFloat>
void flatBinary(std::FILE* file, const Coefficients& k, std::size_t nA, std::size_t nD,
                unsigned long long records, double* out)
{
    const std::size_t recordSize = 8 + nA * Width + 2 * ((nD + 15) / 16);
    const std::size_t perBlock = std::max<std::size_t>(1, (1u << 20) / recordSize);
    std::vector<unsigned char> block(perBlock * recordSize);
    unsigned long long r = 0;
    while (r < records) {
        const std::size_t want = static_cast<std::size_t>(std::min<unsigned long long>(perBlock, records - r));
        if (std::fread(block.data(), recordSize, want, file) != want)
            throw std::runtime_error("short read");
        for (std::size_t i = 0; i < want; ++i, ++r) {
            const unsigned char* rec = block.data() + i * recordSize;
            *out++ = static_cast<double>(r) / k.rate * k.timeMultiplier;
            const unsigned char* v = rec + 8;
            for (std::size_t c = 0; c < nA; ++c)
                *out++ = (rawAt<Width, IsFloat>(v + c * Width) * k.a[c] + k.b[c]) * k.m[c];
            const unsigned char* w = v + nA * Width;
            for (std::size_t d = 0; d < nD; ++d)
                *out++ = ((w[2 * (d / 16) + (d % 16) / 8] >> (d % 8)) & 1u) ? 1.0 : 0.0;
        }
    }
}

void flatAscii(const std::string& path, const Coefficients& k, std::size_t nA, std::size_t nD,
               unsigned long long records, double* out)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    const auto size = static_cast<std::size_t>(in.tellg());
    in.seekg(0);
    std::unique_ptr<char[]> text(new char[size + 1]);
    in.read(text.get(), static_cast<std::streamsize>(size));
    text[size] = '\0';
    const char* p = text.get();
    const char* const end = p + size;
    unsigned long long r = 0;
    while (p < end && r < records) {
        std::uint32_t ints[2];
        for (std::uint32_t& n : ints) { // sample number, time stamp
            n = 0;
            while (*p >= '0' && *p <= '9')
                n = n * 10u + static_cast<std::uint32_t>(*p++ - '0');
            ++p;
        }
        *out++ = static_cast<double>(r) / k.rate * k.timeMultiplier;
        for (std::size_t c = 0; c < nA; ++c) {
            const bool negative = *p == '-';
            p += negative;
            std::uint32_t n = 0;
            while (*p >= '0' && *p <= '9')
                n = n * 10u + static_cast<std::uint32_t>(*p++ - '0');
            ++p;
            const double raw = static_cast<double>(static_cast<std::int32_t>(negative ? 0u - n : n));
            *out++ = (raw * k.a[c] + k.b[c]) * k.m[c];
        }
        for (std::size_t d = 0; d < nD; ++d) {
            *out++ = *p != '0' ? 1.0 : 0.0;
            p += 2;
        }
        if (p[-1] == '\r')
            ++p;
        ++r;
    }
    if (r != records)
        throw std::runtime_error("short text");
}

// One baseline run; the array is allocated here (fresh memory, as a load gets).
void runBaseline(const Layout& layout, const Dataset& set, const Coefficients& k,
                 std::unique_ptr<double[]>& flat)
{
    const std::size_t perRecord = 1 + layout.analogs + layout.statuses;
    flat.reset(new double[static_cast<std::size_t>(layout.records) * perRecord]);
    if (layout.type == KivComtradeLib::Enums::Ascii) {
        flatAscii(set.datPath, k, layout.analogs, layout.statuses, layout.records, flat.get());
        return;
    }
    std::FILE* file = std::fopen(set.datPath.c_str(), "rb");
    if (!file)
        throw std::runtime_error("cannot open " + set.datPath);
    std::setvbuf(file, nullptr, _IONBF, 0);
    switch (layout.type) {
    case KivComtradeLib::Enums::Binary:
        flatBinary<2, false>(file, k, layout.analogs, layout.statuses, layout.records, flat.get());
        break;
    case KivComtradeLib::Enums::Binary32:
        flatBinary<4, false>(file, k, layout.analogs, layout.statuses, layout.records, flat.get());
        break;
    default:
        flatBinary<4, true>(file, k, layout.analogs, layout.statuses, layout.records, flat.get());
        break;
    }
    std::fclose(file);
}

// ---------------------------------------------------------------------------
// Memory: a load in a fresh process (this program run again with
// --kiv-peak-memory), so that the high-water mark belongs to the load alone.

long statusKb(const char* key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::size_t n = std::strlen(key);
    while (std::getline(status, line))
        if (line.compare(0, n, key) == 0 && line.size() > n && line[n] == ':')
            return std::atol(line.c_str() + n + 1);
    return -1;
}

// Bytes the data model holds: the samples vector and the blocks of the two
// vectors of every sample, counted at their capacities.
std::size_t modelBytes(const std::vector<Sample>& samples)
{
    std::size_t bytes = samples.capacity() * sizeof(Sample);
    for (const Sample& s : samples)
        bytes += s.analogValues.capacity() * sizeof(double) + s.binaryValues.capacity() / 8;
    return bytes;
}

int peakMemoryChild(const char* cfgPath)
{
    const long before = statusKb("VmRSS");
    Comtrade recording;
    const int result = recording.load(cfgPath);
    const long peak = statusKb("VmHWM");
    const long after = statusKb("VmRSS");
    const struct mallinfo2 info = mallinfo2();
    std::printf("%d %ld %ld %ld %zu %zu\n", result, before, peak, after, modelBytes(recording.dat.samples),
                info.uordblks + info.hblkhd);
    return result == 0 ? 0 : 1;
}

struct MemoryFigures {
    double peakMB = 0, afterMB = 0, modelMB = 0, heapMB = 0, textMB = 0;
};
std::map<std::string, MemoryFigures>& memoryFigures()
{
    static std::map<std::string, MemoryFigures> figures;
    return figures;
}

std::string selfPath()
{
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        throw std::runtime_error("cannot find /proc/self/exe");
    buf[n] = '\0';
    return buf;
}

// ---------------------------------------------------------------------------
// Benchmarks

// One untimed run before the first measurement of each benchmark: on a
// virtual machine the first touch of memory the guest has not used yet costs
// several times a normal page fault, which would land on whichever run
// first reaches a new high-water mark.
bool firstRun(const std::string& name)
{
    static std::map<std::string, bool> seen;
    return !std::exchange(seen[name], true);
}

void BM_Load(benchmark::State& state, int id)
{
    const Layout& layout = kLayouts[id];
    const Dataset& set = dataset(id);
    if (firstRun(std::string("Load/") + layout.name)) {
        auto warm = std::make_unique<Comtrade>();
        warm->load(set.cfgPath);
        warm.reset();
        malloc_trim(0);
    }
    for (auto _ : state) {
        state.PauseTiming();
        auto recording = std::make_unique<Comtrade>();
        state.ResumeTiming();
        const int result = recording->load(set.cfgPath);
        state.PauseTiming();
        if (result != 0 || recording->dat.samples.size() != layout.records)
            state.SkipWithError("load failed");
        // Freeing is not part of the load. Handing the freed heap back to the
        // system makes every load start as in a fresh process, on fresh
        // pages, as the baseline's array does.
        recording.reset();
        malloc_trim(0);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(set.datBytes));
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(layout.records));
}

void BM_Baseline(benchmark::State& state, int id)
{
    const Layout& layout = kLayouts[id];
    const Dataset& set = dataset(id);
    KivComtradeLib::Cfg cfg;
    if (cfg.load(set.cfgPath) != 4) {
        state.SkipWithError("cfg failed");
        return;
    }
    const Coefficients k = coefficientsOf(cfg);
    std::unique_ptr<double[]> flat;
    if (firstRun(std::string("Baseline/") + layout.name)) {
        runBaseline(layout, set, k, flat);
        flat.reset();
        malloc_trim(0);
    }
    for (auto _ : state) {
        runBaseline(layout, set, k, flat);
        benchmark::DoNotOptimize(flat.get());
        state.PauseTiming();
        flat.reset();
        malloc_trim(0);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(set.datBytes));
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(layout.records));
}

void BM_PeakMemory(benchmark::State& state, int id)
{
    const Layout& layout = kLayouts[id];
    const Dataset& set = dataset(id);
    MemoryFigures f;
    for (auto _ : state) {
        const std::string command = "'" + selfPath() + "' --kiv-peak-memory '" + set.cfgPath + "'";
        std::FILE* pipe = popen(command.c_str(), "r");
        int result = -1;
        long before = 0, peak = 0, after = 0;
        std::size_t model = 0, heap = 0;
        const int fields = pipe ? std::fscanf(pipe, "%d %ld %ld %ld %zu %zu", &result, &before, &peak,
                                              &after, &model, &heap)
                                : 0;
        if (pipe)
            pclose(pipe);
        if (fields != 6 || result != 0) {
            state.SkipWithError("child load failed");
            return;
        }
        f.peakMB = static_cast<double>(peak - before) / 1024.0;
        f.afterMB = static_cast<double>(after - before) / 1024.0;
        f.modelMB = static_cast<double>(model) / 1048576.0;
        f.heapMB = static_cast<double>(heap) / 1048576.0;
        if (layout.type == KivComtradeLib::Enums::Ascii)
            f.textMB = static_cast<double>(set.datBytes) / 1048576.0;
    }
    state.counters["peak_MB"] = f.peakMB;
    state.counters["model_MB"] = f.modelMB;
    state.counters["heap_MB"] = f.heapMB;
    state.counters["peak/model"] = f.peakMB / (f.modelMB + f.textMB);
    memoryFigures()[layout.name] = f;
}

// The views run on the main recording, loaded once.
const Comtrade& mainRecording()
{
    static std::unique_ptr<Comtrade> recording;
    if (!recording) {
        recording = std::make_unique<Comtrade>();
        if (recording->load(dataset(kMain).cfgPath) != 0)
            throw std::runtime_error("cannot load the main recording");
    }
    return *recording;
}

void BM_AnalogPointsWhole(benchmark::State& state)
{
    const Comtrade& rec = mainRecording();
    std::size_t points = 0;
    for (auto _ : state) {
        const auto series = rec.analogChannels.at(1).getPoints(0.0, -1.0, -1.0);
        points = series.size();
        benchmark::DoNotOptimize(series.data());
    }
    state.counters["points"] = static_cast<double>(points);
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(rec.dat.samples.size()));
}

void BM_AnalogPointsWindowAtEnd(benchmark::State& state)
{
    const Comtrade& rec = mainRecording();
    const double end = rec.dat.samples.back().time;
    std::size_t points = 0;
    for (auto _ : state) {
        const auto series = rec.analogChannels.at(1).getPoints(end - 0.010, -1.0, -1.0);
        points = series.size();
        benchmark::DoNotOptimize(series.data());
    }
    state.counters["points"] = static_cast<double>(points);
}

void BM_StatusSteps(benchmark::State& state)
{
    const Comtrade& rec = mainRecording();
    std::size_t points = 0;
    for (auto _ : state) {
        const auto series = rec.binaryChannels.at(3).getPoints(0.0, -1.0, -1.0);
        points = series.size();
        benchmark::DoNotOptimize(series.data());
    }
    state.counters["points"] = static_cast<double>(points);
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(rec.dat.samples.size()));
}

// A long channel-name-like line of Cyrillic text in code page 1251, 866 or UTF-8.
std::string cyrillicLine(int encoding, std::size_t bytes)
{
    // "Ток фазы А линии 110 кВ, " as code points.
    static const char32_t phrase[] = U"Ток фазы А линии 110 кВ, защита ЛЭП; ";
    std::string one;
    for (const char32_t* p = phrase; *p; ++p) {
        const char32_t c = *p;
        if (c < 0x80) {
            one.push_back(static_cast<char>(c));
        } else if (encoding == 1251) {
            one.push_back(static_cast<char>(c - 0x410 + 0xC0));
        } else if (encoding == 866) {
            const unsigned n = static_cast<unsigned>(c - 0x410); // 0..63
            one.push_back(static_cast<char>(n < 48 ? 0x80 + n : 0xE0 + (n - 48)));
        } else {
            one.push_back(static_cast<char>(0xC0 | (c >> 6)));
            one.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    std::string text;
    while (text.size() < bytes)
        text += one;
    return text;
}

void BM_DetectAndConvert(benchmark::State& state, int encoding)
{
    const std::string text = cyrillicLine(encoding, 1 << 20);
    for (auto _ : state) {
        const std::string out = toUtf8::detectAndConvert(text);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}

// ---------------------------------------------------------------------------
// Summary

class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && !run.error_occurred && run.iterations > 0) {
                const auto n = static_cast<double>(run.iterations);
                seconds_[run.run_name.function_name].push_back(run.real_accumulated_time / n);
                cpuSeconds_[run.run_name.function_name].push_back(run.cpu_accumulated_time / n);
            }
        ConsoleReporter::ReportRuns(runs);
    }

    // Median seconds per iteration (wall clock, or CPU time of the process:
    // user + system, steadier on a shared machine), negative when not run.
    double median(const std::string& name, bool cpu = false) const
    {
        const auto& table = cpu ? cpuSeconds_ : seconds_;
        const auto it = table.find(name);
        if (it == table.end() || it->second.empty())
            return -1.0;
        std::vector<double> v = it->second;
        std::sort(v.begin(), v.end());
        const std::size_t n = v.size();
        return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
    }
    std::size_t runs(const std::string& name) const
    {
        const auto it = seconds_.find(name);
        return it == seconds_.end() ? 0 : it->second.size();
    }

private:
    std::map<std::string, std::vector<double>> seconds_;
    std::map<std::string, std::vector<double>> cpuSeconds_;
};

std::string loadAverage()
{
    std::ifstream in("/proc/loadavg");
    std::string a, b, c;
    in >> a >> b >> c;
    return a + " " + b + " " + c;
}

const char* verdict(bool ok)
{
    return ok ? "holds" : "MISSED";
}

void printSummary(const SummaryReporter& rep, const std::string& loadBefore)
{
    bool anyLoad = false;
    for (const Layout& l : kLayouts)
        anyLoad = anyLoad || rep.runs(std::string("Load/") + l.name) > 0;
    if (anyLoad) {
        std::printf("\n== Load vs flat baseline (median of repetitions; machine load average before: %s, "
                    "after: %s)\n   wall-clock ms and process CPU ms (user + system); the target is judged "
                    "on wall clock\n",
                    loadBefore.c_str(), loadAverage().c_str());
        std::printf("%-22s %9s %7s %4s %8s %8s %6s %8s %8s %6s %7s %7s %8s\n", "recording", "records", "MB",
                    "runs", "load ms", "base ms", "ratio", "load cpu", "base cpu", "ratio", "ns/rec", "MB/s",
                    "target");
    }
    for (int id = 0; id < kLayoutCount; ++id) {
        const Layout& l = kLayouts[id];
        const std::string name = l.name;
        const double load = rep.median("Load/" + name);
        const double base = rep.median("Baseline/" + name);
        const double loadCpu = rep.median("Load/" + name, true);
        const double baseCpu = rep.median("Baseline/" + name, true);
        const double cpuRatio = baseCpu > 0 ? loadCpu / baseCpu : -1.0;
        if (load < 0)
            continue;
        const Dataset& set = dataset(id);
        const double mb = static_cast<double>(set.datBytes) / 1e6;
        const double limit = l.type == KivComtradeLib::Enums::Ascii ? 1.3 : 1.5;
        const double ratio = base > 0 ? load / base : -1.0;
        char target[32] = "-";
        if (ratio > 0)
            std::snprintf(target, sizeof target, "%.1fx %s", limit, ratio <= limit ? "ok" : "MISS");
        std::printf("%-22s %9llu %7.1f %4zu %8.1f %8.1f %6.2f %8.1f %8.1f %6.2f %7.1f %7.1f %8s\n", l.name,
                    l.records, mb, rep.runs("Load/" + name), load * 1e3, base * 1e3, ratio, loadCpu * 1e3,
                    baseCpu * 1e3, cpuRatio, load * 1e9 / static_cast<double>(l.records), mb / load, target);
    }

    for (const bool cpu : {false, true}) {
        const double s10 = rep.median(std::string("Load/") + kLayouts[kScale10].name, cpu);
        const double s100 = rep.median(std::string("Load/") + kLayouts[kMain].name, cpu);
        const double s400 = rep.median(std::string("Load/") + kLayouts[kScale400].name, cpu);
        if (s10 <= 0 || s100 <= 0 || s400 <= 0)
            break;
        const double n10 = s10 * 1e9 / static_cast<double>(kLayouts[kScale10].records);
        const double n100 = s100 * 1e9 / static_cast<double>(kLayouts[kMain].records);
        const double n400 = s400 * 1e9 / static_cast<double>(kLayouts[kScale400].records);
        const double lo = std::min({n10, n100, n400});
        const double hi = std::max({n10, n100, n400});
        std::printf("%s ns/record (%s) at 10 MB %.1f, 100 MB %.1f, 400 MB %.1f; spread %.1f%% "
                    "(target 15%%: %s)\n",
                    cpu ? "                           " : "\n== Scaling, BINARY 16A+16D:",
                    cpu ? "CPU " : "wall", n10, n100, n400, 100.0 * (hi - lo) / lo, verdict(hi <= 1.15 * lo));
        // The same against the baseline of each size, which takes out what
        // the machine charges for more memory.
        const double b10 = rep.median(std::string("Baseline/") + kLayouts[kScale10].name, cpu);
        const double b100 = rep.median(std::string("Baseline/") + kLayouts[kMain].name, cpu);
        const double b400 = rep.median(std::string("Baseline/") + kLayouts[kScale400].name, cpu);
        if (b10 > 0 && b100 > 0 && b400 > 0)
            std::printf("                            load/baseline (%s) at 10 MB %.2f, 100 MB %.2f, 400 MB %.2f\n",
                        cpu ? "CPU " : "wall", s10 / b10, s100 / b100, s400 / b400);
    }

    if (!memoryFigures().empty()) {
        std::printf("\n== Peak resident memory of one load, fresh process (MB = MiB)\n");
        std::printf("%-22s %9s %9s %9s %9s %10s %8s\n", "recording", "model", "+text", "heap", "peak",
                    "peak/need", "target");
        for (const auto& [name, f] : memoryFigures()) {
            const double need = f.modelMB + f.textMB;
            const double ratio = f.peakMB / need;
            const double limit = f.textMB > 0 ? 1.0 : 1.1;
            std::printf("%-22s %9.1f %9.1f %9.1f %9.1f %10.3f %8s\n", name.c_str(), f.modelMB, f.textMB,
                        f.heapMB, f.peakMB, ratio, ratio <= limit ? "ok" : "MISS");
        }
        std::printf("  model = sizeof(Sample) x capacity + the two vectors' blocks at capacity;\n"
                    "  heap = bytes malloc holds for the loaded recording (chunk headers included);\n"
                    "  need = model, plus one copy of the text for ASCII (target: peak <= 1.1 x model\n"
                    "  for binary, <= model + text for ASCII).\n");
    }
}

int repetitions()
{
    const char* env = std::getenv("KIVCOMTRADE_BENCH_REPS");
    const int n = env ? std::atoi(env) : 0;
    return n > 0 ? n : 5;
}

void registerAll()
{
    const int reps = repetitions();
    for (int id = 0; id < kLayoutCount; ++id) {
        const std::string name = kLayouts[id].name;
        benchmark::RegisterBenchmark(("Baseline/" + name).c_str(), BM_Baseline, id)
            ->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(reps)->UseRealTime();
        benchmark::RegisterBenchmark(("Load/" + name).c_str(), BM_Load, id)
            ->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(reps)->UseRealTime();
    }
    for (int id : {0, 1, 2, kAscii, 4})
        benchmark::RegisterBenchmark((std::string("PeakMemory/") + kLayouts[id].name).c_str(), BM_PeakMemory, id)
            ->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
    benchmark::RegisterBenchmark("View/AnalogPointsWhole", BM_AnalogPointsWhole)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("View/AnalogPointsWindowAtEnd", BM_AnalogPointsWindowAtEnd)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("View/StatusSteps", BM_StatusSteps)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Utf8/DetectAndConvert/cp1251", BM_DetectAndConvert, 1251)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("Utf8/DetectAndConvert/cp866", BM_DetectAndConvert, 866)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("Utf8/DetectAndConvert/utf8", BM_DetectAndConvert, 8)
        ->Unit(benchmark::kMicrosecond);
}

// Ctrl-C must not leave a gigabyte of recordings behind. The handler may
// interrupt malloc, so it only calls unlink and rmdir on names prepared
// beforehand (both are async-signal-safe).
extern "C" void removeRecordingsAndExit(int signal)
{
    const auto& names = signalSafeNames();
    for (std::size_t i = 1; i < names.size(); ++i)
        unlink(names[i].data());
    if (!names.empty())
        rmdir(names[0].data());
    std::_Exit(128 + signal);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--kiv-peak-memory") == 0)
        return peakMemoryChild(argv[2]);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    registerAll();
    std::signal(SIGINT, removeRecordingsAndExit);
    std::signal(SIGTERM, removeRecordingsAndExit);
    const std::string loadBefore = loadAverage();
    SummaryReporter reporter;
    try {
        benchmark::RunSpecifiedBenchmarks(&reporter);
        printSummary(reporter, loadBefore);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "benchmark failed: %s\n", e.what());
        tempDir().reset();
        return 1;
    }
    benchmark::Shutdown();
    tempDir().reset(); // the generated recordings go with the program
    return 0;
}
