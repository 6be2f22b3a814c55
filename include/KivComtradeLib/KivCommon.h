#pragma once
// The common support layer ("KivCommon"): file test, opening a stream from a
// UTF-8 path, text-mode line reading and the plotted point type.

#include <KivComtradeLib/Export.h>

#include <fstream>
#include <ios>
#include <istream>
#include <string>

namespace Kiv {

// One plotted point: x is a time in seconds, y a value. Plain bytes, no vtable.
struct PointF {
    float x = 0.0f;
    float y = 0.0f;

    PointF() = default;
    PointF(float px, float py) : x(px), y(py) {}
};

// The name that `path` denotes on disk. Recordings come from hosts with
// case-insensitive file systems, so when no file has exactly this name, a file
// in the same folder whose name matches it regardless of ASCII letter case is
// used (the first such name in byte order). Returns `path` unchanged when
// nothing matches, and for a path that holds a NUL byte.
KIVCOMTRADE_API std::string resolveFileName(const std::string& path);

// What is at a path, symbolic links followed: nothing (also for a path that
// holds a NUL byte), a regular file, or something else (a folder, FIFO,
// device or socket), which the library never opens.
enum class FileKind { Missing, Regular, Other };

// The kind of what `path` denotes, with the case-insensitive fallback of
// resolveFileName.
KIVCOMTRADE_API FileKind fileKind(const std::string& path);

// True when a regular file exists at `path` (fileKind is Regular).
KIVCOMTRADE_API bool fileExist(const std::string& path);

// Opens `path` (UTF-8 bytes, resolved as resolveFileName does) for reading.
// Always opens for input, also when `mode` is std::ios_base::binary alone.
// Only a regular file is opened: a FIFO or device would block or never end.
// A failure gives a stream whose is_open() is false.
KIVCOMTRADE_API std::ifstream openInputFileUTF8Name(const std::string& path,
                                                    std::ios_base::openmode mode);

// std::getline up to LF for text-mode streams, dropping the CR of a CR LF line
// end as a Windows text-mode stream does. A CR that is not followed by LF
// (inside a line, or at the very end of the file) stays part of the line.
KIVCOMTRADE_API std::istream& getTextLine(std::istream& in, std::string& line);

} // namespace Kiv
