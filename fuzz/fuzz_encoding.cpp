// The code-page converters and detector on arbitrary bytes (an exact-size
// heap copy, so a read past the end is caught): a conversion keeps the ASCII
// bytes in place and takes 1 to 3 bytes for each, and detectAndConvert equals
// a detector's analize + convertSC.

#include "FuzzInput.h"

#include <KivComtradeLib/ToUtf8.h>

#include <memory>
#include <string>

using KivFuzz::check;

static std::string ascii(const std::string& s, bool as1251)
{
    std::string out; // 1251's 0x98 and 0xAD become a space
    for (unsigned char c : s)
        if (c < 0x80 || (as1251 && (c == 0x98 || c == 0xAD))) out += c < 0x80 ? static_cast<char>(c) : ' ';
    return out;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::unique_ptr<char[]> bytes(new char[size + !size]);
    if (size) std::memcpy(bytes.get(), data, size);
    const char* text = size ? bytes.get() : nullptr;
    const std::string str(bytes.get(), size), as866 = toUtf8::from866(text, size), as1251 = toUtf8::from1251(text, size);
    check(ascii(as866, false) == ascii(str, false) && ascii(as1251, false) == ascii(str, true), "ASCII bytes moved");
    for (const std::string* out : {&as866, &as1251}) check(out->size() >= size && out->size() <= 3 * size, "length");
    toUtf8::DetectRusCodePages detector;
    detector.analize(text, size);
    const std::string chosen = detector.convertSC(str, text, size);
    check(chosen == toUtf8::detectAndConvert(str), "detectAndConvert disagrees with the detector");
    check(chosen == str || chosen == as866 || chosen == as1251, "result is none of the three");
    return 0;
}
