#pragma once
// An input stream over bytes the caller holds (no copy): seeking and tellg
// work, so the readers that measure their input by seeking to the end read a
// buffer exactly as they read a file.

#include <cstddef>
#include <istream>
#include <streambuf>

namespace KivComtradeLib {

class MemoryBuffer : public std::streambuf {
public:
    MemoryBuffer(const char* data, std::size_t size)
    {
        // streambuf's get area is of char*; the bytes are only ever read.
        char* begin = const_cast<char*>(size != 0 ? data : "");
        setg(begin, begin, begin + size);
    }

protected:
    pos_type seekoff(off_type offset, std::ios_base::seekdir dir, std::ios_base::openmode which) override
    {
        if ((which & std::ios_base::in) == 0)
            return pos_type(off_type(-1));
        const off_type base = dir == std::ios_base::beg ? 0 : dir == std::ios_base::cur ? gptr() - eback()
                                                                                        : egptr() - eback();
        const off_type target = base + offset;
        if (target < 0 || target > egptr() - eback())
            return pos_type(off_type(-1));
        setg(eback(), eback() + target, egptr());
        return pos_type(target);
    }

    pos_type seekpos(pos_type position, std::ios_base::openmode which) override
    {
        return seekoff(off_type(position), std::ios_base::beg, which);
    }
};

class MemoryStream : public std::istream {
public:
    MemoryStream(const char* data, std::size_t size) : std::istream(nullptr), _buffer(data, size) { rdbuf(&_buffer); }

private:
    MemoryBuffer _buffer;
};

} // namespace KivComtradeLib
