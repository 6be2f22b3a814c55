#include "encoding/CodePageChoice.h"
#include "encoding/Utf8.h"

#include <KivComtradeLib/ToUtf8.h>

#include <cstdio>

namespace toUtf8 {

namespace {

// Fixed-width cells of three bytes each, indexed by the byte value. A character
// shorter than three bytes is padded with a byte that can never occur inside
// UTF-8 text of these tables ('+' for 866, '=' for 1251); the pad is not emitted.

// Code page 866, 0xB0-0xDF: shades and box drawing (all three bytes).
const char k866Box[] =
    "\xE2\x96\x91\xE2\x96\x92\xE2\x96\x93\xE2\x94\x82\xE2\x94\xA4\xE2\x95\xA1\xE2\x95\xA2\xE2\x95\x96"
    "\xE2\x95\x95\xE2\x95\xA3\xE2\x95\x91\xE2\x95\x97\xE2\x95\x9D\xE2\x95\x9C\xE2\x95\x9B\xE2\x94\x90"
    "\xE2\x94\x94\xE2\x94\xB4\xE2\x94\xAC\xE2\x94\x9C\xE2\x94\x80\xE2\x94\xBC\xE2\x95\x9E\xE2\x95\x9F"
    "\xE2\x95\x9A\xE2\x95\x94\xE2\x95\xA9\xE2\x95\xA6\xE2\x95\xA0\xE2\x95\x90\xE2\x95\xAC\xE2\x95\xA7"
    "\xE2\x95\xA8\xE2\x95\xA4\xE2\x95\xA5\xE2\x95\x99\xE2\x95\x98\xE2\x95\x92\xE2\x95\x93\xE2\x95\xAB"
    "\xE2\x95\xAA\xE2\x94\x98\xE2\x94\x8C\xE2\x96\x88\xE2\x96\x84\xE2\x96\x8C\xE2\x96\x90\xE2\x96\x80";

// Code page 866, 0xE0-0xF8: р..я, Ё ё Є є Ї ї Ў ў and the degree sign (two bytes each).
const char k866Letters[] =
    "\xD1\x80\xD1\x81\xD1\x82\xD1\x83\xD1\x84\xD1\x85\xD1\x86\xD1\x87"
    "\xD1\x88\xD1\x89\xD1\x8A\xD1\x8B\xD1\x8C\xD1\x8D\xD1\x8E\xD1\x8F"
    "\xD0\x81\xD1\x91\xD0\x84\xD1\x94\xD0\x87\xD1\x97\xD0\x8E\xD1\x9E"
    "\xC2\xB0";

// Code page 866, 0xF9-0xFF: ∙ · √ № ¤ ■ and no-break space.
const char k866Tail[] =
    "\xE2\x88\x99\xC2\xB7\x2B\xE2\x88\x9A\xE2\x84\x96\xC2\xA4\x2B\xE2\x96\xA0\xC2\xA0\x2B";

// Code page 1251, 0x80-0xBF. 0x98 (unassigned) and 0xAD (soft hyphen) give a
// space: names carrying them are shown with a visible gap instead of nothing.
const char k1251Upper[] =
    "\xD0\x82\x3D\xD0\x83\x3D\xE2\x80\x9A\xD1\x93\x3D\xE2\x80\x9E\xE2\x80\xA6\xE2\x80\xA0\xE2\x80\xA1"
    "\xE2\x82\xAC\xE2\x80\xB0\xD0\x89\x3D\xE2\x80\xB9\xD0\x8A\x3D\xD0\x8C\x3D\xD0\x8B\x3D\xD0\x8F\x3D"
    "\xD1\x92\x3D\xE2\x80\x98\xE2\x80\x99\xE2\x80\x9C\xE2\x80\x9D\xE2\x80\xA2\xE2\x80\x93\xE2\x80\x94"
    "\x20\x3D\x3D\xE2\x84\xA2\xD1\x99\x3D\xE2\x80\xBA\xD1\x9A\x3D\xD1\x9C\x3D\xD1\x9B\x3D\xD1\x9F\x3D"
    "\xC2\xA0\x3D\xD0\x8E\x3D\xD1\x9E\x3D\xD0\x88\x3D\xC2\xA4\x3D\xD2\x90\x3D\xC2\xA6\x3D\xC2\xA7\x3D"
    "\xD0\x81\x3D\xC2\xA9\x3D\xD0\x84\x3D\xC2\xAB\x3D\xC2\xAC\x3D\x20\x3D\x3D\xC2\xAE\x3D\xD0\x87\x3D"
    "\xC2\xB0\x3D\xC2\xB1\x3D\xD0\x86\x3D\xD1\x96\x3D\xD2\x91\x3D\xC2\xB5\x3D\xC2\xB6\x3D\xC2\xB7\x3D"
    "\xD1\x91\x3D\xE2\x84\x96\xD1\x94\x3D\xC2\xBB\x3D\xD1\x98\x3D\xD0\x85\x3D\xD1\x95\x3D\xD1\x97\x3D";

static_assert(sizeof(k866Box) == 48 * 3 + 1, "866 box-drawing table");
static_assert(sizeof(k866Letters) == 25 * 2 + 1, "866 letter table");
static_assert(sizeof(k866Tail) == 7 * 3 + 1, "866 tail table");
static_assert(sizeof(k1251Upper) == 64 * 3 + 1, "1251 upper table");

void appendCell(std::string& out, const char* cell, char pad)
{
    out += cell[0];
    if (cell[1] != pad)
        out += cell[1];
    if (cell[2] != pad)
        out += cell[2];
}

// Length of the well-formed multi-byte UTF-8 sequence starting at p, within
// [p, end) (a NUL is never part of one); 0 when none starts there.
int sequenceLength(const unsigned char* p, const unsigned char* end)
{
    char32_t cp;
    return *p < 0x80 ? 0 : KivComtradeLib::decodeUtf8(p, end, cp);
}

// Steps over consecutive well-formed sequences; returns how many.
int runOfSequences(const unsigned char*& p, const unsigned char* end)
{
    int count = 0;
    while (p < end && *p != 0) {
        const int length = sequenceLength(p, end);
        if (length == 0)
            break;
        p += length;
        ++count;
    }
    return count;
}

struct Votes {
    int count866 = 0;
    int count1251 = 0;
    int countUtf8 = 0;
    int maxUtf8Run = 0;
};

Votes vote(const char* text, std::size_t length)
{
    Votes votes;
    if (text == nullptr || length == 0)
        return votes;
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    const auto* const end = p + length;
    while (p < end) {
        const unsigned char byte = *p;
        if (byte >= 0x80 && byte <= 0xB0) {
            ++votes.count866;
            ++p;
            continue;
        }
        if (byte == 0) {
            ++p;
            continue;
        }
        const int run = runOfSequences(p, end);
        if (run > 0) {
            votes.countUtf8 += run;
            if (run > votes.maxUtf8Run)
                votes.maxUtf8Run = run;
            continue; // the byte where the run stopped is examined afresh
        }
        if (byte >= 0xC0) {
            ++votes.count1251;
            if (byte >= 0xE0 && byte <= 0xF2)
                ++votes.count866;
        }
        ++p;
    }
    return votes;
}

using KivComtradeLib::CodePageChoice;

} // namespace

namespace {

// Bytes below 0x80 (NUL included) are copied; each other byte is handed to
// `appendHigh`, which appends its one to three UTF-8 bytes.
template <typename AppendHigh>
std::string convertBytes(const char* text, std::size_t length, AppendHigh appendHigh)
{
    std::string out;
    if (text == nullptr || length == 0)
        return out;
    out.reserve(length);
    for (std::size_t i = 0; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80)
            out += static_cast<char>(byte);
        else
            appendHigh(out, byte);
    }
    return out;
}

} // namespace

std::string from866(const char* text, std::size_t length)
{
    return convertBytes(text, length, [](std::string& out, unsigned char byte) {
        if (byte <= 0xAF) { // А..Я а..п: U+0410..U+043F
            out += '\xD0';
            out += static_cast<char>(byte + 0x10);
        } else if (byte <= 0xDF) {
            out.append(k866Box + (byte - 0xB0) * 3, 3);
        } else if (byte <= 0xF8) {
            out.append(k866Letters + (byte - 0xE0) * 2, 2);
        } else {
            appendCell(out, k866Tail + (byte - 0xF9) * 3, '+');
        }
    });
}

std::string from1251(const char* text, std::size_t length)
{
    return convertBytes(text, length, [](std::string& out, unsigned char byte) {
        if (byte < 0xC0) {
            appendCell(out, k1251Upper + (byte - 0x80) * 3, '=');
        } else if (byte < 0xF0) { // А..Я а..п: U+0410..U+043F
            out += '\xD0';
            out += static_cast<char>(byte - 0x30);
        } else { // р..я: U+0440..U+044F
            out += '\xD1';
            out += static_cast<char>(byte - 0x70);
        }
    });
}

namespace {

// Converts by the decision; false when the text is to stay as it is.
bool convertByVotes(CodePageChoice choice, const char* bytes, std::size_t length, std::string& out)
{
    switch (choice) {
    case CodePageChoice::Cp866:
        out = from866(bytes, length);
        return true;
    case CodePageChoice::Cp1251:
        out = from1251(bytes, length);
        return true;
    case CodePageChoice::Unchanged:
        break;
    }
    return false;
}

} // namespace

int isUtf8Seq(const char*& p)
{
    if (p == nullptr || *p == 0)
        return 0;
    // The string is NUL-terminated and no sequence crosses a NUL, so a bound
    // 4 bytes past any lead is never reached without meeting the NUL first.
    const auto* cursor = reinterpret_cast<const unsigned char*>(p);
    int count = 0;
    while (*cursor != 0) {
        const unsigned char* limit = cursor;
        // Find how far the bytes go without a NUL, up to the longest sequence.
        int available = 0;
        while (available < 4 && limit[available] != 0)
            ++available;
        const int length = sequenceLength(cursor, cursor + available);
        if (length == 0)
            break;
        cursor += length;
        ++count;
    }
    p = reinterpret_cast<const char*>(cursor);
    return count;
}

void DetectRusCodePages::analize(const char* text, std::size_t length)
{
    const Votes votes = vote(text, length);
    count866 = votes.count866;
    count1251 = votes.count1251;
    countUtf8 = votes.countUtf8;
    maxUtf8Run = votes.maxUtf8Run;
}

std::string DetectRusCodePages::convertSC(const std::string& text, const char* bytes,
                                          std::size_t length)
{
    std::string converted;
    if (convertByVotes(KivComtradeLib::chooseCodePage(count866, count1251, countUtf8), bytes, length, converted))
        return converted;
    if (!text.empty())
        return text;
    return std::string(bytes, length);
}

std::string detectAndConvert(const std::string& text)
{
    const Votes votes = vote(text.data(), text.size());
    std::string converted;
    if (convertByVotes(KivComtradeLib::chooseCodePage(votes.count866, votes.count1251, votes.countUtf8), text.data(),
                       text.size(), converted))
        return converted;
    return text;
}

void test()
{
    char all[255];
    for (int i = 0; i < 255; ++i)
        all[i] = static_cast<char>(i + 1);
    std::printf("866toUtf8: ==%s== \n", from866(all, sizeof all).c_str());
    std::printf("1251toUtf8: ==%s== \n", from1251(all, sizeof all).c_str());

    const char ten[] = "\x80\xF2\xD0\x90\xD0\x91\xD0\x92\xD0\xD0";
    const char seven[] = "\xF2\xD0\x90\xD0\x91\xD0\xD0";
    const char four[] = "\x80\xF2\xD0\x90";

    DetectRusCodePages detector;
    detector.analize(ten, 10);
    std::printf("toUtf8: %d, %d, %d \n", detector.count866, detector.count1251, detector.countUtf8);
    detector.analize(seven, 7);
    std::printf("toUtf8: %d, %d, %d \n", detector.count866, detector.count1251, detector.countUtf8);

    const std::string tenText(ten, 10);
    const std::string sevenText(seven, 7);
    const std::string fourText(four, 4);
    DetectRusCodePages d10;
    d10.analize(tenText.data(), tenText.size());
    const std::string r10 = d10.convertSC(tenText, tenText.data(), tenText.size());
    DetectRusCodePages d7;
    d7.analize(sevenText.data(), sevenText.size());
    const std::string r7 = d7.convertSC(sevenText, sevenText.data(), sevenText.size());
    DetectRusCodePages d4;
    d4.analize(fourText.data(), fourText.size());
    const std::string r4 = d4.convertSC(fourText, fourText.data(), fourText.size());
    std::printf("detectAndConvert test: %s, %s, %s\n", r4.c_str(), r7.c_str(), r10.c_str());
}

} // namespace toUtf8
