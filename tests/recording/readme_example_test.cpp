// The host example shown in the README, compiled and run on a written
// recording so that it cannot drift from the library.

#include "writer/ComtradeWriter.h"

#include <gtest/gtest.h>

#include <sstream>

// README-BEGIN
#include <KivComtradeLib/Comtrade.h>
#include <iostream>

int printRecording(const std::string& path, std::ostream& out)
{
    KivComtradeLib::Comtrade rec;
    if (const int result = rec.load(path); result != 0) { // path of the .cfg, .dat or .cff
        out << "cannot load " << path << " (code " << result << ")\n";
        return result;
    }
    out << rec.cfg.stationName << ": " << rec.duration << " s\n";
    for (const KivComtradeLib::AnalogChannel& ch : rec.analogChannels) {
        unsigned int hint = 0; // values in base units: a kV channel reads in V
        const std::vector<Kiv::PointF> plot = ch.getPoints(0.0, -1.0, -1.0); // ~1000 (t, y)
        out << ch.name() << " [" << ch.unit() << "] " << ch.getValue(0.0, hint) << ", "
            << plot.size() << " points\n";
    }
    return 0;
}
// README-END

TEST(ReadmeExample, PrintsARecording)
{
    using namespace KivTest;
    TempDir dir("readme");
    RecordingLayout design;
    design.station = "SUBSTATION 7";
    design.type = KivComtradeLib::Enums::Binary;
    design.analogs = {AnalogLayout{"UA", "A", "", "kV", 0.01}, AnalogLayout{"IA", "A", "", "A", 0.01}};
    design.statuses = {StatusLayout{}};
    const Recording rec = makeRecording(design, 501);
    ASSERT_TRUE(writeRecording(rec, dir.file("fault")));

    std::ostringstream out, expected, missing;
    ASSERT_EQ(printRecording(dir.file("fault.cfg"), out), 0);
    expected << "SUBSTATION 7: 0.5 s\n"
             << "UA,A,,kV [kV] " << rec.expectedValue(0, 0) << ", 1001 points\n";
    EXPECT_EQ(out.str().rfind(expected.str(), 0), 0u) << out.str();
    EXPECT_NE(out.str().find("\nIA,A,,A [A] "), std::string::npos) << out.str();
    EXPECT_EQ(printRecording(dir.file("absent.cfg"), missing), 2);
    EXPECT_NE(missing.str().find("code 2"), std::string::npos);
}
