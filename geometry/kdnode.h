// One node of the kd-tree in eight bytes. The bit layout is shared by the builder and the
// traversals, so it is decoded only through these helpers.
//
// Besides splits and leaves a tree has bounds nodes: where a node's objects fill only part of
// its cell, the box around them, which a walk clips its rays' intervals to before it goes on to
// the node's single child. A bounds node is written as an empty leaf with bit 0 set and its
// child's index where a leaf has its first entry, so that the walks' steps through splits do
// not look for it: they meet it where they meet an empty leaf. The box's six floats (lower x,
// y, z, upper x, y, z) sit in the split words of the six nodes just before the child, each
// written as an interior node of axis 3 and child 0 (KdNode::isBoundSlot), never reached.
#pragma once

#include <cstdint>
#include <cstring>

struct KdNode {
    // Interior: split position as float bits. Leaf: number of objects.
    uint32_t first = 0;
    // Interior: bit 31 clear, bits 0-1 axis, bits 5-30 index of the lower child (upper = +1).
    // Leaf: bit 31 set, bits 4-30 index of the first entry in the leaf list.
    uint32_t second = 0;

    static constexpr uint32_t kLeafBit = 0x80000000u;

    bool isLeaf() const { return (second & kLeafBit) != 0; }
    int axis() const { return int(second & 3u); }
    float split() const {
        float f;
        std::memcpy(&f, &first, sizeof f);
        return f;
    }
    uint32_t lowerChild() const { return (second & 0x7fffffffu) >> 5; }
    // A bounds node (isLeaf() holds too, with no objects); its child is boundsChild().
    bool isBounds() const { return (second & (kLeafBit | 1u)) == (kLeafBit | 1u); }
    uint32_t boundsChild() const { return (second & 0x7fffffffu) >> 4; }
    // One of the six nodes before a bounds node's child that hold its box.
    bool isBoundSlot() const { return !isLeaf() && axis() == kBoundsAxis; }
    static constexpr int kBoundsAxis = 3;
    static constexpr uint32_t kBoundsSlots = 6;
    // The box of the bounds node whose child is child: bound(i) for lower x, y, z (i = 0 to 2)
    // and upper x, y, z (3 to 5).
    static float bound(const KdNode* child, int i) { return child[i - int(kBoundsSlots)].split(); }
    uint32_t objectCount() const { return first; }
    uint32_t firstEntry() const { return (second & 0x7fffffffu) >> 4; }
    // (second & 0x7ffffffc) >> 2: 8 * child index for an interior node, 4 * entry for a leaf.
    uint32_t byteOffset() const { return (second & 0x7ffffffcu) >> 2; }

    static KdNode interior(float split, int axis, uint32_t lowerChild) {
        KdNode n;
        std::memcpy(&n.first, &split, sizeof split);
        n.second = (lowerChild << 5) | uint32_t(axis);
        return n;
    }
    static KdNode bounds(uint32_t child) {
        KdNode n;
        n.second = kLeafBit | (child << 4) | 1u;
        return n;
    }
    static KdNode boundSlot(float value) { return interior(value, kBoundsAxis, 0); }
    static KdNode leaf(uint32_t count, uint32_t firstEntry) {
        KdNode n;
        n.first = count;
        n.second = kLeafBit | (firstEntry << 4);
        return n;
    }
};

static_assert(sizeof(KdNode) == 8, "KdNode is two 32-bit words");
