// The analog view: skew-shifted interpolation with a forward-only search
// position, and the point-count rules of the plotting series.

#include <KivComtradeLib/AnalogChannel.h>
#include <KivComtradeLib/Cfg.h>

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

using namespace KivComtradeLib;

namespace {

// Samples at times[k] holding values[k] in analog column `column` (other
// columns hold garbage, so that a view reading the wrong column shows).
std::vector<Sample> series(const Cfg& cfg, const std::vector<double>& times,
                           const std::vector<double>& values, std::size_t column = 0)
{
    std::vector<Sample> out;
    for (std::size_t k = 0; k < times.size(); ++k) {
        Sample s(cfg);
        s.index = k;
        s.time = times[k];
        s.analogValues.assign(column + 2, -777.0);
        s.analogValues[column] = values[k];
        out.push_back(s);
    }
    return out;
}

AnalogChannelConfig channel(double skewMicroseconds = 0.0, const std::string& unit = "A", int index = 0)
{
    return AnalogChannelConfig(index, "1,IA,A,Q1," + unit + ",1,0," + std::to_string(skewMicroseconds)
                                          + ",-32767,32767,1,1,S",
                               1999);
}

// Samples every millisecond from 0 to `seconds`, value 100 * time.
std::vector<Sample> ramp(const Cfg& cfg, double seconds)
{
    std::vector<double> t, v;
    for (int k = 0; k * 0.001 <= seconds + 1e-12; ++k) {
        t.push_back(k / 1000.0);
        v.push_back(k / 10.0);
    }
    return series(cfg, t, v);
}

} // namespace

TEST(AnalogChannel, GetValueInterpolatesAndMovesTheHintForward)
{
    Cfg cfg;
    AnalogChannelConfig rec = channel();
    const auto samples = series(cfg, {0.0, 0.001}, {10.0, 20.0});
    const AnalogChannel view(rec, samples);

    unsigned hint = 0;
    EXPECT_DOUBLE_EQ(view.getValue(0.0005, hint), 15.0);
    EXPECT_EQ(hint, 1u);
    hint = 0;
    EXPECT_DOUBLE_EQ(view.getValue(0.0, hint), 10.0);
    EXPECT_EQ(hint, 0u);
    EXPECT_NEAR(view.getValue(0.001, hint), 20.0, 1e-9);
    EXPECT_EQ(hint, 1u);
    // Outside the recorded range: 0.0, the hint untouched.
    EXPECT_EQ(view.getValue(0.0010001, hint), 0.0);
    EXPECT_EQ(view.getValue(-0.0001, hint), 0.0);
    EXPECT_EQ(hint, 1u);

    EXPECT_DOUBLE_EQ(view.getInterpolationValue(0.0, 0.0, 2.0, 4.0, 1.0), 2.0);
    EXPECT_DOUBLE_EQ(view.getInterpolationValue(0u, 0.00025), 12.5);
}

// The search never moves back: a caller going back in time resets the hint,
// else the value comes from the line through hint-1 and hint.
TEST(AnalogChannel, HintIsForwardOnly)
{
    Cfg cfg;
    AnalogChannelConfig rec = channel();
    const auto samples = series(cfg, {0.0, 0.001, 0.002, 0.003, 0.004}, {0, 10, 0, 10, 0});
    const AnalogChannel view(rec, samples);

    unsigned hint = 0;
    EXPECT_NEAR(view.getValue(0.0035, hint), 5.0, 1e-9);
    EXPECT_EQ(hint, 4u);
    EXPECT_NEAR(view.getValue(0.0005, hint), 35.0, 1e-9); // extrapolated from samples 3 and 4
    hint = 0;
    EXPECT_NEAR(view.getValue(0.0005, hint), 5.0, 1e-9);

    // Rising times with one kept hint give the same values as fresh hints.
    unsigned kept = 0;
    for (double t = 0.0; t <= 0.004; t += 0.0001) {
        unsigned fresh = 0;
        EXPECT_EQ(view.getValue(t, kept), view.getValue(t, fresh)) << t;
    }
}

TEST(AnalogChannel, SkewShiftsTheRecordedTime)
{
    Cfg cfg;
    AnalogChannelConfig rec = channel(200.0);
    const auto samples = series(cfg, {0.0, 0.001}, {10.0, 20.0});
    const AnalogChannel view(rec, samples);
    EXPECT_DOUBLE_EQ(view.skew, 200e-6);

    unsigned hint = 0;
    EXPECT_DOUBLE_EQ(view.getValue(0.0002, hint), 10.0);
    EXPECT_EQ(view.getValue(0.0001, hint), 0.0);
    EXPECT_NEAR(view.getValue(0.0007, hint), 15.0, 1e-9);
    EXPECT_NEAR(view.getValue(0.0011, hint), 19.0, 1e-9);
    EXPECT_EQ(view.getValue(0.0013, hint), 0.0);

    // The view keeps the skew it was built with.
    rec.skew = 0.5;
    EXPECT_DOUBLE_EQ(view.skew, 200e-6);
}

TEST(AnalogChannel, ReadsItsOwnColumnAndDescribesItself)
{
    Cfg cfg;
    AnalogChannelConfig rec = channel(0.0, "kV", 1);
    const auto samples = series(cfg, {0.0, 0.001}, {10.0, 20.0}, 1);
    const AnalogChannel view(rec, samples);
    unsigned hint = 0;
    EXPECT_DOUBLE_EQ(view.getValue(0.0005, hint), 15.0);
    EXPECT_EQ(view.name(), "IA,A,Q1,kV");
    EXPECT_EQ(view.phase(), "A");
    EXPECT_EQ(view.unit(), "kV");

    for (const std::string unit : {"A", "a", "\xD0\xB0"}) {
        AnalogChannelConfig c = channel(0.0, unit);
        EXPECT_TRUE(AnalogChannel(c, samples).isCurrent()) << unit;
    }
    for (const std::string unit : {"kA", "mA", "V", "", "Amp", "\xD0\x90"}) {
        AnalogChannelConfig c = channel(0.0, unit);
        EXPECT_FALSE(AnalogChannel(c, samples).isCurrent()) << unit;
    }
}

TEST(AnalogChannel, DefaultSampleRate)
{
    Cfg cfg;
    AnalogChannelConfig rec = channel();
    const std::vector<Sample> none;
    const AnalogChannel view(rec, none);
    EXPECT_DOUBLE_EQ(view.defaultSampleRate(1.0), 1000.006);
    EXPECT_DOUBLE_EQ(view.defaultSampleRate(0.5), 2000.006);
    EXPECT_DOUBLE_EQ(view.defaultSampleRate(0.3), 1000.0 / 0.3);
    EXPECT_DOUBLE_EQ(view.defaultSampleRate(4.0), 250.006);
}

TEST(AnalogChannel, PointCountRules)
{
    Cfg cfg;
    AnalogChannelConfig rec = channel();
    const auto samples = ramp(cfg, 2.0);
    const AnalogChannel view(rec, samples);

    // No rate: 1000 / 1 s lies on a multiple of 0.02, so 1000.006 per second
    // and 1001 points.
    auto pts = view.getPoints(0.0, 1.0, -1.0);
    ASSERT_EQ(pts.size(), 1001u);
    for (std::size_t i = 0; i < pts.size(); ++i) {
        const double t = double(i) / 1000.006;
        ASSERT_EQ(pts[i].x, float(t)) << i;
        unsigned hint = 0;
        ASSERT_EQ(pts[i].y, float(view.getValue(t, hint))) << i;
    }
    EXPECT_EQ(view.getPoints(0.0, 1.0, 1000.0).size(), 1000u); // a count of exactly 1000
    pts = view.getPoints(0.0, 1.0, 100.0);
    ASSERT_EQ(pts.size(), 100u);
    EXPECT_FLOAT_EQ(pts[37].x, 0.37f);
    EXPECT_NEAR(pts[37].y, 37.0f, 1e-3f);

    // End time -1: the last sample's time.
    EXPECT_EQ(view.getPoints(0.0, -1.0, 1000.0).size(), 2000u);
    // A window past the end of the recording draws y = 0 there.
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
    // Default rate with the end before the start: points run backwards.
    pts = view.getPoints(1.0, 0.5, -1.0);
    ASSERT_FALSE(pts.empty());
    EXPECT_LT(pts.back().x, pts.front().x);
}

// Nothing to draw: no samples at all, or a window starting after the last one.
TEST(AnalogChannel, EmptyRecordingOrWindowAfterTheEnd)
{
    Cfg cfg;
    AnalogChannelConfig rec = channel();
    const std::vector<Sample> none;
    const AnalogChannel empty(rec, none);
    unsigned hint = 0;
    EXPECT_EQ(empty.getValue(0.0, hint), 0.0);
    EXPECT_TRUE(empty.getPoints(0.0, -1.0, -1.0).empty());
    EXPECT_TRUE(empty.getPoints(0.0, 1.0, 100.0).empty());

    const auto samples = ramp(cfg, 1.0);
    const AnalogChannel view(rec, samples);
    EXPECT_TRUE(view.getPoints(1.5, 2.0, 100.0).empty());
    EXPECT_TRUE(view.getPoints(1.5, -1.0, -1.0).empty());
}
