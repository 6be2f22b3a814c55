#pragma once
// Small helpers shared by the fuzz targets: a cursor that takes numbers off
// the front of the input and leaves the rest as the payload.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace KivFuzz {

// A broken invariant is a finding: say which and abort, so libFuzzer keeps the input.
inline void check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : p_(data), n_(size) {}

    std::uint8_t byte() {
        if (n_ == 0) return 0;
        --n_;
        return *p_++;
    }

    // Any 64-bit pattern read as a double: NaN, infinities and denormals included.
    double rawDouble() {
        std::uint64_t bits = 0;
        std::size_t take = n_ < sizeof bits ? n_ : sizeof bits;
        std::memcpy(&bits, p_, take);
        p_ += take;
        n_ -= take;
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    }

    const std::uint8_t* data() const { return p_; }
    std::size_t size() const { return n_; }

private:
    const std::uint8_t* p_;
    std::size_t n_;
};

} // namespace KivFuzz
