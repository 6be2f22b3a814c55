// comtrade-plot's page as a browser shows it: headless Chromium renders the
// bundled recording's SVG, which must be neither blank nor missing phase A's
// dark gold in the first analog lane. Skips when no browser is installed.
#include "writer/ComtradeWriter.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>

TEST(Browser, ChromiumShowsTheBundledRecording)
{
    if (std::system("command -v chromium >/dev/null 2>&1 && command -v python3 >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "no browser: install the Debian packages chromium and python3 (scripts/deps.sh does)";
    const KivTest::TempDir dir("browser");
    ASSERT_EQ(std::system(("'" KIVCOMTRADE_PLOT_TOOL "' -o " + dir.file("page.svg") + " >/dev/null").c_str()), 0);
    const std::string page = KivTest::readFile(dir.file("page.svg"));
    std::smatch size, lane;
    ASSERT_TRUE(std::regex_search(page, size, std::regex(R"re(<svg[^>]* width="(\d+)" height="(\d+))re")));
    ASSERT_TRUE(std::regex_search(page, lane, std::regex(R"re(id="lane-A1"[^]*?<rect x="([\d.]+)" y="([\d.]+)" width="([\d.]+)" height="([\d.]+)")re")));
    // As root in a container: no sandbox, no GPU, no network, a fresh profile.
    const std::string browser = "timeout 120 chromium --headless --no-sandbox --disable-gpu --no-first-run "
                                "--disable-background-networking --disable-component-update --hide-scrollbars "
                                "--user-data-dir=" + dir.file("profile") + " --window-size=" + size.str(1) + "," +
                                size.str(2) + " --screenshot=" + dir.file("page.png") + " file://" + dir.file("page.svg") +
                                " >/dev/null 2>&1";
    ASSERT_EQ(std::system(browser.c_str()), 0) << browser;
    const auto edge = [&](int i, int j) { return std::to_string(int(std::stod(lane.str(i)) + (j ? std::stod(lane.str(j)) : 0))); };
    const std::string count = "python3 '" KIVCOMTRADE_PNG_PIXELS "' " + dir.file("page.png") + " " + edge(1, 0) + " " +
                              edge(2, 0) + " " + edge(1, 3) + " " + edge(2, 4) + " >" + dir.file("counts");
    ASSERT_EQ(std::system(count.c_str()), 0);
    long inked = 0, gold = 0;
    std::istringstream(KivTest::readFile(dir.file("counts"))) >> inked >> gold;
    EXPECT_GT(inked, std::stol(size.str(1)) * std::stol(size.str(2)) / 100) << "the page is (nearly) blank";
    EXPECT_GT(gold, 200) << "phase A's colour is not in the first analog lane";
}
