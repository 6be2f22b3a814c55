#pragma once

#include <KivComtradeLib/Cfg.h>
#include <KivComtradeLib/Export.h>
#include <KivComtradeLib/LoadOptions.h>
#include <KivComtradeLib/LoadReport.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace KivComtradeLib {

// One block of records from a ChunkReader, channel-major as in
// ColumnarRecording: row r of the reader's selection at [r * count, (r + 1) * count).
struct KIVCOMTRADE_API ColumnChunk {
    unsigned long long first = 0;     // 0-based position in the file of the first record
    std::size_t count = 0;            // records in this block
    std::vector<double> time;         // seconds from the first sample of the recording
    std::vector<double> analog;
    std::vector<std::uint8_t> status;
};

// Reads a recording larger than memory in blocks of at most `samples`
// records: the configuration is read by open(), then each next() decodes the
// following block into the chunk, reusing its arrays, so memory stays at one
// block whatever the recording's length. The same files, rules and
// selection (LoadOptions' channels and window) as ColumnarRecording; the
// records a whole load would drop (beyond the announced count, a trailing
// partial record) are not read either.
//
//   ChunkReader reader;
//   if (reader.open("big.cfg", 1 << 20) == 0)
//       for (ColumnChunk chunk; reader.next(chunk);) { ... }
//   if (reader.report.result != 0) ... // the sentence in reader.report.message
class KIVCOMTRADE_API ChunkReader {
public:
    std::string cfgFileName;
    std::string datFileName;
    Cfg cfg;
    // open()'s outcome; after the last block: its result, warnings (missing
    // values) and `selection` sentence, or the failure of a block.
    LoadReport report;
    std::vector<std::size_t> analogChannelIndices; // configuration channel of each analog row
    std::vector<std::size_t> statusChannelIndices;
    unsigned long long recordsRead = 0;

    ChunkReader();
    ~ChunkReader();
    ChunkReader(const ChunkReader&) = delete;
    ChunkReader& operator=(const ChunkReader&) = delete;

    // Same result codes as ColumnarRecording::load (0, 1, 2, 3, 5, 6, 7);
    // `samples` 0 is read as 1.
    int open(const std::string& path, std::size_t samples);
    int open(const std::string& path, std::size_t samples, const LoadOptions& options);
    // The next block into `chunk`: false after the last one, or when the file
    // fails (report.result is then not 0). A window without a sample gives
    // 7 from open() for a binary file, from the first next() for a text file.
    bool next(ColumnChunk& chunk);

private:
    struct _State;
    std::unique_ptr<_State> _state;
};

} // namespace KivComtradeLib
