// Where the black hole shows a direction at infinity: the escape direction of every path in the
// light-path table as a function of its initial angle, and its inverse, the images of a star.
//
// A path that starts at angle a from the direction towards the hole leaves, if it escapes, in
// its path plane along the direction that makes the angle psi(a) with that same axis, measured
// the same way round (psi = a without the hole; psi < a as the hole pulls the light round it,
// below -pi for a path that winds past the far side). psi grows with a from minus infinity at
// the capture angle to pi. A star at angle psi_s from the hole's direction has an image for every
// solution of psi(a) = psi_s - 2 pi k (in the star's half of the plane) and psi(a) = -psi_s -
// 2 pi k (in the opposite half): the direct image, the secondary image on the other side of the
// shadow, and ever fainter ones at the shadow's edge. The flux of each image is multiplied by
// the ratio of the solid angles mu = sin a / (|sin psi_s| dpsi/da) (surface brightness is
// conserved along a light path).
#pragma once

#include <cstdint>
#include <vector>

struct BlackHoleFrame;
class LightPathTree;

class SkyLensing {
public:
    // Samples of psi(a), denser towards the capture angle, where psi runs off to minus infinity.
    static constexpr int kSamples = 4096;
    // Spacing parameter of the samples: a - a_c = (pi - a_c) (e^(kappa t) - 1) / (e^kappa - 1) for
    // t uniform in [0, 1]; the first step is then about 1e-8 rad, the last about 0.01 rad.
    static constexpr double kKappa = 14.0;
    // Samples either side of a solution that dpsi/da is taken over.
    static constexpr int kSlopeSamples = 8;
    // Images a star may have: direct, secondary, and the first pair that winds once round.
    static constexpr int kMaxImages = 4;
    // Magnifications are capped: a star exactly behind the hole would be an Einstein ring of
    // infinite brightness as a point.
    static constexpr float kMaxMagnification = 1000.0f;

    struct Image {
        float dir[3];  // the direction the observer sees the image in (scene frame, unit)
        float magnification;
    };

    // Rebuilds psi(a) when the table differs from the one it was built for. Between frames.
    void update(const LightPathTree& table);
    bool valid() const { return !angle_.empty(); }
    // The capture angle: paths starting closer to the hole's direction fall in.
    double captureAngle() const { return captureAngle_; }
    // psi at initial angle a, interpolated; NaN below the first escaping sample.
    double escapeAngle(double a) const;

    // The images of a star in unit direction star (scene frame), seen from the observer of
    // hole: fills out and returns how many (0 before update() or when every path falls in).
    // Any thread; allocates nothing.
    int images(const BlackHoleFrame& hole, const float star[3], Image out[kMaxImages]) const;

    // The escape angle of one path walked through the table, in (-pi, pi] as atan2 gives it;
    // false when the path falls in (or the walk finds no end). Also for tests.
    static bool walkEscape(const LightPathTree& table, float a, double& psi);

private:
    // The samples of psi(a) for a table (update() without the check).
    void build(const LightPathTree& table);
    // escapeAngle by a search among the samples kept.
    double searchEscapeAngle(double a) const;
    // The initial angle whose path leaves at psi, and dpsi/da there; false when psi is outside
    // the sampled range.
    bool solve(double psi, double& a, double& slope) const;

    std::vector<double> angle_;    // a of the escaping samples, increasing
    std::vector<double> psi_;      // psi(a), increasing (unwrapped)
    std::vector<double> uniform_;  // psi at every sample position (NaN below the first kept)
    double captureAngle_ = 0.0;
    // What the samples were built for: the table's generation and size.
    float builtRObs_ = -1.0f, builtRs_ = -1.0f;
    std::size_t builtNodes_ = 0;
    const void* builtRoot_ = nullptr;
};
