#include "data/SampleDecoder.h"

#include "config/TimeBase.h"

#include <KivComtradeLib/Cfg.h>
#include <KivComtradeLib/StringHelper.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <exception>
#include <limits>
#include <system_error>

namespace KivComtradeLib {

namespace {

constexpr double kMissing = std::numeric_limits<double>::quiet_NaN();

std::uint32_t markerFor(int revision)
{
    if (revision < 1999)
        return 999999u;
    if (revision < 2013)
        return 99999u;
    return 0u;
}

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

// Analog values of one binary record. `read` gives the raw value and whether
// it is the type's missing-value marker.
template <class Store, typename Read>
inline void binaryAnalog(DecodeContext& context, Store& store, const unsigned char* values,
                         std::size_t count, std::size_t width, Read read)
{
    const std::size_t known = std::min(count, context.cfg.analogChannels.size());
    const AnalogChannelConfig* channels = context.cfg.analogChannels.data();
    for (std::size_t i = 0; i < known; ++i) {
        bool missing = false;
        const double raw = read(values + i * width, missing);
        if (missing) {
            ++context.missing;
            store.analog(i, kMissing);
        } else {
            store.analog(i, channels[i].GetRealValue(raw));
        }
    }
    // Channels without a configuration read 0.0.
    for (std::size_t i = known; i < count; ++i)
        store.analog(i, 0.0);
}

// The selected channels of one binary record: only their bytes are read.
template <class Store>
void selectedBinary(DecodeContext& context, Store& store, const unsigned char* values, std::size_t analogCount,
                    std::uint32_t held)
{
    const Cfg& cfg = context.cfg;
    const ChannelSelection& selection = store.selection();
    const AnalogChannelConfig* channels = cfg.analogChannels.data();
    for (std::size_t row = 0; row < selection.analog.size(); ++row) {
        const std::size_t c = selection.analog[row];
        if (c >= analogCount) {
            store.analogRow(row, 0.0);
            continue;
        }
        bool missing = false;
        double raw = 0.0;
        if (cfg.dataFileType == Enums::Binary) {
            const auto v = static_cast<std::int16_t>(readU16(values + 2 * c));
            missing = v == std::numeric_limits<std::int16_t>::min();
            raw = v;
        } else if (cfg.dataFileType == Enums::Binary32) {
            const auto v = static_cast<std::int32_t>(readU32(values + 4 * c));
            missing = v == std::numeric_limits<std::int32_t>::min();
            raw = v;
        } else if (cfg.dataFileType == Enums::Float32) {
            const std::uint32_t bits = readU32(values + 4 * c);
            float v;
            std::memcpy(&v, &bits, sizeof v);
            missing = v != v;
            raw = static_cast<double>(v);
        }
        if (missing) {
            ++context.missing;
            store.analogRow(row, kMissing);
        } else {
            store.analogRow(row, channels[c].GetRealValue(raw));
        }
    }
    // Channel s is bit s % 8 of byte s / 8 of the little-endian status area.
    const unsigned char* words = values + cfg.analogValuesSize;
    for (std::size_t row = 0; row < selection.status.size(); ++row) {
        const std::size_t s = selection.status[row];
        if (s < held)
            store.stateRow(row, ((words[s / 8] >> (s % 8)) & 1u) != 0);
    }
}

} // namespace

DecodeContext::DecodeContext(const Cfg& config) : cfg(config), textMissingMarker(markerFor(config.revYear)) {}

// Portable: the callers reserve the room first, and writing into the
// library's word layout of vector<bool> measured no faster.
void appendStates(std::vector<bool>& out, std::uint64_t word, unsigned n)
{
    for (unsigned i = 0; i < n; ++i)
        out.push_back(((word >> i) & 1u) != 0);
}

//   +0 sample number (not read) | +4 time stamp | +8 analog values | status words
// Missing values: int16 0x8000 and int32 0x80000000 (NaN); a float NaN stays NaN.
template <class Store>
bool decodeBinaryRecord(DecodeContext& context, Store& store, const unsigned char* record, double rateTime)
{
    const Cfg& cfg = context.cfg;
    try {
        const auto analogCount = static_cast<std::size_t>(static_cast<std::uint32_t>(cfg.analogChannelsCount));
        const auto statusCount = static_cast<std::uint32_t>(cfg.binaryChannelsCount);
        // Only the channels the status words hold (all of them in a valid
        // configuration, where binaryWordsCount = ceil(count / 16)).
        const std::uint32_t held = cfg.binaryWordsCount == 0 ? 0
                                   : statusCount / 16 < cfg.binaryWordsCount ? statusCount
                                                                              : 16 * cfg.binaryWordsCount;
        store.reserveWhole(analogCount, held);
        store.time(cfg.allRatesNonZero ? rateTime : TimeBase::stampTime(readU32(record + 4), cfg));

        const unsigned char* values = record + 8;
        if constexpr (Store::kSelective) {
            selectedBinary(context, store, values, analogCount, held);
            return true;
        }
        switch (cfg.dataFileType) {
        case Enums::Binary:
            binaryAnalog(context, store, values, analogCount, 2, [](const unsigned char* p, bool& missing) {
                const auto raw = static_cast<std::int16_t>(readU16(p));
                missing = raw == std::numeric_limits<std::int16_t>::min();
                return static_cast<double>(raw);
            });
            break;
        case Enums::Binary32:
            binaryAnalog(context, store, values, analogCount, 4, [](const unsigned char* p, bool& missing) {
                const auto raw = static_cast<std::int32_t>(readU32(p));
                missing = raw == std::numeric_limits<std::int32_t>::min();
                return static_cast<double>(raw);
            });
            break;
        case Enums::Float32:
            binaryAnalog(context, store, values, analogCount, 4, [](const unsigned char* p, bool& missing) {
                const std::uint32_t bits = readU32(p);
                float value;
                std::memcpy(&value, &bits, sizeof value);
                missing = value != value;
                return static_cast<double>(value);
            });
            break;
        default: // no other type reaches a binary record: zeros
            for (std::size_t i = 0; i < analogCount; ++i)
                store.analog(i, 0.0);
            break;
        }

        // The status area read as a little-endian bit string is the states in order.
        const unsigned char* words = values + cfg.analogValuesSize;
        for (std::uint32_t first = 0; first < held; first += 64) {
            const unsigned n = held - first < 64 ? held - first : 64u;
            std::uint64_t word = 0;
            const std::uint32_t bytes = (n + 7) / 8;
            for (std::uint32_t i = 0; i < bytes; ++i)
                word |= static_cast<std::uint64_t>(words[first / 8 + i]) << (8 * i);
            store.states(first, word, n);
        }
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

namespace {

enum class Number { Bad, Integer, Real, Empty };

// One number field from `p`, blanks before it skipped: '+' or '-', then
// digits accumulated modulo 2^32 into `value` (Integer), or a number with a
// decimal point or an exponent into `real` (Real). Empty when the field holds
// nothing between two commas (`afterComma`: the previous field ended at a
// comma). Bad when the line ends first, or the field starts with anything else.
#if defined(__GNUC__)
__attribute__((always_inline))
#endif
inline Number scanNumber(const char*& p, const char* end, bool afterComma, std::uint32_t& value,
                         bool& negative, double& real)
{
    while (p != end && StringHelper::isBlank(*p))
        ++p;
    if (p == end)
        return Number::Bad;
    negative = *p == '-';
    if (negative || *p == '+') {
        if (++p == end)
            return Number::Bad;
    } else if (*p == ',') {
        return afterComma ? Number::Empty : Number::Bad;
    }
    const char* const digitsBegin = p;
    std::uint32_t n = 0;
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
        if (digits != 0) {
            // The digits moved to the top bytes, behind leading zeros; the
            // first character is the most significant digit.
            std::uint64_t v = (x & 0x0F0F0F0F0F0F0F0FULL) << (8 * (8 - digits));
            v = v * 10 + (v >> 8);
            v = (((v & 0x000000FF000000FFULL) * 0x000F424000000064ULL) +
                 (((v >> 16) & 0x000000FF000000FFULL) * 0x0000271000000001ULL)) >> 32;
            n = static_cast<std::uint32_t>(v);
            p += digits;
            if (digits == 8) {
                unsigned digit = 0;
                while (p != end && (digit = static_cast<unsigned>(static_cast<unsigned char>(*p)) - '0') <= 9) {
                    n = n * 10u + digit;
                    ++p;
                }
            }
        }
    } else
#endif
    {
        unsigned digit = 0;
        while (p != end && (digit = static_cast<unsigned>(static_cast<unsigned char>(*p)) - '0') <= 9) {
            n = n * 10u + digit;
            ++p;
        }
    }
    if (p == end || (*p != '.' && *p != 'e' && *p != 'E')) {
        if (p == digitsBegin)
            return Number::Bad;
        value = negative ? 0u - n : n;
        return Number::Integer;
    }
    // A decimal point or an exponent: the slower real path, locale-free.
    const auto parsed = std::from_chars(digitsBegin, end, real, std::chars_format::general);
    if (parsed.ec != std::errc() || parsed.ptr == digitsBegin)
        return Number::Bad;
    p = parsed.ptr;
    if (negative)
        real = -real;
    return Number::Real;
}

// The field at `p` passed over without converting it, when it is plainly a
// number (digits with a decimal point or an exponent or neither) that ends
// at a comma or at the line's end; anything else goes through scanNumber,
// so that a skipped field ends exactly where a decoded one would.
inline Number skipNumber(const char*& p, const char* end, bool afterComma, std::uint32_t& value, bool& negative,
                         double& real)
{
    const auto digit = [](char c) { return static_cast<unsigned>(static_cast<unsigned char>(c)) - '0' <= 9u; };
    const char* q = p;
    while (q != end && StringHelper::isBlank(*q))
        ++q;
    if (q != end && (*q == '-' || *q == '+'))
        ++q;
    const char* const digits = q;
    while (q != end && digit(*q))
        ++q;
    bool any = q != digits;
    if (q != end && *q == '.') {
        const char* const fraction = ++q;
        while (q != end && digit(*q))
            ++q;
        any = any || q != fraction;
    }
    bool plain = any;
    if (plain && q != end && (*q == 'e' || *q == 'E')) {
        const char* e = q + 1;
        if (e != end && (*e == '+' || *e == '-'))
            ++e;
        const char* const exponent = e;
        while (e != end && digit(*e))
            ++e;
        plain = e != exponent;
        q = e;
    }
    if (plain && (q == end || *q == ',')) {
        p = q;
        return Number::Integer;
    }
    return scanNumber(p, end, afterComma, value, negative, real);
}

// After field `field`: 1 when the next field starts at `p` (a comma consumed,
// `comma` true, or any other character left for it), else the line's result
// as 0 or 2 (false or true).
inline int endField(const char*& p, const char* end, long long& field, long long expected, bool& comma)
{
    comma = false;
    if (p == end)
        return field + 1 >= expected ? 2 : 0;
    ++field;
    comma = *p == ',';
    if (comma && ++p == end)
        return field >= expected ? 2 : 0;
    return 1;
}

inline bool failAt(DecodeContext& context, long long field, const char* why)
{
    context.failedField = field;
    context.failure = why;
    return false;
}

// The line ended right after a comma. When the field it opened is the last
// one and an analog one ("...,5," with no status channels), that value was
// left empty: missing. Else the line is short.
template <class Store>
inline bool endsWithEmptyAnalog(DecodeContext& context, Store& store, bool comma, long long field,
                                long long expected, long long analogFields)
{
    if (comma && field + 1 == expected && field >= 2 && field < analogFields) {
        ++context.missing;
        store.analog(static_cast<std::size_t>(field - 2), kMissing);
        return true;
    }
    return failAt(context, comma ? field : field + 1, "missing");
}

} // namespace

// n,timestamp,A1,...,Aa,D1,...,Dd in one pass: blanks before a field
// skipped; a number is '+'/'-'? digits, accumulated modulo 2^32, or a real
// with a decimal point or an exponent; an empty analog field, or the marker
// of the file's revision, is a missing value (NaN); a status field is one
// character ('0' false, anything else true). A field ends at the first
// character it does not consume; when that is not a comma the next field
// starts there. Values are stored as they are scanned, so a line that fails
// keeps those before the fault.
template <class Store>
bool decodeTextRecord(DecodeContext& context, Store& store, const char* line, std::size_t length,
                      double rateTime)
{
    context.failedField = -1;
    if (length == 0)
        return failAt(context, 0, "empty line");
    const Cfg& cfg = context.cfg;
    try {
        const long long analogFields = static_cast<long long>(cfg.analogChannelsCount) + 2;
        const long long expected = static_cast<long long>(cfg.channelsCount) + 2;
        store.reserve(cfg.analogChannelsCount > 0 ? static_cast<std::size_t>(cfg.analogChannelsCount) : 0,
                      expected > analogFields ? static_cast<std::size_t>(expected - analogFields) : 0);
        const AnalogChannelConfig* channels = cfg.analogChannels.data();
        const auto known = static_cast<long long>(cfg.analogChannels.size());
        const std::uint32_t marker = context.textMissingMarker;

        const char* p = line;
        const char* const end = line + length;
        long long field = 0;
        int next = 1;
        std::uint32_t value = 0;
        bool negative = false;
        double real = 0.0;
        bool comma = true;

        // Sample number (ignored) and time stamp. The stamp may be left out
        // when the sampling rates give the times.
        for (; field < 2 && field < expected;) {
            const Number kind = scanNumber(p, end, comma, value, negative, real);
            if (kind == Number::Bad || (kind == Number::Empty && (field == 0 || !cfg.allRatesNonZero)))
                return failAt(context, field, kind == Number::Empty ? "empty" : "not a number");
            if (field == 1) {
                if (cfg.allRatesNonZero)
                    store.time(rateTime);
                else
                    store.time(TimeBase::stampTime(kind == Number::Real ? real : static_cast<double>(value), cfg));
            }
            if ((next = endField(p, end, field, expected, comma)) != 1)
                return next == 2 || endsWithEmptyAnalog(context, store, comma, field, expected, analogFields);
        }
        // Analog values.
        const long long integerFields = std::min(analogFields, expected);
        for (; field < integerFields;) {
            const long long channel = field - 2;
            if constexpr (Store::kSelective) {
                if (!store.wantsAnalog(static_cast<std::size_t>(channel))) {
                    if (skipNumber(p, end, comma, value, negative, real) == Number::Bad)
                        return failAt(context, field, p == end ? "missing" : "not a number");
                    if ((next = endField(p, end, field, expected, comma)) != 1)
                        return next == 2 || endsWithEmptyAnalog(context, store, comma, field, expected, analogFields);
                    continue;
                }
            }
            const Number kind = scanNumber(p, end, comma, value, negative, real);
            double result;
            if (kind == Number::Integer) {
                // From 2013 on an empty field marks a missing value, yet
                // recorders still write 99999: it is a marker where the
                // channel's own range cannot hold it.
                const bool marked = !negative && (marker != 0 ? value == marker
                                                              : value == 99999u && channel < known &&
                                                                    channels[channel].max < 99999.0);
                if (marked) {
                    ++context.missing;
                    result = kMissing;
                } else {
                    const double raw = static_cast<double>(static_cast<std::int32_t>(value));
                    result = channel < known ? channels[channel].GetRealValue(raw) : 0.0;
                }
            } else if (kind == Number::Real) {
                result = channel < known ? channels[channel].GetRealValue(real) : 0.0;
            } else if (kind == Number::Empty) {
                ++context.missing;
                result = kMissing;
            } else {
                return failAt(context, field, p == end ? "missing" : "not a number");
            }
            store.analog(static_cast<std::size_t>(channel), result);
            if ((next = endField(p, end, field, expected, comma)) != 1)
                return next == 2 || endsWithEmptyAnalog(context, store, comma, field, expected, analogFields);
        }
        // Status values: one character each, gathered 64 at a time.
        std::uint64_t word = 0;
        unsigned bits = 0;
        std::size_t stored = 0;
        const auto flush = [&] {
            store.states(stored, word, bits);
            stored += bits;
            word = 0;
            bits = 0;
        };
        for (; field < expected;) {
            while (p != end && StringHelper::isBlank(*p))
                ++p;
            if (p == end) {
                flush();
                return failAt(context, field, "missing");
            }
            word |= static_cast<std::uint64_t>(*p != '0') << bits;
            if (++bits == 64)
                flush();
            ++p;
            if ((next = endField(p, end, field, expected, comma)) != 1) {
                flush();
                return next == 2 ? true : failAt(context, comma ? field : field + 1, "missing");
            }
        }
        flush();
        return true;
    } catch (const std::exception&) {
        return failAt(context, -1, "no memory");
    }
}

bool textRecordTime(DecodeContext& context, const char* line, std::size_t length, double rateTime, double& time)
{
    context.failedField = -1;
    if (length == 0)
        return failAt(context, 0, "empty line");
    const Cfg& cfg = context.cfg;
    const char* p = line;
    const char* const end = line + length;
    std::uint32_t value = 0;
    bool negative = false;
    double real = 0.0;
    bool comma = true;
    Number kind = scanNumber(p, end, comma, value, negative, real);
    if (kind == Number::Bad || kind == Number::Empty)
        return failAt(context, 0, kind == Number::Empty ? "empty" : "not a number");
    if (cfg.allRatesNonZero) {
        time = rateTime;
        return true;
    }
    long long field = 0;
    const long long expected = static_cast<long long>(cfg.channelsCount) + 2;
    if (endField(p, end, field, expected, comma) != 1)
        return failAt(context, 1, "missing");
    kind = scanNumber(p, end, comma, value, negative, real);
    if (kind == Number::Bad || kind == Number::Empty)
        return failAt(context, 1, kind == Number::Empty ? "empty" : "not a number");
    time = TimeBase::stampTime(kind == Number::Real ? real : static_cast<double>(value), cfg);
    return true;
}

template bool decodeBinaryRecord<SampleStore>(DecodeContext&, SampleStore&, const unsigned char*, double);
template bool decodeBinaryRecord<ColumnStore>(DecodeContext&, ColumnStore&, const unsigned char*, double);
template bool decodeTextRecord<SampleStore>(DecodeContext&, SampleStore&, const char*, std::size_t, double);
template bool decodeTextRecord<ColumnStore>(DecodeContext&, ColumnStore&, const char*, std::size_t, double);
template bool decodeBinaryRecord<RowStore>(DecodeContext&, RowStore&, const unsigned char*, double);
template bool decodeTextRecord<RowStore>(DecodeContext&, RowStore&, const char*, std::size_t, double);
template bool decodeBinaryRecord<SelectStore>(DecodeContext&, SelectStore&, const unsigned char*, double);
template bool decodeTextRecord<SelectStore>(DecodeContext&, SelectStore&, const char*, std::size_t, double);

} // namespace KivComtradeLib
