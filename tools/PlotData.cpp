#include "PlotData.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace KivTools {

namespace {

// Extremes of the samples of one pixel column, in the order they occurred.
class ColumnEnvelope {
public:
    void add(std::size_t k, double value)
    {
        if (!has_ || value < min_) {
            min_ = value;
            minAt_ = k;
        }
        if (!has_ || value > max_) {
            max_ = value;
            maxAt_ = k;
        }
        has_ = true;
    }
    void flushInto(std::vector<Trace::Point>& run, double x)
    {
        if (!has_)
            return;
        const bool minFirst = minAt_ <= maxAt_;
        run.push_back({x, minFirst ? min_ : max_});
        if (min_ != max_)
            run.push_back({x, minFirst ? max_ : min_});
        has_ = false;
    }

private:
    bool has_ = false;
    double min_ = 0.0;
    double max_ = 0.0;
    std::size_t minAt_ = 0;
    std::size_t maxAt_ = 0;
};

void endRun(Trace& trace, std::vector<Trace::Point>& run)
{
    if (!run.empty())
        trace.runs.push_back(std::move(run));
    run.clear();
}

std::size_t samplesIn(const ChannelRow& row, double from, double to)
{
    std::size_t n = 0;
    for (std::size_t k = 0; k < row.count; ++k) {
        const double t = row.time[k] + row.shift;
        n += t >= from && t <= to;
    }
    return n;
}

int columnOf(double t, double from, double to, int columns)
{
    const double c = std::floor((t - from) / (to - from) * columns);
    return static_cast<int>(std::clamp(c, 0.0, static_cast<double>(columns - 1)));
}

} // namespace

Trace analogTrace(const ChannelRow& row, const double* values, double from, double to, int columns)
{
    Trace trace{{}, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::quiet_NaN()};
    const bool everySample = samplesIn(row, from, to) <= static_cast<std::size_t>(columns);
    std::vector<Trace::Point> run;
    ColumnEnvelope envelope;
    int column = -1;
    for (std::size_t k = 0; k < row.count; ++k) {
        const double t = row.time[k] + row.shift;
        if (!(t >= from && t <= to))
            continue;
        const double v = values[k];
        const int c = columnOf(t, from, to, columns);
        if (c != column) {
            envelope.flushInto(run, column + 0.5);
            column = c;
        }
        if (std::isnan(v)) {
            envelope.flushInto(run, column + 0.5);
            endRun(trace, run);
            continue;
        }
        trace.low = std::isnan(trace.low) ? v : std::min(trace.low, v);
        trace.high = std::isnan(trace.high) ? v : std::max(trace.high, v);
        if (everySample)
            run.push_back({(t - from) / (to - from) * columns, v});
        else
            envelope.add(k, v);
    }
    envelope.flushInto(run, column + 0.5);
    endRun(trace, run);
    return trace;
}

StatusRaster statusRaster(const ChannelRow& row, const std::uint8_t* states, double from, double to,
                          int columns)
{
    StatusRaster raster;
    raster.columns.assign(static_cast<std::size_t>(columns), -1);
    int firstInWindow = -1;
    for (std::size_t k = 0; k < row.count; ++k) {
        const double t = row.time[k] + row.shift;
        const double next = k + 1 < row.count ? row.time[k + 1] + row.shift : t;
        if (next < from || t > to)
            continue;
        const int state = states[k] ? 1 : 0;
        if (t >= from) {
            if (firstInWindow < 0)
                firstInWindow = state;
            else if (state != firstInWindow)
                raster.changes = true;
        }
        const int a = columnOf(std::max(t, from), from, to, columns);
        const int b = std::max(a, columnOf(std::min(next, to), from, to, columns));
        for (int c = a; c <= b; ++c) {
            signed char& cell = raster.columns[static_cast<std::size_t>(c)];
            cell = cell < 0 || cell == state ? static_cast<signed char>(state) : 2;
        }
    }
    return raster;
}

} // namespace KivTools
