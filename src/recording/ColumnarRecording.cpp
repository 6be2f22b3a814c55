#include "data/DataReader.h"
#include "data/WindowReader.h"
#include "recording/LoadPipeline.h"
#include "support/MappedFile.h"
#include "support/ResultCode.h"

#include <KivComtradeLib/ColumnarRecording.h>
#include <KivComtradeLib/FilesHelper.h>

#include <memory>
#include <algorithm>
#include <exception>
#include <limits>
#include <numeric>

#include <cmath>
#include <ctime>
#include <utility>

namespace KivComtradeLib {

namespace {

// Text windows are read in blocks of this many records, then joined.
constexpr std::size_t kTextChunk = 1 << 16;

std::size_t rowOf(const std::vector<std::size_t>& indices, std::size_t channel)
{
    const auto at = std::lower_bound(indices.begin(), indices.end(), channel);
    return at != indices.end() && *at == channel ? static_cast<std::size_t>(at - indices.begin()) : indices.size();
}

// The realtime clock file times are taken from, in ns (0 where unknown).
long long coarseNow()
{
#if defined(__linux__)
    timespec now {};
    if (::clock_gettime(CLOCK_REALTIME_COARSE, &now) == 0)
        return now.tv_sec * 1000000000LL + now.tv_nsec;
#endif
    return 0;
}

} // namespace

void ColumnarRecording::_takeFiles(RecordingFiles& files, int result)
{
    cfgFileName = std::move(files.cfgFileName);
    datFileName = std::move(files.datFileName);
    headerText = std::move(files.headerText);
    informationText = std::move(files.informationText);
    loaded = result == kLoaded;
}

int ColumnarRecording::load(const std::string& path)
{
    return load(path, LoadOptions());
}

// The configuration through Cfg::load, then the data file decoded straight
// into the arrays by the decoders Dat uses (same rules, same report): no
// Sample is built, and the arrays are sized once.
template <class Pipeline>
int ColumnarRecording::_load(const std::string& name, const LoadOptions& options, bool fromFiles, Pipeline&& pipeline)
{
    if (checkRecordingName(name, report) != kLoaded)
        return kNotARecordingName;
    count = 0;
    firstRecord = 0;
    std::vector<double>().swap(time);
    std::vector<double>().swap(analog);
    std::vector<std::uint8_t>().swap(status);
    analogChannelIndices.clear();
    statusChannelIndices.clear();
    _firstSampleTime = std::numeric_limits<double>::quiet_NaN();
    _dataFile = DataFileStamp();
    const long long loadStart = coarseNow();
    if (options.selective())
        return _loadSelection(name, options, fromFiles, pipeline);
    ColumnSink sink(cfg, time, analog, status);

    RecordingFiles files;
    const int result = pipeline(files, [&](std::istream& in, long long length, const std::string& file, LoadReport& data) {
        return readDataStream(in, length, cfg, sink, data, file);
    });
    _takeFiles(files, result);
    if (result != kLoaded) {
        sink.drop();
        return result;
    }
    count = sink.count();
    analogChannelIndices.resize(cfg.analogChannels.size());
    std::iota(analogChannelIndices.begin(), analogChannelIndices.end(), std::size_t(0));
    statusChannelIndices.resize(cfg.binaryChannels.size());
    std::iota(statusChannelIndices.begin(), statusChannelIndices.end(), std::size_t(0));
    fileName = name;
    duration = recordingDuration(cfg, count != 0 ? time[count - 1] : -1.0);
    if (fromFiles)
        _stampDataFile(loadStart);
    return kLoaded;
}

void ColumnarRecording::_stampDataFile(long long loadStart)
{
#if defined(__linux__)
    if ((cfg.dataFileType != Enums::Binary && cfg.dataFileType != Enums::Binary32) || FilesHelper::isCffFile(datFileName) ||
        cfg.analogChannels.size() != static_cast<std::size_t>(cfg.analogChannelsCount) ||
        cfg.binaryChannels.size() != static_cast<std::size_t>(cfg.binaryChannelsCount) || cfg.recordSize == 0)
        return;
    struct stat st {};
    if (::stat(datFileName.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return;
    const long long modified = st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
    const long long changed = st.st_ctim.tv_sec * 1000000000LL + st.st_ctim.tv_nsec;
    // A file touched since the load began may not hold what was read (file
    // times use the same coarse clock as loadStart).
    if (modified >= loadStart || changed >= loadStart ||
        static_cast<unsigned long long>(st.st_size) / cfg.recordSize < count)
        return;
    DataFileStamp& f = _dataFile;
    f.path = datFileName;
    f.device = static_cast<unsigned long long>(st.st_dev);
    f.inode = static_cast<unsigned long long>(st.st_ino);
    f.size = static_cast<unsigned long long>(st.st_size);
    f.modified = modified;
    f.changed = changed;
    f.type = cfg.dataFileType;
    f.recordSize = cfg.recordSize;
    f.count = count;
    f.time = time.data();
    f.analog = analog.data();
    f.status = status.data();
    for (const AnalogChannelConfig& channel : cfg.analogChannels)
        f.coefficients.insert(f.coefficients.end(), {channel.a, channel.b, channel.multiplier});
    f.valid = true;
#else
    (void)loadStart;
#endif
}

// A binary window is sized before it is read and decoded into the arrays at
// once; a text window in blocks, joined at the end.
template <class Pipeline>
int ColumnarRecording::_loadSelection(const std::string& path, const LoadOptions& options, bool fromFiles,
                                      Pipeline& pipeline)
{
    ChannelSelection selection;
    const auto readWindow = [&](std::istream& in, long long length, const std::string& file, LoadReport& data) -> int {
        TimeWindow window;
        int result = resolveSelection(cfg, options, selection, window, data, path);
        if (result != kLoaded)
            return result;
        WindowReader reader(cfg, selection, window, in, length, file);
        // A binary data file of its own is mapped: the window's records are
        // decoded where they lie (a .cff's section is read from the stream,
        // and a load from memory never opens a file).
        std::unique_ptr<MappedFile> mapped;
        if (fromFiles && cfg.dataFileType != Enums::Ascii && !FilesHelper::isCffFile(file)) {
            mapped = std::make_unique<MappedFile>(file);
            if (mapped->data() != nullptr && length >= 0 && static_cast<unsigned long long>(length) == mapped->size())
                reader.useMapping(mapped->data(), mapped->size());
        }
        if ((result = reader.open(data)) != kLoaded)
            return result;
        const std::size_t analogs = selection.analog.size(), states = selection.status.size();
        try {
            if (reader.knownCount() >= 0) {
                const auto n = static_cast<std::size_t>(reader.knownCount());
                time.assign(n, 0.0);
                analog.assign(analogs * n, 0.0);
                status.assign(states * n, 0);
                if (reader.read(n, time.data(), analog.data(), status.data(), n, data) < 0)
                    return kBadData;
            } else {
                std::vector<double> t(kTextChunk), a(analogs * kTextChunk);
                std::vector<std::uint8_t> s(states * kTextChunk);
                std::vector<std::vector<double>> analogRows(analogs);
                std::vector<std::vector<std::uint8_t>> statusRows(states);
                for (;;) {
                    const long long got = reader.read(kTextChunk, t.data(), a.data(), s.data(), kTextChunk, data);
                    if (got < 0)
                        return kBadData;
                    if (got == 0)
                        break;
                    const auto g = static_cast<std::size_t>(got);
                    time.insert(time.end(), t.begin(), t.begin() + static_cast<std::ptrdiff_t>(g));
                    for (std::size_t r = 0; r < analogs; ++r)
                        analogRows[r].insert(analogRows[r].end(), a.data() + r * kTextChunk, a.data() + r * kTextChunk + g);
                    for (std::size_t r = 0; r < states; ++r)
                        statusRows[r].insert(statusRows[r].end(), s.data() + r * kTextChunk, s.data() + r * kTextChunk + g);
                }
                const std::size_t n = time.size();
                analog.resize(analogs * n);
                status.resize(states * n);
                for (std::size_t r = 0; r < analogs; ++r) {
                    std::copy(analogRows[r].begin(), analogRows[r].end(), analog.begin() + static_cast<std::ptrdiff_t>(r * n));
                    std::vector<double>().swap(analogRows[r]);
                }
                for (std::size_t r = 0; r < states; ++r)
                    std::copy(statusRows[r].begin(), statusRows[r].end(), status.begin() + static_cast<std::ptrdiff_t>(r * n));
            }
        } catch (const std::exception&) {
            return data.fail(kBadData, file, 0, file + ": the window cannot be held (no memory)");
        }
        if ((result = reader.finish(data)) != kLoaded)
            return result;
        firstRecord = reader.first();
        _firstSampleTime = reader.firstRecordTime();
        return kLoaded;
    };
    RecordingFiles files;
    const int result = pipeline(files, readWindow);
    _takeFiles(files, result);
    if (result != kLoaded) {
        firstRecord = 0;
        std::vector<double>().swap(time);
        std::vector<double>().swap(analog);
        std::vector<std::uint8_t>().swap(status);
        return result;
    }
    count = time.size();
    analogChannelIndices = selection.analog;
    statusChannelIndices = selection.status;
    fileName = path;
    duration = recordingDuration(cfg, count != 0 ? time[count - 1] : -1.0);
    return kLoaded;
}

int ColumnarRecording::load(const std::string& path, const LoadOptions& options)
{
    return _load(path, options, true, [&](RecordingFiles& files, const DataReaderFunction& readData) {
        return loadRecording(path, options, cfg, files, report, readData);
    });
}

int ColumnarRecording::loadFromMemory(const std::string& cfgText, const char* data, std::size_t size,
                                      const LoadOptions& options, const std::string& name)
{
    return _load(name, options, false, [&](RecordingFiles& files, const DataReaderFunction& readData) {
        return KivComtradeLib::loadRecordingFromMemory(name, cfgText, data, size, options, cfg, files, report, readData);
    });
}

int ColumnarRecording::loadCombinedFromMemory(const char* bytes, std::size_t size, const LoadOptions& options,
                                              const std::string& name)
{
    return _load(name, options, false, [&](RecordingFiles& files, const DataReaderFunction& readData) {
        return KivComtradeLib::loadCombinedFromMemory(name, bytes, size, options, cfg, files, report, readData);
    });
}

const double* ColumnarRecording::analogRow(std::size_t channel) const
{
    const std::size_t row = rowOf(analogChannelIndices, channel);
    return row < analogChannelIndices.size() && count != 0 ? analog.data() + row * count : nullptr;
}

const std::uint8_t* ColumnarRecording::statusRow(std::size_t channel) const
{
    const std::size_t row = rowOf(statusChannelIndices, channel);
    return row < statusChannelIndices.size() && count != 0 ? status.data() + row * count : nullptr;
}

AnalogColumn ColumnarRecording::analogColumn(std::size_t channel) const
{
    AnalogColumn column;
    if (const double* row = analogRow(channel)) {
        column.time = time.data();
        column.values = row;
        column.count = count;
        column.skew = cfg.analogChannels[channel].skew;
    }
    return column;
}

double ColumnarRecording::triggerTime() const
{
    if (count == 0)
        return 0.0;
    const double first = std::isfinite(_firstSampleTime) ? _firstSampleTime : time[0];
    return first + (std::isfinite(cfg.triggerOffset) ? cfg.triggerOffset : 0.0);
}

StatusColumn ColumnarRecording::statusColumn(std::size_t channel) const
{
    StatusColumn column;
    if (const std::uint8_t* row = statusRow(channel)) {
        column.time = time.data();
        column.states = row;
        column.count = count;
    }
    return column;
}

} // namespace KivComtradeLib
