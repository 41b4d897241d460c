// The time stamps of the last ten frames, for the frames-per-second read-out.
#pragma once

class FrameTimes {
public:
    static constexpr int kSize = 10;

    // Records a frame's time in seconds, replacing the oldest once the ring is full.
    void record(double seconds);
    // 0 without stamps; count / (newest - first) while filling; 10 / (newest - oldest) once full.
    // A single stamp spans no time and gives infinity.
    float framesPerSecond() const;

    int count() const { return count_; }
    int index() const { return index_; }

private:
    double times_[kSize] = {};
    int index_ = -1;  // slot of the newest stamp
    int count_ = 0;   // valid stamps, at most kSize
};
