// The black hole's images of a star at infinity against photon orbits integrated here: the
// orbit equation u'' = -u + (3/2) r_s u^2 (u = 1/r, ' = d/dphi) from a static observer whose ray
// leaves at angle a from the direction towards the hole.
#include "accel/skylensing.h"

#include <gtest/gtest.h>

#include <cmath>

#include "accel/blackholeframe.h"
#include "accel/lightpathgenerator.h"
#include "tests/accel/photonorbitoracle.h"

namespace {

double angleBetween(const float a[3], const double b[3]) {
    const double c = a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
    return std::acos(std::clamp(c, -1.0, 1.0));
}

}  // namespace

// The observer at 30 r_s on +x of a hole at the origin; stars at several angles psi_s from the
// hole's direction (-x), in the x-y plane on the +y side. The direct image lies on the star's
// side at the orbit's a with psi(a) = psi_s, the secondary one on the far side of the shadow
// with psi(a) = -psi_s; the magnification of each is sin a / (sin psi_s dpsi/da) with the
// orbit's own derivative. The capture angle is the closed form sin a_c = (3 sqrt 3 / 2)
// (r_s / r) sqrt(1 - r_s / r).
TEST(SkyLensing, ImagesOfAStarLieWherePhotonOrbitsLeadAndHaveTheirMagnification) {
    const double rObs = 30.0, rs = 1.0;
    BlackHoleFrame hole;
    hole.prepare(Vec4f(float(rObs), 0, 0, 0), Vec4f(0, 0, 0, 0), float(rs));
    SkyLensing lensing;
    lensing.update(hole.paths);
    ASSERT_TRUE(lensing.valid());

    const double ac = std::asin(1.5 * std::sqrt(3.0) * rs / rObs * std::sqrt(1.0 - rs / rObs));
    EXPECT_NEAR(lensing.captureAngle(), ac, 2e-4);

    const double h[3] = {-1, 0, 0};
    const double side[3] = {0, 1, 0};
    for (const double psiDeg : {2.0, 10.0, 45.0, 120.0, 175.0}) {
        const double psiS = psiDeg * M_PI / 180.0;
        const float star[3] = {float(-std::cos(psiS)), float(std::sin(psiS)), 0.0f};
        SkyLensing::Image images[SkyLensing::kMaxImages];
        const int n = lensing.images(hole, star, images);
        ASSERT_GE(n, 2) << psiDeg;
        const double targets[2] = {psiS, -psiS};
        for (int k = 0; k < 2; ++k) {
            const double a = oracle::solveAngle(targets[k], ac, M_PI, rObs, rs);
            const double da = 1e-5;
            const double slope = (oracle::orbitEscapeAngle(a + da, rObs, rs) -
                                  oracle::orbitEscapeAngle(a - da, rObs, rs)) /
                                 (2 * da);
            const double mu = std::sin(a) / (std::sin(psiS) * slope);
            EXPECT_NEAR(angleBetween(images[k].dir, h), a, 5e-4) << psiDeg << " image " << k;
            // Direct image on the star's side (+y), the secondary one opposite.
            const double y = images[k].dir[0] * side[0] + images[k].dir[1] * side[1];
            EXPECT_GT(k == 0 ? y : -y, 0.0) << psiDeg << " image " << k;
            EXPECT_NEAR(images[k].dir[2], 0.0f, 1e-6f);
            EXPECT_NEAR(images[k].magnification, mu, 0.03 * mu + 1e-4) << psiDeg << " image " << k;
        }
    }
}

// Far from the hole the map is the identity: a star 178 degrees from the hole's direction (almost
// straight away from it) is seen where it is, unmagnified, and psi(a) approaches a.
TEST(SkyLensing, FarFromTheHoleStarsStayWhereTheyAre) {
    BlackHoleFrame hole;
    hole.prepare(Vec4f(0, 0, 1000, 0), Vec4f(0, 0, 0, 0), 1.0f);
    SkyLensing lensing;
    lensing.update(hole.paths);
    ASSERT_TRUE(lensing.valid());
    const double psiS = 178.0 * M_PI / 180.0;
    const float star[3] = {float(std::sin(psiS)), 0.0f, float(-std::cos(psiS))};
    SkyLensing::Image images[SkyLensing::kMaxImages];
    ASSERT_GE(lensing.images(hole, star, images), 1);
    const double s[3] = {star[0], star[1], star[2]};
    EXPECT_LT(angleBetween(images[0].dir, s), 2e-4);
    EXPECT_NEAR(images[0].magnification, 1.0f, 0.01f);
    EXPECT_NEAR(lensing.escapeAngle(2.0), 2.0, 3e-3);
}

// An observer inside the horizon gets a table in which every path falls in: no images at all.
TEST(SkyLensing, NoImagesWhenEveryPathFallsIn) {
    BlackHoleFrame hole;
    hole.prepare(Vec4f(0.5f, 0, 0, 0), Vec4f(0, 0, 0, 0), 1.0f);
    SkyLensing lensing;
    lensing.update(hole.paths);
    EXPECT_FALSE(lensing.valid());
    const float star[3] = {0, 1, 0};
    SkyLensing::Image images[SkyLensing::kMaxImages];
    EXPECT_EQ(lensing.images(hole, star, images), 0);
}
