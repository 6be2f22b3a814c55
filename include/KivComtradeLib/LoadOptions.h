#pragma once

#include <KivComtradeLib/Export.h>

#include <string>

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
};

} // namespace KivComtradeLib
