// Navigation: relativistic acceleration, pause, strafing and turning, with rotations checked
// against Rodrigues' formula evaluated in double precision.
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

// Rows 1-3 of a frame: right, up, forward.
V3 axis(const ObserverFrame& f, int row) { return {f.m[row][1], f.m[row][2], f.m[row][3]}; }

// A randomly oriented orthonormal frame with forward = right x up, at a random position.
ObserverFrame randomFrame(std::mt19937& rng) {
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    const V3 right = normalized({u(rng), u(rng), u(rng)});
    V3 up = {u(rng), u(rng), u(rng)};
    up = normalized(up + (-dot(up, right)) * right);
    const V3 rows[4] = {{10 * u(rng), 10 * u(rng), 10 * u(rng)}, right, up, cross(right, up)};
    ObserverFrame f;
    f.m[0][0] = 1.0f;
    for (int r = 0; r < 4; ++r) {
        f.m[r][1] = float(rows[r].x);
        f.m[r][2] = float(rows[r].y);
        f.m[r][3] = float(rows[r].z);
    }
    return f;
}

void expectAxes(const ObserverFrame& f, const V3 (&want)[3], double tol) {
    for (int row = 1; row < 4; ++row) {
        EXPECT_NEAR(axis(f, row).x, want[row - 1].x, tol) << "row " << row;
        EXPECT_NEAR(axis(f, row).y, want[row - 1].y, tol) << "row " << row;
        EXPECT_NEAR(axis(f, row).z, want[row - 1].z, tol) << "row " << row;
    }
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
        // The axis is given in the observer's coordinates.
        const V3 k = a.x * axis(before, 1) + a.y * axis(before, 2) + a.z * axis(before, 3);
        rotateFrame(f, float(a.x), float(a.y), float(a.z), theta);
        expectAxes(f, {rodrigues(axis(before, 1), k, theta), rodrigues(axis(before, 2), k, theta),
                       rodrigues(axis(before, 3), k, theta)}, 2e-6);
        EXPECT_EQ(std::memcmp(f.m[0], before.m[0], sizeof f.m[0]), 0);
    }
}

// Speeds compose by rapidity: n steps of 30 ms add n atanh(0.03); a stall of over 700 ms counts
// as 700. S mirrors A exactly, and the limit is never reached.
TEST(Navigation, AccelerationComposesVelocitiesRelativistically) {
    for (const int key : {int(Qt::Key_A), int(Qt::Key_S)}) {
        const double sign = key == Qt::Key_A ? 1.0 : -1.0;
        Navigation nav;
        ObserverFrame f;
        f.m[0][0] = f.m[1][1] = f.m[2][2] = f.m[3][3] = 1.0f;
        float speed = 0.0f;
        ASSERT_TRUE(nav.keyPress(key, speed));
        double travelled = 0.0;
        for (int tick = 1; tick <= 33; ++tick) {
            nav.updatePosRot(30 * tick, f, speed);
            travelled += speed * 0.03;
        }
        const double b = std::tanh(33.0 * std::atanh(0.03));
        EXPECT_NEAR(speed, sign * b, 2e-6);
        EXPECT_NEAR(f.m[0][3], travelled, 1e-5);     // forward is +z
        nav.updatePosRot(30 * 33 + 1000, f, speed);  // one stalled second
        EXPECT_NEAR(speed, sign * (b + 0.7) / (1.0 + b * 0.7), 1e-6);
        for (int tick = 1; tick <= 2000; ++tick) nav.updatePosRot(2000 + 30 * tick, f, speed);
        EXPECT_GT(std::fabs(speed), 0.999f);
        EXPECT_LE(std::fabs(speed), 1.0f);
        ASSERT_TRUE(nav.keyRelease(key));
        const float cruising = speed;
        nav.updatePosRot(70000, f, speed);
        EXPECT_EQ(speed, cruising);
        EXPECT_TRUE(nav.keyPress(Qt::Key_R, speed));
        EXPECT_EQ(speed, 0.0f);
    }
}

// A script of keys: pause stops only the forward motion; the arrows move a unit per second
// sideways and up; unknown keys are not taken.
TEST(Navigation, PauseAndStrafingFollowTheKeys) {
    const struct {
        int key;
        bool press;
        int atMs;
        float x, y, z;
        bool paused;
    } steps[] = {
        {0, true, 1000, 0.0f, 0.0f, 0.5f, false},  // 0.5 units per second forward
        {Qt::Key_P, true, 1000, 0.0f, 0.0f, 0.5f, true},
        {Qt::Key_Right, true, 2000, 1.0f, 0.0f, 0.5f, true},
        {Qt::Key_Left, true, 2000, 1.0f, 0.0f, 0.5f, true},
        {Qt::Key_Up, true, 2500, 0.5f, 0.5f, 0.5f, true},
        {Qt::Key_Left, false, 2500, 0.5f, 0.5f, 0.5f, true},
        {Qt::Key_Down, true, 3500, 0.5f, -0.5f, 0.5f, true},
        {Qt::Key_P, true, 3500, 0.5f, -0.5f, 0.5f, false},
        {Qt::Key_P, false, 3500, 0.5f, -0.5f, 0.5f, false},  // releasing P changes nothing
    };
    Navigation nav;
    ObserverFrame f;
    f.m[0][0] = f.m[1][1] = f.m[2][2] = f.m[3][3] = 1.0f;
    float speed = 0.5f;
    for (const auto& s : steps) {
        if (s.key) {
            EXPECT_TRUE(s.press ? nav.keyPress(s.key, speed) : nav.keyRelease(s.key));
        }
        nav.updatePosRot(s.atMs, f, speed);
        EXPECT_NEAR(f.m[0][1], s.x, 1e-6) << s.atMs;
        EXPECT_NEAR(f.m[0][2], s.y, 1e-6) << s.atMs;
        EXPECT_NEAR(f.m[0][3], s.z, 1e-6) << s.atMs;
        EXPECT_EQ(nav.isPaused(), s.paused) << s.atMs;
    }
    EXPECT_EQ(speed, 0.5f);
    EXPECT_FALSE(nav.keyPress(Qt::Key_Q, speed));
    EXPECT_FALSE(nav.keyRelease(Qt::Key_Q));
}

// Pressed at 3/4 of the width on the vertical centre: yaw only, 0.25 rad per second; moved below
// the centre and released 200 ms later: the release integrates first (yaw about up, then pitch
// about the turned right axis); without the button time turns nothing.
TEST(Navigation, CursorRightOfCentreTurnsRightAndBelowTurnsDown) {
    std::mt19937 rng(3);
    for (int trial = 0; trial < 5; ++trial) {
        Navigation nav;
        ObserverFrame f = randomFrame(rng);
        const ObserverFrame start = f;
        float speed = 0.0f;
        nav.mousePress(Qt::LeftButton, 300.0f, 150.0f, 400.0f, 300.0f, 0, f, speed);
        EXPECT_FLOAT_EQ(nav.cursorU(), 0.25f);
        EXPECT_FLOAT_EQ(nav.cursorV(), 0.0f);
        nav.updatePosRot(100, f, speed);
        const V3 up = axis(start, 2);
        expectAxes(f, {rodrigues(axis(start, 1), up, 0.025), up,
                       rodrigues(axis(start, 3), up, 0.025)}, 2e-6);
        EXPECT_GT(dot(axis(f, 3), axis(start, 1)), 0.0);  // forward leans toward old right
        const ObserverFrame mid = f;
        nav.cursorUpdate(100.0f, 225.0f, 400.0f, 300.0f);  // cursorU -0.25, cursorV 0.25
        nav.mouseRelease(Qt::LeftButton, 100.0f, 225.0f, 400.0f, 300.0f, 300, f, speed);
        EXPECT_FALSE(nav.leftButton());
        const V3 midUp = axis(mid, 2);
        const V3 right = rodrigues(axis(mid, 1), midUp, -0.05);
        const V3 forward = rodrigues(axis(mid, 3), midUp, -0.05);
        expectAxes(f, {right, rodrigues(midUp, right, 0.05), rodrigues(forward, right, 0.05)},
                   4e-6);
        EXPECT_LT(dot(axis(f, 3), midUp), 0.0);  // turned down
        const ObserverFrame released = f;
        nav.updatePosRot(1000, f, speed);
        EXPECT_EQ(std::memcmp(f.m, released.m, sizeof f.m), 0);
    }
}
