// interpolate.cpp: the cubic and windowed-sinc interpolations (see
// interpolate.h): their weight tables, built by the compiler, and the
// frames playback reaches past a loop's edges.
#include "music/interpolate.h"

#include <cstdint>

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

// The Lanczos kernel: the sinc under the central lobe of a sinc LOBES times
// wider; x frames from the position.
constexpr double lanczos(double x) {
  if (x <= -LOBES || x >= LOBES) return 0.0;
  return sinc(x) * sinc(x / LOBES);
}

// The Catmull-Rom cubic's weight of the frame x frames from the position.
constexpr double catmull_rom(double x) {
  const double a = x < 0.0 ? -x : x;
  if (a < 1.0) return 1.5 * a * a * a - 2.5 * a * a + 1.0;
  if (a < 2.0) return -0.5 * a * a * a + 2.5 * a * a - 4.0 * a + 2.0;
  return 0.0;
}

constexpr int32_t round_to_int(double v) { return static_cast<int32_t>(v + (v >= 0.0 ? 0.5 : -0.5)); }

// Tap k of a phase weighs frame i - TAPS/2 + 1 + k for the position i + t,
// which lies k - TAPS/2 + 1 - t frames from it. The weights are divided by
// their sum, so that a constant signal passes unchanged, then rounded; what
// the rounding leaves of TAP_WEIGHT_ONE goes to the largest one.
template <int TAPS, typename Kernel>
constexpr TapTable<TAPS> make_table(Kernel kernel) {
  TapTable<TAPS> table{};
  for (int p = 0; p < SINC_PHASES; ++p) {
    const double t = static_cast<double>(p) / SINC_PHASES;
    double real[TAPS] = {};
    double real_sum = 0.0;
    for (int k = 0; k < TAPS; ++k) {
      real[k] = kernel(k - (TAPS / 2 - 1) - t);
      real_sum += real[k];
    }
    int32_t sum = 0;
    int largest = 0;
    for (int k = 0; k < TAPS; ++k) {
      const int32_t w = round_to_int(real[k] / real_sum * TAP_WEIGHT_ONE);
      table.weights[p][k] = static_cast<int16_t>(w);
      sum += w;
      if (w > table.weights[p][largest]) largest = k;
    }
    table.weights[p][largest] = static_cast<int16_t>(table.weights[p][largest] + TAP_WEIGHT_ONE - sum);
  }
  return table;
}

constexpr TapTable<CUBIC_TAPS> CUBIC_VALUES = make_table<CUBIC_TAPS>(catmull_rom);
constexpr TapTable<SINC_TAPS> SINC_VALUES = make_table<SINC_TAPS>(lanczos);
static_assert(SINC_VALUES.weights[0][LOBES - 1] == TAP_WEIGHT_ONE, "phase 0 passes frame i alone");
static_assert(CUBIC_VALUES.weights[0][1] == TAP_WEIGHT_ONE, "phase 0 passes frame i alone");

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

bool has_loop(const Sample* s) { return s->loop_type == LOOP_FORWARD || s->loop_type == LOOP_PINGPONG; }

// The edges without the windows.
SampleEdges bare_edges(const Sample* s, bool wrapped) {
  SampleEdges e{};
  e.loop_start = static_cast<int32_t>(s->loop_start);
  e.loop_length = has_loop(s) ? static_cast<int32_t>(s->loop_length) : 0;
  e.pingpong = s->loop_type == LOOP_PINGPONG;
  e.first = e.loop_length > 0 && wrapped ? e.loop_start : -static_cast<int32_t>(SAMPLE_LEAD_FRAMES);
  e.end = e.loop_length > 0 ? e.loop_start + e.loop_length : static_cast<int32_t>(s->length + SAMPLE_SPARE_FRAMES);
  return e;
}

}  // namespace

constinit const TapTable<CUBIC_TAPS> CUBIC_TABLE = CUBIC_VALUES;
constinit const TapTable<SINC_TAPS> SINC_TABLE = SINC_VALUES;

SampleEdges sample_edges(const Voice* v, const Sample* s) {
  SampleEdges e = bare_edges(s, v->wrapped);
  if (e.loop_length >= LOOP_WINDOW_BEFORE) {
    e.end_window = s->end_window;
    if (v->wrapped) e.start_window = s->start_window;
  }
  return e;
}

void fill_loop_windows(Sample* s) {
  if (!has_loop(s) || s->loop_length < static_cast<uint32_t>(LOOP_WINDOW_BEFORE) || s->data == nullptr) return;
  const SampleEdges e = bare_edges(s, true);
  for (int32_t k = 0; k < LOOP_WINDOW_FRAMES; ++k) {
    s->end_window[k] = s->data[reach(e.end - LOOP_WINDOW_BEFORE + k, e)];
    s->start_window[k] = s->data[reach(e.first - LOOP_WINDOW_BEFORE + k, e)];
  }
}

const int16_t* gather_frames(const int16_t* data, int32_t lo, int32_t count, const SampleEdges& e,
                             int16_t* scratch) {
  for (int32_t k = 0; k < count; ++k) scratch[k] = data[reach(lo + k, e)];
  return scratch;
}

}  // namespace qm
