#include "data/DataReader.h"
#include "support/ResultCode.h"
#include "support/StreamWindow.h"

#include <KivComtradeLib/Cfg.h>
#include <KivComtradeLib/Dat.h>

namespace KivComtradeLib {

Dat::Dat(const Cfg& config) : cfg(&config) {}

int Dat::load(const std::string& datFileName)
{
    report.clear();
    const int result = _load(datFileName);
    report.result = result;
    return result;
}

int Dat::load(std::istream& stream, unsigned long long length, const std::string& name)
{
    report.clear();
    StreamWindow window(stream, length);
    std::istream section(&window);
    return _read(section, static_cast<long long>(length), name);
}

int Dat::_load(const std::string& datFileName)
{
    const int result = readDataFile(datFileName, *cfg, report,
        [this](std::istream& in, long long length, const std::string& file, LoadReport&) {
            return _read(in, length, file);
        });
    if (result == kBadData) {
        // A failure half-way (no memory for the samples) must not leave a
        // partial recording that looks loaded. (An absent file leaves the
        // samples as they were.)
        samples.clear();
        samples.shrink_to_fit();
        lastSampleTime = -1.0;
    }
    return result;
}

int Dat::_read(std::istream& stream, long long length, const std::string& name)
{
    const SampleBuild build = sampleBuildFor(*cfg, length);
    int result;
    if (build == SampleBuild::Direct) {
        SampleSink sink(*cfg, samples);
        result = readDataStream(stream, length, *cfg, sink, report, name);
    } else {
        SampleBlockSink sink(*cfg, samples, build == SampleBuild::Threaded);
        result = readDataStream(stream, length, *cfg, sink, report, name);
    }
    if (result != 0)
        samples.clear();
    lastSampleTime = samples.empty() ? -1.0 : samples.back().time;
    return result;
}

} // namespace KivComtradeLib
