// comtrade-info and comtrade-plot run as a user runs them: on the bundled
// recording, on the real recordings of ../shared/samples, and on broken ones.
// Their numbers are checked against the library, their JSON through jq,
// their SVG with xmllint.

#include "FaultSamples.h"

#include <KivComtradeLib/KivComtradeLib.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace KivComtradeLib;

const std::string kInfo = KIVCOMTRADE_INFO_TOOL;
const std::string kPlot = KIVCOMTRADE_PLOT_TOOL;
const std::string kBundled = std::string(KIVCOMTRADE_SOURCE_DIR) + "/samples/fault-slg-binary.cfg";

std::string shellQuote(const std::string& text)
{
    std::string out = "'";
    for (const char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

struct ToolRun {
    int code = -1;
    std::string out, err;
};

// Runs `program args...` through the shell in `folder` (empty: here).
ToolRun run(const std::string& program, const std::vector<std::string>& args, const std::string& folder = "")
{
    static const KivTest::TempDir scratch("tool-output");
    std::string command = folder.empty() ? "" : "cd " + shellQuote(folder) + " && ";
    command += shellQuote(program);
    for (const std::string& arg : args)
        command += " " + shellQuote(arg);
    command += " >" + shellQuote(scratch.file("stdout")) + " 2>" + shellQuote(scratch.file("stderr"));
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, KivTest::readFile(scratch.file("stdout")),
            KivTest::readFile(scratch.file("stderr"))};
}

bool haveProgram(const std::string& name)
{
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

// The document parsed by jq (a strict JSON reader) and flattened to path ->
// value: members as ".name", elements as "[i]", array sizes under "path#",
// numbers in jq's shortest round-trip form, null as "null". Empty on error.
std::map<std::string, std::string> flatJson(const std::string& file)
{
    const char* program = R"jq(def key: map(if type == "number" then "[\(.)]" else ".\(.)" end) | join("");
        paths as $p | getpath($p) as $v | ($v | type) as $t
        | if $t == "array" then "\($p | key)#\t\($v | length)"
          elif $t == "object" then empty else "\($p | key)\t\($v)" end)jq";
    const ToolRun jq = run("jq", {"-r", program, file});
    std::map<std::string, std::string> values;
    for (std::size_t at = 0, end; jq.code == 0 && (end = jq.out.find('\n', at)) != std::string::npos; at = end + 1) {
        const std::size_t tab = jq.out.find('\t', at);
        values[jq.out.substr(at, tab - at)] = jq.out.substr(tab + 1, end - tab - 1);
    }
    return values;
}

// The bundled recording, then every .cfg and .cff of the real recordings.
std::vector<std::string> recordings()
{
    std::vector<std::string> found;
    const std::string shared = KivTest::sharedSamplesDir();
    if (!shared.empty())
        for (const auto& entry : fs::recursive_directory_iterator(shared)) {
            std::string ext = entry.path().extension().string();
            std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
            if (entry.is_regular_file() && (ext == ".cfg" || ext == ".cff"))
                found.push_back(entry.path().string());
        }
    std::sort(found.begin(), found.end());
    found.insert(found.begin(), kBundled);
    return found;
}

// Bytes that are not UTF-8 are replaced by the tool; only other names are
// compared byte for byte.
bool validUtf8(const std::string& s)
{
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > s.size())
            return false;
        for (std::size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        i += n;
    }
    return true;
}

void expectClose(double actual, double expected, const std::string& what)
{
    if (std::isnan(expected)) {
        EXPECT_TRUE(std::isnan(actual)) << what;
    } else {
        EXPECT_NEAR(actual, expected, 1e-12 * std::max(1.0, std::fabs(expected))) << what;
    }
}

TEST(ComtradeInfo, JsonAgreesWithTheViews)
{
    if (!haveProgram("jq"))
        GTEST_SKIP() << "jq (Debian jq) is not installed";
    const KivTest::TempDir dir("json");
    for (const std::string& path : recordings()) {
        SCOPED_TRACE(path);
        Comtrade recording;
        const int code = recording.load(path);
        const ToolRun result = run(kInfo, {path, "--json"});
        ASSERT_EQ(result.code, code) << result.err;
        if (code != 0)
            continue;
        ASSERT_TRUE(KivTest::writeFile(dir.file("info.json"), result.out));
        const auto json = flatJson(dir.file("info.json"));
        ASSERT_FALSE(json.empty()) << "not JSON: " << result.out;
        const auto text = [&](const std::string& key) {
            const auto it = json.find(key);
            return it == json.end() ? "(absent " + key + ")" : it->second;
        };
        const auto number = [&](const std::string& key) {
            return text(key) == "null" ? std::nan("") : std::strtod(text(key).c_str(), nullptr);
        };
        const Cfg& cfg = recording.cfg;
        EXPECT_EQ(number(".revision"), cfg.revYear);
        EXPECT_EQ(number(".samples"), double(recording.dat.samples.size()));
        EXPECT_EQ(number(".samplesAnnounced"), double(cfg.samplesCount));
        expectClose(number(".duration"), recording.duration, "duration");
        ASSERT_EQ(text(".samplingRates#"), std::to_string(cfg.samplingRates.size()));
        for (std::size_t i = 0; i < cfg.samplingRates.size(); ++i) {
            const std::string row = ".samplingRates[" + std::to_string(i) + "]";
            expectClose(number(row + ".rate"), cfg.samplingRates[i].rate, row);
            EXPECT_EQ(number(row + ".endSample"), double(cfg.samplingRates[i].endSample)) << row;
        }
        ASSERT_EQ(text(".analogChannels#"), std::to_string(recording.analogChannels.size()));
        for (std::size_t i = 0; i < recording.analogChannels.size(); ++i) {
            const AnalogChannel& view = recording.analogChannels[i];
            const auto& config = static_cast<const AnalogChannelConfig&>(view.config);
            const std::string row = ".analogChannels[" + std::to_string(i) + "]";
            EXPECT_EQ(number(row + ".number"), double(i + 1));
            if (validUtf8(config.channelId + config.unit)) {
                EXPECT_EQ(text(row + ".id"), config.channelId) << row;
                EXPECT_EQ(text(row + ".unit"), view.unit()) << row;
            }
            expectClose(number(row + ".skew"), view.skew, row + " skew");
            double low = std::nan(""), high = std::nan(""), squares = 0.0;
            for (const Sample& s : view.samples) {
                const double v = s.analogValues.at(std::size_t(config.index));
                low = std::isnan(low) ? v : std::min(low, v);
                high = std::isnan(high) ? v : std::max(high, v);
                squares += v * v;
            }
            expectClose(number(row + ".min"), low, row + " min");
            expectClose(number(row + ".max"), high, row + " max");
            expectClose(number(row + ".rms"), std::sqrt(squares / double(view.samples.size())), row + " rms");
        }
        ASSERT_EQ(text(".statusChannels#"), std::to_string(recording.binaryChannels.size()));
        for (std::size_t i = 0; i < recording.binaryChannels.size(); ++i) {
            const BinaryChannel& view = recording.binaryChannels[i];
            const auto& config = static_cast<const BinaryChannelConfig&>(view.config);
            const std::string row = ".statusChannels[" + std::to_string(i) + "]";
            if (validUtf8(config.channelId)) {
                EXPECT_EQ(text(row + ".id"), config.channelId) << row;
            }
            EXPECT_EQ(number(row + ".normalState"), config.normalState) << row;
            // The view's step series has one point per change of state
            // between its opening and closing points.
            const auto steps = view.getPoints(view.samples.front().time, -1.0, -1.0);
            std::size_t changes = 0;
            double first = std::nan("");
            for (std::size_t k = 1; k < steps.size(); ++k)
                if (steps[k].y != steps[k - 1].y && changes++ == 0)
                    first = steps[k].x;
            EXPECT_EQ(number(row + ".changes"), double(changes)) << row;
            if (changes == 0) {
                EXPECT_EQ(text(row + ".firstChange"), "null") << row;
            } else { // the series holds times narrowed to float
                EXPECT_NEAR(number(row + ".firstChange"), first, 1e-6 * std::max(1.0, std::fabs(first))) << row;
            }
        }
    }
}

// A broken recording of each kind: both tools exit with the load's code, print
// nothing on stdout and name the file in a sentence on stderr. Command-line
// mistakes exit with 64, an unwritable output with 73.
TEST(ComtradeTools, EveryFailureExitsWithItsCodeAndNamesTheFile)
{
    const KivTest::TempDir dir("tool-failures");
    KivTest::RecordingSpec layout;
    layout.analogs = {KivTest::AnalogSpec{}, KivTest::AnalogSpec{}};
    layout.statuses = {KivTest::StatusSpec{}};
    layout.type = Enums::Binary;
    const KivTest::Recording binary = KivTest::makeRecording(layout, 20);
    layout.type = Enums::Ascii;
    const KivTest::Recording ascii = KivTest::makeRecording(layout, 20);
    ASSERT_TRUE(KivTest::writeRecording(binary, dir.file("short")));
    const std::string dat = KivTest::readFile(dir.file("short.dat"));
    ASSERT_TRUE(KivTest::writeFile(dir.file("short.dat"), dat.substr(0, dat.size() - 3)));
    std::string text = KivTest::datBytes(ascii);
    text.insert(text.find('\n', text.find('\n') + 1) + 1, "x"); // line 3 no longer starts with a number
    ASSERT_TRUE(KivTest::writeFile(dir.file("badline.cfg"), KivTest::cfgText(ascii.design, 20)));
    ASSERT_TRUE(KivTest::writeFile(dir.file("badline.dat"), text));
    ASSERT_TRUE(KivTest::writeFile(dir.file("nodata.cfg"), KivTest::cfgText(binary.design, 20)));
    ASSERT_TRUE(KivTest::writeFile(dir.file("badcounts.cfg"), "ST,DEV,1999\n0,0A,0D\n"));

    const struct {
        std::string path;
        int code;
        std::vector<std::string> named; // texts the sentence must contain
    } cases[] = {
        {dir.file("notes.txt"), 1, {dir.file("notes.txt")}},
        {dir.file("absent.cfg"), 2, {dir.file("absent.cfg")}},
        {dir.file("badcounts.cfg"), 3, {dir.file("badcounts.cfg")}},
        {dir.file("nodata.cfg"), 5, {dir.file("nodata.dat")}},
        {dir.file("short.cfg"), 6,
         {dir.file("short.dat"), dir.file("short.cfg"), "holds a different number of records than the configuration"}},
        {dir.file("badline.dat"), 6, {"line 3 of the data file " + dir.file("badline.dat")}},
    };
    for (const auto& c : cases)
        for (const std::string& tool : {kInfo, kPlot}) {
            SCOPED_TRACE(tool + " " + c.path);
            Comtrade recording;
            ASSERT_EQ(recording.load(c.path), c.code);
            const ToolRun result = tool == kInfo ? run(tool, {c.path}) : run(tool, {c.path, "-o", dir.file("out.svg")});
            EXPECT_EQ(result.code, c.code) << result.err;
            EXPECT_TRUE(result.out.empty()) << result.out;
            for (const std::string& name : c.named)
                EXPECT_NE(result.err.find(name), std::string::npos) << result.err;
        }

    const std::vector<std::pair<std::string, std::vector<std::string>>> usage = {
        {kInfo, {"--bogus"}},
        {kInfo, {kBundled, kBundled}},
        {kPlot, {"--from"}},
        {kPlot, {kBundled, "--from", "abc"}},
        {kPlot, {kBundled, "--from", "0.2", "--to", "0.1"}},
        {kPlot, {kBundled, "--channels", "7"}},  // 6 analog channels
        {kPlot, {kBundled, "--channels", "D3"}}, // 2 status channels
        {kPlot, {kBundled, "--channels", "UA,nosuch"}},
    };
    for (const auto& [tool, args] : usage) {
        const ToolRun result = run(tool, args);
        EXPECT_EQ(result.code, 64) << tool << " " << args.back();
        EXPECT_FALSE(result.err.empty());
    }
    EXPECT_EQ(run(kInfo, {}).code, 0); // no path: the bundled recording
    const ToolRun unwritable = run(kPlot, {kBundled, "-o", "/nonexistent-folder/x.svg"});
    EXPECT_EQ(unwritable.code, 73);
    EXPECT_NE(unwritable.err.find("/nonexistent-folder/x.svg"), std::string::npos);
}

std::string xpath(const std::string& file, const std::string& expression)
{
    std::string out = run("xmllint", {"--xpath", expression, file}).out;
    while (!out.empty() && std::isspace(static_cast<unsigned char>(out.back())))
        out.pop_back();
    return out;
}

TEST(ComtradePlot, SvgIsWellFormedWithOneTracePerChannel)
{
    if (!haveProgram("xmllint"))
        GTEST_SKIP() << "xmllint (Debian libxml2-utils) is not installed";
    const KivTest::TempDir dir("plot");
    const std::string traces = "count(//*[local-name()='polyline'][@class='trace'])";
    int n = 0;
    for (const std::string& path : recordings()) {
        SCOPED_TRACE(path);
        Comtrade recording;
        const int code = recording.load(path);
        const std::string svg = dir.file("plot" + std::to_string(n++) + ".svg");
        const ToolRun result = run(kPlot, {path, "-o", svg});
        ASSERT_EQ(result.code, code) << result.err;
        if (code != 0)
            continue;
        EXPECT_EQ(result.out, svg + "\n");
        EXPECT_EQ(run("xmllint", {"--noout", svg}).code, 0) << "not well-formed: " << svg;
        EXPECT_EQ(xpath(svg, traces), std::to_string(recording.analogChannels.size() + recording.binaryChannels.size()));
    }
    // A chosen set, by number, status number and identifier (any case), in
    // the order given; the default output name lies in the current folder.
    const ToolRun chosen = run(kPlot, {kBundled, "--channels", "1,D2,ib,Trip"}, dir.path());
    ASSERT_EQ(chosen.code, 0) << chosen.err;
    EXPECT_EQ(chosen.out, "fault-slg-binary.svg\n");
    const std::string svg = dir.file("fault-slg-binary.svg");
    EXPECT_EQ(run("xmllint", {"--noout", svg}).code, 0);
    EXPECT_EQ(xpath(svg, traces), "4");
    EXPECT_EQ(xpath(svg, "string((//*[@class='trace'])[2]/@data-channel)"), "D2");
    EXPECT_EQ(xpath(svg, "string((//*[@class='trace'])[3]/@data-channel)"), "A5");
    // A window of the bundled recording, opened with no path.
    const ToolRun window = run(kPlot, {"--from", "0.05", "--to", "0.15", "-o", dir.file("w.svg")}, dir.path());
    ASSERT_EQ(window.code, 0) << window.err;
    EXPECT_EQ(run("xmllint", {"--noout", dir.file("w.svg")}).code, 0);
    EXPECT_EQ(xpath(dir.file("w.svg"), traces), "8");
}

} // namespace
