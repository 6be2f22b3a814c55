#include <KivComtradeLib/BaseChannel.h>

namespace KivComtradeLib {

BaseChannel::BaseChannel(BaseChannelConfig& configRecord, const std::vector<Sample>& sampleVector)
    : samples(sampleVector), config(configRecord)
{
}

BaseChannel::~BaseChannel() = default;

std::string BaseChannel::name() const
{
    return config.name();
}

} // namespace KivComtradeLib
