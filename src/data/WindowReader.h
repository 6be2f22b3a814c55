#pragma once
// Reading part of a data file: the channels and the time window a host asks
// for (LoadOptions), in blocks of records. Shared by the selective
// ColumnarRecording::load and by ChunkReader.
//
// Binary files: the window's first record is found from the sampling rates,
// or by a binary search over the records' time stamps (which COMTRADE writes
// in increasing order), and read directly; only the selected channels' bytes
// are decoded. Text files: the lines before the window are counted without
// reading their numbers (with time stamps, only the stamp is read), the
// unselected fields are skipped without conversion, and the reading stops
// after the window.

#include "config/TimeBase.h"
#include "data/SampleDecoder.h"

#include <KivComtradeLib/Cfg.h>
#include <KivComtradeLib/LoadOptions.h>
#include <KivComtradeLib/LoadReport.h>

#include <cstdint>
#include <istream>
#include <limits>
#include <string>
#include <vector>

namespace KivComtradeLib {

struct TimeWindow {
    double from = -std::numeric_limits<double>::infinity(); // seconds from the first sample
    double to = std::numeric_limits<double>::infinity();
    bool whole() const { return from == -std::numeric_limits<double>::infinity() &&
                                to == std::numeric_limits<double>::infinity(); }
};

// The options' channels and window against `cfg`: 0, or 7 with the report's
// sentence naming `file`.
int resolveSelection(const Cfg& cfg, const LoadOptions& options, ChannelSelection& selection,
                     TimeWindow& window, LoadReport& report, const std::string& file);

class WindowReader {
public:
    // `in` at the first byte of the data, `length` bytes of it (< 0: all that
    // follows). All four must outlive the reader.
    WindowReader(const Cfg& cfg, const ChannelSelection& selection, const TimeWindow& window, std::istream& in,
                 long long length, const std::string& file);

    // Binary data mapped in memory (`size` bytes from the data's first
    // byte): records are decoded where they lie instead of being read.
    void useMapping(const unsigned char* data, unsigned long long size)
    {
        _map = data;
        _length = static_cast<long long>(size);
    }
    // Checks the data against the configuration and finds the window: 0, 6
    // (the file does not match), or 7 (a binary file's window holds no record).
    int open(LoadReport& report);
    // Records of the window when known before reading (binary files), else -1.
    long long knownCount() const { return _known; }
    // Up to `n` next records of the window into channel-major arrays (row r
    // at [r * stride], stride >= n): the number read, 0 after the last, -1
    // when the file fails (the report says why).
    long long read(std::size_t n, double* time, double* analog, std::uint8_t* status, std::size_t stride,
                   LoadReport& report);
    // 0-based position in the file of the first record read.
    unsigned long long first() const { return _first; }
    unsigned long long recordsRead() const { return _read; }
    // Time of the file's first record (the recording's, not the window's);
    // NaN when unknown (a text file whose first line was not read). Call
    // after the last read: a binary file's stamp may be read for it.
    double firstRecordTime();
    // After the last read: 7 when a window was asked for and no record fell
    // in it, else 0 with the report's selection sentence and missing-value
    // count (a text file without a record reads as none, as a whole load).
    int finish(LoadReport& report);

private:
    int _openBinary(LoadReport& report);
    int _openText(LoadReport& report);
    long long _readBinary(std::size_t n, double* time, double* analog, std::uint8_t* status, std::size_t stride,
                          LoadReport& report);
    long long _readText(std::size_t n, double* time, double* analog, std::uint8_t* status, std::size_t stride,
                        LoadReport& report);
    void _decodeBinary(const unsigned char* record, std::size_t count, double* time, double* analog,
                       std::uint8_t* status, std::size_t stride);
    bool _nextLine(const char*& begin, const char*& end);
    bool _stampTime(unsigned long long k, double& time);
    double _rateTime(unsigned long long k);
    // First position in [0, count) whose time is >= `t` (strictly > when `after`).
    template <class TimeOf>
    unsigned long long _search(unsigned long long count, double t, bool after, TimeOf timeOf);

    const Cfg& _cfg;
    const ChannelSelection& _selection;
    TimeWindow _window;
    std::istream& _in;
    long long _length;
    std::string _file;
    DecodeContext _context;
    TimeBase _clock;
    bool _all;                        // every channel selected
    long long _base = 0;              // stream position of the data's first byte
    long long _known = -1;
    unsigned long long _records = 0;  // records the data holds (binary), or may hold (text: announced)
    unsigned long long _begin = 0;    // window [_begin, _end) in positions, when known
    unsigned long long _end = 0;
    unsigned long long _next = 0;     // position of the next record to decode
    unsigned long long _first = 0;
    unsigned long long _read = 0;
    bool _done = false;
    bool _inWindow = false;
    double _firstTime = std::numeric_limits<double>::quiet_NaN(); // text: record 0's time, once seen
    // Text: a buffer of whole lines refilled from the stream.
    std::vector<char> _buffer;
    std::size_t _pos = 0, _fill = 0;
    unsigned long long _left = 0;     // bytes not yet read from the stream
    unsigned long long _line = 0;
    bool _eof = false;
    std::vector<unsigned char> _block; // binary: whole records
    const unsigned char* _map = nullptr;
};

} // namespace KivComtradeLib
