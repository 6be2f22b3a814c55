#include "data/DataReader.h"

#include "config/TimeBase.h"
#include "support/ResultCode.h"
#include "support/TextLine.h"

#include <KivComtradeLib/FilesHelper.h>
#include <KivComtradeLib/KivCommon.h>
#include <KivComtradeLib/StringHelper.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <iterator>
#include <memory>

namespace KivComtradeLib {

namespace {

// Binary files are read in blocks of whole records, so records are decoded
// straight from the block without a per-record read call.
constexpr std::size_t kBlockBytes = 1 << 20;

std::string plural(unsigned long long n, const char* word)
{
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

// Shortest text that reads back as the same double.
std::string seconds(double value)
{
    char text[32];
    for (int digits = 6; digits <= 17; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, value);
        if (std::strtod(text, nullptr) == value)
            break;
    }
    return text;
}

// Name of the 0-based field of a text record.
std::string fieldName(const Cfg& cfg, long long field)
{
    if (field < 0)
        return std::string();
    const std::string number = "field " + std::to_string(field + 1);
    if (field == 0)
        return number + " 'sample number'";
    if (field == 1)
        return number + " 'time stamp'";
    const long long analogs = cfg.analogChannelsCount;
    if (field - 2 < analogs)
        return number + " (analog channel " + std::to_string(field - 1) + ")";
    return number + " (status channel " + std::to_string(field - 1 - analogs) + ")";
}

void warnCounts(LoadReport& report, const std::string& file, unsigned long long loaded,
                unsigned long long announced, unsigned long long extra, const char* unit)
{
    if (extra > 0)
        report.warn(file + ": holds " + plural(extra, unit) + " beyond the " + std::to_string(announced) +
                    " the configuration announces; they are ignored");
    else if (loaded < announced)
        report.warn(file + ": holds only " + std::to_string(loaded) + " of the " + plural(announced, unit) +
                    " the configuration announces");
}

template <class Sink>
int readBinary(std::istream& in, long long length, const Cfg& cfg, Sink& sink, LoadReport& report,
               DecodeContext& context, const std::string& file)
{
    const unsigned long long announced = cfg.samplesCount;
    const std::size_t recordSize = cfg.recordSize;
    if (recordSize == 0 || !recordSizeHoldsChannels(cfg))
        return report.fail(kBadData, file, 0, file + ": the configuration gives no binary record layout");
    if (announced == 0)
        return report.fail(kBadData, file, 0, file + ": the configuration announces no records");
    if (length <= 0)
        return report.fail(kBadData, file, 0, file + ": is empty");
    const auto bytes = static_cast<unsigned long long>(length);
    const unsigned long long whole = bytes / recordSize;
    const unsigned long long partial = bytes % recordSize;
    if (whole == 0)
        return report.fail(kBadData, file, 0, file + ": its " + plural(bytes, "byte") + " hold no whole record of " +
                                           std::to_string(recordSize) + " bytes");
    // Bounded by what the file holds, not by the announced count.
    const unsigned long long count = std::min(whole, announced);
    sink.prepare(static_cast<std::size_t>(count));

    const std::size_t perBlock = std::max<std::size_t>(1, kBlockBytes / recordSize);
    std::vector<char> block(static_cast<std::size_t>(std::min<unsigned long long>(perBlock, count)) * recordSize);
    TimeBase clock(cfg);
    const bool rateTimes = cfg.allRatesNonZero;
    unsigned long long k = 0;
    while (k < count) {
        const auto wanted = static_cast<std::size_t>(std::min<unsigned long long>(perBlock, count - k));
        in.read(block.data(), static_cast<std::streamsize>(wanted * recordSize));
        const auto records = static_cast<std::size_t>(in.gcount()) / recordSize;
        const auto* data = reinterpret_cast<const unsigned char*>(block.data());
        for (std::size_t r = 0; r < records; ++r, ++k) {
            auto store = sink.record(k);
            if (!decodeBinaryRecord(context, store, data + r * recordSize, rateTimes ? clock.timeAt(k) : 0.0)) {
                sink.drop();
                return report.fail(kBadData, file, 0, file + ": record " + std::to_string(k + 1) + " cannot be decoded (no memory)");
            }
        }
        if (records < wanted) {
            sink.drop();
            return report.fail(kBadData, file, 0, file + ": the read stopped at record " + std::to_string(k + 1) + " of " +
                                               std::to_string(count));
        }
    }
    sink.finish(static_cast<std::size_t>(count));
    warnCounts(report, file, count, announced, whole > announced ? whole - announced : 0, "record");
    if (partial != 0)
        report.warn(file + ": ends with " + plural(partial, "byte") + " of a partial record; they are ignored");
    return kLoaded;
}

bool isBlankLine(const char* p, const char* end)
{
    for (; p != end; ++p) {
        if (!StringHelper::isBlank(*p) && *p != '\x1A') // Ctrl-Z: an old end-of-file mark
            return false;
    }
    return true;
}

template <class Sink>
int readText(std::istream& in, long long length, const Cfg& cfg, Sink& sink, LoadReport& report,
             DecodeContext& context, const std::string& file)
{
    const unsigned long long announced = cfg.samplesCount;
    if (announced == 0)
        return report.fail(kBadData, file, 0, file + ": the configuration announces no records");

    // The file's text is held once; lines are decoded straight out of it.
    std::unique_ptr<char[]> owned;
    std::string grown;
    const char* begin = nullptr;
    std::size_t textSize = 0;
    if (length >= 0) {
        // Left uninitialised: the read fills it.
        const auto capacity = static_cast<std::size_t>(length);
        owned.reset(new char[capacity == 0 ? 1 : capacity]);
        in.read(owned.get(), static_cast<std::streamsize>(length));
        textSize = static_cast<std::size_t>(in.gcount());
        begin = owned.get();
    } else {
        grown.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        textSize = grown.size();
        begin = grown.data();
    }
    const char* const end = begin + textSize;

    // Lines end at LF (CR LF); a file without any LF but with CRs was
    // written with the lone CR line ends of old Mac tools.
    const char eolChar = std::memchr(begin, '\n', textSize) == nullptr && std::memchr(begin, '\r', textSize) != nullptr
                             ? '\r' : '\n';
    // Room for no more records than the text has lines: a .cfg may announce
    // far more than the file holds.
    unsigned long long lines = 1;
    for (const char* p = begin; (p = static_cast<const char*>(std::memchr(p, eolChar, static_cast<std::size_t>(end - p)))) != nullptr; ++p)
        ++lines;
    sink.prepare(static_cast<std::size_t>(std::min(announced, lines)));

    TimeBase clock(cfg);
    const bool rateTimes = cfg.allRatesNonZero;
    unsigned long long k = 0, lineNumber = 0, extra = 0;
    const char* p = begin;
    while (p < end) {
        const char* eol = static_cast<const char*>(std::memchr(p, eolChar, static_cast<std::size_t>(end - p)));
        const char* next = eol != nullptr ? eol + 1 : end;
        const char* lineEnd = eol != nullptr ? eol : end;
        ++lineNumber;
        // Text mode on Windows turns CR LF into LF; do the same here.
        if (eol != nullptr && lineEnd > p && lineEnd[-1] == '\r')
            --lineEnd;
        if (static_cast<std::size_t>(lineEnd - p) > kMaxLineLength) {
            sink.drop();
            return report.fail(kBadData, file, lineNumber, file + ": line " + std::to_string(lineNumber) +
                                                               " is longer than " + std::to_string(kMaxLineLength) +
                                                               " bytes, the limit of a line");
        }
        if (k >= announced) {
            // Records beyond the announced ones are only counted.
            if (!isBlankLine(p, lineEnd))
                ++extra;
        } else if (lineEnd != p) {
            auto store = sink.record(k);
            if (!decodeTextRecord(context, store, p, static_cast<std::size_t>(lineEnd - p),
                                  rateTimes ? clock.timeAt(k) : 0.0)) {
                sink.drop();
                std::string where = fieldName(cfg, context.failedField);
                return report.fail(kBadData, file, lineNumber,
                                   file + ": line " + std::to_string(lineNumber) + (where.empty() ? "" : ", " + where) +
                                       ": " + context.failure);
            }
            ++k;
        }
        p = next;
    }
    // The text goes first, so that it and the compacted records are not held together.
    owned.reset();
    std::string().swap(grown);
    if (k == 0) {
        sink.drop();
        return report.fail(kBadData, file, 0, file + ": holds no record");
    }
    sink.finish(static_cast<std::size_t>(k));
    warnCounts(report, file, k, announced, extra, "record");
    return kLoaded;
}

} // namespace

void ColumnSink::prepare(std::size_t records)
{
    _analogs = _cfg.analogChannels.size();
    _states = _cfg.binaryChannels.size();
    _rows = records;
    _time.assign(records, 0.0);
    _analog.assign(_analogs * records, 0.0);
    _status.assign(_states * records, 0);
}

void ColumnSink::finish(std::size_t records)
{
    if (records < _rows) {
        for (std::size_t c = 1; c < _analogs; ++c)
            std::memmove(_analog.data() + c * records, _analog.data() + c * _rows, records * sizeof(double));
        for (std::size_t c = 1; c < _states; ++c)
            std::memmove(_status.data() + c * records, _status.data() + c * _rows, records);
        _time.resize(records);
        _analog.resize(_analogs * records);
        _status.resize(_states * records);
        _rows = records;
    }
}

void ColumnSink::drop()
{
    _rows = 0;
    std::vector<double>().swap(_time);
    std::vector<double>().swap(_analog);
    std::vector<std::uint8_t>().swap(_status);
}

template <class Sink>
int readDataStream(std::istream& in, long long length, const Cfg& cfg, Sink& sink, LoadReport& report,
                   const std::string& file)
{
    try {
        if (!in)
            return report.fail(kBadData, file, 0, file + ": cannot be read");
        if (length < 0) {
            // What follows the read position; -1 when the stream cannot tell.
            const std::streampos here = in.tellg();
            const long long end = FilesHelper::fileLength64(in);
            length = here == std::streampos(-1) || end < 0 ? -1 : end - static_cast<long long>(here);
        }
        DecodeContext context(cfg);
        const int result = cfg.dataFileType != Enums::Ascii
                               ? readBinary(in, length, cfg, sink, report, context, file)
                               : readText(in, length, cfg, sink, report, context, file);
        if (result == kLoaded) {
            // Fewer records than announced end the recording earlier than the
            // configuration's duration says.
            const double last = sink.lastTime();
            if (cfg.allRatesNonZero && last != cfg.duration)
                report.warn(file + ": the last sample read is at " + seconds(last) + " s, not at the " +
                            seconds(cfg.duration) + " s the configuration announces");
            report.missingValues = context.missing;
            if (context.missing > 0)
                report.warn(file + ": " + plural(context.missing, "analog value") +
                            " marked as missing (read as NaN)");
        }
        report.result = result;
        return result;
    } catch (const std::exception& e) {
        sink.drop();
        return report.fail(kBadData, file, 0, file + ": cannot be read (" + e.what() + ")");
    }
}

template int readDataStream<SampleSink>(std::istream&, long long, const Cfg&, SampleSink&, LoadReport&,
                                        const std::string&);
template int readDataStream<SampleBlockSink>(std::istream&, long long, const Cfg&, SampleBlockSink&, LoadReport&,
                                             const std::string&);
template int readDataStream<ColumnSink>(std::istream&, long long, const Cfg&, ColumnSink&, LoadReport&,
                                        const std::string&);

int readDataFile(const std::string& name, const Cfg& cfg, LoadReport& data, const DataReaderFunction& readData)
{
    if (holdsNul(name))
        return data.fail(kNotARecordingName, name, 0, nulPathSentence(name));
    if (Kiv::fileKind(name) == Kiv::FileKind::Other)
        return data.fail(kNoData, name, 0, name + ": not a regular file");
    if (!Kiv::fileExist(name))
        return data.fail(kNoData, name, 0, name + ": no such data file");
    try {
        const bool binary = cfg.dataFileType != Enums::Ascii;
        std::ifstream stream = Kiv::openInputFileUTF8Name(name, binary ? std::ios_base::binary : std::ios_base::in);
        if (!stream.is_open() || stream.bad())
            return data.fail(kBadData, name, 0, name + ": cannot be opened");
        // 64-bit length: recordings of 2 GiB and more are real.
        return readData(stream, FilesHelper::fileLength64(stream), name, data);
    } catch (const std::exception& e) {
        return data.fail(kBadData, name, 0, name + ": cannot be read (" + e.what() + ")");
    }
}

} // namespace KivComtradeLib
