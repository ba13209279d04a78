# Sound as a user meets it, on SDL's offscreen video driver: without a sound
# device the show says so once and goes on; --mute opens no device (SDL's
# disk driver would record to a file) and needs no typing.xm; with a device
# the same run does record. A quit request (SIGTERM) ends each run with 0.
source "$(dirname "$0")/lib.sh" "$@"
make_data
export SDL_VIDEODRIVER=offscreen

SDL_AUDIODRIVER=no-such-audio-driver start_show
message="quillmere: no sound device (Audio target 'no-such-audio-driver' not available); the show goes on without music"
wait_for_message "$message" 30
sleep 1
kill -0 "$QM_PID" 2>/dev/null || fail "the show did not go on without a sound device"
quit_show
expect_text "$WORK/stderr" "$message"

export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$WORK/recording.raw"
rm "$WORK/data/typing.xm"
start_show --mute
sleep 2
kill -0 "$QM_PID" 2>/dev/null || fail "--mute: the show ended: $(cat "$WORK/stderr")"
quit_show
[ -e "$WORK/recording.raw" ] && fail "--mute: a sound device was opened"
[ -s "$WORK/stderr" ] && fail "--mute: the show said: $(cat "$WORK/stderr")"

make_data >/dev/null
start_show
for _ in $(seq 200); do
  [ -s "$WORK/recording.raw" ] && break
  kill -0 "$QM_PID" 2>/dev/null || break
  sleep 0.05
done
quit_show
[ -s "$WORK/recording.raw" ] || fail "without --mute the disk driver recorded nothing"
[ -s "$WORK/stderr" ] && fail "with a sound device the show said: $(cat "$WORK/stderr")"
echo "ok: no device said once, --mute silent, a device records"
