// A finite parallelogram: corner pos and edge vectors x and y, textured with sx x sy repetitions.
// The faces of cubes are parallelograms too (PlaneFace).
#pragma once

#include <QString>

#include "scene/rtobjbase.h"

// What a parallelogram's tests and shading read, worked out by setEdges: a plane's own, or a
// cube's faces (the cube keeps one of each pair of faces, and the other's corner and distance).
// Any render thread may call the ray functions; prepareOrigin between frames.
struct PlaneFace {
    Vec4f pos{0, 0, 0, 0};  // corner
    Vec4f xs, ys;           // texture axes: the dual basis of x, y, times sx and sy (update)
    Vec4f normal;           // unit normal, xs x ys
    float uLimit = 5.0f;    // copies of sx, sy: the u and v limits of a hit
    float vLimit = 5.0f;
    float originDist = 0.0f;     // (pos - origin) . normal for the frame's common ray origin
    Texture* texture = nullptr;  // resolved from the texture name

    // What a hit writes into the ray along the normal (worked out where it is used, 16 bytes
    // less a face).
    Vec4f hitOffset() const { return normal * hitOffsetScale; }

    // Distance and surface coordinates of the single-ray hit; true when inside the parallelogram
    // and tMin <= t <= tMax.
    bool hitSingle(const SingleRay& ray, float& t, float& u, float& v) const;
    void shadeSingle(SingleRay& ray, float t) const;
    // The bundle tests and shading of rtObjBase (intersect4, intersect4Alt, intersect16, ...).
    LaneMask4 hits4(RayBundle4& b) const;
    LaneMask4 hits4Alt(RayBundle4& b) const;
    bool hits16(RayBundle16& b, LaneMask4 hits[4]) const;
    void shadeFour(RayBundle4& b, LaneMask4 mask) const;
    void shadeSixteen(RayBundle16& b, const LaneMask4 mask[4]) const;
    void prepareOrigin(const Vec4f& origin) { originDist = dot4(pos - origin, normal); }

    // Works out the texture axes, the limits and the normal of the face spanned by edges x and y
    // with sx and sy texture repetitions; pos and texture are the caller's to set.
    void setEdges(const Vec4f& x, const Vec4f& y, float sx, float sy);
    // The region the bundle tests accept, widened by their rounding (everywhere where that
    // region is ill-conditioned).
    BoundingBox bundleHitBounds() const;

private:
    struct Lanes;  // the face broadcast for four-lane groups
    // The bundle tests, compiled for the baseline and for AVX2 (virtual functions cannot be).
    static LaneMask4 intersect4Kernel(const PlaneFace& face, RayBundle4& b);
    static bool intersect16Kernel(const PlaneFace& face, RayBundle16& b, LaneMask4 hits[4]);
    // intersect16Kernel on 16-lane registers, for processors with AVX-512 (hasWideKernels).
    static bool intersect16Wide(const PlaneFace& face, RayBundle16& b, LaneMask4 hits[4]);
};

// The box of the parallelogram with corner pos and edges x and y, over all times.
BoundingBox parallelogramBox(const Vec4f& pos, const Vec4f& x, const Vec4f& y);

// The trace lines of a parallelogram's hit at distance t (a plane's or a cube face's).
void tracePlaneHit(float t, const Vec4f& pos, const Vec4f& x, const Vec4f& y);

class rtObjPlane : public rtObjBounded, public PlaneFace {
public:
    Vec4f x{1, 0, 0, 0};      // first edge
    Vec4f y{0, 1, 0, 0};      // second edge
    float sx = 5.0f;          // texture repetitions along x
    float sy = 5.0f;          // texture repetitions along y
    SharedText texname;       // name of the texture

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
    void traceHit(float t) const;
};
