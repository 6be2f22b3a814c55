#include "config/DateTimeLine.h"
#include "config/TimeBase.h"

#include <KivComtradeLib/Cfg.h>
#include <KivComtradeLib/Converters.h>
#include <KivComtradeLib/KivCommon.h>
#include <KivComtradeLib/StringHelper.h>
#include <KivComtradeLib/ToUtf8.h>

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>

namespace KivComtradeLib {

namespace {

// Room reserved up front for a count read from the file is capped: the file
// has not yet shown that it holds that many lines.
constexpr std::size_t kMaxUpfrontReserve = 1024;

// A channel line in UTF-8, whatever code page the recorder wrote it in.
void convertToUtf8(std::string& line)
{
    toUtf8::DetectRusCodePages detector;
    detector.analize(line.data(), line.size());
    line = detector.convertSC(line, line.data(), line.size());
}

// A required line: read, and not empty.
bool readRequiredLine(std::ifstream& stream, std::string& line)
{
    Kiv::getTextLine(stream, line);
    return !stream.fail() && !line.empty();
}

} // namespace

int Cfg::load(const std::string& path)
{
    return load(path, LoadOptions());
}

int Cfg::load(const std::string& path, const LoadOptions& /*options*/)
{
    // A second load must not inherit anything of the first recording.
    *this = Cfg();
    report.result = _load(path);
    if (report.result == 2 && report.message.empty())
        report.fail(2, path, 0, path + ": no such configuration file");
    else if (report.result == 3 && report.message.empty())
        report.fail(3, path, 0, path + ": cannot be read as a configuration file");
    return report.result;
}

int Cfg::_load(const std::string& path)
{
    try {
        if (!Kiv::fileExist(path))
            return 2;
        std::ifstream stream = Kiv::openInputFileUTF8Name(path, std::ios_base::in);
        if (!stream.is_open())
            return 3;
        const bool complete = _loadSubstationData(stream) && _loadCounOfChannels(stream) &&
                              _loadAnalogChannelsInformation(stream) &&
                              _loadBinaryChannelsInformation(stream) && _loadFreqInformation(stream) &&
                              _loadSampleRatesInformation(stream) && _loadDateTimes(stream) &&
                              _loadDataFileType(stream);
        _setTimeProcessTime(stream);
        stream.close();
        return complete ? 4 : 3;
    } catch (const std::exception&) {
        return 3;
    }
}

bool Cfg::_readLine(std::ifstream& stream)
{
    return readRequiredLine(stream, line);
}

// station_name,rec_dev_id,rev_year
bool Cfg::_loadSubstationData(std::ifstream& stream)
{
    if (!_readLine(stream))
        return false;
    const std::vector<std::string> fields = StringHelper::split(line, ',');
    if (!fields.empty())
        stationName = fields[0];
    if (fields.size() >= 2)
        recDevId = fields[1];
    if (fields.size() >= 3)
        revYear = StringHelper::toInt(fields[2]);
    return true;
}

// TT,##A,##D — std::stoi stops at the A and D after the counts.
bool Cfg::_loadCounOfChannels(std::ifstream& stream)
{
    if (!_readLine(stream))
        return false;
    const std::vector<std::string> fields = StringHelper::split(line, ',');
    if (fields.empty())
        return false;
    channelsCount = std::stoi(fields[0]);
    if (channelsCount == 0)
        return false;
    if (fields.size() < 3)
        return false;
    analogChannelsCount = std::stoi(fields[1]);
    binaryChannelsCount = std::stoi(fields[2]);
    if (analogChannelsCount < 0 || binaryChannelsCount < 0)
        return false;
    return static_cast<long long>(analogChannelsCount) + binaryChannelsCount == channelsCount;
}

// One record per channel line, each line converted to UTF-8 before it is
// parsed. The count was checked for sign; lines must actually be there.
template <typename Record>
static bool loadChannelLines(std::ifstream& stream, std::string& line, int declared, int revision,
                             std::vector<Record>& records)
{
    records.clear();
    const auto count = static_cast<std::uint32_t>(declared);
    records.reserve(std::min<std::size_t>(count, kMaxUpfrontReserve));
    for (std::uint32_t i = 0; i < count; ++i) {
        if (!readRequiredLine(stream, line))
            return false;
        convertToUtf8(line);
        records.emplace_back(static_cast<int>(i), line, revision);
    }
    return true;
}

bool Cfg::_loadAnalogChannelsInformation(std::ifstream& stream)
{
    return loadChannelLines(stream, line, analogChannelsCount, revYear, analogChannels);
}

bool Cfg::_loadBinaryChannelsInformation(std::ifstream& stream)
{
    return loadChannelLines(stream, line, binaryChannelsCount, revYear, binaryChannels);
}

bool Cfg::_loadFreqInformation(std::ifstream& stream)
{
    if (!_readLine(stream))
        return false;
    lineFrequency = std::stod(line);
    return true;
}

// nrates, then nrates lines "samp,endsamp" (one line even when nrates is 0).
bool Cfg::_loadSampleRatesInformation(std::ifstream& stream)
{
    samplesCount = 0;
    duration = 0.0;
    if (!_readLine(stream))
        return false;
    int count = std::stoi(line);
    if (count < 0)
        return false;
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
bool Cfg::_loadDateTimes(std::ifstream& stream)
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

bool Cfg::_loadDataFileType(std::ifstream& stream)
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
        return false;
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
void Cfg::_setTimeProcessTime(std::ifstream& stream)
{
    if (!stream.eof()) {
        Kiv::getTextLine(stream, line);
        if (stream.fail() && line.empty())
            timeMultiplier = 1.0;
        else
            timeMultiplier = std::stod(line);
        if (!(timeMultiplier > 0.0) || !std::isfinite(timeMultiplier)) {
            // Zero or negative would put every time stamp at 0 or before it.
            report.warn("time multiplier '" + line + "' is not a positive number; time stamps are read with 1");
            timeMultiplier = 1.0;
        }
        _loadTimeCodeLines(stream);
    }
    // The multiplier scales time stamps only; times from the rates are kept as they are.
    if (allRatesNonZero)
        duration = timeFromSampleIndex(samplesCount - 1);
}

// A field of the time code lines without the blanks recorders pad it with.
static std::string trimmedField(const std::string& field)
{
    const std::size_t first = field.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return std::string();
    return field.substr(first, field.find_last_not_of(" \t\r") - first + 1);
}

// `line` keeps the time multiplier line: these lines are read into their own text.
void Cfg::_loadTimeCodeLines(std::ifstream& stream)
{
    const auto readPair = [&stream](std::string& first, std::string& second) {
        if (!stream.good())
            return;
        std::string text;
        Kiv::getTextLine(stream, text);
        // DOS editors pad the file with end-of-file characters (0x1A).
        text.erase(std::min(text.find('\x1A'), text.size()));
        const std::vector<std::string> fields = StringHelper::split(text, ',');
        first = fields.empty() ? std::string() : trimmedField(fields[0]);
        second = fields.size() < 2 ? std::string() : trimmedField(fields[1]);
    };
    readPair(timeCode, localCode);
    readPair(timeQuality, leapSecond);
}

double Cfg::timeFromSampleIndex(unsigned long long index) const
{
    return TimeBase(samplingRates).timeAt(index);
}

} // namespace KivComtradeLib
