#pragma once
// One channel's column as plain arrays, and everything the views compute over
// it: values between samples, point series, and the reduction to pixel
// columns that a plot draws. AnalogChannel and BinaryChannel (one column of
// the Sample vector), ColumnarRecording, the host tools and the Python module
// all read channels through the same code.

#include <KivComtradeLib/Export.h>
#include <KivComtradeLib/KivCommon.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace KivComtradeLib {

// The plotting rate, in points per second, that a point series over
// `duration` seconds gets when its caller names none: 1000 / duration, plus
// 0.006 when that lies within 0.006 of a multiple of 0.02. The views'
// defaultSampleRate.
KIVCOMTRADE_API double defaultPointRate(double duration);

// An analog trace reduced to a plot's pixel columns: x runs from 0 (the
// window's start) to `columns` (its end). Each run is one unbroken line; a
// missing value (NaN) ends a run. Where the window holds more samples than
// columns, every column contributes its minimum and its maximum, in the order
// they occur, so the drawn extremes are the true ones; otherwise every sample
// is a point.
struct KIVCOMTRADE_API ColumnTrace {
    struct Point {
        double x;
        double value;
    };
    std::vector<std::vector<Point>> runs;
    double low;  // least value drawn; NaN when there is none
    double high; // greatest value drawn; NaN when there is none
};

// A status channel in pixel columns: 0 off throughout, 1 on throughout, 2 both
// within the column; -1 no sample reaches it. A state holds from its sample to
// the next one.
struct KIVCOMTRADE_API ColumnRaster {
    std::vector<signed char> columns;
    bool changes = false; // the state differs between samples of the window
};

// One analog channel's column: `count` times (seconds, rising) and `count`
// values, and the channel's skew. The arrays belong to someone else
// (ColumnarRecording::analogColumn gives them).
struct KIVCOMTRADE_API AnalogColumn {
    const double* time = nullptr;
    const double* values = nullptr;
    std::size_t count = 0;
    double skew = 0.0; // seconds: sample k stands at time[k] + skew

    // Whether `t` - skew lies on [0, the last time]: where getValue
    // interpolates rather than giving 0.0.
    bool covers(double t) const;
    // AnalogChannel::getValue: the value at `t` - skew, linear between the
    // samples around it; 0.0 outside [0, last time]; NaN when a sample used is
    // missing. `hint` only moves forward (start at 0, or at any position not
    // past the wanted one).
    double getValue(double t, std::size_t& hint) const;
    // What getValue gives with hint 0, found by a binary search: for lookups
    // in any order. Only for times that never decrease.
    double valueAt(double t) const;
    // AnalogChannel::getPoints: from startTime every 1/sampleRate s while
    // below endTime (endTime < 0: the last time; sampleRate < 0:
    // defaultPointRate).
    std::vector<Kiv::PointF> getPoints(double startTime, double endTime, double sampleRate) const;
    // The samples whose time + skew - origin lies in [from, to], reduced to
    // `columns` pixel columns (ColumnTrace). Empty when the window is empty or
    // `columns` is not positive.
    ColumnTrace trace(double from, double to, int columns, double origin = 0.0) const;
};

// One status channel's column: `count` times and states (0 or 1).
struct KIVCOMTRADE_API StatusColumn {
    const double* time = nullptr;
    const std::uint8_t* states = nullptr;
    std::size_t count = 0;

    // BinaryChannel::getPoints (which takes a rate it does not use).
    std::vector<Kiv::PointF> getPoints(double startTime, double endTime) const;
    // The states over [from, to] (times less `origin`) in `columns` pixel
    // columns (ColumnRaster). Empty when the window is empty or `columns` is
    // not positive.
    ColumnRaster raster(double from, double to, int columns, double origin = 0.0) const;
};

} // namespace KivComtradeLib
