// comtrade-plot [PATH] [-o FILE.svg] [--channels LIST] [--from SECONDS] [--to SECONDS]
//
// Draws a COMTRADE recording as one standalone SVG picture: one lane per
// channel, analog channels as traces of the points that AnalogChannel::getPoints
// gives, status channels as step lines from BinaryChannel::getPoints, under a
// common time axis in milliseconds whose zero is the first sample.
//
//   PATH             .cfg, .dat or .cff file (default: the bundled recording)
//   -o FILE.svg      output file (default: <base name of PATH>.svg in the
//                    current folder); the path written is printed on stdout
//   --channels LIST  comma-separated channels, in the order to draw them:
//                      N or AN   analog channel number N (as in comtrade-info)
//                      DN        status channel number N
//                      anything else: a channel identifier, matched exactly,
//                      else without regard to ASCII letter case; analog
//                      channels are searched before status channels
//                    (default: every analog channel, then every status channel)
//   --from SECONDS   window start, seconds after the first sample (default 0)
//   --to SECONDS     window end, seconds after the first sample (default: the
//                    last sample)
//
// Exit status: 0 success; 1-6 the library's load result code; 64 bad command
// line (an unknown channel included); 66 no bundled recording; 73 the SVG
// cannot be written.

#include "ToolCommon.h"

#include <KivComtradeLib/KivComtradeLib.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace KivComtradeLib;

struct Options {
    std::string path;
    std::string output;
    std::string channels;
    bool haveFrom = false;
    bool haveTo = false;
    double from = 0.0;
    double to = 0.0;
    bool help = false;
};

struct UsageError {
    std::string message;
};

struct Lane {
    bool analog = true;
    std::size_t position = 0; // in Comtrade::analogChannels or ::binaryChannels
};

// Geometry of the picture, in SVG user units (pixels).
constexpr double kWidth = 1200.0;
constexpr double kLeft = 230.0;  // room for the channel labels
constexpr double kRight = 24.0;
constexpr double kTop = 56.0;    // room for the title
constexpr double kBottom = 56.0; // room for the time axis
constexpr double kAnalogHeight = 120.0;
constexpr double kStatusHeight = 44.0;
constexpr double kGap = 10.0;

void printUsage(std::ostream& out)
{
    out << "usage: comtrade-plot [PATH] [-o FILE.svg] [--channels LIST] [--from SECONDS] "
           "[--to SECONDS]\n"
           "  PATH             the .cfg, .dat or .cff file of a COMTRADE recording\n"
           "                   (default: the bundled sample recording)\n"
           "  -o FILE.svg      output file (default: <base name>.svg in the current folder)\n"
           "  --channels LIST  comma-separated: N or AN = analog channel N, DN = status\n"
           "                   channel N, else a channel identifier (exact, then any case)\n"
           "  --from SECONDS   window start after the first sample (default 0)\n"
           "  --to SECONDS     window end after the first sample (default: last sample)\n";
}

double parseSeconds(const std::string& option, const std::string& text)
{
    errno = 0;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || errno == ERANGE ||
        !std::isfinite(value))
        throw UsageError{option + " needs a number of seconds, not \"" + text + "\""};
    return value;
}

Options parseArguments(int argc, char** argv)
{
    Options options;
    auto value = [&](int& i, const std::string& option) -> std::string {
        if (i + 1 >= argc)
            throw UsageError{option + " needs a value"};
        return argv[++i];
    };
    bool pathGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            options.help = true;
        } else if (arg == "-o" || arg == "--output") {
            options.output = value(i, arg);
            if (options.output.empty())
                throw UsageError{arg + " needs a file name"};
        } else if (arg == "--channels") {
            options.channels = value(i, arg);
        } else if (arg == "--from") {
            options.from = parseSeconds(arg, value(i, arg));
            options.haveFrom = true;
        } else if (arg == "--to") {
            options.to = parseSeconds(arg, value(i, arg));
            options.haveTo = true;
        } else if (!arg.empty() && arg[0] == '-') {
            throw UsageError{"unknown option " + arg};
        } else if (!pathGiven) {
            options.path = arg;
            pathGiven = true;
        } else {
            throw UsageError{"more than one PATH given"};
        }
    }
    return options;
}

bool parseNumber(const std::string& text, std::size_t& number)
{
    if (text.empty() || text.size() > 9)
        return false;
    for (const char c : text)
        if (c < '0' || c > '9')
            return false;
    number = static_cast<std::size_t>(std::stoul(text));
    return number > 0;
}

std::vector<Lane> selectLanes(const Comtrade& recording, const std::string& list)
{
    std::vector<Lane> lanes;
    if (list.empty()) {
        for (std::size_t i = 0; i < recording.analogChannels.size(); ++i)
            lanes.push_back({true, i});
        for (std::size_t i = 0; i < recording.binaryChannels.size(); ++i)
            lanes.push_back({false, i});
        return lanes;
    }
    for (const std::string& item : StringHelper::split(list, ',')) {
        std::size_t number = 0;
        if (parseNumber(item, number) ||
            ((item[0] == 'A' || item[0] == 'a') && parseNumber(item.substr(1), number))) {
            if (number > recording.analogChannels.size())
                throw UsageError{"there is no analog channel " + std::to_string(number) +
                                 " (the recording has " +
                                 std::to_string(recording.analogChannels.size()) + ")"};
            lanes.push_back({true, number - 1});
            continue;
        }
        if ((item[0] == 'D' || item[0] == 'd') && parseNumber(item.substr(1), number)) {
            if (number > recording.binaryChannels.size())
                throw UsageError{"there is no status channel " + std::to_string(number) +
                                 " (the recording has " +
                                 std::to_string(recording.binaryChannels.size()) + ")"};
            lanes.push_back({false, number - 1});
            continue;
        }
        bool found = false;
        for (const bool anyCase : {false, true}) {
            const std::string wanted = anyCase ? StringHelper::toLower(item) : item;
            auto same = [&](const std::string& id) {
                return (anyCase ? StringHelper::toLower(id) : id) == wanted;
            };
            for (std::size_t i = 0; !found && i < recording.analogChannels.size(); ++i)
                if (same(recording.analogChannels[i].config.channelId)) {
                    lanes.push_back({true, i});
                    found = true;
                }
            for (std::size_t i = 0; !found && i < recording.binaryChannels.size(); ++i)
                if (same(recording.binaryChannels[i].config.channelId)) {
                    lanes.push_back({false, i});
                    found = true;
                }
            if (found)
                break;
        }
        if (!found)
            throw UsageError{"no channel is called \"" + item + "\""};
    }
    if (lanes.empty())
        throw UsageError{"--channels names no channel"};
    return lanes;
}

std::string xmlText(const std::string& bytes)
{
    const std::string text = KivTools::validUtf8(bytes);
    std::string out;
    for (const char ch : text) {
        switch (ch) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default:
            // XML 1.0 admits no control characters but tab, CR and LF.
            if (static_cast<unsigned char>(ch) < 0x20 && ch != '\t')
                out += ' ';
            else
                out += ch;
        }
    }
    return out;
}

std::string coordinate(double value)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.2f", value);
    return buffer;
}

// Step of the time grid: 1, 2, 2.5 or 5 times a power of ten, at most ten steps.
double gridStep(double span)
{
    const double raw = span / 10.0;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double factor : {1.0, 2.0, 2.5, 5.0})
        if (raw <= factor * power)
            return factor * power;
    return 10.0 * power;
}

std::string baseName(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const auto dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0)
        name.erase(dot);
    return name.empty() ? std::string("recording") : name;
}

std::string renderSvg(const Comtrade& recording, const std::string& path,
                      const std::vector<Lane>& lanes, double from, double to)
{
    const std::vector<Sample>& samples = recording.dat.samples;
    const double origin = samples.empty() ? 0.0 : samples.front().time;
    const double start = origin + from;
    const double end = origin + to;
    const double span = to - from;
    const double plotWidth = kWidth - kLeft - kRight;

    double lanesHeight = 0.0;
    for (const Lane& lane : lanes)
        lanesHeight += (lane.analog ? kAnalogHeight : kStatusHeight) + kGap;
    const double height = kTop + lanesHeight + kBottom;
    const double plotBottom = kTop + lanesHeight - kGap;

    auto xOf = [&](double time) { return kLeft + (time - start) / span * plotWidth; };

    // Enough points to follow every sample in the window (two per sample),
    // at least the library's default of about a thousand, at most 20000.
    std::size_t inWindow = 0;
    for (const Sample& sample : samples)
        if (sample.time >= start && sample.time <= end)
            ++inWindow;
    const double points = std::clamp(2.0 * static_cast<double>(inWindow), 1000.0, 20000.0);
    const double rate = points / span;

    std::ostringstream svg;
    svg << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << kWidth << "\" height=\""
        << coordinate(height) << "\" viewBox=\"0 0 " << kWidth << ' ' << coordinate(height)
        << "\" font-family=\"DejaVu Sans, Arial, sans-serif\" font-size=\"12\">\n";
    svg << "<title>" << xmlText(KivTools::displayText(recording.cfg.stationName)) << " - "
        << xmlText(path) << "</title>\n";
    svg << "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    svg << "<text x=\"" << kLeft << "\" y=\"22\" font-size=\"15\" font-weight=\"bold\">"
        << xmlText(KivTools::displayText(recording.cfg.stationName)) << "  "
        << xmlText(KivTools::displayText(recording.cfg.recDevId)) << "</text>\n";
    svg << "<text x=\"" << kLeft << "\" y=\"40\" fill=\"#555\">" << xmlText(path) << ", "
        << KivTools::formatNumber(from * 1000.0) << " to " << KivTools::formatNumber(to * 1000.0)
        << " ms after the first sample</text>\n";

    // Time grid and axis.
    const double spanMs = span * 1000.0;
    const double step = gridStep(spanMs);
    svg << "<g class=\"grid\" stroke=\"#ddd\" stroke-width=\"1\">\n";
    std::ostringstream labels;
    for (double tick = std::ceil(from * 1000.0 / step) * step; tick <= to * 1000.0 + step * 1e-9;
         tick += step) {
        const double x = xOf(origin + tick / 1000.0);
        svg << "<line x1=\"" << coordinate(x) << "\" y1=\"" << kTop << "\" x2=\""
            << coordinate(x) << "\" y2=\"" << coordinate(plotBottom) << "\"/>\n";
        labels << "<text x=\"" << coordinate(x) << "\" y=\"" << coordinate(plotBottom + 18)
               << "\" text-anchor=\"middle\">"
               << KivTools::formatNumber(std::fabs(tick) < step * 1e-9 ? 0.0 : tick)
               << "</text>\n";
    }
    svg << "</g>\n<g class=\"axis\">\n"
        << "<line x1=\"" << kLeft << "\" y1=\"" << coordinate(plotBottom) << "\" x2=\""
        << coordinate(kLeft + plotWidth) << "\" y2=\"" << coordinate(plotBottom)
        << "\" stroke=\"#333\"/>\n"
        << labels.str() << "<text x=\"" << coordinate(kLeft + plotWidth) << "\" y=\""
        << coordinate(plotBottom + 38) << "\" text-anchor=\"end\">t, ms</text>\n</g>\n";

    static const char* const colours[] = {"#c62828", "#2e7d32", "#1565c0",
                                          "#ef6c00", "#6a1b9a", "#00838f"};
    double top = kTop;
    std::size_t analogCount = 0;
    for (const Lane& lane : lanes) {
        const double laneHeight = lane.analog ? kAnalogHeight : kStatusHeight;
        const double bottom = top + laneHeight;
        std::string label;
        std::string unitLabel;
        std::vector<Kiv::PointF> series;
        std::string id;
        if (lane.analog) {
            const AnalogChannel& channel = recording.analogChannels[lane.position];
            const auto& config = static_cast<const AnalogChannelConfig&>(channel.config);
            series = channel.getPoints(start, end, rate);
            id = "A" + std::to_string(config.index + 1);
            label = std::to_string(config.index + 1) + " " + config.channelId;
            if (!config.phase.empty())
                label += " (" + config.phase + ")";
            unitLabel = KivTools::valueUnit(config);
        } else {
            const BinaryChannel& channel = recording.binaryChannels[lane.position];
            series = channel.getPoints(start, end, 0.0);
            id = "D" + std::to_string(channel.config.index + 1);
            label = "D" + std::to_string(channel.config.index + 1) + " " +
                    channel.config.channelId;
            unitLabel = "status";
        }

        svg << "<g class=\"lane\" id=\"lane-" << id << "\">\n";
        svg << "<rect x=\"" << kLeft << "\" y=\"" << coordinate(top) << "\" width=\""
            << coordinate(plotWidth) << "\" height=\"" << laneHeight
            << "\" fill=\"none\" stroke=\"#999\"/>\n";
        svg << "<text x=\"8\" y=\"" << coordinate(top + 16) << "\" font-weight=\"bold\">"
            << xmlText(KivTools::displayText(label)) << "</text>\n";
        svg << "<text x=\"8\" y=\"" << coordinate(top + 32) << "\" fill=\"#555\">["
            << xmlText(unitLabel) << "]</text>\n";

        std::string pointsText;
        if (lane.analog) {
            double low = 0.0;
            double high = 0.0;
            bool any = false;
            for (const Kiv::PointF& p : series) {
                if (!std::isfinite(p.y))
                    continue;
                low = any ? std::min(low, static_cast<double>(p.y)) : p.y;
                high = any ? std::max(high, static_cast<double>(p.y)) : p.y;
                any = true;
            }
            if (high - low <= 0.0) {
                const double pad = std::max(1.0, std::fabs(high) * 0.1);
                low -= pad;
                high += pad;
            }
            const double inner = laneHeight - 12.0;
            auto yOf = [&](double v) { return top + 6.0 + (high - v) / (high - low) * inner; };
            if (low < 0.0 && high > 0.0)
                svg << "<line class=\"zero\" x1=\"" << kLeft << "\" y1=\"" << coordinate(yOf(0))
                    << "\" x2=\"" << coordinate(kLeft + plotWidth) << "\" y2=\""
                    << coordinate(yOf(0)) << "\" stroke=\"#bbb\" stroke-dasharray=\"4 3\"/>\n";
            svg << "<text x=\"" << kLeft - 6 << "\" y=\"" << coordinate(top + 12)
                << "\" text-anchor=\"end\" fill=\"#555\">" << KivTools::formatNumber(high, 4)
                << "</text>\n";
            svg << "<text x=\"" << kLeft - 6 << "\" y=\"" << coordinate(bottom - 4)
                << "\" text-anchor=\"end\" fill=\"#555\">" << KivTools::formatNumber(low, 4)
                << "</text>\n";
            for (const Kiv::PointF& p : series) {
                if (!std::isfinite(p.y))
                    continue;
                pointsText += coordinate(xOf(p.x)) + "," + coordinate(yOf(p.y)) + " ";
            }
            svg << "<polyline class=\"trace\" data-channel=\"" << id << "\" fill=\"none\" stroke=\""
                << colours[analogCount++ % 6] << "\" stroke-width=\"1.2\" points=\"";
        } else {
            const double highY = top + 8.0;
            const double lowY = bottom - 8.0;
            auto yOf = [&](float v) { return v > 0.5f ? highY : lowY; };
            svg << "<text x=\"" << kLeft - 6 << "\" y=\"" << coordinate(highY + 4)
                << "\" text-anchor=\"end\" fill=\"#555\">1</text>\n"
                << "<text x=\"" << kLeft - 6 << "\" y=\"" << coordinate(lowY + 4)
                << "\" text-anchor=\"end\" fill=\"#555\">0</text>\n";
            for (std::size_t i = 0; i < series.size(); ++i) {
                // Each state holds until the next point: draw the riser there.
                if (i > 0)
                    pointsText += coordinate(xOf(series[i].x)) + "," +
                                  coordinate(yOf(series[i - 1].y)) + " ";
                pointsText += coordinate(xOf(series[i].x)) + "," + coordinate(yOf(series[i].y)) +
                              " ";
            }
            svg << "<polyline class=\"trace\" data-channel=\"" << id
                << "\" fill=\"none\" stroke=\"#37474f\" stroke-width=\"1.5\" points=\"";
        }
        if (!pointsText.empty())
            pointsText.pop_back();
        svg << pointsText << "\"/>\n</g>\n";
        top = bottom + kGap;
    }
    svg << "</svg>\n";
    return svg.str();
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    try {
        options = parseArguments(argc, argv);
    } catch (const UsageError& error) {
        std::cerr << "comtrade-plot: " << error.message << '\n';
        printUsage(std::cerr);
        return KivTools::kExitUsage;
    }
    if (options.help) {
        printUsage(std::cout);
        return 0;
    }

    if (options.path.empty()) {
        options.path = KivTools::bundledRecordingPath();
        if (options.path.empty()) {
            std::cerr << "comtrade-plot: no PATH given and the bundled recording "
                      << KivTools::kBundledRecording << " was not found\n";
            return KivTools::kExitNoInput;
        }
    }

    Comtrade recording;
    const int code = recording.load(options.path);
    if (code != 0) {
        std::cerr << "comtrade-plot: "
                  << KivTools::describeLoadFailure(recording, options.path, code) << ".\n";
        return code;
    }

    std::vector<Lane> lanes;
    const std::vector<Sample>& samples = recording.dat.samples;
    const double last = samples.empty() ? 0.0 : samples.back().time - samples.front().time;
    const double from = options.haveFrom ? options.from : 0.0;
    double to = options.haveTo ? options.to : last;
    try {
        lanes = selectLanes(recording, options.channels);
        if (!options.haveTo && to <= from)
            to = from + 0.001; // a single sample still gets a visible window
        if (!(to > from))
            throw UsageError{"the window is empty: --to must be greater than --from"};
    } catch (const UsageError& error) {
        std::cerr << "comtrade-plot: " << error.message << '\n';
        return KivTools::kExitUsage;
    }

    const std::string output =
        options.output.empty() ? baseName(options.path) + ".svg" : options.output;
    const std::string svg = renderSvg(recording, options.path, lanes, from, to);
    std::ofstream file(output, std::ios_base::binary | std::ios_base::trunc);
    file << svg;
    file.close();
    if (!file) {
        std::cerr << "comtrade-plot: cannot write the picture to " << output << '\n';
        return KivTools::kExitCantCreate;
    }
    std::cout << output << '\n';
    return 0;
}
