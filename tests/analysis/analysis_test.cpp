// The measures of a channel against exact answers on synthetic signals: the
// continuous full-cycle Fourier integral (Simpson's rule, far finer than any
// sampling here) and the known phasors of sinusoids. Each accuracy case
// prints the largest error it found; the README's accuracy table is these
// lines.

#include <KivComtradeLib/Analysis.h>
#include <KivComtradeLib/ColumnarRecording.h>
#include <KivComtradeLib/Comtrade.h>

#include "writer/ComtradeWriter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

using namespace KivComtradeLib;
using Analysis::Phasor;

namespace {

constexpr double kPi = 3.14159265358979323846;
const double kNaN = std::numeric_limits<double>::quiet_NaN();

using Wave = std::function<double(double)>;

// A signal sampled at `times` from `wave`.
struct Synthetic {
    std::vector<double> t, x;
    double f0 = 50.0;
    Analysis::Signal signal() const { return Analysis::Signal(t.data(), x.data(), t.size(), f0); }
};

// Sample times: each (rate, until) piece runs at `rate` up to `until` seconds.
std::vector<double> times(const std::vector<std::pair<double, double>>& pieces)
{
    std::vector<double> out{0.0};
    double origin = 0.0;
    for (const auto& piece : pieces) {
        const double rate = piece.first;
        for (long k = 1;; ++k) {
            const double t = origin + static_cast<double>(k) / rate;
            if (t > piece.second + 1e-12)
                break;
            out.push_back(t);
        }
        origin = out.back();
    }
    return out;
}

Synthetic sampled(const std::vector<double>& t, const Wave& wave, double f0 = 50.0)
{
    Synthetic s;
    s.t = t;
    s.f0 = f0;
    for (double tau : t)
        s.x.push_back(wave(tau));
    return s;
}

// Simpson's rule over the cycle [t - T, t] of f(tau), divided by T.
template <class F>
auto cycleMean(F f, double f0, double t) -> decltype(f(0.0))
{
    const int m = 4000;
    const double T = 1.0 / f0, h = T / m;
    decltype(f(0.0)) sum{};
    for (int i = 0; i <= m; ++i)
        sum += ((i == 0 || i == m) ? 1.0 : (i % 2 ? 4.0 : 2.0)) * f(t - T + i * h);
    return sum * (h / 3) / T;
}

// sqrt(2)/T * integral over [t - T, t] of wave * e^{-j k w tau}; with k = 0,
// 1/T * the integral of wave (the DC mean).
Phasor exactHarmonic(const Wave& wave, double f0, double t, int k)
{
    const Phasor mean = cycleMean([&](double tau) { return wave(tau) * std::polar(1.0, -2 * kPi * k * f0 * tau); }, f0, t);
    return mean * (k == 0 ? 1.0 : std::sqrt(2.0));
}

double exactRms(const Wave& wave, double f0, double t)
{
    return std::sqrt(cycleMean([&](double tau) { return wave(tau) * wave(tau); }, f0, t));
}

double angleDegrees(Phasor measured, Phasor exact)
{
    return std::abs(std::arg(measured * std::conj(exact))) * 180 / kPi;
}

Wave sine(double amplitude, double frequency, double degrees)
{
    return [=](double t) { return amplitude * std::cos(2 * kPi * frequency * t + degrees * kPi / 180); };
}

struct Errors {
    double magnitude = 0, angle = 0, rms = 0;
    int checked = 0;
    void add(Phasor measured, Phasor exact, double rmsMeasured, double rmsExact, double scale)
    {
        magnitude = std::max(magnitude, std::abs(measured - exact) / scale);
        angle = std::max(angle, angleDegrees(measured, exact));
        rms = std::max(rms, std::abs(rmsMeasured - rmsExact) / rmsExact);
        ++checked;
    }
};

void print(const std::string& name, const Errors& e)
{
    std::printf("[accuracy] %-44s phasor %.1e rel, angle %.1e deg, rms %.1e rel (%d windows)\n",
                name.c_str(), e.magnitude, e.angle, e.rms, e.checked);
}

// Every sample of the series after the first cycle, and the single-time
// measures between samples, against the exact integrals.
Errors compare(const Synthetic& s, const Wave& wave, double scale)
{
    const Analysis::Signal signal = s.signal();
    const std::vector<Phasor> phasors = Analysis::phasorSeries(signal);
    const std::vector<double> rms = Analysis::rmsSeries(signal);
    Errors e;
    const double T = 1.0 / s.f0;
    for (std::size_t n = 0; n < s.t.size(); n += 7) {
        if (s.t[n] < T + 1e-12) {
            EXPECT_TRUE(std::isnan(phasors[n].real()) || s.t[n] > T - 1e-12) << n;
            continue;
        }
        e.add(phasors[n], exactHarmonic(wave, s.f0, s.t[n], 1), rms[n], exactRms(wave, s.f0, s.t[n]),
              scale);
        const double between = s.t[n] - 0.37 * (s.t[n] - s.t[n - 1]);
        if (between > T)
            e.add(Analysis::phasor(signal, between), exactHarmonic(wave, s.f0, between, 1),
                  Analysis::rms(signal, between), exactRms(wave, s.f0, between), scale);
    }
    return e;
}

} // namespace

// Pure and distorted waves, decaying offsets and sampling-rate changes: the
// phasor and RMS of every window against the continuous integrals.
TEST(AnalysisAccuracy, PhasorAndRmsAgainstExactIntegrals)
{
    const Wave dcDecay = [](double t) { return 100 * std::cos(2 * kPi * 50 * t - 1.0) + 80 * std::exp(-t / 0.04); };
    const Wave harmonics357 = [](double t) {
        return 100 * std::cos(2 * kPi * 50 * t + 0.3) + 30 * std::cos(2 * kPi * 150 * t - 0.5) +
               20 * std::cos(2 * kPi * 250 * t + 1.1) + 10 * std::cos(2 * kPi * 350 * t + 2.0);
    };
    const struct {
        const char* name;
        std::vector<std::pair<double, double>> rates;
        Wave wave;
        double f0, scale, magnitudeBound, angleBound, rmsBound;
    } cases[] = {
        {"nominal 50 Hz, 20 samples/cycle", {{1000, 0.2}}, sine(100, 50, 30), 50, 100 / std::sqrt(2.0), 1e-6, 1e-4, 1e-6},
        {"nominal 50 Hz, 80 samples/cycle", {{4000, 0.2}}, sine(100, 50, -75), 50, 100 / std::sqrt(2.0), 1e-6, 1e-4, 1e-6},
        {"nominal 60 Hz, 256 samples/cycle", {{15360, 0.1}}, sine(5, 60, 170), 60, 5 / std::sqrt(2.0), 1e-6, 1e-4, 1e-6},
        {"non-integer: 50 Hz at 1030 Hz (20.6/cycle)", {{1030, 0.2}}, sine(100, 50, 10), 50, 100 / std::sqrt(2.0), 1e-3, 0.06, 1e-3},
        {"non-integer: 60 Hz at 4000 Hz (66.7/cycle)", {{4000, 0.1}}, sine(100, 60, -40), 60, 100 / std::sqrt(2.0), 1e-3, 0.06, 1e-3},
        {"harmonics 3/5/7, 64 samples/cycle", {{3200, 0.2}}, harmonics357, 50, 100 / std::sqrt(2.0), 1e-6, 1e-4, 1e-6},
        {"harmonics 3/5/7, 20 samples/cycle", {{1000, 0.2}}, harmonics357, 50, 100 / std::sqrt(2.0), 1e-6, 1e-4, 1e-2},
        {"decaying DC (tau 40 ms), 20 samples/cycle", {{1000, 0.2}}, dcDecay, 50, 100 / std::sqrt(2.0), 1e-2, 1.0, 1e-2},
        {"decaying DC (tau 40 ms), 80 samples/cycle", {{4000, 0.2}}, dcDecay, 50, 100 / std::sqrt(2.0), 1e-3, 0.06, 1e-3},
        {"rate change 1000 -> 4000 Hz inside windows", {{1000, 0.1}, {4000, 0.2}}, sine(100, 50, 20), 50, 100 / std::sqrt(2.0), 1e-3, 0.06, 3e-3},
        {"rate change 4800 -> 1200 Hz inside windows", {{4800, 0.1}, {1200, 0.2}}, sine(100, 50, 20), 50, 100 / std::sqrt(2.0), 1e-3, 0.06, 3e-3},
    };
    for (const auto& c : cases) {
        const Errors e = compare(sampled(times(c.rates), c.wave, c.f0), c.wave, c.scale);
        print(c.name, e);
        EXPECT_GT(e.checked, 10) << c.name;
        EXPECT_LE(e.magnitude, c.magnitudeBound) << c.name;
        EXPECT_LE(e.angle, c.angleBound) << c.name;
        EXPECT_LE(e.rms, c.rmsBound) << c.name;
    }
}

// Harmonic magnitudes and THD of a wave with 3rd, 5th and 7th harmonics.
TEST(AnalysisAccuracy, HarmonicsAndThd)
{
    const double amplitude[] = {4, 100, 0, 30, 0, 20, 0, 10}; // DC, then harmonic k
    const Wave wave = [&](double t) {
        double v = amplitude[0];
        for (int k = 1; k < 8; ++k)
            v += amplitude[k] * std::cos(2 * kPi * 50 * k * t + 0.2 * k);
        return v;
    };
    const double thd = std::sqrt(30.0 * 30 + 20 * 20 + 10 * 10) / 100;
    const Synthetic s = sampled(times({{3200, 0.1}}), wave);
    const Analysis::Signal signal = s.signal();
    double worst = 0;
    for (double t : {0.02, 0.0333, 0.05, 0.0871}) {
        const Analysis::Harmonics h = Analysis::harmonics(signal, t);
        ASSERT_EQ(h.magnitude.size(), 14u) << t;
        for (int k = 0; k <= 13; ++k) {
            const double expected = k < 8 ? amplitude[k] / (k == 0 ? 1 : std::sqrt(2.0)) : 0.0;
            worst = std::max(worst, std::abs(h.magnitude[k] - expected) / (100 / std::sqrt(2.0)));
            if (k < 8 && amplitude[k] > 0) {
                EXPECT_LT(angleDegrees(h.phasor[k], exactHarmonic(wave, 50, t, k)), 1e-4) << k;
            }
        }
        EXPECT_NEAR(h.thd, thd, 1e-6 * thd) << t;
    }
    std::printf("[accuracy] harmonics 0-13 and THD, 64 samples/cycle: %.1e of the fundamental\n", worst);
    EXPECT_LT(worst, 1e-6);

    // 20 samples per cycle allow harmonics below 10 only.
    const Synthetic coarse = sampled(times({{1000, 0.1}}), wave);
    EXPECT_EQ(Analysis::harmonics(coarse.signal(), 0.05, 13).magnitude.size(), 10u);
    EXPECT_EQ(Analysis::harmonics(coarse.signal(), 0.05, 5).magnitude.size(), 6u);
}

// Off-nominal frequencies: the one-cycle filter's phasor against the signal's
// own phasor at the middle of the window (where a full-cycle filter refers
// its estimate), and the measured frequency.
TEST(AnalysisAccuracy, OffNominalFrequency)
{
    const struct {
        double offset, magnitudeBound, angleBound, frequencyBound;
    } cases[] = {{-0.5, 6e-3, 0.35, 1e-4}, {0.5, 6e-3, 0.35, 1e-4}, {-2.0, 0.025, 1.4, 3e-3}, {2.0, 0.025, 1.4, 3e-3}};
    for (const auto& c : cases) {
        const double f = 50 + c.offset;
        const Wave wave = sine(100, f, 25);
        const Synthetic s = sampled(times({{4000, 0.5}}), wave);
        const Analysis::Signal signal = s.signal();
        const std::vector<Phasor> phasors = Analysis::phasorSeries(signal);
        Errors e;
        for (std::size_t n = 80; n < s.t.size(); n += 3) {
            const double middle = s.t[n] - 0.01;
            // x = sqrt(2) Re(X e^{j w0 t}): X turns at the offset frequency.
            const Phasor truth = std::polar(100 / std::sqrt(2.0), 2 * kPi * c.offset * middle + 25 * kPi / 180);
            e.add(phasors[n], truth, 1, 1, 100 / std::sqrt(2.0));
        }
        double frequencyError = 0;
        const auto series = Analysis::frequencySeries(signal);
        ASSERT_GE(series.size(), 20u);
        for (const auto& point : series)
            frequencyError = std::max(frequencyError, std::abs(point.frequency - f));
        frequencyError = std::max(frequencyError, std::abs(Analysis::frequency(signal, 0.3123) - f));
        std::printf("[accuracy] off-nominal %+.1f Hz, 80 samples/cycle: phasor %.1e rel, angle %.2f deg, "
                    "frequency %.1e Hz\n",
                    c.offset, e.magnitude, e.angle, frequencyError);
        EXPECT_LE(e.magnitude, c.magnitudeBound) << c.offset;
        EXPECT_LE(e.angle, c.angleBound) << c.offset;
        EXPECT_LE(frequencyError, c.frequencyBound) << c.offset;
    }
}

// A frequency that drifts: the series follows it cycle by cycle.
TEST(AnalysisAccuracy, DriftingFrequency)
{
    // f(t) = 50 + 2 t (Hz), phase = 2 pi (50 t + t^2).
    const Wave wave = [](double t) { return 100 * std::cos(2 * kPi * (50 * t + t * t)); };
    const Synthetic s = sampled(times({{2000, 1.0}}), wave);
    double worst = 0;
    for (const auto& point : Analysis::frequencySeries(s.signal()))
        worst = std::max(worst, std::abs(point.frequency - (50 + 2 * (point.time - 0.03))));
    std::printf("[accuracy] drift 50 -> 52 Hz over 1 s: frequency %.1e Hz\n", worst);
    EXPECT_LT(worst, 3e-3);
}

// The series at each sample and the single-time measures agree, also over
// a million samples (the sliding sums are re-anchored).
TEST(AnalysisSeries, MatchesSingleTimeOverLongRecordings)
{
    const Synthetic s = sampled(times({{1000, 999.0}, {4000, 1000.0}}), [](double t) {
        return 100 * std::cos(2 * kPi * 50 * t + 0.4) + 20 * std::cos(2 * kPi * 150 * t) + 5;
    });
    const Analysis::Signal signal = s.signal();
    const auto phasors = Analysis::phasorSeries(signal);
    const auto rms = Analysis::rmsSeries(signal);
    ASSERT_EQ(phasors.size(), s.t.size());
    // Times near 1000 s carry about 1e-13 s of rounding: 3e-11 rad at 50 Hz.
    for (std::size_t n : {std::size_t(20), std::size_t(5000), std::size_t(998990), std::size_t(999013),
                          s.t.size() - 3000, s.t.size() - 1}) {
        EXPECT_LT(std::abs(phasors[n] - Analysis::phasor(signal, s.t[n])), 1e-7) << n;
        EXPECT_NEAR(rms[n], Analysis::rms(signal, s.t[n]), 1e-9) << n;
        if (n < 998990 || n > 999020) { // away from the rate change
            EXPECT_NEAR(std::abs(phasors[n]), 100 / std::sqrt(2.0), 1e-7) << n;
        }
    }
}

// Missing values, bad configurations and times outside the recording give
// NaN, never a crash.
TEST(AnalysisSeries, NaNWhereNoCycleCanBeTaken)
{
    Synthetic s = sampled(times({{1000, 0.1}}), sine(100, 50, 0));
    s.x[50] = kNaN; // t = 0.05
    const auto phasors = Analysis::phasorSeries(s.signal());
    const auto rms = Analysis::rmsSeries(s.signal());
    for (std::size_t n = 0; n < s.t.size(); ++n) {
        // Windows (t - 0.02, t] that reach sample 50 hold the missing value
        // (the window ending at 0.07 starts on it).
        const bool expectNaN = n < 20 || (n >= 50 && n <= 70);
        EXPECT_EQ(std::isnan(phasors[n].real()), expectNaN) << n;
        EXPECT_EQ(std::isnan(rms[n]), expectNaN) << n;
        EXPECT_EQ(std::isnan(Analysis::phasor(s.signal(), s.t[n]).real()), expectNaN) << n;
    }
    EXPECT_NEAR(std::abs(phasors[71]), 100 / std::sqrt(2.0), 1e-9);
    EXPECT_TRUE(Analysis::harmonics(s.signal(), 0.06).magnitude.empty());
    EXPECT_TRUE(std::isnan(Analysis::harmonics(s.signal(), 0.06).thd));

    const Synthetic good = sampled(times({{1000, 0.1}}), sine(100, 50, 0));
    Synthetic zeroFrequency = good, tooSlow = sampled(times({{80, 0.5}}), sine(100, 50, 0));
    zeroFrequency.f0 = 0;
    const struct {
        const char* name;
        const Synthetic& s;
        double t;
    } bad[] = {{"before the first cycle", good, 0.0199}, {"after the last sample", good, 0.1001},
               {"far outside", good, 1e300}, {"not a time", good, kNaN},
               {"frequency 0", zeroFrequency, 0.05}, {"rate below two samples a cycle", tooSlow, 0.3}};
    for (const auto& b : bad) {
        const Analysis::Signal signal = b.s.signal();
        EXPECT_TRUE(std::isnan(Analysis::phasor(signal, b.t).real())) << b.name;
        EXPECT_TRUE(std::isnan(Analysis::rms(signal, b.t))) << b.name;
        EXPECT_TRUE(std::isnan(Analysis::frequency(signal, b.t))) << b.name;
        EXPECT_TRUE(Analysis::harmonics(signal, b.t).magnitude.empty()) << b.name;
    }
    for (const Synthetic* whole : {&zeroFrequency, &tooSlow})
        for (double v : Analysis::rmsSeries(whole->signal()))
            EXPECT_TRUE(std::isnan(v));
    EXPECT_TRUE(Analysis::frequencySeries(zeroFrequency.signal()).empty());
    const Analysis::Signal empty;
    EXPECT_TRUE(std::isnan(Analysis::rms(empty, 0.0)));
    EXPECT_TRUE(Analysis::phasorSeries(empty).empty());
}

TEST(AnalysisSequence, ComponentsOfKnownSets)
{
    const Phasor a = std::polar(1.0, 0.3);
    const Phasor turn = std::polar(1.0, 2 * kPi / 3); // a = e^{j 120 deg}
    const struct {
        const char* name;
        Phasor pa, pb, pc, zero, positive, negative;
    } cases[] = {
        {"positive (A B C lagging)", a, a / turn, a * turn, 0.0, a, 0.0},
        {"negative (A C B lagging)", a, a * turn, a / turn, 0.0, 0.0, a},
        {"zero (all in phase)", a, a, a, a, 0.0, 0.0},
        {"phase A only (single-phase fault)", 3.0 * a, 0.0, 0.0, a, a, a},
    };
    for (const auto& c : cases) {
        const auto s = Analysis::sequence(c.pa, c.pb, c.pc);
        EXPECT_LT(std::abs(s.zero - c.zero), 1e-12) << c.name;
        EXPECT_LT(std::abs(s.positive - c.positive), 1e-12) << c.name;
        EXPECT_LT(std::abs(s.negative - c.negative), 1e-12) << c.name;
    }
}

TEST(AnalysisGroups, PhaseNotations)
{
    const struct {
        const char* phase;
        int index;
    } phases[] = {{"A", 0}, {" b ", 1}, {"C", 2}, {"L1", 0}, {"l2", 1}, {"L3N", 2}, {"R", 0}, {"S", 1},
                  {"T", 2}, {"AN", 0}, {"\xD0\x90", 0}, {"\xD0\xB2", 1}, {"\xD0\xA1", 2}, {"\xD0\xA1\xD0\x9D", 2},
                  {"N", -1}, {"AB", -1}, {"", -1}, {"L4", -1}, {"D", -1}};
    for (const auto& p : phases)
        EXPECT_EQ(Analysis::phaseIndex(p.phase), p.index) << p.phase;
}

TEST(AnalysisGroups, GroupsByCircuitUnitAndPhase)
{
    Cfg cfg;
    const struct {
        const char *id, *phase, *circuit, *unit;
    } channels[] = {
        {"UA", "A", "Bus 1", "kV"}, {"UB", "B", "Bus 1", "kV"}, {"UC", "C", "Bus 1", "kV"}, // 0 1 2
        {"IA", "", "Line", "A"},    {"Ib", "", "Line", "a"},    {"I_C", "", "Line", "A"},   // 3 4 5: ids
        {"IN", "N", "Line", "A"},                                                           // 6: neutral
        {"IL1", "", "Line", "A"},   {"IL2", "", "Line", "A"},   {"IL3", "", "Line", "A"},   // 7 8 9: 2nd set
        {"UA", "A", "Bus 2", "kV"}, {"UB", "B", "Bus 2", "kV"},                             // 10 11: incomplete
        {"IR", "R", "Line", "V"},   {"IS", "S", "Line", "V"},   {"IT", "T", "Line", "V"},   // 12-14: other unit
    };
    for (const auto& c : channels) {
        AnalogChannelConfig a(static_cast<int>(cfg.analogChannels.size()), false, 1999);
        a.channelId = c.id, a.phase = c.phase, a.circuitComponent = c.circuit, a.unit = c.unit;
        cfg.analogChannels.push_back(a);
    }
    const auto groups = Analysis::phaseGroups(cfg);
    ASSERT_EQ(groups.size(), 4u);
    const std::array<std::size_t, 3> expected[] = {{0, 1, 2}, {3, 4, 5}, {7, 8, 9}, {12, 13, 14}};
    for (std::size_t g = 0; g < 4; ++g)
        EXPECT_EQ(groups[g].channels, expected[g]) << g;
    EXPECT_EQ(groups[0].circuit, "Bus 1");
    EXPECT_EQ(groups[0].unit, "kV");
    EXPECT_EQ(groups[3].unit, "V");
}

// Both stores give the same Signal for the same file; an unknown channel
// throws; the skew moves a channel's phasor onto the recording's axis.
TEST(AnalysisStores, ComtradeAndColumnarAgree)
{
    KivTest::RecordingLayout design;
    design.analogs.resize(3);
    for (std::size_t c = 0; c < 3; ++c)
        design.analogs[c].id = std::string("U") + "ABC"[c], design.analogs[c].phase = design.analogs[c].id.substr(1);
    design.analogs[2].skewMicroseconds = 1000; // 18 degrees at 50 Hz
    design.rates = {{1000.0, 200}};
    KivTest::Recording recording = KivTest::makeRecording(design, 200);
    for (std::size_t k = 0; k < recording.records.size(); ++k)
        for (std::size_t c = 0; c < 3; ++c)
            recording.records[k].raw[c] = std::round(10000 * std::cos(2 * kPi * 50 * (k / 1000.0) - 2 * kPi * c / 3));
    KivTest::TempDir dir("analysis");
    ASSERT_TRUE(KivTest::writeRecording(recording, dir.file("r")));
    Comtrade comtrade;
    ColumnarRecording columnar;
    ASSERT_EQ(comtrade.load(dir.file("r.cfg")), 0);
    ASSERT_EQ(columnar.load(dir.file("r.cfg")), 0);
    for (std::size_t c = 0; c < 3; ++c) {
        const auto a = Analysis::phasorSeries(Analysis::channelSignal(comtrade, c));
        const auto b = Analysis::phasorSeries(Analysis::channelSignal(columnar, c));
        ASSERT_EQ(a.size(), 200u);
        for (std::size_t n = 20; n < a.size(); ++n)
            ASSERT_EQ(a[n], b[n]) << c << " " << n;
    }
    // Channel C (written 120 degrees ahead of A) is sampled 1 ms late: on the
    // recording's axis it leads A by 120 - 18 degrees.
    const Phasor ua = Analysis::phasor(Analysis::channelSignal(columnar, 0), 0.1);
    const Phasor uc = Analysis::phasor(Analysis::channelSignal(columnar, 2), 0.1);
    EXPECT_NEAR(std::arg(uc / ua) * 180 / kPi, 120 - 18, 0.01);
    const auto groups = Analysis::phaseGroups(columnar.cfg);
    ASSERT_EQ(groups.size(), 1u);
    const auto s = Analysis::sequenceAt(comtrade, groups[0], 0.1);
    const Phasor unit = std::polar(1.0, 2 * kPi / 3);
    const auto expected = Analysis::sequence(ua, ua / unit, ua * std::polar(1.0, 102 * kPi / 180));
    // The file holds values rounded to integers: 3e-5 of the magnitude.
    EXPECT_LT(std::abs(s.positive - expected.positive), 1.0);
    EXPECT_LT(std::abs(s.negative - expected.negative), 1.0);
    EXPECT_THROW(Analysis::channelSignal(columnar, 3), std::out_of_range);
    EXPECT_THROW(Analysis::channelSignal(comtrade, 3), std::out_of_range);
}

namespace {

// Series given as arrays are the vectors `rms` and `phasors`, bit for bit.
bool sameSeries(const double* rmsAt, const Phasor* phasorsAt, const std::vector<double>& rms,
                const std::vector<Phasor>& phasors)
{
    return std::memcmp(rmsAt, rms.data(), rms.size() * sizeof(double)) == 0 &&
           std::memcmp(phasorsAt, phasors.data(), phasors.size() * sizeof(Phasor)) == 0;
}

} // namespace

// Every channel at once, on one thread or several, gives what each channel's
// own series give, bit for bit: on one whole-cycle rate (a skewed channel
// among them), across a rate change, with one time off the rate's grid far
// from both ends, with a missing value in one channel and with a channel left
// out of a selective load. A reused RecordingSeries gives the same as a
// fresh one.
TEST(AnalysisSeries, EveryChannelAtOnceMatchesEachChannel)
{
    const struct {
        const char* name;
        std::vector<KivTest::RateLayout> rates;
        bool offGrid, missing, selective;
    } cases[] = {{"one rate", {{1000.0, 3000}}, false, false, false},
                 {"rate change", {{1000.0, 1000}, {2400.0, 3000}}, false, false, false},
                 {"time off the grid", {{1000.0, 3000}}, true, false, false},
                 {"missing value", {{1000.0, 3000}}, false, true, false},
                 {"selective load", {{1000.0, 3000}}, false, false, true}};
    KivTest::TempDir dir("series-all");
    Analysis::RecordingSeries reused;
    for (const auto& c : cases) {
        KivTest::RecordingLayout design;
        design.analogs.resize(5);
        design.analogs[3].skewMicroseconds = 250;
        design.rates = c.rates;
        KivTest::Recording recording = KivTest::makeRecording(design, 3000);
        for (std::size_t k = 0; k < recording.records.size(); ++k)
            for (std::size_t a = 0; a < 5; ++a)
                recording.records[k].raw[a] = std::round(9000 * std::cos(0.31 * k - 1.2 * a) + 700 * std::sin(0.05 * k));
        ASSERT_TRUE(KivTest::writeRecording(recording, dir.file(c.name)));
        ColumnarRecording rec;
        LoadOptions options;
        options.selectChannels = c.selective;
        if (c.selective)
            options.analogIndices = {0, 2, 3, 4};
        ASSERT_EQ(rec.load(dir.file(std::string(c.name) + ".cfg"), options), 0) << c.name;
        if (c.offGrid)
            rec.time[2222] += 0.3e-3;
        if (c.missing)
            rec.analog[2 * rec.count + 1500] = kNaN;
        const Analysis::RecordingSeries one = Analysis::recordingSeries(rec, 1);
        const Analysis::RecordingSeries three = Analysis::recordingSeries(rec, 3);
        Analysis::recordingSeries(rec, reused);
        const Analysis::RecordingSeries* const each[] = {&one, &three, &reused};
        for (const Analysis::RecordingSeries* all : each) {
            ASSERT_EQ(all->channels, 5u) << c.name;
            ASSERT_EQ(all->count, rec.count) << c.name;
            EXPECT_EQ(all->rms(5), nullptr);
        }
        for (std::size_t a = 0; a < 5; ++a) {
            std::vector<double> rms(rec.count, kNaN);
            std::vector<Phasor> phasors(rec.count, Phasor(kNaN, kNaN));
            if (rec.analogRow(a)) {
                const Analysis::Signal signal = Analysis::channelSignal(rec, a);
                rms = Analysis::rmsSeries(signal);
                phasors = Analysis::phasorSeries(signal);
                std::vector<double> fusedRms(rec.count);
                std::vector<Phasor> fusedPhasors(rec.count);
                Analysis::rmsPhasorSeries(signal, fusedRms.data(), fusedPhasors.data());
                EXPECT_TRUE(sameSeries(fusedRms.data(), fusedPhasors.data(), rms, phasors)) << c.name << " " << a;
            }
            EXPECT_EQ(std::isnan(rms[2000]), c.selective && a == 1) << c.name << " " << a;
            for (const Analysis::RecordingSeries* all : each)
                EXPECT_TRUE(sameSeries(all->rms(a), all->phasors(a), rms, phasors)) << c.name << " " << a;
        }
    }
    const Analysis::RecordingSeries none = Analysis::recordingSeries(ColumnarRecording());
    EXPECT_EQ(none.channels, 0u);
    EXPECT_EQ(none.rms(0), nullptr);
}

// The measures at chosen samples are the series' values there, NaN where the
// series has NaN and past the last sample; on one rate (a series long enough
// to be written past the caches), across a rate change and with a missing
// value. One rate with a whole number of samples per cycle takes a shortcut;
// a missing value at the very end sends the same signal down the general
// path, which must agree everywhere else, over many re-anchorings.
TEST(AnalysisSeries, MeasuresAtChosenSamplesAndTheWholeCycleShortcutMatchTheSeries)
{
    const Wave wave = [](double t) {
        return 100 * std::cos(2 * kPi * 50 * t + 0.4) + 20 * std::cos(2 * kPi * 250 * t) + 3 * std::exp(-t);
    };
    Synthetic holed = sampled(times({{1000, 2.0}}), wave);
    holed.x[700] = kNaN;
    const struct {
        const char* name;
        Synthetic s;
        double wholeCycleRate; // 0: none
    } cases[] = {{"whole cycles at 1000 Hz", sampled(times({{1000, 30.0}}), wave), 1000},
                 {"whole cycles at 4800 Hz, a long series", sampled(times({{4800, 130.0}}), wave), 4800},
                 {"rate change", sampled(times({{1000, 1.0}, {4000, 2.0}}), wave), 0},
                 {"missing value", holed, 0}};
    for (const auto& c : cases) {
        const Analysis::Signal signal = c.s.signal();
        const std::vector<double> rms = Analysis::rmsSeries(signal);
        const std::vector<Phasor> phasors = Analysis::phasorSeries(signal);
        std::vector<std::size_t> at;
        for (std::size_t n = 0; n < signal.count; n += 13)
            at.push_back(n);
        at.push_back(signal.count - 1);
        at.push_back(signal.count);
        std::vector<double> rmsAt(at.size());
        std::vector<Phasor> phasorsAt(at.size());
        Analysis::rmsPhasorAt(signal, at.data(), at.size(), rmsAt.data(), phasorsAt.data());
        for (std::size_t i = 0; i + 1 < at.size(); ++i) {
            const std::size_t n = at[i];
            ASSERT_EQ(std::isnan(rmsAt[i]), std::isnan(rms[n])) << c.name << " " << n;
            ASSERT_EQ(std::isnan(phasorsAt[i].real()), std::isnan(phasors[n].real())) << c.name << " " << n;
            if (!std::isnan(rms[n])) {
                ASSERT_NEAR(rmsAt[i], rms[n], 1e-9) << c.name << " " << n;
                ASSERT_LT(std::abs(phasorsAt[i] - phasors[n]), 1e-9) << c.name << " " << n;
            }
        }
        EXPECT_TRUE(std::isnan(rmsAt.back()) && std::isnan(phasorsAt.back().real())) << c.name;
        if (c.wholeCycleRate == 0)
            continue;
        Synthetic general = c.s;
        general.x.back() = kNaN;
        const auto generalPhasors = Analysis::phasorSeries(general.signal());
        const auto generalRms = Analysis::rmsSeries(general.signal());
        const std::size_t cycle = static_cast<std::size_t>(c.wholeCycleRate / 50);
        for (std::size_t n = 0; n + 1 < c.s.t.size(); ++n) {
            ASSERT_EQ(std::isnan(phasors[n].real()), n < cycle) << c.name << " " << n;
            ASSERT_EQ(std::isnan(generalPhasors[n].real()), n < cycle) << c.name << " " << n;
            if (n >= cycle) {
                ASSERT_LT(std::abs(phasors[n] - generalPhasors[n]), 1e-9) << c.name << " " << n;
                ASSERT_NEAR(rms[n], generalRms[n], 1e-9) << c.name << " " << n;
            }
        }
        EXPECT_TRUE(std::isnan(generalPhasors.back().real())) << c.name;
    }
}

// The same on real recordings of several devices and rates.
TEST(AnalysisSeries, EveryChannelAtOnceMatchesEachChannelOnRealRecordings)
{
    const std::string shared = KivTest::sharedSamplesDir();
    if (shared.empty())
        GTEST_SKIP() << "no shared samples";
    for (const char* name : {"ge850/real_1999_bin.cfg", "sel/1999-binary-hif-sel.cfg", "wisp/2.cfg",
                             "gb-1991/ascii_1991.cfg"}) {
        ColumnarRecording rec;
        ASSERT_EQ(rec.load(shared + "/" + name), 0) << name;
        const Analysis::RecordingSeries all = Analysis::recordingSeries(rec, 2);
        for (std::size_t a = 0; a < rec.cfg.analogChannels.size(); ++a) {
            const Analysis::Signal signal = Analysis::channelSignal(rec, a);
            ASSERT_TRUE(sameSeries(all.rms(a), all.phasors(a), Analysis::rmsSeries(signal), Analysis::phasorSeries(signal)))
                << name << " " << a;
        }
    }
}
