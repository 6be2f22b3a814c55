// The status view's step series: opening point, changes of state, and the
// points at the window's end.

#include <KivComtradeLib/BinaryChannel.h>
#include <KivComtradeLib/Cfg.h>

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

using namespace KivComtradeLib;

namespace {

using Steps = std::vector<std::pair<float, float>>;

Steps steps(const std::vector<Kiv::PointF>& points)
{
    Steps out;
    for (const auto& p : points)
        out.emplace_back(p.x, p.y);
    return out;
}

// Samples at 0..4 ms. Channel 1: 0,0,1,1,0; channel 2: 1,1,1,0,0; channel 3 never changes.
std::vector<Sample> fiveSamples(const Cfg& cfg)
{
    const bool states[5][3] = {{0, 1, 1}, {0, 1, 1}, {1, 1, 1}, {1, 0, 1}, {0, 0, 1}};
    std::vector<Sample> out;
    for (int k = 0; k < 5; ++k) {
        Sample s(cfg);
        s.index = k;
        s.time = k / 1000.0;
        s.binaryValues.assign(states[k], states[k] + 3);
        out.push_back(s);
    }
    return out;
}

BinaryChannelConfig channel(int index)
{
    return BinaryChannelConfig(index, "1,BRK" + std::to_string(index + 1) + ",A,Q1,0", 1999);
}

} // namespace

TEST(BinaryChannel, StepSeriesOverWindows)
{
    Cfg cfg;
    const auto samples = fiveSamples(cfg);
    BinaryChannelConfig rec = channel(0);
    const BinaryChannel view(rec, samples);
    EXPECT_EQ(view.name(), "BRK1,Q1");

    EXPECT_EQ(steps(view.getPoints(0.0, -1.0, -1.0)), (Steps{{0.0f, 0}, {0.002f, 1}, {0.004f, 0}}));
    EXPECT_EQ(steps(view.getPoints(0.0, 0.010, -1.0)),
              (Steps{{0.0f, 0}, {0.002f, 1}, {0.004f, 0}, {0.010f, 0}}));
    EXPECT_EQ(steps(view.getPoints(0.0015, 0.0025, -1.0)),
              (Steps{{0.0015f, 1}, {0.002f, 1}, {0.0025f, 1}}));
    // A window between two samples still shows the state that follows it.
    EXPECT_EQ(steps(view.getPoints(0.0021, 0.0029, 5.0)), (Steps{{0.0021f, 1}, {0.0029f, 1}}));
    // A window starting exactly at a sample includes that sample.
    const auto at = view.getPoints(0.002, 0.010, -1.0);
    ASSERT_FALSE(at.empty());
    EXPECT_EQ(at.front().x, 0.002f);
    EXPECT_EQ(at.front().y, 1.0f);
    EXPECT_EQ(view.bool2Float(true), 1.0f);
    EXPECT_EQ(view.bool2Float(false), 0.0f);
}

TEST(BinaryChannel, EachViewReadsItsOwnBit)
{
    Cfg cfg;
    const auto samples = fiveSamples(cfg);
    BinaryChannelConfig second = channel(1);
    BinaryChannelConfig third = channel(2);
    EXPECT_EQ(steps(BinaryChannel(second, samples).getPoints(0.0, -1.0, -1.0)),
              (Steps{{0.0f, 1}, {0.003f, 0}, {0.004f, 0}}));

    const BinaryChannel constant(third, samples);
    EXPECT_EQ(steps(constant.getPoints(0.0005, 0.0035, -1.0)), (Steps{{0.0005f, 1}, {0.0035f, 1}}));
    EXPECT_EQ(steps(constant.getPoints(0.0, 0.5, -1.0)), (Steps{{0.0f, 1}, {0.5f, 1}}));
    // Zero-length windows: at the last sample the opening point alone; at an
    // earlier sample the opening point and the point of the next sample.
    EXPECT_EQ(steps(constant.getPoints(0.004, 0.004, -1.0)), (Steps{{0.004f, 1}}));
    EXPECT_EQ(steps(constant.getPoints(0.002, 0.002, -1.0)), (Steps{{0.002f, 1}, {0.002f, 1}}));
}

// Nothing to draw: no samples, or a window that starts after the last one.
TEST(BinaryChannel, EmptyRecordingOrWindowAfterTheEnd)
{
    Cfg cfg;
    BinaryChannelConfig rec = channel(0);
    const std::vector<Sample> none;
    const BinaryChannel empty(rec, none);
    EXPECT_TRUE(empty.getPoints(0.0, -1.0, -1.0).empty());
    EXPECT_TRUE(empty.getPoints(0.0, 1.0, -1.0).empty());

    const auto samples = fiveSamples(cfg);
    const BinaryChannel view(rec, samples);
    EXPECT_TRUE(view.getPoints(0.0041, 1.0, -1.0).empty());
    EXPECT_TRUE(view.getPoints(0.5, -1.0, -1.0).empty());
}

// From 32 s on, a float cannot hold every end time within 1e-6 s: a window cut
// short then gets a second end point with the state inside the window.
TEST(BinaryChannel, EndTimeBeyondFloatPrecision)
{
    Cfg cfg;
    std::vector<Sample> samples;
    for (int k = 0; k <= 40; ++k) {
        Sample s(cfg);
        s.index = k;
        s.time = k;
        s.binaryValues = {k >= 34};
        samples.push_back(s);
    }
    BinaryChannelConfig rec = channel(0);
    const BinaryChannel view(rec, samples);
    const double end = 33.5 + 1.9e-6;
    ASSERT_GT(std::fabs(end - double(float(end))), 1e-6);
    EXPECT_EQ(steps(view.getPoints(30.0, end, -1.0)), (Steps{{30.0f, 0}, {float(end), 1}, {float(end), 0}}));
    EXPECT_EQ(steps(view.getPoints(30.0, 33.5, -1.0)), (Steps{{30.0f, 0}, {33.5f, 1}}));
}
