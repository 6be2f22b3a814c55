#pragma once
// What every host tool does around its own work: the command line, finding
// the bundled recording, and reporting a load.

#include <KivComtradeLib/LoadOptions.h>
#include <KivComtradeLib/LoadReport.h>

#include <CLI/CLI.hpp>

#include <string>

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
// (or the result's, LoadResult) on stderr and returns `code`; on success
// prints its warnings and returns 0.
int reportLoad(const std::string& tool, const KivComtradeLib::LoadReport& report, int code,
               const std::string& path);

// Path of the bundled recording, or empty when it is nowhere to be found.
// Looked for, in order: <folder of the running program>/<relative install
// path of the samples>, the source tree's samples/ folder, the absolute
// install folder of the samples.
std::string bundledRecordingPath();

} // namespace KivTools
