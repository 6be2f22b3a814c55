#pragma once
// Times of consecutive records from the sampling-rate table, without walking
// the table from its start for every record. Gives bit for bit what
// Cfg::timeFromSampleIndex gives: the same sums, in the same order.

#include <KivComtradeLib/Cfg.h>

#include <vector>

namespace KivComtradeLib {

class SampleClock {
public:
    explicit SampleClock(const Cfg& cfg) : _cfg(cfg)
    {
        double acc = 0.0;
        unsigned long long start = 0;
        bool broken = false;
        _segments.reserve(cfg.samplingRates.size());
        for (const SamplingRate& rate : cfg.samplingRates) {
            _segments.push_back({acc, start, broken});
            const double d = rate.getDuration(rate.endSample - start);
            if (d < 0.0)
                broken = true;
            else if (!broken)
                acc += d;
            start = rate.endSample;
        }
        _accAll = acc;
        _startAll = start;
        _brokenAll = broken;
    }

    // Indices must not decrease between calls.
    double timeAt(unsigned long long index)
    {
        const auto& rates = _cfg.samplingRates;
        if (rates.empty())
            return -1.0;
        while (_current < rates.size() && index >= rates[_current].endSample)
            ++_current;
        if (_current < rates.size()) {
            const Segment& s = _segments[_current];
            if (s.brokenBefore || !(rates[_current].rate > 0.0))
                return -1.0;
            return (s.accBefore + duration(rates[_current], index - s.start)) * _cfg.timeMultiplier;
        }
        if (_brokenAll)
            return -1.0;
        return (_accAll + duration(rates.back(), index - _startAll)) * _cfg.timeMultiplier;
    }

private:
    // SamplingRate::getDuration inlined (it runs once per record): the same
    // expression, so the same bits.
    static double duration(const SamplingRate& rate, unsigned long long count)
    {
        if (!(rate.rate > 0.0))
            return -1.0;
        return static_cast<double>(count < rate.endSample ? count : rate.endSample) / rate.rate;
    }

    struct Segment {
        double accBefore;          // seconds of the segments before this one
        unsigned long long start;  // position of this segment's first sample
        bool brokenBefore;         // a segment before has a rate <= 0
    };

    const Cfg& _cfg;
    std::vector<Segment> _segments;
    double _accAll = 0.0;
    unsigned long long _startAll = 0;
    bool _brokenAll = false;
    std::size_t _current = 0;
};

} // namespace KivComtradeLib
