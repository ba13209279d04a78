// sdl_presenter.cpp: the show's presenter on SDL2 (see sdl_presenter.h).
// Owns: the process-wide window, renderer, streaming texture, pacing clock,
// activation flag and the reason of the last failed open (one display per
// process). Touches: SDL's video subsystem and, on X11, reads the window
// manager's announcement on the root window; every SDL call of the show's
// picture lives in this folder.
// Thread: main thread only. Esc and close are seen in display_present's
// event pump and returned to the caller as PRESENT_QUIT.
#include "display/sdl_presenter.h"

#include <SDL.h>
#include <SDL_syswm.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// Presenter state; empty until display_open succeeds, empty again after
// display_shutdown.
int32_t frame_width = 0;                // pixels per frame row
int32_t frame_height = 0;               // frame rows
SDL_Window* window = nullptr;           // the one full-screen window
SDL_Renderer* renderer = nullptr;       // accelerated with vsync, or software
SDL_Texture* texture = nullptr;         // streaming, 0x00RRGGBB words
bool video_up = false;                  // the video subsystem is initialised
int32_t active = 0;                     // 1 while the window can be seen
Clock::duration refresh_period{};       // one refresh of the display
Clock::time_point last_flip{};          // when the previous flip returned

// The desktop drivers tried when the user has not chosen a driver; keeps SDL
// from falling back silently to its invisible offscreen driver. Wayland's
// client library finds its socket in XDG_RUNTIME_DIR and prints an error of
// its own where that is not set, so without it only X11 is tried.
constexpr const char* DESKTOP_DRIVERS = "x11,wayland";
constexpr const char* X11_DRIVER_ONLY = "x11";
constexpr int FALLBACK_REFRESH_HZ = 60;
// A window shows each frame pixel as a square of this many pixels a side.
constexpr int WINDOW_SCALE = 2;
// Where Linux lists the GPUs' device nodes.
constexpr const char* GPU_DEVICE_DIR = "/dev/dri";

bool window_visible(Uint32 flags) {
  return (flags & SDL_WINDOW_SHOWN) && !(flags & (SDL_WINDOW_HIDDEN | SDL_WINDOW_MINIMIZED));
}

// Handles one window event; visibility drives `active`. Returns true for a
// close request.
bool handle_window_event(const SDL_WindowEvent& ev) {
  switch (ev.event) {
    case SDL_WINDOWEVENT_SHOWN:
    case SDL_WINDOWEVENT_EXPOSED:
    case SDL_WINDOWEVENT_RESTORED:
      active = 1;
      break;
    case SDL_WINDOWEVENT_HIDDEN:
    case SDL_WINDOWEVENT_MINIMIZED:
      active = 0;
      break;
    case SDL_WINDOWEVENT_CLOSE:
      return true;
    default:
      break;
  }
  return false;
}

// Drains SDL's event queue. Returns true when Esc, a quit request (also
// SIGINT or SIGTERM, which SDL turns into one) or a close request came;
// other keys change nothing.
bool pump_events() {
  bool quit = false;
  SDL_Event ev;
  while (SDL_PollEvent(&ev)) {
    switch (ev.type) {
      case SDL_QUIT:
        quit = true;
        break;
      case SDL_KEYDOWN:
        if (ev.key.keysym.sym == SDLK_ESCAPE) quit = true;
        break;
      case SDL_WINDOWEVENT:
        if (handle_window_event(ev.window)) quit = true;
        break;
      default:
        break;
    }
  }
  return quit;
}

// Where the flip did not wait for the display (no vsync, as on the offscreen
// and dummy drivers), waits out the rest of the refresh period since the
// previous flip. A flip that waited has used most of the period already and
// is not held back, so a vsync slightly faster than the nominal rate keeps
// its own pace instead of beating against this wait and dropping frames.
void pace_after_flip() {
  const Clock::time_point now = Clock::now();
  if (now - last_flip < refresh_period * 3 / 4) std::this_thread::sleep_until(last_flip + refresh_period);
  last_flip = Clock::now();
}

Clock::duration display_refresh_period() {
  SDL_DisplayMode mode;
  int hz = FALLBACK_REFRESH_HZ;
  const int index = SDL_GetWindowDisplayIndex(window);
  if (SDL_GetDesktopDisplayMode(index < 0 ? 0 : index, &mode) == 0 && mode.refresh_rate > 0) hz = mode.refresh_rate;
  return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / hz));
}

// True when the machine has a GPU device node. Without one every GL driver
// rasterises on the processor, which only costs start-up time (loading the
// driver and its compiler) over SDL's own software renderer.
bool gpu_device_present() {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(GPU_DEVICE_DIR, error)) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with("card") || name.starts_with("renderD")) return true;
  }
  return false;
}

// True when the software renderer shows the frame as well as an accelerated
// one would: on drivers that show nothing (no vsync, no GPU) and where no GPU
// exists. A renderer the user chose through SDL_RENDER_DRIVER is left to SDL.
bool software_renderer_suffices() {
  if (const char* chosen = SDL_GetHint(SDL_HINT_RENDER_DRIVER); chosen && *chosen) return false;
  const char* driver = SDL_GetCurrentVideoDriver();
  const std::string_view name = driver ? driver : "";
  if (name == "offscreen" || name == "dummy") return true;
  return !gpu_device_present();
}

// Creates the renderer: SDL's software renderer writing straight into the
// window's own surface where that suffices; else accelerated with vsync, and
// software if that fails.
SDL_Renderer* create_renderer() {
  if (software_renderer_suffices()) {
    // Keeps SDL from putting a GL texture behind the window surface.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    if (SDL_Renderer* r = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE)) return r;
    SDL_ResetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION);
  }
  SDL_Renderer* r = SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC);
  if (!r) r = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE);
  return r;
}

// The window that window names in its _NET_SUPPORTING_WM_CHECK property, or
// None. A window that no longer exists (left behind by a window manager that
// has quit) reads as None: its X error is swallowed, not fatal.
Window supporting_window(Display* x, Window window, Atom check) {
  XSync(x, False);
  const auto previous = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  Window named = None;
  if (XGetWindowProperty(x, window, check, 0, 1, False, XA_WINDOW, &type, &format, &count, &after, &data) == Success &&
      type == XA_WINDOW && format == 32 && count == 1 && data)
    named = *reinterpret_cast<Window*>(data);
  if (data) XFree(data);
  XSync(x, False);
  XSetErrorHandler(previous);
  return named;
}

// True unless the window is on an X11 display that no window manager runs:
// one runs when the root window names a window that names itself
// (_NET_SUPPORTING_WM_CHECK). Other platforms answer true, so they keep
// full-screen through their window system.
bool window_manager_present(SDL_Window* w) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(w, &info) || info.subsystem != SDL_SYSWM_X11) return true;
  Display* x = info.info.x11.display;
  const Atom check = XInternAtom(x, "_NET_SUPPORTING_WM_CHECK", True);
  if (check == None) return false;
  const Window wm = supporting_window(x, DefaultRootWindow(x), check);
  return wm != None && supporting_window(x, wm, check) == wm;
}

// Opens a window over the whole of the first display. A window manager is
// asked for full-screen; without one that request would go unanswered (SDL
// waits for the answer), and a borderless window at the display's bounds
// already covers the screen the same way. Created at the desktop's bounds:
// without a window manager a full-screen window at the default position
// keeps its small size.
SDL_Window* create_full_screen_window(const char* title, int width, int height) {
  SDL_Rect bounds{0, 0, width, height};
  SDL_GetDisplayBounds(0, &bounds);
  SDL_Window* w = SDL_CreateWindow(title, bounds.x, bounds.y, bounds.w, bounds.h,
                                   SDL_WINDOW_BORDERLESS | SDL_WINDOW_HIDDEN);
  if (!w) return nullptr;
  if (window_manager_present(w)) SDL_SetWindowFullscreen(w, SDL_WINDOW_FULLSCREEN_DESKTOP);
  SDL_ShowWindow(w);
  return w;
}

// Opens a centred window of twice the frame's size, with the window
// manager's decorations.
SDL_Window* create_scaled_window(const char* title, int width, int height) {
  return SDL_CreateWindow(title, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width * WINDOW_SCALE,
                          height * WINDOW_SCALE, SDL_WINDOW_SHOWN);
}

// Notes SDL's reason for the failed step; display_open's failure.
DisplayStatus open_failed(std::string* why) {
  const char* reason = SDL_GetError();
  if (why != nullptr) *why = reason && *reason ? reason : "unknown reason";
  return DISPLAY_UNAVAILABLE;
}

// SDL's log output function that writes nothing: SDL's own lines are not
// the show's to print.
void SDLCALL drop_log_message(void*, int, SDL_LogPriority, const char*) {}

DisplayStatus display_open(void*, const char* title, int width, int height, DisplayMode mode, std::string* why) {
  frame_width = width;
  frame_height = height;
  SDL_LogSetOutputFunction(drop_log_message, nullptr);
  // An empty SDL_VIDEODRIVER counts as unset (SDL would then try every driver).
  const char* chosen = SDL_getenv("SDL_VIDEODRIVER");
  if (!chosen || !*chosen) {
    const char* runtime_dir = SDL_getenv("XDG_RUNTIME_DIR");
    const bool wayland_possible = runtime_dir && *runtime_dir;
    SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, wayland_possible ? DESKTOP_DRIVERS : X11_DRIVER_ONLY,
                            SDL_HINT_OVERRIDE);
  }
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return open_failed(why);
  video_up = true;

  window = mode == DISPLAY_WINDOW ? create_scaled_window(title, width, height)
                                  : create_full_screen_window(title, width, height);
  if (!window) return open_failed(why);

  SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
  renderer = create_renderer();
  if (!renderer) return open_failed(why);
  // Creating a GL renderer re-sends the show events; the flags are settled now.
  active = window_visible(SDL_GetWindowFlags(window)) ? 1 : 0;

  SDL_RenderSetLogicalSize(renderer, width, height);
  SDL_RenderSetIntegerScale(renderer, SDL_TRUE);
  texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING, width, height);
  if (!texture) return open_failed(why);
  SDL_SetTextureScaleMode(texture, SDL_ScaleModeNearest);

  // The cursor is hidden over the full-screen show; a window keeps it.
  if (mode == DISPLAY_FULL_SCREEN) SDL_ShowCursor(SDL_DISABLE);
  SDL_DisableScreenSaver();
  refresh_period = display_refresh_period();
  last_flip = Clock::now();
  return DISPLAY_OK;
}

PresentResult display_present(void*, const uint32_t* pixels) {
  if (pump_events()) return PRESENT_QUIT;
  if (!active || !texture) {
    SDL_Delay(1);
    return PRESENT_SHOWN;
  }
  void* locked = nullptr;
  int pitch = 0;
  if (SDL_LockTexture(texture, nullptr, &locked, &pitch) != 0) return PRESENT_FAILED;
  auto* target = static_cast<uint8_t*>(locked);
  for (int32_t row = 0; row < frame_height; ++row) {
    row_copy(pixels, reinterpret_cast<uint32_t*>(target), frame_width);
    pixels += frame_width;
    target += pitch;
  }
  SDL_UnlockTexture(texture);

  SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
  SDL_RenderClear(renderer);
  SDL_RenderCopy(renderer, texture, nullptr, nullptr);
  SDL_RenderPresent(renderer);
  pace_after_flip();
  return PRESENT_SHOWN;
}

void display_shutdown(void*) {
  if (texture) SDL_DestroyTexture(texture);
  if (renderer) SDL_DestroyRenderer(renderer);
  if (window) SDL_DestroyWindow(window);
  texture = nullptr;
  renderer = nullptr;
  window = nullptr;
  active = 0;
  if (video_up) {
    SDL_EnableScreenSaver();
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    video_up = false;
  }
}

}  // namespace

const Presenter* sdl_presenter() {
  static const Presenter presenter = {nullptr, display_open, display_present, display_shutdown};
  return &presenter;
}
