// Load performance of KivComtradeLib on generated recordings of realistic size.
//
// Every load (Comtrade::load, ColumnarRecording::load) is measured next to a
// baseline that reads the same file and decodes every value into one flat,
// freshly allocated double array: the cost of the job without a data model.
// The summary printed at the end gives each load as a ratio to its baseline,
// the time per record over 10/100/400 MB, the peak resident memory of a
// load (measured in a fresh process) against the model's size, and
// Writer::write against writing the same bytes from memory.
//
//   kivcomtrade_benchmarks [--benchmark_filter=...] [google-benchmark flags]
//   kivcomtrade_benchmarks --kiv-write DIR LAYOUT...   writes recordings, no runs
//   kivcomtrade_benchmarks --kiv-selection             big recordings: selective loads and blocks (selection.cpp)
//   KIVCOMTRADE_BENCH_REPS=N   repetitions of each load (default 5)
//   KIVCOMTRADE_BENCH_TMP=DIR  where the recordings are generated (default /tmp)
//   KIVCOMTRADE_BENCH_DATA=DIR keep the recordings in DIR (and reuse them)

#include "bench_common.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

namespace {

using namespace KivBench;

void registerAll()
{
    const int reps = repetitions();
    // CPU time of the whole process: a large Comtrade::load builds on a second thread.
    for (int id = 0; id < kLayoutCount; ++id) {
        const std::string name = kLayouts[id].name;
        benchmark::RegisterBenchmark(("Baseline/" + name).c_str(), BM_Baseline, id)
            ->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(reps)->UseRealTime()->MeasureProcessCPUTime();
        benchmark::RegisterBenchmark(("Load/" + name).c_str(), BM_Load, id)
            ->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(reps)->UseRealTime()->MeasureProcessCPUTime();
        benchmark::RegisterBenchmark(("Columnar/" + name).c_str(), BM_ColumnarLoad, id)
            ->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(reps)->UseRealTime()->MeasureProcessCPUTime();
    }
    registerMemory();
    registerViews();
    registerUtf8();
    registerAnalysis();
    registerWrite();
}

// Writes the named recordings into `dir` (kept), for timing other readers on them.
int writeRecordings(int argc, char** argv)
{
    setenv("KIVCOMTRADE_BENCH_DATA", argv[2], 1);
    for (int i = 3; i < argc; ++i) {
        const int id = layoutId(argv[i]);
        if (id < 0) {
            std::fprintf(stderr, "unknown recording %s\n", argv[i]);
            return 64;
        }
        std::printf("%s\n", dataset(id).cfgPath.c_str());
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--kiv-peak-memory") == 0)
        return peakMemoryChild(argv[2], argv[3]);
    if (argc >= 4 && std::strcmp(argv[1], "--kiv-selection-child") == 0)
        return selectionChild(argc, argv);
    try {
        if (argc >= 3 && std::strcmp(argv[1], "--kiv-write") == 0)
            return writeRecordings(argc, argv);
        if (argc == 2 && std::strcmp(argv[1], "--kiv-selection") == 0)
            return selectionMain();

        benchmark::Initialize(&argc, argv);
        if (benchmark::ReportUnrecognizedArguments(argc, argv))
            return 1;
        registerAll();
        removeRecordingsOnSignal();
        const std::string loadBefore = loadAverage();
        SummaryReporter reporter;
        benchmark::RunSpecifiedBenchmarks(&reporter);
        printSummary(reporter, loadBefore);
        printWriteSummary(reporter);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "benchmark failed: %s\n", e.what());
        removeRecordings();
        return 1;
    }
    benchmark::Shutdown();
    removeRecordings(); // generated recordings go with the program
    return 0;
}
