// Parallelepiped as six parallelogram faces, worked out at each kd-tree build and tested as one
// object.
#include "scene/rtobjcube.h"

#include <cmath>

#include "base/programmingerror.h"
#include "scene/dataelem.h"
#include "scene/rtobjplane.h"
#include "scene/texturecol.h"

rtObjCube::~rtObjCube() = default;

BoundingBox rtObjCube::boundingBox() const {
    if (!facesBuilt) programmingError("rtObjCube::boundingBox: the faces are not built");
    // The six faces' boxes together, worked out when asked (a tree build asks once) from the
    // corners the faces were built with, 32 bytes less a cube. parallelogramBox rounds to
    // nearest on any thread, and the far corners were added up when the faces were built.
    const Vec4f* edges[3][2] = {{&x, &y}, {&y, &z}, {&z, &x}};
    BoundingBox box;
    for (int f = 0; f < 6; ++f) {
        const int k = f / 2;
        const BoundingBox face =
            parallelogramBox(f % 2 ? facePairs[k].farCorner : pos, *edges[k][0], *edges[k][1]);
        if (f == 0)
            box = face;
        else
            box.unite(face);
    }
    return box;
}

void rtObjCube::resolveTextures(TextureCol& textures) {
    texturexy = textures.get(texxy);
    textureyz = textures.get(texyz);
    texturezx = textures.get(texzx);
}

void rtObjCube::collectPrimitives(std::vector<rtObjBase*>& list) {
    struct Pair {
        const Vec4f& a;
        const Vec4f& b;
        const Vec4f& third;
    };
    const Pair pairs[3] = {{x, y, z}, {y, z, x}, {z, x, y}};
    BoundingBox hit;  // the faces' hit bounds together
    for (int k = 0; k < 3; ++k) {
        PlaneFace shape;
        shape.setEdges(pairs[k].a, pairs[k].b, repetitions(k), repetitions((k + 1) % 3));
        FacePair& pair = facePairs[k];
        pair.xs = shape.xs;
        pair.ys = shape.ys;
        pair.normal = shape.normal;
        pair.farCorner = pos + pairs[k].third;
        // The two faces of a pair differ in their corner only.
        for (int side = 0; side < 2; ++side) {
            shape.pos = side ? pair.farCorner : pos;
            if (k == 0 && side == 0)
                hit = shape.bundleHitBounds();
            else
                hit.unite(shape.bundleHitBounds());
        }
    }
    setHitBounds(hit);
    facesBuilt = true;
    setSlabs();
    list.push_back(this);
}

// The slabs' room around the cube in units of the coordinates' magnitude (see setSlabs).
constexpr double kCubeRoom = 1e-5;
// The rounding of the origin's coordinate along an edge: far below this share of it.
constexpr float kOriginRoom = 1e-5f;

void rtObjCube::setSlabs() {
    slabsValid = false;
    if (x.w != 0.0f || y.w != 0.0f || z.w != 0.0f) return;
    const double e[3][3] = {{x.x, x.y, x.z}, {y.x, y.y, y.z}, {z.x, z.y, z.z}};
    const auto cross = [](const double a[3], const double b[3], double out[3]) {
        out[0] = a[1] * b[2] - a[2] * b[1];
        out[1] = a[2] * b[0] - a[0] * b[2];
        out[2] = a[0] * b[1] - a[1] * b[0];
    };
    // The dual basis: the cross product of the other two edges over the volume.
    double dual[3][3];
    cross(e[1], e[2], dual[0]);
    cross(e[2], e[0], dual[1]);
    cross(e[0], e[1], dual[2]);
    const double volume = e[0][0] * dual[0][0] + e[0][1] * dual[0][1] + e[0][2] * dual[0][2];
    if (!(std::fabs(volume) > 0.0)) return;
    // The faces' tests are linear: they round by some float epsilons of the coordinates'
    // magnitude. The room is a hundred times that, and the distance of the ray's origin adds
    // its own share (kOriginRoom). Wider room lets more misses through to the faces.
    double magnitude = 0.0;
    for (int c = 0; c < 3; ++c)
        magnitude = std::fmax(magnitude, std::fabs(double(pos[c])) + std::fabs(e[0][c]) +
                                             std::fabs(e[1][c]) + std::fabs(e[2][c]));
    const double room = kCubeRoom * (1.0 + magnitude);
    for (int k = 0; k < 3; ++k) {
        const double a = dual[k][0] / volume, b = dual[k][1] / volume, c = dual[k][2] / volume;
        slab[k] =
            Vec4f(float(a), float(b), float(c), float(room * std::sqrt(a * a + b * b + c * c)));
        for (int i = 0; i < 4; ++i)
            if (!std::isfinite(slab[k][i])) return;
    }
    slabsValid = true;
}

// ---- single rays

int rtObjCube::facesFor(const SingleRay& ray) const {
    if (!slabsValid) return 0x3f;
    const Vec4f o = ray.origin - pos;
    float tNear = ray.tMin, tFar = ray.tMax;
    int result = 0x3f;
    for (int k = 0; k < 3; ++k) {
        const float a = dot3(o, slab[k]);
        const float m = slab[k].w + kOriginRoom * (std::fabs(a) + 1.0f);
        const float inv = 1.0f / dot3(ray.dir, slab[k]);
        const float t0 = (-m - a) * inv, t1 = (1.0f + m - a) * inv;
        // A NaN (0 / 0: along a widened face) fails the comparisons: the other bound holds.
        const float lo = t0 < t1 ? t0 : t1, hi = t0 < t1 ? t1 : t0;
        if (lo > tNear) tNear = lo;
        if (hi < tFar) tFar = hi;
        // Edge k is the third edge of face pair k + 1 (x of the yz faces, y of zx, z of xy).
        const int pair = (k + 1) % 3;
        if (a < -m)
            result &= ~(2 << (2 * pair));
        else if (a > 1.0f + m)
            result &= ~(1 << (2 * pair));
    }
    return tNear <= tFar ? result : 0;
}

int rtObjCube::nearestFace(const SingleRay& ray, float& t, float& u, float& v) const {
    const int first = facesFor(ray);
    if (first == 0) return -1;
    int nearest = -1;
    t = kNoDistance;
    for (const int tested : {first, ~first & 0x3f}) {
        forEachFace(tested, [&](int f, const PlaneFace& face) {
            float tf, uf, vf;
            if (face.hitSingle(ray, tf, uf, vf) && tf < t) {
                nearest = f;
                t = tf;
                u = uf;
                v = vf;
            }
        });
        if (nearest >= 0) break;
    }
    return nearest;
}

void rtObjCube::intersect1(SingleRay& ray, float& t) const {
    float th, u, v;
    const int f = nearestFace(ray, th, u, v);
    if (f < 0) return;
    ray.u = u;
    ray.v = v;
    ray.hitOffset = facePairs[f / 2].normal * hitOffsetScale;
    t = th;
    if (ray.trace) {
        // Face 2k + j is spanned by edges k and k + 1 (x and y, y and z, z and x).
        const Vec4f* edges[3] = {&x, &y, &z};
        tracePlaneHit(th, face(f).pos, *edges[f / 2], *edges[(f / 2 + 1) % 3]);
    }
}

void rtObjCube::intersect1Alt(SingleRay& ray, float& t) const { intersect1(ray, t); }

bool rtObjCube::occluded1(const SingleRay& ray) const {
    float t, u, v;
    return nearestFace(ray, t, u, v) >= 0;
}

void rtObjCube::shade1(SingleRay& ray, float t) const {
    // The face of the hit: the test's own, found again. A moving cube's distance went through
    // its rest frame and back on the way here, which may round it by an ulp; the face is the
    // same.
    float th, u, v;
    const int f = nearestFace(ray, th, u, v);
    face(f < 0 ? 0 : f).shadeSingle(ray, t);
}

// ---- ray bundles

// The slab test of a four-lane group (coordinates a of the origins along the edges, room m on
// either side) against the window (tNear, tFar): true where the widened box meets it. A
// direction along a face gives infinite slab distances, which do what they should; a NaN (the
// origin exactly on a widened face, moving along it) keeps the other bound.
static LaneMask4 slabsMeet(const Vec4f slab[3], const Vec4f a[3], const Vec4f m[3], const Vec4f& dx,
                           const Vec4f& dy, const Vec4f& dz, Vec4f tNear, Vec4f tFar) {
    for (int k = 0; k < 3; ++k) {
        const Vec4f inv =
            Vec4f(1.0f) / (dx * Vec4f(slab[k].x) + dy * Vec4f(slab[k].y) + dz * Vec4f(slab[k].z));
        const Vec4f t0 = (-m[k] - a[k]) * inv;
        const Vec4f t1 = (Vec4f(1.0f) + m[k] - a[k]) * inv;
        tNear = max(min(t0, t1), tNear);
        tFar = min(max(t0, t1), tFar);
    }
    return tNear <= tFar;
}

int rtObjCube::mayMeet16(const RayBundle16& b) const {
    if (!slabsValid) return 0xffff;
    const Vec4f o = b.origin[0] - pos;
    Vec4f a[3], m[3];
    for (int k = 0; k < 3; ++k) {
        const float ak = dot3(o, slab[k]);
        a[k] = Vec4f(ak);
        m[k] = Vec4f(slab[k].w + kOriginRoom * (std::fabs(ak) + 1.0f));
    }
    int result = 0;
    for (int g = 0; g < 4; ++g)
        result |= movemask(slabsMeet(slab, a, m, b.dir[g].x, b.dir[g].y, b.dir[g].z, b.tMin[g],
                                     min(b.tMax[g], b.tHit[g])))
                  << (4 * g);
    return result;
}

#if TAVOLIN_WIDE_KERNELS
// mayMeet16 on 16-lane registers, from the bundle's directions joined there.
TAVOLIN_WIDE_KERNEL
int rtObjCube::mayMeetWide(const RayBundle16& b, const WideDirections& d) const {
    const Vec4f o = b.origin[0] - pos;
    Vec16f tNear = load16(b.tMin), tFar = min(load16(b.tMax), load16(b.tHit));
    for (int k = 0; k < 3; ++k) {
        const float a = dot3(o, slab[k]);
        const float m = slab[k].w + kOriginRoom * (std::fabs(a) + 1.0f);
        const Vec16f inv =
            wide(1.0f) / (d.x * wide(slab[k].x) + d.y * wide(slab[k].y) + d.z * wide(slab[k].z));
        const Vec16f t0 = wide(-m - a) * inv;
        const Vec16f t1 = wide(1.0f + m - a) * inv;
        tNear = max(min(t0, t1), tNear);
        tFar = min(max(t0, t1), tFar);
    }
    return tNear <= tFar;
}

// testFaces16 with each face's test inline.
TAVOLIN_WIDE_KERNEL
int rtObjCube::testFacesWide(RayBundle16& b, const WideDirections& d, int set) const {
    Mask16 result = 0;
    for (int f = 0; f < 6; ++f) {
        if (!(set >> f & 1)) continue;
        // face(f) rather than forEachFace: a lambda would not be compiled for the wide registers.
        const Mask16 accept = intersectParallelogramWide(face(f), d, b);
        if (accept == 0) continue;
        store16(select(accept, wide(float(f)), load16(b.part)), b.part);
        result |= accept;
    }
    return result;
}

TAVOLIN_WIDE_KERNEL
bool rtObjCube::intersectWide(RayBundle16& b, const WideDirections& d, LaneMask4 hits[4]) const {
    const int candidates = slabsValid ? mayMeetWide(b, d) : 0xffff;
    int result = 0;
    if (candidates != 0) {
        result = testFacesWide(b, d, bundleFaces);
        // As in intersect4: the far faces for rays along the outline's edges.
        if (bundleFaces != 0x3f && (candidates & ~result) != 0)
            result |= testFacesWide(b, d, ~bundleFaces & 0x3f);
    }
    for (int g = 0; g < 4; ++g) hits[g] = group(Mask16(result), g);
    return result != 0;
}

TAVOLIN_WIDE_KERNEL
bool rtObjCube::intersect16Wide(RayBundle16& b, LaneMask4 hits[4]) const {
    return intersectWide(b, wideDirections(b), hits);
}
#endif

LaneMask4 rtObjCube::mayMeet4(const RayBundle4& b) const {
    if (!slabsValid) return LaneMask4(true);
    const Vec4f ox = b.originSoA[0] - Vec4f(pos.x), oy = b.originSoA[1] - Vec4f(pos.y),
                oz = b.originSoA[2] - Vec4f(pos.z);
    Vec4f a[3], m[3];
    for (int k = 0; k < 3; ++k) {
        a[k] = ox * Vec4f(slab[k].x) + oy * Vec4f(slab[k].y) + oz * Vec4f(slab[k].z);
        m[k] = Vec4f(slab[k].w) + Vec4f(kOriginRoom) * (abs(a[k]) + Vec4f(1.0f));
    }
    return slabsMeet(slab, a, m, b.dir[0], b.dir[1], b.dir[2], b.tMin, min(b.tMax, b.tHit));
}

// The faces of the cube's set tested (bit f for face f) in their order, test(face) giving each
// one's hits; part takes the face of each hit.
template <class Test>
static LaneMask4 testFaces4(const rtObjCube& cube, RayBundle4& b, int set, Test test) {
    LaneMask4 all(false);
    cube.forEachFace(set, [&](int f, const PlaneFace& face) {
        const LaneMask4 hits = test(face);
        b.part = select(hits, Vec4f(float(f)), b.part);
        all |= hits;
    });
    return all;
}

LaneMask4 rtObjCube::intersect4(RayBundle4& b) const {
    const LaneMask4 candidates = mayMeet4(b);
    if (none(candidates)) return candidates;
    const auto test = [&](const PlaneFace& face) { return face.hits4(b); };
    LaneMask4 hits = testFaces4(*this, b, bundleFaces, test);
    // A ray exactly along an edge of the cube's outline may pass the near face's open edge and
    // meet the far face's closed one.
    if (bundleFaces != 0x3f && any(andNot(candidates, hits)))
        hits |= testFaces4(*this, b, ~bundleFaces & 0x3f, test);
    return hits;
}

// The lanes start from their own points here, not from the prepared origin: every face.
LaneMask4 rtObjCube::intersect4Alt(RayBundle4& b) const {
    if (none(mayMeet4(b))) return LaneMask4(false);
    return testFaces4(*this, b, 0x3f, [&](const PlaneFace& face) { return face.hits4Alt(b); });
}

int rtObjCube::reserved4(int) const { return 0; }

void rtObjCube::shade4(RayBundle4& b, LaneMask4 mask) const {
    for (int f = 0; f < 6; ++f) {
        const LaneMask4 onFace = mask & (b.part == Vec4f(float(f)));
        if (any(onFace)) face(f).shadeFour(b, onFace);
    }
}

// The faces of the set in their order, as testFaces4; returns the rays hit (bit i for ray i).
int rtObjCube::testFaces16(RayBundle16& b, int set, LaneMask4 hits[4]) const {
    int result = 0;
    forEachFace(set, [&](int f, const PlaneFace& face) {
        LaneMask4 faceHits[4];
        if (!face.hits16(b, faceHits)) return;
        const Vec4f part{float(f)};
        for (int g = 0; g < 4; ++g) {
            b.part[g] = select(faceHits[g], part, b.part[g]);
            hits[g] |= faceHits[g];
        }
        result |= combineMasks(faceHits);
    });
    return result;
}

bool rtObjCube::intersect16(RayBundle16& b, LaneMask4 hits[4]) const {
#if TAVOLIN_WIDE_KERNELS
    if (hasWideKernels()) return intersect16Wide(b, hits);
#endif
    for (int g = 0; g < 4; ++g) hits[g] = LaneMask4(false);
    const int candidates = mayMeet16(b);
    if (candidates == 0) return false;
    int result = testFaces16(b, bundleFaces, hits);
    // As in intersect4: the far faces for rays along the outline's edges.
    if (bundleFaces != 0x3f && (candidates & ~result) != 0)
        result |= testFaces16(b, ~bundleFaces & 0x3f, hits);
    return result != 0;
}

// The faces' own light-bending entry is their plain one.
bool rtObjCube::intersect16Alt(RayBundle16& b, LaneMask4 hits[4]) const {
    return intersect16(b, hits);
}

int rtObjCube::reserved16(int) const { return 0; }

void rtObjCube::shade16(RayBundle16& b, const LaneMask4 mask[4]) const {
    for (int f = 0; f < 6; ++f) {
        const Vec4f part{float(f)};
        LaneMask4 onFace[4];
        LaneMask4 anyLane(false);
        for (int g = 0; g < 4; ++g) {
            onFace[g] = mask[g] & (b.part[g] == part);
            anyLane |= onFace[g];
        }
        if (any(anyLane)) face(f).shadeSixteen(b, onFace);
    }
}

// ---- set-up between frames

void rtObjCube::prepareForOrigin(const Vec4f& origin) {
    bundleFaces = 0x3f;
    if (!facesBuilt) return;
    // The two faces of a pair share their normal, so their distances along it tell whether the
    // origin lies outside the pair's slab (the same sign) and which face is the far one.
    for (int k = 0; k < 3; ++k) {
        FacePair& pair = facePairs[k];
        originDist[k][0] = dot4(pos - origin, pair.normal);
        originDist[k][1] = dot4(pair.farCorner - origin, pair.normal);
        const float near = originDist[k][0], far = originDist[k][1];
        if ((near > 0.0f && far > 0.0f) || (near < 0.0f && far < 0.0f))
            bundleFaces &= ~(1 << (std::fabs(far) > std::fabs(near) ? 2 * k + 1 : 2 * k));
    }
}

void rtObjCube::getProperties(Reader::PropertyList& list) {
    rtObjBase::getProperties(list);
    list.addVec("pos", pos);
    list.addVec("x", x);
    list.addVec("y", y);
    list.addVec("z", z);
    list.addFloat("sx", sx);
    list.addFloat("sy", sy);
    list.addFloat("sz", sz);
    list.addString("texxy", texxy);
    list.addString("texyz", texyz);
    list.addString("texzx", texzx);
    addVelocity(list);
}

void rtObjCube::update() {}

void rtObjCube::copyFrom(const rtObjBase& other) {
    const auto* o = dynamic_cast<const rtObjCube*>(&other);
    if (!o) programmingError("rtObjCube::copyFrom: the other object is not a cube");
    if (o == this) return;
    name = o->name;
    pos = o->pos;
    setVelocity(o->velocity());
    x = o->x;
    y = o->y;
    z = o->z;
    sx = o->sx;
    sy = o->sy;
    sz = o->sz;
    texxy = o->texxy;
    texyz = o->texyz;
    texzx = o->texzx;
    texturexy = o->texturexy;
    textureyz = o->textureyz;
    texturezx = o->texturezx;
    update();
}

rtObjBase* rtObjCube::clone() const {
    auto* copy = new rtObjCube();
    copy->copyFrom(*this);
    return copy;
}

static_assert(sizeof(rtObjCube) <= 448, "a box stays within 448 bytes");
