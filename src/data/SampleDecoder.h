#pragma once
// Record decoders shared by Sample::load, Dat and ColumnarRecording. One
// decoding path writes through a store: SampleStore fills one Sample,
// ColumnStore one record of channel-major arrays. Times from the sampling
// rates are passed in (the readers keep a TimeBase).

#include <KivComtradeLib/Cfg.h>
#include <KivComtradeLib/Sample.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace KivComtradeLib {

// What a load decodes with, and what it found beside the values.
struct DecodeContext {
    explicit DecodeContext(const Cfg& config);

    const Cfg& cfg;
    // Text files: the value that marks a missing analog value, 99999 from
    // revision 1999 to 2012, 999999 before; 0 from 2013 on, where only an
    // empty field does.
    std::uint32_t textMissingMarker;
    unsigned long long missing = 0; // analog values marked missing
    // Why the last text line failed: its 0-based field, and a phrase.
    long long failedField = -1;
    const char* failure = "";
};

// Appends bits 0..n-1 of `word` (n <= 64) to `out`, bit 0 first.
void appendStates(std::vector<bool>& out, std::uint64_t word, unsigned n);

// Position of the lowest set bit of a non-zero word.
inline unsigned lowestBit(std::uint64_t word)
{
#if defined(__GNUC__)
    return static_cast<unsigned>(__builtin_ctzll(word));
#else
    unsigned n = 0;
    for (; (word & 1u) == 0; word >>= 1)
        ++n;
    return n;
#endif
}

// Writes one record into a Sample (values appended in channel order).
class SampleStore {
public:
    static constexpr bool kSelective = false;
    // `whole`: the record is dropped if it fails (a data file's), so its
    // values may be sized before they are decoded.
    explicit SampleStore(Sample& sample, bool whole = false) : _sample(sample), _whole(whole) {}
    void reserve(std::size_t analogs, std::size_t states)
    {
        if (_whole) {
            reserveWhole(analogs, states);
            return;
        }
        _sample.analogValues.reserve(_sample.analogValues.size() + analogs);
        _sample.binaryValues.reserve(_sample.binaryValues.size() + states);
    }
    // A binary record writes every analog value: they are sized at once and
    // written through a cursor.
    // The states too: all off (whole words of zeros), then states() sets
    // the channels that are on.
    void reserveWhole(std::size_t analogs, std::size_t states)
    {
        const std::size_t before = _sample.analogValues.size();
        _sample.analogValues.resize(before + analogs);
        _cursor = _sample.analogValues.data() + before;
        if (_sample.binaryValues.empty()) {
            _sample.binaryValues = std::vector<bool>(states); // words set at once, unlike assign()
            _statesSized = true;
        } else {
            _sample.binaryValues.reserve(_sample.binaryValues.size() + states);
        }
    }
    void time(double t) { _sample.time = t; }
    void analog(std::size_t /*channel*/, double value)
    {
        if (_cursor != nullptr)
            *_cursor++ = value;
        else
            _sample.analogValues.push_back(value);
    }
    // States arrive in order: the bits are sized at once (whole words of
    // zeros) and only the channels that are on are set, most are off.
    void states(std::size_t first, std::uint64_t word, unsigned n)
    {
        std::vector<bool>& bits = _sample.binaryValues;
        if (_statesSized && n <= 64 && first + n <= bits.size()) {
            if (n < 64)
                word &= (std::uint64_t(1) << n) - 1;
            for (; word != 0; word &= word - 1)
                bits[first + lowestBit(word)] = true;
            return;
        }
        if (bits.size() != first || n == 0 || n > 64) {
            appendStates(bits, word, n);
            return;
        }
        bits.resize(first + n, false);
        if (n < 64)
            word &= (std::uint64_t(1) << n) - 1;
        for (; word != 0; word &= word - 1)
            bits[first + lowestBit(word)] = true;
    }

private:
    Sample& _sample;
    bool _whole;
    bool _statesSized = false;
    double* _cursor = nullptr;
};

// Writes one record into channel-major arrays: channel c of this record at
// [c * stride]; `time`, `analog` and `status` point at the record's column.
class ColumnStore {
public:
    static constexpr bool kSelective = false;
    ColumnStore(double* time, double* analog, std::uint8_t* status, std::size_t stride)
        : _time(time), _analog(analog), _status(status), _stride(stride)
    {
    }
    void reserve(std::size_t, std::size_t) {}
    void reserveWhole(std::size_t, std::size_t) {}
    void time(double t) { *_time = t; }
    void analog(std::size_t channel, double value) { _analog[channel * _stride] = value; }
    void states(std::size_t first, std::uint64_t word, unsigned n)
    {
        std::uint8_t* p = _status + first * _stride;
        for (unsigned i = 0; i < n; ++i, p += _stride)
            *p = static_cast<std::uint8_t>((word >> i) & 1u);
    }

private:
    double* _time;
    double* _analog;
    std::uint8_t* _status;
    std::size_t _stride;
};

// Writes one record into a row of a block: its analog values side by side,
// its states packed 64 to a word (channel i is bit i % 64 of word i / 64).
// The decoders hand states over 64 at a time from channel 0, so every call
// starts a word.
class RowStore {
public:
    static constexpr bool kSelective = false;
    RowStore(double* time, double* analog, std::uint64_t* states) : _time(time), _analog(analog), _states(states) {}
    void reserve(std::size_t, std::size_t) {}
    void reserveWhole(std::size_t, std::size_t) {}
    void time(double t) { *_time = t; }
    void analog(std::size_t channel, double value) { _analog[channel] = value; }
    void states(std::size_t first, std::uint64_t word, unsigned n)
    {
        if (n == 0)
            return;
        if (n < 64)
            word &= (std::uint64_t(1) << n) - 1;
        _states[first / 64] = word;
    }

private:
    double* _time;
    double* _analog;
    std::uint64_t* _states;
};

// The channels a selective read keeps: configuration indices in ascending
// order, and for every configuration channel its row, or -1.
struct ChannelSelection {
    std::vector<std::size_t> analog;
    std::vector<std::size_t> status;
    std::vector<long> analogRow;
    std::vector<long> statusRow;
};

// Writes the selected channels of one record into channel-major arrays (row
// r of the selection at [r * stride]). The decoders read only the selected
// channels' bytes, and skip the other text fields without converting them.
class SelectStore {
public:
    static constexpr bool kSelective = true;
    SelectStore(const ChannelSelection& selection, double* time, double* analog, std::uint8_t* status,
                std::size_t stride)
        : _selection(selection), _time(time), _analog(analog), _status(status), _stride(stride)
    {
    }
    const ChannelSelection& selection() const { return _selection; }
    void reserve(std::size_t, std::size_t) {}
    void reserveWhole(std::size_t, std::size_t) {}
    void time(double t) { *_time = t; }
    bool wantsAnalog(std::size_t channel) const
    {
        return channel < _selection.analogRow.size() && _selection.analogRow[channel] >= 0;
    }
    void analog(std::size_t channel, double value)
    {
        if (wantsAnalog(channel))
            _analog[static_cast<std::size_t>(_selection.analogRow[channel]) * _stride] = value;
    }
    // By row: the binary decoder walks the selection itself.
    void analogRow(std::size_t row, double value) { _analog[row * _stride] = value; }
    void stateRow(std::size_t row, bool on) { _status[row * _stride] = on ? 1 : 0; }
    void states(std::size_t first, std::uint64_t word, unsigned n)
    {
        const std::size_t rows = _selection.statusRow.size();
        for (unsigned i = 0; i < n && first + i < rows; ++i) {
            const long row = _selection.statusRow[first + i];
            if (row >= 0)
                _status[static_cast<std::size_t>(row) * _stride] = static_cast<std::uint8_t>((word >> i) & 1u);
        }
    }

private:
    const ChannelSelection& _selection;
    double* _time;
    double* _analog;
    std::uint8_t* _status;
    std::size_t _stride;
};

// The time of a text record from its first two fields only (the others are
// not read): false when they do not decode (context says why).
bool textRecordTime(DecodeContext& context, const char* line, std::size_t length, double rateTime, double& time);

// Whether cfg.recordSize holds what decodeBinaryRecord reads of a record:
// a loaded configuration always does, one a host edited by hand may not.
inline bool recordSizeHoldsChannels(const Cfg& cfg)
{
    const unsigned long long width = cfg.dataFileType == Enums::Binary ? 2 : 4;
    const unsigned long long analogs = static_cast<std::uint32_t>(cfg.analogChannelsCount);
    return cfg.recordSize >= 8 + analogs * width + 2ull * cfg.binaryWordsCount;
}

// One binary record of cfg.recordSize bytes. `rateTime` is used when all
// sampling rates are non-zero, else the record's time stamp gives the time.
template <class Store>
bool decodeBinaryRecord(DecodeContext& context, Store& store, const unsigned char* record, double rateTime);

// One text line (without its line end). False when it does not decode;
// context.failedField and context.failure then say why.
template <class Store>
bool decodeTextRecord(DecodeContext& context, Store& store, const char* line, std::size_t length,
                      double rateTime);

} // namespace KivComtradeLib
