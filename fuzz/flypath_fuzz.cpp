// Fuzz target: fly-path files. Whatever parses is written again and must read back bit for bit;
// a refusal must say why and leave the points as they were.
#include <cstring>
#include <vector>

#include "engine/flypathfile.h"
#include "fuzz/fuzzsupport.h"

namespace {
bool sameBits(const FlyPathPoint& a, const FlyPathPoint& b) {
    return std::memcmp(&a.frame, &b.frame, sizeof a.frame) == 0 &&
           std::memcmp(&a.time, &b.time, sizeof a.time) == 0 &&
           std::memcmp(&a.speed, &b.speed, sizeof a.speed) == 0;
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::quietProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    std::vector<FlyPathPoint> points(1);
    points[0].time = 42.0;
    QString error;
    if (!FlyPathFile::parse(text, points, error)) {
        if (error.isEmpty()) __builtin_trap();
        if (points.size() != 1 || points[0].time != 42.0) __builtin_trap();  // untouched
        return 0;
    }
    std::vector<FlyPathPoint> again;
    QString againError;
    if (!FlyPathFile::parse(FlyPathFile::format(points), again, againError)) __builtin_trap();
    if (again.size() != points.size()) __builtin_trap();
    for (size_t i = 0; i < points.size(); ++i)
        if (!sameBits(points[i], again[i])) __builtin_trap();
    return 0;
}
