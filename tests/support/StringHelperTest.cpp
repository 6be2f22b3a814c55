#include <KivComtradeLib/StringHelper.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

using KivComtradeLib::StringHelper;

namespace {

using Fields = std::vector<std::string>;

TEST(StringHelperSplit, FieldsAsConfigurationLinesNeedThem)
{
    struct Case {
        std::string text;
        Fields fields;
    };
    const std::vector<Case> cases = {
        {"", {}},
        {",", {""}},
        {",a", {"", "a"}},
        {"abc", {"abc"}},
        {"1,IA,,,A", {"1", "IA", "", "", "A"}},
        // One trailing separator adds no field; a second one adds an empty one.
        {"a,b,", {"a", "b"}},
        {"a,,", {"a", ""}},
        {",,", {"", ""}},
        // Blanks and control bytes stay in their field.
        {"a, b\r", {"a", " b\r"}},
        {" 1 ,\tx\t, ", {" 1 ", "\tx\t", " "}},
        {std::string("a\0b,c", 5), {std::string("a\0b", 3), "c"}},
        // Bytes 0x80-0xFF are plain bytes.
        {"\xD0\xA2,\xF2\xEE", {"\xD0\xA2", "\xF2\xEE"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(StringHelper::split(c.text, ','), c.fields) << '"' << c.text << '"';
    }
    EXPECT_EQ(StringHelper::split("a;b,c", ';'), (Fields{"a", "b,c"}));
}

TEST(StringHelperJoin, SeparatorOnlyBetweenParts)
{
    EXPECT_EQ(StringHelper::join(',', {}), "");
    EXPECT_EQ(StringHelper::join(',', {"x"}), "x");
    EXPECT_EQ(StringHelper::join(',', {"a", "", "b"}), "a,,b");
    EXPECT_EQ(StringHelper::join(',', {"", ""}), ",");
    EXPECT_EQ(StringHelper::join(',', {"a,b", "c"}), "a,b,c");
    EXPECT_EQ(StringHelper::join(';', {"1", "2", "3"}), "1;2;3");
}

TEST(StringHelperJoin, SplitOfJoinRestoresPartsWithoutTrailingEmpty)
{
    const Fields parts = {"1", "IA", "", "A", " kV "};
    EXPECT_EQ(StringHelper::split(StringHelper::join(',', parts), ','), parts);
}

TEST(StringHelperToLower, FoldsOnlyAsciiCapitals)
{
    EXPECT_EQ(StringHelper::toLower("BINARY32"), "binary32");
    EXPECT_EQ(StringHelper::toLower("Float32 "), "float32 ");

    std::string every;
    for (int b = 0; b < 256; ++b) {
        every.push_back(static_cast<char>(b));
    }
    const std::string lowered = StringHelper::toLower(every);
    ASSERT_EQ(lowered.size(), every.size());
    for (int b = 0; b < 256; ++b) {
        const int expected = (b >= 'A' && b <= 'Z') ? b - 'A' + 'a' : b;
        EXPECT_EQ(static_cast<unsigned char>(lowered[static_cast<std::size_t>(b)]), expected)
            << "byte " << b;
    }
}

TEST(StringHelperToInt, StoiRules)
{
    EXPECT_EQ(StringHelper::toInt("  42"), 42);
    EXPECT_EQ(StringHelper::toInt("-7x"), -7);
    EXPECT_EQ(StringHelper::toInt(" 1999abc"), 1999);
    EXPECT_EQ(StringHelper::toInt("+5"), 5);
    EXPECT_EQ(StringHelper::toInt("2013\r"), 2013);
    EXPECT_EQ(StringHelper::toInt("2147483647"), 2147483647);
    EXPECT_EQ(StringHelper::toInt("-2147483648"), -2147483647 - 1);

    for (const char* text : {"", "x1", " ", "-", "\r"}) {
        try {
            StringHelper::toInt(text);
            ADD_FAILURE() << "no exception for \"" << text << '"';
        } catch (const std::invalid_argument& e) {
            EXPECT_STREQ(e.what(), "stoi");
        }
    }
    for (const char* text : {"99999999999", "2147483648", "-2147483649"}) {
        try {
            StringHelper::toInt(text);
            ADD_FAILURE() << "no exception for \"" << text << '"';
        } catch (const std::out_of_range& e) {
            EXPECT_STREQ(e.what(), "stoi");
        }
    }
}

} // namespace
