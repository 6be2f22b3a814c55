#pragma once
// The result codes of a load as the ints the readers return, named after the
// public LoadResult (one table for both).

#include <KivComtradeLib/LoadResult.h>

namespace KivComtradeLib {

constexpr int kLoaded = static_cast<int>(LoadResult::Success);
constexpr int kNotARecordingName = static_cast<int>(LoadResult::NotARecordingName);
constexpr int kNoConfiguration = static_cast<int>(LoadResult::NoConfigFile);
constexpr int kBadConfiguration = static_cast<int>(LoadResult::BadConfigFile);
constexpr int kConfigurationRead = static_cast<int>(LoadResult::ConfigRead);
constexpr int kNoData = static_cast<int>(LoadResult::NoDataFile);
constexpr int kBadData = static_cast<int>(LoadResult::BadDataFile);
constexpr int kBadSelection = static_cast<int>(LoadResult::BadSelection);

} // namespace KivComtradeLib
