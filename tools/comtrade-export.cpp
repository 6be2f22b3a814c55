// comtrade-export [PATH] [--channels LIST] [--from S] [--to S] [-o FILE]
//                 [--json] [--encoding NAME]
//
// Writes the samples of a COMTRADE recording as a table for spreadsheets and
// pandas: CSV (RFC 4180, CR LF line ends) with a header row, or with --json
// one JSON document whose columns are arrays. The first column is the time
// in seconds from the trigger (from the first sample when the configuration
// gives no trigger); then one column per channel: analog values in base
// units (a kV channel in V), empty (CSV) or null (JSON) where the data file
// marks a value as missing; status channels as 0 and 1.
//
// Exit status: 0 success; 1-6 the library's load result code; 64 bad command
// line; 66 no bundled recording; 73 the output cannot be written.

#include "ChannelSelection.h"
#include "CommandLine.h"
#include "TextFormat.h"

#include <KivComtradeLib/ColumnarRecording.h>
#include <KivComtradeLib/ToUtf8.h>

#include <nlohmann/json.hpp>

#include <cmath>
#include <fstream>
#include <iostream>

namespace {

using namespace KivTools;
using KivComtradeLib::ColumnarRecording;

struct Column {
    std::string name;
    std::string unit;
    const double* analog = nullptr;      // one of the two rows
    const std::uint8_t* status = nullptr;
};

std::vector<Column> columnsOf(const ColumnarRecording& rec, const std::vector<ChannelRef>& channels)
{
    std::vector<Column> columns;
    for (const ChannelRef& ref : channels) {
        if (ref.analog) {
            const auto& config = rec.cfg.analogChannels[ref.position];
            columns.push_back({channelName(config), valueUnit(config), rec.analogRow(ref.position), nullptr});
        } else {
            columns.push_back({channelName(rec.cfg.binaryChannels[ref.position]), "", nullptr,
                               rec.statusRow(ref.position)});
        }
    }
    return columns;
}

std::string cell(const Column& column, std::size_t k, const char* missing)
{
    if (column.status)
        return column.status[k] ? "1" : "0";
    return std::isnan(column.analog[k]) ? missing : exactNumber(column.analog[k]);
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
    const json head = {{"file", toUtf8::repairUtf8(path)},
                       {"station", shown(rec.cfg.stationName)},
                       {"device", shown(rec.cfg.recDevId)},
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
    if (const int code = parseCommandLine(app, argc, argv); code >= 0)
        return code;
    if (const int code = resolvePath("comtrade-export", common.path); code != 0)
        return code;

    // Only the channels and the window asked for are read.
    ColumnarRecording rec;
    std::vector<ChannelRef> refs;
    const Selection selection{channels, app.count("--channels") > 0, app.count("--from") > 0, app.count("--to") > 0,
                              from, to};
    if (const int code = loadSelection("comtrade-export", common, selection, rec, refs); code != 0)
        return code;

    std::vector<Column> columns;
    std::vector<std::size_t> rows;
    const double origin = rec.triggerTime();
    try {
        columns = columnsOf(rec, refs);
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
