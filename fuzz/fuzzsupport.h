// What every fuzz target shares: a quiet process (no trace lines) and the worker threads'
// rounding mode, set once before the first input.
#pragma once

#include <xmmintrin.h>

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>

#include "geometry/traceoutput.h"

namespace fuzz {

inline void quietProcess() {
    TraceOutput::setEnabled(false);
    // The render workers round toward minus infinity for their whole life.
    _mm_setcsr((_mm_getcsr() & ~_MM_ROUND_MASK) | _MM_ROUND_DOWN);
}

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
