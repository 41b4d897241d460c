// Closed form of the unit-Doppler ring for the relativistic camera.
#include "views/januscircle.h"

#include <algorithm>
#include <cmath>

#include "scene/rendersettings.h"

namespace Januscircle {

bool unitDopplerCosine(float beta, bool aberration, bool srtDoppler, double& cosTheta) {
    if (!srtDoppler || beta == 0.0f) return false;
    const double b = beta;
    const double invGamma = std::sqrt(1.0 - b * b);
    // 1 - 1/gamma = b^2 / (1 + 1/gamma) avoids the cancellation at small speeds.
    const double oneMinusInvGamma = b * b / (1.0 + invGamma);
    cosTheta = aberration ? oneMinusInvGamma / b : -oneMinusInvGamma / b;
    return cosTheta > 0.0;
}

bool radiusInPixels(const RenderSettings& settings, int width, int height, double& radius) {
    if (width <= 0 || height <= 0) return false;
    double c = 0.0;
    if (!unitDopplerCosine(settings.speed, settings.aberration, settings.srtDoppler, c))
        return false;
    const double tanTheta = std::sqrt(std::max(0.0, 1.0 - c * c)) / c;
    radius = tanTheta * std::max(width, height);
    const double halfDiagonal = 0.5 * std::hypot(double(width), double(height));
    return radius <= halfDiagonal;
}

}  // namespace Januscircle
