// instruments.cpp: synthesises the samples of "typing.xm" (noise bursts,
// decaying sines, single-cycle waveforms; no recordings) and sets up each
// instrument's envelopes, fadeout and auto-vibrato.
// Owns: nothing global. Thread: any.
// Unpitched samples are made at 33,452 frames per second and carry relative
// note +24, so C-4 plays them at that rate. Pitched samples are single cycles
// of 128 frames (or ping-pong half cycles of 64); relative note +24 with
// finetune +2 makes note n sound at its equal-tempered pitch.
#include <cstring>
#include <utility>

#include "synth.h"
#include "tune.h"

constexpr double RATE = 33452.0;        // frames per second at C-4 (8363 * 4)
constexpr int8_t RATE_RELATIVE = 24;    // two octaves above 8363
constexpr int CYCLE = 128;              // frames per period of the pitched samples
constexpr int8_t CYCLE_FINETUNE = 2;    // 8363 * 4 / 128 is 1.9 cents flat of C-4
constexpr uint8_t CENTRE = 128;
constexpr uint8_t ENV_ON = 1, ENV_SUSTAIN = 2, ENV_LOOP = 4;

namespace {

XmSample plain_sample(const char* name, bool sixteen, std::vector<int16_t> frames, uint8_t volume,
                      uint8_t panning, int8_t relative) {
  XmSample s{};
  s.name = name;
  s.sixteen_bit = sixteen;
  s.frames = std::move(frames);
  s.volume = volume;
  s.panning = panning;
  s.relative_note = relative;
  return s;
}

XmEnvelope envelope(std::initializer_list<std::pair<int, int>> points, uint8_t flags,
                    uint8_t sustain = 0, uint8_t loop_start = 0, uint8_t loop_end = 0) {
  XmEnvelope e{};
  for (const auto& [x, y] : points) {
    e.x[e.point_count] = static_cast<uint16_t>(x);
    e.y[e.point_count] = static_cast<uint16_t>(y);
    ++e.point_count;
  }
  e.flags = flags;
  e.sustain = sustain;
  e.loop_start = loop_start;
  e.loop_end = loop_end;
  return e;
}

XmInstrument instrument(const char* name, std::vector<XmSample> samples) {
  XmInstrument ins{};
  ins.name = name;
  ins.samples = std::move(samples);
  std::memset(ins.sample_map, 0, sizeof ins.sample_map);
  return ins;
}

int frames_of(double seconds) { return static_cast<int>(seconds * RATE); }

// A key: a soft press tick, then the type bar striking the platen: a noise
// crack, a few metallic resonances and a short wooden body.
std::vector<int16_t> key_click(uint32_t seed, double strike_ms, double pitch, double body_hz) {
  Noise noise(seed);
  std::vector<double> crack(static_cast<size_t>(frames_of(0.045)), 0.0);
  add_noise_burst(crack, RATE, 0, 0.25, 0.0004, noise);
  int strike = frames_of(strike_ms / 1000.0);
  add_noise_burst(crack, RATE, strike, 1.0, 0.0025, noise);
  highpass(crack, RATE, 1800.0);
  const Partial ring[] = {
      {2380.0 * pitch, 0.60, 0.014, 0.3},
      {3720.0 * pitch, 0.40, 0.009, 1.1},
      {5150.0 * pitch, 0.25, 0.006, 2.0},
      {body_hz, 0.50, 0.020, 0.0},
  };
  add_partials(crack, RATE, strike, ring, 4);
  highpass(crack, RATE, 120.0);
  normalise(crack, 0.95);
  fade_tail(crack, 200);
  return quantise8(crack);
}

XmInstrument make_key() {
  XmSample letter = plain_sample("letter key", false, key_click(0x51A7u, 7.0, 1.0, 210.0), 44,
                                 CENTRE, RATE_RELATIVE);
  XmSample heavy = plain_sample("heavy key", false, key_click(0xC0FFEEu, 9.0, 0.72, 160.0), 44,
                                CENTRE, RATE_RELATIVE - 12);
  XmInstrument ins = instrument("keys", {letter, heavy});
  for (int n = 60; n < 96; ++n) ins.sample_map[n] = 1; // C-5 and up: the heavy key
  return ins;
}

XmInstrument make_space() {
  Noise noise(0x5BACEu);
  std::vector<double> buf(static_cast<size_t>(frames_of(0.2)), 0.0);
  add_noise_burst(buf, RATE, 0, 0.6, 0.003, noise);
  add_noise_burst(buf, RATE, frames_of(0.018), 0.15, 0.001, noise); // rattle of the bar
  add_noise_burst(buf, RATE, frames_of(0.031), 0.08, 0.001, noise);
  lowpass(buf, RATE, 2500.0);
  const Partial body[] = {
      {98.0, 0.80, 0.045, 0.0},
      {147.0, 0.30, 0.030, 0.0},
      {620.0, 0.20, 0.015, 0.7},
      {1250.0, 0.15, 0.008, 1.9},
  };
  add_partials(buf, RATE, 0, body, 4);
  highpass(buf, RATE, 40.0);
  normalise(buf, 0.95);
  fade_tail(buf, 400);
  return instrument("space bar", {plain_sample("space", true, quantise16(buf), 48, CENTRE,
                                               RATE_RELATIVE)});
}

XmInstrument make_ratchet() {
  Noise noise(0x7A7C4u);
  std::vector<double> buf(400, 0.0);
  add_noise_burst(buf, RATE, 0, 1.0, 0.0015, noise);
  highpass(buf, RATE, 1500.0);
  const Partial tick[] = {{4400.0, 0.6, 0.003, 0.0}, {2600.0, 0.4, 0.004, 0.5}};
  add_partials(buf, RATE, 0, tick, 2);
  normalise(buf, 0.9);
  fade_tail(buf, 60);
  return instrument("ratchet", {plain_sample("ratchet", false, quantise8(buf), 48, 0x70,
                                             RATE_RELATIVE)});
}

// The bell sounds at E-6 when E-6 is played: its partials are made for that
// note, and the relative note moves E-6 onto the sample's own rate.
XmInstrument make_bell() {
  constexpr int BELL_NOTE = 76; // E-6, 0-based
  double f = note_hz(BELL_NOTE);
  Noise noise(0xB311u);
  std::vector<double> buf(static_cast<size_t>(frames_of(0.75)), 0.0);
  add_noise_burst(buf, RATE, 0, 0.25, 0.0005, noise);
  highpass(buf, RATE, 3000.0);
  const Partial partials[] = {
      {f, 0.55, 0.32, 0.0},         {f * 1.0019, 0.45, 0.30, 0.0}, // slow beat
      {f * 2.01, 0.35, 0.18, 0.4},  {f * 2.76, 0.30, 0.12, 1.3},
      {f * 5.40, 0.18, 0.06, 2.2},  {f * 8.93, 0.10, 0.03, 0.9},
  };
  add_partials(buf, RATE, 0, partials, 6);
  normalise(buf, 0.95);
  fade_tail(buf, 3000);
  int8_t relative = static_cast<int8_t>(RATE_RELATIVE + 48 - BELL_NOTE);
  return instrument("bell", {plain_sample("bell", true, quantise16(buf), 40, 0x90, relative)});
}

// Bass: eight cycles whose upper harmonics die away into the last cycle,
// which loops forward.
XmInstrument make_bass() {
  constexpr int CYCLES = 8;
  constexpr int LOOP_START = (CYCLES - 1) * CYCLE;
  std::vector<double> buf(CYCLES * CYCLE, 0.0);
  double bright_end = det_exp(-static_cast<double>(LOOP_START) / 250.0);
  for (int k = 0; k < CYCLES * CYCLE; ++k) {
    double bright = k < LOOP_START ? det_exp(-k / 250.0) - bright_end : 0.0;
    double t = 2.0 * PI * k / CYCLE;
    buf[static_cast<size_t>(k)] = det_sin(t) + 0.30 * det_sin(2 * t) + 0.06 * det_sin(3 * t) +
                                  bright * (0.35 * det_sin(3 * t) + 0.2 * det_sin(4 * t) +
                                            0.12 * det_sin(5 * t));
  }
  normalise(buf, 0.9);
  XmSample s = plain_sample("bass", true, quantise16(buf), 48, CENTRE, RATE_RELATIVE);
  s.finetune = CYCLE_FINETUNE;
  s.loop = XM_LOOP_FORWARD;
  s.loop_start = LOOP_START;
  s.loop_length = CYCLE;
  XmInstrument ins = instrument("bass", {s});
  // Quick swell, settle, hold at the sustain point until key-off, then die.
  ins.volume_envelope = envelope({{0, 40}, {3, 64}, {20, 50}, {40, 44}, {80, 0}},
                                 ENV_ON | ENV_SUSTAIN, /*sustain*/ 3);
  ins.fadeout = 1024;
  return ins;
}

// Pad: half a cycle of a soft waveform (cosines only, so playing it forth
// and back forms the whole period), looped ping-pong.
XmInstrument make_pad() {
  constexpr int HALF = CYCLE / 2;
  std::vector<double> buf(HALF, 0.0);
  for (int k = 0; k < HALF; ++k) {
    double theta = PI * (k + 0.5) / HALF;
    double v = 0.0;
    for (int h = 1; h <= 7; ++h) v -= det_cos(h * theta) / (h * h);
    buf[static_cast<size_t>(k)] = v;
  }
  normalise(buf, 0.9);
  XmSample s = plain_sample("pad", true, quantise16(buf), 32, CENTRE, RATE_RELATIVE);
  s.finetune = CYCLE_FINETUNE;
  s.loop = XM_LOOP_PINGPONG;
  s.loop_start = 0;
  s.loop_length = HALF;
  XmInstrument ins = instrument("pad", {s});
  // Slow swell, then a gentle breathing between points 2 and 4.
  ins.volume_envelope = envelope({{0, 0}, {16, 40}, {40, 52}, {70, 44}, {100, 52}},
                                 ENV_ON | ENV_LOOP, 0, /*loop*/ 2, 4);
  // Drifts from side to side once per bar.
  ins.panning_envelope =
      envelope({{0, 32}, {50, 22}, {150, 42}, {200, 32}}, ENV_ON | ENV_LOOP, 0, 0, 3);
  ins.vibrato_type = 0;
  ins.vibrato_sweep = 40;
  ins.vibrato_depth = 4;
  ins.vibrato_rate = 5;
  ins.fadeout = 1536;
  return ins;
}

// Lead: a music-box tine; an inharmonic overtone rings out over the attack,
// then a pure cycle loops forward while the envelope lets it decay.
XmInstrument make_lead() {
  constexpr int LOOP_START = 15 * CYCLE;
  Noise noise(0x1EADu);
  std::vector<double> buf(LOOP_START + CYCLE, 0.0);
  add_noise_burst(buf, RATE, 0, 0.12, 0.0006, noise);
  for (int k = 0; k < LOOP_START + CYCLE; ++k) {
    double t = 2.0 * PI * k / CYCLE;
    double fall = k < LOOP_START ? 1.0 - static_cast<double>(k) / LOOP_START : 0.0;
    double tine = 0.45 * fall * fall * fall * det_sin(5.4 * t);
    double click = k < LOOP_START ? buf[static_cast<size_t>(k)] : 0.0;
    buf[static_cast<size_t>(k)] = click + det_sin(t) + 0.12 * det_sin(2 * t) + tine;
  }
  normalise(buf, 0.9);
  XmSample s = plain_sample("music box", true, quantise16(buf), 40, 0x88, RATE_RELATIVE);
  s.finetune = CYCLE_FINETUNE;
  s.loop = XM_LOOP_FORWARD;
  s.loop_start = LOOP_START;
  s.loop_length = CYCLE;
  XmInstrument ins = instrument("music box", {s});
  ins.volume_envelope =
      envelope({{0, 64}, {6, 50}, {30, 30}, {80, 14}, {160, 4}, {240, 0}}, ENV_ON);
  ins.vibrato_type = 0;
  ins.vibrato_sweep = 20;
  ins.vibrato_depth = 2;
  ins.vibrato_rate = 9;
  ins.fadeout = 512;
  return ins;
}

} // namespace

std::vector<XmInstrument> make_instruments() {
  return {make_key(), make_space(), make_ratchet(), make_bell(),
          make_bass(), make_pad(), make_lead()};
}
