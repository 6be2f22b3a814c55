#pragma once

#include <KivComtradeLib/Cfg.h>
#include <KivComtradeLib/ChannelColumn.h>
#include <KivComtradeLib/Export.h>
#include <KivComtradeLib/LoadOptions.h>
#include <KivComtradeLib/LoadReport.h>

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace KivComtradeLib {

struct RecordingFiles; // what the load pipeline found beside the configuration

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
    // Seconds, time of the last record read (Comtrade::duration's rule;
    // cfg.duration is the announced one); -1.0 before the first successful load.
    double duration = -1.0;
    // Set by every load that gets past the name check: true when it returned 0.
    bool loaded = false;
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
    // Comtrade::headerText and informationText: the .hdr/.inf files beside
    // the pair, or the .cff's sections, in UTF-8; empty when there are none.
    std::string headerText;
    std::string informationText;

    int load(const std::string& path);
    int load(const std::string& path, const LoadOptions& options);

    // The same loads from bytes in memory (object storage, archives,
    // uploads), with the same rules, result codes and report. A .cfg/.dat
    // pair: `cfgText` holds the configuration file's bytes and `data`
    // (`size` bytes) the data file's; nullptr means there is no data file
    // (code 5). `name`, a .cfg name, stands for the files in the report and
    // in cfgFileName/datFileName (the .dat name derived from it). A combined
    // file: `bytes` holds the whole .cff, named `name`. No file is opened,
    // and the buffers are not kept after the call.
    int loadFromMemory(const std::string& cfgText, const char* data, std::size_t size,
                       const LoadOptions& options = LoadOptions(), const std::string& name = "memory.cfg");
    int loadCombinedFromMemory(const char* bytes, std::size_t size, const LoadOptions& options = LoadOptions(),
                               const std::string& name = "memory.cff");

    // Row of analog channel `channel` (its configuration index; count
    // values); nullptr when out of range or not read.
    const double* analogRow(std::size_t channel) const;
    const std::uint8_t* statusRow(std::size_t channel) const;

    // Channel views over the arrays, with the rules (and the code) of
    // AnalogChannel and BinaryChannel: values, point series, plot traces.
    // Out of range: a column of no samples. Valid until the next load.
    AnalogColumn analogColumn(std::size_t channel) const;
    StatusColumn statusColumn(std::size_t channel) const;

    // Library time of the trigger: the first sample's time plus
    // cfg.triggerOffset, or the first sample's time when the configuration
    // gives no valid trigger; 0.0 without samples. The host tools' time axis
    // (and Python's time_from_trigger) count from it.
    double triggerTime() const;

private:
    // `fromFiles`: the pipeline reads files (a selective load may map the
    // data file); false for loads from memory.
    // The names and texts the pipeline found, and whether it loaded.
    void _takeFiles(RecordingFiles& files, int result);
    template <class Pipeline>
    int _load(const std::string& name, const LoadOptions& options, bool fromFiles, Pipeline&& pipeline);
    template <class Pipeline>
    int _loadSelection(const std::string& name, const LoadOptions& options, bool fromFiles, Pipeline& pipeline);
    // A selective load: the time of the recording's first record (time[0]
    // is the window's); NaN after a whole load.
    double _firstSampleTime = std::numeric_limits<double>::quiet_NaN();

    // The binary data file a whole load of a .cfg/.dat pair read, as it was
    // then, and the arrays and coefficients the load made from it: while both
    // still hold, Writer copies the file's raw data values instead of
    // recovering them from the arrays.
    struct DataFileStamp {
        bool valid = false;
        std::string path;
        unsigned long long device = 0, inode = 0, size = 0;
        long long modified = 0, changed = 0; // ns since the epoch
        int type = 0;
        std::uint32_t recordSize = 0;
        std::size_t count = 0;
        const void* time = nullptr;
        const void* analog = nullptr;
        const void* status = nullptr;
        std::vector<double> coefficients; // a, b and multiplier of each analog channel
    };
    DataFileStamp _dataFile;
    void _stampDataFile(long long loadStart);
    friend class Writer;
};

} // namespace KivComtradeLib
