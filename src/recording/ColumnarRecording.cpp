#include "data/DataReader.h"
#include "recording/LoadPipeline.h"
#include "support/ResultCode.h"

#include <KivComtradeLib/ColumnarRecording.h>

#include <cmath>
#include <utility>

namespace KivComtradeLib {

int ColumnarRecording::load(const std::string& path)
{
    return load(path, LoadOptions());
}

// The configuration through Cfg::load, then the data file decoded straight
// into the arrays by the decoders Dat uses (same rules, same report): no
// Sample is built, and the arrays are sized once.
int ColumnarRecording::load(const std::string& path, const LoadOptions& options)
{
    if (checkRecordingName(path, report) != kLoaded)
        return kNotARecordingName;
    count = 0;
    std::vector<double>().swap(time);
    std::vector<double>().swap(analog);
    std::vector<std::uint8_t>().swap(status);
    ColumnSink sink(cfg, time, analog, status);

    RecordingFiles files;
    const int result = loadRecording(path, options, cfg, files, report,
        [&](std::istream& in, long long length, const std::string& file, LoadReport& data) {
            return readDataStream(in, length, cfg, sink, data, file);
        });
    cfgFileName = std::move(files.cfgFileName);
    datFileName = std::move(files.datFileName);
    headerText = std::move(files.headerText);
    informationText = std::move(files.informationText);
    loaded = result == kLoaded;
    if (result != kLoaded) {
        sink.drop();
        return result;
    }
    count = sink.count();
    fileName = path;
    duration = recordingDuration(cfg, count != 0 ? time[count - 1] : -1.0);
    return kLoaded;
}

const double* ColumnarRecording::analogRow(std::size_t channel) const
{
    return channel < cfg.analogChannels.size() && count != 0 ? analog.data() + channel * count : nullptr;
}

const std::uint8_t* ColumnarRecording::statusRow(std::size_t channel) const
{
    return channel < cfg.binaryChannels.size() && count != 0 ? status.data() + channel * count : nullptr;
}

AnalogColumn ColumnarRecording::analogColumn(std::size_t channel) const
{
    AnalogColumn column;
    if (const double* row = analogRow(channel)) {
        column.time = time.data();
        column.values = row;
        column.count = count;
        column.skew = cfg.analogChannels[channel].skew;
    }
    return column;
}

double ColumnarRecording::triggerTime() const
{
    if (count == 0)
        return 0.0;
    return time[0] + (std::isfinite(cfg.triggerOffset) ? cfg.triggerOffset : 0.0);
}

StatusColumn ColumnarRecording::statusColumn(std::size_t channel) const
{
    StatusColumn column;
    if (const std::uint8_t* row = statusRow(channel)) {
        column.time = time.data();
        column.states = row;
        column.count = count;
    }
    return column;
}

} // namespace KivComtradeLib
