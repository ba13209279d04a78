// sdl_presenter.h: the show's frame in an SDL2 window, full-screen or at
// twice its size, behind the Presenter interface (presenter.h).
// Owns: the process-wide window, renderer, texture and activation flag (one
// display per process). Thread: main thread only.
#pragma once
#include <cstdint>

#include "display/presenter.h"

// The presenter; SDL's log output is kept off the terminal from its open on.
const Presenter* sdl_presenter();
