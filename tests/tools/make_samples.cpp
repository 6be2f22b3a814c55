// Writes the bundled recordings into FOLDER; run it with the source tree's
// samples/ to refresh the committed files: kivcomtrade_make_samples FOLDER
#include "FaultSamples.h"

#include <iostream>

int main(int argc, char** argv)
{
    if (argc != 2 || !KivTest::writeBundledSamples(argv[1])) {
        std::cerr << "usage: kivcomtrade_make_samples FOLDER (a folder that can be written)\n";
        return argc != 2 ? 64 : 1;
    }
    return 0;
}
