// What the bundle traversals (kdtraverse.cpp, kdtraverse16.cpp) share: how a node and a leaf
// are decoded, how an interval splits at a plane and is clipped to a box (ray by ray, or a
// whole bundle passing it by), and the bounds a leaf test culls objects by.
// Internal to the traversals.
#pragma once

#include <cstdint>

#include "accel/kdtraverse.h"
#include "geometry/boundingbox.h"
#include "geometry/kdnode.h"
#include "geometry/raybundle.h"
#include "scene/rtobjbase.h"

namespace kdsteps {

static_assert(sizeof(Vec3x4) == 3 * sizeof(Vec4f), "Vec3x4 is x, y, z in a row");

// Component a (0 = x, 1 = y, 2 = z) of a structure-of-arrays group.
inline const Vec4f& component(const Vec3x4& v, int a) {
    return reinterpret_cast<const Vec4f*>(&v)[a];
}

// The two children of an interior node: lower at [0], upper at [1].
//
// The traversals hold the node they visit by its address and read its two words where they
// need them. Held by value, the eight-byte node went through a vector register (one load, then
// two extractions), which lengthened the chain of dependent loads down the tree by a few cycles
// a step: the step's decision waits on the node, and the next node's address on the decision.
inline const KdNode* children(const KdNode* base, const KdNode& n) {
    return reinterpret_cast<const KdNode*>(reinterpret_cast<const char*>(base) + n.byteOffset());
}

// The first of a leaf's objects in the leaf list (indexed: the shared byte-offset decode assumes
// four-byte entries, and object pointers are eight bytes here).
inline rtObjBase* const* leafObjects(rtObjBase* const* base, const KdNode& n) {
    return base + n.firstEntry();
}

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

// Clips four rays' intervals [tMin, tMax] to the box of the bounds node whose child is child:
// t = (bound - origin) inv along each axis, as a split's distance, with the box's entry and
// exit distances widened by kBoundsEps. A ray that misses the box gets an empty interval that
// ends where its piece of the cell ended, with its start no later than that end (max(tMin,
// tMax), which tells a walk where a ray's hit is final, never moves past the cell), and tMax =
// -inf, so that no object accepts it and no split divides it. A ray parallel to an axis and
// lying in a face's plane along it (0 x inf is NaN) is on the box's border there: that axis
// leaves its interval as it is. origin: the rays' origins along each axis.
inline void clipToBounds(const KdNode* child, const Vec4f origin[3], const Vec4f invDir[3],
                         Vec4f& tMin, Vec4f& tMax) {
    const Vec4f inf(__builtin_inff());
    Vec4f entry = -inf, exit = inf;
    for (int a = 0; a < 3; ++a) {
        const Vec4f t1 = (Vec4f(KdNode::bound(child, a)) - origin[a]) * invDir[a];
        const Vec4f t2 = (Vec4f(KdNode::bound(child, a + 3)) - origin[a]) * invDir[a];
        const LaneMask4 inPlane = (t1 != t1) | (t2 != t2);
        entry = max(select(inPlane, -inf, min(t1, t2)), entry);
        exit = min(select(inPlane, inf, max(t1, t2)), exit);
    }
    const Vec4f lo = max(entry * Vec4f(kBoundsEps), tMin);
    const Vec4f hi = min(exit / Vec4f(kBoundsEps), tMax);
    const LaneMask4 missed = lo > hi;
    tMin = select(missed, min(lo, max(tMin, tMax)), lo);
    tMax = select(missed, Vec4f(-__builtin_inff()), hi);
}

// A 16-ray bundle from one origin as clipToBounds sees its rays all at once: per axis the least
// and the greatest inverse direction. Rounding keeps order, so over the rays the least and
// greatest product (bound - origin) x inverse direction are the products with these two,
// exactly, and they bound every ray's entry into a box and exit from it. Where the latest least
// entry, widened as the clip widens it, lies beyond the earliest greatest exit, the clip would
// empty every ray's interval: a walk that meets the box knows the bundle passes it by in a few
// 4-lane operations instead of sixteen rays' slab tests (in a sparse cloud of boxes, most of
// the bounds nodes a bundle meets). An axis along which some ray does not move (an infinite
// inverse) is left out: the clip skips it for a ray lying in a face's plane, and the bounds
// hold without it.
struct BundleSlabs {
    // True only where the clip to the box of the bounds node whose child is child leaves none
    // of b's rays an interval. The bundle's side is worked out at the first box: most walks of
    // a small scene meet none, and there it cost 6 % of a frame.
    bool missesAll(const RayBundle16& b, const KdNode* child) {
        if (!ready) prepare(b);
        // The box's six floats are the first words of the six nodes before child: three loads
        // and three shuffles take them, in place of six loads of one float put together lane
        // by lane.
        const float* words = reinterpret_cast<const float*>(child - KdNode::kBoundsSlots);
        const __m128 s01 = _mm_loadu_ps(words), s23 = _mm_loadu_ps(words + 4),
                     s45 = _mm_loadu_ps(words + 8);
        const __m128 s2345 = _mm_shuffle_ps(s23, s45, _MM_SHUFFLE(2, 0, 2, 0));
        const Vec4f lo(_mm_shuffle_ps(s01, s23, _MM_SHUFFLE(2, 0, 2, 0)));      // w: upper x
        const Vec4f hi(_mm_shuffle_ps(s2345, s2345, _MM_SHUFFLE(3, 3, 2, 1)));  // w: upper z
        const Vec4f toLo = lo - origin, toHi = hi - origin;
        const LaneMask4 loAhead = toLo >= Vec4f(0.0f), hiAhead = toHi >= Vec4f(0.0f);
        const Vec4f least =
            min(toLo * select(loAhead, invLo, invHi), toHi * select(hiAhead, invLo, invHi));
        const Vec4f greatest =
            max(toLo * select(loAhead, invHi, invLo), toHi * select(hiAhead, invHi, invLo));
        const Vec4f inf(__builtin_inff());
        // The clip widens an entry to entry x kBoundsEps and an exit to exit / kBoundsEps. The
        // exit is widened here by a product at least as big as that quotient, which takes
        // fewer cycles than a division: the bundle is then told it passes the box by only
        // where the quotient would tell it too (and otherwise the clip finds that out itself).
        const Vec4f entry = select(axes, least, -inf) * Vec4f(kBoundsEps);
        const Vec4f exitRaw = select(axes, greatest, inf);
        const Vec4f exit =
            exitRaw * select(exitRaw >= Vec4f(0.0f), Vec4f(kWidenUp), Vec4f(kWidenDown));
        // Some entry beyond some exit, every pair compared in four comparisons instead of the
        // two reductions to one entry and one exit.
        const Vec4f exit1(_mm_shuffle_ps(exit, exit, _MM_SHUFFLE(0, 3, 2, 1)));
        const Vec4f exit2(_mm_shuffle_ps(exit, exit, _MM_SHUFFLE(1, 0, 3, 2)));
        const Vec4f exit3(_mm_shuffle_ps(exit, exit, _MM_SHUFFLE(2, 1, 0, 3)));
        return any((entry > exit) | (entry > exit1) | (entry > exit2) | (entry > exit3));
    }

private:
    void prepare(const RayBundle16& b) {
        origin = Vec4f(b.origin[0].x, b.origin[0].y, b.origin[0].z, 0.0f);
        float lo[3], hi[3];
        int finite = 0;
        for (int a = 0; a < 3; ++a) {
            Vec4f least = component(b.invDir[0], a), greatest = least;
            LaneMask4 bounded = abs(least) < Vec4f(__builtin_inff());
            for (int g = 1; g < 4; ++g) {
                const Vec4f inv = component(b.invDir[g], a);
                least = min(least, inv);
                greatest = max(greatest, inv);
                bounded &= abs(inv) < Vec4f(__builtin_inff());
            }
            lo[a] = laneMin(least);
            hi[a] = laneMax(greatest);
            finite |= int(all(bounded)) << a;
        }
        invLo = Vec4f(lo[0], lo[1], lo[2], 0.0f);
        invHi = Vec4f(hi[0], hi[1], hi[2], 0.0f);
        axes = LaneMask4::fromBits(finite);
        ready = true;
    }

    // 1 / kBoundsEps rounded well up, and well down: with an exit of either sign, the product
    // is never below the float quotient (rounding keeps order).
    static constexpr float kWidenUp = float(1.0 / double(kBoundsEps) * (1.0 + 0x1p-20));
    static constexpr float kWidenDown = float(1.0 / double(kBoundsEps) * (1.0 - 0x1p-20));

    bool ready = false;
    Vec4f invLo, invHi, origin;
    LaneMask4 axes;  // the axes taken into account (x, y, z; never w)
};

// The box around the parts of a leaf's rays where an object can still accept a hit: for each
// ray the points o + t d with tMin < t < min(tMax, tHit), grown by kHitBoundsMargin of the
// coordinates' magnitude. An object whose hit bounds miss it cannot accept any of the rays
// (hits beyond tHit are refused anyway), so its test is skipped without changing a result.
struct SegmentBounds {
    float lo[3], hi[3];

    bool misses(const rtObjBounded& o) const {
        return o.hitLo[0] > hi[0] || o.hitHi[0] < lo[0] || o.hitLo[1] > hi[1] ||
               o.hitHi[1] < lo[1] || o.hitLo[2] > hi[2] || o.hitHi[2] < lo[2];
    }
};

// The bounds of a bundle's segments in the leaf it is at (its tMin, tMax and tHit).
SegmentBounds segmentBounds(const RayBundle16& b);
// Four rays: objects see each lane's own origin or the first lane's (the sphere tests and the
// Alt entries), so where the origins differ the bounds cover both.
SegmentBounds segmentBounds(const RayBundle4& b);

// Leaves with at least this many objects test the bounds first: below it the bounds cost more
// than the tests they save.
constexpr uint32_t kBoundsMinObjects = 3;

// Writes one traversal decision to the trace output (cold: only traced rays call it).
[[gnu::cold, gnu::noinline]] void traceDecision(const char* what, int axis, float split,
                                                float tMax);

}  // namespace kdsteps
