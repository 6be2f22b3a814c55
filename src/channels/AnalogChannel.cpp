#include "channels/ColumnMaths.h"

#include <KivComtradeLib/AnalogChannel.h>
#include <KivComtradeLib/StringHelper.h>

namespace KivComtradeLib {

AnalogChannel::AnalogChannel(AnalogChannelConfig& configRecord, const std::vector<Sample>& sampleVector)
    : BaseChannel(configRecord, sampleVector), skew(configRecord.skew)
{
}

AnalogChannel::~AnalogChannel() = default;

std::string AnalogChannel::phase() const
{
    return config.phase;
}

std::string AnalogChannel::unit() const
{
    return dynamic_cast<const AnalogChannelConfig&>(config).unit;
}

bool AnalogChannel::isCurrent() const
{
    const std::string lower = StringHelper::toLower(unit());
    return lower == "a" || lower == "\xD0\xB0"; // Latin a, or Cyrillic а in UTF-8
}

double AnalogChannel::getInterpolationValue(double x1, double y1, double x2, double y2, double x) const
{
    const double slope = (y2 - y1) / (x2 - x1);
    return slope * x + (y1 - x1 * slope);
}

double AnalogChannel::getInterpolationValue(unsigned int sampleIndex, double time) const
{
    const auto column = static_cast<std::size_t>(config.index);
    const Sample& s0 = samples[sampleIndex];
    const Sample& s1 = samples[static_cast<unsigned int>(sampleIndex + 1)];
    const double v0 = s0.analogValues[column];
    const double v1 = s1.analogValues[column];
    const double slope = (v1 - v0) / (s1.time - s0.time);
    return (v0 - s0.time * slope) + slope * time;
}

double AnalogChannel::getValue(double time, unsigned int& hint) const
{
    const Sample* s = samples.data();
    const auto column = static_cast<std::size_t>(config.index);
    return ColumnMaths::valueAt(
        samples.size(), [s](std::size_t k) { return s[k].time; },
        [s, column](std::size_t k) { return s[k].analogValues[column]; }, skew, time, hint);
}

double AnalogChannel::defaultSampleRate(double duration) const
{
    return ColumnMaths::defaultPointRate(duration);
}

std::vector<Kiv::PointF> AnalogChannel::getPoints(double startTime, double endTime, double sampleRate) const
{
    // The storage by a local pointer (captured by value): the loops keep it in
    // a register instead of reading it again after every point stored.
    const Sample* s = samples.data();
    const auto column = static_cast<std::size_t>(config.index);
    return ColumnMaths::analogPoints(
        samples.size(), [s](std::size_t k) { return s[k].time; },
        [s, column](std::size_t k) { return s[k].analogValues[column]; }, skew, startTime, endTime, sampleRate);
}

} // namespace KivComtradeLib
