#include "channels/ColumnMaths.h"

#include <KivComtradeLib/BinaryChannel.h>

namespace KivComtradeLib {

BinaryChannel::BinaryChannel(BinaryChannelConfig& configRecord, const std::vector<Sample>& sampleVector)
    : BaseChannel(configRecord, sampleVector)
{
}

BinaryChannel::~BinaryChannel() = default;

float BinaryChannel::bool2Float(bool state) const
{
    return state ? 1.0f : 0.0f;
}

std::vector<Kiv::PointF> BinaryChannel::getPoints(double startTime, double endTime, double /*sampleRate*/) const
{
    // The storage by a local pointer, as AnalogChannel::getPoints reads it.
    const Sample* s = samples.data();
    const auto column = static_cast<std::size_t>(config.index);
    return ColumnMaths::statusPoints(
        samples.size(), [s](std::size_t k) { return s[k].time; },
        [s, column](std::size_t k) { return static_cast<bool>(s[k].binaryValues[column]); }, startTime, endTime);
}

} // namespace KivComtradeLib
