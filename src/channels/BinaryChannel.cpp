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
    const auto column = static_cast<std::size_t>(config.index);
    return ColumnMaths::statusPoints(
        samples.size(), [this](std::size_t k) { return samples[k].time; },
        [this, column](std::size_t k) { return static_cast<bool>(samples[k].binaryValues[column]); }, startTime,
        endTime);
}

} // namespace KivComtradeLib
