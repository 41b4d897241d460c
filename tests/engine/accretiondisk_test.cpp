// The accretion disk against Schwarzschild physics computed here: the gas's frequency ratio, the
// temperature profile, and a ring's direct image from an integrated photon orbit.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <string>

#include "accel/kdtree.h"
#include "accel/lightpathtrace.h"
#include "engine/docrt.h"
#include "scene/rendersettings.h"
#include "scene/rtobjdisk.h"
#include "scene/scenedata.h"
#include "tests/engine/doctesthelpers.h"

namespace {

constexpr uint32_t kBackground = 0xff030201u;  // bytes R 1, G 2, B 3: never a disk's pixel

// g of gas on a circular orbit at r (r_s = 1) for a photon of L / E = lambda, seen from rObs:
// sqrt(1 - 3 / (2 r)) / (1 - Omega lambda) / sqrt(1 - 1 / rObs), Omega = sqrt(1 / (2 r^3)).
double orbitG(double r, double lambda, double rObs) {
    const double omega = std::sqrt(1.0 / (2.0 * r * r * r));
    return std::sqrt(1.0 - 1.5 / r) / (1.0 - omega * lambda) / std::sqrt(1.0 - 1.0 / rObs);
}

// Photon orbit u'' + u = (3/2) u^2 by RK4 from the observer, leaving at the static observer's
// angle alpha from the hole (b = rObs sin(alpha) / sqrt(1 - 1 / rObs)); r at phi = phiEnd.
double radiusAt(double alpha, double rObs, double phiEnd) {
    const double u0 = 1.0 / rObs;
    const double b = rObs * std::sin(alpha) / std::sqrt(1.0 - u0);
    double u = u0, w = std::sqrt(std::fmax(0.0, 1.0 / (b * b) - u0 * u0 * (1.0 - u0)));
    const int steps = 20000;
    const double h = phiEnd / steps;
    const auto acc = [](double x) { return -x + 1.5 * x * x; };
    for (int i = 0; i < steps; ++i) {
        const double k1u = w, k1w = acc(u);
        const double k2u = w + 0.5 * h * k1w, k2w = acc(u + 0.5 * h * k1u);
        const double k3u = w + 0.5 * h * k2w, k3w = acc(u + 0.5 * h * k2u);
        const double k4u = w + h * k3w, k4w = acc(u + h * k3u);
        u += h / 6.0 * (k1u + 2 * k2u + 2 * k3u + k4u);
        w += h / 6.0 * (k1w + 2 * k2w + 2 * k3w + k4w);
        if (u > 1.0) return 0.0;
    }
    return 1.0 / u;
}

// The angle alpha whose photon reaches the disk plane (phi = pi / 2 from the axis) at r.
double directImageAngle(double r, double rObs) {
    double lo = 3.0 / rObs, hi = 3.0 * r / rObs;
    for (int i = 0; i < 60; ++i) {
        const double mid = 0.5 * (lo + hi);
        (radiusAt(mid, rObs, M_PI / 2) < r ? lo : hi) = mid;
    }
    return 0.5 * (lo + hi);
}

// The thin-disk profile's T / T_max at r for inner radius rin, its peak by grid search.
double temperatureRatio(double r, double rin) {
    const auto shape = [](double x) {
        return std::pow(x, 0.75) * std::pow(1.0 - std::sqrt(x), 0.25);
    };
    double peak = 0.0;
    for (int i = 1; i < 200000; ++i) peak = std::fmax(peak, shape(i / 200000.0));
    return shape(rin / r) / peak;
}

// A hole of r_s 1 at the origin, the observer on -z at distance rObs looking at it, the items.
struct HoleWorld {
    QTemporaryDir dir;
    DocRT doc;
    RenderSettings* s = nullptr;
    float rObs;
    HoleWorld(float distance, const std::string& items) : rObs(distance) {
        doctest::TraceOutputOff quiet;
        const std::string text =
            "<tavolinfile><renderSettings><start>0;0;-" + std::to_string(distance) +
            ";0</start><lookat>0;0;1;0</lookat><dirx>1;0;0;0</dirx><diry>0;1;0;0</diry>"
            "<bhpos>0;0;0;0</bhpos><bhradius>1</bhradius></renderSettings>"
            "<newtexturesingle><texname>t</texname><color>default</color></newtexturesingle>" +
            items + "</tavolinfile>";
        EXPECT_TRUE(doc.loadFile(doctest::writeFile(dir, "hole.tavolin", text.c_str())));
        doc.applyPendingChanges();
        s = doc.getSettings();
        s->lightBending = true;
        s->setBackground(1, 2, 3, 255);
        KDTree& tree = *doc.getTree();
        // A table finer than any view asks for: edges are measured beyond pictures' tolerance.
        LightPathParameters& table = tree.blackHole().paths.parameters;
        table.automaticTolerance = false;
        table.toleranceMrad = 0.02f;
        tree.blackHole().prepare(s->start, s->bhpos, s->bhradius);
        tree.blackHole().boundScene(tree.sceneBox());
    }
    // The pixel of the bent ray at angle alpha from the hole, towards +x; kBackground: escaped.
    uint32_t trace(double alpha) {
        const KDTree& tree = *doc.getTree();
        uint32_t pixel = kBackground;
        SingleRay ray{};
        ray.node = *tree.rootNode();
        ray.nodeBase = tree.nodeBase();
        ray.leafBase = tree.leafBase();
        ray.origin = s->start;
        ray.dir = Vec4f(float(std::sin(alpha)), 0.0f, float(std::cos(alpha)), 1.0f);
        ray.invDir = Vec4f(1.0f / ray.dir.x, 1.0f / ray.dir.y, 1.0f / ray.dir.z, 1.0f);
        ray.settings = s;
        ray.doppler = 1.0f;
        ray.variant = 1;
        ray.out = &pixel;
        clipToBox(tree.sceneBox(), ray);
        if (!iterRayPart(ray, tree)) pixel = kBackground;
        return pixel;
    }
    template <class Inner>
    double edge(double lo, double hi, Inner inner) {
        for (int i = 0; i < 40; ++i) {
            const double mid = 0.5 * (lo + hi);
            (inner(trace(mid)) ? lo : hi) = mid;
        }
        return 0.5 * (lo + hi);
    }
};

}  // namespace

// The disk's factor times the gravitational shift against g for lambda = r tan(psi) / sqrt(1 +
// tan^2(psi) (1 - 1/r)), psi from outward radial in the disk plane; upright and tilted disks.
TEST(AccretionDisk, WavelengthFactorMatchesConservedQuantities) {
    const Vec4f upright[3] = {Vec4f(1, 0, 0, 0), Vec4f(0, 1, 0, 0), Vec4f(0, 0, 1, 0)};
    const Vec4f n = Vec4f(0.3f, 0.8f, -0.52f, 0.0f) * (1.0f / std::sqrt(0.09f + 0.64f + 0.2704f));
    Vec4f ex = cross3(n, Vec4f(0.2f, -0.1f, 0.97f, 0.0f));
    ex = ex * (1.0f / std::sqrt(dot3(ex, ex)));
    const Vec4f tilted[3] = {ex, n, cross3(ex, n)};
    BlackHoleFrame hole;
    hole.rs = 1.0f;
    hole.rObs = 1.0e4f;
    const double rs[] = {1.6, 3.0, 100.0};
    const double psis[] = {0.0, 30.0, 90.0, 180.0, -45.0, -90.0};
    for (const Vec4f* axes : {upright, tilted}) {
        rtObjDisk disk;
        disk.normal = axes[1] * (axes == tilted ? 3.0f : 1.0f);  // need not be unit length
        disk.rout = 1000.0f;
        disk.placeAtHole(Vec4f(0, 0, 0, 0), 1.0f);
        for (double r : rs) {
            for (double psiDeg : psis) {
                const double psi = psiDeg * M_PI / 180.0;
                const Vec4f p = axes[0] * float(r);
                const double nx = std::cos(psi), nz = -std::sin(psi);  // psi > 0: with the gas
                const Vec4f towardsDisk = axes[0] * float(-nx) + axes[2] * float(-nz);
                const double t = std::tan(psi);
                const double h = 1.0 - 1.0 / r;
                double lambda = std::fabs(psiDeg) == 90.0
                                    ? r / std::sqrt(h)
                                    : r * std::fabs(t) / std::sqrt(1.0 + t * t * h);
                if (psiDeg < 0) lambda = -lambda;
                const double expected = orbitG(r, lambda, hole.rObs);
                const double f = double(hole.wavelengthFactor(float(r))) *
                                 double(disk.motionFactor(p, towardsDisk, true));
                EXPECT_NEAR(1.0 / f, expected, 2e-5 * expected)
                    << "r " << r << " psi " << psiDeg << (axes == tilted ? ", tilted" : "");
            }
        }
    }
}

// T(r) / T_max against the formula with a brute-force peak, for both kinds of inner edge.
TEST(AccretionDisk, TemperatureFollowsTheThinDiskProfile) {
    struct Case {
        float rin, rs;
    } cases[] = {{0.0f, 1.0f}, {0.0f, 0.25f}, {5.0f, 1.0f}};
    for (const Case& c : cases) {
        rtObjDisk disk;
        disk.rin = c.rin;
        disk.rout = 100.0f;
        disk.placeAtHole(Vec4f(1, 2, 3, 0), c.rs);
        const double inner = c.rin > 0 ? c.rin : 3.0 * c.rs;
        EXPECT_FLOAT_EQ(disk.innerRadius(), float(inner));
        EXPECT_EQ(disk.temperatureRatio(float(inner) * 0.99f), 0.0f);
        for (double k : {1.001, 49.0 / 36.0, 5.0})
            EXPECT_NEAR(disk.temperatureRatio(float(k * inner)), temperatureRatio(k * inner, inner),
                        2e-5)
                << "r / rin " << k;
        EXPECT_NEAR(disk.temperatureRatio(float(49.0 / 36.0 * inner)), 1.0, 1e-5);
        EXPECT_NEAR(disk.orbitSpeed(float(6 * c.rs)), std::sqrt(1.0 / 10.0), 1e-6);
    }
}

// A face-on disk's inner edge (6 r_s) seen from 1000 r_s where the integrated orbit puts it.
TEST(AccretionDisk, DirectImageOfARingMatchesTheIntegratedPhotonOrbit) {
    HoleWorld w(1000.0f, "<newdisk><normal>0;0;1;0</normal><rout>60</rout><rin>6</rin></newdisk>");
    const double expected = directImageAngle(6.0, 1000.0);
    const double found =
        w.edge(0.5 * expected, 2.0 * expected, [](uint32_t p) { return p == kBackground; });
    EXPECT_NEAR(found, expected, 4e-3 * expected);
    const double inner = directImageAngle(5.9, 1000.0), outer = directImageAngle(6.1, 1000.0);
    EXPECT_LT(std::fabs(found - expected), 0.25 * std::fmin(expected - inner, outer - expected));
    EXPECT_GT(found, 0.006 * 1.05);
}
