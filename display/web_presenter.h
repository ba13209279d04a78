// web_presenter.h: puts the 512 x 384 software frame on the page's canvas
// (a 2D canvas with the id "show"), pixel for pixel, behind the Presenter
// interface (presenter.h); the page scales it.
// Owns: the process-wide RGBA copy of the frame the canvas is given.
// Thread: the page's main thread only.
//
// Full screen, the cursor and the keys belong to the page's script: this
// presenter only draws, and its present never returns PRESENT_QUIT.
#pragma once
#include <cstdint>

#include "display/presenter.h"

// The canvas presenter (a browser build only).
const Presenter* web_presenter();

// Turns count 0x00RRGGBB words into the canvas's RGBA bytes (opaque).
void rgba_row_copy(const uint32_t* source, uint32_t* target, int32_t count);
