// Ring of frame time stamps.
#include "views/frametimes.h"

void FrameTimes::record(double seconds) {
    if (count_ >= kSize) {
        index_ = (index_ + 1) % kSize;
        times_[index_] = seconds;
    } else {
        ++index_;
        times_[index_] = seconds;
        ++count_;
    }
}

float FrameTimes::framesPerSecond() const {
    if (count_ == 0) return 0.0f;
    if (count_ < kSize) return static_cast<float>(count_ / (times_[index_] - times_[0]));
    return static_cast<float>(10.0 / (times_[index_] - times_[(index_ + 1) % kSize]));
}
