// seek.cpp: seeking with state (see seek.h). Rendering leaves each voice's
// position, direction and gain ramp where its pieces ended, and the pieces
// end at tick and block boundaries; a seek therefore walks the same block
// grid with skip_block, whose pieces are the mixer's own with loops that
// only move the positions, and then mixes the target's block for real.
// Owns: nothing. Touches: the Player it is given.
// Thread: the thread that uses the player. Allocates nothing.
#include "music/seek.h"

#include "music/mix_controls.h"
#include "music/render.h"

namespace qm {

namespace {

// Runs the replayer alone from the start until a row tick plays `order`,
// `row`, and gives that tick's frame; false when the first pass ends (or the
// search runs out) first. Leaves the player in no defined position.
bool find_row_frame(Player* p, int32_t order, int32_t row, uint64_t* frame) {
  player_restart(p, 0);
  p->from_start = false;  // the voices are not mixed here: nothing may go on from this
  return run_to_row(p, order, row, frame);
}

}  // namespace

bool run_to_row(Player* p, int32_t order, int32_t row, uint64_t* frame) {
  for (int64_t ticks = 0; ticks < MAX_SEARCH_TICKS && !p->end_found && p->pass == 0; ++ticks) {
    const bool row_tick = p->tick == 0;
    const uint64_t at = p->next_tick_frame;
    run_tick(p, false);
    if (row_tick && !p->end_found && p->order == order && p->row == row) {
      *frame = at;
      return true;
    }
  }
  return false;
}

void seek_frame(Player* p, uint64_t target) {
  const auto block = static_cast<uint64_t>(p->block_frames);
  const uint64_t grid = target - target % block;
  if (p->from_start && !p->move_due && p->mix_end % block == 0 && p->mix_end <= grid) {
    p->pending = PendingMove{};
    p->ended = false;  // a fade may have ended it; settle_controls drops the fade
    settle_controls(p);
  } else {
    player_restart(p, 0);
  }
  p->report_from = target;
  while (p->mix_end < grid && !p->end_found) skip_block(p);
  if (!p->end_found) mix_block(p);
  const uint64_t stop = stop_frame(p);
  if (stop <= target) {
    p->block_valid = 0;
    p->block_read = 0;
    p->frame = stop;
    p->ended = true;
    return;
  }
  p->block_read = static_cast<int32_t>(target - p->block_start);
  p->frame = target;
}

void seek_row(Player* p, int32_t order, int32_t row) {
  uint64_t frame = 0;
  if (find_row_frame(p, order, row, &frame)) {
    seek_frame(p, frame);
    return;
  }
  player_restart(p, order);
  p->next_row = row;
  p->from_start = false;
}

void move_player(Player* p, const PendingMove& move) {
  switch (move.kind) {
    case Move::JUMP:
      player_jump(p, move.order, move.row);
      break;
    case Move::SEEK_ROW:
      seek_row(p, move.order, move.row);
      break;
    case Move::SEEK_FRAME:
      seek_frame(p, move.frame);
      break;
    case Move::RESTART:
      player_restart(p, move.order);
      break;
    case Move::NONE:
      break;
  }
}

void carry_out_move(Player* p) {
  const PendingMove move = p->pending;
  p->pending = PendingMove{};
  p->move_due = false;
  move_player(p, move);
}

}  // namespace qm
