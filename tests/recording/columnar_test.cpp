// The columnar path against Comtrade: the same numbers bit for bit (NaN where
// missing), the same counts, codes and report, on the bundled recordings, the
// real ones and written ones of every data type.

#include "writer/ComtradeWriter.h"

#include <KivComtradeLib/ColumnarRecording.h>
#include <KivComtradeLib/Comtrade.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

using namespace KivTest;
using KivComtradeLib::ColumnarRecording;
using KivComtradeLib::Comtrade;
namespace E = KivComtradeLib::Enums;
namespace fs = std::filesystem;

namespace {

bool sameDouble(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Loads `path` both ways; every value, state, time and the report agree.
void expectSameAsComtrade(const std::string& path)
{
    SCOPED_TRACE(path);
    Comtrade rec;
    ColumnarRecording col;
    const int result = rec.load(path);
    ASSERT_EQ(col.load(path), result);
    EXPECT_EQ(col.report.message, rec.report.message);
    EXPECT_EQ(col.report.warnings, rec.report.warnings);
    EXPECT_EQ(col.report.missingValues, rec.report.missingValues);
    if (result != 0) {
        EXPECT_TRUE(col.count == 0 && col.time.empty() && col.analog.empty() && col.status.empty());
        return;
    }
    const std::size_t n = rec.dat.samples.size(), analogs = rec.cfg.analogChannels.size(),
                      states = rec.cfg.binaryChannels.size();
    ASSERT_EQ(col.count, n);
    ASSERT_EQ(col.time.size(), n);
    ASSERT_EQ(col.analog.size(), analogs * n);
    ASSERT_EQ(col.status.size(), states * n);
    for (std::size_t k = 0; k < n; ++k) {
        const auto& s = rec.dat.samples[k];
        ASSERT_TRUE(sameDouble(col.time[k], s.time)) << k;
        for (std::size_t c = 0; c < analogs; ++c)
            ASSERT_TRUE(sameDouble(col.analogRow(c)[k], s.analogValues[c])) << "record " << k << " channel " << c;
        for (std::size_t d = 0; d < states; ++d)
            ASSERT_EQ(col.statusRow(d)[k], s.binaryValues[d] ? 1 : 0) << "record " << k << " status " << d;
    }
    EXPECT_EQ(col.analogRow(analogs), nullptr);
    EXPECT_EQ(col.statusRow(states), nullptr);
}

} // namespace

TEST(ColumnarRecording, BundledAndRealRecordingsReadAsComtradeReadsThem)
{
    for (const char* name : {"fault-slg-binary.cfg", "fault-slg-ascii.cfg"})
        expectSameAsComtrade(std::string(KIVCOMTRADE_SOURCE_DIR) + "/samples/" + name);
    const std::string root = sharedSamplesDir();
    if (root.empty())
        GTEST_SKIP() << "no folder of real recordings beside the project";
    std::size_t compared = 0;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string ext = entry.path().extension().string();
        if (entry.is_regular_file() && (ext == ".cfg" || ext == ".CFG")) {
            expectSameAsComtrade(entry.path().string());
            ++compared;
        }
    }
    EXPECT_GE(compared, 16u);
}

// Written recordings of every type, with missing values, with fewer and more
// records than announced (the text rows are then compacted in place).
TEST(ColumnarRecording, WrittenRecordingsOfEveryTypeReadAsComtradeReadsThem)
{
    TempDir dir("columnar");
    for (E::DataFileType type : {E::Ascii, E::Binary, E::Binary32, E::Float32}) {
        RecordingLayout design;
        design.type = type;
        for (int c = 0; c < 3; ++c)
            design.analogs.push_back(AnalogLayout{});
        for (int d = 0; d < 19; ++d)
            design.statuses.push_back(StatusLayout{"D" + std::to_string(d), "", "", 0});
        const Recording rec = makeRecording(design, 50);
        ASSERT_TRUE(writeRecording(rec, dir.file("full")));
        expectSameAsComtrade(dir.file("full.cfg"));
        std::string dat = readFile(dir.file("full.dat"));
        if (type == E::Ascii) {
            // Two records with an empty value, then an empty line after each record.
            const std::size_t first = dat.find('\n') + 1;
            std::string lines = dat.substr(0, first) + "2,1,,,5";
            for (int d = 0; d < 19; ++d)
                lines += ",1";
            lines += "\n";
            std::string spaced;
            for (char ch : dat.substr(0, dat.size() / 2))
                spaced += ch == '\n' ? std::string("\n\n") : std::string(1, ch);
            for (const auto& [name, text] : {std::pair<std::string, std::string>{"missing", lines}, {"spaced", spaced}}) {
                ASSERT_TRUE(writeFile(dir.file(name + ".cfg"), cfgText(design, 50)));
                ASSERT_TRUE(writeFile(dir.file(name + ".dat"), text));
                expectSameAsComtrade(dir.file(name + ".cfg"));
            }
        } else {
            const std::size_t size = dat.size() / 50;
            // Record 2, channel 1: the type's missing value.
            std::string missing = dat;
            const std::string marker = type == E::Binary     ? std::string("\x00\x80", 2)
                                       : type == E::Binary32 ? std::string("\x00\x00\x00\x80", 4)
                                                             : std::string("\x00\x00\xc0\x7f", 4);
            missing.replace(size + 8, marker.size(), marker);
            for (const auto& [name, bytes] : {std::pair<std::string, std::string>{"short", dat.substr(0, 20 * size + 3)},
                                              {"long", dat + dat.substr(0, 2 * size)},
                                              {"missing", missing}}) {
                ASSERT_TRUE(writeFile(dir.file(name + ".cfg"), cfgText(design, 50)));
                ASSERT_TRUE(writeFile(dir.file(name + ".dat"), bytes));
                expectSameAsComtrade(dir.file(name + ".cfg"));
            }
        }
    }
    // Failures leave no arrays behind.
    ColumnarRecording col;
    ASSERT_EQ(col.load(dir.file("full.cfg")), 0);
    EXPECT_EQ(col.load(dir.file("absent.cfg")), 2);
    EXPECT_TRUE(col.time.empty() && col.count == 0);
    EXPECT_EQ(col.load(dir.file("full.txt")), 1);
}
