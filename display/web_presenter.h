// web_presenter.h: puts the 512 x 384 software frame on the page's canvas
// (a 2D canvas with the id "show"), pixel for pixel; the page scales it.
// Owns: the process-wide RGBA copy of the frame the canvas is given.
// Thread: the page's main thread only.
//
// Call web_display_open once, then web_display_present for every frame.
// Full screen, the cursor and the keys belong to the page's script: this
// file only draws.
#pragma once
#include <cstdint>

// Sizes the canvas to width x height and keeps its 2D context. Returns 1 on
// success, 0 when the page has no canvas "show" with a 2D context or the
// sizes are out of range.
int web_display_open(int width, int height);
// Shows the frame: height rows of width 0x00RRGGBB words, no gap. Returns 1
// when drawn or held back while the page is hidden (as the desktop holds
// frames while its window cannot be seen), 0 when no display is open.
int web_display_present(const uint32_t* pixels);
// Forgets the canvas and releases the RGBA copy; nothing happens when
// nothing is open.
void web_display_shutdown();
// Turns count 0x00RRGGBB words into the canvas's RGBA bytes (opaque).
void rgba_row_copy(const uint32_t* source, uint32_t* target, int32_t count);
