// Which encoding a configuration's texts are in, when the host names none.
//
// The Cyrillic code pages keep the detector's vote; Latin-1 and GBK texts,
// which the vote cannot tell from 1251, are recognised by how plausible each
// reading is as names: every byte 0x80-0xFF is scored in each reading, +2 for
// a letter, +1 for a sign names carry (degree, numero, quotes), -2 for what no
// name holds (box drawing, control cells, bytes that break the encoding).
// One pass per reading, no allocation: random bytes cost what text costs.

#include "encoding/CodePageVotes.h"
#include "encoding/TextEncoding.h"
#include "encoding/Utf8.h"

#include <KivComtradeLib/ToUtf8.h>

namespace KivComtradeLib {
namespace TextEncoding {

namespace {

bool isAsciiLetter(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

int score1251(unsigned char b)
{
    if (b >= 0xC0)
        return 2; // А..я
    switch (b) {
    case 0xA8: case 0xB8: case 0xAA: case 0xBA: case 0xAF: case 0xBF: // Ё ё Є є Ї ї
    case 0xB2: case 0xB3: case 0xA5: case 0xB4: case 0xA1: case 0xA2: // І і Ґ ґ Ў ў
        return 2;
    case 0xB0: case 0xB9: case 0xAB: case 0xBB: case 0x96: case 0x97: case 0xA0: // ° № « » – — nbsp
        return 1;
    default:
        return -2;
    }
}

int score866(unsigned char b)
{
    if (b <= 0xAF || (b >= 0xE0 && b <= 0xF7))
        return 2; // А..п, р..я, Ё ё Є є Ї ї Ў ў
    if (b == 0xF8 || b == 0xFC || b == 0xFF)
        return 1; // ° № nbsp
    return -2;    // shades, box drawing, mathematical signs
}

int scoreLatin(unsigned char b)
{
    if (b >= 0xC0)
        return b == 0xD7 || b == 0xF7 ? 1 : 2; // letters; × and ÷
    if (b >= 0xA0)
        return 1;
    // CP1252's signs and letters; its five unassigned cells are C1 controls.
    return b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D ? -2 : 1;
}

// Each run of bytes 0x80-0xFF of `text` with whether an ASCII letter stands
// right before and right after it.
template <typename OnRun>
void forEachRun(const std::string& text, OnRun onRun)
{
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        if (p[i] < 0x80) {
            ++i;
            continue;
        }
        const std::size_t begin = i;
        while (i < n && p[i] >= 0x80)
            ++i;
        const bool inWord = begin > 0 && isAsciiLetter(p[begin - 1]) && i < n && isAsciiLetter(p[i]);
        onRun(p + begin, i - begin, inWord);
    }
}

// A Cyrillic letter inside a Latin word is no name's spelling.
long long scoreCyrillic(const std::string& text, int (*score)(unsigned char))
{
    long long total = 0;
    forEachRun(text, [&](const unsigned char* run, std::size_t length, bool inWord) {
        for (std::size_t k = 0; k < length; ++k)
            total += inWord ? -2 : score(run[k]);
    });
    return total;
}

// Accented letters come one or two at a time, mostly inside Latin words;
// three or more bytes in a row are another script.
long long scoreLatinText(const std::string& text)
{
    long long total = 0;
    forEachRun(text, [&](const unsigned char* run, std::size_t length, bool inWord) {
        long long sum = 0;
        bool letters = true;
        for (std::size_t k = 0; k < length; ++k) {
            const int s = scoreLatin(run[k]);
            sum += s;
            letters = letters && s == 2;
        }
        if (length >= 3)
            sum = -2 * static_cast<long long>(length);
        else if (inWord && letters)
            sum *= 2;
        total += sum;
    });
    return total;
}

// Well-formed multi-byte sequences count for UTF-8, every other byte
// 0x80-0xFF against it.
long long scoreUtf8(const std::string& text)
{
    long long total = 0;
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        char32_t cp = 0;
        const int length = *p < 0x80 ? 1 : decodeUtf8(p, end, cp);
        if (length == 0) {
            total -= 2;
            ++p;
            continue;
        }
        if (length > 1)
            total += 2 * length;
        p += length;
    }
    return total;
}

// GB2312's hanzi (level 1 the 3755 common ones) score as letters, its symbol
// rows as signs; the rest of GBK and the four-byte forms are rare in names;
// a byte that starts no character breaks the reading.
long long scoreGb18030(const std::string& text)
{
    long long total = 0;
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char lead = p[i];
        if (lead < 0x80) {
            ++i;
            continue;
        }
        const unsigned char trail = i + 1 < n ? p[i + 1] : 0;
        if (lead == 0x80 || lead == 0xFF || i + 1 >= n) {
            total -= 2;
            ++i;
        } else if (trail >= 0x30 && trail <= 0x39) {
            if (i + 3 < n && p[i + 2] >= 0x81 && p[i + 2] <= 0xFE && p[i + 3] >= 0x30 && p[i + 3] <= 0x39) {
                i += 4;
            } else {
                total -= 2;
                ++i;
            }
        } else if ((trail >= 0x40 && trail <= 0x7E) || (trail >= 0x80 && trail <= 0xFE)) {
            if (trail >= 0xA1 && lead >= 0xB0 && lead <= 0xD7)
                total += 4;
            else if (trail >= 0xA1 && ((lead >= 0xD8 && lead <= 0xF7) || (lead >= 0xA1 && lead <= 0xA9)))
                total += 2;
            i += 2;
        } else {
            total -= 2;
            ++i;
        }
    }
    return total;
}

} // namespace

Detection detect(const std::vector<std::string>& texts)
{
    Detection result;
    long long count866 = 0, count1251 = 0, countUtf8 = 0;
    bool latin1252 = false;
    toUtf8::DetectRusCodePages detector;
    for (const std::string& text : texts) {
        if (isValidUtf8(text))
            continue;
        detector.analize(text.data(), text.size());
        count866 += detector.count866;
        count1251 += detector.count1251;
        countUtf8 += detector.countUtf8;
        for (const char ch : text) {
            const auto byte = static_cast<unsigned char>(ch);
            result.evidence += byte >= 0x80;
            latin1252 = latin1252 || (byte >= 0x80 && byte <= 0x9F);
        }
    }
    if (result.evidence == 0)
        return result;

    const CyrillicChoice cyrillic = decideByVotes(count866, count1251, countUtf8);
    long long scores[3] = {0, 0, 0}; // the Cyrillic choice, Latin, GB18030
    for (const std::string& text : texts) {
        if (isValidUtf8(text))
            continue;
        scores[0] += cyrillic == CyrillicChoice::Cp866    ? scoreCyrillic(text, score866)
                     : cyrillic == CyrillicChoice::Cp1251 ? scoreCyrillic(text, score1251)
                                                          : scoreUtf8(text);
        scores[1] += scoreLatinText(text);
        scores[2] += scoreGb18030(text);
    }
    const Encoding candidates[3] = {cyrillic == CyrillicChoice::Cp866    ? Encoding::Cp866
                                    : cyrillic == CyrillicChoice::Cp1251 ? Encoding::Cp1251
                                                                         : Encoding::Utf8,
                                    latin1252 ? Encoding::Cp1252 : Encoding::Latin1, Encoding::Gb18030};
    const int count = available(Encoding::Gb18030) ? 3 : 2;
    // Ties go to the earlier candidate: the Cyrillic decision stands unless beaten.
    int best = 0;
    for (int k = 1; k < count; ++k)
        if (scores[k] > scores[best])
            best = k;
    long long runnerUp = 0;
    bool hasRunnerUp = false;
    for (int k = 0; k < count; ++k) {
        if (k != best && (!hasRunnerUp || scores[k] > runnerUp)) {
            runnerUp = scores[k];
            hasRunnerUp = true;
        }
    }
    result.encoding = candidates[best];
    const long long top = scores[best];
    result.thin = result.evidence < 16 || top <= 0 || runnerUp * 5 >= top * 4;
    return result;
}

} // namespace TextEncoding
} // namespace KivComtradeLib
