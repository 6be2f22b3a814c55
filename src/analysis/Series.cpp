// RMS and phasor series: one value per sample from a sliding sum over the
// segments of the last cycle. Each step adds the segment that ends at the new
// sample and drops those that left the window; the piece of the segment the
// window starts in is added on its own. Segment contributions are kept in a
// ring, and the sum is rebuilt from the ring every few thousand samples so
// rounding does not build up over millions of them.

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

// ---- Whole cycles of equal spacings -------------------------------------------
//
// The common case: one sampling rate that puts a whole number N of samples in
// a cycle, and no missing value. Then every window is segments n-N .. n-1,
// the twiddles repeat every N samples, and both sums slide by one term in and
// one out. Same formulas as the general path, a few operations per sample.

struct Uniform {
    double h = 0.0;
    std::size_t cycle = 0; // N
};

// The spacing and N when every sample lies on time[0] + n h (to a
// billionth of a cycle) and N = T / h is whole. Values are not looked at:
// the shortcuts notice a value that is not finite in their sums.
bool uniformCycle(const Signal& s, Uniform& u)
{
    if (s.count < 3)
        return false;
    const double period = 1.0 / s.lineFrequency;
    const double* t = s.time;
    const double t0 = t[0];
    const double h = (t[s.count - 1] - t0) / static_cast<double>(s.count - 1);
    if (!(h > 0) || !(h <= period / 2))
        return false;
    const double cycles = period / h;
    const double whole = std::round(cycles);
    // Written so that NaN (infinite times and an infinite period) fails too.
    if (!(std::abs(cycles - whole) <= 1e-9 * whole) || !(whole >= 1.0) || whole >= static_cast<double>(s.count))
        return false;
    const double tol = Detail::kTimeTolerance * period;
    // Branch-free and four at a time, so that the scan runs at the speed of
    // memory.
    unsigned off = 0;
    std::size_t n = 0;
    const double h2 = 2 * h, h3 = 3 * h;
    for (; n + 4 <= s.count; n += 4) {
        const double base = t0 + static_cast<double>(n) * h;
        off |= static_cast<unsigned>(!(std::abs(t[n] - base) <= tol)) |
               static_cast<unsigned>(!(std::abs(t[n + 1] - (base + h)) <= tol)) |
               static_cast<unsigned>(!(std::abs(t[n + 2] - (base + h2)) <= tol)) |
               static_cast<unsigned>(!(std::abs(t[n + 3] - (base + h3)) <= tol));
    }
    for (; n < s.count; ++n)
        off |= static_cast<unsigned>(!(std::abs(t[n] - (t0 + static_cast<double>(n) * h)) <= tol));
    u.h = h;
    u.cycle = static_cast<std::size_t>(whole);
    return off == 0;
}

// Trapezoids of x^2 over the window: h (R_n + (x_{n-N}^2 - x_n^2) / 2), with
// R_n the sum of the last N squares. False (out unspecified) when a value is
// not finite.
bool uniformRms(const Signal& s, const Uniform& u, double* out)
{
    const double* x = s.values;
    const std::size_t N = u.cycle;
    const double scale = u.h * s.lineFrequency;
    for (std::size_t n = 0; n < N; ++n)
        out[n] = kNaN;
    bool finite = std::isfinite(x[0]);
    for (std::size_t begin = N; begin < s.count; begin += kRebuildEvery) {
        const std::size_t end = std::min(s.count, begin + kRebuildEvery);
        double sum = 0.0;
        for (std::size_t k = begin - N + 1; k <= begin; ++k)
            sum += x[k] * x[k];
        // v_n = x_n^2 - x_{n-N}^2 enters R; four at a time, so that one
        // addition per four samples waits on the one before.
        out[begin] = sum;
        std::size_t n = begin + 1;
        for (; n + 4 <= end; n += 4) {
            const double v0 = x[n] * x[n] - x[n - N] * x[n - N];
            const double v1 = x[n + 1] * x[n + 1] - x[n + 1 - N] * x[n + 1 - N];
            const double v2 = x[n + 2] * x[n + 2] - x[n + 2 - N] * x[n + 2 - N];
            const double v3 = x[n + 3] * x[n + 3] - x[n + 3 - N] * x[n + 3 - N];
            out[n] = sum + v0;
            out[n + 1] = sum + (v0 + v1);
            out[n + 2] = sum + ((v0 + v1) + v2);
            sum += (v0 + v1) + (v2 + v3);
            out[n + 3] = sum;
        }
        for (; n < end; ++n) {
            sum += x[n] * x[n] - x[n - N] * x[n - N];
            out[n] = sum;
        }
        finite = finite && std::isfinite(sum);
        // R_n to the RMS, in a loop of its own the compiler can vectorize.
        for (n = begin; n < end; ++n) {
            const double integral = out[n] + (x[n - N] * x[n - N] - x[n] * x[n]) * 0.5;
            out[n] = std::sqrt((integral > 0 ? integral : 0.0) * scale);
        }
    }
    return finite;
}

// With e_k = e^{-j w t_k} (period N) and P_n the sum of e_k x_k over the
// last N samples, the window's integral is
//   c ((a + b e^{j w h}) P_n + a e_n (x_{n-N} - x_n)),
// c = h / sinc^2(w h / 2) and a, b the segment weights (Window.h). False (out
// unspecified) when a value is not finite.
bool uniformPhasors(const Signal& s, const Uniform& u, const Phasor& scale, Phasor* out)
{
    const double* x = s.values;
    const std::size_t N = u.cycle;
    const double w = 2 * kPi * s.lineFrequency;
    std::vector<double> re(N), im(N);
    for (std::size_t k = 0; k < N; ++k) {
        const double angle = -std::fmod(w * (s.time[0] + static_cast<double>(k) * u.h), 2 * kPi);
        re[k] = std::cos(angle);
        im[k] = std::sin(angle);
    }
    const Detail::SegmentWeights sw = Detail::segmentWeights(w * u.h);
    const double c = u.h * Detail::lineGainCorrection(w * u.h);
    const Phasor A = scale * c * (sw.a + sw.b * std::polar(1.0, w * u.h));
    const Phasor B = scale * c * sw.a;
    const double ar = A.real(), ai = A.imag(), br = B.real(), bi = B.imag();
    for (std::size_t n = 0; n < N; ++n)
        out[n] = Phasor(kNaN, kNaN);
    bool finite = std::isfinite(x[0]);
    for (std::size_t begin = N; begin < s.count; begin += kRebuildEvery) {
        const std::size_t end = std::min(s.count, begin + kRebuildEvery);
        std::size_t k = begin % N; // n mod N
        double pr = 0.0, pi = 0.0; // P_n
        for (std::size_t i = begin - N + 1, ki = k + 1 == N ? 0 : k + 1; i <= begin; ++i, ki = ki + 1 == N ? 0 : ki + 1) {
            pr += re[ki] * x[i];
            pi += im[ki] * x[i];
        }
        // The terms e_n (x_{n-N} - x_n) first, in a loop without a chain...
        double* terms = reinterpret_cast<double*>(out + begin); // re, im of each n in place
        for (std::size_t n = begin; n < end; ++n) {
            const double d = x[n - N] - x[n];
            terms[2 * (n - begin)] = re[k] * d;
            terms[2 * (n - begin) + 1] = im[k] * d;
            k = k + 1 == N ? 0 : k + 1;
        }
        // ...then P_n (P at `begin` is the rebuilt sum) and the phasor; four
        // at a time, so that one subtraction per four samples waits on the
        // one before.
        const auto phasorAt = [&](std::size_t n, double qr, double qi) {
            const double er = terms[2 * (n - begin)], ei = terms[2 * (n - begin) + 1];
            out[n] = Phasor(ar * qr - ai * qi + br * er - bi * ei, ar * qi + ai * qr + br * ei + bi * er);
        };
        phasorAt(begin, pr, pi);
        std::size_t n = begin + 1;
        for (; n + 4 <= end; n += 4) {
            const double* e = terms + 2 * (n - begin);
            const double r01 = e[0] + e[2], i01 = e[1] + e[3];
            const double r012 = r01 + e[4], i012 = i01 + e[5];
            const double r0123 = r01 + (e[4] + e[6]), i0123 = i01 + (e[5] + e[7]);
            const double p0r = pr - e[0], p0i = pi - e[1];
            const double p1r = pr - r01, p1i = pi - i01;
            const double p2r = pr - r012, p2i = pi - i012;
            pr -= r0123;
            pi -= i0123;
            phasorAt(n, p0r, p0i);
            phasorAt(n + 1, p1r, p1i);
            phasorAt(n + 2, p2r, p2i);
            phasorAt(n + 3, pr, pi);
        }
        for (; n < end; ++n) {
            pr -= terms[2 * (n - begin)];
            pi -= terms[2 * (n - begin) + 1];
            phasorAt(n, pr, pi);
        }
        finite = finite && std::isfinite(pr) && std::isfinite(pi);
    }
    return finite;
}

} // namespace

void rmsSeries(const Signal& s, double* out)
{
    if (!usable(s)) {
        std::fill(out, out + s.count, kNaN);
        return;
    }
    if (Uniform u; uniformCycle(s, u) && uniformRms(s, u, out))
        return;
    std::fill(out, out + s.count, kNaN);
    const double frequency = s.lineFrequency;
    SquareKernel kernel(s);
    slide(s, kernel, [&](std::size_t n, double integral) {
        out[n] = integral >= 0 ? std::sqrt(integral * frequency) : (integral < 0 ? 0.0 : kNaN);
    });
}

void phasorSeries(const Signal& s, Phasor* out)
{
    if (!usable(s)) {
        std::fill(out, out + s.count, Phasor(kNaN, kNaN));
        return;
    }
    const Phasor scale = kSqrt2 * s.lineFrequency *
                         std::polar(1.0, -std::fmod(2 * kPi * s.lineFrequency * s.skew, 2 * kPi));
    if (Uniform u; uniformCycle(s, u) && uniformPhasors(s, u, scale, out))
        return;
    std::fill(out, out + s.count, Phasor(kNaN, kNaN));
    FundamentalKernel kernel(s);
    slide(s, kernel, [&](std::size_t n, const Phasor& integral) { out[n] = integral * scale; });
}

std::vector<double> rmsSeries(const Signal& s)
{
    std::vector<double> out(s.count);
    rmsSeries(s, out.data());
    return out;
}

std::vector<Phasor> phasorSeries(const Signal& s)
{
    std::vector<Phasor> out(s.count);
    phasorSeries(s, out.data());
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
    // a phasor. Each cycle's phasors are averaged; a frequency needs two in a
    // row. A cycle without samples (a gap in the times) gives no point: the
    // count jumps to the cycle of the next sample, so the points are at most
    // the samples however far apart the times lie.
    std::size_t j = 0;
    Phasor before(kNaN, kNaN);
    bool haveBefore = false;
    double k = 0.0, previousEnd = -std::numeric_limits<double>::infinity();
    for (std::size_t steps = 0; steps <= 2 * s.count; ++steps) {
        const double end = t[0] + (k + 2) * period;
        // Times too large for a cycle to move them end the series too.
        if (!(end <= t[s.count - 1] + tol) || !(end > previousEnd))
            break;
        previousEnd = end;
        while (j < s.count && t[j] <= end - period + tol)
            ++j;
        if (j < s.count && t[j] > end + tol) {
            haveBefore = false;
            k = std::max(k + 1, std::ceil((t[j] - t[0]) / period - 2 - 1e-9));
            continue;
        }
        Phasor sum(0.0, 0.0);
        std::size_t n = 0;
        for (; j < s.count && t[j] <= end + tol; ++j, ++n)
            sum += phasors[j];
        const Phasor now = n == 0 ? Phasor(kNaN, kNaN) : sum / static_cast<double>(n);
        if (haveBefore) {
            double f = kNaN;
            if (std::abs(now) > 0 && std::abs(before) > 0)
                f = s.lineFrequency + std::arg(now * std::conj(before)) / (2 * kPi * period);
            out.push_back({end + s.skew, std::isfinite(f) ? f : kNaN});
        }
        before = now;
        haveBefore = true;
        k += 1;
    }
    return out;
}

} // namespace Analysis
} // namespace KivComtradeLib
