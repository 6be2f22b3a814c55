#pragma once
// Record decoders shared by Sample::load and the data-file readers. The
// readers pass the time from the sampling rates (they keep a SampleClock);
// Sample::load computes it with Cfg::timeFromSampleIndex.

#include <KivComtradeLib/Sample.h>

#include <cstddef>

namespace KivComtradeLib {

// One binary record of cfg->recordSize bytes. `rateTime` is used when all
// sampling rates are non-zero, else the record's time stamp gives the time.
bool decodeBinaryRecord(Sample& sample, const unsigned char* record, unsigned long long index,
                        double rateTime);

// One text line (without its line end).
bool decodeTextRecord(Sample& sample, const char* line, std::size_t length,
                      unsigned long long index, double rateTime);

} // namespace KivComtradeLib
