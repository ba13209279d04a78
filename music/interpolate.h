// interpolate.h: the interpolations besides the linear one, for listeners
// who want fewer aliasing artefacts than the exact default mixing gives: a
// 4-point cubic (Catmull-Rom) and an 8-tap windowed sinc (Lanczos, 4 lobes).
// Both weigh the frames around a position with integer weights from a table
// of SINC_PHASES phases, which the compiler builds with IEEE arithmetic
// only, and sum the products in integers: every machine, build, chunk size
// and vector path gives the same bytes.
//
// Frames a kernel reads outside the part of a sample it may read as stored
// (SampleEdges) are taken where playback reaches them: a forward loop
// wraps, a ping-pong loop turns round, and frames past a sample without a
// loop are zeros; before a loop has wrapped once, the frames before its
// start are the sample's own. Loops of at least LOOP_WINDOW_BEFORE frames
// keep those frames ready in the sample (fill_loop_windows); shorter ones
// gather them frame by frame.
// Owns: the two constant tables (interpolate.cpp). Thread: any.
#pragma once
#include <cstdint>

#include "music/module.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define QM_TAPS_SSE2 1
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
  bool pingpong;        // the loop turns round instead of wrapping
  const int16_t* end_window;   // the sample's, or null: frames end - 8 .. end + 7
  const int16_t* start_window; // the sample's once wrapped, or null: frames first - 8 .. first + 7
};

// The edges for voice v playing sample s (a sample the mixer accepted: its
// loop lies inside its data).
SampleEdges sample_edges(const Voice* v, const Sample* s);
// Fills s's loop windows from its frames (after its guard frame is written).
void fill_loop_windows(Sample* s);

// Copies frames lo .. lo + count - 1 of a sample into scratch from where
// playback reaches them; returns scratch.
const int16_t* gather_frames(const int16_t* data, int32_t lo, int32_t count, const SampleEdges& edges,
                             int16_t* scratch);

// The count (at most 8) frames from frame lo: straight from the sample when
// they lie inside the edges, from a loop window when they cross one,
// otherwise gathered into scratch.
inline const int16_t* frames_from(const int16_t* data, int32_t lo, int32_t count, const SampleEdges& e,
                                  int16_t* scratch) {
  if (lo >= e.first && lo + count <= e.end) return data + lo;
  if (e.end_window != nullptr && lo + count > e.end && lo >= e.end - LOOP_WINDOW_BEFORE)
    return e.end_window + (lo - (e.end - LOOP_WINDOW_BEFORE));
  if (e.start_window != nullptr && lo < e.first && lo >= e.first - LOOP_WINDOW_BEFORE)
    return e.start_window + (lo - (e.first - LOOP_WINDOW_BEFORE));
  return gather_frames(data, lo, count, e, scratch);
}

// The weights: SINC_PHASES phases (the fraction in steps of 1/SINC_PHASES)
// of TAPS weights each, scaled by TAP_WEIGHT_ONE and summing to it exactly;
// tap k weighs frame i - TAPS/2 + 1 + k for a position i + t. They stay
// within +-TAP_WEIGHT_ONE and their magnitudes sum to under twice it, so
// no partial sum of products with 16-bit frames leaves 32 bits.
constexpr int SINC_PHASE_BITS = 11;
constexpr int SINC_PHASES = 1 << SINC_PHASE_BITS;
constexpr int32_t TAP_WEIGHT_ONE = 1 << 14;
constexpr int CUBIC_TAPS = 4;
constexpr int SINC_TAPS = 8;
template <int TAPS>
struct TapTable {
  alignas(16) int16_t weights[SINC_PHASES][TAPS];
};
extern const TapTable<CUBIC_TAPS> CUBIC_TABLE;
extern const TapTable<SINC_TAPS> SINC_TABLE;

// The sum of taps[k] x weights[k] over the TAPS taps, exactly.
template <int TAPS>
inline int32_t dot_reference(const int16_t* taps, const int16_t* weights) {
  int32_t sum = 0;
  for (int k = 0; k < TAPS; ++k) sum += int32_t{taps[k]} * weights[k];
  return sum;
}

// The frames and weights a kernel applies at pos.
template <int TAPS>
struct TapsAt {
  const int16_t* frames;
  const int16_t* weights;
};
template <int TAPS>
inline TapsAt<TAPS> taps_at(const int16_t* data, uint64_t pos, const SampleEdges& e, const TapTable<TAPS>& table,
                            int16_t* scratch) {
  const auto whole = static_cast<int32_t>(static_cast<uint32_t>(pos >> 32));
  const auto phase = static_cast<uint32_t>(pos) >> (32 - SINC_PHASE_BITS);
  return {frames_from(data, whole - (TAPS / 2 - 1), TAPS, e, scratch), table.weights[phase]};
}

constexpr double TAP_WEIGHT_UNIT = 1.0 / TAP_WEIGHT_ONE;

// The kernel's value at pos, in sample units (16-bit range), exact from the
// integer sum (a power-of-two scale).
template <int TAPS>
inline double table_at(const int16_t* data, uint64_t pos, const SampleEdges& e, const TapTable<TAPS>& table) {
  int16_t scratch[TAPS];
  const TapsAt<TAPS> t = taps_at(data, pos, e, table, scratch);
  return static_cast<double>(dot_reference<TAPS>(t.frames, t.weights)) * TAP_WEIGHT_UNIT;
}

#if defined(QM_TAPS_SSE2)
// The integer sums of two positions' taps, in lanes 0 and 1: the same
// integers as dot_reference gives (integer sums do not depend on order).
template <int TAPS>
inline __m128i dot_pair(const TapsAt<TAPS>& a, const TapsAt<TAPS>& b) {
  __m128i pa, pb;
  if constexpr (TAPS == SINC_TAPS) {
    pa = _mm_madd_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a.frames)),
                        _mm_load_si128(reinterpret_cast<const __m128i*>(a.weights)));
    pb = _mm_madd_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(b.frames)),
                        _mm_load_si128(reinterpret_cast<const __m128i*>(b.weights)));
  } else {
    pa = _mm_madd_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(a.frames)),
                        _mm_loadl_epi64(reinterpret_cast<const __m128i*>(a.weights)));
    pb = _mm_madd_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(b.frames)),
                        _mm_loadl_epi64(reinterpret_cast<const __m128i*>(b.weights)));
  }
  // [a0 b0 a1 b1] + [a2 b2 a3 b3], then the upper pair onto the lower.
  __m128i s = _mm_add_epi32(_mm_unpacklo_epi32(pa, pb), _mm_unpackhi_epi32(pa, pb));
  return _mm_add_epi32(s, _mm_unpackhi_epi64(s, s));
}
#endif

}  // namespace qm
