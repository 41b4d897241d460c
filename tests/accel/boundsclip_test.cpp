// A bounds node's clip of four rays' intervals, against a slab test in double precision that
// handles rays parallel to an axis on its own: inside the box's slab along that axis, the axis
// does not bound the ray; outside it, the ray misses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "accel/kdtraversesteps.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// The box [lo, hi] as a bounds node's six slots, followed by its child (an empty leaf).
struct BoundsNode {
    std::vector<KdNode> nodes;

    BoundsNode(const double lo[3], const double hi[3]) {
        for (int a = 0; a < 3; ++a) nodes.push_back(KdNode::boundSlot(float(lo[a])));
        for (int a = 0; a < 3; ++a) nodes.push_back(KdNode::boundSlot(float(hi[a])));
        nodes.push_back(KdNode::leaf(0, 0));
    }
    const KdNode* child() const { return nodes.data() + KdNode::kBoundsSlots; }
};

// Where the ray o + t d is inside the box: [entry, exit], empty when it misses.
void slab(const double lo[3], const double hi[3], const double o[3], const double d[3],
          double& entry, double& exit) {
    entry = -kInf;
    exit = kInf;
    for (int a = 0; a < 3; ++a) {
        if (d[a] == 0.0) {
            if (o[a] < lo[a] || o[a] > hi[a]) entry = kInf;
            continue;
        }
        const double t1 = (lo[a] - o[a]) / d[a], t2 = (hi[a] - o[a]) / d[a];
        entry = std::max(entry, std::min(t1, t2));
        exit = std::min(exit, std::max(t1, t2));
    }
}

}  // namespace

// Rays through the box, beside it, starting inside it, and parallel to an axis: in the plane of
// a face (0 x inf is NaN), inside the slab, and outside it. A ray the slab test finds in the box
// keeps the part of its interval there, widened by kBoundsEps; a ray that misses gets tMax =
// -inf and a start no later than the end of the interval it came with.
TEST(BoundsClip, ClipsFourRaysAsASlabTestInDoublePrecision) {
    const double lo[3] = {1.0, -2.0, 3.0}, hi[3] = {4.0, 0.5, 3.5};
    const BoundsNode node(lo, hi);
    struct Ray {
        const char* what;
        double o[3], d[3];
    };
    const std::vector<Ray> rays = {
        {"through the box", {-5.0, -1.0, 3.2}, {1.0, 0.0, 0.0}},
        {"through it slanted", {0.0, -3.0, 2.0}, {0.6, 0.5, 0.3}},
        {"beside it", {-5.0, 2.0, 3.2}, {1.0, 0.0, 0.0}},
        {"away from it", {-5.0, -1.0, 3.2}, {-1.0, 0.0, 0.0}},
        {"from inside it", {2.0, -1.0, 3.25}, {0.0, 1.0, 0.0}},
        {"in the plane of its lower x face", {1.0, -5.0, 3.2}, {0.0, 1.0, 0.0}},
        {"in the plane of its upper z face", {2.0, -5.0, 3.5}, {0.0, 1.0, 0.0}},
        {"in the plane of a face, beside it", {1.0, -5.0, 9.0}, {0.0, 1.0, 0.0}},
        {"parallel to x outside its slab", {-5.0, 1.0, 3.2}, {1.0, 0.0, 0.0}},
        {"past a corner", {0.0, -3.0, 3.0}, {1.0, 0.0, 1.0}},
    };
    std::mt19937 rng(4);
    int inside = 0, missed = 0, parallel = 0;
    std::uniform_real_distribution<double> start(0.0, 4.0), length(0.5, 20.0);
    for (size_t first = 0; first < rays.size(); first += 2) {
        for (int trial = 0; trial < 50; ++trial) {
            // Four lanes: the rays from first on, then random ones through the box's space.
            Ray lane[4];
            for (int l = 0; l < 4; ++l) {
                if (first + size_t(l) < rays.size() && trial == 0) {
                    lane[l] = rays[first + size_t(l)];
                    continue;
                }
                std::uniform_real_distribution<double> u(-6.0, 6.0), inBox(0.0, 1.0);
                lane[l] = {"random", {u(rng), u(rng), u(rng)}, {u(rng), u(rng), u(rng)}};
                if (l % 2 == 0)  // aimed at a point of the box
                    for (int a = 0; a < 3; ++a)
                        lane[l].d[a] = lo[a] + (hi[a] - lo[a]) * inBox(rng) - lane[l].o[a];
                if (trial % 3 == 0) lane[l].d[l % 3] = 0.0;  // parallel to an axis
            }
            Vec4f origin[3], invDir[3], tMin, tMax;
            for (int l = 0; l < 4; ++l) {
                const double n =
                    std::sqrt(lane[l].d[0] * lane[l].d[0] + lane[l].d[1] * lane[l].d[1] +
                              lane[l].d[2] * lane[l].d[2]);
                for (int a = 0; a < 3; ++a) {
                    lane[l].d[a] = float(lane[l].d[a] / n);
                    lane[l].o[a] = float(lane[l].o[a]);
                    origin[a][l] = float(lane[l].o[a]);
                    // +0 and -0 as the camera makes them: an infinite inverse of either sign.
                    invDir[a][l] = 1.0f / float(lane[l].d[a]);
                }
                tMin[l] = trial == 0 ? 0.0f : float(start(rng));
                tMax[l] = trial == 0 ? 100.0f : tMin[l] + float(length(rng));
            }
            const Vec4f inMin = tMin, inMax = tMax;
            kdsteps::clipToBounds(node.child(), origin, invDir, tMin, tMax);
            for (int l = 0; l < 4; ++l) {
                SCOPED_TRACE(testing::Message()
                             << lane[l].what << ", lane " << l << ", trial " << trial);
                double entry, exit;
                slab(lo, hi, lane[l].o, lane[l].d, entry, exit);
                const double a = inMin[l], b = inMax[l];
                const double from = std::max(a, entry), to = std::min(b, exit);
                // Misses and hits within rounding of the widening are left out.
                const double slack = 2e-3 * (std::fabs(entry) + std::fabs(exit) + b) + 1e-5;
                parallel += lane[l].d[0] == 0.0 || lane[l].d[1] == 0.0 || lane[l].d[2] == 0.0;
                if (from > to + slack) {
                    ++missed;
                    EXPECT_EQ(tMax[l], -std::numeric_limits<float>::infinity());
                    EXPECT_LE(tMin[l], std::max(a, b));
                } else if (from < to - slack) {
                    ++inside;
                    ASSERT_LE(tMin[l], tMax[l]);
                    EXPECT_NEAR(tMin[l], std::max(a, std::isfinite(entry) ? entry : a), slack);
                    EXPECT_NEAR(tMax[l], std::min(b, std::isfinite(exit) ? exit : b), slack);
                    // Widened, never narrowed: the part in the box is all kept.
                    EXPECT_LE(tMin[l], from + 1e-4 * std::fabs(from));
                    EXPECT_GE(tMax[l], to - 1e-4 * std::fabs(to));
                }
            }
        }
    }
    EXPECT_GT(inside, 100);
    EXPECT_GT(missed, 100);
    EXPECT_GT(parallel, 100);
}

namespace {

// How many of a 16-ray bundle's rays (from its first origin, intervals [0, 100]) the clip to the
// box keeps, ray by ray: the oracle of the bundle's quick test.
int raysKeptByClip(const BoundsNode& node, const RayBundle16& b) {
    const Vec4f origin[3] = {Vec4f(b.origin[0].x), Vec4f(b.origin[0].y), Vec4f(b.origin[0].z)};
    int kept = 0;
    for (int g = 0; g < 4; ++g) {
        const Vec4f invDir[3] = {b.invDir[g].x, b.invDir[g].y, b.invDir[g].z};
        Vec4f tMin(0.0f), tMax(100.0f);
        kdsteps::clipToBounds(node.child(), origin, invDir, tMin, tMax);
        for (int l = 0; l < 4; ++l) kept += tMax[l] != -std::numeric_limits<float>::infinity();
    }
    return kept;
}

}  // namespace

// The quick test of a whole 16-ray bundle against a box (BundleSlabs::missesAll) may only claim
// a miss where the clip, ray by ray, empties every interval; and it must claim most of the
// misses of narrow bundles, which is what it is for. Bundles from one origin: narrow and wide,
// with a component of every ray 0 (an infinite inverse, +0 or -0), and from a face's plane.
TEST(BundleSlabs, ClaimsAMissOnlyWhereTheClipEmptiesEveryRay) {
    std::mt19937 rng(9);
    std::uniform_real_distribution<double> u(-6.0, 6.0), unit(-1.0, 1.0), size(0.1, 3.0);
    const double spreads[] = {0.002, 0.02, 0.2, 3.0};
    int claims = 0, narrowMisses = 0, narrowClaims = 0, zeroAxes = 0, inPlane = 0;
    for (int trial = 0; trial < 4000; ++trial) {
        double lo[3], hi[3], o[3], centre[3];
        for (int a = 0; a < 3; ++a) {
            lo[a] = u(rng);
            hi[a] = lo[a] + size(rng);
            o[a] = float(u(rng));
            centre[a] = unit(rng);
        }
        const double spread = spreads[trial % 4];
        // Every fifth bundle has no motion along an axis; some of them start in a face's plane.
        const int still = trial % 5 == 0 ? int(rng() % 3) : -1;
        if (still >= 0 && trial % 10 == 0) {
            o[still] = float(rng() % 2 ? lo[still] : hi[still]);
            ++inPlane;
        }
        zeroAxes += still >= 0;
        const BoundsNode node(lo, hi);
        RayBundle16 b;
        b.origin[0] = Vec4f(float(o[0]), float(o[1]), float(o[2]), 0.0f);
        for (int g = 0; g < 4; ++g)
            for (int l = 0; l < 4; ++l) {
                float d[3];
                for (int a = 0; a < 3; ++a) d[a] = float(centre[a] + spread * unit(rng));
                if (still >= 0) d[still] = trial % 20 == 0 ? -0.0f : 0.0f;
                b.invDir[g].x[l] = 1.0f / d[0];
                b.invDir[g].y[l] = 1.0f / d[1];
                b.invDir[g].z[l] = 1.0f / d[2];
            }
        const bool claim = kdsteps::BundleSlabs().missesAll(b, node.child());
        const bool allMissed = raysKeptByClip(node, b) == 0;
        if (claim) {
            ++claims;
            EXPECT_TRUE(allMissed) << "trial " << trial << ", spread " << spread;
        }
        if (spread < 0.01 && allMissed) {
            ++narrowMisses;
            narrowClaims += claim;
        }
    }
    EXPECT_GT(claims, 1000);
    EXPECT_GT(inPlane, 100);
    EXPECT_GT(zeroAxes, 500);
    EXPECT_GT(narrowClaims, narrowMisses * 9 / 10);
}

// Sixteen nearly parallel rays past an edge of the unit box, for every ordered pair of axes:
// the rays enter the slab of the first a relative rho after they leave the slab of the second,
// and ray 0 does not move along the third. Within the clip's widening (kBoundsEps, 0.1 % each
// way: up to rho = 1 / kBoundsEps^2 - 1, about 2.0e-3) the clip keeps the rays, and the quick
// test must leave them to it; a little further out both call it a miss. Across that threshold,
// in steps finer than the test's rounding of the widened exit, a claim must come only with the
// clip emptying every ray, and must come a few millionths beyond the threshold.
TEST(BundleSlabs, LeavesRaysGrazingAnyEdgeToTheClip) {
    const double lo[3] = {0.0, 0.0, 0.0}, hi[3] = {1.0, 1.0, 1.0};
    const BoundsNode node(lo, hi);
    const double threshold = 1.0 / (double(kBoundsEps) * double(kBoundsEps)) - 1.0;
    // The bundle along (x + s, z - s) from x = -3 (1 + rho), z = 3, with the axes renamed.
    const auto bundle = [](int enter, int leave, double rho, float tiltStep) {
        const int still = 3 - enter - leave;
        RayBundle16 b;
        b.origin[0][enter] = float(-3.0 * (1.0 + rho));
        b.origin[0][still] = 0.5f;
        b.origin[0][leave] = 3.0f;
        b.origin[0][3] = 0.0f;
        const int axis[3] = {enter, still, leave};
        for (int g = 0; g < 4; ++g) {
            Vec4f* component[3] = {&b.invDir[g].x, &b.invDir[g].y, &b.invDir[g].z};
            for (int l = 0; l < 4; ++l) {
                const float tilt = tiltStep * float(4 * g + l);
                const float inv[3] = {1.0f / (0.70710678f + tilt), 1.0f / tilt,
                                      1.0f / (-0.70710678f + tilt)};
                for (int k = 0; k < 3; ++k) (*component[axis[k]])[l] = inv[k];
            }
        }
        return b;
    };
    for (int enter = 0; enter < 3; ++enter)
        for (int leave = 0; leave < 3; ++leave) {
            if (enter == leave) continue;
            SCOPED_TRACE(testing::Message()
                         << "entering along " << enter << ", leaving along " << leave);
            for (const double rho : {5e-4, 1e-2}) {
                const RayBundle16 b = bundle(enter, leave, rho, 1e-7f);
                const int kept = raysKeptByClip(node, b);
                const bool claim = kdsteps::BundleSlabs().missesAll(b, node.child());
                EXPECT_EQ(kept, rho < threshold ? 16 : 0) << "rho " << rho;
                EXPECT_EQ(claim, rho > threshold) << "rho " << rho;
            }
            // Sixteen equal rays, so that the bundle's extremes are each ray's own.
            for (int step = -100; step <= 100; ++step) {
                const double rho = threshold + 5e-8 * step;
                const RayBundle16 b = bundle(enter, leave, rho, 0.0f);
                const bool claim = kdsteps::BundleSlabs().missesAll(b, node.child());
                if (claim) {
                    EXPECT_EQ(raysKeptByClip(node, b), 0) << "rho " << rho;
                }
                if (step > 60) {
                    EXPECT_TRUE(claim) << "rho " << rho;
                }
            }
        }
}
