// terminal_win32.cpp: the player's keys on the Windows console (see
// terminal.h): the console's input without line editing and echo, key
// presses read as they come (the arrows by their key codes), Ctrl-C and
// the console's other control events as the tools' stop signals. Windows
// has no suspend.
// Owns: the console input mode saved at terminal_raw_begin. Thread: main
// only (the control handler only reads the saved mode).
#include <windows.h>

#include <atomic>

#include "tools/common/stop_signals.h"
#include "tools/play/terminal.h"

namespace {

// Console input without line editing and echo; Ctrl-C still arrives as a
// control event (processed input stays on).
constexpr DWORD LINE_MODES = ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT;

std::atomic<bool> raw_mode{false};
std::atomic<DWORD> saved_mode{0};

HANDLE console_input() { return GetStdHandle(STD_INPUT_HANDLE); }

// The console put back when a second stop event ends the process at once.
void restore_at_exit() {
  if (raw_mode.load()) SetConsoleMode(console_input(), saved_mode.load());
}

// The key of one key press: the arrows by their codes, the rest by their character.
Key key_of(const KEY_EVENT_RECORD& key) {
  switch (key.wVirtualKeyCode) {
    case VK_LEFT: return KEY_PREV_ORDER;
    case VK_RIGHT: return KEY_NEXT_ORDER;
    case VK_UP: return KEY_SEEK_AHEAD;
    case VK_DOWN: return KEY_SEEK_BACK;
    default: return plain_key(static_cast<unsigned char>(key.uChar.AsciiChar));
  }
}

}  // namespace

void terminal_catch_signals() {
  install_stop_handlers();
  set_stop_hook(restore_at_exit);
}

bool terminal_suspend_requested() { return false; }

void terminal_suspend() {}

bool terminal_raw_begin() {
  if (raw_mode.load()) return true;
  DWORD mode = 0;
  if (!GetConsoleMode(console_input(), &mode)) return false;
  saved_mode.store(mode);
  if (!SetConsoleMode(console_input(), mode & ~LINE_MODES)) return false;
  raw_mode.store(true);
  return true;
}

void terminal_raw_end() {
  if (!raw_mode.exchange(false)) return;
  SetConsoleMode(console_input(), saved_mode.load());
}

int terminal_columns() {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) {
    const int columns = info.srWindow.Right - info.srWindow.Left + 1;
    if (columns > 0) return columns;
  }
  return DEFAULT_COLUMNS;
}

Key terminal_read_key(KeyDecoder*, int timeout_ms) {
  if (!raw_mode.load()) {
    Sleep(static_cast<DWORD>(timeout_ms));
    return KEY_NONE;
  }
  if (WaitForSingleObject(console_input(), static_cast<DWORD>(timeout_ms)) != WAIT_OBJECT_0) return KEY_NONE;
  INPUT_RECORD record;
  DWORD read = 0;
  while (PeekConsoleInputA(console_input(), &record, 1, &read) && read == 1) {
    ReadConsoleInputA(console_input(), &record, 1, &read);
    if (record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown) continue;
    const Key key = key_of(record.Event.KeyEvent);
    if (key != KEY_NONE) return key;
  }
  return KEY_NONE;
}
