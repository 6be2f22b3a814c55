#include "channels/ColumnMaths.h"

#include <KivComtradeLib/ChannelColumn.h>

namespace KivComtradeLib {

double defaultPointRate(double duration)
{
    return ColumnMaths::defaultPointRate(duration);
}

bool AnalogColumn::covers(double t) const
{
    return ColumnMaths::covers(count, [this](std::size_t k) { return time[k]; }, skew, t);
}

double AnalogColumn::getValue(double t, std::size_t& hint) const
{
    return ColumnMaths::valueAt(
        count, [this](std::size_t k) { return time[k]; }, [this](std::size_t k) { return values[k]; }, skew, t,
        hint);
}

std::vector<Kiv::PointF> AnalogColumn::getPoints(double startTime, double endTime, double sampleRate) const
{
    return ColumnMaths::analogPoints(
        count, [this](std::size_t k) { return time[k]; }, [this](std::size_t k) { return values[k]; }, skew,
        startTime, endTime, sampleRate);
}

std::vector<Kiv::PointF> StatusColumn::getPoints(double startTime, double endTime) const
{
    return ColumnMaths::statusPoints(
        count, [this](std::size_t k) { return time[k]; }, [this](std::size_t k) { return states[k] != 0; },
        startTime, endTime);
}

} // namespace KivComtradeLib
