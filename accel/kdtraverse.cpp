// Kd-tree traversal of ray bundles: one visiting order for the whole bundle, decided per node
// from all rays' intervals, with the far children kept on a fixed stack (front to back, so the
// first leaf that hits a ray delivers its nearest hit).
#include "accel/kdtraverse.h"

#include <cmath>
#include <cstdio>

#include "accel/kdtree.h"
#include "base/programmingerror.h"
#include "base/traceoutput.h"
#include "geometry/vec16f.h"
#include "scene/rtobjbase.h"
#include "scene/rtobjsphere.h"
#include "scene/staticsphere.h"

namespace {

static_assert(sizeof(Vec3x4) == 3 * sizeof(Vec4f), "Vec3x4 is x, y, z in a row");

// Component a (0 = x, 1 = y, 2 = z) of a structure-of-arrays group.
inline const Vec4f& component(const Vec3x4& v, int a) {
    return reinterpret_cast<const Vec4f*>(&v)[a];
}

// The two children of an interior node: lower at [0], upper at [1].
inline const KdNode* children(const KdNode* base, const KdNode& n) {
    return reinterpret_cast<const KdNode*>(reinterpret_cast<const char*>(base) + n.byteOffset());
}

// The first of a leaf's objects in the leaf list (indexed: the shared byte-offset decode assumes
// four-byte entries, and object pointers are eight bytes here).
inline rtObjBase* const* leafObjects(rtObjBase* const* base, const KdNode& n) {
    return base + n.firstEntry();
}

// Pending far child of a bundle traversal: the rays' intervals inside it, and whether some rays
// meet the two children in the opposite order (their nearer piece is still pending). Raw
// registers, so that the fixed stack costs nothing to set up.
//
// The traversals hold the node they visit by its address and read its two words where they
// need them. Held by value, the eight-byte node went through a vector register (one load, then
// two extractions), which lengthened the chain of dependent loads down the tree by a few cycles
// a step: the step's decision waits on the node, and the next node's address on the decision.
struct alignas(16) Entry16 {
    __m128 tMin[4];
    __m128 tMax[4];
    const KdNode* far;
    bool flipped;
};

struct alignas(16) Entry4 {
    __m128 tMin;
    __m128 tMax;
    const KdNode* far;
    bool flipped;
};

// Direction sign along the split axis, read from the inverse direction so that a component of
// +0 (inverse +inf) counts as moving up and -0 (inverse -inf) as moving down: the infinite split
// distances of rays parallel to the plane then classify them on the side they lie.
inline LaneMask4 movingUp(const Vec4f& invDir) { return invDir > Vec4f(0.0f); }

// Splits the interval of four rays at their split distances ts into the piece in the near
// child (near by ray 0's direction) and the piece in the far child. Each ray's own piece before
// the plane is [tMin, min(ts, tMax)] and after it [max(ts, tMin), tMax], so a ray lying entirely
// on one side gets an empty piece on the other and never looks outside its own interval. A ray
// moving against ray 0 along the axis meets the children in the opposite order, so its pieces
// are swapped: it looks at its far piece first, and the nearer hit found afterwards overwrites
// it (objects accept only t < tHit). A ray lying in the split plane (ts is NaN) keeps its whole
// interval on both sides: SSE min/max return the second operand for NaN. Returns the lanes
// whose pieces were swapped.
inline LaneMask4 splitInterval(const Vec4f& ts, const LaneMask4& up, bool lowerNear, Vec4f& tMin,
                               Vec4f& tMax, Vec4f& farMin, Vec4f& farMax) {
    const LaneMask4 flip = lowerNear ? ~up : up;
    const Vec4f firstEnd = min(ts, tMax);
    const Vec4f secondStart = max(ts, tMin);
    farMin = select(flip, tMin, secondStart);
    farMax = select(flip, firstEnd, tMax);
    tMin = select(flip, secondStart, tMin);
    tMax = select(flip, tMax, firstEnd);
    return flip;
}

// The box around the parts of a leaf's rays where an object can still accept a hit: for each
// ray the points o + t d with tMin < t < min(tMax, tHit), grown by kHitBoundsMargin of the
// coordinates' magnitude. An object whose hit bounds miss it cannot accept any of the rays
// (hits beyond tHit are refused anyway), so its test is skipped without changing a result.
struct SegmentBounds {
    float lo[3], hi[3];

    bool misses(const BoundingBox& b) const {
        return b.min.x > hi[0] || b.max.x < lo[0] || b.min.y > hi[1] || b.max.y < lo[1] ||
               b.min.z > hi[2] || b.max.z < lo[2];
    }
};

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

// Four rays: objects see each lane's own origin or the first lane's (the sphere tests and the
// Alt entries), so where the origins differ the bounds cover both.
SegmentBounds segmentBounds(const RayBundle4& b) {
    Vec4f lo[3] = {Vec4f(__builtin_inff()), Vec4f(__builtin_inff()), Vec4f(__builtin_inff())};
    Vec4f hi[3] = {-lo[0], -lo[0], -lo[0]};
    Vec4f tFar(0.0f);
    const Vec4f& o = b.origin[0];
    const Vec4f ox(o.x), oy(o.y), oz(o.z);
    addSegments(ox, oy, oz, b.dir[0], b.dir[1], b.dir[2], b.tMin, b.tMax, b.tHit, lo, hi, tFar);
    float magnitude = magnitude3(o);
    const LaneMask4 same = (b.originSoA[0] == ox) & (b.originSoA[1] == oy) & (b.originSoA[2] == oz);
    if (!all(same)) {
        addSegments(b.originSoA[0], b.originSoA[1], b.originSoA[2], b.dir[0], b.dir[1], b.dir[2],
                    b.tMin, b.tMax, b.tHit, lo, hi, tFar);
        const Vec4f m = max(max(abs(b.originSoA[0]), abs(b.originSoA[1])), abs(b.originSoA[2]));
        magnitude = maxScalar(magnitude, laneMax(m));
    }
    return finishBounds(lo, hi, tFar, magnitude);
}

// Leaves with at least this many objects test the bounds first: below it the bounds cost more
// than the tests they save.
constexpr uint32_t kBoundsMinObjects = 3;

// A leaf as a 16-ray leaf test reads it: its objects, the copy of its spheres at rest (with
// kSpheres), and the bundle's segment bounds where the leaf holds enough objects to pay for them.
template <bool kSpheres>
struct Leaf16 {
    uint32_t n;
    rtObjBase* const* objs;
    const Vec4f* spheres;
    bool bounded;
    SegmentBounds bounds;

    Leaf16(RayBundle16& b, const KdNode& node)
        : n(node.objectCount()),
          objs(leafObjects(b.leafBase, node)),
          spheres(kSpheres ? b.leafSpheres + node.firstEntry() : nullptr),
          bounded(n >= kBoundsMinObjects) {
        if (bounded) bounds = segmentBounds(b);
    }
    // Entry i is a sphere at rest, tested without its object (both variants test alike). The
    // hit-bounds cull is left out for it: the test itself finds no hit outside them.
    bool staticSphere(uint32_t i) const { return kSpheres && spheres[i].w >= 0.0f; }
    // Any other entry: culled by the bounds, then its object's own test.
    bool test(RayBundle16& b, uint32_t i, LaneMask4 hits[4]) const {
        if (bounded && bounds.misses(objs[i]->hitBounds)) return false;
        return b.variant ? objs[i]->intersect16Alt(b, hits) : objs[i]->intersect16(b, hits);
    }
};

// The objects of leaf node against a 16-ray bundle whose intervals are set; each object shades
// the rays it hits. Returns those rays.
template <bool kSpheres>
inline int testLeaf16(RayBundle16& b, const KdNode& node) {
    const Leaf16<kSpheres> leaf(b, node);
    int result = 0;
    for (uint32_t i = 0; i < leaf.n; ++i) {
        LaneMask4 hits[4];
        const bool hit = leaf.staticSphere(i) ? intersectStaticSphere16(leaf.spheres[i], b, hits)
                                              : leaf.test(b, i, hits);
        if (!hit) continue;
        leaf.objs[i]->shade16(b, hits);
        result |= combineMasks(hits);
    }
    return result;
}

[[gnu::cold, gnu::noinline]] void traceDecision(const char* what, int axis, float split,
                                                float tMax) {
    if (!TraceOutput::enabled()) return;  // no formatting for lines nobody sees
    char buf[96];
    std::snprintf(buf, sizeof buf, "%s%d, %g, %g", what, axis, double(split), double(tMax));
    TraceOutput::line(buf);
}

// Lanes entirely on one side of the split: a ray moving up along the axis is below when it
// reaches the plane after its interval ends and above when it reached it before the interval
// starts; a ray moving down the other way round.
inline void classify(const Vec4f& ts, const LaneMask4& up, const Vec4f& tMin, const Vec4f& tMax,
                     LaneMask4& below, LaneMask4& above) {
    const LaneMask4 pastEnd = ts > tMax * kBundleFarEps;
    const LaneMask4 beforeStart = ts < tMin * kBundleNearEps;
    below = (up & pastEnd) | andNot(beforeStart, up);
    above = (up & beforeStart) | andNot(pastEnd, up);
}

bool traceNode(SingleRay& ray, const KdNode& node) {
    if (node.isLeaf()) {
        const float savedMin = ray.tMin, savedMax = ray.tMax;
        // The absolute widening never reaches behind the ray's origin: an object there would
        // show up in front of the observer.
        ray.tMin = std::fmax(0.0f, ray.tMin - kRayLeafWiden);
        ray.tMax += kRayLeafWiden;
        rtObjBase* const* objs = leafObjects(ray.leafBase, node);
        const uint32_t n = node.objectCount();
        float best = kNoDistance;
        const rtObjBase* nearest = nullptr;
        for (uint32_t i = 0; i < n; ++i) {
            float t = kNoDistance;
            if (ray.variant)
                objs[i]->intersect1Alt(ray, t);
            else
                objs[i]->intersect1(ray, t);
            if (t < best) {  // ties keep the earlier object
                best = t;
                nearest = objs[i];
            }
        }
        if (best < kNoDistance) {
            nearest->shade1(ray, best);
            ray.tMax = best;
            return true;
        }
        ray.tMin = savedMin;
        ray.tMax = savedMax;
        return false;
    }

    const int a = node.axis();
    const KdNode* child = children(ray.nodeBase, node);
    const float ts = (node.split() - ray.origin[a]) * ray.invDir[a];
    const bool up = ray.invDir[a] > 0.0f;  // +0 moves up, -0 down, as for the bundles
    const KdNode& nearChild = up ? child[0] : child[1];
    const KdNode& farChild = up ? child[1] : child[0];
    if (ts > ray.tMax * kRayEps) {
        if (ray.trace) traceDecision("SUB_NEAR: ", a, node.split(), ray.tMax);
        return traceNode(ray, nearChild);
    }
    if (ts < ray.tMin / kRayEps) {
        if (ray.trace) traceDecision("SUB_NEAR: ", a, node.split(), ray.tMax);
        return traceNode(ray, farChild);
    }
    if (ray.trace) traceDecision("SUB_BOTH: ", a, node.split(), ray.tMax);
    // A ray lying in the split plane (ts is NaN) keeps its whole interval on both sides.
    const bool inPlane = ts != ts;
    const float savedMin = ray.tMin, savedMax = ray.tMax;
    ray.tMax = inPlane ? savedMax : ts;
    if (traceNode(ray, nearChild)) return true;
    ray.tMin = inPlane ? savedMin : ts;
    ray.tMax = savedMax;
    if (traceNode(ray, farChild)) return true;
    ray.tMin = savedMin;
    return false;
}

}  // namespace

void checkTreeHasNodes(const KDTree& tree) {
    if (!tree.hasNodes()) programmingError("The tree does not have nodes");
}

namespace {

// The interval of a bundle's rays in the node being visited, as given (tMin, tMax) and widened
// by the traversal's epsilons (near = tMin x 0.9999, far = tMax x 1.0001).
struct Intervals16 {
    Vec4f tMin[4], tMax[4], near[4], far[4];

    void set(const __m128 lo[4], const __m128 hi[4]) {
        for (int g = 0; g < 4; ++g) {
            tMin[g] = lo[g];
            tMax[g] = hi[g];
            near[g] = tMin[g] * kBundleNearEps;
            far[g] = tMax[g] * kBundleFarEps;
        }
    }

    // Whether some ray can still be accepted in this interval: an object accepts only
    // near < t < far and t < tHit, and every node below narrows the interval.
    bool open(const Vec4f tHit[4]) const {
        LaneMask4 m = near[0] < min(far[0], tHit[0]);
        for (int g = 1; g < 4; ++g) m |= near[g] < min(far[g], tHit[g]);
        return any(m);
    }
};

// Direction signs of a bundle along one axis.
enum class Signs : uint8_t { Mixed, AllUp, AllDown };

// The leaf test of spheres at rest without their objects is a separate instantiation of each
// 16-ray traversal, so that trees without such spheres pay nothing for it.
template <bool kSpheres>
inline __attribute__((always_inline)) int traceBundle16PortableImpl(RayBundle16& b) {
    Entry16 stack[kStackDepth16];
    int top = 0;
    int flippedPending = 0;
    int result = 0;
    const KdNode start = b.node;
    const KdNode* node = &start;
    // All rays of a camera bundle share ray 0's origin; the direction signs along each axis, and
    // so the near child (by ray 0's sign), are fixed for the whole trace.
    const float origin0[3] = {b.origin[0].x, b.origin[0].y, b.origin[0].z};
    LaneMask4 up[3][4];
    bool lowerNear[3];
    Signs signs[3];
    for (int a = 0; a < 3; ++a) {
        int upBits = 0;
        for (int g = 0; g < 4; ++g) {
            up[a][g] = movingUp(component(b.invDir[g], a));
            upBits |= movemask(up[a][g]) << (4 * g);
        }
        lowerNear[a] = (upBits & 1) != 0;
        signs[a] = upBits == 0xffff ? Signs::AllUp : upBits == 0 ? Signs::AllDown : Signs::Mixed;
    }
    Intervals16 iv;
    iv.set(&b.tMin[0].m, &b.tMax[0].m);
    for (;;) {
        while (!node->isLeaf()) {
            const int a = node->axis();
            const KdNode* child = children(b.nodeBase, *node);
            const Vec4f rel(node->split() - origin0[a]);
            Vec4f ts[4];
            for (int g = 0; g < 4; ++g) ts[g] = rel * component(b.invDir[g], a);
            // A ray moving up lies below the split when it reaches the plane after its interval
            // ends and above when it reached it before the interval starts; a ray moving down
            // the other way round.
            LaneMask4 pastEnd(true), beforeStart(true);
            if (signs[a] != Signs::Mixed) {
                for (int g = 0; g < 4; ++g) {
                    pastEnd &= ts[g] > iv.far[g];
                    beforeStart &= ts[g] < iv.near[g];
                }
                const bool allUp = signs[a] == Signs::AllUp;
                if (all(allUp ? pastEnd : beforeStart)) {
                    if (b.trace) traceDecision("SUB_NEARF: ", a, node->split(), iv.tMax[0].x);
                    node = child;
                    continue;
                }
                if (all(allUp ? beforeStart : pastEnd)) {
                    if (b.trace) traceDecision("SUB_FARF: ", a, node->split(), iv.tMax[0].x);
                    node = child + 1;
                    continue;
                }
            } else {
                LaneMask4 below(true), above(true);
                for (int g = 0; g < 4; ++g) {
                    LaneMask4 lo, hi;
                    classify(ts[g], up[a][g], iv.tMin[g], iv.tMax[g], lo, hi);
                    below &= lo;
                    above &= hi;
                }
                if (all(below)) {
                    if (b.trace) traceDecision("SUB_NEARF: ", a, node->split(), iv.tMax[0].x);
                    node = child;
                    continue;
                }
                if (all(above)) {
                    if (b.trace) traceDecision("SUB_FARF: ", a, node->split(), iv.tMax[0].x);
                    node = child + 1;
                    continue;
                }
            }
            if (b.trace) traceDecision("SUB_BOTH: ", a, node->split(), iv.tMax[0].x);

            // Both children: the far one waits on the stack with the rays' pieces beyond the
            // plane, the near one is visited with the pieces before it.
            TAVOLIN_DCHECK(top < kStackDepth16);
            Entry16& e = stack[top++];
            LaneMask4 flip;
            __m128 nearMin[4], nearMax[4];
            for (int g = 0; g < 4; ++g) {
                Vec4f lo = iv.tMin[g], hi = iv.tMax[g], farMin, farMax;
                flip |= splitInterval(ts[g], up[a][g], lowerNear[a], lo, hi, farMin, farMax);
                e.tMin[g] = farMin;
                e.tMax[g] = farMax;
                nearMin[g] = lo;
                nearMax[g] = hi;
            }
            e.flipped = any(flip);
            flippedPending += e.flipped;
            e.far = lowerNear[a] ? child + 1 : child;
            node = lowerNear[a] ? child : child + 1;
            iv.set(nearMin, nearMax);
            // A near child in which no ray can be accepted is skipped. Only while some ray is
            // unhit: with all 16 hit, the early return below decides when to stop.
            if (result != 0xffff && !iv.open(b.tHit)) goto pop;
        }

        {
            const uint32_t n = node->objectCount();
            if (n != 0) {
                b.node = *node;
                for (int g = 0; g < 4; ++g) {
                    b.tMin[g] = iv.near[g];
                    b.tMax[g] = iv.far[g];
                }
                result |= testLeaf16<kSpheres>(b, *node);
                // Every ray hit: done, unless a ray still has its nearer piece pending.
                if (result == 0xffff && flippedPending == 0) return result;
            }
        }

    pop:
        for (;;) {
            if (top == 0) return result;
            const Entry16& e = stack[--top];
            flippedPending -= e.flipped;
            iv.set(e.tMin, e.tMax);
            node = e.far;
            if (result == 0xffff || iv.open(b.tHit)) break;
        }
    }
}

TAVOLIN_HOT_KERNEL int traceBundle16PortableSpheres(RayBundle16& b) {
    return traceBundle16PortableImpl<true>(b);
}

TAVOLIN_HOT_KERNEL int traceBundle16PortablePlain(RayBundle16& b) {
    return traceBundle16PortableImpl<false>(b);
}

}  // namespace

int traceBundle16Portable(RayBundle16& b) {
    return b.leafSpheres ? traceBundle16PortableSpheres(b) : traceBundle16PortablePlain(b);
}

#if TAVOLIN_WIDE_KERNELS
namespace {

// traceBundle16Portable on 16-lane registers: every interval and decision is made with the same
// operations lane by lane, so both find the same hits bit for bit, with a quarter of the
// instructions per node.
struct alignas(64) Entry16Wide {
    Vec16f tMin, tMax;
    const KdNode* far;
    bool flipped;
};

// Intervals16 in one register each.
struct Intervals16Wide {
    Vec16f tMin, tMax, near, far;

    TAVOLIN_WIDE_INLINE void set(Vec16f lo, Vec16f hi) {
        tMin = lo;
        tMax = hi;
        near = lo * wide(kBundleNearEps);
        far = hi * wide(kBundleFarEps);
    }
    TAVOLIN_WIDE_INLINE bool open(const Vec4f tHit[4]) const {
        return (near < min(far, load16(tHit))) != 0;
    }
};

// testLeaf16 with the spheres at rest tested inline, from the directions the traversal keeps
// in registers: the same tests, without gathering the bundle's directions and calling out for
// every sphere.
template <bool kSpheres>
TAVOLIN_WIDE_INLINE int testLeaf16Wide(RayBundle16& b, const KdNode& node,
                                       const WideDirections& dirs) {
    if (!kSpheres) return testLeaf16<false>(b, node);
    const Leaf16<true> leaf(b, node);
    int result = 0;
    for (uint32_t i = 0; i < leaf.n; ++i) {
        LaneMask4 hits[4];
        if (leaf.staticSphere(i)) {
            const Mask16 accept = intersectStaticSphereWide(leaf.spheres[i], dirs, b);
            if (accept == 0) continue;
            for (int g = 0; g < 4; ++g) hits[g] = group(accept, g);
        } else if (!leaf.test(b, i, hits)) {
            continue;
        }
        leaf.objs[i]->shade16(b, hits);
        result |= combineMasks(hits);
    }
    return result;
}

template <bool kSpheres>
TAVOLIN_WIDE_KERNEL int traceBundle16Wide(RayBundle16& b) {
    Entry16Wide stack[kStackDepth16];
    int top = 0;
    int flippedPending = 0;
    int result = 0;
    const KdNode start = b.node;
    const KdNode* node = &start;
    const float origin0[3] = {b.origin[0].x, b.origin[0].y, b.origin[0].z};
    // Per axis: the rays' inverse directions, the rays moving up, and whether ray 0 does (it
    // picks the near child for the whole bundle).
    Vec16f invDir[3];
    Mask16 up[3];
    bool lowerNear[3];
    for (int a = 0; a < 3; ++a) {
        invDir[a] = join(component(b.invDir[0], a), component(b.invDir[1], a),
                         component(b.invDir[2], a), component(b.invDir[3], a));
        up[a] = invDir[a] > wide(0.0f);
        lowerNear[a] = (up[a] & 1) != 0;
    }
    const WideDirections dirs = wideDirections(b);
    Intervals16Wide iv;
    iv.set(load16(b.tMin), load16(b.tMax));
    for (;;) {
        while (!node->isLeaf()) {
            const int a = node->axis();
            const KdNode* child = children(b.nodeBase, *node);
            const Vec16f ts = wide(node->split() - origin0[a]) * invDir[a];
            // classify() for all sixteen rays; with one sign for all rays below is pastEnd or
            // beforeStart alone, the portable kernel's shortcut.
            const Mask16 pastEnd = ts > iv.far;
            const Mask16 beforeStart = ts < iv.near;
            const Mask16 u = up[a];
            const Mask16 below = (u & pastEnd) | (~u & beforeStart);
            const Mask16 above = (u & beforeStart) | (~u & pastEnd);
            if (below == kAllLanes16) {
                if (b.trace) traceDecision("SUB_NEARF: ", a, node->split(), first(iv.tMax));
                node = child;
                continue;
            }
            if (above == kAllLanes16) {
                if (b.trace) traceDecision("SUB_FARF: ", a, node->split(), first(iv.tMax));
                node = child + 1;
                continue;
            }
            if (b.trace) traceDecision("SUB_BOTH: ", a, node->split(), first(iv.tMax));

            // splitInterval() for all sixteen rays.
            TAVOLIN_DCHECK(top < kStackDepth16);
            Entry16Wide& e = stack[top++];
            const Mask16 flip = lowerNear[a] ? Mask16(~u) : u;
            const Vec16f firstEnd = min(ts, iv.tMax);
            const Vec16f secondStart = max(ts, iv.tMin);
            e.tMin = select(flip, iv.tMin, secondStart);
            e.tMax = select(flip, firstEnd, iv.tMax);
            const Vec16f nearMin = select(flip, secondStart, iv.tMin);
            const Vec16f nearMax = select(flip, iv.tMax, firstEnd);
            e.flipped = flip != 0;
            flippedPending += e.flipped;
            e.far = lowerNear[a] ? child + 1 : child;
            node = lowerNear[a] ? child : child + 1;
            iv.set(nearMin, nearMax);
            if (result != 0xffff && !iv.open(b.tHit)) goto pop;
        }

        {
            const uint32_t n = node->objectCount();
            if (n != 0) {
                b.node = *node;
                store16(iv.near, b.tMin);
                store16(iv.far, b.tMax);
                result |= testLeaf16Wide<kSpheres>(b, *node, dirs);
                if (result == 0xffff && flippedPending == 0) return result;
            }
        }

    pop:
        for (;;) {
            if (top == 0) return result;
            const Entry16Wide& e = stack[--top];
            flippedPending -= e.flipped;
            iv.set(e.tMin, e.tMax);
            node = e.far;
            if (result == 0xffff || iv.open(b.tHit)) break;
        }
    }
}

}  // namespace

int traceBundle16(RayBundle16& b) {
    if (hasWideKernels())
        return b.leafSpheres ? traceBundle16Wide<true>(b) : traceBundle16Wide<false>(b);
    return traceBundle16Portable(b);
}
#else
int traceBundle16(RayBundle16& b) { return traceBundle16Portable(b); }
#endif

namespace {

template <bool kSpheres>
inline __attribute__((always_inline)) int traceBundle4Impl(RayBundle4& b) {
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
                node = child;
            } else if (all(above)) {
                if (b.trace) traceDecision("SUB_FARF: ", a, node->split(), b.tMax.x);
                node = child + 1;
            } else {
                if (b.trace) traceDecision("SUB_BOTH: ", a, node->split(), b.tMax.x);
                const bool lowerNear = up[a].lane(0);
                TAVOLIN_DCHECK(top < kStackDepth4);
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

        {
            const uint32_t n = node->objectCount();
            if (n != 0) {
                b.node = *node;
                b.tMin = near;
                b.tMax = far;
                rtObjBase* const* objs = leafObjects(b.leafBase, *node);
                const Vec4f* spheres = kSpheres ? b.leafSpheres + node->firstEntry() : nullptr;
                const bool bounded = n >= kBoundsMinObjects;
                SegmentBounds bounds;
                if (bounded) bounds = segmentBounds(b);
                for (uint32_t i = 0; i < n; ++i) {
                    LaneMask4 hits;
                    if (kSpheres && spheres[i].w >= 0.0f) {  // as in testLeaf16
                        hits = intersectStaticSphere4(spheres[i], b, b.variant != 0);
                    } else {
                        if (bounded && bounds.misses(objs[i]->hitBounds)) continue;
                        hits = b.variant ? objs[i]->intersect4Alt(b) : objs[i]->intersect4(b);
                    }
                    if (any(hits)) {
                        objs[i]->shade4(b, hits);
                        result |= movemask(hits);
                    }
                }
                if (result == 0xf && flippedPending == 0) return result;
            }
        }

    pop:
        for (;;) {
            if (top == 0) return result;
            const Entry4& e = stack[--top];
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

TAVOLIN_HOT_KERNEL int traceBundle4Spheres(RayBundle4& b) { return traceBundle4Impl<true>(b); }

TAVOLIN_HOT_KERNEL int traceBundle4Plain(RayBundle4& b) { return traceBundle4Impl<false>(b); }

}  // namespace

int traceBundle4(RayBundle4& b) {
    return b.leafSpheres ? traceBundle4Spheres(b) : traceBundle4Plain(b);
}

bool traceRay(SingleRay& ray) { return traceNode(ray, ray.node); }
