#include <KivComtradeLib/Cfg.h>
#include <KivComtradeLib/Converters.h>
#include <KivComtradeLib/KivCommon.h>
#include <KivComtradeLib/StringHelper.h>
#include <KivComtradeLib/ToUtf8.h>

#include <algorithm>
#include <exception>
#include <limits>
#include <stdexcept>

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

// A number of the station or counts line, as std::stoi reads it; a failure
// names the field.
int countField(const std::string& text, int number, const char* name)
{
    const std::string where = "field " + std::to_string(number) + " '" + name + "': '" + text + "' ";
    try {
        return StringHelper::toInt(text);
    } catch (const std::out_of_range&) {
        throw std::out_of_range(where + "is out of range");
    } catch (const std::invalid_argument&) {
        throw std::invalid_argument(where + "is not a number");
    }
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
            return report.fail(3, path, 0, path + ": cannot be opened");
        using Step = bool (Cfg::*)(std::ifstream&);
        static const struct {
            Step read;
            const char* name;
        } steps[] = {
            {&Cfg::_loadSubstationData, "station line"},
            {&Cfg::_loadCounOfChannels, "channel counts line"},
            {&Cfg::_loadAnalogChannelsInformation, "analog channel"},
            {&Cfg::_loadBinaryChannelsInformation, "status channel"},
            {&Cfg::_loadFreqInformation, "line frequency line"},
            {&Cfg::_loadSampleRatesInformation, "sampling rate lines"},
            {&Cfg::_loadDateTimes, "date/time lines"},
            {&Cfg::_loadDataFileType, "data file type line"},
        };
        for (const auto& step : steps) {
            bool read = false;
            std::string why;
            try {
                read = (this->*step.read)(stream);
            } catch (const std::exception& e) {
                why = _describe(e);
            }
            if (read)
                continue;
            // Said before anything reads on: the time-multiplier step below
            // replaces `line` and moves the stream.
            _reportFailure(path, stream, step.name, why);
            try {
                _setTimeProcessTime(stream);
            } catch (const std::exception&) {
                // The first fault is the one reported.
            }
            stream.close();
            return 3;
        }
        try {
            _setTimeProcessTime(stream);
        } catch (const std::exception& e) {
            _reportFailure(path, stream, "time multiplier line", _describe(e));
            return 3;
        }
        stream.close();
        return 4;
    } catch (const std::exception& e) {
        return report.fail(3, path, 0, path + ": cannot be read (" + e.what() + ")");
    }
}

// The standard conversions say only "stoi" or "stod"; the channel records
// name their field themselves.
std::string Cfg::_describe(const std::exception& e)
{
    const std::string what = e.what();
    if (what.compare(0, 3, "sto") != 0)
        return what;
    if (dynamic_cast<const std::out_of_range*>(&e) != nullptr)
        return "'" + line + "' holds a number out of range";
    return "'" + line + "' is not a number where one is required";
}

// One sentence: the file, the line (counted from the stream position the
// failed step left), the line's role, and what was wrong with it.
void Cfg::_reportFailure(const std::string& path, std::ifstream& stream, const std::string& step,
                         std::string why)
{
    const bool ended = stream.fail() && why.empty();
    if (why.empty())
        why = ended ? "missing: the file ends before it" : line.empty() ? "empty" : _failure.empty() ? "not valid" : _failure;
    stream.clear();
    const std::streamoff position = stream.tellg();
    unsigned long long lineNumber = 0;
    if (position >= 0) {
        std::ifstream again = Kiv::openInputFileUTF8Name(path, std::ios_base::in);
        std::string head(static_cast<std::size_t>(position), '\0');
        again.read(&head[0], position);
        head.resize(static_cast<std::size_t>(again.gcount()));
        lineNumber = static_cast<unsigned long long>(std::count(head.begin(), head.end(), '\n'));
        if (!head.empty() && head.back() != '\n')
            ++lineNumber;
        if (ended)
            ++lineNumber;
    }
    std::string role = step;
    if (step == "analog channel")
        role += " " + std::to_string(analogChannels.size() + 1);
    else if (step == "status channel")
        role += " " + std::to_string(binaryChannels.size() + 1);
    const bool names_field = why.compare(0, 6, "field ") == 0;
    std::string text = path + ": ";
    if (lineNumber != 0)
        text += "line " + std::to_string(lineNumber) + " (" + role + ")";
    else
        text += role;
    text += (names_field ? ", " : ": ") + why;
    report.fail(3, path, lineNumber, text);
}

bool Cfg::_failed(const std::string& why)
{
    _failure = why;
    return false;
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
    // The 1991 revision has no year field.
    revYear = fields.size() >= 3 ? countField(fields[2], 3, "revision year") : 1991;
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
    channelsCount = countField(fields[0], 1, "total channels");
    if (channelsCount == 0)
        return _failed("field 1 'total channels': 0");
    if (fields.size() < 3)
        return _failed("has " + std::to_string(fields.size()) + " fields where it has 3");
    analogChannelsCount = countField(fields[1], 2, "analog channels");
    binaryChannelsCount = countField(fields[2], 3, "status channels");
    if (analogChannelsCount < 0 || binaryChannelsCount < 0)
        return _failed("a negative channel count");
    if (static_cast<long long>(analogChannelsCount) + binaryChannelsCount != channelsCount)
        return _failed(std::to_string(analogChannelsCount) + " analog and " + std::to_string(binaryChannelsCount) +
                       " status channels differ from the total " + std::to_string(channelsCount));
    return true;
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

// Two date/time lines: only their presence matters.
bool Cfg::_loadDateTimes(std::ifstream& stream)
{
    return _readLine(stream) && _readLine(stream);
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
void Cfg::_setTimeProcessTime(std::ifstream& stream)
{
    if (!stream.eof()) {
        Kiv::getTextLine(stream, line);
        if (stream.fail() && line.empty())
            timeMultiplier = 1.0;
        else
            timeMultiplier = std::stod(line);
    }
    if (allRatesNonZero)
        duration = timeFromSampleIndex(samplesCount - 1);
}

double Cfg::timeFromSampleIndex(unsigned long long index) const
{
    if (samplingRates.empty())
        return -1.0;
    double acc = 0.0;
    unsigned long long start = 0;
    for (const SamplingRate& segment : samplingRates) {
        if (index < segment.endSample) {
            if (!(segment.rate > 0.0))
                return -1.0;
            return (acc + segment.getDuration(index - start)) * timeMultiplier;
        }
        const double d = segment.getDuration(segment.endSample - start);
        if (d < 0.0)
            return -1.0;
        acc += d;
        start = segment.endSample;
    }
    return (acc + samplingRates.back().getDuration(index - start)) * timeMultiplier;
}

} // namespace KivComtradeLib
