#include "ToolCommon.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <iostream>
#include <sys/stat.h>
#include <unistd.h>

namespace KivTools {

namespace {

bool isRegularFile(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Folder of the running program, from /proc (Linux); empty when unknown.
std::string programFolder()
{
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return {};
    std::string path(buffer, static_cast<std::size_t>(n));
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
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

std::string asciiLower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// A channel named by its number: "N"/"AN" analog, "DN" status. False when
// the item is no such form; throws when the number is out of range.
bool channelByNumber(const KivComtradeLib::Cfg& cfg, const std::string& item, ChannelRef& ref)
{
    std::size_t number = 0;
    const char first = item.empty() ? '\0' : item[0];
    if (parseNumber(item, number) || ((first == 'A' || first == 'a') && parseNumber(item.substr(1), number)))
        ref.analog = true;
    else if ((first == 'D' || first == 'd') && parseNumber(item.substr(1), number))
        ref.analog = false;
    else
        return false;
    const std::size_t count = ref.analog ? cfg.analogChannels.size() : cfg.binaryChannels.size();
    if (number > count)
        throw UsageError{"there is no " + std::string(ref.analog ? "analog" : "status") + " channel " +
                         std::to_string(number) + ": the recording has " + std::to_string(count)};
    ref.position = number - 1;
    return true;
}

bool channelByName(const KivComtradeLib::Cfg& cfg, const std::string& item, ChannelRef& ref)
{
    for (const bool anyCase : {false, true}) {
        const auto same = [&](const KivComtradeLib::BaseChannelConfig& channel) {
            const std::string id = trimmed(channel.channelId);
            return anyCase ? asciiLower(id) == asciiLower(item) : id == item;
        };
        for (std::size_t i = 0; i < cfg.analogChannels.size(); ++i)
            if (same(cfg.analogChannels[i])) {
                ref = {true, i};
                return true;
            }
        for (std::size_t i = 0; i < cfg.binaryChannels.size(); ++i)
            if (same(cfg.binaryChannels[i])) {
                ref = {false, i};
                return true;
            }
    }
    return false;
}

} // namespace

KivComtradeLib::LoadOptions CommonOptions::loadOptions() const
{
    KivComtradeLib::LoadOptions options;
    options.encoding = encoding;
    return options;
}

void addCommonOptions(CLI::App& app, CommonOptions& options)
{
    app.add_option("PATH", options.path,
                   "the .cfg, .dat or .cff file of a COMTRADE recording (default: the bundled sample)");
    app.add_option("--encoding", options.encoding,
                   "encoding of the configuration's texts: UTF-8, CP866, CP1251, CP1252, Latin-1, "
                   "GB18030 (default: detected)");
}

int parseCommandLine(CLI::App& app, int argc, char** argv)
{
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::cout << app.help();
        return 0;
    } catch (const CLI::ParseError& error) {
        std::cerr << app.get_name() << ": " << error.what() << '\n' << app.help();
        return kExitUsage;
    }
    return -1;
}

int resolvePath(const std::string& tool, std::string& path)
{
    if (!path.empty())
        return 0;
    path = bundledRecordingPath();
    if (!path.empty())
        return 0;
    std::cerr << tool << ": no PATH given and the bundled recording " << kBundledRecording
              << " was not found\n";
    return kExitNoInput;
}

int reportLoad(const std::string& tool, const KivComtradeLib::LoadReport& report, int code,
               const std::string& path)
{
    if (code != 0) {
        const std::string why = report.message.empty()
                                    ? path + ": cannot be loaded (result code " + std::to_string(code) + ")"
                                    : report.message;
        std::cerr << tool << ": " << validUtf8(why) << '\n';
        return code;
    }
    for (const std::string& warning : report.warnings)
        std::cerr << tool << ": warning: " << validUtf8(warning) << '\n';
    return 0;
}

std::string bundledRecordingPath()
{
    std::vector<std::string> folders;
    const std::string program = programFolder();
    if (!program.empty())
        folders.push_back(program + "/" + KIVCOMTRADE_TOOL_RELATIVE_SAMPLES);
    folders.emplace_back(KIVCOMTRADE_TOOL_SOURCE_SAMPLES);
    folders.emplace_back(KIVCOMTRADE_TOOL_INSTALL_SAMPLES);
    for (const std::string& folder : folders) {
        const std::string candidate = folder + "/" + kBundledRecording;
        if (isRegularFile(candidate))
            return candidate;
    }
    return {};
}

std::vector<ChannelRef> selectChannels(const KivComtradeLib::Cfg& cfg, const std::string& list, bool given)
{
    std::vector<ChannelRef> channels;
    if (!given) {
        for (std::size_t i = 0; i < cfg.analogChannels.size(); ++i)
            channels.push_back({true, i});
        for (std::size_t i = 0; i < cfg.binaryChannels.size(); ++i)
            channels.push_back({false, i});
        return channels;
    }
    for (const std::string& field : KivComtradeLib::StringHelper::split(list, ',')) {
        const std::string item = trimmed(field);
        if (item.empty())
            continue;
        ChannelRef ref;
        if (!channelByNumber(cfg, item, ref) && !channelByName(cfg, item, ref))
            throw UsageError{"no channel is called \"" + validUtf8(item) + "\""};
        channels.push_back(ref);
    }
    if (channels.empty())
        throw UsageError{"--channels names no channel: give numbers (1, A1, D1) or identifiers, "
                         "separated by commas"};
    return channels;
}

bool hasTrigger(const KivComtradeLib::Cfg& cfg)
{
    return std::isfinite(cfg.triggerOffset);
}

double timeOrigin(const KivComtradeLib::Cfg& cfg, double firstSampleTime)
{
    return firstSampleTime + (hasTrigger(cfg) ? cfg.triggerOffset : 0.0);
}

Window resolveWindow(bool haveFrom, double from, bool haveTo, double to, double first, double last)
{
    Window window{haveFrom ? from : first, haveTo ? to : last};
    if (!std::isfinite(window.from) || !std::isfinite(window.to))
        throw UsageError{"--from and --to need finite numbers of seconds"};
    const std::string runs = " (the recording runs from " + formatNumber(first) + " to " + formatNumber(last) + " s)";
    if (window.from > last)
        throw UsageError{"the window starts after the recording ends: --from is " + formatNumber(window.from) +
                         " s" + runs};
    if (window.to < first)
        throw UsageError{"the window ends before the recording starts: --to is " + formatNumber(window.to) +
                         " s" + runs};
    if (window.to < window.from || (window.to == window.from && (haveFrom || haveTo)))
        throw UsageError{"the window is empty: --to (" + formatNumber(window.to) +
                         " s) must be greater than --from (" + formatNumber(window.from) + " s)"};
    return window;
}

int loadSelection(const std::string& tool, const CommonOptions& common, const Selection& selection,
                  KivComtradeLib::ColumnarRecording& rec, std::vector<ChannelRef>& refs, double& origin)
{
    // The configuration and the first record's time, for the channel names
    // and the time axis; then only the selection is read.
    KivComtradeLib::LoadOptions options = common.loadOptions();
    KivComtradeLib::ChunkReader probe;
    int code = probe.open(common.path, 1, options);
    KivComtradeLib::ColumnChunk first;
    if (code == 0 && !probe.next(first))
        code = probe.report.result;
    if (code != 0 && code != 7) // a recording without a record is the full load's to report
        return reportLoad(tool, probe.report, code, common.path);
    try {
        refs = selectChannels(probe.cfg, selection.channels, selection.channelsGiven);
        origin = timeOrigin(probe.cfg, first.count ? first.time[0] : 0.0);
        if ((selection.haveFrom && !std::isfinite(selection.from)) || (selection.haveTo && !std::isfinite(selection.to)))
            throw UsageError{"--from and --to need finite numbers of seconds"};
        if (selection.haveFrom && selection.haveTo && selection.to <= selection.from)
            throw UsageError{"the window is empty: --to (" + formatNumber(selection.to) +
                             " s) must be greater than --from (" + formatNumber(selection.from) + " s)"};
    } catch (const UsageError& error) {
        std::cerr << tool << ": " << error.message << ".\n";
        return kExitUsage;
    }
    if (selection.channelsGiven)
        for (const ChannelRef& ref : refs)
            (ref.analog ? options.analogIndices : options.statusIndices).push_back(ref.position);
    if (selection.haveFrom)
        options.windowFrom = selection.from + origin;
    if (selection.haveTo)
        options.windowTo = selection.to + origin;
    code = rec.load(common.path, options);
    if (code == 7) {
        std::cerr << tool << ": " << validUtf8(rec.report.message) << '\n';
        return kExitUsage;
    }
    return reportLoad(tool, rec.report, code, common.path);
}

std::string validUtf8(const std::string& bytes)
{
    static const char replacement[] = "\xEF\xBF\xBD";
    std::string out;
    out.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char c = p[i];
        std::size_t length = 0;
        unsigned lowest = 0;
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
            lowest = 0x80;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            lowest = 0x800;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            lowest = 0x10000;
        }
        bool ok = length != 0 && i + length <= n;
        unsigned codePoint = ok ? (c & (0x7Fu >> length)) : 0;
        for (std::size_t k = 1; ok && k < length; ++k) {
            if ((p[i + k] & 0xC0) != 0x80)
                ok = false;
            else
                codePoint = (codePoint << 6) | (p[i + k] & 0x3Fu);
        }
        // No overlong forms, no surrogates, nothing past U+10FFFF.
        if (ok && (codePoint < lowest || (codePoint >= 0xD800 && codePoint <= 0xDFFF) || codePoint > 0x10FFFF))
            ok = false;
        if (ok) {
            out.append(bytes, i, length);
            i += length;
        } else {
            out += replacement;
            ++i;
        }
    }
    return out;
}

std::string displayText(const std::string& bytes)
{
    return trimmed(validUtf8(toUtf8::detectAndConvert(bytes)));
}

std::string trimmed(const std::string& text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && blank(text[begin]))
        ++begin;
    while (end > begin && blank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

std::size_t utf8Length(const std::string& text)
{
    std::size_t count = 0;
    for (const char c : text)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++count;
    return count;
}

std::string channelName(const KivComtradeLib::BaseChannelConfig& channel)
{
    return trimmed(validUtf8(channel.channelId));
}

std::string valueUnit(const KivComtradeLib::AnalogChannelConfig& channel)
{
    const std::string unit = trimmed(validUtf8(channel.unit));
    if (channel.multiplier != 1.0 && unit.size() >= 2)
        return unit.substr(1);
    return unit;
}

std::string formatDateTime(const KivComtradeLib::DateTime& time)
{
    if (!time.valid)
        return time.text.empty() ? "-" : trimmed(validUtf8(time.text));
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", time.year, time.month, time.day,
                  time.hour, time.minute, time.second);
    std::string text = buffer;
    if (time.fractionDigits > 0) {
        std::snprintf(buffer, sizeof buffer, "%09lld", time.nanosecond);
        text += '.';
        text += std::string(buffer).substr(0, static_cast<std::size_t>(std::min(time.fractionDigits, 9)));
    }
    return text;
}

const char* dataFileTypeName(KivComtradeLib::Enums::DataFileType type)
{
    switch (type) {
    case KivComtradeLib::Enums::Binary:
        return "BINARY";
    case KivComtradeLib::Enums::Binary32:
        return "BINARY32";
    case KivComtradeLib::Enums::Float32:
        return "FLOAT32";
    case KivComtradeLib::Enums::Ascii:
    default:
        return "ASCII";
    }
}

std::string formatNumber(double value, int digits)
{
    if (std::isnan(value))
        return "nan";
    if (std::isinf(value))
        return value > 0 ? "inf" : "-inf";
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*g", digits, value);
    std::string text = buffer;
    if (text == "-0")
        text = "0";
    return text;
}

std::string exactNumber(double value)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general);
    return std::string(buffer, result.ptr);
}

std::string timeNumber(double seconds)
{
    // Times relative to the trigger carry the rounding of the subtraction
    // (-0.001999999999999995): no recording times finer than a nanosecond.
    return exactNumber(std::round(seconds * 1e9) / 1e9);
}

} // namespace KivTools
