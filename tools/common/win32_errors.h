// win32_errors.h: Windows' error codes as the errno values the kit's
// messages and Status carry, so a refusal reads the same on every system
// ("Permission denied", "No such file or directory").
// Owns: nothing. Thread: any.
#pragma once
#include <windows.h>

// The errno value closest to a Windows error code (GetLastError); EIO for
// one without a match.
int errno_of_win32(DWORD code);
