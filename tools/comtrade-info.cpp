// comtrade-info [PATH] [--json]
//
// Loads a COMTRADE recording (the path of its .cfg, .dat or .cff file) and
// prints what its configuration says together with a summary of its values:
// per analog channel the minimum, maximum and RMS over the whole recording,
// per status channel the number of changes of state and the time of the first.
// With no PATH it opens the bundled sample recording.
//
// Exit status: 0 success; 1-6 the library's load result code (a sentence on
// stderr names the file involved); 64 bad command line; 66 no PATH and no
// bundled recording found.

#include "ToolCommon.h"

#include <KivComtradeLib/KivComtradeLib.h>

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

const AnalogChannelConfig& analogConfig(const AnalogChannel& channel)
{
    return static_cast<const AnalogChannelConfig&>(channel.config);
}

const BinaryChannelConfig& statusConfig(const BinaryChannel& channel)
{
    return static_cast<const BinaryChannelConfig&>(channel.config);
}

// ---- JSON -------------------------------------------------------------------

std::string jsonString(const std::string& bytes)
{
    const std::string text = KivTools::validUtf8(bytes);
    std::string out = "\"";
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char buffer[8];
                std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
                out += buffer;
            } else {
                out += ch;
            }
        }
    }
    return out + "\"";
}

// Full precision, so that a reader gets the library's doubles back; JSON has
// no infinities or non-numbers, which become null.
std::string jsonNumber(double value)
{
    if (!std::isfinite(value))
        return "null";
    return formatNumber(value, 17);
}

void printJson(const Comtrade& recording, const std::string& path)
{
    const Cfg& cfg = recording.cfg;
    std::ostringstream out;
    out << "{\n";
    out << "  \"path\": " << jsonString(path) << ",\n";
    out << "  \"configurationFile\": " << jsonString(recording.cfgFileName) << ",\n";
    out << "  \"dataFile\": " << jsonString(recording.datFileName) << ",\n";
    out << "  \"station\": " << jsonString(KivTools::displayText(cfg.stationName)) << ",\n";
    out << "  \"device\": " << jsonString(KivTools::displayText(cfg.recDevId)) << ",\n";
    out << "  \"revision\": " << cfg.revYear << ",\n";
    out << "  \"dataFileType\": \"" << KivTools::dataFileTypeName(cfg.dataFileType) << "\",\n";
    out << "  \"lineFrequency\": " << jsonNumber(cfg.lineFrequency) << ",\n";
    out << "  \"samplingRates\": [";
    for (std::size_t i = 0; i < cfg.samplingRates.size(); ++i)
        out << (i ? ", " : "") << "{\"rate\": " << jsonNumber(cfg.samplingRates[i].rate)
            << ", \"endSample\": " << cfg.samplingRates[i].endSample << "}";
    out << "],\n";
    out << "  \"samplesAnnounced\": " << cfg.samplesCount << ",\n";
    out << "  \"samples\": " << recording.dat.samples.size() << ",\n";
    out << "  \"duration\": " << jsonNumber(recording.duration) << ",\n";
    out << "  \"timeMultiplier\": " << jsonNumber(cfg.timeMultiplier) << ",\n";

    out << "  \"analogChannels\": [";
    for (std::size_t i = 0; i < recording.analogChannels.size(); ++i) {
        const AnalogChannel& channel = recording.analogChannels[i];
        const AnalogChannelConfig& config = analogConfig(channel);
        const AnalogSummary summary = summarize(channel);
        out << (i ? ",\n" : "\n") << "    {\"number\": " << config.index + 1
            << ", \"id\": " << jsonString(config.channelId)
            << ", \"phase\": " << jsonString(config.phase)
            << ", \"circuitComponent\": " << jsonString(config.circuitComponent)
            << ", \"unit\": " << jsonString(config.unit)
            << ", \"valueUnit\": " << jsonString(KivTools::valueUnit(config))
            << ", \"primary\": " << jsonNumber(config.primary)
            << ", \"secondary\": " << jsonNumber(config.secondary)
            << ", \"ps\": \"" << (config.isSecondary ? 'S' : 'P') << "\""
            << ", \"skew\": " << jsonNumber(channel.skew)
            << ", \"min\": " << jsonNumber(summary.min)
            << ", \"max\": " << jsonNumber(summary.max)
            << ", \"rms\": " << jsonNumber(summary.rms) << "}";
    }
    out << (recording.analogChannels.empty() ? "" : "\n  ") << "],\n";

    out << "  \"statusChannels\": [";
    for (std::size_t i = 0; i < recording.binaryChannels.size(); ++i) {
        const BinaryChannel& channel = recording.binaryChannels[i];
        const BinaryChannelConfig& config = statusConfig(channel);
        const StatusSummary summary = summarize(channel);
        out << (i ? ",\n" : "\n") << "    {\"number\": " << config.index + 1
            << ", \"id\": " << jsonString(config.channelId)
            << ", \"phase\": " << jsonString(config.phase)
            << ", \"circuitComponent\": " << jsonString(config.circuitComponent)
            << ", \"normalState\": " << config.normalState
            << ", \"changes\": " << summary.changes << ", \"firstChange\": "
            << (summary.changed ? jsonNumber(summary.firstChange) : std::string("null")) << "}";
    }
    out << (recording.binaryChannels.empty() ? "" : "\n  ") << "]\n";
    out << "}\n";
    std::cout << out.str();
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
    return text.empty() ? "-" : KivTools::validUtf8(text);
}

// A recording without samples has no minimum, maximum or RMS.
std::string statistic(double value)
{
    return std::isnan(value) ? std::string("-") : formatNumber(value);
}

void printText(const Comtrade& recording, const std::string& path)
{
    const Cfg& cfg = recording.cfg;
    std::ostream& out = std::cout;
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
    out << "Samples         " << recording.dat.samples.size();
    if (recording.dat.samples.size() != cfg.samplesCount)
        out << " (" << cfg.samplesCount << " announced)";
    out << '\n';
    out << "Duration        " << formatNumber(recording.duration) << " s\n";
    out << "Time multiplier " << formatNumber(cfg.timeMultiplier) << '\n';

    out << "\nAnalog channels: " << recording.analogChannels.size()
        << " (min, max and RMS over the recording, in the value unit)\n";
    if (!recording.analogChannels.empty()) {
        Table table({"#", "Identifier", "Phase", "Component", "Unit", "Value unit",
                     "Primary", "Secondary", "P/S", "Skew (s)", "Min", "Max", "RMS"},
                    {true, false, false, false, false, false, true, true, false, true, true,
                     true, true});
        for (const AnalogChannel& channel : recording.analogChannels) {
            const AnalogChannelConfig& config = analogConfig(channel);
            const AnalogSummary summary = summarize(channel);
            table.add({std::to_string(config.index + 1), orDash(config.channelId),
                       orDash(config.phase), orDash(config.circuitComponent),
                       orDash(config.unit), orDash(KivTools::valueUnit(config)),
                       formatNumber(config.primary), formatNumber(config.secondary),
                       config.isSecondary ? "S" : "P", formatNumber(channel.skew),
                       statistic(summary.min), statistic(summary.max),
                       statistic(summary.rms)});
        }
        table.print(out);
    }

    out << "\nStatus channels: " << recording.binaryChannels.size()
        << " (time of the first change in seconds on the recording's time axis)\n";
    if (!recording.binaryChannels.empty()) {
        Table table({"#", "Identifier", "Phase", "Component", "Normal", "Changes",
                     "First change (s)"},
                    {true, false, false, false, true, true, true});
        for (const BinaryChannel& channel : recording.binaryChannels) {
            const BinaryChannelConfig& config = statusConfig(channel);
            const StatusSummary summary = summarize(channel);
            table.add({std::to_string(config.index + 1), orDash(config.channelId),
                       orDash(config.phase), orDash(config.circuitComponent),
                       std::to_string(config.normalState), std::to_string(summary.changes),
                       summary.changed ? formatNumber(summary.firstChange, 9) : "-"});
        }
        table.print(out);
    }
}

void printUsage(std::ostream& out)
{
    out << "usage: comtrade-info [PATH] [--json]\n"
           "  PATH    the .cfg, .dat or .cff file of a COMTRADE recording\n"
           "          (default: the bundled sample recording)\n"
           "  --json  print one JSON document instead of text\n";
}

} // namespace

int main(int argc, char** argv)
{
    bool json = false;
    std::string path;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--json") {
            json = true;
        } else if (arg == "-h" || arg == "--help") {
            printUsage(std::cout);
            return 0;
        } else if (arg == "--") {
            if (i + 2 != argc || !path.empty()) {
                printUsage(std::cerr);
                return KivTools::kExitUsage;
            }
            path = argv[++i];
        } else if (!arg.empty() && arg[0] == '-') {
            std::cerr << "comtrade-info: unknown option " << arg << '\n';
            printUsage(std::cerr);
            return KivTools::kExitUsage;
        } else if (path.empty()) {
            path = arg;
        } else {
            std::cerr << "comtrade-info: more than one PATH given\n";
            printUsage(std::cerr);
            return KivTools::kExitUsage;
        }
    }
    if (path.empty()) {
        path = KivTools::bundledRecordingPath();
        if (path.empty()) {
            std::cerr << "comtrade-info: no PATH given and the bundled recording "
                      << KivTools::kBundledRecording << " was not found\n";
            return KivTools::kExitNoInput;
        }
    }

    Comtrade recording;
    const int code = recording.load(path);
    if (code != 0) {
        std::cerr << "comtrade-info: " << KivTools::describeLoadFailure(recording, path, code)
                  << ".\n";
        return code;
    }
    if (json)
        printJson(recording, path);
    else
        printText(recording, path);
    return 0;
}
