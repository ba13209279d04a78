// gdi_presenter.h: the show's frame on Windows in an ordinary window (GDI),
// behind the Presenter interface (presenter.h): the show's --window, for
// machines that refuse the exclusive 512 x 384 mode. The window's client
// area is the frame scaled by the largest whole factor up to 2 that fits
// the desktop's work area; each frame is stretched into it pixel for
// pixel. Esc or closing the window returns PRESENT_QUIT; the cursor stays.
// Frames are paced to the display's refresh rate.
// Owns: the process-wide window and its state (one display per process).
// Thread: main thread only.
#pragma once
#include "display/presenter.h"

const Presenter* gdi_presenter();

// The largest whole factor, from 1 up to max_scale, by which a frame of
// width x height fits in an area of area_width x area_height.
int window_scale(int width, int height, int area_width, int area_height, int max_scale);
