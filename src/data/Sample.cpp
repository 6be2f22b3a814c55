#include "data/SampleDecoder.h"

#include <KivComtradeLib/Cfg.h>
#include <KivComtradeLib/Sample.h>

#include <cstdint>
#include <cstring>
#include <exception>

namespace KivComtradeLib {

Sample::Sample(const Cfg& config) : cfg(&config) {}

Sample::~Sample() = default;

bool Sample::load(char* record, unsigned long long recordIndex)
{
    const double rateTime = cfg->allRatesNonZero ? cfg->timeFromSampleIndex(recordIndex) : 0.0;
    return decodeBinaryRecord(*this, reinterpret_cast<const unsigned char*>(record), recordIndex,
                              rateTime);
}

bool Sample::load(const std::string& line, unsigned long long recordIndex)
{
    return load(line.data(), line.size(), recordIndex);
}

bool Sample::load(const char* line, std::size_t length, unsigned long long recordIndex)
{
    if (line == nullptr || length == 0)
        return false;
    const double rateTime = cfg->allRatesNonZero ? cfg->timeFromSampleIndex(recordIndex) : 0.0;
    return decodeTextRecord(*this, line, length, recordIndex, rateTime);
}

namespace {

// Little-endian fields on any host.
inline std::uint16_t readU16(const unsigned char* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t readU32(const unsigned char* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline double stampTime(std::uint32_t stamp, const Cfg& cfg)
{
    // Time stamps count timeMultiplier microseconds.
    return static_cast<double>(stamp) * cfg.timeMultiplier * 1e-6;
}

// Raw analog values of one record to engineering values; the type is decided
// once per record, not per value.
template <typename Read>
inline void appendAnalog(Sample& sample, const Cfg& cfg, const unsigned char* values,
                         std::size_t count, std::size_t width, Read read)
{
    const AnalogChannelConfig* channels = cfg.analogChannels.data();
    const std::size_t known = cfg.analogChannels.size();
    for (std::size_t i = 0; i < count; ++i) {
        const double raw = read(values + i * width);
        sample.analogValues.push_back(i < known ? channels[i].GetRealValue(raw) : 0.0);
    }
}

} // namespace

//   +0 sample number (not read) | +4 time stamp | +8 analog values | status words
bool decodeBinaryRecord(Sample& sample, const unsigned char* record, unsigned long long index,
                        double rateTime)
{
    const Cfg& cfg = *sample.cfg;
    try {
        sample.index = index;
        sample.time = cfg.allRatesNonZero ? rateTime : stampTime(readU32(record + 4), cfg);

        const auto analogCount = static_cast<std::size_t>(static_cast<std::uint32_t>(cfg.analogChannelsCount));
        const unsigned char* values = record + 8;
        sample.analogValues.reserve(sample.analogValues.size() + analogCount);
        switch (cfg.dataFileType) {
        case Enums::Binary:
            appendAnalog(sample, cfg, values, analogCount, 2, [](const unsigned char* p) {
                return static_cast<double>(static_cast<std::int16_t>(readU16(p)));
            });
            break;
        case Enums::Binary32:
            appendAnalog(sample, cfg, values, analogCount, 4, [](const unsigned char* p) {
                return static_cast<double>(static_cast<std::int32_t>(readU32(p)));
            });
            break;
        case Enums::Float32:
            appendAnalog(sample, cfg, values, analogCount, 4, [](const unsigned char* p) {
                const std::uint32_t bits = readU32(p);
                float value;
                std::memcpy(&value, &bits, sizeof value);
                return static_cast<double>(value);
            });
            break;
        default:
            for (std::size_t i = 0; i < analogCount; ++i)
                sample.analogValues.push_back(0.0);
            break;
        }

        const auto statusCount = static_cast<std::uint32_t>(cfg.binaryChannelsCount);
        if (statusCount == 0 || cfg.binaryWordsCount == 0)
            return true;
        sample.binaryValues.reserve(sample.binaryValues.size() + statusCount);
        const unsigned char* words = record + 8 + cfg.analogValuesSize;
        for (std::uint32_t g = 0; g < cfg.binaryWordsCount; ++g) {
            if (statusCount <= 16 * g)
                break;
            const std::uint16_t word = readU16(words + 2 * g);
            const std::uint32_t bits = statusCount - 16 * g < 16 ? statusCount - 16 * g : 16;
            for (std::uint32_t b = 0; b < bits; ++b)
                sample.binaryValues.push_back(((word >> b) & 1u) != 0);
        }
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

namespace {

inline bool isBlank(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

inline bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

// n,timestamp,A1,...,Aa,D1,...,Dd — integers scanned in one pass: blanks
// before a field skipped; an integer is '-'? digits, accumulated modulo 2^32;
// a status field is one character ('0' false, anything else true). A field
// ends at the first character it does not consume; when that is not a comma
// the next field starts there.
bool decodeTextRecord(Sample& sample, const char* line, std::size_t length,
                      unsigned long long index, double rateTime)
{
    if (length == 0)
        return false;
    const Cfg& cfg = *sample.cfg;
    try {
        sample.index = index;
        const long long analogFields = static_cast<long long>(cfg.analogChannelsCount) + 2;
        const long long expected = static_cast<long long>(cfg.channelsCount) + 2;
        if (cfg.analogChannelsCount > 0)
            sample.analogValues.reserve(static_cast<std::size_t>(cfg.analogChannelsCount));
        if (expected > analogFields)
            sample.binaryValues.reserve(static_cast<std::size_t>(expected - analogFields));
        const AnalogChannelConfig* channels = cfg.analogChannels.data();
        const auto known = static_cast<long long>(cfg.analogChannels.size());

        std::size_t pos = 0;
        long long field = 0;
        for (;;) {
            if (field >= expected)
                return true;
            while (pos < length && isBlank(line[pos]))
                ++pos;
            if (pos == length)
                return false;
            if (field < analogFields) {
                bool negative = false;
                if (line[pos] == '-') {
                    negative = true;
                    if (++pos == length)
                        return false;
                }
                if (!isDigit(line[pos]))
                    return false;
                std::uint32_t value = 0;
                do {
                    value = value * 10u + static_cast<std::uint32_t>(line[pos] - '0');
                    ++pos;
                } while (pos < length && isDigit(line[pos]));
                if (negative)
                    value = 0u - value;
                if (field == 1) {
                    sample.time = cfg.allRatesNonZero ? rateTime : stampTime(value, cfg);
                } else if (field >= 2) {
                    const long long channel = field - 2;
                    const double raw = static_cast<double>(static_cast<std::int32_t>(value));
                    sample.analogValues.push_back(
                        channel < known ? channels[channel].GetRealValue(raw) : 0.0);
                }
            } else {
                sample.binaryValues.push_back(line[pos] != '0');
                ++pos;
            }
            if (pos == length)
                return field + 1 >= expected;
            ++field;
            if (line[pos] == ',') {
                ++pos;
                if (pos == length)
                    return field >= expected;
            }
        }
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace KivComtradeLib
