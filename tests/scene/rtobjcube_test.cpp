// Cubes: the six faces that a kd-tree build collects, their parameters, closing the solid, the
// unsupported box, and texture resolution of every object kind through the collection.
#include "scene/rtobjcube.h"

#include <gtest/gtest.h>

#include <memory>

#include "geometry/programmingerror.h"
#include "scene/dataelem.h"
#include "scene/rtobjplane.h"
#include "scene/rtobjsphere.h"
#include "scene/texturecol.h"
#include "tests/scene/rtobjtesthelpers.h"

using namespace objtest;

namespace {

void expectVec(const Vec4f& a, const Vec4f& b) {
    for (int c = 0; c < 4; ++c) EXPECT_FLOAT_EQ(a[c], b[c]) << "component " << c;
}

// Three mutually orthogonal edges of random lengths in a random orientation.
void randomBox(Rng& rng, rtObjCube& cube) {
    const Vec4f a = rng.direction();
    Vec4f b;
    do {
        b = rng.direction();
        b = b - a * dot3(a, b);
    } while (dot3(b, b) < 0.1f);
    b = unitDir(b.x, b.y, b.z);
    const Vec4f c = cross3(a, b);
    cube.pos = rng.point(4.0);
    cube.x = a * float(rng.uni(0.5, 3));
    cube.y = b * float(rng.uni(0.5, 3));
    cube.z = c * float(rng.uni(0.5, 3));
}

}  // namespace

TEST(RtObjCube, FacesCarryThePairsEdgesRepetitionsAndTextures) {
    RecordingTexture t0, t1, t2;
    rtObjCube cube;
    cube.pos = Vec4f(1, 2, 3, 0);
    cube.x = Vec4f(2, 0, 0, 0);
    cube.y = Vec4f(0, 3, 0, 0);
    cube.z = Vec4f(0, 0, 4, 0);
    cube.sx = 2;
    cube.sz = 3;
    cube.texxy = "a";
    cube.texyz = "b";
    cube.texzx = "c";
    cube.texturexy = &t0;
    cube.textureyz = &t1;
    cube.texturezx = &t2;
    for (rtObjPlane* f : cube.faces) EXPECT_EQ(f, nullptr);

    std::vector<rtObjBase*> list;
    cube.collectPrimitives(list);
    ASSERT_EQ(list.size(), 6u);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(list[i], cube.faces[i]);

    const float sxy[3][2] = {{2, 1}, {1, 3}, {3, 2}};
    const Vec4f edges[3][2] = {{cube.x, cube.y}, {cube.y, cube.z}, {cube.z, cube.x}};
    const Vec4f third[3] = {cube.z, cube.x, cube.y};
    const Texture* tex[3] = {&t0, &t1, &t2};
    const char* names[3] = {"a", "b", "c"};
    for (int k = 0; k < 3; ++k) {
        for (int j = 0; j < 2; ++j) {
            const rtObjPlane& f = *cube.faces[2 * k + j];
            EXPECT_FLOAT_EQ(f.sx, sxy[k][0]) << "pair " << k;
            EXPECT_FLOAT_EQ(f.sy, sxy[k][1]) << "pair " << k;
            expectVec(f.x, edges[k][0]);
            expectVec(f.y, edges[k][1]);
            expectVec(f.pos, j == 0 ? cube.pos : cube.pos + third[k]);
            EXPECT_EQ(f.texture, tex[k]);
            EXPECT_EQ(f.texname, names[k]);
            EXPECT_FLOAT_EQ(f.uLimit, sxy[k][0]);  // updated
            EXPECT_GT(f.area, 0.0f);
        }
    }
    EXPECT_EQ(cube.area, 0.0f);
}

TEST(RtObjCube, EveryBuildReplacesTheFaces) {
    rtObjCube cube;
    std::vector<rtObjBase*> first;
    cube.collectPrimitives(first);
    cube.pos = Vec4f(10, 0, 0, 0);
    std::vector<rtObjBase*> second;
    cube.collectPrimitives(second);
    ASSERT_EQ(second.size(), 6u);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(second[i], cube.faces[i]);
    EXPECT_FLOAT_EQ(cube.faces[0]->pos.x, 10.0f);
    EXPECT_FLOAT_EQ(cube.faces[1]->box.min.x, 10.0f);
}

// A ray from inside a rectangular box leaves it through exactly one face, at the distance found
// in double by the slab method in the box's own edge coordinates.
TEST(RtObjCube, FacesCloseTheSolid) {
    Rng rng(8);
    int checked = 0;
    for (int k = 0; k < 30; ++k) {
        rtObjCube cube;
        randomBox(rng, cube);
        std::vector<rtObjBase*> faces;
        cube.collectPrimitives(faces);
        const D3 ex[3] = {d3(cube.x), d3(cube.y), d3(cube.z)};
        for (int i = 0; i < 100; ++i) {
            const double a[3] = {rng.uni(0.05, 0.95), rng.uni(0.05, 0.95), rng.uni(0.05, 0.95)};
            const Vec4f o =
                cube.pos + cube.x * float(a[0]) + cube.y * float(a[1]) + cube.z * float(a[2]);
            const Vec4f d = rng.direction();
            double exits[3];
            for (int e = 0; e < 3; ++e) {
                const double rate = dot(d3(d), ex[e]) / dot(ex[e], ex[e]);
                exits[e] = rate > 0 ? (1 - a[e]) / rate : -a[e] / rate;
            }
            double best = exits[0], second = 1e300;
            for (int e = 1; e < 3; ++e) {
                if (exits[e] < best) {
                    second = best;
                    best = exits[e];
                } else {
                    second = std::min(second, exits[e]);
                }
            }
            if (second - best < 1e-3 * best) continue;  // leaves near an edge
            ++checked;
            int hitCount = 0;
            float nearest = kNoDistance;
            for (rtObjBase* f : faces) {
                SingleRay r = makeRay(o, d);
                float t = kNoDistance;
                f->intersect1(r, t);
                if (t != kNoDistance) {
                    ++hitCount;
                    nearest = std::min(nearest, t);
                }
            }
            EXPECT_EQ(hitCount, 1) << "cube " << k << " ray " << i;
            EXPECT_NEAR(nearest, best, 1e-4 * (1 + best));
        }
    }
    EXPECT_GT(checked, 2500);
}

TEST(RtObjCube, BoxIsNotSupported) {
    rtObjCube cube;
    testing::internal::CaptureStdout();
    try {
        cube.boundingBox();
        ADD_FAILURE() << "no error raised";
    } catch (const ProgrammingError& e) {
        EXPECT_STREQ(e.what(), "Function is not Supported");
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Function is not Supported\n");
}

TEST(RtObjCube, OwnRayOperationsFindNothingAndWriteNothing) {
    rtObjCube cube;
    std::vector<rtObjBase*> faces;
    cube.collectPrimitives(faces);
    const Vec4f o(0, 0, 0, 0), d = unitDir(0, 0, 1);  // from the centre: every face would hit
    SingleRay r = makeRay(o, d);
    r.u = 9;
    float t = kNoDistance;
    cube.intersect1(r, t);
    cube.intersect1Alt(r, t);
    EXPECT_EQ(t, kNoDistance);
    EXPECT_EQ(r.u, 9.0f);
    EXPECT_FALSE(cube.occluded1(r));
    const Vec4f ds[4] = {d, d, d, d};
    alignas(16) RayBundle4 b4;
    makeBundle4(b4, o, ds);
    EXPECT_EQ(movemask(cube.intersect4(b4)), 0);
    EXPECT_EQ(movemask(cube.intersect4Alt(b4)), 0);
    EXPECT_EQ(movemask(b4.live), 0xf);
    EXPECT_EQ(b4.tHit[0], kNoHit);
    Vec4f d16[16];
    repeat16(ds, d16);
    alignas(16) RayBundle16 b16;
    makeBundle16(b16, o, d16);
    LaneMask4 hits[4] = {LaneMask4(true), LaneMask4(true), LaneMask4(true), LaneMask4(true)};
    EXPECT_FALSE(cube.intersect16(b16, hits));
    EXPECT_EQ(combineMasks(hits), 0);
    EXPECT_FALSE(cube.intersect16Alt(b16, hits));
    EXPECT_EQ(combineMasks(b16.live), 0xffff);
}

TEST(RtObjCube, PrepareForOriginReachesTheFaces) {
    rtObjCube cube;
    cube.prepareForOrigin(Vec4f(0, 0, 0, 0));  // no faces yet: nothing to do
    std::vector<rtObjBase*> faces;
    cube.collectPrimitives(faces);
    cube.prepareForOrigin(Vec4f(0, 0, 0, 0));
    // Each face's corner lies 0.5 from the centre along its normal (either sign).
    for (rtObjPlane* f : cube.faces) EXPECT_FLOAT_EQ(std::fabs(f->originDist), 0.5f);
}

TEST(RtObjCube, PropertiesInFileOrderWithDefaults) {
    rtObjCube cube;
    EXPECT_EQ(propertyText(cube),
              "name=|pos=-0.5;-0.5;-0.5;0|x=1;0;0;0|y=0;1;0;0|z=0;0;1;0|sx=1|sy=1|sz=1|texxy=|"
              "texyz=|texzx=");
}

// A clone takes the properties but builds its own faces.
TEST(RtObjCube, CloneTakesPropertiesButNotFaces) {
    rtObjCube cube;
    cube.sy = 6;
    std::vector<rtObjBase*> faces;
    cube.collectPrimitives(faces);
    std::unique_ptr<rtObjBase> c(cube.clone());
    auto* q = dynamic_cast<rtObjCube*>(c.get());
    ASSERT_NE(q, nullptr);
    for (rtObjPlane* f : q->faces) EXPECT_EQ(f, nullptr);
    std::vector<rtObjBase*> own;
    q->collectPrimitives(own);
    for (int i = 0; i < 6; ++i) EXPECT_NE(own[i], faces[i]);
    EXPECT_FLOAT_EQ(q->faces[2]->sx, 6.0f);  // pair 1 takes (sy, sz)
    rtObjPlane p;
    EXPECT_THROW(q->copyFrom(p), ProgrammingError);
}

TEST(RtObjTextures, NamesResolveThroughTheCollectionWithTheFirstAsDefault) {
    auto* first = new RecordingTexture;
    auto* stone = new RecordingTexture;
    TextureCol textures;
    textures.add(first, "first");
    textures.add(stone, "stone");

    rtObjPlane plane;
    plane.texname = "stone";
    plane.resolveTextures(textures);
    EXPECT_EQ(plane.texture, stone);
    plane.texname = "missing";
    plane.resolveTextures(textures);
    EXPECT_EQ(plane.texture, first);

    rtObjSphere<1> sphere;
    sphere.texname = "stone";
    sphere.resolveTextures(textures);
    EXPECT_EQ(sphere.texture, stone);
    EXPECT_EQ(sphere.rtObjBase::texture, nullptr);  // spheres keep their own pointer
    rtObjSphere<0> moving;
    moving.resolveTextures(textures);
    EXPECT_EQ(moving.texture, first);

    rtObjCube cube;
    cube.texxy = "stone";
    cube.texzx = "nothing";
    cube.resolveTextures(textures);
    EXPECT_EQ(cube.texturexy, stone);
    EXPECT_EQ(cube.textureyz, first);
    EXPECT_EQ(cube.texturezx, first);
    std::vector<rtObjBase*> faces;
    cube.collectPrimitives(faces);
    EXPECT_EQ(cube.faces[0]->texture, stone);
    EXPECT_EQ(cube.faces[3]->texture, first);

    TextureCol empty;
    testing::internal::CaptureStdout();
    EXPECT_THROW(plane.resolveTextures(empty), ProgrammingError);
    EXPECT_THROW(cube.resolveTextures(empty), ProgrammingError);
    testing::internal::GetCapturedStdout();
}
