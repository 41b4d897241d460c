// The relativistic camera against the aberration formula cos(theta) = (cos(theta') - beta) /
// (1 - beta cos(theta')) and the Doppler factor 1 / (gamma (1 + beta cos(theta))) (theta in the
// scene frame from the direction of motion, theta' in the observer's). The packet generators are
// held to the single rays here; the pictures they make, to each other in the packet-agreement
// tests.
#include "engine/camera.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "engine/pixelbuffer.h"
#include "geometry/vec16f.h"

namespace {

// A frame context for a W x H picture of an observer at the origin with an arbitrary orthonormal
// basis, as the engine prepares it.
struct CameraFixture {
    FrameContext frame;
    PixelBuffer buffer;
    CameraFixture(int W, int H, float beta, bool aberration, bool doppler) {
        if (buffer.setSize(W, H, 1)) frame.buffer = &buffer;
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

// Every packet generator against the single-ray direction and Doppler factor, in every mode of
// the camera (aberration and Doppler each on and off), over whole rows of a picture: the packets
// are what a ray of one pixel sees, only many at a time. The 4 x 4 generator's 16-lane twin must
// give the 4-lane code's rays bit for bit, and four 2 x 2 packets made at once those of the 2 x 2
// generator.
TEST(Camera, EveryPacketGeneratorGivesTheSingleRaysDirectionsAndDopplerFactors) {
    constexpr int W = 22, H = 12;  // not a multiple of 4: the last columns stay to the caller
    for (const bool aberration : {true, false})
        for (const bool doppler : {true, false})
            for (const float beta : {-0.8f, 0.0f, 0.6f, 0.95f}) {
                CameraFixture c(W, H, beta, aberration, doppler);
                ASSERT_NE(c.frame.buffer, nullptr);
                const RenderSettings& s = c.frame.settings;
                const std::string where = std::string("aberration ") + (aberration ? "on" : "off") +
                                          ", Doppler " + (doppler ? "on" : "off") + ", beta " +
                                          std::to_string(beta);
                for (const int row : {0, 4, 8}) {
                    // The band as the engine hands it out (TimeRT::nextBand).
                    RowBand band;
                    band.frame = &c.frame;
                    band.row = row;
                    band.rows = 4;
                    band.endRow = row + 4;
                    for (int i = 0; i < 4; ++i) {
                        band.ys[i] =
                            float((1000.0 / H * double(row + i) - 500.0) * double(c.frame.sy));
                        band.yvec[i] = s.diry * band.ys[i];
                        band.xs[i] = float(double(c.frame.x0) + double(c.frame.dx) * i);
                    }
                    // The single ray of pixel (col, row + g).
                    const auto expect = [&](int col, int g, const Vec4f& dir, float D,
                                            const char* generator) {
                        const float x = float(double(c.frame.x0) + double(c.frame.dx) * col);
                        Vec4f d;
                        float dop;
                        Camera::primaryDirection(c.frame, x, band.ys[g], band.yvec[g], d, dop);
                        for (int a = 0; a < 3; ++a)
                            EXPECT_NEAR(dir[a], d[a], 2e-6f)
                                << generator << " " << where << " pixel " << col << "," << row + g;
                        EXPECT_NEAR(D, dop, 2e-6f * dop)
                            << generator << " " << where << " pixel " << col << "," << row + g;
                        if (!doppler) {
                            EXPECT_EQ(D, 1.0f) << generator << " " << where;
                        }
                    };

                    RowBand b1 = band;
                    SingleRay ray;
                    ray.origin = s.start;
                    int columns = 0;
                    while (Camera::generate1(b1, ray))
                        expect(columns++, 0, ray.dir, ray.doppler, "1");
                    EXPECT_EQ(columns, W) << where;

                    RayBundle4 b4{};
                    for (int l = 0; l < 4; ++l) b4.origin[l] = s.start;
                    for (int a = 0; a < 4; ++a) b4.originSoA[a] = Vec4f(s.start[a]);
                    // Each pixel's 2 x 2 ray of the band's first two rows: x, y, z, Doppler
                    // factor, tMin, tMax, live.
                    std::vector<std::array<float, 7>> quadRays(size_t(2 * W));
                    for (const int offset : {0, 2}) {
                        RowBand b2 = band;
                        columns = 0;
                        while (Camera::generate4(b2, b4, offset)) {
                            for (int l = 0; l < 4; ++l) {
                                const Vec4f dir(b4.dir[0][l], b4.dir[1][l], b4.dir[2][l], 1.0f);
                                expect(columns + (l & 1), offset + (l >> 1), dir, b4.doppler[l],
                                       "2x2");
                                if (offset == 0)
                                    quadRays[size_t((l >> 1) * W + columns + (l & 1))] = {
                                        dir.x,
                                        dir.y,
                                        dir.z,
                                        b4.doppler[l],
                                        b4.tMin[l],
                                        b4.tMax[l],
                                        float((movemask(b4.live) >> l) & 1)};
                            }
                            columns += 2;
                        }
                        EXPECT_EQ(columns, W) << where;
                    }

                    // Four 2 x 2 packets at once: each pixel's ray bit for bit, on either
                    // kernel; the band moves on as four packets would have moved it.
                    for (const bool wideAllowed : {true, false}) {
                        wideKernelsAllowed() = wideAllowed;
                        RowBand bq = band;
                        RayBundle16 b{};
                        for (int l = 0; l < 16; ++l) b.origin[l] = s.start;
                        columns = 0;
                        while (Camera::generateQuads16(bq, b)) {
                            for (int g = 0; g < 4; ++g)
                                for (int l = 0; l < 4; ++l) {
                                    const int col = columns + 4 * (g & 1) + l, r = g >> 1;
                                    const std::array<float, 7> ray = {
                                        b.dir[g].x[l],
                                        b.dir[g].y[l],
                                        b.dir[g].z[l],
                                        b.doppler[g][l],
                                        b.tMin[g][l],
                                        b.tMax[g][l],
                                        float((movemask(b.live[g]) >> l) & 1)};
                                    EXPECT_EQ(ray, quadRays[size_t(r * W + col)])
                                        << where << " pixel " << col << "," << row + r;
                                    EXPECT_EQ(b.out[g] + l,
                                              c.frame.buffer->data() + size_t(row + r) * W + col);
                                }
                            columns += 8;
                        }
                        wideKernelsAllowed() = true;
                        EXPECT_EQ(columns, W / 8 * 8) << where;
                        EXPECT_EQ(bq.col, columns) << where;
                        RowBand b2 = band;
                        for (int k = 0; k < columns / 2; ++k) Camera::generate4(b2, b4);
                        for (int i = 0; i < 4; ++i) EXPECT_EQ(bq.xs[i], b2.xs[i]) << where;
                    }

                    // The 16-lane kernel first, where the processor has one, then the portable
                    // one, which must give the same rays bit for bit.
                    std::vector<RayBundle16> wide;
                    for (const bool wideAllowed : {true, false}) {
                        wideKernelsAllowed() = wideAllowed;
                        RowBand b16 = band;
                        RayBundle16 b{};
                        for (int l = 0; l < 16; ++l) b.origin[l] = s.start;
                        for (int g = 0; g < 4; ++g)
                            for (int a = 0; a < 4; ++a) b.originSoA[g][a] = Vec4f(s.start[a]);
                        columns = 0;
                        while (Camera::generate16(b16, b)) {
                            for (int g = 0; g < 4; ++g)
                                for (int l = 0; l < 4; ++l) {
                                    const Vec4f dir(b.dir[g].x[l], b.dir[g].y[l], b.dir[g].z[l],
                                                    1.0f);
                                    expect(columns + l, g, dir, b.doppler[g][l], "4x4");
                                }
                            if (wideAllowed) {
                                wide.push_back(b);
                            } else {
                                const RayBundle16& w = wide[size_t(columns / 4)];
                                for (int g = 0; g < 4; ++g) {
                                    EXPECT_TRUE(all(b.dir[g].x == w.dir[g].x)) << where;
                                    EXPECT_TRUE(all(b.dir[g].y == w.dir[g].y)) << where;
                                    EXPECT_TRUE(all(b.dir[g].z == w.dir[g].z)) << where;
                                    EXPECT_TRUE(all(b.doppler[g] == w.doppler[g])) << where;
                                    EXPECT_TRUE(all(b.tMax[g] == w.tMax[g])) << where;
                                }
                            }
                            columns += 4;
                        }
                        wideKernelsAllowed() = true;
                        EXPECT_EQ(columns, W / 4 * 4) << where;
                    }
                }
            }
}

// The finest angle between neighbouring pixels' rays, found on a 9 x 9 grid, against every pixel
// of the picture and its right and upper neighbour through the single-ray directions: wide and
// tall pictures (where the image plane's y is scaled), forwards, backwards and with aberration
// off.
TEST(Camera, TheFinestSampleAngleIsTheSmallestBetweenAnyTwoNeighbouringPixels) {
    const auto angleBetween = [](const Vec4f& a, const Vec4f& b) {
        const Vec4f c = cross3(a, b);
        return std::atan2(std::sqrt(double(dot3(c, c))), double(dot3(a, b)));
    };
    for (const auto& [W, H] : {std::pair{48, 27}, std::pair{27, 48}, std::pair{40, 40}})
        for (const bool aberration : {true, false})
            for (const float beta : {-0.9f, 0.0f, 0.7f, 0.97f}) {
                CameraFixture c(W, H, beta, aberration, true);
                ASSERT_NE(c.frame.buffer, nullptr);
                const RenderSettings& s = c.frame.settings;
                const auto ray = [&](int col, int row) {
                    const float x = float(double(c.frame.x0) + double(c.frame.dx) * col);
                    const float y = float((1000.0 / H * double(row) - 500.0) * double(c.frame.sy));
                    Vec4f d;
                    float D;
                    Camera::primaryDirection(c.frame, x, y, s.diry * y, d, D);
                    return d;
                };
                double brute = M_PI;
                for (int row = 0; row + 1 < H; ++row)
                    for (int col = 0; col + 1 < W; ++col) {
                        const Vec4f here = ray(col, row);
                        brute = std::min({brute, angleBetween(here, ray(col + 1, row)),
                                          angleBetween(here, ray(col, row + 1))});
                    }
                // The grid also looks one step past the last row and column, where the angles
                // keep shrinking or growing as they do inside; single-precision directions are
                // good to about 1e-7 of a radian.
                EXPECT_NEAR(Camera::finestSampleAngle(c.frame), brute, 0.02 * brute + 1e-6)
                    << W << "x" << H << " beta " << beta << " aberration " << aberration;
            }
}
