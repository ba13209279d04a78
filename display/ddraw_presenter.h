// ddraw_presenter.h: the show's frame on Windows through DirectDraw in an
// exclusive full-screen mode of the frame's size, behind the Presenter
// interface (presenter.h).
//
// "ddraw.dll" is loaded when the display opens; the first IDirectDraw and
// IDirectDrawSurface interfaces give the exclusive 512 x 384 mode (32 bits
// per pixel, else 24, else 16), a flipping chain (triple buffered, else
// double) and its back buffer, which takes each frame row by row at the
// pitch the lock reports, then flips. Only a 32-bit mode with the masks
// 0xFF0000, 0xFF00, 0xFF has a row converter; any other mode fails the open.
// The pop-up window's procedure follows the activation (frames are drawn
// only while the program is the active one), hides the cursor, and turns
// Esc and a close request into PRESENT_QUIT; the screen saver is off while
// the display is open. shutdown releases the surfaces, restores the display
// mode and the normal cooperative level, destroys the window, frees the
// library and turns the screen saver back on, in that order.
// Owns: the process-wide DirectDraw objects, window, library and activation
// flag (one display per process). Thread: main thread only.
#pragma once
#include <cstdint>

#include "display/presenter.h"

const Presenter* ddraw_presenter();

// The row converter for a surface's pixel format: row_copy for 32 bits per
// pixel with masks red 0xFF0000, green 0xFF00, blue 0xFF; null for any other.
using RowConverter = void (*)(const uint32_t* source, uint32_t* target, int32_t count);
RowConverter choose_row_converter(uint32_t bits, uint32_t red_mask, uint32_t green_mask, uint32_t blue_mask);

// Loads DirectDraw from library instead of "ddraw.dll" (tests load a stand-in
// that records the calls). Call before open.
void ddraw_presenter_set_library(const char* library);
