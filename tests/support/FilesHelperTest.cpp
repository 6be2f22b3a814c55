#include <KivComtradeLib/Constants.h>
#include <KivComtradeLib/FilesHelper.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

using KivComtradeLib::FilesHelper;

namespace {

// A private folder under /tmp, removed with the object.
class ScratchDir {
public:
    ScratchDir()
    {
        char pattern[] = "/tmp/kivcomtrade-files-XXXXXX";
        if (const char* made = ::mkdtemp(pattern)) {
            path_ = made;
        }
    }
    ~ScratchDir()
    {
        std::error_code ignored;
        if (!path_.empty()) {
            std::filesystem::remove_all(path_, ignored);
        }
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

bool writeBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios_base::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

TEST(FilesHelperNames, ExtensionSplitsAtLastDot)
{
    struct Case {
        std::string name, extension, withoutExtension;
    };
    const std::vector<Case> cases = {
        {"rec.cfg", ".cfg", "rec"},
        {"rec", "", "rec"},
        {"archive.old.cfg", ".cfg", "archive.old"},
        {"dir.old/rec", ".old/rec", "dir"}, // directory separators are not looked at
        {".cfg", ".cfg", ""},
        {"rec.", ".", "rec"},
        {"", "", ""},
        {"/data/\xD0\xB7\xD0\xB0\xD0\xBF.DAT", ".DAT", "/data/\xD0\xB7\xD0\xB0\xD0\xBF"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FilesHelper::getFileExtension(c.name), c.extension) << c.name;
        EXPECT_EQ(FilesHelper::getfileNameWithoutExtension(c.name), c.withoutExtension) << c.name;
    }
}

TEST(FilesHelperNames, ExtensionTestsIgnoreLetterCase)
{
    struct Case {
        std::string name;
        bool cfg, dat, cff;
    };
    const std::vector<Case> cases = {
        {"rec.cfg", true, false, false},  {"rec.CFG", true, false, false},
        {"rec.DAT", false, true, false},  {"rec.dAt", false, true, false},
        {"rec.Cff", false, false, true},  {"rec.txt", false, false, false},
        {"rec", false, false, false},     {"rec.cfg.bak", false, false, false},
        {"rec.cfg ", false, false, false}, {"cfg", false, false, false},
        {".dat", false, true, false},     {"dir.cfg/rec", false, false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FilesHelper::isCfgFile(c.name), c.cfg) << c.name;
        EXPECT_EQ(FilesHelper::isDatFile(c.name), c.dat) << c.name;
        EXPECT_EQ(FilesHelper::isCffFile(c.name), c.cff) << c.name;
        EXPECT_EQ(FilesHelper::isComtradeFile(c.name), c.cfg || c.dat || c.cff) << c.name;
    }
    EXPECT_EQ(KivComtradeLib::Constants::CfgExt, ".cfg");
    EXPECT_EQ(KivComtradeLib::Constants::DatExt, ".dat");
    EXPECT_EQ(KivComtradeLib::Constants::CffExt, ".cff");
}

TEST(FilesHelperNames, PairDerivationKeepsOwnNameAndAddsLowerCaseExtension)
{
    struct Case {
        std::string name, cfg, dat;
    };
    const std::vector<Case> cases = {
        {"rec.CFG", "rec.CFG", "rec.dat"},
        {"rec.DAT", "rec.cfg", "rec.DAT"},
        {"rec.cff", "rec.cfg", "rec.dat"},
        {"rec.CFF", "rec.cfg", "rec.dat"},
        {"rec", "rec.cfg", "rec.dat"},
        {"/a/b.c/rec.cfg", "/a/b.c/rec.cfg", "/a/b.c/rec.dat"},
        {"dir.old/rec", "dir.cfg", "dir.dat"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FilesHelper::cfgFileName(c.name), c.cfg) << c.name;
        EXPECT_EQ(FilesHelper::datFileName(c.name), c.dat) << c.name;
    }
}

TEST(FilesHelperLength, MeasuresWholeFileAndKeepsReadPosition)
{
    ScratchDir dir;
    ASSERT_FALSE(dir.path().empty());
    std::string bytes;
    for (int i = 0; i < 1000; ++i) {
        bytes.push_back(static_cast<char>(i % 251));
    }
    const std::string path = dir.file("rec.dat");
    ASSERT_TRUE(writeBytes(path, bytes));

    EXPECT_EQ(FilesHelper::fileLenght(path), 1000);

    std::ifstream in(path, std::ios_base::binary);
    ASSERT_TRUE(in.is_open());
    in.seekg(123);
    EXPECT_EQ(FilesHelper::fileLenght(in), 1000);
    EXPECT_EQ(static_cast<long long>(in.tellg()), 123);
    EXPECT_EQ(FilesHelper::fileLength64(in), 1000);
    EXPECT_EQ(static_cast<long long>(in.tellg()), 123);
    // The stream still reads from where it was.
    EXPECT_EQ(in.get(), 123 % 251);

    std::istringstream text("hello world");
    text.seekg(6);
    EXPECT_EQ(FilesHelper::fileLength64(text), 11);
    std::string rest;
    text >> rest;
    EXPECT_EQ(rest, "world");

    const std::string empty = dir.file("empty.dat");
    ASSERT_TRUE(writeBytes(empty, ""));
    EXPECT_EQ(FilesHelper::fileLenght(empty), 0);
}

TEST(FilesHelperLength, FailuresGiveMinusOne)
{
    ScratchDir dir;
    ASSERT_FALSE(dir.path().empty());
    const std::string missing = dir.file("missing.dat");
    EXPECT_EQ(FilesHelper::fileLenght(missing), -1);
    EXPECT_FALSE(FilesHelper::isFileExist(missing));

    std::ifstream closed(missing, std::ios_base::binary);
    ASSERT_FALSE(closed.is_open());
    EXPECT_EQ(FilesHelper::fileLenght(closed), -1);
    EXPECT_EQ(FilesHelper::fileLength64(closed), -1);
}

TEST(FilesHelperLength, LengthBeyondIntIsMinusOneButFitsIn64Bits)
{
    ScratchDir dir;
    ASSERT_FALSE(dir.path().empty());
    const std::string path = dir.file("big.dat");
    ASSERT_TRUE(writeBytes(path, ""));

    const long long largestInt = 2147483647LL;
    if (::truncate(path.c_str(), largestInt) != 0) {
        GTEST_SKIP() << "cannot make a sparse file in " << dir.path();
    }
    EXPECT_EQ(FilesHelper::fileLenght(path), 2147483647);

    const long long beyond = 3LL << 30;
    ASSERT_EQ(::truncate(path.c_str(), beyond), 0);
    EXPECT_EQ(FilesHelper::fileLenght(path), -1);
    std::ifstream in(path, std::ios_base::binary);
    ASSERT_TRUE(in.is_open());
    in.seekg(10);
    EXPECT_EQ(FilesHelper::fileLenght(in), -1);
    EXPECT_EQ(FilesHelper::fileLength64(in), beyond);
    EXPECT_EQ(static_cast<long long>(in.tellg()), 10);
}

TEST(FilesHelperExist, TrueOnlyForReadableFile)
{
    ScratchDir dir;
    ASSERT_FALSE(dir.path().empty());
    const std::string path = dir.file("rec.cfg");
    ASSERT_TRUE(writeBytes(path, "x"));
    EXPECT_TRUE(FilesHelper::isFileExist(path));
    // No letter-case fallback here: the name is used as given.
    EXPECT_FALSE(FilesHelper::isFileExist(dir.file("REC.CFG")));

    if (::geteuid() == 0) {
        GTEST_SKIP() << "root reads files without read permission";
    }
    ASSERT_EQ(::chmod(path.c_str(), 0), 0);
    EXPECT_FALSE(FilesHelper::isFileExist(path));
    EXPECT_EQ(FilesHelper::fileLenght(path), -1);
}

} // namespace
