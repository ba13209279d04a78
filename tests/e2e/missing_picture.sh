# A picture that is missing or of an unsupported kind ends the show with
# status -1 (255) after the loader's message naming the file; so does a
# missing or broken typing.xm, after the show's own message naming it. With
# --data the names carry the folder. A typing.xm that loads only with repairs
# plays, with the repairs reported. Runs on SDL's offscreen driver: no X
# server needed.
source "$(dirname "$0")/lib.sh" "$@"
make_data
export SDL_VIDEODRIVER=offscreen

run_show() { # runs the show in $WORK/data with the given options
  (cd "$WORK/data" && exec timeout 20 "$QM" "$@") 2>"$WORK/stderr"
}

# Requires status 255 and exactly the message $1 on standard error.
expect_refusal() {
  [ "$status" -eq 255 ] || fail "$2: status $status, want 255"
  expect_text "$WORK/stderr" "$1"
}

rm "$WORK/data/fin.tga"
run_show
status=$?
expect_refusal "Could not load image fin.tga, file will not open." "fin.tga missing"
(cd "$WORK" && exec timeout 20 "$QM" --data data) 2>"$WORK/stderr"
status=$?
expect_refusal "Could not load image data/fin.tga, file will not open." "--data: fin.tga missing"

make_data >/dev/null
printf '\0\0\3\0\0\0\0\0\0\0\0\0\4\0\4\0\10\0' >"$WORK/data/vessa.tga" # greyscale
run_show
status=$?
expect_refusal "Could not load image vessa.tga, file is of unknown mode." "greyscale vessa.tga"

make_data >/dev/null
rm "$WORK/data/typing.xm"
run_show
status=$?
expect_refusal "quillmere: typing.xm: cannot open: No such file or directory" "typing.xm missing"
run_show --data "$WORK/data/"
status=$?
expect_refusal "quillmere: $WORK/data/typing.xm: cannot open: No such file or directory" "--data: typing.xm missing"

printf 'not a module\n' >"$WORK/data/typing.xm"
run_show
status=$?
expect_refusal 'quillmere: typing.xm: not an XM file: it starts with "not a module?", not "Extended Module: "' "broken typing.xm"
head -c 200 "$SOURCE_DATA/typing.xm" >"$WORK/data/typing.xm"
run_show
status=$?
expect_refusal "quillmere: typing.xm: header incomplete: the file holds 200 bytes; its module header needs 336" \
  "typing.xm cut inside its header"

# A damaged typing.xm that still loads: the show plays what loaded and says
# what the loader repaired (the run is cut short; only the message counts).
head -c 30000 "$SOURCE_DATA/typing.xm" >"$WORK/data/typing.xm"
(cd "$WORK/data" && exec timeout 3 "$QM") 2>"$WORK/stderr"
grep -qxF "quillmere: typing.xm: warning: sample 0 of instrument 4 holds 5,015 of 25,089 frames" "$WORK/stderr" ||
  fail "the loader's repair to a damaged typing.xm was not reported"
echo "ok: status 255 and the file named; a damaged song's repairs reported"
