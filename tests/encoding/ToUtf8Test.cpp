#include <KivComtradeLib/ToUtf8.h>

#include <gtest/gtest.h>

#include <iconv.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

// Input copied into a heap block of exactly its size (plus the NUL when asked)
// so that AddressSanitizer reports any read past the end.
class ExactBuffer {
public:
    explicit ExactBuffer(const std::string& bytes, bool nulTerminated = false)
        : size_(bytes.size()), data_(new char[bytes.size() + (nulTerminated ? 1 : 0)])
    {
        std::copy(bytes.begin(), bytes.end(), data_.get());
        if (nulTerminated) {
            data_[bytes.size()] = '\0';
        }
    }
    const char* data() const { return data_.get(); }
    std::size_t size() const { return size_; }

private:
    std::size_t size_;
    std::unique_ptr<char[]> data_;
};

std::string str(const Bytes& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

// The published mapping of one byte, by the system's iconv; empty when iconv
// has no mapping for it.
std::string iconvByte(const char* codePage, unsigned char byte)
{
    iconv_t cd = iconv_open("UTF-8", codePage);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return std::string();
    }
    char in[1] = {static_cast<char>(byte)};
    char out[8] = {};
    char* inPtr = in;
    char* outPtr = out;
    std::size_t inLeft = 1;
    std::size_t outLeft = sizeof(out);
    const std::size_t done = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (done == static_cast<std::size_t>(-1)) {
        return std::string();
    }
    return std::string(out, sizeof(out) - outLeft);
}

// The UTF-8 that a code page must give for every byte, from iconv, with the
// two documented cells of 1251 (0x98 unassigned, 0xAD soft hyphen) as spaces.
struct Reference {
    std::string cells[256];

    explicit Reference(int codePage)
    {
        for (int b = 0; b < 0x80; ++b) {
            cells[b] = std::string(1, static_cast<char>(b));
        }
        for (int b = 0x80; b < 0x100; ++b) {
            const unsigned char byte = static_cast<unsigned char>(b);
            if (codePage == 1251 && (b == 0x98 || b == 0xAD)) {
                cells[b] = " ";
            } else {
                cells[b] = iconvByte(codePage == 866 ? "CP866" : "CP1251", byte);
            }
        }
    }
    std::string of(const std::string& bytes) const
    {
        std::string out;
        for (char c : bytes) {
            out += cells[static_cast<unsigned char>(c)];
        }
        return out;
    }
};

const Reference& ref866()
{
    static const Reference table(866);
    return table;
}

const Reference& ref1251()
{
    static const Reference table(1251);
    return table;
}

std::string from866(const std::string& bytes)
{
    const ExactBuffer buffer(bytes);
    return toUtf8::from866(buffer.data(), buffer.size());
}

std::string from1251(const std::string& bytes)
{
    const ExactBuffer buffer(bytes);
    return toUtf8::from1251(buffer.data(), buffer.size());
}

struct Counts {
    int c866, c1251, utf8;
};

Counts analize(const std::string& bytes, int* maxRun = nullptr)
{
    const ExactBuffer buffer(bytes);
    toUtf8::DetectRusCodePages detector;
    detector.analize(buffer.data(), buffer.size());
    if (maxRun) {
        *maxRun = detector.maxUtf8Run;
    }
    return {detector.count866, detector.count1251, detector.countUtf8};
}

std::string counts(const Counts& c)
{
    return std::to_string(c.c866) + "/" + std::to_string(c.c1251) + "/" + std::to_string(c.utf8);
}

// The worked strings of the self-test.
const std::string kTen = str({0x80, 0xF2, 0xD0, 0x90, 0xD0, 0x91, 0xD0, 0x92, 0xD0, 0xD0});
const std::string kSeven = str({0xF2, 0xD0, 0x90, 0xD0, 0x91, 0xD0, 0xD0});
const std::string kFour = str({0x80, 0xF2, 0xD0, 0x90});

TEST(ToUtf8Tables, EveryUpperByteMatchesIconv)
{
    for (int b = 0x80; b < 0x100; ++b) {
        const std::string byte(1, static_cast<char>(b));
        ASSERT_FALSE(ref866().cells[b].empty()) << "iconv has no CP866 cell " << b;
        EXPECT_EQ(from866(byte), ref866().cells[b]) << "866 byte 0x" << std::hex << b;
        if (b != 0x98) {
            ASSERT_FALSE(ref1251().cells[b].empty()) << "iconv has no CP1251 cell " << b;
        }
        EXPECT_EQ(from1251(byte), ref1251().cells[b]) << "1251 byte 0x" << std::hex << b;
    }
    // Spot checks of cells that are easy to get wrong by hand.
    EXPECT_EQ(from866("\xFF"), "\xC2\xA0");
    EXPECT_EQ(from866("\xF9"), "\xE2\x88\x99");
    EXPECT_EQ(from1251("\x98"), " ");
    EXPECT_EQ(from1251("\xAD"), " ");
}

TEST(ToUtf8Tables, WholeStringsConvertCellByCell)
{
    std::string all;
    for (int b = 0; b < 0x100; ++b) {
        all.push_back(static_cast<char>(b));
    }
    std::string reversed(all.rbegin(), all.rend());
    for (const std::string& text : {all, reversed, std::string("1,\xD2\xEE\xEA,A,\x00\xFF", 10)}) {
        EXPECT_EQ(from866(text), ref866().of(text));
        EXPECT_EQ(from1251(text), ref1251().of(text));
    }
    EXPECT_EQ(toUtf8::from866(nullptr, 5), "");
    EXPECT_EQ(toUtf8::from1251(nullptr, 5), "");
    EXPECT_EQ(from866(""), "");
    EXPECT_EQ(from1251(""), "");
}

TEST(ToUtf8Sequences, RunsOfWellFormedSequences)
{
    struct Case {
        Bytes bytes; // NUL is appended
        int count;
        std::size_t stop; // offset where the pointer stays
    };
    const std::vector<Case> cases = {
        {{0xD0, 0x90, 0xD0, 0x91, 0x41}, 2, 4},
        {{0xED, 0xA0, 0x80}, 0, 0}, // surrogate
        {{0xE0, 0x80, 0x80}, 0, 0}, // overlong
        {{}, 0, 0},
        {{0x41, 0xD0, 0x90}, 0, 0},
        {{0xD0}, 0, 0},
        {{0xC2, 0x80, 0xC2}, 1, 2},
        {{0xE2, 0x82, 0xAC, 0xD0, 0x90}, 2, 5},
        {{0xF0, 0x9F, 0x98, 0x80, 0x41}, 1, 4},
        {{0xD0, 0x90, 0xE1, 0x80, 0xC0}, 1, 2}, // stops on the lead of the bad one
        {{0xC0, 0x80}, 0, 0},
        {{0xF4, 0x90, 0x80, 0x80}, 0, 0},
    };
    for (const Case& c : cases) {
        const ExactBuffer buffer(str(c.bytes), true);
        const char* p = buffer.data();
        EXPECT_EQ(toUtf8::isUtf8Seq(p), c.count) << testing::PrintToString(c.bytes);
        EXPECT_EQ(static_cast<std::size_t>(p - buffer.data()), c.stop) << testing::PrintToString(c.bytes);
    }
    const char* null = nullptr;
    EXPECT_EQ(toUtf8::isUtf8Seq(null), 0);
    EXPECT_EQ(null, nullptr);
}

TEST(ToUtf8Sequences, TableOfWellFormedBoundaries)
{
    const std::vector<Bytes> good = {
        {0xC2, 0x80}, {0xDF, 0xBF}, {0xE0, 0xA0, 0x80}, {0xE1, 0x80, 0x80}, {0xEC, 0xBF, 0xBF},
        {0xED, 0x80, 0x80}, {0xED, 0x9F, 0xBF}, {0xEE, 0x80, 0x80}, {0xEF, 0xBF, 0xBF},
        {0xF0, 0x90, 0x80, 0x80}, {0xF1, 0x80, 0x80, 0x80}, {0xF3, 0xBF, 0xBF, 0xBF},
        {0xF4, 0x80, 0x80, 0x80}, {0xF4, 0x8F, 0xBF, 0xBF},
    };
    const std::vector<Bytes> bad = {
        {0xC0, 0x80}, {0xC1, 0xBF}, {0xC2, 0x7F}, {0xC2, 0xC0}, {0xE0, 0x9F, 0xBF},
        {0xED, 0xA0, 0x80}, {0xE1, 0x80, 0xC0}, {0xE1, 0x80}, {0xF0, 0x8F, 0xBF, 0xBF},
        {0xF4, 0x90, 0x80, 0x80}, {0xF5, 0x80, 0x80, 0x80}, {0xF1, 0x80, 0x80}, {0xFF}, {0x80},
    };
    for (const Bytes& b : good) {
        const ExactBuffer buffer(str(b), true);
        const char* p = buffer.data();
        EXPECT_EQ(toUtf8::isUtf8Seq(p), 1) << testing::PrintToString(b);
        EXPECT_EQ(static_cast<std::size_t>(p - buffer.data()), b.size());
        EXPECT_EQ(analize(str(b)).utf8, 1) << testing::PrintToString(b);
    }
    for (const Bytes& b : bad) {
        const ExactBuffer buffer(str(b), true);
        const char* p = buffer.data();
        EXPECT_EQ(toUtf8::isUtf8Seq(p), 0) << testing::PrintToString(b);
        EXPECT_EQ(p, buffer.data());
        EXPECT_EQ(analize(str(b)).utf8, 0) << testing::PrintToString(b);
    }
}

TEST(ToUtf8Detector, VotesOfSingleBytes)
{
    for (int b = 0; b < 0x100; ++b) {
        Counts expected{0, 0, 0};
        if (b >= 0x80 && b <= 0xB0) {
            expected = {1, 0, 0};
        } else if (b >= 0xE0 && b <= 0xF2) {
            expected = {1, 1, 0};
        } else if (b >= 0xC0) {
            expected = {0, 1, 0};
        }
        EXPECT_EQ(counts(analize(std::string(1, static_cast<char>(b)))), counts(expected))
            << "byte 0x" << std::hex << b;
    }
}

TEST(ToUtf8Detector, VotesOfWorkedTexts)
{
    const std::string tokUtf8 = "\xD0\xA2\xD0\xBE\xD0\xBA \xD1\x84\xD0\xB0\xD0\xB7\xD1\x8B \xD0\x90";
    struct Case {
        std::string text;
        Counts counts;
    };
    const std::vector<Case> cases = {
        {kTen, {2, 3, 3}},
        {kSeven, {1, 3, 2}},
        {kFour, {2, 1, 1}},
        {"\xD2\xEE\xEA", {2, 3, 0}}, // "Ток" in 1251
        {"\x92\xAE\xAA", {3, 0, 0}}, // "Ток" in 866
        {tokUtf8, {0, 0, 8}},
        {"1,IA,A,,kV,0.5,0,0,-32767,32767,1,1,S", {0, 0, 0}},
        {"abc\xD0", {0, 1, 0}}, // a lone lead byte at the very end
        {std::string("\xD0\x00\x90", 3), {1, 1, 0}},
        {std::string("\xD0\x90\x00\xD0\x91", 5), {0, 0, 2}},
        {"", {0, 0, 0}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(counts(analize(c.text)), counts(c.counts)) << testing::PrintToString(c.text);
    }

    int maxRun = -1;
    analize(tokUtf8, &maxRun);
    EXPECT_EQ(maxRun, 4);
    // A sequence must lie within the given length, even when the memory beyond
    // would complete it.
    const ExactBuffer buffer("\xD0\x90");
    toUtf8::DetectRusCodePages detector;
    detector.analize(buffer.data(), 1);
    EXPECT_EQ(counts({detector.count866, detector.count1251, detector.countUtf8}), "0/1/0");
    // Reuse starts from zero; a null pointer counts nothing.
    detector.analize(tokUtf8.data(), tokUtf8.size());
    detector.analize(nullptr, 10);
    EXPECT_EQ(counts({detector.count866, detector.count1251, detector.countUtf8}), "0/0/0");
    EXPECT_EQ(detector.maxUtf8Run, 0);
}

TEST(ToUtf8Detector, DecisionByCounters)
{
    const std::string text = "\xD2\xEE\xEA";
    const std::string as866 = ref866().of(text);
    const std::string as1251 = ref1251().of(text);
    struct Case {
        Counts counts;
        std::string result;
    };
    const std::vector<Case> cases = {
        {{3, 2, 1}, as866},  {{2, 2, 1}, as866}, // 866 wins ties with 1251
        {{2, 3, 1}, as1251}, {{1, 3, 2}, as1251}, {{0, 1, 0}, as1251},
        {{2, 2, 2}, text},   {{1, 3, 3}, text},   {{0, 0, 0}, text},
        {{2, 0, 2}, text},   {{-1, -1, -2}, as866}, {{-1, 0, -2}, as1251}, {{-2, -1, -1}, text},
    };
    const ExactBuffer buffer(text);
    for (const Case& c : cases) {
        toUtf8::DetectRusCodePages detector;
        detector.count866 = c.counts.c866;
        detector.count1251 = c.counts.c1251;
        detector.countUtf8 = c.counts.utf8;
        EXPECT_EQ(detector.convertSC(text, buffer.data(), buffer.size()), c.result) << counts(c.counts);
    }
    // The unchanged result is the string argument, or the bytes when it is empty.
    toUtf8::DetectRusCodePages detector;
    EXPECT_EQ(detector.convertSC("other", buffer.data(), buffer.size()), "other");
    EXPECT_EQ(detector.convertSC("", buffer.data(), buffer.size()), text);
    // Conversions take the bytes, not the string.
    detector.count1251 = 5;
    EXPECT_EQ(detector.convertSC("other", buffer.data(), buffer.size()), as1251);
}

// A fixed pseudo-random sequence: texts that look like channel lines with
// bytes of every range.
std::vector<std::string> mixedTexts()
{
    std::vector<std::string> texts = {kTen, kSeven, kFour, "", "plain,ascii,line"};
    std::uint32_t state = 12345u;
    auto next = [&state]() {
        state = state * 1103515245u + 12345u;
        return (state >> 16) & 0x7FFFu;
    };
    for (int n = 0; n < 400; ++n) {
        std::string text;
        const unsigned length = next() % 24;
        for (unsigned i = 0; i < length; ++i) {
            const unsigned pick = next() % 8;
            if (pick == 0) {
                text.push_back(',');
            } else if (pick == 1) {
                text.push_back(static_cast<char>('0' + next() % 10));
            } else {
                text.push_back(static_cast<char>(0x80 + next() % 0x80));
            }
        }
        texts.push_back(text);
    }
    return texts;
}

TEST(ToUtf8Detector, DetectAndConvertAgreesWithDetectorAndKeepsCommas)
{
    for (const std::string& text : mixedTexts()) {
        const ExactBuffer buffer(text);
        toUtf8::DetectRusCodePages detector;
        detector.analize(buffer.data(), buffer.size());
        const std::string converted = detector.convertSC(text, buffer.data(), buffer.size());
        EXPECT_EQ(toUtf8::detectAndConvert(text), converted) << testing::PrintToString(text);

        EXPECT_TRUE(converted == text || converted == ref866().of(text) || converted == ref1251().of(text));
        // Fields keep their number and order when a channel line is converted.
        EXPECT_EQ(std::count(converted.begin(), converted.end(), ','), std::count(text.begin(), text.end(), ','));
    }
    EXPECT_EQ(toUtf8::detectAndConvert(""), "");
    EXPECT_EQ(toUtf8::detectAndConvert("\xD2\xEE\xEA"), "\xD0\xA2\xD0\xBE\xD0\xBA");
    EXPECT_EQ(toUtf8::detectAndConvert("\x92\xAE\xAA"), "\xD0\xA2\xD0\xBE\xD0\xBA");
    const std::string utf8 = "\xD0\xA2\xD0\xBE\xD0\xBA \xD1\x84\xD0\xB0\xD0\xB7\xD1\x8B \xD0\x90";
    EXPECT_EQ(toUtf8::detectAndConvert(utf8), utf8);
}

TEST(ToUtf8SelfTest, PrintsExactLines)
{
    std::string ascending;
    for (int b = 1; b < 0x100; ++b) {
        ascending.push_back(static_cast<char>(b));
    }
    const std::string expected = "866toUtf8: ==" + ref866().of(ascending) + "== \n" +
                                 "1251toUtf8: ==" + ref1251().of(ascending) + "== \n" +
                                 "toUtf8: 2, 3, 3 \n" +
                                 "toUtf8: 1, 3, 2 \n" +
                                 "detectAndConvert test: " + ref866().of(kFour) + ", " +
                                 ref1251().of(kSeven) + ", " + kTen + "\n";
    testing::internal::CaptureStdout();
    toUtf8::test();
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed, expected);
}

} // namespace
