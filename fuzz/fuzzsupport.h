// What every fuzz target shares: a quiet process (no trace lines), the worker threads' rounding
// mode for the parts that run on workers, and byte helpers.
#pragma once

#include <xmmintrin.h>

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>

#include "base/traceoutput.h"

namespace fuzz {

inline void quietProcess() { TraceOutput::setEnabled(false); }

// Rounds toward minus infinity while alive, as the render workers do for their whole life (the
// document and the readers run on the GUI thread with the default rounding).
class WorkerRounding {
public:
    WorkerRounding() : saved(_mm_getcsr()) {
        _mm_setcsr((saved & ~_MM_ROUND_MASK) | _MM_ROUND_DOWN);
    }
    ~WorkerRounding() { _mm_setcsr(saved); }
    WorkerRounding(const WorkerRounding&) = delete;
    WorkerRounding& operator=(const WorkerRounding&) = delete;

private:
    const unsigned saved;
};

// The input as text the way the readers get it: UTF-8 decoded, invalid bytes replaced.
inline QString text(const uint8_t* data, size_t size) {
    return QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
}

// Pulls bytes from the front of an input; zero once it is used up.
class Bytes {
public:
    Bytes(const uint8_t* data, size_t size) : data(data), size(size) {}
    uint8_t next() { return pos < size ? data[pos++] : 0; }
    float nextFloat() {
        uint32_t bits = 0;
        for (int i = 0; i < 4; ++i) bits = bits << 8 | next();
        float f;
        static_assert(sizeof f == sizeof bits);
        __builtin_memcpy(&f, &bits, sizeof f);
        return f;
    }
    const uint8_t* rest() const { return data + pos; }
    size_t restSize() const { return size - pos; }

private:
    const uint8_t* data;
    size_t size;
    size_t pos = 0;
};

}  // namespace fuzz
