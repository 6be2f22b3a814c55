#pragma once
// The bundled recordings (samples/): a phase-A-to-ground fault on a 50 Hz
// line, cleared by the breaker. Three phase voltages and currents (secondary
// values), a trip and a breaker status whose name is in code page 1251; CR LF
// line ends; a BINARY file and its ASCII twin.

#include "writer/ComtradeWriter.h"

namespace KivTest {

// Base names (no extension) of the bundled recordings.
const std::vector<std::string>& bundledSampleNames();
Recording faultRecording(KivComtradeLib::Enums::DataFileType type);
// Writes every bundled recording into `folder`; false on I/O error.
bool writeBundledSamples(const std::string& folder);

} // namespace KivTest
