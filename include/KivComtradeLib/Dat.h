#pragma once

#include <KivComtradeLib/Export.h>
#include <KivComtradeLib/LoadReport.h>
#include <KivComtradeLib/Sample.h>

#include <fstream>
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
    int load(const std::string& datFileName);

private:
    int _load(const std::string& datFileName);
    int _loadBinarySamles(std::ifstream& stream);
    int _loadAsciiSamples(std::ifstream& stream);
};

} // namespace KivComtradeLib
