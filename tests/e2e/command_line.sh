# The show's command line: --help and --version on standard output with
# status 0; an unknown option, a missing folder or a stray argument refused
# with the usage on standard error and status 2, before any display or file
# is opened.
source "$(dirname "$0")/lib.sh" "$@"
cd "$WORK"

"$QM" --help >out 2>err
status=$?
[ "$status" -eq 0 ] || fail "--help: status $status, want 0"
[ -s err ] && fail "--help wrote to standard error: $(cat err)"
grep -q '^usage: quillmere \[--data DIR\] \[--window\] \[--mute\]$' out || fail "--help shows no usage"
for option in --data --window --mute --version; do
  grep -q -- "^  $option" out || fail "--help does not explain $option"
done

"$QM" --version >out 2>err
status=$?
[ "$status" -eq 0 ] || fail "--version: status $status, want 0"
expect_text out "quillmere 1.0.0"

refused() { # EXPECTED_FIRST_LINE ARGS...: status 2, the message, then the usage
  local want=$1; shift
  "$QM" "$@" >out 2>err
  local status=$?
  [ "$status" -eq 2 ] || fail "$*: status $status, want 2"
  [ -s out ] && fail "$*: wrote to standard output"
  [ "$(head -n1 err)" = "$want" ] || fail "$*: says '$(head -n1 err)', want '$want'"
  grep -q '^usage: quillmere ' err || fail "$*: no usage on standard error"
}
refused "quillmere: unknown option '--bogus'" --bogus
refused "quillmere: unknown option '-x'" --mute -x
refused "quillmere: option needs a folder: '--data'" --data
refused "quillmere: option needs a folder: '--data'" --data=
refused "quillmere: unexpected argument 'typing.xm'" typing.xm
echo "ok: help, version and refused command lines"
