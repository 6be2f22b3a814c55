#pragma once

#include <KivComtradeLib/Export.h>

namespace KivComtradeLib {

// The result codes of a load, by name. load() returns them as int:
//   if (rec.load(path) == static_cast<int>(LoadResult::Success)) ...
// or compare with toLoadResult(rec.load(path)).
enum class LoadResult : int {
    Success = 0,           // the recording is read
    NotARecordingName = 1, // the path's extension is none of .cfg, .dat, .cff
    NoConfigFile = 2,      // the configuration file does not exist
    BadConfigFile = 3,     // the configuration cannot be read or is invalid
    ConfigRead = 4,        // the configuration is read: the data file comes next (never returned by a load)
    NoDataFile = 5,        // the data file does not exist
    BadDataFile = 6,       // the data file cannot be read or does not match
    BadSelection = 7,      // the channels or the time window asked for (LoadOptions) are not in the recording
};

// The int that load() returned, as a LoadResult (a number outside 0-7 keeps
// its value: compare it, it matches no name).
inline LoadResult toLoadResult(int code)
{
    return static_cast<LoadResult>(code);
}

// One sentence for the result, e.g. "the configuration file does not exist";
// "unknown result code" for a number outside the table.
KIVCOMTRADE_API const char* loadResultText(LoadResult result);

} // namespace KivComtradeLib
