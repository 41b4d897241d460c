// The Januscircle: the ring of view directions whose light arrives with its wavelengths unchanged
// (relativistic Doppler factor exactly 1). Inside it the scene looks blue-shifted, outside
// red-shifted; the views can draw it over the picture.
#pragma once

struct RenderSettings;

namespace Januscircle {

// Cosine of the observer-frame angle between a view direction and the direction of motion at
// which the camera's Doppler factor is 1, for speed beta. With aberration, D = gamma (1 - beta cos)
// in observer-frame terms, so cos = (1 - 1/gamma) / beta; without aberration
// D = 1 / (gamma (1 + beta cos)), so cos = (1/gamma - 1) / beta. False when the Doppler effect is
// off, beta is 0, or the ring lies at or behind the image plane's horizon (cos <= 0).
bool unitDopplerCosine(float beta, bool aberration, bool srtDoppler, double& cosTheta);

// Radius in pixels of the ring in a width x height picture rendered with the settings (the image
// plane z = 1000 whose longer side spans -500..500): tan(theta) x max(width, height). False when
// there is no ring in front, or it lies wholly outside the picture (radius beyond the corners).
bool radiusInPixels(const RenderSettings& settings, int width, int height, double& radius);

}  // namespace Januscircle
