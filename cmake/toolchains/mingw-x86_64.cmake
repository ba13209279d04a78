# Cross build for 64-bit Windows with Debian's mingw-w64 (g++-mingw-w64-x86-64).
# The posix flavour of the compiler gives std::thread; everything links
# statically against the compiler's runtime, so a program needs no DLL but
# Windows' own and ours.
set(QM_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
