// stop_signals_win32.cpp: the stop signals on Windows (see stop_signals.h):
// the console's control events (Ctrl-C, Ctrl-Break, the console window
// closed, log-off, shut-down) take the place of SIGINT, SIGTERM and SIGHUP.
// Windows runs the handler on a thread of its own, so there is nothing to
// block on a worker. A closed pipe makes the write fail (EPIPE), with the
// same orderly stop as any failed write. A program ended by a stop exits
// with the status Windows gives one ended by Ctrl-C.
// Owns: the process's console control handler. Thread: see stop_signals.h.
#include <windows.h>

#include <csignal>
#include <cstdio>

#include "tools/common/stop_signals.h"
#include "tools/common/stop_signals_internal.h"

namespace {

// The control event as the signal it stands for.
int signal_of_event(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT: return SIGINT;
    case CTRL_BREAK_EVENT: return SIGBREAK;
    default: return SIGTERM;  // the console closed, log-off, shut-down
  }
}

BOOL WINAPI on_console_event(DWORD event) {
  if (note_stop_signal(signal_of_event(event))) {
    // Windows ends the process once this returns from a close, log-off or
    // shut-down event, so the orderly stop gets a moment to finish first.
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) Sleep(INFINITE);
    return TRUE;
  }
  // A second event: the orderly stop is not coming; remove and go.
  remove_temp_files_and_run_hook();
  ExitProcess(STATUS_CONTROL_C_EXIT);
}

}  // namespace

void install_stop_handlers() { SetConsoleCtrlHandler(on_console_event, TRUE); }

void block_stop_signals() {}

void end_by_stop_signal() {
  std::fflush(nullptr);
  ExitProcess(STATUS_CONTROL_C_EXIT);
}

void remove_temp_file(const char* path) { DeleteFileA(path); }
