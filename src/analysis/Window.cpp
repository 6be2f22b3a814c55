#include "analysis/Window.h"

#include <cmath>

namespace KivComtradeLib {
namespace Analysis {
namespace Detail {

SegmentWeights segmentWeights(double theta)
{
    using C = std::complex<double>;
    if (theta < 0.5) {
        // Power series: sum (-j theta)^k / (k! (k+1)) and / (k! (k+2)); twelve
        // terms leave less than 1e-15 at theta = 0.5 and avoid the cancellation
        // of the closed form at small angles.
        C full = 0.0, b = 0.0;
        C power = 1.0;
        double factorial = 1.0;
        for (int k = 0; k < 12; ++k) {
            if (k > 0) {
                power *= C(0.0, -theta);
                factorial *= k;
            }
            full += power / (factorial * (k + 1));
            b += power / (factorial * (k + 2));
        }
        return {full - b, b};
    }
    const double s = std::sin(theta);
    const double c = std::cos(theta);
    const double half = std::sin(theta / 2);
    // integral_0^1 e^{-j theta v} dv = (1 - e^{-j theta}) / (j theta)
    const C oneMinusE(2 * half * half, s);
    const C full = oneMinusE / C(0.0, theta);
    // integral_0^1 v e^{-j theta v} dv = (1 - e^{-j theta}(1 + j theta)) / (j theta)^2
    const C numerator(1 - c - theta * s, s - theta * c);
    const C b = numerator / -(theta * theta);
    return {full - b, b};
}

double lineGainCorrection(double theta)
{
    const double x = theta / 2;
    if (x < 1e-4)
        return 1.0 + x * x / 3;
    const double sinc = std::sin(x) / x;
    return 1.0 / (sinc * sinc);
}

} // namespace Detail
} // namespace Analysis
} // namespace KivComtradeLib
