#include "ChannelSelection.h"
#include "CommandLine.h"
#include "TextFormat.h"

#include <KivComtradeLib/ChunkReader.h>
#include <KivComtradeLib/StringHelper.h>
#include <KivComtradeLib/ToUtf8.h>

#include <cmath>
#include <iostream>

namespace KivTools {

namespace {

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
    using KivComtradeLib::StringHelper;
    for (const bool anyCase : {false, true}) {
        const auto same = [&](const KivComtradeLib::BaseChannelConfig& channel) {
            const std::string id = StringHelper::trim(channel.channelId);
            return anyCase ? StringHelper::toLower(id) == StringHelper::toLower(item) : id == item;
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
        const std::string item = KivComtradeLib::StringHelper::trim(field);
        if (item.empty())
            continue;
        ChannelRef ref;
        if (!channelByNumber(cfg, item, ref) && !channelByName(cfg, item, ref))
            throw UsageError{"no channel is called \"" + shown(item) + "\""};
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
                  KivComtradeLib::ColumnarRecording& rec, std::vector<ChannelRef>& refs)
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
    // The tools' zero, as ColumnarRecording::triggerTime gives it.
    double origin = first.count ? first.time[0] : 0.0;
    if (hasTrigger(probe.cfg))
        origin += probe.cfg.triggerOffset;
    try {
        refs = selectChannels(probe.cfg, selection.channels, selection.channelsGiven);
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
        std::cerr << tool << ": " << toUtf8::repairUtf8(rec.report.message) << '\n';
        return kExitUsage;
    }
    return reportLoad(tool, rec.report, code, common.path);
}

} // namespace KivTools
