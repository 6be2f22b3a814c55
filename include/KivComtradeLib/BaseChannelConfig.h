#pragma once

#include <KivComtradeLib/Export.h>

#include <string>
#include <vector>

namespace KivComtradeLib {

// What analog and status channel lines share. Fields are counted from 1 in
// the comments (field 1, the channel number written in the file, is never
// read: `index` is the running position the reader passes in).
class KIVCOMTRADE_API BaseChannelConfig {
public:
    int index = 0;                // 0-based position among channels of its kind
    std::string channelId;        // field 2, as written
    std::string phase;            // field 3, as written
    std::string circuitComponent; // field 4, as written

    BaseChannelConfig() = default;
    BaseChannelConfig(const BaseChannelConfig&) = default;
    BaseChannelConfig(BaseChannelConfig&&) = default;
    BaseChannelConfig& operator=(const BaseChannelConfig&) = default;
    BaseChannelConfig& operator=(BaseChannelConfig&&) = default;
    virtual ~BaseChannelConfig();

    // "channelId,circuitComponent".
    virtual std::string name() const;
    // "index+1,channelId,phase,circuitComponent".
    virtual std::string channelInfo() const;
    // Stores `index` and field 2. Throws std::invalid_argument when the line
    // has fewer than 2 fields.
    virtual void load(int index, const std::vector<std::string>& fields, int revision);
};

} // namespace KivComtradeLib
