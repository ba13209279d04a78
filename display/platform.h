// platform.h: the show's terms with its platform library (SDL) as a whole,
// beside the presenter: its log output and its reason for the last failure.
// Owns: nothing of its own; sets SDL's process-wide log output.
// Thread: main thread.
#pragma once

// Sends SDL's own log messages nowhere, so the terminal shows only the
// program's messages. Call it before anything opens a device.
void platform_quiet_logs();

// SDL's text for the last failure on this thread, "" when it gives none; for
// example why the sound device did not open. Valid until the next SDL call.
const char* platform_last_error();
