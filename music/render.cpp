// render.cpp: the pull render. A player mixes its song one block at a time
// (20 ms, at the same block grid from the start of the playback whatever the
// callers ask for), in pieces that end exactly at tick boundaries, and hands
// the block out in as many pieces as the callers want: the bytes never depend
// on the sizes of the calls. Each row tick is reported to the row callback,
// and the pass record counts the passes and ends the playback at the row
// where the song comes back to a row it has played (after the repeats asked
// for). A repositioning asked for from the callback takes effect at the next
// row tick. The same block loop advances a player without mixing, for seeks.
// Owns: nothing beyond the Player it is given.
// Thread: the thread that uses the player. Allocates nothing.
#include "music/render.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "music/convert.h"
#include "music/mix_controls.h"
#include "music/mixer.h"
#include "music/row.h"
#include "music/seek.h"

namespace qm {

namespace {

constexpr float UNIT_FULL_SCALE = 1.0f / 32768.0f;  // a power of two: the scaling is exact

// Calls the row callback for a row tick at `frame`, unless a seek skipped
// it or a fade ends the playback before it; a jump asked for from the
// callback goes on at the next row tick.
void report_row(Player* p, uint64_t frame, bool wrapped) {
  if (p->row_callback == nullptr || frame < p->report_from || frame >= fade_stop(p->controls)) return;
  qm_row_event event{};
  event.size = sizeof event;
  event.frame = frame;
  event.order = p->order;
  event.row = p->row;
  event.speed = p->speed;
  event.bpm = p->bpm;
  event.pass = p->pass;
  event.wrapped = wrapped ? 1 : 0;
  p->in_callback = true;
  p->row_callback(p->row_user, &event);
  p->in_callback = false;
  if (p->pending.kind == Move::JUMP) {
    player_jump_at_next_row(p, p->pending.order, p->pending.row);
    p->pending = PendingMove{};
  }
}

// Mixes one piece of the block, measuring the channel levels when asked to.
void mix_piece(Player* p, float* out, int32_t frames) {
  if (!p->controls.metering) {
    mix_voices(p, out, frames);
    return;
  }
  VoiceMark marks[MIXED_VOICES];
  mark_voices(p, marks);
  mix_voices(p, out, frames);
  meter_piece(p, marks, frames);
}

// The ticks and pieces of the block starting at mix_end: mixed into
// mix_block when audible, else only advanced. Returns the frames covered:
// the whole block, or fewer when a repositioning asked for from the row
// callback is due at a row tick inside it (the block then ends there).
int32_t run_block(Player* p, bool audible) {
  const int32_t frames = p->block_frames;
  float* block = p->mix_block;
  if (audible) std::memset(block, 0, static_cast<size_t>(frames) * 2 * sizeof(float));
  release_unheard_voices(p);  // once a block is enough: they only cost time
  int32_t left = p->tick_frames_left;
  int32_t done = 0;
  while (done < frames) {
    if (left <= 0) {
      if (p->tick == 0 && p->pending.kind != Move::NONE) {
        p->move_due = true;
        p->from_start = false;
        break;
      }
      run_tick(p, audible);
      left = p->samples_per_tick > 0 ? p->samples_per_tick : 1;  // a tick is never empty
    }
    const int32_t n = left < frames - done ? left : frames - done;
    if (audible) {
      mix_piece(p, block + static_cast<size_t>(done) * 2, n);
    } else {
      advance_voices(p, n);
    }
    done += n;
    left -= n;
  }
  p->tick_frames_left = left;
  p->block_start = p->mix_end;
  p->mix_end += static_cast<uint64_t>(done);
  return done;
}

// Makes sure the current block has frames left to hand out; false at the end.
bool block_ready(Player* p) {
  for (;;) {
    if (p->block_read < p->block_valid) return true;
    if (p->move_due) {
      carry_out_move(p);
      continue;
    }
    if (p->ended || stop_frame(p) <= p->mix_end) {
      p->ended = true;
      return false;
    }
    mix_block(p);
  }
}

// After a call that handed out the last frame mixed. A row tick that falls
// exactly on the block boundary may end the playback: the next block is
// mixed at once (also when a fade ends there too: the song's own end is the
// one to report) so that the end is known with the call that reached it.
void note_end(Player* p) {
  if (p->block_read < p->block_valid || p->move_due || p->ended) return;
  if (!p->end_found && p->tick_frames_left == 0 && p->tick == 0 && stop_frame(p) >= p->mix_end) mix_block(p);
  if (stop_frame(p) <= p->frame) p->ended = true;
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
    convert_to_pcm16(p->pcm_block, p->mix_block, p->block_valid);
    p->pcm_ready = true;
  }
  std::memcpy(out, p->pcm_block + static_cast<size_t>(p->block_read) * 2, static_cast<size_t>(n) * 2 * sizeof(int16_t));
}

void copy_f32(Player* p, float* out, int32_t n) {
  const float* from = p->mix_block + static_cast<size_t>(p->block_read) * 2;
  if (!p->controls.unit_floats) {
    std::memcpy(out, from, static_cast<size_t>(n) * 2 * sizeof(float));
    return;
  }
  for (int32_t i = 0; i < 2 * n; ++i) out[i] = from[i] * UNIT_FULL_SCALE;
}

template <typename T, void (*Copy)(Player*, T*, int32_t)>
int32_t render(Player* p, T* out, int32_t count) {
  if (p == nullptr || out == nullptr || count <= 0 || p->in_callback) return 0;
  int32_t written = 0;
  while (written < count && block_ready(p)) {
    const int32_t n = std::min(count - written, p->block_valid - p->block_read);
    Copy(p, out + static_cast<size_t>(written) * 2, n);
    p->block_read += n;
    p->frame += static_cast<uint64_t>(n);
    written += n;
  }
  note_end(p);
  return written;
}

}  // namespace

void run_tick(Player* p, bool report) {
  const bool row_tick = p->tick == 0;
  const uint64_t frame = p->next_tick_frame;
  p->last_tick = p->tick;
  replay_tick(p);
  p->next_tick_frame += p->samples_per_tick > 0 ? static_cast<uint64_t>(p->samples_per_tick) : 1;
  // Ticks after the end are mixed (they fill the rest of the last block) but
  // no longer reported.
  if (!row_tick || p->end_found) return;
  bool wrapped = false;
  if (row_played_before(p)) {
    if (p->repeats_left == 0) {
      p->end_found = true;
      p->end_frame = frame;
      p->end_order = p->order;
      p->end_row = p->row;
      return;
    }
    if (p->repeats_left > 0) --p->repeats_left;
    ++p->pass;
    p->pass_frame = frame;
    wrapped = true;
    forget_played_rows(p);
    row_played_before(p);
  }
  if (report) report_row(p, frame, wrapped);
}

void mix_block(Player* p) {
  const int32_t done = run_block(p, true);
  shape_block(p, p->mix_block, done);
  apply_fade(p->controls, p->mix_block, p->block_start, done);
  p->controls.block_faded = p->controls.fade_frames > 0;
  if (p->controls.metering) publish_levels(p);
  p->pcm_ready = false;
  p->block_read = 0;
  const uint64_t stop = stop_frame(p);
  const uint64_t playable = stop > p->block_start ? stop - p->block_start : 0;
  p->block_valid = static_cast<int32_t>(std::min<uint64_t>(playable, static_cast<uint64_t>(done)));
}

void skip_block(Player* p) {
  run_block(p, false);
  p->block_valid = 0;
  p->block_read = 0;
  p->frame = p->mix_end;
}

uint64_t stop_frame(const Player* p) {
  const uint64_t fade = fade_stop(p->controls);
  return p->end_found && p->end_frame < fade ? p->end_frame : fade;
}

int32_t render_s16(Player* player, int16_t* out, int32_t count) {
  return render<int16_t, copy_s16>(player, out, count);
}

int32_t render_f32(Player* player, float* out, int32_t count) {
  return render<float, copy_f32>(player, out, count);
}

uint64_t measure_frames(Player* p, uint64_t max_frames) {
  while (!p->end_found && p->next_tick_frame <= max_frames) run_tick(p, false);
  return p->end_found && p->end_frame < max_frames ? p->end_frame : max_frames;
}

}  // namespace qm
