#include "PlotSvg.h"

#include "PlotStyle.h"
#include "TextFormat.h"

#include <KivComtradeLib/StringHelper.h>
#include <KivComtradeLib/ToUtf8.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <sstream>

namespace KivTools {

namespace {

using namespace KivComtradeLib;
using G = PlotGeometry;

constexpr double kHeaderHeight = 74.0;
constexpr double kAxisHeight = 24.0;  // a band of time labels between lanes
constexpr double kAnalogHeight = 90.0;
constexpr double kAnalogGap = 8.0;
constexpr double kStatusHeight = 13.0;
constexpr double kStatusGap = 1.0;
constexpr double kAxisEvery = 720.0;  // at most this much of lanes between two time axes
constexpr double kNameWidth = 140.0;  // analog names: x 8 to 148, value labels beyond
constexpr double kListFont = 10.0;

struct Lane {
    ChannelRef ref;
    std::string id;    // "A3", "D12"
    std::string name;  // trimmed identifier
    ColumnTrace trace;   // analog
    ColumnRaster raster; // status
    int scale = -1;    // analog: index into the scales
    double top = 0.0;
};

struct Page {
    std::vector<Lane> lanes;            // drawn
    std::vector<Lane> unchanged;        // status channels listed instead of drawn
    std::vector<Ticks> scales;
    std::vector<double> axes;           // top of every time-axis band but the last
    double lanesTop = 0.0, lanesBottom = 0.0, bottomAxis = 0.0, listTop = 0.0, height = 0.0;
    std::vector<std::string> listLines;
};

std::string xmlText(const std::string& text)
{
    std::string out;
    for (const char ch : toUtf8::repairUtf8(text)) {
        switch (ch) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default:
            // XML 1.0 admits no control characters but tab, CR and LF.
            out += static_cast<unsigned char>(ch) < 0x20 ? ' ' : ch;
        }
    }
    return out;
}

std::string num(double value)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.2f", value);
    return buffer;
}

std::string fileNameOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

double xOf(double t, const Window& w)
{
    return G::left + (t - w.from) / (w.to - w.from) * G::plotWidth;
}

std::vector<Lane> buildLanes(const ColumnarRecording& rec, const PlotRequest& request)
{
    std::vector<Lane> lanes;
    for (const ChannelRef& ref : request.channels) {
        Lane lane;
        lane.ref = ref;
        if (ref.analog) {
            lane.id = "A" + std::to_string(ref.position + 1);
            lane.name = channelName(rec.cfg.analogChannels[ref.position]);
            lane.trace = rec.analogColumn(ref.position)
                             .trace(request.window.from, request.window.to, G::columns, request.origin);
        } else {
            lane.id = "D" + std::to_string(ref.position + 1);
            lane.name = channelName(rec.cfg.binaryChannels[ref.position]);
            lane.raster = rec.statusColumn(ref.position)
                              .raster(request.window.from, request.window.to, G::columns, request.origin);
        }
        lanes.push_back(std::move(lane));
    }
    return lanes;
}

// Channels of one circuit component and unit share a scale, so that the
// phases of a feeder compare at a glance; a channel without a component (or
// every channel, with scaleEach) has its own.
std::vector<Ticks> assignScales(std::vector<Lane>& lanes, const Cfg& cfg, bool scaleEach)
{
    std::map<std::string, int> groups;
    std::vector<std::pair<double, double>> ranges;
    for (Lane& lane : lanes) {
        if (!lane.ref.analog)
            continue;
        const AnalogChannelConfig& config = cfg.analogChannels[lane.ref.position];
        const std::string component = KivComtradeLib::StringHelper::trim(config.circuitComponent);
        std::string key = component + '\n' + valueUnit(config);
        if (scaleEach || component.empty())
            key = lane.id;
        const auto found = groups.emplace(key, static_cast<int>(ranges.size()));
        if (found.second)
            ranges.emplace_back(lane.trace.low, lane.trace.high);
        lane.scale = found.first->second;
        auto& range = ranges[static_cast<std::size_t>(lane.scale)];
        if (!std::isnan(lane.trace.low)) {
            range.first = std::isnan(range.first) ? lane.trace.low : std::min(range.first, lane.trace.low);
            range.second = std::isnan(range.second) ? lane.trace.high : std::max(range.second, lane.trace.high);
        }
    }
    std::vector<Ticks> scales;
    for (const auto& range : ranges)
        scales.push_back(roundTicks(range.first, range.second, 4));
    return scales;
}

// "Unchanged at 0 (12): D3 name, D4 name, ..." per state, wrapped to the page.
std::vector<std::string> wrapList(const std::vector<Lane>& unchanged, const ColumnarRecording& rec)
{
    std::vector<std::string> lines;
    const double room = G::width - 16.0;
    for (const int state : {0, 1}) {
        std::vector<std::string> items;
        for (const Lane& lane : unchanged)
            if ((rec.statusRow(lane.ref.position)[0] ? 1 : 0) == state)
                items.push_back(lane.id + " " + lane.name);
        if (items.empty())
            continue;
        std::string line = "Status channels at " + std::to_string(state) + " throughout (" +
                           std::to_string(items.size()) + ", not drawn; --all-status draws them): ";
        for (std::size_t i = 0; i < items.size(); ++i) {
            const std::string item = items[i] + (i + 1 < items.size() ? ", " : "");
            if (textWidth(line + item, kListFont) > room) {
                lines.push_back(line);
                line.clear();
            }
            line += item;
        }
        lines.push_back(line);
    }
    return lines;
}

// Tops of lanes and time axes, down the page.
void layoutPage(Page& page)
{
    double y = kHeaderHeight + kAxisHeight;
    page.lanesTop = y;
    double sinceAxis = 0.0;
    for (std::size_t i = 0; i < page.lanes.size(); ++i) {
        Lane& lane = page.lanes[i];
        const double height = lane.ref.analog ? kAnalogHeight + kAnalogGap : kStatusHeight + kStatusGap;
        if (sinceAxis + height > kAxisEvery && i > 0) {
            page.axes.push_back(y);
            y += kAxisHeight;
            sinceAxis = 0.0;
        } else if (i > 0 && lane.ref.analog != page.lanes[i - 1].ref.analog) {
            y += kAnalogGap;
        }
        lane.top = y;
        y += height;
        sinceAxis += height;
    }
    page.lanesBottom = y;
    page.bottomAxis = y;
    page.listTop = y + kAxisHeight + 22.0;
    page.height = page.listTop + 14.0 * static_cast<double>(page.listLines.size()) + 10.0;
}

std::string timeOriginName(const Cfg& cfg)
{
    return hasTrigger(cfg) ? "from the trigger" : "from the first sample";
}

void writeHeader(std::ostream& svg, const ColumnarRecording& rec, const PlotRequest& request)
{
    const Cfg& cfg = rec.cfg;
    const TimeUnit unit = timeUnitFor(request.window.to - request.window.from);
    std::string title = shown(cfg.stationName);
    const std::string device = shown(cfg.recDevId);
    if (!device.empty())
        title += "  \xC2\xB7  " + device;
    const std::string times = "Start " + formatDateTime(cfg.start) + "    Trigger " + formatDateTime(cfg.trigger) +
                              "    File " + fileNameOf(request.path);
    const std::string window = "Time in " + std::string(unit.name) + " " + timeOriginName(cfg) + ": " +
                               formatNumber(request.window.from * unit.perSecond) + " to " +
                               formatNumber(request.window.to * unit.perSecond) + "; " +
                               std::to_string(rec.count) + " samples, line frequency " +
                               formatNumber(cfg.lineFrequency) + " Hz";
    svg << "<g class=\"header\">\n<text x=\"8\" y=\"22\" font-size=\"15\" font-weight=\"bold\">"
        << xmlText(fitText(title, G::width - 16.0, 15.0, true)) << "</text>\n"
        << "<text x=\"8\" y=\"42\" fill=\"#333\">" << xmlText(fitText(times, G::width - 16.0, 12.0))
        << "</text>\n<text x=\"8\" y=\"60\" fill=\"#555\">" << xmlText(fitText(window, G::width - 16.0, 12.0))
        << "</text>\n</g>\n";
}

// Time labels in a band whose top is `top`; the axis line at its lower edge
// (labels above the lanes) or upper edge (`below`).
void writeTimeAxis(std::ostream& svg, const Ticks& ticks, const Window& w, const TimeUnit& unit, double top,
                   bool below)
{
    const double lineY = below ? top : top + kAxisHeight - 2.0;
    const double textY = below ? top + 15.0 : top + kAxisHeight - 7.0;
    svg << "<g class=\"time-axis\" font-size=\"11\" fill=\"#333\">\n<line x1=\"" << G::left << "\" y1=\""
        << num(lineY) << "\" x2=\"" << G::left + G::plotWidth << "\" y2=\"" << num(lineY)
        << "\" stroke=\"#333\"/>\n";
    for (const double tick : ticks.values) {
        const double t = tick / unit.perSecond;
        if (t < w.from - 1e-12 * std::fabs(w.to) || t > w.to + 1e-12 * std::fabs(w.to))
            continue;
        svg << "<text x=\"" << num(xOf(t, w)) << "\" y=\"" << num(textY) << "\" text-anchor=\"middle\">"
            << tickNumber(tick, ticks.step) << "</text>\n";
    }
    svg << "<text x=\"" << G::left - 6 << "\" y=\"" << num(textY) << "\" text-anchor=\"end\">t, " << unit.name
        << "</text>\n</g>\n";
}

void writeGridAndTrigger(std::ostream& svg, const Page& page, const Ticks& ticks, const Window& w,
                         const TimeUnit& unit, bool trigger)
{
    svg << "<g class=\"grid\" stroke=\"#e3e3e3\">\n";
    for (const double tick : ticks.values) {
        const double t = tick / unit.perSecond;
        if (t >= w.from && t <= w.to)
            svg << "<line x1=\"" << num(xOf(t, w)) << "\" y1=\"" << num(page.lanesTop) << "\" x2=\""
                << num(xOf(t, w)) << "\" y2=\"" << num(page.lanesBottom) << "\"/>\n";
    }
    svg << "</g>\n";
    if (!trigger || w.from > 0.0 || w.to < 0.0)
        return;
    const double x = xOf(0.0, w);
    svg << "<g class=\"trigger\" stroke=\"#d32f2f\" fill=\"#d32f2f\">\n<line x1=\"" << num(x) << "\" y1=\""
        << num(page.lanesTop - 4.0) << "\" x2=\"" << num(x) << "\" y2=\"" << num(page.lanesBottom)
        << "\" stroke-dasharray=\"5 3\"/>\n<text x=\"" << num(x + 3.0) << "\" y=\"" << num(kHeaderHeight + 8.0)
        << "\" stroke=\"none\" font-size=\"11\">trigger</text>\n</g>\n";
}

void writePolylines(std::ostream& svg, const ColumnTrace& trace, const std::string& colour,
                    const std::function<double(double)>& yOf)
{
    for (const auto& run : trace.runs) {
        svg << "<polyline class=\"trace\" fill=\"none\" stroke=\"" << colour
            << "\" stroke-width=\"1.2\" stroke-linejoin=\"round\" points=\"";
        for (std::size_t i = 0; i < run.size(); ++i)
            svg << (i ? " " : "") << num(G::left + run[i].x) << ',' << num(yOf(run[i].value));
        svg << "\"/>\n";
    }
}

void writeAnalogLane(std::ostream& svg, const Lane& lane, const Ticks& scale, const AnalogChannelConfig& config)
{
    const double top = lane.top + 4.0;
    const double bottom = lane.top + kAnalogHeight - 4.0;
    const auto yOf = [&](double v) { return bottom - (v - scale.low()) / (scale.high() - scale.low()) * (bottom - top); };
    const std::string unit = valueUnit(config);
    const double magnitude = std::max(std::fabs(scale.low()), std::fabs(scale.high()));
    svg << "<g class=\"lane analog\" id=\"lane-" << lane.id << "\" data-channel=\"" << lane.id
        << "\" data-scale=\"" << exactNumber(scale.low()) << ' ' << exactNumber(scale.high()) << ' '
        << exactNumber(bottom) << ' ' << exactNumber(top) << "\">\n<title>" << lane.id << ' ' << xmlText(lane.name)
        << "</title>\n<rect x=\"" << G::left << "\" y=\"" << num(lane.top) << "\" width=\"" << G::plotWidth
        << "\" height=\"" << kAnalogHeight << "\" fill=\"none\" stroke=\"#999\"/>\n";
    for (const double tick : scale.values) {
        const bool zero = std::fabs(tick) < scale.step * 1e-9;
        svg << "<line x1=\"" << G::left << "\" y1=\"" << num(yOf(tick)) << "\" x2=\"" << G::left + G::plotWidth
            << "\" y2=\"" << num(yOf(tick)) << "\" stroke=\"" << (zero ? "#aaa" : "#eee")
            << (zero ? "\" stroke-dasharray=\"4 3" : "") << "\"/>\n<text x=\"" << G::left - 5 << "\" y=\""
            << num(yOf(tick) + 3.5) << "\" text-anchor=\"end\" font-size=\"10\" fill=\"#555\">"
            << xmlText(siLabel(tick, scale.step, magnitude, unit)) << "</text>\n";
    }
    const std::string sub = phaseLabel(config) + (phaseLabel(config).empty() ? "" : "  ") + shown(config.circuitComponent);
    svg << "<text x=\"8\" y=\"" << num(lane.top + 16) << "\" font-weight=\"bold\">"
        << xmlText(fitText(lane.id + " " + lane.name, kNameWidth, 12.0, true)) << "</text>\n<text x=\"8\" y=\""
        << num(lane.top + 32) << "\" font-size=\"11\" fill=\"#555\">" << xmlText(fitText(sub, kNameWidth, 11.0))
        << "</text>\n";
    writePolylines(svg, lane.trace, channelColour(config), yOf);
    svg << "</g>\n";
}

void writeStatusRow(std::ostream& svg, const Lane& lane)
{
    const double top = lane.top;
    svg << "<g class=\"lane status\" id=\"lane-" << lane.id << "\" data-channel=\"" << lane.id << "\">\n<title>"
        << lane.id << ' ' << xmlText(lane.name) << "</title>\n<text x=\"8\" y=\"" << num(top + 10)
        << "\" font-size=\"10\">" << xmlText(fitText(lane.id + " " + lane.name, G::left - 14.0, 10.0))
        << "</text>\n<rect x=\"" << G::left << "\" y=\"" << num(top) << "\" width=\"" << G::plotWidth
        << "\" height=\"" << kStatusHeight << "\" fill=\"#f6f6f6\"/>\n";
    const std::vector<signed char>& cells = lane.raster.columns;
    for (std::size_t c = 0; c < cells.size();) {
        std::size_t end = c + 1;
        while (end < cells.size() && cells[end] == cells[c])
            ++end;
        // On: a full bar; on and off within a pixel column: a lighter one.
        if (cells[c] == 1 || cells[c] == 2)
            svg << "<rect class=\"on\" x=\"" << num(G::left + double(c)) << "\" y=\"" << num(top + 2) << "\" width=\""
                << end - c << "\" height=\"" << kStatusHeight - 4 << "\" fill=\"#37474f\""
                << (cells[c] == 2 ? " fill-opacity=\"0.45\"" : "") << "/>\n";
        c = end;
    }
    svg << "</g>\n";
}

void writeList(std::ostream& svg, const Page& page)
{
    for (std::size_t i = 0; i < page.listLines.size(); ++i)
        svg << "<text class=\"unchanged\" x=\"8\" y=\"" << num(page.listTop + 14.0 * double(i))
            << "\" font-size=\"" << kListFont << "\" fill=\"#444\">" << xmlText(page.listLines[i]) << "</text>\n";
}

Page planPage(const ColumnarRecording& rec, const PlotRequest& request)
{
    Page page;
    for (Lane& lane : buildLanes(rec, request)) {
        if (!lane.ref.analog && !lane.raster.changes && !request.allStatus)
            page.unchanged.push_back(std::move(lane));
        else
            page.lanes.push_back(std::move(lane));
    }
    page.scales = assignScales(page.lanes, rec.cfg, request.scaleEach);
    page.listLines = wrapList(page.unchanged, rec);
    layoutPage(page);
    return page;
}

} // namespace

std::string renderSvg(const ColumnarRecording& rec, const PlotRequest& request)
{
    const Page page = planPage(rec, request);
    const Window& w = request.window;
    const TimeUnit unit = timeUnitFor(w.to - w.from);
    const Ticks ticks = roundTicks(w.from * unit.perSecond, w.to * unit.perSecond, 10);
    std::ostringstream svg;
    svg << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\""
        << G::width << "\" height=\"" << num(page.height) << "\" viewBox=\"0 0 " << G::width << ' '
        << num(page.height) << "\" font-family=\"DejaVu Sans, Arial, sans-serif\" font-size=\"12\">\n<title>"
        << xmlText(shown(rec.cfg.stationName) + " - " + fileNameOf(request.path))
        << "</title>\n<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    writeHeader(svg, rec, request);
    writeGridAndTrigger(svg, page, ticks, w, unit, hasTrigger(rec.cfg));
    writeTimeAxis(svg, ticks, w, unit, kHeaderHeight, false);
    for (const double top : page.axes)
        writeTimeAxis(svg, ticks, w, unit, top, true);
    writeTimeAxis(svg, ticks, w, unit, page.bottomAxis, true);
    for (const Lane& lane : page.lanes) {
        if (lane.ref.analog)
            writeAnalogLane(svg, lane, page.scales[static_cast<std::size_t>(lane.scale)],
                            rec.cfg.analogChannels[lane.ref.position]);
        else
            writeStatusRow(svg, lane);
    }
    writeList(svg, page);
    svg << "</svg>\n";
    return svg.str();
}

} // namespace KivTools
