// The loads themselves: Comtrade::load (one Sample per record) and
// ColumnarRecording::load (one array per channel), each on a fresh object.

#include "bench_common.h"

#include <KivComtradeLib/ColumnarRecording.h>
#include <KivComtradeLib/Comtrade.h>

#include <malloc.h>

#include <cstdint>
#include <memory>
#include <string>

namespace KivBench {

namespace {

std::size_t recordsOf(const KivComtradeLib::Comtrade& rec)
{
    return rec.dat.samples.size();
}

std::size_t recordsOf(const KivComtradeLib::ColumnarRecording& rec)
{
    return rec.count;
}

template <typename Recording>
void timeLoads(benchmark::State& state, int id, const char* job)
{
    const Layout& layout = kLayouts[id];
    const Dataset& set = dataset(id);
    if (firstRun(std::string(job) + "/" + layout.name)) {
        auto warm = std::make_unique<Recording>();
        warm->load(set.cfgPath);
        warm.reset();
        malloc_trim(0);
    }
    for (auto _ : state) {
        state.PauseTiming();
        auto recording = std::make_unique<Recording>();
        state.ResumeTiming();
        const int result = recording->load(set.cfgPath);
        state.PauseTiming();
        if (result != 0 || recordsOf(*recording) != layout.records)
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

} // namespace

void BM_Load(benchmark::State& state, int id)
{
    timeLoads<KivComtradeLib::Comtrade>(state, id, "Load");
}

void BM_ColumnarLoad(benchmark::State& state, int id)
{
    timeLoads<KivComtradeLib::ColumnarRecording>(state, id, "Columnar");
}

} // namespace KivBench
