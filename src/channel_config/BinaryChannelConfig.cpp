#include "support/NamedField.h"

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
        throw std::invalid_argument("has " + std::to_string(fields.size()) +
                                    " fields where a status channel line of this revision has 3");
    BaseChannelConfig::load(channelIndex, fields, revision);
    loadExtValues(fields, revision);
}

// revision < 1999:  Dn,ch_id,y
// revision >= 1999: Dn,ch_id,ph,ccbm,y   (missing trailing fields take defaults)
// A line of five fields or more is in the later layout whatever the revision
// year says: recorders that write an older year often use it.
void BinaryChannelConfig::loadExtValues(const std::vector<std::string>& fields, int revision)
{
    if (revision < 1999 && fields.size() < 5) {
        if (fields.size() < 3)
            throw std::invalid_argument("has " + std::to_string(fields.size()) +
                                        " fields where a status channel line of this revision has 3");
        normalState = intField(fields[2], 3, "normal state");
        circuitComponent.clear();
        phase.clear();
        return;
    }
    phase = fields.size() >= 3 ? fields[2] : std::string();
    circuitComponent = fields.size() >= 4 ? fields[3] : std::string();
    normalState = fields.size() >= 5 ? intField(fields[4], 5, "normal state") : 0;
}

} // namespace KivComtradeLib
