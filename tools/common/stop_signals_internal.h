// stop_signals_internal.h: what the two sides of the stop signals share
// (stop_signals.cpp: the flag, the hook and the table of temporary files;
// stop_signals_posix.cpp or stop_signals_win32.cpp: the handlers).
// Owns: nothing. Thread: the handler's (async-signal-safe on POSIX).
#pragma once

// Records signal as the stop's; true for the first, false when a stop was
// already asked for (the orderly stop is then not coming).
bool note_stop_signal(int signal);
// Removes every registered temporary file (through remove_temp_file) and
// runs the hook: the second signal's last act before the process ends.
void remove_temp_files_and_run_hook();
// Removes one file by name; the platform's async-signal-safe call.
void remove_temp_file(const char* path);
