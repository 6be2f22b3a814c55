#pragma once
// What comtrade-info and comtrade-plot share: finding the bundled recording,
// turning a load result code into a sentence, and making the texts of a
// recording safe to print as UTF-8.

#include <KivComtradeLib/KivComtradeLib.h>

#include <string>

namespace KivTools {

// Exit codes beyond the load result codes 1-6 (the BSD sysexits values).
constexpr int kExitUsage = 64;     // bad command line
constexpr int kExitNoInput = 66;   // no path given and no bundled recording found
constexpr int kExitCantCreate = 73; // the output file cannot be written

// File name of the recording the tools open when given no path.
constexpr const char* kBundledRecording = "fault-slg-binary.cfg";

// Path of the bundled recording, or empty when it is nowhere to be found.
// Looked for, in order: <folder of the running program>/<relative install
// path of the samples>, the source tree's samples/ folder, the absolute
// install folder of the samples.
std::string bundledRecordingPath();

// One sentence (no final full stop) naming the file that made load() return
// `code`. The object must be the one whose load() returned it.
std::string describeLoadFailure(const KivComtradeLib::Comtrade& recording,
                                const std::string& path, int code);

// `bytes` with every ill-formed UTF-8 sequence replaced by U+FFFD.
std::string validUtf8(const std::string& bytes);

// A text of the station line for display: the station and device fields keep
// the file's bytes, so they get the same code-page detection as the channel
// lines, then the result is made valid UTF-8.
std::string displayText(const std::string& bytes);

// Number of characters (code points) of a valid UTF-8 text.
std::size_t utf8Length(const std::string& text);

// The unit the channel's values come out in: the unit as written, without a
// decimal prefix that the library has already resolved into the values.
std::string valueUnit(const KivComtradeLib::AnalogChannelConfig& channel);

// The data-file keyword of a type: ASCII, BINARY, BINARY32, FLOAT32.
const char* dataFileTypeName(KivComtradeLib::Enums::DataFileType type);

// Shortest decimal form of `value` with at most `digits` significant digits.
std::string formatNumber(double value, int digits = 6);

} // namespace KivTools
