// render.h: offline rendering of a loaded module through the block fill, the
// same code path the real-time mixer thread uses, with no device and no clock.
// Owns: nothing the caller sees; while a render runs it borrows the output
// state (channels, voices, buffers) and the module's tick handler.
// Thread: the caller's; one render at a time per process.
#pragma once
#include <cstdint>
#include <cstdio>

#include "music/module.h"

// One row tick as the trace reports it.
struct RowTick {
  uint64_t frame;  // output frame where the row tick falls, from the start of playback
  int32_t order;   // order position played
  int32_t row;     // row played
  int32_t speed;   // ticks per row after the row's effects
  int32_t bpm;     // tempo after the row's effects
};

// Receives each piece of 16-bit stereo output (frames x 2 samples).
using PcmSink = bool (*)(const int16_t* samples, int32_t frames, void* user);
using RowTickSink = void (*)(const RowTick& tick, void* user);
// Called after each block with the frames produced so far.
using ProgressSink = void (*)(uint64_t frames, const Module* module, void* user);

struct RenderOptions {
  int32_t rate = 44100;            // output frames per second
  uint64_t max_frames = 0;         // 0: one pass of the song (still capped at an hour)
  PcmSink pcm = nullptr;           // may be null: nothing is written
  RowTickSink row_tick = nullptr;  // may be null
  ProgressSink progress = nullptr; // may be null
  void* user = nullptr;            // handed to every sink
};

enum class RenderEnd {
  SONG_REPEATED,  // playback came back to a row already played: one pass done
  FRAME_LIMIT,    // max_frames (or the one-hour cap) reached
  SINK_FAILED,    // the PCM sink returned false
  BAD_RATE,       // the rate is outside what the output supports
};

struct RenderResult {
  RenderEnd end;
  uint64_t frames;      // frames handed to the sink
  int32_t loop_order;   // SONG_REPEATED: the order and row playback came back to
  int32_t loop_row;
};

// The hard cap of every render: one hour of audio.
constexpr uint64_t RENDER_MAX_SECONDS = 3600;

// Plays module from its start and hands its output to the sinks. A one-pass
// render ends exactly at the frame of the first row tick that comes back to
// an (order, row) already played with the same pattern-loop counters.
RenderResult render_module(Module* module, const RenderOptions& options);

// Installs <cstdio> file callbacks as the music code's table.
void install_render_file_callbacks();
