#!/usr/bin/env bash
# The bounded fuzz run of CI: builds the libFuzzer target with clang, then
# fuzzes for SECONDS (default 120) with a fixed seed over a copy of the seed
# corpus. A finding fails the run and is printed as hex; it is kept in
# build/fuzz/findings/ to be replayed with smf_fuzz_replay.
#   fuzz/run.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
mkdir -p build/fuzz
sources=(fuzz/smf_fuzz.cpp app/summary.cpp app/tempo_track.cpp $(ls smf/*.cpp | grep -v _win32))
"${CXX_FUZZ:-clang++-14}" -std=c++20 -O1 -g -I. -fno-exceptions -fno-omit-frame-pointer \
  -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all "${sources[@]}" -o build/fuzz/smf_fuzz

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/corpus" "$work/findings"
cp fuzz/corpus/* "$work/corpus/"
status=0
(cd "$work/findings" && "$OLDPWD/build/fuzz/smf_fuzz" -seed=1 -max_total_time="${1:-120}" \
  -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 "$work/corpus" >"$work/log" 2>&1) || status=$?
grep -E '^#[0-9]+[[:space:]]+DONE|^Done |^stat::' "$work/log" || true
shopt -s nullglob
findings=("$work"/findings/*)
if [ "$status" -ne 0 ] || [ ${#findings[@]} -gt 0 ]; then
  tail -n 60 "$work/log"
  rm -rf build/fuzz/findings && mkdir -p build/fuzz/findings
  for f in "${findings[@]}"; do
    cp "$f" build/fuzz/findings/
    od -A x -t x1z -v "$f" >&2
  done
  echo "fuzz run failed (exit $status); replay with smf_fuzz_replay build/fuzz/findings/*" >&2
  exit 1
fi
echo "fuzz run: no findings in ${1:-120}s"
