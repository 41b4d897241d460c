// Parallelogram geometry: derived texture axes and normal, ray-parallelogram intersection for one
// ray and for four-lane groups (SSE, results chosen by lane masks), and shading factors.
#include "scene/rtobjplane.h"

#include <cmath>
#include <cstdio>

#include "base/programmingerror.h"
#include "base/traceoutput.h"
#include "geometry/vec16f.h"
#include "scene/dataelem.h"
#include "scene/texture.h"
#include "scene/texturecol.h"

namespace {

// The plane exists at all times: its box spans this far in t either way.
constexpr float kTimeExtent = 10000.0f;

// One trace line: a label and the vector's four components in the 'g' format with 6 digits.
void traceVector(const char* label, const Vec4f& a) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "%s %g;%g;%g;%g", label, double(a.x), double(a.y),
                  double(a.z), double(a.w));
    TraceOutput::line(buf);
}

// The x, y, z of a direction; the single ray's w of 1 takes no part in plane geometry.
inline Vec4f spatial(const Vec4f& d) { return Vec4f(d.x, d.y, d.z, 0.0f); }

}  // namespace

rtObjPlane::rtObjPlane() {
    setWideTest(WideTest::Parallelogram);
    update();
}

BoundingBox rtObjPlane::boundingBox() const { return parallelogramBox(pos, x, y); }

BoundingBox parallelogramBox(const Vec4f& pos, const Vec4f& x, const Vec4f& y) {
    // Worked out when asked rather than kept, 32 bytes less a plane and six a cube; a tree build
    // asks once. It may ask on any thread, and the box must not depend on which.
    const NearestRounding rounding;
    const Vec4f corners[4] = {pos, pos + x, pos + y, pos + x + y};
    Vec4f lo = corners[0], hi = corners[0];
    for (const Vec4f& c : corners) {
        lo = min(lo, c);
        hi = max(hi, c);
    }
    lo.w = -kTimeExtent;
    hi.w = kTimeExtent;
    return BoundingBox(lo, hi);
}

void rtObjPlane::resolveTextures(TextureCol& textures) { texture = textures.get(texname); }

// ---- single rays

bool PlaneFace::hitSingle(const SingleRay& ray, float& t, float& u, float& v) const {
    const Vec4f d = spatial(ray.dir);
    t = -dot4(ray.origin - pos, normal) / dot4(d, normal);
    if (!(ray.tMin <= t && t <= ray.tMax)) return false;
    const Vec4f r = d * t - (pos - ray.origin);  // p - pos
    u = dot4(r, xs);
    v = dot4(r, ys);
    return 0.0f <= u && u < uLimit && 0.0f <= v && v < vLimit;
}

void rtObjPlane::traceHit(float t) const { tracePlaneHit(t, pos, x, y); }

void tracePlaneHit(float t, const Vec4f& pos, const Vec4f& x, const Vec4f& y) {
    if (!TraceOutput::enabled()) return;
    char distance[64];
    std::snprintf(distance, sizeof distance, "Distance %g", double(t));
    TraceOutput::line("PLANEHIT: with propersties:");
    TraceOutput::line(distance);
    traceVector("pos", pos);
    traceVector("x", x);
    traceVector("y", y);
}

void rtObjPlane::intersect1(SingleRay& ray, float& t) const {
    float th, u, v;
    if (!hitSingle(ray, th, u, v)) return;
    ray.u = u;
    ray.v = v;
    ray.hitOffset = hitOffset();
    t = th;
    if (ray.trace) traceHit(th);
}

void rtObjPlane::intersect1Alt(SingleRay& ray, float& t) const { intersect1(ray, t); }

bool rtObjPlane::occluded1(const SingleRay& ray) const {
    float t, u, v;
    return hitSingle(ray, t, u, v);
}

void rtObjPlane::shade1(SingleRay& ray, float t) const { shadeSingle(ray, t); }

void PlaneFace::shadeSingle(SingleRay& ray, float t) const {
    const Vec4f d = spatial(ray.dir);
    const Vec4f r = d * t - (pos - ray.origin);
    ray.u = dot4(r, xs);
    ray.v = dot4(r, ys);
    if (texture) texture->shade1(ray, std::fabs(dot4(normal, d)));
}

// ---- four-lane groups

LaneMask4 rtObjPlane::intersect4(RayBundle4& b) const { return hits4(b); }

LaneMask4 PlaneFace::hits4(RayBundle4& b) const { return intersect4Kernel(*this, b); }

TAVOLIN_HOT_KERNEL
LaneMask4 PlaneFace::intersect4Kernel(const PlaneFace& plane, RayBundle4& b) {
    return intersectParallelogram4(plane, b);
}

// The light-bending entry: the lanes of a bent path start from their own path points, so the
// distance to the plane is taken from each lane's origin instead of the prepared camera origin
// (the original rule used the first lane's origin, which holds only for a path's first piece).
LaneMask4 rtObjPlane::intersect4Alt(RayBundle4& b) const { return hits4Alt(b); }

LaneMask4 PlaneFace::hits4Alt(RayBundle4& b) const {
    ParallelogramLanes lanes(*this, b.originSoA[0], b.originSoA[1], b.originSoA[2], b.originSoA[3]);
    lanes.dist = lanes.px * lanes.nx + lanes.py * lanes.ny + lanes.pz * lanes.nz -
                 lanes.rw * Vec4f(normal.w);
    return lanes.group(b.dir[0], b.dir[1], b.dir[2], b.tMin, b.tMax, b.tHit, b.live, b.u, b.v);
}

int rtObjPlane::reserved4(int) const { return 0; }

void rtObjPlane::shade4(RayBundle4& b, LaneMask4 mask) const { shadeFour(b, mask); }

void PlaneFace::shadeFour(RayBundle4& b, LaneMask4 mask) const {
    // The absolute cosine, as for single rays and 16-ray packets: a plane seen from behind is
    // lit like its front (the signed factor of the original four-ray rule drew it black at the
    // default packet size only).
    const Vec4f f =
        abs(Vec4f(normal.x) * b.dir[0] + Vec4f(normal.y) * b.dir[1] + Vec4f(normal.z) * b.dir[2]);
    if (texture) texture->shade4(b, mask, f);
}

bool rtObjPlane::intersect16(RayBundle16& b, LaneMask4 hits[4]) const { return hits16(b, hits); }

bool PlaneFace::hits16(RayBundle16& b, LaneMask4 hits[4]) const {
#if TAVOLIN_WIDE_KERNELS
    if (hasWideKernels()) return intersect16Wide(*this, b, hits);
#endif
    return intersect16Kernel(*this, b, hits);
}

#if TAVOLIN_WIDE_KERNELS
// ParallelogramLanes::group for the sixteen rays at once, the same operations lane by lane.
TAVOLIN_WIDE_KERNEL
bool PlaneFace::intersect16Wide(const PlaneFace& plane, RayBundle16& b, LaneMask4 hits[4]) {
    const Mask16 accept = intersectParallelogramWide(plane, wideDirections(b), b);
    for (int g = 0; g < 4; ++g) hits[g] = group(accept, g);
    return accept != 0;
}
#endif

TAVOLIN_HOT_KERNEL
bool PlaneFace::intersect16Kernel(const PlaneFace& plane, RayBundle16& b, LaneMask4 hits[4]) {
    const Vec4f& o = b.origin[0];
    const ParallelogramLanes lanes(plane, Vec4f(o.x), Vec4f(o.y), Vec4f(o.z), Vec4f(o.w));
    LaneMask4 any16;
    for (int g = 0; g < 4; ++g) {
        hits[g] = lanes.group(b.dir[g].x, b.dir[g].y, b.dir[g].z, b.tMin[g], b.tMax[g], b.tHit[g],
                              b.live[g], b.u[g], b.v[g]);
        any16 |= hits[g];
    }
    return any(any16);
}

bool rtObjPlane::intersect16Alt(RayBundle16& b, LaneMask4 hits[4]) const {
    return intersect16(b, hits);
}

int rtObjPlane::reserved16(int) const { return 0; }

void rtObjPlane::shade16(RayBundle16& b, const LaneMask4 mask[4]) const { shadeSixteen(b, mask); }

void PlaneFace::shadeSixteen(RayBundle16& b, const LaneMask4 mask[4]) const {
    alignas(16) Vec4f f[4];
    for (int g = 0; g < 4; ++g)
        f[g] = abs(Vec4f(normal.x) * b.dir[g].x + Vec4f(normal.y) * b.dir[g].y +
                   Vec4f(normal.z) * b.dir[g].z);
    if (texture) texture->shade16(b, mask, f);
}

// ---- set-up between frames

void rtObjPlane::prepareForOrigin(const Vec4f& origin) { prepareOrigin(origin); }

void rtObjPlane::getProperties(Reader::PropertyList& list) {
    rtObjBase::getProperties(list);
    list.addVec("pos", pos);
    list.addVec("x", x);
    list.addVec("y", y);
    list.addFloat("sx", sx);
    list.addFloat("sy", sy);
    list.addString("texname", texname);
    addVelocity(list);
}

void rtObjPlane::update() {
    setEdges(x, y, sx, sy);
    setHitBounds(bundleHitBounds());
}

void PlaneFace::setEdges(const Vec4f& x, const Vec4f& y, float sx, float sy) {
    uLimit = sx;
    vLimit = sy;

    const float invX = 1.0f / std::sqrt(dot4(x, x));
    const float invY = 1.0f / std::sqrt(dot4(y, y));
    xs = x * sx * invX * invX;
    ys = y * sy * invY * invY;
    // u and v are the hit's coordinates along the edges, (p - pos) = (u / sx) x + (v / sy) y: the
    // dual basis of x and y. For perpendicular edges that is x / |x|^2 and y / |y|^2, as above.
    // Projecting onto skewed edges instead would accept another parallelogram, reaching outside
    // the plane's bounds (single rays found it there, packets did not) and leaving the faces of a
    // skewed cube apart; so skewed edges (cosine above 1e-5, beyond the traversal's widening of
    // 1e-4) take the dual basis. Nearly parallel edges make no plane to speak of: left as above.
    if (x.w == 0.0f && y.w == 0.0f) {
        const double xx = double(x.x) * x.x + double(x.y) * x.y + double(x.z) * x.z;
        const double yy = double(y.x) * y.x + double(y.y) * y.y + double(y.z) * y.z;
        const double xy = double(x.x) * y.x + double(x.y) * y.y + double(x.z) * y.z;
        const double det = xx * yy - xy * xy;
        const double cosine = std::fabs(xy) / std::sqrt(xx * yy);
        if (cosine > 1e-5 && cosine < 0.999 && det > 0.0) {
            for (int k = 0; k < 3; ++k) {
                xs[k] = float((yy * x[k] - xy * y[k]) / det * sx);
                ys[k] = float((xx * y[k] - xy * x[k]) / det * sy);
            }
        }
    }

    const double nx = double(xs.y) * ys.z - double(xs.z) * ys.y;
    const double ny = double(xs.z) * ys.x - double(xs.x) * ys.z;
    const double nz = double(xs.x) * ys.y - double(xs.y) * ys.x;
    const double scale = 1.0 / std::sqrt(nx * nx + ny * ny + nz * nz);
    normal = Vec4f(float(nx * scale), float(ny * scale), float(nz * scale), 0.0f);
}

BoundingBox PlaneFace::bundleHitBounds() const {
    // The bundle tests accept 0 < (p - pos).xs < sx and 0 < (p - pos).ys < sy for p on the
    // plane. With the dual basis e1, e2 of xs, ys in the plane (e1.xs = 1, e1.ys = 0, e2.xs = 0,
    // e2.ys = 1) that region is the parallelogram pos + u e1 + v e2: the plane's own (update). A
    // time component in the texture axes would make it depend on the ray's time, and nearly
    // parallel axes make it ill-conditioned: no bounds then.
    if (xs.w != 0.0f || ys.w != 0.0f) return BoundingBox::everywhere();
    const double a[3] = {xs.x, xs.y, xs.z}, b[3] = {ys.x, ys.y, ys.z};
    const double aa = a[0] * a[0] + a[1] * a[1] + a[2] * a[2];
    const double bb = b[0] * b[0] + b[1] * b[1] + b[2] * b[2];
    const double ab = a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
    const double det = aa * bb - ab * ab;
    const double sine = std::sqrt(std::fmax(det, 0.0) / (aa * bb));
    if (!(sine >= 0.01)) return BoundingBox::everywhere();  // also NaN
    const float inf = __builtin_inff();
    Vec4f lo(inf, inf, inf, 0.0f), hi(-inf, -inf, -inf, 0.0f);
    double magnitude = 0.0;
    for (int corner = 0; corner < 4; ++corner) {
        const double u = (corner & 1) ? uLimit : 0.0, v = (corner & 2) ? vLimit : 0.0;
        for (int k = 0; k < 3; ++k) {
            const double e1 = (bb * a[k] - ab * b[k]) / det, e2 = (aa * b[k] - ab * a[k]) / det;
            const double p = double(pos[k]) + u * e1 + v * e2;
            lo[k] = std::fmin(lo[k], float(p));
            hi[k] = std::fmax(hi[k], float(p));
            magnitude = std::fmax(magnitude, std::fabs(p));
        }
    }
    const float m = float(kHitBoundsMargin * (1.0 + magnitude) / sine);
    if (!std::isfinite(m)) return BoundingBox::everywhere();
    lo = lo - Vec4f(m, m, m, 0.0f);
    hi = hi + Vec4f(m, m, m, 0.0f);
    lo.w = -inf;
    hi.w = inf;
    return BoundingBox(lo, hi);
}

void rtObjPlane::copyFrom(const rtObjBase& other) {
    const auto* o = dynamic_cast<const rtObjPlane*>(&other);
    if (!o) programmingError("rtObjPlane::copyFrom: the other object is not a plane");
    *this = *o;
    update();
}

rtObjBase* rtObjPlane::clone() const {
    auto* copy = new rtObjPlane();
    copy->copyFrom(*this);
    return copy;
}
