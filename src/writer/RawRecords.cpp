#include "writer/RawRecords.h"

#if defined(__linux__)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace KivComtradeLib {
namespace WritePlanning {

namespace {

inline std::uint32_t getU16(const unsigned char* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8;
}

inline std::uint32_t getU32(const unsigned char* p)
{
    return getU16(p) | getU16(p + 2) << 16;
}

inline void putU32(char* p, std::uint32_t v)
{
    p[0] = static_cast<char>(v & 0xFF);
    p[1] = static_cast<char>((v >> 8) & 0xFF);
    p[2] = static_cast<char>((v >> 16) & 0xFF);
    p[3] = static_cast<char>(v >> 24);
}

// Where each written field comes from in a source record, and the tables
// the text layout takes its fields from.
struct Layout {
    std::size_t sourceSize = 0;          // bytes of a source record
    bool wideSource = false;             // BINARY32 source (else BINARY)
    std::vector<std::size_t> analogAt;   // byte offset of each written channel's value
    std::size_t statusAt = 0;            // byte offset of the source's status words
    std::vector<std::size_t> statusBits; // source bit (in the status area) of each written state
    bool statesInOrder = false;          // the written states are the source's first ones, in order
    bool sameRecord = false;             // the written record is the source's but for number and stamp
    std::size_t statusBytes = 0;         // bytes of written status words
    std::size_t stateBytes = 0;          // bytes holding the written states (ASCII)
    unsigned char lastMask = 0xFF;       // the used bits of the last state byte
    std::size_t maxRecord = 0;           // bytes a written record may take, with slack for the tables
    // ASCII: "," and the text of every 16-bit raw value, its length in byte
    // 7; "," and the characters of 8 states.
    std::vector<std::array<char, 8>> valueText;
    std::vector<std::array<char, 16>> stateText;
    bool emptyMissing = false;
};

Layout layoutOf(const DataFileRef& ref, const Plan& plan)
{
    Layout l;
    l.sourceSize = ref.recordSize;
    l.wideSource = ref.type == Enums::Binary32;
    const std::size_t width = l.wideSource ? 4 : 2;
    bool analogsInOrder = plan.analogs.size() == ref.analogCount;
    for (std::size_t i = 0; i < plan.analogs.size(); ++i) {
        l.analogAt.push_back(8 + width * plan.analogs[i].source);
        analogsInOrder = analogsInOrder && plan.analogs[i].source == i;
    }
    l.statusAt = 8 + width * ref.analogCount;
    l.statesInOrder = true;
    for (std::size_t j = 0; j < plan.statuses.size(); ++j) {
        l.statusBits.push_back(plan.statuses[j].source);
        l.statesInOrder = l.statesInOrder && plan.statuses[j].source == j;
    }
    const std::size_t nd = plan.statuses.size();
    l.statusBytes = 2 * plan.statusWords;
    l.stateBytes = (nd + 7) / 8;
    if (nd % 8 != 0)
        l.lastMask = static_cast<unsigned char>((1u << (nd % 8)) - 1u);
    l.sameRecord = plan.type == ref.type && analogsInOrder && l.statesInOrder && nd == ref.statusCount &&
                   plan.recordSize == ref.recordSize;
    l.emptyMissing = plan.revision >= 2013;
    if (plan.type != Enums::Ascii) {
        l.maxRecord = plan.recordSize;
        return l;
    }
    // Number and stamp, 12 characters a value, 2 a state, CR LF, and room
    // for the 8- and 16-byte stores of the tables.
    l.maxRecord = 24 + 12 * plan.analogs.size() + 2 * nd + 2 + 32;
    if (!l.wideSource) {
        l.valueText.resize(65536);
        for (std::uint32_t u = 0; u < 65536; ++u) {
            const auto raw = static_cast<std::int16_t>(static_cast<std::uint16_t>(u));
            char text[8] = {','};
            std::size_t n = 1;
            if (raw != -32768)
                n = static_cast<std::size_t>(std::to_chars(text + 1, text + 7, static_cast<int>(raw)).ptr - text);
            else if (!l.emptyMissing)
                n = static_cast<std::size_t>(std::to_chars(text + 1, text + 7, 99999).ptr - text);
            text[7] = static_cast<char>(n);
            std::memcpy(l.valueText[u].data(), text, 8);
        }
    }
    l.stateText.resize(256);
    for (unsigned b = 0; b < 256; ++b)
        for (unsigned i = 0; i < 8; ++i) {
            l.stateText[b][2 * i] = ',';
            l.stateText[b][2 * i + 1] = static_cast<char>('0' + ((b >> i) & 1u));
        }
    return l;
}

// The written states of a source record, packed from bit 0 of out[0].
inline void gatherStates(const Layout& l, const unsigned char* status, unsigned char* out, std::size_t bytes)
{
    std::memset(out, 0, bytes);
    for (std::size_t j = 0; j < l.statusBits.size(); ++j) {
        const std::size_t s = l.statusBits[j];
        out[j / 8] = static_cast<unsigned char>(out[j / 8] | (((status[s / 8] >> (s % 8)) & 1u) << (j % 8)));
    }
}

// In the source's own layout: `o` holds records [k, end) as read; their
// numbers, stamps and the bits past the last state are mended.
char* mendRecords(const Layout& l, const Plan& plan, const double* times, std::size_t k, std::size_t end, char* o)
{
    // Locals: the stores through `o` could otherwise alias every field read.
    const std::size_t size = plan.recordSize;
    const double origin = plan.time.origin, scale = plan.time.scale;
    const std::size_t lastState = size - l.statusBytes + l.stateBytes - 1;
    const bool mask = l.statusBytes != 0, pad = l.stateBytes < l.statusBytes;
    const unsigned keep = l.lastMask;
    auto number = static_cast<std::uint32_t>(k - plan.first + 1);
    for (; k < end; ++k, o += size, ++number) {
        putU32(o, number);
        putU32(o + 4, stampOf(origin, scale, times[k]));
        if (mask) {
            o[lastState] = static_cast<char>(static_cast<unsigned char>(o[lastState]) & keep);
            if (pad)
                o[size - 1] = 0;
        }
    }
    return o;
}

// Records [k, end) at `o`, from the source's records [k, end) at `r`.
char* binaryRecords(const Layout& l, const Plan& plan, const unsigned char* r, const double* times,
                    std::size_t k, std::size_t end, char* o)
{
    if (l.sameRecord)
        return mendRecords(l, plan, times, k, end, o);
    const std::size_t size = plan.recordSize;
    const bool wideOut = plan.type == Enums::Binary32;
    for (; k < end; ++k, o += size, r += l.sourceSize) {
        {
            char* p = o + 8;
            for (const std::size_t at : l.analogAt) {
                if (!l.wideSource && wideOut) {
                    const std::uint32_t raw = getU16(r + at);
                    // -32768, the missing-value marker, becomes BINARY32's.
                    putU32(p, raw == 0x8000u ? 0x80000000u
                                             : static_cast<std::uint32_t>(static_cast<std::int16_t>(raw)));
                    p += 4;
                } else {
                    const std::size_t width = wideOut ? 4 : 2;
                    std::memcpy(p, r + at, width);
                    p += width;
                }
            }
            if (l.statesInOrder)
                std::memcpy(p, r + l.statusAt, l.statusBytes);
            else
                gatherStates(l, r + l.statusAt, reinterpret_cast<unsigned char*>(p), l.statusBytes);
        }
        // Bits past the last state are not the source's to keep.
        if (l.statusBytes != 0) {
            char* last = o + 8 + (size - 8 - l.statusBytes) + (l.stateBytes - 1);
            *last = static_cast<char>(static_cast<unsigned char>(*last) & l.lastMask);
            if (l.stateBytes < l.statusBytes)
                o[size - 1] = 0;
        }
        putU32(o, static_cast<std::uint32_t>(k - plan.first + 1));
        putU32(o + 4, stampOf(plan.time, times[k]));
    }
    return o;
}

// `packed`: room for the written states of one record.
char* asciiRecords(const Layout& l, const Plan& plan, const unsigned char* r, const double* times,
                   std::size_t k, std::size_t end, char* o, unsigned char* packed)
{
    // Locals: the stores through `o` could otherwise alias every field read.
    const std::size_t nd = plan.statuses.size(), na = l.analogAt.size(), sourceSize = l.sourceSize;
    const std::size_t* analogAt = l.analogAt.data();
    const std::array<char, 8>* valueText = l.valueText.data();
    const std::array<char, 16>* stateText = l.stateText.data();
    const std::size_t statusAt = l.statusAt, stateBytes = l.stateBytes;
    const std::size_t lastChars = nd != 0 ? 2 * (nd - 8 * (stateBytes - 1)) : 0;
    const double origin = plan.time.origin, scale = plan.time.scale;
    const bool wideSource = l.wideSource, statesInOrder = l.statesInOrder, emptyMissing = l.emptyMissing;
    for (; k < end; ++k, r += sourceSize) {
        o = std::to_chars(o, o + 12, static_cast<unsigned long long>(k - plan.first + 1)).ptr;
        *o++ = ',';
        o = std::to_chars(o, o + 12, stampOf(origin, scale, times[k])).ptr;
        if (!wideSource) {
            for (std::size_t c = 0; c < na; ++c) {
                const std::array<char, 8>& text = valueText[getU16(r + analogAt[c])];
                std::memcpy(o, text.data(), 8);
                o += text[7];
            }
        } else {
            for (std::size_t c = 0; c < na; ++c) {
                const auto raw = static_cast<std::int32_t>(getU32(r + analogAt[c]));
                *o++ = ',';
                if (raw != INT32_MIN)
                    o = std::to_chars(o, o + 11, raw).ptr;
                else if (!emptyMissing)
                    o = std::to_chars(o, o + 11, 99999).ptr;
            }
        }
        if (nd != 0) {
            const unsigned char* s = r + statusAt;
            if (!statesInOrder) {
                gatherStates(l, s, packed, stateBytes);
                s = packed;
            }
            for (std::size_t i = 0; i + 1 < stateBytes; ++i, o += 16)
                std::memcpy(o, stateText[s[i]].data(), 16);
            std::memcpy(o, stateText[s[stateBytes - 1]].data(), 16);
            o += lastChars;
        }
        *o++ = '\r';
        *o++ = '\n';
    }
    return o;
}

} // namespace

std::unique_ptr<RawRecords> RawRecords::open(const DataFileRef& ref, const Plan& plan)
{
#if defined(__linux__)
    if (ref.path.empty() || ref.recordSize == 0 || plan.end > ref.size / ref.recordSize)
        return nullptr;
    const bool sourceWide = ref.type == Enums::Binary32;
    if (ref.type != Enums::Binary && !sourceWide)
        return nullptr;
    switch (plan.type) {
    case Enums::Binary:
        if (sourceWide)
            return nullptr; // narrower: the general path decides what fits
        break;
    case Enums::Binary32:
        break;
    case Enums::Ascii:
        // A 32-bit raw value may be 99999, a text file's missing-value marker.
        for (const AnalogPlan& p : plan.analogs)
            if (sourceWide && !std::isnan(p.marker))
                return nullptr;
        break;
    default:
        return nullptr;
    }
    for (const AnalogPlan& p : plan.analogs)
        if (p.mode != RawMode::Exact || p.source >= ref.analogCount)
            return nullptr;
    for (const StatusPlan& s : plan.statuses)
        if (s.source >= ref.statusCount)
            return nullptr;
    const int fd = ::open(ref.path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat st {};
    const bool same = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                      static_cast<unsigned long long>(st.st_dev) == ref.device &&
                      static_cast<unsigned long long>(st.st_ino) == ref.inode &&
                      static_cast<unsigned long long>(st.st_size) == ref.size &&
                      st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec == ref.modified &&
                      st.st_ctim.tv_sec * 1000000000LL + st.st_ctim.tv_nsec == ref.changed;
    if (!same) {
        ::close(fd);
        return nullptr;
    }
    std::unique_ptr<RawRecords> raw(new RawRecords());
    raw->_fd = fd;
    raw->_ref = ref;
    // Pages not in the page cache are read ahead while the first blocks are written.
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return raw;
#else
    (void)ref;
    (void)plan;
    return nullptr;
#endif
}

RawRecords::~RawRecords()
{
#if defined(__linux__)
    if (_fd >= 0)
        ::close(_fd);
#endif
}

bool RawRecords::readRecords(std::size_t k, std::size_t n, char* out) const
{
#if defined(__linux__)
    std::size_t done = 0;
    const std::size_t bytes = n * _ref.recordSize;
    while (done < bytes) {
        const ssize_t got = ::pread(_fd, out + done, bytes - done, static_cast<off_t>(k * _ref.recordSize + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
#else
    (void)k, (void)n, (void)out;
    return false;
#endif
}

DataResult RawRecords::write(const Plan& plan, const double* times, std::FILE* file) const
{
    const Layout layout = layoutOf(_ref, plan);
    constexpr std::size_t kBlockBytes = 1u << 20;
    const std::size_t perBlock = std::max<std::size_t>(1, kBlockBytes / layout.maxRecord);
    const std::size_t blocks = (plan.records() + perBlock - 1) / perBlock;
    // Each thread's scratch: the source records of a block (read with
    // pread: a file cut short meanwhile fails the read, where a mapping
    // would fault) and the states of a record. The source's own layout is
    // read straight into the output and mended there.
    struct Scratch {
        std::vector<char> records;
        std::vector<unsigned char> states;
    };
    std::array<Scratch, 2> scratch;
    for (Scratch& s : scratch) {
        s.records.resize(layout.sameRecord ? 0 : perBlock * layout.sourceSize);
        s.states.resize(layout.stateBytes + 1);
    }
    constexpr std::size_t kReadFailed = ~std::size_t(0);
    const auto format = [&](std::size_t block, char* out, Scratch& s) {
        const std::size_t k = plan.first + block * perBlock;
        const std::size_t end = std::min(plan.end, k + perBlock);
        char* source = layout.sameRecord ? out : s.records.data();
        if (!readRecords(k, end - k, source))
            return kReadFailed;
        const auto* r = reinterpret_cast<const unsigned char*>(source);
        return static_cast<std::size_t>(
            (plan.type == Enums::Ascii ? asciiRecords(layout, plan, r, times, k, end, out, s.states.data())
                                       : binaryRecords(layout, plan, r, times, k, end, out)) -
            out);
    };
    const std::size_t bufferSize = perBlock * layout.maxRecord + 64;
    const auto put = [file](const char* bytes, std::size_t n) { return std::fwrite(bytes, 1, n, file) == n; };
    // Slots of formatted blocks: the second thread fills them in turn, this
    // one writes them out in order.
    constexpr std::size_t kSlots = 3;
    struct Slot {
        std::unique_ptr<char[]> bytes;
        std::size_t used = 0;
        bool full = false;
    };
    std::array<Slot, kSlots> slots;
    std::mutex mutex;
    std::condition_variable changed;
    bool stop = false;
    std::thread worker;
    if (blocks >= 2) {
        try {
            for (Slot& slot : slots)
                slot.bytes.reset(new char[bufferSize]);
            worker = std::thread([&] {
                for (std::size_t b = 0; b < blocks; ++b) {
                    Slot& slot = slots[b % kSlots];
                    {
                        std::unique_lock<std::mutex> lock(mutex);
                        changed.wait(lock, [&] { return stop || !slot.full; });
                        if (stop)
                            return;
                    }
                    const std::size_t used = format(b, slot.bytes.get(), scratch[1]);
                    std::lock_guard<std::mutex> lock(mutex);
                    slot.used = used;
                    slot.full = true;
                    changed.notify_all();
                }
            });
        } catch (const std::exception&) {
            // No second thread (or no memory for its slots): one block at a time below.
        }
    }
    if (!worker.joinable()) {
        std::vector<char> buffer(bufferSize);
        for (std::size_t b = 0; b < blocks; ++b) {
            const std::size_t used = format(b, buffer.data(), scratch[0]);
            if (used == kReadFailed || !put(buffer.data(), used))
                return DataResult::IoError;
        }
        return std::fflush(file) == 0 ? DataResult::Written : DataResult::IoError;
    }
    bool ok = true;
    for (std::size_t b = 0; b < blocks && ok; ++b) {
        Slot& slot = slots[b % kSlots];
        {
            std::unique_lock<std::mutex> lock(mutex);
            changed.wait(lock, [&] { return slot.full; });
        }
        ok = slot.used != kReadFailed && put(slot.bytes.get(), slot.used);
        std::lock_guard<std::mutex> lock(mutex);
        slot.full = false;
        stop = !ok;
        changed.notify_all();
    }
    worker.join();
    return ok && std::fflush(file) == 0 ? DataResult::Written : DataResult::IoError;
}

} // namespace WritePlanning
} // namespace KivComtradeLib
