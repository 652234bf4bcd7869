#!/bin/sh
# Builds the conversion benchmark (release) and prints its table:
# SNR and speed of our recording mixer beside sox on every rate pair.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="${TAVRIN_BENCH_BUILD:-$root/build/bench-release}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAVRIN_TESTS=OFF >/dev/null
if ! log=$(cmake --build "$build" --target conversion_bench 2>&1); then
  printf '%s\n' "$log" >&2
  exit 1
fi
exec "$build/bench/conversion_bench"
