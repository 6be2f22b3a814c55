#pragma once
// What the host tools share: the command line, finding the bundled recording,
// reporting a load, picking channels and a time window, and making the texts
// of a recording safe to print as UTF-8.

#include <KivComtradeLib/KivComtradeLib.h>

#include <CLI/CLI.hpp>

#include <cstddef>
#include <string>
#include <vector>

namespace KivTools {

// Exit codes beyond the load result codes 1-6 (the BSD sysexits values).
constexpr int kExitUsage = 64;      // bad command line
constexpr int kExitNoInput = 66;    // no path given and no bundled recording found
constexpr int kExitCantCreate = 73; // the output file cannot be written

// File name of the recording the tools open when given no path.
constexpr const char* kBundledRecording = "fault-slg-binary.cfg";

// A mistake on the command line that is only found once the recording is
// read (an unknown channel, a window outside the recording): exit 64.
struct UsageError {
    std::string message;
};

// PATH and --encoding, which every tool takes.
struct CommonOptions {
    std::string path;
    std::string encoding;
    KivComtradeLib::LoadOptions loadOptions() const;
};
void addCommonOptions(CLI::App& app, CommonOptions& options);

// Parses the command line. Returns -1 to go on, 0 after --help, kExitUsage
// after a mistake (with the reason and the usage on stderr).
int parseCommandLine(CLI::App& app, int argc, char** argv);

// Fills an empty path with the bundled recording's. Returns 0, or
// kExitNoInput (with a sentence on stderr) when there is none.
int resolvePath(const std::string& tool, std::string& path);

// After a load that returned `code`: on failure prints the report's sentence
// on stderr and returns `code`; on success prints its warnings and returns 0.
int reportLoad(const std::string& tool, const KivComtradeLib::LoadReport& report, int code,
               const std::string& path);

// Path of the bundled recording, or empty when it is nowhere to be found.
// Looked for, in order: <folder of the running program>/<relative install
// path of the samples>, the source tree's samples/ folder, the absolute
// install folder of the samples.
std::string bundledRecordingPath();

// ---- channels and time ------------------------------------------------------

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

// The tools' time axis: seconds from the trigger when the configuration
// gives one, else from the first sample. Returns the library time of its zero.
double timeOrigin(const KivComtradeLib::Cfg& cfg, double firstSampleTime);
bool hasTrigger(const KivComtradeLib::Cfg& cfg);

// A window [from, to] on the tools' time axis.
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

// What --channels, --from and --to ask the library to read.
struct Selection {
    std::string channels; // the --channels LIST
    bool channelsGiven = false;
    bool haveFrom = false, haveTo = false;
    double from = 0.0, to = 0.0; // on the tools' time axis
};

// Loads only the channels and the window asked for into `rec` (the library
// reads nothing else): `refs` receives the channels in the list's order and
// `origin` the library time of the tools' zero. Returns 0, or the exit code
// after the reason is printed (a load's result code; 64 for a channel or a
// window the recording does not have).
int loadSelection(const std::string& tool, const CommonOptions& common, const Selection& selection,
                  KivComtradeLib::ColumnarRecording& rec, std::vector<ChannelRef>& refs, double& origin);

// ---- texts ------------------------------------------------------------------

// `bytes` with every ill-formed UTF-8 sequence replaced by U+FFFD.
std::string validUtf8(const std::string& bytes);

// A text of the station line for display: the station and device fields keep
// the file's bytes, so they get the same code-page detection as the channel
// lines, then the result is made valid UTF-8.
std::string displayText(const std::string& bytes);

// Without the blanks (and a stray CR) around it.
std::string trimmed(const std::string& text);

// Number of characters (code points) of a valid UTF-8 text.
std::size_t utf8Length(const std::string& text);

// A channel's identifier for display: trimmed, valid UTF-8.
std::string channelName(const KivComtradeLib::BaseChannelConfig& channel);

// The unit the channel's values come out in: the unit as written, trimmed,
// without a decimal prefix that the library has already resolved into the
// values.
std::string valueUnit(const KivComtradeLib::AnalogChannelConfig& channel);

// "2026-03-14 09:41:07.250000", with the sub-second digits the file gives;
// the line as written when it is not a valid date/time; "-" when empty.
std::string formatDateTime(const KivComtradeLib::DateTime& time);

// The data-file keyword of a type: ASCII, BINARY, BINARY32, FLOAT32.
const char* dataFileTypeName(KivComtradeLib::Enums::DataFileType type);

// Shortest decimal form of `value` with at most `digits` significant digits.
std::string formatNumber(double value, int digits = 6);

// Shortest decimal form that reads back as the same double.
std::string exactNumber(double value);
// A time in seconds rounded to the nanosecond, in the shortest form.
std::string timeNumber(double seconds);

} // namespace KivTools
