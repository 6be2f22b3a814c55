#include <KivComtradeLib/AnalogChannel.h>
#include <KivComtradeLib/StringHelper.h>

#include <cmath>
#include <exception>
#include <limits>

namespace KivComtradeLib {

namespace {

// Points of one series are capped well below what a vector could hold: a
// request for more is a mistake (or a hostile window), never a plot.
constexpr double kMaxPoints = static_cast<double>(1ULL << 26);

} // namespace

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
    const double tt = time - skew;
    // NaN compares false with every sample time: it would read as sample 0.
    if (std::isnan(tt))
        return tt;
    if (samples.empty() || tt < 0.0 || tt > samples.back().time)
        return 0.0;
    const auto column = static_cast<std::size_t>(config.index);
    const std::size_t last = samples.size() - 1;
    std::size_t k = hint;
    if (k > last) {
        // A hint past the end (a caller error) is pulled back instead of read.
        k = last;
        hint = static_cast<unsigned int>(k);
    }
    while (tt > samples[k].time) {
        ++k;
        hint = static_cast<unsigned int>(k);
        if (k >= samples.size()) {
            k = last;
            hint = static_cast<unsigned int>(k);
            break;
        }
    }
    if (k == 0)
        return samples[0].analogValues[column];
    const Sample& a = samples[k - 1];
    const Sample& b = samples[k];
    const double slope = (b.analogValues[column] - a.analogValues[column]) / (b.time - a.time);
    return (a.analogValues[column] - a.time * slope) + tt * slope;
}

double AnalogChannel::defaultSampleRate(double duration) const
{
    double rate = 1000.0 / duration;
    const double r = std::remainder(rate, 0.02);
    if (std::fabs(r) < 0.006)
        rate += 0.006;
    return rate;
}

std::vector<Kiv::PointF> AnalogChannel::getPoints(double startTime, double endTime, double sampleRate) const
{
    std::vector<Kiv::PointF> points;
    try {
        // No samples, or a window that opens after the last one (shifted by
        // the skew, as getValue reads it): nothing to draw.
        if (samples.empty() || startTime - skew > samples.back().time)
            return points;
        if (endTime < 0.0)
            endTime = samples.back().time;
        const double duration = endTime - startTime;
        if (sampleRate < 0.0)
            sampleRate = defaultSampleRate(duration);
        const double count = duration * sampleRate;
        if (!(count > 0.0) || !(count < kMaxPoints))
            return points;
        points.reserve(static_cast<std::size_t>(count));
        unsigned int hint = 0;
        for (double i = 0.0; i < count; i += 1.0) {
            const double t = (i / sampleRate) + startTime;
            const double y = getValue(t, hint);
            points.emplace_back(static_cast<float>(t), static_cast<float>(y));
        }
    } catch (const std::exception&) {
        return std::vector<Kiv::PointF>();
    }
    return points;
}

} // namespace KivComtradeLib
