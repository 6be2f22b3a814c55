// The recording writer that the other tests rely on: the exact text and bytes
// it produces, and its private temporary folders.

#include "util/ComtradeWriter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>

using namespace KivTest;
namespace E = KivComtradeLib::Enums;

namespace {

RecordingSpec twoByTwo(int rev)
{
    RecordingSpec spec;
    spec.station = "ST";
    spec.device = "DEV";
    spec.revYear = rev;
    AnalogSpec ua;
    ua.id = "UA";
    ua.phase = "A";
    ua.unit = "kV";
    ua.a = 0.5;
    ua.skewMicroseconds = 1.5;
    AnalogSpec ia;
    ia.id = "IA";
    ia.unit = "A";
    ia.ps = 'P';
    ia.primary = 1000;
    ia.secondary = 5;
    spec.analogs = {ua, ia};
    StatusSpec trip;
    trip.id = "TRIP";
    trip.normalState = 1;
    spec.statuses = {trip, StatusSpec{}};
    return spec;
}

} // namespace

TEST(ComtradeWriter, CfgTextByRevision)
{
    EXPECT_EQ(cfgText(twoByTwo(1999), 3),
              "ST,DEV,1999\n4,2A,2D\n"
              "1,UA,A,,kV,0.5,0,1.5,-32767,32767,1,1,S\n"
              "2,IA,,,A,1,0,0,-32767,32767,1000,5,P\n"
              "1,TRIP,,,1\n2,D,,,0\n50\n1\n1000,3\n"
              "01/06/2026,10:00:00.000000\n01/06/2026,10:00:00.100000\nASCII\n1\n");

    RecordingSpec old = twoByTwo(1991);
    old.rates = {{1200, 10}, {0, 20}};
    old.type = E::Binary32;
    old.writeTimeMultiplier = false;
    old.crlf = true;
    old.finalLineEnd = false;
    EXPECT_EQ(cfgText(old, 20),
              "ST,DEV\r\n4,2A,2D\r\n"
              "1,UA,A,,kV,0.5,0,1.5,-32767,32767\r\n"
              "2,IA,,,A,1,0,0,-32767,32767\r\n"
              "1,TRIP,1\r\n2,D,0\r\n50\r\n2\r\n1200,10\r\n0,20\r\n"
              "01/06/2026,10:00:00.000000\r\n01/06/2026,10:00:00.100000\r\nBINARY32");
}

TEST(ComtradeWriter, DataRecordsOfEveryType)
{
    Recording rec;
    rec.spec = twoByTwo(1999);
    rec.spec.statuses.resize(17);
    rec.records.push_back({7, 0xFFFFFFFFu, {-1.0, -32768.0}, std::vector<bool>(17, false)});
    rec.records[0].status[0] = true;
    rec.records[0].status[16] = true;

    rec.spec.type = E::Ascii;
    EXPECT_EQ(datBytes(rec), "7,4294967295,-1,-32768,1,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,1\n");

    rec.spec.type = E::Binary;
    EXPECT_EQ(datBytes(rec), std::string("\x07\0\0\0\xFF\xFF\xFF\xFF\xFF\xFF\x00\x80"
                                         "\x01\x00\x01\x00", 16));
    rec.spec.type = E::Binary32;
    EXPECT_EQ(datBytes(rec), std::string("\x07\0\0\0\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF"
                                         "\x00\x80\xFF\xFF\x01\x00\x01\x00", 20));
    rec.spec.type = E::Float32;
    rec.records[0].raw = {1.0, -2.0};
    EXPECT_EQ(datBytes(rec), std::string("\x07\0\0\0\xFF\xFF\xFF\xFF\x00\x00\x80\x3F"
                                         "\x00\x00\x00\xC0\x01\x00\x01\x00", 20));

    // Engineering values: prefix k folds 1000 in, a primary-side gain is
    // rescaled by secondary / primary (1991 lines carry no such flag).
    EXPECT_DOUBLE_EQ(engineeringValue(rec.spec, 0, 100.0), 50000.0);
    EXPECT_DOUBLE_EQ(engineeringValue(rec.spec, 1, 100.0), 0.5);
    RecordingSpec old = twoByTwo(1991);
    EXPECT_DOUBLE_EQ(engineeringValue(old, 1, 100.0), 100.0);
    EXPECT_EQ(storedRaw(E::Binary, 40000.0), 40000.0 - 65536.0);
    EXPECT_EQ(storedRaw(E::Ascii, 4294967295.0), -1.0);
}

TEST(ComtradeWriter, GeneratedMatchesHeldRecording)
{
    TempDir dir("writer");
    for (E::DataFileType type : {E::Ascii, E::Binary, E::Binary32, E::Float32}) {
        RecordingSpec spec = twoByTwo(2013);
        spec.type = type;
        spec.crlf = true;
        const Recording rec = makeRecording(spec, 50);
        ASSERT_TRUE(writeGenerated(
            spec, 50, [&](unsigned long long k, Record& r) { r = rec.records[k]; },
            dir.file("gen")));
        ASSERT_TRUE(writeRecording(rec, dir.file("held")));
        EXPECT_EQ(readFile(dir.file("gen.dat")), datBytes(rec));
        EXPECT_EQ(readFile(dir.file("held.dat")), datBytes(rec));
        EXPECT_EQ(readFile(dir.file("gen.cfg")), readFile(dir.file("held.cfg")));
    }
}

TEST(ComtradeWriter, TempDirIsPrivateAndRemoved)
{
    std::string path;
    {
        TempDir a("priv");
        TempDir b("priv");
        path = a.path();
        EXPECT_NE(a.path(), b.path());
        const char* base = std::getenv("KIVCOMTRADE_TEST_TMP");
        if (base && *base) {
            EXPECT_EQ(a.path().rfind(std::string(base) + "/", 0), 0u) << a.path();
        }
        struct stat st {};
        ASSERT_EQ(stat(a.path().c_str(), &st), 0);
        EXPECT_TRUE(S_ISDIR(st.st_mode));
        EXPECT_EQ(st.st_mode & 0777, 0700u);
        ASSERT_TRUE(writeFile(a.file("x.bin"), std::string("a\0b", 3)));
        EXPECT_EQ(readFile(a.file("x.bin")), std::string("a\0b", 3));
    }
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(toCrLf("a\nb\n\n"), "a\r\nb\r\n\r\n");
}
