// mixer.cpp: the voice mixer. Adds every sounding voice of slots 0..63 into a
// float stereo buffer: 32.32 fixed-point positions and steps, linear
// interpolation, gain ramps, forward and ping-pong loops, sample ends.
// Owns: nothing between calls (everything that lasts is in the voices).
// Touches: the player's voices 0..63 and the samples they point at (read
// only); reads the player's ramp_length and ramp_length_inv.
// Thread: the thread rendering the player; one call at a time per player.
#include "music/mixer.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "music/channel.h"
#include "music/interpolate.h"
#include "music/mixer_fast.h"
#include "music/player.h"
#include "music/voice.h"

namespace qm {

constexpr float GAIN_UNIT = 1.0f / 255.0f;  // 0.0039215689: gain 255 is 1.0
constexpr double APPLIED_GAIN_UNIT = 1.0 / 256.0;  // applied gains are x 256

// A boundary at least this many whole frames away is out of reach of a chunk.
constexpr uint32_t FAR_BOUNDARY_FRAMES = 1u << 24;
// A chunk mixes at most this many frames, so that even at the largest step it
// moves less than FAR_BOUNDARY_FRAMES and its rounding keeps the last frame
// within one frame of its boundary. Real calls are block-sized, far below it.
constexpr uint32_t MAX_CHUNK_FRAMES = 65536;
// Largest step the chunk count handles exactly: 255 whole frames and a fraction.
constexpr uint64_t MAX_MIX_STEP = (uint64_t{256} << 32) - 1;
// Loops and samples reaching this far would leave the signed position range.
constexpr uint64_t MAX_LOOP_END = (uint64_t{1} << 31) - 1024;

// Rounds to single precision. The volatile keeps the rounding: GCC 12 at -O2
// otherwise drops a double -> float -> double round trip when it vectorises
// the gains (255 / 255 then comes out as 1.0000000591 instead of 1.0).
static inline float to_single(double x) {
  volatile float rounded = static_cast<float>(x);
  return rounded;
}

// The value at pos, interpolated from data[i] and data[i + 1] (the whole
// part is signed, so a position just before frame 0 reads the zero lead
// frames), in double.
static inline double linear_at(const int16_t* data, uint64_t pos) {
  int32_t i = whole_part(pos);
  double t = static_cast<double>(static_cast<uint32_t>(pos) >> 1) * FRACTION_UNIT;
  double a = data[i];
  double b = data[i + 1];
  return a + t * (b - a);
}

// Adds the value x of one frame at the gains: products and sums in double,
// each sum rounded to float as stored.
static inline void add_frame(float* out, double x, double gain_left, double gain_right) {
  out[0] = static_cast<float>(static_cast<double>(out[0]) + x * gain_left);
  out[1] = static_cast<float>(static_cast<double>(out[1]) + x * gain_right);
}

// Mixes one frame at pos with the linear interpolation.
static inline void mix_frame(float* out, const int16_t* data, uint64_t pos, double gain_left,
                             double gain_right) {
  add_frame(out, linear_at(data, pos), gain_left, gain_right);
}

// The lowest fraction bit is dropped before every advance.
static inline uint64_t advance(uint64_t pos, uint64_t step) { return (pos & ~uint64_t{1}) + step; }

// How a voice's frames are interpolated: the linear interpolation through
// the player's loops, or a weight table of interpolate.h, which reads the
// frames around a position within the sample's edges.
template <Interpolation I>
struct Kernel {
  SteadyMixer steady;  // the linear steady loop
  RampMixer ramp;      // the linear ramp loop; null: the scalar ramp
  SampleEdges edges;   // the voice's, for the tables
  bool plain;          // frame by frame only, without the vector pairs (the reference)

  static constexpr int TAPS = I == INTERPOLATION_SINC8 ? SINC_TAPS : CUBIC_TAPS;
  static const TapTable<TAPS>& table() {
    if constexpr (I == INTERPOLATION_SINC8) return SINC_TABLE;
    else return CUBIC_TABLE;
  }

  double at(const int16_t* data, uint64_t pos) const {
    if constexpr (I == INTERPOLATION_LINEAR) return linear_at(data, pos);
    else return table_at<TAPS>(data, pos, edges, table());
  }

  // n frames at the same gains (as a SteadyMixer does).
  uint64_t run(float* out, const int16_t* data, uint64_t pos, uint64_t step, int32_t n, float gain_left,
               float gain_right) const {
    if constexpr (I == INTERPOLATION_LINEAR) {
      return steady(out, data, pos, step, n, gain_left, gain_right);
    } else {
      int32_t j = 0;
#if defined(QM_TAPS_SSE2)
      if (!plain) j = run_pairs(out, data, &pos, step, n, gain_left, gain_right);
#endif
      for (; j < n; ++j) {
        add_frame(out + 2 * j, at(data, pos), gain_left, gain_right);
        pos = advance(pos, step);
      }
      return pos;
    }
  }

#if defined(QM_TAPS_SSE2)
  // The frames of run two at a time, each lane doing the scalar frame's
  // operations; returns the frames mixed (n rounded down to even).
  int32_t run_pairs(float* out, const int16_t* data, uint64_t* pos, uint64_t step, int32_t n, float gain_left,
                    float gain_right) const {
    const __m128d gains = _mm_set_pd(gain_right, gain_left);
    const __m128d unit = _mm_set1_pd(TAP_WEIGHT_UNIT);
    int16_t scratch_a[TAPS], scratch_b[TAPS];
    uint64_t p = *pos;
    int32_t j = 0;
    for (; j + 1 < n; j += 2) {
      const TapsAt<TAPS> a = taps_at<TAPS>(data, p, edges, table(), scratch_a);
      p = advance(p, step);
      const TapsAt<TAPS> b = taps_at<TAPS>(data, p, edges, table(), scratch_b);
      p = advance(p, step);
      const __m128d x = _mm_mul_pd(_mm_cvtepi32_pd(dot_pair<TAPS>(a, b)), unit);
      float* o = out + 2 * j;
      const __m128d first = _mm_cvtps_pd(_mm_castpd_ps(_mm_load_sd(reinterpret_cast<const double*>(o))));
      const __m128d second = _mm_cvtps_pd(_mm_castpd_ps(_mm_load_sd(reinterpret_cast<const double*>(o + 2))));
      const __m128 sum_a = _mm_cvtpd_ps(_mm_add_pd(first, _mm_mul_pd(_mm_unpacklo_pd(x, x), gains)));
      const __m128 sum_b = _mm_cvtpd_ps(_mm_add_pd(second, _mm_mul_pd(_mm_unpackhi_pd(x, x), gains)));
      _mm_storel_pd(reinterpret_cast<double*>(o), _mm_castps_pd(sum_a));
      _mm_storel_pd(reinterpret_cast<double*>(o + 2), _mm_castps_pd(sum_b));
    }
    *pos = p;
    return j;
  }
#endif
};
using LinearKernel = Kernel<INTERPOLATION_LINEAR>;

uint64_t mix_steady_reference(float* out, const int16_t* data, uint64_t pos, uint64_t step,
                              int32_t n, float gain_left, float gain_right) {
  int32_t j = 0;
  for (; j + 1 < n; j += 2) {
    mix_frame(out, data, pos, gain_left, gain_right);
    pos = advance(pos, step);
    mix_frame(out + 2, data, pos, gain_left, gain_right);
    pos = advance(pos, step);
    out += 4;
  }
  if (j < n) {
    mix_frame(out, data, pos, gain_left, gain_right);
    pos = advance(pos, step);
  }
  return pos;
}

static uint64_t with_whole(uint64_t pos, int64_t whole) {
  return (uint64_t{static_cast<uint32_t>(whole)} << 32) | static_cast<uint32_t>(pos);
}

// The divisor of the boundary count: the step at 24.8 precision and its
// reciprocal, fixed while a voice is mixed.
struct StepCount {
  uint64_t step;    // step >> 8, below 2^32; 0 for steps below 1/2^24 frame
  double inverse;   // 1 / step
};

static StepCount step_count(uint64_t step) {
  uint64_t s = step >> 8;
  return StepCount{s, s != 0 ? 1.0 / static_cast<double>(s) : 0.0};
}

// ceil(d / s) for d below 2^48: d x (1 / s) in double lies within 1/16 of
// d / s, so its whole part is at most one off floor(d / s), and one
// correction either way (without branches: they would follow the data)
// makes the quotient exact.
static uint64_t divide_up(uint64_t d, const StepCount& s) {
  const auto step = static_cast<int64_t>(s.step);
  auto q = static_cast<int64_t>(static_cast<double>(static_cast<int64_t>(d)) * s.inverse);
  int64_t r = static_cast<int64_t>(d) - q * step;
  int64_t under = r >> 63;  // -1 when the estimate was one too high
  q += under;
  r += under & step;
  int64_t over = -static_cast<int64_t>(r >= step);  // -1 when it was one too low
  q -= over;
  r -= over & step;
  return static_cast<uint64_t>(q) + (r != 0 ? 1 : 0);
}

// Frames until the chunk reaches its boundary, counted at 24.8 precision.
// Sets *reaches when the boundary falls within budget frames.
static uint32_t frames_to_boundary(uint64_t distance, const StepCount& step, uint32_t budget,
                                   bool* reaches) {
  *reaches = false;
  if (static_cast<int64_t>(distance) < 0) {  // already past it: handle it at once
    *reaches = true;
    return 0;
  }
  if ((distance >> 32) >= FAR_BOUNDARY_FRAMES) return budget;
  if (step.step == 0) return budget;  // a step this small moves less than a frame per chunk
  uint64_t k = divide_up(distance >> 8, step);  // below 2^24 frames: distance >> 8 < 2^48
  if (k > budget) return budget;
  *reaches = true;
  return static_cast<uint32_t>(k);
}

static float ramp_increment(int32_t difference, float length_inv) {
  return to_single(static_cast<double>(difference) * static_cast<double>(GAIN_UNIT) *
                   static_cast<double>(length_inv));
}

// round(gain x 255 x 256), ties to even, held inside 32 bits.
static int32_t applied_gain(double gain) {
  double scaled = std::nearbyint(gain * 255.0 * 256.0);
  if (scaled >= 2147483647.0) return INT32_MAX;
  if (scaled <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(scaled);
}

// Continues the running ramp, or sets up a new one when a target gain moved
// away from the applied gain. Returns the ramp's frames left (0: no ramp).
// Always inlined: it runs once a chunk, and a voice on a short loop is mixed
// in many chunks a block; the mixer's several instantiations would
// otherwise leave it out of line.
[[gnu::always_inline]] static inline int32_t set_up_ramp(const Player* p, Voice* v, float* inc_left,
                                                         float* inc_right) {
  if (v->ramp_frames != 0 && v->gain_left == v->ramp_goal_left &&
      v->gain_right == v->ramp_goal_right) {
    *inc_left = v->ramp_inc_left;
    *inc_right = v->ramp_inc_right;
    return v->ramp_frames;
  }
  int32_t ramp = 0;
  *inc_left = 0.0f;
  *inc_right = 0.0f;
  v->ramp_goal_left = v->gain_left;
  int32_t diff_left = v->gain_left - static_cast<int32_t>(static_cast<uint32_t>(v->cur_gain_left) >> 8);
  if (diff_left != 0) {
    *inc_left = ramp_increment(diff_left, p->ramp_length_inv);
    v->ramp_inc_left = *inc_left;
    ramp = p->ramp_length;
  }
  v->ramp_goal_right = v->gain_right;
  int32_t diff_right = v->gain_right - static_cast<int32_t>(static_cast<uint32_t>(v->cur_gain_right) >> 8);
  if (diff_right != 0) {
    *inc_right = ramp_increment(diff_right, p->ramp_length_inv);
    v->ramp_inc_right = *inc_right;
    ramp = p->ramp_length;
  }
  return ramp;
}

// Applies a loop point or the sample end reached by a chunk. Returns false
// when the voice has stopped. Always inlined, as set_up_ramp: short loops
// reach it every few frames.
[[gnu::always_inline]] static inline bool boundary_event(Voice* v, const Sample* smp, uint64_t* pos) {
  int64_t loop_start = smp->loop_start;
  int64_t loop_length = smp->loop_length;
  int64_t loop_end = loop_start + loop_length;
  if (loop_length > 0 && smp->loop_type == LOOP_FORWARD) {
    int64_t whole = whole_part(*pos) - loop_length;
    if (whole >= loop_end) whole = loop_start + (whole - loop_start) % loop_length;
    *pos = with_whole(*pos, whole);
    v->wrapped = true;
    return true;
  }
  if (loop_length > 0 && smp->loop_type == LOOP_PINGPONG) {
    // Reflect at the end and the start until the position lies in the loop;
    // the subtracted 1 is one unit of 2^-32 frame.
    bool at_end = v->direction != DIRECTION_BACKWARD;
    v->wrapped = true;
    for (;;) {
      if (at_end) {
        *pos = (uint64_t(loop_end) << 33) - *pos - 1;
        v->direction = DIRECTION_BACKWARD;
        if (whole_part(*pos) >= loop_start) return true;
      } else {
        *pos = (uint64_t(loop_start) << 33) - *pos - 1;
        v->direction = DIRECTION_FORWARD;
        if (whole_part(*pos) < loop_end) return true;
      }
      at_end = !at_end;
    }
  }
  v->sample = nullptr;  // no loop: the voice has played its sample
  *pos = 0;
  return false;
}

static void store_position(Voice* v, uint64_t pos) {
  v->pos_int = static_cast<uint32_t>(pos >> 32);
  v->pos_frac = static_cast<uint32_t>(pos);
}

// The position after n frames from pos: the same n advances one by one.
static uint64_t advance_frames(uint64_t pos, uint64_t step, uint32_t n) {
  if (n == 0) return pos;
  return (pos & ~uint64_t{1}) + (n - 1) * (step & ~uint64_t{1}) + step;
}

// Moves a voice going forward, with no ramp running, through n frames at
// once: to the position the chunks would reach one by one, as a forward
// loop's wraps only take whole loop lengths off and a sample without a loop
// stops at its end.
static void skip_forward(Voice* v, const Sample* smp, uint64_t pos, uint64_t step, uint32_t n) {
  const uint64_t after = advance_frames(pos, step, n);
  const uint64_t whole = after >> 32;
  const uint64_t loop_end = uint64_t{smp->loop_start} + smp->loop_length;
  if (whole < loop_end) {
    store_position(v, after);
  } else if (smp->loop_type == LOOP_FORWARD && smp->loop_length > 0) {
    const uint64_t wrapped = smp->loop_start + (whole - smp->loop_start) % smp->loop_length;
    store_position(v, (wrapped << 32) | static_cast<uint32_t>(after));
    v->wrapped = true;
  } else {
    v->sample = nullptr;  // played to its end
    store_position(v, 0);
  }
}

// True when every gain a chunk without a ramp applies is 0. Its products are
// then zeros, and adding a zero to a float that is not -0.0 leaves it as it
// is; the accumulator never holds -0.0 (it starts at +0.0, and a sum rounds to
// -0.0 only when both terms are -0.0), so such a chunk only moves the position.
static bool silent(const Voice* v) {
  return (v->gain_left | v->gain_right | v->cur_gain_left | v->cur_gain_right) == 0;
}

// The gains of a chunk without a ramp: the steady ones for its pairs of
// frames, the applied ones for an odd last frame. They change only when a
// ramp moves the applied gains, so a voice's mix forms them once per ramp.
struct ChunkGains {
  float left, right;                // target gain / 255
  float applied_left, applied_right; // applied gain / 256 / 255
  bool same;                        // the applied gains equal the steady ones
};

// The scalar ramp: frame j at the gains before it, then each gain moves by
// its increment. Leaves the gains after the last frame in *left and *right.
template <Interpolation I>
static uint64_t mix_ramp_frames(const Kernel<I>& kernel, float* out, const int16_t* data, uint64_t pos,
                                uint64_t step, uint32_t n, double* left, double* right, float inc_left,
                                float inc_right) {
  for (uint32_t j = 0; j < n; ++j) {
    add_frame(out + 2 * j, kernel.at(data, pos), *left, *right);
    pos = advance(pos, step);
    *left += inc_left;
    *right += inc_right;
  }
  return pos;
}

bool mix_ramp_reference(float* out, const int16_t* data, uint64_t* pos, uint64_t step, int32_t n, double left,
                        double right, float inc_left, float inc_right) {
  if (n < 1) return false;
  *pos = mix_ramp_frames(LinearKernel{}, out, data, *pos, step, static_cast<uint32_t>(n), &left, &right, inc_left,
                         inc_right);
  return true;
}

// The bits of a float or a double (the browser build's library lacks std::bit_cast).
static uint32_t bits_of(float x) {
  uint32_t bits;
  std::memcpy(&bits, &x, sizeof bits);
  return bits;
}
static uint64_t bits_of(double x) {
  uint64_t bits;
  std::memcpy(&bits, &x, sizeof bits);
  return bits;
}

static ChunkGains chunk_gains(const Voice* v) {
  ChunkGains g{};
  g.left = to_single(v->gain_left * static_cast<double>(GAIN_UNIT));
  g.right = to_single(v->gain_right * static_cast<double>(GAIN_UNIT));
  g.applied_left = to_single(v->cur_gain_left * APPLIED_GAIN_UNIT * static_cast<double>(GAIN_UNIT));
  g.applied_right = to_single(v->cur_gain_right * APPLIED_GAIN_UNIT * static_cast<double>(GAIN_UNIT));
  g.same = bits_of(g.left) == bits_of(g.applied_left) && bits_of(g.right) == bits_of(g.applied_right);
  return g;
}

// A chunk without a ramp: pairs of frames at the steady gains, an odd last
// frame at the applied gains (in one call when they are the same). Returns
// the position after the chunk.
template <Interpolation I>
static uint64_t mix_steady_chunk(const Kernel<I>& kernel, const ChunkGains& g, float* out, const int16_t* data,
                                 uint64_t pos, uint64_t step, uint32_t n) {
  if ((n & 1) == 0 || g.same) return kernel.run(out, data, pos, step, static_cast<int32_t>(n), g.left, g.right);
  int32_t pairs = static_cast<int32_t>(n - 1);
  pos = kernel.run(out, data, pos, step, pairs, g.left, g.right);
  add_frame(out + 2 * pairs, kernel.at(data, pos), g.applied_left, g.applied_right);
  return advance(pos, step);
}

// The exponent e of a nonzero double, 2^e <= |x| < 2^(e + 1), read from its
// bits; a subnormal gives the exponent field's bias, below every normal one,
// which only makes ramp_is_exact more cautious.
static int binary_exponent(double x) {
  constexpr int EXPONENT_SHIFT = DBL_MANT_DIG - 1;
  constexpr uint64_t EXPONENT_MASK = 0x7FF;
  constexpr int EXPONENT_BIAS = DBL_MAX_EXP - 1;
  return static_cast<int>((bits_of(x) >> EXPONENT_SHIFT) & EXPONENT_MASK) - EXPONENT_BIAS;
}

// True when start + j x inc is an exact double for every j = 0..n, so that
// adding inc n times one by one gives start + n x inc with no rounding.
// start and inc are floats, so all those values are multiples of 2^q (q the
// lower weight of their last significand bits) and exact below 2^(q + 53);
// the bound keeps one bit of margin for its own rounding.
static bool ramp_is_exact(double start, float inc, uint32_t n) {
  if (inc == 0.0f) return true;
  int q = binary_exponent(inc) - (FLT_MANT_DIG - 1);
  if (start != 0.0) q = std::min(q, binary_exponent(start) - (FLT_MANT_DIG - 1));
  double largest = std::fabs(start) + static_cast<double>(n) * std::fabs(static_cast<double>(inc));
  return binary_exponent(largest) < q + DBL_MANT_DIG - 1;
}

// A chunk inside a ramp: the applied gains move by the increments after each
// frame, then are stored back (exactly on the targets when the ramp ends).
// The ramp loop, when there is one, mixes the chunk when its gains are exact.
// What a voice's chunk loop does with its frames: mixes them, or only moves
// the voice through them as mixing would (for a seek).
enum class ChunkWork { MIX, ADVANCE };

template <ChunkWork WORK, Interpolation I>
static uint64_t mix_ramp_chunk(const Kernel<I>& kernel, Voice* v, float* out, const int16_t* data, uint64_t pos,
                               uint64_t step, uint32_t n, int32_t ramp, float inc_left, float inc_right) {
  double left = to_single(v->cur_gain_left * APPLIED_GAIN_UNIT * static_cast<double>(GAIN_UNIT));
  double right = to_single(v->cur_gain_right * APPLIED_GAIN_UNIT * static_cast<double>(GAIN_UNIT));
  const bool exact = ramp_is_exact(left, inc_left, n) && ramp_is_exact(right, inc_right, n);
  if (WORK == ChunkWork::ADVANCE) {
    pos = advance_frames(pos, step, n);
    if (exact) {
      left += static_cast<double>(n) * inc_left;
      right += static_cast<double>(n) * inc_right;
    } else {
      for (uint32_t j = 0; j < n; ++j) {  // rounded frame by frame, as mixing sums them
        left += inc_left;
        right += inc_right;
      }
    }
  } else if (kernel.ramp != nullptr && exact &&
             kernel.ramp(out, data, &pos, step, static_cast<int32_t>(n), left, right, inc_left, inc_right)) {
    left += static_cast<double>(n) * inc_left;  // exact, as checked
    right += static_cast<double>(n) * inc_right;
  } else {
    pos = mix_ramp_frames(kernel, out, data, pos, step, n, &left, &right, inc_left, inc_right);
  }
  if (n > 0) {
    v->cur_gain_left = applied_gain(left);
    v->cur_gain_right = applied_gain(right);
  }
  v->ramp_frames = ramp - static_cast<int32_t>(n);
  if (v->ramp_frames == 0) {
    v->ramp_inc_left = 0.0f;
    v->ramp_inc_right = 0.0f;
    v->cur_gain_left = v->gain_left * 256;
    v->cur_gain_right = v->gain_right * 256;
  }
  return pos;
}

// Mixes one sounding voice for frames output frames (or, ADVANCE, moves it
// through them), chunk by chunk; a chunk never crosses a loop point, a
// sample end or the end of a ramp.
template <ChunkWork WORK, Interpolation I>
static void mix_voice(const Player* p, Voice* v, float* out, uint32_t frames, Kernel<I> kernel) {
  const Sample* smp = v->sample;
  uint64_t loop_end = uint64_t{smp->loop_start} + smp->loop_length;
  if (loop_end > smp->length || loop_end > MAX_LOOP_END || (smp->data == nullptr && smp->length > 0)) {
    v->sample = nullptr;  // a loop past the sample's data is never played
    return;
  }
  uint64_t step = (uint64_t{v->step_int} << 32) | v->step_frac;
  if (step > MAX_MIX_STEP) step = MAX_MIX_STEP;
  const StepCount count = step_count(step);
  uint64_t pos = (uint64_t{v->pos_int} << 32) | v->pos_frac;
  ChunkGains gains = WORK == ChunkWork::MIX ? chunk_gains(v) : ChunkGains{};
  uint32_t remaining = frames;
  for (;;) {
    bool backward = v->direction == DIRECTION_BACKWARD;
    uint64_t distance = backward ? pos - (uint64_t{smp->loop_start} << 32) : (loop_end << 32) - pos;
    uint32_t budget = remaining < MAX_CHUNK_FRAMES ? remaining : MAX_CHUNK_FRAMES;
    bool reaches = false;
    uint32_t n = frames_to_boundary(distance, count, budget, &reaches);
    uint32_t planned = n;
    uint64_t signed_step = backward ? uint64_t{0} - step : step;
    if constexpr (I != INTERPOLATION_LINEAR) kernel.edges = sample_edges(v, smp);

    float inc_left = 0.0f, inc_right = 0.0f;
    int32_t ramp = set_up_ramp(p, v, &inc_left, &inc_right);
    if (ramp > 0) {
      v->ramp_frames = ramp;
      if (n > static_cast<uint32_t>(ramp)) n = static_cast<uint32_t>(ramp);
      pos = mix_ramp_chunk<WORK>(kernel, v, out, smp->data, pos, signed_step, n, ramp, inc_left, inc_right);
      if (WORK == ChunkWork::MIX) gains = chunk_gains(v);
      if (n < planned) reaches = false;  // the ramp ended first: count again from here
    } else if (WORK == ChunkWork::ADVANCE || silent(v)) {
      if (!backward && smp->loop_type != LOOP_PINGPONG) {
        skip_forward(v, smp, pos, step, remaining);  // the rest at once: nothing to mix
        return;
      }
      pos = advance_frames(pos, signed_step, n);
    } else {
      pos = mix_steady_chunk(kernel, gains, out, smp->data, pos, signed_step, n);
    }

    bool playing = !reaches || boundary_event(v, smp, &pos);
    store_position(v, pos);
    if (!playing) return;
    if (WORK == ChunkWork::MIX) out += 2 * static_cast<size_t>(n);
    remaining -= n;
    if (remaining == 0) return;
  }
}

template <Interpolation I>
static void mix_voices_with(Player* player, float* accum, int32_t frames, const Kernel<I>& kernel) {
  if (accum == nullptr || frames < 1) return;
  for (int i = 0; i < MIXED_VOICES; ++i) {
    Voice* v = &player->voices[i];
    if (v->sample != nullptr) mix_voice<ChunkWork::MIX>(player, v, accum, static_cast<uint32_t>(frames), kernel);
  }
}

void mix_voices_using(Player* player, float* accum, int32_t frames, SteadyMixer steady, RampMixer ramp) {
  mix_voices_with(player, accum, frames, LinearKernel{steady, ramp, {}, false});
}

// Mixes with the player's interpolation: through the player's optimised
// loops, or (plain) the scalar ones.
static void mix_voices_as_set(Player* player, float* accum, int32_t frames, bool plain) {
  switch (player->interpolation) {
    case INTERPOLATION_CUBIC:
      mix_voices_with(player, accum, frames, Kernel<INTERPOLATION_CUBIC>{nullptr, nullptr, {}, plain});
      break;
    case INTERPOLATION_SINC8:
      mix_voices_with(player, accum, frames, Kernel<INTERPOLATION_SINC8>{nullptr, nullptr, {}, plain});
      break;
    default:
      if (plain) mix_voices_using(player, accum, frames, mix_steady_reference, nullptr);
      else mix_voices_using(player, accum, frames, player->steady_loop, player->ramp_loop);
      break;
  }
}

void mix_voices_reference(Player* player, float* accum, int32_t frames) {
  mix_voices_as_set(player, accum, frames, true);
}

// Stops every voice that no channel plays and that is silent with no ramp
// running: it can never be heard again (a channel takes such a slot back
// only through a handover, which overwrites it), so moving it through its
// loops would only cost time.
// The voices are looked at first: most of the time none is silent, and the
// channels need not be read.
static void stop_unheard_voices(Player* p) {
  uint64_t quiet = 0;
  for (int i = 0; i < MIXED_VOICES; ++i) {
    const Voice* v = &p->voices[i];
    if (v->sample != nullptr && v->ramp_frames == 0 && silent(v)) quiet |= uint64_t{1} << i;
  }
  if (quiet == 0) return;
  for (const Channel& c : p->channels) {
    ptrdiff_t slot = c.voice - p->voices;
    if (c.voice != nullptr && slot >= 0 && slot < MIXED_VOICES) quiet &= ~(uint64_t{1} << slot);
  }
  for (int i = 0; i < MIXED_VOICES; ++i) {
    if ((quiet >> i) & 1) p->voices[i].sample = nullptr;
  }
}

void mix_voices(Player* player, float* accum, int32_t frames) {
  mix_voices_as_set(player, accum, frames, false);
}

void release_unheard_voices(Player* player) {
  if (stops_unheard_voices()) stop_unheard_voices(player);
}

void advance_voices(Player* player, int32_t frames) {
  if (frames < 1) return;
  for (int i = 0; i < MIXED_VOICES; ++i) {
    Voice* v = &player->voices[i];
    if (v->sample != nullptr)
      mix_voice<ChunkWork::ADVANCE>(player, v, nullptr, static_cast<uint32_t>(frames), LinearKernel{});
  }
}
}  // namespace qm
