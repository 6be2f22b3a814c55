#pragma once

#include <KivComtradeLib/Cfg.h>
#include <KivComtradeLib/Export.h>
#include <KivComtradeLib/LoadOptions.h>
#include <KivComtradeLib/LoadReport.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace KivComtradeLib {

// A recording read into contiguous arrays, one row per channel, instead of
// one Sample per record: the shape array libraries (NumPy) and large
// recordings want. Same files, rules, result codes and report as
// Comtrade::load; values are the same as Comtrade's, NaN where missing.
// The data file is decoded straight into the arrays, sized once: for a
// binary file from its length and the announced count, for a text file at
// most min(announced records, lines), compacted in place when fewer records
// decode.
//
// With a selection in LoadOptions (channels, time window) only that is read:
// the rows are the selected channels in configuration order
// (analogChannelIndices, statusChannelIndices name them), `time` holds the
// window's records on the recording's axis (seconds from the first sample)
// and firstRecord is the first one's position in the file. report.selection
// says what was read. A selection the recording cannot satisfy (an unknown
// channel, no channel, a window without a sample) gives 7.
class KIVCOMTRADE_API ColumnarRecording {
public:
    std::string fileName;            // the path given to the last successful load
    std::string cfgFileName;
    std::string datFileName;
    Cfg cfg;
    LoadReport report;
    std::size_t count = 0;           // records
    std::vector<double> time;        // seconds, `count` values
    std::vector<double> analog;      // channel c's values at [c * count, (c + 1) * count)
    std::vector<std::uint8_t> status; // channel c's states (0/1) at [c * count, (c + 1) * count)
    // Rows of a selective load: row r holds configuration channel
    // analogChannelIndices[r] (statusChannelIndices[r]); every channel in
    // order after a whole load.
    std::vector<std::size_t> analogChannelIndices;
    std::vector<std::size_t> statusChannelIndices;
    unsigned long long firstRecord = 0; // 0-based position in the file of time[0]'s record

    int load(const std::string& path);
    int load(const std::string& path, const LoadOptions& options);

    // Row of analog channel `channel` (its configuration index; count
    // values); nullptr when out of range or not read.
    const double* analogRow(std::size_t channel) const;
    const std::uint8_t* statusRow(std::size_t channel) const;

private:
    int _loadSelection(const std::string& path, const LoadOptions& options);
};

} // namespace KivComtradeLib
