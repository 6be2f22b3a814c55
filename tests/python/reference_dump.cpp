// What the C++ Comtrade reads from PATH, for the Python tests:
//   kivcomtrade_py_reference PATH
// Lines: the load result; its message; then, when it loaded, the times, one
// line per analog channel and one per status channel.
#include <KivComtradeLib/Comtrade.h>

#include <cstdio>

int main(int argc, char** argv)
{
    KivComtradeLib::Comtrade rec;
    const int result = argc == 2 ? rec.load(argv[1]) : 64;
    std::printf("%d\n%s\n", result, rec.report.message.c_str());
    for (int c = -1; result == 0 && c < int(rec.cfg.analogChannels.size() + rec.cfg.binaryChannels.size()); ++c) {
        const int na = int(rec.cfg.analogChannels.size());
        for (const auto& s : rec.dat.samples)
            std::printf(" %.17g", c < 0 ? s.time : c < na ? s.analogValues[std::size_t(c)] : double(s.binaryValues[std::size_t(c - na)]));
        std::printf("\n");
    }
    return 0;
}
