// stop_signals.cpp: the stop flag, the handlers and the table of temporary
// files (see stop_signals.h).
// Owns: see stop_signals.h. Thread: see stop_signals.h.
#include "tools/common/stop_signals.h"

#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

namespace {

constexpr int STOP_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE};
// One slot per file being written at once: at most one per thread.
constexpr int TEMP_SLOTS = 64;
constexpr int SHELL_SIGNAL_BASE = 128;  // a shell's status for a process ended by signal n: 128 + n

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

void on_stop_signal(int signal) {
  int none = 0;
  if (g_stop_signal.compare_exchange_strong(none, signal)) return;
  // A second signal: the orderly stop is not coming; remove and go.
  for (TempSlot& slot : g_temp_files) {
    if (slot.state.load(std::memory_order_acquire) == SLOT_ARMED) unlink(slot.path);
  }
  if (const Hook hook = g_hook.load()) hook();
  ::signal(signal, SIG_DFL);
  raise(signal);
}

// The signals block_stop_signals keeps from a worker: SIGPIPE is the
// writing thread's own and must reach it.
sigset_t asynchronous_stop_signals() {
  sigset_t set;
  sigemptyset(&set);
  for (int s : STOP_SIGNALS) {
    if (s != SIGPIPE) sigaddset(&set, s);
  }
  return set;
}

}  // namespace

void install_stop_handlers() {
  struct sigaction action {};
  action.sa_handler = on_stop_signal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a blocked write returns and sees the flag
  for (int s : STOP_SIGNALS) {
    struct sigaction before {};
    if (sigaction(s, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
    sigaction(s, &action, nullptr);
  }
  signal(SIGXFSZ, SIG_IGN);
}

void block_stop_signals() {
  const sigset_t set = asynchronous_stop_signals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

bool stop_requested() { return g_stop_signal.load() != 0; }

int stop_signal() { return g_stop_signal.load(); }

void end_by_stop_signal() {
  const int s = g_stop_signal.load();
  signal(s, SIG_DFL);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, s);
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  raise(s);
  _exit(SHELL_SIGNAL_BASE + s);  // not reached: the default action of every stop signal ends the process
}

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
