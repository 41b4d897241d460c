// A parallelepiped with corner pos and edges x, y, z. It never enters the kd-tree itself: each
// tree build asks it for its six faces, planes that it owns and rebuilds every time.
#pragma once

#include <QString>

#include "scene/rtobjbase.h"

class rtObjPlane;

class rtObjCube : public rtObjBase {
public:
    Vec4f pos{-0.5f, -0.5f, -0.5f, 0.0f};
    Vec4f x{1, 0, 0, 0};
    Vec4f y{0, 1, 0, 0};
    Vec4f z{0, 0, 1, 0};
    float sx = 1.0f;
    float sy = 1.0f;
    float sz = 1.0f;
    SharedText texxy;  // texture of the faces spanned by x and y
    SharedText texyz;  // by y and z
    SharedText texzx;  // by z and x
    Texture* texturexy = nullptr;
    Texture* textureyz = nullptr;
    Texture* texturezx = nullptr;
    // Faces 2k + j: pair k (xy, yz, zx), side j (0 at pos, 1 at pos + the third edge). Owned;
    // null before the first collectPrimitives.
    rtObjPlane* faces[6] = {};

    rtObjCube() = default;
    rtObjCube(const rtObjCube&) = delete;
    rtObjCube& operator=(const rtObjCube&) = delete;
    ~rtObjCube() override;

    // Raises "Function is not Supported": the tree holds the faces, never the cube.
    BoundingBox boundingBox() const override;
    void resolveTextures(TextureCol& textures) override;
    // Replaces the six faces by new planes and appends them. Between frames only; pointers to
    // the old faces (an old kd-tree) become invalid.
    void collectPrimitives(std::vector<rtObjBase*>& list) override;

    // The ray operations are never reached through the tree: they find nothing, write nothing.
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
};
