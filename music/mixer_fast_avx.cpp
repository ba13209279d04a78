// mixer_fast_avx.cpp: the inner loops of the voice mixer for processors with
// AVX2 (steady stretches, four frames per double vector) and AVX-512 (steady
// stretches and gain ramps, eight frames per vector). Their output equals the
// scalar loop's to the bit: the interpolated value is formed exactly on
// integers (see the note on exactness below), each product is rounded to
// double and each sum to float exactly as in mix_steady_reference, and no
// multiply-add is ever fused (the build passes -ffp-contract=off; these
// targets would allow it).
// Frames are read through small windows loaded with masked loads, so only
// frames the scalar loop reads are touched. Steps too large for a window go
// to the SSE2 loop (steady) or the scalar one (ramps).
// These functions run only after the caller checked the processor (see
// steady_path_supported); built elsewhere than x86-64 they are not defined.
// Owns: nothing. Touches: the output span and the sample data it is given.
// Thread: whichever thread mixes.
#include <cstdint>
#include <cstring>

#include "music/mixer_fast.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
// GCC 12 warns about the deliberately undefined upper lanes that its own
// AVX-512 conversion intrinsics start from (a known false positive).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>

#define QM_AVX __attribute__((target("avx")))
#define QM_AVX2 __attribute__((target("avx2")))
#define QM_AVX512 __attribute__((target("avx2,avx512f,avx512dq,avx512bw,avx512vl")))

namespace qm {

namespace {

// Adding an integer below 2^51 in magnitude to the bits of 1.5 x 2^52 gives
// the bits of 1.5 x 2^52 + X; subtracting 1.5 x 2^52 then leaves X exactly.
constexpr long long INT_TO_DOUBLE_BIAS_BITS = 0x4338000000000000;
constexpr double INT_TO_DOUBLE_BIAS = 0x1.8p52;
// -2^31 in the low half of a 64-bit lane, as the signed 32 x 32-bit product reads it.
constexpr long long INT32_MIN_LOW_LANE = 0x80000000;

// The position after the last of n frames, E_0 = e and E_j+1 = E_j + even_step,
// mixed so far: (E_n-1 with bit 0 cleared) + step, as the one-by-one advance gives.
inline uint64_t position_after(uint64_t e_next, uint64_t even_step, uint64_t step) {
  return e_next - even_step + step;
}

// The interpolated value without rounding. With a = data[i], d = data[i + 1] - a
// (17 bits) and f = fraction >> 1 (31 bits), the scalar loop's
// x = a + (f x 2^-31) x d is exact in double: f x d has at most 48 bits and
// the sum is a multiple of 2^-31 below 2^18. So x = X x 2^-31 with the 64-bit
// integer X = a x 2^31 + f x d, and x x gain = X x (gain x 2^-31) to the bit
// (scaling by a power of two commutes with rounding). The loops below compute
// X on integers and multiply it by gains prescaled by 2^-31; the products and
// the float-rounded sums are then exactly those of the scalar loop.
// FRACTION_UNIT (2^-31) is that prescale.

// Eight frames whose whole parts lie within this many frames of the first
// (forward) or last (backward) are read from two 16-frame windows.
constexpr uint64_t PAIR_WINDOW_STEP_LIMIT = uint64_t{2} << 32;  // |step| below 2 frames

// --- AVX (128-bit lanes) -----------------------------------------------

// X as a double for two frames, one per 64-bit lane, without a conversion
// instruction: the frames' pairs data[i] | data[i + 1] << 16 sit in the low
// halves of the lanes, and `high` holds the low 32 bits of each position in
// its upper half (so its top 31 bits are the fraction f).
QM_AVX inline __m128d exact_x2(__m128i pairs, __m128i high) {
  __m128i a = _mm_srai_epi32(_mm_slli_epi32(pairs, 16), 16);
  __m128i d = _mm_sub_epi32(_mm_srai_epi32(pairs, 16), a);
  __m128i f = _mm_srli_epi64(high, 33);
  // f x d + a x 2^31, the second as the negated product with -2^31.
  __m128i x = _mm_sub_epi64(_mm_mul_epi32(f, d), _mm_mul_epi32(a, _mm_set1_epi64x(INT32_MIN_LOW_LANE)));
  __m128i biased = _mm_add_epi64(x, _mm_set1_epi64x(INT_TO_DOUBLE_BIAS_BITS));
  return _mm_sub_pd(_mm_castsi128_pd(biased), _mm_set1_pd(INT_TO_DOUBLE_BIAS));
}

// The pairs of frames i0 and i1 in the low halves of two 64-bit lanes.
QM_AVX inline __m128i pairs_at(const int16_t* data, int32_t i0, int32_t i1) {
  int32_t p0, p1;
  std::memcpy(&p0, data + i0, sizeof p0);
  std::memcpy(&p1, data + i1, sizeof p1);
  return _mm_unpacklo_epi64(_mm_cvtsi32_si128(p0), _mm_cvtsi32_si128(p1));
}

// Adds frame x0 times gains0 and x1 times gains1 ([left, right], prescaled)
// into out[0..3].
QM_AVX inline void accumulate2(float* out, __m128d x, __m128d gains0, __m128d gains1) {
  __m128 acc = _mm_loadu_ps(out);  // L0 R0 L1 R1
  __m128d sum0 = _mm_add_pd(_mm_cvtps_pd(acc), _mm_mul_pd(_mm_movedup_pd(x), gains0));
  __m128d sum1 = _mm_add_pd(_mm_cvtps_pd(_mm_movehl_ps(acc, acc)), _mm_mul_pd(_mm_unpackhi_pd(x, x), gains1));
  _mm_storeu_ps(out, _mm_movelh_ps(_mm_cvtpd_ps(sum0), _mm_cvtpd_ps(sum1)));
}

// Adds frame x0 times gains into out[0..1].
QM_AVX inline void accumulate1(float* out, __m128d x, __m128d gains) {
  __m128 acc = _mm_castpd_ps(_mm_load_sd(reinterpret_cast<const double*>(out)));
  __m128d sum = _mm_add_pd(_mm_cvtps_pd(acc), _mm_mul_pd(_mm_movedup_pd(x), gains));
  _mm_store_sd(reinterpret_cast<double*>(out), _mm_castps_pd(_mm_cvtpd_ps(sum)));
}

}  // namespace

// Four frames per iteration, two per vector; the whole parts are formed on
// scalar registers, the fractions advance in a vector.
QM_AVX uint64_t mix_steady_avx(float* out, const int16_t* data, uint64_t pos, uint64_t step, int32_t n,
                               float gain_left, float gain_right) {
  if (n < 1) return pos;
  const uint64_t even_step = step & ~uint64_t{1};
  uint64_t e = pos & ~uint64_t{1};
  const __m128d gains = _mm_setr_pd(gain_left * FRACTION_UNIT, gain_right * FRACTION_UNIT);
  __m128i high = _mm_set_epi64x(static_cast<long long>((e + even_step) << 32), static_cast<long long>(e << 32));
  const __m128i advance2 = _mm_set1_epi64x(static_cast<long long>((2 * even_step) << 32));
  int32_t j = 0;
  for (; j + 3 < n; j += 4) {
    uint64_t e1 = e + even_step, e2 = e1 + even_step, e3 = e2 + even_step;
    accumulate2(out, exact_x2(pairs_at(data, whole_part(e), whole_part(e1)), high), gains, gains);
    high = _mm_add_epi64(high, advance2);
    accumulate2(out + 4, exact_x2(pairs_at(data, whole_part(e2), whole_part(e3)), high), gains, gains);
    high = _mm_add_epi64(high, advance2);
    e = e3 + even_step;
    out += 8;
  }
  if (j + 1 < n) {
    uint64_t e1 = e + even_step;
    accumulate2(out, exact_x2(pairs_at(data, whole_part(e), whole_part(e1)), high), gains, gains);
    high = _mm_add_epi64(high, advance2);
    e = e1 + even_step;
    out += 4;
    j += 2;
  }
  if (j < n) {  // an odd last frame
    accumulate1(out, exact_x2(pairs_at(data, whole_part(e), whole_part(e)), high), gains);
    e += even_step;
  }
  return position_after(e, even_step, step);
}

// Two frames per iteration, a last odd one alone. The gains of frames j and
// j + 1 advance by twice the increments: every such sum is exact (the caller
// checked), so it equals adding the increments frame after frame.
QM_AVX bool mix_ramp_avx(float* out, const int16_t* data, uint64_t* pos, uint64_t step, int32_t n,
                         double left, double right, float inc_left, float inc_right) {
  if (n < 1) return false;
  const uint64_t even_step = step & ~uint64_t{1};
  uint64_t e = *pos & ~uint64_t{1};
  const __m128d inc = _mm_setr_pd(inc_left * FRACTION_UNIT, inc_right * FRACTION_UNIT);
  const __m128d inc2 = _mm_add_pd(inc, inc);
  __m128d gains = _mm_setr_pd(left * FRACTION_UNIT, right * FRACTION_UNIT);  // frame j
  __m128d gains_next = _mm_add_pd(gains, inc);                                 // frame j + 1
  __m128i high = _mm_set_epi64x(static_cast<long long>((e + even_step) << 32), static_cast<long long>(e << 32));
  const __m128i advance2 = _mm_set1_epi64x(static_cast<long long>((2 * even_step) << 32));
  int32_t j = 0;
  for (; j + 1 < n; j += 2) {
    uint64_t e1 = e + even_step;
    accumulate2(out, exact_x2(pairs_at(data, whole_part(e), whole_part(e1)), high), gains, gains_next);
    gains = _mm_add_pd(gains, inc2);
    gains_next = _mm_add_pd(gains_next, inc2);
    high = _mm_add_epi64(high, advance2);
    e = e1 + even_step;
    out += 4;
  }
  if (j < n) {  // an odd last frame
    accumulate1(out, exact_x2(pairs_at(data, whole_part(e), whole_part(e)), high), gains);
    e += even_step;
  }
  *pos = position_after(e, even_step, step);
  return true;
}

namespace {

// --- AVX2 ---------------------------------------------------------------

// X as a double for four frames: a, d and f as int32.
QM_AVX2 inline __m256d exact_x4(__m128i a, __m128i d, __m128i f) {
  __m256i product = _mm256_mul_epi32(_mm256_cvtepu32_epi64(f), _mm256_cvtepi32_epi64(d));
  __m256i x = _mm256_add_epi64(_mm256_slli_epi64(_mm256_cvtepi32_epi64(a), 31), product);
  __m256i biased = _mm256_add_epi64(x, _mm256_set1_epi64x(INT_TO_DOUBLE_BIAS_BITS));
  return _mm256_sub_pd(_mm256_castsi256_pd(biased), _mm256_set1_pd(INT_TO_DOUBLE_BIAS));
}

// Adds frames x0..x3 times [left, right] into out[0..7], sums rounded to float.
QM_AVX2 inline void accumulate4(float* out, __m256d x, __m256d gains) {
  __m256 acc = _mm256_loadu_ps(out);  // L0 R0 L1 R1 L2 R2 L3 R3
  __m256d x01 = _mm256_permute4x64_pd(x, 0x50);  // x0 x0 x1 x1
  __m256d x23 = _mm256_permute4x64_pd(x, 0xFA);  // x2 x2 x3 x3
  __m256d sum01 = _mm256_add_pd(_mm256_cvtps_pd(_mm256_castps256_ps128(acc)), _mm256_mul_pd(x01, gains));
  __m256d sum23 = _mm256_add_pd(_mm256_cvtps_pd(_mm256_extractf128_ps(acc, 1)), _mm256_mul_pd(x23, gains));
  __m256 sums = _mm256_insertf128_ps(_mm256_castps128_ps256(_mm256_cvtpd_ps(sum01)), _mm256_cvtpd_ps(sum23), 1);
  _mm256_storeu_ps(out, sums);
}

// data[i] | data[i + 1] << 16 for eight frames whose whole parts are base +
// rel (rel 0..span, span <= 14). Window `even` holds the pairs starting at
// base + 2k, window `odd` those starting at base + 1 + 2k; masked loads touch
// only the frames from base to base + span + 1.
QM_AVX2 inline __m256i window_pairs(const int16_t* data, int32_t base, int32_t span, __m256i rel) {
  const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  __m256i even_mask = _mm256_cmpgt_epi32(_mm256_set1_epi32(span / 2 + 1), lanes);
  __m256i odd_mask = _mm256_cmpgt_epi32(_mm256_set1_epi32((span + 1) / 2), lanes);
  __m256i even = _mm256_maskload_epi32(reinterpret_cast<const int*>(data + base), even_mask);
  __m256i odd = _mm256_maskload_epi32(reinterpret_cast<const int*>(data + base + 1), odd_mask);
  __m256i k = _mm256_srli_epi32(rel, 1);
  __m256 from_even = _mm256_castsi256_ps(_mm256_permutevar8x32_epi32(even, k));
  __m256 from_odd = _mm256_castsi256_ps(_mm256_permutevar8x32_epi32(odd, k));
  __m256 odd_lanes = _mm256_castsi256_ps(_mm256_slli_epi32(rel, 31));  // sign bit: rel is odd
  return _mm256_castps_si256(_mm256_blendv_ps(from_even, from_odd, odd_lanes));
}

}  // namespace

// Eight frames per iteration. The positions are kept as [E0 E1 E4 E5] and
// [E2 E3 E6 E7] so that one shuffle of their high (low) halves lists the
// whole parts (fractions) of E0..E7 in order. Steps of 2 frames or more go
// to the SSE2 loop.
QM_AVX2 uint64_t mix_steady_avx2(float* out, const int16_t* data, uint64_t pos, uint64_t step,
                                 int32_t n, float gain_left, float gain_right) {
  const uint64_t even_step = step & ~uint64_t{1};
  const bool backward = static_cast<int64_t>(even_step) < 0;
  const uint64_t magnitude = backward ? uint64_t{0} - even_step : even_step;
  uint64_t e = pos & ~uint64_t{1};
  const int32_t wide = n & ~7;
  if (wide == 0 || magnitude >= PAIR_WINDOW_STEP_LIMIT) {
    return mix_steady_fast(out, data, pos, step, n, gain_left, gain_right);
  }
  const double left = gain_left * FRACTION_UNIT, right = gain_right * FRACTION_UNIT;
  const __m256d gains = _mm256_setr_pd(left, right, left, right);
  auto lane = [&](int j) { return static_cast<long long>(e + static_cast<uint64_t>(j) * even_step); };
  __m256i pa = _mm256_setr_epi64x(lane(0), lane(1), lane(4), lane(5));
  __m256i pb = _mm256_setr_epi64x(lane(2), lane(3), lane(6), lane(7));
  const __m256i advance8 = _mm256_set1_epi64x(static_cast<long long>(8 * even_step));
  for (int32_t j = 0; j < wide; j += 8) {
    int32_t first = whole_part(e), last = whole_part(e + 7 * even_step);
    int32_t base = backward ? last : first;
    int32_t span = backward ? first - last : last - first;  // 0..14
    __m256 fa = _mm256_castsi256_ps(pa), fb = _mm256_castsi256_ps(pb);
    __m256i whole = _mm256_castps_si256(_mm256_shuffle_ps(fa, fb, _MM_SHUFFLE(3, 1, 3, 1)));
    __m256i low = _mm256_castps_si256(_mm256_shuffle_ps(fa, fb, _MM_SHUFFLE(2, 0, 2, 0)));
    __m256i pairs = window_pairs(data, base, span, _mm256_sub_epi32(whole, _mm256_set1_epi32(base)));
    __m256i a = _mm256_srai_epi32(_mm256_slli_epi32(pairs, 16), 16);
    __m256i d = _mm256_sub_epi32(_mm256_srai_epi32(pairs, 16), a);
    __m256i f = _mm256_srli_epi32(low, 1);
    accumulate4(out, exact_x4(_mm256_castsi256_si128(a), _mm256_castsi256_si128(d),
                              _mm256_castsi256_si128(f)), gains);
    accumulate4(out + 8, exact_x4(_mm256_extracti128_si256(a, 1), _mm256_extracti128_si256(d, 1),
                                  _mm256_extracti128_si256(f, 1)), gains);
    pa = _mm256_add_epi64(pa, advance8);
    pb = _mm256_add_epi64(pb, advance8);
    e += 8 * even_step;
    out += 16;
  }
  if (wide < n) return mix_steady_fast(out, data, e, step, n - wide, gain_left, gain_right);
  return position_after(e, even_step, step);
}

// --- AVX-512 ------------------------------------------------------------

namespace {

// Eight frames whose whole parts lie within this many frames of the first
// (forward) or last (backward) are read from one 32-frame window.
constexpr uint64_t WINDOW_STEP_LIMIT = uint64_t{4} << 32;  // |step| below 4 frames

// X as a double for eight frames: a = data[i], b = data[i + 1] as int64, and
// the positions p, whose fraction bits 1..31 give f.
QM_AVX512 inline __m512d exact_x8(__m512i a, __m512i b, __m512i p) {
  __m512i f = _mm512_srli_epi64(_mm512_slli_epi64(p, 32), 33);
  __m512i product = _mm512_mul_epi32(f, _mm512_sub_epi64(b, a));
  return _mm512_cvtepi64_pd(_mm512_add_epi64(_mm512_slli_epi64(a, 31), product));
}

// The eight frames of an iteration sit in the lanes of a vector in the
// order 0 4 1 5 2 6 3 7, so that interleaving the even and odd lanes of the
// left and right products lists frames 0..3 and 4..7 as [left, right] pairs,
// the order of the output.
constexpr int LANE_FRAME[8] = {0, 4, 1, 5, 2, 6, 3, 7};

// The gains of an iteration's frames, per lane.
struct Gains8 {
  __m512d left;
  __m512d right;
};

// Adds the lanes' x times their gains into out[0..15], sums rounded to float;
// only the floats selected by `used` are read and written. Each half of the
// output is loaded and stored on its own, which keeps the shuffle units free.
QM_AVX512 inline void accumulate8(float* out, __m512d x, Gains8 gains, __mmask16 used) {
  const __mmask8 used_low = static_cast<__mmask8>(used), used_high = static_cast<__mmask8>(used >> 8);
  __m512d acc_low = _mm512_cvtps_pd(_mm256_maskz_loadu_ps(used_low, out));  // L0 R0 ... L3 R3
  __m512d acc_high = _mm512_cvtps_pd(_mm256_maskz_loadu_ps(used_high, out + 8));
  __m512d left = _mm512_mul_pd(x, gains.left);
  __m512d right = _mm512_mul_pd(x, gains.right);
  __m512d sum_low = _mm512_add_pd(acc_low, _mm512_unpacklo_pd(left, right));     // frames 0..3
  __m512d sum_high = _mm512_add_pd(acc_high, _mm512_unpackhi_pd(left, right));  // frames 4..7
  _mm256_mask_storeu_ps(out, used_low, _mm512_cvtpd_ps(sum_low));
  _mm256_mask_storeu_ps(out + 8, used_high, _mm512_cvtpd_ps(sum_high));
}

// Fixed gains, prescaled by 2^-31.
struct SteadyGains {
  Gains8 gains;
  QM_AVX512 Gains8 at(int32_t) const { return gains; }
};

// Gains start + j x inc for frame j, all prescaled by 2^-31. Every value is
// exact (the caller checked), so computing it directly equals adding inc
// frame after frame.
struct RampGains {
  Gains8 start;  // at frame 0
  Gains8 inc;    // per frame
  QM_AVX512 Gains8 at(int32_t j) const {
    const __m512d lane_frames = _mm512_setr_pd(LANE_FRAME[0], LANE_FRAME[1], LANE_FRAME[2], LANE_FRAME[3],
                                               LANE_FRAME[4], LANE_FRAME[5], LANE_FRAME[6], LANE_FRAME[7]);
    const __m512d frames = _mm512_add_pd(_mm512_set1_pd(static_cast<double>(j)), lane_frames);
    return {_mm512_add_pd(start.left, _mm512_mul_pd(frames, inc.left)),
            _mm512_add_pd(start.right, _mm512_mul_pd(frames, inc.right))};
  }
};

constexpr __mmask16 ALL_FRAMES = 0xFFFF;  // all sixteen floats of eight frames

// Mixes the frames of one iteration at positions p (lane order), whose whole
// parts lie from base to base + span (span <= 28): the frames base to
// base + span + 1 are loaded as two windows, one starting a frame later
// (masked loads, so no frame outside that span is touched), and each lane's
// two frames picked out of them with word permutes. Only the output floats selected by `used` are touched.
QM_AVX512 inline void mix_group(float* out, const int16_t* data, __m512i p, int32_t base, int32_t span,
                                Gains8 gains, __mmask16 used) {
  __m512i rel = _mm512_sub_epi64(_mm512_srai_epi64(p, 32), _mm512_set1_epi64(base));
  __m512i picks = _mm512_castsi128_si512(_mm512_cvtepi64_epi16(rel));  // upper words unused
  __mmask32 needed = static_cast<__mmask32>((uint64_t{1} << (span + 2)) - 1);
  __m512i window = _mm512_maskz_loadu_epi16(needed, data + base);            // frames from base
  __m512i window_next = _mm512_maskz_loadu_epi16(needed >> 1, data + base + 1);  // from base + 1
  __m512i a = _mm512_cvtepi16_epi64(_mm512_castsi512_si128(_mm512_permutexvar_epi16(picks, window)));
  __m512i b = _mm512_cvtepi16_epi64(_mm512_castsi512_si128(_mm512_permutexvar_epi16(picks, window_next)));
  accumulate8(out, exact_x8(a, b, p), gains, used);
}

// Mixes n >= 1 frames, eight per iteration, their positions in one vector;
// a last group mixes the 1 to 7 frames left with masked loads and stores.
// The step must be below 4 frames. Returns the position after the last frame.
template <typename GainsAt>
QM_AVX512 inline uint64_t mix_window_loop(float* out, const int16_t* data, uint64_t pos, uint64_t step,
                                          int32_t n, GainsAt gains_at) {
  const uint64_t even_step = step & ~uint64_t{1};
  const bool backward = static_cast<int64_t>(even_step) < 0;
  uint64_t e = pos & ~uint64_t{1};
  auto lane = [&](int k) { return static_cast<long long>(e + static_cast<uint64_t>(LANE_FRAME[k]) * even_step); };
  __m512i p = _mm512_setr_epi64(lane(0), lane(1), lane(2), lane(3), lane(4), lane(5), lane(6), lane(7));
  const __m512i advance8 = _mm512_set1_epi64(static_cast<long long>(8 * even_step));
  const uint64_t last_offset = 7 * even_step, advance = 8 * even_step;
  int32_t j = 0;
  for (; j + 8 <= n; j += 8) {
    int32_t first = whole_part(e), last = whole_part(e + last_offset);
    mix_group(out, data, p, backward ? last : first, backward ? first - last : last - first, gains_at.at(j),
              ALL_FRAMES);
    p = _mm512_add_epi64(p, advance8);
    e += advance;
    out += 16;
  }
  if (j < n) {  // 1 to 7 frames left
    const int32_t count = n - j;
    int32_t first = whole_part(e), last = whole_part(e + static_cast<uint64_t>(count - 1) * even_step);
    mix_group(out, data, p, backward ? last : first, backward ? first - last : last - first, gains_at.at(j),
              static_cast<__mmask16>((1u << (2 * count)) - 1));
    e += static_cast<uint64_t>(count) * even_step;
  }
  return position_after(e, even_step, step);
}

QM_AVX512 bool window_step(uint64_t step) {
  const uint64_t even_step = step & ~uint64_t{1};
  const uint64_t magnitude = static_cast<int64_t>(even_step) < 0 ? uint64_t{0} - even_step : even_step;
  return magnitude < WINDOW_STEP_LIMIT;
}

}  // namespace

// Steps of 4 frames or more go to the SSE2 loop.
QM_AVX512 uint64_t mix_steady_avx512(float* out, const int16_t* data, uint64_t pos, uint64_t step,
                                     int32_t n, float gain_left, float gain_right) {
  if (n < 2 || !window_step(step)) return mix_steady_fast(out, data, pos, step, n, gain_left, gain_right);
  const Gains8 gains{_mm512_set1_pd(gain_left * FRACTION_UNIT), _mm512_set1_pd(gain_right * FRACTION_UNIT)};
  return mix_window_loop(out, data, pos, step, n, SteadyGains{gains});
}

QM_AVX512 bool mix_ramp_avx512(float* out, const int16_t* data, uint64_t* pos, uint64_t step, int32_t n,
                               double left, double right, float inc_left, float inc_right) {
  if (n < 1 || !window_step(step)) return false;
  RampGains gains{{_mm512_set1_pd(left * FRACTION_UNIT), _mm512_set1_pd(right * FRACTION_UNIT)},
                  {_mm512_set1_pd(inc_left * FRACTION_UNIT), _mm512_set1_pd(inc_right * FRACTION_UNIT)}};
  *pos = mix_window_loop(out, data, *pos, step, n, gains);
  return true;
}

}  // namespace qm

#endif
