// The thin accretion disk of the black hole ("newdisk"): a glowing annulus in the plane through
// the hole with the given normal, its gas on circular Keplerian orbits, each point a blackbody at
// the temperature of the thin-disk profile, seen through the Doppler and gravitational shifts.
// The hole is the render settings' (bhpos, bhradius), which every scene has: with light bending
// off the disk is still drawn there, along straight rays, its gas still moving.
#pragma once

#include <QString>

#include "scene/coldiscrete.h"
#include "scene/rtobjbase.h"

struct Eye;

class rtObjDisk : public rtObjBounded {
public:
    // The temperatures the disk's peak may have: the range the blackbody colours accept.
    static constexpr float kMinTemperature = 300.0f, kMaxTemperature = 1.0e6f;
    // The inner edge without "rin": the innermost stable circular orbit, 3 r_s.
    static constexpr float kIscoRadii = 3.0f;
    // Gas inside 1.5 r_s (the photon sphere) has no circular orbit; gas placed there by "rin"
    // orbits at this speed (a fraction of c) instead of the speed of light or faster.
    static constexpr float kMaxOrbitSpeed = 0.99f;
    // The wavelength factors the prepared spectrum is looked up at (see shadeOne): its lines
    // cover every eye's curves for the factors in this range; a point beyond is drawn at the end.
    static constexpr float kMinFactor = 1.0f / 16.0f, kMaxFactor = 128.0f;

    // Properties.
    Vec4f normal{0, 1, 0, 0};  // the disk's axis (any length but 0); the gas turns about it
    float rout = 1.0f;         // outer radius, scene units
    float rin = 0.0f;          // inner radius; 0: the innermost stable orbit, 3 r_s
    float tmax = 10000.0f;     // peak temperature of the profile, K

    // The hole the disk belongs to (placeAtHole): centre and Schwarzschild radius.
    Vec4f centre{0, 0, 0, 0};
    float rs = 0.1f;

    rtObjDisk();

    BoundingBox boundingBox() const override;
    void resolveTextures(TextureCol& textures) override;

    // Any render thread.
    void intersect1(SingleRay& ray, float& t) const override;
    void intersect1Alt(SingleRay& ray, float& t) const override;
    bool occluded1(const SingleRay& ray) const override;
    void shade1(SingleRay& ray, float t) const override;
    LaneMask4 intersect4(RayBundle4& bundle) const override;
    LaneMask4 intersect4Alt(RayBundle4& bundle) const override;
    int reserved4(int) const override;
    void shade4(RayBundle4& bundle, LaneMask4 mask) const override;
    bool intersect16(RayBundle16& bundle, LaneMask4 hits[4]) const override;
    bool intersect16Alt(RayBundle16& bundle, LaneMask4 hits[4]) const override;
    int reserved16(int) const override;
    void shade16(RayBundle16& bundle, const LaneMask4 mask[4]) const override;

    // Between frames only.
    void prepareForOrigin(const Vec4f& origin) override;
    // "name", "normal", "rout", "rin" (written only when set), "tmax".
    void getProperties(Reader::PropertyList& list) override;
    void update() override;
    void copyFrom(const rtObjBase& other) override;
    rtObjBase* clone() const override;
    void placeAtHole(const Vec4f& hole, float schwarzschildRadius) override;
    ColDiscrete* ownColor() override { return &spectrum; }

    // ---- the physics of one disk point, any thread (the shading's own arithmetic)

    // The inner edge in use: rin, or 3 r_s without it.
    float innerRadius() const { return inner; }
    // T(r) / tmax: the thin-disk profile (r_in / r)^(3/4) (1 - sqrt(r_in / r))^(1/4), scaled so
    // that its peak is 1; 0 inside the inner edge.
    float temperatureRatio(float r) const;
    // The orbital speed a static observer measures at r, sqrt(r_s / (2 (r - r_s))), in c.
    float orbitSpeed(float r) const;
    // The wavelength factor (seen / emitted) that the gas's motion adds for light leaving the disk
    // point p (x, y, z) towards the eye against the direction dir (unit, from the eye towards the
    // disk, the piece of the path that hit): gamma (1 + v . d), with d the direction in the
    // static observer's frame at p (bent: the radial part stretched by 1 / sqrt(1 - r_s / r)).
    float motionFactor(const Vec4f& p, const Vec4f& dir, bool bent) const;

private:
    BoundingBox box;  // the annulus's bounds (update)
    // One hit: the pixel of the disk point p seen along dir with the ray's wavelength factor.
    void shadeOne(const Eye& eye, const RenderSettings* settings, const Vec4f& p, const Vec4f& dir,
                  float doppler, bool bent, float& factor, float& shade) const;
    bool hitSingle(const SingleRay& ray, float& t) const;
    // Fills the spectrum: a blackbody at tmax on lines spaced evenly in log wavelength.
    void rebuildSpectrum();

    Vec4f axis{0, 1, 0, 0};  // unit normal
    float inner = 0.3f;      // innerRadius()
    float inner2 = 0.09f, outer2 = 1.0f;
    float peakScale = 1.0f;     // 1 / the profile's peak value
    float spectrumFor = -1.0f;  // the tmax the spectrum was made for
    // The disk's light: a blackbody at tmax of luminance 1 at rest. Every other temperature is
    // this spectrum seen at a factor (see shadeOne), so one prepared table serves the whole disk.
    ColDiscrete spectrum;
};
