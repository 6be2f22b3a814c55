#pragma once

#include <KivComtradeLib/Export.h>

#include <cstddef>
#include <limits>
#include <string>
#include <vector>

namespace KivComtradeLib {

// How a recording is to be read, where the host knows better than the files.
class KIVCOMTRADE_API LoadOptions {
public:
    // Encoding of the configuration's texts (station line, channel lines).
    // Empty: detected (UTF-8, else code page 866 or 1251, one for the whole
    // file). Otherwise one of "UTF-8", "CP866", "CP1251", "CP1252",
    // "Latin-1" (ISO-8859-1), "GB18030" (reads GBK too), in any letter case.
    std::string encoding;

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
