#include "encoding/TextEncoding.h"
#include "encoding/CodePageChoice.h"
#include "encoding/Utf8.h"

#include <KivComtradeLib/ToUtf8.h>

#if defined(__has_include)
#if __has_include(<iconv.h>)
#include <iconv.h>
#include <cerrno>
#define KIVCOMTRADE_HAVE_ICONV 1
#endif
#endif

#include <cctype>

namespace KivComtradeLib {
namespace TextEncoding {

namespace {

const char kReplacement[] = "\xEF\xBF\xBD"; // U+FFFD

void appendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Characters that channel and station names are written with beyond ASCII.
bool nameCharacter(char32_t cp)
{
    return (cp >= 0xA0 && cp <= 0x24F)      // Latin-1 letters and signs, Latin Extended
        || (cp >= 0x370 && cp <= 0x4FF)     // Greek (Ω, φ, Δ) and Cyrillic
        || (cp >= 0x2010 && cp <= 0x205E)   // dashes, quotes, ‰
        || cp == 0x20AC                     // €
        || (cp >= 0x2100 && cp <= 0x214F);  // letterlike: №, ℃, ™, Ω
}

// True when `text` is well-formed UTF-8 and every code point passes `accept`.
template <typename Accept>
bool everyCodePoint(const std::string& text, Accept accept)
{
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        char32_t cp = 0;
        const int length = decodeUtf8(p, end, cp);
        if (length == 0 || !accept(cp))
            return false;
        p += length;
    }
    return true;
}

bool onlyNameCharacters(const std::string& text)
{
    return everyCodePoint(text, [](char32_t cp) { return cp < 0x80 || nameCharacter(cp); });
}

std::string utf8Repaired(const std::string& text, std::size_t& replaced)
{
    std::string out;
    out.reserve(text.size());
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        char32_t cp = 0;
        const int length = decodeUtf8(p, end, cp);
        if (length == 0) {
            out += kReplacement;
            ++replaced;
            ++p;
        } else {
            out.append(reinterpret_cast<const char*>(p), static_cast<std::size_t>(length));
            p += length;
        }
    }
    return out;
}

// Windows-1252 0x80-0x9F; its five unassigned cells keep the C1 control of
// the same number, as Latin-1 has it.
const char16_t k1252[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::string fromLatin(const std::string& text, bool windows)
{
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const auto byte = static_cast<unsigned char>(ch);
        appendUtf8(out, windows && byte >= 0x80 && byte <= 0x9F ? k1252[byte - 0x80] : byte);
    }
    return out;
}

#ifdef KIVCOMTRADE_HAVE_ICONV
const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

std::string fromGb18030(const std::string& text, std::size_t& replaced)
{
    std::string out;
    iconv_t cd = iconv_open("UTF-8", "GB18030");
    if (cd == kNoConverter)
        return utf8Repaired(text, replaced);
    std::string in = text;
    char* inPtr = in.data();
    std::size_t inLeft = in.size();
    char buffer[1024];
    while (inLeft > 0) {
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        out.append(buffer, sizeof buffer - outLeft);
        if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) {
            // A byte that starts no GB18030 character, or one cut short at
            // the end of the text: mark it and go on after it.
            out += kReplacement;
            ++replaced;
            ++inPtr;
            --inLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(cd);
    return out;
}
#endif

} // namespace

bool fromName(const std::string& name, Encoding& encoding)
{
    std::string key;
    for (const char ch : name)
        if (ch != '-' && ch != '_' && ch != ' ')
            key += static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    const struct {
        const char* key;
        Encoding encoding;
    } names[] = {
        {"UTF8", Encoding::Utf8},        {"CP866", Encoding::Cp866},      {"IBM866", Encoding::Cp866},
        {"866", Encoding::Cp866},        {"CP1251", Encoding::Cp1251},    {"WINDOWS1251", Encoding::Cp1251},
        {"1251", Encoding::Cp1251},      {"CP1252", Encoding::Cp1252},    {"WINDOWS1252", Encoding::Cp1252},
        {"1252", Encoding::Cp1252},      {"LATIN1", Encoding::Latin1},    {"ISO88591", Encoding::Latin1},
        {"GB18030", Encoding::Gb18030},  {"GBK", Encoding::Gb18030},      {"GB2312", Encoding::Gb18030},
        {"CP936", Encoding::Gb18030},
    };
    for (const auto& entry : names) {
        if (key == entry.key) {
            encoding = entry.encoding;
            return true;
        }
    }
    return false;
}

const char* name(Encoding encoding)
{
    switch (encoding) {
    case Encoding::Utf8: return "UTF-8";
    case Encoding::Cp866: return "CP866";
    case Encoding::Cp1251: return "CP1251";
    case Encoding::Cp1252: return "CP1252";
    case Encoding::Latin1: return "ISO-8859-1";
    case Encoding::Gb18030: return "GB18030";
    }
    return "";
}

bool available(Encoding encoding)
{
    if (encoding != Encoding::Gb18030)
        return true;
#ifdef KIVCOMTRADE_HAVE_ICONV
    iconv_t cd = iconv_open("UTF-8", "GB18030");
    if (cd == kNoConverter)
        return false;
    iconv_close(cd);
    return true;
#else
    return false;
#endif
}

bool isValidUtf8(const std::string& text)
{
    return everyCodePoint(text, [](char32_t) { return true; });
}

Encoding detect(const std::vector<std::string>& texts)
{
    long long count866 = 0, count1251 = 0, countUtf8 = 0;
    bool allValid = true;
    toUtf8::DetectRusCodePages detector;
    for (const std::string& text : texts) {
        if (isValidUtf8(text))
            continue;
        allValid = false;
        detector.analize(text.data(), text.size());
        count866 += detector.count866;
        count1251 += detector.count1251;
        countUtf8 += detector.countUtf8;
    }
    if (allValid)
        return Encoding::Utf8;
    // The decision of one text, on the file's sums.
    switch (chooseCodePage(count866, count1251, countUtf8)) {
    case CodePageChoice::Cp866:
        return Encoding::Cp866;
    case CodePageChoice::Cp1251:
        return Encoding::Cp1251;
    case CodePageChoice::Unchanged:
        break;
    }
    return Encoding::Utf8;
}

std::string toUtf8(Encoding encoding, bool detected, const std::string& text, std::size_t& replaced)
{
    switch (encoding) {
    case Encoding::Utf8:
        return isValidUtf8(text) ? text : utf8Repaired(text, replaced);
    case Encoding::Cp866:
    case Encoding::Cp1251:
        if (detected && onlyNameCharacters(text))
            return text;
        return encoding == Encoding::Cp866 ? toUtf8::from866(text.data(), text.size())
                                           : toUtf8::from1251(text.data(), text.size());
    case Encoding::Cp1252:
    case Encoding::Latin1:
        return fromLatin(text, encoding == Encoding::Cp1252);
    case Encoding::Gb18030:
#ifdef KIVCOMTRADE_HAVE_ICONV
        return fromGb18030(text, replaced);
#else
        break;
#endif
    }
    return utf8Repaired(text, replaced);
}

} // namespace TextEncoding
} // namespace KivComtradeLib

namespace toUtf8 {

bool isValidUtf8(const std::string& text)
{
    return KivComtradeLib::TextEncoding::isValidUtf8(text);
}

std::string repairUtf8(const std::string& text)
{
    std::size_t replaced = 0;
    return KivComtradeLib::TextEncoding::toUtf8(KivComtradeLib::TextEncoding::Encoding::Utf8, false, text, replaced);
}

} // namespace toUtf8
