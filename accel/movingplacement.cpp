// The moving bodies of a scene placed for one way of seeing them, and the trees a frame traces
// them in: joined to the scene's, by direction from the eye, their own, or by time.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>

#include "accel/kdtree.h"
#include "accel/movingbodies.h"

MovingPlacement::MovingPlacement() = default;
MovingPlacement::~MovingPlacement() = default;

void MovingPlacement::reset() {
    primitives.clear();
    placed.clear();
    inFrame.clear();
    if (sub) sub->reset();
    slices.build({}, TimeSlices::kSlices);
    combined.reset();
    grafted.reset();
    subBuilt = slicesBuilt = combinedBuilt = graftTried = graftHolds = false;
    visible = 0;
    prepared = false;
}

void MovingPlacement::add(rtObjBase* primitive, const BodyMotion& motion) {
    primitives.push_back(std::make_unique<MovingPrimitive>(primitive, motion));
    prepared = false;
}

BoundingBox MovingPlacement::boundsAt(double t) const {
    BoundingBox b = BoundingBox::emptyScene();
    bool first = true;
    for (const auto& p : primitives) {
        const BoundingBox q = p->restBoxAt(t);
        if (!hasFiniteExtent(q)) continue;
        if (first)
            b = q;
        else
            b.unite(q);
        first = false;
    }
    return b;
}

MovingPlacement::Trees MovingPlacement::prepare(const Vec4f& observer, bool lightTravelTime,
                                                const KDTree& scene, bool joinable,
                                                float bentReach) {
    Trees trees;
    if (primitives.empty()) {
        visible = 0;
        return trees;
    }
    // Bent paths with light travel time hold the bodies over a window of time that depends on
    // the observer's event only through its time; straight rays and snapshots see them from
    // the event itself.
    const bool windowed = lightTravelTime && bentReach > 0.0f && std::isfinite(bentReach) &&
                          std::isfinite(observer.w);
    double until = MovingPrimitive::kObserversTime;
    if (windowed) {
        const HeldWindow held = heldWindow(observer.w, bentReach);
        until = held.until;
        bentReach = held.reach;
    }
    const bool sameEvent = observer.x == lastObserver.x && observer.y == lastObserver.y &&
                           observer.z == lastObserver.z && observer.w == lastObserver.w;
    const bool same = prepared && lightTravelTime == lastMode && bentReach == lastReach &&
                      (windowed ? until == lastUntil : sameEvent);
    if (same) {
        // Another placement may have prepared the bodies since (for the same rest-frame origin,
        // unless the observer's event differs there): prepare them for this frame's.
        for (MovingPrimitive* p : placed) p->moveObserver(observer);
        lastObserver = observer;
        ++stableFrames;
    } else {
        placed.clear();
        inFrame.clear();
        const int bentPieces =
            std::clamp(kBentPieceBudget / int(primitives.size()), MovingPrimitive::kMaxPieces,
                       MovingPrimitive::kMaxBentPieces);
        for (const auto& p : primitives) {
            if (!p->prepare(observer, lightTravelTime, bentReach, bentPieces, until)) continue;
            placed.push_back(p.get());
            for (int i = 0; i < p->pieceCount(); ++i) {
                if (inFrame.size() == pool.size()) pool.emplace_back();
                MovingPiece* piece = &pool[inFrame.size()];
                piece->place(p.get(), i);
                inFrame.push_back(piece);
            }
        }
        visible = int(inFrame.size());
        subBuilt = slicesBuilt = combinedBuilt = graftTried = graftHolds = gridTried = gridHolds =
            false;
        stableFrames = 0;
        prepared = true;
        lastMode = lightTravelTime;
        lastReach = bentReach;
        lastUntil = until;
        lastObserver = observer;
        ++placedCount;
        placedAt = std::chrono::steady_clock::now();
    }
    if (visible == 0) return trees;
    // Trees are made on first need. A placement that has stood still gets a tree of everything
    // in both ways of seeing: with light travel time too, since a piece's missed test is
    // cheap (on bench/moving_bench 1.5x the still scene's frame, against 1.85x with a second
    // pass; before the pieces' box test, 2.3x against 2.0x).
    // Views side by side prepare one placement several times a frame: stable means still for a
    // while, not prepared twice.
    if (joinable) {
        // With light travel time even a still picture's bodies are best looked up by direction
        // (on bench/moving_bench 97 ms a frame, against 131 with the tree of everything): their
        // sweeps cross many of its cells. A snapshot's bodies sit in few, and are best joined.
        if (lightTravelTime && byDirection(observer)) {
            trees.seen = grid.get();
            return trees;
        }
        if (stableFrames > 0 && std::chrono::steady_clock::now() - placedAt >= kStillFor) {
            if (!combinedBuilt) {
                std::vector<rtObjBase*> all = scene.staticPrimitives();
                all.insert(all.end(), inFrame.begin(), inFrame.end());
                if (!combined) combined = std::make_unique<KDTree>();
                combined->reset();
                combined->buildFromPrimitives(std::move(all));
                combinedBuilt = true;
            }
            trees.joined = combined.get();
            return trees;
        }
        // Grafting only snapshots: the sweeps seen with light travel time cross many leaves,
        // and grafted they cost what their own tree does (143 against 144 ms a frame).
        if (!graftTried && !lightTravelTime) {
            if (!grafted) grafted = std::make_unique<KDTree>();
            graftHolds = grafted->graft(scene, inFrame, kGraftPerLeaf, kGraftRefsPerPiece);
            graftTried = true;
        }
        if (graftHolds) {
            trees.joined = grafted.get();
            return trees;
        }
        if (byDirection(observer)) {
            trees.seen = grid.get();
            return trees;
        }
    }
    if (!joinable && lightTravelTime && bentReach > 0.0f) {
        if (!slicesBuilt) {
            std::vector<MovingPiece*> timed;
            std::vector<rtObjBase*> rest;
            for (rtObjBase* o : inFrame) {
                MovingPiece* piece = static_cast<MovingPiece*>(o);
                if (piece->timeSign() < 0.0f)
                    timed.push_back(piece);
                else
                    rest.push_back(o);
            }
            slices.build(timed, TimeSlices::kSlices);
            if (!sub) sub = std::make_unique<KDTree>();
            sub->reset();
            subEmpty = rest.empty();
            if (!subEmpty) sub->buildFromPrimitives(std::move(rest));
            slicesBuilt = subBuilt = true;
        }
        trees.slices = slices.empty() ? nullptr : &slices;
        trees.own = subEmpty ? nullptr : sub.get();
        return trees;
    }
    if (!subBuilt) {
        if (!sub) sub = std::make_unique<KDTree>();
        sub->reset();
        sub->buildFromPrimitives(inFrame);
        subBuilt = true;
    }
    trees.own = sub.get();
    return trees;
}

MovingPlacement::HeldWindow MovingPlacement::heldWindow(double t, float reach) {
    int exponent = 0;
    std::frexp(double(reach) / 32.0, &exponent);  // reach / 32 = m 2^exponent, 0.5 <= m < 1
    const double step = std::ldexp(1.0, exponent - 1);
    // A whole number of steps, one more than the reach: the window's two ends move together, and
    // it still reaches back past t - reach for every t up to until.
    HeldWindow held;
    held.until = std::ceil(t / step) * step;
    held.reach = float((std::ceil(double(reach) / step) + 1.0) * step);
    return held;
}

bool MovingPlacement::byDirection(const Vec4f& observer) {
    if (!gridTried) {
        if (!grid) grid = std::make_unique<DirectionGrid>();
        gridHolds = grid->build(observer, inFrame, kGridRefsPerPiece);
        gridTried = true;
    }
    return gridHolds;
}
