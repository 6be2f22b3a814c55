#pragma once

#include <KivComtradeLib/AnalogChannelConfig.h>
#include <KivComtradeLib/BaseChannel.h>
#include <KivComtradeLib/Export.h>

#include <string>
#include <vector>

namespace KivComtradeLib {

// View of one analog channel: values interpolated between samples and shifted
// by the channel's skew, and evenly spaced point series for plotting.
// The maths is that of AnalogColumn (ChannelColumn.h), over this channel's
// column of the Sample vector.
class KIVCOMTRADE_API AnalogChannel : public BaseChannel {
public:
    double skew; // seconds, copied from the record at construction

    AnalogChannel(AnalogChannelConfig& config, const std::vector<Sample>& samples);
    AnalogChannel(const AnalogChannel&) = default;
    ~AnalogChannel() override;

    std::string phase() const;
    std::string unit() const;
    // Unit "A", "a" or Cyrillic "а" (UTF-8).
    bool isCurrent() const;

    double getInterpolationValue(double x1, double y1, double x2, double y2, double x) const;
    // Value at `time` on the line through samples sampleIndex and sampleIndex+1.
    double getInterpolationValue(unsigned int sampleIndex, double time) const;
    // Value at `time` - skew; 0.0 outside the recorded range, NaN when the
    // interpolation uses a missing sample. `hint` is a forward-only search
    // position (start at 0; must be below the sample count).
    double getValue(double time, unsigned int& hint) const;
    double defaultSampleRate(double duration) const;
    // Points from startTime every 1/sampleRate s while below endTime (endTime
    // < 0: the last sample's time; sampleRate < 0: defaultSampleRate). Empty
    // on an impossible count or when there is nothing to draw (a window that
    // starts after the last sample shifted by the skew); y is NaN where
    // getValue is.
    std::vector<Kiv::PointF> getPoints(double startTime, double endTime,
                                       double sampleRate) const override;
};

} // namespace KivComtradeLib
