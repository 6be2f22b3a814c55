// The measures of comtrade-view's page.
#include "ViewerMeasures.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace KivTools {

namespace {

using namespace KivComtradeLib;

constexpr double kPi = 3.14159265358979323846;

float degrees(const std::complex<double>& z)
{
    return static_cast<float>(std::arg(z) * 180.0 / kPi);
}

int phaseOf(const AnalogChannelConfig& config)
{
    std::string phase = trimmed(config.phase);
    for (char& c : phase)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    if (phase == "A" || phase == "L1" || phase == "R" || phase == "AN" || phase == "L1N")
        return 0;
    if (phase == "B" || phase == "L2" || phase == "S" || phase == "BN" || phase == "L2N")
        return 1;
    if (phase == "C" || phase == "L3" || phase == "T" || phase == "CN" || phase == "L3N")
        return 2;
    return -1;
}

} // namespace

std::vector<double> cycleEnds(double first, double last, double frequency)
{
    std::vector<double> at;
    if (!(frequency > 0.0) || !std::isfinite(frequency) || !(last >= first))
        return at;
    const double period = 1.0 / frequency;
    for (double k = 1.0; first + k * period <= last + period * 1e-9; k += 1.0)
        at.push_back(first + k * period);
    return at;
}

ChannelMeasures measureChannel(const ColumnarRecording& rec, std::size_t channel, const std::vector<double>& at)
{
    // One DFT over the samples of the cycle ending at each time.
    const double* time = rec.time.data();
    const double* values = rec.analogRow(channel);
    const double frequency = rec.cfg.lineFrequency;
    const double nan = std::nan("");
    ChannelMeasures out;
    out.rms.assign(at.size(), static_cast<float>(nan));
    out.magnitude = out.angle = out.rms;
    out.phasor.assign(at.size(), {nan, nan});
    std::vector<double> cosines, sines;
    double sampleStep = 0.0;
    for (std::size_t k = 0; k < at.size(); ++k) {
        const std::size_t end = static_cast<std::size_t>(std::upper_bound(time, time + rec.count, at[k] + 1e-9) - time);
        if (end < 2)
            continue;
        const double step = time[end - 1] - time[end - 2];
        const auto n = static_cast<std::size_t>(std::llround(1.0 / (frequency * step)));
        if (n < 4 || n > end)
            continue;
        const std::size_t begin = end - n;
        if (cosines.size() != n || std::fabs(sampleStep - step) > 1e-9 * step) {
            cosines.resize(n);
            sines.resize(n);
            sampleStep = step;
            for (std::size_t i = 0; i < n; ++i) {
                cosines[i] = std::cos(2.0 * kPi * frequency * step * static_cast<double>(i));
                sines[i] = std::sin(2.0 * kPi * frequency * step * static_cast<double>(i));
            }
        }
        // Sum of v e^{-j w (t_begin + i step)}: the window's own sum turned by
        // the phase of its first sample.
        double squares = 0.0, re = 0.0, im = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            const double v = values[begin + i];
            squares += v * v;
            re += v * cosines[i];
            im -= v * sines[i];
        }
        const std::complex<double> sum = std::complex<double>(re, im) *
                                         std::polar(1.0, -2.0 * kPi * frequency * time[begin]);
        re = sum.real();
        im = sum.imag();
        const double scale = std::sqrt(2.0) / static_cast<double>(n);
        const std::complex<double> z(re * scale, im * scale);
        if (std::isnan(squares))
            continue;
        out.rms[k] = static_cast<float>(std::sqrt(squares / static_cast<double>(n)));
        out.phasor[k] = z;
        out.magnitude[k] = static_cast<float>(std::abs(z));
        out.angle[k] = degrees(z);
    }
    return out;
}

std::vector<LaneGroup> laneGroups(const Cfg& cfg, const std::vector<ChannelRef>& lanes)
{
    struct Found {
        std::string name;
        std::array<int, 3> lanes{-1, -1, -1};
    };
    std::map<std::string, Found> found;
    std::vector<std::string> order;
    for (std::size_t i = 0; i < lanes.size(); ++i) {
        if (!lanes[i].analog)
            continue;
        const AnalogChannelConfig& config = cfg.analogChannels[lanes[i].position];
        const int phase = phaseOf(config);
        if (phase < 0)
            continue;
        const std::string component = trimmed(validUtf8(config.circuitComponent));
        const std::string unit = validUtf8(valueUnit(config));
        auto [it, fresh] = found.emplace(component + '\n' + unit, Found());
        if (fresh) {
            order.push_back(it->first);
            it->second.name = (component.empty() ? std::string("3-phase") : component) + " (" + unit + ")";
        }
        if (it->second.lanes[phase] < 0)
            it->second.lanes[phase] = static_cast<int>(i);
    }
    std::vector<LaneGroup> groups;
    for (const std::string& key : order) {
        const Found& group = found[key];
        if (group.lanes[0] >= 0 && group.lanes[1] >= 0 && group.lanes[2] >= 0)
            groups.push_back({group.name,
                              {std::size_t(group.lanes[0]), std::size_t(group.lanes[1]), std::size_t(group.lanes[2])}});
    }
    return groups;
}

SequenceMeasures sequenceOf(const ChannelMeasures& a, const ChannelMeasures& b, const ChannelMeasures& c)
{
    const std::complex<double> op = std::polar(1.0, 2.0 * kPi / 3.0); // the operator a
    const std::complex<double> op2 = op * op;
    SequenceMeasures out;
    const std::size_t count = a.phasor.size();
    for (int s = 0; s < 3; ++s) {
        out.magnitude[s].resize(count);
        out.angle[s].resize(count);
    }
    for (std::size_t k = 0; k < count; ++k) {
        const std::complex<double> va = a.phasor[k], vb = b.phasor[k], vc = c.phasor[k];
        const std::complex<double> parts[3] = {(va + vb + vc) / 3.0, (va + op * vb + op2 * vc) / 3.0,
                                               (va + op2 * vb + op * vc) / 3.0};
        for (int s = 0; s < 3; ++s) {
            out.magnitude[s][k] = static_cast<float>(std::abs(parts[s]));
            out.angle[s][k] = degrees(parts[s]);
        }
    }
    return out;
}

} // namespace KivTools
