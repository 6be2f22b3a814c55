#pragma once

#include <KivComtradeLib/BaseChannelConfig.h>
#include <KivComtradeLib/Export.h>
#include <KivComtradeLib/KivCommon.h>
#include <KivComtradeLib/Sample.h>

#include <string>
#include <vector>

namespace KivComtradeLib {

// A view of one channel of a loaded recording. It refers to data owned by the
// Comtrade that built it and is valid until that object loads again or dies.
class KIVCOMTRADE_API BaseChannel {
public:
    const std::vector<Sample>& samples;
    BaseChannelConfig& config;

    BaseChannel(BaseChannelConfig& config, const std::vector<Sample>& samples);
    BaseChannel(const BaseChannel&) = default;
    virtual ~BaseChannel() = 0;

    virtual std::vector<Kiv::PointF> getPoints(double startTime, double endTime,
                                               double sampleRate) const = 0;
    // The record's name().
    std::string name() const;
};

} // namespace KivComtradeLib
