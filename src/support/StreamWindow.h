#pragma once
// A read-only view of `length` bytes of another stream, from its read position
// at construction: seeking, tellg and the end of the data are those of the
// window, so a reader that measures its input by seeking to the end reads a
// section of a larger file exactly as it would read a file of its own.

#include <algorithm>
#include <istream>
#include <streambuf>
#include <vector>

namespace KivComtradeLib {

class StreamWindow : public std::streambuf {
public:
    StreamWindow(std::istream& source, unsigned long long length)
        : _source(source.rdbuf()), _length(length), _buffer(1 << 16)
    {
        const std::streampos here = source.tellg();
        _base = here == std::streampos(-1) ? 0 : static_cast<long long>(here);
        if (here == std::streampos(-1))
            _length = 0;
    }

protected:
    int_type underflow() override
    {
        if (gptr() < egptr())
            return traits_type::to_int_type(*gptr());
        const unsigned long long at = _next;
        if (at >= _length || _source == nullptr)
            return traits_type::eof();
        const auto wanted = static_cast<std::streamsize>(
            std::min<unsigned long long>(_buffer.size(), _length - at));
        if (_source->pubseekpos(static_cast<std::streamoff>(_base + static_cast<long long>(at)),
                                std::ios_base::in) == std::streampos(-1))
            return traits_type::eof();
        const std::streamsize got = _source->sgetn(_buffer.data(), wanted);
        if (got <= 0)
            return traits_type::eof();
        setg(_buffer.data(), _buffer.data(), _buffer.data() + got);
        _next = at + static_cast<unsigned long long>(got);
        return traits_type::to_int_type(*gptr());
    }

    pos_type seekoff(off_type offset, std::ios_base::seekdir dir, std::ios_base::openmode) override
    {
        const long long current = static_cast<long long>(_next) - static_cast<long long>(egptr() - gptr());
        long long target = offset;
        if (dir == std::ios_base::cur)
            target += current;
        else if (dir == std::ios_base::end)
            target += static_cast<long long>(_length);
        if (target < 0 || static_cast<unsigned long long>(target) > _length)
            return pos_type(off_type(-1));
        setg(nullptr, nullptr, nullptr);
        _next = static_cast<unsigned long long>(target);
        return pos_type(target);
    }

    pos_type seekpos(pos_type position, std::ios_base::openmode mode) override
    {
        return seekoff(off_type(position), std::ios_base::beg, mode);
    }

private:
    std::streambuf* _source;
    long long _base = 0;
    unsigned long long _length;
    unsigned long long _next = 0; // window offset of the byte after the buffered ones
    std::vector<char> _buffer;
};

} // namespace KivComtradeLib
