// A finite parallelogram: corner pos and edge vectors x and y, textured with sx x sy repetitions.
// The faces of cubes are planes too.
#pragma once

#include <QString>

#include "scene/rtobjbase.h"

class rtObjPlane : public rtObjBase {
public:
    Vec4f pos{0, 0, 0, 0};  // corner
    Vec4f hitOffset;        // normal x hitOffsetScale, copied into a ray on a hit
    Vec4f x{1, 0, 0, 0};    // first edge
    Vec4f y{0, 1, 0, 0};    // second edge
    Vec4f xs, ys;           // texture axes: the dual basis of x, y, times sx and sy (update)
    float uLimit = 5.0f;    // copies of sx, sy: the u and v limits of a hit
    float vLimit = 5.0f;
    float sx = 5.0f;          // texture repetitions along x
    float sy = 5.0f;          // texture repetitions along y
    Vec4f normal;             // unit normal, xs x ys
    SharedText texname;       // name of the texture
    Texture* texture = nullptr;  // resolved from texname
    float originDist = 0.0f;  // (pos - origin) . normal for the frame's common ray origin

    rtObjPlane();

    BoundingBox boundingBox() const override;
    void resolveTextures(TextureCol& textures) override;

    // Any render thread.
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

    // Between frames only.
    void prepareForOrigin(const Vec4f& origin) override;
    void getProperties(Reader::PropertyList& list) override;
    void update() override;
    void copyFrom(const rtObjBase& other) override;
    rtObjBase* clone() const override;

protected:
    Vec4f referencePoint() const override { return pos; }

private:
    friend class rtObjCube;  // a cube tests its faces as parts of itself
    // Distance and surface coordinates of the single-ray hit; true when inside the parallelogram
    // and tMin <= t <= tMax.
    bool hitSingle(const SingleRay& ray, float& t, float& u, float& v) const;
    struct Lanes;  // the plane broadcast for four-lane groups
    BoundingBox bundleHitBounds() const;
    // The bundle tests, compiled for the baseline and for AVX2 (virtual functions cannot be).
    static LaneMask4 intersect4Kernel(const rtObjPlane& plane, RayBundle4& b);
    static bool intersect16Kernel(const rtObjPlane& plane, RayBundle16& b, LaneMask4 hits[4]);
    // intersect16Kernel on 16-lane registers, for processors with AVX-512 (hasWideKernels).
    static bool intersect16Wide(const rtObjPlane& plane, RayBundle16& b, LaneMask4 hits[4]);
    void traceHit(float t) const;
};
