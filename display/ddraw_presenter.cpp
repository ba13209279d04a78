// ddraw_presenter.cpp: the show's presenter on DirectDraw (see
// ddraw_presenter.h).
// Owns: the process-wide presenter state below (one display per process).
// Touches: DirectDraw through the library loaded at run time, user32 (the
// window, its messages, the cursor, the screen-saver switch). Every
// DirectDraw call of the show lives in this file.
// Thread: main thread only; the window procedure runs inside present's
// message pump.
#include "display/ddraw_presenter.h"

#include <windows.h>
#include <ddraw.h>

#include <string>

namespace {

using DirectDrawCreateFunction = HRESULT(WINAPI*)(GUID* driver, LPDIRECTDRAW* object, IUnknown* outer);

constexpr const char* DEFAULT_LIBRARY = "ddraw.dll";
constexpr const char* CREATE_ENTRY = "DirectDrawCreate";
constexpr DWORD MODE_DEPTHS[] = {32, 24, 16};  // bits per pixel, tried in this order
constexpr DWORD TRIPLE_BUFFERING = 2;          // back buffers of the flipping chain
constexpr DWORD DOUBLE_BUFFERING = 1;
constexpr DWORD FLIPPING_CAPS = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_VIDEOMEMORY;
constexpr uint32_t FRAME_BITS = 32;            // the frame's layout: 0x00RRGGBB words
constexpr uint32_t FRAME_RED = 0xFF0000;
constexpr uint32_t FRAME_GREEN = 0xFF00;
constexpr uint32_t FRAME_BLUE = 0xFF;
constexpr WPARAM ESCAPE_KEY = VK_ESCAPE;
constexpr WPARAM KEY_CODE_MASK = 0xFF;         // the key code is the low byte of wParam
static_assert(sizeof(void*) != 4 || (sizeof(DDSURFACEDESC) == 108 && sizeof(DDPIXELFORMAT) == 32),
              "the first DirectDraw's records");
constexpr const char* TRY_WINDOW = "; --window shows the show in a window instead";

// Presenter state; empty until display_open, empty again after display_shutdown.
const char* library_name = DEFAULT_LIBRARY;
int32_t frame_width = 0;                // pixels per frame row
int32_t frame_height = 0;               // frame rows
HMODULE library = nullptr;              // the loaded DirectDraw library
LPDIRECTDRAW direct_draw = nullptr;     // the DirectDraw object
HWND window = nullptr;                  // the pop-up window
LPDIRECTDRAWSURFACE primary = nullptr;  // the primary surface with its flipping chain
LPDIRECTDRAWSURFACE back_buffer = nullptr; // attached to the primary, released with it
RowConverter converter = nullptr;       // frame row -> surface row
int32_t active = 0;                     // the last activation state the window was told of
bool quit_requested = false;            // Esc or a close request arrived
bool screen_saver_off = false;          // open turned the screen saver off

LRESULT CALLBACK window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_ACTIVATEAPP:
      active = static_cast<int32_t>(wparam);
      return 0;
    case WM_SETCURSOR:
      SetCursor(nullptr);  // no mouse cursor over the show
      return 0;
    case WM_KEYDOWN:
      // Esc ends the show; any other key is swallowed.
      if ((wparam & KEY_CODE_MASK) == ESCAPE_KEY) quit_requested = true;
      return 0;
    case WM_CLOSE:
      quit_requested = true;
      return 0;
    default:
      return DefWindowProcA(hwnd, message, wparam, lparam);
  }
}

// A failed open: the reason, with the way out when the exclusive mode is
// what failed.
DisplayStatus open_failed(std::string* why, const std::string& reason, bool exclusive_mode) {
  if (why != nullptr) *why = reason + (exclusive_mode ? TRY_WINDOW : "");
  return DISPLAY_UNAVAILABLE;
}

std::string hex(HRESULT result) {
  char text[16];
  wsprintfA(text, "0x%08lX", static_cast<unsigned long>(result));
  return text;
}

// Creates the pop-up window of the show: never shown by hand, DirectDraw's
// exclusive mode brings it to the front.
void create_window(const char* title) {
  WNDCLASSA window_class{};
  window_class.lpfnWndProc = window_proc;
  window_class.lpszClassName = title;
  RegisterClassA(&window_class);
  window = CreateWindowExA(0, title, title, WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
}

// The exclusive mode at the first depth the display takes.
bool set_display_mode() {
  for (DWORD depth : MODE_DEPTHS) {
    if (SUCCEEDED(direct_draw->SetDisplayMode(static_cast<DWORD>(frame_width), static_cast<DWORD>(frame_height),
                                              depth)))
      return true;
  }
  return false;
}

// The flipping chain in video memory, triple buffered where it fits, else double.
bool create_flipping_chain() {
  for (DWORD back_buffers : {TRIPLE_BUFFERING, DOUBLE_BUFFERING}) {
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
    desc.dwBackBufferCount = back_buffers;
    desc.ddsCaps.dwCaps = FLIPPING_CAPS;
    if (SUCCEEDED(direct_draw->CreateSurface(&desc, &primary, nullptr))) return true;
    primary = nullptr;
  }
  return false;
}

// Loads the library and creates the DirectDraw object.
DisplayStatus create_direct_draw(std::string* why) {
  library = LoadLibraryA(library_name);
  if (library == nullptr) return open_failed(why, std::string(library_name) + " cannot be loaded", false);
  const auto create = reinterpret_cast<DirectDrawCreateFunction>(
      reinterpret_cast<void*>(GetProcAddress(library, CREATE_ENTRY)));
  if (create == nullptr) return open_failed(why, std::string(library_name) + " has no " + CREATE_ENTRY, false);
  const HRESULT created = create(nullptr, &direct_draw, nullptr);
  if (FAILED(created)) {
    direct_draw = nullptr;
    return open_failed(why, "DirectDraw does not start (" + hex(created) + ")", false);
  }
  return DISPLAY_OK;
}

// The exclusive mode, its surfaces and their row converter.
DisplayStatus take_screen(std::string* why) {
  if (FAILED(direct_draw->SetCooperativeLevel(window, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN)))
    return open_failed(why, "DirectDraw refuses exclusive full-screen mode", true);
  if (!set_display_mode())
    return open_failed(why, "the display refuses " + std::to_string(frame_width) + " x " +
                                std::to_string(frame_height) + " at 32, 24 and 16 bits per pixel", true);
  if (!create_flipping_chain()) return open_failed(why, "DirectDraw gives no flipping surfaces", true);
  DDSCAPS caps{};
  caps.dwCaps = DDSCAPS_BACKBUFFER;
  if (FAILED(primary->GetAttachedSurface(&caps, &back_buffer))) {
    back_buffer = nullptr;
    return open_failed(why, "DirectDraw gives no back buffer", true);
  }
  DDPIXELFORMAT format{};
  format.dwSize = sizeof format;
  if (FAILED(primary->GetPixelFormat(&format)) || !(format.dwFlags & DDPF_RGB))
    return open_failed(why, "the display mode is not an RGB mode", true);
  converter = choose_row_converter(format.dwRGBBitCount, format.dwRBitMask, format.dwGBitMask, format.dwBBitMask);
  if (converter == nullptr)
    return open_failed(why, "the display mode is " + std::to_string(format.dwRGBBitCount) +
                                " bits per pixel, not 32-bit 0x00RRGGBB", true);
  return DISPLAY_OK;
}

DisplayStatus display_open(void*, const char* title, int width, int height, DisplayMode, std::string* why) {
  frame_width = width;
  frame_height = height;
  quit_requested = false;
  if (const DisplayStatus created = create_direct_draw(why); created != DISPLAY_OK) return created;
  create_window(title);
  if (const DisplayStatus taken = take_screen(why); taken != DISPLAY_OK) return taken;
  // Not written to the user's profile and not broadcast: shutdown turns it back on.
  SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, FALSE, nullptr, 0);
  screen_saver_off = true;
  return DISPLAY_OK;
}

// Dispatches the window's pending messages; Esc and close set quit_requested.
void pump_messages() {
  MSG message;
  while (PeekMessageA(&message, window, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

PresentResult display_present(void*, const uint32_t* pixels) {
  pump_messages();
  if (quit_requested) return PRESENT_QUIT;
  if (!active || back_buffer == nullptr) {
    Sleep(1);  // nothing is drawn while another program is the active one
    return PRESENT_SHOWN;
  }
  primary->Restore();  // a lost surface comes back; a kept one is untouched
  DDSURFACEDESC desc{};
  desc.dwSize = sizeof desc;
  if (FAILED(back_buffer->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr))) return PRESENT_FAILED;
  auto* target = static_cast<uint8_t*>(desc.lpSurface);
  for (int32_t row = 0; row < frame_height; ++row) {
    converter(pixels, reinterpret_cast<uint32_t*>(target), frame_width);
    pixels += frame_width;
    target += desc.lPitch;
  }
  back_buffer->Unlock(desc.lpSurface);
  primary->Flip(nullptr, DDFLIP_WAIT);
  Sleep(0);
  return PRESENT_SHOWN;
}

void display_shutdown(void*) {
  if (primary != nullptr) primary->Release();  // the back buffer goes with it
  primary = nullptr;
  back_buffer = nullptr;
  if (direct_draw != nullptr) {
    direct_draw->RestoreDisplayMode();
    direct_draw->SetCooperativeLevel(window, DDSCL_NORMAL);
    direct_draw->Release();
    direct_draw = nullptr;
  }
  if (window != nullptr) DestroyWindow(window);
  window = nullptr;
  if (library != nullptr) FreeLibrary(library);
  library = nullptr;
  if (screen_saver_off) SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, TRUE, nullptr, 0);
  screen_saver_off = false;
  converter = nullptr;
  active = 0;
}

}  // namespace

RowConverter choose_row_converter(uint32_t bits, uint32_t red_mask, uint32_t green_mask, uint32_t blue_mask) {
  if (bits == FRAME_BITS && red_mask == FRAME_RED && green_mask == FRAME_GREEN && blue_mask == FRAME_BLUE)
    return row_copy;
  return nullptr;
}

void ddraw_presenter_set_library(const char* library) { library_name = library; }

const Presenter* ddraw_presenter() {
  static const Presenter presenter = {nullptr, display_open, display_present, display_shutdown};
  return &presenter;
}
