# What both Windows toolchains share (included by mingw-ARCH.cmake, which
# sets QM_MINGW_TRIPLE and, where needed, QM_MINGW_ARCH_FLAGS).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${QM_MINGW_TRIPLE})
string(REGEX REPLACE "-w64-mingw32$" "" CMAKE_SYSTEM_PROCESSOR ${QM_MINGW_TRIPLE})

find_program(CMAKE_C_COMPILER NAMES ${QM_MINGW_TRIPLE}-gcc-posix REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${QM_MINGW_TRIPLE}-g++-posix REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${QM_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QM_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_C_FLAGS_INIT "${QM_MINGW_ARCH_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "${QM_MINGW_ARCH_FLAGS}")
# The compiler's runtime (libgcc, libstdc++, winpthread) goes into each
# program and DLL.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

# Tests of the cross build run under Wine (tests/windows/wine-run sets up
# the prefix).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../../tests/windows/wine-run)

# pkg-config finds only what is installed for the target (Debian has no
# libFLAC for Windows: xmrender is then built without FLAC).
set(ENV{PKG_CONFIG_LIBDIR} /usr/${QM_MINGW_TRIPLE}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
