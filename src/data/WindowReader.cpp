#include "data/WindowReader.h"

#include "support/ResultCode.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace KivComtradeLib {

namespace {

constexpr std::size_t kBlockBytes = 1 << 20;
constexpr std::size_t kTextBlock = 1 << 22;

std::string seconds(double t)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.9g s", t);
    return text;
}

std::string plural(unsigned long long n, const char* word)
{
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

inline std::uint32_t readU32(const unsigned char* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

template <class Channels>
bool addByName(const Channels& channels, const std::string& name, std::vector<long>& rows)
{
    bool found = false;
    for (std::size_t i = 0; i < channels.size(); ++i)
        if (channels[i].channelId == name) {
            rows[i] = 0;
            found = true;
        }
    return found;
}

// Rows numbered in configuration order; `indices` receives the channels.
void numberRows(std::vector<long>& rows, std::vector<std::size_t>& indices)
{
    indices.clear();
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (rows[i] >= 0) {
            rows[i] = static_cast<long>(indices.size());
            indices.push_back(i);
        }
}

// A row pointer moved to a record; an array without rows has no storage.
template <typename T>
T* offset(T* rows, std::size_t count)
{
    return rows == nullptr ? nullptr : rows + count;
}

} // namespace

int resolveSelection(const Cfg& cfg, const LoadOptions& options, ChannelSelection& selection, TimeWindow& window,
                     LoadReport& report, const std::string& file)
{
    const std::size_t analogs = cfg.analogChannels.size();
    const std::size_t states = cfg.binaryChannels.size();
    const bool all = !options.selectChannels && options.channelNames.empty() && options.analogIndices.empty() &&
                     options.statusIndices.empty();
    selection.analogRow.assign(analogs, all ? 0 : -1);
    selection.statusRow.assign(states, all ? 0 : -1);
    for (const std::string& name : options.channelNames) {
        const bool analog = addByName(cfg.analogChannels, name, selection.analogRow);
        if (!addByName(cfg.binaryChannels, name, selection.statusRow) && !analog)
            return report.fail(kBadSelection, file, 0, file + ": no channel named '" + name + "'");
    }
    for (std::size_t i : options.analogIndices) {
        if (i >= analogs)
            return report.fail(kBadSelection, file, 0, file + ": no analog channel " + std::to_string(i) + " (" +
                                                    plural(analogs, "analog channel") + ", from 0)");
        selection.analogRow[i] = 0;
    }
    for (std::size_t i : options.statusIndices) {
        if (i >= states)
            return report.fail(kBadSelection, file, 0, file + ": no status channel " + std::to_string(i) + " (" +
                                                    plural(states, "status channel") + ", from 0)");
        selection.statusRow[i] = 0;
    }
    numberRows(selection.analogRow, selection.analog);
    numberRows(selection.statusRow, selection.status);
    if (selection.analog.empty() && selection.status.empty())
        return report.fail(kBadSelection, file, 0,
                           file + (all ? ": the recording has no channel" : ": the selection names no channel"));

    window = TimeWindow();
    double shift = 0.0;
    if (options.windowFromTrigger) {
        if (!std::isfinite(cfg.triggerOffset))
            return report.fail(kBadSelection, file, 0,
                               file + ": the window is measured from the trigger, and the configuration gives none");
        shift = cfg.triggerOffset;
    }
    if (options.windowFrom == options.windowFrom)
        window.from = options.windowFrom + shift;
    if (options.windowTo == options.windowTo)
        window.to = options.windowTo + shift;
    if (window.from > window.to)
        return report.fail(kBadSelection, file, 0,
                           file + ": the window starts (" + seconds(window.from) + ") after it ends (" +
                               seconds(window.to) + ")");
    return kLoaded;
}

WindowReader::WindowReader(const Cfg& cfg, const ChannelSelection& selection, const TimeWindow& window,
                           std::istream& in, long long length, const std::string& file)
    : _cfg(cfg), _selection(selection), _window(window), _in(in), _length(length), _file(file), _context(cfg),
      _clock(cfg), _all(selection.analog.size() == cfg.analogChannels.size() &&
                        selection.status.size() == cfg.binaryChannels.size())
{
}

int WindowReader::open(LoadReport& report)
{
    if (_map != nullptr) {
        if (_cfg.samplesCount == 0)
            return report.fail(kBadData, _file, 0, _file + ": the configuration announces no records");
        return _openBinary(report);
    }
    if (!_in)
        return report.fail(kBadData, _file, 0, _file + ": cannot be read");
    const std::istream::pos_type here = _in.tellg();
    _base = here == std::istream::pos_type(-1) ? 0 : static_cast<long long>(here);
    if (_length < 0 && here != std::istream::pos_type(-1)) {
        _in.seekg(0, std::ios_base::end);
        const std::istream::pos_type end = _in.tellg();
        _in.seekg(here);
        _length = end == std::istream::pos_type(-1) ? -1 : static_cast<long long>(end - here);
    }
    if (_cfg.samplesCount == 0)
        return report.fail(kBadData, _file, 0, _file + ": the configuration announces no records");
    return _cfg.dataFileType == Enums::Ascii ? _openText(report) : _openBinary(report);
}

double WindowReader::_rateTime(unsigned long long k)
{
    return _clock.timeAt(k);
}

bool WindowReader::_stampTime(unsigned long long k, double& time)
{
    if (_map != nullptr) {
        time = TimeBase::stampTime(readU32(_map + k * _cfg.recordSize + 4), _cfg);
        return true;
    }
    unsigned char stamp[4];
    _in.clear();
    _in.seekg(static_cast<std::streamoff>(_base + static_cast<long long>(k * _cfg.recordSize + 4)));
    if (!_in.read(reinterpret_cast<char*>(stamp), 4))
        return false;
    time = TimeBase::stampTime(readU32(stamp), _cfg);
    return true;
}

template <class TimeOf>
unsigned long long WindowReader::_search(unsigned long long count, double t, bool after, TimeOf timeOf)
{
    unsigned long long lo = 0, hi = count;
    while (lo < hi) {
        const unsigned long long mid = lo + (hi - lo) / 2;
        const double at = timeOf(mid);
        if (after ? at <= t : at < t)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

int WindowReader::_openBinary(LoadReport& report)
{
    const std::size_t recordSize = _cfg.recordSize;
    if (recordSize == 0 || !recordSizeHoldsChannels(_cfg))
        return report.fail(kBadData, _file, 0, _file + ": the configuration gives no binary record layout");
    if (_length <= 0)
        return report.fail(kBadData, _file, 0, _file + ": is empty");
    const unsigned long long whole = static_cast<unsigned long long>(_length) / recordSize;
    if (whole == 0)
        return report.fail(kBadData, _file, 0, _file + ": its " + plural(static_cast<unsigned long long>(_length), "byte") +
                                                " hold no whole record of " + std::to_string(recordSize) + " bytes");
    _records = std::min<unsigned long long>(whole, _cfg.samplesCount);
    _begin = 0;
    _end = _records;
    if (!_window.whole()) {
        bool readable = true;
        const auto timeOf = [this, &readable](unsigned long long k) {
            if (_cfg.allRatesNonZero)
                return _rateTime(k);
            double t = 0.0;
            if (!_stampTime(k, t))
                readable = false;
            return t;
        };
        _begin = _search(_records, _window.from, false, timeOf);
        _end = _search(_records, _window.to, true, timeOf);
        if (!readable)
            return report.fail(kBadData, _file, 0, _file + ": a time stamp cannot be read");
        if (_begin >= _end) {
            const double first = timeOf(0), last = timeOf(_records - 1);
            return report.fail(kBadSelection, _file, 0,
                               _file + ": the window " + seconds(_window.from) + " to " + seconds(_window.to) +
                                   " holds no sample (the samples run from " + seconds(first) + " to " +
                                   seconds(last) + ")");
        }
    }
    if (_map == nullptr) {
        _in.clear();
        _in.seekg(static_cast<std::streamoff>(_base + static_cast<long long>(_begin * recordSize)));
        if (!_in)
            return report.fail(kBadData, _file, 0, _file + ": cannot be read");
    }
    _next = _first = _begin;
    _known = static_cast<long long>(_end - _begin);
    return kLoaded;
}

int WindowReader::_openText(LoadReport& /*report*/)
{
    _records = _cfg.samplesCount;
    _begin = 0;
    _end = _records;
    if (_cfg.allRatesNonZero && !_window.whole()) {
        // Positions from the rates: the lines before the window are only counted.
        const auto timeOf = [this](unsigned long long k) { return _rateTime(k); };
        _begin = _search(_records, _window.from, false, timeOf);
        _end = _search(_records, _window.to, true, timeOf);
    }
    _left = _length < 0 ? std::numeric_limits<unsigned long long>::max() : static_cast<unsigned long long>(_length);
    _buffer.resize(static_cast<std::size_t>(std::min<unsigned long long>(kTextBlock, _left)) + 1);
    _pos = _fill = 0;
    return kLoaded;
}

long long WindowReader::read(std::size_t n, double* time, double* analog, std::uint8_t* status, std::size_t stride,
                             LoadReport& report)
{
    if (_done || n == 0)
        return 0;
    try {
        const long long got = _cfg.dataFileType == Enums::Ascii ? _readText(n, time, analog, status, stride, report)
                                                                : _readBinary(n, time, analog, status, stride, report);
        if (got < 0)
            _done = true;
        else
            _read += static_cast<unsigned long long>(got);
        return got;
    } catch (const std::exception& e) {
        _done = true;
        report.fail(kBadData, _file, 0, _file + ": cannot be read (" + e.what() + ")");
        return -1;
    }
}

// Every channel selected: the rows are the configuration's, and the whole
// record's decoder fills them.
void WindowReader::_decodeBinary(const unsigned char* record, std::size_t count, double* time, double* analog,
                                 std::uint8_t* status, std::size_t stride)
{
    const double rateTime = _cfg.allRatesNonZero ? _rateTime(_next) : 0.0;
    if (_all) {
        ColumnStore store(time + count, offset(analog, count), offset(status, count), stride);
        decodeBinaryRecord(_context, store, record, rateTime);
    } else {
        SelectStore store(_selection, time + count, offset(analog, count), offset(status, count), stride);
        decodeBinaryRecord(_context, store, record, rateTime);
    }
}

long long WindowReader::_readBinary(std::size_t n, double* time, double* analog, std::uint8_t* status,
                                    std::size_t stride, LoadReport& report)
{
    const std::size_t recordSize = _cfg.recordSize;
    const std::size_t perBlock = std::max<std::size_t>(1, kBlockBytes / recordSize);
    std::size_t count = 0;
    if (_map != nullptr) {
        for (; count < n && _next < _end; ++count, ++_next) {
            _decodeBinary(_map + _next * recordSize, count, time, analog, status, stride);
        }
    }
    while (count < n && _next < _end) {
        const auto wanted = static_cast<std::size_t>(
            std::min<unsigned long long>({perBlock, _end - _next, static_cast<unsigned long long>(n - count)}));
        if (_block.size() < wanted * recordSize)
            _block.resize(std::min<std::size_t>(perBlock, static_cast<std::size_t>(_end - _begin)) * recordSize);
        _in.read(reinterpret_cast<char*>(_block.data()), static_cast<std::streamsize>(wanted * recordSize));
        const auto records = static_cast<std::size_t>(_in.gcount()) / recordSize;
        for (std::size_t r = 0; r < records; ++r, ++count, ++_next) {
            _decodeBinary(_block.data() + r * recordSize, count, time, analog, status, stride);
        }
        if (records < wanted) {
            report.fail(kBadData, _file, 0, _file + ": the read stopped at record " + std::to_string(_next + 1));
            return -1;
        }
    }
    if (_next >= _end)
        _done = true;
    return static_cast<long long>(count);
}

bool WindowReader::_nextLine(const char*& begin, const char*& end)
{
    for (;;) {
        const char* const from = _buffer.data() + _pos;
        const char* const to = _buffer.data() + _fill;
        if (const char* eol = static_cast<const char*>(std::memchr(from, '\n', static_cast<std::size_t>(to - from)))) {
            begin = from;
            end = eol > from && eol[-1] == '\r' ? eol - 1 : eol;
            _pos = static_cast<std::size_t>(eol + 1 - _buffer.data());
            ++_line;
            return true;
        }
        if (_eof) {
            if (from == to)
                return false;
            begin = from;
            end = to;
            _pos = _fill;
            ++_line;
            return true;
        }
        // Keep the partial line, grow when it fills the buffer, read more.
        const std::size_t kept = _fill - _pos;
        std::memmove(_buffer.data(), from, kept);
        _pos = 0;
        _fill = kept;
        if (kept == _buffer.size())
            _buffer.resize(_buffer.size() * 2 + 1); // a line longer than the buffer
        const auto room = static_cast<unsigned long long>(_buffer.size() - kept);
        const auto wanted = static_cast<std::streamsize>(std::min(room, _left));
        _in.read(_buffer.data() + kept, wanted);
        const auto got = static_cast<std::size_t>(_in.gcount());
        _fill += got;
        _left -= got;
        if (got == 0 || _left == 0)
            _eof = true;
    }
}

long long WindowReader::_readText(std::size_t n, double* time, double* analog, std::uint8_t* status,
                                  std::size_t stride, LoadReport& report)
{
    const bool rateTimes = _cfg.allRatesNonZero;
    std::size_t count = 0;
    const char* begin = nullptr;
    const char* end = nullptr;
    while (count < n) {
        if (_next >= _end || !_nextLine(begin, end)) {
            _done = true;
            break;
        }
        if (begin == end)
            continue; // an empty line is no record
        const unsigned long long k = _next++;
        const auto length = static_cast<std::size_t>(end - begin);
        if (!_inWindow) {
            if (rateTimes) {
                if (k < _begin)
                    continue;
            } else if (_window.from != -std::numeric_limits<double>::infinity()) {
                double t = 0.0;
                if (!textRecordTime(_context, begin, length, 0.0, t)) {
                    report.fail(kBadData, _file, _line,
                                _file + ": line " + std::to_string(_line) + ": " + _context.failure);
                    return -1;
                }
                if (k == 0)
                    _firstTime = t;
                if (t < _window.from)
                    continue;
            }
            _inWindow = true;
            _first = k;
        }
        const double rateTime = rateTimes ? _rateTime(k) : 0.0;
        bool decoded = false;
        if (_all) {
            ColumnStore store(time + count, offset(analog, count), offset(status, count), stride);
            decoded = decodeTextRecord(_context, store, begin, length, rateTime);
        } else {
            SelectStore store(_selection, time + count, offset(analog, count), offset(status, count), stride);
            decoded = decodeTextRecord(_context, store, begin, length, rateTime);
        }
        if (!decoded) {
            report.fail(kBadData, _file, _line,
                        _file + ": line " + std::to_string(_line) + ", field " +
                            std::to_string(_context.failedField + 1) + ": " + _context.failure);
            return -1;
        }
        if (k == 0)
            _firstTime = time[count];
        if (!rateTimes && time[count] > _window.to) {
            _done = true;
            break;
        }
        ++count;
    }
    return static_cast<long long>(count);
}

double WindowReader::firstRecordTime()
{
    if (_cfg.allRatesNonZero)
        return _rateTime(0);
    double t = _firstTime;
    if (_cfg.dataFileType != Enums::Ascii && _records > 0 && !_stampTime(0, t))
        t = std::numeric_limits<double>::quiet_NaN();
    return t;
}

int WindowReader::finish(LoadReport& report)
{
    // A text file may hold no record: as a whole load, that is no failure
    // unless a window was asked for.
    if (_read == 0 && !_window.whole()) {
        std::string text = _file + ": the window " + seconds(_window.from) + " to " + seconds(_window.to) +
                           " holds no sample";
        if (_cfg.dataFileType == Enums::Ascii && _cfg.allRatesNonZero && _begin > 0)
            text += " (the recording ends before its sample " + std::to_string(_begin + 1) + ")";
        return report.fail(kBadSelection, _file, 0, text);
    }
    std::string sentence = _read == 0 ? std::string("no record")
                                      : "records " + std::to_string(_first + 1) + "-" + std::to_string(_first + _read);
    if (_cfg.dataFileType != Enums::Ascii)
        sentence += " of " + std::to_string(_records);
    if (!_window.whole())
        sentence += " (window " + seconds(_window.from) + " to " + seconds(_window.to) + ")";
    sentence += ", " + std::to_string(_selection.analog.size()) + " of " +
                plural(_cfg.analogChannels.size(), "analog channel") + " and " +
                std::to_string(_selection.status.size()) + " of " +
                plural(_cfg.binaryChannels.size(), "status channel");
    std::string names;
    std::size_t listed = 0;
    const std::size_t total = _selection.analog.size() + _selection.status.size();
    if (total < _cfg.analogChannels.size() + _cfg.binaryChannels.size()) {
        for (std::size_t i : _selection.analog)
            if (listed++ < 10)
                names += (names.empty() ? "" : ", ") + _cfg.analogChannels[i].channelId;
        for (std::size_t i : _selection.status)
            if (listed++ < 10)
                names += (names.empty() ? "" : ", ") + _cfg.binaryChannels[i].channelId;
        sentence += ": " + names + (total > 10 ? ", ..." : "");
    }
    report.selection = sentence;
    report.missingValues = _context.missing;
    if (_context.missing > 0)
        report.warn(_file + ": " + plural(_context.missing, "analog value") + " marked as missing (read as NaN)");
    report.result = kLoaded;
    return kLoaded;
}

} // namespace KivComtradeLib
