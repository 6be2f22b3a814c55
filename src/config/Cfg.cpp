#include "config/DateTimeLine.h"
#include "config/TimeBase.h"
#include "encoding/TextEncoding.h"
#include "support/NamedField.h"
#include "support/ResultCode.h"
#include "support/TextLine.h"

#include <KivComtradeLib/Cfg.h>
#include <KivComtradeLib/Converters.h>
#include <KivComtradeLib/KivCommon.h>
#include <KivComtradeLib/StringHelper.h>

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <stdexcept>

namespace KivComtradeLib {

namespace {

// Room reserved up front for a count read from the file is capped: the file
// has not yet shown that it holds that many lines.
constexpr std::size_t kMaxUpfrontReserve = 1024;

// The record's gain and offset for `side`; the record holds them for the
// secondary side. A primary-side channel's are read again from the line
// without its ratio fields: undoing the ratio would not give the written
// numbers back exactly.
void bringToSide(AnalogChannelConfig& record, const std::string& line, int revision, ValueSide side)
{
    if (side == ValueSide::Secondary)
        return;
    if (!record.isSecondary) {
        std::vector<std::string> fields = StringHelper::split(line, ',');
        fields.resize(10);
        AnalogChannelConfig written(record.index, false, revision);
        written.load(record.index, fields, revision);
        record.a = written.a;
        record.b = written.b;
    } else if (side == ValueSide::Primary) {
        // A zero or unreadable ratio brings nothing anywhere: such a channel
        // keeps its values as written.
        const double ratio = record.primary / record.secondary;
        if (std::isfinite(ratio) && ratio != 0.0) {
            record.a = ratio * record.a;
            record.b = ratio * record.b;
        }
    }
}

// A line past the length limit fails the load; the message names it.
void readLimitedLine(std::istream& stream, std::string& line)
{
    bool tooLong = false;
    readTextLine(stream, line, tooLong);
    if (tooLong)
        throw std::length_error("longer than " + std::to_string(kMaxLineLength) + " bytes, the limit of a line");
}

// Neither NaN nor an infinity: std::stod reads "nan" and "inf" in any case.
double finiteNumber(const std::string& text, const char* what)
{
    const double value = std::stod(text);
    if (!std::isfinite(value))
        throw std::invalid_argument(std::string(what) + " '" + text + "' is not a finite number");
    return value;
}

// The configuration's texts and, for the encoding decision only, the lines
// of the companion texts that hold a byte above 0x7F (ASCII lines say nothing
// about a code page), whole lines up to kCompanionBytes: a long header would
// only make the decision slower, not surer.
std::vector<std::string> withCompanionLines(const std::vector<std::string>& texts,
                                            const std::vector<std::string>& companions)
{
    constexpr std::size_t kCompanionBytes = 64 * 1024;
    std::vector<std::string> all = texts;
    std::size_t taken = 0;
    for (const std::string& text : companions) {
        std::size_t begin = 0;
        while (begin < text.size() && taken < kCompanionBytes) {
            std::size_t end = text.find('\n', begin);
            if (end == std::string::npos)
                end = text.size();
            const auto high = [](char c) { return static_cast<unsigned char>(c) >= 0x80; };
            if (std::any_of(text.begin() + static_cast<std::ptrdiff_t>(begin),
                            text.begin() + static_cast<std::ptrdiff_t>(end), high)) {
                // Whole lines only: a cut one could end inside a character.
                if (end - begin > kCompanionBytes - taken)
                    break;
                all.push_back(text.substr(begin, end - begin));
                taken += end - begin;
            }
            begin = end + 1;
        }
    }
    return all;
}

} // namespace

int Cfg::load(const std::string& path)
{
    return load(path, LoadOptions());
}

int Cfg::load(const std::string& path, const LoadOptions& options)
{
    return load(path, options, std::vector<std::string>());
}

int Cfg::load(const std::string& path, const LoadOptions& options, const std::vector<std::string>& companionTexts)
{
    // A second load must not inherit anything of the first recording.
    *this = Cfg();
    try {
        if (holdsNul(path))
            return report.fail(kNotARecordingName, path, 0, nulPathSentence(path));
        if (Kiv::fileKind(path) == Kiv::FileKind::Other)
            return report.fail(kNoConfiguration, path, 0, path + ": not a regular file");
        if (!Kiv::fileExist(path))
            return report.fail(kNoConfiguration, path, 0, path + ": no such configuration file");
        std::ifstream stream = Kiv::openInputFileUTF8Name(path, std::ios_base::in);
        if (!stream.is_open())
            return report.fail(kBadConfiguration, path, 0, path + ": cannot be opened");
        return _load(stream, path, options, companionTexts);
    } catch (const std::exception&) {
        return report.fail(kBadConfiguration, path, 0, path + ": cannot be read as a configuration file");
    }
}

int Cfg::load(std::istream& stream, const std::string& name, const LoadOptions& options)
{
    return load(stream, name, options, std::vector<std::string>());
}

int Cfg::load(std::istream& stream, const std::string& name, const LoadOptions& options,
              const std::vector<std::string>& companionTexts)
{
    *this = Cfg();
    try {
        return _load(stream, name, options, companionTexts);
    } catch (const std::exception&) {
        return report.fail(kBadConfiguration, name, 0, name + ": cannot be read as a configuration");
    }
}

// The lines, with the outcome in the report: every failure has its sentence.
int Cfg::_load(std::istream& stream, const std::string& name, const LoadOptions& options,
               const std::vector<std::string>& companionTexts)
{
    report.result = _loadLines(stream, name, options, companionTexts);
    if (report.result == kBadConfiguration && report.message.empty())
        report.fail(kBadConfiguration, name, 0, name + ": cannot be read as a configuration");
    return report.result;
}

int Cfg::_loadLines(std::istream& stream, const std::string& name, const LoadOptions& options,
                    const std::vector<std::string>& companionTexts)
{
    if (!options.encoding.empty()) {
        TextEncoding::Encoding named;
        if (!TextEncoding::fromName(options.encoding, named))
            return report.fail(kBadConfiguration, name, 0, name + ": unknown encoding '" + options.encoding + "'");
        if (!TextEncoding::available(named))
            return report.fail(kBadConfiguration, name, 0,
                               name + ": encoding " + TextEncoding::name(named) +
                                   " cannot be converted by this build (no iconv)");
    }
    static const char* const steps[] = {"station line",        "channel counts line", "channel lines",
                                        "line frequency line", "sampling rate lines", "date/time lines",
                                        "data file type line"};
    _lineNumber = 0;
    _lineTooLong = false;
    // The station line is converted with the channel lines, whose encoding
    // is not known until they are all read.
    std::string stationLine;
    for (int step = 0; step < 7; ++step) {
        bool read = false;
        std::string why;
        try {
            switch (step) {
            case 0: read = _loadSubstationData(stream); stationLine = line; break;
            case 1: read = _loadCounOfChannels(stream); break;
            case 2: read = _loadChannelsInformation(stream, stationLine, name, options, companionTexts); break;
            case 3: read = _loadFreqInformation(stream); break;
            case 4: read = _loadSampleRatesInformation(stream); break;
            case 5: read = _loadDateTimes(stream); break;
            default: read = _loadDataFileType(stream); break;
            }
        } catch (const std::exception& e) {
            why = _describe(e);
        }
        if (read)
            continue;
        // Said before anything reads on: the time-multiplier step below
        // replaces `line` and moves the stream.
        _reportFailure(name, stream, steps[step], why);
        try {
            _setTimeProcessTime(stream);
        } catch (const std::exception&) {
            // The first fault is the one reported.
        }
        return kBadConfiguration;
    }
    try {
        _setTimeProcessTime(stream);
    } catch (const std::exception& e) {
        _reportFailure(name, stream, "time multiplier line", _describe(e));
        return kBadConfiguration;
    }
    return kConfigurationRead;
}

// The standard conversions say only "stoi" or "stod"; the channel records
// and the station and counts lines name their field themselves.
std::string Cfg::_describe(const std::exception& e)
{
    const std::string what = e.what();
    if (what.compare(0, 3, "sto") != 0)
        return what;
    if (dynamic_cast<const std::out_of_range*>(&e) != nullptr)
        return "'" + line + "' holds a number out of range";
    return "'" + line + "' is not a number where one is required";
}

// One sentence: the file, the line (counted by the line reads), its role,
// and what was wrong with it.
void Cfg::_reportFailure(const std::string& name, std::istream& stream, const std::string& step, std::string why)
{
    const bool ended = stream.fail() && why.empty();
    unsigned long long lineNumber = ended ? _lineNumber + 1 : _lineNumber;
    std::string role = step;
    if (step == "channel lines") {
        // The channel lines are all read before any is parsed: a parse
        // failure is at the record being built.
        const auto analogs = static_cast<unsigned long long>(analogChannelsCount);
        unsigned long long at = lineNumber - 3;
        if (!why.empty() && !_lineTooLong)
            at = analogChannels.size() < analogs ? analogChannels.size() : analogs + binaryChannels.size();
        lineNumber = 3 + at;
        role = at < analogs ? "analog channel " + std::to_string(at + 1)
                            : "status channel " + std::to_string(at - analogs + 1);
    }
    if (why.empty())
        why = ended ? "missing: the file ends before it" : line.empty() ? "empty" : _failure.empty() ? "not valid" : _failure;
    const bool namesField = why.compare(0, 6, "field ") == 0;
    std::string text = name + ": ";
    if (lineNumber != 0)
        text += "line " + std::to_string(lineNumber) + " (" + role + ")";
    else
        text += role;
    text += (namesField ? ", " : ": ") + why;
    report.fail(kBadConfiguration, name, lineNumber, text);
}

bool Cfg::_failed(const std::string& why)
{
    _failure = why;
    return false;
}

// Every line of the configuration is read here (the channel lines too), so
// that a failure can name its line.
bool Cfg::_readLine(std::istream& stream)
{
    try {
        readLimitedLine(stream, line);
    } catch (const std::length_error&) {
        ++_lineNumber;
        _lineTooLong = true;
        throw;
    }
    if (!stream.fail())
        ++_lineNumber;
    return !stream.fail() && !line.empty();
}

// station_name,rec_dev_id,rev_year
bool Cfg::_loadSubstationData(std::istream& stream)
{
    if (!_readLine(stream))
        return false;
    const std::vector<std::string> fields = StringHelper::split(line, ',');
    if (!fields.empty())
        stationName = fields[0];
    if (fields.size() >= 2)
        recDevId = fields[1];
    // The 1991 revision has no year field.
    revYear = fields.size() >= 3 ? intField(fields[2], 3, "revision year") : 1991;
    return true;
}

// TT,##A,##D — std::stoi stops at the A and D after the counts.
bool Cfg::_loadCounOfChannels(std::istream& stream)
{
    if (!_readLine(stream))
        return false;
    const std::vector<std::string> fields = StringHelper::split(line, ',');
    if (fields.empty())
        return false;
    channelsCount = intField(fields[0], 1, "total channels");
    if (channelsCount == 0)
        return _failed("field 1 'total channels': 0");
    if (fields.size() < 3)
        return _failed("has " + std::to_string(fields.size()) + " fields where it has 3");
    analogChannelsCount = intField(fields[1], 2, "analog channels");
    binaryChannelsCount = intField(fields[2], 3, "status channels");
    if (analogChannelsCount < 0 || binaryChannelsCount < 0)
        return _failed("a negative channel count");
    if (static_cast<long long>(analogChannelsCount) + binaryChannelsCount != channelsCount)
        return _failed(std::to_string(analogChannelsCount) + " analog and " + std::to_string(binaryChannelsCount) +
                       " status channels differ from the total " + std::to_string(channelsCount));
    return true;
}

// The station line and every channel line are read before any channel line
// is parsed: one encoding serves the whole file, and a short line, judged
// alone, would be too easily taken for the other code page. What was read
// before a missing line is still converted and parsed, then the load fails.
bool Cfg::_loadChannelsInformation(std::istream& stream, const std::string& stationLine,
                                   const std::string& name, const LoadOptions& options,
                                   const std::vector<std::string>& companionTexts)
{
    analogChannels.clear();
    binaryChannels.clear();
    // The counts were checked for sign; lines must actually be there.
    const unsigned long long wanted = static_cast<unsigned long long>(analogChannelsCount) +
                                      static_cast<unsigned long long>(binaryChannelsCount);
    std::vector<std::string> texts;
    texts.reserve(std::min<unsigned long long>(wanted + 1, kMaxUpfrontReserve));
    texts.push_back(stationLine);
    bool complete = true;
    for (unsigned long long i = 0; i < wanted; ++i) {
        if (!_readLine(stream)) {
            complete = false;
            break;
        }
        texts.push_back(line);
    }

    const bool detected = options.encoding.empty();
    TextEncoding::Detection detection;
    if (detected)
        detection = TextEncoding::detect(withCompanionLines(texts, companionTexts));
    else
        TextEncoding::fromName(options.encoding, detection.encoding);
    const TextEncoding::Encoding encoding = detection.encoding;
    report.encoding = TextEncoding::name(encoding);
    report.encodingDetected = detected;
    if (detection.thin)
        report.warn(name + ": names read as " + report.encoding + " (detected from " +
                    std::to_string(detection.evidence) + " bytes); name the encoding if they look wrong");

    // The station line was split already; a conversion keeps every byte
    // below 0x80, commas included, so converting its fields is converting it.
    std::size_t replaced = 0;
    stationName = TextEncoding::toUtf8(encoding, detected, stationName, replaced);
    recDevId = TextEncoding::toUtf8(encoding, detected, recDevId, replaced);
    texts.erase(texts.begin());
    for (std::string& text : texts)
        text = TextEncoding::toUtf8(encoding, detected, text, replaced);
    if (replaced != 0)
        report.warn(name + ": " + std::to_string(replaced) + " byte(s) of the station and channel lines are not " +
                    report.encoding + " text and read as U+FFFD");

    const bool parsed = _loadAnalogChannelsInformation(texts) && _loadBinaryChannelsInformation(texts);
    for (std::size_t i = 0; i < analogChannels.size(); ++i)
        bringToSide(analogChannels[i], texts[i], revYear, options.side);
    if (!complete)
        line.clear(); // what the failed read left
    return complete && parsed;
}

namespace {

// One record per line, the position among the lines of its kind as index.
template <typename Record>
bool parseChannelLines(const std::vector<std::string>& lines, std::size_t first, std::size_t count,
                       int revision, std::string& line, std::vector<Record>& records)
{
    records.clear();
    records.reserve(std::min(count, kMaxUpfrontReserve));
    for (std::size_t i = 0; i < count && first + i < lines.size(); ++i) {
        line = lines[first + i];
        records.emplace_back(static_cast<int>(i), line, revision);
    }
    return true;
}

} // namespace

bool Cfg::_loadAnalogChannelsInformation(const std::vector<std::string>& lines)
{
    return parseChannelLines(lines, 0, static_cast<std::uint32_t>(analogChannelsCount), revYear, line,
                             analogChannels);
}

bool Cfg::_loadBinaryChannelsInformation(const std::vector<std::string>& lines)
{
    const auto analogs = static_cast<std::uint32_t>(analogChannelsCount);
    return parseChannelLines(lines, analogs, static_cast<std::uint32_t>(binaryChannelsCount), revYear, line,
                             binaryChannels);
}

bool Cfg::_loadFreqInformation(std::istream& stream)
{
    if (!_readLine(stream))
        return false;
    lineFrequency = finiteNumber(line, "the line frequency");
    return true;
}

// nrates, then nrates lines "samp,endsamp" (one line even when nrates is 0).
bool Cfg::_loadSampleRatesInformation(std::istream& stream)
{
    samplesCount = 0;
    duration = 0.0;
    if (!_readLine(stream))
        return false;
    int count = std::stoi(line);
    if (count < 0)
        return _failed("a negative number of sampling rates, " + std::to_string(count));
    if (count == 0)
        count = 1;
    samplingRates.reserve(std::min<std::size_t>(static_cast<std::size_t>(count), kMaxUpfrontReserve));
    for (int i = 0; i < count; ++i) {
        if (!_readLine(stream))
            return false;
        samplingRates.emplace_back(line);
    }
    allRatesNonZero = !_isExistZeroFreqSample(samplingRates);
    samplesCount = samplingRates.back().endSample;
    return true;
}

bool Cfg::_isExistZeroFreqSample(const std::vector<SamplingRate>& rates)
{
    return std::any_of(rates.begin(), rates.end(),
                       [](const SamplingRate& r) { return r.rate < 1e-6; });
}

// Two date/time lines: the first sample, then the trigger point. Both must be
// there; what they say never fails a load (a warning tells what was wrong).
bool Cfg::_loadDateTimes(std::istream& stream)
{
    if (!_readLine(stream))
        return false;
    start = _parseDateTime("start", line);
    if (!_readLine(stream))
        return false;
    trigger = _parseDateTime("trigger", line);
    // More than six digits after the seconds' point: the recorder counts
    // nanoseconds, and so do the data file's time stamps.
    timeStampUnit = std::max(start.fractionDigits, trigger.fractionDigits) > 6 ? 1e-9 : 1e-6;
    if (start.valid && trigger.valid)
        triggerOffset = secondsBetween(start, trigger);
    return true;
}

DateTime Cfg::_parseDateTime(const char* what, const std::string& text)
{
    std::string problem;
    DateTime dt = parseDateTimeLine(text, revYear, problem);
    if (!problem.empty())
        report.warn(std::string(what) + " date/time '" + text + "': " + problem +
                    (dt.valid ? "" : std::string("; the ") + what + " time is unknown"));
    return dt;
}

bool Cfg::_loadDataFileType(std::istream& stream)
{
    if (!_readLine(stream))
        return false;
    dataFileType = Converters::toDataFileType(line);
    if (dataFileType == Enums::Ascii)
        return true;
    // A record of more than 4 GiB cannot be described in 32 bits; such counts
    // only come from a corrupt file.
    const unsigned long long valueSize = _getAnalogChannelLenghtInDatFile(dataFileType);
    const unsigned long long words = (static_cast<unsigned long long>(binaryChannelsCount) + 15) / 16;
    const unsigned long long bytes =
        8 + static_cast<unsigned long long>(analogChannelsCount) * valueSize + 2 * words;
    if (bytes > std::numeric_limits<std::uint32_t>::max())
        return _failed("a binary record of " + std::to_string(bytes) + " bytes is beyond 4 GiB");
    _setBinaryDatFileChannelLenght(dataFileType);
    return true;
}

unsigned Cfg::_getAnalogChannelLenghtInDatFile(Enums::DataFileType type) const
{
    return (type == Enums::Binary32 || type == Enums::Float32) ? 4u : 2u;
}

void Cfg::_setBinaryDatFileChannelLenght(Enums::DataFileType type)
{
    const auto analogCount = static_cast<std::uint32_t>(analogChannelsCount);
    const auto binaryCount = static_cast<std::uint32_t>(binaryChannelsCount);
    analogValueSize = _getAnalogChannelLenghtInDatFile(type);
    analogValuesSize = analogCount * analogValueSize;
    binaryWordsCount = binaryCount / 16 + (binaryCount % 16 != 0 ? 1u : 0u);
    binaryValuesSize = 2 * binaryWordsCount;
    recordSize = 8 + analogValuesSize + binaryValuesSize;
}

// timemult: may be missing. Runs after the line chain whether it completed or not.
// The 2013 lines after it (tcode,localcode and tmq_code,leapsec) are kept
// when present; they are never required.
void Cfg::_setTimeProcessTime(std::istream& stream)
{
    if (!stream.eof()) {
        bool tooLong = false;
        readTextLine(stream, line, tooLong);
        if (!stream.fail())
            ++_lineNumber; // so that a failure names this line
        if (tooLong)
            throw std::length_error("longer than " + std::to_string(kMaxLineLength) + " bytes, the limit of a line");
        if (stream.fail() && line.empty())
            timeMultiplier = 1.0;
        else
            timeMultiplier = std::stod(line);
        if (!(timeMultiplier > 0.0) || !std::isfinite(timeMultiplier)) {
            // Zero or negative would put every time stamp at 0 or before it.
            report.warn("time multiplier '" + line + "' is not a positive number; time stamps are read with 1");
            timeMultiplier = 1.0;
        }
        if (!std::isfinite(static_cast<double>(std::numeric_limits<std::uint32_t>::max()) * timeMultiplier)) {
            // Time stamps are 32-bit: the largest must still be a finite time.
            report.warn("time multiplier '" + line + "' makes time stamps infinite; they are read with 1");
            timeMultiplier = 1.0;
        }
        _loadTimeCodeLines(stream);
    }
    // The multiplier scales time stamps only; times from the rates are kept as they are.
    if (allRatesNonZero)
        duration = timeFromSampleIndex(samplesCount - 1);
}

// `line` keeps the time multiplier line: these lines are read into their own text.
void Cfg::_loadTimeCodeLines(std::istream& stream)
{
    const auto readPair = [&stream](std::string& first, std::string& second) {
        if (!stream.good())
            return;
        std::string text;
        bool tooLong = false;
        readTextLine(stream, text, tooLong);
        if (tooLong)
            return; // optional lines: a corrupt one is left out
        // DOS editors pad the file with end-of-file characters (0x1A).
        text.erase(std::min(text.find('\x1A'), text.size()));
        const std::vector<std::string> fields = StringHelper::split(text, ',');
        first = fields.empty() ? std::string() : StringHelper::trim(fields[0]);
        second = fields.size() < 2 ? std::string() : StringHelper::trim(fields[1]);
    };
    readPair(timeCode, localCode);
    readPair(timeQuality, leapSecond);
}

double Cfg::timeFromSampleIndex(unsigned long long index) const
{
    return TimeBase(samplingRates).timeAt(index);
}

} // namespace KivComtradeLib
