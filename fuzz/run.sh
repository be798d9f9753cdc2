#!/usr/bin/env bash
# The bounded fuzz run of CI: builds the libFuzzer target, then fuzzes for
# SECONDS (default 120) with a fixed seed over a copy of the seed corpus,
# with the dictionary and a time limit per input, so that a hang is a finding
# too. Any finding fails the run and is printed as hex; it is also kept in
# build/fuzz/findings/ to be replayed with smf_fuzz_replay.
#   fuzz/run.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-120}"

bash fuzz/build.sh

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir "$work/corpus" "$work/findings"
cp fuzz/corpus/* "$work/corpus/"

status=0
(cd "$work/findings" &&
  ASAN_OPTIONS="${ASAN_OPTIONS:-abort_on_error=0:detect_leaks=1}" \
  UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}" \
  "$OLDPWD/build/fuzz/smf_fuzz" -seed=1 -max_total_time="$seconds" -timeout=10 \
    -rss_limit_mb=2048 -dict="$OLDPWD/fuzz/smf.dict" -print_final_stats=1 \
    "$work/corpus" >"$work/fuzz.log" 2>&1) || status=$?
# libFuzzer's line for every new input is noise in a CI log: the start, the
# end and, on a finding, the report are what matter.
if [ "$status" -eq 0 ]; then
  grep -m 3 -E '^INFO: (Seed|Loaded 1 modules|seed corpus)' "$work/fuzz.log" || true
  grep -E '^#[0-9]+[[:space:]]+DONE|^Done |^stat::' "$work/fuzz.log" || true
else
  tail -n 120 "$work/fuzz.log"
fi

shopt -s nullglob
findings=("$work"/findings/*)
if [ "$status" -ne 0 ] || [ ${#findings[@]} -gt 0 ]; then
  echo "fuzz run failed (exit $status)" >&2
  rm -rf build/fuzz/findings
  mkdir -p build/fuzz/findings
  for f in "${findings[@]}"; do
    cp "$f" build/fuzz/findings/
    echo "finding $(basename "$f"), $(stat -c %s "$f") bytes:" >&2
    od -A x -t x1z -v "$f" >&2
  done
  echo "replay: build/asan/fuzz/smf_fuzz_replay build/fuzz/findings/<name>" >&2
  exit 1
fi
echo "fuzz run: no findings in ${seconds}s"
