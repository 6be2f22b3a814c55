#include "data/SampleDecoder.h"

#include <KivComtradeLib/Cfg.h>
#include <KivComtradeLib/Sample.h>

namespace KivComtradeLib {

Sample::Sample(const Cfg& config) : cfg(&config) {}

Sample::~Sample() = default;

bool Sample::load(char* record, unsigned long long recordIndex)
{
    index = recordIndex;
    const double rateTime = cfg->allRatesNonZero ? cfg->timeFromSampleIndex(recordIndex) : 0.0;
    DecodeContext context(*cfg);
    SampleStore store(*this);
    return decodeBinaryRecord(context, store, reinterpret_cast<const unsigned char*>(record), rateTime);
}

bool Sample::load(const std::string& line, unsigned long long recordIndex)
{
    return load(line.data(), line.size(), recordIndex);
}

bool Sample::load(const char* line, std::size_t length, unsigned long long recordIndex)
{
    if (line == nullptr || length == 0)
        return false;
    index = recordIndex;
    const double rateTime = cfg->allRatesNonZero ? cfg->timeFromSampleIndex(recordIndex) : 0.0;
    DecodeContext context(*cfg);
    SampleStore store(*this);
    return decodeTextRecord(context, store, line, length, rateTime);
}

} // namespace KivComtradeLib
