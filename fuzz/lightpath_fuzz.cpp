// Fuzz target: the black hole's light-path table for any observer and hole. The input gives the
// observer's and the hole's positions and the Schwarzschild radius as raw floats (NaN, infinities
// and denormals included), then the table's parameters. Whatever they are, the table must be a
// tree whose every path ends (absorbed or escaping) within the allowed number of points, whose
// points are finite, and whose lookups from any angle stay inside it; the gravitational
// wavelength factor must not be NaN.
//
// Cost per input: the parameters are folded into ranges narrower than the light-path dialog
// allows. Its extremes (1000 samples per unit, 10000 points per path, 0.001 mrad) legitimately
// take minutes and gigabytes per table; the ranges here still reach every branch of the
// generator (quarter checks, split-depth and path-length limits, straight continuation, the
// horizon margin) in well under a second per table.
#include <cmath>
#include <set>
#include <vector>

#include "fuzz/fuzzsupport.h"
#include "accel/blackholeframe.h"
#include "accel/lightpathgenerator.h"

namespace {

float within(float v, float lo, float hi) {
    if (!std::isfinite(v)) return lo;
    return lo + std::fmod(std::fabs(v), hi - lo);
}

bool finiteNode(const LightPathNode& n) {
    return std::isfinite(n.x0) && std::isfinite(n.y0) && std::isfinite(n.dx) &&
           std::isfinite(n.dy) && std::isfinite(n.t0);
}

// Every node below the roots is reached once, no deeper than maxPoints, with finite points.
void checkTree(const LightPathTree& tree) {
    const int maxPoints = tree.parameters.maxPathPoints;
    std::set<const LightPathNode*> seen;
    std::vector<std::pair<const LightPathNode*, int>> stack;
    for (int i = 0; i < tree.rootCount(); ++i) {
        const LightPathNode& root = tree.root(i);
        if (root.escapes()) __builtin_trap();
        if (root.lower) stack.push_back({root.lower, 1});
        if (root.upper) stack.push_back({root.upper, 1});
    }
    while (!stack.empty()) {
        const auto [node, depth] = stack.back();
        stack.pop_back();
        if (depth > maxPoints || !seen.insert(node).second || !finiteNode(*node)) __builtin_trap();
        if (node->escapes()) {
            if (node->upper != node) __builtin_trap();
            continue;
        }
        if (node->lower) stack.push_back({node->lower, depth + 1});
        if (node->upper) stack.push_back({node->upper, depth + 1});
    }
    if (seen.size() != tree.nodeCount()) __builtin_trap();
}

// A lookup from angle a (0 to pi) ends within maxPoints steps, through finite points.
void checkWalk(const LightPathTree& tree, float a) {
    PathIterator it;
    it.start(tree, a);
    for (int step = 0; step <= tree.parameters.maxPathPoints; ++step) {
        if (it.node->absorbs()) return;
        it.step();
        float x, y;
        it.point(x, y);
        if (!std::isfinite(x) || !std::isfinite(y)) __builtin_trap();
        if (it.node->escapes()) return;
    }
    __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::quietProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Bytes in(data, size);
    Vec4f observer, hole;
    for (int k = 0; k < 3; ++k) observer[k] = in.nextFloat();
    for (int k = 0; k < 3; ++k) hole[k] = in.nextFloat();
    const float rs = in.nextFloat();

    static BlackHoleFrame& frame = *new BlackHoleFrame;  // kept: regeneration is part of the test
    LightPathParameters& p = frame.paths.parameters;
    if (in.next() & 1) {
        p = LightPathParameters();
    } else {
        p.samplesPerUnit = within(in.nextFloat(), 1.0f, 40.0f);
        p.fateSigmaLimit = within(in.nextFloat(), 1.0f, 100.0f);
        p.escapeRadius = within(in.nextFloat(), 1.0f, 10000.0f);
        p.horizonMargin = within(in.nextFloat(), 0.0f, 1.0f);
        p.toleranceMrad = within(in.nextFloat(), 0.05f, 100.0f);
        p.extraEscapeSamples = in.next() % 51;
        p.maxSplitDepth = in.next() % 61;
        p.maxPathPoints = 2 + in.next() % 199;
        p.checkQuarterPoints = in.next() & 1;
    }

    frame.prepare(observer, hole, rs);
    const LightPathTree& tree = frame.paths;
    if (tree.nodeCount() > LightPathGenerator::kMaxNodes + 64 * std::size_t(tree.rootCount()))
        __builtin_trap();
    checkTree(tree);
    // The tracers ask for angles from acos: 0 (at the hole) to pi (away from it).
    for (float a :
         {0.0f, 0.3f, 1.0f, 1.5707964f, 2.5f, 3.1415927f, within(in.nextFloat(), 0.0f, 3.1415927f)})
        checkWalk(tree, a);
    if (std::isnan(frame.wavelengthFactor(in.nextFloat()))) __builtin_trap();
    return 0;
}
