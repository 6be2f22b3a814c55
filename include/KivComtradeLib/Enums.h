#pragma once

#include <cstdint>

namespace KivComtradeLib {
namespace Enums {

// Encoding of the data file, from the .cfg's file-type keyword.
enum DataFileType : std::int32_t {
    Ascii = 0,    // text, one record per line
    Binary = 1,   // binary records, analog values int16
    Binary32 = 2, // binary records, analog values int32
    Float32 = 3   // binary records, analog values IEEE 754 single
};

} // namespace Enums
} // namespace KivComtradeLib
