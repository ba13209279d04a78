// desktop_sdl.cpp: the desktop show's platform on Linux: the heap prepared
// for start-up, the SDL2 window and the SDL2 sound device (see
// desktop_platform.h).
// Owns: the malloc settings of the process (set once, before anything else
// allocates). Thread: main thread.
#include <malloc.h>
#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

#include "app/desktop_platform.h"
#include "display/sdl_presenter.h"
#include "runtime/audio_sdl.h"

namespace {

constexpr size_t STARTUP_HEAP_BYTES = 24u << 20;  // window surface, texture, frame, pictures, module
constexpr size_t HUGE_PAGE_BYTES = 2u << 20;      // the x86-64 transparent huge page
constexpr int HEAP_BLOCK_LIMIT = 32 << 20;        // blocks up to this size come from the heap
constexpr int HEAP_KEEP_BYTES = 64 << 20;         // free heap kept rather than given back

// Start-up writes several megabytes of fresh memory (the window's surface at
// the display's size, the texture, the frame, the pictures, the module and
// its mixed blocks), and each 4 KiB page costs a fault when first written.
// The heap is grown once to hold all of it and that stretch is advised for
// transparent huge pages, so it faults in 2 MiB at a time; blocks up to
// 32 MiB then come from it instead of mappings of their own. Where huge
// pages are off, or another allocator is in place, this changes nothing but
// where the blocks lie.
void prepare_startup_heap() {
  mallopt(M_MMAP_THRESHOLD, HEAP_BLOCK_LIMIT);
  mallopt(M_TRIM_THRESHOLD, HEAP_KEEP_BYTES);
  void* block = std::malloc(STARTUP_HEAP_BYTES);
  if (!block) return;
  const auto first = reinterpret_cast<uintptr_t>(block);
  const uintptr_t start = (first + HUGE_PAGE_BYTES - 1) & ~(HUGE_PAGE_BYTES - 1);
  const uintptr_t end = (first + STARTUP_HEAP_BYTES) & ~(HUGE_PAGE_BYTES - 1);
  if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
  std::free(block);
}

}  // namespace

void desktop_prepare_process() { prepare_startup_heap(); }

const Presenter* desktop_presenter() { return sdl_presenter(); }

// SIGINT and SIGTERM end the show through SDL's quit event, which the
// presenter's pump reads.
qm::AudioDevice* desktop_audio_device_create() { return qm::sdl_audio_device_create(false); }

void desktop_audio_device_destroy(qm::AudioDevice* device) { qm::sdl_audio_device_destroy(device); }
