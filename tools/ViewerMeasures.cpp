// Per-cycle RMS, phasors and sequence components for comtrade-view: one DFT
// at the line frequency per window, the fundamental's RMS magnitude and its
// angle against a common time zero.
#include "ViewerMeasures.h"

#include <cmath>

namespace KivTools {

namespace {

constexpr double kPi = 3.14159265358979323846;

float degrees(const std::complex<double>& z)
{
    return static_cast<float>(std::arg(z) * 180.0 / kPi);
}

} // namespace

std::vector<std::size_t> cycleBounds(const double* time, std::size_t count, double frequency)
{
    std::vector<std::size_t> bounds;
    if (count < 2 || !(frequency > 0.0))
        return bounds;
    std::size_t s = 0;
    while (s + 1 < count) {
        const double step = time[s + 1] - time[s];
        if (!(step > 0.0))
            break;
        const auto length = static_cast<std::size_t>(std::llround(1.0 / (frequency * step)));
        if (length < 4 || s + length > count)
            break;
        bounds.push_back(s);
        s += length;
    }
    if (!bounds.empty())
        bounds.push_back(s);
    return bounds;
}

CycleSeries cycleSeries(const double* values, const double* time, const std::vector<std::size_t>& bounds, double frequency, double origin)
{
    CycleSeries out;
    const std::size_t windows = bounds.empty() ? 0 : bounds.size() - 1;
    out.rms.resize(windows);
    out.magnitude.resize(windows);
    out.angle.resize(windows);
    out.phasor.resize(windows);
    std::vector<double> cosines, sines;
    for (std::size_t k = 0; k < windows; ++k) {
        const std::size_t begin = bounds[k], n = bounds[k + 1] - bounds[k];
        if (cosines.size() != n) {
            cosines.resize(n);
            sines.resize(n);
            for (std::size_t i = 0; i < n; ++i) {
                cosines[i] = std::cos(2.0 * kPi * static_cast<double>(i) / static_cast<double>(n));
                sines[i] = std::sin(2.0 * kPi * static_cast<double>(i) / static_cast<double>(n));
            }
        }
        double squares = 0.0, re = 0.0, im = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            const double v = values[begin + i];
            squares += v * v;
            re += v * cosines[i];
            im -= v * sines[i];
        }
        const double scale = std::sqrt(2.0) / static_cast<double>(n);
        // The DFT's angle is that at the window's first sample; turning it
        // back by the line frequency's phase there refers it to the origin.
        const double turn = -2.0 * kPi * frequency * (time[begin] - origin);
        const std::complex<double> z = std::complex<double>(re * scale, im * scale) * std::polar(1.0, turn);
        out.rms[k] = static_cast<float>(std::sqrt(squares / static_cast<double>(n)));
        out.phasor[k] = z;
        out.magnitude[k] = static_cast<float>(std::abs(z));
        out.angle[k] = degrees(z);
    }
    return out;
}

SequenceSeries sequenceSeries(const CycleSeries& a, const CycleSeries& b, const CycleSeries& c)
{
    const std::complex<double> op = std::polar(1.0, 2.0 * kPi / 3.0); // the operator a
    const std::complex<double> op2 = op * op;
    SequenceSeries out;
    const std::size_t windows = a.phasor.size();
    for (auto* series : {out.magnitude, out.angle})
        for (int s = 0; s < 3; ++s)
            series[s].resize(windows);
    for (std::size_t k = 0; k < windows; ++k) {
        const std::complex<double> va = a.phasor[k], vb = b.phasor[k], vc = c.phasor[k];
        const std::complex<double> parts[3] = {(va + vb + vc) / 3.0, (va + op * vb + op2 * vc) / 3.0,
                                               (va + op2 * vb + op * vc) / 3.0};
        for (int s = 0; s < 3; ++s) {
            out.magnitude[s][k] = static_cast<float>(std::abs(parts[s]));
            out.angle[s][k] = degrees(parts[s]);
        }
    }
    return out;
}

} // namespace KivTools
