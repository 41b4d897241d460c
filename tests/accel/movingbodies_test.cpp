// Moving bodies against hand-worked relativity: the Doppler factor, the place a ray meets a body
// in both light travel modes, and the bounds of all bodies at a time. (Whole pictures of moving
// bodies: tests/engine/relativity_test.cpp.)
#include "accel/movingbodies.h"

#include <gtest/gtest.h>

#include <cmath>

#include "scene/rtobjsphere.h"

// Light from a body ahead comes along -d; approaching means v = -beta d.
TEST(MovingBodies, HeadOnDopplerFactorIsTheRelativisticOne) {
    const Vec4f d(0.0f, 0.6f, 0.8f, 0.0f);
    for (const double beta : {0.1, 0.5, 0.9, 0.99}) {
        const LorentzBoost towards(d * float(-beta)), away(d * float(beta));
        const double shift = std::sqrt((1.0 - beta) / (1.0 + beta));
        EXPECT_NEAR(towards.emitterFactor(d), shift, 1e-6 * (1.0 / shift)) << beta;
        EXPECT_NEAR(away.emitterFactor(d), 1.0 / shift, 1e-5 / shift) << beta;
    }
}

// A sphere moving along the ray (centre z0 + beta t, contracted to r / gamma): its near pole is
// met at s = z0 + beta (T + sigma s) - r / gamma, sigma 0 in the snapshot, -1 with travel time.
TEST(MovingBodies, RaysMeetTheBodyWhereItWasWhenTheLightLeft) {
    const double T = 3.0, z0 = 10.0, r = 0.25;
    const Vec4f eye(0.0f, 0.0f, 0.0f, float(T));
    for (const double beta : {0.5, -0.5})
        for (const bool lightTravelTime : {false, true}) {
            const double gamma = 1.0 / std::sqrt(1.0 - beta * beta);
            const double sigma = lightTravelTime ? -1.0 : 0.0;
            const double expected = (z0 + beta * T - r / gamma) / (1.0 - beta * sigma);
            rtObjSphere<1> sphere;
            sphere.radius = float(r);
            sphere.center = Vec4f(0.0f, 0.0f, float(z0), 0.0f);
            sphere.velocity = Vec4f(0, 0, float(beta), 0);
            sphere.update();
            MovingPrimitive body(&sphere, sphere.motion());
            ASSERT_TRUE(body.prepare(eye, lightTravelTime));
            SingleRay ray{};
            ray.origin = eye;
            ray.dir = ray.invDir = Vec4f(0, 0, 1, 1);
            ray.invDir.x = ray.invDir.y = HUGE_VALF;
            ray.tMax = 1e30f;
            float t = kNoDistance;
            body.intersect1(ray, t);
            EXPECT_NEAR(t, expected, 1e-4) << beta << " " << lightTravelTime;
            // The bounds the traversal tests hold the place of the hit.
            EXPECT_TRUE(body.hitBounds.min.z <= expected && expected <= body.hitBounds.max.z);
        }
}

// The box of all bodies at time t holds each sphere's rest box moved to c + v t, and no more.
TEST(MovingBodies, BoundsAtATimeHoldEverySphereWhereItIsThen) {
    const Vec4f centres[3] = {{-4, 1, 2, 0}, {3, -2, 0.5f, 0}, {0, 5, -6, 0}};
    const Vec4f velocities[3] = {{0.5f, 0, 0, 0}, {0, 0.3f, -0.6f, 0}, {-0.2f, -0.7f, 0.1f, 0}};
    const float radii[3] = {0.5f, 1.0f, 0.25f};
    rtObjSphere<1> spheres[3];
    MovingBodies bodies;
    for (int i = 0; i < 3; ++i) {
        spheres[i].radius = radii[i];
        spheres[i].center = centres[i];
        spheres[i].velocity = velocities[i];
        spheres[i].update();
        bodies.add(&spheres[i], spheres[i].motion());
    }
    for (const double t : {0.0, 2.5, -4.0}) {
        const BoundingBox b = bodies.boundsAt(t);
        for (int a = 0; a < 3; ++a) {
            double lo = 1e30, hi = -1e30;
            for (int i = 0; i < 3; ++i) {
                lo = std::min(lo, centres[i][a] + velocities[i][a] * t - radii[i]);
                hi = std::max(hi, centres[i][a] + velocities[i][a] * t + radii[i]);
            }
            EXPECT_NEAR(b.min[a], lo, 1e-5) << "t " << t << ", axis " << a;
            EXPECT_NEAR(b.max[a], hi, 1e-5) << "t " << t << ", axis " << a;
        }
    }
}
