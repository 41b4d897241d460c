// Kd-tree traversal of spheres at rest, which bundles test from the tree's copy beside its leaf
// list.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "accel/kdtraverse.h"
#include "accel/kdtree.h"
#include "scene/rtobjsphere.h"
#include "tests/accel/kdtestscene.h"

using namespace kdtest;

// Spheres at rest are tested from the tree's copy of their centres and radii beside the leaf
// list, without their objects: the same hits, distances and live rays as through each object's
// own intersect16 (in the kernel this processor runs and in the portable one), intersect4 or
// intersect4Alt and intersect1, with boxes mixed in. The copy is kept only where such spheres are
// at least half of the leaf entries. A sphere at rest that marks the pixels it shades with its
// number.
class MarkedSphere : public rtObjSphere<1> {
public:
    MarkedSphere(uint32_t mark, const Vec4f& c, float r) : mark_(mark) {
        center = c;
        radius = r;
        update();
    }
    void shade4(RayBundle4& b, LaneMask4 mask) const override {
        for (int l = 0; l < 4; ++l)
            if (mask.lane(l)) b.out[l >> 1][l & 1] = mark_;
    }
    void shade16(RayBundle16& b, const LaneMask4 mask[4]) const override {
        for (int i = 0; i < 16; ++i)
            if (mask[i >> 2].lane(i & 3)) b.out[i >> 2][i & 3] = mark_;
    }
    void shade1(SingleRay& r, float) const override { *r.out = mark_; }

private:
    uint32_t mark_;
};

// A sphere at rest and a box in one leaf: the nearer of the two shades the pixels, whichever
// comes first in the leaf. (Bundles shade spheres at rest when their walk ends, and an object
// that shades at once in between must win where it is nearer.)
TEST(KDTraverse, TheNearerOfASphereAndABoxInOneLeafShadesWhateverTheirOrder) {
    struct Case {
        float boxNear, boxFar;  // along z; the sphere's front is at z = 4
        bool sphereFirst, sphereNearer;
    };
    const Case cases[] = {{2.0f, 7.0f, true, false},
                          {2.0f, 7.0f, false, false},
                          {4.5f, 9.0f, true, true},
                          {4.5f, 9.0f, false, true}};
    for (const Case& c : cases) {
        const std::string where = "box from " + std::to_string(c.boxNear) +
                                  (c.sphereFirst ? ", sphere first" : ", box first");
        Scene s;
        TestObject* box = s.box(Vec4f(-2, -2, c.boxNear, 0), Vec4f(2, 2, c.boxFar, 0));
        MarkedSphere sphere(100, Vec4f(0, 0, 5, 0), 1.0f);
        const std::vector<rtObjBase*> list = c.sphereFirst ? std::vector<rtObjBase*>{&sphere, box}
                                                           : std::vector<rtObjBase*>{box, &sphere};
        KDTree tree;
        tree.addInterval(list, 0);
        ASSERT_TRUE(tree.rootNode()->isLeaf()) << where;
        ASSERT_EQ(tree.leafBase()[0], list[0]) << where;
        ASSERT_NE(tree.leafSphereBase(), nullptr) << where;
        const uint32_t expected = c.sphereNearer ? 100 : box->id();

        Vec4f origin[16], dir[16];
        for (int i = 0; i < 16; ++i) {
            origin[i] = P(0, 0, 0);
            dir[i] = P(0.02f * float((i & 3) - 2), 0.02f * float((i >> 2) - 2), 1);
        }
        for (const bool portable : {false, true}) {
            for (const uint8_t defer : {uint8_t(0), uint8_t(1)}) {
                alignas(16) RayBundle16 b;
                uint32_t pix[16] = {};
                makeBundle<RayBundle16, 16>(tree, b, origin, dir, pix);
                b.leafSpheres = tree.leafSphereBase();
                b.deferShading = defer;
                EXPECT_EQ(portable ? traceBundle16Portable(b) : traceBundle16(b), 0xffff) << where;
                for (int i = 0; i < 16; ++i)
                    EXPECT_EQ(pix[i], expected) << where << " ray " << i << " defer " << int(defer);
            }
        }
        alignas(16) RayBundle4 b4;
        uint32_t pix4[4] = {};
        makeBundle<RayBundle4, 4>(tree, b4, origin, dir, pix4);
        b4.leafSpheres = tree.leafSphereBase();
        EXPECT_EQ(traceBundle4(b4), 0xf) << where;
        for (int l = 0; l < 4; ++l) EXPECT_EQ(pix4[l], expected) << where << " ray " << l;
    }
}

TEST(KDTraverse, SpheresAtRestBesideTheLeafListHitAsThroughTheirObjects) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> pos(0.0f, 10.0f), radius(0.05f, 0.6f);
    std::vector<std::unique_ptr<MarkedSphere>> spheres;
    Scene boxes;
    std::vector<rtObjBase*> list;
    for (int i = 0; i < 600; ++i) {
        if (i % 4 == 3) {
            const Vec4f lo(pos(rng), pos(rng), pos(rng), 0.0f);
            list.push_back(boxes.box(lo, lo + Vec4f(0.4f, 0.3f, 0.5f, 0.0f)));
            continue;
        }
        const Vec4f centre(pos(rng), pos(rng), pos(rng), 0.0f);
        auto s = std::make_unique<MarkedSphere>(1000 + i, centre, radius(rng));
        list.push_back(s.get());
        spheres.push_back(std::move(s));
    }
    KDTree tree;
    tree.addInterval(list, 0);
    ASSERT_NE(tree.leafSphereBase(), nullptr);

    int hits = 0, hits4 = 0, hits1 = 0;
    for (int k = 0; k < 400; ++k) {
        const Vec4f o(pos(rng) * 1.4f - 2.0f, pos(rng) * 1.4f - 2.0f, -1.0f, 0.0f);
        const Vec4f fwd =
            unit(P(0.3f * (pos(rng) - 5.0f) / 5.0f, 0.3f * (pos(rng) - 5.0f) / 5.0f, 1));
        const float step = 0.002f * float(1 + k % 8);
        Vec4f origin[16], dir[16];
        for (int i = 0; i < 16; ++i) {
            origin[i] = o;
            dir[i] = fwd + P(1, 0, 0) * ((i & 3) * step) + P(0, 1, 0) * ((i >> 2) * step);
        }
        for (const int run : {0, 1, 2, 3}) {  // kernel: this processor's or portable; deferred
            const bool portable = run & 1;
            alignas(16) RayBundle16 objects, beside;
            uint32_t objectsPix[16] = {}, besidePix[16] = {};
            makeBundle<RayBundle16, 16>(tree, objects, origin, dir, objectsPix);
            makeBundle<RayBundle16, 16>(tree, beside, origin, dir, besidePix);
            beside.leafSpheres = tree.leafSphereBase();
            beside.deferShading = uint8_t(run >> 1);
            const int objectsMask =
                portable ? traceBundle16Portable(objects) : traceBundle16(objects);
            const int besideMask = portable ? traceBundle16Portable(beside) : traceBundle16(beside);
            ASSERT_EQ(besideMask, objectsMask) << k << " run " << run;
            EXPECT_EQ(std::memcmp(beside.tHit, objects.tHit, sizeof beside.tHit), 0) << k;
            EXPECT_EQ(std::memcmp(beside.live, objects.live, sizeof beside.live), 0) << k;
            EXPECT_EQ(std::memcmp(besidePix, objectsPix, sizeof besidePix), 0) << k;
            hits += __builtin_popcount(unsigned(besideMask));
        }
        // Single rays, from the eye and from points beside it. The hit's offset is written by
        // every object that accepts the ray, so it must come out the same too.
        for (int i = 0; i < 16; ++i) {
            const Vec4f from = i & 1 ? o + P(0.1f * float(i), -0.05f * float(i), 0.3f) : o;
            uint32_t objectsPix = 0, besidePix = 0;
            SingleRay objects = makeRay(tree, from, dir[i], &objectsPix);
            if (!(objects.tMin < objects.tMax)) continue;
            objects.variant = uint8_t(i >> 3);
            SingleRay beside = objects;
            beside.out = &besidePix;
            beside.leafSpheres = tree.leafSphereBase();
            const bool hit = traceRay(objects);
            ASSERT_EQ(traceRay(beside), hit) << k << " ray " << i;
            EXPECT_EQ(beside.tMin, objects.tMin) << k << " ray " << i;
            EXPECT_EQ(beside.tMax, objects.tMax) << k << " ray " << i;
            EXPECT_EQ(std::memcmp(&beside.hitOffset, &objects.hitOffset, sizeof(Vec4f)), 0) << k;
            EXPECT_EQ(besidePix, objectsPix) << k << " ray " << i;
            hits1 += hit;
        }
        // 2 x 2 bundles with an origin each, as camera rays and as pieces of bent paths.
        Vec4f origin4[4], dir4[4];
        for (int l = 0; l < 4; ++l) {
            origin4[l] = o + P(0.3f * float(l & 1), 0.2f * float(l >> 1), 0.1f * float(l));
            dir4[l] = dir[5 * l];
        }
        for (const uint8_t variant : {uint8_t(0), uint8_t(1)}) {
            alignas(16) RayBundle4 objects, beside;
            uint32_t objectsPix[4] = {}, besidePix[4] = {};
            makeBundle<RayBundle4, 4>(tree, objects, origin4, dir4, objectsPix);
            makeBundle<RayBundle4, 4>(tree, beside, origin4, dir4, besidePix);
            objects.variant = beside.variant = variant;
            beside.leafSpheres = tree.leafSphereBase();
            const int objectsMask = traceBundle4(objects);
            ASSERT_EQ(traceBundle4(beside), objectsMask) << k << " variant " << int(variant);
            EXPECT_EQ(std::memcmp(&beside.tHit, &objects.tHit, sizeof beside.tHit), 0) << k;
            EXPECT_EQ(std::memcmp(&beside.live, &objects.live, sizeof beside.live), 0) << k;
            EXPECT_EQ(std::memcmp(besidePix, objectsPix, sizeof besidePix), 0) << k;
            hits4 += __builtin_popcount(unsigned(objectsMask));
        }
    }
    EXPECT_GT(hits, 2 * 400 * 16 / 4);
    EXPECT_GT(hits4, 400 * 2 / 4);
    EXPECT_GT(hits1, 400 * 16 / 4);

    // Mostly boxes: no copy.
    Scene fewSpheres;
    std::vector<rtObjBase*> mostlyBoxes(list.begin(), list.begin() + 40);
    for (int i = 0; i < 100; ++i) {
        const Vec4f lo(pos(rng), pos(rng), pos(rng), 0.0f);
        mostlyBoxes.push_back(fewSpheres.box(lo, lo + Vec4f(0.2f, 0.2f, 0.2f, 0.0f)));
    }
    KDTree boxTree;
    boxTree.addInterval(mostlyBoxes, 0);
    EXPECT_EQ(boxTree.leafSphereBase(), nullptr);
}
