// A parallelepiped with corner pos and edges x, y, z: one object of the kd-tree, drawn as its six
// faces, parallelograms it works out at every tree build. One entry instead of six makes
// the tree of a scene of many small boxes a fraction of the size, and lets spheres at rest be
// the most of its objects, which the walk then tests from the tree's copy. A ray that meets the
// cube's cell looks at the cube's box, then at the faces it can meet first, in one call.
#pragma once

#include <QString>

#include "geometry/vec16f.h"
#include "scene/rtobjbase.h"
#include "scene/rtobjplane.h"

class rtObjCube final : public rtObjBounded {
public:
    // The fields in the order a bundle's test reads them, a cache line at a time (a box takes
    // seven lines, and the object pages hand them out on line boundaries): the flags and
    // the texture repetitions fill the tail of the first line, beside the table pointer and
    // the hit bounds; the corner and the slabs of the quick test the second; each pair of faces
    // a line of its own; the faces' distances and textures the sixth. What only the editor and
    // the tree build read, the edges and the texture names, comes last.
    //
    // Bit f: face f is tested first by the bundles from the prepared origin. Seen from outside a
    // pair's slab, the pair's far face is where rays leave the cube, not where they meet it, so a
    // cube seen from outside tests three faces; the far ones only for rays that pass its box and
    // meet none of the three (along an edge of its outline). Set by prepareForOrigin.
    uint8_t bundleFaces = 0x3f;
    // Whether slabs below hold: the edges span a volume and do not change with time.
    bool slabsValid = false;
    bool facesBuilt = false;  // see facePairs
    float sx = 1.0f;
    float sy = 1.0f;
    float sz = 1.0f;
    Vec4f pos{-0.5f, -0.5f, -0.5f, 0.0f};
    // A bundle's rays first meet the cube's box widened by some room, which throws out most
    // misses for less than one face's test. x, y, z: the dual basis of the edges, so that
    // (p - pos) . slab[k] is p's coordinate along edge k (0 to 1 inside); w: the room on either
    // side in that coordinate, far above the faces' rounding. Set by collectPrimitives.
    Vec4f slab[3];
    // What the two faces of pair k (xy, yz, zx) share, as collectPrimitives last worked it out
    // (facesBuilt): their texture axes and normal, and the corner of the face at pos + the third
    // edge, the pair's other face being at pos. The corner is kept, not added up when a face is
    // put together, for the render workers round another way than the thread that builds the
    // faces. The limits of the faces' coordinates are the repetitions sx, sy and sz. Kept
    // apart from a whole PlaneFace each, a cube takes 128 bytes less.
    struct FacePair {
        Vec4f xs, ys, normal, farCorner;
    };
    FacePair facePairs[3];
    // (corner - origin) . normal for the prepared origin: face 2k + j's is originDist[k][j].
    float originDist[3][2] = {};
    Texture* texturexy = nullptr;  // resolved from texxy
    Texture* textureyz = nullptr;
    Texture* texturezx = nullptr;
    SharedText texxy;  // texture of the faces spanned by x and y
    SharedText texyz;  // by y and z
    SharedText texzx;  // by z and x
    Vec4f x{1, 0, 0, 0};
    Vec4f y{0, 1, 0, 0};
    Vec4f z{0, 0, 1, 0};

    rtObjCube() { setWideTest(WideTest::Cube); }
    rtObjCube(const rtObjCube&) = delete;
    rtObjCube& operator=(const rtObjCube&) = delete;
    ~rtObjCube() override;

    // fn(f, face f) for each face f of the set (bit f), in their order, face 2k + j being pair
    // k's on side j (0 at pos, 1 at pos + the third edge). The two faces of a pair are put
    // together in one copy, the far one changing its corner and distance only.
    template <class Fn>
    void forEachFace(int set, Fn fn) const {
        for (int k = 0; k < 3; ++k) {
            if (!(set >> 2 * k & 3)) continue;
            PlaneFace pairFace = face(2 * k);
            if (set >> 2 * k & 1) fn(2 * k, pairFace);
            if (set >> (2 * k + 1) & 1) {
                pairFace.pos = facePairs[k].farCorner;
                pairFace.originDist = originDist[k][1];
                fn(2 * k + 1, pairFace);
            }
        }
    }
    // Face f put together in a copy.
    PlaneFace face(int f) const {
        const int k = f / 2;
        const FacePair& pair = facePairs[k];
        PlaneFace face;
        face.pos = f & 1 ? pair.farCorner : pos;
        face.xs = pair.xs;
        face.ys = pair.ys;
        face.normal = pair.normal;
        face.uLimit = repetitions(k);
        face.vLimit = repetitions((k + 1) % 3);
        face.originDist = originDist[k][f & 1];
        face.texture = k == 0 ? texturexy : k == 1 ? textureyz : texturezx;
        return face;
    }

    // sx, sy or sz: the repetitions along edge k (x, y or z).
    float repetitions(int k) const { return k == 0 ? sx : k == 1 ? sy : sz; }

    // The faces' boxes together; raises a programming error before the faces are built.
    BoundingBox boundingBox() const override;
    int testParts() const override { return 6; }
    void resolveTextures(TextureCol& textures) override;
    // Works out the six faces and the hit bounds (theirs together) and appends the cube.
    // Between frames only.
    void collectPrimitives(std::vector<rtObjBase*>& list) override;

    // The faces' tests: the nearest hit of the faces tested, the first face of them on a tie
    // (near faces before far ones, see bundleFaces). Where the outline has an edge a ray along
    // it may meet a near and a far face an ulp apart; it takes the near one's hit. The bundle
    // tests write the face into the bundle's part lanes, and shading reads it there; a single
    // ray's shading finds the face again by its test. The faces must be built
    // (collectPrimitives).
    void intersect1(SingleRay& ray, float& t) const override;
    void intersect1Alt(SingleRay& ray, float& t) const override;
    bool occluded1(const SingleRay& ray) const override;
    void shade1(SingleRay& ray, float t) const override;
    LaneMask4 intersect4(RayBundle4& bundle) const override;
    LaneMask4 intersect4Alt(RayBundle4& bundle) const override;
    int reserved4(int) const override;
    void shade4(RayBundle4& bundle, LaneMask4 mask) const override;
    bool intersect16(RayBundle16& bundle, LaneMask4 hits[4]) const override;
    bool intersect16Alt(RayBundle16& bundle, LaneMask4 hits[4]) const override;
#if TAVOLIN_WIDE_KERNELS
    // intersect16 from the directions the wide walk keeps in registers (cubeOf): the same
    // hits, the same part lanes.
    bool intersectWide(RayBundle16& bundle, const WideDirections& d, LaneMask4 hits[4]) const;
#endif
    int reserved16(int) const override;
    void shade16(RayBundle16& bundle, const LaneMask4 mask[4]) const override;

    // Forwards to the faces that exist.
    void prepareForOrigin(const Vec4f& origin) override;
    void getProperties(Reader::PropertyList& list) override;
    void update() override;  // nothing to derive: the faces are made by collectPrimitives
    // Copies the properties and texture pointers; the faces are not shared and not copied.
    void copyFrom(const rtObjBase& other) override;
    rtObjBase* clone() const override;

protected:
    Vec4f referencePoint() const override { return pos; }

private:
    void setSlabs();
    // The faces (bit f for face f) a single ray may meet first inside its interval: none when it
    // misses the widened box, and not the far face of a pair whose slab it starts outside.
    int facesFor(const SingleRay& ray) const;
    // The face a single ray meets first, with its distance and surface coordinates (-1 for
    // none): those of facesFor first, the others only when none of them is met.
    int nearestFace(const SingleRay& ray, float& t, float& u, float& v) const;
    int testFaces16(RayBundle16& b, int set, LaneMask4 hits[4]) const;
    // The rays that may meet the widened box inside their intervals before their hits so far:
    // bit i for ray i of the bundle (true for all when the slabs do not hold).
    int mayMeet16(const RayBundle16& b) const;
    LaneMask4 mayMeet4(const RayBundle4& b) const;
#if TAVOLIN_WIDE_KERNELS
    int mayMeetWide(const RayBundle16& b, const WideDirections& d) const;
    int testFacesWide(RayBundle16& b, const WideDirections& d, int set) const;
    bool intersect16Wide(RayBundle16& b, LaneMask4 hits[4]) const;  // with its own directions
#endif
};

// The object's cube where the wide walk tests it from its registers, else null.
inline const rtObjCube* cubeOf(const rtObjBase& object) {
    return object.wideTest() == rtObjBase::WideTest::Cube ? static_cast<const rtObjCube*>(&object)
                                                          : nullptr;
}
