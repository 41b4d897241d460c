// Moving bodies: where a frame's rays can meet each one, and the rest-frame boost of the rays
// (the placement of them all is in movingplacement.cpp, the second trace pass in
// movingpass.cpp).
#include "accel/movingbodies.h"

#include <algorithm>
#include <cmath>

#include "accel/kdtraverse.h"
#include "accel/kdtree.h"
#include "base/programmingerror.h"
#include "scene/rtobjsphere.h"

namespace {

constexpr float kInf = __builtin_inff();

inline Vec4f spatial(const Vec4f& p) { return Vec4f(p.x, p.y, p.z, 0.0f); }

double length3(const Vec4f& a) {
    return std::sqrt(double(a.x) * a.x + double(a.y) * a.y + double(a.z) * a.z);
}

// The box of the corners c[i].
BoundingBox cornerBox(const Vec4f c[8]) {
    Vec4f lo = c[0], hi = lo;
    for (int i = 1; i < 8; ++i) {
        lo = min(lo, c[i]);
        hi = max(hi, c[i]);
    }
    return BoundingBox(lo, hi);
}

// Box b moved by shift (x, y, z), endless in time. A rounded sum grows with its terms, so this
// is the box of b's corners each moved by shift, float for float.
BoundingBox movedBox(const BoundingBox& b, const Vec4f& shift) {
    Vec4f lo = b.min + shift, hi = b.max + shift;
    lo.w = -kInf;
    hi.w = kInf;
    return BoundingBox(lo, hi);
}

// The largest coordinate of a box's corners, in magnitude (x, y, z).
float maxMagnitude(const BoundingBox& b) {
    return std::max({std::fabs(b.min.x), std::fabs(b.min.y), std::fabs(b.min.z), std::fabs(b.max.x),
                     std::fabs(b.max.y), std::fabs(b.max.z)});
}

// Relative rounding of places and times in float arithmetic, with room to spare (a float
// carries 6e-8 of its magnitude).
constexpr float kPlaceRounding = 1e-5f;

// Room around a box for the rounding of the rest-frame arithmetic: relative to the coordinates'
// magnitude, as the objects' own hit bounds.
// The room of widened(b).
float widenedMargin(const BoundingBox& b) { return kHitBoundsMargin * (1.0f + maxMagnitude(b)); }

BoundingBox widened(const BoundingBox& b) {
    const float m = widenedMargin(b);
    return BoundingBox(b.min - Vec4f(m, m, m, 0.0f), b.max + Vec4f(m, m, m, 0.0f));
}

// The light from the reference point reaches the eye after s with f(s) = s - |w - v s| = 0, w
// its place at the observer's time relative to the eye. f grows (slope at least 1 - |v|) and a
// body point within radius of the reference point changes it by at most radius, so every point
// of the body is met between f = -radius and f = +radius. Returns the s >= 0 where f(s) = c:
// the larger root of |w - v s|^2 = (s - c)^2, or 0 when f(0) = -|w| is above c already.
double lightDelay(const double w[3], const Vec4f& v, double c) {
    const double vw = v.x * w[0] + v.y * w[1] + v.z * w[2];
    const double ww = w[0] * w[0] + w[1] * w[1] + w[2] * w[2];
    const double a = 1.0 - (double(v.x) * v.x + double(v.y) * v.y + double(v.z) * v.z);
    const double half = vw - c;
    const double disc = half * half - a * (c * c - ww);
    if (c <= -std::sqrt(ww)) return 0.0;
    const double s = (-half + std::sqrt(std::max(0.0, disc))) / a;
    return std::max(0.0, s);
}

}  // namespace

// ---- MovingPrimitive

MovingPrimitive::MovingPrimitive(rtObjBase* primitive, const BodyMotion& motion)
    : primitive(primitive), body(primitive), motion(motion) {
    if (motion.spaceTime) {
        // Light travel time on: the sphere at rest in the frame moving with mov, centred on the
        // reference point (the boost maps the event (tmin, center) there).
        const auto* moving = dynamic_cast<const rtObjSphere<0>*>(primitive);
        if (!moving) programmingError("MovingPrimitive: a space-time body must be a moving sphere");
        auto* rest = new rtObjSphere<1>();
        rest->center = spatial(motion.reference);
        rest->radius = moving->radius;
        rest->texname = moving->texname;
        rest->update();
        rest->texture = moving->texture;
        restSphere.reset(rest);
        body = rest;
    }
    if (LorentzBoost::slowerThanLight(motion.velocity)) boost = LorentzBoost(motion.velocity);
    const BoundingBox b = body->boundingBox();
    restBox = BoundingBox(spatial(b.min), spatial(b.max));
    name = primitive->name;
    box = BoundingBox::emptyScene();
}

MovingPrimitive::~MovingPrimitive() = default;

void MovingPrimitive::lifetimeOf(float originTime, float& lo, float& hi) const {
    // Light that left at originTime - s: the moving sphere exists for tmin <= that <= tmax.
    lo = std::max(0.0f, originTime - motion.tmax);
    hi = originTime - motion.tmin;
}

BoundingBox MovingPrimitive::restBoxAt(double t) const {
    // The reference point is where the body is at time 0; the moving sphere's at time tmin.
    const double t0 = motion.spaceTime ? double(motion.tmin) : 0.0;
    const Vec4f shift = boost.v * float(t - t0);
    return BoundingBox(restBox.min + shift, restBox.max + shift);
}

Vec4f MovingPrimitive::restOriginOf(const Vec4f& event) const {
    // The snapshot's rays are all at the observer's time, whatever time their records carry.
    const double t = sigma == 0.0f ? double(observer.w) : double(event.w);
    return boost.restPosition(event, t, motion.reference);
}

bool MovingPrimitive::prepare(const Vec4f& eye, bool lightTravelTime, float bentReach,
                              int bentPieces, double bentUntil) {
    observer = eye;
    // Light travel time draws the moving sphere as a sphere at rest in its own frame, but only
    // when it has one: slower than light.
    ownTest =
        motion.spaceTime && !(lightTravelTime && LorentzBoost::slowerThanLight(motion.velocity));
    lifetimePerRay = false;
    sLo = 0.0f;
    sHi = kInf;
    if (std::isnan(bentUntil)) bentUntil = eye.w;
    const bool placed = ownTest ? prepareOwnTest(lightTravelTime, bentReach, bentPieces, bentUntil)
                                : prepareBoosted(lightTravelTime, bentReach, bentPieces, bentUntil);
    // Straight rays see a body over a short stretch, in pieces whose boxes are about as tight:
    // the test would cost more than it saves (2 % on a scene of every kind).
    sheared = sheared && bentReach > 0.0f;
    growth =
        sheared && timeSign() < 0.0f && std::isfinite(sweepTo - sweepFrom) ? kPieceGrowth : 0.0f;
    return placed;
}

void MovingPrimitive::moveObserver(const Vec4f& eye) {
    observer = eye;
    if (ownTest) return;
    restOrigin = restOriginOf(eye);
    restOrigin.w = eye.w;
    prepareRestOrigin();
}

bool MovingPrimitive::prepareBoosted(bool lightTravelTime, float bentReach, int bentPieces,
                                     double bentUntil) {
    const Vec4f& eye = observer;
    const bool bent = lightTravelTime && bentReach > 0.0f;
    lifetimePerRay = bent && motion.spaceTime;
    sigma = lightTravelTime ? -1.0f : 0.0f;
    moveObserver(eye);

    // The rest box's corners as the scene frame sees them at time 0: contracted along v towards
    // the reference point, r -> r - (K / gamma) (v.r) v.
    const Vec4f P = spatial(motion.reference);
    const Vec4f v = boost.v;
    const float shrink = boost.k / boost.gamma;
    Vec4f corners[8];
    double radius = 0.0;
    for (int i = 0; i < 8; ++i) {
        const Vec4f c((i & 1) ? restBox.max.x : restBox.min.x, (i & 2) ? restBox.max.y : restBox.min.y,
                      (i & 4) ? restBox.max.z : restBox.min.z, 0.0f);
        const Vec4f r = c - P;
        const Vec4f contracted = r - v * (shrink * dot3(v, r));
        corners[i] = P + contracted;
        radius = std::max(radius, length3(contracted));
    }

    // Along bent paths the times held run back from bentUntil, along straight rays from the
    // observer's time.
    const double T = bent ? bentUntil : double(eye.w);
    // The scene times in which the body exists, as distances along the rays: time T + sigma s.
    double lo = 0.0, hi = kInf;
    if (lightTravelTime) {
        lo = std::max(lo, T - double(motion.tmax));
        hi = std::min(hi, T - double(motion.tmin));
    } else if (!(double(motion.tmin) <= T && T <= double(motion.tmax))) {
        return false;
    }
    if (!(lo <= hi)) return false;
    sLo = float(lo);
    sHi = float(hi);

    double t0 = T, t1 = T;  // the scene times at which the rays can meet the body
    if (bent) {
        // Bent paths start their pieces anywhere: every time their light can have left.
        const double farS = std::min(hi, double(bentReach));
        if (!(lo <= farS)) return false;
        t0 = T - lo;
        t1 = T - farS;
        sLo = 0.0f;
        sHi = kInf;
    } else if (lightTravelTime) {
        const double w[3] = {double(P.x) + double(v.x) * T - eye.x,
                             double(P.y) + double(v.y) * T - eye.y,
                             double(P.z) + double(v.z) * T - eye.z};
        double nearS = std::max(lo, lightDelay(w, v, -radius));
        double farS = std::min(hi, lightDelay(w, v, radius));
        if (!(nearS <= farS)) return false;
        t0 = T - nearS;
        t1 = T - farS;
    }
    return placeSweep(corners, v, radius, t0, t1, bent ? bentPieces : kMaxPieces);
}

bool MovingPrimitive::prepareOwnTest(bool lightTravelTime, float bentReach, int bentPieces,
                                     double bentUntil) {
    // The test meets a ray from the event (o.w, o) at distance s at scene time o.w + s, where the
    // centre is at reference + v (o.w + s): the reference point is where it is at time 0.
    if (!std::isfinite(motion.tmin)) return false;  // the test itself meets nothing then
    const Vec4f& eye = observer;
    const Vec4f P = spatial(motion.reference);
    const Vec4f v = spatial(motion.velocity);
    Vec4f corners[8];
    double radius = 0.0;
    for (int i = 0; i < 8; ++i) {
        corners[i] =
            Vec4f((i & 1) ? restBox.max.x : restBox.min.x, (i & 2) ? restBox.max.y : restBox.min.y,
                  (i & 4) ? restBox.max.z : restBox.min.z, 0.0f);
        radius = std::max(radius, length3(corners[i] - P));
    }
    const double T = eye.w;
    double t0 = T, t1 = kInf;
    if (bentReach > 0.0f) {
        // Pieces of bent paths start anywhere, at the observer's time (less the way travelled
        // with light travel time), and run on without end once they escape.
        if (lightTravelTime) t0 = bentUntil - double(bentReach);
    } else if (LorentzBoost::slowerThanLight(v)) {
        // Rays from the eye catch up with the sphere while g(s) = s - |w + v s| lies within
        // +-radius (w the centre's place at time T relative to the eye): g grows, so that is
        // one stretch of s, found as light's delay for the opposite velocity.
        const double w[3] = {double(P.x) + double(v.x) * T - eye.x,
                             double(P.y) + double(v.y) * T - eye.y,
                             double(P.z) + double(v.z) * T - eye.z};
        const Vec4f back = v * -1.0f;
        t0 = T + lightDelay(w, back, -radius);
        t1 = T + lightDelay(w, back, radius);
    }
    t0 = std::max(t0, double(motion.tmin));
    t1 = std::min(t1, double(motion.tmax));
    if (!(t0 <= t1)) return false;
    return placeSweep(corners, v, radius, t0, t1, bentReach > 0.0f ? bentPieces : kMaxPieces);
}

bool MovingPrimitive::placeSweep(const Vec4f corners[8], const Vec4f& v, double radius, double t0,
                                 double t1, int maxPieces) {
    sweptBox = cornerBox(corners);
    box = movedBox(sweptBox, v * float(t0));
    box.unite(movedBox(sweptBox, v * float(t1)));
    if (!hasFiniteExtent(box)) return false;
    setHitBounds(widened(box));
    // As many pieces as the stretch is long against the body's size (one for a snapshot).
    const double sweep = length3(v) * std::fabs(t1 - t0);
    const double size = std::max(1e-6, 2.0 * radius);
    pieces = int(std::clamp(std::ceil(sweep / size), 1.0, double(maxPieces)));
    sweepFrom = t0;
    sweepTo = t1;
    sweepVelocity = v;
    const double middle = 0.5 * (t0 + t1);
    sheared = timeSign() != 0.0f && std::isfinite(middle);
    if (sheared) {
        shearTime = float(middle);
        shearBox = movedBox(sweptBox, v * shearTime);
        shearCentre = (shearBox.min + shearBox.max) * 0.5f;
        setShearRoom(v);
    }
    return true;
}

void MovingPrimitive::setShearRoom(const Vec4f& v) {
    if (ownTest) {
        // The primitive's own test (the moving sphere faster than light) has no rest frame to
        // bound its rounding by: the room of the whole sweep, as its hit bounds have.
        shearRoom = widenedMargin(box);
        shearRoomPerDistance = 0.0f;
        return;
    }
    // The boosted test rounds as any object's test does, relative to the distances it works
    // with: a near-tangent root is off by up to sqrt(2 eps) of the distance from the ray's
    // origin to the body, in the body's frame. That distance is at most gamma times the
    // moved-back origin's distance from the body (only the part along v grows), so the room
    // grows with each ray's own distance, kHitBoundsMargin of it as for the hit bounds.
    // Room relative to the sweep's extent instead (a thousand units for light that left long
    // ago) let through 700 rays for each one the body met; this room lets through four.
    // The moved-back places themselves carry the rounding of coordinates and times as large as
    // the sweep's: kPlaceRounding of those.
    const float speed = length3(v);
    const float times = std::fabs(float(sweepFrom)) + std::fabs(float(sweepTo));
    shearRoom =
        kHitBoundsMargin * (1.0f + boost.gamma * 0.5f * length3(shearBox.max - shearBox.min)) +
        kPlaceRounding * (1.0f + maxMagnitude(box) + speed * times);
    shearRoomPerDistance = kHitBoundsMargin * boost.gamma * std::sqrt(3.0f);
}

double MovingPrimitive::pieceTime(int i) const {
    if (i == pieces) return sweepTo;
    const double f = growth > 0.0f
                         ? std::expm1(double(growth) * i / pieces) / std::expm1(double(growth))
                         : double(i) / pieces;
    return sweepFrom + (sweepTo - sweepFrom) * f;
}

BoundingBox MovingPrimitive::pieceBox(int i) const {
    const double a = pieceTime(i);
    const double b = pieceTime(i + 1);
    BoundingBox piece = movedBox(sweptBox, sweepVelocity * float(a));
    piece.unite(movedBox(sweptBox, sweepVelocity * float(b)));
    return piece;
}

void MovingPrimitive::pieceTimes(int i, float& lo, float& hi) const {
    const double a = pieceTime(i);
    const double b = pieceTime(i + 1);
    // Room for the rounding of the hits' times, relative to the times' magnitude.
    const double room = 1e-4 * (1.0 + std::max(std::fabs(a), std::fabs(b)));
    lo = float(std::min(a, b) - room);
    hi = float(std::max(a, b) + room);
}

void MovingPiece::place(const MovingPrimitive* w, int i) {
    whole = w;
    index = i;
    sign = w->timeSign();
    w->pieceTimes(i, timeLo, timeHi);
    setHitBounds(widened(w->pieceBox(i)));
    name = w->name;
}

bool MovingPiece::reached(const RayBundle4& b) const {
    const Vec4f far = min(b.tMax, b.tHit);
    return any(groupMeetsBox(rtObjBounded::hitBounds(), b.originSoA[0], b.originSoA[1],
                             b.originSoA[2], b.invDir[0], b.invDir[1], b.invDir[2], b.tMin, far) &
               meetsTimes(b.originSoA[3], b.tMin, far));
}

bool MovingPiece::reached(const RayBundle16& b) const {
    const Vec4f ox(b.origin[0].x), oy(b.origin[0].y), oz(b.origin[0].z);
    const BoundingBox bounds = rtObjBounded::hitBounds();
    LaneMask4 meets;
    for (int g = 0; g < 4; ++g) {
        const Vec4f far = min(b.tMax[g], b.tHit[g]);
        meets |= groupMeetsBox(bounds, ox, oy, oz, b.invDir[g].x, b.invDir[g].y, b.invDir[g].z,
                               b.tMin[g], far) &
                 meetsTimes(b.originSoA[g][3], b.tMin[g], far);
    }
    return any(meets);
}

void MovingPiece::copyFrom(const rtObjBase&) {
    programmingError("MovingPiece::copyFrom: the tree's proxies are never copied");
}

rtObjBase* MovingPiece::clone() const {
    programmingError("MovingPiece::clone: the tree's proxies are never copied");
}

void MovingPrimitive::boostSingle(const SingleRay& ray, SingleRay& r, float& len) const {
    r = ray;
    const bool fromEye = ray.origin.x == observer.x && ray.origin.y == observer.y &&
                         ray.origin.z == observer.z && ray.origin.w == observer.w;
    r.origin = fromEye ? restOrigin : restOriginOf(ray.origin);
    r.origin.w = ray.origin.w;
    const Vec4f D = boost.restDirection(ray.dir, sigma);
    len = std::sqrt(dot3(D, D));
    r.dir = Vec4f(D.x / len, D.y / len, D.z / len, 1.0f);
    r.invDir = Vec4f(1.0f / r.dir.x, 1.0f / r.dir.y, 1.0f / r.dir.z, 1.0f);
    float lo = sLo, hi = sHi;
    if (lifetimePerRay) lifetimeOf(ray.origin.w, lo, hi);
    r.tMin = std::fmax(ray.tMin, lo) * len;
    r.tMax = std::fmin(std::fmin(ray.tMax, ray.tLimit), hi) * len;
}

LaneMask4 MovingPrimitive::mayMeet(const Vec4f o[4], const Vec4f d[3], const Vec4f& s0,
                                   const Vec4f& s1) const {
    const Vec4f age = o[3] - Vec4f(shearTime);
    const Vec4f sign(timeSign());
    Vec4f from[3], inverse[3];
    Vec4f distance(0.0f);
    for (int c = 0; c < 3; ++c) {
        const Vec4f v(sweepVelocity[c]);
        from[c] = o[c] - v * age;
        inverse[c] = Vec4f(1.0f) / (d[c] - sign * v);
        distance = max(distance, abs(from[c] - Vec4f(shearCentre[c])));
    }
    const Vec4f room = Vec4f(shearRoom) + Vec4f(shearRoomPerDistance) * distance;
    // The slab test of groupMeetsBox, with each lane's room.
    Vec4f lo[3], hi[3];
    for (int c = 0; c < 3; ++c) {
        lo[c] = (Vec4f(shearBox.min[c]) - room - from[c]) * inverse[c];
        hi[c] = (Vec4f(shearBox.max[c]) + room - from[c]) * inverse[c];
    }
    const Vec4f entry = max(max(min(lo[0], hi[0]), min(lo[1], hi[1])), min(lo[2], hi[2]));
    const Vec4f exit = min(min(max(lo[0], hi[0]), max(lo[1], hi[1])), max(lo[2], hi[2]));
    const LaneMask4 undefined = isNan(lo[0] + hi[0] + lo[1] + hi[1] + lo[2] + hi[2]);
    return undefined | ((entry <= exit) & (entry <= s1) & (exit >= s0));
}

bool MovingPrimitive::mayMeet(const SingleRay& ray) const {
    if (!sheared) return true;
    const Vec4f o[4] = {Vec4f(ray.origin.x), Vec4f(ray.origin.y), Vec4f(ray.origin.z),
                        Vec4f(ray.origin.w)};
    const Vec4f d[3] = {Vec4f(ray.dir.x), Vec4f(ray.dir.y), Vec4f(ray.dir.z)};
    return any(mayMeet(o, d, Vec4f(ray.tMin), Vec4f(std::fmin(ray.tMax, ray.tLimit))));
}

bool MovingPrimitive::mayMeet(const RayBundle4& b) const {
    if (!sheared) return true;
    const Vec4f far = min(b.tMax, b.tHit);
    if (any(mayMeet(b.originSoA, b.dir, b.tMin, far))) return true;
    // A camera packet's tests take its first lane's origin for all four (see segmentBounds):
    // when its lanes start apart, that is where the rays start for them.
    const Vec4f first[4] = {Vec4f(b.origin[0].x), Vec4f(b.origin[0].y), Vec4f(b.origin[0].z),
                            Vec4f(b.origin[0].w)};
    bool apart = false;
    for (int c = 0; c < 4; ++c) apart = apart || !all(b.originSoA[c] == first[c]);
    return !b.variant && apart && any(mayMeet(first, b.dir, b.tMin, far));
}

bool MovingPrimitive::mayMeet(const RayBundle16& b) const {
    if (!sheared) return true;
    // Sixteen-ray packets start at the eye: their tests take the first ray's place.
    for (int g = 0; g < 4; ++g) {
        const Vec4f o[4] = {Vec4f(b.origin[0].x), Vec4f(b.origin[0].y), Vec4f(b.origin[0].z),
                            b.originSoA[g][3]};
        const Vec4f d[3] = {b.dir[g].x, b.dir[g].y, b.dir[g].z};
        if (any(mayMeet(o, d, b.tMin[g], min(b.tMax[g], b.tHit[g])))) return true;
    }
    return false;
}

void MovingPrimitive::intersect1(SingleRay& ray, float& t) const {
    if (!mayMeet(ray)) return;
    if (ownTest) {
        // Nearer than the scene's hit only, as for the boosted bodies (boostSingle).
        const float tMax = ray.tMax;
        ray.tMax = std::fmin(ray.tMax, ray.tLimit);
        ray.variant ? primitive->intersect1Alt(ray, t) : primitive->intersect1(ray, t);
        ray.tMax = tMax;
        return;
    }
    SingleRay r;
    float len;
    boostSingle(ray, r, len);
    float tr = kNoDistance;
    ray.variant ? body->intersect1Alt(r, tr) : body->intersect1(r, tr);
    if (!(tr < kNoDistance)) return;
    t = tr / len;
    ray.u = r.u;
    ray.v = r.v;
    ray.hitOffset = r.hitOffset;
}

void MovingPrimitive::intersect1Alt(SingleRay& ray, float& t) const { intersect1(ray, t); }

bool MovingPrimitive::occluded1(const SingleRay& ray) const {
    if (!mayMeet(ray)) return false;
    if (ownTest) return primitive->occluded1(ray);
    SingleRay r;
    float len;
    boostSingle(ray, r, len);
    return body->occluded1(r);
}

void MovingPrimitive::shade1(SingleRay& ray, float t) const {
    if (ownTest) return primitive->shade1(ray, t);
    SingleRay r;
    float len;
    boostSingle(ray, r, len);
    r.doppler = ray.doppler * boost.emitterFactor(ray.dir);
    body->shade1(r, t * len);
    ray.u = r.u;
    ray.v = r.v;
}

void MovingPrimitive::boostFour(const RayBundle4& b, RayBundle4& r, Vec4f& len) const {
    r = b;
    Vec4f dx, dy, dz;
    boost.restDirections(b.dir[0], b.dir[1], b.dir[2], sigma, dx, dy, dz);
    len = sqrt(dx * dx + dy * dy + dz * dz);
    r.dir[0] = dx / len;
    r.dir[1] = dy / len;
    r.dir[2] = dz / len;
    const Vec4f one(1.0f);
    for (int c = 0; c < 3; ++c) r.invDir[c] = one / r.dir[c];
    for (int l = 0; l < 4; ++l) {
        // Camera packets start at the observer's event; bent-path lanes each at their own.
        const Vec4f& o = b.origin[l];
        const bool fromEye =
            o.x == observer.x && o.y == observer.y && o.z == observer.z && o.w == observer.w;
        r.origin[l] = fromEye ? restOrigin : restOriginOf(o);
        r.origin[l].w = o.w;
    }
    Vec4f ox = r.origin[0], oy = r.origin[1], oz = r.origin[2], ow = r.origin[3];
    transpose(ox, oy, oz, ow);
    r.originSoA[0] = ox;
    r.originSoA[1] = oy;
    r.originSoA[2] = oz;
    r.originSoA[3] = ow;
    Vec4f lo(sLo), hi(sHi);
    if (lifetimePerRay)
        for (int l = 0; l < 4; ++l) lifetimeOf(b.origin[l].w, lo[l], hi[l]);
    r.tMin = max(b.tMin, lo) * len;
    r.tMax = min(b.tMax, hi) * len;
    r.tHit = b.tHit * len;
}

LaneMask4 MovingPrimitive::intersectFour(RayBundle4& b, bool alt) const {
    if (!mayMeet(b)) return LaneMask4();
    if (ownTest) return alt ? primitive->intersect4Alt(b) : primitive->intersect4(b);
    RayBundle4 r;
    Vec4f len;
    boostFour(b, r, len);
    const LaneMask4 hits = alt ? body->intersect4Alt(r) : body->intersect4(r);
    if (none(hits)) return hits;
    b.tHit = select(hits, r.tHit / len, b.tHit);
    b.u = select(hits, r.u, b.u);
    b.v = select(hits, r.v, b.v);
    b.part = select(hits, r.part, b.part);
    b.live = r.live;
    return hits;
}

LaneMask4 MovingPrimitive::intersect4(RayBundle4& b) const { return intersectFour(b, false); }
LaneMask4 MovingPrimitive::intersect4Alt(RayBundle4& b) const { return intersectFour(b, true); }

void MovingPrimitive::shade4(RayBundle4& b, LaneMask4 mask) const {
    if (ownTest) return primitive->shade4(b, mask);
    RayBundle4 r;
    Vec4f len;
    boostFour(b, r, len);
    r.doppler = b.doppler * boost.emitterFactors(b.dir[0], b.dir[1], b.dir[2]);
    body->shade4(r, mask);
    b.u = select(mask, r.u, b.u);
    b.v = select(mask, r.v, b.v);
}

void MovingPrimitive::boostSixteen(const RayBundle16& b, RayBundle16& r, Vec4f len[4]) const {
    r = b;
    // Sixteen-ray packets are camera packets: every ray starts at the observer's event.
    for (int i = 0; i < 16; ++i) {
        r.origin[i] = restOrigin;
        r.origin[i].w = b.origin[i].w;
    }
    for (int g = 0; g < 4; ++g) {
        for (int c = 0; c < 3; ++c) r.originSoA[g][c] = Vec4f(restOrigin[c]);
        r.originSoA[g][3] = b.originSoA[g][3];
        Vec4f dx, dy, dz;
        boost.restDirections(b.dir[g].x, b.dir[g].y, b.dir[g].z, sigma, dx, dy, dz);
        len[g] = sqrt(dx * dx + dy * dy + dz * dz);
        r.dir[g].x = dx / len[g];
        r.dir[g].y = dy / len[g];
        r.dir[g].z = dz / len[g];
        const Vec4f one(1.0f);
        r.invDir[g].x = one / r.dir[g].x;
        r.invDir[g].y = one / r.dir[g].y;
        r.invDir[g].z = one / r.dir[g].z;
        r.tMin[g] = max(b.tMin[g], Vec4f(sLo)) * len[g];
        r.tMax[g] = min(b.tMax[g], Vec4f(sHi)) * len[g];
        r.tHit[g] = b.tHit[g] * len[g];
    }
}

bool MovingPrimitive::intersectSixteen(RayBundle16& b, LaneMask4 hits[4], bool alt) const {
    if (!mayMeet(b)) return false;
    if (ownTest) return alt ? primitive->intersect16Alt(b, hits) : primitive->intersect16(b, hits);
    RayBundle16 r;
    Vec4f len[4];
    boostSixteen(b, r, len);
    const bool any = alt ? body->intersect16Alt(r, hits) : body->intersect16(r, hits);
    if (!any) return false;
    for (int g = 0; g < 4; ++g) {
        b.tHit[g] = select(hits[g], r.tHit[g] / len[g], b.tHit[g]);
        b.u[g] = select(hits[g], r.u[g], b.u[g]);
        b.v[g] = select(hits[g], r.v[g], b.v[g]);
        b.part[g] = select(hits[g], r.part[g], b.part[g]);
        b.live[g] = r.live[g];
    }
    return true;
}

bool MovingPrimitive::intersect16(RayBundle16& b, LaneMask4 hits[4]) const {
    return intersectSixteen(b, hits, false);
}

bool MovingPrimitive::intersect16Alt(RayBundle16& b, LaneMask4 hits[4]) const {
    return intersectSixteen(b, hits, true);
}

void MovingPrimitive::shade16(RayBundle16& b, const LaneMask4 mask[4]) const {
    if (ownTest) return primitive->shade16(b, mask);
    RayBundle16 r;
    Vec4f len[4];
    boostSixteen(b, r, len);
    for (int g = 0; g < 4; ++g)
        r.doppler[g] = b.doppler[g] * boost.emitterFactors(b.dir[g].x, b.dir[g].y, b.dir[g].z);
    body->shade16(r, mask);
    for (int g = 0; g < 4; ++g) {
        b.u[g] = select(mask[g], r.u[g], b.u[g]);
        b.v[g] = select(mask[g], r.v[g], b.v[g]);
    }
}

void MovingPrimitive::copyFrom(const rtObjBase&) {
    programmingError("MovingPrimitive::copyFrom: the tree's proxies are never copied");
}

rtObjBase* MovingPrimitive::clone() const {
    programmingError("MovingPrimitive::clone: the tree's proxies are never copied");
}
