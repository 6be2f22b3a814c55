// comtrade-plot's page as a browser shows it: headless Chromium renders the
// bundled recording's SVG to PNG (png_to_ppm.py turns it into plain pixels),
// and the page must be neither blank nor missing phase A's dark gold in the
// first analog lane. Skips when no browser is installed.

#include "writer/ComtradeWriter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <string>

namespace {

int shell(const std::string& command)
{
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Browser, ChromiumShowsTheBundledRecording)
{
    if (shell("command -v chromium >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "no browser: install the Debian package chromium (scripts/deps.sh does)";
    if (shell("command -v python3 >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "python3 is not installed";
    const KivTest::TempDir dir("browser");
    const std::string svg = dir.file("page.svg"), png = dir.file("page.png"), ppm = dir.file("page.ppm");
    ASSERT_EQ(shell(std::string("'") + KIVCOMTRADE_PLOT_TOOL + "' -o '" + svg + "' >/dev/null"), 0);
    const std::string page = KivTest::readFile(svg);
    std::smatch size, lane;
    ASSERT_TRUE(std::regex_search(page, size, std::regex(R"re(<svg[^>]* width="(\d+)" height="(\d+))re")));
    ASSERT_TRUE(std::regex_search(page, lane, std::regex(R"re(id="lane-A1"[^]*?<rect x="([\d.]+)" y="([\d.]+)" width="([\d.]+)" height="([\d.]+)")re")));
    const int width = std::stoi(size[1]), height = std::stoi(size[2]);

    // Chromium as root in a container: no sandbox, no GPU, no network, a fresh profile.
    const std::string browser = "timeout 120 chromium --headless --no-sandbox --disable-gpu --disable-quic "
                                "--no-first-run --disable-background-networking --disable-component-update "
                                "--disable-sync --hide-scrollbars --user-data-dir='" + dir.file("profile") +
                                "' --window-size=" + std::to_string(width) + "," + std::to_string(height) +
                                " --screenshot='" + png + "' 'file://" + svg + "' >/dev/null 2>&1";
    ASSERT_EQ(shell(browser), 0) << browser;
    ASSERT_EQ(shell("python3 '" KIVCOMTRADE_PNG_TO_PPM "' '" + png + "' '" + ppm + "'"), 0);

    const std::string pixels = KivTest::readFile(ppm);
    const std::string header = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    ASSERT_EQ(pixels.compare(0, header.size(), header), 0) << "a page of another size";
    ASSERT_EQ(pixels.size(), header.size() + std::size_t(width) * std::size_t(height) * 3);
    const auto pixel = [&](int x, int y, int channel) {
        return static_cast<unsigned char>(pixels[header.size() + (std::size_t(y) * std::size_t(width) + std::size_t(x)) * 3 + std::size_t(channel)]);
    };
    long inked = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            inked += pixel(x, y, 0) + pixel(x, y, 1) + pixel(x, y, 2) < 600;
    EXPECT_GT(inked, long(width) * height / 100) << "the page is (nearly) blank";

    // Phase A, dark gold #b8860b, within the first analog lane's band.
    const int x0 = int(std::stod(lane[1])), y0 = int(std::stod(lane[2]));
    const int x1 = x0 + int(std::stod(lane[3])), y1 = y0 + int(std::stod(lane[4]));
    long gold = 0;
    for (int y = y0; y < y1 && y < height; ++y)
        for (int x = x0; x < x1 && x < width; ++x)
            gold += std::abs(pixel(x, y, 0) - 0xb8) + std::abs(pixel(x, y, 1) - 0x86) + std::abs(pixel(x, y, 2) - 0x0b) < 40;
    EXPECT_GT(gold, 200) << "phase A's colour is not in the first analog lane";
}

} // namespace
