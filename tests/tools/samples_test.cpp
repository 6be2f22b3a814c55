// The bundled recordings in samples/ are exactly what the generator writes,
// and the library reads back what the generator meant to record.

#include "FaultSamples.h"

#include <KivComtradeLib/KivComtradeLib.h>

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace KivComtradeLib;

const std::string kSamples = std::string(KIVCOMTRADE_SOURCE_DIR) + "/samples";

TEST(BundledSamples, MatchTheGeneratorByteForByte)
{
    const KivTest::TempDir dir("bundled");
    ASSERT_TRUE(KivTest::writeBundledSamples(dir.path()));
    std::size_t total = 0;
    for (const std::string& name : KivTest::bundledSampleNames())
        for (const char* ext : {".cfg", ".dat"}) {
            const std::string committed = KivTest::readFile(kSamples + "/" + name + ext);
            const std::string fresh = KivTest::readFile(dir.file(name + ext));
            ASSERT_FALSE(fresh.empty()) << name << ext;
            EXPECT_TRUE(committed == fresh) << "samples/" << name << ext
                                            << " differs from the generator's output: run "
                                               "kivcomtrade_make_samples <source>/samples to refresh it";
            total += committed.size();
        }
    EXPECT_LT(total, 300u * 1024u); // keep the source tree small
}

TEST(BundledSamples, LoadWithTheValuesTheGeneratorWrote)
{
    const Enums::DataFileType types[2] = {Enums::Binary, Enums::Ascii};
    for (int t = 0; t < 2; ++t) {
        const std::string name = KivTest::bundledSampleNames().at(std::size_t(t));
        SCOPED_TRACE(name);
        Comtrade recording;
        ASSERT_EQ(recording.load(kSamples + "/" + name + ".cfg"), 0);
        const KivTest::Recording expected = KivTest::faultRecording(types[t]);
        EXPECT_EQ(recording.cfg.dataFileType, types[t]);
        ASSERT_EQ(recording.dat.samples.size(), expected.records.size());
        ASSERT_EQ(recording.analogChannels.size(), 6u);
        ASSERT_EQ(recording.binaryChannels.size(), 2u);
        // The code-page-1251 name arrives in UTF-8.
        EXPECT_EQ(recording.binaryChannels[1].config.channelId,
                  "\xD0\x92\xD1\x8B\xD0\xBA\xD0\xBB\xD1\x8E\xD1\x87\xD0\xB0\xD1\x82\xD0\xB5\xD0\xBB\xD1\x8C Q1");
        for (std::size_t k = 0; k < expected.records.size(); ++k) {
            const Sample& s = recording.dat.samples[k];
            EXPECT_DOUBLE_EQ(s.time, static_cast<double>(k) / 2000.0);
            for (std::size_t c = 0; c < 6; ++c)
                ASSERT_NEAR(s.analogValues[c], expected.expectedValue(k, c), 1e-9)
                    << "record " << k << " channel " << c + 1;
            ASSERT_EQ(s.binaryValues, expected.records[k].status) << "record " << k;
        }
    }
}

} // namespace
