# Sourced by bench/run.sh and bench/against.sh: from the top of the tree, builds smfscope with
# the release preset and the bench tools into build/bench/, and generates the files.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
BIN=build/release/smfscope B=build/bench ROUNDS=${BENCH_ROUNDS:-$ROUNDS}
fail() { echo "bench: FAILED: $*" >&2; exit 1; }

mkdir -p "$B"
cmake --workflow --preset release > "$B/build.log" 2>&1 || { cat "$B/build.log" >&2; fail "release build"; }
cxx() { g++ -std=c++20 -O2 -Wall -Wextra "$@" || fail "building the bench tools"; }
cxx bench/make_big.cpp -o "$B/make_big"
cxx bench/paired.cpp -o "$B/paired"
cxx -I. -fexec-charset=CP932 bench/floor.cpp smf/names.cpp -o "$B/floor"

# files SIZE_MB: sets big (the usual file), rs (the same music with running status) and nt (the
# usual file without tempo events), each generated unless it is newer than the generator.
files() {
  big=$B/big_$1MB.mid rs=$B/big_$1MB_rs.mid nt=$B/big_$1MB_notempo.mid
  generate "$1" "$big"
  generate "$1" "$rs" --running-status
  generate "$1" "$nt" --no-tempo
}
generate() {
  [[ -s $2 && $2 -nt bench/make_big.cpp ]] && return
  "$B/make_big" ${3:-} "$1" > "$2.tmp" && mv "$2.tmp" "$2" || fail "generating $2"
}
