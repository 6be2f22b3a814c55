#pragma once
// Lines of the text files of a recording (.cfg, ASCII .dat, .hdr, .inf and
// the text sections of a .cff), read with a bound on their length: a file
// that is one endless line (a corrupt or hostile file) must fail the load,
// not exhaust the memory. Line ends are LF, CR LF, or a lone CR as old Mac
// recorders wrote them.

#include <cstddef>
#include <istream>
#include <string>

namespace KivComtradeLib {

// The longest line the readers accept; no real recording comes near it (a
// text record of 10,000 channels is about 100 KiB).
constexpr std::size_t kMaxLineLength = std::size_t(1) << 20;

// How the lines of a stream end, decided at its first line end and kept
// in the stream (iword): LF (CR LF: a CR right before the LF is dropped, as
// Windows text mode does), or a lone CR as old Mac recorders wrote.
enum : long { kLineEndsUnknown = 0, kLineEndsLf = 1, kLineEndsCr = 2, kLineEndsCrPendingEmpty = 3 };

inline long& lineEnds(std::istream& in)
{
    static const int slot = std::ios_base::xalloc();
    return in.iword(slot);
}

// Reads one line, its line end removed, into `line`, as std::getline does
// (failbit when nothing is left, eofbit when the file ends in the line).
// When the line is longer than kMaxLineLength, `tooLong` is set and `line`
// holds its first kMaxLineLength bytes; the rest is left unread unless
// `skipRest` (then it is read and dropped). `consumed` receives the bytes
// taken from the stream, the line end included.
inline bool readTextLine(std::istream& in, std::string& line, bool& tooLong, bool skipRest = false,
                         unsigned long long* consumed = nullptr)
{
    using Traits = std::char_traits<char>;
    line.clear();
    tooLong = false;
    unsigned long long used = 0;
    long& ends = lineEnds(in);
    const std::istream::sentry ok(in, true);
    if (ok && ends == kLineEndsCrPendingEmpty) {
        // "CR CR" at the first line end, not followed by LF: an empty line.
        ends = kLineEndsCr;
    } else if (ok) {
        std::streambuf* const buffer = in.rdbuf();
        for (;;) {
            const Traits::int_type c = buffer->sbumpc();
            if (Traits::eq_int_type(c, Traits::eof())) {
                // In an LF file, a CR at the very end is no line end.
                in.setstate(used == 0 ? std::ios_base::eofbit | std::ios_base::failbit : std::ios_base::eofbit);
                break;
            }
            ++used;
            if (c == '\n') {
                if (ends == kLineEndsUnknown)
                    ends = kLineEndsLf;
                if (!line.empty() && line.back() == '\r' && !tooLong)
                    line.pop_back();
                break;
            }
            if (c == '\r' && ends != kLineEndsLf) {
                if (Traits::eq_int_type(buffer->sgetc(), '\n')) {
                    // CR LF: the file's line ends are LF ones.
                    buffer->sbumpc();
                    ++used;
                    if (ends == kLineEndsUnknown)
                        ends = kLineEndsLf;
                } else if (ends == kLineEndsUnknown && Traits::eq_int_type(buffer->sgetc(), '\r')) {
                    // CR CR LF (CR LF written through a text-mode stream)
                    // or a lone-CR file whose second line is empty.
                    buffer->sbumpc();
                    ++used;
                    if (Traits::eq_int_type(buffer->sgetc(), '\n')) {
                        buffer->sbumpc();
                        ++used;
                        ends = kLineEndsLf;
                    } else {
                        ends = kLineEndsCrPendingEmpty;
                    }
                } else if (ends == kLineEndsUnknown) {
                    ends = kLineEndsCr;
                }
                break;
            }
            if (line.size() < kMaxLineLength) {
                line.push_back(Traits::to_char_type(c));
            } else {
                tooLong = true;
                if (!skipRest)
                    break;
            }
        }
    }
    if (consumed != nullptr)
        *consumed = used;
    return !in.fail();
}

} // namespace KivComtradeLib
