#pragma once

#include <KivComtradeLib/Enums.h>
#include <KivComtradeLib/Export.h>

#include <string>

namespace KivComtradeLib {
namespace Converters {

// "ascii", "binary", "binary32", "float32" in any letter case, blanks (space,
// tab) around the word ignored; any other word selects Ascii. `keyword` is
// left unchanged.
KIVCOMTRADE_API Enums::DataFileType toDataFileType(std::string& keyword);

} // namespace Converters
} // namespace KivComtradeLib
