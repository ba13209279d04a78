// stop_signals.h: the one set of stop signals of every tool, SIGINT,
// SIGTERM, SIGHUP, SIGQUIT and SIGPIPE, and the table of temporary files
// they remove.
//
// The first stop signal only raises a flag: every loop looks at it between
// steps (a chunk, a frame, a key), removes what it was writing and returns,
// and main ends the process by that signal once all is cleaned up
// (end_by_stop_signal), as a shell expects of an interrupted program. A
// second signal means the orderly stop is not coming: the handler removes
// every registered temporary file, runs the last-resort hook (a tool that
// changed the terminal puts it back) and ends the process at once.
// SIGPIPE comes to the thread whose write found the pipe closed; that write
// then fails with EPIPE and the same orderly stop follows. A signal ignored
// when the process started (nohup, a background job) stays ignored.
// SIGXFSZ is ignored, so that a write past the file-size limit fails with
// "File too large" instead of ending the process.
//
// Owns: the process's handlers of these signals, the stop flag and the
// table of temporary files. The handler calls only async-signal-safe
// functions (unlink, signal, raise, and the hook) and touches only lock-free
// atomics and the table. Thread: install_stop_handlers, set_stop_hook and
// end_by_stop_signal on main; the rest on any thread.
//
//   install_stop_handlers();              // main, before starting threads
//   block_stop_signals();                 // first thing in a worker thread
//   ... if (stop_requested()) { discard; return; } ...
//   if (stop_requested()) end_by_stop_signal();   // main, after the joins
#pragma once

// Installs the handlers (see above). Call once, before any thread starts.
void install_stop_handlers();
// Keeps the asynchronous stop signals (all but SIGPIPE) away from the
// calling thread, so that they reach main.
void block_stop_signals();
// True once a stop signal has arrived.
bool stop_requested();
// The first stop signal's number, 0 before any.
int stop_signal();
// Ends the process by the signal that asked for the stop (its default
// action).
[[noreturn]] void end_by_stop_signal();
// An async-signal-safe function run by a second signal just before the
// process ends (null: none).
void set_stop_hook(void (*hook)());

// Records a temporary file for removal by a second signal; returns its slot,
// or -1 when the table is full or the path too long (the orderly stop still
// removes it).
int register_temp_file(const char* path);
// Forgets a slot, once its file was renamed or removed; -1 does nothing.
void unregister_temp_file(int slot);
