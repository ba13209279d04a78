# lib.sh: shared set-up of the end-to-end tests; sourced with the test's
# arguments: QUILLMERE FRAMES_TOOL MAKE_SHOW_DATA WM_CLOSE SOURCE_DATA_DIR.
# Every test works in a temporary directory of its own and, when it needs X,
# on an Xvfb server of its own (Xvfb picks a free display number), so the
# tests can run in parallel.
set -uo pipefail

QM=$1
FRAMES=$2
MAKE_DATA=$3
WM_CLOSE=$4
SOURCE_DATA=$5

WORK=$(mktemp -d "${TMPDIR:-/tmp}/qm-e2e.XXXXXX")
BACKGROUND=()
cleanup() {
  for pid in "${BACKGROUND[@]}"; do kill "$pid" 2>/dev/null; done
  rm -rf "$WORK"
}
trap cleanup EXIT

# Nothing of the caller's session may reach the show.
unset DISPLAY WAYLAND_DISPLAY SDL_VIDEODRIVER
export XDG_RUNTIME_DIR="$WORK/runtime"
mkdir -p -m 700 "$XDG_RUNTIME_DIR"
# Without a sound card the show runs silent; keep ALSA's complaints quiet.
export SDL_AUDIODRIVER=dummy
# In sanitizer builds: D-Bus, X11 and the GL driver (some unloaded by SDL
# before the end) keep allocations to the end of the process, which the leak
# checker would report; our own code's leaks are checked by the unit tests.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
# Mesa's software GL driver synchronises its threads in ways ThreadSanitizer
# cannot see; its reports are not about this program.
export TSAN_OPTIONS="${TSAN_OPTIONS:+$TSAN_OPTIONS:}suppressions=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/tsan.supp"

fail() {
  echo "FAIL: $*" >&2
  [ -f "$WORK/stderr" ] && { echo "--- quillmere's standard error:" >&2; cat "$WORK/stderr" >&2; }
  exit 1
}

# Skips the test (CTest's SKIP_RETURN_CODE) when a tool is not installed.
need() {
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
  done
}

now_ms() { date +%s%3N; }

# The ten files of the show in $WORK/data.
make_data() {
  "$MAKE_DATA" "$WORK/data" "$SOURCE_DATA" || fail "cannot make the show's data files"
}

# Starts an Xvfb of ${1:-1024x768} pixels without a window manager and
# exports DISPLAY. -noreset: the server keeps its state when its last client
# (the readiness probe below) leaves, instead of resetting and rebuilding its
# keymap just as the show connects.
start_xvfb() {
  need Xvfb xdotool
  Xvfb -displayfd 1 -screen 0 "${1:-1024x768}x24" -nolisten tcp -noreset >"$WORK/display" 2>"$WORK/xvfb.log" &
  BACKGROUND+=($!)
  for _ in $(seq 100); do
    [ -s "$WORK/display" ] && break
    sleep 0.1
  done
  [ -s "$WORK/display" ] || fail "Xvfb did not start: $(cat "$WORK/xvfb.log")"
  export DISPLAY=":$(head -n1 "$WORK/display")"
  # The server must answer before the show connects, or the show ends with 1.
  for _ in $(seq 100); do
    xdotool getdisplaygeometry >/dev/null 2>&1 && return
    sleep 0.1
  done
  fail "Xvfb on $DISPLAY does not answer"
}

# Starts the show with the given options in $WORK/data in the background;
# its pid goes to QM_PID.
start_show() {
  (cd "$WORK/data" && exec "$QM" "$@") 2>"$WORK/stderr" &
  QM_PID=$!
  BACKGROUND+=("$QM_PID")
  QM_STARTED=$(now_ms)
}

# Waits for the show's window; fails after 20 s.
# xdotool gives up at once when a window vanishes while it walks the tree (SDL
# makes short-lived helper windows at start-up), so the search is repeated.
wait_for_window() {
  for _ in $(seq 100); do
    xdotool search --name Quillmere >/dev/null 2>&1 && return
    if ! kill -0 "$QM_PID" 2>/dev/null; then
      wait "$QM_PID"
      fail "the show ended with status $? before its window appeared"
    fi
    sleep 0.2
  done
  fail "no Quillmere window appeared"
}

# Waits until the screen shows something other than black: the frame loop
# runs (the first frame can come well after the window appears under the
# sanitizers on a busy machine, or where a GL renderer is created). Fails
# after 60 s.
wait_for_frames() {
  need xwd convert
  for _ in $(seq 120); do
    local brightest
    brightest=$(xwd -root -silent | convert xwd:- -format '%[max]' info:)
    [ -n "$brightest" ] && [ "$brightest" != "0" ] && return
    sleep 0.5
  done
  fail "the screen stayed black"
}

# Waits at most $1 seconds for the show to end; sets QM_STATUS.
wait_for_exit() {
  for _ in $(seq $(($1 * 20))); do
    kill -0 "$QM_PID" 2>/dev/null || break
    sleep 0.05
  done
  kill -0 "$QM_PID" 2>/dev/null && fail "quillmere still runs after $1 s"
  wait "$QM_PID"
  QM_STATUS=$?
}

# Waits at most $2 seconds until the show's standard error has a line equal
# to $1; fails if the show ends or the time runs out first.
wait_for_message() {
  for _ in $(seq $(($2 * 20))); do
    grep -qxF "$1" "$WORK/stderr" && return
    kill -0 "$QM_PID" 2>/dev/null || fail "the show ended before saying: $1"
    sleep 0.05
  done
  fail "the show did not say: $1"
}

# Asks the show to quit with SIGTERM (SDL turns it into a quit request) and
# requires status 0 within 15 s.
quit_show() {
  kill -TERM "$QM_PID"
  wait_for_exit 15
  [ "$QM_STATUS" -eq 0 ] || fail "quit request: status $QM_STATUS, want 0"
}

# Requires the file $1 to hold exactly the text $2.
expect_text() {
  [ "$(cat "$1")" = "$2" ] || fail "$1 holds '$(cat "$1")', want '$2'"
}
