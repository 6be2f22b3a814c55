// Damaged recordings, as a host meets them: files cut short and counts that
// announce far more than the files hold. Every load returns a result code and
// leaves the object in the state that code promises; what still loads reads
// back what was written.

#include "writer/ComtradeWriter.h"

#include <KivComtradeLib/Comtrade.h>

#include <gtest/gtest.h>

#include <string>

using namespace KivTest;
using KivComtradeLib::Comtrade;
namespace E = KivComtradeLib::Enums;

namespace {

Recording recording(E::DataFileType type)
{
    RecordingLayout design;
    design.type = type;
    design.analogs = {AnalogLayout{"IA", "A", "", "A", 0.01}, AnalogLayout{"UB", "B", "", "kV", 0.5, 1.0}};
    design.statuses.assign(17, StatusLayout{});
    return makeRecording(design, 8); // binary records of 8 + 4 + 4 bytes
}

std::string replaced(std::string s, const std::string& from, const std::string& to)
{
    const std::size_t pos = s.find(from);
    return pos == std::string::npos ? "(" + from + " not found)" : s.replace(pos, from.size(), to);
}

} // namespace

TEST(Corruption, DamagedFilesLoadOrFailCleanly)
{
    const Recording text = recording(E::Ascii), bin = recording(E::Binary);
    const std::string tc = cfgText(text.design, 8), bc = cfgText(bin.design, 8), td = datBytes(text), bd = datBytes(bin);
    const std::size_t typeLine = bc.find("BINARY\n"), secondLine = td.find('\n') + 1;
    const struct {
        const char* what;
        const Recording& rec;
        std::string cfg, dat;
        int code;
        std::size_t samples;
    } cases[] = {
        {"cfg cut before its file-type line", bin, bc.substr(0, typeLine), bd, 3, 0},
        {"cfg cut inside BINARY: read as text", bin, bc.substr(0, typeLine + 3), bd, 6, 0},
        {"cfg without time multiplier", bin, bc.substr(0, typeLine + 7), bd, 0, 8},
        {"text dat cut inside a line", text, tc, td.substr(0, secondLine + 5), 6, 0},
        {"text dat cut at a line end", text, tc, td.substr(0, secondLine - 1), 0, 1},
        {"binary dat cut inside record 3", bin, bc, bd.substr(0, 16 * 2 + 9), 0, 2},
        {"binary dat cut inside record 1", bin, bc, bd.substr(0, 9), 6, 0},
        {"text, last sample 2^31-1", text, replaced(tc, "1000,8\n", "1000,2147483647\n"), td, 0, 8},
        {"binary, last sample 2^31-1", bin, replaced(bc, "1000,8\n", "1000,2147483647\n"), bd, 0, 8},
        {"binary, last sample -1", bin, replaced(bc, "1000,8\n", "1000,-1\n"), bd, 0, 8},
        {"rate count 2^31-1", text, replaced(tc, "\n1\n1000,8", "\n2147483647\n1000,8"), td, 3, 0},
        {"rate count -1", text, replaced(tc, "\n1\n1000,8", "\n-1\n1000,8"), td, 3, 0},
        {"channel counts 2^31-1", text, replaced(tc, "19,2A,17D", "2147483647,2147483630A,17D"), td, 3, 0},
        {"negative analog count", text, replaced(tc, "19,2A,17D", "19,-2A,21D"), td, 3, 0},
        {"counts that overflow", text, replaced(tc, "19,2A,17D", "-2,2147483647A,2147483647D"), td, 3, 0},
    };
    TempDir dir("corruption");
    ASSERT_TRUE(writeRecording(text, dir.file("good")));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(writeFile(dir.file("bad.cfg"), c.cfg));
        ASSERT_TRUE(writeFile(dir.file("bad.dat"), c.dat));
        Comtrade rec;
        ASSERT_EQ(rec.load(dir.file("good.cfg")), 0);
        ASSERT_EQ(rec.load(dir.file("bad.cfg")), c.code) << rec.report.message;
        EXPECT_EQ(rec.loaded, c.code == 0);
        EXPECT_EQ(rec.analogChannels.size(), c.code == 0 ? 2u : 0u);
        EXPECT_EQ(rec.fileName, dir.file(c.code == 0 ? "bad.cfg" : "good.cfg"));
        ASSERT_EQ(rec.dat.samples.size(), c.samples);
        for (std::size_t k = 0; k < c.samples; ++k) {
            EXPECT_DOUBLE_EQ(rec.dat.samples[k].analogValues[1], c.rec.expectedValue(k, 1)) << k;
            EXPECT_EQ(rec.dat.samples[k].binaryValues, c.rec.records[k].status) << k;
        }
    }
}
