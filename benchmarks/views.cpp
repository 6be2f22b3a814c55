// The channel views on the main (100 MB BINARY) recording, loaded once: an
// analog series over the whole recording and over its last 10 ms, and a
// status step series.

#include "bench_common.h"

#include <KivComtradeLib/Comtrade.h>

#include <memory>
#include <stdexcept>

namespace KivBench {

namespace {

using KivComtradeLib::Comtrade;

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

} // namespace

void registerViews()
{
    benchmark::RegisterBenchmark("View/AnalogPointsWhole", BM_AnalogPointsWhole)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("View/AnalogPointsWindowAtEnd", BM_AnalogPointsWindowAtEnd)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("View/StatusSteps", BM_StatusSteps)->Unit(benchmark::kMillisecond);
}

} // namespace KivBench
