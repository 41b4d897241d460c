// The moving bodies that bent paths meet with light travel time, in trees by scene time.
//
// A bent path's bodies are held over every time the light of the frame can have left them: a
// body crossing the scene in that time is cut into up to a hundred pieces, whose boxes lie one
// after the other along its way. One tree over all pieces hands a path's piece every piece that
// lies where it passes, at whatever time, and most of them the light passed at another time.
// Here each tree holds the pieces of one slice of the scene's time; a ray's events along its
// interval happen at times of a short span (its origin's time less its distance), and it visits
// only the trees of that span, latest first: nearest first along the ray.
#pragma once

#include <memory>
#include <vector>

#include "geometry/boundingbox.h"
#include "geometry/raybundle.h"

class KDTree;
class MovingPiece;

class TimeSlices {
public:
    TimeSlices();
    ~TimeSlices();
    TimeSlices(const TimeSlices&) = delete;
    TimeSlices& operator=(const TimeSlices&) = delete;

    // Between frames: the pieces into count slices of the scene times they hold their bodies
    // over. Every piece must count its events at w - s (light travel time). A piece that
    // reaches into several slices goes into each.
    void build(const std::vector<MovingPiece*>& pieces, int count);
    bool empty() const { return trees.empty(); }
    // The box of every piece.
    const BoundingBox& sceneBox() const { return box; }

    // As traceMoving1 and traceMoving4 over the trees of the times a ray's events can have up
    // to limit (per lane): the nearest hit of all, whose distance is left in ray.tMax (tHit).
    bool trace1(SingleRay& ray, float limit) const;
    int trace4(RayBundle4& bundle, Vec4f limit) const;

    // How many slices: more cost a tree each, and pieces that reach into two slices go into
    // both. On a scene of every kind (6,000 moving bodies under a black hole, 480x270, one
    // thread) 8, 16, 32 and 64 slices gave 1,679, 1,630, 1,521 and 1,468 ms a frame; 64 took
    // 225 MB at 960x540 against 190 MB with 32.
    static constexpr int kSlices = 32;
    // The slices are short at the latest time and grow back from it: slice j of n (the latest
    // first) begins (e^(g (j + 1) / n) - 1) / (e^g - 1) of the span back from the latest time.
    // Most rays meet their bodies a short way back in time, while the span holds every time
    // light can have taken round the hole: equal slices put nearly every ray's events into the
    // latest one. With g = 5 (and the bodies' pieces grown as well) a frame of the scene of
    // every kind took 0.45 to 0.6 of the time of equal slices, at rest and at 0.9c, in 30 MB
    // less; 4, 6 and 8 were close to 5, 10 slower; 16, 48 and 64 slices were no faster than 32.
    static constexpr double kGrowth = 5.0;

private:
    // The slices holding the scene times lo..hi, as first..last (none: first > last).
    void slicesOf(float lo, float hi, int& first, int& last) const;
    void window(int k, const Vec4f& w, Vec4f& near, Vec4f& far) const;

    std::vector<std::unique_ptr<KDTree>> trees;  // by time, earliest first; null: no piece
    std::vector<float> bounds;  // the slices' times: slice k holds bounds[k] .. bounds[k + 1]
    BoundingBox box;
};
