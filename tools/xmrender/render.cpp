// render.cpp: offline rendering through configure_output, start_playback and
// fill_block, with row-tick tracing and one-pass detection.
// Owns: the state of the render in progress (one per process, below).
// Touches: the output state and the module's tick handler while rendering.
// Thread: the caller's.
#include "tools/xmrender/render.h"

#include <cstdio>
#include <string>
#include <unordered_set>

#include "music/file_callbacks.h"
#include "music/output.h"
#include "music/replayer.h"

namespace {

struct RenderState {
  const RenderOptions* options;
  uint64_t next_tick_frame;  // frame where the next tick falls
  uint64_t limit;            // frames to produce at most
  bool one_pass;
  bool repeated;             // a one-pass render met a row already played
  uint64_t end_frame;        // frame of that row tick
  int32_t loop_order, loop_row;
  std::unordered_set<std::string> played;  // (order, row, loop counters) keys
};

// The render in progress; the tick handler has no other way to reach it.
RenderState* active_render = nullptr;

// Where playback stands at a row tick: order, row and every channel's
// pattern-loop counter, packed into bytes.
std::string position_key(const Module* m) {
  std::string key;
  int32_t count = m->channel_count < CHANNEL_COUNT ? m->channel_count : CHANNEL_COUNT;
  key.reserve(8 + static_cast<size_t>(count));
  for (int32_t v : {m->order, m->row}) key.append(reinterpret_cast<const char*>(&v), sizeof v);
  for (int32_t i = 0; i < count; ++i) key.push_back(static_cast<char>(channels[i].loop_count));
  return key;
}

// The module's tick handler during a render: the replayer's tick, with the
// frame of each tick counted exactly as fill_block schedules them.
void render_tick(Module* m) {
  RenderState& s = *active_render;
  bool row_tick = m->tick == 0;
  uint64_t frame = s.next_tick_frame;
  replay_tick(m);
  s.next_tick_frame += m->samples_per_tick > 0 ? static_cast<uint64_t>(m->samples_per_tick) : 1;
  if (!row_tick || s.repeated || frame >= s.limit) return;
  if (s.one_pass && !s.played.insert(position_key(m)).second) {
    s.repeated = true;
    s.end_frame = frame;
    s.loop_order = m->order;
    s.loop_row = m->row;
    return;
  }
  if (s.options->row_tick != nullptr) {
    s.options->row_tick(RowTick{frame, m->order, m->row, m->speed, m->bpm}, s.options->user);
  }
}

void* file_open(const char* path) { return std::fopen(path, "rb"); }
int file_close(void* f) { return std::fclose(static_cast<FILE*>(f)); }
int32_t file_read(void* buffer, int32_t length, void* f) {
  if (length <= 0) return 0;
  return static_cast<int32_t>(std::fread(buffer, 1, static_cast<size_t>(length), static_cast<FILE*>(f)));
}
int file_seek(void* f, int32_t offset, int32_t whence) {
  return std::fseek(static_cast<FILE*>(f), offset, whence == 1 ? SEEK_CUR : (whence == 2 ? SEEK_END : SEEK_SET));
}
int32_t file_tell(void* f) { return static_cast<int32_t>(std::ftell(static_cast<FILE*>(f))); }

}  // namespace

void install_render_file_callbacks() { set_file_callbacks(file_open, file_close, file_read, file_seek, file_tell); }

RenderResult render_module(Module* module, const RenderOptions& options) {
  RenderResult result{RenderEnd::BAD_RATE, 0, -1, -1};
  if (!configure_output(options.rate) || !start_playback(module)) return result;
  RenderState state{};
  state.options = &options;
  state.one_pass = options.max_frames == 0;
  state.limit = RENDER_MAX_SECONDS * static_cast<uint64_t>(options.rate);
  if (!state.one_pass && options.max_frames < state.limit) state.limit = options.max_frames;
  active_render = &state;
  TickHandler own_handler = module->tick_handler;
  module->tick_handler = render_tick;

  result.end = RenderEnd::FRAME_LIMIT;
  while (result.frames < state.limit) {
    // No device reads behind the renderer, so every block is filled at ring
    // index 0: the same few kilobytes of mix and output buffer stay in the
    // cache instead of the whole ring passing through it.
    fill_index = 0;
    fill_block();
    uint64_t frames = static_cast<uint64_t>(block_frames);
    uint64_t stop = state.repeated ? state.end_frame : state.limit;
    if (result.frames + frames > stop) frames = stop - result.frames;
    if (frames > 0 && options.pcm != nullptr &&
        !options.pcm(output_buffer, static_cast<int32_t>(frames), options.user)) {
      result.end = RenderEnd::SINK_FAILED;
      break;
    }
    result.frames += frames;
    if (options.progress != nullptr) options.progress(result.frames, module, options.user);
    if (state.repeated) {
      result.end = RenderEnd::SONG_REPEATED;
      result.loop_order = state.loop_order;
      result.loop_row = state.loop_row;
      break;
    }
  }

  module->tick_handler = own_handler;
  active_render = nullptr;
  release_playback_buffers();
  return result;
}
