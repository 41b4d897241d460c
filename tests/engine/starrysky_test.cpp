// The starry sky in rendered pictures: stars where the textbook's aberration puts them, the
// colour of a black body at T / D, no flicker as the view turns, pictures untouched by a sky
// that is off or empty, and starlight only where rays hit nothing.
#include "engine/starrysky.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cmath>
#include <string>
#include <vector>

#include "engine/docrt.h"
#include "engine/framecontext.h"
#include "engine/threadbase.h"
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

class Renderer {
public:
    explicit Renderer(const QString& path) { load(doc, path); }
    explicit Renderer(const char* sceneText) { load(doc, writeFile(dir, "s.tavolin", sceneText)); }
    RenderSettings& settings() { return *doc.getSettings(); }
    DocRT& document() { return doc; }

    // level: the antialiasing level; the picture is reduced to w x h.
    Picture render(const StarCatalogue* catalogue, int w = kW, int h = kH, int level = 1) {
        TimeRT engine;
        if (catalogue) engine.starrySky().setCatalogue(catalogue);
        return {trace(doc, settings(), w, h, &engine, level), settings().backgroundPixel()};
    }

private:
    QTemporaryDir dir;
    DocRT doc;
};

// Light above the background: the channels' excess summed, its centroid in pixel units, and
// the brightest channel seen.
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

// Planck's law at a temperature as equally spaced lines every 2 nm from 2 nm to 40 um: a
// layout of its own, against the sky's logarithmic one.
ColDiscrete planckLines(double kelvin) {
    ColDiscrete c(QStringLiteral("reference"));
    for (double nm = 2.0; nm <= 40000.0; nm += 2.0)
        c.addLine(float(nm), float(ColBlackbody::planck(nm, kelvin)));
    return c;
}

// The scene direction of a point of the sky in equatorial coordinates (degrees, hours).
Vec4f skyDirection(double dec, double ra) {
    float d[3];
    StarCatalogue::equatorialToScene(dec, ra, d[0], d[1], d[2]);
    return Vec4f(d[0], d[1], d[2], 0.0f);
}

// A pixel's three channels summed.
double channelSum(uint32_t px) {
    return double((px & 0xff) + ((px >> 8) & 0xff) + ((px >> 16) & 0xff));
}

// Column of image-plane x in a kW-wide picture whose longer side spans -500..500.
double columnOf(double x) { return (x + 500.0) * kW / 1000.0; }

}  // namespace

// A star at angle theta from the direction of motion (scene frame) appears at the observer's
// angle theta' with cos theta' = (cos theta + beta) / (1 + beta cos theta), i.e. at image-plane
// x = 1000 tan theta', and its light arrives with the wavelength factor D = gamma (1 - beta
// cos theta') (the observer-frame form of the Doppler factor). Pictures measure the centroid.
TEST(StarrySky, StarsSitWhereAberrationPutsThemWithTheTextbookDopplerFactor) {
    struct Case {
        double beta, thetaDeg;
    };
    const Case cases[] = {{0.0, 0.0},  {0.0, 10.0}, {0.0, 20.0},   {0.5, 15.0}, {0.5, 35.0},
                          {0.9, 40.0}, {0.9, 70.0}, {0.99, 100.0}, {-0.5, 8.0}};
    Renderer r(kEmptyScene);
    for (const Case& c : cases) {
        const double th = c.thetaDeg * kDeg, b = c.beta;
        const double thp = std::acos((std::cos(th) + b) / (1.0 + b * std::cos(th)));
        const StarCatalogue cat = oneStar(std::sin(th), 0.0, std::cos(th), 6.0f);
        r.settings().speed = float(b);
        r.settings().starrySky = true;
        r.settings().srtDoppler = false;  // the star's colour stays: only its place is measured
        const Light l = measure(r.render(&cat));
        ASSERT_GT(l.total, 20.0) << c.thetaDeg;
        ASSERT_LT(l.brightest, 255) << "saturated: " << c.thetaDeg << " total " << l.total;
        EXPECT_NEAR(l.u, columnOf(1000.0 * std::tan(thp)), 0.08) << b << " " << c.thetaDeg;
        EXPECT_NEAR(l.v, kH / 2.0, 0.08) << b << " " << c.thetaDeg;

        // The camera's inverse reports the Doppler factor of that direction.
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

// A black body at T seen with every wavelength times D looks like a black body at T / D: the
// star's channel ratios at D against those of Planck's law at T / D at rest, through the CIE
// eye and a three-curve eye that reaches from 100 to 1500 nm; the searchlight scales them by
// (1/D)^k.
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
        for (const int cls : {4, 10, 16, 20}) {
            const double t = StarrySky::classKelvin(cls);
            for (const double d : {0.1, 0.3, 0.55, 1.0, 1.6, 4.0}) {
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

// Turning the view by a tenth of a pixel at a time moves a star's light smoothly: its total
// stays within the 8-bit truncation of its four pixels, and its centroid follows the star's
// direction in the turned view (x = 1000 tan of its angle) step by step.
TEST(StarrySky, AStarNeitherFlickersNorJumpsAsTheViewTurns) {
    Renderer r(kEmptyScene);
    const double phi0 = 6.0 * kDeg;
    const StarCatalogue cat = oneStar(std::sin(phi0), 0.05, std::cos(phi0), 5.0f);
    r.settings().starrySky = true;
    const double pixelAngle = std::atan(1000.0 / kW / 1000.0);
    double firstTotal = 0, lastU = 0;
    for (int step = 0; step <= 30; ++step) {
        const double phi = step * 0.1 * pixelAngle;
        r.settings().lookat = Vec4f(float(std::sin(phi)), 0, float(std::cos(phi)), 0);
        r.settings().dirx = Vec4f(float(std::cos(phi)), 0, float(-std::sin(phi)), 0);
        const Light l = measure(r.render(&cat));
        ASSERT_LT(l.brightest, 255);
        if (step == 0) firstTotal = l.total;
        // Four lit pixels, each of whose three bytes truncates up to one level.
        EXPECT_NEAR(l.total, firstTotal, 12.0) << step;
        const double a = cat.stars[0].x, c = cat.stars[0].z;
        const double along = a * std::cos(phi) - c * std::sin(phi);
        const double fwd = a * std::sin(phi) + c * std::cos(phi);
        EXPECT_NEAR(l.u, columnOf(1000.0 * along / fwd), 0.08) << step;
        if (step > 0) {
            EXPECT_NEAR(lastU - l.u, 0.1, 0.06) << step;
        }
        lastU = l.u;
    }
}

// With the sky off the picture is what it always was; with an empty catalogue the sky changes
// nothing either (the marked background is restored exactly); with the stars on only pixels
// that showed the background change, with or without light bending (the hole stays black,
// bodies keep their colours), and with antialiasing a star keeps its total light.
TEST(StarrySky, OnlyPixelsThatHitNothingChange) {
    const StarCatalogue empty;
    const StarCatalogue stars = StarCatalogue::generate(20000, 7u);
    Renderer r(dataFile("spheres8.tavolin"));
    for (const bool bending : {false, true}) {
        for (const int packet : {1, 2, 4}) {
            r.settings().lightBending = bending;
            r.settings().maxBundleSize = packet;
            r.settings().setBackground(0, 40, 90, 255);  // not the settings' default
            r.settings().starrySky = false;
            const Picture off = r.render(nullptr);
            r.settings().starrySky = true;
            const Picture none = r.render(&empty);
            EXPECT_EQ(none.pixels, off.pixels) << bending << " " << packet;
            const Picture on = r.render(&stars);
            int changed = 0, background = 0;
            for (size_t i = 0; i < on.pixels.size(); ++i) {
                if (off.pixels[i] == off.background) ++background;
                if (on.pixels[i] == off.pixels[i]) continue;
                ++changed;
                EXPECT_EQ(off.pixels[i], off.background) << "pixel " << i;
            }
            EXPECT_GT(changed, 10) << bending << " " << packet;
            EXPECT_LT(changed, background) << bending << " " << packet;
            r.settings().starrySky = false;
            EXPECT_EQ(r.render(nullptr).pixels, off.pixels);
        }
    }
}

// With antialiasing a point source is spread over a pixel's k x k samples, so the reduced
// picture shows the same total light, at the same place, as one without antialiasing.
TEST(StarrySky, AntialiasingKeepsAStarsLight) {
    Renderer r(kEmptyScene);
    r.settings().starrySky = true;
    const StarCatalogue cat = oneStar(0.1, 0.07, 1.0, 5.0f);
    const Light plain = measure(r.render(&cat));
    ASSERT_LT(plain.brightest, 255);
    for (const int level : {4, 16}) {
        const Light l = measure(r.render(&cat, kW, kH, level));
        // A reduced pixel is the mean of samples k - 1 / (2k) of a pixel further on.
        const int k = PixelBuffer::factorForLevel(level);
        const double shift = (k - 1) / (2.0 * k);
        // Each reduced byte is a truncated mean: up to one level lost per channel and pixel.
        EXPECT_NEAR(l.total, plain.total, 0.05 * plain.total + 12.0) << level;
        EXPECT_NEAR(l.u, plain.u - shift, 0.1) << level;
        EXPECT_NEAR(l.v, plain.v - shift, 0.1) << level;
    }
}

// A star 8 degrees beside the hole, seen from 30 r_s with light bending on, shows two images:
// the direct one farther out on its side and the secondary one on the other side of the
// shadow, at the angles a of the photon orbits that leave towards it (psi(a) = +-8 degrees,
// integrated here), that is at image-plane x = +-1000 tan a, with the brightness ratio of
// their magnifications sin a / (sin psi dpsi/da).
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
    // The two halves of the picture, measured apart.
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

// The Milky Way seen edge-on towards the galactic centre, up along the galactic pole: the glow
// above the background along the picture's middle column falls off with galactic latitude b as
// exp(-b^2 / (2 sigma^2)) (b = atan(y / 1000) on the column), the same on both sides, and a
// catalogue without the band leaves the background as it was.
// The render workers place the stars in shares while others trace bands, which wait for the
// last share to draw their sky: frames drawn by a pool of four are the ones drawn by a pool of
// one (which places every share before it traces a band), byte for byte. A band whose sky was
// never drawn keeps the marker; a share placed twice or not at all moves the light.
TEST(StarrySky, APoolOfWorkersDrawsTheSkyOfOneWorker) {
    const StarCatalogue stars = StarCatalogue::generate(20000, 11u);
    Renderer r(dataFile("spheres8.tavolin"));
    RenderSettings& s = r.settings();
    s.starrySky = true;
    s.maxBundleSize = 1;  // bands of single rows: many of them end before the stars are placed
    const auto draw = [&](ThreadBase& pool, TimeRT& engine) {
        PixelBuffer buffer;
        EXPECT_TRUE(buffer.setSize(160, 120, 1));
        engine.raytracePic(&s, r.document().getSceneData(), r.document().getTree(), &buffer);
        pool.startRendering(true);
        return std::vector<uint32_t>(buffer.data(), buffer.data() + buffer.pixelCount());
    };
    TimeRT one, four;
    for (TimeRT* engine : {&one, &four}) engine->starrySky().setCatalogue(&stars);
    ThreadBase poolOfOne(1), poolOfFour(4);
    poolOfOne.addTasks(&one);
    poolOfFour.addTasks(&four);
    for (const bool bending : {false, true}) {
        s.lightBending = bending;
        const std::vector<uint32_t> alone = draw(poolOfOne, one);
        int marked = 0;
        for (uint32_t px : alone) marked += (px >> 24) == 0;
        EXPECT_EQ(marked, 0);
        for (int frame = 0; frame < 4; ++frame)
            ASSERT_EQ(draw(poolOfFour, four), alone)
                << "bending " << bending << ", frame " << frame;
    }
    poolOfOne.removeTasks(&one, false);
    poolOfFour.removeTasks(&four, false);
}

TEST(StarrySky, TheMilkyWayIsASmoothBandAlongTheGalacticPlane) {
    constexpr int w = 128, h = 128;
    const Vec4f centre = skyDirection(StarrySky::kGalacticCentreDec, StarrySky::kGalacticCentreRa);
    const Vec4f up = skyDirection(StarrySky::kGalacticPoleDec, StarrySky::kGalacticPoleRa);
    const Vec4f across = cross3(up, centre);
    Renderer r(kEmptyScene);
    RenderSettings& s = r.settings();
    s.lookat = centre;
    s.starrySky = true;
    s.exposureStops = 3.0f;  // the band's peak near 200 levels: the profile well above rounding
    s.setBackground(0, 0, 0, 255);
    StarCatalogue band;
    band.milkyWay = true;
    const double sigma = StarrySky::kMilkyWayWidthDeg * kDeg;
    // The band across the picture (the profile down the middle column) and along it (the
    // profile along the middle row), sampled on the band's 8-pixel grid and between its points.
    for (const bool vertical : {false, true}) {
        s.dirx = vertical ? up : across;
        s.diry = vertical ? cross3(centre, up) : up;
        ASSERT_TRUE(s.normalizeObserver());
        const Picture p = r.render(&band, w, h);
        auto glow = [&](int offset) {
            const int row = vertical ? h / 2 : h / 2 + offset;
            const int col = vertical ? w / 2 + offset : w / 2;
            return channelSum(p.pixels[size_t(row) * w + size_t(col)]);
        };
        const double peak = glow(0);
        ASSERT_GT(peak, 150.0) << vertical;
        ASSERT_LT(peak, 3 * 255.0) << vertical;
        for (const int d : {8, 12, 16, 20, 24}) {
            // Offset d from the middle lies at image-plane d 1000 / 128 (a square picture).
            const double b = std::atan(d * 1000.0 / h / 1000.0);
            const double want = std::exp(-b * b / (2 * sigma * sigma));
            for (const int sign : {1, -1})
                EXPECT_NEAR(glow(sign * d) / peak, want, 0.03) << vertical << " " << d * sign;
        }
    }
    const StarCatalogue none;
    const Picture dark = r.render(&none, w, h);
    for (uint32_t px : dark.pixels) ASSERT_EQ(px, dark.background);
}

// The Milky Way behind the hole: the observer looks at the hole, which lies b0 above the
// galactic centre, with the galactic pole up. A pixel at angle a from the hole, up or down the
// middle column, sees the sky in direction psi(a) (the photon orbit's escape angle, integrated
// here on its own) from the hole on its side: galactic latitude b0 + psi(a) above the hole, b0 -
// psi(a) below it. Its glow follows exp(-b^2 / (2 sigma^2)) on the scale of the unlensed band's
// peak, where without the hole it would fall off with a.
TEST(StarrySky, TheHoleLensesTheMilkyWayAlongThePhotonOrbits) {
    constexpr int w = 128, h = 128;
    const double rObs = 30.0, rs = 1.0, sigma = StarrySky::kMilkyWayWidthDeg * kDeg;
    const double b0 = 4.0 * kDeg;
    const Vec4f centre = skyDirection(StarrySky::kGalacticCentreDec, StarrySky::kGalacticCentreRa);
    const Vec4f pole = skyDirection(StarrySky::kGalacticPoleDec, StarrySky::kGalacticPoleRa);
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
    s.exposureStops = 3.0f;
    s.setBackground(0, 0, 0, 255);
    StarCatalogue band;
    band.milkyWay = true;
    auto glowAt = [&](const Picture& p, int row) {
        return channelSum(p.pixels[size_t(row) * w + size_t(w / 2)]);
    };
    ASSERT_TRUE(lookAt(0.0));
    const double peak = glowAt(r.render(&band, w, h), h / 2);  // straight light: latitude 0
    ASSERT_GT(peak, 150.0);

    ASSERT_TRUE(lookAt(b0));
    s.lightBending = true;
    const Picture lensed = r.render(&band, w, h);
    double brightest = 0.0, faintest = 1.0;
    // Rows on the band's grid, from just outside the shadow (4.9 degrees) to the picture's edge;
    // the buffer's rows run along diry, so rows after the middle look up, towards the pole.
    for (const int d : {16, 24, 32, 40, 48, 56}) {
        const double a = std::atan(d * 1000.0 / h / 1000.0);
        const double psi = oracle::orbitEscapeAngle(a, rObs, rs);
        ASSERT_FALSE(std::isnan(psi)) << d;
        for (const int side : {1, -1}) {
            const double b = b0 + side * psi;
            const double want = std::exp(-b * b / (2 * sigma * sigma));
            brightest = std::max(brightest, want);
            faintest = std::min(faintest, want);
            EXPECT_NEAR(glowAt(lensed, h / 2 + side * d) / peak, want, 0.02)
                << "offset " << d << (side > 0 ? " up" : " down") << ", a " << a / kDeg
                << " deg, psi " << psi / kDeg;
        }
    }
    // The rows span the band's profile: a wrong direction cannot pass by being dark everywhere.
    EXPECT_GT(brightest, 0.5);
    EXPECT_LT(faintest, 0.1);
}
