# The whole show under Xvfb (1024 x 768, no window manager): a screenshot of
# the root window during the title window (9216..14335 ms), halved, equals
# pixel for pixel the frame quillmere-frames draws for a time in that window;
# the show then ends by itself with status 0 about 30.7 s after it started.
source "$(dirname "$0")/lib.sh" "$@"
need xdotool xwd convert compare
start_xvfb
make_data
start_show
wait_for_window
wait_for_frames
shown=$(now_ms)

# The frame the tool draws for 11000 ms alone: a frame depends on its time
# only, not on the frames drawn before it.
mkdir -p "$WORK/frames"
"$FRAMES" --data "$WORK/data" -o "$WORK/frames" 11000 || fail "quillmere-frames failed"

# The first frames that are not black come from the first second of the
# show; the title window then stands still from 9.2 s to 14.3 s. Screenshots
# are taken from 8 s on until one matches.
matched=
sleep "$(awk -v ms=$((shown + 8000 - $(now_ms))) 'BEGIN { print (ms > 0 ? ms : 0) / 1000 }')"
while [ $(($(now_ms) - shown)) -lt 20000 ]; do
  before=$(now_ms)
  xwd -root -silent >"$WORK/shot.xwd" || fail "xwd failed"
  convert "$WORK/shot.xwd" -sample 50% "$WORK/shot.png" || fail "convert failed"
  differ=$(compare -metric AE "$WORK/shot.png" "$WORK/frames/frame_t11000.png" null: 2>&1)
  if [ "$differ" = "0" ]; then matched=$before; break; fi
  sleep 0.5
done
[ -n "$matched" ] || fail "no screenshot equals the frame (the last differs in $differ pixels)"

# The match was taken between 9216 and 14335 ms into the show, so the end at
# 30720 ms comes 16.4 to 21.5 s later, plus the release of the display and
# the music (a few seconds in sanitizer builds).
wait_for_exit 30
after=$(($(now_ms) - matched))
[ "$QM_STATUS" -eq 0 ] || fail "natural end: status $QM_STATUS, want 0"
[ "$after" -ge 16384 ] && [ "$after" -lt 28000 ] || fail "the show ended $after ms after the title showed"
echo "ok: screenshot equals the frame; the show ended with 0 $after ms after it, $(($(now_ms) - QM_STARTED)) ms after launch"
