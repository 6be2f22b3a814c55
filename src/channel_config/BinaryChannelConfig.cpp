#include <KivComtradeLib/BinaryChannelConfig.h>
#include <KivComtradeLib/StringHelper.h>

#include <stdexcept>

namespace KivComtradeLib {

BinaryChannelConfig::BinaryChannelConfig(int channelIndex, const std::string& line, int revision)
{
    load(channelIndex, StringHelper::split(line, ','), revision);
}

BinaryChannelConfig::~BinaryChannelConfig() = default;

std::string BinaryChannelConfig::channelInfo() const
{
    return StringHelper::join(',', {BaseChannelConfig::channelInfo(), std::to_string(normalState)});
}

void BinaryChannelConfig::load(int channelIndex, const std::vector<std::string>& fields, int revision)
{
    if (revision < 1999 && fields.size() < 3)
        throw std::invalid_argument("status channel line has no normal-state field");
    BaseChannelConfig::load(channelIndex, fields, revision);
    loadExtValues(fields, revision);
}

// revision < 1999:  Dn,ch_id,y
// revision >= 1999: Dn,ch_id,ph,ccbm,y   (missing trailing fields take defaults)
void BinaryChannelConfig::loadExtValues(const std::vector<std::string>& fields, int revision)
{
    if (revision < 1999) {
        if (fields.size() < 3)
            throw std::invalid_argument("status channel line has no normal-state field");
        normalState = StringHelper::toInt(fields[2]);
        circuitComponent.clear();
        phase.clear();
        return;
    }
    phase = fields.size() >= 3 ? fields[2] : std::string();
    circuitComponent = fields.size() >= 4 ? fields[3] : std::string();
    normalState = fields.size() >= 5 ? StringHelper::toInt(fields[4]) : 0;
}

} // namespace KivComtradeLib
