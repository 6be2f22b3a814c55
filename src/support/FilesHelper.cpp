#include <KivComtradeLib/Constants.h>
#include <KivComtradeLib/FilesHelper.h>
#include <KivComtradeLib/StringHelper.h>

#include <exception>
#include <limits>

namespace KivComtradeLib {

std::string FilesHelper::getFileExtension(const std::string& name)
{
    const auto dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string FilesHelper::getfileNameWithoutExtension(const std::string& name)
{
    const auto dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

bool FilesHelper::isCfgFile(const std::string& name)
{
    return StringHelper::toLower(getFileExtension(name)) == Constants::CfgExt;
}

bool FilesHelper::isDatFile(const std::string& name)
{
    return StringHelper::toLower(getFileExtension(name)) == Constants::DatExt;
}

bool FilesHelper::isCffFile(const std::string& name)
{
    return StringHelper::toLower(getFileExtension(name)) == Constants::CffExt;
}

bool FilesHelper::isComtradeFile(const std::string& name)
{
    return isCfgFile(name) || isDatFile(name) || isCffFile(name);
}

std::string FilesHelper::cfgFileName(const std::string& name)
{
    return isCfgFile(name) ? name : getfileNameWithoutExtension(name) + Constants::CfgExt;
}

std::string FilesHelper::datFileName(const std::string& name)
{
    return isDatFile(name) ? name : getfileNameWithoutExtension(name) + Constants::DatExt;
}

long long FilesHelper::fileLength64(std::istream& stream)
{
    try {
        const std::streampos here = stream.tellg();
        if (here == std::streampos(-1))
            return -1;
        stream.seekg(0, std::ios_base::end);
        const std::streampos end = stream.tellg();
        stream.seekg(here, std::ios_base::beg);
        if (end == std::streampos(-1))
            return -1;
        return static_cast<long long>(end);
    } catch (const std::exception&) {
        return -1;
    }
}

// Lengths that do not fit the int of this interface are reported as a failure
// rather than truncated to their low 32 bits (which could look like a valid,
// smaller file).
static int toIntLength(long long length)
{
    if (length < 0 || length > std::numeric_limits<int>::max())
        return -1;
    return static_cast<int>(length);
}

int FilesHelper::fileLenght(std::ifstream& stream)
{
    return toIntLength(fileLength64(stream));
}

int FilesHelper::fileLenght(const std::string& name)
{
    try {
        std::ifstream stream(name, std::ios_base::in);
        return toIntLength(fileLength64(stream));
    } catch (const std::exception&) {
        return -1;
    }
}

bool FilesHelper::isFileExist(const std::string& name)
{
    std::ifstream stream(name, std::ios_base::in);
    const bool open = stream.is_open();
    stream.close();
    return open;
}

} // namespace KivComtradeLib
