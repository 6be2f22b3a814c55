#include <KivComtradeLib/KivCommon.h>

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace Kiv {

namespace {

// stat() follows symbolic links: a link to a regular file is one. A path
// with a NUL byte would be cut short by the C interface: it names nothing.
FileKind kindOf(const std::string& path)
{
    struct stat info {};
    if (path.find('\0') != std::string::npos || ::stat(path.c_str(), &info) != 0)
        return FileKind::Missing;
    return S_ISREG(info.st_mode) ? FileKind::Regular : FileKind::Other;
}

bool equalsIgnoringAsciiCase(const char* a, const std::string& b)
{
    const std::size_t n = std::strlen(a);
    if (n != b.size())
        return false;
    for (std::size_t i = 0; i < n; ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

} // namespace

std::string resolveFileName(const std::string& path)
{
    if (path.empty() || path.find('\0') != std::string::npos || kindOf(path) == FileKind::Regular)
        return path;

    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
    const std::string leaf = slash == std::string::npos ? path : path.substr(slash + 1);
    if (leaf.empty())
        return path;

    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        return path;
    std::vector<std::string> matches;
    while (const dirent* entry = ::readdir(dir)) {
        // A folder (or FIFO, device...) that happens to carry the name is no candidate.
        if (equalsIgnoringAsciiCase(entry->d_name, leaf) && kindOf(folder + entry->d_name) == FileKind::Regular)
            matches.emplace_back(entry->d_name);
    }
    ::closedir(dir);
    if (matches.empty())
        return path;
    // readdir order is arbitrary: take the first name in byte order so the
    // choice does not depend on the file system.
    const std::string& first = *std::min_element(matches.begin(), matches.end());
    return slash == std::string::npos ? first : path.substr(0, slash + 1) + first;
}

FileKind fileKind(const std::string& path)
{
    return kindOf(resolveFileName(path));
}

bool fileExist(const std::string& path)
{
    return fileKind(path) == FileKind::Regular;
}

std::ifstream openInputFileUTF8Name(const std::string& path, std::ios_base::openmode mode)
{
    // Opening a FIFO would block until a writer comes; a device may never end.
    const std::string name = resolveFileName(path);
    if (kindOf(name) != FileKind::Regular)
        return std::ifstream();
    // POSIX paths are bytes already, so a UTF-8 name needs no conversion.
    return std::ifstream(name, mode | std::ios_base::in);
}

std::istream& getTextLine(std::istream& in, std::string& line)
{
    std::getline(in, line);
    // eof() after getline means the line ended at the end of the file, not at
    // an LF: only a CR right before an LF belongs to the line end.
    if (!in.fail() && !in.eof() && !line.empty() && line.back() == '\r')
        line.pop_back();
    return in;
}

} // namespace Kiv
