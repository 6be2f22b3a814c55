#include "config/SampleClock.h"
#include "data/SampleDecoder.h"
#include "support/StreamWindow.h"

#include <KivComtradeLib/Cfg.h>
#include <KivComtradeLib/Dat.h>
#include <KivComtradeLib/FilesHelper.h>
#include <KivComtradeLib/KivCommon.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <vector>

namespace KivComtradeLib {

namespace {

// Binary files are read in blocks of whole records, so records are decoded
// straight from the block without a per-record read call.
constexpr std::size_t kBlockBytes = 1 << 20;

} // namespace

Dat::Dat(const Cfg& config) : cfg(&config) {}

int Dat::load(const std::string& datFileName)
{
    report.clear();
    report.result = _load(datFileName);
    if (report.result == 5 && report.message.empty())
        report.fail(5, datFileName, 0, datFileName + ": no such data file");
    else if (report.result == 6 && report.message.empty())
        report.fail(6, datFileName, 0, datFileName + ": does not match the configuration");
    return report.result;
}

int Dat::load(std::istream& stream, unsigned long long length, const std::string& name)
{
    report.clear();
    StreamWindow window(stream, length);
    std::istream section(&window);
    report.result = _read(section);
    if (report.result == 6 && report.message.empty())
        report.fail(6, name, 0, name + ": data does not match the configuration");
    return report.result;
}

int Dat::_load(const std::string& datFileName)
{
    if (!Kiv::fileExist(datFileName))
        return 5;
    try {
        const bool binary = cfg->dataFileType != Enums::Ascii;
        std::ifstream stream;
        stream = Kiv::openInputFileUTF8Name(datFileName,
                                            binary ? std::ios_base::binary : std::ios_base::in);
        if (!stream.is_open() || stream.bad())
            return 6;
        return _read(stream);
    } catch (const std::exception&) {
        samples.clear();
        lastSampleTime = -1.0;
        return 6;
    }
}

int Dat::_read(std::istream& stream)
{
    try {
        const bool binary = cfg->dataFileType != Enums::Ascii;
        const int result = binary ? _loadBinarySamles(stream) : _loadAsciiSamples(stream);
        if (result != 0)
            samples.clear();
        lastSampleTime = samples.empty() ? -1.0 : samples.back().time;
        return result;
    } catch (const std::exception&) {
        // A failure half-way (no memory for the samples) must not leave a
        // partial recording that looks loaded.
        samples.clear();
        samples.shrink_to_fit();
        lastSampleTime = -1.0;
        return 6;
    }
}

int Dat::_loadBinarySamles(std::istream& stream)
{
    samples.clear();
    // 64-bit length: recordings of 2 GiB and more are real.
    const long long length = FilesHelper::fileLength64(stream);
    if (length <= 0)
        return 6;
    const unsigned long long count = cfg->samplesCount;
    const std::size_t recordSize = cfg->recordSize;
    if (count == 0 || recordSize == 0)
        return 6;
    // Bytes after the last whole record are allowed; a whole extra record is not.
    if (static_cast<unsigned long long>(length) / recordSize != count)
        return 6;

    // The file has shown it holds `count` records: reserving for them is bounded.
    samples.reserve(static_cast<std::size_t>(count));
    const std::size_t perBlock = std::max<std::size_t>(1, kBlockBytes / recordSize);
    std::vector<char> block(perBlock * recordSize);
    SampleClock clock(*cfg);
    const bool rateTimes = cfg->allRatesNonZero;

    unsigned long long k = 0;
    while (k < count) {
        const std::size_t wanted = static_cast<std::size_t>(
            std::min<unsigned long long>(perBlock, count - k));
        stream.read(block.data(), static_cast<std::streamsize>(wanted * recordSize));
        const auto got = static_cast<std::size_t>(stream.gcount());
        const std::size_t records = got / recordSize;
        const auto* bytes = reinterpret_cast<const unsigned char*>(block.data());
        for (std::size_t r = 0; r < records; ++r, ++k) {
            samples.emplace_back(*cfg);
            const double rateTime = rateTimes ? clock.timeAt(k) : 0.0;
            if (!decodeBinaryRecord(samples.back(), bytes + r * recordSize, k, rateTime)) {
                samples.clear();
                return 6;
            }
        }
        if (records < wanted) {
            samples.clear();
            return 6;
        }
    }
    return 0;
}

int Dat::_loadAsciiSamples(std::istream& stream)
{
    samples.clear();
    const long long size = FilesHelper::fileLength64(stream);
    if (size < 0)
        return 6;
    const unsigned long long count = cfg->samplesCount;
    if (count == 0)
        return 6;

    // The file's text is held once; lines are decoded straight out of it.
    // The buffer is left uninitialised: the read fills it, and clearing
    // hundreds of MB first would only cost time.
    const auto capacity = static_cast<std::size_t>(size);
    std::unique_ptr<char[]> text(new char[capacity == 0 ? 1 : capacity]);
    stream.read(text.get(), static_cast<std::streamsize>(size));
    const auto textSize = static_cast<std::size_t>(stream.gcount());

    // Room for no more samples than the text has lines: a .cfg may announce
    // far more records than the file holds.
    const char* const begin = text.get();
    const char* const end = begin + textSize;
    unsigned long long lines = 1;
    for (const char* p = begin; (p = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)))) != nullptr; ++p)
        ++lines;
    samples.reserve(static_cast<std::size_t>(std::min(count, lines)));

    SampleClock clock(*cfg);
    const bool rateTimes = cfg->allRatesNonZero;
    unsigned long long k = 0;
    const char* p = begin;
    while (p < end) {
        const char* eol = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
        const char* next = eol != nullptr ? eol + 1 : end;
        const char* lineEnd = eol != nullptr ? eol : end;
        // Text mode on Windows turns CR LF into LF; do the same here.
        if (eol != nullptr && lineEnd > p && lineEnd[-1] == '\r')
            --lineEnd;
        if (k >= count)
            break;
        const auto length = static_cast<std::size_t>(lineEnd - p);
        if (length != 0) {
            samples.emplace_back(*cfg);
            const double rateTime = rateTimes ? clock.timeAt(k) : 0.0;
            if (!decodeTextRecord(samples.back(), p, length, k, rateTime)) {
                samples.clear();
                return 6;
            }
            ++k;
        }
        p = next;
    }
    // The text goes first: when lines were fewer than announced, shrinking
    // copies the samples, and the two should not be held together.
    text.reset();
    samples.shrink_to_fit();
    return 0;
}

} // namespace KivComtradeLib
