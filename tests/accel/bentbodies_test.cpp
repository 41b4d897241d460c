// Moving bodies along the black hole's bent paths with light travel time: each is held over
// every time its light can have left it, cut into pieces along its way, and a ray is moved back
// along the body's motion before the body boosts it. The pieces together must find every hit of
// the whole body; the body's hit must be the first root of its equation of motion; and the
// moved-back test must refuse only rays the body misses.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>
#include <vector>

#include "accel/movingbodies.h"
#include "scene/rtobjcube.h"
#include "scene/rtobjsphere.h"
#include "tests/accel/bodyrays.h"

using bodyrays::inside;
using bodyrays::randomVelocity;
using bodyrays::rayFrom;
using bodyrays::rayTowards;

// Along bent paths with light travel time a body is held over every time its light can have left
// it, in pieces each of which a ray skips unless its events (at its origin's time less the
// distance) fall in the piece's times. Every hit of the whole body must still be found by one of
// its pieces, at the same distance: rays from random places and times, aimed where the body was
// when light from there would have left it.
TEST(BentBodies, ThePiecesOfABentPathsBodyFindEveryHitOfTheWhole) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> unit(-1.0, 1.0), zeroOne(0.0, 1.0);
    const float reach = 400.0f;
    int hits = 0;
    for (int k = 0; k < 60; ++k) {
        rtObjSphere<1> sphere;
        sphere.radius = float(0.3 + zeroOne(rng));
        sphere.center =
            Vec4f(float(30 * unit(rng)), float(30 * unit(rng)), float(30 * unit(rng)), 0);
        const Vec4f v = randomVelocity(rng, 0.1, 0.95);
        sphere.setVelocity(v);
        sphere.update();
        const Vec4f eye(0.0f, 0.0f, 0.0f, float(20 * unit(rng)));
        MovingPrimitive body(&sphere, sphere.motion());
        ASSERT_TRUE(body.prepare(eye, true, reach)) << k;
        ASSERT_GT(body.pieceCount(), MovingPrimitive::kMaxPieces) << k;
        std::vector<MovingPiece> pieces(size_t(body.pieceCount()));
        for (int i = 0; i < body.pieceCount(); ++i) pieces[size_t(i)].place(&body, i);
        for (int r = 0; r < 100; ++r) {
            // A piece of a path that starts after `travelled`, at that much before the eye's time.
            const double travelled = (reach - 100.0) * zeroOne(rng);
            Vec4f o(float(40 * unit(rng)), float(40 * unit(rng)), float(40 * unit(rng)),
                    float(eye.w - travelled));
            // Where the centre was when light meeting this ray's origin left it, roughly.
            Vec4f target = sphere.center + v * o.w;
            for (int i = 0; i < 4; ++i) {
                Vec4f d = target - o;
                d.w = 0.0f;
                target = sphere.center + v * (o.w - std::sqrt(dot3(d, d)));
            }
            SingleRay ray = rayTowards(o, target + inside(rng, sphere.radius));
            const Vec4f d = ray.dir;
            float t = kNoDistance;
            body.intersect1(ray, t);
            // Paths are followed no further than reach from the eye.
            if (!(t < kNoDistance) || travelled + t > reach) continue;
            ++hits;
            // As a leaf hands it: the interval of a cell about the hit.
            const float lo = std::max(0.0f, t - 2.0f * sphere.radius),
                        hi = t + 2.0f * sphere.radius;
            float best = kNoDistance;
            for (const MovingPiece& piece : pieces) {
                SingleRay again = rayFrom(o, d);
                again.tMin = lo;
                again.tMax = hi;
                float tp = kNoDistance;
                piece.intersect1(again, tp);
                best = std::min(best, tp);
            }
            EXPECT_EQ(best, t) << "body " << k << ", ray " << r;
        }
    }
    EXPECT_GT(hits, 1500);
}

// Spheres seen along pieces of bent paths, from events anywhere before the eye's time: the
// placed body reports the nearest root of its own equation of motion inside the ray's interval,
// up to the scene's hit (tLimit), and nothing else. The roots are worked out here in double
// precision, in the scene frame:
// - a sphere with velocity v, with light travel time: the event (w - s, o + s d) is on it when
//   z = o + s d - c(w - s), its place against the centre then, uncontracted along v
//   (z + (gamma - 1)(z.u)u, u = v / |v|), has length r;
// - a moving sphere met by its own test (in the snapshot, or faster than light): the event
//   (w + s, o + s d) is on it when |o + s d - c(w + s)| = r, while it exists.
// The rays are aimed near where each sphere is when they can meet it, and their intervals and
// limits are drawn at random about the root: a test that leaves rays out before the body's own
// one must lose no hit, and no hit beyond the limit may count.
TEST(BentBodies, SpheresOnBentPathsAreMetAtTheNearestRootOfTheirMotion) {
    struct Case {
        const char* name;
        bool ownTest;
        bool lightTravelTime;
        double speedLo, speedHi;
    };
    const Case cases[] = {{"a sphere with a velocity, light travel time", false, true, 0.1, 0.95},
                          {"a moving sphere in the snapshot", true, false, 0.1, 0.95},
                          {"a moving sphere faster than light", true, true, 1.05, 2.0}};
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> unit(-1.0, 1.0), zeroOne(0.0, 1.0);
    const float reach = 300.0f;
    for (const Case& c : cases) {
        int hits = 0, checked = 0;
        for (int k = 0; k < 80; ++k) {
            const Vec4f v = randomVelocity(rng, c.speedLo, c.speedHi);
            const double speed = std::sqrt(double(dot3(v, v)));
            const double radius = 0.3 + zeroOne(rng);
            const Vec4f centre(float(30 * unit(rng)), float(30 * unit(rng)), float(30 * unit(rng)),
                               0.0f);
            const Vec4f eye(0.0f, 0.0f, 0.0f, float(10 * unit(rng)));
            rtObjSphere<1> withVelocity;
            rtObjSphere<0> moving;
            rtObjBase* object = &withVelocity;
            double tmin = -1e30, tmax = 1e30;
            if (c.ownTest) {
                moving.center = centre;
                moving.mov = v;
                moving.radius = float(radius);
                tmin = moving.tmin = float(eye.w - reach - 50.0 * zeroOne(rng));
                tmax = moving.tmax = float(eye.w + reach * zeroOne(rng));
                moving.update();
                object = &moving;
            } else {
                withVelocity.center = centre;
                withVelocity.radius = float(radius);
                withVelocity.setVelocity(v);
                withVelocity.update();
            }
            // The centre at scene time t: the sphere with a velocity is at centre at time 0.
            const auto centreAt = [&](double t) {
                const double from = c.ownTest ? tmin : 0.0;
                return std::array<double, 3>{centre.x + v.x * (t - from),
                                             centre.y + v.y * (t - from),
                                             centre.z + v.z * (t - from)};
            };
            const double sign = c.ownTest ? 1.0 : -1.0;  // event time w + sign s
            const double gamma = c.ownTest ? 1.0 : 1.0 / std::sqrt(1.0 - speed * speed);
            MovingPrimitive body(object, object->motion());
            ASSERT_TRUE(body.prepare(eye, c.lightTravelTime, reach)) << c.name << " " << k;
            ASSERT_EQ(body.usesOwnTest(), c.ownTest) << c.name;

            for (int r = 0; r < 200; ++r) {
                // The event where the ray is to meet the sphere first: a distance `meet` from
                // the ray's origin, which lies on a path `travelled` from the eye (its time goes
                // back with light travel time, forward in the snapshot).
                const double travelled = (reach - 100.0) * zeroOne(rng);
                const double meet = 1.0 + 80.0 * zeroOne(rng);
                const double w = eye.w + (c.lightTravelTime ? -travelled : travelled);
                const std::array<double, 3> at = centreAt(w + sign * meet);
                Vec4f d(float(unit(rng)), float(unit(rng)), float(unit(rng)), 0.0f);
                d = d * float(1.0 / std::sqrt(dot3(d, d)));
                const Vec4f aim = Vec4f(float(at[0]), float(at[1]), float(at[2]), 0.0f) +
                                  inside(rng, float(2.5 * radius));
                const Vec4f o = aim - d * float(meet) + Vec4f(0.0f, 0.0f, 0.0f, float(w));
                const SingleRay start = rayTowards(o, aim);
                // The quadratic |a + b s|^2 = r^2 of the sheared, uncontracted place.
                const std::array<double, 3> c0 = centreAt(o.w);
                double a[3], b[3];
                for (int i = 0; i < 3; ++i) {
                    a[i] = double(o[i]) - c0[i];
                    b[i] = double(d[i]) - sign * double(v[i]);
                }
                if (gamma > 1.0) {
                    const double u[3] = {v.x / speed, v.y / speed, v.z / speed};
                    const double au = a[0] * u[0] + a[1] * u[1] + a[2] * u[2];
                    const double bu = b[0] * u[0] + b[1] * u[1] + b[2] * u[2];
                    for (int i = 0; i < 3; ++i) {
                        a[i] += (gamma - 1.0) * au * u[i];
                        b[i] += (gamma - 1.0) * bu * u[i];
                    }
                }
                const double A = b[0] * b[0] + b[1] * b[1] + b[2] * b[2];
                const double B = 2.0 * (a[0] * b[0] + a[1] * b[1] + a[2] * b[2]);
                const double C = a[0] * a[0] + a[1] * a[1] + a[2] * a[2] - radius * radius;
                const double disc = B * B - 4.0 * A * C;
                // Rays that graze the rim decide on rounding: left out. The tests work in floats on
                // places and times of magnitude M (the moving sphere's from its time tmin), which
                // blurs the rim by about M^2 times the float epsilon.
                const double M = std::max({std::fabs(o.x), std::fabs(o.y), std::fabs(o.z)}) +
                                 std::fabs(w) + 40.0 + (c.ownTest ? std::fabs(tmin) * speed : 0.0);
                const double rim = 1e-3 * radius * radius + 1e-6 * M * M;
                if (std::fabs(disc) < 4.0 * A * rim) continue;
                std::vector<double> roots;
                if (disc > 0.0)
                    for (const double q : {-1.0, 1.0}) {
                        const double s = (-B + q * std::sqrt(disc)) / (2.0 * A);
                        const double when = o.w + sign * s;
                        if (s > 0.0 && when > tmin && when < tmax) roots.push_back(s);
                    }

                SingleRay ray = start;
                const double first = roots.empty() ? 20.0 : roots.front();
                ray.tMin = float(first * 0.8 * zeroOne(rng));
                ray.tMax = float(first * (0.5 + 1.5 * zeroOne(rng)));
                ray.tLimit = r % 3 == 0 ? float(first * (0.5 + zeroOne(rng))) : kNoDistance;
                const double end = std::min(double(ray.tMax), double(ray.tLimit));
                double expected = -1.0;
                bool clear = true;  // no root or interval end within rounding of another
                for (const double s : roots) {
                    const double room = 1e-3 * (1.0 + s + std::fabs(w));
                    if (std::fabs(s - ray.tMin) < room || std::fabs(s - end) < room) clear = false;
                    if (expected < 0.0 && s > ray.tMin && s < end) expected = s;
                }
                if (!clear) continue;
                float t = kNoDistance;
                body.intersect1(ray, t);
                ++checked;
                if (expected < 0.0) {
                    EXPECT_FALSE(t < kNoDistance)
                        << c.name << ", body " << k << ", ray " << r << ": a hit at " << t;
                    continue;
                }
                ++hits;
                // The tests run in floats on times and places some hundreds across.
                const double room = 1e-3 * (1.0 + expected) + 2.0 * std::sqrt(1e-6 * M * M / A);
                EXPECT_NEAR(t, expected, room) << c.name << ", body " << k << ", ray " << r;
            }
        }
        EXPECT_GT(hits, 300) << c.name;
        EXPECT_GT(checked, 1500) << c.name;
    }
}

// Along bent paths a body first moves each ray back along its motion and tests it against its
// box at one time, and boosts only the rays that pass. That test must never refuse a ray the
// boosted test would have met: the same body placed for straight rays (which skips it) gives
// the same hits, float for float. The rays come from events up to hundreds of units and times
// away, aim at the body's rim where its test decides on rounding, and end just before or
// after the hit, where the room for the root's rounding along the ray decides.
TEST(BentBodies, TheMovedBackTestRefusesOnlyRaysTheBodyMisses) {
    struct Case {
        const char* name;
        bool cube;
        double speed;
    };
    const Case cases[] = {{"a sphere at 0.3c", false, 0.3},
                          {"a sphere at 0.9c", false, 0.9},
                          {"a sphere at 0.99c", false, 0.99},
                          {"a cube at 0.6c", true, 0.6},
                          {"a cube at 0.95c", true, 0.95}};
    std::mt19937 rng(23);
    std::uniform_real_distribution<double> unit(-1.0, 1.0), zeroOne(0.0, 1.0);
    const float reach = 600.0f;
    for (const Case& c : cases) {
        int met = 0, rays = 0;
        for (int k = 0; k < 24; ++k) {
            const Vec4f v = randomVelocity(rng, c.speed, c.speed);
            const float size = float(0.2 + zeroOne(rng));
            const Vec4f place(float(40 * unit(rng)), float(40 * unit(rng)), float(40 * unit(rng)),
                              0.0f);
            const Vec4f eye(0.0f, 0.0f, 0.0f, float(20 * unit(rng)));
            rtObjSphere<1> sphere;
            rtObjCube cube;
            rtObjBase* primitive = &sphere;
            if (c.cube) {
                cube.pos = place;
                cube.x = Vec4f(size, 0, 0, 0);
                cube.y = Vec4f(0, size * 0.7f, 0, 0);
                cube.z = Vec4f(0, 0, size * 1.3f, 0);
                cube.setVelocity(v);
                std::vector<rtObjBase*> parts;
                cube.collectPrimitives(parts);
                ASSERT_EQ(parts.size(), 1u);
                primitive = parts[0];
            } else {
                sphere.center = place;
                sphere.radius = size;
                sphere.setVelocity(v);
                sphere.update();
            }
            const BodyMotion motion = c.cube ? cube.motion() : sphere.motion();
            MovingPrimitive bent(primitive, motion), straight(primitive, motion);
            ASSERT_TRUE(bent.prepare(eye, true, reach)) << c.name;
            ASSERT_TRUE(straight.prepare(eye, true)) << c.name;

            for (int r = 0; r < 400; ++r) {
                // An event `travelled` back along a path, a distance `meet` before the ray
                // passes the body's place at the time its light left: the body is at place +
                // v t at scene time t.
                const double travelled = (reach - 50.0) * zeroOne(rng);
                const double meet = r % 2 ? 300.0 * zeroOne(rng) : 5.0 * zeroOne(rng);
                const double w = eye.w - travelled;
                const double when = w - meet;
                const Vec4f at = place + v * float(when) + Vec4f(0.5f, 0.5f, 0.5f, 0.0f) * size;
                // Aimed at the rim: one size out from the centre across the line of sight,
                // give or take a thousandth.
                Vec4f d(float(unit(rng)), float(unit(rng)), float(unit(rng)), 0.0f);
                d = d * float(1.0 / std::sqrt(dot3(d, d)));
                Vec4f across(float(unit(rng)), float(unit(rng)), float(unit(rng)), 0.0f);
                across = across - d * dot3(across, d);
                across = across * float(1.0 / std::sqrt(dot3(across, across)));
                const float off = r % 4 == 0 ? float(zeroOne(rng))
                                             : float(1.0 + 1e-3 * unit(rng)) * (0.5f + 0.4f * size);
                const Vec4f aim = at + across * (off * size);
                const Vec4f o = aim - d * float(meet) + Vec4f(0.0f, 0.0f, 0.0f, float(w));
                SingleRay ray = rayTowards(o, aim);
                ray.variant = 1;
                // Intervals that end anywhere about the hit, down to a hair before or after it.
                const double end =
                    meet * (r % 3 == 0 ? 1.0 + 1e-4 * unit(rng) : 2.0 * zeroOne(rng));
                ray.tMin = float(meet * 0.9 * zeroOne(rng));
                ray.tMax = float(std::max(end, double(ray.tMin)));
                ray.tLimit = kNoDistance;

                SingleRay a = ray, b = ray;
                float ta = kNoDistance, tb = kNoDistance;
                bent.intersect1Alt(a, ta);
                straight.intersect1Alt(b, tb);
                ++rays;
                met += tb < kNoDistance;
                ASSERT_EQ(ta, tb) << c.name << ", body " << k << ", ray " << r;

                // The same ray on four lanes from origins a little apart.
                alignas(16) RayBundle4 bundle{};
                for (int l = 0; l < 4; ++l) {
                    Vec4f lo =
                        o + Vec4f(float(unit(rng)), float(unit(rng)), float(unit(rng)), 0.0f) *
                                (1e-3f * size);
                    lo.w = o.w - 1e-3f * float(l);
                    bundle.origin[l] = lo;
                    for (int q = 0; q < 4; ++q) {
                        bundle.originSoA[q][l] = lo[q];
                        bundle.dir[q][l] = ray.dir[q];
                        bundle.invDir[q][l] = ray.invDir[q];
                    }
                }
                bundle.tMin = Vec4f(ray.tMin);
                bundle.tMax = Vec4f(ray.tMax);
                bundle.tHit = Vec4f(kNoDistance);
                bundle.variant = 1;
                alignas(16) RayBundle4 fa = bundle, fb = bundle;
                const int ma = movemask(bent.intersect4Alt(fa));
                const int mb = movemask(straight.intersect4Alt(fb));
                ASSERT_EQ(ma, mb) << c.name << ", body " << k << ", bundle " << r;
                for (int l = 0; l < 4; ++l)
                    if ((mb >> l) & 1) {
                        ASSERT_EQ(fa.tHit[l], fb.tHit[l]) << c.name << ", lane " << l;
                    }
            }
        }
        // Most rays that aim at the rim meet the body or miss it by rounding alone.
        EXPECT_GT(met, rays / 8) << c.name;
    }
}

// A placement for bent paths holds its bodies over a window of times on a grid, so that later
// frames keep it while the observer's clock runs. The window must hold every time the frame's
// paths reach back to, be at most a 16th longer than that, and change seldom: at most once for
// every 64th of the reach the clock runs on.
TEST(BentBodies, TheHeldWindowHoldsTheFrameAndChangesSeldom) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> exponent(-3.0, 5.0), start(-2e4, 2e4);
    for (int k = 0; k < 200; ++k) {
        const float reach = float(std::pow(10.0, exponent(rng)));
        double t = start(rng);
        MovingPlacement::HeldWindow last{};
        int changes = 0;
        constexpr int kFrames = 4000;
        for (int f = 0; f < kFrames; ++f, t += double(reach) / 1000.0) {
            const MovingPlacement::HeldWindow w = MovingPlacement::heldWindow(t, reach);
            ASSERT_GE(w.until, t) << k;
            ASSERT_LE(w.until - double(w.reach), t - double(reach)) << k;
            ASSERT_LE(double(w.reach), double(reach) * (1.0 + 1.0 / 16.0) * (1.0 + 1e-6)) << k;
            if (f == 0 || w.until != last.until || w.reach != last.reach) ++changes;
            last = w;
        }
        EXPECT_LE(changes, kFrames / 1000 * 64 + 1) << "reach " << reach;
    }
}

// The trees by time hold each piece where its test can report a hit, not only where its body's
// exact box lies: a body's boosted test finds a ray's grazing root to within sqrt(2 eps) of the
// ray origin's distance, and light that left long ago comes from far away. Rays from 1,500 units
// off, late in the scene's time, graze the rim of bodies at 0.6c to 0.9c: each hit point must lie
// in the box that the trees hold the piece of its time in.
TEST(BentBodies, ThePiecesBoxesInTheTreesHoldTheHitsAtTheRims) {
    std::mt19937 rng(17);
    std::uniform_real_distribution<double> unit(-1.0, 1.0), zeroOne(0.0, 1.0);
    const float reach = 4000.0f;
    int hits = 0;
    for (int k = 0; k < 40; ++k) {
        rtObjSphere<1> sphere;
        sphere.radius = float(0.5 + zeroOne(rng));
        sphere.center = Vec4f(float(50 * unit(rng)), float(50 * unit(rng)), 0.0f, 0.0f);
        const Vec4f v = randomVelocity(rng, 0.6, 0.9);
        sphere.setVelocity(v);
        sphere.update();
        const Vec4f eye(0.0f, 0.0f, 0.0f, float(9000 + 1000 * zeroOne(rng)));
        MovingPrimitive body(&sphere, sphere.motion());
        ASSERT_TRUE(body.prepare(eye, true, reach)) << k;
        std::vector<MovingPiece> pieces(size_t(body.pieceCount()));
        for (int i = 0; i < body.pieceCount(); ++i) pieces[size_t(i)].place(&body, i);
        for (int r = 0; r < 200; ++r) {
            // Light that left 1,500 to 2,500 units before the eye's time, from where the body was.
            const double age = 1500.0 + 1000.0 * zeroOne(rng);
            const Vec4f centre = sphere.center + v * float(eye.w - age);
            Vec4f across(float(unit(rng)), float(unit(rng)), float(unit(rng)), 0.0f);
            const Vec4f o = centre - across * (1500.0f / std::sqrt(dot3(across, across)));
            Vec4f origin = o;
            origin.w = float(eye.w - age + 1500.0);
            // Aimed a hair inside the rim, where the body is when this light meets it.
            Vec4f d = centre - o;
            d.w = 0.0f;
            Vec4f side(float(unit(rng)), float(unit(rng)), float(unit(rng)), 0.0f);
            side = side - d * (dot3(side, d) / dot3(d, d));
            side = side *
                   float(sphere.radius * (1.0 - 1e-3 * zeroOne(rng)) / std::sqrt(dot3(side, side)));
            SingleRay ray = rayTowards(origin, centre + side);
            float t = kNoDistance;
            body.intersect1(ray, t);
            if (!(t < kNoDistance)) continue;
            ++hits;
            const double when = double(origin.w) - double(t);
            const Vec4f p = ray.origin + ray.dir * t;
            bool held = false;
            for (const MovingPiece& piece : pieces) {
                if (!(when >= piece.timeFrom() && when <= piece.timeTo())) continue;
                const BoundingBox b = piece.boundingBox();
                held = held || (p.x >= b.min.x && p.x <= b.max.x && p.y >= b.min.y &&
                                p.y <= b.max.y && p.z >= b.min.z && p.z <= b.max.z);
            }
            EXPECT_TRUE(held) << "body " << k << ", ray " << r;
        }
    }
    EXPECT_GT(hits, 2000);
}
