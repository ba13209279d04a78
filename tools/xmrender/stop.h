// stop.h: how xmrender stops on SIGINT, SIGTERM and SIGHUP without leaving
// a partial file behind. The first signal only raises a flag: every render
// loop looks at it between chunks, removes its temporary file and returns,
// and main then ends the process by the same signal. A second signal (when
// something does not return) removes every registered temporary file at once
// and ends the process right there.
// Owns: the signal handlers and the table of temporary files. Thread: any,
// except install_stop_handlers and end_by_stop_signal (main thread).
//
//   install_stop_handlers();              // main, before starting threads
//   block_stop_signals();                 // first thing in a worker thread
//   int slot = register_temp_file(path);  // after creating it
//   ... if (stop_requested()) { unlink(path); unregister_temp_file(slot); }
//   if (stop_requested()) end_by_stop_signal();   // main, after the joins
#pragma once

// Installs the handlers, and ignores SIGXFSZ so that a write beyond the
// file-size limit fails with "File too large" instead of ending the process.
void install_stop_handlers();
// Keeps the stop signals away from the calling thread, so they reach main.
void block_stop_signals();
// True once a stop signal has arrived.
bool stop_requested();
// Ends the process by the signal that asked for the stop (its default
// action), as the shell expects of an interrupted program.
[[noreturn]] void end_by_stop_signal();

// Records a temporary file for removal by a second signal; returns its slot,
// or -1 when the table is full or the path too long (the first signal's
// orderly stop still removes it).
int register_temp_file(const char* path);
// Forgets a slot (after the file was renamed or removed); -1 does nothing.
void unregister_temp_file(int slot);
