#include <KivComtradeLib/KivCommon.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <system_error>
#include <type_traits>
#include <vector>

#include <stdlib.h>
#include <unistd.h>

namespace {

class ScratchDir {
public:
    ScratchDir()
    {
        char pattern[] = "/tmp/kivcomtrade-common-XXXXXX";
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

std::string crlfOf(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '\n') {
            out.push_back('\r');
        }
        out.push_back(c);
    }
    return out;
}

// Every read of getTextLine until it fails, with the stream state after each.
struct Read {
    std::string line;
    bool eof;
    bool fail;
    bool operator==(const Read& o) const { return line == o.line && eof == o.eof && fail == o.fail; }
};

std::vector<Read> readAll(std::istream& in)
{
    std::vector<Read> reads;
    for (int guard = 0; guard < 100; ++guard) {
        std::string line = "stale";
        Kiv::getTextLine(in, line);
        reads.push_back({in.fail() ? std::string() : line, in.eof(), in.fail()});
        if (in.fail()) {
            break;
        }
    }
    return reads;
}

std::vector<std::string> linesOf(const std::vector<Read>& reads)
{
    std::vector<std::string> lines;
    for (const Read& r : reads) {
        if (!r.fail) {
            lines.push_back(r.line);
        }
    }
    return lines;
}

TEST(KivCommonTextLine, DropsOnlyTheCrOfCrLf)
{
    using Lines = std::vector<std::string>;
    struct Case {
        std::string text;
        Lines lines;
    };
    const std::vector<Case> cases = {
        {"a\r\nb\n", {"a", "b"}},
        {"a\nb", {"a", "b"}},
        {"a\r\nb", {"a", "b"}},
        {"a\rb\n", {"a\rb"}},      // a lone CR inside a line stays
        {"a\r", {"a\r"}},          // CR at the very end of the file stays
        {"a\r\r\n", {"a\r"}},      // only the CR right before LF goes
        {"\r\n\r\n", {"", ""}},
        {"\r", {"\r"}},
        {"", {}},
        {"x\r\n\x1A\x1A", {"x", "\x1A\x1A"}},
        {std::string("a\0\r\nb", 5), {std::string("a\0", 2), "b"}},
    };
    for (const Case& c : cases) {
        std::istringstream in(c.text);
        EXPECT_EQ(linesOf(readAll(in)), c.lines) << testing::PrintToString(c.text);
    }
}

TEST(KivCommonTextLine, CrLfTextReadsLikeItsLfTwin)
{
    // Same lines and the same eof/fail states after every read, which is what
    // the time-multiplier rules of the configuration reader look at.
    const std::vector<std::string> texts = {
        "a\nb\n", "a\nb", "a\n\nb\n", "\n", "1\n2\n\n", "ASCII", "ASCII\n", "ASCII\n1.5",
        "ASCII\n1.5\n", "ASCII\n\n",
    };
    for (const std::string& text : texts) {
        std::istringstream lf(text);
        std::istringstream crlf(crlfOf(text));
        EXPECT_EQ(readAll(lf), readAll(crlf)) << testing::PrintToString(text);
    }
}

TEST(KivCommonTextLine, LastLineWithoutLfSetsEofButReads)
{
    std::istringstream in("x\r\nlast");
    std::string line;
    ASSERT_TRUE(static_cast<bool>(Kiv::getTextLine(in, line)));
    EXPECT_EQ(line, "x");
    EXPECT_FALSE(in.eof());
    ASSERT_TRUE(static_cast<bool>(Kiv::getTextLine(in, line)));
    EXPECT_EQ(line, "last");
    EXPECT_TRUE(in.eof());
    EXPECT_FALSE(static_cast<bool>(Kiv::getTextLine(in, line)));
}

TEST(KivCommonFiles, OpenReadsTextAndBinaryModes)
{
    ScratchDir dir;
    ASSERT_FALSE(dir.path().empty());
    const std::string path = dir.file("\xD0\xB7\xD0\xB0\xD0\xBF\xD0\xB8\xD1\x81\xD1\x8C.cfg");
    const std::string bytes = "one\r\ntwo\r\n\x1A";
    ASSERT_TRUE(writeBytes(path, bytes));

    EXPECT_TRUE(Kiv::fileExist(path));
    std::ifstream text = Kiv::openInputFileUTF8Name(path, std::ios_base::in);
    ASSERT_TRUE(text.is_open());
    std::string line;
    ASSERT_TRUE(static_cast<bool>(Kiv::getTextLine(text, line)));
    EXPECT_EQ(line, "one");

    // Binary alone still opens for input and delivers the bytes unchanged.
    std::ifstream binary = Kiv::openInputFileUTF8Name(path, std::ios_base::binary);
    ASSERT_TRUE(binary.is_open());
    const std::string read((std::istreambuf_iterator<char>(binary)), std::istreambuf_iterator<char>());
    EXPECT_EQ(read, bytes);

    static_assert(std::is_standard_layout<Kiv::PointF>::value && sizeof(Kiv::PointF) == 2 * sizeof(float),
                  "PointF is two floats");
}

TEST(KivCommonFiles, MissingFileAndFolderAreNoFiles)
{
    ScratchDir dir;
    ASSERT_FALSE(dir.path().empty());
    EXPECT_FALSE(Kiv::fileExist(dir.file("missing.cfg")));
    EXPECT_FALSE(Kiv::openInputFileUTF8Name(dir.file("missing.cfg"), std::ios_base::in).is_open());
    EXPECT_EQ(Kiv::resolveFileName(dir.file("missing.cfg")), dir.file("missing.cfg"));

    EXPECT_FALSE(Kiv::fileExist(dir.path()));
    std::filesystem::create_directory(dir.file("sub.CFG"));
    EXPECT_FALSE(Kiv::fileExist(dir.file("sub.CFG")));
    EXPECT_FALSE(Kiv::fileExist(dir.file("sub.cfg")));
    EXPECT_FALSE(Kiv::fileExist(""));

    // A folder carrying the name does not hide a file that matches it.
    std::filesystem::create_directory(dir.file("A.dat"));
    ASSERT_TRUE(writeBytes(dir.file("a.DAT"), "file"));
    EXPECT_EQ(Kiv::resolveFileName(dir.file("a.dat")), dir.file("a.DAT"));
    std::filesystem::create_directory(dir.file("rec.cfg"));
    ASSERT_TRUE(writeBytes(dir.file("REC.CFG"), "file"));
    EXPECT_TRUE(Kiv::fileExist(dir.file("rec.cfg")));
    EXPECT_TRUE(Kiv::openInputFileUTF8Name(dir.file("rec.cfg"), std::ios_base::in).is_open());
}

TEST(KivCommonFiles, NameDiffersOnlyInAsciiCase)
{
    ScratchDir dir;
    ASSERT_FALSE(dir.path().empty());
    ASSERT_TRUE(writeBytes(dir.file("rec.CFG"), "upper"));

    for (const char* asked : {"rec.cfg", "REC.cfg", "Rec.Cfg", "rec.CFG"}) {
        const std::string path = dir.file(asked);
        EXPECT_EQ(Kiv::resolveFileName(path), dir.file("rec.CFG")) << asked;
        EXPECT_TRUE(Kiv::fileExist(path)) << asked;
        std::ifstream in = Kiv::openInputFileUTF8Name(path, std::ios_base::in);
        std::string line;
        EXPECT_TRUE(static_cast<bool>(Kiv::getTextLine(in, line))) << asked;
        EXPECT_EQ(line, "upper") << asked;
    }
    // Only the file name is matched loosely, not its folder, and only ASCII
    // letters fold.
    std::string upperFolder = dir.path();
    upperFolder.replace(upperFolder.find("kivcomtrade"), 11, "KIVCOMTRADE");
    EXPECT_FALSE(Kiv::fileExist(upperFolder + "/rec.cfg"));
    EXPECT_FALSE(Kiv::fileExist(dir.file("rec.cfgx")));
    EXPECT_FALSE(Kiv::fileExist(dir.file("rec.cf")));

    ASSERT_TRUE(writeBytes(dir.file("\xC3\x84.cfg"), "A umlaut")); // Ä
    EXPECT_TRUE(Kiv::fileExist(dir.file("\xC3\x84.CFG")));
    EXPECT_FALSE(Kiv::fileExist(dir.file("\xC3\xA4.cfg"))); // ä
}

TEST(KivCommonFiles, ExactMatchFirstThenFirstInByteOrder)
{
    ScratchDir dir;
    ASSERT_FALSE(dir.path().empty());
    ASSERT_TRUE(writeBytes(dir.file("rec.cfg"), "lower"));
    ASSERT_TRUE(writeBytes(dir.file("rec.Cfg"), "mixed"));
    ASSERT_TRUE(writeBytes(dir.file("REC.cfg"), "upper"));

    EXPECT_EQ(Kiv::resolveFileName(dir.file("rec.cfg")), dir.file("rec.cfg"));
    EXPECT_EQ(Kiv::resolveFileName(dir.file("rec.Cfg")), dir.file("rec.Cfg"));
    // "REC.cfg" < "rec.Cfg" < "rec.cfg" in byte order.
    EXPECT_EQ(Kiv::resolveFileName(dir.file("rEc.CFG")), dir.file("REC.cfg"));
    std::ifstream in = Kiv::openInputFileUTF8Name(dir.file("rEc.CFG"), std::ios_base::in);
    std::string line;
    Kiv::getTextLine(in, line);
    EXPECT_EQ(line, "upper");
}

TEST(KivCommonFiles, RelativeNameResolvesInWorkingFolder)
{
    ScratchDir dir;
    ASSERT_FALSE(dir.path().empty());
    ASSERT_TRUE(writeBytes(dir.file("4.CFG"), "x"));
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    const bool exists = Kiv::fileExist("4.cfg");
    const std::string resolved = Kiv::resolveFileName("4.cfg");
    const bool opened = Kiv::openInputFileUTF8Name("./4.cfg", std::ios_base::in).is_open();
    std::filesystem::current_path(before);
    EXPECT_TRUE(exists);
    EXPECT_EQ(resolved, "4.CFG");
    EXPECT_TRUE(opened);
}

} // namespace
