// show_frame.h: one frame of the show, the step every frame loop shares
// (the desktop's in demo_app.cpp, the browser's in web_main.cpp).
// Owns: nothing. Touches: the frame and the timeline it is given.
// Thread: the caller's frame loop.
#pragma once
#include <cstdint>

#include "app/timeline.h"
#include "gfx/image.h"

// Clears the 512 x 384 frame and draws the timeline at t milliseconds of
// show time. The caller acts on the cues: it stops the music on stop_music,
// presents the frame while show_goes_on, and ends the show otherwise.
FrameCues show_frame(Timeline& timeline, Image& frame, int32_t t);
