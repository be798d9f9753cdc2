#!/usr/bin/env bash
# The bounded fuzz run of CI: builds the libFuzzer target with clang and
# fuzzes for SECONDS (default 120) with a fixed seed over a copy of the seed
# corpus. A finding fails the run and is printed as hex; add it to
# fuzz/corpus/, and the tests replay it.   fuzz/run.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
rm -rf build/fuzz && mkdir -p build/fuzz/findings && cp -r fuzz/corpus build/fuzz/corpus
"${CXX_FUZZ:-clang++-14}" -std=c++20 -O1 -g -I. -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  fuzz/smf_fuzz.cpp app/summary.cpp smf/*.cpp output/*.cpp platform/*_posix.cpp -o build/fuzz/smf_fuzz
cd build/fuzz/findings
if ../smf_fuzz -seed=1 -max_total_time="${1:-120}" -timeout=10 -rss_limit_mb=2048 ../corpus >../log 2>&1; then
  grep -E '^Done ' ../log && exit 0
fi
tail -n 60 ../log
od -A x -t x1z -v ./* >&2 || true
exit 1
