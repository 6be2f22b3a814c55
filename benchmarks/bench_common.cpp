#include "bench_common.h"

#include <KivComtradeLib/Enums.h>

#include <unistd.h>

#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <utility>

namespace KivBench {

namespace {

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

const char* keptDir()
{
    const char* dir = std::getenv("KIVCOMTRADE_BENCH_DATA");
    return dir && *dir ? dir : nullptr;
}

const std::string& recordingsDir()
{
    static std::string dir;
    if (!dir.empty())
        return dir;
    if (const char* kept = keptDir()) {
        dir = kept;
        return dir;
    }
    const char* base = std::getenv("KIVCOMTRADE_BENCH_TMP");
    if (base && *base)
        setenv("KIVCOMTRADE_TEST_TMP", base, 1);
    tempDir() = std::make_unique<KivTest::TempDir>("bench");
    dir = tempDir()->path();
    prepareSignalSafeNames(dir);
    return dir;
}

KivTest::RecordingLayout specOf(const Layout& layout)
{
    static const char* const units[] = {"kV", "A", "V", "kA"};
    KivTest::RecordingLayout design;
    design.type = layout.type;
    for (std::size_t c = 0; c < layout.analogs; ++c) {
        KivTest::AnalogLayout an;
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
        KivTest::StatusLayout st;
        st.id = "D" + std::to_string(d + 1);
        design.statuses.push_back(st);
    }
    design.rates.push_back({kRate, layout.records});
    return design;
}

unsigned long long fileBytes(const std::string& path)
{
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    return file ? static_cast<unsigned long long>(file.tellg()) : 0;
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

int layoutId(const std::string& name)
{
    for (int id = 0; id < kLayoutCount; ++id)
        if (name == kLayouts[id].name)
            return id;
    return -1;
}

const Dataset& dataset(int id)
{
    static Dataset sets[kLayoutCount];
    Dataset& set = sets[id];
    if (set.ready)
        return set;
    const Layout& layout = kLayouts[id];
    const std::string basePath = recordingsDir() + "/" + layout.name;
    set.cfgPath = basePath + ".cfg";
    set.datPath = basePath + ".dat";
    // A kept folder from an earlier run already holds complete files: the
    // writer is deterministic and a binary file's size is fixed by its layout.
    const unsigned long long record = 8 + layout.analogs * (layout.type == KivComtradeLib::Enums::Binary ? 2 : 4) +
                                      2 * ((layout.statuses + 15) / 16);
    set.datBytes = fileBytes(set.datPath);
    const bool reusable = keptDir() && fileBytes(set.cfgPath) > 0 && set.datBytes > 0 &&
                          (layout.type == KivComtradeLib::Enums::Ascii || set.datBytes == record * layout.records);
    if (!reusable) {
        // A sine table per channel phase keeps generation cheap; the values
        // use the whole range of each type (and fractions for FLOAT32).
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
        set.datBytes = fileBytes(set.datPath);
    }
    set.ready = true;
    return set;
}

void removeRecordings()
{
    tempDir().reset();
}

void removeRecordingsOnSignal()
{
    std::signal(SIGINT, removeRecordingsAndExit);
    std::signal(SIGTERM, removeRecordingsAndExit);
}

bool firstRun(const std::string& name)
{
    static std::map<std::string, bool> seen;
    return !std::exchange(seen[name], true);
}

int repetitions()
{
    const char* env = std::getenv("KIVCOMTRADE_BENCH_REPS");
    const int n = env ? std::atoi(env) : 0;
    return n > 0 ? n : 5;
}

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

std::string selfPath()
{
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        throw std::runtime_error("cannot find /proc/self/exe");
    buf[n] = '\0';
    return buf;
}

std::map<std::string, MemoryFigures>& memoryFigures()
{
    static std::map<std::string, MemoryFigures> figures;
    return figures;
}

std::string loadAverage()
{
    std::ifstream in("/proc/loadavg");
    std::string a, b, c;
    in >> a >> b >> c;
    return a + " " + b + " " + c;
}

} // namespace KivBench
