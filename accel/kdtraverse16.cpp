// Kd-tree traversal by 16-ray bundles (4 x 4 packets): the portable kernel on 4-lane groups and
// its twin on 16-lane registers, which find the same hits bit for bit. The traversal's order is
// that of the 4-ray bundles (kdtraverse.cpp), decided once for all sixteen rays.
#include <immintrin.h>

#include <cmath>
#include <cstdint>

#include "accel/kdtraverse.h"
#include "accel/kdtraversesteps.h"
#include "base/programmingerror.h"
#include "geometry/vec16f.h"
#include "scene/rtobjbase.h"
#include "scene/rtobjcube.h"
#include "scene/rtobjplane.h"
#include "scene/rtobjsphere.h"
#include "scene/staticsphere.h"

using namespace kdsteps;

namespace {

// Pending far child of a bundle traversal: the rays' intervals inside it, and whether some rays
// meet the two children in the opposite order (their nearer piece is still pending). Raw
// registers, so that the fixed stack costs nothing to set up.
struct alignas(16) Entry16 {
    __m128 tMin[4];
    __m128 tMax[4];
    const KdNode* far;
    bool flipped;
};

// How a 16-ray walk meets the spheres at rest: through their objects (the tree keeps no copy of
// them), from the tree's copy beside its leaf list and shaded at once, or from the copy and
// shaded when the walk ends (big scenes, see DeferredShades). Each is an instantiation of its
// own, so that a walk pays only for what it does.
enum class Spheres { Objects, Beside, BesideDeferred };

// A leaf as a 16-ray leaf test reads it: its objects, the copy of its spheres at rest (with
// kSpheres), and the bundle's segment bounds where the leaf holds enough objects to pay for them.
template <bool kSpheres>
struct Leaf16 {
    uint32_t n;
    rtObjBase* const* objs;
    const Vec4f* spheres;
    // The bounds are worked out at the first entry that reads them: a leaf of spheres at rest
    // never does. Later bounds see the hits found before them in this leaf, so they are as tight
    // or tighter, and still keep every segment a ray can be accepted on.
    bool bounded;
    bool boundsSet = false;
    SegmentBounds bounds;

    Leaf16(RayBundle16& b, const KdNode& node)
        : n(node.objectCount()),
          objs(leafObjects(b.leafBase, node)),
          spheres(kSpheres ? b.leafSpheres + node.firstEntry() : nullptr),
          bounded(n >= kBoundsMinObjects) {}
    // Entry i is a sphere at rest, tested without its object (both variants test alike). The
    // hit-bounds cull is left out for it: the test itself finds no hit outside them.
    bool staticSphere(uint32_t i) const { return kSpheres && spheres[i].w >= 0.0f; }
    // Any other entry: culled by the bounds it keeps, then its object's own test.
    bool test(RayBundle16& b, uint32_t i, LaneMask4 hits[4]) {
        if (culled(b, i)) return false;
        return b.variant ? objs[i]->intersect16Alt(b, hits) : objs[i]->intersect16(b, hits);
    }
    // Whether the hit bounds that entry i keeps miss every segment of the bundle.
    bool culled(const RayBundle16& b, uint32_t i) {
        const rtObjBounded* kept = bounded ? keptHitBounds(*objs[i]) : nullptr;
        if (!kept) return false;
        if (!boundsSet) {
            bounds = segmentBounds(b);
            boundsSet = true;
        }
        return bounds.misses(*kept);
    }
};

// The objects that a 16-ray walk found nearest so far, lane by lane, for the spheres at rest,
// whose shading waits until the walk ends (RayBundle16::deferShading). Shading reads the object,
// and in a big scene the object is seldom in the cache: with the shading deferred, its load
// starts at the hit and has the rest of the walk to arrive (2 to 4 % of a frame of a belt of
// 60,000 spheres). A lane shaded meanwhile by an object that shades at once drops its entry, so
// that each lane is shaded last by its nearest object, as before.
struct DeferredShades {
    const rtObjBase* object[16];
    int lanes = 0;

    void add(const rtObjBase* hit, int accept) {
        _mm_prefetch(reinterpret_cast<const char*>(hit), _MM_HINT_T0);
        for (int m = accept; m != 0; m &= m - 1) object[__builtin_ctz(m)] = hit;
        lanes |= accept;
    }
    void shadedAtOnce(int shaded) { lanes &= ~shaded; }
    // Each object shades all the lanes it holds at once.
    void shade(RayBundle16& b) {
        while (lanes != 0) {
            const rtObjBase* hit = object[__builtin_ctz(lanes)];
            int same = 0;
            for (int m = lanes; m != 0; m &= m - 1)
                if (object[__builtin_ctz(m)] == hit) same |= m & -m;
            shadeLanes(b, hit, same);
        }
    }
#if TAVOLIN_WIDE_KERNELS
    // add and shade on 16-lane registers: with a loop over the lanes the belt gained nothing.
    TAVOLIN_WIDE_INLINE void addWide(const rtObjBase* hit, Mask16 accept) {
        _mm_prefetch(reinterpret_cast<const char*>(hit), _MM_HINT_T0);
        const __m512i p = broadcast(hit);
        _mm512_mask_storeu_epi64(object, __mmask8(accept), p);
        _mm512_mask_storeu_epi64(object + 8, __mmask8(accept >> 8), p);
        lanes |= accept;
    }
    TAVOLIN_WIDE_INLINE void shadeWide(RayBundle16& b) {
        while (lanes != 0) {
            const rtObjBase* hit = object[__builtin_ctz(lanes)];
            const __m512i p = broadcast(hit);
            const unsigned low = _mm512_cmpeq_epi64_mask(_mm512_loadu_si512(object), p);
            const unsigned high = _mm512_cmpeq_epi64_mask(_mm512_loadu_si512(object + 8), p);
            shadeLanes(b, hit, lanes & int(low | (high << 8)));
        }
    }
    TAVOLIN_WIDE_INLINE static __m512i broadcast(const rtObjBase* hit) {
        return _mm512_set1_epi64(static_cast<long long>(reinterpret_cast<intptr_t>(hit)));
    }
#endif

private:
    void shadeLanes(RayBundle16& b, const rtObjBase* hit, int same) {
        LaneMask4 hits[4];
        for (int g = 0; g < 4; ++g) hits[g] = LaneMask4::fromBits((same >> (4 * g)) & 0xf);
        hit->shade16(b, hits);
        lanes &= ~same;
    }
};

// The objects of leaf node against a 16-ray bundle whose intervals are set; each object shades
// the rays it hits (with kMode BesideDeferred the spheres at rest when the walk ends). Returns
// those rays.
template <Spheres kMode>
inline int testLeaf16(RayBundle16& b, const KdNode& node, DeferredShades& deferred) {
    Leaf16<kMode != Spheres::Objects> leaf(b, node);
    int result = 0;
    for (uint32_t i = 0; i < leaf.n; ++i) {
        LaneMask4 hits[4];
        if (leaf.staticSphere(i)) {
            if (!intersectStaticSphere16(leaf.spheres[i], b, hits)) continue;
            const int accept = combineMasks(hits);
            if constexpr (kMode == Spheres::BesideDeferred)
                deferred.add(leaf.objs[i], accept);
            else
                leaf.objs[i]->shade16(b, hits);
            result |= accept;
            continue;
        }
        if (!leaf.test(b, i, hits)) continue;
        leaf.objs[i]->shade16(b, hits);
        const int shaded = combineMasks(hits);
        if constexpr (kMode == Spheres::BesideDeferred) deferred.shadedAtOnce(shaded);
        result |= shaded;
    }
    return result;
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

}  // namespace

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

    // Whether every ray's hit lies within its piece of this cell (or before it, for a ray
    // whose piece is empty), so that no cell still pending can hold a nearer one.
    bool settled(const Vec4f tHit[4]) const {
        LaneMask4 m = tHit[0] <= max(tMin[0], tMax[0]);
        for (int g = 1; g < 4; ++g) m &= tHit[g] <= max(tMin[g], tMax[g]);
        return all(m);
    }
};

// Direction signs of a bundle along one axis.
enum class Signs : uint8_t { Mixed, AllUp, AllDown };

template <Spheres kMode>
inline __attribute__((always_inline)) int walk16Portable(RayBundle16& b, DeferredShades& deferred) {
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
    BundleSlabs slabs;
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

        if (node->objectCount() == 0 && node->isBounds()) {
            const KdNode* child = b.nodeBase + node->boundsChild();
            if (b.trace) traceDecision("BOUNDS: ", KdNode::kBoundsAxis, iv.tMin[0].x, iv.tMax[0].x);
            // As the wide walk: a box all rays pass by ends the visit as the clip would.
            if (result != 0xffff && slabs.missesAll(b, child)) goto pop;
            const Vec4f origin[3] = {Vec4f(origin0[0]), Vec4f(origin0[1]), Vec4f(origin0[2])};
            __m128 lo[4], hi[4];
            for (int g = 0; g < 4; ++g) {
                const Vec4f inv[3] = {b.invDir[g].x, b.invDir[g].y, b.invDir[g].z};
                Vec4f tMin = iv.tMin[g], tMax = iv.tMax[g];
                clipToBounds(child, origin, inv, tMin, tMax);
                lo[g] = tMin;
                hi[g] = tMax;
            }
            iv.set(lo, hi);
            node = child;
            if (result == 0xffff || iv.open(b.tHit)) continue;
            goto pop;
        }
        {
            const uint32_t n = node->objectCount();
            if (n != 0) {
                b.node = *node;
                for (int g = 0; g < 4; ++g) {
                    b.tMin[g] = iv.near[g];
                    b.tMax[g] = iv.far[g];
                }
                result |= testLeaf16<kMode>(b, *node, deferred);
                // Every ray hit inside this cell: done, unless a ray still has its nearer piece
                // pending. A hit the leaf's widening let in from beyond the cell is not final:
                // the next cell may hold a nearer one.
                if (result == 0xffff && flippedPending == 0 && iv.settled(b.tHit)) return result;
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

template <Spheres kMode>
TAVOLIN_HOT_KERNEL int traceBundle16PortableIn(RayBundle16& b) {
    DeferredShades deferred;
    const int result = walk16Portable<kMode>(b, deferred);
    if constexpr (kMode == Spheres::BesideDeferred) deferred.shade(b);
    return result;
}

}  // namespace

int traceBundle16Portable(RayBundle16& b) {
    if (!b.leafSpheres) return traceBundle16PortableIn<Spheres::Objects>(b);
    return b.deferShading ? traceBundle16PortableIn<Spheres::BesideDeferred>(b)
                          : traceBundle16PortableIn<Spheres::Beside>(b);
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
    TAVOLIN_WIDE_INLINE bool settled(const Vec4f tHit[4]) const {
        return (load16(tHit) <= max(tMin, tMax)) == kAllLanes16;
    }
};

// Leaf16::test's object test, for a cube from the directions the walk keeps in registers. Out
// of line like the call it replaces, so that the cube's long test stays out of the walk's loop.
[[gnu::noinline]] TAVOLIN_WIDE_KERNEL bool testObjectWide(const rtObjBase& object,
                                                          const WideDirections& dirs,
                                                          RayBundle16& b, LaneMask4 hits[4]) {
    if (const rtObjCube* cube = cubeOf(object)) return cube->intersectWide(b, dirs, hits);
    return b.variant ? object.intersect16Alt(b, hits) : object.intersect16(b, hits);
}

// testLeaf16 with the spheres at rest tested inline, from the directions the traversal keeps in
// registers: the same tests, without gathering the bundle's directions and calling out for every
// sphere. Where spheres at rest are not most of the entries (no copy beside the leaf list), planes
// are tested inline too and cubes take the directions (0.88 of the time on a cloud of 30,000
// squares, 0.92 on the street); among spheres, that code cost the belt 2 to 3 %, and its few
// planes and boxes keep their calls.
template <Spheres kMode>
TAVOLIN_WIDE_INLINE int testLeaf16Wide(RayBundle16& b, const KdNode& node,
                                       const WideDirections& dirs, DeferredShades& deferred) {
    Leaf16<kMode != Spheres::Objects> leaf(b, node);
    int result = 0;
    for (uint32_t i = 0; i < leaf.n; ++i) {
        // The lane masks are made only for an entry that shades: zeroing them for every sphere
        // a bundle misses took 2 % of the walk in a cloud of spheres.
        if (leaf.staticSphere(i)) {
            const Mask16 accept = intersectStaticSphereWide(leaf.spheres[i], dirs, b);
            if (accept == 0) continue;
            result |= accept;
            if constexpr (kMode == Spheres::BesideDeferred) {
                deferred.addWide(leaf.objs[i], accept);
                continue;
            }
            LaneMask4 hits[4];
            for (int g = 0; g < 4; ++g) hits[g] = group(accept, g);
            leaf.objs[i]->shade16(b, hits);
            continue;
        }
        if (leaf.culled(b, i)) continue;
        LaneMask4 hits[4];
        if constexpr (kMode == Spheres::Objects) {
            if (const PlaneFace* face = parallelogramOf(*leaf.objs[i])) {
                const Mask16 accept = intersectParallelogramWide(*face, dirs, b);
                if (accept == 0) continue;
                for (int g = 0; g < 4; ++g) hits[g] = group(accept, g);
            } else if (!testObjectWide(*leaf.objs[i], dirs, b, hits)) {
                continue;
            }
        } else if (!(b.variant ? leaf.objs[i]->intersect16Alt(b, hits)
                               : leaf.objs[i]->intersect16(b, hits))) {
            continue;
        }
        leaf.objs[i]->shade16(b, hits);
        const int shaded = combineMasks(hits);
        if constexpr (kMode == Spheres::BesideDeferred) deferred.shadedAtOnce(shaded);
        result |= shaded;
    }
    return result;
}

template <Spheres kMode>
TAVOLIN_WIDE_INLINE int walk16Wide(RayBundle16& b, DeferredShades& deferred) {
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
    // classify()'s outcomes as the bits that must be set in (pastEnd | beforeStart << 16): all
    // rays lie below a split when pastEnd holds for those moving up and beforeStart for the
    // others, above it the other way round.
    uint32_t allBelow[3], allAbove[3];
    for (int a = 0; a < 3; ++a) {
        invDir[a] = join(component(b.invDir[0], a), component(b.invDir[1], a),
                         component(b.invDir[2], a), component(b.invDir[3], a));
        up[a] = invDir[a] > wide(0.0f);
        lowerNear[a] = (up[a] & 1) != 0;
        const uint32_t u = up[a], d = uint32_t(Mask16(~up[a]));
        allBelow[a] = u | d << 16;
        allAbove[a] = d | u << 16;
    }
    const WideDirections dirs = wideDirections(b);
    BundleSlabs slabs;
    Intervals16Wide iv;
    iv.set(load16(b.tMin), load16(b.tMax));
    for (;;) {
        while (!node->isLeaf()) {
            const int a = node->axis();
            const KdNode* child = children(b.nodeBase, *node);
            const Vec16f ts = wide(node->split() - origin0[a]) * invDir[a];
            // classify() for all sixteen rays, each outcome one test of both masks against its
            // pattern: the lanes' selections and their AND were a third of a step's instructions,
            // and steps are most of a frame in a sparse cloud of boxes.
            const Mask16 pastEnd = ts > iv.far;
            const Mask16 beforeStart = ts < iv.near;
            const uint32_t sides = uint32_t(pastEnd) | uint32_t(beforeStart) << 16;
            if ((~sides & allBelow[a]) == 0) {
                node = child;
                continue;
            }
            if ((~sides & allAbove[a]) == 0) {
                node = child + 1;
                continue;
            }
            const Mask16 u = up[a];
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
                result |= testLeaf16Wide<kMode>(b, *node, dirs, deferred);
                if (result == 0xffff && flippedPending == 0 && iv.settled(b.tHit)) return result;
            } else if (node->isBounds()) {
                // clipToBounds for all sixteen rays, unless all pass the box by. (With every ray
                // hit, the walk goes on through closed intervals until the hits are settled.)
                const KdNode* child = b.nodeBase + node->boundsChild();
                if (result != 0xffff && slabs.missesAll(b, child)) goto pop;
                const Vec16f inf = wide(__builtin_inff());
                Vec16f entry = -inf, exit = inf;
                for (int k = 0; k < 3; ++k) {
                    const Vec16f o = wide(origin0[k]);
                    const Vec16f t1 = (wide(KdNode::bound(child, k)) - o) * invDir[k];
                    const Vec16f t2 = (wide(KdNode::bound(child, k + 3)) - o) * invDir[k];
                    const Mask16 inPlane = ~_mm512_cmp_ps_mask(t1.m, t2.m, _CMP_ORD_Q);
                    entry = max(select(inPlane, -inf, min(t1, t2)), entry);
                    exit = min(select(inPlane, inf, max(t1, t2)), exit);
                }
                const Vec16f lo = max(entry * wide(kBoundsEps), iv.tMin);
                const Vec16f hi = min(exit / wide(kBoundsEps), iv.tMax);
                const Mask16 missed = lo > hi;
                iv.set(select(missed, min(lo, max(iv.tMin, iv.tMax)), lo),
                       select(missed, wide(-__builtin_inff()), hi));
                node = child;
                if (result == 0xffff || iv.open(b.tHit)) continue;
                goto pop;
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

template <Spheres kMode>
TAVOLIN_WIDE_KERNEL int traceBundle16Wide(RayBundle16& b) {
    DeferredShades deferred;
    const int result = walk16Wide<kMode>(b, deferred);
    if constexpr (kMode == Spheres::BesideDeferred) deferred.shadeWide(b);
    return result;
}

}  // namespace

// A traced bundle (one a frame) takes the portable kernel, which makes the same decisions and
// writes them out: the wide walk then has no trace test in its node step.
int traceBundle16(RayBundle16& b) {
    if (!hasWideKernels() || b.trace) return traceBundle16Portable(b);
    if (!b.leafSpheres) return traceBundle16Wide<Spheres::Objects>(b);
    return b.deferShading ? traceBundle16Wide<Spheres::BesideDeferred>(b)
                          : traceBundle16Wide<Spheres::Beside>(b);
}
#else
int traceBundle16(RayBundle16& b) { return traceBundle16Portable(b); }
#endif
