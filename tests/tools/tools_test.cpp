// The host tools run as a user runs them, on generated, bundled and broken
// recordings; their numbers are checked against the library's.
#include "PlotSvg.h"
#include "TextFormat.h"
#include "writer/ComtradeWriter.h"

#include <KivComtradeLib/KivComtradeLib.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>

namespace {

using namespace KivComtradeLib;
using KivTest::TempDir;
using KivComtradeLib::ValueSide;
const std::string kInfo = KIVCOMTRADE_INFO_TOOL, kPlot = KIVCOMTRADE_PLOT_TOOL, kExport = KIVCOMTRADE_EXPORT_TOOL,
                  kConvert = KIVCOMTRADE_CONVERT_TOOL;
const std::string kBundled = std::string(KIVCOMTRADE_SOURCE_DIR) + "/samples/fault-slg-binary.cfg";

struct ToolRun {
    int code;
    std::string out, err;
};

ToolRun run(const std::string& program, const std::vector<std::string>& args)
{
    static const TempDir scratch("tool-output");
    std::string command = "'" + program + "'";
    for (const std::string& arg : args)
        command += " '" + arg + "'";
    const int status = std::system((command + " >" + scratch.file("out") + " 2>" + scratch.file("err")).c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, KivTest::readFile(scratch.file("out")),
            KivTest::readFile(scratch.file("err"))};
}

TEST(ComtradeTools, FailuresExitWithTheLoadCodeAndTheReportsSentence)
{
    const TempDir dir("tool-failures");
    KivTest::RecordingLayout layout;
    layout.analogs.resize(2);
    layout.statuses.resize(1);
    layout.type = Enums::Binary;
    const KivTest::Recording binary = KivTest::makeRecording(layout, 20);
    ASSERT_TRUE(KivTest::writeRecording(binary, dir.file("short")));
    ASSERT_TRUE(KivTest::writeFile(dir.file("short.dat"), KivTest::datBytes(binary).substr(0, 5)));
    ASSERT_TRUE(KivTest::writeFile(dir.file("nodata.cfg"), KivTest::cfgText(layout, 20)));
    ASSERT_TRUE(KivTest::writeFile(dir.file("badcounts.cfg"), "ST,DEV,1999\n0,0A,0D\n"));
    const std::pair<const char*, int> cases[] = {
        {"notes.txt", 1}, {"absent.cfg", 2}, {"badcounts.cfg", 3}, {"nodata.cfg", 5}, {"short.cfg", 6}};
    for (const auto& [name, code] : cases)
        for (const std::string& tool : {kInfo, kPlot, kExport, kConvert}) {
            SCOPED_TRACE(tool + " " + name);
            Comtrade rec;
            ASSERT_EQ(rec.load(dir.file(name)), code);
            const ToolRun r = run(tool, tool == kInfo      ? std::vector<std::string>{dir.file(name)}
                                        : tool == kConvert ? std::vector<std::string>{dir.file(name), dir.file("x.cfg")}
                                                           : std::vector<std::string>{dir.file(name), "-o", dir.file("x")});
            EXPECT_EQ(r.code, code) << r.err;
            // Without its data a configuration is still shown whole, channels included.
            if (tool == kInfo && code >= 5)
                EXPECT_TRUE(r.out.find("Station ") != std::string::npos && r.out.find("Status channels: 1") != std::string::npos &&
                            r.out.find("20 announced, none read") != std::string::npos) << r.out;
            else
                EXPECT_EQ(r.out, "");
            ASSERT_FALSE(rec.report.message.empty());
            EXPECT_NE(r.err.find(rec.report.message), std::string::npos) << r.err;
        }
    // Mistakes on the command line exit 64, an output that cannot be made 73;
    // the bundled recording runs from -0.06 to 0.1895 s around its trigger.
    const std::string out = dir.file("out.cfg");
    const struct Refusal {
        std::string tool;
        std::vector<std::string> args;
        const char* said = ""; // in the sentence; "": any
        int code = 64;
    } refused[] = {
        {kInfo, {"--bogus"}}, {kInfo, {kBundled, kBundled}}, {kPlot, {"--from"}},
        {kPlot, {kBundled, "--from", "abc"}}, {kPlot, {kBundled, "--from", "0.1", "--to", "0.1"}},
        {kPlot, {kBundled, "--from", "0.2", "--to", "0.1"}}, {kPlot, {kBundled, "--from", "0.19"}},
        {kPlot, {kBundled, "--to", "-0.061"}}, {kPlot, {kBundled, "--channels", " , "}},
        {kPlot, {kBundled, "--channels", "7"}}, {kPlot, {kBundled, "--channels", "D3"}},
        {kPlot, {kBundled, "--channels", "UA,nosuch"}}, {kPlot, {kBundled, "--scale", "sometimes"}},
        {kExport, {kBundled, "--from", "0.19"}}, {kExport, {kBundled, "--channels", ""}},
        {kPlot, {kBundled, "-o", dir.file("x.png")}}, {kPlot, {kBundled, "-o", dir.file("x.SVG.html")}},
        {kExport, {kBundled, "--side", "tertiary"}}, {kInfo, {kBundled, "--at", "5"}, "outside the recording"},
        {kInfo, {kBundled, "--at", "0.01", "--reference", "Trip"}, "one analog channel"},
        {kInfo, {kBundled, "--at", "0.01", "--reference", "XYZ"}, "no channel"},
        {kInfo, {kBundled, "--reference", "UA"}, "requires --at"},
        {kConvert, {kBundled}}, {kConvert, {kBundled, out, "--type", "int16"}}, {kConvert, {kBundled, out, "--revision", "1991"}},
        {kConvert, {kBundled, out, "--side", "left"}}, {kConvert, {kBundled, out, "--channels", "nosuch"}},
        {kConvert, {kBundled, out, "--from", "0.19"}}, {kConvert, {kBundled, dir.file("out.txt")}},
        {kConvert, {kBundled, "/nonexistent-folder/x.cfg"}, "cannot write /nonexistent-folder/x.", 73},
        {kPlot, {kBundled, "-o", "/nonexistent-folder/x.svg"}, "cannot write /nonexistent-folder/x.svg", 73}};
    for (const Refusal& c : refused) {
        const ToolRun r = run(c.tool, c.args);
        EXPECT_EQ(r.code, c.code) << c.tool << " " << c.args.back();
        EXPECT_TRUE(!r.err.empty() && r.err.find(c.said) != std::string::npos) << c.tool << " " << c.args.back() << ": " << r.err;
        EXPECT_EQ(r.out, "") << c.tool << " " << c.args.back();
    }
    // No output of a failure is left, not even a temporary one.
    std::set<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        left.insert(entry.path().filename().string());
    EXPECT_EQ(left, (std::set<std::string>{"badcounts.cfg", "nodata.cfg", "short.cfg", "short.dat"}));
    for (const std::string& tool : {kInfo, kPlot, kExport, kConvert}) {
        const ToolRun version = run(tool, {"--version"});
        EXPECT_EQ(version.code, 0);
        EXPECT_EQ(version.out, tool.substr(tool.rfind('/') + 1) + " " KIVCOMTRADE_VERSION_STRING " (KivComtradeLib)\n");
    }
}

// An output file is whole or absent: a write that fails (the file-size
// limit stands in for a full disk; SIGXFSZ ignored so that the write fails
// with EFBIG) exits 73 and leaves the earlier file and no temporary one.
// Standard output that cannot be written (/dev/full) exits 74.
TEST(ComtradeTools, OutputsAreWholeOrAbsent)
{
    const TempDir dir("outputs");
    const std::string out = dir.file("out"), err = dir.file("err");
    const struct { std::string tool, args, shell; int code; } cases[] = {
        {kExport, "-o '" + dir.file("old.csv") + "'", "trap '' XFSZ; ulimit -f 1;", 73},
        {kPlot, "-o '" + dir.file("old.svg") + "'", "trap '' XFSZ; ulimit -f 1;", 73},
        {kExport, "-o '" + dir.file("no/such/folder.csv") + "'", "", 73},
        {kInfo, ">/dev/full", "", 74},
        {kInfo, "--json >/dev/full", "", 74},
        {kExport, ">/dev/full", "", 74},
        {kPlot, "-o '" + dir.file("plot.svg") + "' >/dev/full", "", 74},
        {kExport, "--help >/dev/full", "", 74},
        {kConvert, "'" + dir.file("conv.cfg") + "' >/dev/full", "", 74},
        {kExport, "-o '" + dir.file("new.csv") + "' >'" + out + "'", "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tool + " " + c.args);
        for (const char* old : {"old.csv", "old.svg"})
            ASSERT_TRUE(KivTest::writeFile(dir.file(old), "earlier output\n"));
        const std::string command = c.shell + " exec '" + c.tool + "' '" + kBundled + "' " + c.args;
        const int status = std::system(("sh -c \"" + command + "\" 2>'" + err + "'").c_str());
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, c.code) << KivTest::readFile(err);
        EXPECT_EQ(KivTest::readFile(err).find("cannot write") != std::string::npos, c.code != 0) << KivTest::readFile(err);
        for (const char* old : {"old.csv", "old.svg"})
            EXPECT_EQ(KivTest::readFile(dir.file(old)), "earlier output\n");
        for (const auto& entry : std::filesystem::directory_iterator(dir.file("")))
            EXPECT_NE(entry.path().filename().string()[0], '.') << "temporary file left: " << entry.path();
    }
    // The file renamed into place is complete and has the mode a new file gets.
    const std::string csv = KivTest::readFile(dir.file("new.csv"));
    EXPECT_TRUE(csv.size() > 10000 && csv.compare(csv.size() - 2, 2, "\r\n") == 0) << csv.size();
    struct stat made {}, plain {};
    ASSERT_TRUE(::stat(dir.file("new.csv").c_str(), &made) == 0 && ::stat(dir.file("old.csv").c_str(), &plain) == 0);
    EXPECT_EQ(made.st_mode & 0777, plain.st_mode & 0777);
}

// One analog lane as drawn: its scale (value lo at y0, hi at y1), stroke and
// the extreme y of its points.
struct DrawnLane {
    double lo = 0, hi = 0, y0 = 0, y1 = 0, top = 1e300, bottom = -1e300;
    std::string stroke;
    double yOf(double v) const { return y0 + (v - lo) / (hi - lo) * (y1 - y0); }
};

std::map<std::string, DrawnLane> analogLanes(const std::string& svg)
{
    std::map<std::string, DrawnLane> lanes;
    const auto attribute = [&](const char* name, std::size_t at) {
        const std::size_t from = svg.find(std::string(name) + "=\"", at) + std::strlen(name) + 2;
        return svg.substr(from, svg.find('"', from) - from);
    };
    for (std::size_t at = svg.find("<g class=\"lane analog\""); at != std::string::npos;
         at = svg.find("<g class=\"lane analog\"", at + 1)) {
        DrawnLane& lane = lanes[attribute("data-channel", at)];
        std::istringstream(attribute("data-scale", at)) >> lane.lo >> lane.hi >> lane.y0 >> lane.y1;
        for (std::size_t p = svg.find("<polyline", at); p < svg.find("</g>", at); p = svg.find("<polyline", p + 1)) {
            lane.stroke = attribute("stroke", p);
            std::istringstream points(attribute("points", p));
            double x, y;
            char comma;
            while (points >> x >> comma >> y) {
                lane.top = std::min(lane.top, y);
                lane.bottom = std::max(lane.bottom, y);
            }
        }
    }
    return lanes;
}

// A million records: a +-0.2 A sine with one 0.32 A sample, a +-0.1 A sine of
// the same circuit and a voltage. The drawn extremes are the true ones, the
// currents share a scale (the voltage of their circuit does not) unless --scale each, colours follow the phase.
TEST(ComtradePlot, EnvelopeKeepsEveryPeakOfAMillionRecords)
{
    const TempDir dir("envelope");
    KivTest::RecordingLayout design;
    design.type = Enums::Binary;
    design.rates = {KivTest::RateLayout{10000.0, 1000000}};
    design.analogs = {{"IA", "A", "L1", "A", 1e-5}, {"IB", "B", "L1", "A", 1e-5}, {"UA", "A", "L1", "kV", 0.01}};
    design.statuses.resize(1);
    const double low[3] = {-0.2, -0.1, -183.7}, high[3] = {0.32, 0.1, 183.7}; // raw 20000, 10000, 18370 counts
    ASSERT_TRUE(KivTest::writeGenerated(design, 1000000, [](unsigned long long k, KivTest::Record& r) {
        const double phase = double(k % 200) / 200.0 * 2 * M_PI; // 50 Hz at 10 kHz: 200 samples a cycle
        r.raw = {k == 654321 ? 32000.0 : std::round(20000 * std::sin(phase)), std::round(10000 * std::sin(phase)),
                 std::round(18370 * std::sin(phase))};
        r.timeStamp = std::uint32_t(k * 100);
    }, dir.file("long")));
    ASSERT_EQ(run(kPlot, {dir.file("long.cfg"), "-o", dir.file("long.svg")}).code, 0);
    auto lanes = analogLanes(KivTest::readFile(dir.file("long.svg")));
    ASSERT_EQ(lanes.size(), 3u);
    const char* const strokes[3] = {"#b8860b", "#2e7d32", "#b8860b"};
    for (std::size_t c = 0; c < 3; ++c) {
        const DrawnLane& lane = lanes["A" + std::to_string(c + 1)];
        EXPECT_NEAR(lane.top, lane.yOf(c == 2 ? high[c] * 1e3 : high[c]), 0.006) << c; // two decimals
        EXPECT_NEAR(lane.bottom, lane.yOf(c == 2 ? low[c] * 1e3 : low[c]), 0.006) << c;
        EXPECT_EQ(lane.stroke, strokes[c]) << c;
    }
    EXPECT_EQ(lanes["A1"].lo, lanes["A2"].lo); // one circuit, one unit: one scale
    EXPECT_EQ(lanes["A1"].hi, lanes["A2"].hi);
    EXPECT_NE(lanes["A1"].hi, lanes["A3"].hi); // another unit: another scale
    ASSERT_EQ(run(kPlot, {dir.file("long.cfg"), "-o", dir.file("each.svg"), "--scale", "each"}).code, 0);
    lanes = analogLanes(KivTest::readFile(dir.file("each.svg")));
    EXPECT_NE(lanes["A1"].hi, lanes["A2"].hi);
}

// Every value comes back from CSV and JSON exactly as the library gives it,
// missing ones as empty fields and nulls.
TEST(ComtradeExport, CsvAndJsonGiveBackTheLibrarysValues)
{
    const TempDir dir("export");
    KivTest::RecordingLayout layout;
    layout.type = Enums::Binary;
    layout.analogs.resize(2);
    layout.statuses.resize(1);
    KivTest::Recording generated = KivTest::makeRecording(layout, 30);
    generated.records[7].raw[1] = -32768.0; // 16-bit data's missing-value marker
    ASSERT_TRUE(KivTest::writeRecording(generated, dir.file("gen")));
    std::vector<std::string> paths = {dir.file("gen.cfg"), kBundled};
    if (const std::string shared = KivTest::sharedSamplesDir(); !shared.empty())
        for (const auto& entry : std::filesystem::recursive_directory_iterator(shared))
            if (entry.path().extension() == ".cfg")
                paths.push_back(entry.path().string());
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        Comtrade rec;
        if (rec.load(path) != 0)
            continue;
        ASSERT_EQ(run(kExport, {path, "-o", dir.file("out.csv")}).code, 0);
        ASSERT_EQ(run(kExport, {path, "--json", "-o", dir.file("out.json")}).code, 0);
        std::istringstream csv(KivTest::readFile(dir.file("out.csv")));
        const auto json = nlohmann::json::parse(KivTest::readFile(dir.file("out.json"))).at("columns");
        const std::size_t na = rec.analogChannels.size(), nd = rec.binaryChannels.size();
        ASSERT_EQ(json.size(), 1 + na + nd);
        const double zero = rec.dat.samples.front().time + (std::isfinite(rec.cfg.triggerOffset) ? rec.cfg.triggerOffset : 0.0);
        std::string line;
        std::getline(csv, line); // header
        std::size_t k = 0, missing = 0;
        for (; std::getline(csv, line); ++k) {
            ASSERT_LT(k, rec.dat.samples.size());
            const Sample& s = rec.dat.samples[k];
            std::vector<std::string> row;
            std::istringstream fields(line.substr(0, line.size() - 1) + ","); // CR LF
            for (std::string field; std::getline(fields, field, ',');)
                row.push_back(field);
            ASSERT_EQ(row.size(), 1 + na + nd) << line;
            const double t = std::round((s.time - zero) * 1e9) / 1e9; // to the nanosecond
            ASSERT_EQ(std::stod(row[0]), t) << k;
            ASSERT_EQ(json[0]["values"][k].get<double>(), t) << k;
            for (std::size_t c = 0; c < na + nd; ++c) {
                const double v = c < na ? s.analogValues[c] : double(s.binaryValues[c - na]);
                const auto& j = json[1 + c]["values"][k];
                missing += std::isnan(v);
                if (std::isnan(v))
                    ASSERT_TRUE(row[1 + c].empty() && j.is_null()) << k << " " << c;
                else
                    ASSERT_TRUE(std::stod(row[1 + c]) == v && j.get<double>() == v) << k << " " << c << " " << row[1 + c];
            }
        }
        EXPECT_EQ(k, rec.dat.samples.size());
        EXPECT_EQ(missing, path == paths[0] ? 1u : rec.report.missingValues);
    }
    // A window and a choice of channels: 49.6 ms at 2000 Hz hold 99 samples.
    const ToolRun window = run(kExport, {kBundled, "--channels", "IA,Trip", "--from", "0.1002", "--to", "0.1498"});
    EXPECT_EQ(window.out.substr(0, window.out.find('\n')), "time [s],IA [A] (secondary),Trip\r");
    EXPECT_EQ(std::count(window.out.begin(), window.out.end(), '\n'), 100);
}

// A 200:1 current channel flagged P and a voltage flagged S: each side gives
// the library's values under the same option, and says so in the headers.
TEST(ComtradeExport, ValuesOnTheSideAskedForAndABomOnRequest)
{
    const TempDir dir("sides");
    KivTest::RecordingLayout layout;
    layout.type = Enums::Binary;
    layout.analogs = {{"IA", "A", "", "A", 0.5, 0.25, 0, -32767, 32767, 200, 1, 'P'},
                      {"UA", "A", "", "kV", 0.01, 0, 0, -32767, 32767, 1100, 1, 'S'}};
    layout.statuses.resize(1);
    ASSERT_TRUE(KivTest::writeRecording(KivTest::makeRecording(layout, 5), dir.file("ratio"))); // trigger 0.1 s in
    for (const auto& [side, value] : std::vector<std::pair<std::string, ValueSide>>{
             {"primary", ValueSide::Primary}, {"secondary", ValueSide::Secondary}, {"recorded", ValueSide::Recorded}}) {
        LoadOptions options;
        options.side = value;
        Comtrade rec;
        ASSERT_EQ(rec.load(dir.file("ratio.cfg"), options), 0);
        const ToolRun r = run(kExport, {dir.file("ratio.cfg"), "--side", side, "--bom"});
        const std::vector<double>& v = rec.dat.samples[0].analogValues;
        EXPECT_EQ(r.out.substr(0, r.out.find('\n', r.out.find('\n') + 1)),
                  "\xEF\xBB\xBFtime [s],IA [A] (" + side + "),UA [V] (" + side + "),D\r\n-0.1," +
                      KivTools::exactNumber(v[0]) + "," + KivTools::exactNumber(v[1]) + ",0\r") << r.err;
        EXPECT_NE(run(kInfo, {dir.file("ratio.cfg"), "--side", side}).out.find("Values          " + side + " side"),
                  std::string::npos);
    }
    EXPECT_EQ(run(kExport, {dir.file("ratio.cfg")}).out.substr(0, 4), "time"); // no BOM unless asked
}

// No text of the picture touches another, whatever the window (one that
// starts before the trigger puts a negative label at the axis' start) and
// whatever the names (Chinese ones are a whole em wide each).
TEST(ComtradePlot, NoTextOverlapsAnother)
{
    std::vector<std::string> paths = {kBundled};
    if (const std::string shared = KivTest::sharedSamplesDir(); !shared.empty())
        paths.push_back(shared + "/gb-1991/ascii_1991.cfg");
    for (const std::string& path : paths) {
        ColumnarRecording rec;
        ASSERT_EQ(rec.load(path), 0);
        const double origin = rec.triggerTime();
        for (const auto& [from, to] : std::vector<std::pair<double, double>>{
                 {rec.time.front() - origin, rec.time.back() - origin}, {-0.01, 0.09}, {-0.0123, 0.0}, {-3e-4, 1e-3}}) {
            const KivTools::PlotRequest request{path, KivTools::selectChannels(rec.cfg, "", false), {from, to}, origin, true};
            std::vector<KivTools::TextBox> boxes;
            KivTools::renderSvg(rec, request, &boxes);
            ASSERT_GT(boxes.size(), 10u);
            for (std::size_t i = 0; i < boxes.size(); ++i) {
                const auto& a = boxes[i];
                EXPECT_TRUE(a.left >= 0 && a.right <= KivTools::PlotGeometry::width) << a.text;
                for (const auto& b : std::vector<KivTools::TextBox>(boxes.begin() + i + 1, boxes.end()))
                    EXPECT_FALSE(a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom)
                        << path << " " << from << ".." << to << ": '" << a.text << "' and '" << b.text << "'";
            }
        }
    }
}

// A channel that holds one value in four (the rest missing markers) draws
// each of them as a dot: its lane is not empty.
TEST(ComtradePlot, AValueBetweenMissingOnesIsADot)
{
    const TempDir dir("dots");
    KivTest::RecordingLayout layout;
    layout.type = Enums::Binary;
    layout.analogs.resize(1);
    KivTest::Recording sparse = KivTest::makeRecording(layout, 2000);
    for (std::size_t k = 0; k < sparse.records.size(); ++k)
        sparse.records[k].raw[0] = k % 4 ? -32768.0 : sparse.records[k].raw[0]; // missing but one in four
    ASSERT_TRUE(KivTest::writeRecording(sparse, dir.file("sparse")));
    ASSERT_EQ(run(kPlot, {dir.file("sparse.cfg"), "-o", dir.file("sparse.svg")}).code, 0);
    std::istringstream svg(KivTest::readFile(dir.file("sparse.svg")));
    EXPECT_EQ(std::count_if(std::istream_iterator<std::string>(svg), {}, [](const std::string& w) { return w == "class=\"dot\""; }), 500);
}


// The bundled recording: a phase-A-to-ground fault at 0 s (the trigger) of
// 8 A lagging 80 degrees, on a 0.5 A load lagging 25 degrees; phase A's
// voltage sags to 30 %, B and C swell to 106 %; cleared at 0.065 s.
TEST(ComtradeInfo, AtShowsTheFaultedPhaseAndItsSequenceCurrents)
{
    const auto at = [](const std::string& t, std::vector<std::string> more = {}) {
        std::vector<std::string> args = {kBundled, "--json", "--at", t};
        args.insert(args.end(), more.begin(), more.end());
        const ToolRun r = run(kInfo, args);
        EXPECT_EQ(r.code, 0) << r.err;
        return nlohmann::json::parse(r.out).at("at");
    };
    const auto current = [](const nlohmann::json& m, const char* component) {
        return m["phaseGroups"][1][component]["magnitude"].get<double>();
    };
    const nlohmann::json before = at("-0.01"), during = at("0.04");
    EXPECT_EQ(during["reference"], "UA");
    ASSERT_EQ(during["phaseGroups"].size(), 2u);
    EXPECT_EQ(during["phaseGroups"][1]["channels"], nlohmann::json({4, 5, 6}));
    // Before: a balanced load, no zero or negative sequence beyond the
    // rounding of the stored values.
    EXPECT_NEAR(before["analogChannels"][3]["magnitude"].get<double>(), 0.5, 1e-3);
    EXPECT_NEAR(before["analogChannels"][3]["angle"].get<double>(), -25, 0.1);
    EXPECT_NEAR(current(before, "positive"), 0.5, 1e-3);
    EXPECT_LT(current(before, "zero"), 1e-3);
    EXPECT_LT(current(before, "negative"), 1e-3);
    // During: 0.5 at -25 + 8 at -80 is 8.30 A at -77.2 degrees against UA;
    // the fault's decaying offset (tau 35 ms) leaks through the one-cycle
    // filter, whose exact answer on the generator's continuous waveform over
    // (0.02, 0.04] is 8.4005 A at -73.017 degrees. Zero and negative sequence
    // are a third of the fault current.
    const auto& ia = during["analogChannels"][3];
    EXPECT_NEAR(ia["magnitude"].get<double>(), 8.4005, 0.005 * 8.4);
    EXPECT_NEAR(ia["angle"].get<double>(), -73.017, 0.1);
    EXPECT_GT(ia["rms"].get<double>(), ia["magnitude"].get<double>()); // the offset counts in RMS
    EXPECT_NEAR(during["analogChannels"][4]["magnitude"].get<double>(), 0.5, 1e-3);
    EXPECT_NEAR(current(during, "zero"), 8.0 / 3, 0.03 * 8 / 3);
    EXPECT_NEAR(current(during, "negative"), 8.0 / 3, 0.03 * 8 / 3);
    EXPECT_NEAR(during["analogChannels"][0]["magnitude"].get<double>(), 0.3 * 100 / std::sqrt(3.0), 0.01);
    EXPECT_NEAR(during["phaseGroups"][0]["zero"]["magnitude"].get<double>(), 0.76 * 100 / std::sqrt(3.0) / 3, 0.01);
    // Against IA, IA's angle is 0 and UA's the opposite of the one above.
    const nlohmann::json byCurrent = at("0.04", {"--reference", "IA"});
    EXPECT_NEAR(byCurrent["analogChannels"][3]["angle"].get<double>(), 0.0, 1e-9);
    EXPECT_NEAR(byCurrent["analogChannels"][0]["angle"].get<double>(), -ia["angle"].get<double>(), 1e-9);
    // The first cycle has no phasor: null, never a made-up number.
    EXPECT_TRUE(at("-0.055")["analogChannels"][0]["magnitude"].is_null());

    // comtrade-export --rms --phasors gives the same numbers at that row,
    // with angles against cos(w0 t) on the export's axis (UA = sin: -90).
    const ToolRun exported = run(kExport, {kBundled, "--json", "--channels", "UA,IA", "--rms", "--phasors"});
    ASSERT_EQ(exported.code, 0) << exported.err;
    const auto columns = nlohmann::json::parse(exported.out).at("columns");
    ASSERT_EQ(columns.size(), 9u);
    EXPECT_EQ(columns[6]["name"], "IA RMS");
    EXPECT_EQ(columns[8]["unit"], "deg");
    const auto& times = columns[0]["values"];
    const std::size_t row = static_cast<std::size_t>(
        std::find(times.begin(), times.end(), nlohmann::json(0.04)) - times.begin());
    ASSERT_LT(row, times.size());
    EXPECT_NEAR(columns[6]["values"][row].get<double>(), ia["rms"].get<double>(), 1e-9);
    EXPECT_NEAR(columns[7]["values"][row].get<double>(), ia["magnitude"].get<double>(), 1e-9);
    EXPECT_NEAR(columns[8]["values"][row].get<double>() - columns[4]["values"][row].get<double>(),
                ia["angle"].get<double>(), 1e-9);
    EXPECT_NEAR(columns[4]["values"][row - 100].get<double>(), -90.0, 0.05);
    for (std::size_t k = 0; k < times.size(); ++k)
        ASSERT_EQ(columns[3]["values"][k].is_null(), k < 40) << k; // the first cycle has none

    EXPECT_NE(run(kInfo, {kBundled, "--at", "0.04"}).out.find("Sequence components"), std::string::npos);
}

// A window and some channels of the bundled BINARY recording as ASCII 1999:
// the records of the window, their values bit for bit, times from the trigger.
TEST(ComtradeConvert, WindowAndChannelsReadBackBitForBit)
{
    const TempDir dir("convert");
    const ToolRun r = run(kConvert, {kBundled, dir.file("cut.cfg"), "--type", "ASCII", "--revision", "1999",
                                     "--channels", "IA,Trip,UA", "--from", "-0.01", "--to", "0.02"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("cut.dat"), std::string::npos) << r.out;
    Comtrade source, cut;
    ASSERT_EQ(source.load(kBundled), 0);
    ASSERT_EQ(cut.load(dir.file("cut.cfg")), 0) << cut.report.message;
    EXPECT_TRUE(cut.cfg.dataFileType == Enums::Ascii && cut.cfg.revYear == 1999);
    ASSERT_EQ(cut.cfg.analogChannels.size(), 2u);
    ASSERT_EQ(cut.cfg.binaryChannels.size(), 1u);
    EXPECT_EQ(cut.cfg.analogChannels[0].channelId, "IA");
    EXPECT_EQ(cut.cfg.analogChannels[1].channelId, "UA");
    const std::size_t ia = 3, ua = 0, trip = 0; // the bundled channels: UA UB UC IA IB IC, Trip and the breaker
    const double zero = source.cfg.triggerOffset;
    std::size_t k = 0;
    for (const Sample& s : source.dat.samples) {
        if (s.time - zero < -0.01 - 1e-9 || s.time - zero > 0.02 + 1e-9)
            continue;
        ASSERT_LT(k, cut.dat.samples.size());
        const Sample& c = cut.dat.samples[k++];
        ASSERT_NEAR(c.time - cut.cfg.triggerOffset, s.time - zero, 1e-9) << k;
        ASSERT_TRUE(c.analogValues[0] == s.analogValues[ia] && c.analogValues[1] == s.analogValues[ua] &&
                    c.binaryValues[0] == s.binaryValues[trip]) << k;
    }
    EXPECT_EQ(k, cut.dat.samples.size());
    EXPECT_GT(k, 50u);
}

} // namespace
