// Phasor, RMS, harmonics and frequency at one time: one pass over the
// segments of the cycle ending at that time.

#include <KivComtradeLib/Analysis.h>

#include "analysis/Window.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace KivComtradeLib {
namespace Analysis {

namespace {

using Detail::kPi;
using Detail::kSqrt2;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
const Phasor kNaNPhasor(kNaN, kNaN);

// One piece of a segment inside the window: [lo, hi] with the straight-line
// values at both ends and those of the squares (the squares are read as
// straight lines of their own, see rms()), and the spacing h of the whole
// segment.
struct Piece {
    double lo, hi, xlo, xhi, ylo, yhi, h;
};

// The pieces of the cycle ending at raw time `end` (skew already taken out);
// false when the window cannot be taken: outside the samples, a missing
// value, times that go backwards or a segment wider than `maxSpacing`.
template <class Visit>
bool forEachPiece(const Signal& s, double end, double maxSpacing, Visit visit)
{
    if (!(s.lineFrequency > 0) || !std::isfinite(s.lineFrequency) || s.count < 2 || !s.time ||
        !s.values || !std::isfinite(end))
        return false;
    const double period = 1.0 / s.lineFrequency;
    const double tol = Detail::kTimeTolerance * period;
    double start = end - period;
    const double first = s.time[0];
    const double last = s.time[s.count - 1];
    if (start < first - tol || end > last + tol)
        return false;
    start = std::max(start, first);
    end = std::min(end, last);
    // Segment j runs from time[j] to time[j + 1].
    const double* t = s.time;
    std::size_t j = static_cast<std::size_t>(std::upper_bound(t, t + s.count, start) - t);
    j = j == 0 ? 0 : j - 1;
    for (; j + 1 < s.count && t[j] < end; ++j) {
        const double h = t[j + 1] - t[j];
        if (!(h >= 0))
            return false;
        const double lo = std::max(start, t[j]);
        const double hi = std::min(end, t[j + 1]);
        // A sliver left by rounding of the window's ends is not part of it:
        // a missing value just outside the cycle must not void it.
        if (!(hi - lo > tol))
            continue;
        if (h > maxSpacing)
            return false;
        const double x0 = s.values[j], x1 = s.values[j + 1];
        if (!std::isfinite(x0) || !std::isfinite(x1))
            return false;
        const double slope = (x1 - x0) / h;
        const double squareSlope = (x1 * x1 - x0 * x0) / h;
        visit(Piece{lo, hi, x0 + slope * (lo - t[j]), x0 + slope * (hi - t[j]),
                    x0 * x0 + squareSlope * (lo - t[j]), x0 * x0 + squareSlope * (hi - t[j]), h});
    }
    return true;
}

// Integral over the window of x(tau) e^{-j k w tau}, corrected for the
// straight-line gain, for k = 0..order; empty when the window gives nothing.
std::vector<Phasor> windowIntegrals(const Signal& s, double end, int order, double maxSpacing)
{
    std::vector<Phasor> sums(static_cast<std::size_t>(order) + 1, Phasor(0.0, 0.0));
    const double w = 2 * kPi * s.lineFrequency;
    const bool ok = forEachPiece(s, end, maxSpacing, [&](const Piece& p) {
        const double length = p.hi - p.lo;
        for (int k = 0; k <= order; ++k) {
            const double kw = k * w;
            const Detail::SegmentWeights sw = Detail::segmentWeights(kw * length);
            const Phasor rotation = std::polar(1.0, -std::fmod(kw * p.lo, 2 * kPi));
            sums[static_cast<std::size_t>(k)] += rotation * length * (p.xlo * sw.a + p.xhi * sw.b) *
                                                 Detail::lineGainCorrection(kw * p.h);
        }
    });
    if (!ok)
        sums.clear();
    return sums;
}

Phasor unskew(const Signal& s, Phasor raw, int k)
{
    if (s.skew == 0.0)
        return raw;
    return raw * std::polar(1.0, -std::fmod(k * 2 * kPi * s.lineFrequency * s.skew, 2 * kPi));
}

// Mean of the fundamental phasors at the samples of the cycle ending at raw
// time `end`; NaN when one of them is.
Phasor cycleMean(const Signal& s, double end)
{
    const double period = 1.0 / s.lineFrequency;
    const double tol = Detail::kTimeTolerance * period;
    const double* t = s.time;
    std::size_t j = static_cast<std::size_t>(std::upper_bound(t, t + s.count, end - period + tol) - t);
    Phasor sum(0.0, 0.0);
    std::size_t n = 0;
    for (; j < s.count && t[j] <= end + tol; ++j, ++n)
        sum += phasor(s, t[j] + s.skew);
    return n == 0 ? kNaNPhasor : sum / static_cast<double>(n);
}

} // namespace

Signal::Signal(const double* time_, const double* values_, std::size_t count_, double lineFrequency_,
               double skew_)
    : time(time_), values(values_), count(count_), lineFrequency(lineFrequency_), skew(skew_)
{
}

Phasor phasor(const Signal& s, double t)
{
    if (!(s.lineFrequency > 0))
        return kNaNPhasor;
    const double period = 1.0 / s.lineFrequency;
    const std::vector<Phasor> sums = windowIntegrals(s, t - s.skew, 1, period / 2);
    if (sums.empty())
        return kNaNPhasor;
    return unskew(s, sums[1] * (kSqrt2 / period), 1);
}

double rms(const Signal& s, double t)
{
    if (!(s.lineFrequency > 0))
        return kNaN;
    const double period = 1.0 / s.lineFrequency;
    // Trapezoids of x^2: exact over a whole cycle for every harmonic below
    // half the samples per cycle. The squares, not the values, are read as
    // straight lines inside a segment, so that the pieces a window cuts at
    // its two ends add up to one whole trapezoid of a periodic signal.
    double sum = 0.0;
    const bool ok = forEachPiece(s, t - s.skew, period / 2, [&](const Piece& p) {
        sum += (p.hi - p.lo) * (p.ylo + p.yhi) / 2;
    });
    return ok ? std::sqrt(std::max(sum, 0.0) / period) : kNaN;
}

Harmonics harmonics(const Signal& s, double t, int order)
{
    Harmonics result;
    result.thd = kNaN;
    if (!(s.lineFrequency > 0) || order < 0 || !s.time || s.count < 2)
        return result;
    const double period = 1.0 / s.lineFrequency;
    const double end = t - s.skew;
    // The widest spacing in the window caps the order: harmonic k needs more
    // than two samples per period of its own.
    double widest = 0.0;
    if (!forEachPiece(s, end, period / 2, [&](const Piece& p) { widest = std::max(widest, p.h); }))
        return result;
    if (widest > 0) {
        const double samplesPerCycle = period / widest;
        const int cap = static_cast<int>(std::ceil(samplesPerCycle / 2) - 1);
        order = std::min(order, std::max(cap, 1));
    }
    std::vector<Phasor> sums = windowIntegrals(s, end, order, period / 2);
    if (sums.empty())
        return result;
    for (int k = 0; k <= order; ++k) {
        const double scale = (k == 0 ? 1.0 : kSqrt2) / period;
        result.phasor.push_back(unskew(s, sums[static_cast<std::size_t>(k)] * scale, k));
        result.magnitude.push_back(std::abs(result.phasor.back()));
    }
    if (order >= 2 && result.magnitude[1] > 0) {
        double distortion = 0.0;
        for (int k = 2; k <= order; ++k)
            distortion += result.magnitude[static_cast<std::size_t>(k)] *
                          result.magnitude[static_cast<std::size_t>(k)];
        result.thd = std::sqrt(distortion) / result.magnitude[1];
    }
    return result;
}

double frequency(const Signal& s, double t)
{
    if (!(s.lineFrequency > 0) || !s.time || s.count < 2)
        return kNaN;
    const double period = 1.0 / s.lineFrequency;
    const double end = t - s.skew;
    const double tol = Detail::kTimeTolerance * period;
    if (!(end - 3 * period >= s.time[0] - tol) || !(end <= s.time[s.count - 1] + tol))
        return kNaN;
    const Phasor now = cycleMean(s, end);
    const Phasor before = cycleMean(s, end - period);
    const double turn = std::arg(now * std::conj(before));
    if (!std::isfinite(turn) || std::abs(now) == 0 || std::abs(before) == 0)
        return kNaN;
    return s.lineFrequency + turn / (2 * kPi * period);
}

SequenceComponents sequence(Phasor a, Phasor b, Phasor c)
{
    const Phasor op(-0.5, std::sqrt(3.0) / 2);  // e^{j 120 deg}
    const Phasor op2(-0.5, -std::sqrt(3.0) / 2); // e^{j 240 deg}
    return {(a + b + c) / 3.0, (a + op * b + op2 * c) / 3.0, (a + op2 * b + op * c) / 3.0};
}

} // namespace Analysis
} // namespace KivComtradeLib
