#include <KivComtradeLib/FilesHelper.h>
#include <KivComtradeLib/KivCommon.h>
#include <KivComtradeLib/StringHelper.h>

#include "writer/ComtradeWriter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

using KivComtradeLib::FilesHelper;
using KivComtradeLib::StringHelper;
using KivTest::writeFile;

namespace {

// Empty fields count; one trailing separator closes the last field without
// opening another; blanks and control bytes stay in their field.
TEST(StringHelper, SplitKeepsEmptyFieldsButNotOneTrailingSeparator)
{
    using Fields = std::vector<std::string>;
    const std::vector<std::pair<std::string, Fields>> cases = {
        {"", {}}, {",", {""}}, {"1,IA,,,A", {"1", "IA", "", "", "A"}}, {"a,b,", {"a", "b"}}, {" 1 ,\tx\r", {" 1 ", "\tx\r"}},
    };
    for (const auto& [text, fields] : cases)
        EXPECT_EQ(StringHelper::split(text, ','), fields) << testing::PrintToString(text);
}

// The extension starts at the last dot of the whole name, folders included.
TEST(FilesHelper, ExtensionInAnyLetterCaseAndPairDerivation)
{
    const struct {
        std::string name;
        char kind; // 'c'fg, 'd'at, 'f' cff, 0 none
        std::string cfg, dat;
    } cases[] = {
        {"rec.CFG", 'c', "rec.CFG", "rec.dat"}, {"rec.dAt", 'd', "rec.cfg", "rec.dAt"},
        {"rec.Cff", 'f', "rec.cfg", "rec.dat"}, {"a.cfg.bak", 0, "a.cfg.cfg", "a.cfg.dat"},
        {"/a/b.c/rec", 0, "/a/b.c/rec.cfg", "/a/b.c/rec.dat"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FilesHelper::isCfgFile(c.name), c.kind == 'c') << c.name;
        EXPECT_EQ(FilesHelper::isDatFile(c.name), c.kind == 'd') << c.name;
        EXPECT_EQ(FilesHelper::isCffFile(c.name), c.kind == 'f') << c.name;
        EXPECT_EQ(FilesHelper::cfgFileName(c.name), c.cfg) << c.name;
        EXPECT_EQ(FilesHelper::datFileName(c.name), c.dat) << c.name;
    }
}

// A length past INT_MAX must not be cut to its low 32 bits, which could look
// like a smaller valid file; the 64-bit query gives it and keeps the position.
TEST(FilesHelper, LengthBeyondIntIsMinusOneButFileLength64GivesIt)
{
    KivTest::TempDir dir("files");
    const std::string path = dir.file("big.dat");
    ASSERT_TRUE(writeFile(path, std::string(1000, 'x')));
    EXPECT_EQ(FilesHelper::fileLenght(path), 1000);
    EXPECT_EQ(FilesHelper::fileLenght(dir.file("missing.dat")), -1);
    if (::truncate(path.c_str(), 3LL << 30) != 0)
        GTEST_SKIP() << "cannot make a sparse file in " << dir.path();
    EXPECT_EQ(FilesHelper::fileLenght(path), -1);
    std::ifstream in(path, std::ios_base::binary);
    in.seekg(10);
    EXPECT_EQ(FilesHelper::fileLength64(in), 3LL << 30);
    EXPECT_EQ(static_cast<long long>(in.tellg()), 10);
}

// Only a CR right before an LF belongs to the line end.
TEST(KivCommon, CrLfLineReadsLikeItsLfTwin)
{
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {"a\n\nb", {"a", "", "b"}}, {"", {}}, {"a\rb\n", {"a\rb"}}, {"a\r", {"a\r"}},
    };
    const auto readAll = [](const std::string& text) {
        std::istringstream in(text);
        std::vector<std::pair<std::string, bool>> reads; // eof() after each line matters too
        for (std::string line; Kiv::getTextLine(in, line);)
            reads.emplace_back(line, in.eof());
        return reads;
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

// Recorders write rec.CFG where the pair derivation asks for rec.cfg: the
// exact name first, else the first name in byte order; folders never.
TEST(KivCommon, NameInOtherAsciiCaseFindsExactFirstThenFirstInByteOrder)
{
    KivTest::TempDir dir("common");
    ASSERT_TRUE(writeFile(dir.file("rec.CFG"), "upper\r\n"));
    std::filesystem::create_directory(dir.file("REC.CFG"));
    std::ifstream in = Kiv::openInputFileUTF8Name(dir.file("rec.cfg"), std::ios_base::in);
    std::string line;
    Kiv::getTextLine(in, line);
    EXPECT_EQ(line, "upper");
    EXPECT_EQ(Kiv::resolveFileName(dir.file("Rec.cfg")), dir.file("rec.CFG"));
    EXPECT_FALSE(Kiv::fileExist(dir.file("rec.dat")));
    EXPECT_FALSE(Kiv::fileExist(dir.path()));
    ASSERT_TRUE(writeFile(dir.file("\xC3\x84.cfg"), "")); // only ASCII letters fold
    EXPECT_FALSE(Kiv::fileExist(dir.file("\xC3\xA4.cfg")));

    ASSERT_TRUE(writeFile(dir.file("rec.cfg"), "lower"));
    ASSERT_TRUE(writeFile(dir.file("ReC.cfg"), "capitals"));
    EXPECT_EQ(Kiv::resolveFileName(dir.file("rec.cfg")), dir.file("rec.cfg"));
    EXPECT_EQ(Kiv::resolveFileName(dir.file("rEc.Cfg")), dir.file("ReC.cfg")); // "ReC.cfg" < "rec.CFG" < "rec.cfg"
}

} // namespace
