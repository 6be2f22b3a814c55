// What the C++ Comtrade reads from PATH, for the Python tests:
//   kivcomtrade_py_reference PATH
// Lines: the load result; its message; then, when it loaded, the times, one
// line per analog channel and one per status channel.
//   kivcomtrade_py_reference --views PATH
// What the C++ views give: per analog channel a line of (t, getValue(t))
// pairs at about 500 sample times shifted by the skew and the midpoints after
// them, and a line of getPoints(0, -1, -1) as x y pairs; per status channel a
// line of getPoints(0, -1, -1).
#include <KivComtradeLib/Comtrade.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

void printPoints(const std::vector<Kiv::PointF>& points)
{
    for (const Kiv::PointF& p : points)
        std::printf(" %.9g %.9g", double(p.x), double(p.y));
    std::printf("\n");
}

void printViews(const KivComtradeLib::Comtrade& rec)
{
    const auto& samples = rec.dat.samples;
    const std::size_t step = samples.size() / 500 + 1;
    for (const auto& channel : rec.analogChannels) {
        unsigned int hint = 0;
        for (std::size_t k = 0; k < samples.size(); k += step) {
            const double next = k + 1 < samples.size() ? samples[k + 1].time : samples[k].time;
            for (const double t : {samples[k].time + channel.skew, (samples[k].time + next) / 2 + channel.skew})
                std::printf(" %.17g %.17g", t, channel.getValue(t, hint));
        }
        std::printf("\n");
        printPoints(channel.getPoints(0.0, -1.0, -1.0));
    }
    for (const auto& channel : rec.binaryChannels)
        printPoints(channel.getPoints(0.0, -1.0, -1.0));
}

} // namespace

int main(int argc, char** argv)
{
    const bool views = argc == 3 && std::strcmp(argv[1], "--views") == 0;
    KivComtradeLib::Comtrade rec;
    const int result = argc == 2 || views ? rec.load(argv[argc - 1]) : 64;
    std::printf("%d\n%s\n", result, rec.report.message.c_str());
    if (views) {
        if (result == 0)
            printViews(rec);
        return 0;
    }
    for (int c = -1; result == 0 && c < int(rec.cfg.analogChannels.size() + rec.cfg.binaryChannels.size()); ++c) {
        const int na = int(rec.cfg.analogChannels.size());
        for (const auto& s : rec.dat.samples)
            std::printf(" %.17g", c < 0 ? s.time : c < na ? s.analogValues[std::size_t(c)] : double(s.binaryValues[std::size_t(c - na)]));
        std::printf("\n");
    }
    return 0;
}
