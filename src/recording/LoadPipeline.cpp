#include "recording/LoadPipeline.h"
#include "encoding/TextEncoding.h"
#include "recording/CombinedFile.h"
#include "support/MemoryStream.h"
#include "support/ResultCode.h"
#include "support/StreamWindow.h"
#include "support/TextLine.h"

#include <KivComtradeLib/Converters.h>
#include <KivComtradeLib/FilesHelper.h>
#include <KivComtradeLib/KivCommon.h>

#include <exception>
#include <fstream>
#include <iterator>
#include <vector>

namespace KivComtradeLib {

namespace {

void warnLongLine(LoadReport& report, const std::string& name, unsigned long long longLine)
{
    if (longLine != 0)
        report.warn(name + ": line " + std::to_string(longLine) + " is longer than " +
                    std::to_string(kMaxLineLength) + " bytes; the text is left out");
}

// A header or information text; one with a line past the length limit is
// left out, with a warning (the texts are never required).
std::string readTextFile(const std::string& name, LoadReport& report)
{
    if (!Kiv::fileExist(name))
        return std::string();
    std::ifstream file = Kiv::openInputFileUTF8Name(name, std::ios_base::binary);
    unsigned long long longLine = 0;
    std::string text = CombinedFile::readText(file, longLine);
    warnLongLine(report, name, longLine);
    return text;
}

// A recording's header and information texts as read, before the
// configuration is: their lines help decide its encoding, and they are
// converted with it. Warnings about them wait in `report` until the load is
// done, to follow the data's.
struct CompanionTexts {
    std::string header;
    std::string information;
    LoadReport report;

    std::vector<std::string> texts() const { return {header, information}; }
};

// The header and information files beside a .cfg/.dat pair, when there are.
void readTextFiles(const std::string& path, CompanionTexts& texts)
{
    const std::string base = FilesHelper::getfileNameWithoutExtension(path);
    try {
        texts.header = readTextFile(base + ".hdr", texts.report);
        texts.information = readTextFile(base + ".inf", texts.report);
    } catch (const std::exception&) {
        texts.header.clear();
        texts.information.clear();
        texts.report.warn(base + ".hdr/.inf: cannot be read");
    }
}

// One companion text in UTF-8, line by line in the encoding the
// configuration was read in (report.encoding), with the same rule for lines
// that are valid UTF-8 already.
std::string companionToUtf8(const std::string& text, const std::string& name, LoadReport& report)
{
    TextEncoding::Encoding encoding = TextEncoding::Encoding::Utf8;
    if (text.empty() || !TextEncoding::fromName(report.encoding, encoding))
        return text;
    std::string utf8;
    utf8.reserve(text.size());
    std::size_t replaced = 0;
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t end = text.find('\n', begin);
        if (end == std::string::npos)
            end = text.size();
        utf8 += TextEncoding::toUtf8(encoding, report.encodingDetected, text.substr(begin, end - begin), replaced);
        if (end < text.size())
            utf8 += '\n';
        begin = end + 1;
    }
    if (replaced != 0)
        report.warn(name + ": " + std::to_string(replaced) + " byte(s) are not " + report.encoding +
                    " text and read as U+FFFD");
    return utf8;
}

// After a successful load: the texts, in UTF-8, into `files`, and their
// warnings after the rest.
void keepTexts(CompanionTexts& texts, const std::string& headerName, const std::string& informationName,
               RecordingFiles& files, LoadReport& report)
{
    for (std::string& warning : texts.report.warnings)
        report.warn(std::move(warning));
    files.headerText = companionToUtf8(texts.header, headerName, report);
    files.informationText = companionToUtf8(texts.information, informationName, report);
}

// A combined file: its CFG section through Cfg::load, its DAT section through
// the caller's reader, its HDR and INF sections as texts.
// `file` holds `length` bytes (-1: unreadable), named `path`.
int loadCombinedStream(std::istream& file, long long length, const std::string& path, const LoadOptions& options,
                       Cfg& cfg, RecordingFiles& files, LoadReport& report, const DataReaderFunction& readData)
{
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
    CompanionTexts texts;
    unsigned long long longLine = 0;
    if (const CombinedFile::Section* hdr = find(CombinedFile::Kind::Hdr)) {
        texts.header = CombinedFile::text(file, *hdr, longLine);
        warnLongLine(texts.report, path + " (HDR section)", longLine);
    }
    if (const CombinedFile::Section* inf = find(CombinedFile::Kind::Inf)) {
        texts.information = CombinedFile::text(file, *inf, longLine);
        warnLongLine(texts.report, path + " (INF section)", longLine);
    }
    file.clear();
    file.seekg(static_cast<std::streamoff>(cfgSection->offset), std::ios_base::beg);
    int result = kBadConfiguration;
    {
        StreamWindow window(file, cfgSection->length);
        std::istream cfgStream(&window);
        result = cfg.load(cfgStream, path, options, texts.texts());
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
    // Some converters write the records as quoted base64 lines; their layout
    // is nowhere defined, and read as binary they give wild values.
    if (header.base64)
        return report.fail(kBadData, path, datSection->line,
                           path + ": the DAT section is base64 text, which COMTRADE 1991-2013 does not define");
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
    keepTexts(texts, path + " (HDR section)", path + " (INF section)", files, report);
    return kLoaded;
}

int loadFiles(const std::string& path, const LoadOptions& options, Cfg& cfg, RecordingFiles& files,
              LoadReport& report, const DataReaderFunction& readData)
{
    files = RecordingFiles();
    files.cfgFileName = FilesHelper::cfgFileName(path);
    files.datFileName = FilesHelper::datFileName(path);
    // A .cff with no .cfg beside it is a combined file: everything is in it.
    if (FilesHelper::isCffFile(path) && Kiv::fileKind(files.cfgFileName) == Kiv::FileKind::Missing) {
        cfg = Cfg();
        if (Kiv::fileKind(path) == Kiv::FileKind::Other)
            return report.fail(kNoConfiguration, path, 0, path + ": not a regular file");
        if (!Kiv::fileExist(path))
            return report.fail(kNoConfiguration, path, 0, path + ": no such file, nor " + files.cfgFileName);
        files.cfgFileName = files.datFileName = path;
        try {
            std::ifstream file = Kiv::openInputFileUTF8Name(path, std::ios_base::binary);
            const long long length = file.is_open() ? FilesHelper::fileLength64(file) : -1;
            return loadCombinedStream(file, length, path, options, cfg, files, report, readData);
        } catch (const std::exception&) {
            // No memory for a section's text, for instance.
            return report.fail(kBadConfiguration, path, 0, path + ": cannot be read");
        }
    }
    CompanionTexts texts;
    readTextFiles(path, texts);
    const int cfgResult = cfg.load(files.cfgFileName, options, texts.texts());
    report = std::move(cfg.report);
    if (cfgResult != kConfigurationRead)
        return cfgResult;
    const int result = readDataFile(files.datFileName, cfg, report, readData);
    if (result == kLoaded) {
        const std::string base = FilesHelper::getfileNameWithoutExtension(path);
        keepTexts(texts, base + ".hdr", base + ".inf", files, report);
    }
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
    if (holdsNul(path))
        return report.fail(kNotARecordingName, path, 0, nulPathSentence(path));
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

int loadRecordingFromMemory(const std::string& name, const std::string& cfgText, const char* data,
                            std::size_t size, const LoadOptions& options, Cfg& cfg, RecordingFiles& files,
                            LoadReport& report, const DataReaderFunction& readData)
{
    report.clear();
    files = RecordingFiles();
    files.cfgFileName = FilesHelper::cfgFileName(name);
    files.datFileName = FilesHelper::datFileName(name);
    MemoryStream cfgStream(cfgText.data(), cfgText.size());
    int result = cfg.load(cfgStream, files.cfgFileName, options);
    report = std::move(cfg.report);
    if (result == kConfigurationRead) {
        if (data == nullptr) {
            result = report.fail(kNoData, files.datFileName, 0, files.datFileName + ": no such data file");
        } else {
            try {
                MemoryStream dataStream(data, size);
                result = readData(dataStream, static_cast<long long>(size), files.datFileName, report);
            } catch (const std::exception& e) {
                result = report.fail(kBadData, files.datFileName, 0,
                                     files.datFileName + ": cannot be read (" + e.what() + ")");
            }
        }
    }
    report.result = result;
    return result;
}

int loadCombinedFromMemory(const std::string& name, const char* bytes, std::size_t size,
                           const LoadOptions& options, Cfg& cfg, RecordingFiles& files, LoadReport& report,
                           const DataReaderFunction& readData)
{
    report.clear();
    files = RecordingFiles();
    files.cfgFileName = files.datFileName = name;
    cfg = Cfg();
    try {
        MemoryStream file(bytes, size);
        report.result = loadCombinedStream(file, static_cast<long long>(size), name, options, cfg, files, report,
                                           readData);
    } catch (const std::exception&) {
        report.result = report.fail(kBadConfiguration, name, 0, name + ": cannot be read");
    }
    return report.result;
}

} // namespace KivComtradeLib
