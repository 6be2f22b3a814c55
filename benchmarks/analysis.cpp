// RMS and phasor series of every analog channel of the main (100 MB BINARY)
// recording, loaded once into the columnar store; the summary sets them
// against that store's own load of the same file.

#include "bench_common.h"

#include <KivComtradeLib/Analysis.h>
#include <KivComtradeLib/ColumnarRecording.h>

#include <memory>
#include <stdexcept>
#include <vector>

namespace KivBench {

namespace {

using namespace KivComtradeLib;

const ColumnarRecording& mainColumns()
{
    static std::unique_ptr<ColumnarRecording> recording;
    if (!recording) {
        recording = std::make_unique<ColumnarRecording>();
        if (recording->load(dataset(kMain).cfgPath) != 0)
            throw std::runtime_error("cannot load the main recording");
    }
    return *recording;
}

// What the target is about: all series of every analog channel, kept
// (fresh memory every run, as a caller that wants them all gets).
void BM_SeriesAllChannels(benchmark::State& state)
{
    const ColumnarRecording& rec = mainColumns();
    const std::size_t channels = rec.cfg.analogChannels.size();
    if (firstRun("Analysis/SeriesAllChannels"))
        benchmark::DoNotOptimize(Analysis::recordingSeries(rec).rms(0));
    for (auto _ : state) {
        Analysis::RecordingSeries all = Analysis::recordingSeries(rec);
        benchmark::DoNotOptimize(all.rms(channels - 1));
        // Freeing is not part of the work, as for the loads.
        state.PauseTiming();
        all = Analysis::RecordingSeries();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(rec.count * channels));
}

// The same into the memory of the run before, as a caller that makes the
// series of one recording after another can.
void BM_SeriesAllChannelsReused(benchmark::State& state)
{
    const ColumnarRecording& rec = mainColumns();
    const std::size_t channels = rec.cfg.analogChannels.size();
    Analysis::RecordingSeries all = Analysis::recordingSeries(rec);
    for (auto _ : state) {
        Analysis::recordingSeries(rec, all);
        benchmark::DoNotOptimize(all.rms(channels - 1));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(rec.count * channels));
}

// One channel after the other into fresh vectors, on one thread.
void BM_SeriesEachChannel(benchmark::State& state)
{
    const ColumnarRecording& rec = mainColumns();
    const std::size_t channels = rec.cfg.analogChannels.size();
    for (auto _ : state) {
        for (std::size_t c = 0; c < channels; ++c) {
            const Analysis::Signal signal = Analysis::channelSignal(rec, c);
            const std::vector<double> rms = Analysis::rmsSeries(signal);
            const std::vector<Analysis::Phasor> phasors = Analysis::phasorSeries(signal);
            benchmark::DoNotOptimize(rms.data());
            benchmark::DoNotOptimize(phasors.data());
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(rec.count * channels));
}

// Both series of each channel in one pass into two buffers reused from
// channel to channel, on one thread (what a caller that reduces each series
// pays): the work without the first touch of 900 MB of fresh output pages.
void BM_SeriesAllChannelsIntoBuffers(benchmark::State& state)
{
    const ColumnarRecording& rec = mainColumns();
    const std::size_t channels = rec.cfg.analogChannels.size();
    std::vector<double> rms(rec.count);
    std::vector<Analysis::Phasor> phasors(rec.count);
    for (auto _ : state) {
        for (std::size_t c = 0; c < channels; ++c) {
            const Analysis::Signal signal = Analysis::channelSignal(rec, c);
            Analysis::rmsPhasorSeries(signal, rms.data(), phasors.data());
            benchmark::DoNotOptimize(rms.data());
            benchmark::DoNotOptimize(phasors.data());
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(rec.count * channels));
}

} // namespace

void registerAnalysis()
{
    benchmark::RegisterBenchmark("Analysis/SeriesAllChannels", BM_SeriesAllChannels)
        ->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(repetitions())->UseRealTime()
        ->MeasureProcessCPUTime();
    benchmark::RegisterBenchmark("Analysis/SeriesAllChannelsReused", BM_SeriesAllChannelsReused)
        ->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(repetitions())->UseRealTime()
        ->MeasureProcessCPUTime();
    benchmark::RegisterBenchmark("Analysis/SeriesEachChannel", BM_SeriesEachChannel)
        ->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(repetitions())->UseRealTime();
    benchmark::RegisterBenchmark("Analysis/SeriesAllChannelsIntoBuffers", BM_SeriesAllChannelsIntoBuffers)
        ->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(repetitions())->UseRealTime();
}

} // namespace KivBench
