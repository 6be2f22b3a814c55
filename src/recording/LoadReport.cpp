#include <KivComtradeLib/LoadReport.h>

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

} // namespace KivComtradeLib
