#pragma once
// The data readers' clock: times of consecutive records from the sampling-rate
// table, resuming the walk where the last record left it (see TimeBase).

#include "config/TimeBase.h"

namespace KivComtradeLib {

using SampleClock = TimeBase;

} // namespace KivComtradeLib
