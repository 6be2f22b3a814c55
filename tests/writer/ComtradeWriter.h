#pragma once
// Writes COMTRADE recordings (.cfg + .dat, or .cff) of any data-file type,
// channel layout, rate table and line end, so that tests, benchmarks and the
// bundled samples compare decoded values with what was written.

#include <KivComtradeLib/Enums.h>

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace KivTest {

struct AnalogLayout {
    std::string id = "U";
    std::string phase;
    std::string circuitComponent;
    std::string unit = "V";
    double a = 1.0;
    double b = 0.0;
    double skewMicroseconds = 0.0;
    double min = -32767.0;
    double max = 32767.0;
    double primary = 1.0;
    double secondary = 1.0;
    char ps = 'S'; // 'P' or 'S'; written only from revision 1999 on
};

struct StatusLayout {
    std::string id = "D";
    std::string phase;
    std::string circuitComponent;
    int normalState = 0;
};

struct RateLayout {
    double rate = 1000.0;
    unsigned long long endSample = 0;
};

// Everything the .cfg says.
struct RecordingLayout {
    std::string station = "TEST STATION";
    std::string device = "KIV WRITER";
    int revYear = 1999; // 1991 writes the two-field station line
    std::vector<AnalogLayout> analogs;
    std::vector<StatusLayout> statuses;
    double lineFrequency = 50.0;
    std::vector<RateLayout> rates; // empty: one rate of 1000 over all records
    std::string startTime = "01/06/2026,10:00:00.000000";
    std::string triggerTime = "01/06/2026,10:00:00.100000";
    KivComtradeLib::Enums::DataFileType type = KivComtradeLib::Enums::Ascii;
    std::string typeKeyword; // empty: the canonical upper-case keyword
    bool writeTimeMultiplier = true;
    double timeMultiplier = 1.0;
    bool crlf = false;        // line ends of the .cfg and of an ASCII .dat
    bool finalLineEnd = true; // whether the .cfg's last line ends with a line end
};

// One data record: raw analog values (integers except for Float32), time
// stamp and status states.
struct Record {
    std::uint32_t sampleNumber = 0;
    std::uint32_t timeStamp = 0;
    std::vector<double> raw;
    std::vector<bool> status;
};

struct Recording {
    RecordingLayout design;
    std::vector<Record> records;

    unsigned long long samplesCount() const;
    // The engineering value the library must give for record k, channel c.
    double expectedValue(std::size_t k, std::size_t c) const;
};

// `records` records of a deterministic pattern: sines within the type's
// range, status bits that change now and then, time stamps 1000 us apart.
Recording makeRecording(RecordingLayout design, std::size_t records);

std::string cfgText(const RecordingLayout& design, unsigned long long samplesCount);
std::string datBytes(const Recording& recording);
// Writes <basePath><cfgExt> and <basePath><datExt>; false on I/O error.
bool writeRecording(const Recording& recording, const std::string& basePath,
                    const std::string& cfgExt = ".cfg", const std::string& datExt = ".dat");

// A .cff: CFG, INF, HDR and DAT sections. `lenient` writes the headers the way
// some recorders do ("-- File Type  inf ---", no colon, a DAT header without
// its type); a binary DAT header always carries the byte count.
struct CffStyle {
    bool lenient = false;
    std::string header;      // HDR section text; none when empty
    std::string information; // INF section text; none when empty
};
std::string cffBytes(const Recording& recording, const CffStyle& style = CffStyle());

// Streams a large recording: `fill(k, record)` fills record k (raw and status
// already sized). Writes the .cfg and .dat.
bool writeGenerated(const RecordingLayout& design, unsigned long long samplesCount,
                    const std::function<void(unsigned long long, Record&)>& fill,
                    const std::string& basePath);

std::string makeTempDir(const std::string& tag);
std::string readFile(const std::string& path);
bool writeFile(const std::string& path, const std::string& bytes);
std::string toCrLf(const std::string& text);
// ../shared/samples, or empty when that folder is absent.
std::string sharedSamplesDir();

// The raw value as stored and read back: rounded and wrapped to int32
// (Ascii, Binary32) or int16 (Binary), or narrowed to float (Float32).
double storedRaw(KivComtradeLib::Enums::DataFileType type, double raw);
// (raw * a + b) * unit prefix, a and b rescaled for primary-side channels.
double engineeringValue(const RecordingLayout& design, std::size_t c, double raw);
std::string typeKeyword(KivComtradeLib::Enums::DataFileType type);

// A private temporary folder, removed with the object.
class TempDir {
public:
    explicit TempDir(const std::string& tag) : path_(makeTempDir(tag)) {}
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

} // namespace KivTest
