#pragma once

#include <KivComtradeLib/BaseChannel.h>
#include <KivComtradeLib/BinaryChannelConfig.h>
#include <KivComtradeLib/Export.h>

#include <vector>

namespace KivComtradeLib {

// View of one status channel: a step series (opening point, one point per
// change of state, closing point) over a time window. The code is StatusColumn's
// (ChannelColumn.h), over this channel's column of the Sample vector.
class KIVCOMTRADE_API BinaryChannel : public BaseChannel {
public:
    BinaryChannel(BinaryChannelConfig& config, const std::vector<Sample>& samples);
    BinaryChannel(const BinaryChannel&) = default;
    ~BinaryChannel() override;

    float bool2Float(bool state) const;
    // `sampleRate` is not used. Empty when no sample lies in the window.
    std::vector<Kiv::PointF> getPoints(double startTime, double endTime,
                                       double sampleRate) const override;
};

} // namespace KivComtradeLib
