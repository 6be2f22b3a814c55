#include "data/DataReader.h"
#include "recording/CombinedFile.h"
#include "support/StreamWindow.h"

#include <KivComtradeLib/ColumnarRecording.h>
#include <KivComtradeLib/FilesHelper.h>
#include <KivComtradeLib/KivCommon.h>

#include <exception>
#include <fstream>

namespace KivComtradeLib {

namespace {

// The data report's outcome, after the configuration's warnings.
void mergeDataReport(LoadReport& report, const LoadReport& data)
{
    report.result = data.result;
    report.message = data.message;
    report.file = data.file;
    report.line = data.line;
    report.missingValues = data.missingValues;
    report.warnings.insert(report.warnings.end(), data.warnings.begin(), data.warnings.end());
}

// A combined .cff: the CFG section through Cfg::load, the DAT section
// decoded into the arrays; the same checks and sentences as Comtrade's.
int loadCombined(ColumnarRecording& rec, const std::string& path, const LoadOptions& options, ColumnSink& sink)
{
    LoadReport& report = rec.report;
    std::ifstream file = Kiv::openInputFileUTF8Name(path, std::ios_base::binary);
    const long long length = file.is_open() ? FilesHelper::fileLength64(file) : -1;
    if (length < 0)
        return report.fail(3, path, 0, path + ": cannot be read");
    const std::vector<CombinedFile::Section> sections = CombinedFile::scan(file, static_cast<unsigned long long>(length));
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
        result = rec.cfg.load(cfgStream, path, options);
    }
    report = rec.cfg.report;
    if (report.line != 0)
        report.line += cfgSection->line; // lines of the file, not of the section
    if (result != 4)
        return result;

    const CombinedFile::Section* datSection = find(CombinedFile::Kind::Dat);
    if (datSection == nullptr)
        return report.fail(5, path, 0, path + ": no DAT section");
    const CombinedFile::Header& header = datSection->header;
    if (header.hasType && header.type != rec.cfg.dataFileType) {
        const char* const keywords[] = {"ASCII", "BINARY", "BINARY32", "FLOAT32"};
        return report.fail(6, path, datSection->line,
                           path + ": the DAT section is " + header.typeWord + " but the CFG section says " +
                               keywords[static_cast<int>(rec.cfg.dataFileType) & 3]);
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
    StreamWindow window(file, datSection->length);
    std::istream section(&window);
    LoadReport data;
    const int datResult =
        readDataStream(section, static_cast<long long>(datSection->length), rec.cfg, sink, data, path);
    mergeDataReport(report, data);
    if (report.line != 0 && datSection->line != 0)
        report.line += datSection->line;
    return datResult;
}

} // namespace

int ColumnarRecording::load(const std::string& path)
{
    return load(path, LoadOptions());
}

// The configuration through Cfg::load, then the data file decoded straight
// into the arrays by the decoders Dat uses (same rules, same report): no
// Sample is built, and the arrays are sized once.
int ColumnarRecording::load(const std::string& path, const LoadOptions& options)
{
    report.clear();
    if (!FilesHelper::isComtradeFile(path))
        return report.fail(1, path, 0, path + ": not the name of a .cfg, .dat or .cff file");
    cfgFileName = FilesHelper::cfgFileName(path);
    datFileName = FilesHelper::datFileName(path);
    count = 0;
    std::vector<double>().swap(time);
    std::vector<double>().swap(analog);
    std::vector<std::uint8_t>().swap(status);
    ColumnSink sink(cfg, time, analog, status);

    int result = 0;
    if (FilesHelper::isCffFile(path) && !Kiv::fileExist(cfgFileName)) {
        // A .cff with no .cfg beside it is a combined file.
        cfg = Cfg();
        cfgFileName = datFileName = path;
        if (!Kiv::fileExist(path))
            return report.fail(2, path, 0, path + ": no such file, nor " + FilesHelper::cfgFileName(path));
        try {
            result = loadCombined(*this, path, options, sink);
        } catch (const std::exception&) {
            result = report.fail(3, path, 0, path + ": cannot be read");
        }
    } else {
        const int cfgResult = cfg.load(cfgFileName, options);
        report = cfg.report;
        if (cfgResult != 4)
            return cfgResult;
        LoadReport data;
        if (!Kiv::fileExist(datFileName)) {
            result = data.fail(5, datFileName, 0, datFileName + ": no such data file");
        } else {
            try {
                const bool binary = cfg.dataFileType != Enums::Ascii;
                std::ifstream stream = Kiv::openInputFileUTF8Name(
                    datFileName, binary ? std::ios_base::binary : std::ios_base::in);
                if (!stream.is_open() || stream.bad())
                    result = data.fail(6, datFileName, 0, datFileName + ": cannot be opened");
                else
                    result = readDataStream(stream, FilesHelper::fileLength64(stream), cfg, sink, data, datFileName);
            } catch (const std::exception& e) {
                result = data.fail(6, datFileName, 0, datFileName + ": cannot be read (" + e.what() + ")");
            }
        }
        mergeDataReport(report, data);
    }
    if (result != 0) {
        sink.drop();
        return result;
    }
    count = sink.count();
    fileName = path;
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
