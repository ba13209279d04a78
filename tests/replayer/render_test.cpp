// Whole renders through the block fill: a golden checksum of a small song,
// and every module of the shared corpus rendered without fault.
#include <filesystem>

#include "tests/replayer/song.h"

namespace {

struct Fnv {
  uint64_t hash = 1469598103934665603ull;  // FNV-1a 64-bit offset basis
  uint64_t frames = 0;
};

bool hash_pcm(const int16_t* samples, int32_t frames, void* user) {
  Fnv& fnv = *static_cast<Fnv*>(user);
  for (int32_t i = 0; i < frames * 2; ++i) {
    auto v = static_cast<uint16_t>(samples[i]);
    for (uint8_t byte : {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)}) {
      fnv.hash = (fnv.hash ^ byte) * 1099511628211ull;
    }
  }
  fnv.frames += static_cast<uint64_t>(frames);
  return true;
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
  Fnv fnv;
  RenderOptions o;
  o.max_frames = 2 * 44100;
  o.pcm = hash_pcm;
  o.user = &fnv;
  RenderResult r = render_module(m, o);
  free_module(m);
  EXPECT_EQ(r.end, RenderEnd::FRAME_LIMIT);
  EXPECT_EQ(fnv.frames, 2u * 44100u);
  EXPECT_EQ(fnv.hash, GOLDEN_FNV) << std::hex << "0x" << fnv.hash;
}

TEST(Render, EveryCorpusModuleRendersTenSeconds) {
  std::filesystem::path root = QM_SOURCE_DIR "/../shared/corpus/xm";
  std::error_code error;
  if (!std::filesystem::is_directory(root, error)) GTEST_SKIP() << "no corpus at " << root;
  install_render_file_callbacks();
  int rendered = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root, error)) {
    if (!entry.is_regular_file()) continue;
    std::string path = entry.path().string();
    Module* m = load_module(path.c_str());
    if (m == nullptr) continue;  // refused files are the loader tests' business
    RenderOptions o;
    o.max_frames = 10 * 44100;
    RenderResult r = render_module(m, o);
    free_module(m);
    EXPECT_EQ(r.frames, 10u * 44100u) << path;
    ++rendered;
  }
  EXPECT_GT(rendered, 0);
}

}  // namespace
