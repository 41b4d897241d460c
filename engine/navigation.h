// Flying the observer with keys and mouse: acceleration by relativistic velocity addition,
// turning toward the cursor, strafing, lifting and rolling. The main view owns one and forwards
// its views' events and its 30 ms timer to it. GUI thread only; no widgets needed.
#pragma once

#include <Qt>

#include "geometry/observerframe.h"

// F := R(a, theta) x F for a unit axis a given in the observer's own coordinates (right, up,
// forward): (0,1,0) turns about up, (1,0,0) about right, (0,0,1) rolls about forward. The
// position row is unchanged; the axes are not re-normalised.
void rotateFrame(ObserverFrame& frame, float ax, float ay, float az, float theta);

class Navigation {
public:
    // Radians per millisecond per unit of cursorU or cursorV (0.5 rad/s at the view's edge).
    static constexpr float kDefaultTurnRate = 0.001f;
    // Largest velocity step of one update, so that a long stall cannot jump close to light speed.
    static constexpr float kMaxVelocityStep = 0.7f;

    enum Strafe { NoStrafe = 0, StrafeRight = 1, StrafeLeft = 2 };
    enum Lift { NoLift = 0, LiftUp = 1, LiftDown = 2 };
    enum Roll { NoRoll = 0, RollFirst = 1, RollSecond = 2 };
    enum Accelerate { NoAcceleration = 0, Faster = 1, Slower = 2 };

    // Keys by QKeyEvent::key(): A/S accelerate and brake, R stops at once (speed = 0), the arrows
    // strafe and lift, K/L roll, P toggles the pause. Returns whether the key is a navigation key.
    bool keyPress(int qtKey, float& speed);
    bool keyRelease(int qtKey);

    // Integrates up to nowMs first, then changes the button state, then updates the cursor from
    // the event position (x, y) in a view of size w x h. Returns cursorUpdate's result.
    bool mousePress(Qt::MouseButton button, float x, float y, float w, float h, int nowMs,
                    ObserverFrame& frame, float& speed);
    bool mouseRelease(Qt::MouseButton button, float x, float y, float w, float h, int nowMs,
                      ObserverFrame& frame, float& speed);
    // Mouse move (with or without a button). Returns true when w <= h: the caller then emits
    // updateStatusBar() (otherwise the next frame refreshes the status bar).
    bool cursorUpdate(float x, float y, float w, float h);

    // Integrates the motion from lastTime to nowMs (document clock, milliseconds) into the
    // observer frame and speed (fraction of light speed). Does nothing when no time has passed.
    void updatePosRot(int nowMs, ObserverFrame& frame, float& speed);

    bool isPaused() const { return paused_; }
    void setPaused(bool paused) { paused_ = paused; }

    float cursorU() const { return cursorU_; }
    float cursorV() const { return cursorV_; }
    int cursorX() const { return cursorX_; }
    int cursorY() const { return cursorY_; }
    int lastTime() const { return lastTime_; }
    int strafe() const { return strafe_; }
    int lift() const { return lift_; }
    int roll() const { return roll_; }
    bool middleButton() const { return middleButton_; }
    bool leftButton() const { return leftButton_; }
    float turnRate() const { return turnRate_; }
    int accelerate() const { return accelerate_; }

private:
    float cursorU_ = 0.0f;
    float cursorV_ = 0.0f;
    int cursorX_ = 0;
    int cursorY_ = 0;
    int lastTime_ = 0;
    int strafe_ = NoStrafe;
    int lift_ = NoLift;
    int roll_ = NoRoll;
    bool middleButton_ = false;
    bool leftButton_ = false;
    float turnRate_ = kDefaultTurnRate;
    int accelerate_ = NoAcceleration;
    bool paused_ = false;
};
