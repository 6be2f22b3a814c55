#pragma once
// The one place where a record's position in the data file, or the time stamp
// it carries, becomes seconds. Cfg::timeFromSampleIndex, SamplingRate::getDuration,
// the data readers and the record decoders all come here.
//
// Positions: the sampling-rate table gives the time; the time multiplier does
// not apply (it scales time stamps only). Time stamps: stamp x timeMultiplier x
// timeStampUnit (1e-6 s, or 1e-9 s when the date/time lines write nanoseconds).

#include <KivComtradeLib/Cfg.h>
#include <KivComtradeLib/SamplingRate.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace KivComtradeLib {

class TimeBase {
public:
    // Seconds taken by min(count, endSample) samples at `rate`; -1.0 when the
    // rate is not positive (zero, negative or not a number).
    static double segmentSeconds(double rate, unsigned long long endSample, unsigned long long count)
    {
        if (!(rate > 0.0))
            return -1.0;
        return static_cast<double>(count < endSample ? count : endSample) / rate;
    }

    // Seconds one unit of a record's time stamp stands for.
    static double stampScale(const Cfg& cfg) { return cfg.timeMultiplier * cfg.timeStampUnit; }

    // Seconds of a time stamp (a binary record's uint32, or a text record's
    // number, which may be a real).
    static double stampTime(double stamp, const Cfg& cfg) { return stamp * stampScale(cfg); }

    // The table must outlive the time base.
    explicit TimeBase(const std::vector<SamplingRate>& rates) : _rates(&rates) {}
    explicit TimeBase(const Cfg& cfg) : TimeBase(cfg.samplingRates) {}

    // Time of the record at 0-based position `index` from the sampling rates;
    // -1.0 when the table is empty or a rate on the way is not positive. A
    // position beyond the table runs on at the last rate, for at most the last
    // segment's end-sample number of samples. Non-decreasing positions cost
    // O(1) amortised (the walk resumes where the last call stopped); a smaller
    // position walks again from the first segment. The sums are the same, in
    // the same order, either way, so the result does not depend on the calls
    // before.
    double timeAt(unsigned long long index)
    {
        const std::vector<SamplingRate>& rates = *_rates;
        if (rates.empty())
            return -1.0;
        if (index < _lastIndex)
            _restart();
        _lastIndex = index;
        while (_current < rates.size() && index >= rates[_current].endSample) {
            const SamplingRate& passed = rates[_current];
            if (!_broken) {
                const double d = segmentSeconds(passed.rate, passed.endSample, passed.endSample - _start);
                if (d < 0.0)
                    _broken = true;
                else
                    _passedSeconds += d;
            }
            _start = passed.endSample;
            ++_current;
        }
        if (_broken)
            return -1.0;
        const SamplingRate& at = _current < rates.size() ? rates[_current] : rates.back();
        if (!(at.rate > 0.0))
            return -1.0;
        return _passedSeconds + segmentSeconds(at.rate, at.endSample, index - _start);
    }

private:
    void _restart()
    {
        _current = 0;
        _passedSeconds = 0.0;
        _start = 0;
        _broken = false;
    }

    const std::vector<SamplingRate>* _rates;
    std::size_t _current = 0;          // segment the walk stands in
    double _passedSeconds = 0.0;       // seconds of the segments before it
    unsigned long long _start = 0;     // position of its first sample
    bool _broken = false;              // a segment passed has a rate <= 0
    unsigned long long _lastIndex = 0; // position of the last call
};

} // namespace KivComtradeLib
