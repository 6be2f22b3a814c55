// The host tools run as a user runs them: on the bundled recording, on the
// real recordings of ../shared/samples, on generated and on broken ones.
// Their numbers are checked against the library, their JSON through jq and
// nlohmann-json, their SVG with xmllint and by reading its coordinates.

#include "FaultSamples.h"

#include <KivComtradeLib/KivComtradeLib.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace KivComtradeLib;

const std::string kInfo = KIVCOMTRADE_INFO_TOOL;
const std::string kPlot = KIVCOMTRADE_PLOT_TOOL;
const std::string kExport = KIVCOMTRADE_EXPORT_TOOL;
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

std::string trim(const std::string& s)
{
    const auto b = s.find_first_not_of(" \t\r");
    return b == std::string::npos ? std::string() : s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}

// Zero of the tools' time axis: the trigger when the configuration gives one.
double axisZero(const Comtrade& recording)
{
    const double offset = recording.cfg.triggerOffset;
    return recording.dat.samples.front().time + (std::isfinite(offset) ? offset : 0.0);
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
        expectClose(number(".duration"), recording.duration, "duration");
        expectClose(number(".triggerOffset"), cfg.triggerOffset, "trigger offset");
        EXPECT_EQ(text(".start") == "null", !cfg.start.valid);
        ASSERT_EQ(text(".samplingRates#"), std::to_string(cfg.samplingRates.size()));
        ASSERT_EQ(text(".analogChannels#"), std::to_string(recording.analogChannels.size()));
        for (std::size_t i = 0; i < recording.analogChannels.size(); ++i) {
            const AnalogChannel& view = recording.analogChannels[i];
            const auto& config = static_cast<const AnalogChannelConfig&>(view.config);
            const std::string row = ".analogChannels[" + std::to_string(i) + "]";
            if (validUtf8(config.channelId + config.unit)) {
                EXPECT_EQ(text(row + ".id"), trim(config.channelId)) << row;
                EXPECT_EQ(text(row + ".unit"), trim(view.unit())) << row;
            }
            expectClose(number(row + ".skew"), view.skew, row + " skew");
            // Missing values (NaN) are left out of the statistics.
            double low = std::nan(""), high = std::nan(""), squares = 0.0, n = 0.0;
            for (const Sample& s : view.samples) {
                const double v = s.analogValues.at(std::size_t(config.index));
                if (std::isnan(v))
                    continue;
                low = std::isnan(low) ? v : std::min(low, v);
                high = std::isnan(high) ? v : std::max(high, v);
                squares += v * v;
                n += 1.0;
            }
            expectClose(number(row + ".min"), low, row + " min");
            expectClose(number(row + ".max"), high, row + " max");
            expectClose(number(row + ".rms"), n > 0 ? std::sqrt(squares / n) : std::nan(""), row + " rms");
        }
        ASSERT_EQ(text(".statusChannels#"), std::to_string(recording.binaryChannels.size()));
        for (std::size_t i = 0; i < recording.binaryChannels.size(); ++i) {
            const BinaryChannel& view = recording.binaryChannels[i];
            const std::string row = ".statusChannels[" + std::to_string(i) + "]";
            // The view's step series has one point per change of state.
            const auto steps = view.getPoints(view.samples.front().time, -1.0, -1.0);
            std::size_t changes = 0;
            for (std::size_t k = 1; k < steps.size(); ++k)
                changes += steps[k].y != steps[k - 1].y;
            EXPECT_EQ(number(row + ".changes"), double(changes)) << row;
        }
    }
}

// A broken recording of each kind: every tool exits with the load's code,
// prints nothing on stdout and the load report's sentence on stderr.
// Command-line mistakes exit with 64, an unwritable output with 73.
TEST(ComtradeTools, EveryFailureExitsWithItsCodeAndTheReportsSentence)
{
    const KivTest::TempDir dir("tool-failures");
    KivTest::RecordingLayout layout;
    layout.analogs = {KivTest::AnalogLayout{}, KivTest::AnalogLayout{}};
    layout.statuses = {KivTest::StatusLayout{}};
    layout.type = Enums::Binary;
    const KivTest::Recording binary = KivTest::makeRecording(layout, 20);
    ASSERT_TRUE(KivTest::writeRecording(binary, dir.file("short")));
    const std::string dat = KivTest::readFile(dir.file("short.dat"));
    ASSERT_TRUE(KivTest::writeFile(dir.file("short.dat"), dat.substr(0, 5)));
    ASSERT_TRUE(KivTest::writeFile(dir.file("nodata.cfg"), KivTest::cfgText(binary.design, 20)));
    ASSERT_TRUE(KivTest::writeFile(dir.file("badcounts.cfg"), "ST,DEV,1999\n0,0A,0D\n"));

    const std::pair<std::string, int> cases[] = {
        {dir.file("notes.txt"), 1}, {dir.file("absent.cfg"), 2}, {dir.file("badcounts.cfg"), 3},
        {dir.file("nodata.cfg"), 5}, {dir.file("short.cfg"), 6},
    };
    for (const auto& [path, code] : cases)
        for (const std::string& tool : {kInfo, kPlot, kExport}) {
            SCOPED_TRACE(tool + " " + path);
            Comtrade recording;
            ASSERT_EQ(recording.load(path), code);
            const ToolRun plain = tool == kInfo ? run(tool, {path}) : run(tool, {path, "-o", dir.file("out")});
            EXPECT_EQ(plain.code, code) << plain.err;
            EXPECT_TRUE(plain.out.empty()) << plain.out;
            ASSERT_FALSE(recording.report.message.empty());
            EXPECT_NE(plain.err.find(recording.report.message), std::string::npos) << plain.err;
        }

    const std::vector<std::pair<std::string, std::vector<std::string>>> usage = {
        {kInfo, {"--bogus"}},
        {kInfo, {kBundled, kBundled}},
        {kPlot, {"--from"}},
        {kPlot, {kBundled, "--from", "abc"}},
        {kPlot, {kBundled, "--from", "0.2", "--to", "0.1"}},
        {kPlot, {kBundled, "--from", "5"}},              // after the end of a 0.25 s recording
        {kPlot, {kBundled, "--to", "-5"}},               // before its start
        {kPlot, {kBundled, "--channels", " , "}},        // names no channel
        {kPlot, {kBundled, "--channels", "7"}},          // 6 analog channels
        {kPlot, {kBundled, "--channels", "D3"}},         // 2 status channels
        {kPlot, {kBundled, "--channels", "UA,nosuch"}},
        {kPlot, {kBundled, "--scale", "sometimes"}},
        {kExport, {kBundled, "--from", "5"}},
        {kExport, {kBundled, "--channels", ""}},
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

// One lane of a plot as drawn: its scale (value lo -> y0, hi -> y1), stroke
// and the y of every polyline point.
struct DrawnLane {
    double lo = 0, hi = 0, y0 = 0, y1 = 0;
    std::string stroke;
    std::vector<double> ys;
    double valueAt(double y) const { return lo + (y - y0) / (y1 - y0) * (hi - lo); }
    double yOf(double v) const { return y0 + (v - lo) / (hi - lo) * (y1 - y0); }
};

std::map<std::string, DrawnLane> analogLanes(const std::string& svg)
{
    std::map<std::string, DrawnLane> lanes;
    const std::regex lane(R"re(<g class="lane analog" id="lane-(\w+)" data-channel="\w+" data-scale="(\S+) (\S+) (\S+) (\S+)">)re");
    for (std::sregex_iterator it(svg.begin(), svg.end(), lane), end; it != end; ++it) {
        DrawnLane& drawn = lanes[(*it)[1]];
        drawn = {std::stod((*it)[2]), std::stod((*it)[3]), std::stod((*it)[4]), std::stod((*it)[5]), "", {}};
        // Long point lists overflow std::regex's recursion: plain searches.
        const std::size_t close = svg.find("</g>", std::size_t(it->position()));
        for (std::size_t at = svg.find("<polyline", std::size_t(it->position())); at < close;
             at = svg.find("<polyline", at + 1)) {
            const std::size_t stroke = svg.find("stroke=\"", at) + 8;
            drawn.stroke = svg.substr(stroke, svg.find('"', stroke) - stroke);
            const std::size_t points = svg.find("points=\"", at) + 8;
            std::istringstream list(svg.substr(points, svg.find('"', points) - points));
            double x, y;
            char comma;
            while (list >> x >> comma >> y)
                drawn.ys.push_back(y);
        }
    }
    return lanes;
}

TEST(ComtradePlot, SvgIsWellFormedWithOneLanePerChannel)
{
    if (!haveProgram("xmllint"))
        GTEST_SKIP() << "xmllint (Debian libxml2-utils) is not installed";
    const KivTest::TempDir dir("plot");
    const std::string lanes = "count(//*[local-name()='g'][starts-with(@class,'lane')])";
    int n = 0;
    for (const std::string& path : recordings()) {
        SCOPED_TRACE(path);
        Comtrade recording;
        const int code = recording.load(path);
        const std::string svg = dir.file("plot" + std::to_string(n++) + ".svg");
        const ToolRun result = run(kPlot, {path, "-o", svg, "--all-status"});
        ASSERT_EQ(result.code, code) << result.err;
        if (code != 0)
            continue;
        EXPECT_EQ(result.out, svg + "\n");
        EXPECT_EQ(run("xmllint", {"--noout", svg}).code, 0) << "not well-formed: " << svg;
        EXPECT_EQ(xpath(svg, lanes), std::to_string(recording.analogChannels.size() + recording.binaryChannels.size()));
    }
    // A chosen set, by number, status number and identifier (any case), in
    // the order given; the default output name lies in the current folder.
    const ToolRun chosen = run(kPlot, {kBundled, "--channels", "1,D2,ib,Trip"}, dir.path());
    ASSERT_EQ(chosen.code, 0) << chosen.err;
    EXPECT_EQ(chosen.out, "fault-slg-binary.svg\n");
    const std::string svg = dir.file("fault-slg-binary.svg");
    EXPECT_EQ(xpath(svg, lanes), "4");
    EXPECT_EQ(xpath(svg, "string((//*[@data-channel])[2]/@data-channel)"), "D2");
    EXPECT_EQ(xpath(svg, "string((//*[@data-channel])[3]/@data-channel)"), "A5");
    // Colours follow the phase, not the place: IB (phase B) is green alone too.
    EXPECT_EQ(analogLanes(KivTest::readFile(svg))["A5"].stroke, "#2e7d32");
    ASSERT_EQ(run(kPlot, {kBundled, "--channels", "A5", "-o", dir.file("b.svg")}).code, 0);
    EXPECT_EQ(analogLanes(KivTest::readFile(dir.file("b.svg")))["A5"].stroke, "#2e7d32");
}

// A million records: a ±0.2 A sine with one 0.32 A sample, a ±0.1 A sine of
// the same circuit and a 183.7 kV voltage. Every lane's drawn extremes are
// the channel's true ones; the currents share a scale unless --scale each.
TEST(ComtradePlot, EnvelopeKeepsEveryPeakOfAMillionRecords)
{
    const KivTest::TempDir dir("envelope");
    KivTest::RecordingLayout design;
    design.type = Enums::Binary;
    design.rates = {KivTest::RateLayout{10000.0, 1000000}};
    design.analogs.resize(3);
    const char* const names[3][4] = {{"IA", "A", "L1", "A"}, {"IB", "B", "L1", "A"}, {"UA", "A", "", "kV"}};
    for (std::size_t c = 0; c < 3; ++c) {
        design.analogs[c].id = names[c][0];
        design.analogs[c].phase = names[c][1];
        design.analogs[c].circuitComponent = names[c][2];
        design.analogs[c].unit = names[c][3];
        design.analogs[c].a = c < 2 ? 1e-5 : 0.01;
    }
    design.statuses.resize(2);
    design.statuses[0].id = "TRIP";
    design.statuses[1].id = "SPARE";
    const double pi = 3.14159265358979323846;
    constexpr unsigned long long spikeAt = 654321;
    double low[3] = {1e300, 1e300, 1e300}, high[3] = {-1e300, -1e300, -1e300};
    ASSERT_TRUE(KivTest::writeGenerated(design, 1000000, [&](unsigned long long k, KivTest::Record& r) {
        const double w = 2 * pi * 50.0 * double(k) / 10000.0 + 0.3;
        r.raw = {k == spikeAt ? 32000.0 : std::round(20000 * std::sin(w)), std::round(10000 * std::sin(w + 2.1)),
                 std::round(18370 * std::sin(w - 2.1))};
        r.status = {k >= 500000, false};
        r.timeStamp = std::uint32_t(k * 100);
        for (std::size_t c = 0; c < 3; ++c) {
            const double v = KivTest::engineeringValue(design, c, KivTest::storedRaw(design.type, r.raw[c]));
            low[c] = std::min(low[c], v);
            high[c] = std::max(high[c], v);
        }
    }, dir.file("long")));
    ASSERT_EQ(run(kPlot, {dir.file("long.cfg"), "-o", dir.file("long.svg")}).code, 0);
    const std::string svg = KivTest::readFile(dir.file("long.svg"));
    auto lanes = analogLanes(svg);
    ASSERT_EQ(lanes.size(), 3u);
    for (std::size_t c = 0; c < 3; ++c) {
        const DrawnLane& lane = lanes["A" + std::to_string(c + 1)];
        SCOPED_TRACE(c);
        ASSERT_FALSE(lane.ys.empty());
        const auto [top, bottom] = std::minmax_element(lane.ys.begin(), lane.ys.end());
        EXPECT_NEAR(*top, lane.yOf(high[c]), 0.006); // coordinates have two decimals
        EXPECT_NEAR(*bottom, lane.yOf(low[c]), 0.006);
    }
    EXPECT_DOUBLE_EQ(high[0], 0.32);
    EXPECT_EQ(lanes["A1"].lo, lanes["A2"].lo); // one circuit, one unit: one scale
    EXPECT_EQ(lanes["A1"].hi, lanes["A2"].hi);
    EXPECT_NE(svg.find(">-200 kV<"), std::string::npos); // round ticks with an SI prefix
    EXPECT_EQ(svg.find("e+0"), std::string::npos);
    // The status channel that never changes is listed, not drawn.
    EXPECT_EQ(svg.find("id=\"lane-D2\""), std::string::npos);
    EXPECT_NE(svg.find("at 0 throughout (1, not drawn; --all-status draws them): D2 SPARE"), std::string::npos);

    ASSERT_EQ(run(kPlot, {dir.file("long.cfg"), "-o", dir.file("each.svg"), "--scale", "each"}).code, 0);
    lanes = analogLanes(KivTest::readFile(dir.file("each.svg")));
    EXPECT_NE(lanes["A1"].hi, lanes["A2"].hi);
}

// RFC 4180 rows: quoted fields may hold commas, doubled quotes and line ends.
std::vector<std::vector<std::string>> parseCsv(const std::string& text)
{
    std::vector<std::vector<std::string>> rows(1);
    std::string field;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"')
                field += text[++i];
            else if (c == '"')
                quoted = false;
            else
                field += c;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            rows.back().push_back(field);
            field.clear();
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            rows.back().push_back(field);
            field.clear();
            rows.emplace_back();
            ++i;
        } else {
            field += c;
        }
    }
    rows.pop_back(); // after the last CR LF
    return rows;
}

// Every value of every recording comes back from CSV and JSON exactly as the
// library gives it, missing ones as empty fields and nulls.
TEST(ComtradeExport, CsvAndJsonGiveBackTheLibrarysValues)
{
    const KivTest::TempDir dir("export");
    std::vector<std::string> paths = recordings();
    const std::string shared = KivTest::sharedSamplesDir();
    if (!shared.empty()) { // a data file with missing-value markers, under its configuration's name
        std::filesystem::copy_file(shared + "/python-comtrade/sample_ascii.cfg", dir.file("missing.cfg"));
        std::filesystem::copy_file(shared + "/python-comtrade/sample_ascii_missing.dat", dir.file("missing.dat"));
        paths.push_back(dir.file("missing.cfg"));
    }
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        Comtrade rec;
        if (rec.load(path) != 0)
            continue;
        const std::size_t na = rec.analogChannels.size(), nd = rec.binaryChannels.size();
        ASSERT_EQ(run(kExport, {path, "-o", dir.file("out.csv")}).code, 0);
        ASSERT_EQ(run(kExport, {path, "--json", "-o", dir.file("out.json")}).code, 0);
        const auto rows = parseCsv(KivTest::readFile(dir.file("out.csv")));
        const auto json = nlohmann::json::parse(KivTest::readFile(dir.file("out.json")));
        const auto& columns = json.at("columns");
        ASSERT_EQ(rows.size(), rec.dat.samples.size() + 1);
        ASSERT_EQ(rows[0].size(), 1 + na + nd);
        ASSERT_EQ(columns.size(), 1 + na + nd);
        if (na > 0 && validUtf8(rec.analogChannels[0].config.channelId)) {
            EXPECT_EQ(columns[1].at("name"), trim(rec.analogChannels[0].config.channelId));
        }
        std::size_t missing = 0;
        const double zero = axisZero(rec);
        for (std::size_t k = 0; k < rec.dat.samples.size(); ++k) {
            const Sample& s = rec.dat.samples[k];
            const auto& row = rows[k + 1];
            ASSERT_EQ(row.size(), 1 + na + nd) << "row " << k;
            ASSERT_EQ(std::strtod(row[0].c_str(), nullptr), s.time - zero) << "row " << k;
            ASSERT_EQ(columns[0]["values"][k].get<double>(), s.time - zero);
            for (std::size_t c = 0; c < na; ++c) {
                const double v = s.analogValues[c];
                const auto& j = columns[1 + c]["values"][k];
                if (std::isnan(v)) {
                    ++missing;
                    ASSERT_EQ(row[1 + c], "") << "row " << k << " channel " << c;
                    ASSERT_TRUE(j.is_null());
                } else {
                    ASSERT_EQ(std::strtod(row[1 + c].c_str(), nullptr), v) << "row " << k << " channel " << c;
                    ASSERT_EQ(j.get<double>(), v);
                }
            }
            for (std::size_t c = 0; c < nd; ++c) {
                ASSERT_EQ(row[1 + na + c], s.binaryValues[c] ? "1" : "0");
                ASSERT_EQ(columns[1 + na + c]["values"][k].get<int>(), s.binaryValues[c] ? 1 : 0);
            }
        }
        EXPECT_EQ(missing, rec.report.missingValues);
    }
    // A window and a choice of channels: 49.6 ms at 2000 Hz hold 99 samples.
    const ToolRun window = run(kExport, {kBundled, "--channels", "IA,Trip", "--from", "0.1002", "--to", "0.1498"});
    ASSERT_EQ(window.code, 0) << window.err;
    const auto rows = parseCsv(window.out);
    ASSERT_EQ(rows.size(), 100u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"time [s]", "IA [A]", "Trip"}));
}

} // namespace
