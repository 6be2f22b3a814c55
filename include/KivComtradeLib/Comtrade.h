#pragma once

#include <KivComtradeLib/AnalogChannel.h>
#include <KivComtradeLib/BinaryChannel.h>
#include <KivComtradeLib/Cfg.h>
#include <KivComtradeLib/Dat.h>
#include <KivComtradeLib/Export.h>
#include <KivComtradeLib/LoadOptions.h>
#include <KivComtradeLib/LoadReport.h>

#include <string>
#include <vector>

namespace KivComtradeLib {

// One recording: load it by the path of its .cfg, .dat or .cff file (extension
// in any letter case), then read every channel through the views.
//
// A .cff path reads the .cfg/.dat pair of the same base name when its .cfg
// exists; otherwise the .cff itself is read as a combined file: its CFG
// section, its DAT section (any of the four types; a DAT header that names no
// type takes the CFG section's), and the text of its HDR and INF sections.
// cfgFileName and datFileName are then both the .cff path. A .cff without a
// CFG section gives 3, without a DAT section 5, with a DAT section shorter
// than its header's byte count or of another type than the CFG section's, 6;
// the report says which.
//
// Result codes of load():
//   0 loaded
//   1 the path's extension is none of .cfg, .dat, .cff (nothing changes)
//   2 the configuration file does not exist
//   3 the configuration file cannot be read or is invalid
//   5 the data file does not exist
//   6 the data file cannot be read, does not match the configuration, or a
//     record does not decode
//
// Views refer into this object's own `cfg` and `dat`. Every load that gets past
// the name check drops them before reading; they are rebuilt only on success.
// Copying or moving a Comtrade is safe: the new object rebinds its `dat` and
// samples to its own `cfg` and rebuilds its views over its own data (a
// moved-from object is left empty, as after construction).
class KIVCOMTRADE_API Comtrade {
public:
    std::string fileName;         // the path given to the last successful load
    double duration = -1.0;       // seconds, time of the last sample read (cfg.duration: the announced one)
    bool loaded = false;
    std::string cfgFileName;
    std::string datFileName;
    Cfg cfg;
    Dat dat;
    std::vector<AnalogChannel> analogChannels;
    std::vector<BinaryChannel> binaryChannels;
    // What the last load found: on failure the sentence that says why, on
    // success the warnings (see LoadReport.h).
    LoadReport report;
    // Texts of the recording's header (.hdr) and information (.inf) files
    // beside the pair, or of the .cff sections, with LF line ends, in UTF-8:
    // they are read in the configuration's encoding and their lines take part
    // in detecting it (report.encoding). Empty when there are none or they
    // hold only blank lines. Set by a successful load; never required.
    std::string headerText;
    std::string informationText;

    Comtrade();
    Comtrade(const Comtrade& other);
    Comtrade(Comtrade&& other) noexcept;
    Comtrade& operator=(const Comtrade& other);
    Comtrade& operator=(Comtrade&& other) noexcept;
    ~Comtrade();

    int load(const std::string& path);
    int load(const std::string& path, const LoadOptions& options);

private:
    int _loadCfgDat(const std::string& path, const LoadOptions& options);
    void _initAnalogChannels();
    void _initBinaryChannels();
    void _initChannels();
    void _rebind();
    void _resetToEmpty();
};

} // namespace KivComtradeLib
