#include "data/DataReader.h"
#include "support/StreamWindow.h"

#include <KivComtradeLib/Cfg.h>
#include <KivComtradeLib/Dat.h>
#include <KivComtradeLib/FilesHelper.h>
#include <KivComtradeLib/KivCommon.h>

#include <exception>
#include <fstream>

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
    if (!Kiv::fileExist(datFileName))
        return report.fail(5, datFileName, 0, datFileName + ": no such data file");
    try {
        const bool binary = cfg->dataFileType != Enums::Ascii;
        std::ifstream stream;
        stream = Kiv::openInputFileUTF8Name(datFileName, binary ? std::ios_base::binary : std::ios_base::in);
        if (!stream.is_open() || stream.bad())
            return report.fail(6, datFileName, 0, datFileName + ": cannot be opened");
        // 64-bit length: recordings of 2 GiB and more are real.
        const int result = _read(stream, FilesHelper::fileLength64(stream), datFileName);
        stream.close();
        return result;
    } catch (const std::exception& e) {
        // A failure half-way (no memory for the samples) must not leave a
        // partial recording that looks loaded.
        samples.clear();
        samples.shrink_to_fit();
        lastSampleTime = -1.0;
        return report.fail(6, datFileName, 0, datFileName + ": cannot be read (" + e.what() + ")");
    }
}

int Dat::_read(std::istream& stream, long long length, const std::string& name)
{
    SampleSink sink(*cfg, samples);
    const int result = readDataStream(stream, length, *cfg, sink, report, name);
    if (result != 0)
        samples.clear();
    lastSampleTime = samples.empty() ? -1.0 : samples.back().time;
    return result;
}

} // namespace KivComtradeLib
