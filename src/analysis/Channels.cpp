// The channels of the two stores as Signals, and the three-phase groups of a
// configuration.

#include <KivComtradeLib/Analysis.h>

#include <KivComtradeLib/ColumnarRecording.h>
#include <KivComtradeLib/Comtrade.h>
#include <KivComtradeLib/StringHelper.h>

#include <algorithm>
#include <limits>
#include <map>
#include <stdexcept>
#include <utility>

namespace KivComtradeLib {
namespace Analysis {

namespace {

[[noreturn]] void unknownChannel(std::size_t channel, std::size_t count)
{
    throw std::out_of_range("analog channel " + std::to_string(channel) + " of " +
                            std::to_string(count));
}

std::string trim(const std::string& text)
{
    const char* blanks = " \t\r\n";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// Cyrillic capital and small letters that stand for A, B, C and N in UTF-8:
// А а, В в, С с, Н н.
int cyrillicLetter(const std::string& s, std::size_t at)
{
    if (at + 1 >= s.size())
        return 0;
    const auto b0 = static_cast<unsigned char>(s[at]);
    const auto b1 = static_cast<unsigned char>(s[at + 1]);
    if (b0 == 0xD0 && (b1 == 0x90 || b1 == 0xB0))
        return 'a';
    if (b0 == 0xD0 && (b1 == 0x92 || b1 == 0xB2))
        return 'b';
    if ((b0 == 0xD0 && b1 == 0xA1) || (b0 == 0xD1 && b1 == 0x81))
        return 'c';
    if (b0 == 0xD0 && (b1 == 0x9D || b1 == 0xBD))
        return 'n';
    return 0;
}

// The text with the Cyrillic letters above as their Latin ones, in lower case.
std::string folded(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        if (const int latin = cyrillicLetter(text, i)) {
            out += static_cast<char>(latin);
            i += 2;
        } else {
            out += text[i];
            ++i;
        }
    }
    return StringHelper::toLower(out);
}

} // namespace

Signal channelSignal(const ColumnarRecording& recording, std::size_t channel)
{
    const std::size_t channels = recording.cfg.analogChannels.size();
    const double* row = recording.analogRow(channel);
    if (channel >= channels || !row)
        unknownChannel(channel, channels);
    return Signal(recording.time.data(), row, recording.count, recording.cfg.lineFrequency,
                  recording.cfg.analogChannels[channel].skew);
}

Signal channelSignal(const AnalogChannel& channel, double lineFrequency)
{
    // A Comtrade keeps one Sample per record: the times and this channel's
    // values are gathered into `storage`, times first.
    const std::size_t count = channel.samples.size();
    const auto position = static_cast<std::size_t>(channel.config.index);
    Signal signal;
    signal.storage.resize(2 * count);
    for (std::size_t n = 0; n < count; ++n) {
        const Sample& sample = channel.samples[n];
        signal.storage[n] = sample.time;
        signal.storage[count + n] = position < sample.analogValues.size()
                                        ? sample.analogValues[position]
                                        : std::numeric_limits<double>::quiet_NaN();
    }
    signal.time = signal.storage.data();
    signal.values = signal.storage.data() + count;
    signal.count = count;
    signal.lineFrequency = lineFrequency;
    signal.skew = channel.skew;
    return signal;
}

Signal channelSignal(const Comtrade& recording, std::size_t channel)
{
    if (channel >= recording.analogChannels.size())
        unknownChannel(channel, recording.analogChannels.size());
    return channelSignal(recording.analogChannels[channel], recording.cfg.lineFrequency);
}

int phaseIndex(const std::string& phase)
{
    std::string p = folded(trim(phase));
    // Phase to neutral: AN, L1N.
    if (p.size() >= 2 && p.back() == 'n')
        p.pop_back();
    if (p == "a" || p == "l1" || p == "r")
        return 0;
    if (p == "b" || p == "l2" || p == "s")
        return 1;
    if (p == "c" || p == "l3" || p == "t")
        return 2;
    return -1;
}

namespace {

// Phase of a channel: its phase field, else its identifier without the
// leading quantity letter and separators ("IA", "Ub", "V_L1").
int channelPhase(const BaseChannelConfig& channel)
{
    const int fromField = phaseIndex(channel.phase);
    if (fromField >= 0)
        return fromField;
    std::string id = folded(trim(channel.channelId));
    if (id.size() < 2 || (id[0] != 'i' && id[0] != 'u' && id[0] != 'v'))
        return -1;
    id.erase(0, 1);
    const std::size_t letters = id.find_first_not_of("_-. ");
    return letters == std::string::npos ? -1 : phaseIndex(id.substr(letters));
}

} // namespace

std::vector<PhaseGroup> phaseGroups(const Cfg& cfg)
{
    // Per (circuit, unit): the channels of each phase, in file order.
    std::map<std::pair<std::string, std::string>, std::array<std::vector<std::size_t>, 3>> byKey;
    for (std::size_t i = 0; i < cfg.analogChannels.size(); ++i) {
        const AnalogChannelConfig& channel = cfg.analogChannels[i];
        const int phase = channelPhase(channel);
        if (phase < 0)
            continue;
        const auto key = std::make_pair(trim(channel.circuitComponent),
                                        StringHelper::toLower(trim(channel.unit)));
        byKey[key][static_cast<std::size_t>(phase)].push_back(i);
    }
    std::vector<PhaseGroup> groups;
    for (const auto& entry : byKey) {
        const auto& phases = entry.second;
        const std::size_t sets = std::min({phases[0].size(), phases[1].size(), phases[2].size()});
        for (std::size_t k = 0; k < sets; ++k) {
            PhaseGroup group;
            group.circuit = entry.first.first;
            group.channels = {phases[0][k], phases[1][k], phases[2][k]};
            group.unit = trim(cfg.analogChannels[group.channels[0]].unit);
            groups.push_back(std::move(group));
        }
    }
    std::sort(groups.begin(), groups.end(), [](const PhaseGroup& x, const PhaseGroup& y) {
        return x.channels[0] < y.channels[0];
    });
    return groups;
}

namespace {

template <class Recording>
SequenceComponents sequenceOf(const Recording& recording, const PhaseGroup& group, double t)
{
    Phasor p[3];
    for (std::size_t k = 0; k < 3; ++k)
        p[k] = phasor(channelSignal(recording, group.channels[k]), t);
    return sequence(p[0], p[1], p[2]);
}

} // namespace

SequenceComponents sequenceAt(const ColumnarRecording& recording, const PhaseGroup& group, double t)
{
    return sequenceOf(recording, group, t);
}

SequenceComponents sequenceAt(const Comtrade& recording, const PhaseGroup& group, double t)
{
    return sequenceOf(recording, group, t);
}

} // namespace Analysis
} // namespace KivComtradeLib
