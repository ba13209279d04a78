# No data is ever lost: an output that is the input (by its path, a hard
# link or a symbolic link) is refused; a folder that cannot take the file, a
# full disk (a file-size limit: "File too large"), SIGTERM and SIGINT in the
# middle of a render leave no partial file and the old target untouched;
# --no-clobber keeps existing files; a replaced file keeps its permissions;
# links lead to the file replaced or made; a read-only file is refused; a
# --trace whose lines are lost fails and leaves no file.
source "$(dirname "$0")/lib.sh" "$@" || exit 1

mkdir songs
cp "$TYPING" songs/song.xm
ln songs/song.xm songs/hard.xm
ln -s song.xm songs/soft.xm
input_intact() { cmp -s songs/song.xm "$TYPING" || fail "$1: the input changed"; }

for out in songs/song.xm songs/hard.xm songs/soft.xm; do
  for format in "" --format=wav; do
    run songs/song.xm -o $out $format
    expect 1 "xmrender: songs/song.xm: the output '$out' is the input itself; nothing written" "-o $out $format"
    input_intact "-o $out"
    expect_files songs song.xm hard.xm soft.xm
  done
done
cp songs/song.xm songs/other.raw
run songs/song.xm songs/other.raw --out-dir songs --format raw
expect 1 "xmrender: songs/other.raw: the output 'songs/other.raw' is the input itself" "--out-dir onto an input"
input_intact "--out-dir"
[ -s songs/song.raw ] || fail "the other song of --out-dir was not written"
rm songs/other.raw songs/song.raw

# Folders that do not take the file.
run "$TYPING" -o missing/x.wav
expect 1 "xmrender: $TYPING: cannot create a file in 'missing': No such file or directory" "missing folder"
touch plain
run "$TYPING" -o plain/x.wav
expect 1 "cannot create a file in 'plain': Not a directory" "a file as folder"
mkdir folder.wav
run "$TYPING" -o folder.wav
expect 1 "'folder.wav' is a folder" "a folder as output"
if [ "$(id -u)" -ne 0 ]; then
  mkdir locked && chmod 500 locked
  run "$TYPING" -o locked/x.wav
  expect 1 "cannot create a file in 'locked': Permission denied" "unwritable folder"
  expect_files locked
fi
expect_files . songs plain folder.wav err out $( [ -d locked ] && echo locked)

# A full disk: writes fail with "File too large" beyond a 1000 KB limit.
mkdir full
echo old >full/keep.wav
for format in wav flac raw; do
  (ulimit -f 1000; "$XMR" "$TYPING" -o full/new.$format >out 2>err)
  STATUS=$?
  expect 1 "xmrender: $TYPING: cannot write 'full/new.$format': File too large" "full disk, $format"
  (ulimit -f 1000; "$XMR" "$TYPING" -o full/keep.wav >out 2>err)
  STATUS=$?
  expect 1 "File too large" "full disk over an existing file"
  [ "$(cat full/keep.wav)" = old ] || fail "a failed write changed the existing file"
  expect_files full keep.wav
done

# Stopped in the middle of a long render: no file at all, and the status of
# the signal. Job control gives the background render its own process group,
# in which SIGINT is not ignored.
set -m
stopped() { # SIGNAL STATUS OUTPUT
  mkdir -p stop
  "$XMR" "$TYPING" -o "stop/$3" --seconds 3000 2>err &
  local pid=$!
  for _ in $(seq 200); do
    compgen -G "stop/.$3.*" >/dev/null && break
    sleep 0.05
  done
  compgen -G "stop/.$3.*" >/dev/null || fail "no temporary file for stop/$3 appeared"
  kill -"$1" "$pid"
  wait "$pid"
  STATUS=$?
  expect "$2" "" "$1 during a render to $3"
  expect_files stop
}
stopped TERM 143 long.wav
stopped INT 130 long.flac
stopped HUP 129 long.raw
set +m

# --no-clobber keeps what is there (a skipped file is no failure: a resumed
# batch ends with status 0; a device or a FIFO is written as ever); without
# it, another file is replaced and keeps its permissions; a new file gets
# those of the umask.
echo old >kept.wav
run "$TYPING" -o kept.wav --no-clobber
expect 0 "xmrender: $TYPING: 'kept.wav' exists; skipped (--no-clobber)" "--no-clobber"
[ "$(cat kept.wav)" = old ] || fail "--no-clobber replaced the file"
run "$TYPING" -o fresh.wav --no-clobber
expect 0 "" "--no-clobber, new file"
run "$TYPING" -o /dev/null --no-clobber --seconds 1
expect 0 "wrote /dev/null" "--no-clobber to /dev/null"
mkfifo pipe.wav
(cat pipe.wav >/dev/null &)
run "$TYPING" -o pipe.wav --no-clobber --seconds 1
expect 0 "wrote pipe.wav" "--no-clobber to a FIFO"
chmod 640 kept.wav
run "$TYPING" -o kept.wav
expect 0 "" "replacing another file"
cmp -s kept.wav fresh.wav || fail "the replaced file does not hold the render"
[ "$(stat -c %a kept.wav)" = 640 ] || fail "the replaced file lost its permissions"
(umask 027; "$XMR" "$TYPING" -o umask.wav 2>err)
[ "$(stat -c %a umask.wav)" = 640 ] || fail "a new file under umask 027 has mode $(stat -c %a umask.wav)"
# Through a symbolic link, the file it points to is replaced; the link stays.
ln -s kept.wav link.wav
run "$TYPING" -o link.wav --seconds 1
expect 0 "" "output through a link"
[ -L link.wav ] || fail "the link was replaced by a file"
[ "$(frames kept.wav)" = 44100 ] || fail "the file behind the link was not replaced"
# A dangling link gets its file where it points, and stays a link.
mkdir -p later
ln -s later/made.wav dangling.wav
run "$TYPING" -o dangling.wav --seconds 1
expect 0 "" "output through a dangling link"
[ -L dangling.wav ] || fail "the dangling link was replaced by a file"
[ "$(frames later/made.wav)" = 44100 ] || fail "no file where the dangling link points"
# A read-only file is refused, as cp refuses it, and left as it was.
cp kept.wav locked.wav
chmod 444 locked.wav
run "$TYPING" -o locked.wav --seconds 2
expect 1 "is read-only; not overwritten" "a read-only target"
[ "$(frames locked.wav)" = 44100 ] || fail "the read-only file changed"
# The trace's lines count as output: lost lines fail the render, and no file is made.
if [ -w /dev/full ]; then
  "$XMR" "$TYPING" --trace --seconds 1 -o traced.wav >/dev/full 2>err
  STATUS=$?
  expect 1 "xmrender: standard output: No space left on device" "--trace to a full standard output"
  [ -e traced.wav ] && fail "--trace to a full standard output left its file"
fi
"$XMR" "$TYPING" --trace --seconds 1 -o traced.wav >&- 2>err
STATUS=$?
expect 1 "xmrender: standard output: Bad file descriptor" "--trace with standard output closed"
[ -e traced.wav ] && fail "--trace with standard output closed left a file"
echo "ok: inputs never overwritten, nothing partial after failures and stops, --no-clobber, links, read-only files, lost trace lines"
