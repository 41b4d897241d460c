// Bodies that move through the scene frame: spheres, planes and cubes with a velocity, and the
// moving sphere. They stay out of the scene's kd-tree, which is built once per scene; every
// frame instead places each of them where that frame's rays can meet it, and joins those boxes
// to the scene's tree or sorts them for a second pass after it (MovingPlacement::prepare).
//
// A ray from the observer's event (T, O) in scene-frame direction d meets the events
// (T + sigma s, O + s d), s >= 0: sigma = -1 with light travel time on (the light that reaches
// the eye now left the body earlier) and sigma = 0 with it off (the scene frame's snapshot at
// time T). Boosted into a body's rest frame that line of events is the line X' + s D' (see
// LorentzBoost), so the body keeps its own static intersection test, fed with the unit
// direction D' / |D'| and the intervals scaled by |D'|; the hit's s is the scene-frame distance
// as for every other object. The body's colour is shifted from its rest frame to the scene frame
// by gamma (1 + v.d) on top of the observer's own factor, and the searchlight sees the product.
//
// The moving sphere is drawn here too, never in the scene's tree, whose one build would have to
// hold it over its whole life: a sphere that lives long crosses the scene and would fill every
// leaf. With light travel time off (and when faster than light) it keeps its own space-time test
// (its centre moves with mov, met at time T + s): each frame places it where that test can meet
// the frame's rays, the stretch of its path the rays from the eye catch up with. With light
// travel time on it is a sphere of its radius at rest in the frame that moves with mov, at its
// centre at scene time tmin, existing for scene times tmin..tmax.
//
// Light bending: the bent light paths visit the bodies' own tree on every piece, each piece
// starting at the time its light left (the observer's time less the path's length so far, with
// light travel time). Their placement then holds each body over every time such light can have
// left it: back to the longest way a bent path can take through the scene (TimeRT::bentReach).
#pragma once

#include <chrono>
#include <cmath>
#include <cstdint>
#include <deque>
#include <limits>
#include <memory>
#include <vector>

#include "accel/directiongrid.h"
#include "accel/timeslices.h"
#include "geometry/lorentzboost.h"
#include "scene/rtobjbase.h"

class KDTree;

// One primitive of a moving body (a sphere, a plane, a cube) as the tree of moving bodies holds
// it: the ray operations boost the rays into the body's rest frame and hand them to the
// primitive, which meets them as if it were at rest. A moving sphere met by its own test gets
// the rays as they are.
class MovingPrimitive : public rtObjBounded {
public:
    // primitive: the object in the scene's list, not owned. motion: the body's.
    MovingPrimitive(rtObjBase* primitive, const BodyMotion& motion);
    ~MovingPrimitive() override;

    // Between frames: how rays from the observer's event (x, y, z, time w) meet the body, and the
    // box in which they can (box and hitBounds()). False when no ray of the frame can meet it.
    // bentReach > 0 (bent light paths): the rays start anywhere on their paths, with light
    // travel time at the times their light left, up to bentReach before the observer's time;
    // the box holds the body over all those times.
    // bentPieces: most pieces of the box held for bent paths (see kMaxBentPieces).
    // bentUntil: with light travel time, the latest time the body is held over along bent
    // paths, back to bentUntil - bentReach; NaN for the observer's time. A placement holds a
    // window a little wider than the frame needs, so that later frames can keep it
    // (MovingPlacement::heldWindow).
    bool prepare(const Vec4f& observer, bool lightTravelTime, float bentReach = 0.0f,
                 int bentPieces = kMaxBentPieces, double bentUntil = kObserversTime);
    static constexpr double kObserversTime = std::numeric_limits<double>::quiet_NaN();
    // Between frames, after prepare(): the observer's event moved on, and the body stays placed
    // as it is (its box and pieces hold for the new event too): camera rays get their new
    // rest-frame origin.
    void moveObserver(const Vec4f& eye);
    // The box as pieces for the tree, after prepare(): a body seen along a stretch of its path
    // (light travel time) sweeps a long slanted box; pieces of the stretch bound it far tighter.
    int pieceCount() const { return pieces; }
    BoundingBox pieceBox(int i) const;
    // Where piece i begins: the pieces divide the sweep from its start (the latest time, along
    // bent paths with light travel time) to its end; piece i runs to pieceTime(i + 1).
    double pieceTime(int i) const;
    // Most pieces of a stretch seen along straight rays (on bench/moving_bench 32 were slower
    // than 8), and of one held for bent paths, which is long in time and space (6,000 bodies
    // under a black hole: 64 pieces 2.2 s a frame, 128 0.74 s, 256 0.33 s). A piece's box holds
    // a slanted stretch of the body's way, and shorter stretches waste less of it. The budget
    // below caps the pieces of many bodies: 6,000 get 174 each, which took 0.68 to 0.74 of the
    // time of 128 each, and 0.2 s more to place (1.6 s against 1.4 s, peak 210 MB against 188).
    static constexpr int kMaxPieces = 8;
    static constexpr int kMaxBentPieces = 256;
    // Along bent paths with light travel time the pieces grow with the age of the light: the
    // piece i of n starts at the fraction (e^(g i / n) - 1) / (e^g - 1) of the sweep back from
    // its latest time. Most rays meet their bodies within the scene, a short way back in time,
    // while the bodies are held over every time light can have taken round the hole (ten times
    // the scene's size): equal pieces were a hundred units of time long on the scene of every
    // kind, and the few that rays from the scene reach were crossed by nearly all of them. With
    // g = 3 the newest pieces are a sixth as long as equal ones and the oldest three times as
    // long: frames there take 0.53 to 0.59 of the time at rest and 0.7 at 0.9c (2 and 4 were
    // within the noise of 3, 6 slower), the pictures are the same, and a placement that holds
    // a little more than a frame needs (MovingPlacement::heldWindow) costs nothing measurable.
    // Equal pieces had made it cost 5 to 8 %: the newest piece then reached past the
    // observer's time.
    static constexpr float kPieceGrowth = 3.0f;
    // The scene times of the stretch the piece i holds the body over (after prepare()).
    void pieceTimes(int i, float& lo, float& hi) const;
    // How the scene time of a ray's events runs with their distance s from its origin at time w:
    // w + timeSign() s for the events a hit can be at; 0 when every event counts as the
    // observer's (the snapshot's boosted bodies).
    float timeSign() const { return ownTest ? 1.0f : sigma; }
    // Between frames, after prepare(): prepares the body for the camera rays' origin in its rest
    // frame (what prepareForOrigin does for a body at rest).
    void prepareRestOrigin() {
        if (!ownTest) body->prepareForOrigin(restOrigin);
    }
    // After prepare(): whether the frame's rays meet the primitive through its own space-time
    // test, unboosted (the moving sphere seen in the snapshot, or faster than light).
    bool usesOwnTest() const { return ownTest; }

    BoundingBox boundingBox() const override { return box; }
    void resolveTextures(TextureCol&) override {}

    // Any render thread.
    void intersect1(SingleRay& ray, float& t) const override;
    void intersect1Alt(SingleRay& ray, float& t) const override;
    bool occluded1(const SingleRay& ray) const override;
    void shade1(SingleRay& ray, float t) const override;
    LaneMask4 intersect4(RayBundle4& bundle) const override;
    LaneMask4 intersect4Alt(RayBundle4& bundle) const override;
    int reserved4(int) const override { return 0; }
    void shade4(RayBundle4& bundle, LaneMask4 mask) const override;
    bool intersect16(RayBundle16& bundle, LaneMask4 hits[4]) const override;
    bool intersect16Alt(RayBundle16& bundle, LaneMask4 hits[4]) const override;
    int reserved16(int) const override { return 0; }
    void shade16(RayBundle16& bundle, const LaneMask4 mask[4]) const override;

    void prepareForOrigin(const Vec4f&) override {}  // prepare() does it for the rest frame
    void copyFrom(const rtObjBase& other) override;
    rtObjBase* clone() const override;

    // The rest-frame counterpart of a scene-frame ray event and direction (tests and tools); in
    // the snapshot, after prepare(), the event counts as at the observer's time.
    Vec4f restOriginOf(const Vec4f& event) const;
    // The body's rest box moved to where it is at scene time t.
    BoundingBox restBoxAt(double t) const;

private:
    // The two ways prepare() places the body: boosted into its rest frame, or met by the
    // primitive's own test.
    bool prepareBoosted(bool lightTravelTime, float bentReach, int bentPieces, double bentUntil);
    bool prepareOwnTest(bool lightTravelTime, float bentReach, int bentPieces, double bentUntil);
    // Sets box, hit bounds and pieces for the corners moving with v over the scene times t0..t1.
    bool placeSweep(const Vec4f corners[8], const Vec4f& v, double radius, double t0, double t1,
                    int maxPieces);
    // The room of mayMeet's box, for a body moving with v.
    void setShearRoom(const Vec4f& v);

    // Whether rays from the origins o (x, y, z, time w lanes) along directions d can meet the
    // body within their intervals s0..s1: a test of their events against the box the body has
    // at shearTime, each event moved back along the body's motion to that time. An event at
    // distance s happens at w + timeSign() s, where the body has moved on by v (w + timeSign() s
    // - shearTime); so the ray o + s d less that motion, o - v (w - shearTime) + s (d -
    // timeSign() v), must meet the box. A lane that fails cannot be hit by the body at any time.
    // Pieces of a long stretch (bent paths) hold the body over a span of time in which it moves
    // far: their boxes let through rays that pass where the body is at other times, whose
    // boosted test costs several times more than this one.
    LaneMask4 mayMeet(const Vec4f o[4], const Vec4f d[3], const Vec4f& s0, const Vec4f& s1) const;
    bool mayMeet(const SingleRay& ray) const;
    bool mayMeet(const RayBundle4& b) const;
    bool mayMeet(const RayBundle16& b) const;

    void boostSingle(const SingleRay& ray, SingleRay& r, float& len) const;
    void boostFour(const RayBundle4& b, RayBundle4& r, Vec4f& len) const;
    void boostSixteen(const RayBundle16& b, RayBundle16& r, Vec4f len[4]) const;
    LaneMask4 intersectFour(RayBundle4& b, bool alt) const;
    bool intersectSixteen(RayBundle16& b, LaneMask4 hits[4], bool alt) const;

    rtObjBase* primitive;                // not owned
    std::unique_ptr<rtObjBase> restSphere;  // the moving sphere as a sphere at rest
    rtObjBase* body;                     // what meets the boosted rays
    BodyMotion motion;
    LorentzBoost boost;
    BoundingBox box;  // where the frame's rays can meet the body (prepare); widened: the hit bounds
    BoundingBox restBox;  // the body's box in its rest frame (x, y, z)
    // The frame's: set by prepare().
    float sigma = 0.0f;
    Vec4f observer;    // the frame's observer event (camera rays start there)
    Vec4f restOrigin;  // its rest-frame position
    float sLo = 0.0f;  // the ray distances in which the body exists (the moving sphere's
    float sHi = 0.0f;  // lifetime seen along a ray); everything else: 0..inf
    // Along bent paths the lifetime is judged ray by ray, from the time at its origin.
    bool lifetimePerRay = false;
    bool ownTest = false;  // the frame meets the primitive itself, unboosted
    void lifetimeOf(float originTime, float& lo, float& hi) const;
    int pieces = 0;
    BoundingBox sweptBox;  // the box of the body's corners at time 0, moving with v
    Vec4f sweepVelocity;
    double sweepFrom = 0.0, sweepTo = 0.0;  // the scene times the pieces divide
    float growth = 0.0f;  // how the pieces grow from sweepFrom (kPieceGrowth), or 0: equal
    // For mayMeet: the body's box at scene time shearTime (the middle of the sweep), its centre,
    // and the room it gets for a ray whose moved-back origin lies at a distance d from that
    // centre (largest coordinate difference): shearRoom + shearRoomPerDistance d. On for bent
    // paths only, and off there in the snapshot of a boosted body (every event at the observer's
    // time: the pieces' boxes are the body's own) and for a sweep without end.
    bool sheared = false;
    float shearTime = 0.0f;
    BoundingBox shearBox;
    Vec4f shearCentre;
    float shearRoom = 0.0f;
    float shearRoomPerDistance = 0.0f;
};

// One piece of a moving primitive's box in the tree: every ray operation is the primitive's.
class MovingPiece : public rtObjBounded {
public:
    // Between frames: the piece i of whole.
    void place(const MovingPrimitive* whole, int i);

    // The trees hold the piece wherever its test can report a hit: in its hit bounds, the box
    // widened for the rounding of its body's test. A grazing root lies up to sqrt(2 eps) of
    // the ray's distance off the body, and light that left long ago comes from far away; the
    // exact box let the trees by time lose such hits at the rims of bodies late in the scene's
    // time (an observer's time of 10,000 and more).
    BoundingBox boundingBox() const override { return rtObjBounded::hitBounds(); }
    void resolveTextures(TextureCol&) override {}
    void intersect1(SingleRay& ray, float& t) const override {
        if (meetsTimes(ray)) whole->intersect1(ray, t);
    }
    void intersect1Alt(SingleRay& ray, float& t) const override {
        if (meetsTimes(ray)) whole->intersect1Alt(ray, t);
    }
    bool occluded1(const SingleRay& ray) const override {
        return meetsTimes(ray) && whole->occluded1(ray);
    }
    void shade1(SingleRay& ray, float t) const override { whole->shade1(ray, t); }
    LaneMask4 intersect4(RayBundle4& b) const override {
        return reached(b) ? whole->intersect4(b) : LaneMask4();
    }
    LaneMask4 intersect4Alt(RayBundle4& b) const override {
        return reached(b) ? whole->intersect4Alt(b) : LaneMask4();
    }
    int reserved4(int) const override { return 0; }
    void shade4(RayBundle4& b, LaneMask4 mask) const override { whole->shade4(b, mask); }
    bool intersect16(RayBundle16& b, LaneMask4 hits[4]) const override {
        return reached(b) && whole->intersect16(b, hits);
    }
    bool intersect16Alt(RayBundle16& b, LaneMask4 hits[4]) const override {
        return reached(b) && whole->intersect16Alt(b, hits);
    }
    int reserved16(int) const override { return 0; }
    void shade16(RayBundle16& b, const LaneMask4 mask[4]) const override { whole->shade16(b, mask); }
    void prepareForOrigin(const Vec4f&) override {}
    void copyFrom(const rtObjBase& other) override;
    rtObjBase* clone() const override;

    // The scene times the piece holds its body over (with room for rounding), and how the
    // times of a ray's events run with their distance (see MovingPrimitive::timeSign).
    float timeFrom() const { return timeLo; }
    float timeTo() const { return timeHi; }
    float timeSign() const { return sign; }

private:
    // The scene times the piece holds the body over, and the whole's timeSign(). A ray whose
    // events (at its origin's time w + timeSign s over its interval of s) fall outside them
    // can only miss the piece: left out before the body boosts it. Bent paths hold bodies over
    // long stretches of time, the pieces of which the spatial tree cannot tell apart.
    float timeLo = 0.0f, timeHi = 0.0f, sign = 0.0f;
    bool meetsTimes(float w, float s0, float s1) const {
        if (sign == 0.0f) return true;
        const float a = w + sign * s0, b = w + sign * s1;
        return std::fmax(a, b) >= timeLo && std::fmin(a, b) <= timeHi;
    }
    // Lane by lane: origins' times w, intervals s0..s1.
    LaneMask4 meetsTimes(const Vec4f& w, const Vec4f& s0, const Vec4f& s1) const {
        if (sign == 0.0f) return ~LaneMask4();
        const Vec4f a = w + Vec4f(sign) * s0, b = w + Vec4f(sign) * s1;
        return (max(a, b) >= Vec4f(timeLo)) & (min(a, b) <= Vec4f(timeHi));
    }
    bool meetsTimes(const SingleRay& r) const { return meetsTimes(r.origin.w, r.tMin, r.tMax); }

    // Whether some ray's interval, up to its nearest hit so far, passes through this piece's
    // box. A test that can only miss is left out before the body boosts the rays into its rest
    // frame, which costs several times more. A hit outside this piece's box lies in another
    // piece's box, whose test finds it wherever the rays' intervals hold it.
    bool reached(const RayBundle4& b) const;
    bool reached(const RayBundle16& b) const;

    const MovingPrimitive* whole = nullptr;
    int index = 0;  // which of its pieces
};

// The moving bodies of a scene placed for one way of seeing them (the snapshot, or light travel
// time), and the tree a frame traces them in.
class MovingPlacement {
public:
    MovingPlacement();
    ~MovingPlacement();
    MovingPlacement(const MovingPlacement&) = delete;
    MovingPlacement& operator=(const MovingPlacement&) = delete;

    void reset();
    // At a tree build: one more primitive of a moving body.
    void add(rtObjBase* primitive, const BodyMotion& motion);
    bool empty() const { return primitives.empty(); }
    int size() const { return int(primitives.size()); }
    // See MovingBodies::boundsAt.
    BoundingBox boundsAt(double t) const;

    // Between frames: places every body for rays from the observer's event and joins them to
    // the scene's tree when the event or the mode changed since the last frame. Three ways, the
    // fastest that suits:
    // - with light travel time the bodies sweep long slanted boxes across many cells of any
    //   tree. The rays visit them after the scene's tree, looked up by their direction from the
    //   eye (DirectionGrid), still picture or not;
    // - a snapshot's bodies, while they stay where they were (a still picture, a frozen clock and
    //   a still observer) for a quarter of a second, go into one tree with the scene's
    //   primitives: the best tree there is, built once;
    // - else a snapshot's bodies are grafted into the leaves of the scene's tree
    //   (KDTree::graft), which costs far less than a build of everything and spares the rays a
    //   second pass;
    // - bodies that would crowd the grid or the graft (boxes around or beside the eye, bodies
    //   crowding the scene's empty space) get a tree of everything when still, else by
    //   direction or a small tree of their own.
    //
    // Returns how the frame traces them: `joined`, a tree of the scene and the bodies together,
    // to trace instead of the scene's; `seen`, the bodies by direction, or `own`, their own tree,
    // to visit after it; all null when no body can be seen. joinable false (the bent light paths,
    // which trace the scene's own tree from anywhere on their way) asks for their own tree.
    // bentReach: see MovingPrimitive::prepare.
    // Bent paths with light travel time get the bodies in trees by time (`slices`), and in
    // `own` only those whose events run otherwise (the moving sphere faster than light).
    struct Trees {
        const KDTree* joined = nullptr;
        const DirectionGrid* seen = nullptr;
        const KDTree* own = nullptr;
        const TimeSlices* slices = nullptr;
    };
    Trees prepare(const Vec4f& observer, bool lightTravelTime, const KDTree& scene, bool joinable,
                  float bentReach = 0.0f);

    // Most extras a leaf of the scene's tree takes before it is built anew (on
    // bench/moving_bench, 1, 2, 3, 4, 6, 8, 16 and 64 gave 1.31, 1.31, 1.31, 1.28, 1.5, 1.53,
    // 1.64 and 1.6 times the still scene's frame), and most leaf entries per body piece on
    // average before the bodies go to a tree of their own.
    static constexpr int kGraftPerLeaf = 4;
    static constexpr int kGraftRefsPerPiece = 64;
    // Most direction cells per body piece on average before the bodies go to a tree of their
    // own.
    static constexpr int kGridRefsPerPiece = 64;
    // How long a placement must stay before the tree of everything is built for it.
    static constexpr std::chrono::milliseconds kStillFor{250};
    // Most pieces of all bodies held for bent paths (a piece and its share of the tree take
    // about 160 bytes): many bodies get fewer pieces each, down to kMaxPieces.
    static constexpr int kBentPieceBudget = 1 << 20;

    // The times bent paths with light travel time hold the bodies over, for an observer at time
    // t whose paths reach back `reach`: from t - reach to t, widened outwards to a grid of steps
    // of a 32nd to a 64th of the reach (a power of two). Frames with the same window keep the
    // placement and its trees: while the observer flies and the clock runs, a placement costs
    // 0.65 s a frame with thousands of bodies, and on the scene of every kind its window holds
    // while the clock runs 512 s on (a 64th of the reach or more). The wider window costs the
    // pieces at most a 16th more length. A scene whose moving bodies are its outermost objects
    // widens its reach as they fly out, and places them anew more often.
    struct HeldWindow {
        double until = 0.0;  // the latest time held
        float reach = 0.0f;  // back from until: no less than until - (t - reach)
    };
    static HeldWindow heldWindow(double t, float reach);
    // How often prepare() has placed the bodies anew (and built their trees again on need).
    long placements() const { return placedCount; }

private:
    // Whether the placed bodies, sorted by their direction from the observer, make a usable grid
    // (sorted on first need).
    bool byDirection(const Vec4f& observer);

    std::vector<std::unique_ptr<MovingPrimitive>> primitives;
    std::vector<MovingPrimitive*> placed;           // those the frame's rays can meet
    std::deque<MovingPiece> pool;                   // grows, never shrinks; its elements never move
    std::vector<rtObjBase*> inFrame;                 // their pieces, the trees' primitives
    std::unique_ptr<KDTree> sub;
    TimeSlices slices;
    bool slicesBuilt = false;  // slices (and sub) hold the current placement by time
    bool subEmpty = false;     // and sub holds nothing then
    std::unique_ptr<KDTree> combined;
    std::unique_ptr<KDTree> grafted;
    std::unique_ptr<DirectionGrid> grid;
    bool subBuilt = false;       // sub holds the current placement
    bool gridTried = false;      // sorting the current placement by direction was tried
    bool gridHolds = false;      // and grid holds it
    bool combinedBuilt = false;  // combined holds it
    bool graftTried = false;     // grafting the current placement was tried
    bool graftHolds = false;     // and grafted holds it

    int stableFrames = 0;        // frames prepared since the placement last changed
    int visible = 0;
    bool prepared = false;
    Vec4f lastObserver;
    bool lastMode = false;
    float lastReach = 0.0f;
    double lastUntil = 0.0;  // bent paths with light travel time: the window held (heldWindow)
    long placedCount = 0;
    std::chrono::steady_clock::time_point placedAt;  // when the placement last changed
};

// The moving bodies of a scene, placed once for each way of seeing them: in the snapshot or with
// light travel time, along straight rays or along the black hole's bent paths. Views side by side
// may show one scene in several (the switches per view), each frame from its own placement. A
// body's primitive is prepared for the rays' origin in its rest frame, which every placement
// shares: it depends only on the observer's event. A placement is made on first use (most
// sessions see in one way, and a placement's proxies take several hundred bytes a body).
class MovingBodies {
public:
    void reset() {
        bodies.clear();
        ++version;
        for (MovingPlacement& p : modes) p.reset();
    }
    // At a tree build: one more primitive of a moving body.
    void add(rtObjBase* primitive, const BodyMotion& motion) {
        bodies.push_back({primitive, motion});
        ++version;
    }
    bool empty() const { return bodies.empty(); }
    int size() const { return int(bodies.size()); }
    // A box that holds every body at scene time t (in its rest shape, a bound of the contracted
    // one).
    BoundingBox boundsAt(double t) { return placement(false, false).boundsAt(t); }

    // Bent paths have placements of their own in both ways of seeing: the moving sphere's own
    // test meets their pieces at times the straight rays from the eye never reach.
    MovingPlacement& placement(bool lightTravelTime, bool bent) {
        const int mode = (lightTravelTime ? 2 : 0) + (bent ? 1 : 0);
        MovingPlacement& p = modes[mode];
        if (madeFor[mode] != version) {
            p.reset();
            for (const Body& b : bodies) p.add(b.primitive, b.motion);
            madeFor[mode] = version;
        }
        return p;
    }

private:
    struct Body {
        rtObjBase* primitive;  // not owned
        BodyMotion motion;
    };
    std::vector<Body> bodies;
    uint64_t version = 1;  // changes with every reset() and add()
    MovingPlacement modes[4];
    uint64_t madeFor[4] = {0, 0, 0, 0};  // the version each placement holds
};

// The second pass of a ray packet: after the scene's tree, the moving bodies of their own tree
// (MovingPlacement::Trees::own) that are nearer than each ray's hit so far (tHit) shade the rays
// they meet. Returns the rays they hit. The bundle's node and tree pointers are put back.
int traceMoving16(RayBundle16& bundle, const KDTree& moving);
// The same for rays from the grid's eye, the bodies looked up by the rays' directions.
int traceMoving16(RayBundle16& bundle, const DirectionGrid& moving);
int traceMoving4(RayBundle4& bundle, const DirectionGrid& moving, const Vec4f& limit);
bool traceMoving1(SingleRay& ray, const DirectionGrid& moving, float limit);
// limit: per lane, how far the bodies are looked for (a bent path's piece ends there).
int traceMoving4(RayBundle4& bundle, const KDTree& moving, const Vec4f& limit);
// For one ray, up to limit (the scene's hit, or a bent path's piece end).
bool traceMoving1(SingleRay& ray, const KDTree& moving, float limit);
// The same over the distances from..limit only.
int traceMoving4(RayBundle4& bundle, const KDTree& moving, const Vec4f& from, const Vec4f& limit);
bool traceMoving1(SingleRay& ray, const KDTree& moving, float from, float limit);
