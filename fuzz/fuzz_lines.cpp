// Single lines: an analog and a status channel line through their constructors, a text
// data record through Sample::load with a configuration built by hand. Input: a revision
// byte, a layout and time-base byte, then the analog, status and data lines, each ended by '\n'.

#include "FuzzInput.h"

#include <KivComtradeLib/Cfg.h>
#include <KivComtradeLib/Sample.h>

#include <cerrno>
#include <cmath>
#include <exception>
#include <memory>

using namespace KivComtradeLib;
using KivFuzz::check;

// The decoder on a plain line (fields split at ',', no blanks or NULs, each
// read whole, status fields of one character): 1 decoded into `ref`, 0
// rejected, -1 not plain (not judged). Digits wrap modulo 2^32; a '.', 'e' or
// 'E' makes a real; an empty analog field, or the revision's marker, is NaN.
static int reference(const std::string& line, const Cfg& cfg, unsigned long long index, Sample& ref)
{
    if (line.find_first_of(std::string(" \t\n\v\f\r\0", 7)) != std::string::npos) return -1;
    std::vector<std::string> fields;
    for (std::size_t from = 0, comma = 0; comma != std::string::npos; from = comma + 1)
        fields.push_back(line.substr(from, (comma = line.find(',', from)) - from));
    const std::size_t expected = cfg.channelsCount + 2u, numbers = cfg.analogChannelsCount + 2u;
    const std::uint32_t marker = cfg.revYear < 1999 ? 999999u : cfg.revYear < 2013 ? 99999u : 0u;
    for (std::size_t f = 0; f < expected && f < fields.size(); ++f) {
        const std::string& field = fields[f];
        if (f >= numbers && field.size() != 1) return -1;
        if (f >= numbers) ref.binaryValues.push_back(field[0] != '0');
        if (f >= numbers) continue;
        const bool negative = !field.empty() && field[0] == '-';
        const char* const digits = field.c_str() + (negative || (!field.empty() && field[0] == '+'));
        const char* p = digits;
        std::uint32_t v = 0;
        for (; *p >= '0' && *p <= '9'; ++p) v = v * 10u + static_cast<std::uint32_t>(*p - '0');
        v = negative ? 0u - v : v; // the stamp is unsigned, a value signed
        double value = f == 1 ? static_cast<double>(v) : static_cast<std::int32_t>(v);
        const bool real = *p == '.' || *p == 'e' || *p == 'E';
        char* stop = nullptr;
        errno = 0;
        if (real) value = std::strtod(digits, &stop) * (negative ? -1 : 1);
        if (real ? stop == digits || (errno == ERANGE && (std::isinf(value) || value == 0.0))
                 : field.empty() ? f == 0 || (f == 1 && !cfg.allRatesNonZero) : p == digits)
            return 0;
        if (*(real ? stop : p) != '\0') return -1;
        const bool missing = field.empty() || (!real && !negative && (marker ? v == marker : v == 99999u && f >= 2 &&
                                                                      cfg.analogChannels[f - 2].max < 99999.0));
        if (f == 1) ref.time = cfg.allRatesNonZero ? cfg.timeFromSampleIndex(index) : value * cfg.timeMultiplier * 1e-6;
        if (f >= 2) ref.analogValues.push_back(missing ? std::nan("") : cfg.analogChannels[f - 2].GetRealValue(value));
    }
    return fields.size() >= expected ? 1 : 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const int kRevisions[] = {1991, 1999, 2013, 2000, 1997, 0, -1, 1998};
    const int revision = kRevisions[size > 0 ? data[0] & 7 : 0];
    const unsigned setup = size > 1 ? data[1] : 0;
    std::string lines[3];
    for (std::size_t i = 2, l = 0; i < size && l < 3; ++i) data[i] == '\n' ? void(++l) : void(lines[l] += char(data[i]));
    try { // a malformed channel line is rejected with an exception; the reader reports 3
        (void)AnalogChannelConfig(3, lines[0], revision).name();
        (void)BinaryChannelConfig(5, lines[1], revision).name();
    } catch (const std::exception&) {}

    // One of eight layouts {channels, analog ones}; times from the rates or from the stamps.
    static const int kLayouts[][2] = {{1, 1}, {1, 0}, {2, 1}, {4, 2}, {3, 3}, {17, 0}, {20, 3}, {40, 8}};
    const int channels = kLayouts[setup & 7][0], analogs = kLayouts[setup & 7][1];
    Cfg cfg;
    cfg.revYear = revision, cfg.samplesCount = 1000, cfg.timeMultiplier = (setup & 32) ? 1.0 : 2.5;
    cfg.channelsCount = channels, cfg.analogChannelsCount = analogs, cfg.binaryChannelsCount = channels - analogs;
    for (int i = 0; i < analogs; ++i) {
        cfg.analogChannels.emplace_back(i, (setup & 8) != 0, 1999);
        cfg.analogChannels.back().a = 0.5 * (i + 1), cfg.analogChannels.back().b = -1.0;
    }
    cfg.binaryChannels.resize(static_cast<std::size_t>(channels - analogs));
    cfg.samplingRates = {SamplingRate("1000,500"), SamplingRate((setup & 16) ? "0,1000" : "250,1000")};
    cfg.allRatesNonZero = (setup & 16) == 0;
    const unsigned long long index = (setup & 64) ? 7u : 777u;

    // The line as unterminated bytes on an exact-size heap copy.
    std::unique_ptr<char[]> copy(new char[lines[2].size() + lines[2].empty()]);
    std::memcpy(copy.get(), lines[2].data(), lines[2].size());
    Sample decoded(cfg), ref(cfg);
    const bool ok = decoded.load(copy.get(), lines[2].size(), index);
    const int judged = reference(lines[2], cfg, index, ref);
    check(judged < 0 || judged == ok, "decoder and reference disagree on the line");
    check(!ok || (decoded.index == index && decoded.analogValues.size() == static_cast<std::size_t>(analogs) &&
                  decoded.binaryValues.size() == static_cast<std::size_t>(channels - analogs)), "decoded shape");
    const bool sameTime = decoded.time == ref.time || std::fabs(decoded.time - ref.time) <= 1e-12 * std::fabs(ref.time);
    check(!ok || judged != 1 || (sameTime && decoded.binaryValues == ref.binaryValues &&
                                 KivFuzz::sameBytes(decoded.analogValues, ref.analogValues)), "reference values");
    return 0;
}
