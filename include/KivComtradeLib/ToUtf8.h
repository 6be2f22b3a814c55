#pragma once
// Detection of UTF-8, code page 866 and code page 1251 in a byte string, and
// conversion to UTF-8.

#include <KivComtradeLib/Export.h>

#include <cstddef>
#include <string>

namespace toUtf8 {

// The bytes read as code page 866 / 1251, in UTF-8. Bytes below 0x80 (NUL
// included) are copied; code page 1251's 0x98 and 0xAD become a space.
KIVCOMTRADE_API std::string from866(const char* text, std::size_t length);
KIVCOMTRADE_API std::string from1251(const char* text, std::size_t length);

// Number of well-formed multi-byte UTF-8 sequences that follow one another
// from `p` (NUL-terminated); `p` is moved past them.
KIVCOMTRADE_API int isUtf8Seq(const char*& p);

// The text in UTF-8: converted from 866 or 1251 when the votes say so, else
// an unchanged copy.
KIVCOMTRADE_API std::string detectAndConvert(const std::string& text);

// Whether the bytes are well-formed UTF-8: no overlong forms, no surrogates,
// nothing above U+10FFFF, no sequence cut short.
KIVCOMTRADE_API bool isValidUtf8(const std::string& text);

// The bytes as valid UTF-8: a copy where each byte that starts no
// well-formed sequence becomes U+FFFD. What the library does to every text
// it reads; for printing texts that did not come from it (file names).
KIVCOMTRADE_API std::string repairUtf8(const std::string& text);

// Votes for each encoding; analize() sets them, convertSC() acts on them.
class KIVCOMTRADE_API DetectRusCodePages {
public:
    int count866 = 0;
    int count1251 = 0;
    int countUtf8 = 0;
    int maxUtf8Run = 0;

    void analize(const char* text, std::size_t length);
    std::string convertSC(const std::string& text, const char* bytes, std::size_t length);
};

// Self-test: prints the conversion of every byte and the worked detections.
KIVCOMTRADE_API void test();

} // namespace toUtf8
