#pragma once
// The one-cycle window shared by the single-time measures and the series.
//
// A channel is read as the straight lines between its samples. Over a segment
// of length L starting at time s, with values x0 and x1 at its ends,
//   integral of x(tau) e^{-j w tau} = e^{-j w s} L (x0 a(wL) + x1 b(wL)),
//   b(theta) = integral_0^1 v e^{-j theta v} dv,
//   a(theta) = integral_0^1 e^{-j theta v} dv - b(theta).
// The straight-line reading of a sinusoid of frequency w sampled every h
// carries w with the gain sinc^2(wh/2); dividing each segment by it makes the
// sum over a whole cycle the sampled DFT exactly when a cycle holds a whole
// number of samples, and keeps it close otherwise.

#include <complex>
#include <cstddef>

namespace KivComtradeLib {
namespace Analysis {
namespace Detail {

constexpr double kPi = 3.14159265358979323846;
constexpr double kSqrt2 = 1.41421356237309504880;

struct SegmentWeights {
    std::complex<double> a;
    std::complex<double> b;
};

// a(theta) and b(theta) above; theta >= 0.
SegmentWeights segmentWeights(double theta);
// 1 / sinc^2(theta / 2).
double lineGainCorrection(double theta);

// Window tolerance: times within this fraction of a cycle count as equal, so
// that rounding in the sample times does not drop the first full cycle.
constexpr double kTimeTolerance = 1e-9;

} // namespace Detail
} // namespace Analysis
} // namespace KivComtradeLib
