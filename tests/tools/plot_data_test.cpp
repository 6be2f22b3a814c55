// The reduction of a channel to pixel columns: a missing value breaks the
// line, and the extremes of every column survive.

#include "PlotData.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

using KivTools::analogTrace;

TEST(PlotData, MissingValuesBreakTheLineAndExtremesSurvive)
{
    const double nan = std::nan("");
    const struct {
        std::vector<double> values; // at t = 0, 1, 2, ... over a window [0, n-1]
        int columns;
        std::vector<std::size_t> runSizes;
        double low, high;
    } cases[] = {
        {{1, 2, nan, 4, 5}, 100, {2, 2}, 1, 5},        // sparse: every sample a point
        {{nan, nan, 3}, 100, {1}, 3, 3},
        {{nan, nan}, 100, {}, nan, nan},
        {{0, 9, -7, 1, 0, 2, nan, 3, 0, 1}, 2, {3, 2}, -7, 9}, // dense: min and max per column
    };
    for (const auto& c : cases) {
        std::vector<double> time;
        for (std::size_t k = 0; k < c.values.size(); ++k)
            time.push_back(double(k));
        const KivTools::ChannelRow row{time.data(), time.size(), 0.0};
        const KivTools::Trace trace = analogTrace(row, c.values.data(), 0.0, double(time.size() - 1), c.columns);
        std::vector<std::size_t> sizes;
        for (const auto& run : trace.runs)
            sizes.push_back(run.size());
        EXPECT_EQ(sizes, c.runSizes) << c.values.size();
        EXPECT_TRUE(trace.low == c.low || (std::isnan(c.low) && std::isnan(trace.low)));
        EXPECT_TRUE(trace.high == c.high || (std::isnan(c.high) && std::isnan(trace.high)));
    }
}

} // namespace
