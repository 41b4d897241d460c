// The renderer's only SIMD vocabulary: a 4-wide float vector, a 4-lane mask and four integer
// lanes on SSE registers, and the floating-point control word the workers render under. Hot code
// reads like the math (a * b + c, select(mask, a, b)); intrinsics stay in this header.
#pragma once

#include <immintrin.h>

#include <cmath>
#include <cstdint>

// Hot kernels are compiled twice: for the x86-64-v2 baseline and for processors with AVX2, where
// the same operations get the three-operand VEX encoding (fewer register copies). No FMA is
// enabled, so both give the same results bit for bit; the loader picks one at start. Not with
// ThreadSanitizer, whose instrumented resolvers would run before its runtime is set up, nor
// when the build turns it off (TAVOLIN_KERNEL_CLONES=OFF, to run the baseline everywhere).
#if defined(__GNUC__) && !defined(__clang__) && !defined(__AVX2__) && \
    !defined(__SANITIZE_THREAD__) && !defined(TAVOLIN_NO_KERNEL_CLONES)
#define TAVOLIN_HOT_KERNEL __attribute__((target_clones("avx2", "default")))
#else
#define TAVOLIN_HOT_KERNEL
#endif

// Four floats in one SSE register. As a point it is a space-time position (x, y, z in scene units,
// w the time); as a direction x, y, z are used; in a structure-of-arrays group it holds one
// component of four rays, lane 0 in x.
struct alignas(16) Vec4f {
    union {
        __m128 m;
        struct {
            float x, y, z, w;
        };
        float v[4];
    };

    Vec4f() : m(_mm_setzero_ps()) {}
    Vec4f(__m128 r) : m(r) {}
    Vec4f(float x_, float y_, float z_, float w_) : m(_mm_setr_ps(x_, y_, z_, w_)) {}
    explicit Vec4f(float s) : m(_mm_set1_ps(s)) {}

    static Vec4f load(const float* p) { return _mm_load_ps(p); }
    static Vec4f loadUnaligned(const float* p) { return _mm_loadu_ps(p); }
    void store(float* p) const { _mm_store_ps(p, m); }

    float& operator[](int i) { return v[i]; }
    float operator[](int i) const { return v[i]; }
    operator __m128() const { return m; }
};

static_assert(sizeof(Vec4f) == 16 && alignof(Vec4f) == 16, "Vec4f is one SSE register");

// Four 32-bit lanes, all bits set (true) or clear (false), as produced by a 4-wide comparison.
// bits() takes the sign bit of each lane: lane l gives bit l.
struct alignas(16) LaneMask4 {
    __m128 m;

    LaneMask4() : m(_mm_setzero_ps()) {}
    LaneMask4(__m128 r) : m(r) {}
    explicit LaneMask4(bool b) : m(b ? _mm_castsi128_ps(_mm_set1_epi32(-1)) : _mm_setzero_ps()) {}
    static LaneMask4 fromBits(int bits) {
        const __m128i lanes = _mm_setr_epi32(1, 2, 4, 8);
        const __m128i b = _mm_set1_epi32(bits);
        return _mm_castsi128_ps(_mm_cmpeq_epi32(_mm_and_si128(b, lanes), lanes));
    }

    int bits() const { return _mm_movemask_ps(m); }
    bool lane(int l) const { return (bits() >> l) & 1; }
    operator __m128() const { return m; }
};

static_assert(sizeof(LaneMask4) == 16 && alignof(LaneMask4) == 16, "LaneMask4 is one SSE register");

// ---- arithmetic
inline Vec4f operator+(Vec4f a, Vec4f b) { return _mm_add_ps(a, b); }
inline Vec4f operator-(Vec4f a, Vec4f b) { return _mm_sub_ps(a, b); }
inline Vec4f operator*(Vec4f a, Vec4f b) { return _mm_mul_ps(a, b); }
inline Vec4f operator/(Vec4f a, Vec4f b) { return _mm_div_ps(a, b); }
inline Vec4f operator-(Vec4f a) { return _mm_xor_ps(a, _mm_set1_ps(-0.0f)); }
inline Vec4f operator*(Vec4f a, float s) { return _mm_mul_ps(a, _mm_set1_ps(s)); }
inline Vec4f operator*(float s, Vec4f a) { return _mm_mul_ps(_mm_set1_ps(s), a); }
inline Vec4f operator/(Vec4f a, float s) { return _mm_div_ps(a, _mm_set1_ps(s)); }
inline Vec4f operator+(Vec4f a, float s) { return _mm_add_ps(a, _mm_set1_ps(s)); }
inline Vec4f operator-(Vec4f a, float s) { return _mm_sub_ps(a, _mm_set1_ps(s)); }
inline Vec4f& operator+=(Vec4f& a, Vec4f b) { return a = a + b; }
inline Vec4f& operator-=(Vec4f& a, Vec4f b) { return a = a - b; }
inline Vec4f& operator*=(Vec4f& a, Vec4f b) { return a = a * b; }
inline Vec4f& operator*=(Vec4f& a, float s) { return a = a * s; }

inline Vec4f min(Vec4f a, Vec4f b) { return _mm_min_ps(a, b); }
inline Vec4f max(Vec4f a, Vec4f b) { return _mm_max_ps(a, b); }
inline Vec4f sqrt(Vec4f a) { return _mm_sqrt_ps(a); }
inline Vec4f abs(Vec4f a) { return _mm_andnot_ps(_mm_set1_ps(-0.0f), a); }
// Fused multiply-add where the processor has it; the x86-64-v2 baseline has none, so this is
// a separate multiply and add there and pictures do not depend on the build machine.
inline Vec4f madd(Vec4f a, Vec4f b, Vec4f c) { return a * b + c; }

// Scalar minimum and maximum in one SSE instruction (std::fmin and std::fmax are library calls):
// a < b ? a : b and a > b ? a : b, so a NaN operand gives b. For values known to be numbers.
inline float minScalar(float a, float b) {
    return _mm_cvtss_f32(_mm_min_ss(_mm_set_ss(a), _mm_set_ss(b)));
}
inline float maxScalar(float a, float b) {
    return _mm_cvtss_f32(_mm_max_ss(_mm_set_ss(a), _mm_set_ss(b)));
}

// The smallest and the largest lane (minScalar / maxScalar order between the halves).
inline float laneMin(Vec4f v) {
    v = min(v, Vec4f(_mm_movehl_ps(v, v)));
    return minScalar(v.x, v.y);
}
inline float laneMax(Vec4f v) {
    v = max(v, Vec4f(_mm_movehl_ps(v, v)));
    return maxScalar(v.x, v.y);
}

// ---- comparisons give masks
inline LaneMask4 operator<(Vec4f a, Vec4f b) { return _mm_cmplt_ps(a, b); }
inline LaneMask4 operator<=(Vec4f a, Vec4f b) { return _mm_cmple_ps(a, b); }
inline LaneMask4 operator>(Vec4f a, Vec4f b) { return _mm_cmpgt_ps(a, b); }
inline LaneMask4 operator>=(Vec4f a, Vec4f b) { return _mm_cmpge_ps(a, b); }
inline LaneMask4 operator==(Vec4f a, Vec4f b) { return _mm_cmpeq_ps(a, b); }
inline LaneMask4 operator!=(Vec4f a, Vec4f b) { return _mm_cmpneq_ps(a, b); }
inline LaneMask4 isNan(Vec4f a) { return _mm_cmpunord_ps(a, a); }

// ---- mask logic
inline LaneMask4 operator&(LaneMask4 a, LaneMask4 b) { return _mm_and_ps(a, b); }
inline LaneMask4 operator|(LaneMask4 a, LaneMask4 b) { return _mm_or_ps(a, b); }
inline LaneMask4 operator^(LaneMask4 a, LaneMask4 b) { return _mm_xor_ps(a, b); }
inline LaneMask4 operator~(LaneMask4 a) {
    return _mm_xor_ps(a, _mm_castsi128_ps(_mm_set1_epi32(-1)));
}
inline LaneMask4& operator&=(LaneMask4& a, LaneMask4 b) { return a = a & b; }
inline LaneMask4& operator|=(LaneMask4& a, LaneMask4 b) { return a = a | b; }
// a and not b
inline LaneMask4 andNot(LaneMask4 a, LaneMask4 b) { return _mm_andnot_ps(b, a); }

inline int movemask(LaneMask4 a) { return _mm_movemask_ps(a); }
inline bool any(LaneMask4 a) { return _mm_movemask_ps(a) != 0; }
inline bool all(LaneMask4 a) { return _mm_movemask_ps(a) == 0xf; }
inline bool none(LaneMask4 a) { return _mm_movemask_ps(a) == 0; }

// Lanes of a where the mask is set, of b elsewhere.
inline Vec4f select(LaneMask4 mask, Vec4f a, Vec4f b) { return _mm_blendv_ps(b, a, mask); }

// The arc cosine of each lane in [-1, 1] (NaN outside), within 1.3 ulp of the exact value over
// every float of the range (the C library's acosf: 0.9 ulp), for the price of about one library
// call for all four lanes. asin on [-0.5, 0.5] by the Cephes polynomial, taken of x itself or,
// where |x| > 0.5, of sqrt((1 - |x|) / 2), by acos x = pi/2 - asin x = 2 asin sqrt((1 - x) / 2).
inline Vec4f acos(Vec4f x) {
    const Vec4f ax = abs(x);
    const LaneMask4 outer = ax > Vec4f(0.5f);
    const Vec4f z2 = select(outer, (Vec4f(1.0f) - ax) * Vec4f(0.5f), x * x);
    const Vec4f z = select(outer, sqrt(z2), x);
    Vec4f p = Vec4f(4.2163199048e-2f) * z2 + Vec4f(2.4181311049e-2f);
    p = p * z2 + Vec4f(4.5470025998e-2f);
    p = p * z2 + Vec4f(7.4953002686e-2f);
    p = p * z2 + Vec4f(1.6666752422e-1f);
    const Vec4f asinz = p * z2 * z + z;
    const Vec4f twice = asinz + asinz;
    const Vec4f outside = select(x < Vec4f(0.0f), Vec4f(3.14159265358979f) - twice, twice);
    return select(outer, outside, Vec4f(1.57079632679490f) - asinz);
}

// The four lanes as the rows of a 4x4 matrix, transposed in place: afterwards a holds lane 0 of
// a, b, c, d (as they were), b lane 1, and so on. Turns four per-item records into lane rows.
inline void transpose(Vec4f& a, Vec4f& b, Vec4f& c, Vec4f& d) {
    _MM_TRANSPOSE4_PS(a.m, b.m, c.m, d.m);
}

// ---- four lanes in double precision (two SSE registers), for the few steps that must compute
// in double and round to float once

struct Vec4d {
    __m128d low, high;  // lanes 0 and 1, lanes 2 and 3

    explicit Vec4d(double s) : low(_mm_set1_pd(s)), high(low) {}
    explicit Vec4d(Vec4f v) : low(_mm_cvtps_pd(v)), high(_mm_cvtps_pd(_mm_movehl_ps(v, v))) {}
    Vec4d(__m128d l, __m128d h) : low(l), high(h) {}
    // Each lane rounded to float under the current rounding mode.
    Vec4f toFloat() const { return _mm_movelh_ps(_mm_cvtpd_ps(low), _mm_cvtpd_ps(high)); }
};

inline Vec4d operator+(Vec4d a, Vec4d b) {
    return {_mm_add_pd(a.low, b.low), _mm_add_pd(a.high, b.high)};
}
inline Vec4d operator-(Vec4d a, Vec4d b) {
    return {_mm_sub_pd(a.low, b.low), _mm_sub_pd(a.high, b.high)};
}
inline Vec4d operator*(Vec4d a, Vec4d b) {
    return {_mm_mul_pd(a.low, b.low), _mm_mul_pd(a.high, b.high)};
}

// ---- four 32-bit integer lanes: indices, pixel channels, bit patterns of floats

struct alignas(16) Vec4i {
    __m128i m;

    Vec4i() : m(_mm_setzero_si128()) {}
    Vec4i(__m128i r) : m(r) {}
    explicit Vec4i(int32_t s) : m(_mm_set1_epi32(s)) {}

    // Each lane truncated toward zero; out of range or NaN gives INT32_MIN (the SSE rule).
    static Vec4i truncate(Vec4f v) { return _mm_cvttps_epi32(v); }
    // The lanes' bit patterns, unchanged.
    static Vec4i bitsOf(Vec4f v) { return _mm_castps_si128(v); }
    void store(int32_t* p) const { _mm_store_si128(reinterpret_cast<__m128i*>(p), m); }
    void store(uint32_t* p) const { _mm_store_si128(reinterpret_cast<__m128i*>(p), m); }
    operator __m128i() const { return m; }
};

static_assert(sizeof(Vec4i) == 16 && alignof(Vec4i) == 16, "Vec4i is one SSE register");

inline Vec4f toFloat(Vec4i a) { return _mm_cvtepi32_ps(a); }
// Lanes of a where the mask is set, of b elsewhere.
inline Vec4i select(LaneMask4 mask, Vec4i a, Vec4i b) {
    return _mm_castps_si128(_mm_blendv_ps(_mm_castsi128_ps(b), _mm_castsi128_ps(a), mask));
}
// Wrapping 32-bit arithmetic, as the hardware does it.
inline Vec4i operator+(Vec4i a, Vec4i b) { return _mm_add_epi32(a, b); }
inline Vec4i operator-(Vec4i a, Vec4i b) { return _mm_sub_epi32(a, b); }
inline Vec4i operator*(Vec4i a, Vec4i b) { return _mm_mullo_epi32(a, b); }
inline Vec4i operator&(Vec4i a, Vec4i b) { return _mm_and_si128(a, b); }
inline Vec4i operator|(Vec4i a, Vec4i b) { return _mm_or_si128(a, b); }
inline Vec4i operator<<(Vec4i a, int bits) { return _mm_slli_epi32(a, bits); }
// Logical shift: zeros come in from the top.
inline Vec4i operator>>(Vec4i a, int bits) { return _mm_srli_epi32(a, bits); }
// Signed comparisons.
inline LaneMask4 operator==(Vec4i a, Vec4i b) { return _mm_castsi128_ps(_mm_cmpeq_epi32(a, b)); }
inline LaneMask4 operator<(Vec4i a, Vec4i b) { return _mm_castsi128_ps(_mm_cmplt_epi32(a, b)); }
inline LaneMask4 operator>(Vec4i a, Vec4i b) { return _mm_castsi128_ps(_mm_cmpgt_epi32(a, b)); }

// One float truncated toward zero by the same rule as Vec4i::truncate (a C++ cast of an out of
// range value is undefined).
inline int32_t truncateScalar(float v) { return _mm_cvtt_ss2si(_mm_set_ss(v)); }

// ---- the floating-point control word (MXCSR) of the calling thread

inline uint32_t fpControl() { return _mm_getcsr(); }
inline void setFpControl(uint32_t word) { _mm_setcsr(word); }
// The word with rounding toward minus infinity, the render workers' mode.
inline uint32_t roundingDown(uint32_t word) { return (word & ~_MM_ROUND_MASK) | _MM_ROUND_DOWN; }
// The word with rounding to nearest, every other thread's mode.
inline uint32_t roundingNearest(uint32_t word) {
    return (word & ~_MM_ROUND_MASK) | _MM_ROUND_NEAREST;
}

// Rounds to nearest while it lives, on whichever thread: for values that must not depend on
// whether a render worker (rounding down) or the thread that sets a frame up worked them out.
class NearestRounding {
public:
    NearestRounding() : saved(fpControl()) {
        if ((saved & _MM_ROUND_MASK) != _MM_ROUND_NEAREST) setFpControl(roundingNearest(saved));
    }
    ~NearestRounding() {
        if ((saved & _MM_ROUND_MASK) != _MM_ROUND_NEAREST) setFpControl(saved);
    }
    NearestRounding(const NearestRounding&) = delete;
    NearestRounding& operator=(const NearestRounding&) = delete;

private:
    uint32_t saved;
};

// The float nearest to q (a tie to the even one), as a thread that rounds to nearest converts
// it, on any thread and without writing the control word (each write costs more than all of
// this). Where the result is a normal float, q's 52 bits of mantissa are rounded to 23 in
// integer arithmetic, a carry running on into the exponent. Elsewhere (subnormal results, the
// edge of overflow, infinities and NaN) the conversion in the thread's own mode lands on one of
// the two floats around q, and the other one is its neighbour on q's side.
inline float nearestFloat(double q) {
    uint64_t d;
    __builtin_memcpy(&d, &q, sizeof d);
    const uint64_t rounded = d + (0x0fffffffu + ((d >> 29) & 1u));
    const int exponent = int((rounded >> 52) & 0x7ff) - 1023 + 127;
    if (exponent >= 1 && exponent <= 254) {
        const uint32_t bits = uint32_t((d >> 63) << 31) | uint32_t(exponent) << 23 |
                              uint32_t((rounded >> 29) & 0x7fffff);
        float f;
        __builtin_memcpy(&f, &bits, sizeof f);
        return f;
    }
    const float f = float(q);
    if (!std::isfinite(q)) return f;
    // Beyond the greatest float by half its spacing or more, rounding to nearest overflows.
    constexpr double kOverflow = 0x1.ffffffp127;
    if (std::fabs(q) >= kOverflow) return q > 0 ? __builtin_inff() : -__builtin_inff();
    const float g = std::nextafter(f, q > double(f) ? __builtin_inff() : -__builtin_inff());
    const double toF = std::fabs(q - double(f)), toG = std::fabs(double(g) - q);
    if (toF != toG) return toF < toG ? f : g;
    uint32_t bits;
    __builtin_memcpy(&bits, &f, sizeof bits);
    return (bits & 1u) == 0 ? f : g;
}

// 1 / x rounded to nearest on any thread. The double quotient is within one double rounding
// (2^-52 of itself) of the exact one, which is never a float midpoint and lies at least 2^-49 of
// itself away from every one (x times a 25-bit midpoint is not a power of two), so the float
// nearest to the double quotient is the float nearest to the exact one.
inline float inverseToNearest(float x) { return nearestFloat(1.0 / double(x)); }

// Marks the upper halves of the calling thread's AVX registers unused. While a processor counts
// them in use, every switch between the AVX2 kernels and the baseline's SSE code around them
// costs a state transition: on some processors whole frames ran 3x slower. Our code never
// writes them, but library code and the operating system can leave them marked, so the workers
// clear them before each task. Costs a few cycles; does nothing without AVX.
inline void clearUpperVectorHalves() {
#if defined(__GNUC__) && defined(__x86_64__)
    static const bool hasAvx = __builtin_cpu_supports("avx");
    if (hasAvx) asm volatile("vzeroupper");
#endif
}

// ---- whole-vector helpers for points and directions (not for hot loops over lanes)
inline float dot3(const Vec4f& a, const Vec4f& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline float dot4(const Vec4f& a, const Vec4f& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w;
}
inline Vec4f cross3(const Vec4f& a, const Vec4f& b) {
    return Vec4f(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x, 0.0f);
}
inline Vec4f splat(float s) { return Vec4f(s); }

// A structure-of-arrays group: one component per register, four rays per group.
struct alignas(16) Vec3x4 {
    Vec4f x, y, z;
};
