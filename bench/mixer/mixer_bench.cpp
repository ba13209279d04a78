// mixer_bench: the voice mixer on 32 voices, in block-sized calls as the
// output's block fill makes them. Reports the time per voice-frame
// ("per_voice_frame") for:
//   Steady:    long forward loops, gains fixed (no ramps, no boundaries);
//   Ramps:     target gains change before every 128-frame call;
//   LoopHeavy: ping-pong loops of 8 frames, a boundary every few frames;
//   ShortLoops: forward loops of 32 frames, a boundary every 24 or so;
//   Silent:    long forward loops at gain 0 (moved, not mixed).
// Argument 0 runs mix_voices (the optimised path), 1 mix_voices_reference.
// SteadyLoop times each steady loop alone (per frame), and AccumulateFloor
// the part of it no exact loop can leave out: each frame's float sums
// widened to double, the products added and the sums rounded back to float,
// with the frame read as it is (no interpolation, no position arithmetic).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "music/mixer.h"
#include "music/mixer_fast.h"
#include "music/player.h"
#include "music/voice.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

using namespace qm;

namespace {

constexpr int BENCH_VOICES = 32;
constexpr int32_t BLOCK = 884;

struct BenchSample {
  std::vector<int16_t> block;
  Sample sample{};
  BenchSample(uint32_t length, uint8_t loop_type, uint32_t loop_start, uint32_t loop_length) {
    block.assign(SAMPLE_LEAD_FRAMES + length + SAMPLE_SPARE_FRAMES, 0);
    uint32_t seed = 12345;
    for (uint32_t i = 0; i < length; ++i) {
      seed = seed * 1664525u + 1013904223u;
      block[SAMPLE_LEAD_FRAMES + i] = static_cast<int16_t>(seed >> 16);
    }
    sample.data = block.data() + SAMPLE_LEAD_FRAMES;
    sample.length = length;
    sample.loop_start = loop_start;
    sample.loop_length = loop_length;
    sample.loop_type = loop_type;
    uint32_t end = loop_start + loop_length;
    sample.data[end] = loop_type == LOOP_FORWARD ? sample.data[loop_start] : sample.data[end - 1];
  }
};

// An empty song's player at 44,100 Hz whose voices the benchmark sets by hand.
Player* bench_player() {
  static const Module song{};
  static Player* player = player_create(&song, 44100);
  return player;
}

void start_voices(const Sample* s) {
  Player* player = bench_player();
  player_restart(player, 0);
  for (int i = 0; i < BENCH_VOICES; ++i) {
    Voice& v = player->voices[i];
    v.sample = s;
    v.pos_int = static_cast<uint32_t>(i * 7);
    v.step_int = 0;
    v.step_frac = 0x9000'0000u + static_cast<uint32_t>(i) * 0x0100'0000u;  // 0.56 .. 0.75 frames
    v.direction = DIRECTION_FORWARD;
    v.gain_left = v.ramp_goal_left = 40 + i;
    v.gain_right = v.ramp_goal_right = 90 - i;
    v.cur_gain_left = v.gain_left * 256;
    v.cur_gain_right = v.gain_right * 256;
    v.ramp_frames = 0;
  }
}

void run(benchmark::State& state, const Sample* s, int32_t call_frames, bool ramps, bool silent = false) {
  start_voices(s);
  if (silent) {
    for (int i = 0; i < BENCH_VOICES; ++i) {
      Voice& v = bench_player()->voices[i];
      v.gain_left = v.gain_right = v.ramp_goal_left = v.ramp_goal_right = 0;
      v.cur_gain_left = v.cur_gain_right = 0;
    }
  }
  Player* player = bench_player();
  auto mix = state.range(0) == 0 ? mix_voices : mix_voices_reference;
  std::vector<float> accum(2 * static_cast<size_t>(call_frames), 0.0f);
  int64_t calls = 0;
  for (auto _ : state) {
    if (ramps) {
      for (int i = 0; i < BENCH_VOICES; ++i) player->voices[i].gain_left = (calls & 1) ? 200 : 10;
    }
    mix(player, accum.data(), call_frames);
    benchmark::DoNotOptimize(accum.data());
    ++calls;
  }
  // Seconds of CPU time per voice-frame, printed with an SI prefix ("1.6ns").
  state.counters["per_voice_frame"] = benchmark::Counter(
      static_cast<double>(calls * call_frames * BENCH_VOICES),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void Steady(benchmark::State& state) {
  static BenchSample s(200000, LOOP_FORWARD, 0, 200000);
  run(state, &s.sample, BLOCK, false);
}

void Ramps(benchmark::State& state) {
  static BenchSample s(200000, LOOP_FORWARD, 0, 200000);
  run(state, &s.sample, 128, true);
}

void LoopHeavy(benchmark::State& state) {
  static BenchSample s(64, LOOP_PINGPONG, 40, 8);
  run(state, &s.sample, BLOCK, false);
}

void ShortLoops(benchmark::State& state) {
  static BenchSample s(32, LOOP_FORWARD, 0, 32);
  run(state, &s.sample, BLOCK, false);
}

void Silent(benchmark::State& state) {
  static BenchSample s(200000, LOOP_FORWARD, 0, 200000);
  run(state, &s.sample, BLOCK, false, true);
}

}  // namespace

// One steady stretch of BLOCK frames per iteration through each optimised
// loop the processor supports (0 SSE2, 1 AVX, 2 AVX2, 3 AVX-512) and the
// scalar one (4).
void SteadyLoop(benchmark::State& state) {
  static BenchSample s(1 << 20, LOOP_FORWARD, 0, 1 << 20);
  SteadyPath path = static_cast<SteadyPath>(state.range(0));
  SteadyMixer mix = path == STEADY_PATH_COUNT ? mix_steady_reference : steady_mixer(path);
  if (mix == nullptr) {
    state.SkipWithError("not supported on this processor");
    return;
  }
  std::vector<float> out(2 * BLOCK, 0.0f);
  uint64_t pos = 0;
  const uint64_t step = 0x1'4000'1235ull;  // 1.25 frames
  for (auto _ : state) {
    pos = mix(out.data(), s.sample.data, pos, step, BLOCK, 0.25f, 0.75f);
    if ((pos >> 32) > (1u << 19)) pos = 0;
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["per_frame"] = benchmark::Counter(static_cast<double>(state.iterations()) * BLOCK,
                                                   benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

#if defined(__SSE2__)
// The floor of a steady loop that rounds every sum as the mixer does: four
// frames an iteration at step 1, [left, right] products of the frame as read.
void AccumulateFloor(benchmark::State& state) {
  static BenchSample s(1 << 20, LOOP_FORWARD, 0, 1 << 20);
  std::vector<float> out(2 * BLOCK, 0.0f);
  const __m128d gains = _mm_setr_pd(0.25, 0.75);
  uint32_t first = 0;
  for (auto _ : state) {
    const int16_t* data = s.sample.data + first;
    for (int32_t j = 0; j + 3 < BLOCK; j += 4) {
      const __m128i four = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(data + j));
      const __m128i frames = _mm_srai_epi32(_mm_unpacklo_epi16(four, four), 16);
      const __m128d x01 = _mm_cvtepi32_pd(frames), x23 = _mm_cvtepi32_pd(_mm_unpackhi_epi64(frames, frames));
      float* o = out.data() + 2 * j;
      for (const auto& [x, at] : {std::pair{x01, o}, std::pair{x23, o + 4}}) {
        const __m128 acc = _mm_loadu_ps(at);
        const __m128d sum0 = _mm_add_pd(_mm_cvtps_pd(acc), _mm_mul_pd(_mm_unpacklo_pd(x, x), gains));
        const __m128d sum1 = _mm_add_pd(_mm_cvtps_pd(_mm_movehl_ps(acc, acc)), _mm_mul_pd(_mm_unpackhi_pd(x, x), gains));
        _mm_storeu_ps(at, _mm_movelh_ps(_mm_cvtpd_ps(sum0), _mm_cvtpd_ps(sum1)));
      }
    }
    first = (first + BLOCK) & ((1u << 19) - 1);
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["per_frame"] = benchmark::Counter(static_cast<double>(state.iterations()) * BLOCK,
                                                   benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(AccumulateFloor);
#endif

BENCHMARK(Steady)->Arg(0)->Arg(1);
BENCHMARK(SteadyLoop)->DenseRange(0, STEADY_PATH_COUNT);
BENCHMARK(Ramps)->Arg(0)->Arg(1);
BENCHMARK(LoopHeavy)->Arg(0)->Arg(1);
BENCHMARK(ShortLoops)->Arg(0)->Arg(1);
BENCHMARK(Silent)->Arg(0)->Arg(1);
BENCHMARK_MAIN();
