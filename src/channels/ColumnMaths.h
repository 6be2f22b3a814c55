#pragma once
// The maths of the channel views, written once over one channel's column:
// `time(k)` and `value(k)` (or `state(k)`) of the k-th of `count` samples.
// AnalogChannel and BinaryChannel read a column of the Sample vector,
// AnalogColumn and StatusColumn a row of ColumnarRecording's arrays; both
// instantiate these templates, so every caller gets the same numbers.

#include <KivComtradeLib/KivCommon.h>

#include <cmath>
#include <cstddef>
#include <exception>
#include <vector>

namespace KivComtradeLib {
namespace ColumnMaths {

// Points of one series are capped well below what a vector could hold: a
// request for more is a mistake (or a hostile window), never a plot.
constexpr double kMaxPoints = static_cast<double>(1ULL << 26);

// Whether `t` - skew lies on the recorded range [0, the last sample's time].
template <class Time>
bool covers(std::size_t count, const Time& time, double skew, double t)
{
    const double tt = t - skew;
    return count != 0 && !(tt < 0.0) && !(tt > time(count - 1));
}

// Value at `t` - skew on the line through the samples around it; 0.0 outside
// the recorded range. `hint` only moves forward (start at 0).
template <class Time, class Value, class Hint>
double valueAt(std::size_t count, const Time& time, const Value& value, double skew, double t, Hint& hint)
{
    const double tt = t - skew;
    if (count == 0 || tt < 0.0 || tt > time(count - 1))
        return 0.0;
    const std::size_t last = count - 1;
    std::size_t k = hint;
    if (k > last) {
        // A hint past the end (a caller error) is pulled back instead of read.
        k = last;
        hint = static_cast<Hint>(k);
    }
    while (tt > time(k)) {
        ++k;
        hint = static_cast<Hint>(k);
        if (k >= count) {
            k = last;
            hint = static_cast<Hint>(k);
            break;
        }
    }
    if (k == 0)
        return value(0);
    const double v0 = value(k - 1);
    const double t0 = time(k - 1);
    const double slope = (value(k) - v0) / (time(k) - t0);
    return (v0 - t0 * slope) + tt * slope;
}

// About 1000 points over `duration`, nudged off rates close to a multiple of
// 0.02 points per second.
inline double defaultPointRate(double duration)
{
    double rate = 1000.0 / duration;
    const double r = std::remainder(rate, 0.02);
    if (std::fabs(r) < 0.006)
        rate += 0.006;
    return rate;
}

// Points from startTime every 1/sampleRate s while below endTime (endTime <
// 0: the last sample's time; sampleRate < 0: defaultPointRate). Empty on an
// impossible count, or when the window opens after the last sample shifted by
// the skew.
template <class Time, class Value>
std::vector<Kiv::PointF> analogPoints(std::size_t count, const Time& time, const Value& value, double skew,
                                      double startTime, double endTime, double sampleRate)
{
    std::vector<Kiv::PointF> points;
    try {
        if (count == 0 || startTime - skew > time(count - 1))
            return points;
        if (endTime < 0.0)
            endTime = time(count - 1);
        const double duration = endTime - startTime;
        if (sampleRate < 0.0)
            sampleRate = defaultPointRate(duration);
        const double n = duration * sampleRate;
        if (!(n > 0.0) || !(n < kMaxPoints))
            return points;
        points.reserve(static_cast<std::size_t>(n));
        std::size_t hint = 0;
        for (double i = 0.0; i < n; i += 1.0) {
            const double t = (i / sampleRate) + startTime;
            const double y = valueAt(count, time, value, skew, t, hint);
            points.emplace_back(static_cast<float>(t), static_cast<float>(y));
        }
    } catch (const std::exception&) {
        return std::vector<Kiv::PointF>();
    }
    return points;
}

// Opening point (state of the first sample at or after startTime), one point
// per change of state inside the window, and a point at endTime. Empty when
// no sample lies in the window.
template <class Time, class State>
std::vector<Kiv::PointF> statusPoints(std::size_t count, const Time& time, const State& state, double startTime,
                                      double endTime)
{
    std::vector<Kiv::PointF> points;
    const auto level = [](bool on) { return on ? 1.0f : 0.0f; };
    try {
        if (count == 0)
            return points;
        if (endTime < 0.0)
            endTime = time(count - 1);
        bool previous = state(0);
        bool closing = previous;
        bool first = true;
        bool cut = false;
        for (std::size_t k = 0; k < count; ++k) {
            const bool current = state(k);
            const double t = time(k);
            if (startTime > t) {
                previous = current;
                continue;
            }
            if (first)
                points.emplace_back(static_cast<float>(startTime), level(current));
            if (t > endTime) {
                points.emplace_back(static_cast<float>(endTime), level(current));
                closing = previous;
                cut = true;
                break;
            }
            if (current != previous)
                points.emplace_back(static_cast<float>(t), level(current));
            first = false;
            previous = current;
        }
        if (points.empty())
            return points;
        if (!cut)
            closing = state(count - 1);
        const double lastX = static_cast<double>(points.back().x);
        if (std::fabs(endTime - lastX) > 1e-6)
            points.emplace_back(static_cast<float>(endTime), level(closing));
    } catch (const std::exception&) {
        return std::vector<Kiv::PointF>();
    }
    return points;
}

} // namespace ColumnMaths
} // namespace KivComtradeLib
