#pragma once
// The bundled sample recordings (samples/ in the source tree), made with the
// test writer: a single-phase-to-ground fault on phase A of a 50 Hz line,
// cleared by the line breaker. Three phase voltages and three phase currents
// (secondary values), a trip and a breaker-position status channel whose name
// is written in code page 1251; CR LF line ends. The same recording is bundled
// as a BINARY file and as its ASCII twin.

#include "writer/ComtradeWriter.h"

#include <string>
#include <vector>

namespace KivTest {

// Base names (no extension) of the bundled recordings.
const std::vector<std::string>& bundledSampleNames();

// The fault recording with the given data-file type.
Recording faultRecording(KivComtradeLib::Enums::DataFileType type);

// Writes every bundled recording into `folder`. Returns false on I/O error.
bool writeBundledSamples(const std::string& folder);

} // namespace KivTest
