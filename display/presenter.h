// presenter.h: puts the 512 x 384 software frame on the screen, full-screen,
// and owns the program's only window and its event pump.
// Owns: the process-wide window, renderer, texture and activation flag.
// Thread: main thread only.
#pragma once
#include <cstdint>

// Opens the full-screen window titled title for frames of width x height.
// Returns 1 on success, 0 when no display can be opened.
int display_open(const char* title, int width, int height);
// Pumps the window's events (Esc or close end the process with status 0),
// then shows the frame: height rows of width 0x00RRGGBB words, no gap.
// Returns 0 when the frame could not be copied to the screen, else 1.
int display_present(const uint32_t* pixels);
// Releases everything display_open made and restores the desktop.
void display_shutdown();
// Copies count 32-bit words of one frame row unchanged into a texture row.
void row_copy(const uint32_t* source, uint32_t* target, int32_t count);

// The demo's stateless handle to the presenter.
class DisplayDevice {
 public:
  // Opens the display under "Quillmere..."; ends the process with status 1 on failure.
  void init(int width, int height);
  int present(const uint32_t* pixels);
};
