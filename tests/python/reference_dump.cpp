// Prints what the C++ Comtrade reads from one recording, for the Python
// tests to compare against: values, and results of the channel views.
//   kivcomtrade_py_reference PATH
// Lines: "result R"; "message M"; "size N A D"; "T t..."; "A c v..."; "S c s..."; then per
// probed channel "V c t value", "P A|S c t0 t1 rate x y x y ...".
#include <KivComtradeLib/Comtrade.h>

#include <cstdio>
#include <vector>

using KivComtradeLib::Comtrade;

namespace {

void points(const char* kind, std::size_t c, double t0, double t1, double rate, const std::vector<Kiv::PointF>& p)
{
    std::printf("P %s %zu %.17g %.17g %.17g", kind, c, t0, t1, rate);
    for (const Kiv::PointF& q : p)
        std::printf(" %.9g %.9g", static_cast<double>(q.x), static_cast<double>(q.y));
    std::printf("\n");
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
        return 64;
    Comtrade rec;
    const int result = rec.load(argv[1]);
    std::printf("result %d\nmessage %s\n", result, rec.report.message.c_str());
    if (result != 0)
        return 0;
    const auto& samples = rec.dat.samples;
    const std::size_t na = rec.cfg.analogChannels.size(), nd = rec.cfg.binaryChannels.size();
    std::printf("size %zu %zu %zu\nT", samples.size(), na, nd);
    for (const auto& s : samples)
        std::printf(" %.17g", s.time);
    for (std::size_t c = 0; c < na; ++c) {
        std::printf("\nA %zu", c);
        for (const auto& s : samples)
            std::printf(" %.17g", s.analogValues[c]);
    }
    for (std::size_t c = 0; c < nd; ++c) {
        std::printf("\nS %zu", c);
        for (const auto& s : samples)
            std::printf(" %d", s.binaryValues[c] ? 1 : 0);
    }
    std::printf("\n");
    if (samples.empty())
        return 0;
    const double end = samples.back().time;
    for (std::size_t c = 0; c < na && c < 3; ++c) {
        const auto& view = rec.analogChannels[c];
        for (const double t : {-0.1, 0.0, end * 0.37, end * 0.5 + view.skew, end, end + 1.0}) {
            unsigned int hint = 0;
            std::printf("V %zu %.17g %.17g\n", c, t, view.getValue(t, hint));
        }
        points("A", c, 0.0, -1.0, -1.0, view.getPoints(0.0, -1.0, -1.0));
        points("A", c, end * 0.25, end * 0.75, 1234.5, view.getPoints(end * 0.25, end * 0.75, 1234.5));
    }
    for (std::size_t c = 0; c < nd && c < 3; ++c) {
        const auto& view = rec.binaryChannels[c];
        points("S", c, 0.0, -1.0, -1.0, view.getPoints(0.0, -1.0, -1.0));
        points("S", c, end * 0.3, end * 0.6, -1.0, view.getPoints(end * 0.3, end * 0.6, -1.0));
    }
    return 0;
}
