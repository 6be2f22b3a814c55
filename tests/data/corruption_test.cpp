// Damaged recordings, as a host meets them: files cut short at every offset,
// bytes overwritten, and counts that announce far more than the files hold.
// Every load must return a result code and leave the object in the state that
// code promises; recordings that still load must read back what was written.

#include "writer/ComtradeWriter.h"

#include <KivComtradeLib/Comtrade.h>

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

using namespace KivComtradeLib;
using namespace KivTest;

namespace {

class Corruption : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = makeTempDir("corruption");
        good_ = dir_ + "/good";
        bad_ = dir_ + "/bad";
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    static Recording recording(Enums::DataFileType type) {
        RecordingLayout design;
        design.type = type;
        design.analogs = {AnalogLayout{"IA", "A", "", "A", 0.01, 0.0, 0.0, -32767, 32767, 100, 1, 'P'},
                        AnalogLayout{"UB", "B", "", "kV", 0.5, 1.0, 0.0, -32767, 32767, 1, 1, 'S'}};
        design.statuses = std::vector<StatusLayout>(17, StatusLayout{});
        design.statuses[3].id = "TRIP";
        return makeRecording(design, 8);
    }

    // Loads `cfg` + `dat` into an object that holds a good recording, and
    // checks what the returned code promises. Returns the code.
    int loadDamaged(const Recording& good, const std::string& cfg, const std::string& dat,
                    Comtrade& rec) {
        // Files are rewritten only when they change: thousands of loads run here.
        std::string goodBytes = cfgText(good.design, good.samplesCount()) + datBytes(good);
        if (goodBytes != writtenGood_) {
            EXPECT_TRUE(writeRecording(good, good_));
            writtenGood_ = goodBytes;
        }
        EXPECT_EQ(rec.load(good_ + ".cfg"), 0);
        if (cfg != badCfg_ || !haveBad_) {
            EXPECT_TRUE(writeFile(bad_ + ".cfg", badCfg_ = cfg));
        }
        if (dat != badDat_ || !haveBad_) {
            EXPECT_TRUE(writeFile(bad_ + ".dat", badDat_ = dat));
        }
        haveBad_ = true;
        int code = rec.load(bad_ + ".cfg");
        EXPECT_TRUE(code == 0 || (code >= 2 && code <= 6)) << code;
        if (code != 0) {
            EXPECT_FALSE(rec.loaded);
            EXPECT_TRUE(rec.analogChannels.empty());
            EXPECT_TRUE(rec.binaryChannels.empty());
            if (code == 6) {
                EXPECT_TRUE(rec.dat.samples.empty());
            }
            EXPECT_EQ(rec.fileName, good_ + ".cfg");
        } else {
            EXPECT_TRUE(rec.loaded);
            EXPECT_EQ(rec.analogChannels.size(), rec.cfg.analogChannels.size());
            EXPECT_EQ(rec.binaryChannels.size(), rec.cfg.binaryChannels.size());
            // Whatever loaded must be readable through the views.
            for (const AnalogChannel& ch : rec.analogChannels) {
                std::vector<Kiv::PointF> pts = ch.getPoints(0.0, 0.5, -1.0);
                EXPECT_LE(pts.size(), 1002u);
            }
            for (const BinaryChannel& ch : rec.binaryChannels)
                EXPECT_LE(ch.getPoints(0.0, -1.0, 0.0).size(), rec.dat.samples.size() + 3);
        }
        return code;
    }

    void expectValues(const Comtrade& rec, const Recording& good, std::size_t records) {
        ASSERT_EQ(rec.dat.samples.size(), records);
        for (std::size_t k = 0; k < records; ++k) {
            for (std::size_t c = 0; c < good.design.analogs.size(); ++c)
                ASSERT_DOUBLE_EQ(rec.dat.samples[k].analogValues[c], good.expectedValue(k, c));
            for (std::size_t d = 0; d < good.design.statuses.size(); ++d)
                ASSERT_EQ(rec.dat.samples[k].binaryValues[d], good.records[k].status[d]);
        }
    }

    std::string dir_, good_, bad_;
    std::string writtenGood_;
    std::string badCfg_, badDat_;
    bool haveBad_ = false;
};

const Enums::DataFileType kTypes[] = {Enums::Ascii, Enums::Binary, Enums::Float32};

// The .cfg cut at every byte: before the file-type line the load fails with
// 3; a cut keyword is no known type and reads the data as text; from the end
// of the file-type line on, the time multiplier is optional and all loads.
TEST_F(Corruption, CfgTruncatedAtEveryOffset) {
    for (Enums::DataFileType type : kTypes) {
        Recording good = recording(type);
        std::string cfg = cfgText(good.design, good.samplesCount());
        std::string dat = datBytes(good);
        std::size_t typeEnd = cfg.rfind('\n', cfg.size() - 2); // end of the file-type line
        std::size_t typeStart = cfg.rfind('\n', typeEnd - 1) + 1;
        for (std::size_t n = 0; n <= cfg.size(); ++n) {
            SCOPED_TRACE("type " + std::to_string(type) + ", cfg cut at " + std::to_string(n));
            Comtrade rec;
            int code = loadDamaged(good, cfg.substr(0, n), dat, rec);
            if (n <= typeStart)
                EXPECT_EQ(code, 3);
            else if (n < typeEnd)
                EXPECT_EQ(code, type == Enums::Ascii ? 0 : 6);
            else
                EXPECT_EQ(code, 0);
            if (code == 0) expectValues(rec, good, good.records.size());
            if (::testing::Test::HasFailure()) return;
        }
    }
}

// The .dat cut at every record boundary and inside records. Both kinds load
// the whole records they hold; a binary file needs one, a text line cut
// inside fails.
TEST_F(Corruption, DatTruncatedAtRecordsAndInside) {
    for (Enums::DataFileType type : kTypes) {
        Recording good = recording(type);
        std::string cfg = cfgText(good.design, good.samplesCount());
        std::string dat = datBytes(good);
        if (type == Enums::Ascii) {
            std::size_t lines = 0;
            for (std::size_t n = 0; n <= dat.size(); ++n) {
                SCOPED_TRACE("text dat cut at " + std::to_string(n));
                Comtrade rec;
                int code = loadDamaged(good, cfg, dat.substr(0, n), rec);
                bool atLineStart = n == 0 || dat[n - 1] == '\n';
                bool atLineEnd = n < dat.size() && dat[n] == '\n';
                if (atLineStart) {
                    EXPECT_EQ(code, 0);
                    if (code == 0) expectValues(rec, good, lines);
                } else if (atLineEnd) {
                    EXPECT_EQ(code, 0);
                    if (code == 0) expectValues(rec, good, lines + 1);
                    ++lines;
                } else {
                    EXPECT_EQ(code, 6);
                }
                if (::testing::Test::HasFailure()) return;
            }
            continue;
        }
        const std::size_t size = dat.size() / good.records.size();
        for (std::size_t k = 0; k <= good.records.size(); ++k) {
            for (std::size_t inside : {std::size_t{0}, std::size_t{1}, size / 2, size - 1}) {
                std::size_t n = k * size + inside;
                if (n > dat.size()) continue;
                SCOPED_TRACE("binary dat cut at " + std::to_string(n));
                Comtrade rec;
                int code = loadDamaged(good, cfg, dat.substr(0, n), rec);
                EXPECT_EQ(code, n < size ? 6 : 0);
                if (code == 0) expectValues(rec, good, n / size);
            }
        }
        // Trailing bytes and records beyond the announced ones are ignored.
        for (std::size_t extra : {size - 1, size, 3 * size + 1}) {
            Comtrade rec;
            EXPECT_EQ(loadDamaged(good, cfg, dat + std::string(extra, '\x7f'), rec), 0);
            expectValues(rec, good, good.records.size());
            EXPECT_EQ(rec.report.warnings.size(), extra % size == 0 || extra < size ? 1u : 2u);
        }
        Comtrade missing;
        EXPECT_TRUE(writeRecording(good, good_));
        std::filesystem::remove(good_ + ".dat");
        writtenGood_.clear();
        EXPECT_EQ(missing.load(good_ + ".cfg"), 5);
        EXPECT_FALSE(missing.loaded);
    }
}

// Every byte of the .cfg overwritten, one at a time, with bytes that break
// lines, fields and numbers. No exact code: only that the load ends cleanly.
TEST_F(Corruption, CfgBytesOverwritten) {
    const char replacements[] = {'\n', ',', '-', '\xff'};
    for (Enums::DataFileType type : kTypes) {
        Recording good = recording(type);
        std::string cfg = cfgText(good.design, good.samplesCount());
        std::string dat = datBytes(good);
        Comtrade rec;
        for (std::size_t i = 0; i < cfg.size(); ++i) {
            for (char r : replacements) {
                if (cfg[i] == r) continue;
                std::string bad = cfg;
                bad[i] = r;
                SCOPED_TRACE("type " + std::to_string(type) + ", cfg byte " + std::to_string(i));
                loadDamaged(good, bad, dat, rec);
                if (::testing::Test::HasFailure()) return;
            }
        }
    }
}

// A binary record has no invalid bit pattern: any byte of the data file
// overwritten still loads, with every record. A text record with a letter in
// a number field fails the whole file.
TEST_F(Corruption, DatBytesOverwritten) {
    for (Enums::DataFileType type : kTypes) {
        Recording good = recording(type);
        std::string cfg = cfgText(good.design, good.samplesCount());
        std::string dat = datBytes(good);
        Comtrade rec;
        for (std::size_t i = 0; i < dat.size(); ++i) {
            std::string bad = dat;
            if (type == Enums::Ascii) {
                if (dat[i] < '1' || dat[i] > '9') continue;
                bad[i] = 'x';
            } else {
                bad[i] = static_cast<char>(0xFF); // NaN in a float, -1 in an integer
            }
            SCOPED_TRACE("type " + std::to_string(type) + ", dat byte " + std::to_string(i));
            int code = loadDamaged(good, cfg, bad, rec);
            if (type == Enums::Ascii) {
                // A letter ends a number and starts the next field: that
                // fails while the next field is a number too. After the last
                // analog value the letter is read as a status character.
                std::size_t fieldStart = i;
                while (fieldStart > 0 && dat[fieldStart - 1] != ',' && dat[fieldStart - 1] != '\n')
                    --fieldStart;
                std::size_t lineStart = dat.rfind('\n', i);
                lineStart = lineStart == std::string::npos ? 0 : lineStart + 1;
                std::size_t field = 0;
                for (std::size_t j = lineStart; j < i; ++j) field += dat[j] == ',';
                const std::size_t lastAnalog = 1 + good.design.analogs.size();
                bool firstDigit = i == fieldStart || (i == fieldStart + 1 && dat[fieldStart] == '-');
                bool fails = field < lastAnalog || (field == lastAnalog && firstDigit);
                EXPECT_EQ(code, fails ? 6 : 0);
            } else {
                EXPECT_EQ(code, 0);
                EXPECT_EQ(rec.dat.samples.size(), good.records.size());
            }
            if (::testing::Test::HasFailure()) return;
        }
    }
}

// Counts that announce far more than the files hold must fail, or load what
// is there, without sizing any allocation from the announced number.
TEST_F(Corruption, HostileCountsAreHarmless) {
    Recording text = recording(Enums::Ascii);
    Recording bin = recording(Enums::Binary);
    std::string textCfg = cfgText(text.design, text.samplesCount());
    std::string binCfg = cfgText(bin.design, bin.samplesCount());
    auto replaced = [](std::string s, const std::string& from, const std::string& to) {
        std::size_t pos = s.find(from);
        EXPECT_NE(pos, std::string::npos) << from;
        if (pos != std::string::npos) s.replace(pos, from.size(), to);
        return s;
    };
    const std::string rateLine = "1\n1000,8\n";
    struct Case {
        const char* what;
        std::string cfg;
        const Recording* rec;
        int code;
    } cases[] = {
        {"text, last sample 2^31-1", replaced(textCfg, rateLine, "1\n1000,2147483647\n"), &text, 0},
        {"text, last sample -1", replaced(textCfg, rateLine, "1\n1000,-1\n"), &text, 0},
        {"binary, last sample 2^31-1", replaced(binCfg, rateLine, "1\n1000,2147483647\n"), &bin, 0},
        {"binary, last sample -1", replaced(binCfg, rateLine, "1\n1000,-1\n"), &bin, 0},
        {"rate count 2^31-1", replaced(textCfg, rateLine, "2147483647\n1000,8\n"), &text, 3},
        {"rate count -1", replaced(textCfg, rateLine, "-1\n1000,8\n"), &text, 3},
        {"rate count 2^31", replaced(textCfg, rateLine, "2147483648\n1000,8\n"), &text, 3},
        {"channel counts 2^31-1", replaced(textCfg, "19,2A,17D", "2147483647,2147483630A,17D"),
         &text, 3},
        {"negative analog count", replaced(textCfg, "19,2A,17D", "19,-2A,21D"), &text, 3},
        {"counts that overflow", replaced(textCfg, "19,2A,17D", "-2,2147483647A,2147483647D"),
         &text, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Comtrade rec;
        int code = loadDamaged(*c.rec, c.cfg, datBytes(*c.rec), rec);
        EXPECT_EQ(code, c.code);
        if (code == 0) expectValues(rec, *c.rec, c.rec->records.size());
    }
}

// Point series whose count no memory could hold come back empty at once.
TEST_F(Corruption, HugePointRequestsAreEmpty) {
    Recording good = recording(Enums::Binary);
    Comtrade rec;
    ASSERT_TRUE(writeRecording(good, good_));
    ASSERT_EQ(rec.load(good_ + ".cfg"), 0);
    const AnalogChannel& ch = rec.analogChannels.at(0);
    const double inf = INFINITY;
    const double requests[][3] = {
        {0.0, 1.0, 1e12},    {0.0, 1e6, 1e12},  {-1e300, 1e300, 1.0}, {0.0, 1.0, 1e300},
        {0.0, 1.0, inf},     {-inf, inf, 1.0},  {0.0, 1.0, NAN},      {NAN, 1.0, 1000.0},
        {0.0, 1e9, 1e9},     {1.0, 0.0, 1000.0},
        {-1e300, 1e300, -1.0}, // the default rate of a long window adds 0.006 per second
    };
    for (const auto& r : requests) {
        SCOPED_TRACE(std::to_string(r[0]) + " .. " + std::to_string(r[1]) + " at " +
                     std::to_string(r[2]));
        EXPECT_TRUE(ch.getPoints(r[0], r[1], r[2]).empty());
    }
    // A short window with the default rate is about 1000 points.
    EXPECT_LE(ch.getPoints(0.0, 0.5, -1.0).size(), 1001u);
}

} // namespace
