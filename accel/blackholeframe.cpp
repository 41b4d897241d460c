// Placing the black hole's light paths in the scene for the current observer.
#include "accel/blackholeframe.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <system_error>
#include <utility>

#include "accel/lightpathgenerator.h"

float BlackHoleFrame::distance(const Vec4f& observer, const Vec4f& hole) {
    double squares = 0.0;
    for (int k = 0; k < 3; ++k) {
        const double d = double(observer[k]) - double(hole[k]);
        squares += d * d;
    }
    return float(std::sqrt(squares));
}

float BlackHoleFrame::automaticToleranceMrad(float sampleAngle) {
    const double half = 0.5e3 * double(sampleAngle);
    if (!(half > double(kFinestToleranceMrad))) return kFinestToleranceMrad;
    if (!(half < double(kCoarsestToleranceMrad))) return kCoarsestToleranceMrad;
    // Ladder steps 0.1 * 2^(k/8); the small allowance keeps a value already on the ladder there.
    const double k = std::floor(8.0 * std::log2(half / 0.1) + 1e-6);
    return std::max(kFinestToleranceMrad, float(0.1 * std::exp2(k / 8.0)));
}

void BlackHoleFrame::chooseTolerance(float sampleAngle, TableUpdate update) {
    float& tolerance = paths.parameters.toleranceMrad;
    const float wanted = automaticToleranceMrad(sampleAngle);
    if (update == TableUpdate::Wait || !paths.isGenerated() || wanted < tolerance)
        tolerance = wanted;
    if (wanted <= tolerance) {
        tooFineFrames_ = 0;
        return;
    }
    // The table is finer than this view needs; another view may need it so.
    tooFineWanted_ = tooFineFrames_ == 0 ? wanted : std::min(tooFineWanted_, wanted);
    if (++tooFineFrames_ < kCoarsenAfter) return;
    tolerance = tooFineWanted_;
    tooFineFrames_ = 0;
}

void BlackHoleFrame::prepare(const Vec4f& observer, const Vec4f& hole, float radius,
                             TableUpdate update, float sampleAngle) {
    Vec4f toObserver = observer - hole;
    toObserver.w = 0.0f;
    const float distance = BlackHoleFrame::distance(observer, hole);
    // An observer exactly at the centre has no direction to the hole; any axis will do.
    xGRT = distance > 0.0f ? toObserver * (1.0f / distance) : Vec4f(1, 0, 0, 0);
    xGRT.w = 0.0f;
    centre = hole;
    rObs = distance;
    rs = radius;
    if (sampleAngle > 0.0f && paths.parameters.automaticTolerance)
        chooseTolerance(sampleAngle, update);
    if (regenerating()) adoptGrown(update == TableUpdate::Wait, distance, radius);
    if (!paths.needsRegeneration(distance, radius)) return;
    if (update == TableUpdate::KeepOld && paths.differsOnlyInDistanceOrTolerance(radius)) {
        if (regenerating()) return;  // the next table starts once this one is taken over
        try {
            if (!grown_) grown_ = std::make_unique<LightPathTree>();
            grown_->parameters = paths.parameters;
            growing_ = std::async(std::launch::async, [this, distance, radius] {
                LightPathGenerator generator;
                generator.generate(*grown_, distance, radius);
            });
            return;
        } catch (const std::system_error&) {
            // No thread to be had: generate here, as with Wait (out of memory goes on up).
        }
    }
    LightPathGenerator generator;
    generator.generate(paths, distance, radius);
}

BlackHoleFrame::~BlackHoleFrame() {
    if (growing_.valid()) growing_.wait();
}

void BlackHoleFrame::adoptGrown(bool wait, float distance, float radius) {
    if (!wait && growing_.wait_for(std::chrono::seconds(0)) != std::future_status::ready) return;
    growing_.get();  // rethrows what the generation threw (out of memory)
    // The grown table serves if the current one needs replacing and the grown one was made for
    // this hole and these parameters (the user may have changed them meanwhile).
    const bool serves = !grown_->needsRegeneration(grown_->generatedRObs(), radius) &&
                        grown_->parameters == paths.parameters;
    if (serves && paths.needsRegeneration(distance, radius)) std::swap(paths, *grown_);
}

float BlackHoleFrame::wavelengthFactor(float rEmit) const {
    // No hole, an observer at or inside the horizon, or a NaN distance: no shift to apply.
    if (!(rs > 0.0f) || !(rObs > rs)) return 1.0f;
    // Emitters at or below the horizon cannot be seen; keep the factor finite just outside it.
    const double emit = std::fmax(double(rEmit), double(rs) * 1.0001);
    return float(std::sqrt((1.0 - double(rs) / double(rObs)) / (1.0 - double(rs) / emit)));
}

void BlackHoleFrame::boundScene(const BoundingBox& box) {
    double far2 = 0.0;
    for (int corner = 0; corner < 8; ++corner) {
        double d2 = 0.0;
        for (int k = 0; k < 3; ++k) {
            const double c = (corner >> k & 1) ? box.max[k] : box.min[k];
            d2 += (c - centre[k]) * (c - centre[k]);
        }
        far2 = std::fmax(far2, d2);
    }
    const double photonSphere = 1.5 * double(rs);
    const double radius = 1.01 * std::fmax(std::sqrt(far2), photonSphere);
    cutRadius2 = std::isfinite(radius) ? float(radius * radius) : __builtin_inff();
}
