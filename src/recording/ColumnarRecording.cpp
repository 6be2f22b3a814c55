#include "data/DataReader.h"
#include "recording/LoadPipeline.h"
#include "support/ResultCode.h"

#include <KivComtradeLib/ColumnarRecording.h>

namespace KivComtradeLib {

int ColumnarRecording::load(const std::string& path)
{
    return load(path, LoadOptions());
}

// The configuration through Cfg::load, then the data file decoded straight
// into the arrays by the decoders Dat uses (same rules, same report): no
// Sample is built, and the arrays are sized once.
template <class Pipeline>
int ColumnarRecording::_load(const std::string& name, Pipeline&& pipeline)
{
    if (checkRecordingName(name, report) != kLoaded)
        return kNotARecordingName;
    count = 0;
    std::vector<double>().swap(time);
    std::vector<double>().swap(analog);
    std::vector<std::uint8_t>().swap(status);
    ColumnSink sink(cfg, time, analog, status);

    RecordingFiles files;
    const int result = pipeline(files, [&](std::istream& in, long long length, const std::string& file, LoadReport& data) {
        return readDataStream(in, length, cfg, sink, data, file);
    });
    cfgFileName = files.cfgFileName;
    datFileName = files.datFileName;
    if (result != kLoaded) {
        sink.drop();
        return result;
    }
    count = sink.count();
    fileName = name;
    return kLoaded;
}

int ColumnarRecording::load(const std::string& path, const LoadOptions& options)
{
    return _load(path, [&](RecordingFiles& files, const DataReaderFunction& readData) {
        return loadRecording(path, options, cfg, files, report, readData);
    });
}

int ColumnarRecording::loadFromMemory(const std::string& cfgText, const char* data, std::size_t size,
                                      const LoadOptions& options, const std::string& name)
{
    return _load(name, [&](RecordingFiles& files, const DataReaderFunction& readData) {
        return KivComtradeLib::loadRecordingFromMemory(name, cfgText, data, size, options, cfg, files, report, readData);
    });
}

int ColumnarRecording::loadCombinedFromMemory(const char* bytes, std::size_t size, const LoadOptions& options,
                                              const std::string& name)
{
    return _load(name, [&](RecordingFiles& files, const DataReaderFunction& readData) {
        return KivComtradeLib::loadCombinedFromMemory(name, bytes, size, options, cfg, files, report, readData);
    });
}

const double* ColumnarRecording::analogRow(std::size_t channel) const
{
    return channel < cfg.analogChannels.size() && count != 0 ? analog.data() + channel * count : nullptr;
}

const std::uint8_t* ColumnarRecording::statusRow(std::size_t channel) const
{
    return channel < cfg.binaryChannels.size() && count != 0 ? status.data() + channel * count : nullptr;
}

} // namespace KivComtradeLib
