#pragma once
// comtrade-view's page: one self-contained HTML file (the viewer's script
// and styles, the vendored charting library and the recording's data
// inline) that works offline in any browser.

#include "ChannelSelection.h"
#include "CommandLine.h"
#include "TextFormat.h"

#include <KivComtradeLib/ColumnarRecording.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace KivTools {

struct ViewRequest {
    std::string path;                 // as given, for the header
    std::vector<ChannelRef> channels; // lanes, in order
    Window window;                    // on the tools' time axis
    double origin = 0.0;              // library time of the axis' zero
};

// The whole page.
std::string renderViewerPage(const KivComtradeLib::ColumnarRecording& recording, const ViewRequest& request);

// ---- pieces of the page, exposed for their tests ---------------------------

// `text` made safe inside an HTML element or a quoted attribute.
std::string htmlText(const std::string& text);

// A JSON text made safe inside a <script> element: no "<", ">" or "&" left
// (JSON reads "\u003c" as "<"), so no "</script>" can end the element early.
std::string scriptSafeJson(const std::string& json);

std::string base64(const std::uint8_t* bytes, std::size_t size);

// Deflate (zlib format) at the fastest level, for the browser's
// DecompressionStream("deflate").
std::vector<std::uint8_t> deflated(const std::uint8_t* bytes, std::size_t size);

// How the page rebuilds a run of an analog channel's values exactly: as
// integers k with value = (k * a + b) * multiplier (the library's own
// arithmetic, in doubles) when every value is one, else as float32 when every
// value is one, else as float64. Integers go as differences from the previous
// sample (the first from 0; int32 arithmetic, wrapping), each in the fewest
// bytes (1, 2 or 4) that hold them all; a missing value (NaN) as the integer
// kMissing.
struct EncodedValues {
    enum Kind { Int, Float32, Float64 } kind = Float64;
    int width = 8;                   // bytes per value
    std::vector<std::uint8_t> bytes; // little-endian
};
constexpr std::int32_t kMissing = INT32_MIN;
EncodedValues encodeValues(const double* values, std::size_t count, double a, double b, double multiplier);

// Min/max envelope of `values` in buckets of `bucket` samples: per bucket the
// two extremes in the order they occur (both NaN when it holds no value).
std::vector<float> envelope(const double* values, std::size_t count, std::size_t bucket);
// The same envelope in buckets `factor` times wider, from a finer one.
std::vector<float> coarser(const std::vector<float>& finer, std::size_t factor);

} // namespace KivTools
