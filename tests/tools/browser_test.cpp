// comtrade-plot's page as a browser shows it: headless Chromium renders the
// bundled recording's SVG, which must be neither blank nor missing phase A's
// dark gold in the first analog lane. Skips when no browser is installed.
#include "writer/ComtradeWriter.h"

#include <gtest/gtest.h>

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

} // namespace

TEST(Browser, ChromiumShowsTheBundledRecording)
{
    if (std::system("command -v chromium >/dev/null 2>&1 && command -v python3 >/dev/null 2>&1") != 0)
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
    // As root in a container: no sandbox, no GPU, no network, a fresh profile.
    const std::string browser = "timeout 120 chromium --headless --no-sandbox --disable-gpu --no-first-run "
                                "--disable-background-networking --disable-component-update --hide-scrollbars "
                                "--user-data-dir=" + dir.file("profile") + " --window-size=" + width + "," +
                                height + " --screenshot=" + dir.file("page.png") + " file://" + dir.file("page.svg") +
                                " >/dev/null 2>&1";
    ASSERT_EQ(std::system(browser.c_str()), 0) << browser;
    const auto px = [](double v) { return std::to_string(int(v)); };
    const std::string count = "python3 '" KIVCOMTRADE_PNG_PIXELS "' " + dir.file("page.png") + " " + px(x) + " " +
                              px(y) + " " + px(x + w) + " " + px(y + h) + " >" + dir.file("counts");
    ASSERT_EQ(std::system(count.c_str()), 0);
    long inked = 0, gold = 0;
    std::istringstream(KivTest::readFile(dir.file("counts"))) >> inked >> gold;
    EXPECT_GT(inked, std::stol(width) * std::stol(height) / 100) << "the page is (nearly) blank";
    EXPECT_GT(gold, 200) << "phase A's colour is not in the first analog lane";
}
