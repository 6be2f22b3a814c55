// Single configuration and data lines: one analog channel line and one status
// channel line through their record constructors, and one text data record
// through Sample::load with a configuration built by hand.
//
// Input: byte 0 picks the revision, byte 1 the channel layout and the time
// base; the rest is split at '\n' into the analog line, the status line and
// the data line.

#include "FuzzInput.h"

#include <KivComtradeLib/AnalogChannelConfig.h>
#include <KivComtradeLib/BinaryChannelConfig.h>
#include <KivComtradeLib/Cfg.h>
#include <KivComtradeLib/Sample.h>
#include <KivComtradeLib/SamplingRate.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <vector>

using namespace KivComtradeLib;

namespace {

using KivFuzz::check;

std::string nextLine(KivFuzz::Input& in) {
    const auto* p = reinterpret_cast<const char*>(in.data());
    const void* nl = std::memchr(p, '\n', in.size());
    std::size_t len = nl ? static_cast<std::size_t>(static_cast<const char*>(nl) - p) : in.size();
    std::string line(p, len);
    for (std::size_t i = 0; i < len + (nl ? 1 : 0); ++i) in.byte();
    return line;
}

void analogLine(const std::string& line, int revision) {
    try {
        AnalogChannelConfig rec(3, line, revision);
        check(rec.index == 3, "analog index");
        double m = rec.multiplier;
        check(m == 1.0 || m == 1000.0 || m == 1e6 || m == 0.001, "unit prefix factor");
        (void)rec.name();
        (void)rec.channelInfo();
        (void)rec.GetRealValue(-32768.0);
        AnalogChannelConfig copy(rec);
        check(copy.name() == rec.name(), "analog copy");
    } catch (const std::exception&) {
        // A malformed line is rejected with an exception; the reader reports 3.
    }
}

void statusLine(const std::string& line, int revision) {
    try {
        BinaryChannelConfig rec(5, line, revision);
        check(rec.index == 5, "status index");
        // A line of five fields or more is in the later layout in any revision.
        if (revision < 1999 && std::count(line.begin(), line.end(), ',') < 4)
            check(rec.phase.empty() && rec.circuitComponent.empty(), "1991 texts");
        (void)rec.name();
        (void)rec.channelInfo();
    } catch (const std::exception&) {
    }
}

// A plain reading of the text record rules, to compare the decoder with:
// fields separated by ',', blanks (9-13, 32) skipped before a field; number
// fields "[+-]digits" accumulated modulo 2^32, or a real (a '.', 'e' or 'E'
// after the digits) as strtod reads it; an analog field empty between two
// commas, or the revision's marker, is missing (NaN); the time stamp may be
// empty when the rates give the times; status fields one character; a field
// ends at the first character it does not consume.
bool referenceDecode(const std::string& line, const Cfg& cfg, unsigned long long index,
                     double& time, std::vector<double>& analog, std::vector<bool>& status) {
    if (line.empty()) return false;
    const double nan = std::nan("");
    const std::uint32_t marker = cfg.revYear < 1999 ? 999999u : cfg.revYear < 2013 ? 99999u : 0u;
    const long long expected = static_cast<long long>(cfg.channelsCount) + 2;
    const long long numbers = static_cast<long long>(cfg.analogChannelsCount) + 2;
    std::size_t i = 0, n = line.size();
    bool comma = true;
    for (long long f = 0;;) {
        if (f >= expected) return true;
        while (i < n && (line[i] == ' ' || (line[i] >= 9 && line[i] <= 13))) ++i;
        if (i == n) return false;
        if (f < numbers) {
            double value = 0.0;
            bool missing = false;
            if (line[i] == ',' && comma) {
                if (f == 0 || (f == 1 && !cfg.allRatesNonZero)) return false;
                missing = true;
            } else {
                bool negative = line[i] == '-';
                if ((negative || line[i] == '+') && ++i == n) return false;
                std::size_t start = i;
                std::uint32_t v = 0;
                while (i < n && line[i] >= '0' && line[i] <= '9')
                    v = v * 10u + static_cast<std::uint32_t>(line[i++] - '0');
                if (i < n && (line[i] == '.' || line[i] == 'e' || line[i] == 'E')) {
                    std::string rest = line.substr(start);
                    char* stop = nullptr;
                    errno = 0;
                    double real = std::strtod(rest.c_str(), &stop);
                    if (stop == rest.c_str() || (errno == ERANGE && (std::isinf(real) || real == 0.0)))
                        return false;
                    i = start + static_cast<std::size_t>(stop - rest.c_str());
                    value = negative ? -real : real;
                } else {
                    if (i == start) return false;
                    missing = !negative && marker != 0 && v == marker;
                    if (negative) v = 0u - v;
                    value = static_cast<double>(static_cast<std::int32_t>(v));
                    if (f == 1) value = static_cast<double>(v);
                }
            }
            if (f == 1)
                time = cfg.allRatesNonZero ? cfg.timeFromSampleIndex(index)
                                           : value * cfg.timeMultiplier * 1e-6;
            if (f >= 2)
                analog.push_back(missing ? nan
                                         : cfg.analogChannels[static_cast<std::size_t>(f - 2)].GetRealValue(value));
        } else {
            status.push_back(line[i++] != '0');
        }
        if (i == n) return f + 1 >= expected;
        ++f;
        comma = line[i] == ',';
        if (comma && ++i == n) {
            if (f >= expected) return true;
            // "...,5,": the last field, an analog one, left empty.
            if (f + 1 == expected && f >= 2 && f < numbers) {
                analog.push_back(nan);
                return true;
            }
            return false;
        }
    }
}

bool sameTime(double a, double b) {
    if (std::memcmp(&a, &b, sizeof a) == 0) return true;
    return std::fabs(a - b) <= 1e-12 * std::fmax(std::fabs(a), std::fabs(b));
}

struct Layout {
    int total;
    int analog;
};
const Layout kLayouts[] = {{1, 1}, {1, 0}, {2, 1}, {4, 2}, {3, 3}, {17, 0}, {20, 3}, {40, 8}};

void dataLine(const std::string& line, std::uint8_t setup, int revision) {
    const Layout& layout = kLayouts[setup & 7];
    Cfg cfg;
    cfg.revYear = revision;
    cfg.channelsCount = layout.total;
    cfg.analogChannelsCount = layout.analog;
    cfg.binaryChannelsCount = layout.total - layout.analog;
    for (int i = 0; i < layout.analog; ++i) {
        cfg.analogChannels.emplace_back(i, (setup & 8) != 0, 1999);
        cfg.analogChannels.back().a = 0.5 * (i + 1);
        cfg.analogChannels.back().b = -1.0;
    }
    for (int i = 0; i < cfg.binaryChannelsCount; ++i) {
        cfg.binaryChannels.emplace_back();
        cfg.binaryChannels.back().index = i;
    }
    cfg.samplingRates.emplace_back("1000,500");
    cfg.samplingRates.emplace_back((setup & 16) ? "0,1000" : "250,1000");
    cfg.allRatesNonZero = (setup & 16) == 0;
    cfg.samplesCount = 1000;
    cfg.timeMultiplier = (setup & 32) ? 1.0 : 2.5;

    unsigned long long index = (setup & 64) ? 7u : 777u;
    Sample fromString(cfg);
    bool ok = fromString.load(line, index);
    if (ok) {
        check(fromString.index == index, "sample index");
        check(fromString.analogValues.size() == static_cast<std::size_t>(layout.analog),
              "analog values of a decoded line");
        check(fromString.binaryValues.size() ==
                  static_cast<std::size_t>(layout.total - layout.analog),
              "status values of a decoded line");
        if (cfg.allRatesNonZero)
            check(fromString.time == cfg.timeFromSampleIndex(index), "time from the rates");
    }

    double refTime = 0.0;
    std::vector<double> refAnalog;
    std::vector<bool> refStatus;
    bool refOk = referenceDecode(line, cfg, index, refTime, refAnalog, refStatus);
    check(ok == refOk, "decoder and reference disagree on the line");
    if (ok) {
        check(fromString.binaryValues == refStatus, "status values differ from the reference");
        check(sameTime(fromString.time, refTime), "time differs from the reference");
        check(fromString.analogValues.size() == refAnalog.size(), "analog count vs reference");
        for (std::size_t i = 0; i < refAnalog.size(); ++i) {
            check(std::memcmp(&fromString.analogValues[i], &refAnalog[i], sizeof(double)) == 0,
                  "analog value differs from the reference");
        }
    }

    // The same bytes, unterminated, on an exact-size heap buffer.
    std::unique_ptr<char[]> copy(new char[line.size() ? line.size() : 1]);
    std::memcpy(copy.get(), line.data(), line.size());
    Sample fromBytes(cfg);
    bool okBytes = fromBytes.load(copy.get(), line.size(), index);
    check(ok == okBytes, "string and byte decoders disagree");
    if (ok) {
        check(fromBytes.binaryValues == fromString.binaryValues, "status values differ");
        check(std::memcmp(&fromBytes.time, &fromString.time, sizeof(double)) == 0, "times differ");
        for (std::size_t i = 0; i < fromString.analogValues.size(); ++i) {
            check(std::memcmp(&fromBytes.analogValues[i], &fromString.analogValues[i],
                              sizeof(double)) == 0,
                  "analog values differ");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    KivFuzz::Input in(data, size);
    static const int kRevisions[] = {1991, 1999, 2013, 2000, 1997, 0, -1, 1998};
    int revision = kRevisions[in.byte() & 7];
    std::uint8_t setup = in.byte();
    std::string analog = nextLine(in);
    std::string status = nextLine(in);
    std::string record = nextLine(in);
    analogLine(analog, revision);
    statusLine(status, revision);
    dataLine(record, setup, revision);
    return 0;
}
