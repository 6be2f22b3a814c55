#pragma once
// The result codes of a load, by name. The public interface keeps them as
// plain ints (load() returns int); inside the library they are named.

#include <string>

namespace KivComtradeLib {

enum ResultCode : int {
    kLoaded = 0,             // the recording is read
    kNotARecordingName = 1,  // the path's extension is none of .cfg, .dat, .cff
    kNoConfiguration = 2,    // the configuration file does not exist
    kBadConfiguration = 3,   // the configuration cannot be read or is invalid
    kConfigurationRead = 4,  // the configuration is read: the data file comes next
    kNoData = 5,             // the data file does not exist
    kBadData = 6,            // the data file cannot be read or does not match
};

// The sentence for a path that holds a NUL byte (result 1). The C interface
// would end the name at the NUL: "/etc/passwd\0.cfg" must not open
// /etc/passwd, so such a path is refused before anything is opened.
inline bool holdsNul(const std::string& path) { return path.find('\0') != std::string::npos; }
inline std::string nulPathSentence(const std::string& path)
{
    return path.substr(0, path.find('\0')) + "\\0...: the path holds a NUL byte, which no file name can";
}

} // namespace KivComtradeLib
