#pragma once

#include <KivComtradeLib/Export.h>

#include <cstddef>
#include <limits>
#include <string>
#include <vector>

namespace KivComtradeLib {

// The side of the instrument transformers that analog values are given on.
//   Secondary: what the relay saw; a channel the file declares primary-side
//              (flag P) is scaled by secondary / primary.
//   Primary:   the power system's values; a channel declared secondary-side
//              (flag S) is scaled by primary / secondary.
//   Recorded:  raw * a + b as the line writes them, no ratio applied.
// Channel lines without a ratio read alike on every side. The unit text
// stays the channel's own either way.
enum class ValueSide { Secondary, Primary, Recorded };

// The side a host names: "primary", "recorded", anything else (the hosts
// check the name first) secondary.
KIVCOMTRADE_API ValueSide valueSideNamed(const std::string& name);

// How a recording is to be read, where the host knows better than the files.
class KIVCOMTRADE_API LoadOptions {
public:
    // Encoding of the configuration's texts (station line, channel lines).
    // Empty: detected once for the whole file among UTF-8, CP866, CP1251,
    // CP1252/Latin-1 and GB18030 (see Cfg::load). Otherwise one of "UTF-8", "CP866", "CP1251",
    // "CP1252", "Latin-1" (ISO-8859-1), "GB18030" (reads GBK too), in any
    // letter case.
    std::string encoding;
    // The side the analog values are brought to (gain and offset of
    // AnalogChannelConfig included).
    ValueSide side = ValueSide::Secondary;

    // A selective read (ColumnarRecording::load and ChunkReader; Comtrade::load
    // reads everything and warns that the selection is not applied).
    //
    // Channels: the union of the names (analog or status channel names as the
    // configuration gives them, after conversion to UTF-8) and of the 0-based
    // indices; rows come in configuration order, each channel once. When all
    // three lists are empty and selectChannels is false every channel is read;
    // selectChannels true with empty lists asks for no channel (an error).
    bool selectChannels = false;
    std::vector<std::string> channelNames;
    std::vector<std::size_t> analogIndices;
    std::vector<std::size_t> statusIndices;

    // Time window [windowFrom, windowTo], seconds from the first sample, or
    // from the trigger when windowFromTrigger is set; NaN leaves that end
    // open. The records whose times fall inside are read (times stay on the
    // recording's axis: seconds from the first sample).
    double windowFrom = std::numeric_limits<double>::quiet_NaN();
    double windowTo = std::numeric_limits<double>::quiet_NaN();
    bool windowFromTrigger = false;

    // True when any of the selection fields above asks for less than all.
    bool selective() const
    {
        return selectChannels || !channelNames.empty() || !analogIndices.empty() || !statusIndices.empty() ||
               windowFrom == windowFrom || windowTo == windowTo;
    }
};

} // namespace KivComtradeLib
