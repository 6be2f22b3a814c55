#pragma once
// The result codes of a load, by name. The public interface keeps them as
// plain ints (load() returns int); inside the library they are named.

namespace KivComtradeLib {

enum ResultCode : int {
    kLoaded = 0,             // the recording is read
    kNotARecordingName = 1,  // the path's extension is none of .cfg, .dat, .cff
    kNoConfiguration = 2,    // the configuration file does not exist
    kBadConfiguration = 3,   // the configuration cannot be read or is invalid
    kConfigurationRead = 4,  // the configuration is read: the data file comes next
    kNoData = 5,             // the data file does not exist
    kBadData = 6,            // the data file cannot be read or does not match
    kBadSelection = 7,       // the channels or the window asked for are not in the recording
};

} // namespace KivComtradeLib
