// make_short_loop_song: writes "short-loops.xm", a song of the kind that
// costs the mixer most per frame: 8 channels of chip-like samples (square,
// pulse, triangle, saw and noise waves) whose loops are 16 to 64 frames long,
// forward and ping-pong, played at high pitches with arpeggios, vibrato,
// slides and volume envelopes. Every loop wrap ends a piece of a voice's mix,
// so a voice at a high pitch is mixed in dozens of pieces per block.
// bench/render-vs-peers renders it against the peers beside the corpus songs.
// Usage: make_short_loop_song FILE
// The bytes are the same on every run (no clock, no random source).
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/xm_writer.h"

using namespace qm;

namespace {

constexpr uint16_t CHANNELS = 8;
constexpr uint16_t ROWS = 64;
constexpr uint16_t SPEED = 4;
constexpr uint16_t BPM = 150;
constexpr int32_t PEAK = 100;  // 8-bit sample amplitude, below the 127 limit

// Note numbers as cells hold them: 1 is C-0, 49 is C-4.
constexpr uint8_t note(int octave, int semitone) { return static_cast<uint8_t>(octave * 12 + semitone + 1); }

enum Instrument : uint8_t { LEAD = 1, ECHO, BASS, ARP_SAW, ARP_PULSE, HAT, SNARE, KICK };

// One period of a pulse of `high` frames out of `frames`.
std::vector<int32_t> pulse(int frames, int high) {
  std::vector<int32_t> v(static_cast<size_t>(frames));
  for (int i = 0; i < frames; ++i) v[static_cast<size_t>(i)] = i < high ? PEAK : -PEAK;
  return v;
}

// A rising ramp of `frames` frames: a saw looped forward, a triangle ping-pong.
std::vector<int32_t> ramp(int frames) {
  std::vector<int32_t> v(static_cast<size_t>(frames));
  for (int i = 0; i < frames; ++i) v[static_cast<size_t>(i)] = -PEAK + 2 * PEAK * i / (frames - 1);
  return v;
}

// White noise from a fixed linear congruential sequence.
std::vector<int32_t> noise(int frames) {
  std::vector<int32_t> v(static_cast<size_t>(frames));
  uint32_t seed = 0x2545F491u;
  for (auto& x : v) {
    seed = seed * 1664525u + 1013904223u;
    x = static_cast<int32_t>(seed >> 24) - 128;
  }
  return v;
}

// An instrument of one sample looped over frames loop_start .. end (8-bit,
// so frames are bytes), with a volume envelope of (tick, value) points.
XmInstrument looped(std::string name, std::vector<int32_t> pcm, uint32_t loop_start, uint8_t loop_type,
                    std::vector<EnvelopePoint> envelope, uint16_t fadeout = 0) {
  XmInstrument ins;
  ins.name = name;
  XmSample s;
  s.name = name;
  s.loop_start = loop_start;
  s.loop_length = static_cast<uint32_t>(pcm.size()) - loop_start;
  s.pcm = std::move(pcm);
  s.type = loop_type;
  ins.samples.push_back(std::move(s));
  for (size_t i = 0; i < envelope.size(); ++i) ins.volume_envelope[i] = envelope[i];
  ins.volume_point_count = static_cast<uint8_t>(envelope.size());
  if (envelope.size() >= 2) {
    ins.volume_flags = 0x03;  // on, with sustain at the last point
    ins.volume_sustain_point = static_cast<uint8_t>(envelope.size() - 1);
  }
  ins.fadeout = fadeout;
  return ins;
}

std::vector<XmInstrument> instruments() {
  std::vector<int32_t> kick = pulse(32, 16);
  return {
      looped("lead square 16", pulse(16, 8), 0, XM_SAMPLE_FORWARD, {{0, 64}, {6, 44}, {30, 36}}, 400),
      looped("echo pulse 32", pulse(32, 8), 0, XM_SAMPLE_FORWARD, {{0, 40}, {20, 24}}, 300),
      looped("bass triangle 32", ramp(16), 0, XM_SAMPLE_PINGPONG, {{0, 64}, {40, 56}}, 600),
      looped("arp saw 16", ramp(16), 0, XM_SAMPLE_FORWARD, {{0, 48}, {12, 32}}, 500),
      looped("arp pulse 32", pulse(40, 4), 8, XM_SAMPLE_PINGPONG, {{0, 44}, {16, 28}}, 500),
      looped("hat noise 64", noise(64), 0, XM_SAMPLE_FORWARD, {{0, 48}, {3, 12}, {6, 0}}),
      looped("snare noise 64", noise(64), 0, XM_SAMPLE_PINGPONG, {{0, 64}, {5, 24}, {12, 0}}),
      looped("kick square 32", kick, 0, XM_SAMPLE_FORWARD, {{0, 64}, {4, 40}, {10, 0}}),
  };
}

// The progression, one chord per 16 rows: A minor, F, C, G (root semitones).
constexpr int CHORD_ROOTS[4] = {9, 5, 0, 7};
constexpr uint8_t CHORD_ARPEGGIOS[4] = {0x37, 0x47, 0x47, 0x47};  // minor, then major

// Two melodies over the progression, a semitone per row (-1: hold).
constexpr int MELODY_A[ROWS] = {
    9, -1, 12, -1, 16, -1, 14, 12, 9, -1, -1, -1, 7, -1, 9, -1,
    5, -1, 9, -1, 12, -1, 17, 16, 14, -1, 12, -1, 9, -1, 12, -1,
    7, -1, 12, -1, 16, -1, 19, -1, 16, 14, 12, -1, 14, -1, 16, -1,
    14, -1, 11, -1, 7, -1, 11, 14, 19, -1, 17, -1, 16, -1, 14, -1};
constexpr int MELODY_B[ROWS] = {
    21, 19, 16, -1, 21, 19, 16, -1, 24, -1, 21, -1, 19, 16, 14, 12,
    17, -1, 21, -1, 24, -1, 21, 17, 16, -1, 17, -1, 19, -1, 21, -1,
    19, 16, 12, -1, 19, 16, 12, -1, 24, -1, 28, -1, 26, 24, 19, -1,
    23, -1, 19, -1, 26, -1, 23, 19, 31, -1, 29, -1, 28, 26, 23, -1};

void put(XmPattern& p, int row, int channel, Cell cell) { xm_cell(p, CHANNELS, row, channel) = cell; }

// Drums: kick on the beats with a pitch drop, snare on the back beats, hats
// between; `busy` adds off-beat hats and a fill at the end.
void drums(XmPattern& p, bool busy) {
  for (int row = 0; row < ROWS; ++row) {
    if (row % 8 == 0 || (busy && row % 16 == 10)) put(p, row, 7, {note(4, 0), KICK, 0, EFFECT_PORTA_DOWN, 0x30});
    if (row % 8 == 4 || (busy && row >= 60)) put(p, row, 6, {note(6, row % 3), SNARE, 0, 0, 0});
    if (row % 2 == 0 || busy) put(p, row, 5, {note(7, row % 4 == 2 ? 2 : 0), HAT, static_cast<uint8_t>(row % 4 == 0 ? 0 : 0x30), 0, 0});
  }
}

// Bass and the two arpeggiated chord voices, one chord per 16 rows.
void harmony(XmPattern& p, int octave_lift) {
  for (int row = 0; row < ROWS; ++row) {
    int chord = row / 16, root = CHORD_ROOTS[chord];
    if (row % 4 == 0) put(p, row, 2, {note(3, root), BASS, 0, 0, 0});
    if (row % 4 == 2) put(p, row, 2, {note(4, root), BASS, 0x38, 0, 0});
    uint8_t arp = CHORD_ARPEGGIOS[chord];
    put(p, row, 3, {row % 8 == 0 ? note(5 + octave_lift, root) : uint8_t{0}, row % 8 == 0 ? uint8_t{ARP_SAW} : uint8_t{0}, 0,
                    EFFECT_ARPEGGIO, arp});
    put(p, row, 4, {row % 16 == 0 ? note(6, root) : uint8_t{0}, row % 16 == 0 ? uint8_t{ARP_PULSE} : uint8_t{0}, 0,
                    EFFECT_ARPEGGIO, static_cast<uint8_t>(arp + 0x11)});
  }
}

// The lead (with vibrato on held notes) and its echo three rows later, an octave down.
void melody(XmPattern& p, const int* line, int octave) {
  for (int row = 0; row < ROWS; ++row) {
    if (line[row] < 0) {
      put(p, row, 0, {0, 0, 0, EFFECT_VIBRATO, 0x46});
      continue;
    }
    put(p, row, 0, {note(octave, line[row]), LEAD, 0, 0, 0});
    if (row + 3 < ROWS) put(p, row + 3, 1, {note(octave - 1, line[row]), ECHO, 0, EFFECT_VOLUME_SLIDE, 0x02});
  }
}

XmPattern pattern(const int* line, bool busy, int octave_lift) {
  XmPattern p;
  p.rows = ROWS;
  xm_cell(p, CHANNELS, 0, 0) = {};
  drums(p, busy);
  harmony(p, octave_lift);
  if (line != nullptr) melody(p, line, 5 + octave_lift);
  return p;
}

XmFile song() {
  XmFile f;
  f.song_name = "short loops";
  f.tracker_name = "quillmere bench";
  f.channel_count = CHANNELS;
  f.default_speed = SPEED;
  f.default_bpm = BPM;
  f.instruments = instruments();
  for (XmInstrument& ins : f.instruments) ins.sample_map.fill(0);
  f.patterns = {pattern(nullptr, false, 0), pattern(MELODY_A, false, 0), pattern(MELODY_B, true, 0),
                pattern(MELODY_A, true, 1)};
  const uint8_t orders[] = {0, 1, 1, 2, 1, 2, 3, 3, 0, 1, 2, 2, 3, 1, 2, 3};
  f.song_length = sizeof orders;
  for (size_t i = 0; i < sizeof orders; ++i) f.order_table[i] = orders[i];
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_short_loop_song FILE\n");
    return 2;
  }
  const std::vector<uint8_t> bytes = write_xm(song());
  FILE* out = std::fopen(argv[1], "wb");
  bool ok = out != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  if (out != nullptr && std::fclose(out) != 0) ok = false;
  if (!ok) {
    std::fprintf(stderr, "make_short_loop_song: %s: cannot write\n", argv[1]);
    std::remove(argv[1]);
    return 1;
  }
  return 0;
}
