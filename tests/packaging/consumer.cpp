// A host program of the kind the README shows: load the recording named on
// the command line, check the result code, read one value through a view.
#include <KivComtradeLib/Comtrade.h>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2)
        return 64;
    KivComtradeLib::Comtrade recording;
    const int code = recording.load(argv[1]);
    if (code != 0) {
        std::fprintf(stderr, "load(%s) returned %d\n", argv[1], code);
        return 1;
    }
    if (recording.analogChannels.empty())
        return 2;
    unsigned int hint = 0;
    const double value = recording.analogChannels[0].getValue(0.0, hint);
    std::printf("%zu analog, %zu status channels, first value %g\n",
                recording.analogChannels.size(), recording.binaryChannels.size(), value);
    return 0;
}
