// Test scenes for the kd-tree: objects with closed-form hits (axis boxes, flat boxes, spheres)
// that mark the pixels they shade with their id, seeded scene generators, ray and bundle
// set-up, and the brute-force oracle that tests every object.
#pragma once

#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "accel/kdtree.h"
#include "geometry/raybundle.h"
#include "scene/rtobjbase.h"

namespace kdtest {

// Common part of the test objects: the interval rules of the ray records, and shading that
// writes the object's id into every pixel it is asked to colour, so a test can tell who shaded a
// ray. Pixel of lane l of a 4-ray bundle: out[l / 2][l % 2]; of ray 4g + l of 16: out[g][l].
class TestObject : public rtObjBase {
public:
    explicit TestObject(uint32_t id) : id_(id) {}
    uint32_t id() const { return id_; }

    BoundingBox boundingBox() const override { return box; }
    void resolveTextures(TextureCol&) override {}
    void intersect1Alt(SingleRay& ray, float& t) const override { intersect1(ray, t); }
    bool occluded1(const SingleRay& ray) const override {
        SingleRay r = ray;
        float t = kNoDistance;
        intersect1(r, t);
        return t < kNoDistance;
    }
    void shade1(SingleRay& ray, float) const override { *ray.out = id_; }

    LaneMask4 intersect4(RayBundle4& b) const override {
        const LaneMask4 hit =
            lanes(b.originSoA[0], b.originSoA[1], b.originSoA[2], b.dir[0], b.dir[1], b.dir[2],
                  b.invDir[0], b.invDir[1], b.invDir[2], b.tMin, b.tMax, b.tHit);
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
        const Vec4f ox(b.origin[0].x), oy(b.origin[0].y), oz(b.origin[0].z);
        int any16 = 0;
        for (int g = 0; g < 4; ++g) {
            hits[g] = lanes(ox, oy, oz, b.dir[g].x, b.dir[g].y, b.dir[g].z, b.invDir[g].x,
                            b.invDir[g].y, b.invDir[g].z, b.tMin[g], b.tMax[g], b.tHit[g]);
            b.live[g] = andNot(b.live[g], hits[g]);
            any16 |= movemask(hits[g]);
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

protected:
    // Four lanes: accept t with tMin < t < tMax and t < tHit (near root first); tHit updated.
    virtual LaneMask4 lanes(Vec4f ox, Vec4f oy, Vec4f oz, Vec4f dx, Vec4f dy, Vec4f dz, Vec4f ix,
                            Vec4f iy, Vec4f iz, const Vec4f& tMin, const Vec4f& tMax,
                            Vec4f& tHit) const = 0;

    static LaneMask4 acceptNearFar(const Vec4f& t1, const Vec4f& t2, const LaneMask4& valid,
                                   const Vec4f& tMin, const Vec4f& tMax, Vec4f& tHit) {
        const LaneMask4 ok1 = valid & (t1 > tMin) & (t1 < tMax) & (t1 < tHit);
        const LaneMask4 ok2 = andNot(valid & (t2 > tMin) & (t2 < tMax) & (t2 < tHit), ok1);
        const LaneMask4 hit = ok1 | ok2;
        tHit = select(ok1, t1, select(ok2, t2, tHit));
        return hit;
    }

    uint32_t id_;
};

// Axis-aligned box, possibly flat on some axes. Single rays accept the slab entry or exit with
// tMin <= t <= tMax (inclusive, like a plane); bundles accept strictly inside the interval.
class TestBox : public TestObject {
public:
    TestBox(uint32_t id, const Vec4f& lo, const Vec4f& hi) : TestObject(id) {
        box = BoundingBox(Vec4f(lo.x, lo.y, lo.z, -10000.0f), Vec4f(hi.x, hi.y, hi.z, 10000.0f));
        area = box.surfaceArea();
    }
    rtObjBase* clone() const override { return new TestBox(*this); }
    void intersect1(SingleRay& ray, float& t) const override {
        float entry, exit;
        slabDistances(box, ray.origin, ray.invDir, entry, exit);
        if (!(entry <= exit)) return;
        if (entry >= ray.tMin && entry <= ray.tMax)
            t = entry;
        else if (exit >= ray.tMin && exit <= ray.tMax)
            t = exit;
    }

protected:
    LaneMask4 lanes(Vec4f ox, Vec4f oy, Vec4f oz, Vec4f, Vec4f, Vec4f, Vec4f ix, Vec4f iy, Vec4f iz,
                    const Vec4f& tMin, const Vec4f& tMax, Vec4f& tHit) const override {
        const Vec4f x1 = (Vec4f(box.min.x) - ox) * ix, x2 = (Vec4f(box.max.x) - ox) * ix;
        const Vec4f y1 = (Vec4f(box.min.y) - oy) * iy, y2 = (Vec4f(box.max.y) - oy) * iy;
        const Vec4f z1 = (Vec4f(box.min.z) - oz) * iz, z2 = (Vec4f(box.max.z) - oz) * iz;
        // Lane by lane with the scalar min/max of the single-ray slab test, so that both
        // treat the NaN of a ray lying in a face plane alike.
        Vec4f entry, exit;
        for (int l = 0; l < 4; ++l) {
            entry[l] = std::fmax(std::fmax(std::fmin(x1[l], x2[l]), std::fmin(y1[l], y2[l])),
                                 std::fmin(z1[l], z2[l]));
            exit[l] = std::fmin(std::fmin(std::fmax(x1[l], x2[l]), std::fmax(y1[l], y2[l])),
                                std::fmax(z1[l], z2[l]));
        }
        return acceptNearFar(entry, exit, entry <= exit, tMin, tMax, tHit);
    }
};

// Sphere with the textbook quadratic for unit directions; roots strictly inside the interval.
class TestSphere : public TestObject {
public:
    TestSphere(uint32_t id, const Vec4f& c, float r) : TestObject(id), center(c), radius(r) {
        box = BoundingBox(Vec4f(c.x - r, c.y - r, c.z - r, -10000.0f),
                          Vec4f(c.x + r, c.y + r, c.z + r, 10000.0f));
        area = box.surfaceArea();
    }
    rtObjBase* clone() const override { return new TestSphere(*this); }
    void intersect1(SingleRay& ray, float& t) const override {
        const Vec4f oc = ray.origin - center;
        const float b = dot3(oc, ray.dir);
        const float D = b * b - (dot3(oc, oc) - radius * radius);
        if (D < 0.0f) return;
        const float s = std::sqrt(D);
        const float t1 = -b - s, t2 = -b + s;
        if (t1 > ray.tMin && t1 < ray.tMax)
            t = t1;
        else if (t2 > ray.tMin && t2 < ray.tMax)
            t = t2;
    }

    Vec4f center;
    float radius;

protected:
    LaneMask4 lanes(Vec4f ox, Vec4f oy, Vec4f oz, Vec4f dx, Vec4f dy, Vec4f dz, Vec4f, Vec4f, Vec4f,
                    const Vec4f& tMin, const Vec4f& tMax, Vec4f& tHit) const override {
        const Vec4f cx = ox - Vec4f(center.x), cy = oy - Vec4f(center.y), cz = oz - Vec4f(center.z);
        const Vec4f b = cx * dx + cy * dy + cz * dz;
        const Vec4f D = b * b - (cx * cx + cy * cy + cz * cz - Vec4f(radius * radius));
        const LaneMask4 valid = D >= Vec4f(0.0f);
        const Vec4f s = sqrt(max(D, Vec4f(0.0f)));
        return acceptNearFar(-b - s, s - b, valid, tMin, tMax, tHit);
    }
};

// A scene: owned objects and the plain pointer list the tree is built from.
struct Scene {
    std::vector<std::unique_ptr<TestObject>> owned;
    std::vector<rtObjBase*> list;

    TestObject* add(std::unique_ptr<TestObject> o) {
        list.push_back(o.get());
        owned.push_back(std::move(o));
        return owned.back().get();
    }
    TestBox* box(const Vec4f& lo, const Vec4f& hi) {
        return static_cast<TestBox*>(add(std::make_unique<TestBox>(nextId(), lo, hi)));
    }
    TestSphere* sphere(const Vec4f& c, float r) {
        return static_cast<TestSphere*>(add(std::make_unique<TestSphere>(nextId(), c, r)));
    }
    uint32_t nextId() const { return uint32_t(owned.size()) + 1; }  // 0 = nothing shaded
};

// Mixed random scene in [0, extent]^3: spheres, solid boxes, boxes flat on one axis, and
// clusters of identical boxes. Sizes are a few percent of the extent.
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

// A floor and a regular grid of spheres standing on it, like a benchmark scene.
inline void sphereGrid(Scene& s, int n, float spacing, float radius) {
    const float w = n * spacing;
    s.box(Vec4f(-spacing, -spacing, -0.1f, 0), Vec4f(w, w, 0.0f, 0));
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) s.sphere(Vec4f(i * spacing, j * spacing, radius, 0), radius);
}

inline float inverse(float d) { return 1.0f / d; }

inline Vec4f unit(const Vec4f& d) {
    const float l = std::sqrt(dot3(d, d));
    return Vec4f(d.x / l, d.y / l, d.z / l, 1.0f);
}

// A single ray from origin along dir (normalised here unless it is a bundle's unit direction
// already), clipped to the tree's box.
inline SingleRay makeRay(const KDTree& tree, const Vec4f& origin, const Vec4f& dir, uint32_t* out,
                         bool normalise = true) {
    SingleRay r{};
    r.node = *tree.rootNode();
    r.nodeBase = tree.nodeBase();
    r.leafBase = tree.leafBase();
    r.origin = origin;
    r.dir = normalise ? unit(dir) : Vec4f(dir.x, dir.y, dir.z, 1.0f);
    r.invDir = Vec4f(inverse(r.dir.x), inverse(r.dir.y), inverse(r.dir.z), 1.0f);
    r.out = out;
    clipToBox(tree.sceneBox(), r);
    return r;
}

// Result of the oracle: nearest distance and every object that is hit at exactly that distance.
struct Nearest {
    bool hit = false;
    float t = kNoDistance;
    std::vector<uint32_t> ids;
    bool has(uint32_t id) const {
        for (uint32_t i : ids)
            if (i == id) return true;
        return false;
    }
};

// Brute force: every object of the scene against the ray's interval [tMin, tMax].
inline Nearest bruteForce(const Scene& s, const SingleRay& ray) {
    Nearest n;
    for (const auto& o : s.owned) {
        SingleRay r = ray;
        float t = kNoDistance;
        o->intersect1(r, t);
        if (t >= kNoDistance) continue;
        if (t < n.t) {
            n.t = t;
            n.ids.clear();
        }
        if (t == n.t) n.ids.push_back(o->id());
    }
    n.hit = n.t < kNoDistance;
    return n;
}

// Lane l of group g of b takes the direction d and its inverse.
inline void setLaneDirection(RayBundle16& b, int g, int l, const Vec4f& d) {
    b.dir[g].x[l] = d.x;
    b.dir[g].y[l] = d.y;
    b.dir[g].z[l] = d.z;
    b.invDir[g].x[l] = inverse(d.x);
    b.invDir[g].y[l] = inverse(d.y);
    b.invDir[g].z[l] = inverse(d.z);
}

// Camera-like 16-ray bundle: shared origin, directions fanning out from forward over a pixel
// pitch along right and up. Pixels of ray 4g + l go to pix[4g + l].
inline void makeBundle16(const KDTree& tree, RayBundle16& b, const Vec4f& origin,
                         const Vec4f& forward, const Vec4f& right, const Vec4f& up, float pitch,
                         uint32_t pix[16]) {
    b = RayBundle16{};
    b.node = *tree.rootNode();
    b.nodeBase = tree.nodeBase();
    b.leafBase = tree.leafBase();
    for (int i = 0; i < 16; ++i) b.origin[i] = origin;
    for (int g = 0; g < 4; ++g) {
        for (int c = 0; c < 4; ++c) b.originSoA[g][c] = Vec4f(origin[c]);
        for (int l = 0; l < 4; ++l) {
            setLaneDirection(b, g, l, unit(forward + right * (l * pitch) + up * (g * pitch)));
        }
        b.tHit[g] = Vec4f(kNoHit);
        b.doppler[g] = Vec4f(1.0f);
        b.out[g] = pix + 4 * g;
    }
    clipToBox(tree.sceneBox(), b);
}

// Direction of ray 4g + l of a 16-ray bundle as a single-ray direction.
inline Vec4f bundleDir(const RayBundle16& b, int i) {
    const int g = i >> 2, l = i & 3;
    return Vec4f(b.dir[g].x[l], b.dir[g].y[l], b.dir[g].z[l], 1.0f);
}

// 2 x 2 bundle with one origin per lane; lane l's pixel is pix[l].
inline void makeBundle4(const KDTree& tree, RayBundle4& b, const Vec4f origin[4],
                        const Vec4f dir[4], uint32_t pix[4]) {
    b = RayBundle4{};
    b.node = *tree.rootNode();
    b.nodeBase = tree.nodeBase();
    b.leafBase = tree.leafBase();
    for (int l = 0; l < 4; ++l) {
        b.origin[l] = origin[l];
        const Vec4f d = unit(dir[l]);
        for (int c = 0; c < 4; ++c) b.originSoA[c][l] = origin[l][c];
        for (int c = 0; c < 3; ++c) {
            b.dir[c][l] = d[c];
            b.invDir[c][l] = inverse(d[c]);
        }
    }
    b.dir[3] = Vec4f(1.0f);
    b.invDir[3] = Vec4f(1.0f);
    b.tHit = Vec4f(kNoHit);
    b.doppler = Vec4f(1.0f);
    b.out[0] = pix;
    b.out[1] = pix + 2;
    clipToBox(tree.sceneBox(), b);
}

}  // namespace kdtest
