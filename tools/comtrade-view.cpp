// comtrade-view [PATH] [-o FILE.html] [--channels LIST] [--from S] [--to S]
//               [--encoding NAME] [--side primary|secondary|recorded]
//               [--timings] [--version]
//
// Writes a COMTRADE recording as one self-contained HTML page that any
// browser opens offline: a lane per channel on one time axis (seconds from
// the trigger, else from the first sample) with zoom and pan, two cursors
// that read every channel's value, RMS and phasor, a phasor diagram with the
// sequence components of each three-phase group, and the recording's header.
// The data goes in as min/max envelopes at several levels of detail plus the
// full-resolution samples, compressed. --timings prints how long the load and
// the page took on stderr.
//
// Exit status: 0 success; 1-6 the library's load result code; 64 bad command
// line (an unknown channel or a window outside the recording included); 66 no
// bundled recording; 73 the page cannot be written (the file is then left as
// it was); 74 the standard output cannot be written.

#include "ChannelSelection.h"
#include "CommandLine.h"
#include "TextFormat.h"
#include "ViewerPage.h"

#include <KivComtradeLib/ColumnarRecording.h>

#include <chrono>
#include <fstream>
#include <iostream>

namespace {

using namespace KivTools;

struct Options {
    CommonOptions common;
    std::string output;
    std::string channels;
    double from = 0.0;
    double to = 0.0;
    bool timings = false;
};

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string defaultOutput(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const auto dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0)
        name.erase(dot);
    return (name.empty() ? std::string("recording") : name) + ".html";
}

int run(int argc, char** argv)
{
    Options options;
    CLI::App app("Writes a COMTRADE recording as one self-contained interactive HTML page.", "comtrade-view");
    addCommonOptions(app, options.common);
    app.add_option("-o,--output", options.output, "output file (default: <base name>.html in the current folder)");
    app.add_option("--channels", options.channels,
                   "comma-separated: N or AN analog channel N, DN status channel N, else an identifier");
    app.add_option("--from", options.from, "window start, seconds from the trigger (or the first sample)");
    app.add_option("--to", options.to, "window end, seconds from the trigger (or the first sample)");
    app.add_flag("--timings", options.timings, "print the load and page-writing times on stderr");
    if (const int code = parseCommandLine(app, argc, argv); code >= 0)
        return code;
    if (const int code = resolvePath("comtrade-view", options.common.path); code != 0)
        return code;

    const auto started = std::chrono::steady_clock::now();
    KivComtradeLib::ColumnarRecording rec;
    const int loaded = rec.load(options.common.path, options.common.loadOptions());
    if (const int code = reportLoad("comtrade-view", rec.report, loaded, options.common.path); code != 0)
        return code;
    if (rec.count == 0) {
        std::cerr << "comtrade-view: " << options.common.path << " holds no samples to show\n";
        return kExitUsage;
    }

    const double loadSeconds = secondsSince(started);
    const auto writing = std::chrono::steady_clock::now();
    ViewRequest request;
    request.path = options.common.path;
    request.origin = rec.triggerTime();
    try {
        request.channels = selectChannels(rec.cfg, options.channels, app.count("--channels") > 0);
        request.window = resolveWindow(app.count("--from") > 0, options.from, app.count("--to") > 0, options.to,
                                       rec.time.front() - request.origin, rec.time.back() - request.origin);
    } catch (const UsageError& error) {
        std::cerr << "comtrade-view: " << error.message << ".\n";
        return kExitUsage;
    }
    const std::string output = options.output.empty() ? defaultOutput(options.common.path) : options.output;
    if (const int code = writeOutputFile("comtrade-view", output,
                                         [&](std::ostream& out) { out << renderViewerPage(rec, request); });
        code != 0)
        return code;
    if (options.timings)
        std::cerr << "comtrade-view: load " << loadSeconds << " s, page " << secondsSince(writing) << " s\n";
    std::cout << output << '\n';
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    return finishOutput("comtrade-view", run(argc, argv));
}
