// The bundled recordings in samples/ are exactly what the generator writes.
#include "FaultSamples.h"

#include <gtest/gtest.h>

TEST(BundledSamples, MatchTheGeneratorByteForByte)
{
    const KivTest::TempDir dir("bundled");
    ASSERT_TRUE(KivTest::writeBundledSamples(dir.path()));
    for (const std::string& name : KivTest::bundledSampleNames())
        for (const char* ext : {".cfg", ".dat"}) {
            const std::string fresh = KivTest::readFile(dir.file(name + ext));
            ASSERT_FALSE(fresh.empty()) << name << ext;
            EXPECT_TRUE(KivTest::readFile(std::string(KIVCOMTRADE_SOURCE_DIR) + "/samples/" + name + ext) == fresh)
                << "samples/" << name << ext << " differs: run kivcomtrade_make_samples <source>/samples";
        }
}
