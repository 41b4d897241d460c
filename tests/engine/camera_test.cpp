// The relativistic camera against the aberration formula cos(theta) = (cos(theta') - beta) /
// (1 - beta cos(theta')) and the Doppler factor 1 / (gamma (1 + beta cos(theta))) (theta in the
// scene frame from the direction of motion, theta' in the observer's). The generators' columns
// are the packet-agreement tests'.
#include "engine/camera.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

// A frame context for a W x H picture of an observer at the origin with an arbitrary orthonormal
// basis, as the engine prepares it.
struct CameraFixture {
    FrameContext frame;
    CameraFixture(int W, int H, float beta, bool aberration, bool doppler) {
        RenderSettings& s = frame.settings;
        // A tilted but orthonormal basis: right, up, forward.
        const double a = 0.3, b = -0.2;
        s.lookat = Vec4f(float(std::sin(a) * std::cos(b)), float(std::sin(b)),
                         float(std::cos(a) * std::cos(b)), 0);
        s.dirx = Vec4f(float(std::cos(a)), 0, float(-std::sin(a)), 0);
        s.diry = cross3(s.lookat, s.dirx);
        s.start = Vec4f(1, 2, 3, 0);
        s.speed = beta;
        s.aberration = aberration;
        s.srtDoppler = doppler;
        RenderSettings::aspectFactors(W, H, frame.sx, frame.sy);
        frame.x0 = float(-500.0 * frame.sx);
        frame.dx = float(1000.0 / W * frame.sx);
        frame.gamma = Camera::lorentzGamma(beta);
        frame.box = BoundingBox(Vec4f(-100, -100, -100, -1), Vec4f(100, 100, 100, 1));
    }
};

double cosAngle(const Vec4f& a, const Vec4f& b) {
    const double d = double(a.x) * b.x + double(a.y) * b.y + double(a.z) * b.z;
    const double la = std::sqrt(double(a.x) * a.x + double(a.y) * a.y + double(a.z) * a.z);
    const double lb = std::sqrt(double(b.x) * b.x + double(b.y) * b.y + double(b.z) * b.z);
    return d / (la * lb);
}

}  // namespace

// Without aberration the rays keep the observer's directions and the Doppler factor takes the
// observer's angle.
TEST(Camera, RaysFollowTheAberrationFormulaAndDopplerFactor) {
    for (const bool aberration : {true, false})
        for (float beta : {-0.9f, -0.3f, 0.2f, 0.5f, 0.9f, 0.99f}) {
            CameraFixture c(640, 360, beta, aberration, true);
            const RenderSettings& s = c.frame.settings;
            std::mt19937 rng(7);
            std::uniform_real_distribution<float> ux(-500, 500), uy(-281.25f, 281.25f);
            const double gamma = 1.0 / std::sqrt(1.0 - double(beta) * beta);
            for (int i = 0; i < 200; ++i) {
                const float x = ux(rng), y = uy(rng);
                Vec4f d;
                float D;
                Camera::primaryDirection(c.frame, x, y, s.diry * y, d, D);
                // Observer frame: direction (x, y, 1000) against the direction of motion.
                const double cosObs = 1000.0 / std::sqrt(double(x) * x + double(y) * y + 1e6);
                const double cosScene =
                    aberration ? (cosObs - beta) / (1.0 - beta * cosObs) : cosObs;
                // (1000 - beta s) loses digits to cancellation in single precision as gamma grows.
                EXPECT_NEAR(cosAngle(d, s.lookat), cosScene, 2e-6 * gamma) << "beta " << beta;
                // The sideways direction is not turned: it stays along x dirx + y diry.
                const Vec4f side = s.dirx * x + s.diry * y;
                const Vec4f perp = d - s.lookat * float(cosAngle(d, s.lookat));
                EXPECT_NEAR(cosAngle(perp, side), 1.0, 1e-4);
                EXPECT_NEAR(D, 1.0 / (gamma * (1.0 + beta * cosScene)), 2e-5 * D)
                    << "beta " << beta << " aberration " << aberration;
                EXPECT_NEAR(std::sqrt(dot3(d, d)), 1.0, 1e-6);
            }
        }
}
