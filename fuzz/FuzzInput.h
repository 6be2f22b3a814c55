#pragma once
// The invariant checker the fuzz targets share: a broken invariant aborts (so
// libFuzzer keeps the input); values compare by their bytes (NaN equals NaN);
// input files go to a private folder removed at exit.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace KivFuzz {

inline void check(bool ok, const char* what)
{
    if (!ok) std::fprintf(stderr, "invariant broken: %s\n", what), std::abort();
}

template <class T>
bool sameBytes(const std::vector<T>& a, const std::vector<T>& b)
{
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
}

inline const std::string& folder()
{
    static const struct Folder {
        std::string path = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/kivfuzz-XXXXXX";
        Folder() { check(mkdtemp(&path[0]) != nullptr, "cannot make a folder"); }
        ~Folder() { std::error_code ec; std::filesystem::remove_all(path, ec); }
    } f;
    return f.path;
}

// Writes `bytes` as `name` in the folder; returns its path.
inline std::string put(const std::string& name, const std::string& bytes)
{
    const std::string file = folder() + "/" + name;
    check(bool(std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes), "cannot write an input file");
    return file;
}

} // namespace KivFuzz
