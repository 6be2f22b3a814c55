#include <KivComtradeLib/BinaryChannel.h>

#include <cmath>
#include <exception>

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

// Opening point (state of the first sample at or after startTime), one point
// per change of state inside the window, and a point at endTime.
std::vector<Kiv::PointF> BinaryChannel::getPoints(double startTime, double endTime, double /*sampleRate*/) const
{
    std::vector<Kiv::PointF> points;
    try {
        if (samples.empty())
            return points;
        if (endTime < 0.0)
            endTime = samples.back().time;
        const auto column = static_cast<std::size_t>(config.index);
        bool previous = samples.front().binaryValues[column];
        bool closing = previous;
        bool first = true;
        bool cut = false;
        for (const Sample& sample : samples) {
            const bool current = sample.binaryValues[column];
            const double time = sample.time;
            if (startTime > time) {
                previous = current;
                continue;
            }
            if (first)
                points.emplace_back(static_cast<float>(startTime), bool2Float(current));
            if (time > endTime) {
                points.emplace_back(static_cast<float>(endTime), bool2Float(current));
                closing = previous;
                cut = true;
                break;
            }
            if (current != previous)
                points.emplace_back(static_cast<float>(time), bool2Float(current));
            first = false;
            previous = current;
        }
        // Every sample lies before the window: no state to draw in it.
        if (points.empty())
            return points;
        if (!cut)
            closing = samples.back().binaryValues[column];
        const double lastX = static_cast<double>(points.back().x);
        if (std::fabs(endTime - lastX) > 1e-6)
            points.emplace_back(static_cast<float>(endTime), bool2Float(closing));
    } catch (const std::exception&) {
        return std::vector<Kiv::PointF>();
    }
    return points;
}

} // namespace KivComtradeLib
