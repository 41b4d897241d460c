// Moving bodies against the textbook pictures of special relativity: a fast sphere still looks
// round with light travel time on (Penrose) and is contracted by 1/gamma in the scene frame's
// snapshot; a fast small cube seen at right angles to its motion shows its trailing face and
// looks rotated by arcsin(beta) (Terrell). The outlines are found by bisecting single rays
// between a hit and a miss, so the angles are exact to far below the tolerances. Also the head-on
// Doppler factor, where a ray meets a body in both modes, and the bounds of all bodies at a time.
#include "accel/movingbodies.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "accel/kdtree.h"
#include "scene/rtobjcube.h"
#include "scene/rtobjsphere.h"
#include "tests/accel/bodyrays.h"

namespace {

// Unit direction of azimuth a (from +z towards +x) and elevation e (towards +y).
Vec4f direction(double a, double e) {
    return Vec4f(float(std::cos(e) * std::sin(a)), float(std::sin(e)),
                 float(std::cos(e) * std::cos(a)), 1.0f);
}

using bodyrays::inside;
using bodyrays::rayFrom;
using bodyrays::rayTowards;

struct Bodies {
    std::vector<std::unique_ptr<MovingPrimitive>> parts;
    // Whether nearest() tells the axis of the hit surface's normal (0 x, 1 y, 2 z), which names a
    // cube's face, rather than the part.
    bool normalAxis = false;

    // The nearest part that a ray from the observer's event meets; -1 for none.
    int nearest(const Vec4f& eye, const Vec4f& d) const {
        SingleRay ray = rayFrom(eye, d);
        int best = -1;
        float bestT = kNoDistance;
        for (size_t i = 0; i < parts.size(); ++i) {
            float t = kNoDistance;
            parts[i]->intersect1(ray, t);
            if (t < bestT) {
                bestT = t;
                best = int(i);
            }
        }
        if (best < 0 || !normalAxis) return best;
        const Vec4f n = abs(ray.hitOffset);
        return n.x >= n.y && n.x >= n.z ? 0 : n.y >= n.z ? 1 : 2;
    }
};

// The angle between lo and hi at which nearest() changes from what it is at lo, to 1e-12 rad;
// at(angle) gives the ray's direction.
template <class At>
double boundary(const Bodies& b, const Vec4f& eye, double lo, double hi, At at) {
    const int start = b.nearest(eye, at(lo));
    EXPECT_NE(start, b.nearest(eye, at(hi)));
    for (int i = 0; i < 60 && hi - lo > 1e-12; ++i) {
        const double mid = 0.5 * (lo + hi);
        (b.nearest(eye, at(mid)) == start ? lo : hi) = mid;
    }
    return 0.5 * (lo + hi);
}

}  // namespace

TEST(MovingBodies, PenroseSphereLooksRoundAndTheSnapshotIsContracted) {
    const double beta = 0.9, gamma = 1.0 / std::sqrt(1.0 - beta * beta);
    const double L = 50.0;  // distance of the sphere, 50 radii
    const Vec4f eye(0, 0, 0, 0);
    for (const bool lightTravelTime : {true, false}) {
        rtObjSphere<1> sphere;
        sphere.radius = 1.0f;
        // At right angles to the line of sight when its light is seen: with light travel time
        // the centre passes (0, 0, L) at time -L, in the snapshot at time 0.
        const double x0 = lightTravelTime ? beta * L : 0.0;
        sphere.center = Vec4f(float(x0), 0.0f, float(L), 0.0f);
        sphere.setVelocity(Vec4f(float(beta), 0, 0, 0));
        sphere.update();
        Bodies b;
        b.parts.push_back(std::make_unique<MovingPrimitive>(&sphere, sphere.motion()));
        ASSERT_TRUE(b.parts[0]->prepare(eye, lightTravelTime));

        const auto horizontal = [](double a) { return direction(a, 0.0); };
        const double left = boundary(b, eye, -0.5, -0.0001, horizontal);
        const double right = boundary(b, eye, 0.0001, 0.5, horizontal);
        const double centre = 0.5 * (left + right);
        const double across = 0.5 * (right - left);
        const auto vertical = [centre](double e) { return direction(centre, e); };
        const double up = boundary(b, eye, 0.0, 0.5, vertical);

        if (lightTravelTime) {
            EXPECT_NEAR(across / up, 1.0, 0.01) << "across " << across << ", up " << up;
            // Seen now, the sphere's centre passed straight ahead: its image is there.
            EXPECT_NEAR(centre, 0.0, 1e-3);
        } else {
            EXPECT_NEAR(across / up, 1.0 / gamma, 0.01 / gamma);
            EXPECT_NEAR(up, std::asin(1.0 / L), 1e-4);
        }
    }
}

TEST(MovingBodies, TerrellCubeShowsItsTrailingFaceRotatedByArcsinBeta) {
    const double a = 1.0, L = 400.0;  // a small cube far away
    const Vec4f eye(0, 0, 0, 0);
    for (const double beta : {0.3, 0.6, 0.9}) {
        const double gamma = 1.0 / std::sqrt(1.0 - beta * beta);
        rtObjCube cube;
        cube.x = Vec4f(float(a), 0, 0, 0);
        cube.y = Vec4f(0, float(a), 0, 0);
        cube.z = Vec4f(0, 0, float(a), 0);
        // Moving along +x; its centre, a / (2 gamma) from pos along x once contracted, passes
        // x = 0 at time -L, so that its light reaches the eye now from straight ahead.
        cube.pos = Vec4f(float(beta * L - a / (2 * gamma)), float(-a / 2), float(L - a / 2), 0);
        cube.setVelocity(Vec4f(float(beta), 0, 0, 0));
        std::vector<rtObjBase*> parts;
        cube.collectPrimitives(parts);
        ASSERT_EQ(parts.size(), 1u);
        Bodies b;
        b.normalAxis = true;
        b.parts.push_back(std::make_unique<MovingPrimitive>(parts[0], cube.motion()));
        ASSERT_TRUE(b.parts.back()->prepare(eye, true));
        // The front (facing the eye) is an xy face, normal along z; the trailing one a yz face.
        constexpr int kFront = 2, kTrailing = 0;
        const auto horizontal = [](double angle) { return direction(angle, 0.0); };
        const double span = 2.0 * a / L;
        // Left to right: nothing, the trailing face, the front face, nothing.
        ASSERT_EQ(b.nearest(eye, horizontal(-span)), -1);
        const double start = boundary(b, eye, -span, 0.0, horizontal);
        // A step in from each boundary: rays along an edge may meet either face by rounding.
        const double step = 1e-3 * span;
        ASSERT_EQ(b.nearest(eye, horizontal(start + step)), kTrailing) << beta;
        const double seam = boundary(b, eye, start + step, span, horizontal);
        ASSERT_EQ(b.nearest(eye, horizontal(seam + step)), kFront) << beta;
        const double end = boundary(b, eye, seam + step, span, horizontal);

        // A cube turned by phi shows widths a sin(phi) and a cos(phi).
        const double phi = std::asin(beta);
        EXPECT_NEAR((seam - start) * L, a * std::sin(phi), 0.01 * a) << beta;
        EXPECT_NEAR((end - seam) * L, a * std::cos(phi), 0.01 * a) << beta;
        EXPECT_NEAR(std::atan2(seam - start, end - seam), phi, 0.01) << beta;
    }
}
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
            sphere.setVelocity(Vec4f(0, 0, float(beta), 0));
            sphere.update();
            MovingPrimitive body(&sphere, sphere.motion());
            ASSERT_TRUE(body.prepare(eye, lightTravelTime));
            SingleRay ray = rayFrom(eye, Vec4f(0, 0, 1, 1));
            float t = kNoDistance;
            body.intersect1(ray, t);
            EXPECT_NEAR(t, expected, 1e-4) << beta << " " << lightTravelTime;
            // The bounds the traversal tests hold the place of the hit.
            const BoundingBox bounds = body.hitBounds();
            EXPECT_TRUE(bounds.min.z <= expected && expected <= bounds.max.z);
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
        spheres[i].setVelocity(velocities[i]);
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

// With light travel time, a body is seen where it was when its light left: each of its points
// at its own emission time T - s, with s = |w - v s| (w the point's place at the observer's time
// T relative to the eye). The box the traversal tests must hold every such place, and may be
// no longer than the body's rest box plus the stretch it moves while light from its near and
// far sides leaves (2 radius / (1 - |v|) at most, radius that of the rest box's corners). Random
// bodies, speeds and eyes anywhere in space and time, some bodies about the eye.
TEST(MovingBodies, TheBoxOfABodySeenWithTravelTimeHoldsEveryPointWhereItsLightLeft) {
    std::mt19937 rng(2026);
    std::uniform_real_distribution<double> unit(-1.0, 1.0), radii(0.1, 2.0), speeds(0.05, 0.95);
    const auto randomDirection = [&] {
        for (;;) {
            const double d[3] = {unit(rng), unit(rng), unit(rng)};
            const double n = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
            if (n > 0.1 && n <= 1.0)
                return Vec4f(float(d[0] / n), float(d[1] / n), float(d[2] / n), 0);
        }
    };
    for (int k = 0; k < 200; ++k) {
        const double r = radii(rng), beta = speeds(rng);
        const Vec4f v = randomDirection() * float(beta);
        const Vec4f eye(float(5 * unit(rng)), float(5 * unit(rng)), float(5 * unit(rng)),
                        float(10 * unit(rng)));
        // Every fourth body is about the eye when the observer looks (its light still leaving).
        const Vec4f far(float(20 * unit(rng)), float(20 * unit(rng)), float(20 * unit(rng)), 0);
        const Vec4f near = eye - v * eye.w + randomDirection() * float(0.5 * r);
        const Vec4f centre(k % 4 == 0 ? near.x : far.x, k % 4 == 0 ? near.y : far.y,
                           k % 4 == 0 ? near.z : far.z, 0.0f);
        rtObjSphere<1> sphere;
        sphere.radius = float(r);
        sphere.center = centre;
        sphere.setVelocity(v);
        sphere.update();
        MovingPrimitive body(&sphere, sphere.motion());
        ASSERT_TRUE(body.prepare(eye, true)) << k;
        const BoundingBox box = body.boundingBox();

        // The scene frame sees the ball contracted along v by 1 / gamma.
        const double vv = double(dot3(v, v)), gamma = 1.0 / std::sqrt(1.0 - vv);
        const double T = eye.w;
        for (int i = 0; i < 400; ++i) {
            const Vec4f u = randomDirection();
            const double along = double(dot3(u, v)) / vv;  // u's part along v, in units of v
            double q[3], w[3];
            for (int a = 0; a < 3; ++a) {
                const double offset = r * (u[a] - along * v[a] * (1.0 - 1.0 / gamma));
                q[a] = double(centre[a]) + offset;
                w[a] = q[a] + double(v[a]) * T - double(eye[a]);
            }
            const double vw = v[0] * w[0] + v[1] * w[1] + v[2] * w[2];
            const double ww = w[0] * w[0] + w[1] * w[1] + w[2] * w[2];
            const double s = (-vw + std::sqrt(vw * vw + (1.0 - vv) * ww)) / (1.0 - vv);
            for (int a = 0; a < 3; ++a) {
                const double at = q[a] + double(v[a]) * (T - s);
                const double room = 1e-4 * (1.0 + std::fabs(at));
                EXPECT_GE(at, double(box.min[a]) - room) << "body " << k << ", axis " << a;
                EXPECT_LE(at, double(box.max[a]) + room) << "body " << k << ", axis " << a;
            }
        }
        // The rest box's corners, contracted along v as the scene frame sees them: a box
        // contracted along a slanting direction is sheared, so its corners can stick out of
        // the rest box.
        const BoundingBox rest = sphere.boundingBox();
        double lo[3] = {1e30, 1e30, 1e30}, hi[3] = {-1e30, -1e30, -1e30}, cornerRadius = 0.0;
        for (int i = 0; i < 8; ++i) {
            double c[3], cv = 0.0;
            for (int a = 0; a < 3; ++a) {
                c[a] = double(((i >> a) & 1) ? rest.max[a] : rest.min[a]) - double(centre[a]);
                cv += c[a] * double(v[a]);
            }
            double length2 = 0.0;
            for (int a = 0; a < 3; ++a) {
                c[a] -= (1.0 - 1.0 / gamma) * cv / vv * double(v[a]);
                lo[a] = std::min(lo[a], c[a]);
                hi[a] = std::max(hi[a], c[a]);
                length2 += c[a] * c[a];
            }
            cornerRadius = std::max(cornerRadius, std::sqrt(length2));
        }
        for (int a = 0; a < 3; ++a)
            EXPECT_LE(double(box.max[a]) - double(box.min[a]),
                      hi[a] - lo[a] + std::fabs(v[a]) * 2.0 * cornerRadius / (1.0 - beta) + 1e-3)
                << "body " << k << ", axis " << a;
    }
}

// A moving sphere seen in the snapshot (or faster than light) keeps its own test, which meets a
// ray from the eye at distance s at scene time T + s. Its placement must hold every hit that test
// reports, and, for a sphere slower than light, no more than the stretch of its path that the
// rays catch up with: its box plus |v| 2 radius / (1 - |v|), however long it lives (radius that of
// its box's corners). The scene's tree holds none of these spheres: they are placed per frame.
// Random spheres, lifetimes, speeds and eyes; rays aimed where the centre meets the rays, or at
// the centre at random times of its life.
TEST(MovingBodies, AMovingSphereWithItsOwnTestIsPlacedWhereTheRaysMeetIt) {
    std::mt19937 rng(77);
    std::uniform_real_distribution<double> unit(-1.0, 1.0), zeroOne(0.0, 1.0);
    int hits = 0;
    for (int k = 0; k < 300; ++k) {
        const bool faster = k % 5 == 0;
        const double beta = faster ? 1.05 + zeroOne(rng) : 0.05 + 0.9 * zeroOne(rng);
        Vec4f dir(float(unit(rng)), float(unit(rng)), float(unit(rng)), 0.0f);
        dir = dir * (1.0f / std::sqrt(dot3(dir, dir)));
        const double lives[3] = {1.0, 10.0, 1000.0};
        rtObjSphere<0> sphere;
        sphere.center =
            Vec4f(float(20 * unit(rng)), float(20 * unit(rng)), float(20 * unit(rng)), 0);
        sphere.mov = dir * float(beta);
        sphere.radius = float(0.1 + 2.0 * zeroOne(rng));
        sphere.tmin = float(-30.0 + 40.0 * zeroOne(rng));
        sphere.tmax = sphere.tmin + float(lives[k % 3]);
        sphere.update();
        const Vec4f eye(float(10 * unit(rng)), float(10 * unit(rng)), float(10 * unit(rng)),
                        float(10 * unit(rng)));
        const bool lightTravelTime = faster && k % 2 == 0;
        MovingPrimitive body(&sphere, sphere.motion());
        const bool placed = body.prepare(eye, lightTravelTime);
        ASSERT_TRUE(body.usesOwnTest()) << k;
        const BoundingBox bounds = body.hitBounds();

        const auto centreAt = [&](double t) {
            return sphere.center + sphere.mov * float(t - sphere.tmin);
        };
        for (int i = 0; i < 300; ++i) {
            Vec4f target;
            const double w[3] = {centreAt(eye.w)[0] - eye[0], centreAt(eye.w)[1] - eye[1],
                                 centreAt(eye.w)[2] - eye[2]};
            const double vw = dot3(sphere.mov, Vec4f(float(w[0]), float(w[1]), float(w[2]), 0));
            const double ww = w[0] * w[0] + w[1] * w[1] + w[2] * w[2];
            if (!faster && i % 2 == 0) {
                // |w + v s| = s: the centre where a ray from the eye is at its time.
                const double a = 1.0 - beta * beta;
                const double s = (vw + std::sqrt(vw * vw + a * ww)) / a;
                target = centreAt(eye.w + s);
            } else {
                target = centreAt(sphere.tmin + zeroOne(rng) * (sphere.tmax - sphere.tmin));
            }
            SingleRay ray = rayTowards(eye, target + inside(rng, sphere.radius));
            const Vec4f d = ray.dir;
            float t = kNoDistance;
            sphere.intersect1(ray, t);
            if (!(t < kNoDistance)) continue;
            ++hits;
            ASSERT_TRUE(placed) << "body " << k << " is hit but not placed";
            const Vec4f p = eye + d * t;
            for (int a = 0; a < 3; ++a) {
                EXPECT_GE(p[a], bounds.min[a]) << "body " << k << ", axis " << a;
                EXPECT_LE(p[a], bounds.max[a]) << "body " << k << ", axis " << a;
            }
            SingleRay again = rayFrom(eye, d);
            float placedT = kNoDistance;
            body.intersect1(again, placedT);
            EXPECT_EQ(placedT, t) << "body " << k;
        }
        if (!placed || faster) continue;
        const double cornerRadius = std::sqrt(3.0) * sphere.radius * 1.01;
        for (int a = 0; a < 3; ++a)
            EXPECT_LE(double(bounds.max[a]) - double(bounds.min[a]),
                      2.0 * cornerRadius +
                          std::fabs(sphere.mov[a]) * 2.0 * cornerRadius / (1.0 - beta) + 1e-2)
                << "body " << k << ", axis " << a;
    }
    EXPECT_GT(hits, 10000);

    rtObjSphere<0> moving;
    moving.radius = 1.0f;
    moving.tmin = -1000.0f;
    moving.tmax = 1000.0f;
    moving.mov = Vec4f(0.3f, 0.0f, 0.0f, 0.0f);
    moving.update();
    rtObjSphere<1> still;
    still.center = Vec4f(0.0f, 5.0f, 0.0f, 0.0f);
    still.update();
    KDTree tree;
    tree.addInterval({&moving, &still}, 0);
    EXPECT_EQ(tree.movingBodies().size(), 1);
    EXPECT_EQ(tree.staticPrimitives(), std::vector<rtObjBase*>{&still});
}

// A placement made for one way of seeing follows the bodies of the latest build, as many as
// before or not: a scene edited between frames must never show (or touch) the bodies it had.
TEST(MovingBodies, APlacementHoldsTheBodiesOfTheLatestBuild) {
    rtObjSphere<1> first, second;
    for (rtObjSphere<1>* s : {&first, &second}) {
        s->radius = 0.5f;
        s->setVelocity(Vec4f(0.2f, 0.0f, 0.0f, 0.0f));
    }
    first.center = Vec4f(-10.0f, 0.0f, 0.0f, 0.0f);
    second.center = Vec4f(10.0f, 0.0f, 0.0f, 0.0f);
    first.update();
    second.update();
    MovingBodies bodies;
    bodies.add(&first, first.motion());
    EXPECT_NEAR(bodies.boundsAt(0.0).min.x, -10.5f, 1e-4f);
    for (const bool travel : {false, true}) {
        bodies.reset();
        bodies.add(travel ? &second : &first, (travel ? second : first).motion());
        bodies.placement(travel, false);  // made for this build
        bodies.reset();
        bodies.add(travel ? &first : &second, (travel ? first : second).motion());
        const double expected = travel ? -10.5 : 9.5;
        EXPECT_NEAR(bodies.boundsAt(0.0).min.x, expected, 1e-4) << travel;
        KDTree scene;
        scene.addInterval({}, 0);
        MovingPlacement& p = bodies.placement(travel, false);
        ASSERT_EQ(p.size(), 1);
        p.prepare(Vec4f(0.0f, 0.0f, -20.0f, 0.0f), travel, scene, false);
        EXPECT_NEAR(p.boundsAt(0.0).min.x, expected, 1e-4) << travel;
    }
}
