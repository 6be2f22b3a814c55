// Code-page detection and conversion of a 1 MiB line of Cyrillic text.

#include "bench_common.h"

#include <KivComtradeLib/Cfg.h>
#include <KivComtradeLib/ToUtf8.h>

#include <random>
#include <sstream>

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

// A configuration of `channels` status channels named in `kind` bytes: "ascii",
// "gbk" (GB18030 names) or "random" (any byte but the field and line
// separators). Its load is the encoding detection plus the parse; the ASCII
// row, which skips detection, is the parse alone.
std::string configurationText(const std::string& kind, int channels)
{
    static const char gbkName[] = "\xD7\xDD\xC1\xAA\xB2\xEE\xB6\xAF\xB1\xA3\xBB\xA4"; // 纵联差动保护
    std::mt19937 random(20);
    std::string text = "SUB,REL,1999\n" + std::to_string(channels) + ",0A," + std::to_string(channels) + "D\n";
    for (int i = 1; i <= channels; ++i) {
        std::string name;
        if (kind == "ascii") {
            name = "Protection trip " + std::to_string(i);
        } else if (kind == "gbk") {
            name = gbkName + std::to_string(i);
        } else {
            for (int k = 0; k < 24; ++k) {
                char c = static_cast<char>(random() & 0xFF);
                name.push_back(c == ',' || c == '\n' || c == '\r' ? 'x' : c);
            }
        }
        text += std::to_string(i) + "," + name + ",,,0\n";
    }
    return text + "50\n1\n1000,10\n01/01/2020,00:00:00\n01/01/2020,00:00:00\nASCII\n1\n";
}

void BM_DetectConfiguration(benchmark::State& state, const std::string& kind, int channels)
{
    const std::string text = configurationText(kind, channels);
    for (auto _ : state) {
        std::istringstream stream(text);
        KivComtradeLib::Cfg cfg;
        benchmark::DoNotOptimize(cfg.load(stream, "bench.cfg", KivComtradeLib::LoadOptions()));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
    // Seconds per KiB of configuration text.
    state.counters["time_per_KiB"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * static_cast<double>(text.size()) / 1024.0,
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

} // namespace

void registerUtf8()
{
    // 1000 channels are about 35 KiB of text, 30000 about 1 MiB.
    for (const int channels : {1000, 30000})
        for (const char* kind : {"ascii", "gbk", "random"})
            benchmark::RegisterBenchmark(
                ("Encoding/DetectConfiguration/" + std::string(kind) + "/" + std::to_string(channels)).c_str(),
                BM_DetectConfiguration, std::string(kind), channels)
                ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("Utf8/DetectAndConvert/cp1251", BM_DetectAndConvert, 1251)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("Utf8/DetectAndConvert/cp866", BM_DetectAndConvert, 866)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("Utf8/DetectAndConvert/utf8", BM_DetectAndConvert, 8)
        ->Unit(benchmark::kMicrosecond);
}

} // namespace KivBench
