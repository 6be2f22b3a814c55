// Prints what a recording holds: its station and duration, then per analog
// channel the name, unit, first value and the size of a plot-ready series.
#include <KivComtradeLib/Comtrade.h>

#include <iostream>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: " << argv[0] << " RECORDING.cfg\n";
        return 64;
    }
    KivComtradeLib::Comtrade rec;
    if (const int result = rec.load(argv[1]); result != 0) { // the .cfg, .dat or .cff
        std::cerr << rec.report.message << '\n';                // names file, line and field
        return result;
    }
    for (const std::string& warning : rec.report.warnings)
        std::cerr << "warning: " << warning << '\n';
    std::cout << rec.cfg.stationName << ": " << rec.duration << " s\n";
    for (const KivComtradeLib::AnalogChannel& ch : rec.analogChannels) {
        unsigned int hint = 0; // values in base units: a kV channel reads in V
        const std::vector<Kiv::PointF> plot = ch.getPoints(0.0, -1.0, -1.0); // ~1000 (t, y)
        std::cout << ch.name() << " [" << ch.unit() << "] " << ch.getValue(0.0, hint) << ", "
                  << plot.size() << " points\n";
    }
    return 0;
}
