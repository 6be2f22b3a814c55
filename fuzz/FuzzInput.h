#pragma once
// The invariant checker the fuzz targets share: a broken invariant aborts (so
// libFuzzer keeps the input); values compare by their bytes (NaN equals NaN).

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace KivFuzz {

inline void check(bool ok, const char* what)
{
    if (!ok) std::fprintf(stderr, "invariant broken: %s\n", what), std::abort();
}

template <class T>
bool sameBytes(const std::vector<T>& a, const std::vector<T>& b)
{
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
}

} // namespace KivFuzz
