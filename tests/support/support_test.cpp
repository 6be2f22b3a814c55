#include <KivComtradeLib/FilesHelper.h>
#include <KivComtradeLib/KivCommon.h>
#include <KivComtradeLib/StringHelper.h>

#include "writer/ComtradeWriter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

using KivComtradeLib::FilesHelper;
using KivComtradeLib::StringHelper;
using KivTest::writeFile;

namespace {

using Fields = std::vector<std::string>;

// Lines split as std::getline would: empty fields count, one trailing
// separator closes the last field without opening another.
TEST(StringHelper, SplitKeepsEmptyFieldsButNotOneTrailingSeparator)
{
    const std::vector<std::pair<std::string, Fields>> cases = {
        {"", {}}, {",", {""}}, {",a", {"", "a"}}, {"1,IA,,,A", {"1", "IA", "", "", "A"}}, {"a,b,", {"a", "b"}},
        {"a,,", {"a", ""}}, {" 1 ,\tx\r", {" 1 ", "\tx\r"}}, // blanks and control bytes stay in their field
        {std::string("a\0b,\xD0\xA2", 6), {std::string("a\0b", 3), "\xD0\xA2"}},
    };
    for (const auto& [text, fields] : cases)
        EXPECT_EQ(StringHelper::split(text, ','), fields) << testing::PrintToString(text);
    EXPECT_EQ(StringHelper::split("a;b,c", ';'), (Fields{"a", "b,c"}));
    const Fields parts = {"1", "IA", "", "A", " kV "};
    EXPECT_EQ(StringHelper::join(',', parts), "1,IA,,A, kV ");
    EXPECT_EQ(StringHelper::split(StringHelper::join(',', parts), ','), parts);
    EXPECT_EQ(StringHelper::join(',', {}), "");
    EXPECT_EQ(StringHelper::toLower("BINARY32 Float@[`{\xC0\xD0\xDA"), "binary32 float@[`{\xC0\xD0\xDA");
}

// Numbers are read with std::stoi's leniency, and its exceptions are what the
// configuration reader turns into a failure code.
TEST(StringHelper, ToIntFollowsStoi)
{
    const std::vector<std::pair<std::string, int>> good = {
        {"  42", 42}, {"-7x", -7}, {"+5", 5}, {" 1999abc", 1999}, {"2013\r", 2013},
        {"2147483647", 2147483647}, {"-2147483648", -2147483647 - 1},
    };
    for (const auto& [text, value] : good)
        EXPECT_EQ(StringHelper::toInt(text), value) << text;
    for (const char* text : {"", " ", "x1", "-", "\r"})
        EXPECT_THROW(StringHelper::toInt(text), std::invalid_argument) << '"' << text << '"';
    for (const char* text : {"2147483648", "-2147483649", "99999999999"})
        EXPECT_THROW(StringHelper::toInt(text), std::out_of_range) << text;
}

// The extension starts at the last dot of the whole name, folders included.
TEST(FilesHelper, ExtensionInAnyLetterCaseAndPairDerivation)
{
    struct Case {
        std::string name, extension, stem;
        char kind; // 'c'fg, 'd'at, 'f' cff, 0 none
        std::string cfg, dat;
    };
    const std::vector<Case> cases = {
        {"rec.CFG", ".CFG", "rec", 'c', "rec.CFG", "rec.dat"},
        {"rec.dAt", ".dAt", "rec", 'd', "rec.cfg", "rec.dAt"},
        {"rec.Cff", ".Cff", "rec", 'f', "rec.cfg", "rec.dat"},
        {"rec", "", "rec", 0, "rec.cfg", "rec.dat"},
        {"a.cfg.bak", ".bak", "a.cfg", 0, "a.cfg.cfg", "a.cfg.dat"},
        {"rec.cfg ", ".cfg ", "rec", 0, "rec.cfg", "rec.dat"},
        {"/a/b.c/rec.cfg", ".cfg", "/a/b.c/rec", 'c', "/a/b.c/rec.cfg", "/a/b.c/rec.dat"},
        {"dir.cfg/rec", ".cfg/rec", "dir", 0, "dir.cfg", "dir.dat"},
        {"", "", "", 0, ".cfg", ".dat"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FilesHelper::getFileExtension(c.name), c.extension) << c.name;
        EXPECT_EQ(FilesHelper::getfileNameWithoutExtension(c.name), c.stem) << c.name;
        EXPECT_EQ(FilesHelper::isCfgFile(c.name), c.kind == 'c') << c.name;
        EXPECT_EQ(FilesHelper::isDatFile(c.name), c.kind == 'd') << c.name;
        EXPECT_EQ(FilesHelper::isCffFile(c.name), c.kind == 'f') << c.name;
        EXPECT_EQ(FilesHelper::isComtradeFile(c.name), c.kind != 0) << c.name;
        EXPECT_EQ(FilesHelper::cfgFileName(c.name), c.cfg) << c.name;
        EXPECT_EQ(FilesHelper::datFileName(c.name), c.dat) << c.name;
    }
}

TEST(FilesHelper, LengthKeepsReadPositionAndFailureIsMinusOne)
{
    KivTest::TempDir dir("files");
    ASSERT_TRUE(writeFile(dir.file("rec.dat"), std::string(1000, 'x')));
    EXPECT_EQ(FilesHelper::fileLenght(dir.file("rec.dat")), 1000);
    EXPECT_TRUE(FilesHelper::isFileExist(dir.file("rec.dat")));
    EXPECT_FALSE(FilesHelper::isFileExist(dir.file("REC.DAT"))); // the name is used as given

    std::ifstream in(dir.file("rec.dat"), std::ios_base::binary);
    in.seekg(123);
    EXPECT_EQ(FilesHelper::fileLenght(in), 1000);
    EXPECT_EQ(FilesHelper::fileLength64(in), 1000);
    EXPECT_EQ(static_cast<long long>(in.tellg()), 123); // still reads from where it was

    std::ifstream missing(dir.file("missing.dat"), std::ios_base::binary);
    EXPECT_EQ(FilesHelper::fileLenght(dir.file("missing.dat")), -1);
    EXPECT_EQ(FilesHelper::fileLenght(missing), -1);
    EXPECT_EQ(FilesHelper::fileLength64(missing), -1);
    EXPECT_FALSE(FilesHelper::isFileExist(dir.file("missing.dat")));
}

// A length past INT_MAX must not be cut to its low 32 bits, which could look
// like a smaller valid file; the 64-bit query gives the true size.
TEST(FilesHelper, LengthBeyondIntIsMinusOneButFileLength64GivesIt)
{
    KivTest::TempDir dir("files");
    const std::string path = dir.file("big.dat");
    ASSERT_TRUE(writeFile(path, ""));
    if (::truncate(path.c_str(), 2147483647LL) != 0)
        GTEST_SKIP() << "cannot make a sparse file in " << dir.path();
    EXPECT_EQ(FilesHelper::fileLenght(path), 2147483647);

    ASSERT_EQ(::truncate(path.c_str(), 3LL << 30), 0);
    EXPECT_EQ(FilesHelper::fileLenght(path), -1);
    std::ifstream in(path, std::ios_base::binary);
    in.seekg(10);
    EXPECT_EQ(FilesHelper::fileLenght(in), -1);
    EXPECT_EQ(FilesHelper::fileLength64(in), 3LL << 30);
    EXPECT_EQ(static_cast<long long>(in.tellg()), 10);
}

// Every line read until the read fails, with eof() after it: the time-
// multiplier rules of the configuration reader look at that state.
std::vector<std::pair<std::string, bool>> readAll(const std::string& text)
{
    std::istringstream in(text);
    std::vector<std::pair<std::string, bool>> reads;
    std::string line;
    while (Kiv::getTextLine(in, line))
        reads.emplace_back(line, in.eof());
    return reads;
}

TEST(KivCommon, CrLfLineReadsLikeItsLfTwin)
{
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {"a\nb\n", {"a", "b"}}, {"a\n\nb", {"a", "", "b"}}, {"\n", {""}}, {"", {}}, {"x\n\x1A", {"x", "\x1A"}},
        {"a\rb\n", {"a\rb"}}, // a lone CR inside a line stays
        {"a\r", {"a\r"}},     // and so does a CR at the end of the file
        {std::string("a\0\nb", 4), {std::string("a\0", 2), "b"}},
    };
    for (const auto& [text, lines] : cases) {
        const auto lf = readAll(text);
        std::vector<std::string> got;
        for (const auto& read : lf)
            got.push_back(read.first);
        EXPECT_EQ(got, lines) << testing::PrintToString(text);
        EXPECT_EQ(readAll(KivTest::toCrLf(text)), lf) << testing::PrintToString(text);
    }
}

std::string firstLine(const std::string& path)
{
    std::ifstream in = Kiv::openInputFileUTF8Name(path, std::ios_base::in);
    std::string line;
    Kiv::getTextLine(in, line);
    return line;
}

// Recorders write rec.CFG where the pair derivation asks for rec.cfg.
TEST(KivCommon, NameInOtherAsciiCaseFindsExactFirstThenFirstInByteOrder)
{
    KivTest::TempDir dir("common");
    ASSERT_TRUE(writeFile(dir.file("rec.CFG"), "upper\r\n"));
    for (const char* asked : {"rec.cfg", "REC.cfg", "rec.CFG"}) {
        EXPECT_TRUE(Kiv::fileExist(dir.file(asked))) << asked;
        EXPECT_EQ(firstLine(dir.file(asked)), "upper") << asked;
    }
    ASSERT_TRUE(writeFile(dir.file("\xC3\x84.cfg"), "")); // Ä: only ASCII letters fold
    EXPECT_TRUE(Kiv::fileExist(dir.file("\xC3\x84.CFG")));
    EXPECT_FALSE(Kiv::fileExist(dir.file("\xC3\xA4.cfg")));

    ASSERT_TRUE(writeFile(dir.file("rec.cfg"), "lower"));
    ASSERT_TRUE(writeFile(dir.file("REC.cfg"), "capitals"));
    EXPECT_EQ(Kiv::resolveFileName(dir.file("rec.cfg")), dir.file("rec.cfg"));
    // "REC.cfg" < "rec.CFG" < "rec.cfg" in byte order, whatever readdir gives.
    EXPECT_EQ(firstLine(dir.file("rEc.Cfg")), "capitals");
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    const std::string bare = Kiv::resolveFileName("Rec.cFg"); // looked up in the working folder
    std::filesystem::current_path(before);
    EXPECT_EQ(bare, "REC.cfg");
}

TEST(KivCommon, FolderIsNoFile)
{
    KivTest::TempDir dir("common");
    EXPECT_FALSE(Kiv::fileExist(dir.path()));
    EXPECT_FALSE(Kiv::fileExist(dir.file("missing.cfg")));
    EXPECT_FALSE(Kiv::fileExist(""));
    std::filesystem::create_directory(dir.file("sub.CFG"));
    EXPECT_FALSE(Kiv::fileExist(dir.file("sub.cfg")));
    EXPECT_FALSE(Kiv::fileExist(dir.file("sub.CFG")));
    // Folders are no candidates, neither with the exact name nor sorting first.
    std::filesystem::create_directory(dir.file("rec.cfg"));
    std::filesystem::create_directory(dir.file("REC.CFG"));
    ASSERT_TRUE(writeFile(dir.file("rec.Cfg"), "file"));
    EXPECT_TRUE(Kiv::fileExist(dir.file("rec.cfg")));
    EXPECT_EQ(firstLine(dir.file("rec.cfg")), "file");
}

} // namespace
