// The channel views: the analog view's skew-shifted interpolation, its point
// series and their count rules; the status view's step series; the reduction
// of a column to a plot's pixel columns.

#include <KivComtradeLib/AnalogChannel.h>
#include <KivComtradeLib/BinaryChannel.h>
#include <KivComtradeLib/Cfg.h>
#include <KivComtradeLib/ChannelColumn.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

using namespace KivComtradeLib;

namespace {

// Samples at times[k]: analog column 1 holds values[k] (columns 0 and 2 hold
// garbage), status column c bit c of states[k].
std::vector<Sample> series(const std::vector<double>& times, const std::vector<double>& values,
                           const std::vector<int>& states = {})
{
    static const Cfg cfg;
    std::vector<Sample> out;
    for (std::size_t k = 0; k < times.size(); ++k) {
        Sample s(cfg);
        s.time = times[k];
        s.analogValues = {-777.0, values.empty() ? 0.0 : values[k], -777.0};
        for (int c = 0; c < 3; ++c)
            s.binaryValues.push_back(!states.empty() && (states[k] >> c & 1));
        out.push_back(s);
    }
    return out;
}

AnalogChannelConfig channel(double skewMicroseconds = 0.0)
{
    return AnalogChannelConfig(1, "2,IA,A,Q1,A,1,0," + std::to_string(skewMicroseconds) + ",-32767,32767,1,1,S", 1999);
}

// One sample per millisecond over `seconds`, value 100 * time.
std::vector<Sample> ramp(double seconds)
{
    std::vector<double> t, v;
    for (int k = 0; k * 0.001 <= seconds + 1e-12; ++k)
        t.push_back(k / 1000.0), v.push_back(k / 10.0);
    return series(t, v);
}

} // namespace

// The hint only moves forward (going back extrapolates from hint-1 and hint);
// outside the range shifted by the skew the value is 0 and the hint stays.
TEST(AnalogChannel, GetValueWithSkewAndForwardOnlyHint)
{
    AnalogChannelConfig plain = channel(), skewed = channel(200.0);
    const auto zigzag = series({0.0, 0.001, 0.002, 0.003, 0.004}, {10, 20, 0, 10, 0});
    const AnalogChannel view(plain, zigzag), late(skewed, zigzag);
    const struct { const AnalogChannel& view; double time; int hintBefore, value, hintAfter; } steps[] = { // -1: kept
        {view, 0.0005, 0, 15, 1}, {view, 0.0, 0, 10, 0},      {view, 0.0035, -1, 5, 4}, {view, 0.0005, -1, 35, 4},
        {view, 0.0041, 0, 0, 0},  {view, -0.0001, -1, 0, 0}, {late, 0.0002, 0, 10, 1}, {late, 0.0001, 0, 0, 0},
        {late, 0.0007, 0, 15, 1}, {late, 0.0011, -1, 19, 1}, {late, 0.0043, -1, 0, 1},
    };
    unsigned hint = 0;
    for (const auto& s : steps) {
        hint = s.hintBefore >= 0 ? unsigned(s.hintBefore) : hint;
        EXPECT_NEAR(s.view.getValue(s.time, hint), s.value, 1e-9) << s.time << (&s.view == &late ? " skewed" : "");
        EXPECT_EQ(hint, unsigned(s.hintAfter)) << s.time;
    }
}

// A sample recorded at t appears at t + skew (x is the window's time); a
// window opening after the last sample but within the skew still draws.
TEST(AnalogChannel, PointsShiftedByTheSkewAndTheirCount)
{
    AnalogChannelConfig skewed = channel(2000.0); // 2 ms
    const auto samples = ramp(0.01);
    const AnalogChannel late(skewed, samples);
    const auto pts = late.getPoints(0.0, 0.01, 1000.0);
    ASSERT_EQ(pts.size(), 10u);
    EXPECT_TRUE(pts[1].x == 0.001f && pts[1].y == 0.0f);
    EXPECT_TRUE(pts[5].x == 0.005f && std::fabs(pts[5].y - 0.3) < 1e-6) << pts[5].x << " " << pts[5].y;
    const auto tail = late.getPoints(0.0105, 0.012, 1000.0);
    ASSERT_EQ(tail.size(), 2u);
    EXPECT_TRUE(tail[0].x == 0.0105f && std::fabs(tail[0].y - 0.85) < 1e-6) << tail[0].x << " " << tail[0].y;
    EXPECT_TRUE(late.getPoints(0.0125, 0.013, 1000.0).empty());
    // Counts: by default 1000 / duration, plus 0.006 when that is a multiple of 0.02.
    AnalogChannelConfig rec = channel();
    const auto longer = ramp(2.0);
    const AnalogChannel view(rec, longer);
    EXPECT_DOUBLE_EQ(view.defaultSampleRate(4.0), 250.006);
    const auto all = view.getPoints(0.0, 1.0, -1.0);
    ASSERT_EQ(all.size(), 1001u);
    EXPECT_TRUE(all[1000].x == float(1000 / 1000.006) && std::fabs(all[1000].y - 100 * 1000 / 1000.006) < 1e-4);
    EXPECT_EQ(view.getPoints(0.0, 1.0, 1000.0).size(), 1000u);
    EXPECT_EQ(view.getPoints(0.0, -1.0, 1000.0).size(), 2000u); // end -1: the last sample's time
    EXPECT_EQ(view.getPoints(0.0, 2.0, 5000.0).size(), 10000u); // a dense plot is no hostile request
    // Empty windows, nothing to draw, and counts no memory could hold.
    const std::vector<Sample> none;
    const AnalogChannel empty(rec, none);
    const struct { const AnalogChannel& view; double start, end, rate; } nothing[] = {
        {view, 0.7, 0.7, -1.0}, {view, 1.0, 0.5, 100.0}, {view, 2.5, 3.0, 100.0}, {view, 2.5, -1.0, -1.0},
        {view, 0.0, 1.0, 7e7},  {view, 0.0, 1.0, 1e300}, {view, 0.0, 1.0, NAN},   {view, -1e300, 1e300, -1.0},
        {view, -INFINITY, INFINITY, 1.0}, {empty, 0.0, -1.0, -1.0},
    };
    for (const auto& n : nothing)
        EXPECT_TRUE(n.view.getPoints(n.start, n.end, n.rate).empty()) << n.start << " " << n.end << " " << n.rate;
}

TEST(BinaryChannel, StepSeriesOverWindows)
{
    // 0..4 ms, channel 1: 0,0,1,1,0; channel 2: 1,1,1,0,0; channel 3: 1.
    const auto five = series({0.0, 0.001, 0.002, 0.003, 0.004}, {}, {6, 6, 7, 5, 4});
    // From 32 s on a float cannot hold every end time within 1e-6 s: a window
    // cut short then gets a second end point with the state inside the window.
    std::vector<double> seconds(41);
    std::vector<int> late(41);
    for (int k = 0; k <= 40; ++k)
        seconds[k] = k, late[k] = k >= 34;
    const auto forty = series(seconds, {}, late);
    const double end = 33.5 + 1.9e-6;
    using Steps = std::vector<std::pair<float, float>>;
    const struct { const std::vector<Sample>& samples; int channel; double start, end; Steps steps; } cases[] = {
        {five, 0, 0.0, -1.0, {{0.0f, 0}, {0.002f, 1}, {0.004f, 0}}},
        {five, 0, 0.0021, 0.0029, {{0.0021f, 1}, {0.0029f, 1}}}, // the state that follows
        {five, 0, 0.002, 0.010, {{0.002f, 1}, {0.002f, 1}, {0.004f, 0}, {0.010f, 0}}},
        {five, 2, 0.004, 0.004, {{0.004f, 1}}},
        {{}, 0, 0.0, -1.0, {}},
        {forty, 0, 30.0, end, {{30.0f, 0}, {float(end), 1}, {float(end), 0}}},
        {forty, 0, 30.0, 33.5, {{30.0f, 0}, {33.5f, 1}}},
    };
    for (const auto& c : cases) {
        BinaryChannelConfig rec(c.channel, "1,BRK,A,Q1,0", 1999);
        const BinaryChannel view(rec, c.samples);
        Steps steps;
        for (const auto& p : view.getPoints(c.start, c.end, 5.0)) // the rate is not used
            steps.emplace_back(p.x, p.y);
        EXPECT_EQ(steps, c.steps) << "channel " << c.channel + 1 << " from " << c.start << " to " << c.end;
    }
}

TEST(ColumnTrace, MissingValuesBreakTheLineAndEveryColumnKeepsItsExtremes)
{
    const double nan = std::nan("");
    const struct {
        std::vector<double> values; // at t = 0, 1, 2, ... over the window [0, n-1]
        int columns;
        std::vector<std::size_t> runSizes;
        std::vector<double> drawn; // every point's value, run after run
    } cases[] = {
        {{1, 2, nan, 4, 5}, 100, {2, 2}, {1, 2, 4, 5}}, // fewer samples than columns: all of them
        {{nan, nan, 3}, 100, {1}, {3}},
        {{nan, nan}, 100, {}, {}},
        {{0, 9, -7, 1, 0, 2, nan, 3, 0, 1}, 2, {3, 2}, {9, -7, 2, 3, 0}}, // min and max per column, in order
    };
    for (const auto& c : cases) {
        std::vector<double> time(c.values.size());
        for (std::size_t k = 0; k < time.size(); ++k)
            time[k] = double(k);
        const AnalogColumn column{time.data(), c.values.data(), time.size(), 0.0};
        const auto trace = column.trace(0.0, time.back(), c.columns);
        std::vector<std::size_t> sizes;
        std::vector<double> drawn;
        for (const auto& line : trace.runs) {
            sizes.push_back(line.size());
            for (const auto& point : line)
                drawn.push_back(point.value);
        }
        EXPECT_EQ(sizes, c.runSizes) << c.values.size();
        EXPECT_EQ(drawn, c.drawn) << c.values.size();
    }
    const double t[] = {0.0, 1.0}, v[] = {1.0, 2.0}; // no picture of an empty window or of no columns
    const AnalogColumn two{t, v, 2, 0.0};
    EXPECT_TRUE(two.trace(1.0, 1.0, 10).runs.empty() && two.trace(0.0, 1.0, 0).runs.empty());
}

TEST(ColumnRaster, EachColumnHoldsTheStatesThatReachIt)
{
    const double time[] = {0.0, 1.0, 2.0, 3.0};
    const struct { std::vector<std::uint8_t> states; double from, to, origin; std::vector<signed char> columns; bool changes; } cases[] = {
        {{0, 0, 0, 0}, 0.0, 3.0, 0.0, {0, 0, 0}, false},
        {{0, 1, 1, 0}, 0.0, 3.0, 0.0, {0, 2, 2}, true},  // a state holds up to the next sample
        {{1, 1, 0, 0}, -1.0, 1.0, 1.0, {1, 2}, true},    // on an axis whose zero is at t = 1
        {{1, 0, 0, 0}, 4.0, 5.0, 0.0, {-1, -1}, false},  // after the last sample: nothing reaches it
    };
    for (const auto& c : cases) {
        const ColumnRaster raster = StatusColumn{time, c.states.data(), 4}.raster(c.from, c.to, int(c.columns.size()), c.origin);
        EXPECT_TRUE(raster.columns == c.columns && raster.changes == c.changes) << c.from;
    }
}
