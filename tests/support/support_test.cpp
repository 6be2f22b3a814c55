#include <KivComtradeLib/FilesHelper.h>
#include <KivComtradeLib/KivCommon.h>

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
using KivTest::writeFile;

namespace {

TEST(FilesHelper, PairDerivationInAnyLetterCase)
{
    EXPECT_TRUE(FilesHelper::isCfgFile("rec.CFG") && FilesHelper::isDatFile("rec.dAt") && FilesHelper::isCffFile("r.Cff"));
    EXPECT_EQ(FilesHelper::datFileName("rec.CFG") + FilesHelper::cfgFileName("rec.dAt"), "rec.datrec.cfg");
    EXPECT_EQ(FilesHelper::datFileName("/a/b.c/rec.cfg") + FilesHelper::cfgFileName("a.cfg.bak"), "/a/b.c/rec.data.cfg.cfg");
}

// A length past INT_MAX must not be cut to its low 32 bits, which could look
// like a smaller valid file; the 64-bit query gives it and keeps the position.
TEST(FilesHelper, LengthBeyondIntIsMinusOneButFileLength64GivesIt)
{
    KivTest::TempDir dir("files");
    const std::string path = dir.file("big.dat");
    ASSERT_TRUE(writeFile(path, std::string(1000, 'x')));
    EXPECT_EQ(FilesHelper::fileLenght(path), 1000);
    if (::truncate(path.c_str(), 3LL << 30) != 0)
        GTEST_SKIP() << "cannot make a sparse file in " << dir.path();
    EXPECT_EQ(FilesHelper::fileLenght(path), -1);
    std::ifstream in(path, std::ios_base::binary);
    in.seekg(10);
    EXPECT_EQ(FilesHelper::fileLength64(in), 3LL << 30);
    EXPECT_EQ(static_cast<long long>(in.tellg()), 10);
}

// Only a CR right before an LF belongs to the line end; eof() after each line
// must not change either (the time-multiplier line is read by it).
TEST(KivCommon, CrLfLineReadsLikeItsLfTwin)
{
    for (const auto& [text, lines] : std::vector<std::pair<std::string, std::string>>{
             {"a\n\nb", "a||b<eof>"}, {"a\rb\n", "a\rb|"}, {"a\r", "a\r<eof>"}}) {
        std::istringstream lf(text), crlf(KivTest::toCrLf(text));
        for (std::istringstream* in : {&lf, &crlf}) {
            std::string all;
            for (std::string line; Kiv::getTextLine(*in, line);)
                all += line + (in->eof() ? "<eof>" : "|");
            EXPECT_EQ(all, lines) << testing::PrintToString(text) << (in == &crlf ? " (CR LF)" : "");
        }
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
    EXPECT_EQ(Kiv::getTextLine(in, line) ? line : "", "upper");
    ASSERT_TRUE(writeFile(dir.file("\xC3\x84.cfg"), "")); // only ASCII letters fold
    EXPECT_FALSE(Kiv::fileExist(dir.path()) || Kiv::fileExist(dir.file("\xC3\xA4.cfg")));
    ASSERT_TRUE(writeFile(dir.file("rec.cfg"), "lower"));
    ASSERT_TRUE(writeFile(dir.file("ReC.cfg"), "capitals"));
    EXPECT_EQ(Kiv::resolveFileName(dir.file("rec.cfg")), dir.file("rec.cfg"));
    EXPECT_EQ(Kiv::resolveFileName(dir.file("rEc.Cfg")), dir.file("ReC.cfg")); // "ReC.cfg" < "rec.CFG" < "rec.cfg"
}

} // namespace
