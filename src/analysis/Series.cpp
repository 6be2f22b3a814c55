// RMS and phasor series: one value per sample from a sliding sum over the
// segments of the last cycle. Each step adds the segment that ends at the new
// sample and drops those that left the window; the piece of the segment the
// window starts in is added on its own. Segment contributions are kept in a
// ring, and the sum is rebuilt from the ring every few thousand samples so
// rounding does not build up over millions of them. One rate with a whole
// number of samples per cycle takes shortcuts with the same formulas; the
// measures at chosen samples and the series of every channel of a recording
// are built on them.

#include <KivComtradeLib/Analysis.h>

#include "analysis/Window.h"

#include <KivComtradeLib/ColumnarRecording.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <limits>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#ifdef __linux__
#include <sys/mman.h>
#endif

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

// The series read times and values from memory once, front to back: asked
// for kAhead values past p[n] (beyond the next 4 KiB page, where the
// processor's own prefetch stops), they are in the cache when their turn
// comes. The address is reckoned as a number: it may lie past the array's
// end, where a prefetch does no harm.
constexpr std::size_t kAhead = 1024;
inline void ahead(const double* p, std::size_t n)
{
#if defined(__GNUC__)
    const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(p) + (n + kAhead) * sizeof(double);
    __builtin_prefetch(reinterpret_cast<const void*>(address));
#else
    (void)p, (void)n;
#endif
}

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
// The spacing and N that the first and last times give, when N is whole;
// whether the samples between lie on that grid is left to the caller.
bool uniformSpacing(const Signal& s, Uniform& u)
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
    u.h = h;
    u.cycle = static_cast<std::size_t>(whole);
    return true;
}

// Whether samples [from, to) lie on the grid of `u` (to a billionth of a
// cycle). Branch-free and four at a time, so that the scan runs at the speed
// of memory; the groups of four always start at multiples of four, so that
// a range decides each sample exactly as the whole does.
bool onGrid(const Signal& s, const Uniform& u, std::size_t from, std::size_t to)
{
    const double* t = s.time;
    const double t0 = t[0];
    const double h = u.h;
    const double tol = Detail::kTimeTolerance * (1.0 / s.lineFrequency);
    unsigned off = 0;
    std::size_t n = from / 4 * 4;
    const double h2 = 2 * h, h3 = 3 * h;
    for (; n < to && n + 4 <= s.count; n += 4) {
        ahead(t, n);
        const double base = t0 + static_cast<double>(n) * h;
        off |= static_cast<unsigned>(!(std::abs(t[n] - base) <= tol)) |
               static_cast<unsigned>(!(std::abs(t[n + 1] - (base + h)) <= tol)) |
               static_cast<unsigned>(!(std::abs(t[n + 2] - (base + h2)) <= tol)) |
               static_cast<unsigned>(!(std::abs(t[n + 3] - (base + h3)) <= tol));
    }
    for (; n < to; ++n)
        off |= static_cast<unsigned>(!(std::abs(t[n] - (t0 + static_cast<double>(n) * h)) <= tol));
    return off == 0;
}

bool uniformCycle(const Signal& s, Uniform& u)
{
    return uniformSpacing(s, u) && onGrid(s, u, 0, s.count);
}

// Two doubles worked on together: the real and imaginary parts of one
// phasor, or the values of two neighbouring samples. Each lane gets the same
// operations in the same order as plain doubles would, so the results do not
// depend on the target.
#if defined(__SSE2__)
struct Pair {
    __m128d v;
};
inline Pair load(const double* p) { return {_mm_loadu_pd(p)}; }
inline void store(double* p, Pair a) { _mm_storeu_pd(p, a.v); }
inline Pair splat(double v) { return {_mm_set1_pd(v)}; }
inline Pair operator+(Pair a, Pair b) { return {_mm_add_pd(a.v, b.v)}; }
inline Pair operator-(Pair a, Pair b) { return {_mm_sub_pd(a.v, b.v)}; }
inline Pair operator*(Pair a, Pair b) { return {_mm_mul_pd(a.v, b.v)}; }
inline Pair swapped(Pair a) { return {_mm_shuffle_pd(a.v, a.v, 1)}; }
// (-lo, hi)
inline Pair negateLow(Pair a) { return {_mm_xor_pd(a.v, _mm_set_pd(0.0, -0.0))}; }
// Lanes above zero, else 0 (NaN too).
inline Pair positive(Pair a) { return {_mm_max_pd(a.v, _mm_setzero_pd())}; }
inline Pair sqrt(Pair a) { return {_mm_sqrt_pd(a.v)}; }
inline double low(Pair a) { return _mm_cvtsd_f64(a.v); }
inline double high(Pair a) { return _mm_cvtsd_f64(swapped(a).v); }
#else
struct Pair {
    double lo, hi;
};
inline Pair load(const double* p) { return {p[0], p[1]}; }
inline void store(double* p, Pair v) { p[0] = v.lo, p[1] = v.hi; }
inline Pair splat(double v) { return {v, v}; }
inline Pair operator+(Pair a, Pair b) { return {a.lo + b.lo, a.hi + b.hi}; }
inline Pair operator-(Pair a, Pair b) { return {a.lo - b.lo, a.hi - b.hi}; }
inline Pair operator*(Pair a, Pair b) { return {a.lo * b.lo, a.hi * b.hi}; }
inline Pair swapped(Pair a) { return {a.hi, a.lo}; }
inline Pair negateLow(Pair a) { return {-a.lo, a.hi}; }
inline Pair positive(Pair a) { return {a.lo > 0 ? a.lo : 0.0, a.hi > 0 ? a.hi : 0.0}; }
inline Pair sqrt(Pair a) { return {std::sqrt(a.lo), std::sqrt(a.hi)}; }
inline double low(Pair a) { return a.lo; }
inline double high(Pair a) { return a.hi; }
#endif

// Trapezoids of x^2 over the window: h (R_n + (x_{n-N}^2 - x_n^2) / 2), with
// R_n the sum of the last N squares. The samples from N on are taken in
// blocks of kRebuildEvery, each starting from a fresh sum. Samples
// [begin, end) of one block into out[0, end - begin); false when its sum is
// not finite.
bool uniformRmsBlock(const Signal& s, const Uniform& u, std::size_t begin, std::size_t end, double* out)
{
    const double* x = s.values;
    const std::size_t N = u.cycle;
    const double scale = u.h * s.lineFrequency;
    double sum = 0.0;
    for (std::size_t k = begin - N + 1; k <= begin; ++k)
        sum += x[k] * x[k];
    // v_n = x_n^2 - x_{n-N}^2 enters R; four at a time, so that one
    // addition per four samples waits on the one before.
    out[0] = sum;
    std::size_t n = begin + 1;
    for (; n + 4 <= end; n += 4) {
        ahead(x, n);
        const double v0 = x[n] * x[n] - x[n - N] * x[n - N];
        const double v1 = x[n + 1] * x[n + 1] - x[n + 1 - N] * x[n + 1 - N];
        const double v2 = x[n + 2] * x[n + 2] - x[n + 2 - N] * x[n + 2 - N];
        const double v3 = x[n + 3] * x[n + 3] - x[n + 3 - N] * x[n + 3 - N];
        out[n - begin] = sum + v0;
        out[n - begin + 1] = sum + (v0 + v1);
        out[n - begin + 2] = sum + ((v0 + v1) + v2);
        sum += (v0 + v1) + (v2 + v3);
        out[n - begin + 3] = sum;
    }
    for (; n < end; ++n) {
        sum += x[n] * x[n] - x[n - N] * x[n - N];
        out[n - begin] = sum;
    }
    // R_n to the RMS, two samples at a time.
    const Pair half = splat(0.5), scales = splat(scale);
    for (n = begin; n + 2 <= end; n += 2) {
        const Pair now = load(x + n), before = load(x + n - N);
        const Pair integral = load(out + (n - begin)) + (before * before - now * now) * half;
        store(out + (n - begin), sqrt(positive(integral) * scales));
    }
    if (n < end) {
        const double integral = out[n - begin] + (x[n - N] * x[n - N] - x[n] * x[n]) * 0.5;
        out[n - begin] = std::sqrt((integral > 0 ? integral : 0.0) * scale);
    }
    return std::isfinite(sum);
}

// With e_k = e^{-j w t_k} (period N) and P_n the sum of e_k x_k over the
// last N samples, the window's integral is
//   c ((a + b e^{j w h}) P_n + a e_n (x_{n-N} - x_n)),
// c = h / sinc^2(w h / 2) and a, b the segment weights (Window.h); `scale`
// (the RMS factor and the skew's turn) is folded into A and B.
struct PhasorPlan {
    std::vector<double> turn; // e_k, k = 0 .. N - 1: real and imaginary part at 2k, 2k + 1
    double ar = 0, ai = 0, br = 0, bi = 0;

    PhasorPlan(const Signal& s, const Uniform& u, const Phasor& scale) : turn(2 * u.cycle)
    {
        const double w = 2 * kPi * s.lineFrequency;
        for (std::size_t k = 0; k < u.cycle; ++k) {
            const double angle = -std::fmod(w * (s.time[0] + static_cast<double>(k) * u.h), 2 * kPi);
            turn[2 * k] = std::cos(angle);
            turn[2 * k + 1] = std::sin(angle);
        }
        const Detail::SegmentWeights sw = Detail::segmentWeights(w * u.h);
        const double c = u.h * Detail::lineGainCorrection(w * u.h);
        const Phasor A = scale * c * (sw.a + sw.b * std::polar(1.0, w * u.h));
        const Phasor B = scale * c * sw.a;
        ar = A.real();
        ai = A.imag();
        br = B.real();
        bi = B.imag();
    }
};

// Samples [begin, end) of one block into out[0, end - begin), as
// uniformRmsBlock; false when its sum is not finite.
bool uniformPhasorBlock(const Signal& s, const Uniform& u, const PhasorPlan& plan, std::size_t begin,
                        std::size_t end, Phasor* out)
{
    const double* x = s.values;
    const std::size_t N = u.cycle;
    const double* turn = plan.turn.data();
    std::size_t k = begin % N; // n mod N
    Pair p = splat(0.0);       // P_n: real, imaginary
    for (std::size_t i = begin - N + 1, ki = k + 1 == N ? 0 : k + 1; i <= begin; ++i, ki = ki + 1 == N ? 0 : ki + 1)
        p = p + load(turn + 2 * ki) * splat(x[i]);
    // The terms e_n (x_{n-N} - x_n) first, in a loop without a chain...
    double* terms = reinterpret_cast<double*>(out); // re, im of each n in place
    for (std::size_t n = begin; n < end; ++n) {
        if (n % 8 == 0) // a line of values
            ahead(x, n);
        store(terms + 2 * (n - begin), load(turn + 2 * k) * splat(x[n - N] - x[n]));
        k = k + 1 == N ? 0 : k + 1;
    }
    // ...then P_n (P at `begin` is the rebuilt sum) and the phasor
    //   (ar qr - ai qi + br er - bi ei, ar qi + ai qr + br ei + bi er)
    // with (er, ei) the term; four at a time, so that one subtraction per
    // four samples waits on the one before.
    const Pair ar = splat(plan.ar), ai = splat(plan.ai), br = splat(plan.br), bi = splat(plan.bi);
    const auto phasorAt = [&](std::size_t n, Pair q) {
        double* at = terms + 2 * (n - begin);
        const Pair e = load(at);
        store(at, ((ar * q + negateLow(ai * swapped(q))) + br * e) + negateLow(bi * swapped(e)));
    };
    phasorAt(begin, p);
    std::size_t n = begin + 1;
    for (; n + 4 <= end; n += 4) {
        const double* e = terms + 2 * (n - begin);
        const Pair e0 = load(e), e1 = load(e + 2), e2 = load(e + 4), e3 = load(e + 6);
        const Pair s01 = e0 + e1;
        const Pair p0 = p - e0, p1 = p - s01, p2 = p - (s01 + e2);
        p = p - (s01 + (e2 + e3));
        phasorAt(n, p0);
        phasorAt(n + 1, p1);
        phasorAt(n + 2, p2);
        phasorAt(n + 3, p);
    }
    for (; n < end; ++n) {
        p = p - load(terms + 2 * (n - begin));
        phasorAt(n, p);
    }
    return std::isfinite(low(p)) && std::isfinite(high(p));
}

// Series longer than this many values are written past the caches: nobody
// reads back hundreds of megabytes of series while they are made, and a
// store that does not first fetch its line halves the traffic to memory.
constexpr std::size_t kStreamFrom = std::size_t(1) << 19;

// dst[0, count) = src[0, count), past the caches where the target has such
// stores. Call streamed() once the series is written.
void streamCopy(double* dst, const double* src, std::size_t count)
{
#if defined(__SSE2__) && defined(__x86_64__)
    std::size_t i = 0;
    if (reinterpret_cast<std::uintptr_t>(dst) % 16 != 0 && count > 0) {
        long long bits;
        std::memcpy(&bits, src, sizeof bits);
        _mm_stream_si64(reinterpret_cast<long long*>(dst), bits);
        i = 1;
    }
    for (; i + 2 <= count; i += 2)
        _mm_stream_pd(dst + i, _mm_loadu_pd(src + i));
    if (i < count) {
        long long bits;
        std::memcpy(&bits, src + i, sizeof bits);
        _mm_stream_si64(reinterpret_cast<long long*>(dst + i), bits);
    }
#else
    std::memcpy(dst, src, count * sizeof(double));
#endif
}

void streamed()
{
#if defined(__SSE2__) && defined(__x86_64__)
    _mm_sfence();
#endif
}

// Either series or both of a channel on whole cycles of equal spacings, in one
// pass over the values: block by block, so that each block's values (and
// times, when `checkTimes` asks to see that they lie on the grid) are read
// from memory once for both. A null output is not computed. False in rmsOk
// or phasorOk (that output unspecified) when a value is not finite or a time
// is off the grid.
void uniformSeries(const Signal& s, const Uniform& u, bool checkTimes, const Phasor& scale, double* rms,
                   Phasor* phasors, bool& rmsOk, bool& phasorOk)
{
    const std::size_t N = u.cycle;
    const bool first = std::isfinite(s.values[0]) && (!checkTimes || onGrid(s, u, 0, N));
    rmsOk = rms && first;
    phasorOk = phasors && first;
    std::optional<PhasorPlan> plan;
    if (phasors)
        plan.emplace(s, u, scale);
    for (std::size_t n = 0; n < N; ++n) {
        if (rms)
            rms[n] = kNaN;
        if (phasors)
            phasors[n] = Phasor(kNaN, kNaN);
    }
    // Long series are made block by block in a scratch buffer the caches
    // hold and streamed out from there.
    const bool stream = s.count >= kStreamFrom;
    std::vector<double> rmsBlock(stream && rms ? kRebuildEvery : 0);
    std::vector<Phasor> phasorBlock(stream && phasors ? kRebuildEvery : 0);
    for (std::size_t begin = N; begin < s.count && (rmsOk || phasorOk); begin += kRebuildEvery) {
        const std::size_t end = std::min(s.count, begin + kRebuildEvery);
        if (checkTimes && !onGrid(s, u, begin, end)) {
            rmsOk = phasorOk = false;
            break;
        }
        if (rmsOk) {
            rmsOk = uniformRmsBlock(s, u, begin, end, stream ? rmsBlock.data() : rms + begin);
            if (stream)
                streamCopy(rms + begin, rmsBlock.data(), end - begin);
        }
        if (phasorOk) {
            phasorOk = uniformPhasorBlock(s, u, *plan, begin, end, stream ? phasorBlock.data() : phasors + begin);
            if (stream)
                streamCopy(reinterpret_cast<double*>(phasors + begin),
                           reinterpret_cast<const double*>(phasorBlock.data()), 2 * (end - begin));
        }
    }
    if (stream)
        streamed();
}

Phasor skewTurn(const Signal& s)
{
    return kSqrt2 * s.lineFrequency * std::polar(1.0, -std::fmod(2 * kPi * s.lineFrequency * s.skew, 2 * kPi));
}

void generalRms(const Signal& s, double* out)
{
    std::fill(out, out + s.count, kNaN);
    const double frequency = s.lineFrequency;
    SquareKernel kernel(s);
    slide(s, kernel, [&](std::size_t n, double integral) {
        out[n] = integral >= 0 ? std::sqrt(integral * frequency) : (integral < 0 ? 0.0 : kNaN);
    });
}

void generalPhasors(const Signal& s, Phasor* out)
{
    std::fill(out, out + s.count, Phasor(kNaN, kNaN));
    const Phasor scale = skewTurn(s);
    FundamentalKernel kernel(s);
    slide(s, kernel, [&](std::size_t n, const Phasor& integral) { out[n] = integral * scale; });
}

// Both series (either may be null). `u` is the grid the first and last
// times give (uniformSpacing) or null when they give none; `checked` tells
// that every time was found on it already.
void seriesOn(const Signal& s, const Uniform* u, bool checked, double* rms, Phasor* phasors)
{
    if (!usable(s)) {
        if (rms)
            std::fill(rms, rms + s.count, kNaN);
        if (phasors)
            std::fill(phasors, phasors + s.count, Phasor(kNaN, kNaN));
        return;
    }
    bool rmsOk = false, phasorOk = false;
    if (u)
        uniformSeries(s, *u, !checked, skewTurn(s), rms, phasors, rmsOk, phasorOk);
    if (rms && !rmsOk)
        generalRms(s, rms);
    if (phasors && !phasorOk)
        generalPhasors(s, phasors);
}

void series(const Signal& s, double* rms, Phasor* phasors)
{
    Uniform u;
    const bool uniform = usable(s) && uniformSpacing(s, u);
    seriesOn(s, uniform ? &u : nullptr, false, rms, phasors);
}

} // namespace

void rmsSeries(const Signal& s, double* out)
{
    series(s, out, nullptr);
}

void phasorSeries(const Signal& s, Phasor* out)
{
    series(s, nullptr, out);
}

void rmsPhasorSeries(const Signal& s, double* rms, Phasor* phasors)
{
    series(s, rms, phasors);
}

namespace {

// rmsPhasorAt on a grid of whole cycles (uniformSpacing): each window summed
// on its own with the shortcuts' formulas. False as soon as a window's times
// leave the grid (outputs then unspecified).
bool measuresOnGrid(const Signal& s, const Uniform& u, const std::size_t* at, std::size_t count, double* rms,
                    Phasor* phasors)
{
    const double* t = s.time;
    const double* x = s.values;
    const std::size_t N = u.cycle;
    const double t0 = t[0], h = u.h;
    const double tol = Detail::kTimeTolerance * (1.0 / s.lineFrequency);
    const double scale = h * s.lineFrequency;
    const PhasorPlan plan(s, u, skewTurn(s));
    const double* turn = plan.turn.data();
    const Pair ar = splat(plan.ar), ai = splat(plan.ai), br = splat(plan.br), bi = splat(plan.bi);
    const auto offGrid = [&](std::size_t j) { return !(std::abs(t[j] - (t0 + static_cast<double>(j) * h)) <= tol); };
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t n = at[i];
        double r = kNaN;
        Phasor z(kNaN, kNaN);
        if (n < s.count && n >= N) {
            // R_n and P_n as in uniformRmsBlock and uniformPhasorBlock.
            bool off = offGrid(n - N);
            double squares = 0.0;
            Pair p = splat(0.0);
            for (std::size_t j = n - N + 1, k = j % N; j <= n; ++j, k = k + 1 == N ? 0 : k + 1) {
                off |= offGrid(j);
                squares += x[j] * x[j];
                p = p + load(turn + 2 * k) * splat(x[j]);
            }
            if (off)
                return false;
            const double before = x[n - N], now = x[n];
            // A value that is not finite anywhere in the window shows in the
            // sum of squares or in the sample before it.
            if (std::isfinite(squares) && std::isfinite(before)) {
                const double integral = squares + (before * before - now * now) * 0.5;
                r = std::sqrt((integral > 0 ? integral : 0.0) * scale);
                const Pair e = load(turn + 2 * (n % N)) * splat(before - now);
                double value[2];
                store(value, ((ar * p + negateLow(ai * swapped(p))) + br * e) + negateLow(bi * swapped(e)));
                z = Phasor(value[0], value[1]);
            }
        }
        if (rms)
            rms[i] = r;
        if (phasors)
            phasors[i] = z;
    }
    return true;
}

} // namespace

void rmsPhasorAt(const Signal& s, const std::size_t* at, std::size_t count, double* rms, Phasor* phasors)
{
    const auto none = [&](std::size_t i) {
        if (rms)
            rms[i] = kNaN;
        if (phasors)
            phasors[i] = Phasor(kNaN, kNaN);
    };
    if (!usable(s)) {
        for (std::size_t i = 0; i < count; ++i)
            none(i);
        return;
    }
    if (Uniform u; uniformSpacing(s, u) && measuresOnGrid(s, u, at, count, rms, phasors))
        return;
    // Otherwise the series over blocks of samples that start two cycles
    // before the first index they serve: one pass over the samples, in
    // cache-sized pieces, instead of a cycle's integral per index.
    constexpr std::size_t kBlock = 16384;
    const double lead = 2.0 / s.lineFrequency + std::fabs(s.skew);
    std::vector<double> blockRms;
    std::vector<Phasor> blockPhasors;
    for (std::size_t i = 0; i < count;) {
        if (at[i] >= s.count) {
            none(i++);
            continue;
        }
        const std::size_t end = std::min(s.count, at[i] + kBlock);
        const std::size_t begin =
            static_cast<std::size_t>(std::lower_bound(s.time, s.time + at[i], s.time[at[i]] - lead) - s.time);
        const Signal block(s.time + begin, s.values + begin, end - begin, s.lineFrequency, s.skew);
        blockRms.resize(std::max(blockRms.size(), block.count));
        blockPhasors.resize(std::max(blockPhasors.size(), block.count));
        series(block, blockRms.data(), blockPhasors.data());
        for (; i < count && at[i] >= begin && at[i] < end; ++i) {
            if (rms)
                rms[i] = blockRms[at[i] - begin];
            if (phasors)
                phasors[i] = blockPhasors[at[i] - begin];
        }
    }
}

// ---- Every channel of a recording --------------------------------------------

void RecordingSeries::_Release::operator()(unsigned char* memory) const
{
    std::free(memory);
}

RecordingSeries::~RecordingSeries() = default;

const double* RecordingSeries::rms(std::size_t channel) const
{
    if (channel >= channels || !_memory)
        return nullptr;
    return reinterpret_cast<const double*>(_memory.get() + channel * count * (sizeof(double) + sizeof(Phasor)));
}

const Phasor* RecordingSeries::phasors(std::size_t channel) const
{
    if (channel >= channels || !_memory)
        return nullptr;
    return reinterpret_cast<const Phasor*>(_memory.get() + channel * count * (sizeof(double) + sizeof(Phasor)) +
                                           count * sizeof(double));
}

RecordingSeries recordingSeries(const ColumnarRecording& recording, unsigned threads)
{
    RecordingSeries out;
    recordingSeries(recording, out, threads);
    return out;
}

void recordingSeries(const ColumnarRecording& recording, RecordingSeries& out, unsigned threads)
{
    const std::size_t channels = recording.cfg.analogChannels.size();
    const std::size_t count = recording.count;
    out.channels = 0;
    out.count = 0;
    if (channels == 0 || count == 0) {
        out.channels = channels;
        return;
    }
    constexpr std::size_t perValue = sizeof(double) + sizeof(Phasor);
    constexpr std::size_t kLargePage = std::size_t(1) << 21;
    if (count > (std::numeric_limits<std::size_t>::max() - kLargePage) / perValue / channels)
        throw std::bad_alloc();
    const std::size_t bytes = channels * count * perValue;
    if (!out._memory || bytes > out._capacity) {
        // Fresh pages cost more than the series themselves: in 2 MiB pages
        // where the system gives them on request, a fault per 2 MiB instead
        // of per 4 KiB. The memory is not cleared: every value is written
        // once.
        const std::size_t rounded = (bytes + kLargePage - 1) / kLargePage * kLargePage;
        out._memory.reset();
        out._capacity = 0;
        void* memory = std::aligned_alloc(kLargePage, rounded);
        if (!memory)
            throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
        madvise(memory, rounded, MADV_HUGEPAGE);
#endif
        out._memory.reset(static_cast<unsigned char*>(memory));
        out._capacity = rounded;
    }
    out.channels = channels;
    out.count = count;

    // Channels of one store share its times: one grid test serves them all.
    std::vector<Signal> signals(channels);
    for (std::size_t c = 0; c < channels; ++c)
        if (recording.analogRow(c))
            signals[c] = channelSignal(recording, c);
    const Signal* first = nullptr;
    for (const Signal& signal : signals)
        if (signal.values && !first)
            first = &signal;
    Uniform grid;
    const bool uniform = first && usable(*first) && uniformCycle(*first, grid);

    std::atomic<std::size_t> next{0};
    std::exception_ptr failure;
    std::mutex failureLock;
    const auto work = [&]() {
        try {
            for (std::size_t c = next++; c < channels; c = next++) {
                double* rms = const_cast<double*>(out.rms(c));
                Phasor* phasors = const_cast<Phasor*>(out.phasors(c));
                const Signal& signal = signals[c];
                if (!signal.values) {
                    std::fill(rms, rms + count, kNaN);
                    std::fill(phasors, phasors + count, Phasor(kNaN, kNaN));
                } else if (signal.time == first->time && signal.count == first->count &&
                           signal.lineFrequency == first->lineFrequency) {
                    seriesOn(signal, uniform ? &grid : nullptr, true, rms, phasors);
                } else {
                    series(signal, rms, phasors);
                }
            }
        } catch (...) {
            const std::lock_guard<std::mutex> hold(failureLock);
            if (!failure)
                failure = std::current_exception();
            next = channels;
        }
    };
    if (threads == 0)
        threads = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t helpers = std::min<std::size_t>(threads, channels) - 1;
    std::vector<std::thread> pool;
    pool.reserve(helpers);
    try {
        for (std::size_t i = 0; i < helpers; ++i)
            pool.emplace_back(work);
    } catch (const std::system_error&) {
        // No more threads to be had: those started and this one do the rest.
    }
    work();
    for (std::thread& thread : pool)
        thread.join();
    if (failure)
        std::rethrow_exception(failure);
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
