// Which encoding a configuration's texts are in, when the host names none.
//
// Two opinions are combined. The Cyrillic detector's votes (toUtf8) choose
// between 866, 1251 and UTF-8; they are right on every Russian recorder we
// know, but take GBK and Latin-1 bytes for Cyrillic too. uchardet, which
// models many scripts, recognises GB18030 and Latin-1 on a whole file's text
// but stumbles on short Cyrillic names. So uchardet may only move a file to
// GB18030 or to Latin-1/CP1252, and only when the bytes fit that reading;
// every other answer leaves the Cyrillic decision as it was.

#include "encoding/CodePageChoice.h"
#include "encoding/TextEncoding.h"

#include <KivComtradeLib/ToUtf8.h>

#include <uchardet/uchardet.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

namespace KivComtradeLib {
namespace TextEncoding {

namespace {

// Fewer bytes 0x80-0xFF than this make a decision a guess; uchardet and the
// votes naming the same Cyrillic code page make one of fewer bytes sound.
constexpr std::size_t kThinEvidence = 16;
constexpr std::size_t kConfirmedEvidence = 8;
// uchardet costs about half a microsecond a byte on text it cannot place
// (random bytes); what it sees of a huge file is capped, the votes see all.
constexpr std::size_t kUchardetBytes = 16 * 1024;

enum class Family { None, Cyrillic, Latin, Chinese, Other };

Family familyOf(const char* charset, bool& exact)
{
    exact = false;
    if (charset == nullptr || *charset == '\0')
        return Family::None;
    static const char* const latinExact[] = {"ISO-8859-1", "ISO-8859-15", "WINDOWS-1252"};
    static const char* const latinNear[] = {"ISO-8859-2", "ISO-8859-3", "ISO-8859-4",  "ISO-8859-9",
                                            "ISO-8859-13", "ISO-8859-16", "WINDOWS-1250", "WINDOWS-1257"};
    static const char* const chinese[] = {"GB18030", "GB2312", "GBK", "EUC-CN"};
    static const char* const cyrillic[] = {"IBM866",  "WINDOWS-1251", "KOI8-R", "ISO-8859-5",
                                           "MAC-CYRILLIC", "IBM855", "UTF-8"};
    for (const char* name : latinExact)
        if (std::strcmp(charset, name) == 0)
            return exact = true, Family::Latin;
    for (const char* name : latinNear)
        if (std::strcmp(charset, name) == 0)
            return Family::Latin;
    for (const char* name : chinese)
        if (std::strcmp(charset, name) == 0)
            return exact = true, Family::Chinese;
    for (const char* name : cyrillic)
        if (std::strcmp(charset, name) == 0)
            return Family::Cyrillic;
    return Family::Other;
}

// Accented letters of Western names stand one or two at a time; three bytes
// 0x80-0xFF in a row are a word of another script (a Cyrillic one, mostly).
bool fitsLatin(const std::string& text)
{
    int run = 0;
    for (const char ch : text) {
        run = static_cast<unsigned char>(ch) >= 0x80 ? run + 1 : 0;
        if (run >= 3)
            return false;
    }
    return true;
}

// Every byte 0x80-0xFF belongs to a well-formed GB18030 character.
bool fitsGb18030(const std::string& text)
{
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char lead = p[i];
        if (lead < 0x80) {
            ++i;
            continue;
        }
        if (lead == 0x80 || lead == 0xFF || i + 1 >= n)
            return false;
        const unsigned char trail = p[i + 1];
        if (trail >= 0x30 && trail <= 0x39) {
            if (i + 3 >= n || p[i + 2] < 0x81 || p[i + 2] > 0xFE || p[i + 3] < 0x30 || p[i + 3] > 0x39)
                return false;
            i += 4;
        } else if ((trail >= 0x40 && trail <= 0x7E) || (trail >= 0x80 && trail <= 0xFE)) {
            i += 2;
        } else {
            return false;
        }
    }
    return true;
}

std::string uchardetAnswer(const std::string& text)
{
    std::unique_ptr<std::remove_pointer_t<uchardet_t>, void (*)(uchardet_t)> detector(uchardet_new(),
                                                                                      uchardet_delete);
    if (!detector || uchardet_handle_data(detector.get(), text.data(), text.size()) != 0)
        return {};
    uchardet_data_end(detector.get());
    const char* charset = uchardet_get_charset(detector.get());
    return charset != nullptr ? charset : "";
}

} // namespace

Detection detect(const std::vector<std::string>& texts)
{
    Detection result;
    long long count866 = 0, count1251 = 0, countUtf8 = 0;
    bool c1Bytes = false;
    std::string joined; // the texts that are not UTF-8, one per line
    std::vector<const std::string*> notUtf8;
    toUtf8::DetectRusCodePages detector;
    for (const std::string& text : texts) {
        if (isValidUtf8(text))
            continue;
        notUtf8.push_back(&text);
        detector.analize(text.data(), text.size());
        count866 += detector.count866;
        count1251 += detector.count1251;
        countUtf8 += detector.countUtf8;
        for (const char ch : text) {
            const auto byte = static_cast<unsigned char>(ch);
            result.evidence += byte >= 0x80;
            c1Bytes = c1Bytes || (byte >= 0x80 && byte <= 0x9F);
        }
        if (joined.size() < kUchardetBytes) {
            joined.append(text, 0, kUchardetBytes - joined.size());
            joined += '\n';
        }
    }
    if (result.evidence == 0)
        return result;

    const CodePageChoice cyrillic = chooseCodePage(count866, count1251, countUtf8);
    result.encoding = cyrillic == CodePageChoice::Cp866    ? Encoding::Cp866
                      : cyrillic == CodePageChoice::Cp1251 ? Encoding::Cp1251
                                                           : Encoding::Utf8;
    // The votes are close when the runner-up has four fifths of the winner's.
    const long long votes[3] = {count866, count1251, countUtf8};
    long long top = 0, second = 0;
    for (const long long v : votes) {
        if (v > top) {
            second = top;
            top = v;
        } else if (v > second) {
            second = v;
        }
    }
    const bool votesClose = top <= 0 || second * 5 >= top * 4;

    const std::string answer = uchardetAnswer(joined);
    bool exact = false;
    const Family family = familyOf(answer.c_str(), exact);
    bool agrees = family == Family::None; // no opinion: nothing to disagree with
    const auto all = [&](bool (*fits)(const std::string&)) {
        return std::all_of(notUtf8.begin(), notUtf8.end(), [&](const std::string* text) { return fits(*text); });
    };
    if (family == Family::Chinese && available(Encoding::Gb18030) && all(fitsGb18030)) {
        result.encoding = Encoding::Gb18030;
        agrees = true;
    } else if (family == Family::Latin && all(fitsLatin)) {
        result.encoding = c1Bytes ? Encoding::Cp1252 : Encoding::Latin1;
        agrees = exact;
    } else if (family == Family::Cyrillic) {
        agrees = (answer == "IBM866" && result.encoding == Encoding::Cp866) ||
                 (answer == "WINDOWS-1251" && result.encoding == Encoding::Cp1251);
    }
    // Thin: two opinions that differ, votes alone and close, or few bytes
    // (fewer still will do when uchardet names the very code page the votes chose).
    const bool confirmed = family == Family::Cyrillic && agrees;
    result.thin = !agrees || (family == Family::None && votesClose) ||
                  result.evidence < (confirmed ? kConfirmedEvidence : kThinEvidence);
    return result;
}

} // namespace TextEncoding
} // namespace KivComtradeLib
