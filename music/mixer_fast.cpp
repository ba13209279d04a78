// mixer_fast.cpp: the steady-stretch loop of the voice mixer with SSE2 double
// arithmetic. A frame's products depend only on that frame's position, so two
// frames are interpolated side by side and each frame's left and right sums
// are formed together. Every operation is the same IEEE double operation, in
// the same order, as in mix_steady_reference, so the floats are identical;
// only b - a is taken on integers, which is exact either way. The fractions
// of two frames advance in one vector instead of being moved in one by one.
// SSE2 is part of every x86-64 processor; elsewhere the scalar loop is used.
// This file also chooses, once per process, the fastest loop the processor
// runs: the widest (AVX-512, AVX2 or this one; the wide ones are in
// mixer_fast_avx.cpp), except AVX2 where 256-bit vectors run as two halves.
// Owns: nothing (a player keeps the choice). Touches: the output span and the
// sample data it is given. Thread: whichever thread mixes.
#include <cstdint>
#include <cstring>

#include "common/cpu_features.h"
#include "music/mixer_fast.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

namespace qm {

#if defined(__SSE2__) || defined(_M_X64)

static inline int32_t low_bits(uint64_t pos) {
  return static_cast<int32_t>(static_cast<uint32_t>(pos));
}

// data[i] and data[i + 1] of a frame in one 32-bit load.
static inline __m128i frame_pair(const int16_t* data, uint64_t pos) {
  int32_t pair;
  std::memcpy(&pair, data + whole_part(pos), sizeof pair);
  return _mm_cvtsi32_si128(pair);
}

// Interpolated values of two frames at e0 and e1: [x0, x1]. low holds the low
// 32 bits of e0 and e1 in its first two lanes.
static inline __m128d interpolate(const int16_t* data, uint64_t e0, uint64_t e1, __m128i low,
                                  __m128d unit) {
  __m128i pairs = _mm_unpacklo_epi32(frame_pair(data, e0), frame_pair(data, e1));
  __m128i a = _mm_srai_epi32(_mm_slli_epi32(pairs, 16), 16);  // a0 a1
  // b - a fits in 17 bits, so the integer difference converts to the same
  // double as the difference of the converted values.
  __m128i d = _mm_sub_epi32(_mm_srai_epi32(pairs, 16), a);     // b0 - a0, b1 - a1
  __m128d t = _mm_mul_pd(_mm_cvtepi32_pd(_mm_srli_epi32(low, 1)), unit);
  return _mm_add_pd(_mm_cvtepi32_pd(a), _mm_mul_pd(t, _mm_cvtepi32_pd(d)));
}

// Adds frames x0 and x1 times [left, right] into out[0..3], sums rounded to float.
static inline void accumulate(float* out, __m128d x, __m128d gains) {
  __m128 acc = _mm_loadu_ps(out);  // [L0, R0, L1, R1]
  __m128d sum0 = _mm_add_pd(_mm_cvtps_pd(acc), _mm_mul_pd(_mm_unpacklo_pd(x, x), gains));
  __m128d sum1 = _mm_add_pd(_mm_cvtps_pd(_mm_movehl_ps(acc, acc)), _mm_mul_pd(_mm_unpackhi_pd(x, x), gains));
  _mm_storeu_ps(out, _mm_movelh_ps(_mm_cvtpd_ps(sum0), _mm_cvtpd_ps(sum1)));
}

// Adds frame x0 times [left, right] into out[0..1].
static inline void accumulate1(float* out, __m128d x, __m128d gains) {
  __m128 acc = _mm_castpd_ps(_mm_load_sd(reinterpret_cast<const double*>(out)));  // [L0, R0]
  __m128d sum = _mm_add_pd(_mm_cvtps_pd(acc), _mm_mul_pd(_mm_unpacklo_pd(x, x), gains));
  _mm_store_sd(reinterpret_cast<double*>(out), _mm_castps_pd(_mm_cvtpd_ps(sum)));
}

// Bit 0 of a position never reaches the interpolation (it uses the whole
// part and fraction bits 1..31), and with it cleared before every advance the
// positions are E_j = (pos with bit 0 cleared) + j * (step with bit 0 cleared).
// So the frames of an iteration are independent of each other; the position
// returned is E_n-1 + step, exactly what the one-by-one advance gives.
uint64_t mix_steady_fast(float* out, const int16_t* data, uint64_t pos, uint64_t step, int32_t n,
                         float gain_left, float gain_right) {
  if (n < 1) return pos;
  const __m128d gains = _mm_set_pd(gain_right, gain_left);  // [left, right]
  const __m128d unit = _mm_set1_pd(FRACTION_UNIT);
  const uint64_t even_step = step & ~uint64_t{1};
  uint64_t e = pos & ~uint64_t{1};
  // The low 32 bits of E_j and E_j+1 advance together by those of 2 * even_step.
  __m128i low = _mm_set_epi32(0, 0, low_bits(e + even_step), low_bits(e));
  const __m128i low_step2 = _mm_set1_epi32(low_bits(2 * even_step));
  const __m128i low_step4 = _mm_set1_epi32(low_bits(4 * even_step));
  int32_t j = 0;
  for (; j + 3 < n; j += 4) {
    uint64_t e1 = e + even_step, e2 = e1 + even_step, e3 = e2 + even_step;
    accumulate(out, interpolate(data, e, e1, low, unit), gains);
    accumulate(out + 4, interpolate(data, e2, e3, _mm_add_epi32(low, low_step2), unit), gains);
    low = _mm_add_epi32(low, low_step4);
    e = e3 + even_step;
    out += 8;
  }
  if (j + 1 < n) {
    uint64_t e1 = e + even_step;
    accumulate(out, interpolate(data, e, e1, low, unit), gains);
    low = _mm_add_epi32(low, low_step2);
    e = e1 + even_step;
    out += 4;
    j += 2;
  }
  if (j < n) {  // an odd last frame
    accumulate1(out, interpolate(data, e, e, low, unit), gains);
    e += even_step;
  }
  return e - even_step + step;
}

#else

uint64_t mix_steady_fast(float* out, const int16_t* data, uint64_t pos, uint64_t step, int32_t n,
                         float gain_left, float gain_right) {
  return mix_steady_reference(out, data, pos, step, n, gain_left, gain_right);
}

#endif

// The AVX loops are built for x86-64 with GCC or Clang (function targets).
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define QM_HAVE_WIDE_STEADY 1
#endif

bool steady_path_supported(SteadyPath path) {
  switch (path) {
    case STEADY_SSE2: return true;
#ifdef QM_HAVE_WIDE_STEADY
    case STEADY_AVX: return cpu_has_avx();
    case STEADY_AVX2: return cpu_has_avx2();
    case STEADY_AVX512: return cpu_has_avx512_mixer();
#endif
    default: return false;
  }
}

SteadyMixer steady_mixer(SteadyPath path) {
  if (!steady_path_supported(path)) return nullptr;
  switch (path) {
#ifdef QM_HAVE_WIDE_STEADY
    case STEADY_AVX: return mix_steady_avx;
    case STEADY_AVX2: return mix_steady_avx2;
    case STEADY_AVX512: return mix_steady_avx512;
#endif
    default: return mix_steady_fast;
  }
}

RampMixer ramp_mixer(SteadyPath path) {
#ifdef QM_HAVE_WIDE_STEADY
  if (path == STEADY_AVX && steady_path_supported(path)) return mix_ramp_avx;
  if (path == STEADY_AVX512 && steady_path_supported(path)) return mix_ramp_avx512;
#endif
  (void)path;
  return nullptr;
}

SteadyPath fastest_steady_path() {
  for (int path = STEADY_PATH_COUNT - 1; path > STEADY_SSE2; --path) {
    if (path == STEADY_AVX2 && cpu_splits_256bit()) continue;  // slower there than SSE2
    if (steady_path_supported(static_cast<SteadyPath>(path))) return static_cast<SteadyPath>(path);
  }
  return STEADY_SSE2;
}

// Asked anew on each call (a few cpuid instructions): a player keeps what it
// was given at creation, so the library holds no choice of its own.
SteadyMixer fastest_steady_mixer() { return steady_mixer(fastest_steady_path()); }

RampMixer fastest_ramp_mixer() { return ramp_mixer(fastest_steady_path()); }

bool stops_unheard_voices() { return true; }

}  // namespace qm
