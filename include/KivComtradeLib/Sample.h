#pragma once

#include <KivComtradeLib/Export.h>

#include <cstddef>
#include <string>
#include <vector>

namespace KivComtradeLib {

class Cfg;

// One decoded data record.
//
// Binary record (little-endian), A analog channels of w bytes, D status channels:
//   +0        uint32  sample number (not read)
//   +4        uint32  time stamp, in units of timeMultiplier x Cfg::timeStampUnit seconds
//                     (microseconds, or nanoseconds when the date/time lines say so)
//   +8        A * w   analog values: int16 (Binary), int32 (Binary32), float (Float32)
//   +8 + A*w  2 * ceil(D/16)  status words; channel 16*g+b is bit b of word g
class KIVCOMTRADE_API Sample {
public:
    unsigned long long index = 0;     // 0-based position of the record in the file
    double time = 0.0;                // seconds
    std::vector<double> analogValues; // engineering values, .cfg order; NaN where the file marks one missing
    std::vector<bool> binaryValues;   // status states, .cfg order
    const Cfg* cfg;                   // the configuration it is decoded with

    explicit Sample(const Cfg& config);
    ~Sample();
    Sample(const Sample&) = default;
    Sample(Sample&&) noexcept = default;
    Sample& operator=(const Sample&) = default;
    Sample& operator=(Sample&&) noexcept = default;

    // Decodes one binary record of cfg->recordSize bytes.
    bool load(char* record, unsigned long long index);
    // Decodes one text line "n,timestamp,A1..Aa,D1..Dd".
    bool load(const std::string& line, unsigned long long index);
    // The same for a line given as bytes (no terminator needed).
    bool load(const char* line, std::size_t length, unsigned long long index);
};

} // namespace KivComtradeLib
