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
#include <fstream>
#include <istream>
#include <limits>
#include <string>
#include <vector>

namespace KivComtradeLib {

// The configuration (.cfg) of one recording.
class KIVCOMTRADE_API Cfg {
public:
    std::string stationName = "Station1";
    std::string recDevId;
    int revYear = 1999;
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
    //
    // The texts of the station line and of the channel lines arrive in UTF-8.
    // Their encoding is taken from options.encoding when the host names one
    // (an unknown name, or one this build cannot convert, gives 3 with a
    // report message), else detected once for the whole file: UTF-8 when all
    // those lines are valid UTF-8, else code page 866 or 1251 by the votes of
    // the lines that are not. report.encoding and report.encodingDetected say
    // which. Bytes that are not text in the encoding used become U+FFFD (with
    // a warning).
    int load(const std::string& path);
    int load(const std::string& path, const LoadOptions& options);
    // The same from an open text stream (for instance the configuration
    // section of a combined .cff file), read up to its end; `name` is the
    // file the report names. Returns 3 or 4.
    int load(std::istream& stream, const std::string& name, const LoadOptions& options);

    // Time in seconds of the record at 0-based position `index`, from the
    // sampling rates (times timeMultiplier); -1.0 when the rates cannot give it.
    double timeFromSampleIndex(unsigned long long index) const;

private:
    int _load(const std::string& path, const LoadOptions& options);
    int _loadLines(std::istream& stream, const std::string& name, const LoadOptions& options);
    bool _loadSubstationData(std::istream& stream);
    bool _loadCounOfChannels(std::istream& stream);
    bool _loadChannelsInformation(std::istream& stream, const std::string& stationLine,
                                  const std::string& name, const LoadOptions& options);
    bool _loadAnalogChannelsInformation(const std::vector<std::string>& lines);
    bool _loadBinaryChannelsInformation(const std::vector<std::string>& lines);
    bool _loadFreqInformation(std::istream& stream);
    bool _loadSampleRatesInformation(std::istream& stream);
    bool _loadDateTimes(std::istream& stream);
    bool _loadDataFileType(std::istream& stream);
    void _setTimeProcessTime(std::istream& stream);
    bool _isExistZeroFreqSample(const std::vector<SamplingRate>& rates);
    unsigned _getAnalogChannelLenghtInDatFile(Enums::DataFileType type) const;
    void _setBinaryDatFileChannelLenght(Enums::DataFileType type);
    bool _readLine(std::istream& stream);
};

} // namespace KivComtradeLib
