#include "recording/CombinedFile.h"
#include "support/StreamWindow.h"

#include <KivComtradeLib/Comtrade.h>
#include <KivComtradeLib/FilesHelper.h>
#include <KivComtradeLib/KivCommon.h>

#include <exception>
#include <fstream>
#include <sstream>
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
    headerText.clear();
    informationText.clear();
    // A .cff with no .cfg beside it is a combined file: everything is in it.
    if (FilesHelper::isCffFile(path) && !Kiv::fileExist(cfgFileName)) {
        cfg = Cfg();
        if (!Kiv::fileExist(path)) {
            report.fail(2, path, 0, path + ": no such file, nor " + cfgFileName);
            return 2;
        }
        int result = 3;
        try {
            result = _loadCombined(path, options);
        } catch (const std::exception&) {
            // No memory for a section's text, for instance.
            result = report.fail(3, path, 0, path + ": cannot be read");
        }
        if (result != 0) {
            dat.samples.clear();
            dat.lastSampleTime = -1.0;
        }
        return result;
    }
    const int result = cfg.load(cfgFileName, options);
    report = cfg.report;
    if (result == 4) {
        const int datResult = dat.load(datFileName);
        _mergeDatReport(datResult);
        if (datResult == 0) {
            _readTextFiles(path);
            return 0;
        }
    }
    // Samples decoded with the previous configuration, or of the previous
    // data file, mean nothing now (on 5 the data reader keeps them).
    dat.samples.clear();
    dat.lastSampleTime = -1.0;
    return report.result;
}

void Comtrade::_mergeDatReport(int datResult)
{
    report.result = datResult;
    report.message = dat.report.message;
    report.file = dat.report.file;
    report.line = dat.report.line;
    report.missingValues = dat.report.missingValues;
    report.warnings.insert(report.warnings.end(), dat.report.warnings.begin(), dat.report.warnings.end());
}

namespace {

std::string readTextFile(const std::string& name)
{
    if (!Kiv::fileExist(name))
        return std::string();
    std::ifstream file = Kiv::openInputFileUTF8Name(name, std::ios_base::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return CombinedFile::normalisedText(bytes.str());
}

} // namespace

// The header and information files beside a .cfg/.dat pair, when there are.
void Comtrade::_readTextFiles(const std::string& path)
{
    const std::string base = FilesHelper::getfileNameWithoutExtension(path);
    try {
        headerText = readTextFile(base + ".hdr");
        informationText = readTextFile(base + ".inf");
    } catch (const std::exception&) {
        report.warn(base + ".hdr/.inf: cannot be read");
    }
}

int Comtrade::_loadCombined(const std::string& path, const LoadOptions& options)
{
    cfgFileName = path;
    datFileName = path;
    std::ifstream file = Kiv::openInputFileUTF8Name(path, std::ios_base::binary);
    const long long length = file.is_open() ? FilesHelper::fileLength64(file) : -1;
    if (length < 0)
        return report.fail(3, path, 0, path + ": cannot be read");
    const std::vector<CombinedFile::Section> sections =
        CombinedFile::scan(file, static_cast<unsigned long long>(length));
    const auto find = [&sections](CombinedFile::Kind kind) -> const CombinedFile::Section* {
        for (const CombinedFile::Section& section : sections)
            if (section.header.kind == kind)
                return &section;
        return nullptr;
    };

    const CombinedFile::Section* cfgSection = find(CombinedFile::Kind::Cfg);
    if (cfgSection == nullptr)
        return report.fail(3, path, 0, path + ": no CFG section");
    file.clear();
    file.seekg(static_cast<std::streamoff>(cfgSection->offset), std::ios_base::beg);
    int result = 3;
    {
        StreamWindow window(file, cfgSection->length);
        std::istream cfgStream(&window);
        result = cfg.load(cfgStream, path, options);
    }
    report = cfg.report;
    if (report.line != 0)
        report.line += cfgSection->line; // lines of the file, not of the section
    if (result != 4)
        return result;

    const CombinedFile::Section* datSection = find(CombinedFile::Kind::Dat);
    if (datSection == nullptr)
        return report.fail(5, path, 0, path + ": no DAT section");
    const CombinedFile::Header& header = datSection->header;
    if (header.hasType && header.type != cfg.dataFileType) {
        const char* const keywords[] = {"ASCII", "BINARY", "BINARY32", "FLOAT32"};
        return report.fail(6, path, datSection->line,
                           path + ": the DAT section is " + header.typeWord + " but the CFG section says " +
                               keywords[static_cast<int>(cfg.dataFileType) & 3]);
    }
    if (!header.typeWord.empty() && !header.hasType)
        report.warn(path + ": DAT section of unknown type '" + header.typeWord + "' read as the CFG section's type");
    const unsigned long long available = static_cast<unsigned long long>(length) - datSection->offset;
    if (header.hasCount && header.count > available)
        return report.fail(6, path, datSection->line,
                           path + ": the DAT section announces " + std::to_string(header.count) + " bytes, " +
                               std::to_string(available) + " follow its header");

    file.clear();
    file.seekg(static_cast<std::streamoff>(datSection->offset), std::ios_base::beg);
    const int datResult = dat.load(file, datSection->length, path);
    _mergeDatReport(datResult);
    if (report.line != 0 && datSection->line != 0)
        report.line += datSection->line;
    if (datResult != 0)
        return datResult;

    if (const CombinedFile::Section* hdr = find(CombinedFile::Kind::Hdr))
        headerText = CombinedFile::text(file, *hdr);
    if (const CombinedFile::Section* inf = find(CombinedFile::Kind::Inf))
        informationText = CombinedFile::text(file, *inf);
    return 0;
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
