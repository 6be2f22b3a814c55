#pragma once

#include <KivComtradeLib/Export.h>

#include <string>

namespace KivComtradeLib {

// One sampling-rate line of the .cfg: "samp,endsamp".
class KIVCOMTRADE_API SamplingRate {
public:
    double rate = 0.0;                // samples per second
    unsigned long long endSample = 0; // number of the last sample at this rate

    SamplingRate() = default;
    // Parses "rate,last sample number". Throws std::invalid_argument or
    // std::out_of_range on a field that is not a number, and
    // std::invalid_argument when the line has fewer than two fields, the
    // rate is not finite (nan, inf) or the last sample number is negative.
    explicit SamplingRate(const std::string& line);

    // Seconds taken by min(count, endSample) samples; -1.0 when rate <= 0.
    double getDuration(unsigned long long count) const;
};

} // namespace KivComtradeLib
