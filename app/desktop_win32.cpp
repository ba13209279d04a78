// desktop_win32.cpp: the desktop show's platform on Windows (see
// desktop_platform.h): DirectDraw's exclusive full screen, or a GDI window
// with --window, and the wave-out sound device. The show is a windowed
// program (no console window of its own opens); its messages reach the
// console it was started from, when there is one.
// Owns: the choice of presenter for the run. Thread: main thread.
#include <windows.h>

#include <cstdio>

#include "app/desktop_platform.h"
#include "display/ddraw_presenter.h"
#include "display/gdi_presenter.h"
#include "runtime/audio_waveout.h"

namespace {

const Presenter* chosen = nullptr;  // the presenter open picked; null before

DisplayStatus open_chosen(void*, const char* title, int width, int height, DisplayMode mode, std::string* why) {
  chosen = mode == DISPLAY_WINDOW ? gdi_presenter() : ddraw_presenter();
  return chosen->open(chosen->self, title, width, height, mode, why);
}

PresentResult present_chosen(void*, const uint32_t* pixels) {
  return chosen == nullptr ? PRESENT_FAILED : chosen->present(chosen->self, pixels);
}

void shutdown_chosen(void*) {
  if (chosen != nullptr) chosen->shutdown(chosen->self);
}

// True when the standard handle leads somewhere (a file, a pipe, a console).
bool handle_usable(DWORD which) {
  const HANDLE h = GetStdHandle(which);
  return h != nullptr && h != INVALID_HANDLE_VALUE;
}

}  // namespace

// A windowed program started from a console has no standard output or
// error of its own unless they were redirected; it writes to the console
// of the program that started it instead.
void desktop_prepare_process() {
  const bool out = handle_usable(STD_OUTPUT_HANDLE), err = handle_usable(STD_ERROR_HANDLE);
  if ((out && err) || !AttachConsole(ATTACH_PARENT_PROCESS)) return;
  if (!out) std::freopen("CONOUT$", "w", stdout);
  if (!err) std::freopen("CONOUT$", "w", stderr);
}

const Presenter* desktop_presenter() {
  static const Presenter presenter = {nullptr, open_chosen, present_chosen, shutdown_chosen};
  return &presenter;
}

qm::AudioDevice* desktop_audio_device_create() { return qm::waveout_audio_device_create(); }

void desktop_audio_device_destroy(qm::AudioDevice* device) { qm::waveout_audio_device_destroy(device); }
