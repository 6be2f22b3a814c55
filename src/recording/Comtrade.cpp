#include "recording/LoadPipeline.h"
#include "support/ResultCode.h"

#include <KivComtradeLib/Comtrade.h>
#include <KivComtradeLib/KivCommon.h>

#include <exception>
#include <utility>

namespace KivComtradeLib {

Comtrade::Comtrade() : dat(cfg) {}

Comtrade::Comtrade(const Comtrade& other)
    : fileName(other.fileName),
      duration(other.duration),
      loaded(other.loaded),
      cfgFileName(other.cfgFileName),
      datFileName(other.datFileName),
      cfg(other.cfg),
      dat(other.dat),
      report(other.report),
      headerText(other.headerText),
      informationText(other.informationText)
{
    _rebind();
}

Comtrade::Comtrade(Comtrade&& other) noexcept
    : fileName(std::move(other.fileName)),
      duration(other.duration),
      loaded(other.loaded),
      cfgFileName(std::move(other.cfgFileName)),
      datFileName(std::move(other.datFileName)),
      cfg(std::move(other.cfg)),
      dat(std::move(other.dat)),
      report(std::move(other.report)),
      headerText(std::move(other.headerText)),
      informationText(std::move(other.informationText))
{
    other._resetToEmpty();
    _rebind();
}

Comtrade& Comtrade::operator=(const Comtrade& other)
{
    if (this != &other) {
        Comtrade copy(other);
        *this = std::move(copy);
    }
    return *this;
}

Comtrade& Comtrade::operator=(Comtrade&& other) noexcept
{
    if (this != &other) {
        analogChannels.clear();
        binaryChannels.clear();
        fileName = std::move(other.fileName);
        duration = other.duration;
        loaded = other.loaded;
        cfgFileName = std::move(other.cfgFileName);
        datFileName = std::move(other.datFileName);
        cfg = std::move(other.cfg);
        dat.lastSampleTime = other.dat.lastSampleTime;
        dat.samples = std::move(other.dat.samples);
        dat.report = std::move(other.dat.report);
        report = std::move(other.report);
        headerText = std::move(other.headerText);
        informationText = std::move(other.informationText);
        other._resetToEmpty();
        _rebind();
    }
    return *this;
}

Comtrade::~Comtrade() = default;

// After a copy or move the samples and the views still refer to the source
// object's cfg: point everything at this object's own data.
void Comtrade::_rebind()
{
    dat.cfg = &cfg;
    for (Sample& sample : dat.samples)
        sample.cfg = &cfg;
    analogChannels.clear();
    binaryChannels.clear();
    if (loaded)
        _initChannels();
}

void Comtrade::_resetToEmpty()
{
    analogChannels.clear();
    binaryChannels.clear();
    fileName.clear();
    duration = -1.0;
    loaded = false;
    cfgFileName.clear();
    datFileName.clear();
    cfg = Cfg();
    dat.samples.clear();
    dat.samples.shrink_to_fit();
    dat.lastSampleTime = -1.0;
    dat.report.clear();
    dat.cfg = &cfg;
    report.clear();
    headerText.clear();
    informationText.clear();
}

int Comtrade::load(const std::string& path)
{
    return load(path, LoadOptions());
}

int Comtrade::load(const std::string& path, const LoadOptions& options)
{
    if (checkRecordingName(path, report) != kLoaded)
        return kNotARecordingName;
    // The readers are about to replace the records and samples the views
    // refer to: drop the views first, rebuild them only on success.
    analogChannels.clear();
    binaryChannels.clear();

    const int result = _loadCfgDat(path, options);
    loaded = result == kLoaded;
    if (result != kLoaded)
        return result;

    if (options.selective())
        report.warn(path + ": the channel and window selection applies to ColumnarRecording and ChunkReader; "
                           "every record and channel is read");
    fileName = path;
    duration = recordingDuration(cfg, dat.lastSampleTime);
    _initChannels();
    return kLoaded;
}

int Comtrade::_loadCfgDat(const std::string& path, const LoadOptions& options)
{
    RecordingFiles files;
    const int result = loadRecording(path, options, cfg, files, report,
        [this](std::istream& in, long long length, const std::string& file, LoadReport& into) {
            const int read = dat.load(in, length < 0 ? 0 : static_cast<unsigned long long>(length), file);
            takeDataReport(into, std::move(dat.report));
            return read;
        });
    cfgFileName = std::move(files.cfgFileName);
    datFileName = std::move(files.datFileName);
    headerText = std::move(files.headerText);
    informationText = std::move(files.informationText);
    if (result != kLoaded) {
        // Samples decoded with the previous configuration, or of the previous
        // data file, mean nothing now.
        dat.samples.clear();
        dat.lastSampleTime = -1.0;
    }
    return result;
}

namespace {

// One view per record, in record order, allocated once.
template <typename View, typename Record>
void rebuildViews(std::vector<View>& views, std::vector<Record>& records,
                  const std::vector<Sample>& samples)
{
    views.clear();
    if (records.empty())
        return;
    views.reserve(records.size());
    for (Record& record : records)
        views.emplace_back(record, samples);
}

} // namespace

void Comtrade::_initAnalogChannels()
{
    rebuildViews(analogChannels, cfg.analogChannels, dat.samples);
}

void Comtrade::_initBinaryChannels()
{
    rebuildViews(binaryChannels, cfg.binaryChannels, dat.samples);
}

void Comtrade::_initChannels()
{
    _initAnalogChannels();
    _initBinaryChannels();
}

} // namespace KivComtradeLib
