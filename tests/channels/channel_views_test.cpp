// The channel views: the analog view's skew-shifted interpolation with a
// forward-only search position and the point-count rules of its plotting
// series; the status view's step series.

#include <KivComtradeLib/AnalogChannel.h>
#include <KivComtradeLib/BinaryChannel.h>
#include <KivComtradeLib/Cfg.h>

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

using namespace KivComtradeLib;

namespace {

// Samples at times[k] holding values[k] in analog column 1; column 0 holds
// garbage, so that a view reading the wrong column shows.
std::vector<Sample> series(const Cfg& cfg, const std::vector<double>& times, const std::vector<double>& values)
{
    std::vector<Sample> out;
    for (std::size_t k = 0; k < times.size(); ++k) {
        Sample s(cfg);
        s.index = k;
        s.time = times[k];
        s.analogValues = {-777.0, values[k], -777.0};
        out.push_back(s);
    }
    return out;
}

AnalogChannelConfig channel(double skewMicroseconds = 0.0, const std::string& unit = "A")
{
    return AnalogChannelConfig(1, "2,IA,A,Q1," + unit + ",1,0," + std::to_string(skewMicroseconds)
                                      + ",-32767,32767,1,1,S", 1999);
}

// Samples every millisecond over `seconds`, value 100 * time.
std::vector<Sample> ramp(const Cfg& cfg, double seconds)
{
    std::vector<double> t, v;
    for (int k = 0; k * 0.001 <= seconds + 1e-12; ++k) {
        t.push_back(k / 1000.0);
        v.push_back(k / 10.0);
    }
    return series(cfg, t, v);
}

using Steps = std::vector<std::pair<float, float>>;

std::vector<Sample> samplesOf(const Cfg& cfg, const std::vector<double>& times,
                              const std::vector<std::vector<bool>>& states)
{
    std::vector<Sample> out;
    for (std::size_t k = 0; k < times.size(); ++k) {
        Sample s(cfg);
        s.index = k;
        s.time = times[k];
        s.binaryValues = states[k];
        out.push_back(s);
    }
    return out;
}

} // namespace

// The hint only moves forward: a caller going back in time must reset it,
// else the value comes from the line through hint-1 and hint. Outside the
// recorded range (shifted by the skew) the value is 0 and the hint stays.
TEST(AnalogChannel, GetValueWithSkewAndForwardOnlyHint)
{
    Cfg cfg;
    AnalogChannelConfig plain = channel(), skewed = channel(200.0);
    const auto zigzag = series(cfg, {0.0, 0.001, 0.002, 0.003, 0.004}, {10, 20, 0, 10, 0});
    const AnalogChannel view(plain, zigzag), late(skewed, zigzag);
    EXPECT_DOUBLE_EQ(late.skew, 200e-6);
    const struct {
        const AnalogChannel& view;
        double time;
        int hintBefore; // -1: keep the previous row's hint
        double value;
        int hintAfter;
    } steps[] = {
        {view, 0.0005, 0, 15.0, 1},   {view, 0.0, 0, 10.0, 0},     {view, 0.001, -1, 20.0, 1},
        {view, 0.0035, -1, 5.0, 4},   {view, 0.0005, -1, 35.0, 4}, // extrapolated from samples 3 and 4
        {view, 0.0005, 0, 15.0, 1},   {view, 0.0040001, -1, 0.0, 1}, {view, -0.0001, -1, 0.0, 1},
        {late, 0.0002, 0, 10.0, 1},   {late, 0.0001, 0, 0.0, 0},   {late, 0.0007, 0, 15.0, 1},
        {late, 0.0011, -1, 19.0, 1},  {late, 0.0043, -1, 0.0, 1},
    };
    unsigned hint = 0;
    for (const auto& s : steps) {
        SCOPED_TRACE("time " + std::to_string(s.time) + (&s.view == &late ? " skewed" : ""));
        if (s.hintBefore >= 0)
            hint = unsigned(s.hintBefore);
        EXPECT_NEAR(s.view.getValue(s.time, hint), s.value, 1e-9);
        EXPECT_EQ(hint, unsigned(s.hintAfter));
    }
    // Rising times with one kept hint give the values of fresh hints.
    unsigned kept = 0;
    for (double t = 0.0; t <= 0.0045; t += 0.0001) {
        unsigned fresh = 0;
        EXPECT_EQ(late.getValue(t, kept), late.getValue(t, fresh)) << t;
    }
    // The view keeps the skew it was built with.
    skewed.skew = 0.5;
    EXPECT_DOUBLE_EQ(late.skew, 200e-6);
    EXPECT_DOUBLE_EQ(view.getInterpolationValue(0.0, 0.0, 2.0, 4.0, 1.0), 2.0);
    EXPECT_DOUBLE_EQ(view.getInterpolationValue(1u, 0.00125), 15.0);
}

// A missing sample (NaN) spoils exactly the values interpolated from it; and
// a window that opens after the last sample but within the skew still has
// the values getValue gives there.
TEST(AnalogChannel, MissingSamplesAndWindowsWithinTheSkew)
{
    Cfg cfg;
    const double nan = std::nan("");
    AnalogChannelConfig plain = channel(), skewed = channel(2000.0); // 2 ms
    const auto gap = series(cfg, {0.0, 0.001, 0.002, 0.003}, {10, nan, 30, 40});
    const AnalogChannel view(plain, gap);
    const struct {
        double time;
        bool missing;
    } cases[] = {{0.0, false}, {0.0005, true}, {0.001, true}, {0.0015, true}, {0.002, true}, {0.0025, false}};
    for (const auto& c : cases) {
        unsigned hint = 0;
        EXPECT_EQ(std::isnan(view.getValue(c.time, hint)), c.missing) << c.time;
    }
    const auto points = view.getPoints(0.0, 0.003, 2000.0); // every 0.5 ms
    ASSERT_EQ(points.size(), 6u);
    for (std::size_t i = 0; i < points.size(); ++i)
        EXPECT_EQ(std::isnan(points[i].y), i >= 1 && i <= 4) << i;

    const auto ramped = ramp(cfg, 0.01);
    const AnalogChannel late(skewed, ramped);
    unsigned hint = 0;
    EXPECT_NEAR(late.getValue(0.0115, hint), 0.95, 1e-9);
    const auto tail = late.getPoints(0.0105, 0.012, 1000.0);
    ASSERT_EQ(tail.size(), 2u);
    EXPECT_NEAR(tail[0].y, 0.85, 1e-6);
    EXPECT_TRUE(late.getPoints(0.0125, 0.013, 1000.0).empty());
}

// A current is in amperes, written in Latin or Cyrillic.
TEST(AnalogChannel, IsCurrent)
{
    const std::vector<Sample> none;
    for (const std::string unit : {"A", "a", "\xD0\xB0", "kA", "mA", "V", "", "Amp", "\xD0\x90"}) {
        AnalogChannelConfig c = channel(0.0, unit);
        EXPECT_EQ(AnalogChannel(c, none).isCurrent(), unit == "A" || unit == "a" || unit == "\xD0\xB0") << unit;
    }
}

TEST(AnalogChannel, PointCountRules)
{
    Cfg cfg;
    AnalogChannelConfig rec = channel();
    const auto samples = ramp(cfg, 2.0);
    const AnalogChannel view(rec, samples);
    // About 1000 points over the window by default: 1000 / duration, plus
    // 0.006 when that is a multiple of 0.02.
    EXPECT_DOUBLE_EQ(view.defaultSampleRate(1.0), 1000.006);
    EXPECT_DOUBLE_EQ(view.defaultSampleRate(0.5), 2000.006);
    EXPECT_DOUBLE_EQ(view.defaultSampleRate(0.3), 1000.0 / 0.3);
    EXPECT_DOUBLE_EQ(view.defaultSampleRate(4.0), 250.006);
    // So 1001 points over 1 s, each the view's value at its time.
    auto pts = view.getPoints(0.0, 1.0, -1.0);
    ASSERT_EQ(pts.size(), 1001u);
    for (std::size_t i = 0; i < pts.size(); ++i) {
        const double t = double(i) / 1000.006;
        unsigned hint = 0;
        ASSERT_EQ(pts[i].x, float(t)) << i;
        ASSERT_EQ(pts[i].y, float(view.getValue(t, hint))) << i;
    }
    EXPECT_EQ(view.getPoints(0.0, 1.0, 1000.0).size(), 1000u); // a count of exactly 1000
    EXPECT_EQ(view.getPoints(0.0, -1.0, 1000.0).size(), 2000u); // end -1: the last sample's time
    // Past the end of the recording y = 0.
    pts = view.getPoints(1.5, 2.5, 10.0);
    ASSERT_EQ(pts.size(), 10u);
    EXPECT_NEAR(pts[4].y, 190.0f, 1e-3f);
    for (std::size_t i = 6; i < pts.size(); ++i)
        EXPECT_EQ(pts[i].y, 0.0f) << i;
    // Empty windows and impossible counts.
    for (double rate : {-1.0, 100.0, 1e9})
        EXPECT_TRUE(view.getPoints(0.7, 0.7, rate).empty()) << rate;
    EXPECT_TRUE(view.getPoints(1.0, 0.5, 100.0).empty());
    EXPECT_TRUE(view.getPoints(0.0, 1.0, 1e300).empty());
    EXPECT_TRUE(view.getPoints(0.0, 1.0, std::nan("")).empty());
    // Nothing to draw: no samples at all, or a window starting after the last one.
    EXPECT_TRUE(view.getPoints(2.5, 3.0, 100.0).empty());
    EXPECT_TRUE(view.getPoints(2.5, -1.0, -1.0).empty());
    const std::vector<Sample> none;
    const AnalogChannel empty(rec, none);
    unsigned hint = 0;
    EXPECT_EQ(empty.getValue(0.0, hint), 0.0);
    EXPECT_TRUE(empty.getPoints(0.0, -1.0, -1.0).empty());
    EXPECT_TRUE(empty.getPoints(0.0, 1.0, 100.0).empty());
}

TEST(BinaryChannel, StepSeriesOverWindows)
{
    Cfg cfg;
    // 0..4 ms. Channel 1: 0,0,1,1,0; channel 2: 1,1,1,0,0; channel 3 never changes.
    const auto five = samplesOf(cfg, {0.0, 0.001, 0.002, 0.003, 0.004},
                                {{0, 1, 1}, {0, 1, 1}, {1, 1, 1}, {1, 0, 1}, {0, 0, 1}});
    // From 32 s on a float cannot hold every end time within 1e-6 s: a window
    // cut short then gets a second end point with the state inside the window.
    std::vector<double> seconds;
    std::vector<std::vector<bool>> late;
    for (int k = 0; k <= 40; ++k) {
        seconds.push_back(k);
        late.push_back({k >= 34});
    }
    const auto forty = samplesOf(cfg, seconds, late);
    const double end = 33.5 + 1.9e-6;
    ASSERT_GT(std::fabs(end - double(float(end))), 1e-6);

    const struct {
        const std::vector<Sample>& samples;
        int channel;
        double start, end;
        Steps steps;
    } cases[] = {
        {five, 0, 0.0, -1.0, {{0.0f, 0}, {0.002f, 1}, {0.004f, 0}}},
        {five, 0, 0.0, 0.010, {{0.0f, 0}, {0.002f, 1}, {0.004f, 0}, {0.010f, 0}}},
        {five, 0, 0.0015, 0.0025, {{0.0015f, 1}, {0.002f, 1}, {0.0025f, 1}}},
        // A window between two samples shows the state that follows it.
        {five, 0, 0.0021, 0.0029, {{0.0021f, 1}, {0.0029f, 1}}},
        // A window starting exactly at a sample includes that sample.
        {five, 0, 0.002, 0.010, {{0.002f, 1}, {0.002f, 1}, {0.004f, 0}, {0.010f, 0}}},
        {five, 1, 0.0, -1.0, {{0.0f, 1}, {0.003f, 0}, {0.004f, 0}}},
        {five, 2, 0.0005, 0.0035, {{0.0005f, 1}, {0.0035f, 1}}},
        {five, 2, 0.0, 0.5, {{0.0f, 1}, {0.5f, 1}}},
        // Zero-length windows: at the last sample the opening point alone; at
        // an earlier sample the opening point and the point of the next sample.
        {five, 2, 0.004, 0.004, {{0.004f, 1}}},
        {five, 2, 0.002, 0.002, {{0.002f, 1}, {0.002f, 1}}},
        // Nothing to draw: no sample in the window.
        {five, 0, 0.0041, 1.0, {}},
        {five, 0, 0.5, -1.0, {}},
        {{}, 0, 0.0, -1.0, {}},
        {{}, 0, 0.0, 1.0, {}},
        {forty, 0, 30.0, end, {{30.0f, 0}, {float(end), 1}, {float(end), 0}}},
        {forty, 0, 30.0, 33.5, {{30.0f, 0}, {33.5f, 1}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("channel " + std::to_string(c.channel + 1) + " from " + std::to_string(c.start) + " to "
                     + std::to_string(c.end));
        BinaryChannelConfig rec(c.channel, "1,BRK,A,Q1,0", 1999);
        const BinaryChannel view(rec, c.samples);
        Steps steps;
        for (const auto& p : view.getPoints(c.start, c.end, 5.0)) // the rate is not used
            steps.emplace_back(p.x, p.y);
        EXPECT_EQ(steps, c.steps);
    }
}
