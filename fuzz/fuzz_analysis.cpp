// The measures on any samples: times that stall, go back or jump, values that
// are NaN or huge, any line frequency and skew. Input: line frequency, skew,
// query time (three doubles), a harmonic order byte, then (time step, value)
// pairs of doubles. Every measure must return (NaN is fine) without a crash,
// the series one value per sample, and, for rising times, the series must
// agree with the single-time measures and with the measures at chosen
// samples wherever both are finite.

#include "FuzzInput.h"

#include <KivComtradeLib/Analysis.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

using namespace KivComtradeLib;
using KivFuzz::check;

static double readDouble(const std::uint8_t*& data, std::size_t& size)
{
    double v = 0.0;
    if (size >= sizeof v) {
        std::memcpy(&v, data, sizeof v);
        data += sizeof v, size -= sizeof v;
    }
    return v;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const double frequency = readDouble(data, size);
    const double skew = readDouble(data, size);
    const double at = readDouble(data, size);
    const int order = size > 0 ? static_cast<int>(*data++) - 8 : 13;
    size -= size > 0;
    std::vector<double> time, values;
    double t = 0.0;
    while (size >= 16 && time.size() < 4096) {
        t += readDouble(data, size);
        time.push_back(t);
        values.push_back(readDouble(data, size));
    }
    const Analysis::Signal signal(time.data(), values.data(), time.size(), frequency, skew);
    const auto phasors = Analysis::phasorSeries(signal);
    const auto rms = Analysis::rmsSeries(signal);
    check(phasors.size() == time.size() && rms.size() == time.size(), "one series value per sample");
    (void)Analysis::frequencySeries(signal);
    (void)Analysis::frequency(signal, at);
    const Analysis::Harmonics h = Analysis::harmonics(signal, at, order);
    check(h.phasor.size() == h.magnitude.size(), "harmonic phasors and magnitudes pair up");
    check(h.phasor.empty() || static_cast<int>(h.phasor.size()) <= order + 1, "no more harmonics than asked");
    // Where the times keep the Signal's contract (finite, rising) and
    // rounding cannot matter (modest numbers), the series and the
    // single-time measures are the same sums.
    bool rising = true;
    for (std::size_t n = 0; n < time.size(); ++n)
        rising = rising && std::isfinite(time[n]) && (n == 0 || time[n] >= time[n - 1]) &&
                 !(std::abs(values[n]) > 1e6); // a sliding sum loses what a 1e16x spike swamps
    std::vector<std::size_t> chosen;
    for (std::size_t n = 0; n < time.size(); n += 1 + time.size() / 16)
        chosen.push_back(n);
    chosen.push_back(time.size()); // past the last sample
    std::vector<double> rmsAt(chosen.size());
    std::vector<Analysis::Phasor> phasorsAt(chosen.size());
    Analysis::rmsPhasorAt(signal, chosen.data(), chosen.size(), rmsAt.data(), phasorsAt.data());
    check(std::isnan(rmsAt.back()) && std::isnan(phasorsAt.back().real()), "no measure past the last sample");
    for (std::size_t i = 0; i + 1 < chosen.size(); ++i) {
        const std::size_t n = chosen[i];
        const Analysis::Phasor single = Analysis::phasor(signal, time[n] + skew);
        const double scale = std::abs(single) + std::abs(phasors[n]);
        if (rising && std::isfinite(scale) && scale < 1e6 && std::isfinite(time[n]) && std::abs(time[n]) < 1e3 &&
            frequency > 1 && frequency < 1e4 && std::abs(skew) < 1) {
            check(std::isnan(phasors[n].real()) || std::isnan(single.real()) ||
                      std::abs(phasors[n] - single) <= 1e-6 * (1 + scale),
                  "series phasor equals the phasor at the sample's time");
            check(std::isnan(phasors[n].real()) || std::isnan(phasorsAt[i].real()) ||
                      std::abs(phasors[n] - phasorsAt[i]) <= 1e-6 * (1 + scale),
                  "phasor at a chosen sample equals the series'");
        }
        (void)Analysis::rms(signal, time[n] + skew);
    }
    return 0;
}
