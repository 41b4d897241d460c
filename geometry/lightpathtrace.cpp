// Bent-ray tracing along the light-path table. The path plane of a ray is spanned by xGRT (from
// the hole towards the observer) and yGRT, the part of the ray's direction perpendicular to xGRT;
// a path point (x, y) lies at centre + x xGRT + y yGRT.
//
// A segment is traced when its clipped interval is not empty, tMin <= tMax: a flat scene box
// (a lone wall) is entered and left at the same distance, as for straight rays. A path that has
// left the sphere around the scene while moving outwards ends there (BlackHoleFrame::
// beyondScene): it can hit nothing more, and stepping on to the table's end would cost most of
// the frame.
#include "geometry/lightpathtrace.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "geometry/kdtraverse.h"
#include "geometry/kdtree.h"
#include "geometry/lightpathtree.h"
#include "geometry/traceoutput.h"
#include "scene/rendersettings.h"

namespace {

constexpr uint32_t kBlack = 0xff000000u;

// Trace lines are formatted only for a traced ray while trace output is on: the text goes
// through a stack buffer, so neither a traced nor an untraced ray allocates or formats anything
// it does not write.
[[gnu::cold, gnu::noinline, gnu::format(printf, 1, 2)]] void traceLine(const char* format, ...) {
    char buf[200];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buf, sizeof buf, format, args);
    va_end(args);
    TraceOutput::line(buf);
}

[[gnu::cold, gnu::noinline]] void traceVec(const char* label, const Vec4f& v) {
    traceLine("%s %g %g %g %g", label, double(v.x), double(v.y), double(v.z), double(v.w));
}

// Points one ray at target: the segment from its origin, with tMax its length.
float aimAt(SingleRay& ray, const Vec4f& target) {
    Vec4f v = target - ray.origin;
    v.w = 0.0f;
    const float len = std::sqrt(dot3(v, v));
    ray.dir = v * (1.0f / len);
    ray.dir.w = 1.0f;
    ray.invDir = Vec4f(1.0f / ray.dir.x, 1.0f / ray.dir.y, 1.0f / ray.dir.z, 1.0f);
    ray.tMax = len;
    return len;
}

// Traces one straight piece. With the gravitational Doppler effect on, a hit is traced once more
// with the Doppler factor multiplied by the gravitational shift of the hit point, so that the
// pixel shows the light as it arrives from deeper in (or higher up) the hole's well.
bool traceSegment(SingleRay& ray, const BlackHoleFrame& hole) {
    const float tMin0 = ray.tMin;
    const KdNode node = ray.node;
    if (!traceRay(ray)) return false;
    if (!ray.settings || !ray.settings->grtDoppler || hole.rs <= 0.0f) return true;
    Vec4f p = ray.origin + ray.dir * ray.tMax - hole.centre;
    p.w = 0.0f;
    const float doppler = ray.doppler;
    ray.doppler = doppler * hole.wavelengthFactor(std::sqrt(dot3(p, p)));
    ray.tMin = tMin0;
    ray.node = node;
    traceRay(ray);
    ray.doppler = doppler;
    return true;
}

// The tracers move a ray's origin along its path; the camera reuses the packet's origin for the
// next pixels, so the original origin is put back whatever way the tracer returns.
class OriginRestorer {
public:
    explicit OriginRestorer(SingleRay& ray) : one(&ray), origin{ray.origin} {}
    explicit OriginRestorer(RayBundle4& bundle) : four(&bundle) {
        for (int l = 0; l < 4; ++l) origin[l] = bundle.origin[l];
        for (int c = 0; c < 4; ++c) soa[c] = bundle.originSoA[c];
    }
    ~OriginRestorer() {
        if (one) one->origin = origin[0];
        if (four) {
            for (int l = 0; l < 4; ++l) four->origin[l] = origin[l];
            for (int c = 0; c < 4; ++c) four->originSoA[c] = soa[c];
        }
    }

private:
    SingleRay* one = nullptr;
    RayBundle4* four = nullptr;
    Vec4f origin[4];
    Vec4f soa[4];
};

// Consecutive pieces of a path are traced as one straight chord while the chord passes every table
// point it skips closely enough. A path point P(a) moves sideways by |dP/da| per radian of the
// ray's initial angle a (the node's slope (dx, dy)); a chord that passes a skipped point at a
// sideways distance d draws, there, what a ray about d / |dP/da| radians away shows. Chords keep
// that below kChordTolerance. The table's runs of points were simplified by the same measure
// within the other half of its tolerance angle (LightPathGenerator::simplify), so a pixel shows a
// path within 1e-4 rad of its own, a seventh of a pixel at 1280 columns: the picture cannot tell
// the difference. Between two points the distance of the table's polyline from the chord changes
// linearly, so the points themselves bound it. Far from the hole paths are nearly straight and
// several pieces become one traversal; near it every point stays.
constexpr float kChordTolerance = 0.5e-4f;
// Most table points one chord skips (a bound for the fixed-size record of them).
constexpr int kMaxSkipped = 12;

// The deviation test of one skipped point v (slope vd) against the chord from s along c, both
// sides multiplied by |c| so that no division is needed.
inline bool passesClose(float cx, float cy, float sx, float sy, float vx, float vy, float vdx,
                        float vdy) {
    const float off = std::fabs(cx * (vy - sy) - cy * (vx - sx));
    return off <= kChordTolerance * std::fabs(cx * vdy - cy * vdx);
}

inline LaneMask4 passesClose(const Vec4f& cx, const Vec4f& cy, const Vec4f& sx, const Vec4f& sy,
                             const Vec4f& vx, const Vec4f& vy, const Vec4f& vdx,
                             const Vec4f& vdy) {
    const Vec4f off = abs(cx * (vy - sy) - cy * (vx - sx));
    return off <= Vec4f(kChordTolerance) * abs(cx * vdy - cy * vdx);
}

// A table point in path coordinates and in the scene, with its slope over the initial angle.
struct PathPoint {
    float x, y, dx, dy;
    Vec4f scene;
};

// Follows one ray's path from the iterator's current node on; the ray's origin is that node's
// point (the observer at a root). The loop of iterRayPart, also used to finish the lanes of a
// 4-ray walk that part ways.
bool followPath(SingleRay& ray, PathIterator& it, const Vec4f& yg, const KDTree& tree,
                bool tracing) {
    const BlackHoleFrame& hole = tree.blackHole();
    const Vec4f& xg = hole.xGRT;
    const KdNode root = tree.nodeArray().front();
    if (!it.node) return false;  // a malformed table: nothing sensible to show
    // The chord runs from start (the ray's origin) to end; skipped holds the points between.
    PathPoint start{0, 0, 0, 0, ray.origin};
    it.point(start.x, start.y);
    PathPoint end = start;
    PathPoint skipped[kMaxSkipped];
    int skippedCount = 0;
    bool pending = false;  // end lies beyond start: the chord is not traced yet

    // Traces the pending chord; true when it hit. Otherwise the ray goes on from the chord's end.
    auto traceChord = [&]() -> bool {
        if (!pending) return false;
        const float len = aimAt(ray, end.scene);
        ray.node = root;
        if (tracing) {
            traceVec("from", ray.origin);
            traceVec("step", ray.dir);
        }
        clipToBox(tree.sceneBox(), ray, len);
        if (tracing) traceLine("farf %f", double(ray.tMax));
        // A single ray's leaves accept hits up to kRayLeafWiden beyond its interval, which on a
        // short piece of a bent path lies off the path: such a hit counts as none (a later hit
        // or the background overwrites its pixel), as the bundles' relative widening has it.
        if (ray.tMin <= ray.tMax && traceSegment(ray, hole) && ray.tMax <= len * kBundleFarEps)
            return true;
        ray.origin = end.scene;
        start = end;
        skippedCount = 0;
        pending = false;
        return false;
    };

    for (;;) {
        if (!it.node) return false;
        if (it.node->absorbs()) {
            if (!traceChord()) *ray.out = kBlack;
            return true;
        }
        it.step();
        if (!it.node) return false;
        PathPoint next;
        it.point(next.x, next.y);
        next.dx = it.node->dx;
        next.dy = it.node->dy;
        next.scene = hole.centre + xg * next.x + yg * next.y;
        if (tracing) traceLine("(x,y):(%f,%f)", double(next.x), double(next.y));
        if (it.node->escapes()) {
            if (traceChord()) return true;
            aimAt(ray, next.scene);
            ray.node = root;
            if (tracing) {
                traceVec("from", ray.origin);
                traceVec("step", ray.dir);
            }
            break;
        }

        if (pending) {
            const float cx = next.x - start.x, cy = next.y - start.y;
            bool close = skippedCount < kMaxSkipped &&
                         passesClose(cx, cy, start.x, start.y, end.x, end.y, end.dx, end.dy);
            for (int i = 0; close && i < skippedCount; ++i) {
                const PathPoint& v = skipped[i];
                close = passesClose(cx, cy, start.x, start.y, v.x, v.y, v.dx, v.dy);
            }
            if (close)
                skipped[skippedCount++] = end;
            else if (traceChord())
                return true;
        }
        Vec4f arrival = next.scene - end.scene;
        arrival.w = 0.0f;
        end = next;
        pending = true;
        if (hole.beyondScene(next.scene, arrival)) {
            if (traceChord()) return true;
            if (tracing) traceLine("No Hit");
            return false;
        }
    }

    // Escaped: straight on along the last segment's direction.
    clipToBox(tree.sceneBox(), ray);
    if (tracing) traceLine("farf %f", double(ray.tMax));
    if (ray.tMin <= ray.tMax && traceSegment(ray, hole)) return true;
    if (tracing) traceLine("No Hit");
    return false;
}

// Lanes of a 4-ray walk whose paths part ways, finished one by one from the walk's state at
// their last traced point (each lane's origin and iterator, and its path-plane axis yGRT).
// Returns the lanes whose pixel was written.
int finishLanes(RayBundle4& b, const PathIterator lane[4], const Vec4f yg[3], int lanes,
                const KDTree& tree, bool tracing) {
    int written = 0;
    for (int l = 0; l < 4; ++l) {
        if (!((lanes >> l) & 1)) continue;
        SingleRay ray{};
        ray.nodeBase = b.nodeBase;
        ray.leafBase = b.leafBase;
        ray.settings = b.settings;
        ray.variant = b.variant;
        ray.trace = b.trace;
        ray.doppler = b.doppler[l];
        ray.out = &b.out[l >> 1][l & 1];
        ray.origin = b.origin[l];
        PathIterator it = lane[l];
        if (followPath(ray, it, Vec4f(yg[0][l], yg[1][l], yg[2][l], 0.0f), tree, tracing))
            written |= 1 << l;
    }
    return written;
}

// Four lanes' positions in the light-path table, stepped together. The intervals and angles are
// kept as vectors and the points computed for all lanes at once, with exactly the arithmetic
// of PathIterator (the split point and the points in double precision), so that a lane
// finished on its own continues the same path.
class TableWalk4 {
public:
    void start(const LightPathTree& tree, const Vec4f& angles) {
        for (int l = 0; l < 4; ++l) {
            PathIterator it;
            it.start(tree, angles[l]);
            lo_[l] = it.lo;
            hi_[l] = it.hi;
            node_[l] = it.node;
        }
        angle_ = angles;
    }
    const LightPathNode* node(int l) const { return node_[l]; }
    PathIterator lane(int l) const { return PathIterator{lo_[l], hi_[l], angle_[l], node_[l]}; }
    void lanes(PathIterator out[4]) const {
        for (int l = 0; l < 4; ++l) out[l] = lane(l);
    }
    int absorbingLanes() const {
        int bits = 0;
        for (int l = 0; l < 4; ++l) bits |= int(node_[l]->absorbs()) << l;
        return bits;
    }
    // Steps every lane to its next point, unless some lane's next node is missing (its node
    // was terminal) or escapes while others do not: then nothing moves and -1 is returned.
    // Otherwise returns the lanes that now escape (none or all).
    int step() {
        // The split point, float((double(lo) + double(hi)) / 2), two lanes per double vector.
        const __m128d half = _mm_set1_pd(0.5);
        const __m128 loV = lo_, hiV = hi_;
        const __m128d m01 = _mm_mul_pd(_mm_add_pd(_mm_cvtps_pd(loV), _mm_cvtps_pd(hiV)), half);
        const __m128d m23 = _mm_mul_pd(
            _mm_add_pd(_mm_cvtps_pd(_mm_movehl_ps(loV, loV)), _mm_cvtps_pd(_mm_movehl_ps(hiV, hiV))),
            half);
        const Vec4f mid = _mm_movelh_ps(_mm_cvtpd_ps(m01), _mm_cvtpd_ps(m23));
        const int below = movemask(mid > angle_);  // lanes that take the lower half
        const LightPathNode* next[4];
        int split = 0, escaping = 0;
        for (int l = 0; l < 4; ++l) {
            const LightPathNode* n = node_[l];
            if (n->lower == nullptr) return -1;
            const bool halves = n->upper != nullptr;
            split |= int(halves) << l;
            next[l] = (!halves || ((below >> l) & 1)) ? n->lower : n->upper;
            escaping |= int(next[l]->escapes()) << l;
        }
        if (escaping != 0 && escaping != 0xf) return -1;
        const LaneMask4 down = LaneMask4::fromBits(split & below);
        const LaneMask4 up = LaneMask4::fromBits(split & ~below);
        lo_ = select(up, mid, lo_);
        hi_ = select(down, mid, hi_);
        for (int l = 0; l < 4; ++l) node_[l] = next[l];
        return escaping;
    }
    // The lanes' points and their slopes over the initial angle, as PathIterator::point.
    void point(Vec4f& x, Vec4f& y, Vec4f& dx, Vec4f& dy) const {
        __m128 r0 = _mm_loadu_ps(&node_[0]->x0), r1 = _mm_loadu_ps(&node_[1]->x0);
        __m128 r2 = _mm_loadu_ps(&node_[2]->x0), r3 = _mm_loadu_ps(&node_[3]->x0);
        _MM_TRANSPOSE4_PS(r0, r1, r2, r3);  // x0, y0, dx, dy of the four lanes
        const __m128 t0 = _mm_setr_ps(node_[0]->t0, node_[1]->t0, node_[2]->t0, node_[3]->t0);
        const __m128 a = angle_;
        const __m128d da01 = _mm_sub_pd(_mm_cvtps_pd(a), _mm_cvtps_pd(t0));
        const __m128d da23 =
            _mm_sub_pd(_mm_cvtps_pd(_mm_movehl_ps(a, a)), _mm_cvtps_pd(_mm_movehl_ps(t0, t0)));
        auto along = [&](__m128 base, __m128 slope) -> Vec4f {
            const __m128d lo = _mm_add_pd(_mm_cvtps_pd(base), _mm_mul_pd(_mm_cvtps_pd(slope), da01));
            const __m128d hi = _mm_add_pd(_mm_cvtps_pd(_mm_movehl_ps(base, base)),
                                          _mm_mul_pd(_mm_cvtps_pd(_mm_movehl_ps(slope, slope)), da23));
            return _mm_movelh_ps(_mm_cvtpd_ps(lo), _mm_cvtpd_ps(hi));
        };
        x = along(r0, r2);
        y = along(r1, r3);
        dx = r2;
        dy = r3;
    }

private:
    Vec4f lo_, hi_, angle_;
    const LightPathNode* node_[4];
};

// The four-ray walk: the lanes step through the table together and share each chord's
// traversal; a chord is extended only while it passes the skipped points of every open lane.
class BundleWalk {
public:
    BundleWalk(RayBundle4& bundle, const KDTree& tree, bool tracing)
        : b(bundle),
          tree(tree),
          hole(tree.blackHole()),
          root(tree.nodeArray().front()),
          tracing(tracing) {}

    int run();

private:
    struct Points4 {
        Vec4f x, y, dx, dy;
    };

    // Traces the pending chord for the lanes not gone; returns the lanes hit. The others go on
    // from the chord's end.
    int traceChord();
    // Points the lanes from their origins at target (x, y, z), from the root; returns the
    // distances.
    Vec4f aimAt(const Vec4f target[3]);
    bool extends(const Vec4f& x, const Vec4f& y) const;
    // The lanes not hit and not gone, finished one by one from the table state at: where the
    // traced chords end.
    int finish(const TableWalk4& at, int hit) {
        PathIterator lanes[4];
        at.lanes(lanes);
        return hit | finishLanes(b, lanes, yg, 0xf & ~(hit | gone), tree, tracing);
    }

    RayBundle4& b;
    const KDTree& tree;
    const BlackHoleFrame& hole;
    const KdNode root;
    const bool tracing;
    Vec4f yg[3];
    TableWalk4 walk;
    int gone = 0;  // lanes whose path left the scene for good (BlackHoleFrame::beyondScene)

    Points4 start, end;  // the chord's ends in path coordinates (start: the lanes' origins)
    Vec4f endScene[3];   // the chord's end in the scene, x, y, z
    Points4 skipped[kMaxSkipped];
    int skippedCount = 0;
    bool pending = false;
};

bool BundleWalk::extends(const Vec4f& x, const Vec4f& y) const {
    if (skippedCount == kMaxSkipped) return false;
    const Vec4f cx = x - start.x, cy = y - start.y;
    LaneMask4 close = LaneMask4::fromBits(gone) |
                      passesClose(cx, cy, start.x, start.y, end.x, end.y, end.dx, end.dy);
    for (int i = 0; i < skippedCount && all(close); ++i) {
        const Points4& v = skipped[i];
        close &= passesClose(cx, cy, start.x, start.y, v.x, v.y, v.dx, v.dy);
    }
    return all(close);
}

Vec4f BundleWalk::aimAt(const Vec4f target[3]) {
    const Vec4f vx = target[0] - b.originSoA[0], vy = target[1] - b.originSoA[1],
                vz = target[2] - b.originSoA[2];
    const Vec4f len = sqrt(vx * vx + vy * vy + vz * vz);
    const Vec4f invLen = Vec4f(1.0f) / len;  // one division, as aimAt does for one ray
    b.dir[0] = vx * invLen;
    b.dir[1] = vy * invLen;
    b.dir[2] = vz * invLen;
    b.invDir[0] = Vec4f(1.0f) / b.dir[0];
    b.invDir[1] = Vec4f(1.0f) / b.dir[1];
    b.invDir[2] = Vec4f(1.0f) / b.dir[2];
    b.node = root;
    b.tHit = Vec4f(kNoHit);
    if (tracing)
        for (int l = 0; l < 4; ++l)
            traceLine("lane %d from %g %g %g step %g %g %g", l, double(b.originSoA[0][l]),
                      double(b.originSoA[1][l]), double(b.originSoA[2][l]), double(b.dir[0][l]),
                      double(b.dir[1][l]), double(b.dir[2][l]));
    return len;
}

int BundleWalk::traceChord() {
    if (!pending) return 0;
    clipToBox(tree.sceneBox(), b, aimAt(endScene));
    b.live = andNot(b.live, LaneMask4::fromBits(gone));
    const int hit = any(b.live) ? traceBundle4(b) : 0;
    for (int c = 0; c < 3; ++c) b.originSoA[c] = endScene[c];
    b.originSoA[3] = Vec4f(hole.centre.w);
    for (int l = 0; l < 4; ++l)
        b.origin[l] = Vec4f(endScene[0][l], endScene[1][l], endScene[2][l], hole.centre.w);
    start = end;
    skippedCount = 0;
    pending = false;
    return hit;
}

int BundleWalk::run() {
    b.tMin = Vec4f(0.0f);
    const Vec4f& xg = hole.xGRT;
    const Vec4f dx = b.dir[0], dy = b.dir[1], dz = b.dir[2];
    const Vec4f c = -(dx * xg.x + dy * xg.y + dz * xg.z);
    yg[0] = dx + c * xg.x;
    yg[1] = dy + c * xg.y;
    yg[2] = dz + c * xg.z;
    const Vec4f ylen = sqrt(yg[0] * yg[0] + yg[1] * yg[1] + yg[2] * yg[2]);
    const LaneMask4 degenerate = ylen == Vec4f(0.0f);
    for (Vec4f& axis : yg) axis = select(degenerate, Vec4f(0.0f), axis / ylen);
    const Vec4f cc = min(max(c, Vec4f(-1.0f)), Vec4f(1.0f));
    Vec4f angles;
    for (int l = 0; l < 4; ++l) angles[l] = std::acos(cc[l]);
    if (tracing)
        traceLine("angle: %g %g %g %g", double(angles.x), double(angles.y), double(angles.z),
                  double(angles.w));

    walk.start(hole.paths, angles);
    walk.point(start.x, start.y, start.dx, start.dy);
    start.dx = start.dy = Vec4f(0.0f);
    end = start;
    for (int k = 0; k < 3; ++k) endScene[k] = b.originSoA[k];
    const Vec4f cut2(hole.cutRadius2);
    for (;;) {
        // The lanes' paths part ways where some (not all) are absorbed or go straight on: from
        // here each open lane is finished on its own, from the end of the chord traced so far.
        const int absorbing = walk.absorbingLanes();
        if (absorbing != 0) {
            const int hit = traceChord();
            if (hit != 0 || absorbing != 0xf) return finish(walk, hit);
            b.out[0][0] = b.out[0][1] = b.out[1][0] = b.out[1][1] = kBlack;
            return 0xf;
        }
        const TableWalk4 before = walk;
        const int escaping = walk.step();
        if (escaping < 0) return finish(walk, traceChord());

        Points4 next;
        walk.point(next.x, next.y, next.dx, next.dy);
        Vec4f scene[3];
        for (int k = 0; k < 3; ++k)
            scene[k] = Vec4f(hole.centre[k]) + next.x * xg[k] + next.y * yg[k];

        if (escaping == 0xf) {  // straight on together: hits and misses are final
            const int hit = traceChord();
            if (hit != 0) return finish(before, hit);
            if (tracing) traceLine("STRAIGHT:");
            aimAt(scene);
            clipToBox(tree.sceneBox(), b);
            b.live = andNot(b.live, LaneMask4::fromBits(gone));
            return any(b.live) ? traceBundle4(b) : 0;
        }

        if (pending) {
            if (extends(next.x, next.y)) {
                skipped[skippedCount++] = end;
            } else {
                const int hit = traceChord();
                if (hit != 0) return finish(before, hit);
            }
        }
        // BlackHoleFrame::beyondScene for the four lanes, arriving along their last piece.
        Vec4f r2(0.0f), outwards(0.0f);
        for (int k = 0; k < 3; ++k) {
            const Vec4f r = scene[k] - Vec4f(hole.centre[k]);
            r2 += r * r;
            outwards += r * (scene[k] - endScene[k]);
        }
        const int leaving = movemask((r2 > cut2) & (outwards > Vec4f(0.0f)));
        end = next;
        for (int k = 0; k < 3; ++k) endScene[k] = scene[k];
        pending = true;
        if (leaving & ~gone) {
            const int hit = traceChord();
            gone |= leaving;
            if (hit != 0) return finish(walk, hit);
            if (gone == 0xf) return 0;  // every lane left the scene for good: all missed
        }
    }
}

}  // namespace

bool iterRayPart(SingleRay& ray, const KDTree& tree) {
    const BlackHoleFrame& hole = tree.blackHole();
    const bool tracing = ray.trace != 0 && TraceOutput::enabled();
    if (tracing) traceLine("iterRayPart");
    OriginRestorer keepOrigin(ray);

    ray.tMin = 0.0f;
    Vec4f d = ray.dir;
    d.w = 0.0f;
    const Vec4f& xg = hole.xGRT;
    const float c = -dot3(d, xg);
    Vec4f yg = d + xg * c;
    yg.w = 0.0f;
    const float ylen = std::sqrt(dot3(yg, yg));
    yg = ylen > 0.0f ? yg * (1.0f / ylen) : Vec4f(0.0f);
    const float angle = std::acos(std::fmax(-1.0f, std::fmin(1.0f, c / std::sqrt(dot3(d, d)))));
    if (tracing) {
        traceLine("angle %f", double(angle));
        traceVec("xGRT", xg);
        traceVec("yGRT", yg);
    }

    PathIterator it;
    it.start(hole.paths, angle);
    return followPath(ray, it, yg, tree, tracing);
}

int iterRayPart4(RayBundle4& b, const KDTree& tree) {
    const bool tracing = b.trace != 0 && TraceOutput::enabled();
    if (tracing) traceLine("iterRayPart4");
    OriginRestorer keepOrigin(b);
    return BundleWalk(b, tree, tracing).run();
}
