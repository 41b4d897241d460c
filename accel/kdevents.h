// The events of the kd-tree build's sweep: the faces of each object's box along an axis, in one
// total order that does not depend on the order they are made in, and what each object costs a
// leaf. The build sorts them once at the root; every node below reads its parent's lists
// filtered (kdbuild.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

#include "accel/kdbuild.h"

namespace kdbuild {

// What a sphere at rest costs a leaf, in object tests. The walk tests it from the tree's copy,
// inline and for all rays of a bundle at once, where any other object is a call to its own
// test; counted as a whole test, such spheres were cut into cells too small, and a walk spent
// its time stepping through them. With half a test, a cloud of 40,000 spheres at 0.9c and the
// belt of 60,000 took 9 to 14 % less time a frame, while boxes, which a wider leaf would slow
// down, keep their cells.
inline constexpr float kStaticSphereCost = 0.5f;
// What an object of several surfaces (rtObjBase::testParts, a cube) costs a leaf: its test
// looks at its box and then at its faces that can be met, one to three, where a plane is a
// single face's test. Counted as one test, cubes shared leaves that rays crossed testing each;
// at 3, a street of 20,000 boxes took 7 to 11 % less time a frame than with the faces as
// objects of their own, and 2, 2.5 and 4 were within the noise of 3.
inline constexpr float kManyPartsCost = 3.0f;

// The cost classes of the objects, as a split event carries them.
enum CostClass : uint8_t { kWholeTest = 0, kStaticSphere = 1, kManyParts = 2 };

// A sorted event as the sweep reads it: 8 bytes, since a big scene has tens of millions of them on
// the build's stack. Made without clearing, as the stack grows by every node's children.
struct SplitEvent {
    float position;
    // primitive index * 8, + 2 x its cost class, + 1 for the end of its box
    uint32_t bits;

    SplitEvent() {}  // NOLINT: left uninitialised on purpose
    SplitEvent(float position, uint32_t prim, CostClass cost, bool isEnd)
        : position(position), bits(prim * 8 + cost * 2u + (isEnd ? 1 : 0)) {}
    uint32_t prim() const { return bits >> 3; }
    uint32_t end() const { return bits & 1; }
    bool isEnd() const { return end() != 0; }
    // The object's cost in tests, counted at its start event (0 at its end).
    float startCost() const {
        static constexpr float kCost[8] = {
            1.0f, 0.0f, kStaticSphereCost, 0.0f, kManyPartsCost, 0.0f, 0.0f, 0.0f};
        return kCost[bits & 7];
    }
    float endCost() const {
        static constexpr float kCost[8] = {0.0f, 1.0f,           0.0f, kStaticSphereCost,
                                           0.0f, kManyPartsCost, 0.0f, 0.0f};
        return kCost[bits & 7];
    }
};

// Events number primitives in 29 bits.
inline constexpr size_t kMaxPrimitives = size_t(1) << 29;

// The 2n events of axis a of the n primitives in the event order, written to out with each
// primitive's cost class. The order: by position; at one position the ends of boxes, then the
// events of boxes flat along a, then the starts; ties by the objects' addresses.
void sortEvents(const Primitive* prims, size_t n, int a, const CostClass* cost, SplitEvent* out);

}  // namespace kdbuild
