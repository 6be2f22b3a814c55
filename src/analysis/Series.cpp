// RMS and phasor series: one value per sample from a sliding sum over the
// segments of the last cycle. Each step adds the segment that ends at the new
// sample and drops those that left the window; the piece of the segment the
// window starts in is added on its own. Segment contributions are kept in a
// ring, and the sum is rebuilt from the ring every few thousand samples so
// rounding does not build up over millions of them.

#include <KivComtradeLib/Analysis.h>

#include "analysis/Window.h"

#include <cmath>
#include <limits>

namespace KivComtradeLib {
namespace Analysis {

namespace {

using Detail::kPi;
using Detail::kSqrt2;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr std::size_t kRebuildEvery = 4096; // samples between two rebuilds of the sum
constexpr std::size_t kReanchorEvery = 64; // samples between two exact twiddles

bool isBad(double v) { return !std::isfinite(v); }
bool isBad(const Phasor& v) { return !std::isfinite(v.real()) || !std::isfinite(v.imag()); }

// Integral of x^2 by trapezoids.
class SquareKernel {
public:
    using Value = double;
    explicit SquareKernel(const Signal& s) : x_(s.values) {}
    Value segment(std::size_t j, double h) { return h * (x_[j] * x_[j] + x_[j + 1] * x_[j + 1]) / 2; }
    // The piece [end of the cycle before, time[j + 1]] of segment j.
    Value partial(std::size_t j, double length, double h, std::size_t)
    {
        // The squares are read as straight lines between samples (the same
        // rule as the single-time RMS): the cut pieces at both ends of a
        // window then add up to whole trapezoids, which keeps the RMS exact
        // between samples too.
        const double x0 = x_[j] * x_[j], x1 = x_[j + 1] * x_[j + 1];
        const double ya = x1 - (x1 - x0) * length / h;
        return length * (ya + x1) / 2;
    }
    Value zero() const { return 0.0; }

private:
    const double* x_;
};

// Integral of x(tau) e^{-j w tau}, corrected for the straight-line gain.
class FundamentalKernel {
public:
    using Value = Phasor;
    explicit FundamentalKernel(const Signal& s)
        : t_(s.time), x_(s.values), w_(2 * kPi * s.lineFrequency), twiddle_(exact(0))
    {
    }
    Value segment(std::size_t j, double h)
    {
        if (h != h_) {
            if (!(std::abs(h - h_) <= 1e-7 * h_))
                cache(h);
        }
        const Value v = twiddle_ * scaled_ * (x_[j] * weights_.a + x_[j + 1] * weights_.b);
        // Twiddle of the next segment's start.
        twiddle_ = (j + 1) % kReanchorEvery == 0 ? exact(j + 1) : twiddle_ * step_;
        return v;
    }
    // The piece [time[n] - T, time[j + 1]] of segment j; its start turns like
    // time[n] itself (a whole cycle earlier), whose twiddle is the current one.
    Value partial(std::size_t j, double length, double h, std::size_t)
    {
        const double xa = x_[j + 1] - (x_[j + 1] - x_[j]) * length / h;
        const Detail::SegmentWeights sw = Detail::segmentWeights(w_ * length);
        return twiddle_ * (length * Detail::lineGainCorrection(w_ * h)) * (xa * sw.a + x_[j + 1] * sw.b);
    }
    Value zero() const { return Value(0.0, 0.0); }

private:
    Phasor exact(std::size_t j) const { return std::polar(1.0, -std::fmod(w_ * t_[j], 2 * kPi)); }
    void cache(double h)
    {
        h_ = h;
        weights_ = Detail::segmentWeights(w_ * h);
        scaled_ = h * Detail::lineGainCorrection(w_ * h);
        step_ = std::polar(1.0, -w_ * h);
    }

    const double* t_;
    const double* x_;
    double w_;
    Phasor twiddle_;
    double h_ = -1.0;
    Detail::SegmentWeights weights_{};
    double scaled_ = 0.0;
    Phasor step_{1.0, 0.0};
};

// Calls emit(n, integral over the cycle ending at time[n]) for every sample,
// or emit(n, NaN) where the window cannot be taken.
template <class Kernel, class Emit>
void slide(const Signal& s, Kernel& kernel, Emit emit)
{
    using Value = typename Kernel::Value;
    const double period = 1.0 / s.lineFrequency;
    const double tol = Detail::kTimeTolerance * period;
    const double maxSpacing = period / 2;
    const double* t = s.time;
    const double* x = s.values;

    std::vector<Value> ring(64);
    std::size_t mask = ring.size() - 1;
    std::vector<bool> ringBad(ring.size());
    Value sum = kernel.zero();
    std::size_t bad = 0;  // unusable segments in the window
    std::size_t tail = 0; // first segment whose start is inside the window
    std::size_t sinceRebuild = 0;

    for (std::size_t n = 0; n < s.count; ++n) {
        if (n > 0) {
            const std::size_t j = n - 1;
            if (n - tail > ring.size()) {
                std::vector<Value> grown(ring.size() * 2);
                std::vector<bool> grownBad(grown.size());
                for (std::size_t i = tail; i < j; ++i) {
                    grown[i & (grown.size() - 1)] = ring[i & mask];
                    grownBad[i & (grown.size() - 1)] = ringBad[i & mask];
                }
                ring.swap(grown);
                ringBad.swap(grownBad);
                mask = ring.size() - 1;
            }
            const double h = t[n] - t[j];
            Value v = kernel.segment(j, h);
            const bool unusable = !(h >= 0) || h > maxSpacing || isBad(x[j]) || isBad(x[n]) || isBad(v);
            ring[j & mask] = v;
            ringBad[j & mask] = unusable;
            if (unusable)
                ++bad;
            else
                sum += v;
            if (++sinceRebuild == kRebuildEvery) {
                sinceRebuild = 0;
                sum = kernel.zero();
                for (std::size_t i = tail; i <= j; ++i)
                    if (!ringBad[i & mask])
                        sum += ring[i & mask];
            }
        }
        const double start = t[n] - period;
        while (tail < n && t[tail] < start - tol) {
            if (ringBad[tail & mask])
                --bad;
            else
                sum -= ring[tail & mask];
            ++tail;
        }
        if (start < t[0] - tol || bad > 0 || isBad(start)) {
            emit(n, Value(kNaN));
            continue;
        }
        Value total = sum;
        if (tail > 0 && t[tail] > start + tol) {
            const std::size_t j = tail - 1;
            const double h = t[tail] - t[j];
            if (!(h <= maxSpacing) || isBad(x[j]) || isBad(x[tail])) {
                emit(n, Value(kNaN));
                continue;
            }
            total += kernel.partial(j, t[tail] - start, h, n);
        }
        emit(n, total);
    }
}

bool usable(const Signal& s)
{
    return s.lineFrequency > 0 && std::isfinite(s.lineFrequency) && s.time && s.values;
}

} // namespace

std::vector<double> rmsSeries(const Signal& s)
{
    std::vector<double> out(s.count, kNaN);
    if (!usable(s))
        return out;
    const double frequency = s.lineFrequency;
    SquareKernel kernel(s);
    slide(s, kernel, [&](std::size_t n, double integral) {
        out[n] = integral >= 0 ? std::sqrt(integral * frequency) : (integral < 0 ? 0.0 : kNaN);
    });
    return out;
}

std::vector<Phasor> phasorSeries(const Signal& s)
{
    std::vector<Phasor> out(s.count, Phasor(kNaN, kNaN));
    if (!usable(s))
        return out;
    const Phasor scale = kSqrt2 * s.lineFrequency *
                         std::polar(1.0, -std::fmod(2 * kPi * s.lineFrequency * s.skew, 2 * kPi));
    FundamentalKernel kernel(s);
    slide(s, kernel, [&](std::size_t n, const Phasor& integral) { out[n] = integral * scale; });
    return out;
}

std::vector<FrequencyPoint> frequencySeries(const Signal& s)
{
    std::vector<FrequencyPoint> out;
    if (!usable(s) || s.count < 2)
        return out;
    const std::vector<Phasor> phasors = phasorSeries(s);
    const double period = 1.0 / s.lineFrequency;
    const double tol = Detail::kTimeTolerance * period;
    const double* t = s.time;
    // Cycle k ends at time[0] + (k + 2) T: the first whose samples all have
    // a phasor. Each cycle's phasors are averaged; a frequency needs two.
    std::size_t j = 0;
    Phasor before(kNaN, kNaN);
    for (double k = 0;; ++k) {
        const double end = t[0] + (k + 2) * period;
        if (end > t[s.count - 1] + tol)
            break;
        Phasor sum(0.0, 0.0);
        std::size_t n = 0;
        while (j < s.count && t[j] <= end - period + tol)
            ++j;
        for (; j < s.count && t[j] <= end + tol; ++j, ++n)
            sum += phasors[j];
        const Phasor now = n == 0 ? Phasor(kNaN, kNaN) : sum / static_cast<double>(n);
        if (k > 0) {
            double f = kNaN;
            if (std::abs(now) > 0 && std::abs(before) > 0)
                f = s.lineFrequency + std::arg(now * std::conj(before)) / (2 * kPi * period);
            out.push_back({end + s.skew, std::isfinite(f) ? f : kNaN});
        }
        before = now;
    }
    return out;
}

} // namespace Analysis
} // namespace KivComtradeLib
