// What the benchmark programs share: the generated recordings, the memory
// probes and the registry of results the summary is printed from.
#pragma once

#include "writer/ComtradeWriter.h"

#include <KivComtradeLib/Enums.h>

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace KivBench {

constexpr double kRate = 4000.0; // samples per second of every generated recording

struct Layout {
    const char* name;
    KivComtradeLib::Enums::DataFileType type;
    std::size_t analogs;
    std::size_t statuses;
    unsigned long long records;
};

// 16A+16D binary records are 42 bytes: 2,380,952 of them are 100 MB. The
// other types keep the sample count; the wide layout (208-byte records) is
// sized to 100 MB as well.
inline const Layout kLayouts[] = {
    {"BINARY_16A16D_100MB", KivComtradeLib::Enums::Binary, 16, 16, 2380952},
    {"BINARY32_16A16D", KivComtradeLib::Enums::Binary32, 16, 16, 2380952},
    {"FLOAT32_16A16D", KivComtradeLib::Enums::Float32, 16, 16, 2380952},
    {"ASCII_16A16D", KivComtradeLib::Enums::Ascii, 16, 16, 2380952},
    {"BINARY_96A64D_100MB", KivComtradeLib::Enums::Binary, 96, 64, 480769},
    {"BINARY_16A16D_10MB", KivComtradeLib::Enums::Binary, 16, 16, 238095},
    {"BINARY_16A16D_400MB", KivComtradeLib::Enums::Binary, 16, 16, 9523809},
};
constexpr int kLayoutCount = static_cast<int>(sizeof(kLayouts) / sizeof(kLayouts[0]));
constexpr int kMain = 0; // the 100 MB BINARY recording the views run on
constexpr int kAscii = 3;
constexpr int kScale10 = 5;
constexpr int kScale400 = 6;

struct Dataset {
    bool ready = false;
    std::string cfgPath;
    std::string datPath;
    unsigned long long datBytes = 0;
};

// The recording of layout `id`, written on first use. Into a temporary
// folder removed at exit, or, when KIVCOMTRADE_BENCH_DATA names a folder,
// into that folder, kept, and reused by later runs.
const Dataset& dataset(int id);
int layoutId(const std::string& name); // -1 when unknown
// Removes the temporary folder (not a KIVCOMTRADE_BENCH_DATA folder).
void removeRecordings();
// Installs SIGINT/SIGTERM handlers that remove the temporary recordings.
void removeRecordingsOnSignal();

// One untimed run before the first measurement of each benchmark: on a
// virtual machine the first touch of memory the guest has not used yet costs
// several times a normal page fault, which would land on whichever run
// first reaches a new high-water mark.
bool firstRun(const std::string& name);

int repetitions(); // KIVCOMTRADE_BENCH_REPS, default 5
long statusKb(const char* key); // a field of /proc/self/status, in kB
std::string selfPath();

struct MemoryFigures {
    double peakMB = 0, afterMB = 0, modelMB = 0, heapMB = 0, textMB = 0;
};
// Keyed by "<model> <layout>", filled by the memory benchmark.
std::map<std::string, MemoryFigures>& memoryFigures();

// Loads of one layout: the flat baseline (baseline.cpp), Comtrade::load and
// ColumnarRecording::load (load.cpp).
void BM_Baseline(benchmark::State& state, int id);
void BM_Load(benchmark::State& state, int id);
void BM_ColumnarLoad(benchmark::State& state, int id);
// Registration of the other jobs, one function per file.
void registerMemory();  // peak resident memory of one load, in a fresh process
void registerViews();   // point series of the channel views
void registerUtf8();    // code-page detection and conversion
void registerAnalysis(); // RMS and phasor series of every channel
// The child side of the memory benchmark; returns the exit code.
int peakMemoryChild(const std::string& model, const char* cfgPath);

class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override;
    // Median seconds per iteration (wall clock, or CPU time of the process:
    // user + system, steadier on a shared machine), negative when not run.
    double median(const std::string& name, bool cpu = false) const;
    std::size_t runs(const std::string& name) const;

private:
    std::map<std::string, std::vector<double>> seconds_;
    std::map<std::string, std::vector<double>> cpuSeconds_;
};

std::string loadAverage();
void printSummary(const SummaryReporter& rep, const std::string& loadBefore);

} // namespace KivBench
