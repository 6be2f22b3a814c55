#pragma once
// What comtrade-plot draws of one channel over a time window, reduced to the
// picture's pixel columns without losing a peak.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace KivTools {

// Samples of one channel: the recording's times (seconds) and the channel's
// row; `shift` is added to every time (the channel's skew, minus the zero of
// the time axis).
struct ChannelRow {
    const double* time = nullptr;
    std::size_t count = 0;
    double shift = 0.0;
};

// An analog trace in pixel columns: x from 0 (window start) to `columns`
// (window end), y the value. Each run is one unbroken line; a missing value
// (NaN) ends a run. Where the window holds more samples than columns, every
// column contributes its minimum and its maximum (in the order they occur),
// so the drawn extremes are the true ones; otherwise every sample is a point.
struct Trace {
    struct Point {
        double x;
        double value;
    };
    std::vector<std::vector<Point>> runs;
    double low;  // least value drawn; NaN when there is none
    double high; // greatest value drawn
};
Trace analogTrace(const ChannelRow& row, const double* values, double from, double to, int columns);

// A status channel in pixel columns: 0 off throughout, 1 on throughout,
// 2 both within the column; -1 no sample reaches it. A state holds from its
// sample to the next one.
struct StatusRaster {
    std::vector<signed char> columns;
    bool changes = false; // the state differs between samples of the window
};
StatusRaster statusRaster(const ChannelRow& row, const std::uint8_t* states, double from, double to,
                          int columns);

} // namespace KivTools
