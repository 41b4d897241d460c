// One node of the kd-tree in eight bytes. The bit layout is shared by the builder and the
// traversals, so it is decoded only through these helpers.
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
    static KdNode leaf(uint32_t count, uint32_t firstEntry) {
        KdNode n;
        n.first = count;
        n.second = kLeafBit | (firstEntry << 4);
        return n;
    }
};

static_assert(sizeof(KdNode) == 8, "KdNode is two 32-bit words");
