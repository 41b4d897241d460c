// A finite parallelogram: corner pos and edge vectors x and y, textured with sx x sy repetitions.
// The faces of cubes are parallelograms too (PlaneFace).
#pragma once

#include <QString>

#include "geometry/vec16f.h"
#include "geometry/widedirections.h"
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
    // The bundle tests, compiled for the baseline and for AVX2 (virtual functions cannot be).
    static LaneMask4 intersect4Kernel(const PlaneFace& face, RayBundle4& b);
    static bool intersect16Kernel(const PlaneFace& face, RayBundle16& b, LaneMask4 hits[4]);
    // intersect16Kernel on 16-lane registers, for processors with AVX-512 (hasWideKernels).
    static bool intersect16Wide(const PlaneFace& face, RayBundle16& b, LaneMask4 hits[4]);
};

// The plane broadcast to four lanes for rays from the origin (ox, oy, oz, ow), built once per
// bundle. The group test below evaluates exactly the operations of the one-group formula
// (t = originDist / (normal . dir), p - pos = dir t - (pos - origin), u = (p - pos) . xs over
// four components, v likewise) in the same order, and stops as soon as no lane can be accepted.
struct ParallelogramLanes {
    Vec4f nx, ny, nz, dist;
    Vec4f px, py, pz, rw;  // pos - origin per component, and the w term -(pos.w - ow)
    Vec4f xsx, xsy, xsz, xsw, ysx, ysy, ysz, ysw;
    Vec4f uMax, vMax;

    ParallelogramLanes(const PlaneFace& p, const Vec4f& ox, const Vec4f& oy, const Vec4f& oz,
                       const Vec4f& ow)
        : nx(p.normal.x),
          ny(p.normal.y),
          nz(p.normal.z),
          dist(p.originDist),
          px(Vec4f(p.pos.x) - ox),
          py(Vec4f(p.pos.y) - oy),
          pz(Vec4f(p.pos.z) - oz),
          rw(-(Vec4f(p.pos.w) - ow)),
          xsx(p.xs.x),
          xsy(p.xs.y),
          xsz(p.xs.z),
          xsw(p.xs.w),
          ysx(p.ys.x),
          ysy(p.ys.y),
          ysz(p.ys.z),
          ysw(p.ys.w),
          uMax(p.uLimit),
          vMax(p.vLimit) {}

    // Accepts tMin < t < tMax, t < tHit, 0 <= u < uLimit, 0 <= v < vLimit; updates the accepted
    // lanes' tHit, live, u and v. The edges are half-open as for single rays (rather than the
    // open 0 < u of the original bundle rule): a ray exactly on the edge u = 0 then looks the
    // same at every packet size, and of two tiles that share an edge exactly one is hit.
    inline LaneMask4 group(const Vec4f& dx, const Vec4f& dy, const Vec4f& dz, const Vec4f& tMin,
                           const Vec4f& tMax, Vec4f& tHit, LaneMask4& live, Vec4f& u,
                           Vec4f& v) const {
        const Vec4f dn = nx * dx + ny * dy + nz * dz;
        const Vec4f t = dist / dn;
        LaneMask4 accept = (t > tMin) & (t < tMax) & (t < tHit);
        if (none(accept)) return accept;
        const Vec4f rx = dx * t - px;
        const Vec4f ry = dy * t - py;
        const Vec4f rz = dz * t - pz;
        const Vec4f zero;
        const Vec4f lu = rx * xsx + ry * xsy + rz * xsz + rw * xsw;
        accept &= (lu >= zero) & (lu < uMax);
        if (none(accept)) return accept;
        const Vec4f lv = rx * ysx + ry * ysy + rz * ysz + rw * ysw;
        accept &= (lv >= zero) & (lv < vMax);
        live = andNot(live, accept);
        tHit = select(accept, t, tHit);
        u = select(accept, lu, u);
        v = select(accept, lv, v);
        return accept;
    }
};

// PlaneFace::hits4, inline: the 4-ray walk runs it in its leaf loop instead of three calls.
inline LaneMask4 intersectParallelogram4(const PlaneFace& face, RayBundle4& b) {
    const ParallelogramLanes lanes(face, b.originSoA[0], b.originSoA[1], b.originSoA[2],
                                   b.originSoA[3]);
    return lanes.group(b.dir[0], b.dir[1], b.dir[2], b.tMin, b.tMax, b.tHit, b.live, b.u, b.v);
}

#if TAVOLIN_WIDE_KERNELS
// PlaneFace's 16-ray test from directions already on registers, inline: the walk runs it in
// its leaf loop with the directions it joined once, and PlaneFace::hits16 with its own. Accepts
// tMin < t < tMax, t < tHit, 0 <= u < uLimit, 0 <= v < vLimit seen from the bundle's first
// origin, updates the accepted lanes' tHit, live, u and v, and returns them.
TAVOLIN_WIDE_INLINE Mask16 intersectParallelogramWide(const PlaneFace& face,
                                                      const WideDirections& d, RayBundle16& b) {
    const Vec4f& o = b.origin[0];
    const Vec16f dn =
        wide(face.normal.x) * d.x + wide(face.normal.y) * d.y + wide(face.normal.z) * d.z;
    const Vec16f t = wide(face.originDist) / dn;
    const Vec16f tHit = load16(b.tHit);
    Mask16 accept = (t > load16(b.tMin)) & (t < load16(b.tMax)) & (t < tHit);
    if (accept == 0) return 0;
    const Vec16f rx = d.x * t - wide(face.pos.x - o.x);
    const Vec16f ry = d.y * t - wide(face.pos.y - o.y);
    const Vec16f rz = d.z * t - wide(face.pos.z - o.z);
    const Vec16f rw = wide(-(face.pos.w - o.w)), zero = wide(0.0f);
    const Vec16f lu =
        rx * wide(face.xs.x) + ry * wide(face.xs.y) + rz * wide(face.xs.z) + rw * wide(face.xs.w);
    accept &= (lu >= zero) & (lu < wide(face.uLimit));
    if (accept == 0) return 0;
    const Vec16f lv =
        rx * wide(face.ys.x) + ry * wide(face.ys.y) + rz * wide(face.ys.z) + rw * wide(face.ys.w);
    accept &= (lv >= zero) & (lv < wide(face.vLimit));
    storeMask16(loadMask16(b.live) & Mask16(~accept), b.live);
    store16(select(accept, t, tHit), b.tHit);
    store16(select(accept, lu, load16(b.u)), b.u);
    store16(select(accept, lv, load16(b.v)), b.v);
    return accept;
}
#endif

// The box of the parallelogram with corner pos and edges x and y, over all times.
BoundingBox parallelogramBox(const Vec4f& pos, const Vec4f& x, const Vec4f& y);

// The trace lines of a parallelogram's hit at distance t (a plane's or a cube face's).
void tracePlaneHit(float t, const Vec4f& pos, const Vec4f& x, const Vec4f& y);

class rtObjPlane final : public rtObjBounded, public PlaneFace {
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

// The object's parallelogram where the wide walk tests it inline, else null.
inline const PlaneFace* parallelogramOf(const rtObjBase& object) {
    return object.wideTest() == rtObjBase::WideTest::Parallelogram
               ? static_cast<const rtObjPlane*>(&object)
               : nullptr;
}
