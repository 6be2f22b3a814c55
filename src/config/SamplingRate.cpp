#include "config/TimeBase.h"

#include <KivComtradeLib/SamplingRate.h>
#include <KivComtradeLib/StringHelper.h>

#include <cmath>
#include <stdexcept>

namespace KivComtradeLib {

namespace {

// std::stol as it behaves where long is 32 bits, so files read the same on
// every platform: numbers outside [-2^31, 2^31 - 1] are out of range.
long long toLong32(const std::string& text)
{
    long long value;
    try {
        value = std::stoll(text);
    } catch (const std::invalid_argument&) {
        throw std::invalid_argument("stol");
    } catch (const std::out_of_range&) {
        throw std::out_of_range("stol");
    }
    if (value < -2147483648LL || value > 2147483647LL)
        throw std::out_of_range("stol");
    return value;
}

} // namespace

// "samp,endsamp"
SamplingRate::SamplingRate(const std::string& line)
{
    const std::vector<std::string> fields = StringHelper::split(line, ',');
    if (fields.size() < 2)
        throw std::invalid_argument("sampling-rate line has fewer than two fields");
    rate = std::stod(fields[0]);
    if (!std::isfinite(rate))
        throw std::invalid_argument("field 1 'rate': '" + fields[0] + "' is not a finite number");
    const long long last = toLong32(fields[1]);
    // A negative count would wrap to 2^64 - 1 samples.
    if (last < 0)
        throw std::invalid_argument("field 2 'last sample number': '" + fields[1] + "' is negative");
    endSample = static_cast<unsigned long long>(last);
}

double SamplingRate::getDuration(unsigned long long count) const
{
    return TimeBase::segmentSeconds(rate, endSample, count);
}

} // namespace KivComtradeLib
