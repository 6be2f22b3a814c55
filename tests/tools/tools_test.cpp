// comtrade-info and comtrade-plot run as a user runs them: on the bundled
// recording, on the real recordings of ../shared/samples, and on broken ones.
// Their numbers are checked against the library, their JSON against a strict
// parser (and python3's when present), their SVG with xmllint.

#include "FaultSamples.h"
#include "MiniJson.h"

#include <KivComtradeLib/KivComtradeLib.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace KivComtradeLib;

const std::string kInfo = KIVCOMTRADE_INFO_TOOL;
const std::string kPlot = KIVCOMTRADE_PLOT_TOOL;
const std::string kBundled = std::string(KIVCOMTRADE_SOURCE_DIR) + "/samples/fault-slg-binary.cfg";

struct ToolRun {
    int code = -1;
    std::string out;
    std::string err;
};

std::string shellQuote(const std::string& text)
{
    std::string out = "'";
    for (const char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Runs `program args...` through the shell in `folder` (empty: here).
ToolRun run(const std::string& program, const std::vector<std::string>& args,
        const std::string& folder = "")
{
    // One folder for the captured output of the whole program, removed at exit.
    struct Scratch {
        std::string path = KivTest::makeTempDir("tool-output");
        ~Scratch() { fs::remove_all(path); }
    };
    static const Scratch scratch;
    const std::string out = scratch.path + "/stdout";
    const std::string err = scratch.path + "/stderr";
    std::string command = folder.empty() ? "" : "cd " + shellQuote(folder) + " && ";
    command += shellQuote(program);
    for (const std::string& arg : args)
        command += " " + shellQuote(arg);
    command += " >" + shellQuote(out) + " 2>" + shellQuote(err);
    const int status = std::system(command.c_str());
    ToolRun result;
    result.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = KivTest::readFile(out);
    result.err = KivTest::readFile(err);
    return result;
}

bool haveProgram(const std::string& name)
{
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

// The bundled recording, then every .cfg and .cff of the real recordings.
std::vector<std::string> recordings()
{
    std::vector<std::string> paths = {kBundled};
    const std::string shared = KivTest::sharedSamplesDir();
    if (shared.empty())
        return paths;
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(shared)) {
        std::string ext = entry.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
        if (entry.is_regular_file() && (ext == ".cfg" || ext == ".cff"))
            found.push_back(entry.path().string());
    }
    std::sort(found.begin(), found.end());
    paths.insert(paths.end(), found.begin(), found.end());
    return paths;
}

bool validUtf8(const std::string& s)
{
    // A well-formed UTF-8 name must come out of the tool unchanged; other
    // bytes are replaced, so only such names are compared byte for byte.
    std::size_t i = 0;
    while (i < s.size()) {
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
        return;
    }
    EXPECT_NEAR(actual, expected, 1e-12 * std::max(1.0, std::fabs(expected))) << what;
}

double jsonDouble(const KivTest::Json& value)
{
    return value.isNull() ? std::nan("") : value.number;
}

TEST(ComtradeInfo, JsonAgreesWithTheLibrary)
{
    const bool python = haveProgram("python3");
    const std::string dir = KivTest::makeTempDir("json");
    for (const std::string& path : recordings()) {
        SCOPED_TRACE(path);
        Comtrade recording;
        const int code = recording.load(path);
        const ToolRun result = run(kInfo, {path, "--json"});
        ASSERT_EQ(result.code, code) << result.err;
        if (code != 0) {
            EXPECT_NE(result.err.find(path.substr(0, path.rfind('.'))), std::string::npos)
                << result.err;
            continue;
        }
        if (python) {
            const std::string file = dir + "/info.json";
            ASSERT_TRUE(KivTest::writeFile(file, result.out));
            EXPECT_EQ(std::system(("python3 -m json.tool " + shellQuote(file) + " >/dev/null").c_str()), 0)
                << result.out;
        }
        KivTest::Json doc;
        ASSERT_NO_THROW(doc = KivTest::JsonParser::parse(result.out)) << result.out;

        const Cfg& cfg = recording.cfg;
        EXPECT_EQ(doc["revision"].number, cfg.revYear);
        EXPECT_EQ(doc["samples"].number, static_cast<double>(recording.dat.samples.size()));
        EXPECT_EQ(doc["samplesAnnounced"].number, static_cast<double>(cfg.samplesCount));
        expectClose(jsonDouble(doc["duration"]), recording.duration, "duration");
        expectClose(doc["lineFrequency"].number, cfg.lineFrequency, "line frequency");
        expectClose(doc["timeMultiplier"].number, cfg.timeMultiplier, "time multiplier");
        ASSERT_EQ(doc["samplingRates"].items.size(), cfg.samplingRates.size());
        for (std::size_t i = 0; i < cfg.samplingRates.size(); ++i) {
            expectClose(doc["samplingRates"][i]["rate"].number, cfg.samplingRates[i].rate, "rate");
            EXPECT_EQ(doc["samplingRates"][i]["endSample"].number,
                      static_cast<double>(cfg.samplingRates[i].endSample));
        }

        ASSERT_EQ(doc["analogChannels"].items.size(), recording.analogChannels.size());
        for (std::size_t i = 0; i < recording.analogChannels.size(); ++i) {
            const AnalogChannel& view = recording.analogChannels[i];
            const auto& config = static_cast<const AnalogChannelConfig&>(view.config);
            const KivTest::Json& row = doc["analogChannels"][i];
            const std::string what = "analog channel " + std::to_string(i + 1);
            EXPECT_EQ(row["number"].number, static_cast<double>(i + 1)) << what;
            if (validUtf8(config.channelId)) {
                EXPECT_EQ(row["id"].text, config.channelId) << what;
            }
            if (validUtf8(config.unit)) {
                EXPECT_EQ(row["unit"].text, view.unit()) << what;
            }
            expectClose(row["skew"].number, view.skew, what + " skew");
            expectClose(row["primary"].number, config.primary, what + " primary");
            expectClose(row["secondary"].number, config.secondary, what + " secondary");
            EXPECT_EQ(row["ps"].text, config.isSecondary ? "S" : "P") << what;
            double low = std::nan(""), high = std::nan(""), squares = 0.0;
            for (const Sample& s : view.samples) {
                const double v = s.analogValues.at(static_cast<std::size_t>(config.index));
                low = std::isnan(low) ? v : std::min(low, v);
                high = std::isnan(high) ? v : std::max(high, v);
                squares += v * v;
            }
            const double rms = view.samples.empty()
                ? std::nan("")
                : std::sqrt(squares / static_cast<double>(view.samples.size()));
            expectClose(jsonDouble(row["min"]), low, what + " min");
            expectClose(jsonDouble(row["max"]), high, what + " max");
            expectClose(jsonDouble(row["rms"]), rms, what + " rms");
        }

        ASSERT_EQ(doc["statusChannels"].items.size(), recording.binaryChannels.size());
        for (std::size_t i = 0; i < recording.binaryChannels.size(); ++i) {
            const BinaryChannel& view = recording.binaryChannels[i];
            const auto& config = static_cast<const BinaryChannelConfig&>(view.config);
            const KivTest::Json& row = doc["statusChannels"][i];
            const std::string what = "status channel " + std::to_string(i + 1);
            if (validUtf8(config.channelId)) {
                EXPECT_EQ(row["id"].text, config.channelId) << what;
            }
            EXPECT_EQ(row["normalState"].number, config.normalState) << what;
            // The library's step series over the whole recording has one
            // point per change of state between its opening and closing points.
            const std::vector<Kiv::PointF> steps = view.getPoints(
                view.samples.empty() ? 0.0 : view.samples.front().time, -1.0, -1.0);
            std::size_t changes = 0;
            double first = std::nan("");
            for (std::size_t k = 1; k < steps.size(); ++k)
                if (steps[k].y != steps[k - 1].y) {
                    if (changes == 0)
                        first = steps[k].x;
                    ++changes;
                }
            EXPECT_EQ(row["changes"].number, static_cast<double>(changes)) << what;
            if (changes == 0) {
                EXPECT_TRUE(row["firstChange"].isNull()) << what;
            } else { // the series holds times narrowed to float
                EXPECT_NEAR(row["firstChange"].number, first,
                            1e-6 * std::max(1.0, std::fabs(first))) << what;
            }
        }
    }
    fs::remove_all(dir);
}

TEST(ComtradeInfo, TextOfTheBundledRecording)
{
    // No PATH: the bundled recording.
    const ToolRun result = run(kInfo, {});
    ASSERT_EQ(result.code, 0) << result.err;
    EXPECT_NE(result.out.find("SEVERNAYA 110kV"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("BINARY"), std::string::npos);
    EXPECT_NE(result.out.find("Samples         500"), std::string::npos);
    // Breaker name, written in code page 1251, printed in UTF-8; 2 changes of
    // state for the trip (on, off), 1 for the breaker, first at 85 / 125 ms.
    EXPECT_NE(result.out.find("\xD0\x92\xD1\x8B\xD0\xBA\xD0\xBB\xD1\x8E\xD1\x87\xD0\xB0\xD1\x82"
                              "\xD0\xB5\xD0\xBB\xD1\x8C Q1"),
              std::string::npos)
        << result.out;
    auto lineOf = [&](const std::string& word) {
        const std::size_t at = result.out.find(word);
        if (at == std::string::npos)
            return std::string();
        const std::size_t begin = result.out.rfind('\n', at) + 1;
        return result.out.substr(begin, result.out.find('\n', at) - begin);
    };
    EXPECT_NE(lineOf("Trip").find(" 2  "), std::string::npos) << lineOf("Trip");
    EXPECT_NE(lineOf("Trip").find("0.085"), std::string::npos) << lineOf("Trip");
    EXPECT_NE(lineOf(" Q1 ").find(" 1  "), std::string::npos) << lineOf(" Q1 ");
    EXPECT_NE(lineOf(" Q1 ").find("0.125"), std::string::npos) << lineOf(" Q1 ");
}

// A broken recording of each kind, the code both tools must exit with, and
// what the sentence on stderr must name.
TEST(ComtradeTools, EveryLoadFailureExitsWithItsCodeAndNamesTheFile)
{
    const std::string dir = KivTest::makeTempDir("tool-failures");
    KivTest::RecordingSpec layout;
    layout.analogs = {KivTest::AnalogSpec{}, KivTest::AnalogSpec{}};
    layout.statuses = {KivTest::StatusSpec{}};
    layout.type = Enums::Binary;
    const KivTest::Recording binary = KivTest::makeRecording(layout, 20);
    layout.type = Enums::Ascii;
    const KivTest::Recording ascii = KivTest::makeRecording(layout, 20);

    ASSERT_TRUE(KivTest::writeRecording(binary, dir + "/short"));
    std::string dat = KivTest::readFile(dir + "/short.dat");
    dat.resize(dat.size() - 3); // the last record is cut short
    ASSERT_TRUE(KivTest::writeFile(dir + "/short.dat", dat));

    ASSERT_TRUE(KivTest::writeRecording(ascii, dir + "/badline"));
    std::string text = KivTest::readFile(dir + "/badline.dat");
    std::size_t third = 0;
    for (int n = 0; n < 2; ++n)
        third = text.find('\n', third) + 1;
    text.insert(third, "x"); // line 3 no longer starts with a number
    ASSERT_TRUE(KivTest::writeFile(dir + "/badline.dat", text));

    ASSERT_TRUE(KivTest::writeFile(dir + "/nodata.cfg", KivTest::cfgText(binary.spec, 20)));
    ASSERT_TRUE(KivTest::writeFile(dir + "/badcounts.cfg", "ST,DEV,1999\n0,0A,0D\n"));

    struct Case {
        std::string path;
        int code;
        std::vector<std::string> named; // texts the sentence must contain
    };
    const std::vector<Case> cases = {
        {dir + "/notes.txt", 1, {dir + "/notes.txt"}},
        {dir + "/absent.cfg", 2, {dir + "/absent.cfg"}},
        {dir + "/badcounts.cfg", 3, {dir + "/badcounts.cfg"}},
        {dir + "/nodata.cfg", 5, {dir + "/nodata.dat"}},
        {dir + "/short.cfg", 6,
         {dir + "/short.dat", dir + "/short.cfg",
          "holds a different number of records than the configuration"}},
        {dir + "/badline.dat", 6, {"line 3 of the data file " + dir + "/badline.dat"}},
    };
    for (const Case& c : cases)
        for (const std::string& tool : {kInfo, kPlot}) {
            SCOPED_TRACE(tool + " " + c.path);
            Comtrade recording;
            ASSERT_EQ(recording.load(c.path), c.code);
            const std::vector<std::string> args =
                tool == kInfo ? std::vector<std::string>{c.path}
                              : std::vector<std::string>{c.path, "-o", dir + "/out.svg"};
            const ToolRun result = run(tool, args);
            EXPECT_EQ(result.code, c.code) << result.err;
            EXPECT_TRUE(result.out.empty()) << result.out;
            for (const std::string& name : c.named)
                EXPECT_NE(result.err.find(name), std::string::npos) << result.err;
        }
    fs::remove_all(dir);
}

TEST(ComtradeTools, CommandLineErrorsExitWith64)
{
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {kInfo, {"--bogus"}},
        {kInfo, {kBundled, kBundled}},
        {kPlot, {"--from"}},
        {kPlot, {kBundled, "--from", "abc"}},
        {kPlot, {kBundled, "--from", "0.2", "--to", "0.1"}},
        {kPlot, {kBundled, "--channels", "7"}},   // 6 analog channels
        {kPlot, {kBundled, "--channels", "D3"}},  // 2 status channels
        {kPlot, {kBundled, "--channels", "UA,nosuch"}},
    };
    for (const auto& [tool, args] : cases) {
        const ToolRun result = run(tool, args);
        EXPECT_EQ(result.code, 64) << tool << " " << (args.empty() ? "" : args.back());
        EXPECT_FALSE(result.err.empty());
    }
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
    const std::string dir = KivTest::makeTempDir("plot");
    const std::string traces = "count(//*[local-name()='polyline'][@class='trace'])";
    int n = 0;
    for (const std::string& path : recordings()) {
        SCOPED_TRACE(path);
        Comtrade recording;
        const int code = recording.load(path);
        const std::string svg = dir + "/plot" + std::to_string(n++) + ".svg";
        const ToolRun result = run(kPlot, {path, "-o", svg});
        ASSERT_EQ(result.code, code) << result.err;
        if (code != 0)
            continue;
        EXPECT_EQ(result.out, svg + "\n");
        EXPECT_EQ(run("xmllint", {"--noout", svg}).code, 0) << "not well-formed: " << svg;
        EXPECT_EQ(xpath(svg, traces),
                  std::to_string(recording.analogChannels.size() + recording.binaryChannels.size()));
    }

    // A chosen set, by number, status number and identifier (any case), in
    // the order given; default output name in the current folder.
    const ToolRun chosen = run(kPlot, {kBundled, "--channels", "1,D2,ib,Trip"}, dir);
    ASSERT_EQ(chosen.code, 0) << chosen.err;
    EXPECT_EQ(chosen.out, "fault-slg-binary.svg\n");
    const std::string svg = dir + "/fault-slg-binary.svg";
    EXPECT_EQ(xpath(svg, traces), "4");
    EXPECT_EQ(xpath(svg, "string((//*[@class='trace'])[2]/@data-channel)"), "D2");
    EXPECT_EQ(xpath(svg, "string((//*[@class='trace'])[3]/@data-channel)"), "A5");
    // Step lines: the trip's series is off, on, off and the closing point at
    // the window's end (4 points + 3 risers), the breaker's closed, open and
    // the closing point (3 + 2); an analog trace follows every sample.
    auto pairs = [&](int trace) {
        const std::string points =
            xpath(svg, "string((//*[@class='trace'])[" + std::to_string(trace) + "]/@points)");
        return std::count(points.begin(), points.end(), ',');
    };
    EXPECT_EQ(pairs(4), 7);
    EXPECT_EQ(pairs(2), 5);
    EXPECT_GE(pairs(1), 1000);

    // A window: 50 to 150 ms after the first sample.
    const ToolRun window = run(kPlot, {"--from", "0.05", "--to", "0.15", "-o", dir + "/w.svg"}, dir);
    ASSERT_EQ(window.code, 0) << window.err;
    EXPECT_EQ(run("xmllint", {"--noout", dir + "/w.svg"}).code, 0);
    EXPECT_EQ(xpath(dir + "/w.svg", traces), "8");
    fs::remove_all(dir);
}

} // namespace
