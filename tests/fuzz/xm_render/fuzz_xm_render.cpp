// fuzz_xm_render: arbitrary bytes through the music library's C API as a
// program embedding it would use it: qm_song_load_memory, the song's
// information and warnings, then two seconds rendered at 44,100 Hz by a
// player, in calls whose sizes the input also chooses (16-bit and float
// calls taking turns), a seek inside those two seconds with a channel muted
// and the levels measured, and a measure of the song without mixing. Any crash,
// hang, leak or undefined behaviour is a finding; so is a loaded song that
// breaks the loader's invariants, a render that stops early, and a render
// that uses more processor time than QM_FUZZ_RENDER_CPU_MS (default 1000 ms;
// raise it for slow builds).
#include <time.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "music/module.h"
#include "quillmere/music.h"
#include "tests/loader/module_invariants.h"

using namespace qm;

namespace {

constexpr int32_t RENDER_RATE = 44100;
constexpr int32_t RENDER_FRAMES = 2 * RENDER_RATE;
constexpr int32_t MAX_CALL_FRAMES = 4096;

int64_t thread_cpu_ns() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// The processor-time budget of one render, read once from the environment.
int64_t cpu_budget_ns() {
  static const int64_t budget = [] {
    const char* text = std::getenv("QM_FUZZ_RENDER_CPU_MS");
    long ms = text != nullptr ? std::strtol(text, nullptr, 10) : 0;
    return static_cast<int64_t>(ms > 0 ? ms : 1000) * 1000000;
  }();
  return budget;
}

[[noreturn]] void finding(const std::string& what) {
  std::fprintf(stderr, "%s\n", what.c_str());
  std::abort();
}

// Reads everything a program would ask of a song; the texts must be terminated.
void inspect(const qm_song* song) {
  qm_song_info info{};
  if (qm_song_get_info(song, &info) != QM_OK) finding("no information for a loaded song");
  for (int32_t i = 0; i < info.instruments; ++i) {
    qm_instrument_info in{};
    if (qm_song_get_instrument(song, i, &in) != QM_OK) finding("instrument information refused");
    for (int32_t s = 0; s < in.samples; ++s) {
      qm_sample_info sample{};
      if (qm_song_get_sample(song, i, s, &sample) != QM_OK) finding("sample information refused");
    }
  }
  for (int32_t w = 0; w < qm_song_warning_count(song); ++w) {
    if (std::string(qm_song_warning_text(song, w)).empty()) finding("a warning without text");
  }
}

// Two seconds in calls of sizes taken from the input's bytes.
void render(const qm_song* song, const uint8_t* data, size_t size) {
  qm_player* player = nullptr;
  if (qm_player_create(song, RENDER_RATE, &player) != QM_OK) finding("no player for a loaded song");
  qm_player_set_repeat_count(player, -1);
  static std::vector<int16_t> pcm(2 * MAX_CALL_FRAMES);
  static std::vector<float> floats(2 * MAX_CALL_FRAMES);
  const int64_t start = thread_cpu_ns();
  for (int32_t done = 0, call = 0; done < RENDER_FRAMES; ++call) {
    const uint8_t pick = size > 0 ? data[static_cast<size_t>(call) % size] : 0;
    int32_t ask = 1 + (pick * 97 + call * 31) % MAX_CALL_FRAMES;
    if (ask > RENDER_FRAMES - done) ask = RENDER_FRAMES - done;
    const int32_t got = call % 4 == 3 ? qm_player_render_f32(player, floats.data(), ask)
                                      : qm_player_render_s16(player, pcm.data(), ask);
    if (got != ask) finding("a render that plays forever stopped early");
    done += got;
  }
  const int64_t used = thread_cpu_ns() - start;
  qm_player_free(player);
  if (used > cpu_budget_ns()) finding("two seconds rendered in " + std::to_string(used / 1e9) + " s of processor time");
}

// A seek to a frame of the two seconds, with a channel muted and the levels
// measured, then a block: the playback goes on without end.
void seek(const qm_song* song, const uint8_t* data, size_t size) {
  qm_player* player = nullptr;
  if (qm_player_create(song, RENDER_RATE, &player) != QM_OK) finding("no player for a loaded song");
  qm_player_set_repeat_count(player, -1);
  qm_player_set_metering(player, 1);
  qm_song_info info{};
  qm_song_get_info(song, &info);
  const uint32_t pick = size > 0 ? data[size / 2] : 0;
  if (qm_player_set_channel_mute(player, static_cast<int32_t>(pick % static_cast<uint32_t>(info.channels)), 1) != QM_OK)
    finding("a song's own channel refused");
  const int64_t start = thread_cpu_ns();
  if (qm_player_seek_frame(player, (pick * 7919u) % RENDER_FRAMES) != QM_OK) finding("a seek inside two seconds refused");
  static std::vector<int16_t> pcm(2 * MAX_CALL_FRAMES);
  const int32_t block = qm_player_block_frames(player);
  if (qm_player_render_s16(player, pcm.data(), block) != block) finding("a render after a seek stopped early");
  float levels[QM_MAX_CHANNELS];
  qm_player_get_channel_levels(player, levels, QM_MAX_CHANNELS);
  for (float level : levels)
    if (!(level >= 0.0f && level < 1e6f)) finding("a channel level out of range");
  const int64_t used = thread_cpu_ns() - start;
  qm_player_free(player);
  if (used > cpu_budget_ns()) finding("a seek inside two seconds took " + std::to_string(used / 1e9) + " s");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qm_song* song = nullptr;
  qm_load_error error{};
  if (qm_song_load_memory_ex(data, size, &song, &error) != QM_OK) {
    if (song != nullptr || error.status == QM_OK) finding("a refused load left a song or no reason");
    return 0;
  }
  const std::string broken = module_invariant_error(reinterpret_cast<const Module*>(song));
  if (!broken.empty()) finding("loaded song breaks an invariant: " + broken);
  inspect(song);
  render(song, data, size);
  seek(song, data, size);
  uint64_t frames = 0;
  int32_t ended = 0;
  if (qm_song_measure(song, RENDER_RATE, 0, 0, 10 * RENDER_RATE, &frames, &ended) != QM_OK) finding("measure refused");
  qm_song_free(song);
  return 0;
}
