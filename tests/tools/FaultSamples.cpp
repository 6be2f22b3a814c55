#include "FaultSamples.h"

#include <cmath>

namespace KivTest {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kRate = 2000.0;      // 40 samples per 50 Hz cycle
constexpr std::size_t kRecords = 500; // 0.25 s
constexpr double kFault = 0.060, kTrip = 0.085, kOpen = 0.125, kReset = 0.145; // s

double radians(double degrees) { return degrees * kPi / 180.0; }

// Phase voltages (100 V phase-to-phase) and currents (1 A CTs) at time t;
// `cleared`: the breaker has interrupted the fault, phase A's voltage is back.
void waveforms(double t, bool cleared, double u[3], double i[3])
{
    const double w = 2.0 * kPi * 50.0;
    const double shift[3] = {0.0, radians(-120.0), radians(120.0)};
    const bool faulted = t >= kFault && !cleared;
    for (int k = 0; k < 3; ++k) {
        const double sag = !faulted ? 1.0 : (k == 0 ? 0.3 : 1.06);
        u[k] = sag * (100.0 / std::sqrt(3.0) * std::sqrt(2.0)) * std::sin(w * t + shift[k]);
        i[k] = (0.5 * std::sqrt(2.0)) * std::sin(w * t + shift[k] + radians(-25.0));
    }
    // Fault current lagging by the line angle, with a decaying DC offset.
    if (t >= kFault)
        i[0] += (8.0 * std::sqrt(2.0)) * (std::sin(w * t + radians(-80.0)) -
                                          std::sin(w * kFault + radians(-80.0)) * std::exp(-(t - kFault) / 0.035));
}

} // namespace

const std::vector<std::string>& bundledSampleNames()
{
    static const std::vector<std::string> names = {"fault-slg-binary", "fault-slg-ascii"};
    return names;
}

Recording faultRecording(KivComtradeLib::Enums::DataFileType type)
{
    Recording rec;
    RecordingLayout& layout = rec.design;
    layout.station = "SEVERNAYA 110kV";
    layout.device = "KIV DEMO RECORDER";
    layout.rates = {RateLayout{kRate, kRecords}};
    layout.startTime = "14/03/2026,09:41:07.250000";
    layout.triggerTime = "14/03/2026,09:41:07.310000";
    layout.type = type;
    layout.crlf = true;
    for (const char* letter : {"U", "I"})
        for (const char* phase : {"A", "B", "C"}) {
            const bool volts = *letter == 'U'; // 110 kV / 100 V and 600 / 1 A transformers
            layout.analogs.push_back({std::string(letter) + phase, phase, "W1 110kV", volts ? "V" : "A", volts ? 0.01 : 0.001,
                                      0.0, 0.0, -32767.0, 32767.0, volts ? 110000.0 : 600.0, volts ? 100.0 : 1.0, 'S'});
        }
    // "Выключатель Q1" (breaker Q1) in code page 1251, as Russian recorders write it.
    layout.statuses = {{"Trip", "", "K1", 0}, {"\xC2\xFB\xEA\xEB\xFE\xF7\xE0\xF2\xE5\xEB\xFC Q1", "", "Q1", 1}};
    // Each phase current is interrupted at its first zero crossing after the contacts part.
    bool interrupted[3] = {false, false, false};
    double previous[3] = {0.0, 0.0, 0.0}, u[3], i[3];
    for (std::size_t k = 0; k < kRecords; ++k) {
        const double t = static_cast<double>(k) / kRate;
        Record record{static_cast<std::uint32_t>(k + 1), static_cast<std::uint32_t>(k * 500), {}, {}};
        waveforms(t, false, u, i);
        double currents[3];
        for (int c = 0; c < 3; ++c) {
            interrupted[c] = interrupted[c] || (t >= kOpen && (i[c] == 0.0 || (i[c] > 0.0) != (previous[c] > 0.0)));
            previous[c] = i[c];
            currents[c] = interrupted[c] ? 0.0 : i[c];
        }
        waveforms(t, interrupted[0], u, i);
        for (int c = 0; c < 3; ++c)
            record.raw.push_back(std::round(u[c] / 0.01));
        for (int c = 0; c < 3; ++c)
            record.raw.push_back(std::round(currents[c] / 0.001));
        record.status = {t >= kTrip && t < kReset, t < kOpen};
        rec.records.push_back(record);
    }
    return rec;
}

bool writeBundledSamples(const std::string& folder)
{
    return writeRecording(faultRecording(KivComtradeLib::Enums::Binary), folder + "/" + bundledSampleNames()[0]) &&
           writeRecording(faultRecording(KivComtradeLib::Enums::Ascii), folder + "/" + bundledSampleNames()[1]);
}

} // namespace KivTest
