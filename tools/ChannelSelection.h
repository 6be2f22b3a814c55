#pragma once
// Which channels and which stretch of time a tool works on: --channels,
// --from and --to.

#include <KivComtradeLib/Cfg.h>
#include <KivComtradeLib/ColumnarRecording.h>

#include <cstddef>
#include <string>
#include <vector>

namespace KivTools {

struct ChannelRef {
    bool analog = true;
    std::size_t position = 0; // in Cfg::analogChannels or Cfg::binaryChannels
};

// The channels a --channels LIST names, in its order; every analog then every
// status channel when `given` is false. LIST is comma-separated: N or AN is
// analog channel N, DN status channel N, anything else an identifier (blanks
// around it ignored; exact, then in any ASCII letter case; analog first).
// Throws UsageError for an empty list or an unknown channel.
std::vector<ChannelRef> selectChannels(const KivComtradeLib::Cfg& cfg, const std::string& list,
                                       bool given);

// Whether the tools' time axis counts from the trigger (the configuration
// gives a valid one: cfg.triggerOffset is a number) or from the first sample.
bool hasTrigger(const KivComtradeLib::Cfg& cfg);

// A window [from, to] on the tools' time axis: seconds from
// ColumnarRecording::triggerTime.
struct Window {
    double from = 0.0;
    double to = 0.0;
};

// The window asked for (`haveFrom`/`haveTo`: given on the command line; the
// recording's ends otherwise) over a recording whose samples run from
// `first` to `last` on the tools' axis. Throws UsageError when it is empty
// or lies wholly outside the recording.
Window resolveWindow(bool haveFrom, double from, bool haveTo, double to, double first,
                     double last);

struct CommonOptions;

// What --channels, --from and --to ask the library to read.
struct Selection {
    std::string channels; // the --channels LIST
    bool channelsGiven = false;
    bool haveFrom = false, haveTo = false;
    double from = 0.0, to = 0.0; // on the tools' time axis
};

// Loads only the channels and the window asked for into `rec` (the library
// reads nothing else): `refs` receives the channels in the list's order.
// Returns 0, or the exit code after the reason is printed (a load's result
// code; 64 for a channel or a window the recording does not have).
int loadSelection(const std::string& tool, const CommonOptions& common, const Selection& selection,
                  KivComtradeLib::ColumnarRecording& rec, std::vector<ChannelRef>& refs);

} // namespace KivTools
