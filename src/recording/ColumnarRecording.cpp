#include <KivComtradeLib/ColumnarRecording.h>
#include <KivComtradeLib/Comtrade.h>

#include <limits>

namespace KivComtradeLib {

// Interim: goes through Comtrade and copies the samples into rows.
int ColumnarRecording::load(const std::string& path)
{
    return load(path, LoadOptions());
}

int ColumnarRecording::load(const std::string& path, const LoadOptions& options)
{
    Comtrade recording;
    const int result = recording.load(path, options);
    report = recording.report;
    if (result == 1)
        return result;
    cfgFileName = recording.cfgFileName;
    datFileName = recording.datFileName;
    cfg = recording.cfg;
    count = 0;
    time.clear();
    analog.clear();
    status.clear();
    if (result != 0)
        return result;
    fileName = path;
    const auto& samples = recording.dat.samples;
    count = samples.size();
    const std::size_t analogCount = cfg.analogChannels.size();
    const std::size_t statusCount = cfg.binaryChannels.size();
    time.resize(count);
    analog.assign(analogCount * count, std::numeric_limits<double>::quiet_NaN());
    status.assign(statusCount * count, 0);
    for (std::size_t k = 0; k < count; ++k) {
        const Sample& sample = samples[k];
        time[k] = sample.time;
        for (std::size_t c = 0; c < analogCount && c < sample.analogValues.size(); ++c)
            analog[c * count + k] = sample.analogValues[c];
        for (std::size_t c = 0; c < statusCount && c < sample.binaryValues.size(); ++c)
            status[c * count + k] = sample.binaryValues[c] ? 1 : 0;
    }
    return 0;
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
