# Cross build for 32-bit Windows with Debian's mingw-w64 (g++-mingw-w64-i686).
# Floating point goes through SSE2, never the x87 unit, so every result is
# rounded as on x86-64 and the output is the same bytes. Windows gives a
# thread, a window procedure or a callback a stack aligned to 4 bytes only;
# the stack is realigned where SSE2 needs 16.
set(QM_MINGW_TRIPLE i686-w64-mingw32)
set(QM_MINGW_ARCH_FLAGS "-msse2 -mfpmath=sse -mstackrealign")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
