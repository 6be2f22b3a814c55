#include "data/WindowReader.h"
#include "recording/LoadPipeline.h"
#include "support/ResultCode.h"
#include "support/StreamWindow.h"

#include <KivComtradeLib/ChunkReader.h>
#include <KivComtradeLib/FilesHelper.h>
#include <KivComtradeLib/KivCommon.h>

#include <cstring>
#include <exception>
#include <fstream>

namespace KivComtradeLib {

// The data file stays open between blocks; a DAT section of a .cff is seen
// through a window of the file.
struct ChunkReader::_State {
    std::size_t samples = 1;
    std::ifstream file;
    std::unique_ptr<StreamWindow> section;
    std::unique_ptr<std::istream> sectionStream;
    ChannelSelection selection;
    TimeWindow window;
    std::unique_ptr<WindowReader> reader;
    bool ended = false;
};

ChunkReader::ChunkReader() = default;
ChunkReader::~ChunkReader() = default;

int ChunkReader::open(const std::string& path, std::size_t samples)
{
    return open(path, samples, LoadOptions());
}

int ChunkReader::open(const std::string& path, std::size_t samples, const LoadOptions& options)
{
    _state.reset();
    analogChannelIndices.clear();
    statusChannelIndices.clear();
    recordsRead = 0;
    if (checkRecordingName(path, report) != kLoaded)
        return kNotARecordingName;
    auto state = std::make_unique<_State>();
    state->samples = samples == 0 ? 1 : samples;
    RecordingFiles files;
    // The configuration, and the data file found and opened: it is read later.
    int result = loadRecording(path, options, cfg, files, report,
                               [](std::istream&, long long, const std::string&, LoadReport&) { return kLoaded; });
    cfgFileName = files.cfgFileName;
    datFileName = files.datFileName;
    if (result != kLoaded)
        return result;
    try {
        result = resolveSelection(cfg, options, state->selection, state->window, report, path);
        if (result != kLoaded)
            return result;
        state->file = Kiv::openInputFileUTF8Name(datFileName, std::ios_base::binary);
        if (!state->file.is_open())
            return report.fail(kBadData, datFileName, 0, datFileName + ": cannot be opened");
        std::istream* in = &state->file;
        long long length = files.dataLength;
        if (files.dataLength >= 0) {
            state->file.seekg(static_cast<std::streamoff>(files.dataOffset), std::ios_base::beg);
            state->section = std::make_unique<StreamWindow>(state->file, static_cast<unsigned long long>(length));
            state->sectionStream = std::make_unique<std::istream>(state->section.get());
            in = state->sectionStream.get();
        } else {
            length = FilesHelper::fileLength64(state->file);
        }
        state->reader = std::make_unique<WindowReader>(cfg, state->selection, state->window, *in, length, datFileName);
        LoadReport data;
        result = state->reader->open(data);
        if (result != kLoaded) {
            report.fail(result, data.file, data.line, data.message);
            return result;
        }
    } catch (const std::exception& e) {
        return report.fail(kBadData, datFileName, 0, datFileName + ": cannot be read (" + e.what() + ")");
    }
    analogChannelIndices = state->selection.analog;
    statusChannelIndices = state->selection.status;
    _state = std::move(state);
    return kLoaded;
}

bool ChunkReader::next(ColumnChunk& chunk)
{
    chunk.count = 0;
    if (!_state || _state->ended)
        return false;
    const std::size_t n = _state->samples;
    const std::size_t analogs = analogChannelIndices.size(), states = statusChannelIndices.size();
    LoadReport data;
    long long got = -1;
    try {
        chunk.time.resize(n);
        chunk.analog.resize(analogs * n);
        chunk.status.resize(states * n);
        got = _state->reader->read(n, chunk.time.data(), chunk.analog.data(), chunk.status.data(), n, data);
    } catch (const std::exception& e) {
        data.fail(kBadData, datFileName, 0, datFileName + ": cannot be read (" + e.what() + ")");
    }
    if (got <= 0) {
        _state->ended = true;
        chunk.time.clear();
        chunk.analog.clear();
        chunk.status.clear();
        const int result = got < 0 ? data.result : _state->reader->finish(data);
        report.result = result;
        if (result != kLoaded) {
            report.fail(result, data.file, data.line, data.message);
        } else {
            report.selection = data.selection;
            report.missingValues = data.missingValues;
            report.warnings.insert(report.warnings.end(), data.warnings.begin(), data.warnings.end());
        }
        return false;
    }
    const auto records = static_cast<std::size_t>(got);
    chunk.first = _state->reader->first() + recordsRead;
    chunk.count = records;
    recordsRead += records;
    // A short block: rows moved down in place, no allocation.
    if (records < n) {
        for (std::size_t r = 1; r < analogs; ++r)
            std::memmove(chunk.analog.data() + r * records, chunk.analog.data() + r * n, records * sizeof(double));
        for (std::size_t r = 1; r < states; ++r)
            std::memmove(chunk.status.data() + r * records, chunk.status.data() + r * n, records);
        chunk.time.resize(records);
        chunk.analog.resize(analogs * records);
        chunk.status.resize(states * records);
    }
    return true;
}

} // namespace KivComtradeLib
