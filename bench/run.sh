#!/usr/bin/env bash
# Times smfscope's trace on large generated MIDI files against its targets, each in paired
# rounds (bench/paired.cpp), and prints every target with ok or MISS. First it checks that the
# floor (bench/floor.cpp) prints exactly smfscope's bytes and that -rs decodes the file written
# with running status in step; if not, it times nothing.
#
#   bench/run.sh [SIZE_MB ...]      default: 50; environment: BENCH_ROUNDS (default 11)
SIZES=("${@:-50}")
for s in "${SIZES[@]}"; do
  [[ $s =~ ^[0-9]+$ && $s -ge 1 && $s -le 2000 ]] || { echo "bench: size '$s' is not a whole number of MB from 1 to 2000" >&2; exit 2; }
done
ROUNDS=11
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

# Option sets timed against "smfscope -noteon" on the usual file, one a line: at most so many
# times its CPU time, on which file (big: the usual one, rs: the same music with running
# status), with which options.
AGAINST_NOTEON=(
  "1.1 big -rs -noteon"
  "1.2 rs  -rs -noteon"
  "1.2 big -u8 -noteon"
  "1.6 big -full"
  "2.0 big -json"
  "0.5 big -check"
)

# The event lines of a trace without their positions, with an omitted status ("r[") shown as a
# written one ("R["), and without the comment that tells the two forms of a file apart.
events() { LC_ALL=C sed -nE '/Generated for timing/d; /^st /{s/st 0x[0-9a-f]+ //g; s/---time ([0-9]+) r\[/---time \1 R[/g; p}'; }
differ() { fail "$* on $big; nothing was timed"; }
for s in "${SIZES[@]}"; do
  files "$s"
  cmp <("$BIN" -noteon "$big") <("$B/floor" -noteon "$big") ||
    differ "the floor and 'smfscope -noteon' print different bytes"
  # All but the first line, which counts the arguments.
  cmp <("$BIN" -noteon "$big" | tail -n +2) <("$BIN" -rs -noteon "$big" | tail -n +2) ||
    differ "'smfscope -rs -noteon' and 'smfscope -noteon' differ"
  cmp <("$BIN" -noteon "$big" | events) <("$BIN" -rs -noteon "$rs" | events) ||
    differ "'smfscope -rs -noteon $rs' does not print the events of 'smfscope -noteon'"
done

RESULTS=$B/results.txt
: > "$RESULTS"
trap 'rm -f "$B/copy.mid" "$B"/*"(newtempo=120).mid"' EXIT
pair() { "$B/paired" "$@" | tee -a "$RESULTS"; }
allowed() { echo $(( $(stat -c %s "$2") / 1024 * $1 + 8192 )); }  # KiB: N x the file + 8 MiB
echo "smfscope bench $(date -u +%Y-%m-%dT%H:%MZ), $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo "$ROUNDS paired rounds a line: median of A/B in CPU time; then A and B, medians; peak memory, the largest"
for s in "${SIZES[@]}"; do
  files "$s"
  echo
  echo "$big: $(stat -c %s "$big") bytes; peak memory allowed: the file + 8 MiB, with -t 2 x the file + 8 MiB"
  pair -m "$(allowed 1 "$big")" "$ROUNDS" 1.1 "smfscope -noteon / floor" \
    "$BIN" -noteon "$big" -- "$B/floor" -noteon "$big"
  for row in "${AGAINST_NOTEON[@]}"; do
    read -r limit file options <<< "$row"
    label=$options
    [ "$file" = big ] || label+=", $file file"
    pair "$ROUNDS" "$limit" "$label / -noteon" "$BIN" $options "${!file}" -- "$BIN" -noteon "$big"
  done
  pair -m "$(allowed 2 "$nt")" "$ROUNDS" 2 "-t 120 / cp" "$BIN" -t 120 "$nt" -- cp "$nt" "$B/copy.mid"
  pair "$ROUNDS" 0 "-t 120 / cat > copy" "$BIN" -t 120 "$nt" -- cat "$nt" ">" "$B/copy.mid"
done
echo
echo "targets: $(grep -c '^ok' "$RESULTS") ok, $(grep -c '^MISS' "$RESULTS" || true) MISS"
