#include <KivComtradeLib/LoadReport.h>
#include <KivComtradeLib/LoadResult.h>

namespace KivComtradeLib {

void LoadReport::clear()
{
    *this = LoadReport();
}

int LoadReport::fail(int code, const std::string& failedFile, unsigned long long failedLine,
                     const std::string& text)
{
    result = code;
    file = failedFile;
    line = failedLine;
    message = text;
    return code;
}

const char* loadResultText(LoadResult result)
{
    switch (result) {
    case LoadResult::Success:
        return "the recording is loaded";
    case LoadResult::NotARecordingName:
        return "the path is not the name of a .cfg, .dat or .cff file";
    case LoadResult::NoConfigFile:
        return "the configuration file does not exist";
    case LoadResult::BadConfigFile:
        return "the configuration file cannot be read or is invalid";
    case LoadResult::ConfigRead:
        return "the configuration file is read";
    case LoadResult::NoDataFile:
        return "the data file does not exist";
    case LoadResult::BadDataFile:
        return "the data file cannot be read or does not match the configuration";
    }
    return "unknown result code";
}

} // namespace KivComtradeLib
