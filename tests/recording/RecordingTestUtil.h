#pragma once
// Shared by the facade tests: recordings written to disk and comparisons of
// what two loaded objects hold.

#include "util/ComtradeWriter.h"

#include <KivComtradeLib/Comtrade.h>

#include <gtest/gtest.h>

#include <string>

namespace KivTest {

inline RecordingSpec mixedSpec(KivComtradeLib::Enums::DataFileType type, std::size_t analogs = 3,
                               std::size_t statuses = 17)
{
    RecordingSpec spec;
    spec.type = type;
    const char* units[] = {"A", "kV", "mA", "V"};
    for (std::size_t c = 0; c < analogs; ++c) {
        AnalogSpec a;
        a.id = "CH" + std::to_string(c + 1);
        a.phase = std::string(1, char('A' + c % 3));
        a.unit = units[c % 4];
        a.a = 0.125 * double(c + 1);
        a.b = double(c) * 0.5 - 0.25;
        a.skewMicroseconds = double(c) * 10.0;
        if (c % 2) {
            a.ps = 'P';
            a.primary = 110000.0;
            a.secondary = 100.0;
        }
        spec.analogs.push_back(a);
    }
    for (std::size_t d = 0; d < statuses; ++d) {
        StatusSpec s;
        s.id = "ST" + std::to_string(d + 1);
        s.normalState = int(d % 2);
        spec.statuses.push_back(s);
    }
    return spec;
}

// Everything a load leaves observable, compared field by field.
inline void expectSameState(const KivComtradeLib::Comtrade& a, const KivComtradeLib::Comtrade& b)
{
    EXPECT_EQ(a.loaded, b.loaded);
    EXPECT_EQ(a.duration, b.duration);
    EXPECT_EQ(a.cfg.stationName, b.cfg.stationName);
    EXPECT_EQ(a.cfg.revYear, b.cfg.revYear);
    EXPECT_EQ(a.cfg.channelsCount, b.cfg.channelsCount);
    EXPECT_EQ(a.cfg.samplingRates.size(), b.cfg.samplingRates.size());
    EXPECT_EQ(a.cfg.samplesCount, b.cfg.samplesCount);
    EXPECT_EQ(a.cfg.allRatesNonZero, b.cfg.allRatesNonZero);
    EXPECT_EQ(a.cfg.dataFileType, b.cfg.dataFileType);
    EXPECT_EQ(a.cfg.recordSize, b.cfg.recordSize);
    EXPECT_EQ(a.cfg.timeMultiplier, b.cfg.timeMultiplier);
    EXPECT_EQ(a.cfg.duration, b.cfg.duration);
    EXPECT_EQ(a.dat.lastSampleTime, b.dat.lastSampleTime);
    ASSERT_EQ(a.dat.samples.size(), b.dat.samples.size());
    for (std::size_t k = 0; k < a.dat.samples.size(); ++k) {
        ASSERT_EQ(a.dat.samples[k].time, b.dat.samples[k].time) << k;
        ASSERT_EQ(a.dat.samples[k].analogValues, b.dat.samples[k].analogValues) << k;
        ASSERT_EQ(a.dat.samples[k].binaryValues, b.dat.samples[k].binaryValues) << k;
    }
    ASSERT_EQ(a.analogChannels.size(), b.analogChannels.size());
    ASSERT_EQ(a.binaryChannels.size(), b.binaryChannels.size());
    for (std::size_t c = 0; c < a.analogChannels.size(); ++c) {
        EXPECT_EQ(a.analogChannels[c].name(), b.analogChannels[c].name());
        EXPECT_EQ(a.analogChannels[c].skew, b.analogChannels[c].skew);
        const auto pa = a.analogChannels[c].getPoints(0.0, -1.0, -1.0);
        const auto pb = b.analogChannels[c].getPoints(0.0, -1.0, -1.0);
        ASSERT_EQ(pa.size(), pb.size()) << c;
        for (std::size_t i = 0; i < pa.size(); ++i) {
            ASSERT_EQ(pa[i].x, pb[i].x);
            ASSERT_EQ(pa[i].y, pb[i].y);
        }
    }
    for (std::size_t d = 0; d < a.binaryChannels.size(); ++d) {
        const auto pa = a.binaryChannels[d].getPoints(0.0, -1.0, -1.0);
        const auto pb = b.binaryChannels[d].getPoints(0.0, -1.0, -1.0);
        ASSERT_EQ(pa.size(), pb.size()) << d;
        for (std::size_t i = 0; i < pa.size(); ++i) {
            ASSERT_EQ(pa[i].x, pb[i].x);
            ASSERT_EQ(pa[i].y, pb[i].y);
        }
    }
}

// Views of `c` refer into `c` itself.
inline void expectOwnViews(const KivComtradeLib::Comtrade& c)
{
    EXPECT_EQ(c.dat.cfg, &c.cfg);
    for (const auto& s : c.dat.samples)
        ASSERT_EQ(s.cfg, &c.cfg);
    ASSERT_EQ(c.analogChannels.size(), c.cfg.analogChannels.size());
    for (std::size_t i = 0; i < c.analogChannels.size(); ++i) {
        EXPECT_EQ(&c.analogChannels[i].config, &c.cfg.analogChannels[i]);
        EXPECT_EQ(&c.analogChannels[i].samples, &c.dat.samples);
    }
    ASSERT_EQ(c.binaryChannels.size(), c.cfg.binaryChannels.size());
    for (std::size_t i = 0; i < c.binaryChannels.size(); ++i) {
        EXPECT_EQ(&c.binaryChannels[i].config, &c.cfg.binaryChannels[i]);
        EXPECT_EQ(&c.binaryChannels[i].samples, &c.dat.samples);
    }
}

} // namespace KivTest
