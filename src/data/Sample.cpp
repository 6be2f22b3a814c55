#include "config/TimeBase.h"
#include "data/SampleDecoder.h"

#include <KivComtradeLib/Cfg.h>
#include <KivComtradeLib/Sample.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <utility>
#include <vector>

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
    return TimeBase::stampTime(stamp, cfg);
}

// Engineering values of `count` raw values into `dst`; the type is decided
// once per record, not per value.
template <typename Read>
inline void convertAnalog(double* dst, const Cfg& cfg, const unsigned char* values, std::size_t count,
                          std::size_t width, Read read)
{
    const std::size_t known = std::min(count, cfg.analogChannels.size());
    const AnalogChannelConfig* channels = cfg.analogChannels.data();
    for (std::size_t i = 0; i < known; ++i)
        dst[i] = channels[i].GetRealValue(read(values + i * width));
    // Channels without a configuration read 0.0.
    for (std::size_t i = known; i < count; ++i)
        dst[i] = 0.0;
}

// Analog values appended to `out`, leaving the capacity push_back after
// reserve(size + count) would leave. A fresh vector (the readers' case) gets
// one block of exactly `count` values, filled from a stack buffer.
template <typename Read>
inline void appendAnalog(std::vector<double>& out, const Cfg& cfg, const unsigned char* values,
                         std::size_t count, std::size_t width, Read read)
{
    constexpr std::size_t kStackValues = 256;
    if (out.capacity() == 0 && count <= kStackValues) {
        double buffer[kStackValues];
        convertAnalog(buffer, cfg, values, count, width, read);
        out.assign(buffer, buffer + count);
        return;
    }
    const std::size_t old = out.size();
    out.reserve(old + count);
    out.resize(old + count);
    convertAnalog(out.data() + old, cfg, values, count, width, read);
}

// Status words to states: channel 16*g+b is bit b of little-endian word g, so
// the status area read as a little-endian bit string is the states in order.
// `count` states are appended, after reserve(size + reserved).
inline void appendStatus(std::vector<bool>& out, const unsigned char* words, std::uint32_t count,
                         std::uint32_t reserved)
{
#if defined(__GLIBCXX__)
    // libstdc++ keeps element i as bit i % 64 of word i / 64, and a vector of
    // n elements built at once holds ceil(n / 64) words, as reserve(n) does: a
    // fresh vector is filled a 64-bit word at a time.
    if (out.capacity() == 0 && count == reserved) {
        std::vector<bool> fresh(count);
        std::_Bit_type* dst = fresh.begin()._M_p;
        const std::uint32_t bytes = (count + 7) / 8;
        for (std::uint32_t j = 0; 8 * j < bytes; ++j) {
            std::uint64_t word = 0;
            const std::uint32_t n = bytes - 8 * j < 8 ? bytes - 8 * j : 8;
            for (std::uint32_t i = 0; i < n; ++i)
                word |= static_cast<std::uint64_t>(words[8 * j + i]) << (8 * i);
            const std::uint32_t bits = count - 64 * j;
            if (bits < 64)
                word &= (std::uint64_t{1} << bits) - 1;
            dst[j] = static_cast<std::_Bit_type>(word);
        }
        out = std::move(fresh);
        return;
    }
#endif
    out.reserve(out.size() + reserved);
    for (std::uint32_t i = 0; i < count; ++i)
        out.push_back(((words[i / 8] >> (i % 8)) & 1u) != 0);
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
        switch (cfg.dataFileType) {
        case Enums::Binary:
            appendAnalog(sample.analogValues, cfg, values, analogCount, 2, [](const unsigned char* p) {
                return static_cast<double>(static_cast<std::int16_t>(readU16(p)));
            });
            break;
        case Enums::Binary32:
            appendAnalog(sample.analogValues, cfg, values, analogCount, 4, [](const unsigned char* p) {
                return static_cast<double>(static_cast<std::int32_t>(readU32(p)));
            });
            break;
        case Enums::Float32:
            appendAnalog(sample.analogValues, cfg, values, analogCount, 4, [](const unsigned char* p) {
                const std::uint32_t bits = readU32(p);
                float value;
                std::memcpy(&value, &bits, sizeof value);
                return static_cast<double>(value);
            });
            break;
        default: // no other type reaches a binary record: zeros
            sample.analogValues.reserve(sample.analogValues.size() + analogCount);
            sample.analogValues.resize(sample.analogValues.size() + analogCount);
            break;
        }

        const auto statusCount = static_cast<std::uint32_t>(cfg.binaryChannelsCount);
        if (statusCount == 0 || cfg.binaryWordsCount == 0)
            return true;
        // Only the channels the status words hold (all of them in a valid
        // configuration, where binaryWordsCount = ceil(count / 16)).
        const std::uint32_t held = statusCount / 16 < cfg.binaryWordsCount ? statusCount : 16 * cfg.binaryWordsCount;
        appendStatus(sample.binaryValues, record + 8 + cfg.analogValuesSize, held, statusCount);
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

// Blanks, then '-'? digits from `p`, accumulated modulo 2^32. False when the
// line ends first or the field does not start with a digit (after the sign).
#if defined(__GNUC__)
__attribute__((always_inline))
#endif
inline bool scanInteger(const char*& p, const char* end, std::uint32_t& value)
{
    while (p != end && isBlank(*p))
        ++p;
    if (p == end)
        return false;
    const bool negative = *p == '-';
    if (negative && ++p == end)
        return false;
#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    if (end - p >= 8) {
        // Eight characters at once: the leading digits are found and
        // converted together (the usual SWAR steps), the rest one by one.
        std::uint64_t x;
        std::memcpy(&x, p, sizeof x);
        // A byte is a digit when its high nibble is 3, before and after adding
        // 6. A carry out of a non-digit byte only spoils bytes after it.
        const std::uint64_t high = x & 0xF0F0F0F0F0F0F0F0ULL;
        const std::uint64_t bumped = (x + 0x0606060606060606ULL) & 0xF0F0F0F0F0F0F0F0ULL;
        const std::uint64_t other = (high ^ 0x3030303030303030ULL) | (bumped ^ 0x3030303030303030ULL);
        const unsigned digits = other == 0 ? 8u : static_cast<unsigned>(__builtin_ctzll(other)) / 8u;
        if (digits == 0)
            return false;
        // The digits moved to the top bytes, behind leading zeros; the first
        // character is the most significant digit.
        std::uint64_t v = (x & 0x0F0F0F0F0F0F0F0FULL) << (8 * (8 - digits));
        v = v * 10 + (v >> 8);
        v = (((v & 0x000000FF000000FFULL) * 0x000F424000000064ULL) +
             (((v >> 16) & 0x000000FF000000FFULL) * 0x0000271000000001ULL)) >> 32;
        auto n = static_cast<std::uint32_t>(v);
        p += digits;
        if (digits == 8) {
            unsigned digit = 0;
            while (p != end && (digit = static_cast<unsigned>(static_cast<unsigned char>(*p)) - '0') <= 9) {
                n = n * 10u + digit;
                ++p;
            }
        }
        value = negative ? 0u - n : n;
        return true;
    }
#endif
    unsigned digit = static_cast<unsigned>(static_cast<unsigned char>(*p)) - '0';
    if (digit > 9)
        return false;
    std::uint32_t n = digit;
    while (++p != end && (digit = static_cast<unsigned>(static_cast<unsigned char>(*p)) - '0') <= 9)
        n = n * 10u + digit;
    value = negative ? 0u - n : n;
    return true;
}

// After field `field`: 1 when the next field starts at `p` (a comma consumed,
// or any other character left for it), else the line's result as 0 or 2
// (false or true).
inline int endField(const char*& p, const char* end, long long& field, long long expected)
{
    if (p == end)
        return field + 1 >= expected ? 2 : 0;
    ++field;
    if (*p == ',' && ++p == end)
        return field >= expected ? 2 : 0;
    return 1;
}

// States gathered in a 64-bit word and appended to `out` a word at a time
// (one push_back per bit costs more than the scan of the character).
// flush() must run before the decoder returns, so that a line that fails
// keeps the states scanned before the fault, as with push_back.
class StatusBits {
public:
    explicit StatusBits(std::vector<bool>& out) : out_(out) {}

    void add(bool state)
    {
        word_ |= static_cast<std::uint64_t>(state) << count_;
        if (++count_ == 64)
            flush();
    }

    void flush()
    {
        if (count_ == 0)
            return;
#if defined(__GLIBCXX__)
        // libstdc++ keeps element i as bit i % 64 of word i / 64. Within the
        // reserved room nothing moves, and the capacity stays what the
        // push_backs would have left.
        const std::size_t old = out_.size();
        if (old % 64 == 0 && out_.capacity() - old >= count_) {
            out_.resize(old + count_);
            out_.begin()._M_p[old / 64] = static_cast<std::_Bit_type>(word_);
            word_ = 0;
            count_ = 0;
            return;
        }
#endif
        for (unsigned i = 0; i < count_; ++i)
            out_.push_back(((word_ >> i) & 1u) != 0);
        word_ = 0;
        count_ = 0;
    }

private:
    std::vector<bool>& out_;
    std::uint64_t word_ = 0;
    unsigned count_ = 0;
};

} // namespace

// n,timestamp,A1,...,Aa,D1,...,Dd — integers scanned in one pass: blanks
// before a field skipped; an integer is '-'? digits, accumulated modulo 2^32;
// a status field is one character ('0' false, anything else true). A field
// ends at the first character it does not consume; when that is not a comma
// the next field starts there. Values are appended as they are scanned, so a
// line that fails keeps those before the fault.
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

        const char* p = line;
        const char* const end = line + length;
        long long field = 0;
        int next = 1;
        std::uint32_t value = 0;

        // Sample number (ignored) and time stamp.
        for (; field < 2 && field < expected; ) {
            if (!scanInteger(p, end, value))
                return false;
            if (field == 1)
                sample.time = cfg.allRatesNonZero ? rateTime : stampTime(value, cfg);
            if ((next = endField(p, end, field, expected)) != 1)
                return next == 2;
        }
        // Analog values.
        const long long integerFields = std::min(analogFields, expected);
        for (; field < integerFields; ) {
            if (!scanInteger(p, end, value))
                return false;
            const long long channel = field - 2;
            const double raw = static_cast<double>(static_cast<std::int32_t>(value));
            sample.analogValues.push_back(channel < known ? channels[channel].GetRealValue(raw) : 0.0);
            if ((next = endField(p, end, field, expected)) != 1)
                return next == 2;
        }
        // Status values: one character each.
        StatusBits states(sample.binaryValues);
        for (; field < expected; ) {
            while (p != end && isBlank(*p))
                ++p;
            if (p == end) {
                states.flush();
                return false;
            }
            states.add(*p != '0');
            ++p;
            if ((next = endField(p, end, field, expected)) != 1) {
                states.flush();
                return next == 2;
            }
        }
        states.flush();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace KivComtradeLib
