// The columnar path against Comtrade: the same numbers bit for bit (NaN where
// missing), the same counts, codes and report.

#include "writer/ComtradeWriter.h"

#include <KivComtradeLib/ColumnarRecording.h>
#include <KivComtradeLib/Comtrade.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

using namespace KivTest;
using KivComtradeLib::ColumnarRecording;
using KivComtradeLib::Comtrade;
namespace E = KivComtradeLib::Enums;

namespace {

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
    const std::size_t n = rec.dat.samples.size(), analogs = rec.cfg.analogChannels.size(),
                      states = rec.cfg.binaryChannels.size();
    ASSERT_TRUE(col.count == n && col.time.size() == n && col.analog.size() == analogs * n
                && col.status.size() == states * n) << col.count << " for " << n;
    for (std::size_t k = 0; k < n; ++k) {
        const auto& s = rec.dat.samples[k];
        ASSERT_EQ(std::memcmp(&col.time[k], &s.time, 8), 0) << k;
        for (std::size_t c = 0; c < analogs; ++c)
            ASSERT_EQ(std::memcmp(col.analogRow(c) + k, &s.analogValues[c], 8), 0) << "record " << k << " channel " << c;
        for (std::size_t d = 0; d < states; ++d)
            ASSERT_EQ(col.statusRow(d)[k], s.binaryValues[d] ? 1 : 0) << "record " << k << " status " << d;
    }
    EXPECT_EQ(col.analogRow(analogs), nullptr);
}

} // namespace

// Written recordings of every type: whole, with a missing value, with fewer
// and more records than announced (the rows then compacted in place), and a
// failure, which leaves no arrays; then the real recordings.
TEST(ColumnarRecording, ReadsAsComtradeReadsThem)
{
    TempDir dir("columnar");
    for (E::DataFileType type : {E::Ascii, E::Binary, E::Binary32, E::Float32}) {
        RecordingLayout design;
        design.type = type;
        design.analogs.assign(3, AnalogLayout{});
        design.statuses.assign(19, StatusLayout{});
        const Recording rec = makeRecording(design, 50);
        const std::string dat = datBytes(rec), cfg = cfgText(design, 50);
        const std::size_t size = type == E::Ascii ? dat.find('\n') + 1 : dat.size() / 50;
        std::string missing = dat, line = "2,1,,,5\n"; // two empty text values
        for (int d = 0; d < 19; ++d)
            line.insert(line.size() - 1, ",1");
        if (type == E::Ascii)
            missing.insert(size, line);
        else // record 2, channel 1: the type's marker
            missing.replace(size + 8, type == E::Binary ? 2 : 4, type == E::Binary ? std::string("\0\x80", 2)
                                                                 : type == E::Binary32 ? std::string("\0\0\0\x80", 4)
                                                                                       : std::string("\0\0\xc0\x7f", 4));
        std::size_t cut = 0; // 20 records, then empty lines or a partial record
        for (int r = 0; r < 20; ++r)
            cut = type == E::Ascii ? dat.find('\n', cut) + 1 : cut + size;
        for (const std::string& bytes : {dat, dat.substr(0, cut) + "\n\n\n", dat + dat.substr(0, 2 * size), missing,
                                         std::string("\x01")}) {
            ASSERT_TRUE(writeFile(dir.file("rec.cfg"), cfg));
            ASSERT_TRUE(writeFile(dir.file("rec.dat"), bytes));
            expectSameAsComtrade(dir.file("rec.cfg"));
        }
    }
    expectSameAsComtrade(dir.file("absent.cfg"));
    const std::string root = sharedSamplesDir();
    if (root.empty())
        GTEST_SKIP() << "no ../shared/samples beside the project: real recordings not compared";
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
        if (entry.path().extension() == ".cfg" || entry.path().extension() == ".CFG")
            expectSameAsComtrade(entry.path().string());
}
