#pragma once

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

// One analog channel's column as plain arrays: `count` times (seconds,
// rising) and `count` values, and the channel's skew. What
// ColumnarRecording::analogColumn gives; it reads with the rules of
// AnalogChannel (the same code), and refers to arrays owned elsewhere.
struct KIVCOMTRADE_API AnalogColumn {
    const double* time = nullptr;
    const double* values = nullptr;
    std::size_t count = 0;
    double skew = 0.0; // seconds

    // Whether `t` - skew lies on the recorded range [0, last time]: where
    // getValue interpolates rather than giving 0.0.
    bool covers(double t) const;
    // AnalogChannel::getValue: the value at `t` - skew, linear between the
    // samples around it; 0.0 outside the range. `hint` only moves forward
    // (start at 0, or at any position not past the wanted one).
    double getValue(double t, std::size_t& hint) const;
    // AnalogChannel::getPoints.
    std::vector<Kiv::PointF> getPoints(double startTime, double endTime, double sampleRate) const;
};

// One status channel's column: `count` times and states (0 or 1).
struct KIVCOMTRADE_API StatusColumn {
    const double* time = nullptr;
    const std::uint8_t* states = nullptr;
    std::size_t count = 0;

    // BinaryChannel::getPoints (which takes a rate it does not use).
    std::vector<Kiv::PointF> getPoints(double startTime, double endTime) const;
};

} // namespace KivComtradeLib
