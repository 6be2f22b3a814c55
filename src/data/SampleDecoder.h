#pragma once
// Record decoders shared by Sample::load and the data-file readers. The
// readers pass the time from the sampling rates (they keep a SampleClock);
// Sample::load computes it with Cfg::timeFromSampleIndex.

#include <KivComtradeLib/Sample.h>

#include <cstddef>
#include <vector>

namespace KivComtradeLib {

class Cfg;

// Gains, offsets and unit-prefix factors of the configured analog channels in
// three packed arrays, built once per data file so that the per-value loop
// reads them in order.
struct AnalogScales {
    std::vector<double> a, b, m;
    explicit AnalogScales(const Cfg& cfg);
};

// One binary record of cfg->recordSize bytes. `rateTime` is used when all
// sampling rates are non-zero, else the record's time stamp gives the time.
// `scales`, when given, must be built from the sample's Cfg.
bool decodeBinaryRecord(Sample& sample, const unsigned char* record, unsigned long long index,
                        double rateTime, const AnalogScales* scales = nullptr);

// One text line (without its line end).
bool decodeTextRecord(Sample& sample, const char* line, std::size_t length,
                      unsigned long long index, double rateTime,
                      const AnalogScales* scales = nullptr);

} // namespace KivComtradeLib
