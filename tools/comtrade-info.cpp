// comtrade-info [PATH] [--json] [--encoding NAME]
//               [--side primary|secondary|recorded] [--version]
//
// Loads a COMTRADE recording (the path of its .cfg, .dat or .cff file) and
// prints what its configuration says together with a summary of its values:
// per analog channel the minimum, maximum and RMS over the whole recording
// (values the data file marks as missing left out), per status channel the
// number of changes of state and the time of the first. With no PATH it opens
// the bundled sample recording. When the configuration loads but its data
// file is missing or unreadable, it still prints the configuration (without
// the values' summary), then the reason, and exits with the load's code.
//
// Exit status: 0 success; 1-6 the library's load result code (the load
// report's sentence on stderr); 64 bad command line; 66 no PATH and no
// bundled recording found.

#include "ToolCommon.h"

#include <KivComtradeLib/KivComtradeLib.h>

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

AnalogSummary summarize(const AnalogChannel& channel)
{
    AnalogSummary summary;
    const auto column = static_cast<std::size_t>(channel.config.index);
    double sumOfSquares = 0.0;
    std::size_t count = 0;
    for (const Sample& sample : channel.samples) {
        if (column >= sample.analogValues.size())
            continue;
        const double value = sample.analogValues[column];
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

StatusSummary summarize(const BinaryChannel& channel)
{
    StatusSummary summary;
    const auto column = static_cast<std::size_t>(channel.config.index);
    bool havePrevious = false;
    bool previous = false;
    for (const Sample& sample : channel.samples) {
        if (column >= sample.binaryValues.size())
            continue;
        const bool state = sample.binaryValues[column];
        if (havePrevious && state != previous) {
            if (!summary.changed) {
                summary.changed = true;
                summary.firstChange = sample.time;
            }
            ++summary.changes;
        }
        previous = state;
        havePrevious = true;
    }
    return summary;
}

// The summary of analog channel `i`; none (NaN) when the data did not load.
AnalogSummary analogSummary(const Comtrade& recording, std::size_t i)
{
    return i < recording.analogChannels.size() ? summarize(recording.analogChannels[i]) : AnalogSummary();
}

StatusSummary statusSummary(const Comtrade& recording, std::size_t i)
{
    return i < recording.binaryChannels.size() ? summarize(recording.binaryChannels[i]) : StatusSummary();
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

json recordingJson(const Comtrade& recording, const std::string& path, const char* side)
{
    const Cfg& cfg = recording.cfg;
    json rates = json::array();
    for (const SamplingRate& rate : cfg.samplingRates)
        rates.push_back({{"rate", number(rate.rate)}, {"endSample", rate.endSample}});
    return {{"path", KivTools::validUtf8(path)},
            {"configurationFile", KivTools::validUtf8(recording.cfgFileName)},
            {"dataFile", KivTools::validUtf8(recording.datFileName)},
            {"station", KivTools::displayText(cfg.stationName)},
            {"device", KivTools::displayText(cfg.recDevId)},
            {"revision", cfg.revYear},
            {"dataFileType", KivTools::dataFileTypeName(cfg.dataFileType)},
            {"lineFrequency", number(cfg.lineFrequency)},
            {"samplingRates", rates},
            {"samplesAnnounced", cfg.samplesCount},
            {"samples", recording.loaded ? json(recording.dat.samples.size()) : json(nullptr)},
            {"duration", number(recording.loaded ? recording.duration : cfg.duration)},
            {"side", side},
            {"timeMultiplier", number(cfg.timeMultiplier)},
            {"start", dateTime(cfg.start)},
            {"trigger", dateTime(cfg.trigger)},
            {"triggerOffset", number(cfg.triggerOffset)},
            {"timeCode", KivTools::trimmed(KivTools::validUtf8(cfg.timeCode))},
            {"localCode", KivTools::trimmed(KivTools::validUtf8(cfg.localCode))},
            {"encoding", recording.report.encoding},
            {"encodingDetected", recording.report.encodingDetected},
            {"headerText", !recording.headerText.empty()},
            {"informationText", !recording.informationText.empty()},
            {"missingValues", recording.report.missingValues}};
}

void printJson(const Comtrade& recording, const std::string& path, const char* side)
{
    json document = recordingJson(recording, path, side);
    json& analog = document["analogChannels"] = json::array();
    for (std::size_t i = 0; i < recording.cfg.analogChannels.size(); ++i) {
        const AnalogChannelConfig& config = recording.cfg.analogChannels[i];
        const AnalogSummary summary = analogSummary(recording, i);
        analog.push_back({{"number", config.index + 1},
                          {"id", KivTools::channelName(config)},
                          {"phase", KivTools::trimmed(KivTools::validUtf8(config.phase))},
                          {"circuitComponent", KivTools::trimmed(KivTools::validUtf8(config.circuitComponent))},
                          {"unit", KivTools::trimmed(KivTools::validUtf8(config.unit))},
                          {"valueUnit", KivTools::valueUnit(config)},
                          {"primary", number(config.primary)},
                          {"secondary", number(config.secondary)},
                          {"ps", config.isSecondary ? "S" : "P"},
                          {"skew", number(config.skew)},
                          {"min", number(summary.min)},
                          {"max", number(summary.max)},
                          {"rms", number(summary.rms)}});
    }
    json& status = document["statusChannels"] = json::array();
    for (std::size_t i = 0; i < recording.cfg.binaryChannels.size(); ++i) {
        const BinaryChannelConfig& config = recording.cfg.binaryChannels[i];
        const StatusSummary summary = statusSummary(recording, i);
        status.push_back({{"number", config.index + 1},
                          {"id", KivTools::channelName(config)},
                          {"phase", KivTools::trimmed(KivTools::validUtf8(config.phase))},
                          {"circuitComponent", KivTools::trimmed(KivTools::validUtf8(config.circuitComponent))},
                          {"normalState", config.normalState},
                          {"changes", summary.changes},
                          {"firstChange", summary.changed ? number(summary.firstChange) : json(nullptr)}});
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
    const std::string shown = KivTools::trimmed(KivTools::validUtf8(text));
    return shown.empty() ? "-" : shown;
}

// A recording without samples has no minimum, maximum or RMS.
std::string statistic(double value)
{
    return std::isnan(value) ? std::string("-") : formatNumber(value);
}

void printTimes(const Comtrade& recording, const char* side, std::ostream& out)
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
    out << "Values          " << side << " side"
        << (std::string(side) == "recorded" ? " (raw * a + b as written, no ratio)\n" : "\n");
    if (recording.loaded)
        out << "Missing values  " << report.missingValues << '\n';
}

void printConfiguration(const Comtrade& recording, const std::string& path, const char* side, std::ostream& out)
{
    const Cfg& cfg = recording.cfg;
    out << "Recording       " << KivTools::validUtf8(path) << '\n';
    out << "Files           " << KivTools::validUtf8(recording.cfgFileName) << ", "
        << KivTools::validUtf8(recording.datFileName) << '\n';
    out << "Station         " << KivTools::displayText(cfg.stationName) << '\n';
    out << "Device          " << KivTools::displayText(cfg.recDevId) << '\n';
    out << "Revision        " << cfg.revYear << '\n';
    out << "Data file type  " << KivTools::dataFileTypeName(cfg.dataFileType) << '\n';
    out << "Line frequency  " << formatNumber(cfg.lineFrequency) << " Hz\n";
    out << "Sampling rates  ";
    if (cfg.samplingRates.empty())
        out << "none (times from the time stamps)\n";
    for (std::size_t i = 0; i < cfg.samplingRates.size(); ++i)
        out << (i ? "                " : "") << formatNumber(cfg.samplingRates[i].rate)
            << " Hz up to sample " << cfg.samplingRates[i].endSample << '\n';
    if (!cfg.allRatesNonZero)
        out << "                (a rate of 0: sample times come from the time stamps)\n";
    if (!recording.loaded)
        out << "Samples         " << cfg.samplesCount << " announced, none read";
    else
        out << "Samples         " << recording.dat.samples.size();
    if (recording.loaded && recording.dat.samples.size() != cfg.samplesCount)
        out << " (" << cfg.samplesCount << " announced)";
    out << '\n';
    out << "Duration        " << formatNumber(recording.loaded ? recording.duration : cfg.duration) << " s\n";
    out << "Time multiplier " << formatNumber(cfg.timeMultiplier) << '\n';
    printTimes(recording, side, out);
}

void printChannels(const Comtrade& recording, std::ostream& out)
{
    out << "\nAnalog channels: " << recording.cfg.analogChannels.size()
        << " (min, max and RMS over the recording, in the value unit)\n";
    if (!recording.cfg.analogChannels.empty()) {
        Table table({"#", "Identifier", "Phase", "Component", "Unit", "Value unit",
                     "Primary", "Secondary", "P/S", "Skew (s)", "Min", "Max", "RMS"},
                    {true, false, false, false, false, false, true, true, false, true, true,
                     true, true});
        for (std::size_t i = 0; i < recording.cfg.analogChannels.size(); ++i) {
            const AnalogChannelConfig& config = recording.cfg.analogChannels[i];
            const AnalogSummary summary = analogSummary(recording, i);
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
        for (std::size_t i = 0; i < recording.cfg.binaryChannels.size(); ++i) {
            const BinaryChannelConfig& config = recording.cfg.binaryChannels[i];
            const StatusSummary summary = statusSummary(recording, i);
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

    Comtrade recording;
    const int loaded = recording.load(common.path, common.loadOptions());
    const char* side = KivTools::sideName(common.loadOptions().side);
    // A data file missing or unreadable (5, 6) leaves a loaded configuration
    // worth showing: what the recording holds, though not its values.
    if (loaded == 0 || loaded == 5 || loaded == 6) {
        if (json)
            printJson(recording, common.path, side);
        else {
            printConfiguration(recording, common.path, side, std::cout);
            printChannels(recording, std::cout);
        }
        std::cout.flush();
    }
    return KivTools::reportLoad("comtrade-info", recording.report, loaded, common.path);
}
