#!/usr/bin/env bash
# examples/game_loop on typing.xm: started at order 1, row 8 with channel 0
# muted and looped for 40 s, it must start where xmrender's trace of the
# song heard that row, and report its first wrap where xmrender's one pass
# ends, then a second one.
# Usage: game_loop_example.sh GAME_LOOP XMRENDER SONG
set -euo pipefail
game_loop=$1 xmrender=$2 song=$3
out=$("$game_loop" "$song" 1 8 0 40)
start=$("$xmrender" "$song" --trace 2>/dev/null | awk '$2 == 1 && $3 == 8 { printf "%.3f", $1 / 44100; exit }')
pass=$("$xmrender" "$song" -o /dev/null 2>&1 | sed -n 's/.*(\([0-9]*\) frames at 44100 Hz), one pass.*/\1/p')
[ -n "$start" ] && [ -n "$pass" ] || { echo "no trace or pass length from xmrender" >&2; exit 1; }
first_wrap=$(awk -v f="$pass" 'BEGIN { printf "%.3f", f / 44100 }')
expect() {
  grep -qxF "$1" <<<"$out" || { echo "game_loop did not say: $1"; echo "it said:"; echo "$out"; exit 1; } >&2
}
expect "starting at order 1, row 8, $start s into the song, channel 0 muted"
expect "$first_wrap s: the song wrapped to order 1, row 0: pass 1 begins"
grep -q ": pass 2 begins$" <<<"$out" || { echo "no second wrap: $out" >&2; exit 1; }
tail -n 1 <<<"$out" | grep -q '^played 40.000 s; 2 passes completed; ' || { echo "no summary: $out" >&2; exit 1; }
echo "ok: game_loop starts at $start s and wraps at $first_wrap s"
