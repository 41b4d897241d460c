// Bent-ray tracing along the light-path table. The path plane of a ray is spanned by xGRT (from
// the hole towards the observer) and yGRT, the part of the ray's direction perpendicular to xGRT;
// a path point (x, y) lies at centre + x xGRT + y yGRT.
//
// A segment is traced when its clipped interval is not empty, tMin <= tMax: a flat scene box
// (a lone wall) is entered and left at the same distance, as for straight rays. A path that has
// left the sphere around the scene while moving outwards ends there (BlackHoleFrame::
// beyondScene): it can hit nothing more, and stepping on to the table's end would cost most of
// the frame.
#include "accel/lightpathtrace.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "accel/kdtraverse.h"
#include "accel/kdtree.h"
#include "accel/lightpathtree.h"
#include "accel/movingbodies.h"
#include "accel/timeslices.h"
#include "base/traceoutput.h"
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

// The nearest of the bodies in both of moving's trees, up to limit; its distance in ray.tMax.
bool traceBodies1(SingleRay& ray, const BentMoving& moving, float limit) {
    bool hit = false;
    if (moving.tree && traceMoving1(ray, *moving.tree, limit)) {
        hit = true;
        limit = ray.tMax;
    }
    if (moving.slices && moving.slices->trace1(ray, limit)) {
        hit = true;
        limit = ray.tMax;
    }
    if (hit) ray.tMax = limit;
    return hit;
}

// The moving bodies nearer than limit on the piece the ray is on, travelled from the eye along
// its path: the ray's origin takes the piece's start time for them (the scene's objects keep the
// one they always had). With the gravitational Doppler effect on, a hit is traced once more with
// the shift of its point, as traceSegment does.
bool traceMovingPiece(SingleRay& ray, const BlackHoleFrame& hole, const BentMoving& moving,
                      float travelled, float limit) {
    const float w = ray.origin.w;
    ray.origin.w = moving.time + moving.sigma * travelled;
    const KdNode node = ray.node;
    bool hit = traceBodies1(ray, moving, limit);
    if (hit && ray.settings && ray.settings->grtDoppler && hole.rs > 0.0f) {
        Vec4f p = ray.origin + ray.dir * ray.tMax - hole.centre;
        p.w = 0.0f;
        const float doppler = ray.doppler;
        ray.doppler = doppler * hole.wavelengthFactor(std::sqrt(dot3(p, p)));
        traceBodies1(ray, moving, limit);
        ray.doppler = doppler;
    }
    ray.node = node;
    ray.origin.w = w;
    return hit;
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

// Follows one ray's path from the iterator's current node on, each piece starting at the ray's
// origin; the loop of iterRayPart, also used to finish the lanes of a 4-ray walk that part ways.
bool followPath(SingleRay& ray, PathIterator& it, const Vec4f& yg, const KDTree& tree,
                const BentMoving& moving, float travelled, bool tracing) {
    const BlackHoleFrame& hole = tree.blackHole();
    const Vec4f& xg = hole.xGRT;
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
        // A single ray's leaves accept hits up to kRayLeafWiden beyond its interval, which on a
        // short piece of a bent path lies off the path: such a hit counts as none (a later hit
        // or the background overwrites its pixel), as the bundles' relative widening has it.
        bool hit =
            ray.tMin <= ray.tMax && traceSegment(ray, hole) && ray.tMax <= len * kBundleFarEps;
        if (moving.any())
            hit = traceMovingPiece(ray, hole, moving, travelled, hit ? ray.tMax : len) || hit;
        if (hit) return true;
        ray.origin = P;
        travelled += len;
        if (hole.beyondScene(P, ray.dir)) {
            if (tracing) traceLine("No Hit");
            return false;
        }
    }

    // Escaped: straight on along the last segment's direction.
    clipToBox(tree.sceneBox(), ray);
    if (tracing) traceLine("farf %f", double(ray.tMax));
    bool hit = ray.tMin <= ray.tMax && traceSegment(ray, hole);
    if (moving.any())
        hit = traceMovingPiece(ray, hole, moving, travelled, hit ? ray.tMax : kNoDistance) || hit;
    if (hit) return true;
    if (tracing) traceLine("No Hit");
    return false;
}

// Lanes of a 4-ray walk whose paths part ways, finished one by one from the walk's state at
// their last traced point (each lane's origin and iterator, and its path-plane axis yGRT).
// Returns the lanes whose pixel was written.
int finishLanes(RayBundle4& b, const PathIterator lane[4], const Vec4f yg[3], int lanes,
                const KDTree& tree, const BentMoving& moving, const Vec4f& travelled,
                bool tracing) {
    int written = 0;
    for (int l = 0; l < 4; ++l) {
        if (!((lanes >> l) & 1)) continue;
        SingleRay ray{};
        ray.nodeBase = b.nodeBase;
        ray.leafBase = b.leafBase;
        ray.leafSpheres = b.leafSpheres;
        ray.settings = b.settings;
        ray.variant = b.variant;
        ray.trace = b.trace;
        ray.doppler = b.doppler[l];
        ray.out = &b.out[l >> 1][l & 1];
        ray.origin =
            Vec4f(b.originSoA[0][l], b.originSoA[1][l], b.originSoA[2][l], b.originSoA[3][l]);
        PathIterator it = lane[l];
        if (followPath(ray, it, Vec4f(yg[0][l], yg[1][l], yg[2][l], 0.0f), tree, moving,
                       travelled[l], tracing))
            written |= 1 << l;
    }
    return written;
}

// The four-ray walk: the lanes step through the table together and share each piece's
// traversal while their paths run alike.
class BundleWalk {
public:
    BundleWalk(RayBundle4& bundle, const KDTree& tree, const BentMoving& moving, bool tracing,
               EmptyCellMemory* firstPieces)
        : b(bundle),
          tree(tree),
          moving(moving),
          hole(tree.blackHole()),
          root(tree.nodeArray().front()),
          tracing(tracing),
          firstPieces(firstPieces) {}

    // The walk, a hot kernel: on AVX2 processors its vector code (a few hundred instructions a
    // piece) runs in the three-operand encoding, which saves its register copies. The piece's
    // tracing is inlined into it, so that every clone holds the whole loop.
    int run();

private:
    // One piece of the four paths, worked out from the table before it is traced.
    struct Piece {
        enum Status { Ready, AllAbsorbed, PartWays };
        Status status = Ready;
        int escaping = 0;  // Ready only: 0xf when the lanes go on straight from here
        Vec4f end[3], len, dir[3], invDir[3];
    };
    // Sets p to the piece after the node of from, starting at origin, and to to from stepped on;
    // where the lanes end there or part ways, to is from, and status says which (the vectors
    // are left as they were). Written in place: a piece is 13 vectors.
    [[gnu::always_inline]] static void nextPiece(Piece& p, const PathIterator4& from,
                                                 PathIterator4& to, const Vec4f origin[3],
                                                 const BlackHoleFrame& hole, const Vec4f yg[3]);
    // Puts the lanes on piece p, from the root.
    void aimAlong(const Piece& p);
    // Aims the lanes along piece p and traces them through the scene's tree, unless an empty
    // cell remembered holds it (the first pieces' cell for a first piece, fromEye, else the
    // walk's own); remembers the empty cell the traversal ended in. Returns the lanes hit.
    [[gnu::always_inline]] int tracePiece(const Piece& p, bool fromEye);
    // One step of the walk: works out the piece after this one into next (the table's state
    // there into atNext, from this piece's state at), then traces this piece. Returns true with
    // the lanes written in result when the walk ends here.
    [[gnu::always_inline]] bool advance(const Piece& piece, const PathIterator4& at, Piece& next,
                                        PathIterator4& atNext, int& result);
    // The lanes not hit and not gone, finished one by one from where the walk is (the table's
    // state at).
    int finish(int hit, const PathIterator4& at) {
        PathIterator lanes[4];
        for (int l = 0; l < 4; ++l) lanes[l] = at.lane(l);
        return hit | finishLanes(b, lanes, yg, 0xf & ~(hit | gone), tree, moving, travelled,
                                 tracing);
    }
    // The moving bodies on the piece the lanes are on, nearer than each lane's limit; lanes gone
    // take none. Returns the lanes they hit.
    int traceMovingPiece(Vec4f limit);

    RayBundle4& b;
    const KDTree& tree;
    const BentMoving& moving;
    const BlackHoleFrame& hole;
    const KdNode root;
    const bool tracing;
    Vec4f yg[3];
    bool firstPiece = true;
    int gone = 0;  // lanes whose path left the scene for good (BlackHoleFrame::beyondScene)
    // Empty leaf cells for the pieces to come (see tracePiece): the walk's own, where the last
    // piece ends, for the pieces after the first; and the caller's, carried from packet to
    // packet, one that holds the eye, for the first (or null).
    EmptyCellMemory cell;
    EmptyCellMemory* const firstPieces;
    Vec4f travelled{0.0f};  // each lane's path length from the eye to its current origin
};

int BundleWalk::traceMovingPiece(Vec4f limit) {
    limit = select(LaneMask4::fromBits(gone), Vec4f(-1.0f), limit);
    const Vec4f w = b.originSoA[3];
    const Vec4f time = Vec4f(moving.time) + Vec4f(moving.sigma) * travelled;
    b.originSoA[3] = time;
    // The walk keeps the lanes' origins in originSoA only; the moving bodies read them one by
    // one as well.
    for (int l = 0; l < 4; ++l) b.origin[l] = b.originSoA[l];
    transpose(b.origin[0], b.origin[1], b.origin[2], b.origin[3]);
    const KdNode node = b.node;
    int hit = 0;
    if (moving.tree) {
        hit = traceMoving4(b, *moving.tree, limit);
        limit = select(LaneMask4::fromBits(hit), b.tHit, limit);
    }
    if (moving.slices) hit |= moving.slices->trace4(b, limit);
    b.node = node;
    b.originSoA[3] = w;
    return hit;
}

inline void BundleWalk::nextPiece(Piece& p, const PathIterator4& from, PathIterator4& to,
                                  const Vec4f origin[3], const BlackHoleFrame& hole,
                                  const Vec4f yg[3]) {
    const int absorbing = from.absorbingLanes();
    if (absorbing != 0) {
        p.status = absorbing == 0xf ? Piece::AllAbsorbed : Piece::PartWays;
        to.stay(from);
        return;
    }
    p.escaping = to.stepFrom(from);
    if (p.escaping < 0) {
        p.status = Piece::PartWays;
        return;
    }
    p.status = Piece::Ready;
    Vec4f x, y;
    to.point(x, y);
    const Vec4f& xg = hole.xGRT;
    for (int k = 0; k < 3; ++k) p.end[k] = Vec4f(hole.centre[k]) + x * xg[k] + y * yg[k];
    const Vec4f vx = p.end[0] - origin[0], vy = p.end[1] - origin[1], vz = p.end[2] - origin[2];
    p.len = sqrt(vx * vx + vy * vy + vz * vz);
    // The four divisions depend on the root only, not on each other: they overlap.
    const Vec4f invLen = Vec4f(1.0f) / p.len;
    p.dir[0] = vx * invLen;
    p.dir[1] = vy * invLen;
    p.dir[2] = vz * invLen;
    p.invDir[0] = p.len / vx;
    p.invDir[1] = p.len / vy;
    p.invDir[2] = p.len / vz;
}

void BundleWalk::aimAlong(const Piece& p) {
    for (int k = 0; k < 3; ++k) {
        b.dir[k] = p.dir[k];
        b.invDir[k] = p.invDir[k];
    }
    b.node = root;
    b.tHit = Vec4f(kNoHit);
}

inline int BundleWalk::tracePiece(const Piece& p, bool fromEye) {
    // Most pieces of paths through empty space lie in the same empty leaf as the piece before:
    // they are not traced again (nor aimed and clipped). A traced bundle reports every step.
    // After a first piece the walk goes on from the first pieces' cell, unless it traces one.
    const EmptyCellMemory& memory = fromEye ? *firstPieces : cell;
    if (fromEye) cell = *firstPieces;
    if (memory.remembers() && !tracing && memory.holds(b.originSoA, p.end, p.len)) {
        if (moving.any()) aimAlong(p);  // the moving bodies are looked for all the same
        return 0;
    }
    aimAlong(p);
    clipToBox(tree.sceneBox(), b, p.len);
    b.live = andNot(b.live, LaneMask4::fromBits(gone));
    if (!any(b.live)) return 0;
    if (tracing) return traceBundle4(b);
    bool empty;
    EmptyCell found;
    const int hit = traceBundle4(b, empty, found);
    cell.remember(empty, found);
    // The next packet's first piece starts at the eye again: its cell serves if it holds that.
    if (fromEye && cell.remembers() && cell.holds(b.originSoA, b.originSoA, Vec4f(0.0f)))
        *firstPieces = cell;
    return hit;
}

TAVOLIN_HOT_KERNEL int BundleWalk::run() {
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
    const Vec4f angles = acos(min(max(c, Vec4f(-1.0f)), Vec4f(1.0f)));
    if (tracing)
        traceLine("angle: %g %g %g %g", double(angles.x), double(angles.y), double(angles.z),
                  double(angles.w));

    // The walk runs one piece ahead of the tracing: the next piece's table steps, square root
    // and divisions do not wait for this piece's traversal, so the two overlap. The table's
    // state at the traced piece is kept for the lanes a hit there leaves to finish. The traced
    // piece and the one ahead (and the table's states at them) take turns in two places, so
    // that moving on copies neither.
    PathIterator4 atEven, atOdd;
    Piece even, odd;
    atEven.start(hole.paths, angles);
    nextPiece(even, atEven, atEven, b.originSoA, hole, yg);
    int result;
    for (;;) {
        if (advance(even, atEven, odd, atOdd, result)) return result;
        if (advance(odd, atOdd, even, atEven, result)) return result;
    }
}

inline bool BundleWalk::advance(const Piece& piece, const PathIterator4& at, Piece& next,
                                PathIterator4& atNext, int& result) {
    // The lanes' paths part ways where some (not all) are absorbed or go straight on: from
    // here each open lane is finished on its own, from where it is.
    if (piece.status == Piece::AllAbsorbed) {
        b.out[0][0] = b.out[0][1] = b.out[1][0] = b.out[1][1] = kBlack;
        result = 0xf;
        return true;
    }
    if (piece.status == Piece::PartWays) {
        result = finish(0, at);
        return true;
    }
    if (piece.escaping == 0xf) {  // straight on together: hits and misses are final
        aimAlong(piece);
        if (tracing) traceLine("STRAIGHT:");
        clipToBox(tree.sceneBox(), b);
        b.live = andNot(b.live, LaneMask4::fromBits(gone));
        int hit = any(b.live) ? traceBundle4(b) : 0;
        if (moving.any())
            hit |= traceMovingPiece(select(LaneMask4::fromBits(hit), b.tHit, Vec4f(kNoHit)));
        result = hit;
        return true;
    }

    nextPiece(next, at, atNext, piece.end, hole, yg);

    // The first piece starts at the eye, beside the previous packet's first piece.
    const bool fromEye = firstPieces && firstPiece;
    int hit = tracePiece(piece, fromEye);
    firstPiece = false;
    if (moving.any()) hit |= traceMovingPiece(select(LaneMask4::fromBits(hit), b.tHit, piece.len));
    // The next piece starts where this one ends. Only originSoA follows the lanes (the
    // traversal and the bending variant's intersections read that one); origin, one vector a
    // lane, keeps the eye until the walk returns, and the few that read it per lane (the moving
    // bodies, the lanes finished one by one) build it from originSoA.
    for (int k = 0; k < 3; ++k) b.originSoA[k] = piece.end[k];
    b.originSoA[3] = Vec4f(hole.centre.w);
    travelled += piece.len;
    // BlackHoleFrame::beyondScene for the four lanes, arriving along their piece.
    Vec4f r2(0.0f), outwards(0.0f);
    for (int k = 0; k < 3; ++k) {
        const Vec4f r = piece.end[k] - Vec4f(hole.centre[k]);
        r2 += r * r;
        outwards += r * piece.dir[k];
    }
    gone |= movemask((r2 > Vec4f(hole.cutRadius2)) & (outwards > Vec4f(0.0f)));
    // Lanes hit on this piece are done; the others go on one by one.
    if (hit) {
        result = finish(hit, at);
        return true;
    }
    if (gone == 0xf) {  // every lane left the scene for good: all missed
        result = 0;
        return true;
    }
    return false;
}

}  // namespace

bool iterRayPart(SingleRay& ray, const KDTree& tree, const BentMoving& moving) {
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
    // The same arc cosine as the 4-ray walk's, so that packet sizes start on the same paths.
    const float angle = acos(Vec4f(std::fmax(-1.0f, std::fmin(1.0f, c / std::sqrt(dot3(d, d)))))).x;
    if (tracing) {
        traceLine("angle %f", double(angle));
        traceVec("xGRT", xg);
        traceVec("yGRT", yg);
    }

    PathIterator it;
    it.start(hole.paths, angle);
    return followPath(ray, it, yg, tree, moving, 0.0f, tracing);
}

int iterRayPart4(RayBundle4& b, const KDTree& tree, const BentMoving& moving,
                 EmptyCellMemory* firstPieces) {
    const bool tracing = b.trace != 0 && TraceOutput::enabled();
    if (tracing) traceLine("iterRayPart4");
    OriginRestorer keepOrigin(b);
    return BundleWalk(b, tree, moving, tracing, firstPieces).run();
}
