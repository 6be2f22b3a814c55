#include "FaultSamples.h"

#include <cmath>

namespace KivTest {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kFrequency = 50.0;   // Hz
constexpr double kRate = 2000.0;      // samples per second: 40 per cycle
constexpr std::size_t kRecords = 500; // 0.25 s
constexpr double kFault = 0.060;      // fault inception, s
constexpr double kTrip = 0.085;       // relay trips 25 ms later
constexpr double kOpen = 0.125;       // breaker contacts part 40 ms after the trip
constexpr double kReset = 0.145;      // trip output drops once the current is gone

// Secondary-side amplitudes: 100 V phase-to-phase voltage transformers and
// 1 A current transformers.
const double kVoltPeak = 100.0 / std::sqrt(3.0) * std::sqrt(2.0);
const double kLoadPeak = 0.5 * std::sqrt(2.0);
const double kFaultPeak = 8.0 * std::sqrt(2.0);
constexpr double kVoltGain = 0.01;    // V per count
constexpr double kCurrentGain = 0.001; // A per count

double radians(double degrees) { return degrees * kPi / 180.0; }

// Phase quantities at time t (s) before the breaker has interrupted anything.
struct Phases {
    double u[3];
    double i[3];
};

// `cleared`: the breaker has interrupted the fault current, so the faulted
// phase's voltage has recovered.
Phases waveforms(double t, bool cleared)
{
    const double w = 2.0 * kPi * kFrequency;
    const double shift[3] = {0.0, radians(-120.0), radians(120.0)};
    const double loadAngle = radians(-25.0);
    Phases p{};
    const bool faulted = t >= kFault && !cleared;
    for (int k = 0; k < 3; ++k) {
        // Faulted phase A sags to 30 %, the healthy phases swell slightly.
        const double sag = !faulted ? 1.0 : (k == 0 ? 0.3 : 1.06);
        p.u[k] = sag * kVoltPeak * std::sin(w * t + shift[k]);
        p.i[k] = kLoadPeak * std::sin(w * t + shift[k] + loadAngle);
    }
    if (t >= kFault) {
        // Fault current lags by the line angle and carries a decaying DC
        // offset set by the point on wave of the inception.
        const double angle = radians(-80.0);
        const double tau = 0.035;
        p.i[0] += kFaultPeak * (std::sin(w * t + angle) -
                                std::sin(w * kFault + angle) * std::exp(-(t - kFault) / tau));
    }
    return p;
}

RecordingLayout faultLayout(KivComtradeLib::Enums::DataFileType type)
{
    RecordingLayout layout;
    layout.station = "SEVERNAYA 110kV";
    layout.device = "KIV DEMO RECORDER";
    layout.revYear = 1999;
    layout.lineFrequency = kFrequency;
    layout.rates = {RateLayout{kRate, kRecords}};
    layout.startTime = "14/03/2026,09:41:07.250000";
    layout.triggerTime = "14/03/2026,09:41:07.310000";
    layout.type = type;
    layout.timeMultiplier = 1.0;
    layout.crlf = true;
    // Three voltages (110 kV / 100 V transformers), then three currents (600 / 1 A).
    struct Kind {
        const char* letter;
        const char* unit;
        double gain;
        double primary;
        double secondary;
    };
    const Kind kinds[2] = {{"U", "V", kVoltGain, 110000.0, 100.0},
                           {"I", "A", kCurrentGain, 600.0, 1.0}};
    const char* const phases[3] = {"A", "B", "C"};
    for (const Kind& kind : kinds) {
        for (const char* phase : phases) {
            AnalogLayout channel;
            channel.id = std::string(kind.letter) + phase;
            channel.phase = phase;
            channel.circuitComponent = "W1 110kV";
            channel.unit = kind.unit;
            channel.a = kind.gain;
            channel.primary = kind.primary;
            channel.secondary = kind.secondary;
            channel.ps = 'S';
            layout.analogs.push_back(channel);
        }
    }
    StatusLayout trip;
    trip.id = "Trip";
    trip.circuitComponent = "K1";
    trip.normalState = 0;
    StatusLayout breaker;
    // "Выключатель Q1" (breaker Q1) in code page 1251, as Russian recorders write it.
    breaker.id = "\xC2\xFB\xEA\xEB\xFE\xF7\xE0\xF2\xE5\xEB\xFC Q1";
    breaker.circuitComponent = "Q1";
    breaker.normalState = 1;
    layout.statuses = {trip, breaker};
    return layout;
}

} // namespace

const std::vector<std::string>& bundledSampleNames()
{
    static const std::vector<std::string> names = {"fault-slg-binary", "fault-slg-ascii"};
    return names;
}

Recording faultRecording(KivComtradeLib::Enums::DataFileType type)
{
    Recording recording;
    recording.design = faultLayout(type);
    // Each phase current is interrupted at its first zero crossing after the
    // contacts part, as a real breaker does.
    bool interrupted[3] = {false, false, false};
    double previous[3] = {0.0, 0.0, 0.0};
    for (std::size_t k = 0; k < kRecords; ++k) {
        const double t = static_cast<double>(k) / kRate;
        const Phases p = waveforms(t, false);
        double currents[3];
        for (int c = 0; c < 3; ++c) {
            const bool crossed = p.i[c] == 0.0 || (p.i[c] > 0.0) != (previous[c] > 0.0);
            if (t >= kOpen && crossed)
                interrupted[c] = true;
            previous[c] = p.i[c];
            currents[c] = interrupted[c] ? 0.0 : p.i[c];
        }
        const Phases after = waveforms(t, interrupted[0]);
        Record record;
        record.sampleNumber = static_cast<std::uint32_t>(k + 1);
        record.timeStamp = static_cast<std::uint32_t>(k * 500); // microseconds
        for (int c = 0; c < 3; ++c)
            record.raw.push_back(std::round(after.u[c] / kVoltGain));
        for (int c = 0; c < 3; ++c)
            record.raw.push_back(std::round(currents[c] / kCurrentGain));
        record.status = {t >= kTrip && t < kReset, t < kOpen};
        recording.records.push_back(record);
    }
    return recording;
}

bool writeBundledSamples(const std::string& folder)
{
    using KivComtradeLib::Enums::Ascii;
    using KivComtradeLib::Enums::Binary;
    const std::vector<std::string>& names = bundledSampleNames();
    return writeRecording(faultRecording(Binary), folder + "/" + names[0]) &&
           writeRecording(faultRecording(Ascii), folder + "/" + names[1]);
}

} // namespace KivTest
