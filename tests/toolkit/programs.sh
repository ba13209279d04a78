# programs.sh: the conventions every program shares through the tools' kit,
# from the command line: --version says the version of project(); --help
# and --version to a full standard output fail with status 1 and the
# reason; SIGQUIT and SIGPIPE (standard error read by a reader that goes
# away) stop a render or a capture and leave no temporary file; the
# capture, like xmrender, keeps a symbolic link as target pointing where it
# did and gives a replaced file its permissions.
# Usage: bash programs.sh VERSION XMRENDER QUILLMERE_PLAY QUILLMERE_CAPTURE QUILLMERE_FRAMES DATA_DIR
# (a program that is not built is given as "none" and skipped).
set -uo pipefail

VERSION=$1
XMR=$2
PLAY=$3
CAPTURE=$4
FRAMES=$5
DATA=$(realpath "$6")
WORK=$(mktemp -d "${TMPDIR:-/tmp}/qm-kit-programs.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
cd "$WORK" || exit 1
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
export SDL_AUDIODRIVER=dummy

fail() {
  echo "FAIL: $*" >&2
  [ -s err ] && { echo "--- standard error:" >&2; cat err >&2; }
  exit 1
}

# The folder holds exactly the names given (hidden files included).
expect_files() {
  local dir=$1; shift
  local got want
  got=$(ls -A "$dir" | sort | tr '\n' ' ')
  want=$( (($#)) && printf '%s\n' "$@" | sort | tr '\n' ' ')
  [ "$got" = "$want" ] || fail "$dir holds [$got], want [$want]"
}

for program in "$XMR" "$PLAY" "$CAPTURE" "$FRAMES"; do
  [ "$program" = none ] && continue
  name=$(basename "$program")
  "$program" --version >out 2>err
  [ $? -eq 0 ] && [ "$(cat out)" = "$name $VERSION" ] || fail "$name --version says '$(cat out)'"
  if [ -w /dev/full ]; then
    for option in --help --version; do
      "$program" $option >/dev/full 2>err
      status=$?
      [ "$status" -eq 1 ] || fail "$name $option to a full standard output: status $status, want 1"
      [ "$(cat err)" = "$name: standard output: No space left on device" ] || fail "$name $option: said '$(cat err)'"
    done
  fi
done

# waits until a hidden temporary file for NAME appears in FOLDER.
wait_for_temp() {
  for _ in $(seq 200); do
    compgen -G "$1/.$2.*" >/dev/null && return 0
    sleep 0.05
  done
  fail "no temporary file for $1/$2 appeared"
}

# quit_mid_run FOLDER NAME COMMAND...: COMMAND writes FOLDER/NAME; SIGQUIT
# once its temporary file is there ends it by SIGQUIT with nothing left.
quit_mid_run() {
  local folder=$1 name=$2; shift 2
  mkdir -p "$folder"
  "$@" 2>err &
  local pid=$!
  wait_for_temp "$folder" "$name"
  kill -QUIT "$pid"
  wait "$pid"
  local status=$?
  [ "$status" -eq 131 ] || fail "$(basename "$1") after SIGQUIT: status $status, want 131"
  expect_files "$folder"
}

set -m  # background jobs in process groups of their own, where SIGINT and SIGQUIT are not ignored
if [ "$XMR" != none ]; then
  quit_mid_run stop long.wav "$XMR" "$DATA/typing.xm" -o stop/long.wav --seconds 3000
  # The progress bar's reader goes away: the next bar meets a closed pipe.
  "$XMR" "$DATA/typing.xm" -o stop/piped.wav --seconds 3000 --progress 2>&1 >/dev/null | head -c 1 >/dev/null
  status=${PIPESTATUS[0]}
  [ "$status" -eq 141 ] || fail "xmrender after SIGPIPE: status $status, want 141"
  expect_files stop
fi

if [ "$CAPTURE" != none ]; then
  quit_mid_run video sig.mkv "$CAPTURE" --data "$DATA" -o video/sig.mkv --lossless -q
  echo old >video/real.mp4
  chmod 640 video/real.mp4
  ln -s real.mp4 video/link.mp4
  "$CAPTURE" --data "$DATA" -o video/link.mp4 --force --to 100 -q 2>err || fail "capture through a link"
  [ -L video/link.mp4 ] || fail "the capture replaced the link by a file"
  [ "$(stat -c %s video/real.mp4)" -gt 1000 ] || fail "the file behind the link was not replaced"
  [ "$(stat -c %a video/real.mp4)" = 640 ] || fail "the replaced file lost its permissions"
  expect_files video link.mp4 real.mp4
fi
echo "ok: versions, a full standard output, SIGQUIT and SIGPIPE, links"
