// Kd-tree test scenes of objects with closed-form hits that shade pixels with their id, ray and
// bundle set-up, the brute-force oracle and the leaf-completeness check.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <set>
#include <vector>

#include "accel/kdtree.h"
#include "geometry/raybundle.h"
#include "scene/rtobjbase.h"

namespace kdtest {

inline Vec4f P(float x, float y, float z) { return Vec4f(x, y, z, 0.0f); }

// A box from lo to hi (possibly flat; single rays take roots in the closed interval), or with a
// radius a sphere around lo = hi (open interval). Shading writes the object's id; bundle lanes
// take the same roots as single rays.
class TestObject : public rtObjBounded {
public:
    BoundingBox box;

    TestObject(uint32_t id, const Vec4f& lo, const Vec4f& hi, float radius = 0.0f)
        : id_(id), centre_(lo), radius_(radius) {
        const Vec4f r(radius, radius, radius, 0.0f);  // boxes keep their signed zeros
        box = BoundingBox(Vec4f(lo.x, lo.y, lo.z, -10000.0f), Vec4f(hi.x, hi.y, hi.z, 10000.0f));
        if (radius > 0.0f) box = BoundingBox(box.min - r, box.max + r);
    }
    uint32_t id() const { return id_; }
    rtObjBase* clone() const override { return new TestObject(*this); }
    BoundingBox boundingBox() const override { return box; }
    void resolveTextures(TextureCol&) override {}
    void intersect1(SingleRay& ray, float& t) const override {
        float r[2];
        if (!roots(ray.origin, ray.dir, ray.invDir, r[0], r[1])) return;
        for (float x : r) {
            if (radius_ == 0.0f ? x >= ray.tMin && x <= ray.tMax : x > ray.tMin && x < ray.tMax) {
                t = x;
                return;
            }
        }
    }
    void intersect1Alt(SingleRay& ray, float& t) const override { intersect1(ray, t); }
    bool occluded1(const SingleRay& ray) const override {
        SingleRay r = ray;
        float t = kNoDistance;
        intersect1(r, t);
        return t < kNoDistance;
    }
    void shade1(SingleRay& ray, float) const override { *ray.out = id_; }
    LaneMask4 intersect4(RayBundle4& b) const override {
        const LaneMask4 hit = group(b.originSoA, b.dir, b.invDir, b.tMin, b.tMax, b.tHit);
        b.live = andNot(b.live, hit);
        return hit;
    }
    LaneMask4 intersect4Alt(RayBundle4& b) const override { return intersect4(b); }
    int reserved4(int) const override { return 0; }
    void shade4(RayBundle4& b, LaneMask4 mask) const override {
        for (int l = 0; l < 4; ++l)
            if (mask.lane(l)) b.out[l >> 1][l & 1] = id_;
    }
    bool intersect16(RayBundle16& b, LaneMask4 hits[4]) const override {
        int any16 = 0;
        for (int g = 0; g < 4; ++g) {
            const Vec4f d[3] = {b.dir[g].x, b.dir[g].y, b.dir[g].z};
            const Vec4f inv[3] = {b.invDir[g].x, b.invDir[g].y, b.invDir[g].z};
            hits[g] = group(b.originSoA[g], d, inv, b.tMin[g], b.tMax[g], b.tHit[g]);
            b.live[g] = andNot(b.live[g], hits[g]);
            any16 |= hits[g].bits();
        }
        return any16 != 0;
    }
    bool intersect16Alt(RayBundle16& b, LaneMask4 hits[4]) const override {
        return intersect16(b, hits);
    }
    int reserved16(int) const override { return 0; }
    void shade16(RayBundle16& b, const LaneMask4 mask[4]) const override {
        for (int g = 0; g < 4; ++g)
            for (int l = 0; l < 4; ++l)
                if (mask[g].lane(l)) b.out[g][l] = id_;
    }
    void prepareForOrigin(const Vec4f&) override {}
    void copyFrom(const rtObjBase&) override {}

private:
    // Near and far distance along the unit direction d (inv = 1 / d); false for a miss.
    bool roots(const Vec4f& o, const Vec4f& d, const Vec4f& inv, float& t1, float& t2) const {
        if (radius_ == 0.0f) {
            slabDistances(box, o, inv, t1, t2);
            return t1 <= t2;
        }
        const Vec4f oc = o - centre_;
        const float b = dot3(oc, d);
        const float D = b * b - (dot3(oc, oc) - radius_ * radius_);
        t1 = -b - std::sqrt(std::fmax(D, 0.0f));
        t2 = -b + std::sqrt(std::fmax(D, 0.0f));
        return D >= 0.0f;
    }
    // A lane accepts a root strictly inside (tMin, tMax) and nearer than tHit.
    LaneMask4 group(const Vec4f o[], const Vec4f d[], const Vec4f inv[], const Vec4f& tMin,
                    const Vec4f& tMax, Vec4f& tHit) const {
        int bits = 0;
        for (int l = 0; l < 4; ++l) {
            float t[2];
            if (!roots(Vec4f(o[0][l], o[1][l], o[2][l], 0.0f), Vec4f(d[0][l], d[1][l], d[2][l], 1),
                       Vec4f(inv[0][l], inv[1][l], inv[2][l], 1.0f), t[0], t[1]))
                continue;
            for (float r : t) {
                if (r > tMin[l] && r < tMax[l] && r < tHit[l]) {
                    tHit[l] = r;
                    bits |= 1 << l;
                    break;
                }
            }
        }
        return LaneMask4::fromBits(bits);
    }

    uint32_t id_;
    Vec4f centre_;
    float radius_;
};

struct Scene {
    std::vector<std::unique_ptr<TestObject>> owned;
    std::vector<rtObjBase*> list;
    TestObject* add(std::unique_ptr<TestObject> o) {
        list.push_back(o.get());
        owned.push_back(std::move(o));
        return owned.back().get();
    }
    TestObject* box(const Vec4f& lo, const Vec4f& hi) {
        return add(std::make_unique<TestObject>(nextId(), lo, hi));
    }
    TestObject* sphere(const Vec4f& c, float r) {
        return add(std::make_unique<TestObject>(nextId(), c, c, r));
    }
    uint32_t nextId() const { return uint32_t(owned.size()) + 1; }  // 0 = nothing shaded
};

// Random spheres, boxes, flat boxes and clusters of identical boxes in [0, extent]^3.
inline void randomScene(Scene& s, std::mt19937& rng, int count, float extent) {
    std::uniform_real_distribution<float> pos(0.0f, extent), size(0.005f * extent, 0.05f * extent);
    std::uniform_int_distribution<int> kind(0, 9);
    while (int(s.list.size()) < count) {
        const Vec4f p(pos(rng), pos(rng), pos(rng), 0.0f);
        const int k = kind(rng);
        if (k < 5) {
            s.sphere(p, size(rng));
        } else if (k < 7) {
            s.box(p, p + Vec4f(size(rng), size(rng), size(rng), 0.0f));
        } else if (k < 9) {
            Vec4f d(size(rng), size(rng), size(rng), 0.0f);
            d[k % 3] = 0.0f;  // a flat box, like a wall or a floor tile
            s.box(p, p + d);
        } else {
            const Vec4f d(size(rng), size(rng), size(rng), 0.0f);
            for (int i = 0; i < 3; ++i) s.box(p, p + d);
        }
    }
}

inline void sphereGrid(Scene& s, int n, float spacing, float radius) {
    const float w = n * spacing;
    s.box(Vec4f(-spacing, -spacing, -0.1f, 0), Vec4f(w, w, 0.0f, 0));
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) s.sphere(Vec4f(i * spacing, j * spacing, radius, 0), radius);
}

inline Vec4f unit(const Vec4f& d) {
    const float l = std::sqrt(dot3(d, d));
    return Vec4f(d.x / l, d.y / l, d.z / l, 1.0f);
}
inline Vec4f inverse(const Vec4f& d) { return Vec4f(1.0f / d.x, 1.0f / d.y, 1.0f / d.z, 1.0f); }

// A single ray clipped to the tree's box.
inline SingleRay makeRay(const KDTree& tree, const Vec4f& origin, const Vec4f& dir, uint32_t* out,
                         bool normalise = true) {
    SingleRay r{};
    r.node = *tree.rootNode();
    r.nodeBase = tree.nodeBase();
    r.leafBase = tree.leafBase();
    r.origin = origin;
    r.dir = normalise ? unit(dir) : Vec4f(dir.x, dir.y, dir.z, 1.0f);
    r.invDir = inverse(r.dir);
    r.out = out;
    clipToBox(tree.sceneBox(), r);
    return r;
}

// Bundle with ray i from origin[i] along unit(dir[i]) (as makeRay gives it), pixel pix[i].
template <class Bundle, int N>
inline void makeBundle(const KDTree& tree, Bundle& b, const Vec4f origin[N], const Vec4f dir[N],
                       uint32_t pix[N]) {
    b = Bundle{};
    b.node = *tree.rootNode();
    b.nodeBase = tree.nodeBase();
    b.leafBase = tree.leafBase();
    for (int i = 0; i < N; ++i) {
        const Vec4f d = unit(dir[i]), inv = inverse(d);
        b.origin[i] = origin[i];
        if constexpr (N == 4) {
            for (int c = 0; c < 4; ++c) {
                b.originSoA[c][i] = origin[i][c];
                b.dir[c][i] = c < 3 ? d[c] : 1.0f;
                b.invDir[c][i] = c < 3 ? inv[c] : 1.0f;
            }
        } else {
            const int g = i >> 2, l = i & 3;
            for (int c = 0; c < 4; ++c) b.originSoA[g][c][l] = origin[i][c];
            b.dir[g].x[l] = d.x;
            b.dir[g].y[l] = d.y;
            b.dir[g].z[l] = d.z;
            b.invDir[g].x[l] = inv.x;
            b.invDir[g].y[l] = inv.y;
            b.invDir[g].z[l] = inv.z;
        }
    }
    if constexpr (N == 4) {
        b.tHit = Vec4f(kNoHit);
        b.out[0] = pix;
        b.out[1] = pix + 2;
    } else {
        for (int g = 0; g < 4; ++g) {
            b.tHit[g] = Vec4f(kNoHit);
            b.out[g] = pix + 4 * g;
        }
    }
    clipToBox(tree.sceneBox(), b);
}

struct Nearest {
    bool hit = false;
    float t = kNoDistance;
    std::set<uint32_t> ids;
};

inline Nearest bruteForce(const Scene& s, const SingleRay& ray) {
    Nearest n;
    for (const auto& o : s.owned) {
        SingleRay r = ray;
        float t = kNoDistance;
        o->intersect1(r, t);
        if (t >= kNoDistance || t > n.t) continue;
        if (t < n.t) n.ids.clear();
        n.t = t;
        n.ids.insert(o->id());
    }
    n.hit = n.t < kNoDistance;
    return n;
}

// Whether a traced single ray agrees with brute force; the leaf widening (kRayLeafWiden) may
// only put its hit up to that far behind the nearest one.
inline bool checkAgainstOracle(const Scene& s, const SingleRay& before, bool hit,
                               const SingleRay& after, uint32_t pixel, const char* where) {
    const Nearest n = bruteForce(s, before);
    if (hit == n.hit && (!hit || (after.tMax == n.t && n.ids.count(pixel)))) return true;
    SingleRay wide = before;
    wide.tMin -= kRayLeafWiden;
    wide.tMax += kRayLeafWiden;
    const Nearest w = bruteForce(s, wide);
    EXPECT_TRUE(hit) << where << ": missed a hit at " << n.t;
    EXPECT_TRUE(!hit || (w.hit && after.tMax >= w.t)) << where;
    EXPECT_TRUE(!hit || !n.hit || after.tMax <= n.t + kRayLeafWiden) << where;
    return false;
}

// The tree's bounds nodes.
inline int boundsNodes(const KDTree& tree) {
    int count = 0;
    for (const KdNode& n : tree.nodeArray()) count += n.isBounds();
    return count;
}

// Whether the object reaches into the cell, as the build distributes objects.
inline bool reachesCell(const rtObjBase* o, const BoundingBox& cell) {
    bool reaches = true;
    for (int a = 0; a < 3; ++a) {
        const float lo = o->boundingBox().min[a], hi = o->boundingBox().max[a];
        reaches &=
            lo == hi ? lo > cell.min[a] && lo < cell.max[a] : lo < cell.max[a] && hi > cell.min[a];
    }
    return reaches;
}

// Every leaf holds each object reaching into its cell, splits lie in their cells, a bounds
// node's box holds the part in its cell of each object reaching into it, and the leaf runs
// cover the leaf list; returns the deepest leaf's depth (bounds nodes are no level).
inline int checkLeavesComplete(const KDTree& tree, const std::vector<rtObjBase*>& objects) {
    int deepest = 0;
    std::size_t refs = 0;
    std::function<void(uint32_t, BoundingBox, int)> visit = [&](uint32_t k, BoundingBox cell,
                                                                int d) {
        const KdNode& n = tree.nodeArray()[k];
        if (n.isBounds()) {
            const uint32_t child = n.boundsChild();
            EXPECT_GE(child, k + KdNode::kBoundsSlots + 1);
            for (uint32_t i = 0; i < KdNode::kBoundsSlots; ++i)
                EXPECT_TRUE(tree.nodeArray()[child - KdNode::kBoundsSlots + i].isBoundSlot());
            const KdNode* c = &tree.nodeArray()[child];
            for (rtObjBase* o : objects) {
                if (!reachesCell(o, cell)) continue;
                for (int a = 0; a < 3; ++a) {
                    EXPECT_LE(KdNode::bound(c, a), std::max(o->boundingBox().min[a], cell.min[a]));
                    EXPECT_GE(KdNode::bound(c, a + 3),
                              std::min(o->boundingBox().max[a], cell.max[a]));
                }
            }
            visit(child, cell, d);
            return;
        }
        if (!n.isLeaf()) {
            EXPECT_EQ(n.second & 0x1cu, 0u);
            EXPECT_GE(n.split(), cell.min[n.axis()]);
            EXPECT_LE(n.split(), cell.max[n.axis()]);
            BoundingBox lo = cell, hi = cell;
            lo.max[n.axis()] = hi.min[n.axis()] = n.split();
            visit(n.lowerChild(), lo, d + 1);
            visit(n.lowerChild() + 1, hi, d + 1);
            return;
        }
        deepest = std::max(deepest, d);
        refs += n.objectCount();
        EXPECT_EQ(n.second & 0xfu, 0u);
        ASSERT_LE(n.firstEntry() + n.objectCount(), tree.leaves().size());
        const auto first = tree.leaves().begin() + n.firstEntry();
        const std::set<rtObjBase*> in(first, first + n.objectCount());
        for (rtObjBase* o : objects)
            EXPECT_TRUE(!reachesCell(o, cell) || in.count(o)) << "depth " << d;
    };
    visit(0, tree.sceneBox(), 0);
    EXPECT_EQ(refs, tree.leaves().size());
    return deepest;
}

}  // namespace kdtest
