// convert.cpp: turns the float mix of a block into signed 16-bit stereo PCM
// (see convert.h): the scalar loop, the SSE2 loop (eight values at a time,
// part of every x86-64 processor, and WebAssembly SIMD through its SSE2
// headers) and the AVX-512 loop (sixteen at a time), chosen at run time.
// Owns: nothing. Touches: the two buffers it is given.
// Thread: any; the renderer calls it once per block after all mixing.
#include "music/convert.h"

#include <cmath>
#include <cstdint>

#include "common/cpu_features.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qm {

namespace {

constexpr float PCM16_MIN = -32768.0f;
constexpr float PCM16_MAX = 32767.0f;

// Rounds to the nearest integer, ties to even, then clamps to -32768..32767.
// The clamp comes first on the float so the integer conversion is always in
// range; since the bounds are integers this gives the same result. NaN gives 0.
int16_t to_pcm16(float x) {
  float r = std::nearbyint(x);
  if (r >= PCM16_MAX) return INT16_MAX;
  if (r <= PCM16_MIN) return INT16_MIN;
  if (std::isnan(r)) return 0;
  return static_cast<int16_t>(static_cast<int32_t>(r));
}

bool nothing_to_do(const int16_t* out, const float* accum, int32_t frames) {
  return out == nullptr || accum == nullptr || frames <= 0;
}

void scalar_from(int16_t* out, const float* accum, int64_t from, int64_t count) {
  for (int64_t i = from; i < count; ++i) out[i] = to_pcm16(accum[i]);
}

#if defined(__SSE2__)
// Four floats to four int32 in -32768..32767. NaN lanes are zeroed first (the
// ordered compare is false only for NaN); the clamp then keeps every lane in
// range, and because the bounds are integers clamping before rounding equals
// rounding before clamping. The conversion rounds to nearest, ties to even,
// under the default rounding mode, as nearbyint does.
inline __m128i round_clamped(__m128 x, __m128 low, __m128 high) {
  __m128 a = _mm_and_ps(x, _mm_cmpord_ps(x, x));
  return _mm_cvtps_epi32(_mm_min_ps(_mm_max_ps(a, low), high));
}

// Converts values from..count-1 eight at a time, the last few one by one.
void sse2_from(int16_t* out, const float* accum, int64_t i, int64_t count) {
  const __m128 low = _mm_set1_ps(PCM16_MIN);
  const __m128 high = _mm_set1_ps(PCM16_MAX);
  for (; i + 8 <= count; i += 8) {
    __m128i lo = round_clamped(_mm_loadu_ps(accum + i), low, high);
    __m128i hi = round_clamped(_mm_loadu_ps(accum + i + 4), low, high);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packs_epi32(lo, hi));
  }
  scalar_from(out, accum, i, count);
}
#else
void sse2_from(int16_t* out, const float* accum, int64_t i, int64_t count) { scalar_from(out, accum, i, count); }
#endif

}  // namespace

}  // namespace qm

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define QM_HAVE_AVX512_CONVERT 1
// GCC 12 warns about the deliberately undefined upper lanes that its own
// AVX-512 intrinsics start from (a known false positive).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#endif

namespace qm {

#ifdef QM_HAVE_AVX512_CONVERT

// The SSE2 steps on sixteen values: NaN lanes zeroed, clamped, rounded to
// nearest even, then narrowed (every value is in range, so no saturation).
// Converts the first count & ~15 values; returns how many.
__attribute__((target("avx512f"))) static int64_t convert16_avx512(int16_t* out, const float* accum,
                                                                   int64_t count) {
  const __m512 low = _mm512_set1_ps(PCM16_MIN);
  const __m512 high = _mm512_set1_ps(PCM16_MAX);
  int64_t i = 0;
  for (; i + 16 <= count; i += 16) {
    __m512 x = _mm512_loadu_ps(accum + i);
    __m512 a = _mm512_maskz_mov_ps(_mm512_cmp_ps_mask(x, x, _CMP_ORD_Q), x);
    __m512i r = _mm512_cvtps_epi32(_mm512_min_ps(_mm512_max_ps(a, low), high));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm512_cvtepi32_epi16(r));
  }
  return i;
}
#endif

void convert_to_pcm16_reference(int16_t* out, const float* accum, int32_t frames) {
  if (nothing_to_do(out, accum, frames)) return;
  scalar_from(out, accum, 0, int64_t{frames} * 2);
}

void convert_to_pcm16_sse2(int16_t* out, const float* accum, int32_t frames) {
  if (nothing_to_do(out, accum, frames)) return;
  sse2_from(out, accum, 0, int64_t{frames} * 2);
}

void convert_to_pcm16_avx512(int16_t* out, const float* accum, int32_t frames) {
  if (nothing_to_do(out, accum, frames)) return;
  int64_t done = 0;
#ifdef QM_HAVE_AVX512_CONVERT
  done = convert16_avx512(out, accum, int64_t{frames} * 2);
#endif
  sse2_from(out, accum, done, int64_t{frames} * 2);
}

void convert_to_pcm16(int16_t* out, const float* accum, int32_t frames) {
  if (cpu_has_avx512f()) {
    convert_to_pcm16_avx512(out, accum, frames);
  } else {
    convert_to_pcm16_sse2(out, accum, frames);
  }
}

}  // namespace qm
