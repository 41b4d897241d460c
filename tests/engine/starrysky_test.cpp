// The starry sky in rendered pictures: stars where aberration and the hole's photon orbits put
// them, the colour of a black body at T / D, and starlight only where rays hit nothing.
#include "engine/starrysky.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cmath>
#include <string>
#include <vector>

#include "engine/docrt.h"
#include "engine/framecontext.h"
#include "engine/timert.h"
#include "scene/colblackbody.h"
#include "scene/rendersettings.h"
#include "scene/spectrumtable.h"
#include "scene/starcatalogue.h"
#include "tests/accel/photonorbitoracle.h"
#include "tests/engine/doctesthelpers.h"

using namespace doctest;

namespace {

constexpr int kW = 64, kH = 48;
constexpr double kDeg = M_PI / 180.0;

// An empty scene seen from (0, 0, -30) along +z, up +y, a hole of r_s 1 at the origin.
const char* const kEmptyScene =
    "<tavolinfile><renderSettings><start>0;0;-30;0</start><lookat>0;0;1;0</lookat>"
    "<dirx>1;0;0;0</dirx><diry>0;1;0;0</diry><bhpos>0;0;0;0</bhpos><bhradius>1</bhradius>"
    "</renderSettings></tavolinfile>";

struct Picture {
    std::vector<uint32_t> pixels;
    uint32_t background = 0;
};

struct Renderer {
    explicit Renderer(const char* sceneText) { load(doc, writeFile(dir, "s.tavolin", sceneText)); }
    RenderSettings& settings() { return *doc.getSettings(); }
    Picture render(const StarCatalogue* catalogue, int w = kW, int h = kH, int level = 1) {
        TimeRT engine;
        if (catalogue) engine.starrySky().setCatalogue(catalogue);
        return {trace(doc, settings(), w, h, &engine, level), settings().backgroundPixel()};
    }
    QTemporaryDir dir;
    DocRT doc;
};

// Light above the background: summed excess, its centroid (pixels), the brightest channel.
struct Light {
    double total = 0, u = 0, v = 0;
    int brightest = 0;
};

Light measure(const Picture& p, int w = kW) {
    Light l;
    for (size_t i = 0; i < p.pixels.size(); ++i) {
        double excess = 0;
        for (int s = 0; s < 24; s += 8) {
            const int c = int((p.pixels[i] >> s) & 0xff), b = int((p.background >> s) & 0xff);
            excess += c - b;
            l.brightest = std::max(l.brightest, c);
        }
        l.total += excess;
        l.u += excess * double(i % size_t(w));
        l.v += excess * double(i / size_t(w));
    }
    if (l.total > 0) {
        l.u /= l.total;
        l.v /= l.total;
    }
    return l;
}

StarCatalogue oneStar(double x, double y, double z, float magnitude, float kelvin = 6600.0f) {
    StarCatalogue c;
    const double n = std::sqrt(x * x + y * y + z * z);
    Star s;
    s.x = float(x / n);
    s.y = float(y / n);
    s.z = float(z / n);
    s.magnitude = magnitude;
    s.kelvin = kelvin;
    c.stars.push_back(s);
    return c;
}

// Planck's law as lines every 2 nm from 2 nm to 40 um: a layout of its own.
ColDiscrete planckLines(double kelvin) {
    ColDiscrete c(QStringLiteral("reference"));
    for (double nm = 2.0; nm <= 40000.0; nm += 2.0)
        c.addLine(float(nm), float(ColBlackbody::planck(nm, kelvin)));
    return c;
}

// Column of image-plane x in a kW-wide picture whose longer side spans -500..500.
double columnOf(double x) { return (x + 500.0) * kW / 1000.0; }

}  // namespace

// A star at scene angle theta from the motion appears at cos theta' = (cos theta + beta) /
// (1 + beta cos theta), at image-plane x = 1000 tan theta', with D = gamma (1 - beta cos theta').
TEST(StarrySky, StarsSitWhereAberrationPutsThemWithTheTextbookDopplerFactor) {
    Renderer r(kEmptyScene);
    for (const auto& [b, thetaDeg] :
         {std::pair{0.0, 10.0}, {0.5, 35.0}, {0.9, 70.0}, {0.99, 100.0}, {-0.5, 8.0}}) {
        const double th = thetaDeg * kDeg;
        const double thp = std::acos((std::cos(th) + b) / (1.0 + b * std::cos(th)));
        const StarCatalogue cat = oneStar(std::sin(th), 0.0, std::cos(th), 6.0f);
        r.settings().speed = float(b);
        r.settings().starrySky = true;
        r.settings().srtDoppler = false;  // only the place is measured
        const Light l = measure(r.render(&cat));
        ASSERT_GT(l.total, 20.0) << thetaDeg;
        ASSERT_LT(l.brightest, 255) << thetaDeg;
        EXPECT_NEAR(l.u, columnOf(1000.0 * std::tan(thp)), 0.08) << b << " " << thetaDeg;
        EXPECT_NEAR(l.v, kH / 2.0, 0.08) << b << " " << thetaDeg;
        // 4 x 4 samples: the same light; a reduced pixel is the samples' mean 3/8 pixel on.
        const Light aa = measure(r.render(&cat, kW, kH, 16));
        EXPECT_NEAR(aa.total, l.total, 0.05 * l.total + 12.0) << thetaDeg;
        EXPECT_NEAR(aa.u, l.u - 0.375, 0.1) << thetaDeg;
        FrameContext frame;
        frame.settings = r.settings();
        frame.settings.srtDoppler = true;
        frame.gamma = float(1.0 / std::sqrt(1.0 - b * b));
        RenderSettings::aspectFactors(kW, kH, frame.sx, frame.sy);
        frame.x0 = -500.0f * frame.sx;
        frame.dx = 1000.0f / kW * frame.sx;
        const float dir[3] = {cat.stars[0].x, cat.stars[0].y, cat.stars[0].z};
        float u = 0, v = 0, d = 0;
        ASSERT_TRUE(StarrySky::project(frame, kH, dir, u, v, d));
        EXPECT_NEAR(d, (1.0 - b * std::cos(thp)) / std::sqrt(1.0 - b * b), 1e-5) << b;
    }
    r.settings().speed = 0.0f;
}

// A black body at T seen at factor D looks like one at T / D (channel ratios against Planck's
// law, through two eyes); the searchlight scales it by (1/D)^k.
TEST(StarrySky, DopplerColourIsABlackBodyAtTemperatureOverD) {
    for (const Eye& base : {cieHumanEye(), defaultEye()}) {
        StarrySky sky;
        Eye eye = base;
        eye.updateLightKey();
        sky.prepareColours(eye);
        Eye beaming = base;
        beaming.beamingExponent = 3;
        beaming.updateLightKey();
        StarrySky beamed;
        beamed.prepareColours(beaming);
        for (const int cls : {4, 16}) {
            const double t = StarrySky::classKelvin(cls);
            for (const double d : {0.3, 1.0, 4.0}) {
                float star[3], ref[3], hot[3];
                sky.colour(cls, float(d), star);
                SpectrumTable::direct(planckLines(t / d), eye, 1.0f, ref);
                for (int ch : {0, 2}) {
                    EXPECT_NEAR(star[ch] / star[1], ref[ch] / ref[1],
                                0.02 * std::fabs(ref[ch] / ref[1]) + 1e-3)
                        << int(base.kind) << " T " << t << " D " << d << " ch " << ch;
                }
                beamed.colour(cls, float(d), hot);
                for (int ch = 0; ch < 3; ++ch)
                    EXPECT_NEAR(hot[ch], star[ch] * std::pow(1.0 / d, 3), 0.02 * hot[ch] + 1e-4);
            }
        }
    }
}

// Stars change only pixels that show the background, bent or straight; an empty catalogue none.
TEST(StarrySky, OnlyPixelsThatHitNothingChange) {
    const StarCatalogue empty, stars = StarCatalogue::generate(20000, 7u);
    Renderer r(kEmptyScene);
    load(r.doc, dataFile("spheres8.tavolin"));
    for (const bool bending : {false, true}) {
        r.settings().lightBending = bending;
        r.settings().starrySky = true;
        const Picture none = r.render(&empty), on = r.render(&stars);
        int changed = 0, background = 0;
        for (size_t i = 0; i < on.pixels.size(); ++i) {
            background += none.pixels[i] == none.background;
            if (on.pixels[i] == none.pixels[i]) continue;
            ++changed;
            EXPECT_EQ(none.pixels[i], none.background) << "pixel " << i;
        }
        EXPECT_GT(changed, 10) << bending;
        EXPECT_LT(changed, background) << bending;
    }
}

// A star 8 degrees beside the hole seen from 30 r_s: two images at the angles a of the photon
// orbits that leave towards it (psi(a) = +-8 degrees), brightness ratio sin a / (sin psi dpsi/da).
TEST(StarrySky, ABlackHoleShowsTwoImagesWherePhotonOrbitsPutThem) {
    constexpr int w = 128, h = 96;
    const double rObs = 30.0, rs = 1.0, psiS = 8.0 * kDeg;
    Renderer r(kEmptyScene);
    r.settings().lightBending = true;
    r.settings().starrySky = true;
    r.settings().setBackground(0, 0, 0, 255);  // as black as the shadow: only starlight counts
    const StarCatalogue cat = oneStar(std::sin(psiS), 0.0, std::cos(psiS), 5.5f);
    const Picture p = r.render(&cat, w, h);
    const double ac = std::asin(1.5 * std::sqrt(3.0) * rs / rObs * std::sqrt(1.0 - rs / rObs));
    double expectedU[2], mu[2];
    for (int k = 0; k < 2; ++k) {
        const double a = oracle::solveAngle(k == 0 ? psiS : -psiS, ac, M_PI, rObs, rs);
        const double da = 1e-5;
        const double slope = (oracle::orbitEscapeAngle(a + da, rObs, rs) -
                              oracle::orbitEscapeAngle(a - da, rObs, rs)) /
                             (2 * da);
        mu[k] = std::sin(a) / (std::sin(psiS) * slope);
        const double x = (k == 0 ? 1.0 : -1.0) * 1000.0 * std::tan(a);
        expectedU[k] = (x + 500.0) * w / 1000.0;
    }
    Light side[2];
    for (int k = 0; k < 2; ++k) {
        Picture half = p;
        for (size_t i = 0; i < half.pixels.size(); ++i)
            if ((int(i % w) >= w / 2) != (k == 0)) half.pixels[i] = half.background;
        side[k] = measure(half, w);
        ASSERT_LT(side[k].brightest, 255) << k;
        ASSERT_GT(side[k].total, 30.0) << k;
        EXPECT_NEAR(side[k].u, expectedU[k], 0.15) << k;
        EXPECT_NEAR(side[k].v, h / 2.0, 0.15) << k;
    }
    EXPECT_NEAR(side[1].total / side[0].total, mu[1] / mu[0], 0.1 * mu[1] / mu[0]);
}

// The Milky Way's glow falls off with galactic latitude b as exp(-b^2 / (2 sigma^2)); behind a
// hole b0 above the galactic centre, a pixel at angle a up or down from the hole sees latitude
// b0 +- psi(a) (the photon orbit's escape angle). No band: the background stays.
TEST(StarrySky, TheMilkyWayIsABandThatTheHoleLensesAlongThePhotonOrbits) {
    constexpr int w = 128, h = 128;
    const double rObs = 30.0, rs = 1.0, sigma = StarrySky::kMilkyWayWidthDeg * kDeg;
    float d[2][3];
    StarCatalogue::equatorialToScene(StarrySky::kGalacticCentreDec, StarrySky::kGalacticCentreRa,
                                     d[0][0], d[0][1], d[0][2]);
    StarCatalogue::equatorialToScene(StarrySky::kGalacticPoleDec, StarrySky::kGalacticPoleRa,
                                     d[1][0], d[1][1], d[1][2]);
    const Vec4f centre(d[0][0], d[0][1], d[0][2], 0.0f), pole(d[1][0], d[1][1], d[1][2], 0.0f);
    Renderer r(kEmptyScene);
    RenderSettings& s = r.settings();
    auto lookAt = [&](double b) {  // at latitude b on the galactic centre's meridian, pole up
        const float c = float(std::cos(b)), n = float(std::sin(b));
        const Vec4f ahead = centre * c + pole * n, up = pole * c - centre * n;
        s.start = ahead * float(-rObs);
        s.start.w = 0.0f;
        s.lookat = ahead;
        s.dirx = cross3(up, ahead);
        s.diry = up;
        return s.normalizeObserver();
    };
    s.starrySky = true;
    s.exposureStops = 3.0f;  // the band's peak near 200 levels
    s.setBackground(0, 0, 0, 255);
    StarCatalogue band;
    band.milkyWay = true;
    auto glowAt = [&](const Picture& p, int row) {
        const uint32_t px = p.pixels[size_t(row) * w + size_t(w / 2)];
        return double((px & 0xff) + ((px >> 8) & 0xff) + ((px >> 16) & 0xff));
    };
    ASSERT_TRUE(lookAt(0.0));
    const Picture straight = r.render(&band, w, h);
    const double peak = glowAt(straight, h / 2);
    ASSERT_GT(peak, 150.0);
    ASSERT_LT(peak, 3 * 255.0);
    // Facing the galactic centre, pole up, pixel (r, c) sees the latitude and longitude of
    // (h - r, c) and (r, w - c) with their signs changed: the band is mirror-symmetric both ways.
    for (int r = 1; r < h; ++r)
        for (int c = 1; c < w; ++c) {
            const uint32_t px = straight.pixels[size_t(r) * w + size_t(c)];
            ASSERT_LE(channelDifference(px, straight.pixels[size_t(h - r) * w + size_t(c)]), 2)
                << r << " " << c;
            ASSERT_LE(channelDifference(px, straight.pixels[size_t(r) * w + size_t(w - c)]), 2)
                << r << " " << c;
        }
    const double b8 = std::atan(8 * 1000.0 / h / 1000.0);  // 8 rows off the band's middle
    EXPECT_NEAR(glowAt(straight, h / 2 + 8) / peak, std::exp(-b8 * b8 / (2 * sigma * sigma)), 0.03);
    ASSERT_TRUE(lookAt(4.0 * kDeg));
    s.lightBending = true;
    const Picture lensed = r.render(&band, w, h);
    double brightest = 0.0, faintest = 1.0;
    // Rows from just outside the shadow to the edge; rows after the middle look up.
    for (const int row : {16, 24, 32, 40, 48, 56}) {
        const double a = std::atan(row * 1000.0 / h / 1000.0);
        const double psi = oracle::orbitEscapeAngle(a, rObs, rs);
        ASSERT_FALSE(std::isnan(psi)) << row;
        for (const int side : {1, -1}) {
            const double b = 4.0 * kDeg + side * psi;
            const double want = std::exp(-b * b / (2 * sigma * sigma));
            brightest = std::max(brightest, want);
            faintest = std::min(faintest, want);
            EXPECT_NEAR(glowAt(lensed, h / 2 + side * row) / peak, want, 0.02) << row * side;
        }
    }
    // The rows span the profile: a wrong direction cannot pass by being dark everywhere.
    EXPECT_GT(brightest, 0.5);
    EXPECT_LT(faintest, 0.1);
    const StarCatalogue none;
    const Picture dark = r.render(&none, w, h);
    for (uint32_t px : dark.pixels) ASSERT_EQ(px, dark.background);
}

// Starlight falling into the hole's well arrives at an observer at rest at r blue-shifted by
// 1 / sqrt(1 - r_s / r): with the gravitational shift on, a cool star seen from 3 r_s (looking
// away from the hole) is clearly bluer than without it, and the same star seen from 300 r_s
// (a factor of 1.0017) keeps its colour.
TEST(StarrySky, StarlightFallingIntoTheWellArrivesBlueShifted) {
    Renderer r(kEmptyScene);
    RenderSettings& s = r.settings();
    s.lookat = Vec4f(0, 0, -1, 0);
    s.dirx = Vec4f(-1, 0, 0, 0);
    s.diry = Vec4f(0, 1, 0, 0);
    s.lightBending = true;
    s.starrySky = true;
    s.setBackground(0, 0, 0, 255);
    const StarCatalogue cat = oneStar(0.05, 0.03, -1.0, 6.0f, 3500.0f);
    // Blue over red, summed over the picture (a pixel's bytes are red, green, blue, alpha).
    const auto blueOverRed = [](const Picture& p) {
        double blue = 0, red = 0;
        for (const uint32_t px : p.pixels) {
            red += double(px & 0xff);
            blue += double((px >> 16) & 0xff);
        }
        return blue / red;
    };
    double shift[2];
    for (int k = 0; k < 2; ++k) {
        const double rObs = k == 0 ? 3.0 : 300.0;
        s.start = Vec4f(0, 0, float(-rObs), 0);
        s.grtDoppler = false;
        const Picture plain = r.render(&cat);
        s.grtDoppler = true;
        const Picture shifted = r.render(&cat);
        ASSERT_GT(measure(plain).total, 20.0) << rObs;
        ASSERT_LT(measure(shifted).brightest, 255) << rObs;
        shift[k] = blueOverRed(shifted) / blueOverRed(plain);
    }
    EXPECT_GT(shift[0], 1.2);  // T 3500 K seen as 4290 K
    EXPECT_NEAR(shift[1], 1.0, 0.01);
    s.grtDoppler = false;
}
