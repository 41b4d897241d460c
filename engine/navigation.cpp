// Keyboard and mouse flight: relativistic velocity addition, turning, strafing and rolling.
#include "engine/navigation.h"

#include <cmath>

void rotateFrame(ObserverFrame& frame, float ax, float ay, float az, float theta) {
    // Rotation about a unit axis (Rodrigues' formula in matrix form), embedded in 4 x 4 so that
    // the position row passes through unchanged.
    const float c = static_cast<float>(std::cos(static_cast<double>(theta)));
    const float s = static_cast<float>(std::sin(static_cast<double>(theta)));
    const float t = 1.0f - c;
    const float r[4][4] = {
        {1.0f, 0.0f, 0.0f, 0.0f},
        {0.0f, ax * ax * t + c, ax * ay * t + az * s, ax * az * t - ay * s},
        {0.0f, ax * ay * t - az * s, ay * ay * t + c, ay * az * t + ax * s},
        {0.0f, ax * az * t + ay * s, ay * az * t - ax * s, az * az * t + c},
    };
    // Single-precision products summed in double.
    float result[4][4];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k) {
                const float product = r[i][k] * frame.m[k][j];
                sum += product;
            }
            result[i][j] = static_cast<float>(sum);
        }
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) frame.m[i][j] = result[i][j];
}

bool Navigation::keyPress(int qtKey, float& speed) {
    switch (qtKey) {
        case Qt::Key_A:
            accelerate_ = Faster;
            return true;
        case Qt::Key_S:
            accelerate_ = Slower;
            return true;
        case Qt::Key_R:
            speed = 0.0f;
            return true;
        case Qt::Key_Up:
            lift_ = LiftUp;
            return true;
        case Qt::Key_Down:
            lift_ = LiftDown;
            return true;
        case Qt::Key_Right:
            strafe_ = StrafeRight;
            return true;
        case Qt::Key_Left:
            strafe_ = StrafeLeft;
            return true;
        case Qt::Key_K:
            roll_ = RollFirst;
            return true;
        case Qt::Key_L:
            roll_ = RollSecond;
            return true;
        case Qt::Key_P:
            paused_ = !paused_;
            return true;
        default:
            return false;
    }
}

bool Navigation::keyRelease(int qtKey) {
    switch (qtKey) {
        case Qt::Key_A:
        case Qt::Key_S:
            accelerate_ = NoAcceleration;
            return true;
        case Qt::Key_Up:
        case Qt::Key_Down:
            lift_ = NoLift;
            return true;
        case Qt::Key_Right:
        case Qt::Key_Left:
            strafe_ = NoStrafe;
            return true;
        case Qt::Key_K:
        case Qt::Key_L:
            roll_ = NoRoll;
            return true;
        case Qt::Key_R:
        case Qt::Key_P:
            return true;
        default:
            return false;
    }
}

bool Navigation::mousePress(Qt::MouseButton button, float x, float y, float w, float h, int nowMs,
                            ObserverFrame& frame, float& speed) {
    updatePosRot(nowMs, frame, speed);
    if (button == Qt::LeftButton) leftButton_ = true;
    if (button == Qt::MiddleButton) middleButton_ = true;
    return cursorUpdate(x, y, w, h);
}

bool Navigation::mouseRelease(Qt::MouseButton button, float x, float y, float w, float h, int nowMs,
                              ObserverFrame& frame, float& speed) {
    updatePosRot(nowMs, frame, speed);
    if (button == Qt::LeftButton) leftButton_ = false;
    if (button == Qt::MiddleButton) middleButton_ = false;
    return cursorUpdate(x, y, w, h);
}

bool Navigation::cursorUpdate(float x, float y, float w, float h) {
    cursorX_ = static_cast<int>(x);
    cursorY_ = static_cast<int>(y);
    const double dw = w;
    const double dh = h;
    cursorU_ = static_cast<float>((static_cast<double>(x) - dw * 0.5) / dw);
    cursorV_ = static_cast<float>((static_cast<double>(y) - dh * 0.5) / dh);
    return w <= h;
}

void Navigation::updatePosRot(int nowMs, ObserverFrame& frame, float& speed) {
    const double dt = static_cast<double>(nowMs - lastTime_);
    if (dt == 0.0) return;
    lastTime_ = nowMs;

    // Turning toward the cursor: yaw about up, then pitch about the (turned) right axis.
    if (leftButton_) {
        const float a = static_cast<float>(static_cast<double>(turnRate_) * dt);
        const float yaw = cursorU_ * a;
        const float pitch = a * cursorV_;
        rotateFrame(frame, 0.0f, 1.0f, 0.0f, yaw);
        rotateFrame(frame, 1.0f, 0.0f, 0.0f, pitch);
    }

    // Speed: one unit of light speed per second of acceleration in the observer's instantaneous
    // rest frame, composed by relativistic velocity addition (beta + dv) / (1 + beta dv).
    float dv = 0.0f;
    const float ms = static_cast<float>(static_cast<int>(dt));
    if (accelerate_ == Faster) dv = ms / 1000.0f;
    if (accelerate_ == Slower) dv = static_cast<float>(-static_cast<double>(ms) / 1000.0);
    if (static_cast<double>(dv) > static_cast<double>(kMaxVelocityStep)) dv = kMaxVelocityStep;
    if (static_cast<double>(dv) < -static_cast<double>(kMaxVelocityStep)) dv = -kMaxVelocityStep;
    const double beta = speed;
    speed = static_cast<float>((beta + dv) / (beta * dv + 1.0));

    // Positions in scene units: speed 1 covers one unit per second.
    float* position = frame.row(ObserverFrame::Position);
    const float* right = frame.row(ObserverFrame::Right);
    const float* up = frame.row(ObserverFrame::Up);
    const float* forward = frame.row(ObserverFrame::Forward);
    for (int i = 1; i < 4; ++i) {
        if (!paused_) position[i] += forward[i] * speed * ms * 0.001f;
        if (strafe_ == StrafeRight) position[i] += right[i] * ms * 0.001f;
        if (strafe_ == StrafeLeft) position[i] -= right[i] * ms * 0.001f;
        if (lift_ == LiftUp) position[i] += up[i] * ms * 0.001f;
        if (lift_ == LiftDown) position[i] -= up[i] * ms * 0.001f;
    }

    // Roll about forward at 0.5 rad/s.
    if (roll_ == RollFirst) rotateFrame(frame, 0.0f, 0.0f, 1.0f, static_cast<float>(-dt / 2000.0));
    if (roll_ == RollSecond) rotateFrame(frame, 0.0f, 0.0f, 1.0f, static_cast<float>(dt / 2000.0));
}
