// The facade and the columnar arrays: result codes and the state each leaves,
// one write/read path per data-file type, copies and moves, real recordings.

#include "data/DataReader.h"
#include "writer/ComtradeWriter.h"

#include <KivComtradeLib/ColumnarRecording.h>
#include <KivComtradeLib/Comtrade.h>
#include <KivComtradeLib/KivCommon.h>
#include <KivComtradeLib/LoadResult.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <string>
#include <sys/stat.h>

using namespace KivTest;
using KivComtradeLib::ColumnarRecording;
using KivComtradeLib::Comtrade;
using KivComtradeLib::LoadResult;
using KivComtradeLib::toLoadResult;
namespace E = KivComtradeLib::Enums;

namespace {

// Varied units, gains, offsets and skews, every second channel primary-side.
RecordingLayout mixedLayout(E::DataFileType type, std::size_t analogs = 3)
{
    RecordingLayout design;
    design.type = type;
    const char* units[] = {"A", "kV", "mA"};
    for (std::size_t c = 0; c < analogs; ++c)
        design.analogs.push_back(AnalogLayout{"CH" + std::to_string(c + 1), "A", "", units[c % 3], 0.125 * double(c + 1),
                                              double(c) * 0.5 - 0.25, double(c) * 10.0, -32767, 32767,
                                              c % 2 ? 110000.0 : 1.0, c % 2 ? 100.0 : 1.0, c % 2 ? 'P' : 'S'});
    design.statuses.assign(17, StatusLayout{});
    return design;
}

bool sameBits(const double* a, const double* b, std::size_t n) { return std::memcmp(a, b, n * sizeof(double)) == 0; }
bool samePoints(const std::vector<Kiv::PointF>& a, const std::vector<Kiv::PointF>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(Kiv::PointF)) == 0;
}

// Samples bit for bit, views over a's own data, the same default points.
void expectSameState(const Comtrade& a, const Comtrade& b)
{
    EXPECT_EQ(a.duration, b.duration);
    EXPECT_EQ(a.dat.cfg, &a.cfg);
    ASSERT_EQ(a.dat.samples.size(), b.dat.samples.size());
    for (std::size_t k = 0; k < a.dat.samples.size(); ++k) {
        const auto &sa = a.dat.samples[k], &sb = b.dat.samples[k];
        ASSERT_TRUE(sa.cfg == &a.cfg && sa.index == sb.index && sa.time == sb.time && sa.binaryValues == sb.binaryValues
                    && sa.analogValues.size() == sb.analogValues.size()
                    && sameBits(sa.analogValues.data(), sb.analogValues.data(), sa.analogValues.size())) << k;
    }
    ASSERT_EQ(a.analogChannels.size(), b.analogChannels.size());
    for (std::size_t c = 0; c < a.analogChannels.size(); ++c) {
        EXPECT_TRUE(&a.analogChannels[c].config == &a.cfg.analogChannels[c] && &a.analogChannels[c].samples == &a.dat.samples);
        ASSERT_TRUE(samePoints(a.analogChannels[c].getPoints(0.0, -1.0, -1.0), b.analogChannels[c].getPoints(0.0, -1.0, -1.0))) << c;
    }
}

// The columnar arrays hold what Comtrade reads, with the same code and report.
void expectColumnsAsComtrade(const std::string& path)
{
    Comtrade rec;
    ColumnarRecording col;
    ASSERT_EQ(col.load(path), rec.load(path)) << path;
    EXPECT_TRUE(col.report.message == rec.report.message && col.report.warnings == rec.report.warnings
                && col.report.missingValues == rec.report.missingValues && sameBits(&col.duration, &rec.duration, 1)
                && col.loaded == rec.loaded && col.headerText == rec.headerText && col.informationText == rec.informationText)
        << path;
    const std::size_t n = rec.dat.samples.size(), states = rec.cfg.binaryChannels.size();
    ASSERT_TRUE(col.count == n && col.time.size() == n && col.status.size() == states * n
                && col.analog.size() == rec.cfg.analogChannels.size() * n) << path << ": " << col.count << " for " << n;
    for (std::size_t k = 0; k < n; ++k) {
        const auto& s = rec.dat.samples[k];
        bool same = sameBits(&col.time[k], &s.time, 1);
        for (std::size_t c = 0; c < s.analogValues.size(); ++c)
            same = same && sameBits(col.analogRow(c) + k, &s.analogValues[c], 1);
        for (std::size_t d = 0; d < states; ++d)
            same = same && col.statusRow(d)[k] == s.binaryValues[d];
        ASSERT_TRUE(same) << path << " record " << k;
    }
    // The columns are the views: the same points, the same values between samples.
    const bool rising = std::is_sorted(col.time.begin(), col.time.end()); // valueAt's binary search needs it
    for (std::size_t c = 0; c < rec.analogChannels.size(); ++c) {
        const auto column = col.analogColumn(c);
        EXPECT_TRUE(samePoints(column.getPoints(0, -1, -1), rec.analogChannels[c].getPoints(0, -1, -1))) << path << c;
        unsigned int hint = 0;
        std::size_t columnHint = 0;
        for (std::size_t k = 0; k + 1 < n; k += 1 + n / 50) {
            const double t = (rec.dat.samples[k].time + rec.dat.samples[k + 1].time) / 2 + column.skew;
            const double v[] = {rec.analogChannels[c].getValue(t, hint), column.getValue(t, columnHint), column.valueAt(t)};
            ASSERT_TRUE(sameBits(v, v + 1, 1) && (!rising || sameBits(v, v + 2, 1))) << path << c << " at " << t;
        }
    }
    for (std::size_t d = 0; d < rec.binaryChannels.size(); ++d)
        EXPECT_TRUE(samePoints(col.statusColumn(d).getPoints(0, -1), rec.binaryChannels[d].getPoints(0, -1, 0))) << path << d;
}

// Loading the files' bytes from memory is loading the files: same code,
// sentences, names and arrays. A .cfg with its .dat (if there is one), or a
// .cff with no .cfg beside it.
void expectMemoryAsFile(const std::string& path)
{
    ColumnarRecording file, memory;
    const int result = file.load(path);
    const bool combined = path.back() == 'f' || path.back() == 'F';
    // Names are found as the loader finds them (the letter case of the disk may differ).
    const auto bytesOf = [](const std::string& name) {
        std::ifstream in = Kiv::openInputFileUTF8Name(name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    const std::string bytes = bytesOf(path), dat = bytesOf(file.datFileName);
    const bool hasDat = Kiv::fileExist(file.datFileName);
    ASSERT_EQ(combined ? memory.loadCombinedFromMemory(bytes.data(), bytes.size(), {}, path)
                       : memory.loadFromMemory(bytes, hasDat ? dat.data() : nullptr, dat.size(), {}, path),
              result) << path << ": " << memory.report.message;
    EXPECT_TRUE(memory.report.message == file.report.message && memory.report.line == file.report.line
                && memory.report.warnings == file.report.warnings && memory.report.missingValues == file.report.missingValues
                && memory.cfgFileName == file.cfgFileName && memory.datFileName == file.datFileName)
        << path << ": " << memory.report.message << " / " << file.report.message;
    ASSERT_TRUE(memory.count == file.count && memory.time.size() == file.time.size()
                && memory.analog.size() == file.analog.size() && memory.status == file.status) << path;
    EXPECT_TRUE(file.time.empty() || (sameBits(memory.time.data(), file.time.data(), file.time.size())
                                       && sameBits(memory.analog.data(), file.analog.data(), file.analog.size()))) << path;
}

} // namespace

// Every failure a load reports, with its code, sentence and line, and the
// state it leaves over an earlier success. Among them files an attacker or a
// careless user hands over: a NUL byte in the path, things that are not
// regular files (which must never be opened: a FIFO would block), a line past
// the limit, a data file holding fewer records than announced, lone-CR line
// ends. Comtrade, the columnar arrays and loads from memory agree.
TEST(ComtradeLoad, ResultCodesAndTheStateTheyLeave)
{
    TempDir dir("codes");
    const Recording good = makeRecording(mixedLayout(E::Ascii), 40);
    const std::string cfg = cfgText(good.design, 40), dat = datBytes(good), few = cfgText(good.design, 5000);
    std::string crCfg = cfg, crDat = dat;
    std::replace(crCfg.begin(), crCfg.end(), '\n', '\r');
    std::replace(crDat.begin(), crDat.end(), '\n', '\r');
    const std::string cff = cffBytes(makeRecording(mixedLayout(E::Binary), 20)); // 20 records of 18 bytes
    const std::size_t datHeader = cff.find("--- file type: DAT");
    const std::string oneAnalog = "S,D,1999\n1,1A,0D\n1,U,,,V,1,0,0,0,1\n50\n1\n1000,3\n01/01/2000,00:00:00.000000\n"
                                  "01/01/2000,00:00:00.000000\nASCII\n1\n";
    ASSERT_TRUE(writeRecording(good, dir.file("good")) && writeFile(dir.file("badcfg.cfg"), "S,D,1999\n0,0A,0D\n")
                && writeFile(dir.file("skew.cfg"), std::string(oneAnalog).replace(29, 1, "x"))
                && writeFile(dir.file("nodat.cfg"), oneAnalog) && writeFile(dir.file("bad.cfg"), oneAnalog)
                && writeFile(dir.file("short.cfg"), cfgText(mixedLayout(E::Binary), 41))
                && writeFile(dir.file("short.dat"), "12345") && writeFile(dir.file("bad.dat"), "1,0,5\n\n2,1,x\n")
                && writeFile(dir.file("nocfg.cff"), "1,2,3\n") && writeFile(dir.file("nosection.cff"), cff.substr(0, datHeader))
                && writeFile(dir.file("cut.cff"), cff.substr(0, cff.size() - 1))
                && writeFile(dir.file("type.cff"), std::string(cff).replace(datHeader, 25, "--- file type: DAT ASCII"))
                && writeFile(dir.file("b64.cff"), std::string(cff).replace(datHeader, 25, "--- file type: DAT BINARY Base64"))
                && writeFile(dir.file("fifodat.cfg"), cfg)
                && writeFile(dir.file("long.cfg"), cfg) && writeFile(dir.file("long.dat"), dat + std::string(1 << 20 | 1, '1'))
                && writeFile(dir.file("empty.cfg"), cfg) && writeFile(dir.file("empty.dat"), "\n\n")
                && writeFile(dir.file("few.cfg"), few) && writeFile(dir.file("few.dat"), dat.substr(0, dat.find('\n', dat.find('\n') + 1) + 1))
                && writeFile(dir.file("cr.cfg"), crCfg) && writeFile(dir.file("cr.dat"), crDat)
                && writeFile(dir.file("hdr.cfg"), cfg) && writeFile(dir.file("hdr.dat"), dat)
                && writeFile(dir.file("hdr.hdr"), "Fault\n" + std::string(1 << 20 | 1, 'x')));
    for (const char* fifo : {"fifo.cfg", "fifodat.dat", "pipe.cff"})
        ASSERT_EQ(mkfifo(dir.file(fifo).c_str(), 0600), 0) << fifo;
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::create_directory(dir.file("folder.cfg"), ec);
    fs::create_symlink("/dev/zero", dir.file("zero.cfg"), ec);
    fs::create_symlink(dir.file("good.cfg"), dir.file("link.cfg"), ec);
    fs::create_symlink(dir.file("good.dat"), dir.file("link.dat"), ec);
    ASSERT_FALSE(ec) << ec.message();
    const auto at = [&](const char* name) { return dir.file(name); };
    // `said`: the failure's sentence, or the one warning of a success.
    const struct { std::string path; LoadResult result; std::string said; unsigned long long line; } cases[] = {
        {at("good.txt"), LoadResult::NotARecordingName, at("good.txt: not the name of a .cfg, .dat or .cff file"), 0},
        {at("good.dat") + std::string(1, '\0') + ".cfg", LoadResult::NotARecordingName,
         at("good.dat") + "\\0...: the path holds a NUL byte, which no file name can", 0},
        {at("absent.cfg"), LoadResult::NoConfigFile, at("absent.cfg: no such configuration file"), 0},
        {at("fifo.cfg"), LoadResult::NoConfigFile, at("fifo.cfg: not a regular file"), 0},
        {at("fifo.cff"), LoadResult::NoConfigFile, at("fifo.cfg: not a regular file"), 0}, // the pair beside it
        {at("pipe.cff"), LoadResult::NoConfigFile, at("pipe.cff: not a regular file"), 0},
        {at("folder.cfg"), LoadResult::NoConfigFile, at("folder.cfg: not a regular file"), 0},
        {at("zero.cfg"), LoadResult::NoConfigFile, at("zero.cfg: not a regular file"), 0},
        {at("badcfg.cfg"), LoadResult::BadConfigFile, at("badcfg.cfg: line 2 (channel counts line), field 1 'total channels': 0"), 2},
        {at("skew.cfg"), LoadResult::BadConfigFile, at("skew.cfg: line 3 (analog channel 1), field 8 'skew': 'x' is not a number"), 3},
        {at("nocfg.cff"), LoadResult::BadConfigFile, at("nocfg.cff: no CFG section"), 0},
        {at("nodat.cfg"), LoadResult::NoDataFile, at("nodat.dat: no such data file"), 0},
        {at("fifodat.cfg"), LoadResult::NoDataFile, at("fifodat.dat: not a regular file"), 0},
        {at("nosection.cff"), LoadResult::NoDataFile, at("nosection.cff: no DAT section"), 0},
        {at("short.dat"), LoadResult::BadDataFile, at("short.dat: its 5 bytes hold no whole record of 18 bytes"), 0},
        {at("bad.cfg"), LoadResult::BadDataFile, at("bad.dat: line 3, field 3 (analog channel 1): not a number"), 3},
        {at("long.cfg"), LoadResult::BadDataFile, at("long.dat: line 41 is longer than 1048576 bytes, the limit of a line"), 41},
        {at("empty.cfg"), LoadResult::BadDataFile, at("empty.dat: holds no record"), 0},
        {at("cut.cff"), LoadResult::BadDataFile, at("cut.cff: the DAT section announces 360 bytes, 359 follow its header"), 31},
        {at("type.cff"), LoadResult::BadDataFile, at("type.cff: the DAT section is ASCII but the CFG section says BINARY"), 31},
        {at("b64.cff"), LoadResult::BadDataFile, at("b64.cff: the DAT section is base64 text, which COMTRADE 1991-2013 does not define"), 31},
        {at("link.cfg"), LoadResult::Success, "", 0},
        {at("few.cfg"), LoadResult::Success, "", 0},
        {at("cr.cfg"), LoadResult::Success, "", 0},
        {at("hdr.cfg"), LoadResult::Success, at("hdr.hdr: line 2 is longer than 1048576 bytes; the text is left out"), 0},
    };
    Comtrade reference;
    ASSERT_EQ(reference.load(at("good.cfg")), 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const int result = static_cast<int>(c.result);
        Comtrade rec, kept;
        ColumnarRecording col;
        ASSERT_EQ(kept.load(at("good.cfg")), 0);
        ASSERT_EQ(rec.load(c.path), result);
        ASSERT_EQ(col.load(c.path), result);
        ASSERT_EQ(kept.load(c.path), result);
        EXPECT_TRUE(sameBits(&rec.duration, &col.duration, 1) && col.report.warnings == rec.report.warnings);
        if (c.result != LoadResult::Success) {
            EXPECT_TRUE(kept.report.result == result && kept.report.message == c.said && kept.report.line == c.line
                        && rec.report.message == c.said && col.report.message == c.said)
                << kept.report.message << " at " << kept.report.line;
            // The last success's path stays; on 1 all stays, else no view or sample.
            EXPECT_TRUE(kept.fileName == at("good.cfg") && std::fabs(kept.duration - 0.039) < 1e-12);
            const bool unchanged = c.result == LoadResult::NotARecordingName;
            EXPECT_TRUE(kept.loaded == unchanged && kept.analogChannels.size() == (unchanged ? 3u : 0u));
            EXPECT_EQ(kept.dat.samples.size(), unchanged ? 40u : 0u);
        } else if (c.path == at("few.cfg")) {
            // Two records of 5000 announced: the duration is that of the
            // records read, the configuration keeps the announced one.
            EXPECT_TRUE(rec.dat.samples.size() == 2 && rec.duration == 0.001 && rec.cfg.duration == 4.999);
            EXPECT_EQ(rec.report.warnings, (std::vector<std::string>{
                at("few.dat") + ": holds only 2 of the 5000 records the configuration announces",
                at("few.dat") + ": the last sample read is at 0.001 s, not at the 4.999 s the configuration announces"}));
        } else {
            expectSameState(rec, reference);
            EXPECT_EQ(rec.report.warnings, c.said.empty() ? std::vector<std::string>() : std::vector<std::string>{c.said});
            EXPECT_TRUE(rec.headerText.empty());
        }
    }
    for (const char* name : {"good.cfg", "badcfg.cfg", "skew.cfg", "nodat.cfg", "short.cfg", "bad.cfg", "nocfg.cff",
                             "nosection.cff", "cut.cff", "type.cff", "few.cfg", "cr.cfg"})
        expectMemoryAsFile(at(name));
    // Success: warnings and missing values reach the host; the last of the
    // two records held gives the duration.
    ASSERT_TRUE(writeFile(at("bad.dat"), "1,0,99999\n2,1,\n"));
    Comtrade rec;
    ASSERT_EQ(rec.load(at("bad.cfg")), 0);
    EXPECT_TRUE(rec.report.missingValues == 2 && rec.report.warnings.size() == 3 && rec.duration == 0.001
                && rec.report.warnings[2] == at("bad.dat") + ": 2 analog values marked as missing (read as NaN)");
}

// One path per data-file type: the samples hold the values written, the views
// the channels' skews; the combined file and the columnar arrays (rows
// dropped, or failed) read the same.
TEST(ComtradeLoad, EveryTypeEndToEnd)
{
    TempDir dir("e2e");
    const struct { E::DataFileType type; int revision; bool crlf; } cases[] = {
        {E::Ascii, 1991, true}, {E::Binary, 1999, false}, {E::Binary32, 2013, true}, {E::Float32, 2013, false}};
    for (const auto& t : cases) {
        SCOPED_TRACE(typeKeyword(t.type));
        RecordingLayout design = mixedLayout(t.type, 4);
        design.revYear = t.revision;
        design.crlf = design.finalLineEnd = t.crlf;
        const Recording rec = makeRecording(design, 250);
        ASSERT_TRUE(writeRecording(rec, dir.file("rec")) && writeFile(dir.file("rec.HDR"), "Fault on line 2\r\n\r\nphase A\r\n")
                    && writeFile(dir.file("alone.CFF"), cffBytes(rec, {t.crlf, "Fault on line 2\n\nphase A", "k=1\n"})));
        Comtrade ct, alone;
        ASSERT_TRUE(ct.load(dir.file("rec.cff")) == 0 && ct.cfgFileName == dir.file("rec.cfg")); // the pair beside it
        EXPECT_DOUBLE_EQ(ct.duration, 0.249);
        for (std::size_t c = 0; c < 4; ++c) {
            EXPECT_DOUBLE_EQ(ct.analogChannels.at(c).skew, double(c) * 10e-6);
            for (std::size_t k = 0; k < 250; ++k)
                ASSERT_DOUBLE_EQ(ct.dat.samples[k].analogValues[c], rec.expectedValue(k, c)) << "channel " << c << " record " << k;
        }
        ASSERT_EQ(alone.load(dir.file("alone.cff")), 0) << alone.report.message;
        expectSameState(alone, ct);
        EXPECT_TRUE(alone.datFileName == dir.file("alone.cff") && alone.informationText == "k=1\n"
                    && alone.headerText == "Fault on line 2\n\nphase A\n" && ct.headerText == alone.headerText);
        const std::string dat = datBytes(rec);
        const std::size_t half = t.type == E::Ascii ? dat.find('\n', dat.size() / 2) + 1 : dat.size() / 2;
        for (const std::string& bytes : {dat, dat.substr(0, half) + "\n\n\n", std::string("\x01")}) {
            ASSERT_TRUE(writeFile(dir.file("rec.dat"), bytes));
            expectColumnsAsComtrade(dir.file("rec.cfg"));
        }
        expectColumnsAsComtrade(dir.file("alone.cff"));
        expectMemoryAsFile(dir.file("alone.cff"));
        expectMemoryAsFile(dir.file("rec.cfg"));
    }
}

// The Samples built from blocks of rows, on this thread or on a second one,
// are those decoded one by one, with the same sentences: blocks of 3 rows
// (the last one partial) over two status words, missing values and stamp
// times, a cut file, one with records beyond the announced ones, and a line
// that fails in a later block (nothing half-loaded is left).
TEST(ComtradeLoad, SampleBuildsAgree)
{
    using KivComtradeLib::SampleBuild;
    TempDir dir("builds");
    for (const E::DataFileType type : {E::Ascii, E::Binary, E::Binary32, E::Float32}) {
        SCOPED_TRACE(typeKeyword(type));
        RecordingLayout design = mixedLayout(type, 5);
        design.statuses.assign(70, StatusLayout{});
        if (type == E::Binary32)
            design.rates = {{0.0, 101}};
        Recording rec = makeRecording(design, 101);
        const double marker = type == E::Ascii    ? 99999.0
                              : type == E::Binary ? -32768.0
                              : type == E::Float32 ? std::numeric_limits<double>::quiet_NaN()
                                                   : double(std::numeric_limits<std::int32_t>::min());
        rec.records[3].raw[1] = rec.records[64].raw[4] = marker;
        ASSERT_TRUE(writeRecording(rec, dir.file("rec")));
        const std::string dat = datBytes(rec), cfg = cfgText(design, 101);
        const std::size_t line60 = dat.find("\n60,"), half = type == E::Ascii ? dat.find('\n', dat.size() / 2) + 1 : dat.size() / 2;
        std::vector<std::pair<std::string, std::string>> variants = {
            {cfg, dat}, {cfg, dat.substr(0, half)}, {cfgText(design, 90), dat}, {cfgText(design, 300), dat}};
        if (type == E::Ascii)
            variants.push_back({cfg, std::string(dat).replace(line60 + 5, 1, "x")});
        for (const auto& v : variants) {
            ASSERT_TRUE(writeFile(dir.file("rec.cfg"), v.first) && writeFile(dir.file("rec.dat"), v.second));
            KivComtradeLib::setSampleBuild(SampleBuild::Direct);
            Comtrade direct;
            const int result = direct.load(dir.file("rec.cfg"));
            for (const SampleBuild build : {SampleBuild::Blocks, SampleBuild::Threaded}) {
                KivComtradeLib::setSampleBuild(build, 3);
                Comtrade got;
                ASSERT_EQ(got.load(dir.file("rec.cfg")), result) << got.report.message;
                EXPECT_TRUE(got.report.message == direct.report.message && got.report.line == direct.report.line
                            && got.report.warnings == direct.report.warnings
                            && got.report.missingValues == direct.report.missingValues && got.loaded == direct.loaded)
                    << got.report.message;
                expectSameState(got, direct);
            }
        }
        KivComtradeLib::setSampleBuild(SampleBuild::Auto);
    }
}

// The .hdr/.inf texts are written in the configuration's encoding: their lines
// count in the one decision for the file, and they come out in UTF-8.
TEST(ComtradeLoad, HeaderTextsShareTheEncoding)
{
    TempDir dir("texts");
    const std::string gbkStation = "\xBB\xAA\xD6\xD0"; // 华中: too short to tell GBK from a Cyrillic code page
    const std::string gbkHeader = "\xBB\xAA\xD6\xD0\xBF\xC6\xBC\xBC\xB4\xF3\xD1\xA7\xB6\xAF\xC4\xA3\xCA\xB5\xD1\xE9"
                                  "\xCA\xD2 \xB9\xCA\xD5\xCF\xC2\xBC\xB2\xA8\xB1\xA8\xB8\xE6";
    const std::string cp1251 = "\xC0\xE2\xE0\xF0\xE8\xFF \xED\xE0 \xEB\xE8\xED\xE8\xE8 2";
    const struct {
        const char* name;
        std::string station, header, information, encoding;
        bool combined;
        const char *expectedEncoding, *expectedStation, *expectedHeader, *expectedInformation;
    } cases[] = {
        {"gb", gbkStation, "Report\r\n" + gbkHeader + "\r\n", "", "", false, "GB18030", "华中",
         "Report\n华中科技大学动模实验室 故障录波报告\n", ""},
        {"ru", cp1251, "", "k=1\r\n" + cp1251 + "\r\n", "", true, "CP1251", "Авария на линии 2", "",
         "k=1\nАвария на линии 2\n"},
        // A line re-typed in UTF-8 stays as it is; a named encoding converts every text.
        {"mixed", cp1251, "Авария\n", "", "", false, "CP1251", "Авария на линии 2", "Авария\n", ""},
        {"named", "Station", gbkHeader + "\n", "", "GBK", true, "GB18030", "Station",
         "华中科技大学动模实验室 故障录波报告\n", ""},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(t.name);
        RecordingLayout design = mixedLayout(E::Ascii, 2);
        design.station = t.station;
        const Recording rec = makeRecording(design, 10);
        const std::string base = dir.file(t.name);
        if (t.combined) {
            ASSERT_TRUE(writeFile(base + ".cff", cffBytes(rec, {false, t.header, t.information})));
        } else {
            ASSERT_TRUE(writeRecording(rec, base) && writeFile(base + ".hdr", t.header)
                        && writeFile(base + ".inf", t.information));
        }
        KivComtradeLib::LoadOptions options;
        options.encoding = t.encoding;
        Comtrade ct;
        ASSERT_EQ(ct.load(base + (t.combined ? ".cff" : ".cfg"), options), 0) << ct.report.message;
        EXPECT_EQ(ct.report.encoding, t.expectedEncoding);
        EXPECT_EQ(ct.cfg.stationName, t.expectedStation);
        EXPECT_EQ(ct.headerText, t.expectedHeader);
        EXPECT_EQ(ct.informationText, t.expectedInformation);
        ColumnarRecording col;
        ASSERT_EQ(col.load(base + (t.combined ? ".cff" : ".cfg"), options), 0);
        EXPECT_TRUE(col.headerText == ct.headerText && col.informationText == ct.informationText);
    }
}

// Loads after others equal a fresh one; copies and moves own their data.
TEST(ComtradeLifetime, ReloadsCopiesAndMoves)
{
    TempDir dir("lifetime");
    RecordingLayout a = mixedLayout(E::Binary32, 5), b = mixedLayout(E::Ascii, 2);
    a.rates = {{4000.0, 100}, {0.0, 300}};
    b.writeTimeMultiplier = false;
    ASSERT_TRUE(writeRecording(makeRecording(a, 300), dir.file("first")) && writeRecording(makeRecording(b, 120), dir.file("second")));
    const std::string first = dir.file("first.cfg"), second = dir.file("second.dat");
    Comtrade fresh, reference, reloaded;
    ASSERT_TRUE(fresh.load(second) == 0 && reference.load(first) == 0);
    EXPECT_DOUBLE_EQ(reference.duration, 0.299); // a zero rate: the last time stamp
    for (const std::string& path : {first, dir.file("absent.cfg"), second})
        reloaded.load(path);
    expectSameState(reloaded, fresh);
    auto original = std::make_unique<Comtrade>(reference);
    Comtrade copy(*original), assigned, target, other(reference);
    ASSERT_TRUE(assigned.load(second) == 0 && target.load(second) == 0);
    assigned = *original;
    Comtrade moved(std::move(*original));
    target = std::move(other);
    for (Comtrade* from : {original.get(), &other}) {
        EXPECT_TRUE(!from->loaded && from->duration == -1.0 && from->fileName.empty() && from->dat.samples.empty());
        ASSERT_EQ(from->load(second), 0);
        expectSameState(*from, fresh);
    }
    original.reset();
    for (const Comtrade* c : {&copy, &assigned, &moved, &target})
        expectSameState(*c, reference);
}

// Counts, durations and first values decoded by hand from the files' bytes.
TEST(RealRecordings, LiteralCountsAndValues)
{
    const std::string root = sharedSamplesDir();
    if (root.empty())
        GTEST_SKIP() << "no ../shared/samples beside the project: real recordings not tested";
    const double nan = std::nan(""), any = -1.0;
    const struct { const char* file; std::size_t samples; double duration; std::size_t channel; double value; } cases[] = {
        {"wisp/1.cfg", 5316, any, 0, -52.767776000000005}, // -3188 * 0.016552
        {"wisp/2.cfg", 19679, any, 0, 68.76834607272727},  // 1228 * 0.06160031 kV / 1100; one record more
        {"wisp/3.cfg", 1360, 1.698295, 0, any},            // zero rates: times from the stamps
        {"wisp/4.CFG", 2399, any, 0, 0.0158860912},        // (43 * 2.836798 - 102.1247) / 1250
        {"python-comtrade/sample_ascii.cfg", 40, 39.0 / 1200.0, 0, -9.39605712890625},
        {"python-comtrade/sample_bin.cfg", 5, 4.0 / 15360.0, 0, -75.32188475833333}, // -24979 * 0.000361849 kV * 120
        {"python-comtrade/sample_float32.cff", 301, 3.0, 0, any},
        {"sel/1991-ascii-sel.cfg", 480, any, 0, -270.999876}, // 156550 * 0.00079208 - 395
        {"sel/1991-ascii-sel.cfg", 480, any, 18, nan},        // 999999 in a 1991 file
        {"sel/1999-binary-hif-sel.cfg", 20700, any, 0, any},  // 8 bytes of padding after the last record
        {"cp866/test.cfg", 6000, 5.999, 0, 1.931931},         // 51 * 0.037881
        {"gb-1991/ascii_1991.cfg", 2131, any, 4, 0.025},      // "+000025" * 0.001
    };
    for (const auto& c : cases) {
        Comtrade ct;
        ASSERT_EQ(ct.load(root + "/" + c.file), 0) << c.file;
        ASSERT_EQ(ct.dat.samples.size(), c.samples) << c.file;
        EXPECT_TRUE(c.duration == any || std::fabs(ct.duration - c.duration) < 1e-12) << c.file << ": " << ct.duration;
        const double got = ct.dat.samples[0].analogValues.at(c.channel);
        EXPECT_TRUE(c.value == any || (std::isnan(c.value) ? std::isnan(got) : std::fabs(got - c.value) < 1e-9))
            << c.file << ": " << got;
    }
    // wisp/2's first value on the primary side (a P channel, 1100:1): 1228 * 0.06160031 kV
    // in V, in both readers.
    KivComtradeLib::LoadOptions primary;
    primary.side = KivComtradeLib::ValueSide::Primary;
    Comtrade ct;
    ColumnarRecording columns;
    ASSERT_EQ(ct.load(root + "/wisp/2.cfg", primary), 0);
    ASSERT_EQ(columns.load(root + "/wisp/2.cfg", primary), 0);
    EXPECT_NEAR(ct.dat.samples[0].analogValues.at(0), 75645.18068, 1e-6);
    EXPECT_EQ(columns.analogRow(0)[0], ct.dat.samples[0].analogValues.at(0));
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        const std::string ext = entry.path().extension().string();
        if (ext == ".cfg" || ext == ".CFG")
            expectColumnsAsComtrade(entry.path().string());
        if (ext == ".cfg" || ext == ".CFG" || entry.path() == root + "/python-comtrade/sample_float32.cff")
            expectMemoryAsFile(entry.path().string());
    }
}
