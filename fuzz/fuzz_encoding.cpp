// The code-page converters and detector on arbitrary bytes (an exact-size
// heap copy, so a read past the end is caught): conversions are well-formed
// UTF-8 that keeps the ASCII bytes in place, and detectAndConvert equals a
// detector's analize + convertSC.

#include "FuzzInput.h"

#include <KivComtradeLib/ToUtf8.h>

#include <algorithm>
#include <memory>
#include <string>

using KivFuzz::check;

// Well-formed UTF-8 of the Basic Multilingual Plane (all the code pages hold),
// with its ASCII bytes copied to `ascii`.
static bool wellFormed(const std::string& s, std::string& ascii)
{
    for (std::size_t i = 0, n = s.size(); i < n;) {
        const auto at = [&](std::size_t k) { return i + k < n ? static_cast<unsigned char>(s[i + k]) : 0u; };
        const unsigned c = at(0), lo = c == 0xE0 ? 0xA0 : 0x80, hi = c == 0xED ? 0x9F : 0xBF;
        const bool second = at(1) >= lo && at(1) <= hi;
        if (c < 0x80) ascii += s[i++];
        else if (c >= 0xC2 && c <= 0xDF && second) i += 2;
        else if (c >= 0xE0 && c <= 0xEF && second && at(2) >= 0x80 && at(2) <= 0xBF) i += 3;
        else return false;
    }
    return true;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::unique_ptr<char[]> bytes(new char[size + !size]);
    if (size) std::memcpy(bytes.get(), data, size);
    const char* text = size ? bytes.get() : nullptr;
    const std::string str(bytes.get(), size), as866 = toUtf8::from866(text, size), as1251 = toUtf8::from1251(text, size);
    std::string in866, in1251, out866, out1251; // the ASCII bytes; 1251's 0x98 and 0xAD become a space
    for (unsigned char c : str) {
        if (c < 0x80) in866 += static_cast<char>(c);
        if (c < 0x80 || c == 0x98 || c == 0xAD) in1251 += c < 0x80 ? static_cast<char>(c) : ' ';
    }
    check(wellFormed(as866, out866) && wellFormed(as1251, out1251), "conversion is not well-formed UTF-8");
    check(out866 == in866 && out1251 == in1251, "conversion moved ASCII bytes");
    check(std::min(as866.size(), as1251.size()) >= size && std::max(as866.size(), as1251.size()) <= 3 * size,
          "conversion length");
    toUtf8::DetectRusCodePages detector;
    detector.analize(text, size);
    const std::string chosen = detector.convertSC(str, text, size);
    check(chosen == toUtf8::detectAndConvert(str), "detectAndConvert disagrees with the detector");
    check(chosen == str || chosen == as866 || chosen == as1251, "result is none of the three");
    return 0;
}
