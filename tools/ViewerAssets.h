#pragma once
// The files of comtrade-view's page, compiled in (generated from
// tools/viewer/ and third_party/uplot/ by tools/viewer/embed.cmake), so that
// the tool needs nothing beside it at run time.

namespace KivTools::ViewerAssets {

extern const char* const page;      // the HTML template with {{NAME}} marks
extern const char* const viewerCss;
extern const char* const viewerJs;
extern const char* const uplotCss;  // the vendored charting library
extern const char* const uplotJs;

} // namespace KivTools::ViewerAssets
