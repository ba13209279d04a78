// stop_signals.cpp: the stop flag, the last-resort hook and the table of
// temporary files (see stop_signals.h); the handlers that set them are the
// platform's (stop_signals_posix.cpp, stop_signals_win32.cpp).
// Owns: see stop_signals.h. Thread: see stop_signals.h.
#include "tools/common/stop_signals.h"

#include <limits.h>

#include <atomic>
#include <cstring>

#include "tools/common/stop_signals_internal.h"

namespace {

// One slot per file being written at once: at most one per thread.
constexpr int TEMP_SLOTS = 64;

enum SlotState : int { SLOT_FREE, SLOT_FILLING, SLOT_ARMED };

struct TempSlot {
  std::atomic<int> state{SLOT_FREE};  // SlotState; path is read only while SLOT_ARMED
  char path[PATH_MAX] = {};
};

using Hook = void (*)();

std::atomic<int> g_stop_signal{0};  // the first stop signal, 0 before any
std::atomic<Hook> g_hook{nullptr};  // run by a second signal
TempSlot g_temp_files[TEMP_SLOTS];

static_assert(std::atomic<int>::is_always_lock_free, "the handler needs lock-free atomics");
static_assert(std::atomic<Hook>::is_always_lock_free, "the handler needs lock-free atomics");

}  // namespace

bool note_stop_signal(int signal) {
  int none = 0;
  return g_stop_signal.compare_exchange_strong(none, signal);
}

void remove_temp_files_and_run_hook() {
  for (TempSlot& slot : g_temp_files) {
    if (slot.state.load(std::memory_order_acquire) == SLOT_ARMED) remove_temp_file(slot.path);
  }
  if (const Hook hook = g_hook.load()) hook();
}

bool stop_requested() { return g_stop_signal.load() != 0; }

int stop_signal() { return g_stop_signal.load(); }

void set_stop_hook(void (*hook)()) { g_hook.store(hook); }

int register_temp_file(const char* path) {
  const size_t length = std::strlen(path);
  if (length >= PATH_MAX) return -1;
  for (int i = 0; i < TEMP_SLOTS; ++i) {
    int expected = SLOT_FREE;
    if (!g_temp_files[i].state.compare_exchange_strong(expected, SLOT_FILLING)) continue;
    std::memcpy(g_temp_files[i].path, path, length + 1);
    g_temp_files[i].state.store(SLOT_ARMED, std::memory_order_release);
    return i;
  }
  return -1;
}

void unregister_temp_file(int slot) {
  if (slot >= 0 && slot < TEMP_SLOTS) g_temp_files[slot].state.store(SLOT_FREE, std::memory_order_release);
}
