#pragma once

#include <KivComtradeLib/Enums.h>
#include <KivComtradeLib/Export.h>

#include <string>

namespace KivComtradeLib {
namespace Converters {

// "ascii", "binary", "binary32", "float32" in any letter case, blanks
// (StringHelper::isBlank) around the word ignored; any other word selects
// Ascii. `keyword` is left unchanged.
KIVCOMTRADE_API Enums::DataFileType toDataFileType(std::string& keyword);

// The same words, but an unknown one is told apart: false, `type` unchanged.
KIVCOMTRADE_API bool dataFileTypeOf(const std::string& keyword, Enums::DataFileType& type);

// The keyword a configuration writes for a type: "ASCII", "BINARY",
// "BINARY32", "FLOAT32".
KIVCOMTRADE_API const char* dataFileTypeKeyword(Enums::DataFileType type);

} // namespace Converters
} // namespace KivComtradeLib
