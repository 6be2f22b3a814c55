#include <KivComtradeLib/ToUtf8.h>

#include <gtest/gtest.h>

#include <iconv.h>

#include <string>
#include <vector>

namespace {

// Bytes in a heap block of exactly their size, so that AddressSanitizer
// reports any read past the end.
using Exact = std::vector<char>;
Exact exact(const std::string& bytes) { return Exact(bytes.begin(), bytes.end()); }

// The UTF-8 of every byte of a code page by glibc's iconv, with the two
// documented cells of 1251 (0x98 unassigned, 0xAD soft hyphen) as spaces.
struct Reference {
    std::string cells[256];

    explicit Reference(const char* codePage)
    {
        iconv_t cd = iconv_open("UTF-8", codePage);
        if (cd == reinterpret_cast<iconv_t>(-1))
            return; // empty cells: the tables test reports it
        for (int b = 0; b < 0x100; ++b) {
            char in[1] = {static_cast<char>(b)}, out[8] = {};
            char *inPtr = in, *outPtr = out;
            std::size_t inLeft = 1, outLeft = sizeof out;
            if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1))
                cells[b].assign(out, sizeof out - outLeft);
        }
        iconv_close(cd);
        if (std::string(codePage) == "CP1251")
            cells[0x98] = cells[0xAD] = " ";
    }
    std::string of(const std::string& bytes) const
    {
        std::string out;
        for (char c : bytes)
            out += cells[static_cast<unsigned char>(c)];
        return out;
    }
};

const Reference& ref866() { static const Reference table("CP866"); return table; }
const Reference& ref1251() { static const Reference table("CP1251"); return table; }

// The votes as "866/1251/utf8", of the first `length` bytes.
std::string votes(const std::string& bytes, std::size_t length, int* maxRun = nullptr)
{
    const Exact buffer = exact(bytes);
    toUtf8::DetectRusCodePages d;
    d.analize(buffer.data(), length);
    if (maxRun)
        *maxRun = d.maxUtf8Run;
    return std::to_string(d.count866) + "/" + std::to_string(d.count1251) + "/" + std::to_string(d.countUtf8);
}

// The worked strings of the self-test.
const std::string kTen = "\x80\xF2\xD0\x90\xD0\x91\xD0\x92\xD0\xD0";
const std::string kSeven = "\xF2\xD0\x90\xD0\x91\xD0\xD0";
const std::string kFour = "\x80\xF2\xD0\x90";
const std::string kTokUtf8 = "\xD0\xA2\xD0\xBE\xD0\xBA \xD1\x84\xD0\xB0\xD0\xB7\xD1\x8B \xD0\x90";
const std::string kAll = [] {
    std::string all;
    for (int b = 0; b < 0x100; ++b)
        all.push_back(static_cast<char>(b));
    return all;
}();

TEST(ToUtf8Tables, EveryByteMatchesIconvButTheTwoBlankCells)
{
    for (int b = 0; b < 0x100; ++b) { // NUL and ASCII are copied
        const Exact byte = exact(kAll.substr(static_cast<std::size_t>(b), 1));
        ASSERT_FALSE(ref866().cells[b].empty() || ref1251().cells[b].empty()) << "iconv lacks byte " << b;
        EXPECT_EQ(toUtf8::from866(byte.data(), 1), ref866().cells[b]) << "866 byte " << b;
        EXPECT_EQ(toUtf8::from1251(byte.data(), 1), ref1251().cells[b]) << "1251 byte " << b;
    }
    EXPECT_EQ(toUtf8::from1251("\x98\xAD", 2), "  ");
    EXPECT_EQ(toUtf8::from866(nullptr, 5) + toUtf8::from1251(nullptr, 5), "");
}

TEST(ToUtf8Sequences, CountsWellFormedRunAndStopsAtBadLeadOrNul)
{
    struct Case {
        std::string bytes; // a NUL follows
        int count;
        long stop; // where the pointer is left
    };
    const std::vector<Case> cases = {
        {"\xD0\x90\xD0\x91" "A", 2, 4}, {"\xC2\x80\xDF\xBF", 2, 4}, {"\xE0\xA0\x80\xED\x9F\xBF", 2, 6},
        {"\xF0\x90\x80\x80\xF4\x8F\xBF\xBF", 2, 8}, {"\xE2\x82\xAC\xD0\x90", 2, 5},
        {"\xED\xA0\x80", 0, 0},                      // surrogate
        {"\xC0\x80", 0, 0}, {"\xE0\x9F\xBF", 0, 0}, // overlong
        {"\xF0\x8F\xBF\xBF", 0, 0}, {"\xF4\x90\x80\x80", 0, 0}, {"\xF5\x80\x80\x80", 0, 0},
        {"\xC2\x7F", 0, 0}, {"\x80", 0, 0}, {"\xFF", 0, 0}, {"A\xD0\x90", 0, 0}, {"", 0, 0},
        {"\xD0\x90\xE1\x80\xC0", 1, 2}, // stops on the lead of the bad one
        {"\xC2\x80\xE1\x80", 1, 2},     // the NUL cuts the second one short
    };
    for (const Case& c : cases) {
        const Exact buffer = exact(c.bytes + '\0');
        const char* p = buffer.data();
        EXPECT_EQ(toUtf8::isUtf8Seq(p), c.count) << testing::PrintToString(c.bytes);
        EXPECT_EQ(p - buffer.data(), c.stop) << testing::PrintToString(c.bytes);
    }
    const char* null = nullptr;
    EXPECT_EQ(toUtf8::isUtf8Seq(null), 0);
}

TEST(ToUtf8Detector, VotesOfSingleBytesAndWorkedStrings)
{
    for (int b = 0; b < 0x100; ++b) {
        const char* expected = b < 0x80 ? "0/0/0" : b <= 0xB0 ? "1/0/0" : b < 0xC0 ? "0/0/0"
                                                  : b >= 0xE0 && b <= 0xF2 ? "1/1/0" : "0/1/0";
        EXPECT_EQ(votes(std::string(1, static_cast<char>(b)), 1), expected) << "byte " << b;
    }
    const std::vector<std::pair<std::string, std::string>> cases = {
        {kTen, "2/3/3"}, {kSeven, "1/3/2"}, {kFour, "2/1/1"}, {kTokUtf8, "0/0/8"},
        {"\xD2\xEE\xEA", "2/3/0"}, {"\x92\xAE\xAA", "3/0/0"}, // "Ток" in 1251 and in 866
        {"1,IA,A,,kV,0.5,0,0,-32767,32767,1,1,S", "0/0/0"}, {"abc\xD0", "0/1/0"}, // lone lead at the end
        {std::string("\xD0\x00\x90", 3), "1/1/0"}, {std::string("\xD0\x90\x00\xD0\x91", 5), "0/0/2"},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(votes(text, text.size()), expected) << testing::PrintToString(text);
    int maxRun = -1;
    votes(kTokUtf8, kTokUtf8.size(), &maxRun);
    EXPECT_EQ(maxRun, 4);
    EXPECT_EQ(votes("\xD0\x90", 1), "0/1/0"); // a sequence must lie within the given length
    toUtf8::DetectRusCodePages reused;        // reuse starts from zero; null counts nothing
    reused.analize(kTokUtf8.data(), kTokUtf8.size());
    reused.analize(nullptr, 10);
    EXPECT_EQ(reused.count866 + reused.count1251 + reused.countUtf8 + reused.maxUtf8Run, 0);
}

TEST(ToUtf8Detector, DecisionByVotesAndTies)
{
    const std::string text = "\xD2\xEE\xEA";
    const std::string as866 = ref866().of(text), as1251 = ref1251().of(text);
    struct Case {
        int c866, c1251, utf8;
        std::string result;
    };
    const std::vector<Case> cases = {
        {3, 2, 1, as866}, {2, 2, 1, as866}, // 866 wins a tie with 1251
        {2, 3, 1, as1251}, {1, 3, 2, as1251}, {0, 1, 0, as1251},
        {2, 2, 2, text}, {1, 3, 3, text}, {0, 0, 0, text}, {2, 0, 2, text}, // UTF-8 wins ties
    };
    const Exact bytes = exact(text);
    for (const Case& c : cases) {
        toUtf8::DetectRusCodePages d;
        d.count866 = c.c866, d.count1251 = c.c1251, d.countUtf8 = c.utf8;
        EXPECT_EQ(d.convertSC(text, bytes.data(), bytes.size()), c.result) << c.c866 << c.c1251 << c.utf8;
    }
    // Unchanged is the string argument, or the bytes when it is empty;
    // conversions take the bytes.
    toUtf8::DetectRusCodePages d;
    EXPECT_EQ(d.convertSC("other", bytes.data(), bytes.size()), "other");
    EXPECT_EQ(d.convertSC("", bytes.data(), bytes.size()), text);
    d.count1251 = 5;
    EXPECT_EQ(d.convertSC("other", bytes.data(), bytes.size()), as1251);
}

TEST(ToUtf8Detector, DetectAndConvertIsAnalizeThenConvertSC)
{
    // Every text of one and two bytes, and the worked strings.
    std::vector<std::string> texts = {kTen, kSeven, kFour, kTokUtf8, ""};
    for (int b = 0; b < 0x10000; ++b)
        texts.push_back({static_cast<char>(b >> 8), static_cast<char>(b & 0xFF)});
    for (int b = 0; b < 0x100; ++b)
        texts.push_back({static_cast<char>(b)});
    for (const std::string& text : texts) {
        const Exact bytes = exact(text);
        toUtf8::DetectRusCodePages d;
        d.analize(bytes.data(), bytes.size());
        const std::string converted = d.convertSC(text, bytes.data(), bytes.size());
        ASSERT_EQ(toUtf8::detectAndConvert(text), converted) << testing::PrintToString(text);
        ASSERT_TRUE(converted == text || converted == ref866().of(text) || converted == ref1251().of(text));
    }
    EXPECT_EQ(toUtf8::detectAndConvert("\xD2\xEE\xEA"), "\xD0\xA2\xD0\xBE\xD0\xBA"); // "Ток" from 1251
    EXPECT_EQ(toUtf8::detectAndConvert("\x92\xAE\xAA"), "\xD0\xA2\xD0\xBE\xD0\xBA"); // and from 866
}

TEST(ToUtf8SelfTest, PrintsExactLines)
{
    const std::string ascending = kAll.substr(1);
    testing::internal::CaptureStdout();
    toUtf8::test();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "866toUtf8: ==" + ref866().of(ascending) + "== \n1251toUtf8: ==" + ref1251().of(ascending) +
                  "== \ntoUtf8: 2, 3, 3 \ntoUtf8: 1, 3, 2 \ndetectAndConvert test: " + ref866().of(kFour) + ", " +
                  ref1251().of(kSeven) + ", " + kTen + "\n");
}

} // namespace
