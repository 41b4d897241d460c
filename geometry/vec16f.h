// Sixteen floats in one AVX-512 register and a 16-lane mask: the vocabulary of the kernels that
// processors with AVX-512 run instead of the 4-wide ones, a 4 x 4 bundle in one register (ray
// 4g + l in lane 4g + l, the order in which a bundle stores its four groups).
//
// The program is built for the x86-64-v2 baseline, so only these functions and the kernels made
// of them (TAVOLIN_WIDE_KERNEL) are compiled for AVX-512, and the program asks the processor at
// run time whether to call them (hasWideKernels). The operations are those of Vec4f lane by lane,
// with no fused multiply-add, so a wide kernel gives the results of its 4-wide twin bit for bit.
#pragma once

#include <atomic>

#include "geometry/vec4f.h"

#if (defined(__GNUC__) || defined(__clang__)) && defined(__x86_64__) && \
    !defined(TAVOLIN_NO_KERNEL_CLONES)
#define TAVOLIN_WIDE_KERNELS 1
#define TAVOLIN_WIDE_KERNEL __attribute__((target("avx512f")))
#define TAVOLIN_WIDE_INLINE __attribute__((target("avx512f"), always_inline)) inline

// Whether the wide kernels may run where the processor has them; tests turn them off to draw a
// picture both ways.
inline std::atomic<bool>& wideKernelsAllowed() {
    static std::atomic<bool> allowed{true};
    return allowed;
}

// Whether the wide kernels run: the processor has them (asked once) and they are allowed. Any
// thread.
inline bool hasWideKernels() {
    static const bool wide = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx512f") != 0;
    }();
    return wide && wideKernelsAllowed().load(std::memory_order_relaxed);
}

// Some operations below use the masked instruction over all lanes: the plain intrinsic starts
// from an undefined register, which GCC 12 reports as used uninitialised.
struct Vec16f {
    __m512 m;
};

// Bit i for lane i, as a 16-lane comparison gives it.
using Mask16 = __mmask16;
constexpr Mask16 kAllLanes16 = 0xffff;

TAVOLIN_WIDE_INLINE Vec16f wide(float s) { return {_mm512_set1_ps(s)}; }
// Four groups of four lanes stored one after another (a bundle's tMin, tMax, tHit).
TAVOLIN_WIDE_INLINE Vec16f load16(const Vec4f groups[4]) { return {_mm512_loadu_ps(&groups[0].x)}; }
TAVOLIN_WIDE_INLINE void store16(Vec16f v, Vec4f groups[4]) { _mm512_storeu_ps(&groups[0].x, v.m); }
// Four groups from wherever they are (one component of a bundle's directions).
TAVOLIN_WIDE_INLINE Vec16f join(const Vec4f& g0, const Vec4f& g1, const Vec4f& g2,
                                const Vec4f& g3) {
    __m512 r = _mm512_mask_broadcast_f32x4(_mm512_setzero_ps(), kAllLanes16, g0);
    r = _mm512_insertf32x4(r, g1, 1);
    r = _mm512_insertf32x4(r, g2, 2);
    return {_mm512_insertf32x4(r, g3, 3)};
}
// The four groups apart again.
TAVOLIN_WIDE_INLINE void split(Vec16f v, Vec4f& g0, Vec4f& g1, Vec4f& g2, Vec4f& g3) {
    g0 = _mm512_mask_extractf32x4_ps(_mm_setzero_ps(), 0xf, v.m, 0);
    g1 = _mm512_mask_extractf32x4_ps(_mm_setzero_ps(), 0xf, v.m, 1);
    g2 = _mm512_mask_extractf32x4_ps(_mm_setzero_ps(), 0xf, v.m, 2);
    g3 = _mm512_mask_extractf32x4_ps(_mm_setzero_ps(), 0xf, v.m, 3);
}
// Lane 0.
TAVOLIN_WIDE_INLINE float first(Vec16f v) { return _mm512_cvtss_f32(v.m); }

TAVOLIN_WIDE_INLINE Vec16f operator+(Vec16f a, Vec16f b) { return {_mm512_add_ps(a.m, b.m)}; }
TAVOLIN_WIDE_INLINE Vec16f operator-(Vec16f a, Vec16f b) { return {_mm512_sub_ps(a.m, b.m)}; }
TAVOLIN_WIDE_INLINE Vec16f operator*(Vec16f a, Vec16f b) { return {_mm512_mul_ps(a.m, b.m)}; }
TAVOLIN_WIDE_INLINE Vec16f operator/(Vec16f a, Vec16f b) { return {_mm512_div_ps(a.m, b.m)}; }
// Flips the sign bit, as -a of Vec4f (-0 for 0).
TAVOLIN_WIDE_INLINE Vec16f operator-(Vec16f a) {
    return {_mm512_castsi512_ps(
        _mm512_xor_si512(_mm512_castps_si512(a.m), _mm512_set1_epi32(int(0x80000000u))))};
}
TAVOLIN_WIDE_INLINE Vec16f sqrt(Vec16f a) { return {_mm512_mask_sqrt_ps(a.m, kAllLanes16, a.m)}; }
// a < b ? a : b and a > b ? a : b lane by lane, as min and max of Vec4f: a NaN in a gives b.
TAVOLIN_WIDE_INLINE Vec16f min(Vec16f a, Vec16f b) {
    return {_mm512_mask_min_ps(a.m, kAllLanes16, a.m, b.m)};
}
TAVOLIN_WIDE_INLINE Vec16f max(Vec16f a, Vec16f b) {
    return {_mm512_mask_max_ps(a.m, kAllLanes16, a.m, b.m)};
}

// Comparisons are false for NaN, as those of Vec4f.
TAVOLIN_WIDE_INLINE Mask16 operator<(Vec16f a, Vec16f b) {
    return _mm512_cmp_ps_mask(a.m, b.m, _CMP_LT_OQ);
}
TAVOLIN_WIDE_INLINE Mask16 operator>(Vec16f a, Vec16f b) {
    return _mm512_cmp_ps_mask(a.m, b.m, _CMP_GT_OQ);
}
TAVOLIN_WIDE_INLINE Mask16 operator<=(Vec16f a, Vec16f b) {
    return _mm512_cmp_ps_mask(a.m, b.m, _CMP_LE_OQ);
}
TAVOLIN_WIDE_INLINE Mask16 operator>=(Vec16f a, Vec16f b) {
    return _mm512_cmp_ps_mask(a.m, b.m, _CMP_GE_OQ);
}
// Four 4-lane masks stored one after another (a bundle's live rays) and back.
TAVOLIN_WIDE_INLINE Mask16 loadMask16(const LaneMask4 groups[4]) {
    const __m512i lanes = _mm512_loadu_si512(&groups[0]);
    return _mm512_test_epi32_mask(lanes, lanes);
}
TAVOLIN_WIDE_INLINE void storeMask16(Mask16 m, LaneMask4 groups[4]) {
    _mm512_storeu_si512(&groups[0], _mm512_maskz_mov_epi32(m, _mm512_set1_epi32(-1)));
}
// Group g of a mask as a 4-lane mask.
inline LaneMask4 group(Mask16 m, int g) { return LaneMask4::fromBits((m >> (4 * g)) & 0xf); }

// mask ? a : b lane by lane.
TAVOLIN_WIDE_INLINE Vec16f select(Mask16 mask, Vec16f a, Vec16f b) {
    return {_mm512_mask_blend_ps(mask, b.m, a.m)};
}

#else
#define TAVOLIN_WIDE_KERNELS 0
inline std::atomic<bool>& wideKernelsAllowed() {
    static std::atomic<bool> allowed{true};
    return allowed;
}
inline bool hasWideKernels() { return false; }
#endif
