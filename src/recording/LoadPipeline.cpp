#include "recording/LoadPipeline.h"
#include "recording/CombinedFile.h"
#include "support/ResultCode.h"
#include "support/StreamWindow.h"

#include <KivComtradeLib/Converters.h>
#include <KivComtradeLib/FilesHelper.h>
#include <KivComtradeLib/KivCommon.h>

#include <exception>
#include <fstream>
#include <iterator>
#include <sstream>

namespace KivComtradeLib {

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

// The header and information files beside a .cfg/.dat pair, when there are.
void readTextFiles(const std::string& path, RecordingFiles& files, LoadReport& report)
{
    const std::string base = FilesHelper::getfileNameWithoutExtension(path);
    try {
        files.headerText = readTextFile(base + ".hdr");
        files.informationText = readTextFile(base + ".inf");
    } catch (const std::exception&) {
        report.warn(base + ".hdr/.inf: cannot be read");
    }
}

// A combined file: its CFG section through Cfg::load, its DAT section through
// the caller's reader, its HDR and INF sections as texts.
int loadCombined(const std::string& path, const LoadOptions& options, Cfg& cfg, RecordingFiles& files,
                 LoadReport& report, const DataReaderFunction& readData)
{
    std::ifstream file = Kiv::openInputFileUTF8Name(path, std::ios_base::binary);
    const long long length = file.is_open() ? FilesHelper::fileLength64(file) : -1;
    if (length < 0)
        return report.fail(kBadConfiguration, path, 0, path + ": cannot be read");
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
        return report.fail(kBadConfiguration, path, 0, path + ": no CFG section");
    file.clear();
    file.seekg(static_cast<std::streamoff>(cfgSection->offset), std::ios_base::beg);
    int result = kBadConfiguration;
    {
        StreamWindow window(file, cfgSection->length);
        std::istream cfgStream(&window);
        result = cfg.load(cfgStream, path, options);
    }
    report = std::move(cfg.report);
    if (report.line != 0)
        report.line += cfgSection->line; // lines of the file, not of the section
    if (result != kConfigurationRead)
        return result;

    const CombinedFile::Section* datSection = find(CombinedFile::Kind::Dat);
    if (datSection == nullptr)
        return report.fail(kNoData, path, 0, path + ": no DAT section");
    const CombinedFile::Header& header = datSection->header;
    if (header.hasType && header.type != cfg.dataFileType)
        return report.fail(kBadData, path, datSection->line,
                           path + ": the DAT section is " + header.typeWord + " but the CFG section says " +
                               Converters::dataFileTypeKeyword(cfg.dataFileType));
    if (!header.typeWord.empty() && !header.hasType)
        report.warn(path + ": DAT section of unknown type '" + header.typeWord + "' read as the CFG section's type");
    const unsigned long long available = static_cast<unsigned long long>(length) - datSection->offset;
    if (header.hasCount && header.count > available)
        return report.fail(kBadData, path, datSection->line,
                           path + ": the DAT section announces " + std::to_string(header.count) + " bytes, " +
                               std::to_string(available) + " follow its header");

    files.dataOffset = datSection->offset;
    files.dataLength = static_cast<long long>(datSection->length);
    file.clear();
    file.seekg(static_cast<std::streamoff>(datSection->offset), std::ios_base::beg);
    {
        StreamWindow window(file, datSection->length);
        std::istream section(&window);
        result = readData(section, static_cast<long long>(datSection->length), path, report);
    }
    if (report.line != 0)
        report.line += datSection->line; // lines of the file, not of the section
    if (result != kLoaded)
        return result;

    if (const CombinedFile::Section* hdr = find(CombinedFile::Kind::Hdr))
        files.headerText = CombinedFile::text(file, *hdr);
    if (const CombinedFile::Section* inf = find(CombinedFile::Kind::Inf))
        files.informationText = CombinedFile::text(file, *inf);
    return kLoaded;
}

int loadFiles(const std::string& path, const LoadOptions& options, Cfg& cfg, RecordingFiles& files,
              LoadReport& report, const DataReaderFunction& readData)
{
    files = RecordingFiles();
    files.cfgFileName = FilesHelper::cfgFileName(path);
    files.datFileName = FilesHelper::datFileName(path);
    // A .cff with no .cfg beside it is a combined file: everything is in it.
    if (FilesHelper::isCffFile(path) && !Kiv::fileExist(files.cfgFileName)) {
        cfg = Cfg();
        if (!Kiv::fileExist(path))
            return report.fail(kNoConfiguration, path, 0, path + ": no such file, nor " + files.cfgFileName);
        files.cfgFileName = files.datFileName = path;
        try {
            return loadCombined(path, options, cfg, files, report, readData);
        } catch (const std::exception&) {
            // No memory for a section's text, for instance.
            return report.fail(kBadConfiguration, path, 0, path + ": cannot be read");
        }
    }
    const int cfgResult = cfg.load(files.cfgFileName, options);
    report = std::move(cfg.report);
    if (cfgResult != kConfigurationRead)
        return cfgResult;
    const int result = readDataFile(files.datFileName, cfg, report, readData);
    if (result == kLoaded)
        readTextFiles(path, files, report);
    return result;
}

} // namespace

void takeDataReport(LoadReport& report, LoadReport&& data)
{
    report.message = std::move(data.message);
    report.file = std::move(data.file);
    report.line = data.line;
    report.missingValues = data.missingValues;
    report.warnings.insert(report.warnings.end(), std::make_move_iterator(data.warnings.begin()),
                           std::make_move_iterator(data.warnings.end()));
    data.clear();
}

int checkRecordingName(const std::string& path, LoadReport& report)
{
    report.clear();
    if (!FilesHelper::isComtradeFile(path))
        return report.fail(kNotARecordingName, path, 0, path + ": not the name of a .cfg, .dat or .cff file");
    return kLoaded;
}

int loadRecording(const std::string& path, const LoadOptions& options, Cfg& cfg, RecordingFiles& files,
                  LoadReport& report, const DataReaderFunction& readData)
{
    report.clear();
    report.result = loadFiles(path, options, cfg, files, report, readData);
    return report.result;
}

} // namespace KivComtradeLib
