#pragma once

#include <KivComtradeLib/BaseChannelConfig.h>
#include <KivComtradeLib/Export.h>

#include <string>
#include <vector>

namespace KivComtradeLib {

// One status channel line:
//   revision < 1999:  Dn,ch_id,y
//   revision >= 1999: Dn,ch_id,ph,ccbm,y   (trailing fields may be missing)
// A line of 5 fields or more is read in the later layout in any revision.
class KIVCOMTRADE_API BinaryChannelConfig : public BaseChannelConfig {
public:
    int normalState = 0;

    BinaryChannelConfig() = default;
    BinaryChannelConfig(int index, const std::string& line, int revision);
    BinaryChannelConfig(const BinaryChannelConfig&) = default;
    BinaryChannelConfig(BinaryChannelConfig&&) = default;
    BinaryChannelConfig& operator=(const BinaryChannelConfig&) = default;
    BinaryChannelConfig& operator=(BinaryChannelConfig&&) = default;
    ~BinaryChannelConfig() override;

    // "index+1,channelId,phase,circuitComponent,normalState".
    std::string channelInfo() const override;
    // Throws std::invalid_argument when the line is too short (fewer than 2
    // fields, or fewer than 3 below revision 1999) or the state is no number.
    void load(int index, const std::vector<std::string>& fields, int revision) override;
    void loadExtValues(const std::vector<std::string>& fields, int revision);
};

} // namespace KivComtradeLib
