// comtrade-view's page in Debian's Chromium, driven by puppeteer-core
// (tests/browser/drive_viewer.mjs) with every network request refused: it
// must load without errors, zoom, and show at a cursor placed through its
// time field the library's values, RMS, phasors and sequence components.
// Skips when chromium, node or the npm packages (scripts/deps.sh installs
// them) are missing.
#include "ChannelSelection.h"
#include "CommandLine.h"
#include "TextFormat.h"
#include "writer/ComtradeWriter.h"

#include <KivComtradeLib/Analysis.h>
#include <KivComtradeLib/ColumnarRecording.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>

namespace {

using namespace KivComtradeLib;
using nlohmann::json;
const std::string kDriver = KIVCOMTRADE_SOURCE_DIR "/tests/browser/drive_viewer.mjs";

std::string missingBrowser()
{
    if (std::system("command -v chromium >/dev/null 2>&1 && command -v node >/dev/null 2>&1") != 0)
        return "no chromium or node: install the Debian package chromium and node (scripts/deps.sh)";
    if (!std::filesystem::exists(KIVCOMTRADE_SOURCE_DIR "/tests/browser/node_modules/puppeteer-core"))
        return "no puppeteer-core in tests/browser/node_modules: run scripts/deps.sh (npm ci)";
    return "";
}

// Writes the page of `cfg` and returns what the driver saw with `args`.
json drive(const KivTest::TempDir& dir, const std::string& cfg, const std::string& args)
{
    const std::string page = dir.file("page.html");
    EXPECT_EQ(std::system(("'" KIVCOMTRADE_VIEW_TOOL "' '" + cfg + "' -o " + page + " >/dev/null").c_str()), 0);
    const std::string out = dir.file("seen.json");
    const std::string command = "timeout 180 node '" + kDriver + "' " + page + " " + args + " >" + out;
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return json::parse(KivTest::readFile(out));
}

// "-17.320 mV" -> -0.01732; "—" -> NaN.
double shown(std::string text)
{
    static const std::map<std::string, double> prefixes = {
        {"p", 1e-12}, {"n", 1e-9}, {"\xC2\xB5", 1e-6}, {"m", 1e-3}, {"k", 1e3}, {"M", 1e6}, {"G", 1e9}};
    for (const char* label : {"RMS ", "\xE2\x88\xA0 "})
        if (text.rfind(label, 0) == 0)
            text.erase(0, std::strlen(label));
    std::size_t used = 0;
    double v;
    try {
        v = std::stod(text, &used);
    } catch (const std::exception&) {
        return std::nan("");
    }
    const std::string rest = text.substr(std::min(text.size(), used + 1));
    for (const auto& [prefix, factor] : prefixes)
        if (rest.rfind(prefix, 0) == 0 && rest.size() > prefix.size())
            return v * factor;
    return v;
}

void expectNear(double page, double library, const std::string& what)
{
    if (std::isnan(library)) {
        EXPECT_TRUE(std::isnan(page)) << what;
        return;
    }
    // Five significant digits on the page.
    EXPECT_NEAR(page, library, 6e-5 * std::fabs(library) + 1e-12) << what;
}

double angleOf(const std::string& text)
{
    const std::size_t at = text.find("\xE2\x88\xA0 ");
    return at == std::string::npos ? std::nan("") : std::stod(text.substr(at + 4));
}

// The checks every page passes, then the cursor's readout against the library.
void checkPage(const json& seen, const std::string& cfg, double cursor)
{
    EXPECT_EQ(seen["consoleErrors"].size(), 0u) << seen["consoleErrors"].dump();
    EXPECT_EQ(seen["refused"].size(), 0u) << seen["refused"].dump();
    EXPECT_EQ(seen["dialogs"].size(), 0u) << seen["dialogs"].dump();
    EXPECT_EQ(seen["status"], "");
    const auto span = [&](const char* key) { return seen[key][1].get<double>() - seen[key][0].get<double>(); };
    EXPECT_LT(span("wheelView"), 0.6 * span("fullView")) << "the wheel zooms in";
    EXPECT_LT(span("dragView"), 0.5 * span("wheelView")) << "a dragged range zooms to it";
    for (const json& lane : seen["lanes"])
        EXPECT_LE(lane["points"].get<int>(), lane["width"].get<int>()) << lane["id"] << ": more points than pixels";

    ColumnarRecording rec;
    ASSERT_EQ(rec.load(cfg), 0);
    const double origin = rec.triggerTime();
    const double t = cursor + origin;
    const std::size_t after = std::lower_bound(rec.time.begin(), rec.time.end(), t) - rec.time.begin();
    std::size_t i = std::min(after, rec.count - 1);
    if (i > 0 && std::fabs(rec.time[i - 1] - t) <= std::fabs(rec.time[i] - t))
        --i;
    expectNear(shown(seen["cursorTime"]), rec.time[i] - origin, "cursor time");
    // The measures of the last whole cycle before the cursor, as the
    // library's analysis unit gives them at that cycle's last sample.
    const double cycleEnd = shown(seen["cycleTime"]) + origin;
    const std::size_t n = std::lower_bound(rec.time.begin(), rec.time.end(), cycleEnd - 5e-7) - rec.time.begin();
    ASSERT_LT(n, rec.count);
    const std::size_t analogs = rec.cfg.analogChannels.size();
    std::vector<Analysis::Phasor> phasors;
    for (std::size_t c = 0; c < analogs; ++c) {
        const json& lane = seen["lanes"][c];
        const std::string id = "channel A" + std::to_string(c + 1);
        expectNear(shown(lane["value"]), rec.analogRow(c)[i], id + " value");
        const Analysis::Signal signal = Analysis::channelSignal(rec, c);
        const double at = rec.time[n] + signal.skew;
        phasors.push_back(Analysis::phasor(signal, at));
        expectNear(shown(lane["rms"]), Analysis::rms(signal, at), id + " RMS");
        expectNear(shown(lane["phasor"]), std::abs(phasors.back()), id + " phasor magnitude");
        EXPECT_NEAR(angleOf(lane["phasor"]), std::arg(phasors.back()) * 180.0 / 3.14159265358979323846, 0.006) << id;
    }
    for (std::size_t d = 0; d < rec.cfg.binaryChannels.size(); ++d)
        EXPECT_EQ(seen["lanes"][analogs + d]["value"], std::to_string(rec.statusRow(d)[i])) << "status D" << d + 1;
    // Sequence components: rows A, B, C, zero, positive, negative.
    const std::vector<Analysis::PhaseGroup> groups = Analysis::phaseGroups(rec.cfg);
    ASSERT_EQ(seen["groups"].size(), groups.size());
    for (std::size_t g = 0; g < groups.size(); ++g) {
        const auto& c = groups[g].channels;
        const Analysis::SequenceComponents s = Analysis::sequence(phasors[c[0]], phasors[c[1]], phasors[c[2]]);
        const Analysis::Phasor parts[3] = {s.zero, s.positive, s.negative};
        for (int k = 0; k < 3; ++k)
            expectNear(shown(seen["groups"][g]["rows"][3 + k][1]), std::abs(parts[k]), "sequence " + std::to_string(k));
    }
}

TEST(ViewerBrowser, BundledRecordingZoomsAndReadsTheLibrarysValues)
{
    if (const std::string why = missingBrowser(); !why.empty())
        GTEST_SKIP() << why;
    const KivTest::TempDir dir("viewer-bundled");
    const std::string cfg = KIVCOMTRADE_SOURCE_DIR "/samples/fault-slg-binary.cfg";
    const json seen = drive(dir, cfg, "--zoom --cursor 0.0123");
    checkPage(seen, cfg, 0.0123);
    EXPECT_EQ(seen["groups"].size(), 2u) << "voltages and currents of the line";
    EXPECT_NE(seen["header"].get<std::string>().find("SEVERNAYA"), std::string::npos);
    EXPECT_NE(seen["lanes"][7]["title"].get<std::string>().find("Выключатель"), std::string::npos);
}

TEST(ViewerBrowser, LargeRecordingStaysWithinThePixels)
{
    if (const std::string why = missingBrowser(); !why.empty())
        GTEST_SKIP() << why;
    const KivTest::TempDir dir("viewer-large");
    // 1.2 M samples at 4 kHz: every level of detail, faults and missing values.
    KivTest::RecordingLayout layout;
    layout.type = Enums::Binary;
    layout.rates = {{4000.0, 1200000}};
    layout.triggerTime = "01/06/2026,10:00:10.000000";
    layout.analogs = {{"IA", "A", "L1", "A", 0.01}, {"IB", "B", "L1", "A", 0.01}, {"IC", "C", "L1", "A", 0.01}, {"U0", "", "", "kV", 0.001}};
    layout.statuses = {{"Trip", "", ""}, {"Close", "", ""}};
    const auto fill = [](unsigned long long k, KivTest::Record& r) {
        const double w = 2.0 * 3.14159265358979323846 * 50.0 * static_cast<double>(k) / 4000.0;
        const double fault = k > 600000 && k < 604000 ? 8.0 : 1.0;
        for (std::size_t c = 0; c < 3; ++c)
            r.raw[c] = std::round(3000.0 * fault * std::sin(w - 2.0943951 * static_cast<double>(c)));
        r.raw[3] = k % 100000 == 7 ? -32768 : std::round(500.0 * std::sin(w / 50.0)); // -32768: missing
        r.status[0] = k > 600200 && k < 604000;
        r.status[1] = (k / 40) % 2 == 1;
    };
    ASSERT_TRUE(KivTest::writeGenerated(layout, 1200000, fill, dir.file("large")));
    const json seen = drive(dir, dir.file("large.cfg"), "--zoom --cursor 0.0321");
    checkPage(seen, dir.file("large.cfg"), 0.0321);
    EXPECT_EQ(seen["groups"].size(), 1u);
}

TEST(ViewerBrowser, NamesInAnyScriptShowAsTextAndRunNothing)
{
    if (const std::string why = missingBrowser(); !why.empty())
        GTEST_SKIP() << why;
    const KivTest::TempDir dir("viewer-names");
    KivTest::RecordingLayout layout;
    layout.revYear = 2013;
    layout.station = "Подстанция 变电站";
    layout.analogs = {{"</script><script>alert(1)</script>", "", ""}, {"Ток фазы A", "", ""}, {"电流 B", "", ""}};
    layout.statuses = {{"<img src=x onerror=alert(2)>", "", ""}};
    ASSERT_TRUE(KivTest::writeRecording(KivTest::makeRecording(layout, 400), dir.file("names")));
    const json seen = drive(dir, dir.file("names.cfg"), "--zoom --cursor 0.05");
    checkPage(seen, dir.file("names.cfg"), 0.05);
    const std::vector<std::string> titles = {"A1  </script><script>alert(1)</script> (V)", "A2  Ток фазы A (V)",
                                             "A3  电流 B (V)", "D1  <img src=x onerror=alert(2)>"};
    for (std::size_t i = 0; i < titles.size(); ++i)
        EXPECT_EQ(seen["lanes"][i]["title"], titles[i]);
    EXPECT_NE(seen["title"].get<std::string>().find("Подстанция 变电站"), std::string::npos);
}

} // namespace
