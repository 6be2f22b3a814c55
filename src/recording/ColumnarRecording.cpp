#include "data/DataReader.h"

#include <KivComtradeLib/ColumnarRecording.h>
#include <KivComtradeLib/FilesHelper.h>
#include <KivComtradeLib/KivCommon.h>

#include <exception>
#include <fstream>

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
    report.clear();
    if (!FilesHelper::isComtradeFile(path))
        return report.fail(1, path, 0, path + ": not the name of a .cfg, .dat or .cff file");
    cfgFileName = FilesHelper::cfgFileName(path);
    datFileName = FilesHelper::datFileName(path);
    count = 0;
    std::vector<double>().swap(time);
    std::vector<double>().swap(analog);
    std::vector<std::uint8_t>().swap(status);

    const int cfgResult = cfg.load(cfgFileName, options);
    report = cfg.report;
    if (cfgResult != 4)
        return cfgResult;

    LoadReport datReport;
    ColumnSink sink(cfg, time, analog, status);
    int result = 0;
    if (!Kiv::fileExist(datFileName)) {
        result = datReport.fail(5, datFileName, 0, datFileName + ": no such data file");
    } else {
        try {
            const bool binary = cfg.dataFileType != Enums::Ascii;
            std::ifstream stream = Kiv::openInputFileUTF8Name(
                datFileName, binary ? std::ios_base::binary : std::ios_base::in);
            if (!stream.is_open() || stream.bad())
                result = datReport.fail(6, datFileName, 0, datFileName + ": cannot be opened");
            else
                result = readDataStream(stream, FilesHelper::fileLength64(stream), cfg, sink, datReport, datFileName);
        } catch (const std::exception& e) {
            sink.drop();
            result = datReport.fail(6, datFileName, 0, datFileName + ": cannot be read (" + e.what() + ")");
        }
    }
    report.result = result;
    report.message = datReport.message;
    report.file = datReport.file;
    report.line = datReport.line;
    report.missingValues = datReport.missingValues;
    report.warnings.insert(report.warnings.end(), datReport.warnings.begin(), datReport.warnings.end());
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
