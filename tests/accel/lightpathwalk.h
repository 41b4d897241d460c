// One initial angle's path walked through a light-path table with the lookup iterator, for tests.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "accel/lightpathtree.h"

struct Walk {
    std::vector<float> xs, ys;  // points after each step (the root's own point is not used)
    std::vector<float> sigmas;  // the sampling parameter of each point
    bool escaped = false, finite = true;  // finite: every point
};

// Fails the test when the path does not end within the table's depth.
inline Walk walk(const LightPathTree& tree, float angle) {
    Walk w;
    PathIterator it;
    it.start(tree, angle);
    for (int step = 0; step <= tree.parameters.maxPathPoints; ++step) {
        if (it.node->absorbs()) return w;
        it.step();
        float x, y;
        it.point(x, y);
        w.xs.push_back(x);
        w.ys.push_back(y);
        w.sigmas.push_back(it.node->sigma);
        w.finite = w.finite && std::isfinite(x) && std::isfinite(y);
        w.escaped = it.node->escapes();
        if (w.escaped) return w;
    }
    ADD_FAILURE() << "path without end at angle " << angle;
    return w;
}
