// Navigation: relativistic acceleration, pause, strafing, rolling and turning, with rotations
// checked against Rodrigues' formula evaluated in double precision.
#include "engine/navigation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

namespace {

struct V3 {
    double x, y, z;
};
V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V3 operator*(double s, V3 a) { return {s * a.x, s * a.y, s * a.z}; }
double dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V3 cross(V3 a, V3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
V3 normalized(V3 a) { return (1.0 / std::sqrt(dot(a, a))) * a; }

// Rodrigues' rotation of v about the unit axis k by angle theta.
V3 rodrigues(V3 v, V3 k, double theta) {
    return std::cos(theta) * v + std::sin(theta) * cross(k, v) +
           (dot(k, v) * (1.0 - std::cos(theta))) * k;
}

V3 axis(const ObserverFrame& f, int row) { return {f.m[row][1], f.m[row][2], f.m[row][3]}; }

void setAxis(ObserverFrame& f, int row, V3 v) {
    f.m[row][1] = static_cast<float>(v.x);
    f.m[row][2] = static_cast<float>(v.y);
    f.m[row][3] = static_cast<float>(v.z);
}

ObserverFrame standardFrame() {
    ObserverFrame f;
    f.m[0][0] = 1.0f;
    setAxis(f, ObserverFrame::Right, {1, 0, 0});
    setAxis(f, ObserverFrame::Up, {0, 1, 0});
    setAxis(f, ObserverFrame::Forward, {0, 0, 1});
    return f;
}

// A randomly oriented orthonormal frame with forward = right x up, at a random position.
ObserverFrame randomFrame(std::mt19937& rng) {
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    const V3 right = normalized({u(rng), u(rng), u(rng)});
    V3 up = {u(rng), u(rng), u(rng)};
    up = normalized(up + (-dot(up, right)) * right);
    ObserverFrame f;
    f.m[0][0] = 1.0f;
    setAxis(f, ObserverFrame::Position, {10 * u(rng), 10 * u(rng), 10 * u(rng)});
    setAxis(f, ObserverFrame::Right, right);
    setAxis(f, ObserverFrame::Up, up);
    setAxis(f, ObserverFrame::Forward, cross(right, up));
    return f;
}

void expectNear(V3 got, V3 want, double tol, const char* what) {
    EXPECT_NEAR(got.x, want.x, tol) << what;
    EXPECT_NEAR(got.y, want.y, tol) << what;
    EXPECT_NEAR(got.z, want.z, tol) << what;
}

bool sameFrame(const ObserverFrame& a, const ObserverFrame& b) {
    return std::memcmp(a.m, b.m, sizeof a.m) == 0;
}

}  // namespace

TEST(Navigation, RotateFrameIsRodriguesAboutTheObserversAxis) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (int trial = 0; trial < 20; ++trial) {
        ObserverFrame f = randomFrame(rng);
        const ObserverFrame before = f;
        const V3 a = normalized({u(rng), u(rng), u(rng)});
        const float theta = static_cast<float>(3.0 * u(rng));
        // The axis is given in the observer's coordinates; in the world it is a_x right + ...
        const V3 world = a.x * axis(before, 1) + a.y * axis(before, 2) + a.z * axis(before, 3);
        rotateFrame(f, static_cast<float>(a.x), static_cast<float>(a.y), static_cast<float>(a.z),
                    theta);
        for (int row = 1; row < 4; ++row)
            expectNear(axis(f, row), rodrigues(axis(before, row), world, theta), 2e-6, "axis");
        EXPECT_EQ(std::memcmp(f.m[0], before.m[0], sizeof f.m[0]), 0) << "position moved";
    }
}

TEST(Navigation, HoldingAComposesVelocitiesRelativistically) {
    Navigation nav;
    ObserverFrame f = standardFrame();
    float speed = 0.0f;
    ASSERT_TRUE(nav.keyPress(Qt::Key_A, speed));
    double travelled = 0.0;
    for (int tick = 1; tick <= 33; ++tick) {
        nav.updatePosRot(30 * tick, f, speed);
        travelled += speed * 0.03;
    }
    // Rapidity adds up: 33 steps of atanh(0.03).
    const double expected = std::tanh(33.0 * std::atanh(0.03));
    EXPECT_NEAR(expected, 0.75749, 5e-6);
    EXPECT_NEAR(speed, expected, 2e-6);
    EXPECT_NEAR(f.m[0][3], travelled, 1e-5);  // forward is +z
    EXPECT_EQ(f.m[0][1], 0.0f);
    EXPECT_EQ(f.m[0][2], 0.0f);

    // Holding on for a minute approaches but never reaches light speed.
    for (int tick = 34; tick <= 2000; ++tick) nav.updatePosRot(30 * tick, f, speed);
    EXPECT_GT(speed, 0.999f);
    EXPECT_LE(speed, 1.0f);
    ASSERT_TRUE(nav.keyRelease(Qt::Key_A));
    const float cruising = speed;
    nav.updatePosRot(30 * 2001, f, speed);
    EXPECT_EQ(speed, cruising);
}

TEST(Navigation, HoldingSBrakesIntoNegativeSpeedAndRStops) {
    Navigation forward, backward;
    ObserverFrame f1 = standardFrame(), f2 = standardFrame();
    float v1 = 0.0f, v2 = 0.0f;
    forward.keyPress(Qt::Key_A, v1);
    backward.keyPress(Qt::Key_S, v2);
    for (int tick = 1; tick <= 20; ++tick) {
        forward.updatePosRot(30 * tick, f1, v1);
        backward.updatePosRot(30 * tick, f2, v2);
        ASSERT_LT(v2, 0.0f);
        ASSERT_EQ(v2, -v1);  // braking mirrors accelerating exactly
    }
    EXPECT_LT(f2.m[0][3], 0.0f);  // moving backwards
    EXPECT_TRUE(backward.keyRelease(Qt::Key_S));
    EXPECT_TRUE(backward.keyPress(Qt::Key_R, v2));
    EXPECT_EQ(v2, 0.0f);
}

TEST(Navigation, VelocityStepIsLimited) {
    Navigation nav;
    ObserverFrame f = standardFrame();
    float speed = 0.0f;
    nav.keyPress(Qt::Key_A, speed);
    nav.updatePosRot(1000, f, speed);  // a 1 s stall would add 1.0
    EXPECT_EQ(speed, 0.7f);
    nav.updatePosRot(3000, f, speed);
    EXPECT_NEAR(speed, (0.7 + 0.7) / (1.0 + 0.7 * 0.7), 1e-6);
    nav.keyPress(Qt::Key_S, speed);
    nav.updatePosRot(5000, f, speed);
    const double before = (0.7 + 0.7) / (1.0 + 0.7 * 0.7);
    EXPECT_NEAR(speed, (before - 0.7) / (1.0 - before * 0.7), 1e-6);
}

TEST(Navigation, PauseStopsOnlyTheForwardMotion) {
    Navigation nav;
    ObserverFrame f = standardFrame();
    float speed = 0.5f;
    nav.updatePosRot(1000, f, speed);
    EXPECT_NEAR(f.m[0][3], 0.5, 1e-6);  // 0.5 units per second forward

    ASSERT_TRUE(nav.keyPress(Qt::Key_P, speed));
    EXPECT_TRUE(nav.isPaused());
    nav.keyPress(Qt::Key_Right, speed);
    nav.updatePosRot(2000, f, speed);
    EXPECT_NEAR(f.m[0][1], 1.0, 1e-6);  // one unit per second sideways
    EXPECT_NEAR(f.m[0][3], 0.5, 1e-6);
    EXPECT_EQ(speed, 0.5f);

    nav.keyRelease(Qt::Key_Right);
    nav.keyPress(Qt::Key_Left, speed);
    nav.keyPress(Qt::Key_Up, speed);
    nav.updatePosRot(2500, f, speed);
    EXPECT_NEAR(f.m[0][1], 0.5, 1e-6);
    EXPECT_NEAR(f.m[0][2], 0.5, 1e-6);
    nav.keyRelease(Qt::Key_Up);
    nav.keyRelease(Qt::Key_Left);
    nav.keyPress(Qt::Key_Down, speed);
    nav.updatePosRot(3500, f, speed);
    EXPECT_NEAR(f.m[0][2], -0.5, 1e-6);
    EXPECT_NEAR(f.m[0][1], 0.5, 1e-6);
    EXPECT_NEAR(f.m[0][3], 0.5, 1e-6);

    nav.keyPress(Qt::Key_P, speed);
    EXPECT_FALSE(nav.isPaused());
    EXPECT_TRUE(nav.keyRelease(Qt::Key_P));  // releasing P changes nothing
    EXPECT_FALSE(nav.isPaused());
}

TEST(Navigation, RollingBackAndForthRestoresTheAxes) {
    std::mt19937 rng(11);
    Navigation nav;
    ObserverFrame f = randomFrame(rng);
    const ObserverFrame start = f;
    float speed = 0.0f;
    nav.keyPress(Qt::Key_K, speed);
    nav.updatePosRot(500, f, speed);
    // K rolls by -dt / 2000 rad about forward.
    const V3 fwd = axis(start, 3);
    expectNear(axis(f, 1), rodrigues(axis(start, 1), fwd, -0.25), 2e-6, "right");
    expectNear(axis(f, 2), rodrigues(axis(start, 2), fwd, -0.25), 2e-6, "up");
    nav.keyRelease(Qt::Key_K);
    nav.keyPress(Qt::Key_L, speed);
    for (int t = 530; t <= 1000; t += 30) nav.updatePosRot(t, f, speed);
    nav.updatePosRot(1000 + 20, f, speed);  // 520 ms of L, 20 ms too long on purpose
    nav.keyRelease(Qt::Key_L);
    expectNear(axis(f, 1), rodrigues(axis(start, 1), fwd, 0.01), 1e-5, "right");
    nav.keyPress(Qt::Key_K, speed);
    nav.updatePosRot(1040, f, speed);
    for (int row = 1; row < 4; ++row) expectNear(axis(f, row), axis(start, row), 1e-5, "restored");
}

TEST(Navigation, CursorRightOfCentreTurnsRightAndBelowTurnsDown) {
    std::mt19937 rng(3);
    for (int trial = 0; trial < 10; ++trial) {
        Navigation nav;
        ObserverFrame f = randomFrame(rng);
        const ObserverFrame start = f;
        float speed = 0.0f;
        // Press at 3/4 of the width, on the vertical centre: yaw only.
        nav.mousePress(Qt::LeftButton, 300.0f, 150.0f, 400.0f, 300.0f, 0, f, speed);
        EXPECT_TRUE(sameFrame(f, start));  // no time has passed yet
        EXPECT_FLOAT_EQ(nav.cursorU(), 0.25f);
        EXPECT_FLOAT_EQ(nav.cursorV(), 0.0f);
        nav.updatePosRot(100, f, speed);
        const double yaw = 0.25 * 0.1;
        const V3 up = axis(start, 2);
        expectNear(axis(f, 3), rodrigues(axis(start, 3), up, yaw), 2e-6, "forward");
        expectNear(axis(f, 1), rodrigues(axis(start, 1), up, yaw), 2e-6, "right");
        EXPECT_GT(dot(axis(f, 3), axis(start, 1)), 0.0);  // forward leans toward old right

        // Moving below the centre and releasing 200 ms later: the release integrates first
        // (yaw about up, then pitch about the turned right axis).
        const ObserverFrame mid = f;
        nav.cursorUpdate(100.0f, 225.0f, 400.0f, 300.0f);  // cursorU -0.25, cursorV 0.25
        nav.mouseRelease(Qt::LeftButton, 100.0f, 225.0f, 400.0f, 300.0f, 300, f, speed);
        EXPECT_FALSE(nav.leftButton());
        const double turn = 0.2;
        const V3 midUp = axis(mid, 2);
        V3 right = rodrigues(axis(mid, 1), midUp, -0.25 * turn);
        V3 forward = rodrigues(axis(mid, 3), midUp, -0.25 * turn);
        V3 newUp = rodrigues(midUp, right, 0.25 * turn);
        forward = rodrigues(forward, right, 0.25 * turn);
        expectNear(axis(f, 1), right, 4e-6, "right");
        expectNear(axis(f, 2), newUp, 4e-6, "up");
        expectNear(axis(f, 3), forward, 4e-6, "forward");
        EXPECT_LT(dot(axis(f, 3), midUp), 0.0);  // turned down
        EXPECT_EQ(std::memcmp(f.m[0], start.m[0], sizeof f.m[0]), 0);

        // Without the button held, time passing turns nothing.
        const ObserverFrame released = f;
        nav.updatePosRot(1000, f, speed);
        EXPECT_TRUE(sameFrame(f, released));
    }
}
