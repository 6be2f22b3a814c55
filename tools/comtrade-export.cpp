// comtrade-export [PATH] [--channels LIST] [--from S] [--to S] [-o FILE]
//                 [--json] [--rms] [--phasors] [--encoding NAME]
//
// Writes the samples of a COMTRADE recording as a table for spreadsheets and
// pandas: CSV (RFC 4180, CR LF line ends) with a header row, or with --json
// one JSON document whose columns are arrays. The first column is the time
// in seconds from the trigger (from the first sample when the configuration
// gives no trigger); then one column per channel: analog values in base
// units (a kV channel in V), empty (CSV) or null (JSON) where the data file
// marks a value as missing; status channels as 0 and 1. --rms and --phasors
// add after each analog channel its RMS, and its phasor's magnitude (RMS) and
// angle (degrees, against cos(w0 t) on the export's time axis), each over the
// cycle of the line frequency ending at the row's time; empty in the first
// cycle and where a cycle holds a missing value.
//
// Exit status: 0 success; 1-6 the library's load result code; 64 bad command
// line; 66 no bundled recording; 73 the output cannot be written.

#include "ToolCommon.h"

#include <KivComtradeLib/Analysis.h>
#include <KivComtradeLib/ColumnarRecording.h>

#include <nlohmann/json.hpp>

#include <cmath>
#include <complex>
#include <fstream>
#include <iostream>

namespace {

using namespace KivTools;
using KivComtradeLib::ColumnarRecording;

struct Column {
    std::string name;
    std::string unit;
    const double* analog = nullptr;      // one of the two rows, or none with `series`
    const std::uint8_t* status = nullptr;
    std::vector<double> series;          // a measure, one value per record
};

// Which measures follow each analog channel's values.
struct Measures {
    bool rms = false;
    bool phasors = false;
};

std::vector<Column> columnsOf(const ColumnarRecording& rec, const std::vector<ChannelRef>& channels,
                              const Measures& measures, double origin)
{
    namespace Analysis = KivComtradeLib::Analysis;
    constexpr double kPi = 3.14159265358979323846;
    std::vector<Column> columns;
    for (const ChannelRef& ref : channels) {
        if (ref.analog) {
            const auto& config = rec.cfg.analogChannels[ref.position];
            const std::string name = channelName(config), unit = valueUnit(config);
            columns.push_back({name, unit, rec.analogRow(ref.position), nullptr, {}});
            if (!measures.rms && !measures.phasors)
                continue;
            // Over the whole recording, so that the first rows of a window
            // have their cycle of history.
            const Analysis::Signal signal = Analysis::channelSignal(rec, ref.position);
            if (measures.rms)
                columns.push_back({name + " RMS", unit, nullptr, nullptr, Analysis::rmsSeries(signal)});
            if (measures.phasors) {
                // Angles on the export's own time axis: X e^{j w0 origin}.
                const Analysis::Phasor turn = std::polar(1.0, std::fmod(2 * kPi * rec.cfg.lineFrequency * origin, 2 * kPi));
                Column magnitude{name + " phasor", unit, nullptr, nullptr, {}};
                Column angle{name + " angle", "deg", nullptr, nullptr, {}};
                for (const Analysis::Phasor& x : Analysis::phasorSeries(signal)) {
                    magnitude.series.push_back(std::abs(x));
                    angle.series.push_back(std::arg(x * turn) * 180 / kPi);
                }
                columns.push_back(std::move(magnitude));
                columns.push_back(std::move(angle));
            }
        } else {
            columns.push_back({channelName(rec.cfg.binaryChannels[ref.position]), "", nullptr,
                               rec.statusRow(ref.position), {}});
        }
    }
    return columns;
}

std::string cell(const Column& column, std::size_t k, const char* missing)
{
    if (column.status)
        return column.status[k] ? "1" : "0";
    const double value = column.analog ? column.analog[k] : column.series[k];
    return std::isnan(value) ? missing : exactNumber(value);
}

// RFC 4180: a field with a comma, a quote or a line end goes in quotes, its
// quotes doubled.
std::string csvField(const std::string& text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string out = "\"";
    for (const char c : text)
        out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

void writeCsv(std::ostream& out, const ColumnarRecording& rec, const std::vector<Column>& columns,
              const std::vector<std::size_t>& rows, double origin)
{
    out << "time [s]";
    for (const Column& column : columns)
        out << ',' << csvField(column.unit.empty() ? column.name : column.name + " [" + column.unit + "]");
    out << "\r\n";
    for (const std::size_t k : rows) {
        out << timeNumber(rec.time[k] - origin);
        for (const Column& column : columns)
            out << ',' << cell(column, k, "");
        out << "\r\n";
    }
}

// Streamed rather than built as one nlohmann::json value: a long recording
// has millions of values.
void writeJson(std::ostream& out, const ColumnarRecording& rec, const std::vector<Column>& columns,
               const std::vector<std::size_t>& rows, double origin, const std::string& path)
{
    using nlohmann::json;
    const json head = {{"file", validUtf8(path)},
                       {"station", displayText(rec.cfg.stationName)},
                       {"device", displayText(rec.cfg.recDevId)},
                       {"start", formatDateTime(rec.cfg.start)},
                       {"trigger", formatDateTime(rec.cfg.trigger)},
                       {"timeFrom", hasTrigger(rec.cfg) ? "trigger" : "first sample"}};
    std::string text = head.dump();
    text.pop_back();
    out << text << ",\"columns\":[\n{\"name\":\"time\",\"unit\":\"s\",\"values\":[";
    for (std::size_t i = 0; i < rows.size(); ++i)
        out << (i ? "," : "") << timeNumber(rec.time[rows[i]] - origin);
    out << "]}";
    for (const Column& column : columns) {
        out << ",\n{\"name\":" << json(column.name).dump() << ",\"unit\":" << json(column.unit).dump()
            << ",\"values\":[";
        for (std::size_t i = 0; i < rows.size(); ++i)
            out << (i ? "," : "") << cell(column, rows[i], "null");
        out << "]}";
    }
    out << "\n]}\n";
}

// Records whose time lies in the window asked for (the whole recording by default).
std::vector<std::size_t> rowsIn(const ColumnarRecording& rec, double origin, const CLI::App& app, double from,
                                double to)
{
    std::vector<std::size_t> rows;
    if (rec.count == 0)
        return rows;
    const Window window = resolveWindow(app.count("--from") > 0, from, app.count("--to") > 0, to,
                                        rec.time.front() - origin, rec.time.back() - origin);
    for (std::size_t k = 0; k < rec.count; ++k)
        if (rec.time[k] - origin >= window.from && rec.time[k] - origin <= window.to)
            rows.push_back(k);
    return rows;
}

} // namespace

int main(int argc, char** argv)
{
    CommonOptions common;
    std::string output, channels;
    double from = 0.0, to = 0.0;
    bool json = false;
    CLI::App app("Writes the samples of a COMTRADE recording as CSV or JSON.", "comtrade-export");
    addCommonOptions(app, common);
    app.add_option("-o,--output", output, "output file (default: standard output)");
    app.add_option("--channels", channels,
                   "comma-separated: N or AN analog channel N, DN status channel N, else an identifier");
    app.add_option("--from", from, "first time, seconds from the trigger (or the first sample)");
    app.add_option("--to", to, "last time, seconds from the trigger (or the first sample)");
    app.add_flag("--json", json, "one JSON document with the columns as arrays instead of CSV");
    Measures measures;
    app.add_flag("--rms", measures.rms,
                 "after each analog channel, its RMS over the cycle ending at each sample");
    app.add_flag("--phasors", measures.phasors,
                 "after each analog channel, the magnitude (RMS) and angle (degrees) of its phasor "
                 "over the cycle ending at each sample");
    if (const int code = parseCommandLine(app, argc, argv); code >= 0)
        return code;
    if (const int code = resolvePath("comtrade-export", common.path); code != 0)
        return code;

    ColumnarRecording rec;
    const int loaded = rec.load(common.path, common.loadOptions());
    if (const int code = reportLoad("comtrade-export", rec.report, loaded, common.path); code != 0)
        return code;

    std::vector<Column> columns;
    std::vector<std::size_t> rows;
    const double origin = rec.count ? timeOrigin(rec.cfg, rec.time.front()) : 0.0;
    try {
        columns = columnsOf(rec, selectChannels(rec.cfg, channels, app.count("--channels") > 0), measures, origin);
        rows = rowsIn(rec, origin, app, from, to);
    } catch (const UsageError& error) {
        std::cerr << "comtrade-export: " << error.message << ".\n";
        return kExitUsage;
    }

    std::ofstream file;
    if (!output.empty())
        file.open(output, std::ios_base::binary | std::ios_base::trunc);
    std::ostream& out = output.empty() ? std::cout : file;
    if (json)
        writeJson(out, rec, columns, rows, origin, common.path);
    else
        writeCsv(out, rec, columns, rows, origin);
    out.flush();
    if (!out) {
        std::cerr << "comtrade-export: cannot write " << (output.empty() ? "the standard output" : output) << '\n';
        return kExitCantCreate;
    }
    return 0;
}
