# A picture that is missing or of an unsupported kind ends the show with
# status -1 (255) after a message naming the file; so does a missing module,
# without a message. Runs on SDL's offscreen driver: no X server needed.
source "$(dirname "$0")/lib.sh" "$@"
make_data
export SDL_VIDEODRIVER=offscreen

run_show() {
  (cd "$WORK/data" && exec timeout 20 "$QM") 2>"$WORK/stderr"
}

rm "$WORK/data/fin.tga"
run_show
status=$?
[ "$status" -eq 255 ] || fail "fin.tga missing: status $status, want 255"
grep -qxF "Could not load image fin.tga, file will not open." "$WORK/stderr" || fail "fin.tga not named"

"$MAKE_DATA" "$WORK/data" "$SOURCE_DATA" >/dev/null
printf '\0\0\3\0\0\0\0\0\0\0\0\0\4\0\4\0\10\0' >"$WORK/data/vessa.tga" # greyscale
run_show
status=$?
[ "$status" -eq 255 ] || fail "greyscale vessa.tga: status $status, want 255"
grep -qxF "Could not load image vessa.tga, file is of unknown mode." "$WORK/stderr" || fail "vessa.tga not named"

"$MAKE_DATA" "$WORK/data" "$SOURCE_DATA" >/dev/null
rm "$WORK/data/typing.xm"
run_show
status=$?
[ "$status" -eq 255 ] || fail "typing.xm missing: status $status, want 255"
echo "ok: status 255 and the file named"
