#pragma once
// The reading of a data file's bytes, shared by Dat (one Sample per record)
// and ColumnarRecording (channel-major arrays): the record-count rules, the
// decoding and the report are the same for both. Opening the file is the
// caller's: the bytes may as well come from a section of a combined file.

#include "data/SampleDecoder.h"

#include <KivComtradeLib/Cfg.h>
#include <KivComtradeLib/LoadReport.h>
#include <KivComtradeLib/Export.h>
#include <KivComtradeLib/Sample.h>

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <istream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace KivComtradeLib {

// A destination of decoded records. prepare() is called once, with the most
// records that can follow; record(k) for k = 0, 1, ...; then finish() with
// the number decoded, or drop() when the file fails.
class SampleSink {
public:
    SampleSink(const Cfg& cfg, std::vector<Sample>& samples) : _cfg(cfg), _samples(samples) {}
    void prepare(std::size_t records)
    {
        _samples.clear();
        _samples.reserve(records);
    }
    SampleStore record(unsigned long long k)
    {
        _samples.emplace_back(_cfg);
        _samples.back().index = k;
        return SampleStore(_samples.back(), true);
    }
    void finish(std::size_t records)
    {
        if (_samples.capacity() > records)
            _samples.shrink_to_fit();
    }
    void drop() { _samples.clear(); }
    // Time of the last record decoded; -1.0 when none.
    double lastTime() const { return _samples.empty() ? -1.0 : _samples.back().time; }

private:
    const Cfg& _cfg;
    std::vector<Sample>& _samples;
};

// How Dat turns records into Samples. Direct: each record decoded straight
// into its Sample. Blocks: records decoded into a block of rows, the Samples
// built from each full block (values copied, not zero-filled first); Threaded:
// the same with the building on a second thread while the next block is
// decoded. Auto picks Threaded for large data files on a machine of more
// than one core, else Blocks (it costs less than Direct: no zero-fill, no
// per-value bookkeeping in the Sample).
enum class SampleBuild { Auto, Direct, Blocks, Threaded };

// The choice for the loads that follow (all of them, process-wide), and the
// rows of a block (0: the default). For tests and measurements.
KIVCOMTRADE_API void setSampleBuild(SampleBuild build, std::size_t blockRows = 0);

// The build a load of `dataBytes` bytes (< 0: unknown) with `cfg` takes:
// never Blocks or Threaded when the configuration's channel counts and
// channel lists disagree (Direct handles those).
SampleBuild sampleBuildFor(const Cfg& cfg, long long dataBytes);

// The Samples built from blocks of decoded rows; see SampleBuild. Only the
// caller's thread calls the members. A worker, when there is one, either
// appends the Samples alone (text files) or fills Samples the caller's thread
// has appended before handing their block over (binary files), until
// finish() or drop() has joined it.
class SampleBlockSink {
public:
    SampleBlockSink(const Cfg& cfg, std::vector<Sample>& samples, bool threaded);
    ~SampleBlockSink();
    SampleBlockSink(const SampleBlockSink&) = delete;
    SampleBlockSink& operator=(const SampleBlockSink&) = delete;

    void prepare(std::size_t records);
    RowStore record(unsigned long long k)
    {
        if (k >= _end)
            _nextBlock(k);
        const auto row = static_cast<std::size_t>(k - _current->first);
        return RowStore(_current->time.data() + row, _current->analog.data() + row * _analogs,
                        _current->states.data() + row * _words);
    }
    // Throws when the Samples could not be built (no memory).
    void finish(std::size_t records);
    void drop();
    double lastTime() const { return _samples.empty() ? -1.0 : _samples.back().time; }

private:
    struct Block {
        unsigned long long first = 0;
        std::size_t rows = 0;
        std::vector<double> time;
        std::vector<double> analog;
        std::vector<std::uint64_t> states;
    };

    void _nextBlock(unsigned long long k);
    void _submit(Block* block);
    Block* _take();
    void _build(const Block& block);
    void _work();
    // Joins the worker; `abandon`: blocks not built yet are dropped.
    void _stop(bool abandon);
    void _rethrow();

    const Cfg& _cfg;
    std::vector<Sample>& _samples;
    bool _threaded;
    // Both threads build blocks, into Samples the caller's thread made in
    // advance (at _base, reserved: they never move while the worker runs).
    bool _shared = false;
    Sample* _base = nullptr;
    std::size_t _analogs = 0;
    std::size_t _states = 0;
    std::size_t _words = 0;
    std::size_t _rows = 0; // of a block
    std::vector<Block> _blocks;
    Block* _current = nullptr;
    unsigned long long _end = 0; // first record past the current block

    // Between the threads: blocks to build, in order, and blocks free again.
    std::mutex _mutex;
    std::condition_variable _changed;
    std::vector<Block*> _full;
    std::vector<Block*> _free;
    bool _closing = false;
    std::exception_ptr _error;
    std::thread _worker;
};

class ColumnSink {
public:
    ColumnSink(const Cfg& cfg, std::vector<double>& time, std::vector<double>& analog,
               std::vector<std::uint8_t>& status)
        : _cfg(cfg), _time(time), _analog(analog), _status(status)
    {
    }
    // The arrays are sized once, here (for the channels the Cfg has now).
    void prepare(std::size_t records);
    ColumnStore record(unsigned long long k)
    {
        // An array of no channels has no storage to point into.
        const auto at = static_cast<std::size_t>(k);
        return ColumnStore(_time.data() + at, _analog.empty() ? nullptr : _analog.data() + at,
                           _status.empty() ? nullptr : _status.data() + at, _rows);
    }
    // Fewer records than prepared: rows moved down in place, no allocation.
    void finish(std::size_t records);
    void drop();
    std::size_t count() const { return _rows; }
    // Time of the last record decoded (after finish()); -1.0 when none: the
    // recording's duration.
    double lastTime() const { return _rows == 0 ? -1.0 : _time[_rows - 1]; }

private:
    const Cfg& _cfg;
    std::size_t _analogs = 0;
    std::size_t _states = 0;
    std::size_t _rows = 0;
    std::vector<double>& _time;
    std::vector<double>& _analog;
    std::vector<std::uint8_t>& _status;
};

// Reads the data file's records from `in` (its read position at the first
// byte, `length` bytes of data, or all that follows when length < 0) into
// `sink`. Returns 0 or 6 and fills `report` (failure sentence, warnings,
// missing values), naming the data `file`.
template <class Sink>
int readDataStream(std::istream& in, long long length, const Cfg& cfg, Sink& sink, LoadReport& report,
                   const std::string& file);

// Decodes `length` bytes of data records from `in` into the caller's store;
// returns 0 or 6 with `data` filled, naming the data `file`.
using DataReaderFunction =
    std::function<int(std::istream& in, long long length, const std::string& file, LoadReport& data)>;

// The data file `name` opened (binary unless ASCII) and handed to
// `readData`; 5 when it does not exist, 6 when it cannot be opened or read.
int readDataFile(const std::string& name, const Cfg& cfg, LoadReport& data,
                 const DataReaderFunction& readData);

} // namespace KivComtradeLib
