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

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <string>

using namespace KivComtradeLib;

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "fuzz_lines: %s\n", what);
    std::abort();
}

void check(bool ok, const char* what) {
    if (!ok) fail(what);
}

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
        if (revision < 1999) check(rec.phase.empty() && rec.circuitComponent.empty(), "1991 texts");
        (void)rec.name();
        (void)rec.channelInfo();
    } catch (const std::exception&) {
    }
}

struct Layout {
    int total;
    int analog;
};
const Layout kLayouts[] = {{1, 1}, {1, 0}, {2, 1}, {4, 2}, {3, 3}, {17, 0}, {20, 3}, {40, 8}};

void dataLine(const std::string& line, std::uint8_t setup) {
    const Layout& layout = kLayouts[setup & 7];
    Cfg cfg;
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
    dataLine(record, setup);
    return 0;
}
