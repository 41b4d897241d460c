// Fly-path recording, cutting and playback by linear interpolation of the stored frames.
#include "engine/recorder.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "base/programmingerror.h"

Recorder::Recorder(QObject* parent) : QObject(parent) {}

Recorder::~Recorder() = default;

void Recorder::play(int clockMs, double pos) {
    position_ = pos;
    mode_ = Playing;
    startTime_ = clockMs / 1000.0 - pos;
}

void Recorder::record(int clockMs, double pos) {
    position_ = pos;
    mode_ = Recording;
    startTime_ = clockMs / 1000.0 - pos;
}

void Recorder::stop() { mode_ = Stopped; }

void Recorder::clear() {
    points_.clear();
    emit recorderContentChanged();
}

double Recorder::duration() const {
    if (points_.empty()) return 0.0;
    return points_.back()->time - points_.front()->time;
}

bool Recorder::isWithin(int clockMs) const {
    if (points_.empty()) return false;
    return clockMs / 1000.0 - startTime_ < duration();
}

std::vector<std::unique_ptr<FlyPathPoint>>::iterator Recorder::firstLaterThan(double t) {
    return std::find_if(points_.begin(), points_.end(),
                        [t](const std::unique_ptr<FlyPathPoint>& p) { return p->time > t; });
}

void Recorder::addPoint(const FlyPathPoint& point) {
    const double filmTime = point.time - startTime_;
    // Recording over an earlier part of the film: the rest of the old recording goes.
    if (!points_.empty() && points_.back()->time > filmTime)
        points_.erase(firstLaterThan(filmTime), points_.end());

    auto stored = std::make_unique<FlyPathPoint>(point);
    stored->time = point.time - startTime_;
    points_.push_back(std::move(stored));
    emit recorderContentChanged();
}

FlyPathPoint Recorder::stateAt(double t, bool absolute) const {
    if (points_.empty()) programmingError("Recorder::stateAt called without points");
    if (!absolute) t -= startTime_;
    if (t < 0.0) t = 0.0;

    auto it = std::find_if(points_.begin(), points_.end(),
                           [t](const std::unique_ptr<FlyPathPoint>& p) { return p->time >= t; });
    if (it == points_.end()) return *points_.back();
    // Points sharing exactly the requested time (a recording resumed at a stored time): the
    // latest of them holds.
    if ((*it)->time == t)
        while (it + 1 != points_.end() && (*(it + 1))->time == t) ++it;
    if (it == points_.begin()) return **it;
    const FlyPathPoint& after = **it;
    const FlyPathPoint& before = **(it - 1);
    if (before.time == after.time) return after;

    // Linear interpolation with single-precision weights, as the renderer's frame is float.
    float dt = static_cast<float>(after.time - before.time);
    float wBefore = static_cast<float>((after.time - t) / dt);
    float wAfter = static_cast<float>((t - before.time) / dt);
    if (!(dt > 0.0f) || !std::isfinite(dt)) {
        // Times of a hand-written file whose distance is no float (below 1e-45 s or beyond
        // 3e38 s): the weights from halved times in double, which neither vanish nor overflow.
        const double f = (t * 0.5 - before.time * 0.5) / (after.time * 0.5 - before.time * 0.5);
        wAfter = static_cast<float>(f);
        wBefore = static_cast<float>(1.0 - f);
    }
    // Rounded weights may add up to a little more than 1; the state still lies between the two
    // points, so that two speeds below light speed never give light speed.
    const auto between = [](float v, float a, float b) {
        return std::min(std::max(v, std::min(a, b)), std::max(a, b));
    };
    FlyPathPoint result;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            result.frame.m[r][c] =
                between(wBefore * before.frame.m[r][c] + wAfter * after.frame.m[r][c],
                        before.frame.m[r][c], after.frame.m[r][c]);
    result.speed = between(static_cast<float>(static_cast<double>(wBefore) * before.speed +
                                              static_cast<double>(wAfter) * after.speed),
                           before.speed, after.speed);
    // The observer's time in double precision (it grows without bound, unlike the frame), from
    // the fraction of the way in halved times, which neither vanish nor overflow.
    const double f = std::min(
        1.0, std::max(0.0, (t * 0.5 - before.time * 0.5) / (after.time * 0.5 - before.time * 0.5)));
    const double lo = std::min(before.observerTime, after.observerTime);
    const double hi = std::max(before.observerTime, after.observerTime);
    result.observerTime =
        std::min(hi, std::max(lo, before.observerTime * (1.0 - f) + after.observerTime * f));
    return result;
}

void Recorder::deleteToEnd(double t) {
    const auto it = firstLaterThan(t);
    if (it != points_.end()) points_.erase(it + 1, points_.end());
    emit recorderContentChanged();
}

void Recorder::deleteToStart(double t) {
    if (!points_.empty()) {
        const double oldDuration = duration();
        const auto it = firstLaterThan(t);
        if (it != points_.end()) {
            points_.erase(points_.begin(), it);
            // The first remaining point becomes film time 0.
            const double firstTime = points_.front()->time;
            for (auto p = points_.rbegin(); p != points_.rend(); ++p) (*p)->time -= firstTime;
            startTime_ += oldDuration - duration();
        }
    }
    emit recorderContentChanged();
}

const FlyPathPoint& Recorder::point(int index) const {
    if (index < 0 || index >= pointCount())
        programmingError("Recorder::point: index " + std::to_string(index) + " out of range");
    return *points_[static_cast<size_t>(index)];
}

bool Recorder::setPoints(const std::vector<FlyPathPoint>& points) {
    for (size_t i = 0; i < points.size(); ++i) {
        if (!std::isfinite(points[i].time) || !std::isfinite(points[i].observerTime)) return false;
        if (i > 0 && points[i].time < points[i - 1].time) return false;
    }
    std::vector<std::unique_ptr<FlyPathPoint>> fresh;
    fresh.reserve(points.size());
    for (const FlyPathPoint& p : points) fresh.push_back(std::make_unique<FlyPathPoint>(p));
    points_.swap(fresh);
    emit recorderContentChanged();
    return true;
}
