// Counts the heap allocations of a player's life through a malloc of this
// test program's own, which forwards to the C library's: creating a player
// is one allocation, and rendering, restarting, jumping, repeating and
// measuring make none. Not built with the sanitizers, which bring their own
// allocator.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "quillmere/music.h"
#include "tests/api/api_songs.h"

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* block);
}

namespace {

std::atomic<bool> counting{false};
std::atomic<int64_t> allocations{0};

void note() {
  if (counting.load(std::memory_order_relaxed)) allocations.fetch_add(1, std::memory_order_relaxed);
}

// Allocations made by what runs between start() and the returned count.
struct AllocationCount {
  AllocationCount() {
    allocations.store(0);
    counting.store(true);
  }
  int64_t stop() {
    counting.store(false);
    return allocations.load();
  }
};

}  // namespace

extern "C" {
void* malloc(size_t size) {
  note();
  return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) {
  note();
  return __libc_calloc(count, size);
}
void* realloc(void* block, size_t size) {
  note();
  return __libc_realloc(block, size);
}
void* aligned_alloc(size_t alignment, size_t size) {
  note();
  return __libc_memalign(alignment, size);
}
void* memalign(size_t alignment, size_t size) {
  note();
  return __libc_memalign(alignment, size);
}
int posix_memalign(void** block, size_t alignment, size_t size) {
  note();
  *block = __libc_memalign(alignment, size);
  return *block != nullptr ? 0 : ENOMEM;
}
void free(void* block) { __libc_free(block); }
}

namespace {

TEST(RenderAllocations, APlayerIsOneAllocationAndRenderingMakesNone) {
  SongHandle song = load_repository_song("data/typing.xm");
  ASSERT_NE(song.get(), nullptr);
  std::vector<int16_t> pcm(2 * 65536);
  std::vector<float> floats(2 * 65536);
  RowLog log;
  log.events.reserve(100000);

  AllocationCount creating;
  qm_player* p = nullptr;
  ASSERT_EQ(qm_player_create(song.get(), 44100, &p), QM_OK);
  EXPECT_EQ(creating.stop(), 1);

  AllocationCount rendering;
  qm_player_set_row_callback(p, log_row, &log);
  qm_player_set_repeat_count(p, 2);
  qm_player_set_gain(p, -3.0);
  for (int32_t chunk : {1, 884, 1000, 65536}) {
    ASSERT_EQ(qm_player_render_s16(p, pcm.data(), chunk), chunk);
    ASSERT_EQ(qm_player_render_f32(p, floats.data(), chunk), chunk);
  }
  qm_player_jump(p, 1);
  qm_player_render_s16(p, pcm.data(), 5000);
  qm_player_restart(p, 0);
  while (qm_player_render_s16(p, pcm.data(), 65536) > 0) {
  }
  qm_position at{};
  qm_player_get_position(p, &at);
  EXPECT_EQ(rendering.stop(), 0);
  EXPECT_EQ(at.ended, 1);
  EXPECT_FALSE(log.events.empty());
  qm_player_free(p);

  AllocationCount measuring;  // the measure's own player, and nothing else
  uint64_t frames = 0;
  ASSERT_EQ(qm_song_measure(song.get(), 44100, 0, 0, UINT64_MAX, &frames, nullptr), QM_OK);
  EXPECT_EQ(measuring.stop(), 1);
  EXPECT_GT(frames, 0u);
}

}  // namespace
