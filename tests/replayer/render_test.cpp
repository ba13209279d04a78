// Whole renders through the block fill: a golden checksum of a small song,
// and every module of the shared corpus rendered without fault.
#include <filesystem>

#include "tests/replayer/song.h"
#include "tests/support/show_files.h"

using namespace qm;

namespace {

struct Fnv {
  uint64_t hash = 1469598103934665603ull;  // FNV-1a 64-bit offset basis
  uint64_t frames = 0;
};

void hash_pcm(const int16_t* samples, int32_t frames, Fnv* fnv) {
  for (int32_t i = 0; i < frames * 2; ++i) {
    auto v = static_cast<uint16_t>(samples[i]);
    for (uint8_t byte : {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)}) {
      fnv->hash = (fnv->hash ^ byte) * 1099511628211ull;
    }
  }
  fnv->frames += static_cast<uint64_t>(frames);
}

// Renders up to `frames` frames of the player in calls of `chunk` frames.
Fnv render_hash(Player* p, uint64_t frames, int32_t chunk) {
  Fnv fnv;
  std::vector<int16_t> pcm(2 * static_cast<size_t>(chunk));
  while (fnv.frames < frames) {
    int32_t ask = static_cast<int32_t>(std::min<uint64_t>(static_cast<uint64_t>(chunk), frames - fnv.frames));
    int32_t got = render_s16(p, pcm.data(), ask);
    hash_pcm(pcm.data(), got, &fnv);
    if (got < ask) break;
  }
  return fnv;
}

// A short two-channel tune touching notes, envelopes, slides and pitch effects.
XmFile golden_song() {
  XmFile f = make_song(2, 16);
  f.default_speed = 4;
  f.default_bpm = 140;
  XmInstrument& in = f.instruments[0];
  in.volume_envelope[0] = {0, 64};
  in.volume_envelope[1] = {8, 40};
  in.volume_envelope[2] = {24, 0};
  in.volume_point_count = 3;
  in.volume_flags = ENVELOPE_ON | ENVELOPE_SUSTAIN;
  in.volume_sustain_point = 1;
  in.fadeout = 400;
  in.vibrato_depth = 4;
  in.vibrato_rate = 16;
  const uint8_t melody[] = {49, 53, 56, 61, 56, 53, 49, 44};
  for (int r = 0; r < 8; ++r) cell(f, 2 * r, 0) = note_cell(melody[r], 1, EFFECT_VIBRATO, 0x42);
  cell(f, 1, 0) = note_cell(NOTE_KEY_OFF, 0);
  cell(f, 0, 1) = note_cell(37, 1, EFFECT_ARPEGGIO, 0x37, 0x30);
  cell(f, 4, 1) = note_cell(0, 0, EFFECT_VOLUME_SLIDE, 0x02);
  cell(f, 6, 1) = note_cell(44, 1, EFFECT_TONE_PORTA, 0x10);
  cell(f, 9, 1) = note_cell(0, 0, EFFECT_PANNING_SLIDE, 0x40);
  cell(f, 12, 1) = note_cell(32, 1, EFFECT_EXTENDED, 0x92);
  return f;
}

// Regenerate deliberately, with a note in the commit, when a fix changes the sound.
constexpr uint64_t GOLDEN_FNV = 0x312f81613f0515d7ull;

TEST(Render, GoldenTwoSeconds) {
  Module* m = load_module_from_memory(write_xm(golden_song()));
  ASSERT_NE(m, nullptr);
  Player* p = player_create(m, 44100);
  p->repeat_count = p->repeats_left = -1;
  Fnv fnv = render_hash(p, 2 * 44100, 884);
  player_free(p);
  free_module(m);
  EXPECT_EQ(fnv.frames, 2u * 44100u);
  EXPECT_EQ(fnv.hash, GOLDEN_FNV) << std::hex << "0x" << fnv.hash;
}

TEST(Render, EveryCorpusModuleRendersTenSeconds) {
  std::filesystem::path root = QM_SOURCE_DIR "/../shared/corpus/xm";
  std::error_code error;
  if (!std::filesystem::is_directory(root, error)) GTEST_SKIP() << "no corpus at " << root;
  install_stdio_callbacks();
  int rendered = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root, error)) {
    if (!entry.is_regular_file()) continue;
    std::string path = entry.path().string();
    Module* m = as_module(load_module(path.c_str()));
    if (m == nullptr) continue;  // refused files are the loader tests' business
    Player* p = player_create(m, 44100);
    p->repeat_count = p->repeats_left = -1;
    Fnv fnv = render_hash(p, 10 * 44100, 4096);
    player_free(p);
    free_module(m);
    EXPECT_EQ(fnv.frames, 10u * 44100u) << path;
    ++rendered;
  }
  EXPECT_GT(rendered, 0);
}

}  // namespace
