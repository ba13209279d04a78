# lib.sh: shared set-up of the xmrender tests; sourced with the test's
# arguments: XMRENDER MAKE_TEST_SONGS SOURCE_DIR. Every test works in a
# temporary folder of its own, removed at the end.
set -uo pipefail

XMR=$1
MAKE_SONGS=$2
SRC=$3
TYPING=$SRC/data/typing.xm
CORPUS=$SRC/../shared/corpus/xm

WORK=$(mktemp -d "${TMPDIR:-/tmp}/qm-xmrender.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
cd "$WORK" || exit 1

# Debian's python3 when there is one: a version manager's wrapper in PATH
# can take a second to start.
if [ -x /usr/bin/python3 ]; then
  python3() { /usr/bin/python3 "$@"; }
fi

fail() {
  echo "FAIL: $*" >&2
  [ -s err ] && { echo "--- xmrender's standard error:" >&2; cat err >&2; }
  exit 1
}

# Skips the test (CTest's SKIP_RETURN_CODE) when a tool is not installed.
need() {
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
  done
}

# run ARGS...: xmrender with standard output in `out` and standard error in
# `err`; the exit status in STATUS.
run() {
  "$XMR" "$@" >out 2>err
  STATUS=$?
}

# expect STATUS LINE WHAT: the last run ended with STATUS and its standard
# error has a line holding LINE (fixed text); WHAT names the case.
expect() {
  [ "$STATUS" -eq "$1" ] || fail "$3: status $STATUS, want $1"
  [ -z "$2" ] || grep -qF -- "$2" err || fail "$3: no message '$2'"
}

# The folder holds exactly the names given (hidden files included): nothing
# partial and no temporary file is left.
expect_files() {
  local dir=$1; shift
  local want got
  want=$(printf '%s\n' "$@" | sort)
  got=$(ls -A "$dir" | sort)
  [ "$got" = "$want" ] || fail "$dir holds [$(echo $got)], want [$(echo $want)]"
}

# Writes silent.xm and named.xm into the current folder.
make_songs() {
  "$MAKE_SONGS" . || fail "cannot make the test songs"
}

# frames FILE.wav: the frame count of a PCM WAV file (python's wave module).
frames() {
  python3 -c 'import sys, wave; print(wave.open(sys.argv[1]).getnframes())' "$1"
}
