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
    // The same from a stream positioned at the data's first byte, `length`
    // bytes long (length < 0: everything that follows), e.g. the data section
    // of a combined file; `datFileName` names it in the report. Returns 0 or 6.
    int load(std::istream& stream, const std::string& datFileName, long long length = -1);

private:
    int _load(const std::string& datFileName);
};

} // namespace KivComtradeLib
