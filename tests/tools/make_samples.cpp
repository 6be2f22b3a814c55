// Writes the bundled sample recordings into a folder:
//   kivcomtrade_make_samples FOLDER
// Run it with the source tree's samples/ folder to refresh the committed files.

#include "FaultSamples.h"

#include <iostream>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: kivcomtrade_make_samples FOLDER\n";
        return 64;
    }
    if (!KivTest::writeBundledSamples(argv[1])) {
        std::cerr << "kivcomtrade_make_samples: cannot write into " << argv[1] << '\n';
        return 1;
    }
    for (const std::string& name : KivTest::bundledSampleNames())
        std::cout << argv[1] << '/' << name << ".cfg, .dat\n";
    return 0;
}
