#!/usr/bin/env bash
# Times this tree's smfscope against the smfscope of an earlier revision on the same file, in
# paired rounds (bench/paired.cpp: new, then old right after it), once for each option set, and
# prints the median of the ratios new/old of their CPU times: above 1 the new one is slower.
#
#   bench/against.sh REV [SIZE_MB [OPTIONS ...]]     e.g. bench/against.sh HEAD~1 50 -noteon "" "-u8 -noteon"
#
# Each OPTIONS is one option set, "" for none; by default -noteon and "". Environment:
# BENCH_ROUNDS (default 21). Builds REV with the release preset once, into build/bench/rev-SHA/.
REV=${1:-} SIZE=${2:-50}
[[ $REV && $SIZE =~ ^[0-9]+$ && $SIZE -ge 1 ]] || { echo "usage: bench/against.sh REV [SIZE_MB [OPTIONS ...]]" >&2; exit 2; }
shift $(( $# < 2 ? $# : 2 ))
[ $# -gt 0 ] || set -- -noteon ""
ROUNDS=21
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
SHA=$(git rev-parse --short "$REV^{commit}") || fail "no revision $REV"
files "$SIZE"

TREE=$B/rev-$SHA LOG=$B/rev-$SHA.log OLD=$B/rev-$SHA/build/release/smfscope
if [ ! -x "$OLD" ]; then
  rm -rf "$TREE" && mkdir -p "$TREE" && git archive "$SHA" | tar -x -C "$TREE"
  (cd "$TREE" && cmake --preset release && cmake --build build/release --target smfscope) > "$LOG" 2>&1 ||
    { cat "$LOG" >&2; fail "building $SHA"; }
fi
echo "smfscope against $SHA on $big, $ROUNDS paired rounds: median of new/old in CPU time; new and old, medians"
for options in "$@"; do
  "$B/paired" "$ROUNDS" 0 "${options:-(no option)}" "$BIN" $options "$big" -- "$OLD" $options "$big"
done
