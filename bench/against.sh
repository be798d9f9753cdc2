#!/usr/bin/env bash
# Times this tree's smfscope against the smfscope of an earlier revision, in
# paired rounds: each round runs both, one right after the other, on the same
# file with the same options, and takes the ratio of their CPU times (user +
# system). A busy machine slows both runs of a round alike, so the median of
# the ratios holds still where single times jump by a third.
#
#   bench/against.sh REV [SIZE_MB]      e.g. bench/against.sh d5c3ec5 50
#
# Environment: BENCH_ROUNDS (rounds per option set, default 21).
#
# Builds both with the release preset (the revision from `git archive` into
# build/bench/rev-SHA/, once) and uses bench/run.sh's files in build/bench/
# (run bench/run.sh SIZE_MB once first). Prints, per option set, the median
# ratio new/old: above 1 the new program is slower.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"
[ $# -ge 1 ] || { echo "usage: bench/against.sh REV [SIZE_MB]" >&2; exit 2; }
SHA=$(git rev-parse --short "$1^{commit}")
FILE=build/bench/big_${2:-50}MB.mid
ROUNDS=${BENCH_ROUNDS:-21}
[ -s "$FILE" ] || { echo "bench: no $FILE; run bench/run.sh ${2:-50} once first" >&2; exit 1; }

NEW=build/release/smfscope
OLD_TREE=build/bench/rev-$SHA
OLD=$OLD_TREE/build/release/smfscope
cmake --workflow --preset release > /dev/null
if [ ! -x "$OLD" ]; then
  rm -rf "$OLD_TREE" && mkdir -p "$OLD_TREE"
  git archive "$SHA" | tar -x -C "$OLD_TREE"
  (cd "$OLD_TREE" && cmake --preset release > /dev/null && cmake --build build/release --target smfscope > /dev/null)
fi

echo "smfscope against $SHA, $FILE, $ROUNDS paired rounds, CPU time new/old"
python3 - "$OLD" "$NEW" "$FILE" "$ROUNDS" <<'EOF'
import os, resource, statistics, subprocess, sys
old, new, file, rounds = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])

def cpu(cmd):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    subprocess.run(cmd, stdout=subprocess.DEVNULL, stdin=subprocess.DEVNULL, check=False)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)

for options in (["-noteon"], []):
    ratios, olds = [], []
    for _ in range(rounds):
        o = cpu([old, *options, file])
        n = cpu([new, *options, file])
        olds.append(o)
        ratios.append(n / o if o > 0 else 1.0)
    label = " ".join(options) or "(none)"
    print(f"{label:10} old median {statistics.median(olds):7.3f} s   new/old median {statistics.median(ratios):.3f}"
          f"   (quartiles {statistics.quantiles(ratios, n=4)[0]:.3f} .. {statistics.quantiles(ratios, n=4)[2]:.3f})")
EOF
