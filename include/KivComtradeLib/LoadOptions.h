#pragma once

#include <KivComtradeLib/Export.h>

#include <string>

namespace KivComtradeLib {

// How a recording is to be read, where the host knows better than the files.
class KIVCOMTRADE_API LoadOptions {
public:
    // Encoding of the configuration's texts (station line, channel lines).
    // Empty: detected (UTF-8, else code page 866 or 1251, one for the whole
    // file). Otherwise one of "UTF-8", "CP866", "CP1251", "CP1252",
    // "Latin-1" (ISO-8859-1), "GB18030" (reads GBK too), in any letter case.
    std::string encoding;
};

} // namespace KivComtradeLib
