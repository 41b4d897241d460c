// The relativistic camera: turns pixels into primary rays seen by an observer moving with speed
// beta along the view direction. Aberration Lorentz-transforms the observer-frame direction
// (x, y, 1000) of length s into the scene frame, where its forward component becomes
// gamma (1000 - beta s); the Doppler factor D multiplies every wavelength seen along the ray.
#pragma once

#include "engine/framecontext.h"

namespace Camera {

// Each generator fills the packet at the band's next columns, clips it to the scene box, then
// advances the band's column and column values. False when fewer than the packet's columns
// remain in the row (the caller then covers the right edge otherwise).
bool generate1(RowBand& band, SingleRay& ray, int rowOffset = 0);
bool generate4(RowBand& band, RayBundle4& bundle, int rowOffset = 0);
bool generate16(RowBand& band, RayBundle16& bundle);
// Four 2 x 2 packets side by side as one 16-ray bundle: lane group g holds row g / 2 of the
// band (of two rows), columns col + 4 (g % 2) to col + 4 (g % 2) + 3. Each ray is the one
// generate4 makes for its pixel, bit for bit (the column values are advanced packet by packet
// as generate4 advances them); the band moves on by eight columns.
bool generateQuads16(RowBand& band, RayBundle16& bundle);

// Direction and Doppler factor of one ray at image-plane (x, y), in the single-ray precision:
// dir is unit length with w = 1.
void primaryDirection(const FrameContext& frame, float x, float y, const Vec4f& yvec, Vec4f& dir,
                      float& doppler);

// The smallest scene-frame angle (radians) between neighbouring samples of the frame, after
// aberration: what a point of the picture may move by before a viewer could tell. Looked for on
// a grid of 9 x 9 samples over the view, each with its right and upper neighbour; the angle
// per sample changes monotonically away from the view's axis (the axis of motion as well), so
// the smallest lies at the centre, a corner or an edge, which the grid holds. Needs the frame's
// settings, gamma and image-plane steps (TimeRT::prepareFrame).
double finestSampleAngle(const FrameContext& frame);

// gamma = 1 / sqrt(1 - beta^2) with the engine's rounding (double, float root, double quotient).
float lorentzGamma(float beta);

}  // namespace Camera
