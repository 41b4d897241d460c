// The kd-tree's construction, apart from the tree that holds it: the surface area heuristic over
// the primitives' boxes, on one thread or several. KDTree (kdtree.h) builds, and grafts moving
// bodies into its leaves, with it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "accel/kdtree.h"

namespace kdbuild {

// What the build needs of one primitive, fetched once per build.
struct Primitive {
    rtObjBase* obj;
    float lo[3];
    float hi[3];
};

// The depth at which a tree's nodes become leaves, whatever they hold: 8 + 1.3 log2(objects)
// (a tree of n objects needs about log2 n levels, and more where objects cluster), kept within
// [kMinDepthLimit, kMaxDepthLimit]. The traversals' stacks (kdtraverse.h) hold a pending child
// per level, so they rely on the upper bound. A fixed 20 levels left a street of 80,000 boxes
// with leaves it could not cut further.
constexpr int kMinDepthLimit = 20;
constexpr int kMaxDepthLimit = 30;
int depthLimit(size_t objects);

// What the build needs of obj; false for an object whose spatial extent is not finite (NaN or
// infinite coordinates from a hostile file): it can never be hit, and left in, it would make
// every split cost NaN. box, if given, receives the object's whole box (asked for once).
bool toPrimitive(rtObjBase* obj, Primitive& p, BoundingBox* box = nullptr);

// Builds the tree of the primitives in cell. Its root goes to node 0 of nodes, which holds that
// node alone; its other nodes follow (children in pairs, the upper subtree's before the lower's),
// and its leaves' entries go to the end of leaves. The root sits at depth startDepth of a larger
// tree when it rebuilds one of that tree's leaves; nodes at depth maxDepth (at most
// kMaxDepthLimit) are leaves. Subtrees of minObjects objects and more are built on threads of
// their own while fewer than threads run; the tree does not depend on it.
void build(BigVector<Primitive>&& primitives, BigVector<KdNode>& nodes, LeafList& leaves,
           const BoundingBox& cell, int startDepth, int maxDepth, int threads, uint32_t minObjects);

// Puts a subtree built into arrays of its own (its root at node 0) into nodes and leaves: the
// root goes to node slot, its other nodes to the end of the array (children stay in pairs), its
// leaves' entries to the end of the list.
void spliceSubtree(BigVector<KdNode>& nodes, LeafList& leaves, uint32_t slot,
                   const BigVector<KdNode>& subNodes, const LeafList& subLeaves);

}  // namespace kdbuild
