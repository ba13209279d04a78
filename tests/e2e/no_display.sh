# Without a display the show ends with status 1 before it reads any file,
# saying why: in an empty directory it does not complain about a missing
# picture, and with every file present it does not fall back to an invisible
# driver.
source "$(dirname "$0")/lib.sh" "$@"
make_data
mkdir -p "$WORK/empty"

run() { # DIR [ENV...]: runs the show there with at most 20 s to spare
  local dir=$1; shift
  (cd "$dir" && exec env "$@" timeout 20 "$QM") 2>"$WORK/stderr"
}

run "$WORK/empty" SDL_VIDEODRIVER=x11
status=$?
[ "$status" -eq 1 ] || fail "empty directory, x11 without DISPLAY: status $status, want 1"
grep -q "Could not load" "$WORK/stderr" && fail "a file was read before the display opened"
# The show's own message with SDL's reason, and nothing else of the show's.
grep -qE "^quillmere: cannot open a display: .+" "$WORK/stderr" || fail "no display: message missing"
[ "$(grep -c '^quillmere: ' "$WORK/stderr")" -eq 1 ] || fail "no display: $(cat "$WORK/stderr")"

run "$WORK/empty"
status=$?
[ "$status" -eq 1 ] || fail "empty directory, no driver chosen: status $status, want 1"

run "$WORK/data"
status=$?
[ "$status" -eq 1 ] || fail "SDL_VIDEODRIVER unset and no DISPLAY, all files present: status $status, want 1"

run "$WORK/data" SDL_VIDEODRIVER=
status=$?
[ "$status" -eq 1 ] || fail "SDL_VIDEODRIVER empty and no DISPLAY, all files present: status $status, want 1"
echo "ok: status 1 without a display"
