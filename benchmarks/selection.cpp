// Big recordings: a selective load (3 channels x 1 s) and a block-by-block
// read against the full columnar load, with the peak memory of each, on a
// BINARY recording of 96 analog + 64 status channels (4 GB by default) and
// an ASCII one of the same layout (1 GB), generated then removed.
//
//   kivcomtrade_benchmarks --kiv-selection
//   KIVCOMTRADE_SELECTION_BINARY_MB=N, KIVCOMTRADE_SELECTION_ASCII_MB=N  sizes (4096, 1024)
//   KIVCOMTRADE_SELECTION_FULL_MB=N  largest arrays a full load may build (default 8192):
//                                    beyond it the full read is timed block by block
//   KIVCOMTRADE_SELECTION_PYTHON=SCRIPT  benchmarks/python_chunks.py: times kivcomtrade.iter_chunks too
//                                    (KIVCOMTRADE_PYTHON: its interpreter, default /usr/bin/python3)
// Each figure comes from a fresh process (this program run again), so that
// its peak resident memory belongs to that job alone.

#include "bench_common.h"

#include <KivComtradeLib/ChunkReader.h>
#include <KivComtradeLib/ColumnarRecording.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace KivBench {

namespace {

constexpr std::size_t kAnalogs = 96, kStates = 64;

double envMB(const char* name, double fallback)
{
    const char* v = std::getenv(name);
    return v && std::atof(v) > 0 ? std::atof(v) : fallback;
}

KivTest::RecordingLayout bigLayout(KivComtradeLib::Enums::DataFileType type, unsigned long long records)
{
    KivTest::RecordingLayout design;
    design.type = type;
    for (std::size_t c = 0; c < kAnalogs; ++c) {
        KivTest::AnalogLayout an;
        an.id = "U" + std::to_string(c + 1);
        an.a = 0.0125 + 0.001 * static_cast<double>(c);
        design.analogs.push_back(an);
    }
    for (std::size_t d = 0; d < kStates; ++d) {
        KivTest::StatusLayout st;
        st.id = "D" + std::to_string(d + 1);
        design.statuses.push_back(st);
    }
    design.rates.push_back({kRate, records});
    return design;
}

bool generate(KivComtradeLib::Enums::DataFileType type, unsigned long long records, const std::string& base)
{
    std::vector<double> table(256);
    for (std::size_t i = 0; i < table.size(); ++i)
        table[i] = std::round(30000.0 * std::sin(2.0 * 3.14159265358979323846 * static_cast<double>(i) / 256.0));
    return KivTest::writeGenerated(bigLayout(type, records), records,
        [&](unsigned long long k, KivTest::Record& r) {
            r.sampleNumber = static_cast<std::uint32_t>(k + 1);
            r.timeStamp = static_cast<std::uint32_t>(k * 250u);
            for (std::size_t c = 0; c < r.raw.size(); ++c)
                r.raw[c] = table[(k * 5 + c * 37) & 255];
            for (std::size_t d = 0; d < r.status.size(); ++d)
                r.status[d] = ((k / (100 + 37 * d)) & 1u) != 0;
        }, base);
}

struct Figures {
    double seconds = -1.0;
    double peakMB = 0.0;
    double arraysMB = 0.0;
};

// Runs one job in a fresh process: "full", "select FROM", "chunks N".
Figures child(const std::string& job, const std::string& cfg)
{
    const std::string command = "'" + selfPath() + "' --kiv-selection-child '" + cfg + "' " + job;
    Figures f;
    if (std::FILE* pipe = popen(command.c_str(), "r")) {
        if (std::fscanf(pipe, "%lf %lf %lf", &f.seconds, &f.peakMB, &f.arraysMB) != 3)
            f.seconds = -1.0;
        pclose(pipe);
    }
    return f;
}

Figures best(const std::string& job, const std::string& cfg, int runs)
{
    Figures b;
    for (int i = 0; i < runs; ++i) {
        const Figures f = child(job, cfg);
        if (f.seconds < 0)
            return f;
        if (b.seconds < 0 || f.seconds < b.seconds)
            b.seconds = f.seconds;
        b.peakMB = std::max(b.peakMB, f.peakMB);
        b.arraysMB = f.arraysMB;
    }
    return b;
}

double mb(std::size_t bytes) { return static_cast<double>(bytes) / 1048576.0; }

void compare(const char* title, const std::string& cfg, double from, double limitMB, double share)
{
    const Figures select = best("select " + std::to_string(from), cfg, 3);
    std::uintmax_t bytes = std::filesystem::file_size(cfg.substr(0, cfg.size() - 4) + ".dat");
    const double recordBytes = 8.0 * (1 + kAnalogs) + kStates; // columnar bytes per record
    const bool fullFits = mb(bytes) * recordBytes / 208.0 < limitMB || title[0] == 'A';
    const Figures full = fullFits ? best("full", cfg, 1) : best("chunks 1048576", cfg, 1);
    std::printf("%s %.0f MB: full %s %.3f s (peak %.0f MB); 3 channels x 1 s from %.1f s: %.4f s = %.2f%% of it "
                "(target %.0f%%), peak %.1f MB for %.2f MB of arrays (target < arrays + 64 MiB: %s)\n",
                title, mb(bytes), fullFits ? "columnar load" : "block-by-block read", full.seconds, full.peakMB, from,
                select.seconds, 100.0 * select.seconds / full.seconds, share * 100.0, select.peakMB, select.arraysMB,
                select.peakMB < select.arraysMB + 64.0 ? "met" : "MISSED");
}

} // namespace

// The child side: prints seconds, peak MB above the start, arrays MB.
int selectionChild(int argc, char** argv)
{
    const std::string cfg = argv[2], job = argv[3];
    const long before = statusKb("VmRSS");
    const auto start = std::chrono::steady_clock::now();
    std::size_t arrays = 0;
    int result = -1;
    if (job == "full" || job == "select") {
        KivComtradeLib::LoadOptions options;
        if (job == "select") {
            options.analogIndices = {0, 47, 95};
            options.windowFrom = std::atof(argv[4]);
            options.windowTo = options.windowFrom + 1.0 - 0.5 / kRate; // 4000 samples
        }
        KivComtradeLib::ColumnarRecording rec;
        result = rec.load(cfg, options);
        arrays = (rec.time.size() + rec.analog.size()) * sizeof(double) + rec.status.size();
    } else if (job == "chunks" && argc > 4) {
        KivComtradeLib::ChunkReader reader;
        result = reader.open(cfg, static_cast<std::size_t>(std::atoll(argv[4])));
        KivComtradeLib::ColumnChunk chunk;
        while (result == 0 && reader.next(chunk))
            arrays = std::max(arrays, (chunk.time.capacity() + chunk.analog.capacity()) * sizeof(double) +
                                          chunk.status.capacity());
        result = result == 0 ? reader.report.result : result;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%.6f %.3f %.3f\n", seconds, static_cast<double>(statusKb("VmHWM") - before) / 1024.0, mb(arrays));
    return result == 0 ? 0 : 1;
}

int selectionMain()
{
    const double binaryMB = envMB("KIVCOMTRADE_SELECTION_BINARY_MB", 4096.0);
    const double asciiMB = envMB("KIVCOMTRADE_SELECTION_ASCII_MB", 1024.0);
    const double fullMB = envMB("KIVCOMTRADE_SELECTION_FULL_MB", 8192.0);
    const char* tmp = std::getenv("KIVCOMTRADE_BENCH_TMP");
    if (tmp && *tmp)
        setenv("KIVCOMTRADE_TEST_TMP", tmp, 1);
    KivTest::TempDir dir("selection");
    std::printf("machine load before the run: %s\n", loadAverage().c_str());

    const auto binaryRecords = static_cast<unsigned long long>(binaryMB * 1048576.0 / 208.0);
    const std::string binary = dir.file("big-binary");
    std::fprintf(stderr, "generating %.0f MB BINARY (%llu records)...\n", binaryMB, binaryRecords);
    if (!generate(KivComtradeLib::Enums::Binary, binaryRecords, binary))
        return 1;
    const double middle = std::floor(static_cast<double>(binaryRecords) / kRate / 2.0);
    compare("BINARY 96A+64D", binary + ".cfg", middle, fullMB, 0.02);
    const Figures chunks = best("chunks 1048576", binary + ".cfg", 1);
    std::printf("BINARY 96A+64D: blocks of 1M samples, all channels: %.3f s, peak %.0f MB for %.0f MB per block "
                "(target < 2 x block + 64 MiB: %s)\n",
                chunks.seconds, chunks.peakMB, chunks.arraysMB,
                chunks.peakMB < 2 * chunks.arraysMB + 64.0 ? "met" : "MISSED");
    if (const char* script = std::getenv("KIVCOMTRADE_SELECTION_PYTHON")) {
        // kivcomtrade.iter_chunks: the same blocks handed to NumPy.
        Figures py;
        const char* python = std::getenv("KIVCOMTRADE_PYTHON");
        const std::string command = std::string(python && *python ? python : "/usr/bin/python3") + " '" + script +
                                    "' '" + binary + ".cfg'";
        if (std::FILE* pipe = popen(command.c_str(), "r")) {
            if (std::fscanf(pipe, "%lf %lf %lf", &py.seconds, &py.peakMB, &py.arraysMB) != 3)
                py.seconds = -1.0;
            pclose(pipe);
        }
        std::printf("BINARY 96A+64D: kivcomtrade.iter_chunks, 1M samples: %.3f s, peak %.0f MB for %.0f MB per block "
                    "(target < 2 x block + 64 MiB: %s)\n",
                    py.seconds, py.peakMB, py.arraysMB, py.seconds >= 0 && py.peakMB < 2 * py.arraysMB + 64.0 ? "met" : "MISSED");
    }
    std::filesystem::remove(binary + ".dat");

    // About 700 bytes per text line of this layout.
    const auto asciiRecords = static_cast<unsigned long long>(asciiMB * 1048576.0 / 700.0);
    const std::string ascii = dir.file("big-ascii");
    std::fprintf(stderr, "generating about %.0f MB ASCII (%llu records)...\n", asciiMB, asciiRecords);
    if (!generate(KivComtradeLib::Enums::Ascii, asciiRecords, ascii))
        return 1;
    compare("ASCII 96A+64D", ascii + ".cfg", std::floor(static_cast<double>(asciiRecords) / kRate * 0.05), fullMB,
            1.0 / 3.0);
    return 0;
}

} // namespace KivBench
