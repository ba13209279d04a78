// render.cpp: the pull render. A player mixes its song one block at a time
// (20 ms, at the same block grid from the start of the playback whatever the
// callers ask for), in pieces that end exactly at tick boundaries, and hands
// the block out in as many pieces as the callers want: the bytes never depend
// on the sizes of the calls. Each row tick is reported to the row callback,
// and the pass record ends the playback at the row where the song comes back
// to a row it has played (after the repeats asked for).
// Owns: nothing beyond the Player it is given.
// Thread: the thread that uses the player. Allocates nothing.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "music/convert.h"
#include "music/mixer.h"
#include "music/render.h"
#include "music/row.h"
#include "music/tick_effects.h"

namespace qm {

namespace {

// One tick of the replayer, and for a row tick the frame where it falls, the
// pass record and the row callback. Ticks after the end are mixed (they fill
// the rest of the last block) but no longer reported.
void run_tick(Player* p, bool report) {
  const bool row_tick = p->tick == 0;
  const uint64_t frame = p->next_tick_frame;
  p->last_tick = p->tick;
  replay_tick(p);
  p->next_tick_frame += p->samples_per_tick > 0 ? static_cast<uint64_t>(p->samples_per_tick) : 1;
  if (!row_tick || p->end_found) return;
  if (p->repeats_left >= 0 && row_played_before(p)) {
    if (p->repeats_left == 0) {
      p->end_found = true;
      p->end_frame = frame;
      p->end_order = p->order;
      p->end_row = p->row;
      return;
    }
    --p->repeats_left;
    ++p->pass;
    forget_played_rows(p);
    row_played_before(p);
  }
  if (report && p->row_callback != nullptr) {
    const qm_row_event event{frame, p->order, p->row, p->speed, p->bpm, p->pass};
    p->row_callback(p->row_user, &event);
  }
}

// Gain and stereo separation on the mixed floats; the defaults skip it, so
// they leave the engine's output untouched.
void shape_block(Player* p) {
  if (p->gain == 1.0f && p->separation == 1.0f) return;
  float* f = p->mix_block;
  for (int32_t i = 0; i < p->block_frames; ++i, f += 2) {
    const float mid = (f[0] + f[1]) * 0.5f;
    const float side = (f[0] - f[1]) * 0.5f * p->separation;
    f[0] = (mid + side) * p->gain;
    f[1] = (mid - side) * p->gain;
  }
}

// Mixes the next block of the playback into mix_block, starting at p->frame.
void mix_block(Player* p) {
  const int32_t frames = p->block_frames;
  float* block = p->mix_block;
  std::memset(block, 0, static_cast<size_t>(frames) * 2 * sizeof(float));
  p->block_start = p->frame;
  int32_t left = p->tick_frames_left;
  int32_t done = 0;
  while (done < frames) {
    if (left <= 0) {
      run_tick(p, true);
      left = p->samples_per_tick > 0 ? p->samples_per_tick : 1;  // a tick is never empty
    }
    const int32_t n = left < frames - done ? left : frames - done;
    mix_voices(p, block + static_cast<size_t>(done) * 2, n);
    done += n;
    left -= n;
  }
  p->tick_frames_left = left;
  shape_block(p);
  p->pcm_ready = false;
  p->block_read = 0;
  p->block_valid = frames;
  if (p->end_found && p->end_frame - p->block_start < static_cast<uint64_t>(frames)) {
    p->block_valid = static_cast<int32_t>(p->end_frame - p->block_start);
  }
}

// Makes sure the current block has frames left to hand out; false at the end.
bool block_ready(Player* p) {
  if (p->block_read < p->block_valid) return true;
  if (p->end_found || p->ended) {
    p->ended = true;
    return false;
  }
  mix_block(p);
  if (p->block_valid == 0) p->ended = true;
  return p->block_valid > 0;
}

void copy_s16(Player* p, int16_t* out, int32_t n) {
  // A block taken whole in one call is converted straight into the caller's
  // buffer (the show's ring, a tool's chunk), saving the copy; the conversion
  // is value by value, so the bytes are the same.
  if (!p->pcm_ready && p->block_read == 0 && n == p->block_valid) {
    convert_to_pcm16(out, p->mix_block, n);
    return;
  }
  if (!p->pcm_ready) {
    convert_to_pcm16(p->pcm_block, p->mix_block, p->block_frames);
    p->pcm_ready = true;
  }
  std::memcpy(out, p->pcm_block + static_cast<size_t>(p->block_read) * 2, static_cast<size_t>(n) * 2 * sizeof(int16_t));
}

void copy_f32(Player* p, float* out, int32_t n) {
  std::memcpy(out, p->mix_block + static_cast<size_t>(p->block_read) * 2, static_cast<size_t>(n) * 2 * sizeof(float));
}

template <typename T, void (*Copy)(Player*, T*, int32_t)>
int32_t render(Player* p, T* out, int32_t count) {
  if (p == nullptr || out == nullptr || count <= 0) return 0;
  int32_t written = 0;
  while (written < count && block_ready(p)) {
    const int32_t n = std::min(count - written, p->block_valid - p->block_read);
    Copy(p, out + static_cast<size_t>(written) * 2, n);
    p->block_read += n;
    p->frame += static_cast<uint64_t>(n);
    written += n;
  }
  if (p->end_found && p->block_read >= p->block_valid) p->ended = true;
  return written;
}

}  // namespace

int32_t render_s16(Player* player, int16_t* out, int32_t count) {
  return render<int16_t, copy_s16>(player, out, count);
}

int32_t render_f32(Player* player, float* out, int32_t count) {
  return render<float, copy_f32>(player, out, count);
}

uint64_t measure_frames(Player* p, uint64_t max_frames) {
  while (!p->end_found && p->next_tick_frame < max_frames) run_tick(p, false);
  return p->end_found && p->end_frame < max_frames ? p->end_frame : max_frames;
}

}  // namespace qm
