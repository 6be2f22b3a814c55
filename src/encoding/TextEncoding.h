#pragma once
// The encoding of a configuration's texts as a whole: named by the host, or
// detected once for the file, and the conversion of each text to UTF-8.

#include <cstddef>
#include <string>
#include <vector>

namespace KivComtradeLib {
namespace TextEncoding {

enum class Encoding { Utf8, Cp866, Cp1251, Cp1252, Latin1, Gb18030 };

// A host's name for an encoding: letter case, '-', '_' and blanks do not
// matter ("utf8", "Windows-1251", "ISO-8859-1", "GBK"). False when unknown.
bool fromName(const std::string& name, Encoding& encoding);

// The name the load report gives: "UTF-8", "CP866", "CP1251", "CP1252",
// "ISO-8859-1", "GB18030".
const char* name(Encoding encoding);

// False when this build has no converter for it (GB18030 without iconv).
bool available(Encoding encoding);

bool isValidUtf8(const std::string& text);

// What detection found for a file's texts.
struct Detection {
    Encoding encoding = Encoding::Utf8;
    std::size_t evidence = 0; // bytes 0x80-0xFF of the texts that decided
    bool thin = false;        // few such bytes, or a runner-up close behind
};

// The file's encoding from its texts (station line, channel lines): UTF-8
// when every text is valid UTF-8. Otherwise, over the texts that are not:
// the detector's votes, summed, choose 866, 1251 or UTF-8 with the ties of
// the one-text rule; uchardet's answer may then move the file to GB18030 or
// to Latin-1/CP1252 when every text fits that reading (see Detection.cpp).
Detection detect(const std::vector<std::string>& texts);

// One text in UTF-8. `replaced` grows by the number of bytes that were not
// text in that encoding and became U+FFFD.
//
// A detected single-byte code page (detected = true) leaves a text that is valid UTF-8 as
// it is when each of its characters is one that names are written with
// (Latin-1 letters and signs, Cyrillic, punctuation, letterlike symbols): a
// line someone re-typed in UTF-8. One whose UTF-8 reading gives anything else
// (CJK ideographs, box drawing, mathematical signs...) is code-page bytes that
// merely happen to form UTF-8, and is converted like the rest. A detected
// GB18030 leaves every text that is valid UTF-8 as it is. A named encoding
// converts every text.
std::string toUtf8(Encoding encoding, bool detected, const std::string& text, std::size_t& replaced);

} // namespace TextEncoding
} // namespace KivComtradeLib
