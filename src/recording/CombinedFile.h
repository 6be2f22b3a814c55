#pragma once
// The sections of a combined COMTRADE file (.cff): the texts of a .cfg, .inf
// and .hdr file and the bytes of a .dat file in one file, each after a header
// line such as
//
//   --- file type: CFG ---
//   --- file type: DAT BINARY: 12345 ---
//
// Headers are matched leniently, as real files write them: letter case, extra
// blanks, a missing colon, two dashes instead of three. A binary data section
// runs for the byte count of its header; every other section (and a data
// section whose header gives no count) runs to the next header line or to the
// end of the file.

#include <KivComtradeLib/Enums.h>

#include <istream>
#include <string>
#include <vector>

namespace KivComtradeLib {
namespace CombinedFile {

enum class Kind { Cfg, Dat, Hdr, Inf, Other };

struct Header {
    Kind kind = Kind::Other;
    std::string kindWord;           // as written, for messages
    std::string typeWord;           // DAT: the data-file type as written; empty when none
    bool hasType = false;           // typeWord names one of the four types
    Enums::DataFileType type = Enums::Ascii;
    bool hasCount = false;          // DAT: a byte count follows the type
    bool base64 = false;            // DAT: the word base64 follows the type
    unsigned long long count = 0;
};

struct Section {
    Header header;
    unsigned long long line = 0;    // 1-based line of the header in the file
    unsigned long long offset = 0;  // first byte after the header line
    unsigned long long length = 0;  // bytes up to the next header (or the count)
};

// True when `line` (its line end included or not) is a section header.
bool parseHeader(const std::string& line, Header& header);

// Every section of the file behind `stream` (read from its start, in binary
// mode), in file order; `fileLength` is its length in bytes. Text before the
// first header belongs to no section.
std::vector<Section> scan(std::istream& stream, unsigned long long fileLength);

// Text (of a header or information file or section) read from `in` up to its
// end, with LF line ends whatever it was written with (LF, CR LF, lone CR);
// empty when it holds nothing but blank lines. A line longer than
// kMaxLineLength empties it, with `longLine` its 1-based number (else 0).
std::string readText(std::istream& in, unsigned long long& longLine);

// A text section read so.
std::string text(std::istream& stream, const Section& section, unsigned long long& longLine);

} // namespace CombinedFile
} // namespace KivComtradeLib
