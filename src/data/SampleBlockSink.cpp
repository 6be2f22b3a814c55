#include "data/DataReader.h"

#include <algorithm>
#include <atomic>
#include <stdexcept>
#include <system_error>

namespace KivComtradeLib {

namespace {

// Below this the load is over in a few milliseconds, before a second thread
// pays for itself.
constexpr long long kThreadBytes = 4ll << 20;
// A block stays in the cache between its decoding and its building.
constexpr std::size_t kBlockBytes = 256u << 10;
// Enough for the decoder to run on while the builder catches up, or is not
// scheduled for a while on a busy machine (4 MiB).
constexpr std::size_t kThreadBlocks = 16;

std::atomic<SampleBuild> chosenBuild{SampleBuild::Auto};
std::atomic<std::size_t> chosenRows{0};

// The block path sizes every row from the channel counts: the lists of
// channels, and the status words of a binary record, must agree with them.
bool countsAgree(const Cfg& cfg)
{
    if (cfg.analogChannelsCount < 0 || cfg.binaryChannelsCount < 0)
        return false;
    const auto analogs = static_cast<std::size_t>(cfg.analogChannelsCount);
    const auto states = static_cast<std::size_t>(cfg.binaryChannelsCount);
    if (cfg.analogChannels.size() != analogs || cfg.binaryChannels.size() != states ||
        static_cast<long long>(cfg.channelsCount) != static_cast<long long>(analogs + states))
        return false;
    return cfg.dataFileType == Enums::Ascii || cfg.binaryWordsCount == (states + 15) / 16;
}

} // namespace

void setSampleBuild(SampleBuild build, std::size_t blockRows)
{
    chosenBuild = build;
    chosenRows = blockRows;
}

SampleBuild sampleBuildFor(const Cfg& cfg, long long dataBytes)
{
    if (!countsAgree(cfg))
        return SampleBuild::Direct;
    const SampleBuild build = chosenBuild;
    if (build != SampleBuild::Auto)
        return build;
    if (dataBytes >= kThreadBytes && std::thread::hardware_concurrency() > 1)
        return SampleBuild::Threaded;
    return SampleBuild::Blocks;
}

SampleBlockSink::SampleBlockSink(const Cfg& cfg, std::vector<Sample>& samples, bool threaded)
    : _cfg(cfg), _samples(samples), _threaded(threaded)
{
}

SampleBlockSink::~SampleBlockSink()
{
    _stop(true);
}

void SampleBlockSink::prepare(std::size_t records)
{
    _samples.clear();
    _samples.reserve(records);
    _analogs = static_cast<std::size_t>(_cfg.analogChannelsCount);
    _states = static_cast<std::size_t>(_cfg.binaryChannelsCount);
    _words = (_states + 63) / 64;
    const std::size_t rowBytes = sizeof(double) * (1 + _analogs) + sizeof(std::uint64_t) * _words;
    const std::size_t wanted = chosenRows;
    _rows = std::min(wanted != 0 ? wanted : std::max<std::size_t>(1, kBlockBytes / rowBytes),
                     std::max<std::size_t>(records, 1));
    // One element at least, so that no row pointer is made from a null one.
    _blocks.resize(_threaded ? kThreadBlocks : 1);
    for (Block& block : _blocks) {
        block.time.resize(_rows);
        block.analog.resize(std::max<std::size_t>(1, _rows * _analogs));
        block.states.resize(std::max<std::size_t>(1, _rows * _words));
        _free.push_back(&block);
    }
    _current = nullptr;
    _end = 0;
    // Decoding a binary record costs less than building its Sample: both
    // threads build. A text record costs more: the second thread builds
    // alone, in order.
    _shared = _threaded && _cfg.dataFileType != Enums::Ascii;
    _base = _samples.data();
    if (_threaded) {
        try {
            _worker = std::thread(&SampleBlockSink::_work, this);
        } catch (const std::system_error&) {
            _threaded = false; // no thread to be had: built on this one
            _shared = false;
        }
    }
}

void SampleBlockSink::_nextBlock(unsigned long long k)
{
    if (_current != nullptr) {
        _current->rows = _rows;
        Block* full = _current;
        _current = nullptr;
        _submit(full);
    }
    _current = _take();
    _current->first = k;
    _end = k + _rows;
}

void SampleBlockSink::_submit(Block* block)
{
    if (!_threaded) {
        _build(*block);
        _free.push_back(block);
        return;
    }
    // The block's Samples are made here, in record order, for whichever
    // thread builds it to fill.
    if (_shared) {
        // Past the room prepared the Samples would move under the worker.
        if (_samples.size() + block->rows > _samples.capacity())
            throw std::length_error("more records than prepared");
        for (std::size_t r = 0; r < block->rows; ++r)
            _samples.emplace_back(_cfg);
    }
    {
        std::lock_guard<std::mutex> lock(_mutex);
        if (!_error)
            _full.push_back(block);
    }
    _changed.notify_all();
    _rethrow();
}

SampleBlockSink::Block* SampleBlockSink::_take()
{
    std::unique_lock<std::mutex> lock(_mutex);
    _changed.wait(lock, [this] { return !_free.empty() || (_shared && !_full.empty()) || _error; });
    if (_error) {
        lock.unlock();
        _rethrow();
    }
    if (!_free.empty()) {
        Block* block = _free.back();
        _free.pop_back();
        return block;
    }
    // The builder is behind: this thread builds the oldest block itself.
    Block* block = _full.front();
    _full.erase(_full.begin());
    lock.unlock();
    _build(*block);
    return block;
}

void SampleBlockSink::_build(const Block& block)
{
    for (std::size_t r = 0; r < block.rows; ++r) {
        Sample* slot = _base + block.first + r;
        if (!_shared) {
            _samples.emplace_back(_cfg);
            slot = &_samples.back();
        }
        Sample& sample = *slot;
        sample.index = block.first + r;
        sample.time = block.time[r];
        const double* values = block.analog.data() + r * _analogs;
        sample.analogValues.assign(values, values + _analogs);
        if (_states == 0)
            continue;
        // Sized in whole words of zeros; most states are off.
        sample.binaryValues = std::vector<bool>(_states);
        const std::uint64_t* words = block.states.data() + r * _words;
        for (std::size_t w = 0; w < _words; ++w) {
            for (std::uint64_t word = words[w]; word != 0; word &= word - 1)
                sample.binaryValues[64 * w + lowestBit(word)] = true;
        }
    }
}

void SampleBlockSink::_work()
{
    for (;;) {
        Block* block = nullptr;
        {
            std::unique_lock<std::mutex> lock(_mutex);
            _changed.wait(lock, [this] { return !_full.empty() || _closing; });
            if (_full.empty())
                return;
            block = _full.front();
            _full.erase(_full.begin());
        }
        bool failed = false;
        try {
            _build(*block);
        } catch (...) {
            failed = true;
            std::lock_guard<std::mutex> lock(_mutex);
            _error = std::current_exception();
            _full.clear();
        }
        {
            std::lock_guard<std::mutex> lock(_mutex);
            _free.push_back(block);
        }
        _changed.notify_all();
        if (failed)
            return;
    }
}

void SampleBlockSink::_stop(bool abandon)
{
    if (_worker.joinable()) {
        {
            std::lock_guard<std::mutex> lock(_mutex);
            _closing = true;
            if (abandon)
                _full.clear();
        }
        _changed.notify_all();
        _worker.join();
    }
    _current = nullptr;
    _full.clear();
    _free.clear();
    std::vector<Block>().swap(_blocks);
}

void SampleBlockSink::_rethrow()
{
    std::exception_ptr error;
    {
        std::lock_guard<std::mutex> lock(_mutex);
        error = _error;
    }
    if (error)
        std::rethrow_exception(error);
}

void SampleBlockSink::finish(std::size_t records)
{
    if (_current != nullptr) {
        _current->rows = static_cast<std::size_t>(records - _current->first);
        Block* last = _current;
        _current = nullptr;
        _submit(last);
    }
    if (_shared) {
        // Helps with what is left.
        for (;;) {
            Block* block = nullptr;
            {
                std::lock_guard<std::mutex> lock(_mutex);
                if (_full.empty() || _error)
                    break;
                block = _full.front();
                _full.erase(_full.begin());
            }
            _build(*block);
        }
    }
    _stop(false);
    _rethrow();
    if (_samples.capacity() > records)
        _samples.shrink_to_fit();
}

void SampleBlockSink::drop()
{
    _stop(true);
    _samples.clear();
}

} // namespace KivComtradeLib
