// comtrade-view's page pieces: the value encoding the page decodes, the
// envelopes it draws from, and what keeps the recording's texts inert.
#include "ViewerPage.h"
#include "writer/ComtradeWriter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <sys/wait.h>
#include <zlib.h>

namespace {

using namespace KivTools;
const double kNaN = std::numeric_limits<double>::quiet_NaN();

// What the page's script does with an encoded run.
std::vector<double> decode(const EncodedValues& e, double a, double b, double m)
{
    std::vector<double> out;
    const std::size_t count = e.bytes.size() / static_cast<std::size_t>(e.width);
    std::uint32_t k = 0;
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t raw = 0;
        for (int byte = 0; byte < e.width && byte < 4; ++byte)
            raw |= std::uint32_t(e.bytes[i * e.width + byte]) << (8 * byte);
        if (e.kind == EncodedValues::Int) {
            const int shift = 32 - 8 * e.width; // sign-extend a narrow difference
            k += static_cast<std::uint32_t>(static_cast<std::int32_t>(raw << shift) >> shift);
            const auto ki = static_cast<std::int32_t>(k);
            out.push_back(ki == kMissing ? kNaN : (ki * a + b) * m);
        } else if (e.kind == EncodedValues::Float32) {
            float f;
            std::memcpy(&f, &e.bytes[i * 4], 4);
            out.push_back(f);
        } else {
            double d;
            std::memcpy(&d, &e.bytes[i * 8], 8);
            out.push_back(d);
        }
    }
    return out;
}

TEST(ViewerPage, ValuesComeBackBitForBitInTheNarrowestForm)
{
    struct Case {
        const char* what;
        std::vector<double> raw; // engineering values are (raw * a + b) * m
        double a, b, m;
        EncodedValues::Kind kind;
        int width;
    };
    const Case cases[] = {
        {"small steps", {0, 1, -3, 100, -27}, 0.5, 0.25, 1.0, EncodedValues::Int, 1},
        {"int16 recorder", {-32767, 32767, 0, 12000}, 0.0123, -0.7, 1000.0, EncodedValues::Int, 4},
        {"moderate steps", {0, 20000, 5000, -10000}, 0.1, 0.0, 1.0, EncodedValues::Int, 2},
        {"binary32 extremes", {-2147483647.0, 2147483647.0}, 1.0, 0.0, 1.0, EncodedValues::Int, 4},
        {"missing values", {5, kNaN, 7, kNaN}, 2.0, 1.0, 1.0, EncodedValues::Int, 4},
        {"no integer scale", {0.1, 0.3, 0.7}, 0.0, 0.0, 1.0, EncodedValues::Float32, 4},
        {"float64 only", {1.0 / 3.0, 2.0 / 3.0}, 0.0, 0.0, 1.0, EncodedValues::Float64, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<double> values;
        for (const double r : c.raw)
            values.push_back(c.a == 0.0 ? (c.kind == EncodedValues::Float32 ? double(float(r)) : r)
                                        : (r * c.a + c.b) * c.m);
        const EncodedValues e = encodeValues(values.data(), values.size(), c.a, c.b, c.m);
        EXPECT_EQ(e.kind, c.kind);
        EXPECT_EQ(e.width, c.width);
        const std::vector<double> back = decode(e, c.a, c.b, c.m);
        ASSERT_EQ(back.size(), values.size());
        for (std::size_t i = 0; i < values.size(); ++i)
            EXPECT_TRUE(back[i] == values[i] || (std::isnan(back[i]) && std::isnan(values[i]))) << i;
    }
}

TEST(ViewerPage, EnvelopeKeepsBothExtremesInTheOrderTheyOccur)
{
    const std::vector<double> v = {0, 5, -2, 1, /**/ 3, -8, 9, 0, /**/ kNaN, kNaN, kNaN, kNaN, /**/ 4};
    const std::vector<float> env = envelope(v.data(), v.size(), 4);
    // Bucket 0's maximum comes first; a bucket of missing values draws nothing.
    const float expected[] = {5, -2, -8, 9, NAN, NAN, 4, 4};
    ASSERT_EQ(env.size(), 8u);
    for (std::size_t i = 0; i < 8; ++i)
        EXPECT_TRUE(env[i] == expected[i] || (std::isnan(env[i]) && std::isnan(expected[i]))) << i;

    // Coarser levels come from finer ones and must equal a direct envelope.
    std::vector<double> wave(10007);
    for (std::size_t i = 0; i < wave.size(); ++i)
        wave[i] = i % 1000 == 3 ? kNaN : std::sin(static_cast<double>(i) * 0.37) * static_cast<double>(i % 97);
    for (const std::size_t factor : {2u, 8u, 13u}) {
        const std::vector<float> direct = envelope(wave.data(), wave.size(), 64 * factor);
        const std::vector<float> merged = coarser(envelope(wave.data(), wave.size(), 64), factor);
        ASSERT_EQ(merged.size(), direct.size()) << factor;
        for (std::size_t j = 0; j < direct.size(); ++j)
            EXPECT_EQ(merged[j], direct[j]) << factor << " at " << j;
    }
}

TEST(ViewerPage, BlocksAndTextsStayInert)
{
    const std::pair<std::string, std::string> b64[] = {
        {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {std::string("\xff\xfe\x00\x01", 4), "//4AAQ=="}};
    for (const auto& [raw, text] : b64)
        EXPECT_EQ(base64(reinterpret_cast<const std::uint8_t*>(raw.data()), raw.size()), text);
    EXPECT_EQ(scriptSafeJson("{\"n\":\"</script><b>&\"}"), "{\"n\":\"\\u003c/script\\u003e\\u003cb\\u003e\\u0026\"}");
    EXPECT_EQ(htmlText("a<b>&\"'\xff"), "a&lt;b&gt;&amp;&quot;&#39;\xEF\xBF\xBD");

    // A block inflates back (what the browser's DecompressionStream does).
    std::vector<std::uint8_t> raw(100000);
    for (std::size_t i = 0; i < raw.size(); ++i)
        raw[i] = static_cast<std::uint8_t>(i * 7 / 13);
    const std::vector<std::uint8_t> packed = deflated(raw.data(), raw.size());
    std::vector<std::uint8_t> back(raw.size());
    uLongf length = back.size();
    ASSERT_EQ(uncompress(back.data(), &length, packed.data(), packed.size()), Z_OK);
    EXPECT_EQ(back, raw);
}

TEST(ComtradeView, ThePageHoldsNoMarkupFromTheRecordingAndNoFetch)
{
    const KivTest::TempDir dir("viewer-page");
    KivTest::RecordingLayout layout;
    layout.station = "</title><script>alert(2)</script>";
    layout.analogs = {{"</script><script>alert(1)</script>", "", ""}, {}};
    layout.statuses = {{"<img src=x onerror=alert(3)>", "", ""}};
    ASSERT_TRUE(KivTest::writeRecording(KivTest::makeRecording(layout, 300), dir.file("rec")));
    const std::string command = "'" KIVCOMTRADE_VIEW_TOOL "' " + dir.file("rec.cfg") + " -o " + dir.file("rec.html");
    ASSERT_EQ(std::system((command + " >/dev/null").c_str()), 0);
    const std::string page = KivTest::readFile(dir.file("rec.html"));
    for (const char* bad : {"<script>alert", "<img", "</title><script>", "src=\"http", "href=\"http", "url(http", "@import"})
        EXPECT_EQ(page.find(bad), std::string::npos) << bad;
    EXPECT_NE(page.find("&lt;/title&gt;&lt;script&gt;alert(2)"), std::string::npos) << "the title keeps the text";

    // Mistakes on the command line and an unwritable page.
    const auto status = [&](const std::string& args) {
        const int s = std::system(("'" KIVCOMTRADE_VIEW_TOOL "' " + args + " >/dev/null 2>&1").c_str());
        return WIFEXITED(s) ? WEXITSTATUS(s) : -1;
    };
    EXPECT_EQ(status(dir.file("rec.cfg") + " --channels A9"), 64);
    EXPECT_EQ(status(dir.file("rec.cfg") + " --from 5"), 64);
    EXPECT_EQ(status(dir.file("absent.cfg")), 2);
    EXPECT_EQ(status(dir.file("rec.cfg") + " -o /nonexistent-folder/x.html"), 73);
    EXPECT_EQ(status("--version"), 0);
}

} // namespace
