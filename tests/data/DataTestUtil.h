#pragma once
// Shared by the data-file tests: a Cfg read from a written configuration.

#include "util/ComtradeWriter.h"

#include <KivComtradeLib/Cfg.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace KivTest {

// Writes the .cfg of `spec` for `samples` records into `dir` and loads it.
inline std::unique_ptr<KivComtradeLib::Cfg> loadedCfg(const TempDir& dir, const RecordingSpec& spec,
                                                      unsigned long long samples,
                                                      const std::string& name = "rec")
{
    auto cfg = std::make_unique<KivComtradeLib::Cfg>();
    const std::string path = dir.file(name + ".cfg");
    EXPECT_TRUE(writeFile(path, cfgText(spec, samples)));
    EXPECT_EQ(cfg->load(path), 4) << cfgText(spec, samples);
    return cfg;
}

inline AnalogSpec analog(const std::string& id, double a = 1.0, double b = 0.0,
                         const std::string& unit = "V")
{
    AnalogSpec s;
    s.id = id;
    s.a = a;
    s.b = b;
    s.unit = unit;
    return s;
}

inline StatusSpec status(const std::string& id)
{
    StatusSpec s;
    s.id = id;
    return s;
}

} // namespace KivTest
