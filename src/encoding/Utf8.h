#pragma once
// Well-formed UTF-8 sequences (no overlong forms, no surrogates, nothing
// above U+10FFFF), as the code-page detector and the converters judge text.

namespace KivComtradeLib {

// Length of the well-formed sequence at p within [p, end) (1 for ASCII), 0
// when none starts there; its code point in `cp`.
inline int decodeUtf8(const unsigned char* p, const unsigned char* end, char32_t& cp)
{
    const unsigned char lead = *p;
    if (lead < 0x80) {
        cp = lead;
        return 1;
    }
    int length;
    unsigned char lo = 0x80, hi = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        cp = lead & 0x0F;
        if (lead == 0xE0)
            lo = 0xA0;
        else if (lead == 0xED)
            hi = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        cp = lead & 0x07;
        if (lead == 0xF0)
            lo = 0x90;
        else if (lead == 0xF4)
            hi = 0x8F;
    } else {
        return 0;
    }
    if (end - p < length || p[1] < lo || p[1] > hi)
        return 0;
    for (int i = 1; i < length; ++i) {
        if (i > 1 && (p[i] < 0x80 || p[i] > 0xBF))
            return 0;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    return length;
}

} // namespace KivComtradeLib
