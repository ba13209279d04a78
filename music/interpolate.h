// interpolate.h: the interpolations besides the linear one, for listeners
// who want fewer aliasing artefacts than the exact default mixing gives: a
// 4-point cubic (Catmull-Rom) and an 8-tap windowed sinc (Lanczos, 4 lobes).
// Each returns a voice's sample value at a 32.32 position, read from the
// frames around it; both are deterministic: only integer arithmetic and
// IEEE double additions and products in a fixed order (the build keeps
// products and sums apart), and a table computed by the compiler with the
// same operations, so every machine, chunk size and build gives the same
// bytes.
//
// Frames a kernel reads outside the part of a sample it may read as stored
// (SampleEdges) are taken where playback would reach them: a forward loop
// wraps, a ping-pong loop reflects, and frames past a sample without a loop
// are zeros; before a loop has wrapped once, the frames before its start are
// the sample's own.
// Owns: the constant sinc table (interpolate.cpp). Thread: any.
#pragma once
#include <cstdint>

#include "music/module.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define QM_DOT8_SSE2 1
#elif defined(__wasm_simd128__)
#include <wasm_simd128.h>
#define QM_DOT8_WASM 1
#endif

namespace qm {

struct Voice;

// The interpolations a player mixes with (qm_interpolation's values).
enum Interpolation : uint8_t { INTERPOLATION_LINEAR, INTERPOLATION_CUBIC, INTERPOLATION_SINC8 };

// The frames of a sample a voice may read as stored, and how to reach the rest.
struct SampleEdges {
  int32_t first;        // lowest frame read as stored (the lead zeros, or the loop start after a wrap)
  int32_t end;          // one past the highest frame read as stored
  int32_t loop_start;   // frames
  int32_t loop_length;  // frames; 0 without a loop
  bool pingpong;        // the loop reflects instead of wrapping
};

// The edges for voice v playing sample s (a sample the mixer accepted: its
// loop lies inside its data).
SampleEdges sample_edges(const Voice* v, const Sample* s);

// Copies frames lo .. lo + count - 1 of a sample into scratch from where
// playback reaches them (the frames outside the edges); returns scratch.
const int16_t* gather_frames(const int16_t* data, int32_t lo, int32_t count, const SampleEdges& edges,
                             int16_t* scratch);

// The count frames from frame lo: straight from the sample when they lie
// inside the edges, otherwise gathered into scratch.
inline const int16_t* frames_from(const int16_t* data, int32_t lo, int32_t count, const SampleEdges& e,
                                  int16_t* scratch) {
  if (lo >= e.first && lo + count <= e.end) return data + lo;
  return gather_frames(data, lo, count, e, scratch);
}

// The weight of the top 31 fraction bits of a 32.32 position (as the linear
// interpolation uses them).
constexpr double CUBIC_FRACTION_UNIT = 0x1p-31;

// The value at pos of the sample whose frame 0 is data[0], in sample units
// (16-bit range), by the 4-point cubic through frames i - 1 .. i + 2.
inline double cubic_at(const int16_t* data, uint64_t pos, const SampleEdges& edges) {
  int16_t scratch[4];
  const auto whole = static_cast<int32_t>(static_cast<uint32_t>(pos >> 32));
  const int16_t* f = frames_from(data, whole - 1, 4, edges, scratch);
  const double t = static_cast<double>(static_cast<uint32_t>(pos) >> 1) * CUBIC_FRACTION_UNIT;
  const double a = f[0], b = f[1], c = f[2], d = f[3];
  const double cubic = 3.0 * (b - c) + d - a;
  const double square = 2.0 * a - 5.0 * b + 4.0 * c - d;
  return b + 0.5 * t * ((c - a) + t * (square + t * cubic));
}

// The sinc's table: SINC_PHASES phases (the fraction in steps of
// 1 / SINC_PHASES) of 8 weights each, scaled by SINC_WEIGHT_ONE and summing
// to it; tap k weighs frame i - 3 + k.
constexpr int SINC_PHASE_BITS = 11;
constexpr int SINC_PHASES = 1 << SINC_PHASE_BITS;
constexpr int SINC_TAPS = 8;
constexpr int32_t SINC_WEIGHT_ONE = 1 << 14;
struct SincTable {
  alignas(16) int16_t weights[SINC_PHASES][SINC_TAPS];
};
extern const SincTable SINC_TABLE;

// The sum of the 8 products taps[k] x weights[k] (weights 16-byte aligned),
// exactly: weights stay within +-SINC_WEIGHT_ONE and their magnitudes sum to
// under 2 x SINC_WEIGHT_ONE, so no partial sum leaves 32 bits, and the
// vector loop gives the plain loop's integer.
inline int32_t dot8_reference(const int16_t* taps, const int16_t* weights) {
  int32_t sum = 0;
  for (int k = 0; k < SINC_TAPS; ++k) sum += int32_t{taps[k]} * weights[k];
  return sum;
}
inline int32_t dot8(const int16_t* taps, const int16_t* weights) {
#if defined(QM_DOT8_SSE2)
  __m128i p = _mm_madd_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(taps)),
                             _mm_load_si128(reinterpret_cast<const __m128i*>(weights)));
  p = _mm_add_epi32(p, _mm_shuffle_epi32(p, _MM_SHUFFLE(1, 0, 3, 2)));
  p = _mm_add_epi32(p, _mm_shuffle_epi32(p, _MM_SHUFFLE(2, 3, 0, 1)));
  return _mm_cvtsi128_si32(p);
#elif defined(QM_DOT8_WASM)
  v128_t p = wasm_i32x4_dot_i16x8(wasm_v128_load(taps), wasm_v128_load(weights));
  p = wasm_i32x4_add(p, wasm_i32x4_shuffle(p, p, 2, 3, 0, 1));
  p = wasm_i32x4_add(p, wasm_i32x4_shuffle(p, p, 1, 0, 3, 2));
  return wasm_i32x4_extract_lane(p, 0);
#else
  return dot8_reference(taps, weights);
#endif
}

// The same by the 8-tap windowed sinc over frames i - 3 .. i + 4.
inline double sinc8_at(const int16_t* data, uint64_t pos, const SampleEdges& edges) {
  alignas(16) int16_t scratch[SINC_TAPS];
  const auto whole = static_cast<int32_t>(static_cast<uint32_t>(pos >> 32));
  const int16_t* f = frames_from(data, whole - (SINC_TAPS / 2 - 1), SINC_TAPS, edges, scratch);
  const auto phase = static_cast<uint32_t>(pos) >> (32 - SINC_PHASE_BITS);
  constexpr double WEIGHT_UNIT = 1.0 / SINC_WEIGHT_ONE;
  return static_cast<double>(dot8(f, SINC_TABLE.weights[phase])) * WEIGHT_UNIT;
}

}  // namespace qm
