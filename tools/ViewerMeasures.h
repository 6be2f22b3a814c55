#pragma once
// The per-cycle measures comtrade-view embeds in its page, so that the page
// shows the library's numbers instead of re-deriving them in JavaScript: each
// analog channel's RMS and fundamental phasor at the end of every whole cycle
// of the line frequency, and the sequence components of three-phase groups.

#include "ToolCommon.h"

#include <KivComtradeLib/ColumnarRecording.h>

#include <array>
#include <complex>
#include <cstddef>
#include <string>
#include <vector>

namespace KivTools {

// Library times at which the measures are taken: first + k / frequency for
// k = 1, 2, ... up to `last` (each closes one cycle that lies in the
// recording). Empty when the frequency is not a positive number.
std::vector<double> cycleEnds(double first, double last, double frequency);

// One analog channel at those times: true RMS and the fundamental phasor
// (complex RMS, angle referred to time zero of the recording) of the cycle
// ending at each time. NaN where that cycle cannot be measured.
struct ChannelMeasures {
    std::vector<float> rms, magnitude, angle; // angle in degrees
    std::vector<std::complex<double>> phasor; // for the sequence components
};
ChannelMeasures measureChannel(const KivComtradeLib::ColumnarRecording& recording, std::size_t channel,
                               const std::vector<double>& at);

// Three lanes (indices into the page's lanes) that show phases A, B and C
// of one quantity, among the analog lanes given.
struct LaneGroup {
    std::string name;              // circuit component and unit
    std::array<std::size_t, 3> lanes{};
};
std::vector<LaneGroup> laneGroups(const KivComtradeLib::Cfg& cfg, const std::vector<ChannelRef>& lanes);

// Zero, positive and negative sequence of phases a, b, c time by time
// (magnitude, and angle in degrees).
struct SequenceMeasures {
    std::vector<float> magnitude[3], angle[3];
};
SequenceMeasures sequenceOf(const ChannelMeasures& a, const ChannelMeasures& b, const ChannelMeasures& c);

} // namespace KivTools
