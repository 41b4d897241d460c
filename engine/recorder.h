// The fly-path recorder: the observer's frames and speeds stored over time while recording,
// and the recording interpolated at any film time for playback. GUI thread only.
#pragma once

#include <QObject>
#include <memory>
#include <vector>

#include "engine/flypathpoint.h"

class Recorder : public QObject {
    Q_OBJECT

public:
    enum Mode { Stopped = 0, Recording = 1, Playing = 2 };

    explicit Recorder(QObject* parent = nullptr);
    ~Recorder() override;

    // Start playing (mode 2) or recording (mode 1) so that film position pos lies at the given
    // clock reading: startTime = clockMs / 1000 - pos. The points are not touched.
    void play(int clockMs, double pos);
    void record(int clockMs, double pos);
    void stop();

    // Deletes all points; the mode stays as it is.
    void clear();

    // Last minus first stored time; 0 without points.
    double duration() const;
    // The film position passed to the last play or record.
    double position() const { return position_; }
    // Clock reading in seconds at which film time 0 lies.
    double startTime() const { return startTime_; }
    int mode() const { return mode_; }

    // Whether the clock reading lies before the end of the recording (false without points).
    bool isWithin(int clockMs) const;

    // Appends a point whose time holds the clock reading in seconds; it is stored at its film
    // time (clock time - startTime). Recording over an earlier part of the film replaces the
    // rest: every stored point later than the new film time is dropped, the first later one
    // included, so that stored times always stay ascending (stateAt relies on that).
    void addPoint(const FlyPathPoint& point);

    // The recording at time t (film time if absolute, else a clock reading in seconds),
    // linearly interpolated between the neighbouring points (frame, speed, observer's time); before the first point the first,
    // after the last the last; of several points stored at exactly t, the last one. Needs at
    // least one point. The result's time is not set.
    FlyPathPoint stateAt(double t, bool absolute) const;

    // Keeps the first point later than film time t and everything before it.
    void deleteToEnd(double t);
    // Drops the points up to the first point later than film time t, moves that point to film
    // time 0 and shifts startTime by the removed span, so that the current film position keeps
    // pointing at the same recorded state.
    void deleteToStart(double t);

    int pointCount() const { return static_cast<int>(points_.size()); }
    const FlyPathPoint& point(int index) const;

    // Replaces the recording by points already in film time (a loaded fly path). Returns false
    // and changes nothing when a time (film or observer's) is not finite or the film times are
    // not ascending.
    bool setPoints(const std::vector<FlyPathPoint>& points);

signals:
    void recorderContentChanged();

private:
    // First stored point whose time is greater than t (end() if none).
    std::vector<std::unique_ptr<FlyPathPoint>>::iterator firstLaterThan(double t);

    std::vector<std::unique_ptr<FlyPathPoint>> points_;
    double startTime_ = 0.0;
    double position_ = 0.0;
    int mode_ = Stopped;
};
