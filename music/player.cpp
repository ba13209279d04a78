// player.cpp: a Player's life: creation with its one allocation, the start
// state of a playback, restart and the two jumps, and the record of the rows a pass
// has played, which finds where the song comes back to a row it played.
// Owns: the Player allocation (record and block buffers). Touches: only the
// Player it is given; reads the song.
// Thread: the thread that uses the player.
#include "music/player.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#ifdef _WIN32
#include <malloc.h>
#endif

#include "music/mix_controls.h"
#include "music/mixer_fast.h"
#include "music/row.h"
#include "music/tick_effects.h"

namespace qm {

namespace {

constexpr size_t BLOCK_ALIGNMENT = 64;    // the mix block starts on a cache line
constexpr int32_t NO_LOOP_JUMP = -1;
constexpr int32_t BITS_PER_COUNTER = 4;   // pattern-loop counters are 0..15
constexpr int32_t COUNTERS_PER_WORD = 16;
constexpr int32_t FULL_RAMP_RATE = 44100; // the rate at which a ramp is 128 frames
constexpr int32_t FULL_RAMP_FRAMES = 128;

size_t aligned_size(size_t bytes) { return (bytes + BLOCK_ALIGNMENT - 1) & ~(BLOCK_ALIGNMENT - 1); }

// The voice table as an output opens it: every slot idle, its own index,
// a step of one whole frame.
void reset_voices(Player* p) {
  std::memset(p->voices, 0, sizeof p->voices);
  for (int i = 0; i < VOICE_COUNT; ++i) {
    p->voices[i].index = i;
    p->voices[i].step_int = 1;
  }
}

// Every channel's pattern-loop counter, packed 4 bits each.
void loop_counters(const Player* p, uint64_t counters[2]) {
  counters[0] = counters[1] = 0;
  int32_t count = p->song->channel_count < CHANNEL_COUNT ? p->song->channel_count : CHANNEL_COUNT;
  for (int32_t i = 0; i < count; ++i) {
    uint64_t value = static_cast<uint64_t>(p->channels[i].loop_count) & 0x0F;
    counters[i / COUNTERS_PER_WORD] |= value << (BITS_PER_COUNTER * (i % COUNTERS_PER_WORD));
  }
}

uint32_t state_hash(uint16_t position, const uint64_t counters[2]) {
  uint64_t h = position * 0x9E3779B97F4A7C15ull;
  h ^= counters[0] + 0x7F4A7C159E3779B9ull + (h << 6) + (h >> 2);
  h ^= counters[1] + 0x94D049BB133111EBull + (h << 6) + (h >> 2);
  return static_cast<uint32_t>(h ^ (h >> 32));
}

// Records a state with some loop counter set; true when it was there already.
// A full table records nothing more (such a song only ends by its caller).
bool note_loop_state(PlayedRows* rows, uint16_t position, const uint64_t counters[2]) {
  uint32_t slot = state_hash(position, counters) % LOOP_STATE_SLOTS;
  for (int32_t probe = 0; probe < LOOP_STATE_SLOTS; ++probe) {
    LoopState& s = rows->states[slot];
    if (!s.used) {
      if (rows->state_count >= LOOP_STATE_SLOTS - 1) return false;
      s = LoopState{position, 1, {counters[0], counters[1]}};
      ++rows->state_count;
      return false;
    }
    if (s.position == position && s.counters[0] == counters[0] && s.counters[1] == counters[1]) return true;
    slot = (slot + 1) % LOOP_STATE_SLOTS;
  }
  return false;
}

// Windows' C runtime has no aligned_alloc; its aligned blocks have their own free.
void* allocate_aligned(size_t alignment, size_t bytes) {
#ifdef _WIN32
  return _aligned_malloc(bytes, alignment);
#else
  return std::aligned_alloc(alignment, bytes);
#endif
}

void free_aligned(void* block) {
#ifdef _WIN32
  _aligned_free(block);
#else
  std::free(block);
#endif
}

}  // namespace

void forget_played_rows(Player* p) {
  std::memset(&p->played, 0, sizeof p->played);
}

// True when the row just played was played before in this pass with the
// same pattern-loop counters; records it otherwise.
bool row_played_before(Player* p) {
  uint16_t position = static_cast<uint16_t>(((p->order & 0xFF) << 8) | (p->row & 0xFF));
  uint64_t counters[2];
  loop_counters(p, counters);
  if (counters[0] == 0 && counters[1] == 0) {
    uint64_t bit = uint64_t{1} << (position % 64);
    uint64_t& word = p->played.bits[position / 64];
    bool seen = (word & bit) != 0;
    word |= bit;
    return seen;
  }
  return note_loop_state(&p->played, position, counters);
}

void player_restart(Player* p, int32_t order) {
  const Module* song = p->song;
  p->global_volume = song->initial_global_volume;
  p->global_volume_slide = 0;
  p->next_order = -1;
  p->next_row = -1;
  p->speed = song->default_speed;
  p->row = 0;
  p->order = order;
  p->tick_frames_left = 0;
  p->tick = 0;
  p->pattern_delay = 0;
  p->position_jump_mark = false;
  p->loop_jump_row = NO_LOOP_JUMP;
  set_bpm(p, song->default_bpm);
  std::memset(p->channels, 0, sizeof p->channels);
  for (int i = 0; i < CHANNEL_COUNT; ++i) p->channels[i].voice = &p->voices[i];
  reset_voices(p);
  apply_channel_controls(p);
  std::memset(p->finetune, 0, sizeof p->finetune);
  std::memset(p->finetune_set, 0, sizeof p->finetune_set);
  p->block_valid = 0;
  p->block_read = 0;
  p->pcm_ready = false;
  p->frame = 0;
  p->block_start = 0;
  p->mix_end = 0;
  p->next_tick_frame = 0;
  p->last_tick = 0;
  p->pass = 0;
  p->pass_frame = 0;
  p->repeats_left = p->repeat_count;
  p->end_found = false;
  p->end_frame = 0;
  p->ended = false;
  p->report_from = 0;
  p->pending = PendingMove{};
  p->move_due = false;
  p->from_start = order == 0;
  settle_controls(p);
  forget_played_rows(p);
}

void player_jump(Player* p, int32_t order, int32_t row) {
  p->next_order = order;
  p->next_row = row;
  p->tick = 0;
  p->pattern_delay = 0;
  p->tick_frames_left = 0;
  // Frames mixed ahead are dropped: the jump is heard with the next frame,
  // and the next block starts there.
  p->block_valid = 0;
  p->block_read = 0;
  p->block_start = p->frame;
  p->mix_end = p->frame;
  p->next_tick_frame = p->frame;
  p->end_found = false;
  p->ended = false;
  p->pending = PendingMove{};
  p->move_due = false;
  p->from_start = false;
  forget_played_rows(p);
}

void player_jump_at_next_row(Player* p, int32_t order, int32_t row) {
  p->next_order = order;
  p->next_row = row;
  p->from_start = false;
  forget_played_rows(p);
}

// The layout of a player's allocation: the record, then the float block,
// then the 16-bit block, each on a cache line.
struct PlayerLayout {
  size_t record, mix_bytes, pcm_bytes;
};

static PlayerLayout player_layout(int32_t rate) {
  const int32_t block = block_frames_at(rate);
  return PlayerLayout{aligned_size(sizeof(Player)), aligned_size(static_cast<size_t>(block) * 2 * sizeof(float)),
                      aligned_size(static_cast<size_t>(block) * 2 * sizeof(int16_t))};
}

size_t player_allocation_bytes(int32_t rate) {
  const PlayerLayout l = player_layout(rate);
  return l.record + l.mix_bytes + l.pcm_bytes;
}

Player* player_create(const Module* song, int32_t rate) {
  if (song == nullptr || rate < QM_MIN_RATE || rate > QM_MAX_RATE) return nullptr;
  const int32_t block = block_frames_at(rate);
  const PlayerLayout layout = player_layout(rate);
  const size_t record = layout.record, mix_bytes = layout.mix_bytes;
  const size_t total = player_allocation_bytes(rate);
  void* memory = allocate_aligned(BLOCK_ALIGNMENT, total);
  if (memory == nullptr) return nullptr;
  std::memset(memory, 0, total);
  auto* p = new (memory) Player{};
  auto* bytes = static_cast<unsigned char*>(memory);
  p->song = song;
  p->mix_rate = rate;
  p->block_frames = block;
  p->ramp_length = static_cast<int32_t>(static_cast<int64_t>(rate) * FULL_RAMP_FRAMES / FULL_RAMP_RATE);
  if (p->ramp_length < 1) p->ramp_length = 1;
  p->ramp_length_inv = 1.0f / static_cast<float>(p->ramp_length);
  p->steady_loop = fastest_steady_mixer();
  p->ramp_loop = fastest_ramp_mixer();
  p->interpolation = INTERPOLATION_LINEAR;
  p->mix_block = reinterpret_cast<float*>(bytes + record);
  p->pcm_block = reinterpret_cast<int16_t*>(bytes + record + mix_bytes);
  p->repeat_count = 0;
  reset_controls(&p->controls);
  player_restart(p, 0);
  return p;
}

void player_free(Player* p) {
  if (p == nullptr) return;
  p->~Player();
  free_aligned(p);
}

}  // namespace qm
