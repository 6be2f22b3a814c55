// comtrade-info [PATH] [--json] [--at T [--reference NAME]] [--encoding NAME]
//
// Loads a COMTRADE recording (the path of its .cfg, .dat or .cff file) and
// prints what its configuration says together with a summary of its values:
// per analog channel the minimum, maximum and RMS over the whole recording
// (values the data file marks as missing left out), per status channel the
// number of changes of state and the time of the first. With no PATH it opens
// the bundled sample recording. With --at T it also measures every analog
// channel over the cycle ending at T (value, RMS, phasor magnitude and angle)
// and gives the sequence components of each three-phase group.
//
// Exit status: 0 success; 1-6 the library's load result code (the load
// report's sentence on stderr); 64 bad command line; 66 no PATH and no
// bundled recording found.

#include "ToolCommon.h"

#include <KivComtradeLib/KivComtradeLib.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <complex>
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

const AnalogChannelConfig& analogConfig(const AnalogChannel& channel)
{
    return static_cast<const AnalogChannelConfig&>(channel.config);
}

const BinaryChannelConfig& statusConfig(const BinaryChannel& channel)
{
    return static_cast<const BinaryChannelConfig&>(channel.config);
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

json recordingJson(const Comtrade& recording, const std::string& path)
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
            {"samples", recording.dat.samples.size()},
            {"duration", number(recording.duration)},
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

struct Measures;
json measuresJson(const Comtrade& recording, const Measures& m);

// With `measures`, the document's "at" member holds them.
void printJson(const Comtrade& recording, const std::string& path, const Measures* measures)
{
    json document = recordingJson(recording, path);
    json& analog = document["analogChannels"] = json::array();
    for (const AnalogChannel& channel : recording.analogChannels) {
        const AnalogChannelConfig& config = analogConfig(channel);
        const AnalogSummary summary = summarize(channel);
        analog.push_back({{"number", config.index + 1},
                          {"id", KivTools::channelName(config)},
                          {"phase", KivTools::trimmed(KivTools::validUtf8(config.phase))},
                          {"circuitComponent", KivTools::trimmed(KivTools::validUtf8(config.circuitComponent))},
                          {"unit", KivTools::trimmed(KivTools::validUtf8(config.unit))},
                          {"valueUnit", KivTools::valueUnit(config)},
                          {"primary", number(config.primary)},
                          {"secondary", number(config.secondary)},
                          {"ps", config.isSecondary ? "S" : "P"},
                          {"skew", number(channel.skew)},
                          {"min", number(summary.min)},
                          {"max", number(summary.max)},
                          {"rms", number(summary.rms)}});
    }
    json& status = document["statusChannels"] = json::array();
    for (const BinaryChannel& channel : recording.binaryChannels) {
        const BinaryChannelConfig& config = statusConfig(channel);
        const StatusSummary summary = summarize(channel);
        status.push_back({{"number", config.index + 1},
                          {"id", KivTools::channelName(config)},
                          {"phase", KivTools::trimmed(KivTools::validUtf8(config.phase))},
                          {"circuitComponent", KivTools::trimmed(KivTools::validUtf8(config.circuitComponent))},
                          {"normalState", config.normalState},
                          {"changes", summary.changes},
                          {"firstChange", summary.changed ? number(summary.firstChange) : json(nullptr)}});
    }
    if (measures)
        document["at"] = measuresJson(recording, *measures);
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

void printTimes(const Comtrade& recording, std::ostream& out)
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

void printConfiguration(const Comtrade& recording, const std::string& path, std::ostream& out)
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
    out << "Samples         " << recording.dat.samples.size();
    if (recording.dat.samples.size() != cfg.samplesCount)
        out << " (" << cfg.samplesCount << " announced)";
    out << '\n';
    out << "Duration        " << formatNumber(recording.duration) << " s\n";
    out << "Time multiplier " << formatNumber(cfg.timeMultiplier) << '\n';
    printTimes(recording, out);
}

void printChannels(const Comtrade& recording, std::ostream& out)
{
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

// ---- Measures at one time -----------------------------------------------------

constexpr double kPi = 3.14159265358979323846;
const double kNaN = std::numeric_limits<double>::quiet_NaN();

struct ChannelAt {
    std::size_t channel = 0;
    double value = kNaN;      // instantaneous, on the straight line between samples
    double rms = kNaN;
    double magnitude = kNaN;  // phasor, RMS
    double angle = kNaN;      // degrees, against the reference
};

struct GroupAt {
    Analysis::PhaseGroup group;
    Analysis::SequenceComponents components;
};

// What --at T shows: T on the tools' axis, the reference channel (none:
// angles on the tools' time axis, cos(w0 t) at 0 degrees).
struct Measures {
    double at = 0.0;
    bool haveReference = false;
    std::size_t reference = 0;
    Analysis::Phasor referencePhasor; // angles are measured against it
    std::vector<ChannelAt> channels;
    std::vector<GroupAt> groups;
};

bool isVoltage(const AnalogChannelConfig& config)
{
    const std::string unit = KivTools::valueUnit(config);
    return unit == "V" || unit == "v" || unit == "\xD0\x92"; // V, Cyrillic В
}

// Angle (degrees, -180..180] of x against ref; NaN when either is.
double angleAgainst(Analysis::Phasor x, Analysis::Phasor ref)
{
    const Analysis::Phasor ratio = x * std::conj(ref);
    if (!std::isfinite(ratio.real()) || !std::isfinite(ratio.imag()) || std::abs(ref) == 0)
        return kNaN;
    const double degrees = std::arg(ratio) * 180 / kPi;
    return degrees <= -180 ? degrees + 360 : degrees;
}

// Throws UsageError for a time outside the recording or an unknown or
// status reference channel.
Measures measure(const Comtrade& recording, double at, const std::string& referenceName,
                 bool referenceGiven)
{
    const Cfg& cfg = recording.cfg;
    const auto& samples = recording.dat.samples;
    if (samples.empty())
        throw KivTools::UsageError{"the recording holds no samples to measure"};
    const double origin = KivTools::timeOrigin(cfg, samples.front().time);
    const double first = samples.front().time - origin, last = samples.back().time - origin;
    if (!std::isfinite(at) || at < first || at > last)
        throw KivTools::UsageError{"--at " + formatNumber(at) + " s lies outside the recording (it runs from " +
                                   formatNumber(first) + " to " + formatNumber(last) + " s)"};
    Measures m;
    m.at = at;
    const double t = at + origin;
    const std::vector<Analysis::PhaseGroup> groups = Analysis::phaseGroups(cfg);
    if (referenceGiven) {
        const auto refs = KivTools::selectChannels(cfg, referenceName, true);
        if (refs.size() != 1 || !refs[0].analog)
            throw KivTools::UsageError{"--reference must name one analog channel"};
        m.haveReference = true;
        m.reference = refs[0].position;
    } else {
        // The first phase-A voltage, else the first phase A of any group.
        for (const auto& group : groups)
            if (!m.haveReference && isVoltage(cfg.analogChannels[group.channels[0]]))
                m.haveReference = true, m.reference = group.channels[0];
        if (!m.haveReference && !groups.empty())
            m.haveReference = true, m.reference = groups.front().channels[0];
    }

    std::vector<Analysis::Phasor> phasors;
    for (std::size_t c = 0; c < recording.analogChannels.size(); ++c) {
        const AnalogChannel& channel = recording.analogChannels[c];
        const Analysis::Signal signal = Analysis::channelSignal(channel, cfg.lineFrequency);
        ChannelAt row;
        row.channel = c;
        unsigned int hint = 0;
        row.value = channel.getValue(t, hint);
        row.rms = Analysis::rms(signal, t);
        phasors.push_back(Analysis::phasor(signal, t));
        row.magnitude = std::abs(phasors.back());
        m.channels.push_back(row);
    }
    // Without a reference, angles are on the tools' axis: X e^{j w0 origin}.
    m.referencePhasor = m.haveReference
                            ? phasors[m.reference]
                            : std::polar(1.0, -std::fmod(2 * kPi * cfg.lineFrequency * origin, 2 * kPi));
    for (std::size_t c = 0; c < phasors.size(); ++c)
        m.channels[c].angle = angleAgainst(phasors[c], m.referencePhasor);
    for (const auto& group : groups) {
        const auto& ch = group.channels;
        m.groups.push_back({group, Analysis::sequence(phasors[ch[0]], phasors[ch[1]], phasors[ch[2]])});
    }
    return m;
}

std::string referenceText(const Comtrade& recording, const Measures& m)
{
    return m.haveReference ? KivTools::channelName(recording.cfg.analogChannels[m.reference])
                           : std::string("the time axis (cos at 0 s)");
}

// Degrees to the hundredth: finer is below what a one-cycle filter settles to.
std::string angleText(double degrees)
{
    if (!std::isfinite(degrees))
        return "-";
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.2f", degrees);
    return std::string(buffer) == "-0.00" ? "0.00" : buffer;
}

json componentJson(Analysis::Phasor x, const Measures& m)
{
    return {{"magnitude", number(std::abs(x))}, {"angle", number(angleAgainst(x, m.referencePhasor))}};
}

json measuresJson(const Comtrade& recording, const Measures& m)
{
    const Cfg& cfg = recording.cfg;
    json channels = json::array();
    for (const ChannelAt& row : m.channels) {
        const AnalogChannelConfig& config = cfg.analogChannels[row.channel];
        channels.push_back({{"number", row.channel + 1},
                            {"id", KivTools::channelName(config)},
                            {"valueUnit", KivTools::valueUnit(config)},
                            {"value", number(row.value)},
                            {"rms", number(row.rms)},
                            {"magnitude", number(row.magnitude)},
                            {"angle", number(row.angle)}});
    }
    json groups = json::array();
    for (const GroupAt& g : m.groups) {
        json numbers = json::array();
        for (std::size_t c : g.group.channels)
            numbers.push_back(c + 1);
        groups.push_back({{"circuitComponent", KivTools::validUtf8(g.group.circuit)},
                          {"valueUnit", KivTools::valueUnit(cfg.analogChannels[g.group.channels[0]])},
                          {"channels", numbers},
                          {"zero", componentJson(g.components.zero, m)},
                          {"positive", componentJson(g.components.positive, m)},
                          {"negative", componentJson(g.components.negative, m)}});
    }
    return {{"time", number(m.at)},
            {"reference", m.haveReference ? json(referenceText(recording, m)) : json(nullptr)},
            {"analogChannels", channels},
            {"phaseGroups", groups}};
}

void printMeasures(const Comtrade& recording, const Measures& m, std::ostream& out)
{
    const Cfg& cfg = recording.cfg;
    out << "\nAt " << formatNumber(m.at, 9) << " s: the cycle of " << formatNumber(cfg.lineFrequency)
        << " Hz ending there (RMS values; angles in degrees against " << referenceText(recording, m) << ")\n";
    Table channels({"#", "Identifier", "Value unit", "Value", "RMS", "Phasor", "Angle"},
                   {true, false, false, true, true, true, true});
    for (const ChannelAt& row : m.channels) {
        const AnalogChannelConfig& config = cfg.analogChannels[row.channel];
        channels.add({std::to_string(row.channel + 1), orDash(config.channelId),
                      orDash(KivTools::valueUnit(config)), statistic(row.value), statistic(row.rms),
                      statistic(row.magnitude), angleText(row.angle)});
    }
    channels.print(out);
    if (m.groups.empty())
        return;
    out << "\nSequence components of the three-phase groups\n";
    Table groups({"Channels", "Component", "Value unit", "Zero", "Angle", "Positive", "Angle",
                  "Negative", "Angle"},
                 {false, false, false, true, true, true, true, true, true});
    for (const GroupAt& g : m.groups) {
        std::string names;
        for (std::size_t c : g.group.channels)
            names += (names.empty() ? "" : ",") + KivTools::channelName(cfg.analogChannels[c]);
        const auto& s = g.components;
        groups.add({names, orDash(g.group.circuit),
                    orDash(KivTools::valueUnit(cfg.analogChannels[g.group.channels[0]])),
                    statistic(std::abs(s.zero)), angleText(angleAgainst(s.zero, m.referencePhasor)),
                    statistic(std::abs(s.positive)), angleText(angleAgainst(s.positive, m.referencePhasor)),
                    statistic(std::abs(s.negative)), angleText(angleAgainst(s.negative, m.referencePhasor))});
    }
    groups.print(out);
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
    double at = 0.0;
    std::string reference;
    CLI::Option* atOption = app.add_option(
        "--at", at, "also measure every analog channel at T s from the trigger (or the first sample): "
                    "value, RMS, phasor, and the sequence components of each three-phase group");
    app.add_option("--reference", reference,
                   "channel the --at angles are measured against (default: the first phase-A voltage)")
        ->needs(atOption);
    if (const int code = KivTools::parseCommandLine(app, argc, argv); code >= 0)
        return code;
    if (const int code = KivTools::resolvePath("comtrade-info", common.path); code != 0)
        return code;

    Comtrade recording;
    const int loaded = recording.load(common.path, common.loadOptions());
    if (const int code = KivTools::reportLoad("comtrade-info", recording.report, loaded, common.path); code != 0)
        return code;
    Measures measures;
    const bool measuring = app.count("--at") > 0;
    if (measuring) {
        try {
            measures = measure(recording, at, reference, app.count("--reference") > 0);
        } catch (const KivTools::UsageError& error) {
            std::cerr << "comtrade-info: " << error.message << ".\n";
            return KivTools::kExitUsage;
        }
    }
    if (json) {
        printJson(recording, common.path, measuring ? &measures : nullptr);
        return 0;
    }
    printConfiguration(recording, common.path, std::cout);
    printChannels(recording, std::cout);
    if (measuring)
        printMeasures(recording, measures, std::cout);
    return 0;
}
