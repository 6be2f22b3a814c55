#pragma once

#include <KivComtradeLib/Export.h>
#include <KivComtradeLib/LoadReport.h>
#include <KivComtradeLib/Sample.h>

#include <istream>
#include <string>
#include <vector>

namespace KivComtradeLib {

class Cfg;

// The data (.dat) file of a recording whose Cfg is loaded.
class KIVCOMTRADE_API Dat {
public:
    const Cfg* cfg;              // owned by the caller, outlives the Dat
    double lastSampleTime = -1.0; // seconds; -1.0 when there is no sample
    std::vector<Sample> samples; // element k has index k
    LoadReport report;           // what the last load found

    explicit Dat(const Cfg& config);

    // 0 read, 5 no such file, 6 unreadable or does not match the Cfg.
    // A binary file loads its whole records up to the announced count: extra
    // records, missing records and a trailing partial record are warnings in
    // `report`; a file without a whole record gives 6. A text file loads up
    // to the announced count of non-empty lines. Missing analog values are
    // NaN (report.missingValues counts them).
    int load(const std::string& datFileName);
    // The same from `length` bytes of an open stream, from its read position
    // (the data section of a combined .cff file); `name` is the file the
    // report names. 0 or 6.
    int load(std::istream& stream, unsigned long long length, const std::string& name);

private:
    int _load(const std::string& datFileName);
    // Both entries: the records of `length` bytes (< 0: all that follows).
    int _read(std::istream& stream, long long length, const std::string& name);
};

} // namespace KivComtradeLib
