// Bent-ray tracing along the light-path table. The path plane of a ray is spanned by xGRT (from
// the hole towards the observer) and yGRT, the part of the ray's direction perpendicular to xGRT;
// a path point (x, y) lies at centre + x xGRT + y yGRT.
//
// A segment is traced when its clipped interval is not empty, tMin <= tMax: a flat scene box
// (a lone wall) is entered and left at the same distance, as for straight rays.
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
    const KdNode root = tree.nodeArray().front();
    for (;;) {
        if (!it.node) return false;  // a malformed table: nothing sensible to show
        if (it.node->absorbs()) {
            *ray.out = kBlack;
            return true;
        }
        it.step();
        if (!it.node) return false;
        float x, y;
        it.point(x, y);
        if (tracing) traceLine("(x,y):(%f,%f)", double(x), double(y));
        const Vec4f P = hole.centre + xg * x + yg * y;
        const float len = aimAt(ray, P);
        ray.node = root;
        if (tracing) {
            traceVec("from", ray.origin);
            traceVec("step", ray.dir);
        }
        if (it.node->escapes()) break;

        clipToBox(tree.sceneBox(), ray, len);
        if (tracing) traceLine("farf %f", double(ray.tMax));
        if (ray.tMin <= ray.tMax && traceSegment(ray, hole)) return true;
        ray.origin = P;
    }

    // Escaped: straight on along the last segment's direction.
    clipToBox(tree.sceneBox(), ray);
    if (tracing) traceLine("farf %f", double(ray.tMax));
    if (ray.tMin <= ray.tMax && traceSegment(ray, hole)) return true;
    if (tracing) traceLine("No Hit");
    return false;
}

int iterRayPart4(RayBundle4& b, const KDTree& tree, int* resolved) {
    const BlackHoleFrame& hole = tree.blackHole();
    const bool tracing = b.trace != 0 && TraceOutput::enabled();
    if (tracing) traceLine("iterRayPart4");
    if (resolved) *resolved = 0;
    OriginRestorer keepOrigin(b);

    b.tMin = Vec4f(0.0f);
    const Vec4f& xg = hole.xGRT;
    const Vec4f dx = b.dir[0], dy = b.dir[1], dz = b.dir[2];
    const Vec4f c = -(dx * xg.x + dy * xg.y + dz * xg.z);
    Vec4f ygx = dx + c * xg.x, ygy = dy + c * xg.y, ygz = dz + c * xg.z;
    const Vec4f ylen = sqrt(ygx * ygx + ygy * ygy + ygz * ygz);
    const LaneMask4 degenerate = ylen == Vec4f(0.0f);
    ygx = select(degenerate, Vec4f(0.0f), ygx / ylen);
    ygy = select(degenerate, Vec4f(0.0f), ygy / ylen);
    ygz = select(degenerate, Vec4f(0.0f), ygz / ylen);
    const Vec4f cc = min(max(c, Vec4f(-1.0f)), Vec4f(1.0f));
    Vec4f angles;
    for (int l = 0; l < 4; ++l) angles[l] = std::acos(cc[l]);
    if (tracing)
        traceLine("angle: %g %g %g %g", double(angles.x), double(angles.y), double(angles.z),
                  double(angles.w));

    PathIterator4 it;
    it.start(hole.paths, angles);
    const KdNode root = tree.nodeArray().front();
    const BoundingBox& box = tree.sceneBox();
    for (;;) {
        if (it.absorbingLanes() == 0xf) {
            b.out[0][0] = b.out[0][1] = b.out[1][0] = b.out[1][1] = kBlack;
            if (resolved) *resolved = 0xf;
            return 0xf;
        }
        it.step();
        if (it.finishedLanes() != 0) return 0;  // the lanes' paths part ways

        Vec4f x, y;
        it.point(x, y);
        const Vec4f px = Vec4f(hole.centre.x) + x * xg.x + y * ygx;
        const Vec4f py = Vec4f(hole.centre.y) + x * xg.y + y * ygy;
        const Vec4f pz = Vec4f(hole.centre.z) + x * xg.z + y * ygz;
        const Vec4f vx = px - b.originSoA[0], vy = py - b.originSoA[1], vz = pz - b.originSoA[2];
        const Vec4f len = sqrt(vx * vx + vy * vy + vz * vz);
        b.dir[0] = vx / len;
        b.dir[1] = vy / len;
        b.dir[2] = vz / len;
        b.invDir[0] = Vec4f(1.0f) / b.dir[0];
        b.invDir[1] = Vec4f(1.0f) / b.dir[1];
        b.invDir[2] = Vec4f(1.0f) / b.dir[2];
        b.node = root;
        b.tHit = Vec4f(kNoHit);

        const bool allEscape = it.escapingLanes() == 0xf;
        if (!allEscape) {
            clipToBox(box, b, len);
            const int hit = any(b.live) ? traceBundle4(b) : 0;
            if (hit) {
                if (resolved) *resolved = hit;
                return hit;
            }
            b.originSoA[0] = px;
            b.originSoA[1] = py;
            b.originSoA[2] = pz;
            b.originSoA[3] = Vec4f(hole.centre.w);
            for (int l = 0; l < 4; ++l) b.origin[l] = Vec4f(px[l], py[l], pz[l], hole.centre.w);
            continue;
        }

        if (tracing) traceLine("STRAIGHT:");
        clipToBox(box, b);
        const int hit = any(b.live) ? traceBundle4(b) : 0;
        if (resolved) *resolved = 0xf;  // escaped together: hits and misses are final
        return hit;
    }
}
