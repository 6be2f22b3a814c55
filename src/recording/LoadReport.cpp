#include <KivComtradeLib/LoadOptions.h>
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
    // In the order of LoadResult's values.
    static const char* const kSentences[] = {
        "the recording is loaded",
        "the path is not the name of a .cfg, .dat or .cff file",
        "the configuration file does not exist",
        "the configuration file cannot be read or is invalid",
        "the configuration file is read",
        "the data file does not exist",
        "the data file cannot be read or does not match the configuration",
        "the channels or the time window asked for are not in the recording",
    };
    const int code = static_cast<int>(result);
    return code >= 0 && code < static_cast<int>(sizeof kSentences / sizeof kSentences[0]) ? kSentences[code]
                                                                                        : "unknown result code";
}

ValueSide valueSideNamed(const std::string& name)
{
    return name == "primary" ? ValueSide::Primary : name == "recorded" ? ValueSide::Recorded : ValueSide::Secondary;
}

} // namespace KivComtradeLib
