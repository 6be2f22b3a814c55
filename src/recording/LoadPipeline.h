#pragma once
// The road of one load, shared by Comtrade (one Sample per record) and
// ColumnarRecording (arrays): the .cfg/.dat pair or the combined .cff, the
// configuration, then the data bytes handed to the caller's reader, and the
// report of it all.

#include "data/DataReader.h"

#include <KivComtradeLib/Cfg.h>
#include <KivComtradeLib/LoadOptions.h>
#include <KivComtradeLib/LoadReport.h>

#include <cstddef>
#include <string>

namespace KivComtradeLib {

// What a load found besides the configuration.
struct RecordingFiles {
    std::string cfgFileName;
    std::string datFileName;
    std::string headerText;       // .hdr file or HDR section, LF line ends
    std::string informationText;  // .inf file or INF section
    // Where the data bytes are in datFileName: the DAT section of a .cff,
    // else the whole file (length -1).
    unsigned long long dataOffset = 0;
    long long dataLength = -1;
};

// 0 when `path` names a recording file (.cfg, .dat or .cff in any letter
// case), else 1 with the report's sentence; nothing else is touched.
int checkRecordingName(const std::string& path, LoadReport& report);

// Loads the recording named by `path` (a .cfg, .dat or .cff name, already
// checked): `cfg` and `files` are filled, the data goes through `readData`.
// The load's one report is built in `report`: the configuration's is moved
// in (cfg.report is left empty), and `readData` writes into it after the
// configuration's warnings. Returns the load's result code.
// For a `readData` whose reader keeps a report of its own (Dat): moves that
// report's outcome and warnings into the load's `report`.
void takeDataReport(LoadReport& report, LoadReport&& data);

// Seconds of the last sample: the time of the last record read
// (`lastSampleTime`, -1.0 when none). The data may hold fewer records than
// announced, so cfg.duration (the announced one) is not it; the data reader
// warns when the two differ.
inline double recordingDuration(const Cfg& /*cfg*/, double lastSampleTime)
{
    return lastSampleTime;
}

int loadRecording(const std::string& path, const LoadOptions& options, Cfg& cfg, RecordingFiles& files,
                  LoadReport& report, const DataReaderFunction& readData);

// The same load from memory, with the same rules, codes and sentences. A
// .cfg/.dat pair: `cfgText` is the configuration file's bytes, `data` (`size`
// bytes; nullptr: no data file, code 5) the data file's, and `name` (a .cfg
// name) stands for the files in the report. A combined file: `bytes` are the
// .cff's, named `name`.
int loadRecordingFromMemory(const std::string& name, const std::string& cfgText, const char* data,
                            std::size_t size, const LoadOptions& options, Cfg& cfg, RecordingFiles& files,
                            LoadReport& report, const DataReaderFunction& readData);
int loadCombinedFromMemory(const std::string& name, const char* bytes, std::size_t size,
                           const LoadOptions& options, Cfg& cfg, RecordingFiles& files, LoadReport& report,
                           const DataReaderFunction& readData);

} // namespace KivComtradeLib
