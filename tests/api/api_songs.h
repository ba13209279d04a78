// api_songs.h: songs and render helpers for the C API tests: songs loaded
// through the library, small songs made with the XM writer, and whole
// renders at a chosen call size.
// Thread: any; each helper uses its own player.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "quillmere/music.h"
#include "tests/support/xm_writer.h"

struct SongFree {
  void operator()(qm_song* song) const { qm_song_free(song); }
};
using SongHandle = std::unique_ptr<qm_song, SongFree>;

// A file of the repository (path relative to its root); null when it does not load.
SongHandle load_repository_song(const char* path);
// XM bytes loaded from memory; null when they do not load.
SongHandle load_bytes(const std::vector<uint8_t>& bytes);

// One channel, one pattern of four rows with a note on each, speed 6, 125 bpm.
std::vector<uint8_t> four_row_song();
// Two channels, orders 0 1 2 naming three patterns of 8 rows of different
// notes, each row's note on channel row % 2; none on silent_channel.
std::vector<uint8_t> three_order_song(int32_t silent_channel = -1);
XmFile three_order_file(int32_t silent_channel = -1);

// `frames` frames of a fresh player of song at rate, played without end,
// asked for `chunk` frames a call.
std::vector<int16_t> render_s16(const qm_song* song, int32_t rate, int32_t frames, int32_t chunk);
std::vector<float> render_f32(const qm_song* song, int32_t rate, int32_t frames, int32_t chunk);
// Renders until the player ends, `chunk` frames a call; returns the frames.
uint64_t render_all(qm_player* player, int32_t chunk);
// The 16-bit value the library converts a mixed float to.
int16_t pcm16_of(float value);

// Row events collected by log_row (user = the RowLog).
struct RowLog {
  std::vector<qm_row_event> events;
};
void log_row(void* user, const qm_row_event* event);
