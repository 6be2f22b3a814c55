// Writes of the 100 MB BINARY recording (loaded once as a ColumnarRecording)
// by Writer::write as BINARY and as ASCII, each next to a flat baseline that
// writes the very bytes the writer produces, already in memory, with one
// fwrite per MiB: the cost of the disk and the page cache alone. The source's
// data file is unchanged, so the writer takes the raw values from it
// (WriteOptions::reuseDataFile); WriteFromArrays is the same write from the
// arrays (reuseDataFile false), for comparison.

#include "bench_common.h"

#include <KivComtradeLib/ColumnarRecording.h>
#include <KivComtradeLib/Writer.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>

namespace KivBench {

namespace {

const KivComtradeLib::ColumnarRecording& source()
{
    static std::unique_ptr<KivComtradeLib::ColumnarRecording> rec;
    if (!rec) {
        rec = std::make_unique<KivComtradeLib::ColumnarRecording>();
        if (rec->load(dataset(kMain).cfgPath) != 0)
            throw std::runtime_error("cannot load " + dataset(kMain).cfgPath);
    }
    return *rec;
}

std::string outputBase(KivComtradeLib::Enums::DataFileType type)
{
    const std::string& cfg = dataset(kMain).cfgPath;
    return cfg.substr(0, cfg.find_last_of('/') + 1) + "written-" + (type == KivComtradeLib::Enums::Ascii ? "ascii" : "binary");
}

void removeOutput(const std::string& base)
{
    std::remove((base + ".cfg").c_str());
    std::remove((base + ".dat").c_str());
}

// Whether the last write took the raw values from the source's data file.
bool lastReused = false;

bool writeWithLibrary(KivComtradeLib::Enums::DataFileType type, bool reuse = true)
{
    KivComtradeLib::WriteOptions options;
    options.type = type;
    options.reuseDataFile = reuse;
    const KivComtradeLib::WriteReport report = KivComtradeLib::Writer::write(source(), outputBase(type) + ".cfg", options);
    lastReused = report.dataFileReused;
    return report.ok();
}

// The writer's own output, read back into memory once.
const std::string& bytesOf(KivComtradeLib::Enums::DataFileType type, const char* ext)
{
    static std::map<std::string, std::string> cache;
    const std::string key = std::to_string(type) + ext;
    auto it = cache.find(key);
    if (it != cache.end())
        return it->second;
    if (!writeWithLibrary(type))
        throw std::runtime_error("the writer failed");
    std::string bytes = KivTest::readFile(outputBase(type) + ext);
    removeOutput(outputBase(type));
    return cache[key] = std::move(bytes);
}

bool writeFlat(const std::string& path, const std::string& bytes)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    constexpr std::size_t chunk = 1u << 20;
    bool ok = true;
    for (std::size_t at = 0; ok && at < bytes.size(); at += chunk)
        ok = std::fwrite(bytes.data() + at, 1, std::min(chunk, bytes.size() - at), file) == std::min(chunk, bytes.size() - at);
    return std::fclose(file) == 0 && ok;
}

void BM_WriteBaseline(benchmark::State& state, KivComtradeLib::Enums::DataFileType type)
{
    const std::string& cfg = bytesOf(type, ".cfg");
    const std::string& dat = bytesOf(type, ".dat");
    const std::string base = outputBase(type);
    for (auto _ : state) {
        if (!writeFlat(base + ".dat", dat) || !writeFlat(base + ".cfg", cfg))
            state.SkipWithError("cannot write");
        state.PauseTiming();
        removeOutput(base);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(dat.size()));
}

void BM_Write(benchmark::State& state, KivComtradeLib::Enums::DataFileType type, bool reuse)
{
    bytesOf(type, ".dat"); // the source loaded and one untimed write
    const std::string base = outputBase(type);
    for (auto _ : state) {
        if (!writeWithLibrary(type, reuse))
            state.SkipWithError("the writer failed");
        if (lastReused != reuse)
            state.SkipWithError(reuse ? "the data file was not reused" : "the data file was reused");
        state.PauseTiming();
        removeOutput(base);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytesOf(type, ".dat").size()));
}

// One pass over the source's arrays (times, values, states), adding them up:
// the least any writer of this source pays before it writes a byte.
void BM_ReadSource(benchmark::State& state)
{
    const KivComtradeLib::ColumnarRecording& rec = source();
    for (auto _ : state) {
        double sum = 0.0;
        for (const double t : rec.time)
            sum += t;
        for (const double v : rec.analog)
            sum += v;
        unsigned long long states = 0;
        for (const std::uint8_t s : rec.status)
            states += s;
        benchmark::DoNotOptimize(sum);
        benchmark::DoNotOptimize(states);
    }
}

} // namespace

void registerWrite()
{
    const int reps = repetitions();
    benchmark::RegisterBenchmark("ReadSource/BINARY", BM_ReadSource)
        ->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(reps)->UseRealTime();
    for (const auto& [name, type] : {std::make_pair("BINARY", KivComtradeLib::Enums::Binary),
                                     std::make_pair("ASCII", KivComtradeLib::Enums::Ascii)}) {
        benchmark::RegisterBenchmark((std::string("WriteBaseline/") + name).c_str(), BM_WriteBaseline, type)
            ->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(reps)->UseRealTime();
        benchmark::RegisterBenchmark((std::string("Write/") + name).c_str(), BM_Write, type, true)
            ->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(reps)->UseRealTime();
        benchmark::RegisterBenchmark((std::string("WriteFromArrays/") + name).c_str(), BM_Write, type, false)
            ->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(reps)->UseRealTime();
    }
}

void printWriteSummary(const SummaryReporter& rep)
{
    bool header = false;
    for (const char* name : {"BINARY", "ASCII"}) {
        const double write = rep.median(std::string("Write/") + name);
        const double base = rep.median(std::string("WriteBaseline/") + name);
        const double writeCpu = rep.median(std::string("Write/") + name, true);
        const double baseCpu = rep.median(std::string("WriteBaseline/") + name, true);
        if (write <= 0 || base <= 0)
            continue;
        if (!header)
            std::printf("\n== Writer::write of BINARY_16A16D_100MB (columnar source, raw values from its unchanged "
                        "data file) vs writing the same bytes from memory\n%-8s %10s %10s %8s %8s %8s %14s\n", "as",
                        "write ms", "base ms", "ratio", "CPU rat.", "target", "arrays ms"), header = true;
        const double target = std::string(name) == "ASCII" ? 2.0 : 1.5;
        const double arrays = rep.median(std::string("WriteFromArrays/") + name);
        // CPU: the calling thread's; the writer formats on a second one.
        std::printf("%-8s %10.1f %10.1f %8.2f %8.2f %5.1f %-4s %8.1f (%.1fx)\n", name, write * 1e3, base * 1e3,
                    write / base, baseCpu > 0 ? writeCpu / baseCpu : 0.0, target, write / base <= target ? "ok" : "MISS",
                    arrays * 1e3, arrays / base);
    }
    const double read = rep.median("ReadSource/BINARY");
    if (header && read > 0)
        std::printf("one pass over the source's arrays alone (times, values, states): %.1f ms\n", read * 1e3);
}

} // namespace KivBench
