#!/usr/bin/env bash
# Builds the libFuzzer target build/fuzz/smf_fuzz with clang++-14.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S fuzz -B build/fuzz -DCMAKE_CXX_COMPILER="${CXX_FUZZ:-clang++-14}" >/dev/null
cmake --build build/fuzz -j 2
