#include "channels/ColumnMaths.h"

#include <KivComtradeLib/ChannelColumn.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace KivComtradeLib {

namespace {

// Extremes of the samples of one pixel column, in the order they occurred.
class ColumnEnvelope {
public:
    void add(std::size_t k, double value)
    {
        if (!_has || value < _min) {
            _min = value;
            _minAt = k;
        }
        if (!_has || value > _max) {
            _max = value;
            _maxAt = k;
        }
        _has = true;
    }
    void flushInto(std::vector<ColumnTrace::Point>& run, double x)
    {
        if (!_has)
            return;
        const bool minFirst = _minAt <= _maxAt;
        run.push_back({x, minFirst ? _min : _max});
        if (_min != _max)
            run.push_back({x, minFirst ? _max : _min});
        _has = false;
    }

private:
    bool _has = false;
    double _min = 0.0;
    double _max = 0.0;
    std::size_t _minAt = 0;
    std::size_t _maxAt = 0;
};

void endRun(ColumnTrace& trace, std::vector<ColumnTrace::Point>& run)
{
    if (!run.empty())
        trace.runs.push_back(std::move(run));
    run.clear();
}

// The pixel column of time `t`, clamped to the picture (a time that is not a
// number, from a file's infinite stamps, goes to the first).
int columnOf(double t, double from, double to, int columns)
{
    const double c = std::floor((t - from) / (to - from) * columns);
    return c >= columns - 1 ? columns - 1 : c > 0.0 ? static_cast<int>(c) : 0;
}

// A plot wider than this is a mistake (or a hostile request), never a picture.
constexpr int kMaxColumns = 1 << 20;

bool drawable(double from, double to, int columns)
{
    return columns > 0 && columns <= kMaxColumns && std::isfinite(from) && std::isfinite(to) && to > from;
}

} // namespace

double defaultPointRate(double duration)
{
    return ColumnMaths::defaultPointRate(duration);
}

bool AnalogColumn::covers(double t) const
{
    return ColumnMaths::covers(count, [at = time](std::size_t k) { return at[k]; }, skew, t);
}

double AnalogColumn::getValue(double t, std::size_t& hint) const
{
    return ColumnMaths::valueAt(
        count, [at = time](std::size_t k) { return at[k]; }, [v = values](std::size_t k) { return v[k]; }, skew, t,
        hint);
}

double AnalogColumn::valueAt(double t) const
{
    // The first sample at or after t - skew: where the forward scan from 0 stops.
    std::size_t hint = count == 0 ? 0 : static_cast<std::size_t>(std::lower_bound(time, time + count, t - skew) - time);
    return getValue(t, hint);
}

std::vector<Kiv::PointF> AnalogColumn::getPoints(double startTime, double endTime, double sampleRate) const
{
    return ColumnMaths::analogPoints(
        count, [at = time](std::size_t k) { return at[k]; }, [v = values](std::size_t k) { return v[k]; }, skew,
        startTime, endTime, sampleRate);
}

ColumnTrace AnalogColumn::trace(double from, double to, int columns, double origin) const
{
    ColumnTrace trace{{}, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::quiet_NaN()};
    if (!drawable(from, to, columns))
        return trace;
    const double shift = -origin + skew;
    std::size_t inWindow = 0;
    for (std::size_t k = 0; k < count; ++k) {
        const double t = time[k] + shift;
        inWindow += t >= from && t <= to;
    }
    const bool everySample = inWindow <= static_cast<std::size_t>(columns);
    std::vector<ColumnTrace::Point> run;
    ColumnEnvelope envelope;
    int column = -1;
    for (std::size_t k = 0; k < count; ++k) {
        const double t = time[k] + shift;
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

std::vector<Kiv::PointF> StatusColumn::getPoints(double startTime, double endTime) const
{
    return ColumnMaths::statusPoints(
        count, [at = time](std::size_t k) { return at[k]; }, [s = states](std::size_t k) { return s[k] != 0; },
        startTime, endTime);
}

ColumnRaster StatusColumn::raster(double from, double to, int columns, double origin) const
{
    ColumnRaster raster;
    if (!drawable(from, to, columns))
        return raster;
    raster.columns.assign(static_cast<std::size_t>(columns), -1);
    const double shift = -origin;
    int firstInWindow = -1;
    for (std::size_t k = 0; k < count; ++k) {
        const double t = time[k] + shift;
        const double next = k + 1 < count ? time[k + 1] + shift : t;
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

} // namespace KivComtradeLib
