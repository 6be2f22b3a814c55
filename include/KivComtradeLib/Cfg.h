#pragma once

#include <KivComtradeLib/AnalogChannelConfig.h>
#include <KivComtradeLib/BinaryChannelConfig.h>
#include <KivComtradeLib/DateTime.h>
#include <KivComtradeLib/Enums.h>
#include <KivComtradeLib/Export.h>
#include <KivComtradeLib/LoadOptions.h>
#include <KivComtradeLib/LoadReport.h>
#include <KivComtradeLib/SamplingRate.h>

#include <cstdint>
#include <exception>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

namespace KivComtradeLib {

// The configuration (.cfg) of one recording.
class KIVCOMTRADE_API Cfg {
public:
    std::string stationName = "Station1";
    std::string recDevId;
    int revYear = 1999;          // a station line without a year field gives 1991
    int channelsCount = 0;       // TT
    int analogChannelsCount = 0; // ##A
    int binaryChannelsCount = 0; // ##D
    double lineFrequency = 50.0; // Hz
    std::vector<AnalogChannelConfig> analogChannels;
    std::vector<BinaryChannelConfig> binaryChannels;
    std::vector<SamplingRate> samplingRates;
    unsigned long long samplesCount = 0; // last sample number of the last rate line
    bool allRatesNonZero = true;         // false: times come from the time stamps
    Enums::DataFileType dataFileType = Enums::Ascii;
    // Binary record layout (all in bytes but binaryWordsCount):
    std::uint32_t analogValueSize = 2;
    std::uint32_t analogValuesSize = 0;
    std::uint32_t binaryWordsCount = 0; // 16-bit status words
    std::uint32_t binaryValuesSize = 0;
    std::uint32_t recordSize = 0;       // 8 + analogValuesSize + binaryValuesSize
    double timeMultiplier = 1.0;        // time stamps count timeMultiplier microseconds
    std::string line;                   // the last line read
    double duration = 0.0;              // seconds, from the sampling rates

    // Time metadata (beyond the fields above; none of it is required).
    DateTime start;                     // first date/time line: the first sample
    DateTime trigger;                   // second date/time line: the trigger point
    // Seconds from the first sample to the trigger; NaN unless both are valid.
    double triggerOffset = std::numeric_limits<double>::quiet_NaN();
    // Seconds one unit of a data record's time stamp counts before the time
    // multiplier: 1e-6, or 1e-9 when a date/time line writes nanoseconds.
    double timeStampUnit = 1e-6;
    std::string timeCode;               // 2013: time code and local code line
    std::string localCode;
    std::string timeQuality;            // 2013: time quality code and leap second line
    std::string leapSecond;

    LoadReport report;                  // what the last load found

    Cfg() = default;

    // Reads the whole configuration file. Returns 4 when every line was read,
    // 2 when the file does not exist, 3 when it cannot be read or is invalid.
    // Starts from the construction values on every call.
    int load(const std::string& path);
    int load(const std::string& path, const LoadOptions& options);

    // Time in seconds of the record at 0-based position `index`, from the
    // sampling rates (times timeMultiplier); -1.0 when the rates cannot give it.
    double timeFromSampleIndex(unsigned long long index) const;

private:
    int _load(const std::string& path);
    bool _loadSubstationData(std::ifstream& stream);
    bool _loadCounOfChannels(std::ifstream& stream);
    bool _loadAnalogChannelsInformation(std::ifstream& stream);
    bool _loadBinaryChannelsInformation(std::ifstream& stream);
    bool _loadFreqInformation(std::ifstream& stream);
    bool _loadSampleRatesInformation(std::ifstream& stream);
    bool _loadDateTimes(std::ifstream& stream);
    bool _loadDataFileType(std::ifstream& stream);
    void _setTimeProcessTime(std::ifstream& stream);
    bool _isExistZeroFreqSample(const std::vector<SamplingRate>& rates);
    unsigned _getAnalogChannelLenghtInDatFile(Enums::DataFileType type) const;
    void _setBinaryDatFileChannelLenght(Enums::DataFileType type);
    bool _readLine(std::ifstream& stream);
    // Failure reporting: why a step returned false, and the report's sentence.
    bool _failed(const std::string& why);
    std::string _describe(const std::exception& e);
    void _reportFailure(const std::string& path, std::ifstream& stream, const std::string& step,
                        std::string why);
    std::string _failure;
};

} // namespace KivComtradeLib
