// Peak resident memory of one load, measured in a fresh process (this
// program run again with --kiv-peak-memory MODEL PATH), so that the
// high-water mark belongs to the load alone.

#include "bench_common.h"

#include <KivComtradeLib/ColumnarRecording.h>
#include <KivComtradeLib/Comtrade.h>

#include <malloc.h>

#include <cstdio>
#include <string>
#include <vector>

namespace KivBench {

namespace {

// Bytes the data model holds: the samples vector and the blocks of the two
// vectors of every sample, counted at their capacities.
std::size_t modelBytes(const KivComtradeLib::Comtrade& rec)
{
    const auto& samples = rec.dat.samples;
    std::size_t bytes = samples.capacity() * sizeof(KivComtradeLib::Sample);
    for (const KivComtradeLib::Sample& s : samples)
        bytes += s.analogValues.capacity() * sizeof(double) + s.binaryValues.capacity() / 8;
    return bytes;
}

std::size_t modelBytes(const KivComtradeLib::ColumnarRecording& rec)
{
    return rec.time.capacity() * sizeof(double) + rec.analog.capacity() * sizeof(double) + rec.status.capacity();
}

template <typename Recording>
int measureChild(const char* cfgPath)
{
    const long before = statusKb("VmRSS");
    Recording recording;
    const int result = recording.load(cfgPath);
    const long peak = statusKb("VmHWM");
    const long after = statusKb("VmRSS");
    const struct mallinfo2 info = mallinfo2();
    std::printf("%d %ld %ld %ld %zu %zu\n", result, before, peak, after, modelBytes(recording),
                info.uordblks + info.hblkhd);
    return result == 0 ? 0 : 1;
}

void BM_PeakMemory(benchmark::State& state, int id, const char* model)
{
    const Layout& layout = kLayouts[id];
    const Dataset& set = dataset(id);
    MemoryFigures f;
    for (auto _ : state) {
        const std::string command =
            "'" + selfPath() + "' --kiv-peak-memory " + model + " '" + set.cfgPath + "'";
        std::FILE* pipe = popen(command.c_str(), "r");
        int result = -1;
        long before = 0, peak = 0, after = 0;
        std::size_t bytes = 0, heap = 0;
        const int fields = pipe ? std::fscanf(pipe, "%d %ld %ld %ld %zu %zu", &result, &before, &peak,
                                              &after, &bytes, &heap)
                                : 0;
        if (pipe)
            pclose(pipe);
        if (fields != 6 || result != 0) {
            state.SkipWithError("child load failed");
            return;
        }
        f.peakMB = static_cast<double>(peak - before) / 1024.0;
        f.afterMB = static_cast<double>(after - before) / 1024.0;
        f.modelMB = static_cast<double>(bytes) / 1048576.0;
        f.heapMB = static_cast<double>(heap) / 1048576.0;
        if (layout.type == KivComtradeLib::Enums::Ascii)
            f.textMB = static_cast<double>(set.datBytes) / 1048576.0;
    }
    state.counters["peak_MB"] = f.peakMB;
    state.counters["model_MB"] = f.modelMB;
    state.counters["heap_MB"] = f.heapMB;
    state.counters["peak/model"] = f.peakMB / (f.modelMB + f.textMB);
    memoryFigures()[std::string(model) + " " + layout.name] = f;
}

} // namespace

int peakMemoryChild(const std::string& model, const char* cfgPath)
{
    if (model == "Comtrade")
        return measureChild<KivComtradeLib::Comtrade>(cfgPath);
    if (model == "Columnar")
        return measureChild<KivComtradeLib::ColumnarRecording>(cfgPath);
    return 64;
}

void registerMemory()
{
    for (const char* model : {"Comtrade", "Columnar"})
        for (int id : {0, 1, 2, kAscii, 4})
            benchmark::RegisterBenchmark(
                (std::string("PeakMemory/") + model + "/" + kLayouts[id].name).c_str(),
                [id, model](benchmark::State& state) { BM_PeakMemory(state, id, model); })
                ->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
}

} // namespace KivBench
