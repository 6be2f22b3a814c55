// comtrade-plot [PATH] [-o FILE.svg] [--channels LIST] [--from S] [--to S]
//               [--all-status] [--scale group|each] [--encoding NAME]
//               [--side primary|secondary|recorded] [--version]
//
// Draws a COMTRADE recording as one standalone SVG page: a header with the
// station, device, start and trigger times; time axes in µs, ms or s from the
// trigger (from the first sample when there is none); one lane per analog
// channel with a min/max envelope per pixel column, so that no peak is lost;
// one thin raster row per status channel that changes (the others listed).
//
// Exit status: 0 success; 1-6 the library's load result code; 64 bad command
// line (an unknown channel, a window outside the recording, an output name
// that does not end in .svg included); 66 no bundled recording; 73 the SVG
// cannot be written (the file is then left as it was); 74 the standard output
// cannot be written.

#include "PlotSvg.h"
#include "CommandLine.h"

#include <KivComtradeLib/ColumnarRecording.h>

#include <iostream>

namespace {

using namespace KivTools;

struct Options {
    CommonOptions common;
    std::string output;
    std::string channels;
    double from = 0.0;
    double to = 0.0;
    bool allStatus = false;
    std::string scale = "group";
};

std::string defaultOutput(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const auto dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0)
        name.erase(dot);
    return (name.empty() ? std::string("recording") : name) + ".svg";
}

// The window on the tools' time axis; a recording of one sample gets a
// millisecond around it.
Window plotWindow(const KivComtradeLib::ColumnarRecording& rec, double origin, const CLI::App& app,
                  const Options& options)
{
    const double first = rec.time.front() - origin;
    const double last = rec.time.back() - origin;
    const bool haveFrom = app.count("--from") > 0;
    const bool haveTo = app.count("--to") > 0;
    Window window = resolveWindow(haveFrom, options.from, haveTo, options.to, first, last);
    if (window.to <= window.from) {
        window.from -= 5e-4;
        window.to += 5e-4;
    }
    return window;
}

// The picture is SVG: a name with another extension would make a file that
// its viewer cannot open. A name without an extension is taken as it is.
bool svgName(const std::string& output)
{
    const auto slash = output.find_last_of('/');
    const std::string name = slash == std::string::npos ? output : output.substr(slash + 1);
    const auto dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0)
        return true;
    std::string extension = name.substr(dot);
    for (char& c : extension)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return extension == ".svg";
}

int writeFile(const std::string& output, const std::string& text)
{
    if (const int code = writeOutputFile("comtrade-plot", output, [&](std::ostream& out) { out << text; }); code != 0)
        return code;
    std::cout << output << '\n';
    return 0;
}

int run(int argc, char** argv)
{
    Options options;
    CLI::App app("Draws a COMTRADE recording as a standalone SVG page.", "comtrade-plot");
    addCommonOptions(app, options.common);
    app.add_option("-o,--output", options.output, "output file (default: <base name>.svg in the current folder)");
    app.add_option("--channels", options.channels,
                   "comma-separated: N or AN analog channel N, DN status channel N, else an identifier");
    app.add_option("--from", options.from, "window start, seconds from the trigger (or the first sample)");
    app.add_option("--to", options.to, "window end, seconds from the trigger (or the first sample)");
    app.add_flag("--all-status", options.allStatus, "draw status channels that do not change too");
    app.add_option("--scale", options.scale, "group: channels of one circuit component and unit share a scale; "
                                             "each: every channel on its own")
        ->check(CLI::IsMember({"group", "each"}));
    if (const int code = parseCommandLine(app, argc, argv); code >= 0)
        return code;
    if (!svgName(options.output)) {
        std::cerr << "comtrade-plot: " << options.output
                  << ": comtrade-plot draws SVG only; give -o a name that ends in .svg\n";
        return kExitUsage;
    }
    if (const int code = resolvePath("comtrade-plot", options.common.path); code != 0)
        return code;

    // Only the channels and the window asked for are read.
    KivComtradeLib::ColumnarRecording rec;
    PlotRequest request;
    const Selection selection{options.channels, app.count("--channels") > 0, app.count("--from") > 0,
                              app.count("--to") > 0, options.from, options.to};
    if (const int code = loadSelection("comtrade-plot", options.common, selection, rec, request.channels); code != 0)
        return code;
    if (rec.count == 0) {
        std::cerr << "comtrade-plot: " << options.common.path << " holds no samples to draw\n";
        return kExitUsage;
    }

    request.path = options.common.path;
    request.origin = rec.triggerTime();
    request.allStatus = options.allStatus;
    request.scaleEach = options.scale == "each";
    request.side = sideName(options.common.loadOptions().side);
    try {
        request.window = plotWindow(rec, request.origin, app, options);
    } catch (const UsageError& error) {
        std::cerr << "comtrade-plot: " << error.message << ".\n";
        return kExitUsage;
    }
    return writeFile(options.output.empty() ? defaultOutput(options.common.path) : options.output,
                     renderSvg(rec, request));
}

} // namespace

int main(int argc, char** argv)
{
    return KivTools::finishOutput("comtrade-plot", run(argc, argv));
}
