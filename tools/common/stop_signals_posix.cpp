// stop_signals_posix.cpp: the handlers of SIGINT, SIGTERM, SIGHUP, SIGQUIT
// and SIGPIPE (see stop_signals.h).
// Owns: the process's handlers of these signals. The handler calls only
// async-signal-safe functions (unlink, signal, raise, and the hook).
// Thread: see stop_signals.h.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include "tools/common/stop_signals.h"
#include "tools/common/stop_signals_internal.h"

namespace {

constexpr int STOP_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE};
constexpr int SHELL_SIGNAL_BASE = 128;  // a shell's status for a process ended by signal n: 128 + n

void on_stop_signal(int signal) {
  if (note_stop_signal(signal)) return;
  // A second signal: the orderly stop is not coming; remove and go.
  remove_temp_files_and_run_hook();
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

void end_by_stop_signal() {
  const int s = stop_signal();
  signal(s, SIG_DFL);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, s);
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  raise(s);
  _exit(SHELL_SIGNAL_BASE + s);  // not reached: the default action of every stop signal ends the process
}

void remove_temp_file(const char* path) { unlink(path); }
