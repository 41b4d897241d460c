// The observer's moving frame as 16 floats in four rows: position, right, up, forward.
// Row 0 = (1, px, py, pz); rows 1-3 = (unused, x, y, z) of right, up and forward. The
// document, the navigation and recorded fly paths all use this layout.
#pragma once

struct ObserverFrame {
    float m[4][4] = {};

    enum Row { Position = 0, Right = 1, Up = 2, Forward = 3 };

    float* row(int r) { return m[r]; }
    const float* row(int r) const { return m[r]; }
};
