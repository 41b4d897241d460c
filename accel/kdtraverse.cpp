// Kd-tree traversal by single rays and by 4-ray bundles: one visiting order for the whole
// bundle, decided per node from all rays' intervals, with the far children kept on a fixed stack
// (front to back, so a ray's nearest hit lies in the first cell that holds a hit of it; a hit
// that a leaf's widened interval lets in from a cell further on waits for that cell). The
// 16-ray bundles' traversals are in kdtraverse16.cpp.
#include "accel/kdtraverse.h"

#include <cmath>
#include <cstdio>

#include "accel/kdtraversesteps.h"
#include "accel/kdtree.h"
#include "base/programmingerror.h"
#include "base/traceoutput.h"
#include "scene/rtobjbase.h"
#include "scene/rtobjplane.h"
#include "scene/staticsphere.h"

using namespace kdsteps;

namespace {

// Rays of one structure-of-arrays group from origin (ox, oy, oz) into the running bounds.
inline void addSegments(const Vec4f& ox, const Vec4f& oy, const Vec4f& oz, const Vec4f& dx,
                        const Vec4f& dy, const Vec4f& dz, const Vec4f& tMin, const Vec4f& tMax,
                        const Vec4f& tHit, Vec4f lo[3], Vec4f hi[3], Vec4f& tFar) {
    const Vec4f tEnd = min(tMax, tHit);
    const LaneMask4 open = tMin < tEnd;
    const Vec4f inf(__builtin_inff()), none(-__builtin_inff());
    const Vec4f o[3] = {ox, oy, oz}, d[3] = {dx, dy, dz};
    for (int k = 0; k < 3; ++k) {
        const Vec4f p = o[k] + d[k] * tMin, q = o[k] + d[k] * tEnd;
        lo[k] = min(lo[k], select(open, min(p, q), inf));
        hi[k] = max(hi[k], select(open, max(p, q), none));
    }
    tFar = max(tFar, select(open, tEnd, Vec4f(0.0f)));
}

inline SegmentBounds finishBounds(const Vec4f lo[3], const Vec4f hi[3], const Vec4f& tFar,
                                  float originMagnitude) {
    SegmentBounds s;
    const float m = kHitBoundsMargin * (1.0f + originMagnitude + laneMax(tFar));
    for (int k = 0; k < 3; ++k) {
        s.lo[k] = laneMin(lo[k]) - m;
        s.hi[k] = laneMax(hi[k]) + m;
    }
    return s;
}

inline float magnitude3(const Vec4f& o) {
    return maxScalar(maxScalar(std::fabs(o.x), std::fabs(o.y)), std::fabs(o.z));
}

}  // namespace

namespace kdsteps {

SegmentBounds segmentBounds(const RayBundle16& b) {
    const Vec4f& o = b.origin[0];
    const Vec4f ox(o.x), oy(o.y), oz(o.z);
    Vec4f lo[3] = {Vec4f(__builtin_inff()), Vec4f(__builtin_inff()), Vec4f(__builtin_inff())};
    Vec4f hi[3] = {-lo[0], -lo[0], -lo[0]};
    Vec4f tFar(0.0f);
    for (int g = 0; g < 4; ++g)
        addSegments(ox, oy, oz, b.dir[g].x, b.dir[g].y, b.dir[g].z, b.tMin[g], b.tMax[g],
                    b.tHit[g], lo, hi, tFar);
    return finishBounds(lo, hi, tFar, magnitude3(o));
}

SegmentBounds segmentBounds(const RayBundle4& b) {
    Vec4f lo[3] = {Vec4f(__builtin_inff()), Vec4f(__builtin_inff()), Vec4f(__builtin_inff())};
    Vec4f hi[3] = {-lo[0], -lo[0], -lo[0]};
    Vec4f tFar(0.0f);
    // The bounds hold the segments the objects' tests will see. Camera packets' tests take the
    // first lane's origin (origin[0]) for all four; the bending variant's take each lane's own
    // from originSoA, the one copy the bent-path walk keeps current from piece to piece. A camera
    // packet whose lanes start apart (the traversal splits it by their own origins) gets both.
    const Vec4f o =
        b.variant ? Vec4f(b.originSoA[0].x, b.originSoA[1].x, b.originSoA[2].x, 0.0f) : b.origin[0];
    const Vec4f ox(o.x), oy(o.y), oz(o.z);
    const LaneMask4 same = (b.originSoA[0] == ox) & (b.originSoA[1] == oy) & (b.originSoA[2] == oz);
    float magnitude = 0.0f;
    if (!b.variant || all(same)) {
        addSegments(ox, oy, oz, b.dir[0], b.dir[1], b.dir[2], b.tMin, b.tMax, b.tHit, lo, hi, tFar);
        magnitude = magnitude3(o);
    }
    if (!all(same)) {
        addSegments(b.originSoA[0], b.originSoA[1], b.originSoA[2], b.dir[0], b.dir[1], b.dir[2],
                    b.tMin, b.tMax, b.tHit, lo, hi, tFar);
        const Vec4f m = max(max(abs(b.originSoA[0]), abs(b.originSoA[1])), abs(b.originSoA[2]));
        magnitude = maxScalar(magnitude, laneMax(m));
    }
    return finishBounds(lo, hi, tFar, magnitude);
}

[[gnu::cold, gnu::noinline]] void traceDecision(const char* what, int axis, float split,
                                                float tMax) {
    if (!TraceOutput::enabled()) return;  // no formatting for lines nobody sees
    char buf[96];
    std::snprintf(buf, sizeof buf, "%s%d, %g, %g", what, axis, double(split), double(tMax));
    TraceOutput::line(buf);
}

}  // namespace kdsteps

namespace {

// Pending far child of a bundle traversal: the rays' intervals inside it, and whether some rays
// meet the two children in the opposite order (their nearer piece is still pending). Raw
// registers, so that the fixed stack costs nothing to set up.
struct alignas(16) Entry4 {
    __m128 tMin;
    __m128 tMax;
    const KdNode* far;
    bool flipped;
};

// max and min as std::fmax and std::fmin count them (a NaN gives way to the other operand),
// inline: the library calls took 4 % of a single ray's walk.
inline float maxNumber(float a, float b) { return (a > b || b != b) ? a : b; }
inline float minNumber(float a, float b) { return (a < b || b != b) ? a : b; }

// The leaf's objects on the ray's piece (tMin, tMax) of its cell. The nearest hit so far is
// found, when the leaf's widening lets in hits beyond its cell, in a cell before the one that
// holds it; it is shaded and kept (best), and the walk goes on until a cell ends beyond it, so
// that a nearer object in the cells between still wins. True when the walk is done: then
// ray.tMax is the hit's distance.
template <bool kSpheres>
inline bool testLeaf1(SingleRay& ray, const KdNode& node, float tMin, float tMax, float& best) {
    // The absolute widening never reaches behind the ray's origin: an object there would show
    // up in front of the observer. Nor beyond the hit kept so far: a farther object must not
    // write its hit's fields.
    ray.tMin = maxNumber(0.0f, tMin - kRayLeafWiden);
    ray.tMax = minNumber(tMax + kRayLeafWiden, best);
    rtObjBase* const* objs = leafObjects(ray.leafBase, node);
    const Vec4f* spheres = kSpheres ? ray.leafSpheres + node.firstEntry() : nullptr;
    const uint32_t n = node.objectCount();
    float leafBest = kNoDistance;
    uint32_t nearest = 0;
    for (uint32_t i = 0; i < n; ++i) {
        float t = kNoDistance;
        if (kSpheres && spheres[i].w >= 0.0f)  // a sphere at rest: its own test, inline
            intersectStaticSphere1(spheres[i], ray, t);
        else if (ray.variant)
            objs[i]->intersect1Alt(ray, t);
        else
            objs[i]->intersect1(ray, t);
        if (t < leafBest) {  // ties keep the earlier object
            leafBest = t;
            nearest = i;
        }
    }
    if (leafBest < best) {  // ties keep the hit found first
        objs[nearest]->shade1(ray, leafBest);
        best = leafBest;
    }
    // (An interval without end, of a ray along a face of an empty scene's box, holds no hit:
    // only a best below kNoDistance is one.)
    if (best < kNoDistance && best <= maxNumber(tMin, tMax)) {
        ray.tMax = best;
        return true;
    }
    return false;
}

// A far child the walk has still to visit, with the ray's piece of it.
struct Entry1 {
    const KdNode* far;
    float tMin, tMax;
};

// Front to back through the tree from ray.node, a pending far child per level on a stack of
// its own. A ray that finds no hit leaves with its interval as it came.
template <bool kSpheres>
bool walk1(SingleRay& ray, float& best) {
    Entry1 stack[kStackDepth4];
    int top = 0;
    const bool trace = ray.trace != 0;
    const float entryMin = ray.tMin, entryMax = ray.tMax;
    float tMin = entryMin, tMax = entryMax;
    const KdNode* node = &ray.node;
    for (;;) {
        while (!node->isLeaf()) {
            const int a = node->axis();
            const KdNode* child = children(ray.nodeBase, *node);
            const float ts = (node->split() - ray.origin[a]) * ray.invDir[a];
            const bool up = ray.invDir[a] > 0.0f;  // +0 moves up, -0 down, as for the bundles
            const KdNode* nearChild = up ? child : child + 1;
            const KdNode* farChild = up ? child + 1 : child;
            if (ts > tMax * kRayEps) {
                if (trace) traceDecision("SUB_NEAR: ", a, node->split(), tMax);
                node = nearChild;
                continue;
            }
            if (ts < tMin / kRayEps) {
                if (trace) traceDecision("SUB_NEAR: ", a, node->split(), tMax);
                node = farChild;
                continue;
            }
            if (trace) traceDecision("SUB_BOTH: ", a, node->split(), tMax);
            // A ray lying in the split plane (ts is NaN) keeps its whole interval on both sides.
            const bool inPlane = ts != ts;
            TAVOLIN_DCHECK(top < kStackDepth4);
            stack[top++] = {farChild, inPlane ? tMin : ts, tMax};
            if (!inPlane) tMax = ts;
            node = nearChild;
        }
        if (node->objectCount() == 0 && node->isBounds()) {
            // As clipToBounds, one ray: a ray that misses the box skips the node.
            const KdNode* child = ray.nodeBase + node->boundsChild();
            float entry = -__builtin_inff(), exit = __builtin_inff();
            for (int k = 0; k < 3; ++k) {
                const float t1 = (KdNode::bound(child, k) - ray.origin[k]) * ray.invDir[k];
                const float t2 = (KdNode::bound(child, k + 3) - ray.origin[k]) * ray.invDir[k];
                if (t1 != t1 || t2 != t2) continue;  // along a face's plane: no bound
                entry = std::max(entry, std::min(t1, t2));
                exit = std::min(exit, std::max(t1, t2));
            }
            const float lo = std::max(tMin, entry * kBoundsEps);
            const float hi = std::min(tMax, exit / kBoundsEps);
            if (trace) traceDecision("BOUNDS: ", KdNode::kBoundsAxis, lo, hi);
            if (lo <= hi) {
                tMin = lo;
                tMax = hi;
                node = child;
                continue;
            }
        } else if (testLeaf1<kSpheres>(ray, *node, tMin, tMax, best)) {
            return true;
        }
        if (top == 0) {
            ray.tMin = entryMin;
            ray.tMax = entryMax;
            return false;
        }
        const Entry1& e = stack[--top];
        node = e.far;
        tMin = e.tMin;
        tMax = e.tMax;
    }
}

}  // namespace

void checkTreeHasNodes(const KDTree& tree) {
    if (!tree.hasNodes()) programmingError("The tree does not have nodes");
}

namespace {

// The lane of each axis, for the cell's corners.
const LaneMask4 kAxisLane[3] = {LaneMask4::fromBits(1), LaneMask4::fromBits(2),
                                LaneMask4::fromBits(4)};

// The rays passed the box of a bounds node (child: its child) without entering it, along their
// pieces [pieceMin, pieceMax] of the node's cell [cellLo, cellHi]. The part of the cell beyond
// a face of the box holds nothing: where every piece lies beyond the same face, that part is
// told of as the empty cell, as an empty leaf's would be, for the bent walks to skip the next
// pieces inside it.
inline void tellOfRoomBeside(const RayBundle4& b, const KdNode* child, const Vec4f& pieceMin,
                             const Vec4f& pieceMax, const Vec4f& cellLo, const Vec4f& cellHi,
                             bool* empty, EmptyCell* cell) {
    const LaneMask4 pieces = pieceMin <= pieceMax;
    if (none(pieces)) return;
    for (int a = 0; a < 3; ++a) {
        const Vec4f from = b.originSoA[a] + b.dir[a] * pieceMin;
        const Vec4f to = b.originSoA[a] + b.dir[a] * pieceMax;
        const Vec4f lower(KdNode::bound(child, a)), upper(KdNode::bound(child, a + 3));
        if (all(~pieces | ((from >= upper) & (to >= upper))) && upper.x < cellHi[a]) {
            *empty = true;
            cell->lo = select(kAxisLane[a], upper, cellLo);
            cell->hi = cellHi;
            return;
        }
        if (all(~pieces | ((from <= lower) & (to <= lower))) && lower.x > cellLo[a]) {
            *empty = true;
            cell->lo = cellLo;
            cell->hi = select(kAxisLane[a], lower, cellHi);
            return;
        }
    }
}

// kCell: the traversal also keeps the cell of the node it is at (and of each pending far child),
// and reports the cell of the last leaf it visits when that leaf is empty: the rays' far ends
// mostly lie in it, and the walk of bent paths skips the next pieces that lie inside it.
template <bool kSpheres, bool kCell>
inline __attribute__((always_inline)) int traceBundle4Impl(RayBundle4& b, bool* empty = nullptr,
                                                           EmptyCell* cell = nullptr) {
    Entry4 stack[kStackDepth4];
    int top = 0;
    int flippedPending = 0;
    int result = 0;
    const KdNode start = b.node;
    const KdNode* node = &start;
    // The rays moving up along each axis, and their interval widened by the traversal's
    // epsilons (classify's near and far), worked out when they change rather than per node->
    const LaneMask4 up[3] = {movingUp(b.invDir[0]), movingUp(b.invDir[1]), movingUp(b.invDir[2])};
    Vec4f near = b.tMin * kBundleNearEps, far = b.tMax * kBundleFarEps;
    // Whether some ray can still be accepted in the current interval (see Intervals16::open).
    // A traced bundle reports every decision, so it skips nothing.
    const auto open = [&] { return b.trace || any(near < min(far, b.tHit)); };
    Vec4f cellLo, cellHi;
    // The pending far children's cells, beside the stack (raw registers, as the stack's).
    __m128 farCellLo[kCell ? kStackDepth4 : 1], farCellHi[kCell ? kStackDepth4 : 1];
    if (kCell) {
        cellLo = Vec4f(-__builtin_inff());
        cellHi = Vec4f(__builtin_inff());
        *empty = false;
    }
    for (;;) {
        while (!node->isLeaf()) {
            const int a = node->axis();
            const KdNode* child = children(b.nodeBase, *node);
            const Vec4f ts = (Vec4f(node->split()) - b.originSoA[a]) * b.invDir[a];
            const LaneMask4 pastEnd = ts > far, beforeStart = ts < near;
            const LaneMask4 below = (up[a] & pastEnd) | andNot(beforeStart, up[a]);
            const LaneMask4 above = (up[a] & beforeStart) | andNot(pastEnd, up[a]);
            if (all(below)) {
                if (b.trace) traceDecision("SUB_NEARF: ", a, node->split(), b.tMax.x);
                if (kCell) cellHi = select(kAxisLane[a], Vec4f(node->split()), cellHi);
                node = child;
            } else if (all(above)) {
                if (b.trace) traceDecision("SUB_FARF: ", a, node->split(), b.tMax.x);
                if (kCell) cellLo = select(kAxisLane[a], Vec4f(node->split()), cellLo);
                node = child + 1;
            } else {
                if (b.trace) traceDecision("SUB_BOTH: ", a, node->split(), b.tMax.x);
                const bool lowerNear = up[a].lane(0);
                TAVOLIN_DCHECK(top < kStackDepth4);
                if (kCell) {
                    const Vec4f s(node->split());
                    farCellLo[top] = lowerNear ? select(kAxisLane[a], s, cellLo) : cellLo;
                    farCellHi[top] = lowerNear ? cellHi : select(kAxisLane[a], s, cellHi);
                    if (lowerNear)
                        cellHi = select(kAxisLane[a], s, cellHi);
                    else
                        cellLo = select(kAxisLane[a], s, cellLo);
                }
                Entry4& e = stack[top++];
                Vec4f farMin, farMax;
                e.flipped =
                    any(splitInterval(ts, up[a], lowerNear, b.tMin, b.tMax, farMin, farMax));
                e.tMin = farMin;
                e.tMax = farMax;
                near = b.tMin * kBundleNearEps;
                far = b.tMax * kBundleFarEps;
                flippedPending += e.flipped;
                e.far = lowerNear ? child + 1 : child;
                node = lowerNear ? child : child + 1;
                if (result != 0xf && !open()) goto pop;
            }
        }

        if (node->objectCount() == 0 && node->isBounds()) {
            const KdNode* child = b.nodeBase + node->boundsChild();
            if (b.trace) traceDecision("BOUNDS: ", KdNode::kBoundsAxis, b.tMin.x, b.tMax.x);
            const Vec4f pieceMin = b.tMin, pieceMax = b.tMax;
            clipToBounds(child, b.originSoA, b.invDir, b.tMin, b.tMax);
            near = b.tMin * kBundleNearEps;
            far = b.tMax * kBundleFarEps;
            node = child;
            if (result == 0xf || open()) continue;
            if (kCell) tellOfRoomBeside(b, child, pieceMin, pieceMax, cellLo, cellHi, empty, cell);
            goto pop;
        }
        {
            const uint32_t n = node->objectCount();
            if (kCell) {
                *empty = n == 0;
                if (n == 0) {
                    cell->lo = cellLo;
                    cell->hi = cellHi;
                }
            }
            if (n != 0) {
                b.node = *node;
                // Where each ray's piece of this cell ends (begins, for a ray whose piece is
                // empty): a hit beyond it is not final, see below.
                const Vec4f pieceEnd = max(b.tMin, b.tMax);
                b.tMin = near;
                b.tMax = far;
                rtObjBase* const* objs = leafObjects(b.leafBase, *node);
                const Vec4f* spheres = kSpheres ? b.leafSpheres + node->firstEntry() : nullptr;
                // The segment bounds wait for the first entry that reads them (as in Leaf16).
                const bool bounded = n >= kBoundsMinObjects;
                bool boundsSet = false;
                SegmentBounds bounds;
                for (uint32_t i = 0; i < n; ++i) {
                    LaneMask4 hits;
                    if (kSpheres && spheres[i].w >= 0.0f) {  // as in testLeaf16
                        hits = intersectStaticSphere4(spheres[i], b, b.variant != 0);
                    } else {
                        const rtObjBounded* kept = bounded ? keptHitBounds(*objs[i]) : nullptr;
                        if (kept) {
                            if (!boundsSet) {
                                bounds = segmentBounds(b);
                                boundsSet = true;
                            }
                            if (bounds.misses(*kept)) continue;
                        }
                        // A parallelogram's test inline, not through three calls (its
                        // light-bending entry takes each lane's origin: through its object).
                        const PlaneFace* face = b.variant ? nullptr : parallelogramOf(*objs[i]);
                        hits = face             ? intersectParallelogram4(*face, b)
                               : b.variant != 0 ? objs[i]->intersect4Alt(b)
                                                : objs[i]->intersect4(b);
                    }
                    if (any(hits)) {
                        objs[i]->shade4(b, hits);
                        result |= movemask(hits);
                    }
                }
                // Every ray hit inside this cell: done, unless a ray still has its nearer piece
                // pending. A hit the leaf's widening let in from beyond the cell is not final:
                // the next cell may hold a nearer one.
                if (result == 0xf && flippedPending == 0 && all(b.tHit <= pieceEnd)) return result;
            }
        }

    pop:
        for (;;) {
            if (top == 0) return result;
            const Entry4& e = stack[--top];
            if (kCell) {
                cellLo = farCellLo[top];
                cellHi = farCellHi[top];
            }
            b.tMin = e.tMin;
            b.tMax = e.tMax;
            near = b.tMin * kBundleNearEps;
            far = b.tMax * kBundleFarEps;
            flippedPending -= e.flipped;
            node = e.far;
            if (result == 0xf || open()) break;
        }
    }
}

TAVOLIN_HOT_KERNEL int traceBundle4Spheres(RayBundle4& b) {
    return traceBundle4Impl<true, false>(b);
}

TAVOLIN_HOT_KERNEL int traceBundle4Plain(RayBundle4& b) {
    return traceBundle4Impl<false, false>(b);
}

TAVOLIN_HOT_KERNEL int traceBundle4SpheresCell(RayBundle4& b, bool& empty, EmptyCell& cell) {
    return traceBundle4Impl<true, true>(b, &empty, &cell);
}

TAVOLIN_HOT_KERNEL int traceBundle4PlainCell(RayBundle4& b, bool& empty, EmptyCell& cell) {
    return traceBundle4Impl<false, true>(b, &empty, &cell);
}

}  // namespace

int traceBundle4(RayBundle4& b) {
    return b.leafSpheres ? traceBundle4Spheres(b) : traceBundle4Plain(b);
}

int traceBundle4(RayBundle4& b, bool& empty, EmptyCell& cell) {
    return b.leafSpheres ? traceBundle4SpheresCell(b, empty, cell)
                         : traceBundle4PlainCell(b, empty, cell);
}

bool traceRay(SingleRay& ray) {
    float best = kNoDistance;
    if (ray.leafSpheres ? walk1<true>(ray, best) : walk1<false>(ray, best)) return true;
    // A hit let in from beyond the last cell (the scene box's end, within the widening).
    if (best >= kNoDistance) return false;
    ray.tMax = best;
    return true;
}
