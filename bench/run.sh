#!/usr/bin/env bash
# Times smfscope's trace on large generated MIDI files against midicsv and
# against a hand-written floor, all in one run, and prints the table. Times
# -rs (running status) and -u8 (UTF-8 output) against the plain trace too,
# -rs also on the same music written with running status.
#
#   bench/run.sh [SIZE_MB ...]      default sizes: 5 50 200
#
# Environment: BENCH_RUNS (runs per measurement, default 5) and
# BENCH_RUNS_BIG (for files of 100 MB and more, default 3).
#
# Builds smfscope with the release preset and the bench tools into
# build/bench/, installs midicsv and GNU time when missing, and keeps the
# generated files in build/bench/ for later runs. Every time is the median
# wall-clock time of its runs; peak memory comes from /usr/bin/time -v.
# Before timing anything it checks that the floor prints exactly the bytes
# smfscope prints, and that -rs decodes the running-status file in step,
# and stops if not. -u8 is measured only where smfscope has it.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"
BIN=build/release/smfscope
BENCH=build/bench
RUNS=${BENCH_RUNS:-5}
RUNS_BIG=${BENCH_RUNS_BIG:-3}
SIZES=("$@")
if [ ${#SIZES[@]} -eq 0 ]; then SIZES=(5 50 200); fi
for s in "${SIZES[@]}"; do
  [[ $s =~ ^[0-9]+$ && $s -ge 1 && $s -le 2000 ]] || { echo "bench: size '$s' is not a whole number of MB from 1 to 2000" >&2; exit 2; }
done

fail() { echo "bench: FAILED: $*" >&2; exit 1; }
log() { echo "bench: $*" >&2; }

# ---- tools ---------------------------------------------------------------
as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }
need_package() {  # need_package FILE_OR_COMMAND PACKAGE
  if command -v "$1" > /dev/null 2>&1 || [ -x "$1" ]; then return; fi
  log "installing $2"
  export DEBIAN_FRONTEND=noninteractive
  as_root apt-get install -y -q "$2" > /dev/null ||
    { as_root apt-get update -q > /dev/null && as_root apt-get install -y -q "$2" > /dev/null; } ||
    fail "cannot install $2"
}
need_package midicsv midicsv
need_package /usr/bin/time time

mkdir -p "$BENCH"
log "building smfscope (release preset)"
cmake --workflow --preset release > "$BENCH/build.log" 2>&1 || { cat "$BENCH/build.log" >&2; fail "release build"; }
[ -x "$BIN" ] || fail "no $BIN after the build"

build_tool() {  # build_tool OUT FLAGS... -- SOURCES...
  local out=$1; shift
  local flags=() srcs=()
  while [ "$1" != "--" ]; do flags+=("$1"); shift; done
  shift
  srcs=("$@")
  local stale=0 f
  [ -x "$out" ] || stale=1
  for f in "${srcs[@]}" bench/big_file.h; do
    if [ "$f" -nt "$out" ]; then stale=1; fi
  done
  if [ $stale -eq 1 ]; then
    g++ -std=c++20 -O2 -Wall -Wextra -I. "${flags[@]}" "${srcs[@]}" -o "$out" || fail "building $out"
  fi
}
build_tool "$BENCH/make_big" -- bench/make_big.cpp
build_tool "$BENCH/floor" -fexec-charset=CP932 -- bench/floor.cpp smf/names.cpp

# ---- files ---------------------------------------------------------------
big() { echo "$BENCH/big_${1}MB.mid"; }
notempo() { echo "$BENCH/big_${1}MB_notempo.mid"; }
# The same music as big_SIZE, written with running status, in fewer bytes.
running() { echo "$BENCH/big_${1}MB_rs.mid"; }
make_file() {  # make_file OUT MAKE_BIG_ARGS...
  local f=$1; shift
  if [ ! -s "$f" ] || [ "$BENCH/make_big" -nt "$f" ]; then
    "$BENCH/make_big" "$@" "$f.tmp" && mv "$f.tmp" "$f" || fail "generating $f"
  fi
}
for s in "${SIZES[@]}"; do
  make_file "$(big "$s")" "$s"
  make_file "$(notempo "$s")" --no-tempo "$s"
  make_file "$(running "$s")" --running-status "$s"
done
SMALL=$BENCH/small.mid
make_file "$SMALL" 0.02

TMP=$(mktemp -d)
OUT="$BENCH/trace.out"
COPY="$BENCH/copy.mid"
cleanup() {
  rm -rf "$TMP"
  rm -f "$OUT" "$COPY"
  for s in "${SIZES[@]}"; do rm -f "$(notempo "$s")(newtempo=120).mid"; done
}
trap cleanup EXIT

LOAD_AT_START=$(cut -d' ' -f1-3 /proc/loadavg)

# -u8 is measured only where smfscope has it: its trace of a small file then
# says "MIDIファイル" in UTF-8 (E3 83 95 E3 82 A1 E3 82 A4 E3 83 AB).
U8_FILE_WORD=$'MIDI\xe3\x83\x95\xe3\x82\xa1\xe3\x82\xa4\xe3\x83\xab'
HAVE_U8=0
if "$BIN" -u8 -noteon "$SMALL" < /dev/null > "$TMP/u8.txt" 2> /dev/null &&
  LC_ALL=C grep -qF "$U8_FILE_WORD" "$TMP/u8.txt"; then
  HAVE_U8=1
else
  log "$BIN -u8 -noteon $SMALL did not exit 0 with a UTF-8 trace: -u8 is not supported yet, not measured"
fi

# ---- identity before timing -----------------------------------------------
for s in "${SIZES[@]}"; do
  f=$(big "$s")
  log "checking on $f that the floor prints exactly smfscope's bytes"
  if ! cmp <("$BIN" -noteon "$f") <("$BENCH/floor" -noteon "$f") > "$TMP/cmp.txt" 2>&1; then
    cat "$TMP/cmp.txt" >&2
    fail "the floor and 'smfscope -noteon' print different bytes for $f; nothing was timed"
  fi
  cmp <("$BIN" -noteon "$(notempo "$s")") <("$BENCH/floor" -noteon "$(notempo "$s")") > "$TMP/cmp.txt" 2>&1 ||
    { cat "$TMP/cmp.txt" >&2; fail "the floor and smfscope differ on $(notempo "$s")"; }

  # -rs against the plain trace compares like with like: on a file with
  # every status byte the two print the same (the first line names the
  # argument, which stands elsewhere).
  log "checking -rs on $f and on $(running "$s")"
  cmp <("$BIN" -noteon "$f" | tail -n +2) <("$BIN" -rs -noteon "$f" | tail -n +2) > "$TMP/cmp.txt" 2>&1 ||
    { cat "$TMP/cmp.txt" >&2; fail "'smfscope -rs -noteon' and 'smfscope -noteon' differ on $f; nothing was timed"; }
  # The running-status file holds the same music: -rs must decode it in
  # step, to as many notes and no unknown event.
  "$BIN" -rs -noteon "$(running "$s")" > "$TMP/rs.txt" || fail "smfscope -rs -noteon $(running "$s") exited with an error"
  notes_plain=$("$BIN" -noteon "$f" | LC_ALL=C grep -acF '] note ' || true)
  notes_rs=$(LC_ALL=C grep -acF '] note ' "$TMP/rs.txt" || true)
  unknown_rs=$(LC_ALL=C grep -acF 'Track Event unknown' "$TMP/rs.txt" || true)
  [ "$notes_plain" -gt 0 ] && [ "$notes_rs" -eq "$notes_plain" ] ||
    fail "'smfscope -rs -noteon' prints $notes_rs note lines for $(running "$s"), 'smfscope -noteon' $notes_plain for $f; nothing was timed"
  [ "$unknown_rs" -eq 0 ] ||
    fail "'smfscope -rs -noteon' prints $unknown_rs lines 'Track Event unknown' for $(running "$s"); nothing was timed"
  rm -f "$TMP/rs.txt"

  if [ $HAVE_U8 -eq 1 ]; then
    lines_plain=$("$BIN" -noteon "$f" | wc -l)
    lines_u8=$("$BIN" -u8 -noteon "$f" | wc -l)
    [ "$lines_u8" -eq "$lines_plain" ] ||
      fail "'smfscope -u8 -noteon' prints $lines_u8 lines for $f, 'smfscope -noteon' $lines_plain; nothing was timed"
  fi
done

# ---- measuring ------------------------------------------------------------
# The runs go round-robin over the commands (one run of each, then the next
# round), so that load from elsewhere on the machine falls on all of them
# alike and the ratios stay fair.
KEYS=(smf_null smf_file midicsv floor_null floor_file tempo cp cp_sync cat rs_null rsfile_rs rsfile_null)
if [ $HAVE_U8 -eq 1 ]; then KEYS+=(u8_null); fi
declare -A T RSS BYTES
declare -a SIZE_BYTES RS_BYTES

# run_once KEY SIZE: one timed run; its nanoseconds go to $TMP/KEY.SIZE,
# its peak RSS (KiB) raises RSS[KEY,SIZE], the size of what it wrote to a
# file goes to BYTES[KEY,SIZE].
run_once() {
  local key=$1 size=$2 f nt target t0 t1 r
  f=$(big "$size")
  nt=$(notempo "$size")
  local cmd=()
  case $key in
    smf_null) target=/dev/null cmd=("$BIN" -noteon "$f") ;;
    smf_file) target=$OUT cmd=("$BIN" -noteon "$f") ;;
    midicsv) target=/dev/null cmd=(midicsv "$f") ;;
    floor_null) target=/dev/null cmd=("$BENCH/floor" -noteon "$f") ;;
    floor_file) target=$OUT cmd=("$BENCH/floor" -noteon "$f") ;;
    tempo) target=/dev/null cmd=("$BIN" -t 120 "$nt") ;;
    cp) target=/dev/null cmd=(cp "$nt" "$COPY") ;;
    cp_sync) target=/dev/null cmd=(sh -c 'cp "$1" "$2" && sync "$2"' sh "$nt" "$COPY") ;;
    cat) target=$COPY cmd=(cat "$nt") ;;
    rs_null) target=/dev/null cmd=("$BIN" -rs -noteon "$f") ;;
    u8_null) target=/dev/null cmd=("$BIN" -u8 -noteon "$f") ;;
    rsfile_rs) target=/dev/null cmd=("$BIN" -rs -noteon "$(running "$size")") ;;
    rsfile_null) target=/dev/null cmd=("$BIN" -noteon "$(running "$size")") ;;
  esac
  rm -f "$OUT" "$COPY" "$nt(newtempo=120).mid"
  sync  # no dirty pages of an earlier run left to write back during this one
  t0=$(date +%s%N)
  /usr/bin/time -v -o "$TMP/time.txt" "${cmd[@]}" > "$target" || fail "${cmd[*]} exited with an error"
  t1=$(date +%s%N)
  echo "$(( t1 - t0 ))" >> "$TMP/$key.$size"
  r=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$TMP/time.txt")
  if [ "$r" -gt "${RSS[$key,$size]:-0}" ]; then RSS[$key,$size]=$r; fi
  if [ "$target" != /dev/null ]; then BYTES[$key,$size]=$(stat -c %s "$target"); fi
  if [ "$key" = tempo ]; then
    local written
    written=$(stat -c %s "$nt(newtempo=120).mid")
    [ "$written" -eq $(( $(stat -c %s "$nt") + 33 )) ] || fail "-t wrote $written bytes for $nt"
  fi
  rm -f "$OUT"
}

for s in "${SIZES[@]}"; do
  f=$(big "$s")
  SIZE_BYTES[$s]=$(stat -c %s "$f")
  RS_BYTES[$s]=$(stat -c %s "$(running "$s")")
  n=$RUNS
  if [ "$s" -ge 100 ]; then n=$RUNS_BIG; fi
  log "timing on $f (${SIZE_BYTES[$s]} bytes), $n rounds"
  BYTES[midicsv,$s]=$(midicsv "$f" | wc -c) || fail "midicsv on $f"
  for ((round = 0; round < n; round++)); do
    for key in "${KEYS[@]}"; do run_once "$key" "$s"; done
  done
  for key in "${KEYS[@]}"; do
    T[$key,$s]=$(sort -n "$TMP/$key.$s" | awk '{a[NR] = $1} END {printf "%.3f", a[int((NR + 1) / 2)] / 1e9}')
  done
done

# ---- table ----------------------------------------------------------------
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", (b > 0 ? a / b : 0)}'; }
mib() { awk -v k="$1" 'BEGIN {printf "%.1f", k / 1024}'; }

echo
echo "smfscope trace benchmark  $(date -u +%Y-%m-%dT%H:%MZ)"
echo "machine: $(lscpu | awk -F': +' '/Model name/ {print $2; exit}'), $(nproc) cores, $(awk '/MemTotal/ {printf "%.0f GiB", $2/1048576}' /proc/meminfo); $(uname -sr); g++ $(g++ -dumpfullversion)"
echo "runs per measurement: $RUNS ($RUNS_BIG from 100 MB on), round-robin; times are medians in seconds; MB = 10^6 bytes"
echo "load average at the start: $LOAD_AT_START (anything well above 0 means other work shared the 2 cores)"
echo
printf '%-8s %9s %9s %9s %9s %9s | %9s %9s %9s\n' "file" "smfscope" "smfscope" "midicsv" "floor" "floor" "smfscope/" "smfscope/" "smfscope/"
printf '%-8s %9s %9s %9s %9s %9s | %9s %9s %9s\n' "MB" ">null" ">file" ">null" ">null" ">file" "midicsv" "floor" "floor"
printf '%-8s %9s %9s %9s %9s %9s | %9s %9s %9s\n' "" "" "" "" "" "" "(null)" "(null)" "(file)"
for s in "${SIZES[@]}"; do
  printf '%-8s %9s %9s %9s %9s %9s | %9s %9s %9s\n' "$s" "${T[smf_null,$s]}" "${T[smf_file,$s]}" \
    "${T[midicsv,$s]}" "${T[floor_null,$s]}" "${T[floor_file,$s]}" \
    "$(ratio "${T[smf_null,$s]}" "${T[midicsv,$s]}")" "$(ratio "${T[smf_null,$s]}" "${T[floor_null,$s]}")" \
    "$(ratio "${T[smf_file,$s]}" "${T[floor_file,$s]}")"
done
echo
echo "cp copies in the kernel (copy_file_range); cat > copy goes through user space like -t;"
echo "-t flushes its copy to the disk before it renames it into place, as cp+sync does"
printf '%-8s %12s %12s | %9s %9s %9s %9s %9s %9s %9s\n' "file" "trace out" "midicsv out" "-t 120" "cp" "-t/cp" "cat>copy" "-t/cat" "cp+sync" "-t/"
printf '%-8s %12s %12s | %9s %9s %9s %9s %9s %9s %9s\n' "MB" "MB" "MB" "s" "s" "" "s" "" "s" "cp+sync"
for s in "${SIZES[@]}"; do
  printf '%-8s %12s %12s | %9s %9s %9s %9s %9s %9s %9s\n' "$s" \
    "$(awk -v b="${BYTES[smf_file,$s]}" 'BEGIN {printf "%.0f", b / 1e6}')" \
    "$(awk -v b="${BYTES[midicsv,$s]}" 'BEGIN {printf "%.0f", b / 1e6}')" \
    "${T[tempo,$s]}" "${T[cp,$s]}" "$(ratio "${T[tempo,$s]}" "${T[cp,$s]}")" \
    "${T[cat,$s]}" "$(ratio "${T[tempo,$s]}" "${T[cat,$s]}")" \
    "${T[cp_sync,$s]}" "$(ratio "${T[tempo,$s]}" "${T[cp_sync,$s]}")"
done
echo
echo "peak RSS (MiB) against the file's size (MiB); allowance +8 MiB for a trace, 2 x file + 8 MiB with -t"
printf '%-8s %9s %12s %12s %12s %12s %12s %12s\n' "file MB" "file MiB" "trace RSS" "RSS-file" "-t RSS" "RSS-2xfile" "floor RSS" "midicsv RSS"
for s in "${SIZES[@]}"; do
  fk=$(( SIZE_BYTES[$s] / 1024 ))
  printf '%-8s %9s %12s %12s %12s %12s %12s %12s\n' "$s" "$(mib "$fk")" "$(mib "${RSS[smf_null,$s]}")" \
    "$(mib $(( RSS[smf_null,$s] - fk )))" "$(mib "${RSS[tempo,$s]}")" \
    "$(mib $(( RSS[tempo,$s] - 2 * fk )))" "$(mib "${RSS[floor_null,$s]}")" "$(mib "${RSS[midicsv,$s]}")"
done
echo
echo "-rs and -u8, all to /dev/null; rs file: the same music written with running status"
printf '%-8s %9s | %9s %9s %9s %9s %9s | %9s %9s %9s %9s\n' "file" "rs file" "-noteon" "-rs" "-u8" "rs file" "rs file" "-rs/" "-u8/" "rs file" "rs file"
printf '%-8s %9s | %9s %9s %9s %9s %9s | %9s %9s %9s %9s\n' "MB" "MB" "" "-noteon" "-noteon" "-noteon" "-rs" "-noteon" "-noteon" "-rs/" "-rs/"
printf '%-8s %9s | %9s %9s %9s %9s %9s | %9s %9s %9s %9s\n' "" "" "s" "s" "s" "s" "s" "" "" "-noteon" "rs file"
printf '%-8s %9s | %9s %9s %9s %9s %9s | %9s %9s %9s %9s\n' "" "" "" "" "" "" "" "" "" "" "-noteon"
for s in "${SIZES[@]}"; do
  if [ $HAVE_U8 -eq 1 ]; then u8t=${T[u8_null,$s]} u8r=$(ratio "${T[u8_null,$s]}" "${T[smf_null,$s]}"); else u8t=- u8r=-; fi
  printf '%-8s %9s | %9s %9s %9s %9s %9s | %9s %9s %9s %9s\n' "$s" \
    "$(awk -v b="${RS_BYTES[$s]}" 'BEGIN {printf "%.1f", b / 1e6}')" \
    "${T[smf_null,$s]}" "${T[rs_null,$s]}" "$u8t" "${T[rsfile_null,$s]}" "${T[rsfile_rs,$s]}" \
    "$(ratio "${T[rs_null,$s]}" "${T[smf_null,$s]}")" "$u8r" \
    "$(ratio "${T[rsfile_rs,$s]}" "${T[smf_null,$s]}")" "$(ratio "${T[rsfile_rs,$s]}" "${T[rsfile_null,$s]}")"
done
echo "(the last column is for information only: without -rs the rs file is not decoded in step and prints other lines)"
if [ $HAVE_U8 -eq 0 ]; then echo "-u8: not measured, $BIN does not support it yet"; fi

echo
echo "seconds per 100 MB of input (linearity)"
printf '%-18s' "" ; for s in "${SIZES[@]}"; do printf ' %9s' "${s} MB"; done; printf ' %9s\n' "max/min"
for key in smf_null smf_file midicsv floor_null; do
  printf '%-18s' "$key"
  vals=()
  for s in "${SIZES[@]}"; do
    v=$(awk -v t="${T[$key,$s]}" -v b="${SIZE_BYTES[$s]}" 'BEGIN {printf "%.3f", t / b * 1e8}')
    vals+=("$v")
    printf ' %9s' "$v"
  done
  printf ' %9s\n' "$(printf '%s\n' "${vals[@]}" | awk 'NR == 1 || $1 > M {M = $1} NR == 1 || $1 < m {m = $1} END {printf "%.2f", (m > 0 ? M / m : 0)}')"
done

# ---- targets --------------------------------------------------------------
verdict() { awk -v v="$1" -v lim="$2" 'BEGIN {printf "%s", (v <= lim ? "ok  " : "MISS")}'; }
echo
echo "targets"
for s in "${SIZES[@]}"; do
  fk=$(( SIZE_BYTES[$s] / 1024 ))
  a=$(ratio "${T[smf_null,$s]}" "${T[midicsv,$s]}")
  b=$(ratio "${T[smf_null,$s]}" "${T[floor_null,$s]}")
  c=$(ratio "${T[smf_file,$s]}" "${T[floor_file,$s]}")
  d=$(ratio "${T[tempo,$s]}" "${T[cp_sync,$s]}")
  m1=$(mib $(( RSS[smf_null,$s] - fk )))
  m2=$(mib $(( RSS[tempo,$s] - 2 * fk )))
  echo "  $s MB: $(verdict "$a" 0.5) smfscope/midicsv $a <= 0.5   $(verdict "$b" 1.1) smfscope/floor $b <= 1.1 (null)   $(verdict "$c" 1.1) $c <= 1.1 (file)"
  echo "  $s MB: $(verdict "$d" 2) -t/(cp+sync) $d <= 2   $(verdict "$m1" 8) RSS-file $m1 <= 8 MiB   $(verdict "$m2" 8) -t RSS-2xfile $m2 <= 8 MiB"
  e=$(ratio "${T[rs_null,$s]}" "${T[smf_null,$s]}")
  # rs file against -noteon on the status-byte file: same music, same lines (plain -noteon misreads the rs file)
  g=$(ratio "${T[rsfile_rs,$s]}" "${T[smf_null,$s]}")
  if [ $HAVE_U8 -eq 1 ]; then
    h=$(ratio "${T[u8_null,$s]}" "${T[smf_null,$s]}")
    u8_line="$(verdict "$h" 1.5) -u8/-noteon $h <= 1.5"
  else
    u8_line="skip -u8/-noteon (no -u8 in $BIN yet)"
  fi
  echo "  $s MB: $(verdict "$e" 1.1) -rs/-noteon $e <= 1.1   $(verdict "$g" 1.2) -rs on rs file/-noteon $g <= 1.2   $u8_line"
done
if [ ${#SIZES[@]} -gt 1 ]; then
  spread=$(for s in "${SIZES[@]}"; do awk -v t="${T[smf_null,$s]}" -v b="${SIZE_BYTES[$s]}" 'BEGIN {print t / b}'; done |
    awk 'NR == 1 || $1 > M {M = $1} NR == 1 || $1 < m {m = $1} END {printf "%.2f", (m > 0 ? M / m : 0)}')
  echo "  $(verdict "$spread" 1.2) seconds per 100 MB, max/min over ${SIZES[*]} MB: $spread <= 1.2"
fi
