// interpolate.cpp: the cubic and windowed-sinc interpolations (see
// interpolate.h): the sinc table, built by the compiler, the reach of frames
// past a loop's edges, and the two kernels.
#include "music/interpolate.h"

#include <cstdint>

#include "music/mixer.h"
#include "music/voice.h"
#include "music/xm_format.h"

namespace qm {

namespace {

constexpr double PI = 3.14159265358979323846;
// The sinc's lobes on each side: its window spans -LOBES .. LOBES frames.
constexpr int LOBES = SINC_TAPS / 2;

// sin(pi x) from + - x / only, so the compiler gives every build the same
// table: x is brought into [-1/2, 1/2] by the period and the symmetry
// sin(pi (1 - r)) = sin(pi r), then a Taylor polynomial to the 17th power
// (error below 1e-15 there).
constexpr double sin_pi(double x) {
  const auto half_turns = static_cast<int64_t>(x / 2.0 + (x >= 0.0 ? 0.5 : -0.5));
  double r = x - 2.0 * static_cast<double>(half_turns);  // -1 .. 1
  if (r > 0.5) r = 1.0 - r;
  if (r < -0.5) r = -1.0 - r;
  const double y = PI * r;
  const double y2 = y * y;
  double sum = 1.0;
  for (int k = 17; k >= 3; k -= 2) sum = 1.0 - y2 / (static_cast<double>(k) * (k - 1)) * sum;
  return y * sum;
}

constexpr double sinc(double x) { return x == 0.0 ? 1.0 : sin_pi(x) / (PI * x); }

// The Lanczos kernel: the sinc under the central lobe of a sinc LOBES times wider.
constexpr double lanczos(double x) {
  if (x <= -LOBES || x >= LOBES) return 0.0;
  return sinc(x) * sinc(x / LOBES);
}

constexpr int32_t round_to_int(double v) { return static_cast<int32_t>(v + (v >= 0.0 ? 0.5 : -0.5)); }

// Tap k of a phase weighs frame i - 3 + k for the position i + t, which lies
// k - 3 - t frames from it. The weights are divided by their sum, so that a
// constant signal passes unchanged, then rounded; what the rounding leaves
// of SINC_WEIGHT_ONE goes to the largest one.
constexpr SincTable make_sinc_table() {
  SincTable table{};
  for (int p = 0; p < SINC_PHASES; ++p) {
    const double t = static_cast<double>(p) / SINC_PHASES;
    double real[SINC_TAPS] = {};
    double real_sum = 0.0;
    for (int k = 0; k < SINC_TAPS; ++k) {
      real[k] = lanczos(k - (LOBES - 1) - t);
      real_sum += real[k];
    }
    int32_t sum = 0;
    int largest = 0;
    for (int k = 0; k < SINC_TAPS; ++k) {
      const int32_t w = round_to_int(real[k] / real_sum * SINC_WEIGHT_ONE);
      table.weights[p][k] = static_cast<int16_t>(w);
      sum += w;
      if (w > table.weights[p][largest]) largest = k;
    }
    table.weights[p][largest] = static_cast<int16_t>(table.weights[p][largest] + SINC_WEIGHT_ONE - sum);
  }
  return table;
}

constexpr SincTable SINC_TABLE_VALUE = make_sinc_table();

static_assert(SINC_TABLE_VALUE.weights[0][LOBES - 1] == SINC_WEIGHT_ONE, "phase 0 passes frame i alone");

// Where frame j of a loop is heard from. A forward loop repeats every
// loop_length frames. A ping-pong loop turns round at its first frame and
// at its end, where the mixer reads the guard frame (a copy of the last
// one): frame end + m is heard as end - m, and start - m as start + m.
int32_t reach(int32_t j, const SampleEdges& e) {
  if (e.loop_length == 0 || (j >= e.first && j < e.end)) return j;
  const int64_t length = e.loop_length;
  const int64_t period = e.pingpong ? 2 * length : length;
  int64_t m = (int64_t{j} - e.loop_start) % period;
  if (m < 0) m += period;
  if (m == length) m = length - 1;  // the guard frame
  if (m > length) m = period - m;
  return e.loop_start + static_cast<int32_t>(m);
}

}  // namespace

SampleEdges sample_edges(const Voice* v, const Sample* s) {
  SampleEdges e{};
  const bool looped = s->loop_type == LOOP_FORWARD || s->loop_type == LOOP_PINGPONG;
  e.loop_start = static_cast<int32_t>(s->loop_start);
  e.loop_length = looped ? static_cast<int32_t>(s->loop_length) : 0;
  e.pingpong = s->loop_type == LOOP_PINGPONG;
  e.first = looped && v->wrapped ? e.loop_start : -static_cast<int32_t>(SAMPLE_LEAD_FRAMES);
  e.end = looped ? e.loop_start + e.loop_length : static_cast<int32_t>(s->length + SAMPLE_SPARE_FRAMES);
  return e;
}

const int16_t* gather_frames(const int16_t* data, int32_t lo, int32_t count, const SampleEdges& e,
                             int16_t* scratch) {
  for (int32_t k = 0; k < count; ++k) scratch[k] = data[reach(lo + k, e)];
  return scratch;
}

constinit const SincTable SINC_TABLE = SINC_TABLE_VALUE;

}  // namespace qm
