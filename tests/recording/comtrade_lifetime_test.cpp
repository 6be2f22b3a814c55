// One Comtrade used for several recordings, copied and moved: nothing of an
// earlier load leaks into a later one, and views always refer into their own
// object.

#include "RecordingTestUtil.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>

using namespace KivTest;
using KivComtradeLib::Comtrade;
namespace E = KivComtradeLib::Enums;

namespace {

// Two recordings that differ in everything a load sets: layout, type, rate
// table, time base and time multiplier. The second has no time-multiplier
// line and no final line end.
struct TwoRecordings {
    TempDir dir{"lifetime"};
    std::string first = dir.file("first.cfg");
    std::string second = dir.file("second.dat");

    TwoRecordings()
    {
        RecordingSpec a = mixedSpec(E::Binary32, 5, 20);
        a.station = "FIRST";
        a.revYear = 2013;
        a.rates = {{4000.0, 100}, {0.0, 300}};
        a.timeMultiplier = 2.0;
        EXPECT_TRUE(writeRecording(makeRecording(a, 300), dir.file("first")));

        RecordingSpec b = mixedSpec(E::Ascii, 2, 3);
        b.station = "SECOND";
        b.revYear = 1991;
        b.writeTimeMultiplier = false;
        b.finalLineEnd = false;
        b.crlf = true;
        EXPECT_TRUE(writeRecording(makeRecording(b, 120), dir.file("second")));

        EXPECT_TRUE(writeFile(dir.file("broken.cfg"), "S,D,1999\n3,2A,1D\n1,U,,,V,1,0,0,0,1\n"));
        EXPECT_TRUE(writeFile(dir.file("short.cfg"), readFile(dir.file("first.cfg"))));
        EXPECT_TRUE(writeFile(dir.file("short.dat"), readFile(dir.file("first.dat")).substr(0, 100)));
    }
};

} // namespace

TEST(ComtradeLifetime, SecondLoadEqualsAFreshObject)
{
    TwoRecordings f;
    Comtrade fresh;
    ASSERT_EQ(fresh.load(f.second), 0);
    EXPECT_EQ(fresh.cfg.timeMultiplier, 1.0);

    // Directly after the first recording, and after failed loads in between.
    const std::vector<std::vector<std::string>> histories = {
        {f.first},
        {f.first, f.dir.file("broken.cfg")},
        {f.first, f.dir.file("short.cfg")},
        {f.first, f.dir.file("absent.cfg")},
        {f.first, f.second, f.first},
    };
    for (const auto& history : histories) {
        Comtrade c;
        for (const auto& path : history)
            c.load(path);
        ASSERT_EQ(c.load(f.second), 0);
        expectSameState(c, fresh);
        expectOwnViews(c);
        EXPECT_EQ(c.cfg.stationName, "SECOND");
        EXPECT_EQ(c.fileName, f.second);
    }
}

TEST(ComtradeLifetime, CopySurvivesTheOriginal)
{
    TwoRecordings f;
    Comtrade reference;
    ASSERT_EQ(reference.load(f.first), 0);

    auto original = std::make_unique<Comtrade>();
    ASSERT_EQ(original->load(f.first), 0);
    Comtrade copy(*original);
    Comtrade assigned;
    ASSERT_EQ(assigned.load(f.second), 0);
    assigned = *original;
    original.reset();

    for (const Comtrade* c : {&copy, &assigned}) {
        expectOwnViews(*c);
        expectSameState(*c, reference);
        EXPECT_EQ(c->fileName, f.first);
    }
    // The copy loads on its own.
    ASSERT_EQ(copy.load(f.second), 0);
    expectOwnViews(copy);
    expectOwnViews(assigned);
    expectSameState(assigned, reference);

    Comtrade& alias = assigned;
    assigned = alias;
    expectOwnViews(assigned);
    expectSameState(assigned, reference);
}

TEST(ComtradeLifetime, MoveLeavesTheSourceEmpty)
{
    TwoRecordings f;
    Comtrade reference;
    ASSERT_EQ(reference.load(f.first), 0);

    auto source = std::make_unique<Comtrade>();
    ASSERT_EQ(source->load(f.first), 0);
    Comtrade moved(std::move(*source));
    Comtrade target;
    ASSERT_EQ(target.load(f.second), 0);
    Comtrade other;
    ASSERT_EQ(other.load(f.first), 0);
    target = std::move(other);

    for (Comtrade* from : {source.get(), &other}) {
        EXPECT_FALSE(from->loaded);
        EXPECT_EQ(from->duration, -1.0);
        EXPECT_TRUE(from->fileName.empty());
        EXPECT_TRUE(from->dat.samples.empty());
        EXPECT_TRUE(from->cfg.analogChannels.empty());
        EXPECT_TRUE(from->analogChannels.empty());
        EXPECT_TRUE(from->binaryChannels.empty());
        expectOwnViews(*from);
        // A moved-from object is usable again.
        ASSERT_EQ(from->load(f.second), 0);
        expectOwnViews(*from);
    }
    source.reset();
    for (const Comtrade* c : {&moved, &target}) {
        expectOwnViews(*c);
        expectSameState(*c, reference);
    }
}
