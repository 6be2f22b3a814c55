#pragma once

#include <KivComtradeLib/Export.h>

#include <fstream>
#include <string>

namespace KivComtradeLib {

// Names and lengths of recording files. Names are byte strings; directory
// separators are not looked at, so the extension starts at the last '.'.
class KIVCOMTRADE_API FilesHelper {
public:
    static std::string getFileExtension(const std::string& name);
    static std::string getfileNameWithoutExtension(const std::string& name);
    static bool isCfgFile(const std::string& name);
    static bool isDatFile(const std::string& name);
    static bool isCffFile(const std::string& name);
    static bool isComtradeFile(const std::string& name);
    // `name` itself when it already has that extension (any case), else the
    // name without extension plus the lower-case extension.
    static std::string cfgFileName(const std::string& name);
    static std::string datFileName(const std::string& name);
    // Length in bytes, the read position left as it was; -1 on failure and
    // for a length that does not fit in an int.
    static int fileLenght(std::ifstream& stream);
    static int fileLenght(const std::string& name);
    // 64-bit length of the file behind an open stream, the read position left
    // as it was; -1 on failure.
    static long long fileLength64(std::istream& stream);
    static bool isFileExist(const std::string& name);
};

} // namespace KivComtradeLib
