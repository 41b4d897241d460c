// Parallelogram geometry: derived texture axes and normal, ray-parallelogram intersection for one
// ray and for four-lane groups (SSE, results chosen by lane masks), and shading factors.
#include "scene/rtobjplane.h"

#include <cmath>

#include "geometry/programmingerror.h"
#include "geometry/traceoutput.h"
#include "scene/dataelem.h"
#include "scene/texture.h"
#include "scene/texturecol.h"

namespace {

// The plane exists at all times: its box spans this far in t either way.
constexpr float kTimeExtent = 10000.0f;

std::string vecText(const Vec4f& a) {
    return QString("%1;%2;%3;%4")
        .arg(QString::number(a.x, 'g', 6), QString::number(a.y, 'g', 6),
             QString::number(a.z, 'g', 6), QString::number(a.w, 'g', 6))
        .toStdString();
}

// The x, y, z of a direction; the single ray's w of 1 takes no part in plane geometry.
inline Vec4f spatial(const Vec4f& d) { return Vec4f(d.x, d.y, d.z, 0.0f); }

}  // namespace

rtObjPlane::rtObjPlane() { update(); }

BoundingBox rtObjPlane::boundingBox() const { return box; }

void rtObjPlane::resolveTextures(TextureCol& textures) { texture = textures.get(texname); }

// ---- single rays

bool rtObjPlane::hitSingle(const SingleRay& ray, float& t, float& u, float& v) const {
    const Vec4f d = spatial(ray.dir);
    t = -dot4(ray.origin - pos, normal) / dot4(d, normal);
    if (!(ray.tMin <= t && t <= ray.tMax)) return false;
    const Vec4f r = d * t - (pos - ray.origin);  // p - pos
    u = dot4(r, xs);
    v = dot4(r, ys);
    return 0.0f <= u && u < uLimit && 0.0f <= v && v < vLimit;
}

void rtObjPlane::traceHit(float t) const {
    TraceOutput::line("PLANEHIT: with propersties:");
    TraceOutput::line("Distance " + QString::number(t, 'g', 6).toStdString());
    TraceOutput::line("pos " + vecText(pos));
    TraceOutput::line("x " + vecText(x));
    TraceOutput::line("y " + vecText(y));
}

void rtObjPlane::intersect1(SingleRay& ray, float& t) const {
    float th, u, v;
    if (!hitSingle(ray, th, u, v)) return;
    ray.u = u;
    ray.v = v;
    ray.hitOffset = hitOffset;
    t = th;
    if (ray.trace) traceHit(th);
}

void rtObjPlane::intersect1Alt(SingleRay& ray, float& t) const { intersect1(ray, t); }

bool rtObjPlane::occluded1(const SingleRay& ray) const {
    float t, u, v;
    return hitSingle(ray, t, u, v);
}

void rtObjPlane::shade1(SingleRay& ray, float t) const {
    const Vec4f d = spatial(ray.dir);
    const Vec4f r = d * t - (pos - ray.origin);
    ray.u = dot4(r, xs);
    ray.v = dot4(r, ys);
    if (texture) texture->shade1(ray, std::fabs(dot4(normal, d)));
}

// ---- four-lane groups

LaneMask4 rtObjPlane::intersectGroup(const Vec4f& dx, const Vec4f& dy, const Vec4f& dz,
                                     const Vec4f& ox, const Vec4f& oy, const Vec4f& oz,
                                     const Vec4f& ow, const Vec4f& tMin, const Vec4f& tMax,
                                     Vec4f& tHit, LaneMask4& live, Vec4f& u, Vec4f& v) const {
    const Vec4f dn = Vec4f(normal.x) * dx + Vec4f(normal.y) * dy + Vec4f(normal.z) * dz;
    const Vec4f t = Vec4f(originDist) / dn;
    // p - pos = dir t - (pos - origin), per component
    const Vec4f rx = dx * t - (Vec4f(pos.x) - ox);
    const Vec4f ry = dy * t - (Vec4f(pos.y) - oy);
    const Vec4f rz = dz * t - (Vec4f(pos.z) - oz);
    const Vec4f rw = -(Vec4f(pos.w) - ow);
    const Vec4f lu = rx * Vec4f(xs.x) + ry * Vec4f(xs.y) + rz * Vec4f(xs.z) + rw * Vec4f(xs.w);
    const Vec4f lv = rx * Vec4f(ys.x) + ry * Vec4f(ys.y) + rz * Vec4f(ys.z) + rw * Vec4f(ys.w);
    const Vec4f zero;
    const LaneMask4 accept = (t > tMin) & (t < tMax) & (t < tHit) & (lu > zero) &
                             (lu < Vec4f(uLimit)) & (lv > zero) & (lv < Vec4f(vLimit));
    live = andNot(live, accept);
    tHit = select(accept, t, tHit);
    u = select(accept, lu, u);
    v = select(accept, lv, v);
    return accept;
}

LaneMask4 rtObjPlane::intersect4(RayBundle4& b) const {
    return intersectGroup(b.dir[0], b.dir[1], b.dir[2], b.originSoA[0], b.originSoA[1],
                          b.originSoA[2], b.originSoA[3], b.tMin, b.tMax, b.tHit, b.live, b.u, b.v);
}

LaneMask4 rtObjPlane::intersect4Alt(RayBundle4& b) const {
    const Vec4f& o = b.origin[0];
    return intersectGroup(b.dir[0], b.dir[1], b.dir[2], Vec4f(o.x), Vec4f(o.y), Vec4f(o.z),
                          Vec4f(o.w), b.tMin, b.tMax, b.tHit, b.live, b.u, b.v);
}

int rtObjPlane::reserved4(int) const { return 0; }

void rtObjPlane::shade4(RayBundle4& b, LaneMask4 mask) const {
    // Signed on purpose: the four-ray path leaves the sign to the texture.
    const Vec4f f =
        Vec4f(normal.x) * b.dir[0] + Vec4f(normal.y) * b.dir[1] + Vec4f(normal.z) * b.dir[2];
    if (texture) texture->shade4(b, mask, f);
}

bool rtObjPlane::intersect16(RayBundle16& b, LaneMask4 hits[4]) const {
    const Vec4f& o = b.origin[0];
    const Vec4f ox(o.x), oy(o.y), oz(o.z), ow(o.w);
    LaneMask4 any16;
    for (int g = 0; g < 4; ++g) {
        hits[g] = intersectGroup(b.dir[g].x, b.dir[g].y, b.dir[g].z, ox, oy, oz, ow, b.tMin[g],
                                 b.tMax[g], b.tHit[g], b.live[g], b.u[g], b.v[g]);
        any16 |= hits[g];
    }
    return any(any16);
}

bool rtObjPlane::intersect16Alt(RayBundle16& b, LaneMask4 hits[4]) const {
    return intersect16(b, hits);
}

int rtObjPlane::reserved16(int) const { return 0; }

void rtObjPlane::shade16(RayBundle16& b, const LaneMask4 mask[4]) const {
    alignas(16) Vec4f f[4];
    for (int g = 0; g < 4; ++g)
        f[g] = abs(Vec4f(normal.x) * b.dir[g].x + Vec4f(normal.y) * b.dir[g].y +
                   Vec4f(normal.z) * b.dir[g].z);
    if (texture) texture->shade16(b, mask, f);
}

// ---- set-up between frames

void rtObjPlane::prepareForOrigin(const Vec4f& origin) { originDist = dot4(pos - origin, normal); }

void rtObjPlane::getProperties(Reader::PropertyList& list) {
    rtObjBase::getProperties(list);
    list.addVec("pos", pos);
    list.addVec("x", x);
    list.addVec("y", y);
    list.addFloat("sx", sx);
    list.addFloat("sy", sy);
    list.addString("texname", texname);
}

void rtObjPlane::update() {
    const Vec4f corners[4] = {pos, pos + x, pos + y, pos + x + y};
    Vec4f lo = corners[0], hi = corners[0];
    for (const Vec4f& c : corners) {
        lo = min(lo, c);
        hi = max(hi, c);
    }
    lo.w = -kTimeExtent;
    hi.w = kTimeExtent;
    box = BoundingBox(lo, hi);

    uLimit = sx;
    vLimit = sy;

    const float invX = 1.0f / std::sqrt(dot4(x, x));
    const float invY = 1.0f / std::sqrt(dot4(y, y));
    xs = x * sx * invX * invX;
    ys = y * sy * invY * invY;

    const double nx = double(xs.y) * ys.z - double(xs.z) * ys.y;
    const double ny = double(xs.z) * ys.x - double(xs.x) * ys.z;
    const double nz = double(xs.x) * ys.y - double(xs.y) * ys.x;
    const double scale = 1.0 / std::sqrt(nx * nx + ny * ny + nz * nz);
    normal = Vec4f(float(nx * scale), float(ny * scale), float(nz * scale), 0.0f);

    hitOffset = normal * hitOffsetScale;
    area = std::sqrt(dot4(x, x)) * std::sqrt(dot4(y, y)) * 2.0f;
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
