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
    // Scales the data records' time stamps (see timeStampUnit), nothing else.
    // A multiplier that is not a positive number is read as 1, with a warning.
    double timeMultiplier = 1.0;
    std::string line;                   // the last line read, up to the time multiplier
    // Announced duration: seconds of the last announced sample from the
    // sampling rates (not multiplied by timeMultiplier); 0.0 when a rate is
    // zero. Comtrade::duration is the time of the last sample actually read;
    // the load report warns when the two differ.
    double duration = 0.0;

    // Time metadata (beyond the fields above; none of it is required).
    //
    // The two date/time lines, "dd/mm/yyyy,hh:mm:ss.ssssss" (1999, 2013). The
    // 1991 form is "mm/dd/yy": a line whose year has two digits, and every
    // line of a file whose revision year is 1991, is read month first. Two-digit
    // years 00-69 are 2000-2069, 70-99 are 1970-1999. A date impossible in
    // that order but possible in the other (12/25/2019 in a 1999 file) is read
    // in the other, with a warning. A line that is no possible date and time
    // (09/44/2025) never fails the load: it is left invalid, with a warning.
    // The seconds may have any number of decimals, or none; up to nine are
    // kept (nanosecond), the rest dropped. Blanks around the line are allowed.
    DateTime start;                     // first date/time line: the first sample
    DateTime trigger;                   // second date/time line: the trigger point
    // Seconds from the first sample to the trigger by the calendar, exact to
    // the nanosecond (negative when the trigger is earlier); NaN unless both
    // are valid.
    double triggerOffset = std::numeric_limits<double>::quiet_NaN();
    // Seconds one unit of a data record's time stamp counts before the time
    // multiplier: 1e-9 when either date/time line has more than six decimals
    // in its seconds (valid or not), else 1e-6. A stamp s is at
    // s x timeMultiplier x timeStampUnit seconds.
    double timeStampUnit = 1e-6;
    // The 2013 lines after the time multiplier, each field without the blanks
    // around it; empty when the file ends before them.
    std::string timeCode;               // "tcode,localcode": offset of the recorder's time from UTC, e.g. -5h30
    std::string localCode;              // offset of local time from UTC
    std::string timeQuality;            // "tmq_code,leapsec": clock quality code (hex digit)
    std::string leapSecond;             // leap second indicator (0-3)

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
    // those lines are valid UTF-8, else, from the lines that are not, code
    // page 866 or 1251 by the votes of toUtf8::DetectRusCodePages, or GB18030
    // or CP1252/Latin-1 when uchardet recognises them and every line fits.
    // report.encoding and report.encodingDetected say which; a guess on thin
    // evidence is a warning. Bytes that are not text in the encoding used
    // become U+FFFD (with a warning). options.side chooses the side of the
    // analog channels' gain and offset (see LoadOptions).
    int load(const std::string& path);
    int load(const std::string& path, const LoadOptions& options);
    // The same from an open text stream (for instance the configuration
    // section of a combined .cff file), read up to its end; `name` is the
    // file the report names. Returns 3 or 4.
    int load(std::istream& stream, const std::string& name, const LoadOptions& options);
    // The same, with texts the recorder wrote in the configuration's encoding
    // but outside it (a recording's .hdr and .inf texts): when the encoding is
    // detected, their lines take part in the one decision for the file, so a
    // header full of names can settle what a few channel names leave open.
    // They are neither parsed nor kept.
    int load(const std::string& path, const LoadOptions& options, const std::vector<std::string>& companionTexts);
    int load(std::istream& stream, const std::string& name, const LoadOptions& options,
             const std::vector<std::string>& companionTexts);

    // Time in seconds of the record at 0-based position `index`, from the
    // sampling rates (timeMultiplier does not apply: it scales time stamps);
    // -1.0 when the rates cannot give it.
    double timeFromSampleIndex(unsigned long long index) const;

private:
    int _load(std::istream& stream, const std::string& name, const LoadOptions& options,
              const std::vector<std::string>& companionTexts);
    int _loadLines(std::istream& stream, const std::string& name, const LoadOptions& options,
                   const std::vector<std::string>& companionTexts);
    bool _loadSubstationData(std::istream& stream);
    bool _loadCounOfChannels(std::istream& stream);
    bool _loadChannelsInformation(std::istream& stream, const std::string& stationLine,
                                  const std::string& name, const LoadOptions& options,
                                  const std::vector<std::string>& companionTexts);
    bool _loadAnalogChannelsInformation(const std::vector<std::string>& lines);
    bool _loadBinaryChannelsInformation(const std::vector<std::string>& lines);
    bool _loadFreqInformation(std::istream& stream);
    bool _loadSampleRatesInformation(std::istream& stream);
    bool _loadDateTimes(std::istream& stream);
    bool _loadDataFileType(std::istream& stream);
    void _setTimeProcessTime(std::istream& stream);
    void _loadTimeCodeLines(std::istream& stream);
    DateTime _parseDateTime(const char* what, const std::string& text);
    bool _isExistZeroFreqSample(const std::vector<SamplingRate>& rates);
    unsigned _getAnalogChannelLenghtInDatFile(Enums::DataFileType type) const;
    void _setBinaryDatFileChannelLenght(Enums::DataFileType type);
    bool _readLine(std::istream& stream);
    // Failure reporting: why a step returned false, the lines read so far,
    // and the report's sentence.
    bool _failed(const std::string& why);
    std::string _describe(const std::exception& e);
    void _reportFailure(const std::string& name, std::istream& stream, const std::string& step, std::string why);
    std::string _failure;
    unsigned long long _lineNumber = 0;
    bool _lineTooLong = false; // the failure is a line past the length limit
};

} // namespace KivComtradeLib
