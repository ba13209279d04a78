// gdi_presenter.cpp: the show's presenter in a window drawn with GDI (see
// gdi_presenter.h).
// Owns: the process-wide window, its scale, the bitmap header of the frame
// and the pacing clock. Touches: user32 and gdi32.
// Thread: main thread only; the window procedure runs inside present's
// message pump.
#include "display/gdi_presenter.h"

#include <windows.h>

#include <chrono>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int MAX_SCALE = 2;           // the window shows each pixel as at most 2 x 2
constexpr int FALLBACK_REFRESH_HZ = 60;
constexpr int MIN_REFRESH_HZ = 24;     // a lower reading is taken as none
constexpr WORD FRAME_BITS = 32;        // 0x00RRGGBB words, as a DIB's BGRA bytes
constexpr DWORD WINDOW_STYLE = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

// Presenter state; empty until display_open, empty again after display_shutdown.
HWND window = nullptr;
const char* class_name = nullptr;      // registered window class, unregistered at shutdown
int frame_width = 0, frame_height = 0;
int scale = 1;                         // client area = frame x scale
BITMAPINFO frame_info{};               // the frame as a top-down DIB
bool quit_requested = false;           // Esc or a close request arrived
Clock::duration refresh_period{};
Clock::time_point last_frame{};

LRESULT CALLBACK window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_KEYDOWN:
      if (wparam == VK_ESCAPE) quit_requested = true;
      return 0;
    case WM_CLOSE:
      quit_requested = true;
      return 0;
    case WM_PAINT: {
      // The next frame repaints the whole area; the request is settled here.
      PAINTSTRUCT paint;
      BeginPaint(hwnd, &paint);
      EndPaint(hwnd, &paint);
      return 0;
    }
    default:
      return DefWindowProcA(hwnd, message, wparam, lparam);
  }
}

DisplayStatus open_failed(std::string* why, const char* what) {
  if (why != nullptr) *why = what;
  return DISPLAY_UNAVAILABLE;
}

Clock::duration display_refresh_period(HWND hwnd) {
  HDC dc = GetDC(hwnd);
  int hz = GetDeviceCaps(dc, VREFRESH);
  ReleaseDC(hwnd, dc);
  if (hz < MIN_REFRESH_HZ) hz = FALLBACK_REFRESH_HZ;
  return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / hz));
}

DisplayStatus display_open(void*, const char* title, int width, int height, DisplayMode, std::string* why) {
  frame_width = width;
  frame_height = height;
  quit_requested = false;
  const HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA window_class{};
  window_class.lpfnWndProc = window_proc;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursor(nullptr, IDC_ARROW);
  window_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  window_class.lpszClassName = title;
  if (RegisterClassA(&window_class) == 0) return open_failed(why, "the window class cannot be registered");
  class_name = title;
  RECT work{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  RECT frame_rect{0, 0, width, height};
  AdjustWindowRect(&frame_rect, WINDOW_STYLE, FALSE);
  const int border_w = (frame_rect.right - frame_rect.left) - width;
  const int border_h = (frame_rect.bottom - frame_rect.top) - height;
  scale = window_scale(width, height, work.right - work.left - border_w, work.bottom - work.top - border_h, MAX_SCALE);
  RECT client{0, 0, width * scale, height * scale};
  AdjustWindowRect(&client, WINDOW_STYLE, FALSE);
  window = CreateWindowExA(0, title, title, WINDOW_STYLE, CW_USEDEFAULT, CW_USEDEFAULT, client.right - client.left,
                           client.bottom - client.top, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return open_failed(why, "the window cannot be created");
  frame_info = BITMAPINFO{};
  frame_info.bmiHeader.biSize = sizeof frame_info.bmiHeader;
  frame_info.bmiHeader.biWidth = width;
  frame_info.bmiHeader.biHeight = -height;  // top row first
  frame_info.bmiHeader.biPlanes = 1;
  frame_info.bmiHeader.biBitCount = FRAME_BITS;
  frame_info.bmiHeader.biCompression = BI_RGB;
  ShowWindow(window, SW_SHOWNORMAL);
  UpdateWindow(window);
  SetForegroundWindow(window);
  refresh_period = display_refresh_period(window);
  last_frame = Clock::now();
  return DISPLAY_OK;
}

void pump_messages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

// GDI does not wait for the display: the rest of one refresh period since
// the last frame is waited out here.
void pace() {
  std::this_thread::sleep_until(last_frame + refresh_period);
  last_frame = Clock::now();
}

PresentResult display_present(void*, const uint32_t* pixels) {
  pump_messages();
  if (quit_requested) return PRESENT_QUIT;
  if (window == nullptr || IsIconic(window)) {
    Sleep(1);  // nothing to draw into while minimised
    return PRESENT_SHOWN;
  }
  HDC dc = GetDC(window);
  const int drawn = StretchDIBits(dc, 0, 0, frame_width * scale, frame_height * scale, 0, 0, frame_width,
                                  frame_height, pixels, &frame_info, DIB_RGB_COLORS, SRCCOPY);
  ReleaseDC(window, dc);
  if (drawn == 0) return PRESENT_FAILED;
  pace();
  return PRESENT_SHOWN;
}

void display_shutdown(void*) {
  if (window != nullptr) DestroyWindow(window);
  window = nullptr;
  if (class_name != nullptr) UnregisterClassA(class_name, GetModuleHandleA(nullptr));
  class_name = nullptr;
}

}  // namespace

int window_scale(int width, int height, int area_width, int area_height, int max_scale) {
  int s = max_scale;
  while (s > 1 && (width * s > area_width || height * s > area_height)) --s;
  return s;
}

const Presenter* gdi_presenter() {
  static const Presenter presenter = {nullptr, display_open, display_present, display_shutdown};
  return &presenter;
}
