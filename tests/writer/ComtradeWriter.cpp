#include "writer/ComtradeWriter.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <system_error>

#include <stdlib.h> // mkdtemp

namespace KivTest {

using KivComtradeLib::Enums::DataFileType;

namespace {

// Numbers are written in their shortest round-trip form, so that the reader's
// std::stod gives back exactly the double the test holds.
void appendNumber(std::string& out, double value)
{
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof(buf), value);
    out.append(buf, res.ptr);
}

template <typename Int>
void appendInt(std::string& out, Int value)
{
    char buf[32];
    auto res = std::to_chars(buf, buf + sizeof(buf), value);
    out.append(buf, res.ptr);
}

void appendLe16(std::string& out, std::uint16_t v)
{
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>(v >> 8));
}

void appendLe32(std::string& out, std::uint32_t v)
{
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
    out.push_back(static_cast<char>((v >> 16) & 0xFF));
    out.push_back(static_cast<char>(v >> 24));
}

std::uint32_t wrap32(double raw)
{
    // Round, then wrap modulo 2^32 the way the text scanner accumulates.
    const long long n = std::llround(raw);
    return static_cast<std::uint32_t>(static_cast<unsigned long long>(n));
}

std::string eol(const RecordingLayout& design)
{
    return design.crlf ? "\r\n" : "\n";
}

// One data record, text line or binary record, appended to `out`.
void appendRecord(std::string& out, const RecordingLayout& design, const Record& record)
{
    const std::size_t nA = design.analogs.size();
    const std::size_t nD = design.statuses.size();
    if (design.type == KivComtradeLib::Enums::Ascii) {
        appendInt(out, record.sampleNumber);
        out.push_back(',');
        appendInt(out, record.timeStamp);
        for (std::size_t c = 0; c < nA; ++c) {
            out.push_back(',');
            const double raw = c < record.raw.size() ? record.raw[c] : 0.0;
            appendInt(out, std::llround(raw));
        }
        for (std::size_t d = 0; d < nD; ++d) {
            out.push_back(',');
            out.push_back(d < record.status.size() && record.status[d] ? '1' : '0');
        }
        out += design.crlf ? "\r\n" : "\n";
        return;
    }

    appendLe32(out, record.sampleNumber);
    appendLe32(out, record.timeStamp);
    for (std::size_t c = 0; c < nA; ++c) {
        const double raw = c < record.raw.size() ? record.raw[c] : 0.0;
        switch (design.type) {
        case KivComtradeLib::Enums::Binary:
            appendLe16(out, static_cast<std::uint16_t>(wrap32(raw) & 0xFFFFu));
            break;
        case KivComtradeLib::Enums::Binary32:
            appendLe32(out, wrap32(raw));
            break;
        default: {
            const float f = static_cast<float>(raw);
            std::uint32_t bits;
            std::memcpy(&bits, &f, sizeof(bits));
            appendLe32(out, bits);
            break;
        }
        }
    }
    // Status words: channel 16*g+b is bit b of word g.
    for (std::size_t g = 0; g * 16 < nD; ++g) {
        std::uint16_t word = 0;
        for (std::size_t b = 0; b < 16 && g * 16 + b < nD; ++b) {
            const std::size_t d = g * 16 + b;
            if (d < record.status.size() && record.status[d])
                word = static_cast<std::uint16_t>(word | (1u << b));
        }
        appendLe16(out, word);
    }
}

class FileCloser {
public:
    void operator()(std::FILE* f) const { std::fclose(f); }
};

} // namespace

std::string typeKeyword(DataFileType type)
{
    switch (type) {
    case KivComtradeLib::Enums::Binary: return "BINARY";
    case KivComtradeLib::Enums::Binary32: return "BINARY32";
    case KivComtradeLib::Enums::Float32: return "FLOAT32";
    default: return "ASCII";
    }
}

double storedRaw(DataFileType type, double raw)
{
    switch (type) {
    case KivComtradeLib::Enums::Binary:
        return static_cast<double>(static_cast<std::int16_t>(wrap32(raw) & 0xFFFFu));
    case KivComtradeLib::Enums::Float32:
        return static_cast<double>(static_cast<float>(raw));
    default:
        return static_cast<double>(static_cast<std::int32_t>(wrap32(raw)));
    }
}

double engineeringValue(const RecordingLayout& design, std::size_t c, double raw)
{
    const AnalogLayout& an = design.analogs.at(c);
    double a = an.a;
    double b = an.b;
    // Primary-side values are rescaled by secondary / primary, gain and
    // offset; only a 13-field line (written from revision 1999 on) carries it.
    const bool secondary = std::toupper(static_cast<unsigned char>(an.ps)) == 'S';
    if (design.revYear >= 1999 && !secondary) {
        a = (an.secondary / an.primary) * a;
        b = (an.secondary / an.primary) * b;
    }
    double multiplier = 1.0;
    if (an.unit.size() >= 2) {
        switch (an.unit[0]) {
        case 'k': case 'K': multiplier = 1000.0; break;
        case 'M': multiplier = 1000000.0; break;
        case 'm': multiplier = 0.001; break;
        default: break;
        }
    }
    return (raw * a + b) * multiplier;
}

unsigned long long Recording::samplesCount() const
{
    return records.size();
}

double Recording::expectedValue(std::size_t k, std::size_t c) const
{
    return engineeringValue(design, c, storedRaw(design.type, records.at(k).raw.at(c)));
}

Recording makeRecording(RecordingLayout design, std::size_t records)
{
    Recording rec;
    rec.design = std::move(design);
    const std::size_t nA = rec.design.analogs.size();
    const std::size_t nD = rec.design.statuses.size();
    double amplitude = 30000.0;
    switch (rec.design.type) {
    case KivComtradeLib::Enums::Binary: amplitude = 32767.0; break;
    case KivComtradeLib::Enums::Binary32: amplitude = 2.0e9; break;
    case KivComtradeLib::Enums::Float32: amplitude = 1234.5678; break;
    default: break;
    }
    const double pi = 3.14159265358979323846;
    rec.records.resize(records);
    for (std::size_t k = 0; k < records; ++k) {
        Record& r = rec.records[k];
        r.sampleNumber = static_cast<std::uint32_t>(k + 1);
        r.timeStamp = static_cast<std::uint32_t>(k * 1000u);
        r.raw.resize(nA);
        for (std::size_t c = 0; c < nA; ++c) {
            const double v = amplitude * std::sin(2.0 * pi * static_cast<double>(k) / 20.0
                                                  + 0.7 * static_cast<double>(c));
            r.raw[c] = rec.design.type == KivComtradeLib::Enums::Float32 ? v : std::round(v);
        }
        r.status.resize(nD);
        for (std::size_t d = 0; d < nD; ++d)
            r.status[d] = ((k / (d + 2)) + d) % 2 == 1;
    }
    return rec;
}

std::string cfgText(const RecordingLayout& design, unsigned long long samplesCount)
{
    const std::string nl = eol(design);
    const bool rev1991 = design.revYear < 1999;
    std::string out;
    out.reserve(256 + 96 * (design.analogs.size() + design.statuses.size()));

    out += design.station + "," + design.device;
    if (!rev1991) {
        out += ",";
        appendInt(out, design.revYear);
    }
    out += nl;

    appendInt(out, design.analogs.size() + design.statuses.size());
    out += ",";
    appendInt(out, design.analogs.size());
    out += "A,";
    appendInt(out, design.statuses.size());
    out += "D" + nl;

    for (std::size_t c = 0; c < design.analogs.size(); ++c) {
        const AnalogLayout& an = design.analogs[c];
        appendInt(out, c + 1);
        out += "," + an.id + "," + an.phase + "," + an.circuitComponent + "," + an.unit + ",";
        appendNumber(out, an.a);
        out += ",";
        appendNumber(out, an.b);
        out += ",";
        appendNumber(out, an.skewMicroseconds);
        out += ",";
        appendNumber(out, an.min);
        out += ",";
        appendNumber(out, an.max);
        if (!rev1991) {
            out += ",";
            appendNumber(out, an.primary);
            out += ",";
            appendNumber(out, an.secondary);
            out += ",";
            out.push_back(an.ps);
        }
        out += nl;
    }
    for (std::size_t d = 0; d < design.statuses.size(); ++d) {
        const StatusLayout& st = design.statuses[d];
        appendInt(out, d + 1);
        out += "," + st.id + ",";
        if (!rev1991)
            out += st.phase + "," + st.circuitComponent + ",";
        appendInt(out, st.normalState);
        out += nl;
    }

    appendNumber(out, design.lineFrequency);
    out += nl;
    if (design.rates.empty()) {
        out += "1" + nl + "1000,";
        appendInt(out, samplesCount);
        out += nl;
    } else {
        appendInt(out, design.rates.size());
        out += nl;
        for (const RateLayout& r : design.rates) {
            appendNumber(out, r.rate);
            out += ",";
            appendInt(out, r.endSample);
            out += nl;
        }
    }
    out += design.startTime + nl;
    out += design.triggerTime + nl;
    out += design.typeKeyword.empty() ? typeKeyword(design.type) : design.typeKeyword;
    out += nl;
    if (design.writeTimeMultiplier) {
        appendNumber(out, design.timeMultiplier);
        out += nl;
    }
    if (!design.finalLineEnd)
        out.resize(out.size() - nl.size());
    return out;
}

std::string datBytes(const Recording& recording)
{
    std::string out;
    const std::size_t perRecord = recording.design.type == KivComtradeLib::Enums::Ascii
        ? 16 + 8 * (recording.design.analogs.size() + recording.design.statuses.size())
        : 8 + 4 * recording.design.analogs.size() + 2 * (recording.design.statuses.size() / 16 + 1);
    out.reserve(perRecord * recording.records.size());
    for (const Record& r : recording.records)
        appendRecord(out, recording.design, r);
    return out;
}

bool writeRecording(const Recording& recording, const std::string& basePath,
                    const std::string& cfgExt, const std::string& datExt)
{
    return writeFile(basePath + cfgExt, cfgText(recording.design, recording.samplesCount()))
        && writeFile(basePath + datExt, datBytes(recording));
}

std::string cffBytes(const Recording& recording, const CffStyle& style)
{
    const std::string nl = eol(recording.design);
    const std::string dat = datBytes(recording);
    const bool ascii = recording.design.type == DataFileType::Ascii;
    std::string out = (style.lenient ? "--  File Type CFG --" : "--- file type: CFG ---") + nl;
    out += cfgText(recording.design, recording.samplesCount());
    if (!recording.design.finalLineEnd)
        out += nl;
    const auto section = [&](const char* canonical, const char* lenient, const std::string& text) {
        if (text.empty())
            return;
        out += (style.lenient ? lenient : canonical) + nl;
        for (char ch : text)
            out += ch == '\n' ? nl : std::string(1, ch);
        if (text.back() != '\n')
            out += nl;
    };
    section("--- file type: INF ---", "-- FILE TYPE: inf ---", style.information);
    section("--- file type: HDR ---", "---file type hdr---", style.header);
    std::string datHeader = style.lenient ? "-- file type DAT" : "--- file type: DAT " + typeKeyword(recording.design.type);
    if (!ascii) {
        datHeader += style.lenient ? " " : ": ";
        appendInt(datHeader, dat.size());
    }
    out += datHeader + (style.lenient ? " --" : " ---") + nl + dat;
    return out;
}

bool writeGenerated(const RecordingLayout& design, unsigned long long samplesCount,
                    const std::function<void(unsigned long long, Record&)>& fill,
                    const std::string& basePath)
{
    if (!writeFile(basePath + ".cfg", cfgText(design, samplesCount)))
        return false;
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen((basePath + ".dat").c_str(), "wb"));
    if (!file)
        return false;

    // Records are formatted into one buffer that is flushed in large blocks.
    constexpr std::size_t blockSize = std::size_t(1) << 20;
    std::string buffer;
    buffer.reserve(blockSize + 4096);
    Record record;
    record.raw.assign(design.analogs.size(), 0.0);
    record.status.assign(design.statuses.size(), false);
    for (unsigned long long k = 0; k < samplesCount; ++k) {
        fill(k, record);
        appendRecord(buffer, design, record);
        if (buffer.size() >= blockSize) {
            if (std::fwrite(buffer.data(), 1, buffer.size(), file.get()) != buffer.size())
                return false;
            buffer.clear();
        }
    }
    if (!buffer.empty()
        && std::fwrite(buffer.data(), 1, buffer.size(), file.get()) != buffer.size())
        return false;
    return std::fclose(file.release()) == 0;
}

std::string makeTempDir(const std::string& tag)
{
    const char* env = std::getenv("KIVCOMTRADE_TEST_TMP");
    const std::string base = env && *env ? env : "/tmp";
    std::error_code ec;
    std::filesystem::create_directories(base, ec);

    std::string safeTag = tag;
    for (char& ch : safeTag)
        if (!std::isalnum(static_cast<unsigned char>(ch)) && ch != '-' && ch != '_')
            ch = '_';
    std::string pattern = base + "/kivcomtrade-" + safeTag + "-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data()))
        throw std::runtime_error("cannot create a temporary folder under " + base);
    return std::string(buf.data());
}

void removeTree(const std::string& path)
{
    if (path.empty())
        return;
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {};
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    in.seekg(0, std::ios::beg);
    std::string bytes(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
    if (size > 0)
        in.read(&bytes[0], size);
    return bytes;
}

bool writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        return false;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return static_cast<bool>(out);
}

std::string toCrLf(const std::string& text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (char ch : text) {
        if (ch == '\n')
            out.push_back('\r');
        out.push_back(ch);
    }
    return out;
}

std::string sharedSamplesDir()
{
#ifdef KIVCOMTRADE_SAMPLES_DIR
    std::error_code ec;
    if (std::filesystem::is_directory(KIVCOMTRADE_SAMPLES_DIR, ec))
        return KIVCOMTRADE_SAMPLES_DIR;
#endif
    return {};
}

} // namespace KivTest
