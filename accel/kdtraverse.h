// Front-to-back traversal of the kd-tree by 16-ray and 4-ray bundles and by single rays: finds
// each ray's nearest object and has that object shade the ray's pixel.
#pragma once

#include "geometry/raybundle.h"

class KDTree;

// Interior-node tests widen the ray interval relatively in the bundle traversals (and the leaf
// interval handed to objects), so that rays grazing a split plane are not lost to rounding.
constexpr float kBundleNearEps = 0.9999f;
constexpr float kBundleFarEps = 1.0001f;
// Single rays: relative widening at interior nodes, absolute widening at leaves.
constexpr float kRayEps = 1.0001f;
constexpr float kRayLeafWiden = 1.0001f;
// The widening of a bounds node's box along the rays (entry x kBoundsEps, exit / kBoundsEps).
// The objects' lane tests find a grazing root to about sqrt(eps) of the distance, and may
// report one for a ray that misses: a small sphere 265 units off, which a ray passed by 0.04
// units (in double precision), was met 0.16 units beyond its box (0.06 % of the distance).
// A box as tight as the splits' 1e-4 turned such hits of the belt of 60,000 spheres into the
// objects behind them in 20 of 2 million pixels (4 x 4 packets, at rest); 1e-3 in 11, on 5 of
// which single rays and packets disagreed before the boxes as well; 1e-2 in 7, but rays passing a
// small box far away by a few units then stayed in it.
constexpr float kBoundsEps = 0.999f;

// Stack depths of the bundle traversals: a pending far child per level of the tree, whose depth
// the build limits to kdbuild::kMaxDepthLimit (kdbuild.h, which checks the two agree).
constexpr int kStackDepth16 = 40;
constexpr int kStackDepth4 = 30;

// Reports "The tree does not have nodes" when no build has run yet. Frame setup, GUI thread.
void checkTreeHasNodes(const KDTree& tree);

// The bundle must carry node (the root), nodeBase and leafBase of the tree, the rays' origins,
// directions, inverse directions and intervals. Returns the hit rays: bit 4g + l for ray 4g + l.
// The bundle's tMin/tMax are left changed. Any worker thread; the tree is only read.
int traceBundle16(RayBundle16& bundle);

// traceBundle16 runs a kernel on 16-lane registers where the processor has them
// (hasWideKernels) and this portable one elsewhere; both find the same hits bit for bit.
int traceBundle16Portable(RayBundle16& bundle);

// As traceBundle16 for four rays, each with its own origin; returns a 4-bit mask.
int traceBundle4(RayBundle4& bundle);

// The cell of an empty leaf: x, y, z of its corners (w unused; sides the tree never split are
// infinite).
struct EmptyCell {
    Vec4f lo, hi;
};

// traceBundle4, which also tells whether the last leaf the rays visited was empty: then `empty`
// is true and `cell` that leaf's cell (where the rays' far ends mostly lie). The bundle must
// start at the root. Segments inside that cell by the traversal's margins (EmptyCellMemory::
// holds, lightpathtrace.h) would meet that leaf alone, and hit nothing.
int traceBundle4(RayBundle4& bundle, bool& empty, EmptyCell& cell);

// Nearest hit of one ray; the object shades ray.out. A ray that hits nothing keeps its interval.
bool traceRay(SingleRay& ray);
