#pragma once
// The per-cycle measures comtrade-view embeds in its page, so that the page
// shows the library's numbers (its analysis unit's) instead of re-deriving
// them in JavaScript: each analog channel's RMS and fundamental phasor at the
// end of every whole cycle of the line frequency, and the sequence components
// of three-phase groups.

#include "ChannelSelection.h"
#include "CommandLine.h"
#include "TextFormat.h"

#include <KivComtradeLib/ColumnarRecording.h>

#include <array>
#include <complex>
#include <cstddef>
#include <string>
#include <vector>

namespace KivTools {

// Samples at which the measures are taken, one a cycle: those nearest to
// time[first] + k / frequency for k = 1, 2, ... up to time[last - 1]
// (rising indices into `time`). Empty when the frequency is not a positive
// number.
std::vector<std::size_t> cycleEnds(const std::vector<double>& time, std::size_t first, std::size_t last,
                                   double frequency);

// One analog channel at those samples: true RMS and the fundamental phasor
// (complex RMS, angle referred to time zero of the recording) of the cycle
// ending at the sample's time (plus the channel's skew), as the library's
// rmsPhasorAt gives them (its series' values there). NaN where that cycle
// cannot be measured.
struct ChannelMeasures {
    std::vector<float> rms, magnitude, angle; // angle in degrees
    std::vector<std::complex<double>> phasor; // for the sequence components
};
ChannelMeasures measureChannel(const KivComtradeLib::ColumnarRecording& recording, std::size_t channel,
                               const std::vector<std::size_t>& at);

// The library's three-phase groups whose three channels are all among the
// lanes, as lane indices (A, B, C).
struct LaneGroup {
    std::string name;              // circuit component and unit
    std::array<std::size_t, 3> lanes{};
};
std::vector<LaneGroup> laneGroups(const KivComtradeLib::Cfg& cfg, const std::vector<ChannelRef>& lanes);

// Zero, positive and negative sequence of phases a, b, c time by time
// (magnitude, and angle in degrees), from their phasors.
struct SequenceMeasures {
    std::vector<float> magnitude[3], angle[3];
};
SequenceMeasures sequenceOf(const ChannelMeasures& a, const ChannelMeasures& b, const ChannelMeasures& c);

} // namespace KivTools
