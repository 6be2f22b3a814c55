#pragma once
// comtrade-plot's picture: a header with the recording's context, time axes,
// one lane per analog channel (a peak-preserving trace on a round scale) and
// one thin raster row per status channel.

#include "ChannelSelection.h"

#include <KivComtradeLib/ColumnarRecording.h>

#include <string>
#include <vector>

namespace KivTools {

struct PlotRequest {
    std::string path;                 // as given, for the header
    std::vector<ChannelRef> channels; // in drawing order
    Window window;                    // on the tools' time axis
    double origin = 0.0;              // library time of the axis' zero
    bool allStatus = false;           // draw status channels that never change too
    bool scaleEach = false;           // every analog channel on a scale of its own
};

// Geometry, in SVG user units (pixels).
struct PlotGeometry {
    static constexpr double width = 1200.0;
    static constexpr double left = 220.0; // names and value labels to its left
    static constexpr double right = 24.0;
    static constexpr double plotWidth = width - left - right;
    static constexpr int columns = static_cast<int>(plotWidth); // one per pixel
};

// The whole standalone SVG document.
std::string renderSvg(const KivComtradeLib::ColumnarRecording& recording, const PlotRequest& request);

} // namespace KivTools
