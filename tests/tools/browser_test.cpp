// comtrade-plot's page as a browser shows it: headless Chromium renders the
// bundled recording's SVG, which must be neither blank nor missing phase A's
// dark gold in the first analog lane, and a Chinese recording's names in a CJK
// font. Skips when no browser is installed.
#include "writer/ComtradeWriter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>

namespace {

// The value of the first ` name="..."` attribute at or after `from`.
std::string attribute(const std::string& page, std::size_t from, const std::string& name)
{
    const std::size_t at = page.find(" " + name + "=\"", from);
    if (at == std::string::npos)
        return std::string();
    const std::size_t begin = at + name.size() + 3;
    return page.substr(begin, page.find('"', begin) - begin);
}

bool haveBrowser()
{
    return std::system("command -v chromium >/dev/null 2>&1 && command -v python3 >/dev/null 2>&1") == 0;
}

// Pixel counts of `name`.svg in the folder as Chromium shows it: inked on the
// page, dark gold and inked within the box.
struct Counts {
    long inked = 0, gold = 0, inkedInBox = 0;
};
Counts screenshot(const KivTest::TempDir& dir, const std::string& name, double x0, double y0, double x1, double y1)
{
    const std::string page = KivTest::readFile(dir.file(name + ".svg"));
    const std::size_t svg = page.find("<svg");
    const std::string width = attribute(page, svg, "width"), height = attribute(page, svg, "height");
    // As root in a container: no sandbox, no GPU, no network, a fresh profile.
    const std::string browser = "timeout 120 chromium --headless --no-sandbox --disable-gpu --no-first-run "
                                "--disable-background-networking --disable-component-update --hide-scrollbars "
                                "--user-data-dir=" + dir.file("profile-" + name) + " --window-size=" + width + "," +
                                height + " --screenshot=" + dir.file(name + ".png") + " file://" +
                                dir.file(name + ".svg") + " >/dev/null 2>&1";
    Counts counts;
    if (std::system(browser.c_str()) != 0)
        return counts;
    const auto px = [](double v) { return std::to_string(int(v)); };
    const std::string count = "python3 '" KIVCOMTRADE_PNG_PIXELS "' " + dir.file(name + ".png") + " " + px(x0) + " " +
                              px(y0) + " " + px(x1) + " " + px(y1) + " >" + dir.file("counts");
    if (std::system(count.c_str()) == 0)
        std::istringstream(KivTest::readFile(dir.file("counts"))) >> counts.inked >> counts.gold >> counts.inkedInBox;
    return counts;
}

} // namespace

TEST(Browser, ChromiumShowsTheBundledRecording)
{
    if (!haveBrowser())
        GTEST_SKIP() << "no browser: install the Debian packages chromium and python3 (scripts/deps.sh does)";
    const KivTest::TempDir dir("browser");
    ASSERT_EQ(std::system(("'" KIVCOMTRADE_PLOT_TOOL "' -o " + dir.file("page.svg") + " >/dev/null").c_str()), 0);
    const std::string page = KivTest::readFile(dir.file("page.svg"));
    const std::size_t svg = page.find("<svg"), rect = page.find("<rect", page.find("id=\"lane-A1\""));
    ASSERT_NE(svg, std::string::npos);
    ASSERT_NE(rect, std::string::npos) << "no lane A1";
    const std::string width = attribute(page, svg, "width"), height = attribute(page, svg, "height");
    const double x = std::stod(attribute(page, rect, "x")), y = std::stod(attribute(page, rect, "y"));
    const double w = std::stod(attribute(page, rect, "width")), h = std::stod(attribute(page, rect, "height"));
    const Counts counts = screenshot(dir, "page", x, y, x + w, y + h);
    EXPECT_GT(counts.inked, std::stol(width) * std::stol(height) / 100) << "the page is (nearly) blank";
    EXPECT_GT(counts.gold, 200) << "phase A's colour is not in the first analog lane";
}

// The Chinese recorder's status names, drawn in a CJK font of the page's list:
// their column differs from the same page with every hanzi replaced by a
// character no font has (drawn as the missing-glyph box, as hanzi are when no
// listed font is installed).
TEST(Browser, ChromiumShowsChineseNames)
{
    const std::string shared = KivTest::sharedSamplesDir();
    if (!haveBrowser() || shared.empty())
        GTEST_SKIP() << "needs chromium, python3 and ../shared/samples";
    const KivTest::TempDir dir("browser-cjk");
    ASSERT_EQ(std::system(("'" KIVCOMTRADE_PLOT_TOOL "' " + shared + "/gb-1991/ascii_1991.cfg --all-status "
                           "--channels D1,D2,D3,D4,D5,D6,D7,D8 -o " + dir.file("names.svg") + " >/dev/null").c_str()), 0);
    const std::string page = KivTest::readFile(dir.file("names.svg"));
    ASSERT_NE(page.find("\xE7\xBA\xB5\xE8\x81\x94\xE5\xB7\xAE\xE5\x8A\xA8"), std::string::npos) << "no 纵联差动 in the page";
    std::string boxes; // every hanzi (U+4000..U+9FFF, lead bytes E4-E9) as U+E000, a private-use character
    for (std::size_t i = 0; i < page.size(); ++i) {
        const bool hanzi = static_cast<unsigned char>(page[i]) >= 0xE4 && static_cast<unsigned char>(page[i]) <= 0xE9;
        boxes += hanzi ? std::string("\xEE\x80\x80") : std::string(1, page[i]);
        i += hanzi ? 2 : 0;
    }
    ASSERT_TRUE(KivTest::writeFile(dir.file("boxes.svg"), boxes));
    const std::size_t row = page.find("id=\"lane-D1\"");
    ASSERT_NE(row, std::string::npos);
    const double top = std::stod(attribute(page, page.find("<rect", row), "y"));
    const Counts names = screenshot(dir, "names", 0, top, 220, top + 8 * 14);
    const Counts missing = screenshot(dir, "boxes", 0, top, 220, top + 8 * 14);
    ASSERT_GT(names.inkedInBox, 0) << "no names drawn";
    EXPECT_GT(std::labs(names.inkedInBox - missing.inkedInBox), names.inkedInBox / 20)
        << "the names look like missing-glyph boxes: " << names.inkedInBox << " and " << missing.inkedInBox;
}
