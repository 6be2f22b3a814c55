#include <KivComtradeLib/BaseChannelConfig.h>
#include <KivComtradeLib/StringHelper.h>

#include <stdexcept>

namespace KivComtradeLib {

BaseChannelConfig::~BaseChannelConfig() = default;

std::string BaseChannelConfig::name() const
{
    return StringHelper::join(',', {channelId, circuitComponent});
}

std::string BaseChannelConfig::channelInfo() const
{
    return StringHelper::join(',', {std::to_string(index + 1), channelId, phase, circuitComponent});
}

void BaseChannelConfig::load(int channelIndex, const std::vector<std::string>& fields, int /*revision*/)
{
    // A damaged file may cut a channel line short: refuse it rather than read
    // past the fields.
    if (fields.size() < 2)
        throw std::invalid_argument("has no identifier field (field 2)");
    index = channelIndex;
    channelId = fields[1];
}

} // namespace KivComtradeLib
