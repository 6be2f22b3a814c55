#pragma once
// The result codes of a load as the ints the readers return, named after the
// public LoadResult (one table for both).

#include <KivComtradeLib/LoadResult.h>

#include <string>

namespace KivComtradeLib {

constexpr int kLoaded = static_cast<int>(LoadResult::Success);
constexpr int kNotARecordingName = static_cast<int>(LoadResult::NotARecordingName);
constexpr int kNoConfiguration = static_cast<int>(LoadResult::NoConfigFile);
constexpr int kBadConfiguration = static_cast<int>(LoadResult::BadConfigFile);
constexpr int kConfigurationRead = static_cast<int>(LoadResult::ConfigRead);
constexpr int kNoData = static_cast<int>(LoadResult::NoDataFile);
constexpr int kBadData = static_cast<int>(LoadResult::BadDataFile);
constexpr int kBadSelection = static_cast<int>(LoadResult::BadSelection);

// The sentence for a path that holds a NUL byte (result 1). The C interface
// would end the name at the NUL: "/etc/passwd\0.cfg" must not open
// /etc/passwd, so such a path is refused before anything is opened.
inline bool holdsNul(const std::string& path) { return path.find('\0') != std::string::npos; }
inline std::string nulPathSentence(const std::string& path)
{
    return path.substr(0, path.find('\0')) + "\\0...: the path holds a NUL byte, which no file name can";
}

} // namespace KivComtradeLib
