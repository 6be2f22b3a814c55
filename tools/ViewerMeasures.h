#pragma once
// The per-cycle measures comtrade-view embeds in its page, so that the page
// shows computed numbers instead of re-deriving them in JavaScript: each
// analog channel's RMS and fundamental phasor over consecutive cycles of the
// line frequency, and the sequence components of three-phase groups.

#include <complex>
#include <cstddef>
#include <vector>

namespace KivTools {

// Consecutive one-cycle windows over the recording's sample times: window k
// covers samples [bounds[k], bounds[k + 1]), so there is one bound more than
// windows.
// A window holds as many samples as one cycle of `frequency` takes at the
// local sampling interval; a trailing part shorter than a cycle is no window.
// Empty when the frequency or the sampling gives fewer than 4 samples a cycle.
std::vector<std::size_t> cycleBounds(const double* time, std::size_t count, double frequency);

// One channel over the windows: RMS, and the fundamental phasor as an RMS
// magnitude and an angle in degrees referred to time zero of `time`
// (`origin`): a steady sine of the line frequency keeps one angle in every
// window. NaN where a window holds a missing value.
struct CycleSeries {
    std::vector<float> rms, magnitude, angle;
    std::vector<std::complex<double>> phasor; // for the sequence components
};
CycleSeries cycleSeries(const double* values, const double* time, const std::vector<std::size_t>& bounds, double frequency, double origin);

// Zero, positive and negative sequence of phases a, b, c window by window
// (magnitude and angle in degrees, as above).
struct SequenceSeries {
    std::vector<float> magnitude[3], angle[3];
};
SequenceSeries sequenceSeries(const CycleSeries& a, const CycleSeries& b, const CycleSeries& c);

} // namespace KivTools
