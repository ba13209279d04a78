# Under Xvfb, other keys change nothing and Esc ends the show at once with 0.
source "$(dirname "$0")/lib.sh" "$@"
need xdotool
start_xvfb
make_data
start_show
wait_for_window
wait_for_frames
xdotool search --name Quillmere key a space Return
sleep 0.5
kill -0 "$QM_PID" 2>/dev/null || fail "a key other than Esc ended the show"

xdotool search --sync --name Quillmere key Escape
sent=$(now_ms)
# Left alone, the show would run on for more than 20 s. Releasing the display
# takes a few hundred ms under Xvfb (SDL waits up to 100 ms for a window
# manager that is not there); loaded or sanitizer builds take seconds.
wait_for_exit 15
took=$(($(now_ms) - sent))
[ "$QM_STATUS" -eq 0 ] || fail "Esc: status $QM_STATUS, want 0"
[ "$took" -lt 10000 ] || fail "Esc: the show took $took ms to end"
echo "ok: Esc ended the show with 0 after $took ms"
