// The host example shown in the README, compiled and run on a written
// recording so that it cannot drift from the library.

#include "util/ComtradeWriter.h"

#include <gtest/gtest.h>

#include <sstream>

// README-BEGIN
#include <KivComtradeLib/Comtrade.h>
#include <iostream>

int printRecording(const std::string& path, std::ostream& out)
{
    KivComtradeLib::Comtrade rec;
    const int result = rec.load(path); // path of the .cfg, .dat or .cff file
    if (result != 0) {                 // 2/3: configuration, 5/6: data file
        out << "cannot load " << path << " (code " << result << ")\n";
        return result;
    }
    out << rec.cfg.stationName << ": " << rec.duration << " s\n";
    for (const KivComtradeLib::AnalogChannel& ch : rec.analogChannels) {
        out << ch.name() << " [" << ch.unit() << "]";
        // ~1000 points over the whole recording; y in base units (kV read as V)
        const std::vector<Kiv::PointF> points = ch.getPoints(0.0, -1.0, -1.0);
        for (std::size_t i = 0; i < points.size() && i < 3; ++i)
            out << "  " << points[i].x << " s = " << points[i].y;
        out << "\n";
    }
    return 0;
}
// README-END

TEST(ReadmeExample, PrintsARecording)
{
    using namespace KivTest;
    TempDir dir("readme");
    RecordingSpec spec;
    spec.station = "SUBSTATION 7";
    spec.type = KivComtradeLib::Enums::Binary;
    spec.analogs = {AnalogSpec{"UA", "A", "", "kV", 0.01}, AnalogSpec{"IA", "A", "", "A", 0.01}};
    spec.statuses = {StatusSpec{}};
    const Recording rec = makeRecording(spec, 501);
    ASSERT_TRUE(writeRecording(rec, dir.file("fault")));

    std::ostringstream out, expected, missing;
    ASSERT_EQ(printRecording(dir.file("fault.cfg"), out), 0);
    expected << "SUBSTATION 7: 0.5 s\n"
             << "UA,A,,kV [kV]  0 s = " << float(rec.expectedValue(0, 0)) << "  ";
    EXPECT_EQ(out.str().rfind(expected.str(), 0), 0u) << out.str();
    EXPECT_NE(out.str().find("\nIA,A,,A [A]  0 s = "), std::string::npos) << out.str();
    EXPECT_EQ(printRecording(dir.file("absent.cfg"), missing), 2);
    EXPECT_NE(missing.str().find("code 2"), std::string::npos);
}
