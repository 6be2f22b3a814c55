#pragma once

#include <KivComtradeLib/Export.h>

#include <array>
#include <complex>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace KivComtradeLib {

class AnalogChannel;
struct AnalogColumn;
class Cfg;
class ColumnarRecording;
class Comtrade;

// What an engineer measures on a power-system recording: RMS, phasors,
// harmonics, frequency and the sequence components of three-phase groups.
//
// Every measure at a time t looks at one cycle of the line frequency f0
// (T = 1/f0) ending at t, as a relay's full-cycle Fourier filter does. The
// window is taken on the samples' true times: the channel is read as the
// straight lines between its samples, each segment is integrated exactly
// against e^{-j 2 pi k f0 t}, and the gain of the straight-line reading at
// that segment's spacing is divided out. So the answer is exact at a whole
// number of samples per cycle and stays right at a non-whole number, and
// across a change of sampling rate inside the window.
//
// Phasors are complex RMS values referred to t = 0 of the recording's time
// axis: x(t) ~ sqrt(2) Re(X e^{j 2 pi f0 t}). Angles of two channels are
// therefore directly comparable.
//
// No exceptions for bad requests but an unknown channel: a window that starts
// before the first sample (t before the first full cycle), ends after the
// last one, holds a missing value (NaN) or a segment longer than half a cycle
// (a rate too low for the fundamental), or a line frequency that is not a
// positive number, gives NaN.
namespace Analysis {

using Phasor = std::complex<double>;

// One analog channel as plain arrays. `time` (seconds, rising) and `values`
// (engineering values, NaN where missing) hold `count` numbers and are not
// owned unless they point into `storage`. A sample recorded at time[n] was
// taken at time[n] + skew: queries are on the recording's time axis and the
// skew is taken out of them, as the channel views do.
class KIVCOMTRADE_API Signal {
public:
    const double* time = nullptr;
    const double* values = nullptr;
    std::size_t count = 0;
    double lineFrequency = 0.0; // Hz
    double skew = 0.0;          // seconds
    // The channel's times then values when the store keeps no columns of its
    // own (Comtrade); `time` and `values` then point into it. Moving keeps the
    // pointers valid; copying would not, so a Signal is move-only.
    std::vector<double> storage;

    Signal() = default;
    Signal(const double* time, const double* values, std::size_t count, double lineFrequency,
           double skew = 0.0);
    Signal(const Signal&) = delete;
    Signal& operator=(const Signal&) = delete;
    Signal(Signal&&) noexcept = default;
    Signal& operator=(Signal&&) noexcept = default;
};

// Analog channel `channel` (0-based, configuration order) of a loaded
// recording, with the recording's line frequency and the channel's skew.
// The columnar store is read in place (keep it alive and do not load it again
// while the Signal is used); a Comtrade's times and values are copied into
// `storage`. Throws std::out_of_range ("analog channel 7 of 6") for an
// unknown channel.
KIVCOMTRADE_API Signal channelSignal(const ColumnarRecording& recording, std::size_t channel);
KIVCOMTRADE_API Signal channelSignal(const Comtrade& recording, std::size_t channel);
// A Comtrade's channel view, with the line frequency of its recording (copied
// into `storage` as above).
KIVCOMTRADE_API Signal channelSignal(const AnalogChannel& channel, double lineFrequency);
// A channel column (ChannelColumn.h), read in place, at a line frequency.
KIVCOMTRADE_API Signal channelSignal(const AnalogColumn& column, double lineFrequency);

// Phasor of the fundamental (complex RMS) from the cycle ending at t; NaN + jNaN
// when no such cycle can be taken (see above).
KIVCOMTRADE_API Phasor phasor(const Signal& signal, double t);
// True RMS over the cycle ending at t (DC and harmonics included).
KIVCOMTRADE_API double rms(const Signal& signal, double t);

struct KIVCOMTRADE_API Harmonics {
    // Complex RMS of harmonic k at [k], k = 0 (the DC mean, real) .. order;
    // the order is capped below half the samples per cycle of the window's
    // widest spacing, so the vectors may be shorter than asked.
    std::vector<Phasor> phasor;
    std::vector<double> magnitude; // |phasor[k]|
    // Total harmonic distortion: sqrt(sum over k >= 2 of magnitude^2) /
    // magnitude[1]; NaN when the window gives nothing or the order is below 2.
    double thd = 0.0;
};
// Harmonics 0..order (default 13) of the cycle ending at t; empty vectors and
// NaN THD when the window gives nothing.
KIVCOMTRADE_API Harmonics harmonics(const Signal& signal, double t, int order = 13);

// Frequency (Hz) at t, from how far the fundamental phasor turned over one
// cycle (each phasor averaged over its own cycle of samples, which cancels
// the ripple an off-nominal signal puts on a one-cycle filter). It is the
// mean frequency of the signal about 1.5 cycles before t. Needs three cycles
// of data up to t; NaN otherwise, after the last sample, or when the
// fundamental vanishes.
KIVCOMTRADE_API double frequency(const Signal& signal, double t);

struct FrequencyPoint {
    double time;      // end of the cycle, on the recording's axis (see frequency())
    double frequency; // Hz, NaN where the cycle gives none
};
// One frequency per whole cycle of the channel, consecutive cycles from the
// first that frequency() can measure. O(n).
KIVCOMTRADE_API std::vector<FrequencyPoint> frequencySeries(const Signal& signal);

// One value per sample n: the measure of the cycle ending at sample n's own
// time (time[n] + skew). NaN for the samples of the first cycle and where a
// window holds a missing value. O(n): a recursive sliding sum, recomputed
// from scratch every few thousand samples so rounding does not build up.
// A line frequency that is not positive gives count NaN values. A sliding
// sum keeps about 16 digits of its largest term: a value some 1e12 times the
// others' size blurs their series until the next rebuild (far beyond what
// an ADC's range gives; the single-time measures are not affected).
KIVCOMTRADE_API std::vector<double> rmsSeries(const Signal& signal);
KIVCOMTRADE_API std::vector<Phasor> phasorSeries(const Signal& signal);
// The same into `out`, which holds signal.count values: a buffer reused
// from channel to channel, or an array another library owns (NumPy).
KIVCOMTRADE_API void rmsSeries(const Signal& signal, double* out);
KIVCOMTRADE_API void phasorSeries(const Signal& signal, Phasor* out);
// Both series of a channel in one pass over its values, the same numbers as
// the two calls above; either output may be null (not computed).
KIVCOMTRADE_API void rmsPhasorSeries(const Signal& signal, double* rms, Phasor* phasors);

// RMS and phasor of the cycles ending at samples at[0], at[1], ... (`count`
// rising sample indices; one past the last sample gives NaN): the series'
// values at those samples, to rounding (each cycle is summed on its own).
// Either output may be null; each has `count` values. For a few indices per
// cycle (a value per cycle to show) far cheaper than the whole series.
KIVCOMTRADE_API void rmsPhasorAt(const Signal& signal, const std::size_t* at, std::size_t count, double* rms,
                                 Phasor* phasors);

// The RMS and phasor series of every analog channel of a columnar recording,
// as rmsSeries and phasorSeries give them, in one block of memory that is
// never filled twice (the series of a 100 MB recording take about 900 MB).
// A channel the store does not hold (not selected at load) has NaN series.
// Move-only.
class KIVCOMTRADE_API RecordingSeries {
public:
    std::size_t channels = 0; // analog channels, configuration order
    std::size_t count = 0;    // values per series: the recording's records

    // Channel `channel`'s count values; nullptr past the last channel.
    const double* rms(std::size_t channel) const;
    const Phasor* phasors(std::size_t channel) const;

    RecordingSeries() = default;
    RecordingSeries(RecordingSeries&&) noexcept = default;
    RecordingSeries& operator=(RecordingSeries&&) noexcept = default;
    RecordingSeries(const RecordingSeries&) = delete;
    RecordingSeries& operator=(const RecordingSeries&) = delete;
    ~RecordingSeries();

private:
    friend KIVCOMTRADE_API void recordingSeries(const ColumnarRecording&, RecordingSeries&, unsigned);
    struct _Release {
        void operator()(unsigned char* memory) const;
    };
    // Per channel: count RMS values, then count phasors.
    std::unique_ptr<unsigned char, _Release> _memory;
    std::size_t _capacity = 0; // bytes
};
// Channels are shared out over `threads` threads (0: one per core, never more
// than channels); the series do not depend on how many. Reads the store in
// place: keep it alive and unchanged while this runs.
KIVCOMTRADE_API RecordingSeries recordingSeries(const ColumnarRecording& recording, unsigned threads = 0);
// The same into `series`, in the memory it already holds when that is large
// enough: a caller that goes from recording to recording spares the system
// the work of handing out (and clearing) fresh pages each time. On an
// exception the contents of `series` are unspecified.
KIVCOMTRADE_API void recordingSeries(const ColumnarRecording& recording, RecordingSeries& series,
                                     unsigned threads = 0);

// Symmetrical components of three phasors, a = e^{j 120 deg}:
//   zero = (A + B + C) / 3, positive = (A + aB + a^2 C) / 3,
//   negative = (A + a^2 B + aC) / 3.
struct SequenceComponents {
    Phasor zero;
    Phasor positive;
    Phasor negative;
};
KIVCOMTRADE_API SequenceComponents sequence(Phasor a, Phasor b, Phasor c);

// Phase of a channel's phase field: 0, 1, 2 for phase A, B, C, -1 for none.
// Blanks around it and letter case do not matter. Read as A/B/C: A B C,
// L1 L2 L3, R S T, the Cyrillic А В С, and each of these followed by N
// (phase to neutral: AN, L1N).
KIVCOMTRADE_API int phaseIndex(const std::string& phase);

// Three analog channels that measure phases A, B, C of one quantity.
struct PhaseGroup {
    std::string circuit;              // the channels' circuit component, trimmed
    std::string unit;                 // their unit, as written by phase A
    std::array<std::size_t, 3> channels; // analog channel indices of A, B, C
};
// The three-phase groups of a configuration, in the order of their phase-A
// channels. Channels group when their circuit components (trimmed) and units
// (trimmed, any case) agree and their phases are A, B and C: phaseIndex of
// the phase field or, when that names no phase, of the channel id without a
// leading quantity letter I, U or V and separators ("IA", "Ub", "V_L1").
// Repeated sets of one circuit and unit pair up in file order.
KIVCOMTRADE_API std::vector<PhaseGroup> phaseGroups(const Cfg& cfg);

// Sequence components of a group's phasors at t; NaN where a phasor is.
KIVCOMTRADE_API SequenceComponents sequenceAt(const ColumnarRecording& recording,
                                              const PhaseGroup& group, double t);
KIVCOMTRADE_API SequenceComponents sequenceAt(const Comtrade& recording, const PhaseGroup& group,
                                              double t);

} // namespace Analysis
} // namespace KivComtradeLib
