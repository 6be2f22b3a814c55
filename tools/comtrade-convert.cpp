// comtrade-convert IN OUT [--type ascii|binary|binary32|float32]
//                  [--revision 1999|2013] [--from S] [--to S] [--channels LIST]
//                  [--side source|primary|secondary] [--encoding NAME] [--version]
//
// Writes the COMTRADE recording IN as OUT: a .cfg + .dat pair (OUT names
// either) or one .cff, of the data-file type and revision asked for (BINARY
// and 2013 by default), optionally cut to a window of time (seconds from the
// trigger, or from the first sample when the configuration gives no
// trigger), to some channels, and with the analog values on one side of
// their ratios. From a BINARY, BINARY32 or ASCII recording to the same or a
// wider type every value reads back bit for bit; otherwise within half a
// step of the type written. Prints the files written.
//
// Exit status: 0 success; 1-6 the library's load result code; 64 bad command
// line (an unknown channel or type, an empty window); 73 the output cannot
// be written (nothing is left under its name); 74 the standard output cannot
// be written.

#include "ChannelSelection.h"
#include "CommandLine.h"

#include <KivComtradeLib/Version.h>

#include <KivComtradeLib/ColumnarRecording.h>
#include <KivComtradeLib/Converters.h>
#include <KivComtradeLib/ToUtf8.h>
#include <KivComtradeLib/Writer.h>

#include <iostream>
#include <map>

namespace {

using namespace KivTools;
using KivComtradeLib::ColumnarRecording;
using KivComtradeLib::WriteOptions;
using KivComtradeLib::WriteReport;
namespace Enums = KivComtradeLib::Enums;

int exitCodeOf(WriteReport::Result result)
{
    switch (result) {
    case WriteReport::Written: return 0;
    case WriteReport::CannotWrite:
    case WriteReport::BadValues:
    case WriteReport::NotLoaded: return kExitCantCreate;
    default: return kExitUsage;
    }
}

int run(int argc, char** argv)
{
    std::string input, output, encoding, channels;
    Enums::DataFileType type = Enums::Binary;
    int revision = 2013;
    WriteOptions::Side side = WriteOptions::SourceSide;
    double from = 0.0, to = 0.0;
    CLI::App app("Writes a COMTRADE recording in another data-file type or revision, or a part of it.",
                 "comtrade-convert");
    app.add_option("IN", input, "the .cfg, .dat or .cff file of a COMTRADE recording")->required();
    app.add_option("OUT", output, "the .cfg or .dat of the pair to write, or a .cff")->required();
    app.add_option("--encoding", encoding,
                   "encoding of IN's configuration texts: UTF-8, CP866, CP1251, CP1252, Latin-1, "
                   "GB18030 (default: detected); OUT is written in UTF-8");
    const std::map<std::string, Enums::DataFileType> types = {
        {"ascii", Enums::Ascii}, {"binary", Enums::Binary}, {"binary32", Enums::Binary32}, {"float32", Enums::Float32}};
    app.add_option("--type", type, "data-file type: ascii, binary, binary32 or float32 (default binary)")
        ->transform(CLI::CheckedTransformer(types, CLI::ignore_case));
    app.add_option("--revision", revision, "1999 or 2013 (default 2013)")->check(CLI::IsMember({1999, 2013}));
    app.add_option("--from", from, "first time, seconds from the trigger (or the first sample)");
    app.add_option("--to", to, "last time, seconds from the trigger (or the first sample)");
    app.add_option("--channels", channels,
                   "comma-separated: N or AN analog channel N, DN status channel N, else an identifier");
    const std::map<std::string, WriteOptions::Side> sides = {
        {"source", WriteOptions::SourceSide}, {"primary", WriteOptions::PrimarySide},
        {"secondary", WriteOptions::SecondarySide}};
    app.add_option("--side", side, "side of analog values with ratios: source, primary or secondary")
        ->transform(CLI::CheckedTransformer(sides, CLI::ignore_case));
    app.set_version_flag("--version", app.get_name() + " " KIVCOMTRADE_VERSION_STRING " (KivComtradeLib)");
    if (const int code = parseCommandLine(app, argc, argv); code >= 0)
        return code;

    CommonOptions common;
    common.path = input;
    common.encoding = encoding;
    ColumnarRecording rec;
    const int loaded = rec.load(input, common.loadOptions());
    if (const int code = reportLoad("comtrade-convert", rec.report, loaded, input); code != 0)
        return code;

    WriteOptions options;
    // Nothing edits the loaded arrays here: records may come straight from
    // the source's data file.
    options.reuseDataFile = true;
    options.type = type;
    options.revision = revision;
    options.side = side;
    try {
        if (app.count("--channels") > 0)
            for (const ChannelRef& ref : selectChannels(rec.cfg, channels, true))
                options.channels.push_back((ref.analog ? "A" : "D") + std::to_string(ref.position + 1));
        if (rec.count > 0 && (app.count("--from") > 0 || app.count("--to") > 0)) {
            const double origin = rec.triggerTime();
            const Window window = resolveWindow(app.count("--from") > 0, from, app.count("--to") > 0, to,
                                                rec.time.front() - origin, rec.time.back() - origin);
            options.from = window.from + origin;
            options.to = window.to + origin;
        }
    } catch (const UsageError& error) {
        std::cerr << "comtrade-convert: " << error.message << ".\n";
        return kExitUsage;
    }

    const WriteReport report = KivComtradeLib::Writer::write(rec, output, options);
    if (!report.ok()) {
        std::cerr << "comtrade-convert: " << toUtf8::repairUtf8(report.message) << '\n';
        return exitCodeOf(report.result);
    }
    for (const std::string& warning : report.warnings)
        std::cerr << "comtrade-convert: warning: " << toUtf8::repairUtf8(warning) << '\n';
    std::cout << "wrote";
    for (std::size_t i = 0; i < report.files.size(); ++i)
        std::cout << (i ? ", " : " ") << toUtf8::repairUtf8(report.files[i]);
    std::cout << ": " << report.records << " records, " << KivComtradeLib::Converters::dataFileTypeKeyword(type) << ", revision " << revision;
    if (report.rescaledChannels > 0)
        std::cout << ", " << report.rescaledChannels << " analog channel" << (report.rescaledChannels > 1 ? "s" : "")
                  << " given a new gain and offset";
    std::cout << '\n';
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    return finishOutput("comtrade-convert", run(argc, argv));
}
