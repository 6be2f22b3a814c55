// comtrade-info [PATH] [--json] [--encoding NAME]
//
// Loads a COMTRADE recording (the path of its .cfg, .dat or .cff file) and
// prints what its configuration says together with a summary of its values:
// per analog channel the minimum, maximum and RMS over the whole recording
// (values the data file marks as missing left out), per status channel the
// number of changes of state and the time of the first. With no PATH it opens
// the bundled sample recording.
//
// Exit status: 0 success; 1-6 the library's load result code (the load
// report's sentence on stderr); 64 bad command line; 66 no PATH and no
// bundled recording found.

#include "CommandLine.h"
#include "TextFormat.h"

#include <KivComtradeLib/ColumnarRecording.h>
#include <KivComtradeLib/Converters.h>
#include <KivComtradeLib/ToUtf8.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace KivComtradeLib;
using KivTools::formatNumber;

struct AnalogSummary {
    double min = std::numeric_limits<double>::quiet_NaN();
    double max = std::numeric_limits<double>::quiet_NaN();
    double rms = std::numeric_limits<double>::quiet_NaN();
};

struct StatusSummary {
    unsigned long long changes = 0;
    bool changed = false;
    double firstChange = 0.0; // seconds, on the recording's time axis
};

AnalogSummary summarize(const AnalogColumn& column)
{
    AnalogSummary summary;
    double sumOfSquares = 0.0;
    std::size_t count = 0;
    for (std::size_t k = 0; k < column.count; ++k) {
        const double value = column.values[k];
        if (std::isnan(value))
            continue; // missing in the data file
        if (count == 0) {
            summary.min = summary.max = value;
        } else {
            summary.min = std::min(summary.min, value);
            summary.max = std::max(summary.max, value);
        }
        sumOfSquares += value * value;
        ++count;
    }
    if (count > 0)
        summary.rms = std::sqrt(sumOfSquares / static_cast<double>(count));
    return summary;
}

StatusSummary summarize(const StatusColumn& column)
{
    StatusSummary summary;
    bool havePrevious = false;
    bool previous = false;
    for (std::size_t k = 0; k < column.count; ++k) {
        const bool state = column.states[k] != 0;
        if (havePrevious && state != previous) {
            if (!summary.changed) {
                summary.changed = true;
                summary.firstChange = column.time[k];
            }
            ++summary.changes;
        }
        previous = state;
        havePrevious = true;
    }
    return summary;
}

// ---- JSON -------------------------------------------------------------------

// Members in the order written, for a reader of the text.
using json = nlohmann::ordered_json;

// JSON has no infinities or non-numbers: null.
json number(double value)
{
    return std::isfinite(value) ? json(value) : json(nullptr);
}

json dateTime(const DateTime& time)
{
    return time.valid ? json(KivTools::formatDateTime(time)) : json(nullptr);
}

json recordingJson(const ColumnarRecording& recording, const std::string& path)
{
    const Cfg& cfg = recording.cfg;
    json rates = json::array();
    for (const SamplingRate& rate : cfg.samplingRates)
        rates.push_back({{"rate", number(rate.rate)}, {"endSample", rate.endSample}});
    return {{"path", toUtf8::repairUtf8(path)},
            {"configurationFile", toUtf8::repairUtf8(recording.cfgFileName)},
            {"dataFile", toUtf8::repairUtf8(recording.datFileName)},
            {"station", KivTools::shown(cfg.stationName)},
            {"device", KivTools::shown(cfg.recDevId)},
            {"revision", cfg.revYear},
            {"dataFileType", Converters::dataFileTypeKeyword(cfg.dataFileType)},
            {"lineFrequency", number(cfg.lineFrequency)},
            {"samplingRates", rates},
            {"samplesAnnounced", cfg.samplesCount},
            {"samples", recording.count},
            {"duration", number(recording.duration)},
            {"timeMultiplier", number(cfg.timeMultiplier)},
            {"start", dateTime(cfg.start)},
            {"trigger", dateTime(cfg.trigger)},
            {"triggerOffset", number(cfg.triggerOffset)},
            {"timeCode", KivTools::shown(cfg.timeCode)},
            {"localCode", KivTools::shown(cfg.localCode)},
            {"encoding", recording.report.encoding},
            {"encodingDetected", recording.report.encodingDetected},
            {"headerText", !recording.headerText.empty()},
            {"informationText", !recording.informationText.empty()},
            {"missingValues", recording.report.missingValues}};
}

// The members every channel line has, then `more`.
json channelJson(const BaseChannelConfig& config, const json& more)
{
    json channel = {{"number", config.index + 1},
                    {"id", KivTools::channelName(config)},
                    {"phase", KivTools::shown(config.phase)},
                    {"circuitComponent", KivTools::shown(config.circuitComponent)}};
    channel.update(more);
    return channel;
}

void printJson(const ColumnarRecording& recording, const std::string& path)
{
    json document = recordingJson(recording, path);
    json& analog = document["analogChannels"] = json::array();
    for (std::size_t c = 0; c < recording.cfg.analogChannels.size(); ++c) {
        const AnalogChannelConfig& config = recording.cfg.analogChannels[c];
        const AnalogSummary summary = summarize(recording.analogColumn(c));
        analog.push_back(channelJson(config, {{"unit", KivTools::shown(config.unit)},
                                              {"valueUnit", KivTools::valueUnit(config)},
                                              {"primary", number(config.primary)},
                                              {"secondary", number(config.secondary)},
                                              {"ps", config.isSecondary ? "S" : "P"},
                                              {"skew", number(config.skew)},
                                              {"min", number(summary.min)},
                                              {"max", number(summary.max)},
                                              {"rms", number(summary.rms)}}));
    }
    json& status = document["statusChannels"] = json::array();
    for (std::size_t c = 0; c < recording.cfg.binaryChannels.size(); ++c) {
        const BinaryChannelConfig& config = recording.cfg.binaryChannels[c];
        const StatusSummary summary = summarize(recording.statusColumn(c));
        status.push_back(channelJson(config, {{"normalState", config.normalState},
                                              {"changes", summary.changes},
                                              {"firstChange", summary.changed ? number(summary.firstChange)
                                                                              : json(nullptr)}}));
    }
    std::cout << document.dump(2) << '\n';
}

// ---- Text -------------------------------------------------------------------

// Columns padded to the widest cell; numbers (right) and texts (left).
class Table {
public:
    explicit Table(std::vector<std::string> header, std::vector<bool> rightAligned)
        : right_(std::move(rightAligned))
    {
        rows_.push_back(std::move(header));
    }
    void add(std::vector<std::string> row) { rows_.push_back(std::move(row)); }

    void print(std::ostream& out) const
    {
        std::vector<std::size_t> width(rows_.front().size(), 0);
        for (const auto& row : rows_)
            for (std::size_t c = 0; c < row.size(); ++c)
                width[c] = std::max(width[c], KivTools::utf8Length(row[c]));
        for (const auto& row : rows_) {
            std::string line = " ";
            for (std::size_t c = 0; c < row.size(); ++c) {
                const std::string pad(width[c] - KivTools::utf8Length(row[c]), ' ');
                line += "  ";
                line += right_[c] ? pad + row[c] : row[c] + pad;
            }
            while (!line.empty() && line.back() == ' ')
                line.pop_back();
            out << line << '\n';
        }
    }

private:
    std::vector<bool> right_;
    std::vector<std::vector<std::string>> rows_;
};

std::string orDash(const std::string& text)
{
    const std::string shown = KivTools::shown(text);
    return shown.empty() ? "-" : shown;
}

// A recording without samples has no minimum, maximum or RMS.
std::string statistic(double value)
{
    return std::isnan(value) ? std::string("-") : formatNumber(value);
}

void printTimes(const ColumnarRecording& recording, std::ostream& out)
{
    const Cfg& cfg = recording.cfg;
    const LoadReport& report = recording.report;
    out << "Start           " << KivTools::formatDateTime(cfg.start) << '\n';
    out << "Trigger         " << KivTools::formatDateTime(cfg.trigger);
    if (std::isfinite(cfg.triggerOffset))
        out << " (" << formatNumber(cfg.triggerOffset, 9) << " s after the first sample)";
    out << '\n';
    out << "Time code       " << orDash(cfg.timeCode) << ", local code " << orDash(cfg.localCode)
        << '\n';
    out << "Encoding        " << orDash(report.encoding)
        << (report.encoding.empty() ? "" : report.encodingDetected ? " (detected)" : " (as asked)") << '\n';
    out << "Header text     " << (recording.headerText.empty() ? "none" : "present")
        << ", information text " << (recording.informationText.empty() ? "none" : "present") << '\n';
    out << "Missing values  " << report.missingValues << '\n';
}

void printConfiguration(const ColumnarRecording& recording, const std::string& path, std::ostream& out)
{
    const Cfg& cfg = recording.cfg;
    out << "Recording       " << toUtf8::repairUtf8(path) << '\n';
    out << "Files           " << toUtf8::repairUtf8(recording.cfgFileName) << ", "
        << toUtf8::repairUtf8(recording.datFileName) << '\n';
    out << "Station         " << KivTools::shown(cfg.stationName) << '\n';
    out << "Device          " << KivTools::shown(cfg.recDevId) << '\n';
    out << "Revision        " << cfg.revYear << '\n';
    out << "Data file type  " << Converters::dataFileTypeKeyword(cfg.dataFileType) << '\n';
    out << "Line frequency  " << formatNumber(cfg.lineFrequency) << " Hz\n";
    out << "Sampling rates  ";
    if (cfg.samplingRates.empty())
        out << "none (times from the time stamps)\n";
    for (std::size_t i = 0; i < cfg.samplingRates.size(); ++i)
        out << (i ? "                " : "") << formatNumber(cfg.samplingRates[i].rate)
            << " Hz up to sample " << cfg.samplingRates[i].endSample << '\n';
    if (!cfg.allRatesNonZero)
        out << "                (a rate of 0: sample times come from the time stamps)\n";
    out << "Samples         " << recording.count;
    if (recording.count != cfg.samplesCount)
        out << " (" << cfg.samplesCount << " announced)";
    out << '\n';
    out << "Duration        " << formatNumber(recording.duration) << " s\n";
    out << "Time multiplier " << formatNumber(cfg.timeMultiplier) << '\n';
    printTimes(recording, out);
}

void printChannels(const ColumnarRecording& recording, std::ostream& out)
{
    out << "\nAnalog channels: " << recording.cfg.analogChannels.size()
        << " (min, max and RMS over the recording, in the value unit)\n";
    if (!recording.cfg.analogChannels.empty()) {
        Table table({"#", "Identifier", "Phase", "Component", "Unit", "Value unit",
                     "Primary", "Secondary", "P/S", "Skew (s)", "Min", "Max", "RMS"},
                    {true, false, false, false, false, false, true, true, false, true, true,
                     true, true});
        for (std::size_t c = 0; c < recording.cfg.analogChannels.size(); ++c) {
            const AnalogChannelConfig& config = recording.cfg.analogChannels[c];
            const AnalogSummary summary = summarize(recording.analogColumn(c));
            table.add({std::to_string(config.index + 1), orDash(config.channelId),
                       orDash(config.phase), orDash(config.circuitComponent),
                       orDash(config.unit), orDash(KivTools::valueUnit(config)),
                       formatNumber(config.primary), formatNumber(config.secondary),
                       config.isSecondary ? "S" : "P", formatNumber(config.skew),
                       statistic(summary.min), statistic(summary.max),
                       statistic(summary.rms)});
        }
        table.print(out);
    }

    out << "\nStatus channels: " << recording.cfg.binaryChannels.size()
        << " (time of the first change in seconds on the recording's time axis)\n";
    if (!recording.cfg.binaryChannels.empty()) {
        Table table({"#", "Identifier", "Phase", "Component", "Normal", "Changes",
                     "First change (s)"},
                    {true, false, false, false, true, true, true});
        for (std::size_t c = 0; c < recording.cfg.binaryChannels.size(); ++c) {
            const BinaryChannelConfig& config = recording.cfg.binaryChannels[c];
            const StatusSummary summary = summarize(recording.statusColumn(c));
            table.add({std::to_string(config.index + 1), orDash(config.channelId),
                       orDash(config.phase), orDash(config.circuitComponent),
                       std::to_string(config.normalState), std::to_string(summary.changes),
                       summary.changed ? formatNumber(summary.firstChange, 9) : "-"});
        }
        table.print(out);
    }
}

} // namespace

int main(int argc, char** argv)
{
    KivTools::CommonOptions common;
    bool json = false;
    CLI::App app("Prints the configuration of a COMTRADE recording and a summary of its channels.",
                 "comtrade-info");
    KivTools::addCommonOptions(app, common);
    app.add_flag("--json", json, "print one JSON document instead of text");
    if (const int code = KivTools::parseCommandLine(app, argc, argv); code >= 0)
        return code;
    if (const int code = KivTools::resolvePath("comtrade-info", common.path); code != 0)
        return code;

    ColumnarRecording recording;
    const int loaded = recording.load(common.path, common.loadOptions());
    if (const int code = KivTools::reportLoad("comtrade-info", recording.report, loaded, common.path); code != 0)
        return code;
    if (json) {
        printJson(recording, common.path);
        return 0;
    }
    printConfiguration(recording, common.path, std::cout);
    printChannels(recording, std::cout);
    return 0;
}
