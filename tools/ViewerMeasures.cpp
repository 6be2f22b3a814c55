// The measures of comtrade-view's page, taken with the library's analysis
// unit.
#include "ViewerMeasures.h"

#include <KivComtradeLib/ToUtf8.h>
#include <KivComtradeLib/Analysis.h>

#include <algorithm>
#include <cmath>

namespace KivTools {

namespace {

using namespace KivComtradeLib;

float degrees(const std::complex<double>& z)
{
    return static_cast<float>(std::arg(z) * 180.0 / 3.14159265358979323846);
}

} // namespace

std::vector<std::size_t> cycleEnds(const std::vector<double>& time, std::size_t first, std::size_t last,
                                   double frequency)
{
    std::vector<std::size_t> at;
    if (!(frequency > 0.0) || !std::isfinite(frequency) || first >= last || last > time.size())
        return at;
    const double period = 1.0 / frequency;
    std::size_t n = first;
    for (double k = 1.0;; k += 1.0) {
        const double t = time[first] + k * period;
        if (t > time[last - 1] + period * 1e-9)
            break;
        while (n + 1 < last && time[n + 1] <= t)
            ++n;
        const std::size_t nearest = n + 1 < last && time[n + 1] - t < t - time[n] ? n + 1 : n;
        if (at.empty() || nearest > at.back())
            at.push_back(nearest);
    }
    return at;
}

ChannelMeasures measureChannel(const ColumnarRecording& rec, std::size_t channel, const std::vector<std::size_t>& at)
{
    const Analysis::Signal signal = Analysis::channelSignal(rec, channel);
    std::vector<double> rms(at.size());
    ChannelMeasures out;
    out.phasor.resize(at.size());
    Analysis::rmsPhasorAt(signal, at.data(), at.size(), rms.data(), out.phasor.data());
    out.rms.resize(at.size());
    out.magnitude.resize(at.size());
    out.angle.resize(at.size());
    for (std::size_t k = 0; k < at.size(); ++k) {
        const Analysis::Phasor z = out.phasor[k];
        out.rms[k] = static_cast<float>(rms[k]);
        out.magnitude[k] = static_cast<float>(std::abs(z));
        out.angle[k] = degrees(z);
    }
    return out;
}

std::vector<LaneGroup> laneGroups(const Cfg& cfg, const std::vector<ChannelRef>& lanes)
{
    std::vector<LaneGroup> groups;
    for (const Analysis::PhaseGroup& group : Analysis::phaseGroups(cfg)) {
        LaneGroup found;
        int matched = 0;
        for (int p = 0; p < 3; ++p)
            for (std::size_t lane = 0; lane < lanes.size(); ++lane)
                if (lanes[lane].analog && lanes[lane].position == group.channels[p]) {
                    found.lanes[p] = lane;
                    ++matched;
                    break;
                }
        if (matched < 3)
            continue;
        const std::string circuit = toUtf8::repairUtf8(group.circuit);
        found.name = (circuit.empty() ? std::string("3-phase") : circuit) + " (" +
                     toUtf8::repairUtf8(valueUnit(cfg.analogChannels[group.channels[0]])) + ")";
        groups.push_back(found);
    }
    return groups;
}

SequenceMeasures sequenceOf(const ChannelMeasures& a, const ChannelMeasures& b, const ChannelMeasures& c)
{
    SequenceMeasures out;
    const std::size_t count = a.phasor.size();
    for (int s = 0; s < 3; ++s) {
        out.magnitude[s].resize(count);
        out.angle[s].resize(count);
    }
    for (std::size_t k = 0; k < count; ++k) {
        const Analysis::SequenceComponents parts = Analysis::sequence(a.phasor[k], b.phasor[k], c.phasor[k]);
        const Analysis::Phasor each[3] = {parts.zero, parts.positive, parts.negative};
        for (int s = 0; s < 3; ++s) {
            out.magnitude[s][k] = static_cast<float>(std::abs(each[s]));
            out.angle[s][k] = degrees(each[s]);
        }
    }
    return out;
}

} // namespace KivTools
