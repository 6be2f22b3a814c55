#include <KivComtradeLib/Comtrade.h>
#include <KivComtradeLib/FilesHelper.h>

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
    report.clear();
    if (!FilesHelper::isComtradeFile(path))
        return report.fail(1, path, 0, path + ": not the name of a .cfg, .dat or .cff file");
    // The readers are about to replace the records and samples the views
    // refer to: drop the views first, rebuild them only on success.
    analogChannels.clear();
    binaryChannels.clear();

    const int result = _loadCfgDat(path, options);
    loaded = result == 0;
    if (result != 0)
        return result;

    fileName = path;
    duration = cfg.allRatesNonZero ? cfg.duration : dat.lastSampleTime;
    _initChannels();
    return 0;
}

void Comtrade::_setCfgDatFileNames(const std::string& path)
{
    cfgFileName = FilesHelper::cfgFileName(path);
    datFileName = FilesHelper::datFileName(path);
}

int Comtrade::_loadCfgDat(const std::string& path, const LoadOptions& options)
{
    _setCfgDatFileNames(path);
    const int result = cfg.load(cfgFileName, options);
    report = cfg.report;
    if (result == 4) {
        const int datResult = dat.load(datFileName);
        report.result = datResult;
        report.message = dat.report.message;
        report.file = dat.report.file;
        report.line = dat.report.line;
        report.missingValues = dat.report.missingValues;
        report.warnings.insert(report.warnings.end(), dat.report.warnings.begin(),
                               dat.report.warnings.end());
        if (datResult == 0)
            return 0;
    }
    // Samples decoded with the previous configuration, or of the previous
    // data file, mean nothing now (on 5 the data reader keeps them).
    dat.samples.clear();
    dat.lastSampleTime = -1.0;
    return report.result;
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
