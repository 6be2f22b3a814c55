// The summary printed after the runs: every load as a ratio to its flat
// baseline, the time per record from 10 to 400 MB, and the peak memory of a
// load against the size of its data model.

#include "bench_common.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace KivBench {

namespace {

const char* verdict(bool ok)
{
    return ok ? "holds" : "MISSED";
}

// The wall-clock targets against the baseline; 0 when there is none.
double targetOf(const std::string& job, const Layout& l)
{
    const bool ascii = l.type == KivComtradeLib::Enums::Ascii;
    if (job == "Columnar")
        return ascii ? 0.0 : 1.2;
    return 1.3;
}

void printLoads(const SummaryReporter& rep, const std::string& job, const char* title,
                const std::string& loadBefore)
{
    bool any = false;
    for (const Layout& l : kLayouts)
        any = any || rep.runs(job + "/" + l.name) > 0;
    if (!any)
        return;
    std::printf("\n== %s vs flat baseline (median of repetitions; machine load average before: %s, "
                "after: %s)\n   wall-clock ms and process CPU ms (user + system); the target is judged "
                "on wall clock\n",
                title, loadBefore.c_str(), loadAverage().c_str());
    std::printf("%-22s %9s %7s %4s %8s %8s %6s %8s %8s %6s %7s %7s %8s\n", "recording", "records", "MB", "runs",
                "load ms", "base ms", "ratio", "load cpu", "base cpu", "ratio", "ns/rec", "MB/s", "target");
    for (int id = 0; id < kLayoutCount; ++id) {
        const Layout& l = kLayouts[id];
        const std::string name = l.name;
        const double load = rep.median(job + "/" + name);
        const double base = rep.median("Baseline/" + name);
        const double loadCpu = rep.median(job + "/" + name, true);
        const double baseCpu = rep.median("Baseline/" + name, true);
        const double cpuRatio = baseCpu > 0 ? loadCpu / baseCpu : -1.0;
        if (load < 0)
            continue;
        const Dataset& set = dataset(id);
        const double mb = static_cast<double>(set.datBytes) / 1e6;
        const double limit = targetOf(job, l);
        const double ratio = base > 0 ? load / base : -1.0;
        char target[32] = "-";
        if (ratio > 0 && limit > 0)
            std::snprintf(target, sizeof target, "%.1fx %s", limit, ratio <= limit ? "ok" : "MISS");
        std::printf("%-22s %9llu %7.1f %4zu %8.1f %8.1f %6.2f %8.1f %8.1f %6.2f %7.1f %7.1f %8s\n", l.name,
                    l.records, mb, rep.runs(job + "/" + name), load * 1e3, base * 1e3, ratio, loadCpu * 1e3,
                    baseCpu * 1e3, cpuRatio, load * 1e9 / static_cast<double>(l.records), mb / load, target);
    }
}

} // namespace

void SummaryReporter::ReportRuns(const std::vector<Run>& runs)
{
    for (const Run& run : runs)
        if (run.run_type == Run::RT_Iteration && !run.error_occurred && run.iterations > 0) {
            const auto n = static_cast<double>(run.iterations);
            seconds_[run.run_name.function_name].push_back(run.real_accumulated_time / n);
            cpuSeconds_[run.run_name.function_name].push_back(run.cpu_accumulated_time / n);
        }
    ConsoleReporter::ReportRuns(runs);
}

double SummaryReporter::median(const std::string& name, bool cpu) const
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

std::size_t SummaryReporter::runs(const std::string& name) const
{
    const auto it = seconds_.find(name);
    return it == seconds_.end() ? 0 : it->second.size();
}

void printSummary(const SummaryReporter& rep, const std::string& loadBefore)
{
    printLoads(rep, "Load", "Comtrade::load", loadBefore);
    printLoads(rep, "Columnar", "ColumnarRecording::load", loadBefore);

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

    const double columnar = rep.median(std::string("Columnar/") + kLayouts[kMain].name);
    const double columnarCpu = rep.median(std::string("Columnar/") + kLayouts[kMain].name, true);
    // The target is on the first two rows (recordingSeries: every series
    // kept, on the machine's threads; in fresh memory, then in the memory of
    // the run before); the other rows show where the time goes.
    bool header = false;
    struct Row {
        const char* job;
        bool target;
    };
    for (const Row row : {Row{"SeriesAllChannels", true}, Row{"SeriesAllChannelsReused", true},
                          Row{"SeriesEachChannel", false}, Row{"SeriesAllChannelsIntoBuffers", false}}) {
        const char* job = row.job;
        const double series = rep.median(std::string("Analysis/") + job);
        const double seriesCpu = rep.median(std::string("Analysis/") + job, true);
        if (series <= 0)
            continue;
        if (!header)
            std::printf("\n== RMS and phasor series of every analog channel of BINARY_16A16D_100MB vs its "
                        "columnar load (%.1f ms wall, %.1f ms cpu)\n",
                        columnar * 1e3, columnarCpu * 1e3);
        header = true;
        std::printf("%-30s %8.1f ms (cpu %7.1f ms)", job, series * 1e3, seriesCpu * 1e3);
        if (columnar > 0) {
            std::printf(": %.2fx the load, cpu %.2fx", series / columnar, seriesCpu / columnarCpu);
            if (row.target)
                std::printf("; target 1.0x: %s", series <= columnar ? "ok" : "MISS");
        }
        std::printf("\n");
    }

    if (!memoryFigures().empty()) {
        std::printf("\n== Peak resident memory of one load, fresh process (MB = MiB)\n");
        std::printf("%-31s %9s %9s %9s %9s %10s %8s\n", "model, recording", "model", "+text", "heap", "peak",
                    "peak/need", "target");
        for (const auto& [name, f] : memoryFigures()) {
            const double need = f.modelMB + f.textMB;
            const double ratio = f.peakMB / need;
            const double limit = f.textMB > 0 ? 1.0 : 1.1;
            std::printf("%-31s %9.1f %9.1f %9.1f %9.1f %10.3f %8s\n", name.c_str(), f.modelMB, f.textMB,
                        f.heapMB, f.peakMB, ratio, ratio <= limit ? "ok" : "MISS");
        }
        std::printf("  model = Comtrade: sizeof(Sample) x capacity + the two vectors' blocks at capacity;\n"
                    "          Columnar: the time, analog and status arrays at capacity;\n"
                    "  heap = bytes malloc holds for the loaded recording (chunk headers included);\n"
                    "  need = model, plus one copy of the text for ASCII (target: peak <= 1.1 x model\n"
                    "  for binary, <= model + text for ASCII).\n");
    }
}

} // namespace KivBench
