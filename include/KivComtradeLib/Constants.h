#pragma once
// File-name extensions of a recording, lower case with the leading dot.

#include <string>

namespace KivComtradeLib {
namespace Constants {

const std::string CfgExt = ".cfg";
const std::string DatExt = ".dat";
const std::string CffExt = ".cff";

} // namespace Constants
} // namespace KivComtradeLib
