// The code-page detector and converters on arbitrary bytes, each call on an
// exact-size heap copy so that any read past the end is caught.
//
// Cross-checks: detectAndConvert must equal a fresh detector's analize +
// convertSC; the detector's counters must match a walk of the same bytes
// with isUtf8Seq; every conversion must be well-formed UTF-8 that keeps the
// bytes below 0x80 in place.

#include "FuzzInput.h"

#include <KivComtradeLib/ToUtf8.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

using KivFuzz::check;

// Independent well-formedness test (the multi-byte rows of RFC 3629).
bool wellFormedUtf8(const std::string& s) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    std::size_t n = s.size(), i = 0;
    auto cont = [&](std::size_t k, unsigned lo, unsigned hi) {
        return i + k < n && p[i + k] >= lo && p[i + k] <= hi;
    };
    while (i < n) {
        unsigned c = p[i];
        if (c < 0x80) { ++i; continue; }
        if (c >= 0xC2 && c <= 0xDF && cont(1, 0x80, 0xBF)) { i += 2; continue; }
        if (c == 0xE0 && cont(1, 0xA0, 0xBF) && cont(2, 0x80, 0xBF)) { i += 3; continue; }
        if (((c >= 0xE1 && c <= 0xEC) || c == 0xEE || c == 0xEF) && cont(1, 0x80, 0xBF) &&
            cont(2, 0x80, 0xBF)) { i += 3; continue; }
        if (c == 0xED && cont(1, 0x80, 0x9F) && cont(2, 0x80, 0xBF)) { i += 3; continue; }
        return false; // the code pages hold nothing beyond the BMP
    }
    return true;
}

// The ASCII bytes of a text, in order: conversions never touch them.
std::string asciiOf(const std::string& s, bool spaceFor1251) {
    std::string out;
    for (unsigned char c : s) {
        if (c < 0x80) out.push_back(static_cast<char>(c));
        else if (spaceFor1251 && (c == 0x98 || c == 0xAD)) out.push_back(' ');
    }
    return out;
}

void checkConversion(const std::string& in, const std::string& out, bool is1251) {
    check(wellFormedUtf8(out), "conversion is not well-formed UTF-8");
    check(out.size() >= in.size() && out.size() <= 3 * in.size(), "conversion length");
    check(asciiOf(out, false) == asciiOf(in, is1251), "conversion moved ASCII bytes");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::unique_ptr<char[]> bytes(new char[size ? size : 1]);
    std::memcpy(bytes.get(), data, size);
    const char* text = size ? bytes.get() : nullptr;
    std::string str(bytes.get(), size);

    std::string as866 = toUtf8::from866(text, size);
    std::string as1251 = toUtf8::from1251(text, size);
    checkConversion(str, as866, false);
    checkConversion(str, as1251, true);

    toUtf8::DetectRusCodePages detector;
    detector.analize(text, size);
    std::string chosen = detector.convertSC(str, text, size);
    check(chosen == toUtf8::detectAndConvert(str), "detectAndConvert disagrees with the detector");
    check(chosen == str || chosen == as866 || chosen == as1251, "result is none of the three");

    // Walk the bytes as the detector does, with isUtf8Seq on a NUL-terminated copy.
    std::unique_ptr<char[]> z(new char[size + 1]);
    std::memcpy(z.get(), data, size);
    z[size] = '\0';
    int utf8 = 0, maxRun = 0, v866 = 0, v1251 = 0;
    const char* p = z.get();
    const char* stop = z.get() + size;
    while (p < stop) {
        auto c = static_cast<unsigned char>(*p);
        if (c >= 0x80 && c <= 0xB0) { ++v866; ++p; continue; }
        if (c == 0) { ++p; continue; }
        const char* before = p;
        int run = toUtf8::isUtf8Seq(p);
        check(p >= before && p <= stop, "isUtf8Seq moved outside the text");
        check((run == 0) == (p == before), "isUtf8Seq count and movement disagree");
        if (run > 0) {
            utf8 += run;
            if (run > maxRun) maxRun = run;
            continue;
        }
        if (c >= 0xC0) {
            ++v1251;
            if (c >= 0xE0 && c <= 0xF2) ++v866;
        }
        ++p;
    }
    check(detector.countUtf8 == utf8, "countUtf8 differs from the isUtf8Seq walk");
    check(detector.maxUtf8Run == maxRun, "maxUtf8Run differs from the isUtf8Seq walk");
    check(detector.count866 == v866 && detector.count1251 == v1251, "code-page votes");
    return 0;
}
