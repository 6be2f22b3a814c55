// The flat baseline: the file into one flat, freshly allocated double array,
// (1 + A + D) values per record (time, engineering values, states as 0/1),
// without any data model. It is what the hardware allows for the job; every
// load is printed as a ratio to it.

#include "bench_common.h"

#include <KivComtradeLib/Cfg.h>

#include <malloc.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace KivBench {

namespace {


struct Coefficients {
    std::vector<double> a, b, m;
    double rate = kRate;
    double timeMultiplier = 1.0;
};

Coefficients coefficientsOf(const KivComtradeLib::Cfg& cfg)
{
    Coefficients k;
    for (const auto& ch : cfg.analogChannels) {
        k.a.push_back(ch.a);
        k.b.push_back(ch.b);
        k.m.push_back(ch.multiplier);
    }
    k.rate = cfg.samplingRates.at(0).rate;
    k.timeMultiplier = cfg.timeMultiplier;
    return k;
}

template <int Width, bool IsFloat>
inline double rawAt(const unsigned char* p)
{
    if constexpr (Width == 2) {
        return static_cast<double>(static_cast<std::int16_t>(p[0] | (p[1] << 8)));
    } else {
        const std::uint32_t bits = static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
                                   (static_cast<std::uint32_t>(p[2]) << 16) |
                                   (static_cast<std::uint32_t>(p[3]) << 24);
        if constexpr (IsFloat) {
            float f;
            std::memcpy(&f, &bits, sizeof f);
            return static_cast<double>(f);
        } else {
            return static_cast<double>(static_cast<std::int32_t>(bits));
        }
    }
}

template <int Width, bool IsFloat>
void flatBinary(std::FILE* file, const Coefficients& k, std::size_t nA, std::size_t nD,
                unsigned long long records, double* out)
{
    const std::size_t recordSize = 8 + nA * Width + 2 * ((nD + 15) / 16);
    const std::size_t perBlock = std::max<std::size_t>(1, (1u << 20) / recordSize);
    std::vector<unsigned char> block(perBlock * recordSize);
    unsigned long long r = 0;
    while (r < records) {
        const std::size_t want = static_cast<std::size_t>(std::min<unsigned long long>(perBlock, records - r));
        if (std::fread(block.data(), recordSize, want, file) != want)
            throw std::runtime_error("short read");
        for (std::size_t i = 0; i < want; ++i, ++r) {
            const unsigned char* rec = block.data() + i * recordSize;
            *out++ = static_cast<double>(r) / k.rate * k.timeMultiplier;
            const unsigned char* v = rec + 8;
            for (std::size_t c = 0; c < nA; ++c)
                *out++ = (rawAt<Width, IsFloat>(v + c * Width) * k.a[c] + k.b[c]) * k.m[c];
            const unsigned char* w = v + nA * Width;
            for (std::size_t d = 0; d < nD; ++d)
                *out++ = ((w[2 * (d / 16) + (d % 16) / 8] >> (d % 8)) & 1u) ? 1.0 : 0.0;
        }
    }
}

void flatAscii(const std::string& path, const Coefficients& k, std::size_t nA, std::size_t nD,
               unsigned long long records, double* out)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    const auto size = static_cast<std::size_t>(in.tellg());
    in.seekg(0);
    std::unique_ptr<char[]> text(new char[size + 1]);
    in.read(text.get(), static_cast<std::streamsize>(size));
    text[size] = '\0';
    const char* p = text.get();
    const char* const end = p + size;
    unsigned long long r = 0;
    while (p < end && r < records) {
        std::uint32_t ints[2];
        for (std::uint32_t& n : ints) { // sample number, time stamp
            n = 0;
            while (*p >= '0' && *p <= '9')
                n = n * 10u + static_cast<std::uint32_t>(*p++ - '0');
            ++p;
        }
        *out++ = static_cast<double>(r) / k.rate * k.timeMultiplier;
        for (std::size_t c = 0; c < nA; ++c) {
            const bool negative = *p == '-';
            p += negative;
            std::uint32_t n = 0;
            while (*p >= '0' && *p <= '9')
                n = n * 10u + static_cast<std::uint32_t>(*p++ - '0');
            ++p;
            const double raw = static_cast<double>(static_cast<std::int32_t>(negative ? 0u - n : n));
            *out++ = (raw * k.a[c] + k.b[c]) * k.m[c];
        }
        for (std::size_t d = 0; d < nD; ++d) {
            *out++ = *p != '0' ? 1.0 : 0.0;
            p += 2;
        }
        if (p[-1] == '\r')
            ++p;
        ++r;
    }
    if (r != records)
        throw std::runtime_error("short text");
}

// One baseline run; the array is allocated here (fresh memory, as a load gets).
void runBaseline(const Layout& layout, const Dataset& set, const Coefficients& k,
                 std::unique_ptr<double[]>& flat)
{
    const std::size_t perRecord = 1 + layout.analogs + layout.statuses;
    flat.reset(new double[static_cast<std::size_t>(layout.records) * perRecord]);
    if (layout.type == KivComtradeLib::Enums::Ascii) {
        flatAscii(set.datPath, k, layout.analogs, layout.statuses, layout.records, flat.get());
        return;
    }
    std::FILE* file = std::fopen(set.datPath.c_str(), "rb");
    if (!file)
        throw std::runtime_error("cannot open " + set.datPath);
    std::setvbuf(file, nullptr, _IONBF, 0);
    switch (layout.type) {
    case KivComtradeLib::Enums::Binary:
        flatBinary<2, false>(file, k, layout.analogs, layout.statuses, layout.records, flat.get());
        break;
    case KivComtradeLib::Enums::Binary32:
        flatBinary<4, false>(file, k, layout.analogs, layout.statuses, layout.records, flat.get());
        break;
    default:
        flatBinary<4, true>(file, k, layout.analogs, layout.statuses, layout.records, flat.get());
        break;
    }
    std::fclose(file);
}

} // namespace

void BM_Baseline(benchmark::State& state, int id)
{
    const Layout& layout = kLayouts[id];
    const Dataset& set = dataset(id);
    KivComtradeLib::Cfg cfg;
    if (cfg.load(set.cfgPath) != 4) {
        state.SkipWithError("cfg failed");
        return;
    }
    const Coefficients k = coefficientsOf(cfg);
    std::unique_ptr<double[]> flat;
    if (firstRun(std::string("Baseline/") + layout.name)) {
        runBaseline(layout, set, k, flat);
        flat.reset();
        malloc_trim(0);
    }
    for (auto _ : state) {
        runBaseline(layout, set, k, flat);
        benchmark::DoNotOptimize(flat.get());
        state.PauseTiming();
        flat.reset();
        malloc_trim(0);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(set.datBytes));
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(layout.records));
}

} // namespace KivBench
