// main.cpp: entry of the desktop show. Prepares the heap for start-up,
// reads the command line, takes the platform's presenter and sound device,
// then runs the demo and ends the process with its status.
// Owns: the malloc settings of the process (set once, before anything else
// allocates). Thread: main thread.
#include <malloc.h>
#include <sys/mman.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "app/command_line.h"
#include "app/demo_app.h"
#include "app/desktop_platform.h"

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

int main(int argc, char** argv) {
  prepare_startup_heap();
  ShowOptions options;
  switch (parse_command_line(argc, argv, options)) {
    case COMMAND_HELP:
      return print_help();
    case COMMAND_VERSION:
      return print_version();
    case COMMAND_BAD:
      return STATUS_BAD_COMMAND_LINE;
    case COMMAND_RUN:
      break;
  }
  qm::AudioDevice* audio = options.mute ? nullptr : desktop_audio_device_create();
  int status = STATUS_DONE;
  {
    DemoApp app(options, desktop_presenter(), audio);
    status = app.run();
  }
  desktop_audio_device_destroy(audio);
  return status;
}
