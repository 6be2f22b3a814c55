// Code-page detection and conversion of a 1 MiB line of Cyrillic text.

#include "bench_common.h"

#include <KivComtradeLib/ToUtf8.h>

#include <cstdint>
#include <string>

namespace KivBench {

namespace {

// A long channel-name-like line of Cyrillic text in code page 1251, 866 or UTF-8.
std::string cyrillicLine(int encoding, std::size_t bytes)
{
    // "Ток фазы А линии 110 кВ, " as code points.
    static const char32_t phrase[] = U"Ток фазы А линии 110 кВ, защита ЛЭП; ";
    std::string one;
    for (const char32_t* p = phrase; *p; ++p) {
        const char32_t c = *p;
        if (c < 0x80) {
            one.push_back(static_cast<char>(c));
        } else if (encoding == 1251) {
            one.push_back(static_cast<char>(c - 0x410 + 0xC0));
        } else if (encoding == 866) {
            const unsigned n = static_cast<unsigned>(c - 0x410); // 0..63
            one.push_back(static_cast<char>(n < 48 ? 0x80 + n : 0xE0 + (n - 48)));
        } else {
            one.push_back(static_cast<char>(0xC0 | (c >> 6)));
            one.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    std::string text;
    while (text.size() < bytes)
        text += one;
    return text;
}

void BM_DetectAndConvert(benchmark::State& state, int encoding)
{
    const std::string text = cyrillicLine(encoding, 1 << 20);
    for (auto _ : state) {
        const std::string out = toUtf8::detectAndConvert(text);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}


} // namespace

void registerUtf8()
{
    benchmark::RegisterBenchmark("Utf8/DetectAndConvert/cp1251", BM_DetectAndConvert, 1251)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("Utf8/DetectAndConvert/cp866", BM_DetectAndConvert, 866)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("Utf8/DetectAndConvert/utf8", BM_DetectAndConvert, 8)
        ->Unit(benchmark::kMicrosecond);
}

} // namespace KivBench
