#!/usr/bin/env bash
# pixmill_bench.sh [BUILD_DIR]: converts a 4096 x 4096 raster (64 MiB) into
# both forms at powers 1 and 0.5 and prints samples per second and the time
# relative to copying the same input with cp in the same run (the I/O floor).
# Each figure is the best of 5 runs, with the input in the page cache and the
# output removed before each run.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
if [ ! -x "$build/src/converter/pixmill" ] || [ ! -x "$build/src/converter/mkraster" ]; then
  cmake -S "$root" -B "$build" >/dev/null
  cmake --build "$build" -j2 --target pixmill mkraster >/dev/null
fi
pixmill="$build/src/converter/pixmill"
mkraster="$build/src/converter/mkraster"

pixmill="$(realpath "$pixmill")"
mkraster="$(realpath "$mkraster")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# pixmill keeps file names to 32 characters: short names inside the folder,
# whatever TMPDIR is.
cd "$work"
w=4096 l=4096 runs=5
"$mkraster" in.raw $w $l
cat in.raw >/dev/null

# best NAME CMD...: the fastest of $runs runs of CMD, in nanoseconds.  A run
# that fails stops the benchmark (a command substitution does not inherit
# set -e, so it is checked here).
best() {
  local out=$1 bestns="" t0 t1 ns; shift
  for _ in $(seq $runs); do
    rm -f "$out"
    t0=$(date +%s%N)
    if ! "$@" >/dev/null; then
      echo "pixmill_bench: failed: $*" >&2
      exit 1
    fi
    t1=$(date +%s%N)
    ns=$((t1 - t0))
    if [ -z "$bestns" ] || [ $ns -lt $bestns ]; then bestns=$ns; fi
  done
  echo "$bestns"
}

cpns=$(best copy.raw cp in.raw copy.raw)
printf 'pixmill benchmark: %dx%d raster (%d samples), best of %d runs\n' $w $l $((w * l)) $runs
printf '%-28s %9s %14s %10s\n' "run" "seconds" "samples/s" "x cp"
awk -v ns="$cpns" -v n=$((w * l)) 'BEGIN { printf "%-28s %9.4f %14.3e %10.2f\n", "cp (64 MiB input)", ns / 1e9, n / (ns / 1e9), 1 }'
for form in g x; do
  for power in 1 0.5; do
    ns=$(best out.img "$pixmill" in.raw out.img $w $l $form $power n)
    awk -v ns="$ns" -v cp="$cpns" -v n=$((w * l)) -v name="pixmill $form power $power" \
      'BEGIN { printf "%-28s %9.4f %14.3e %10.2f\n", name, ns / 1e9, n / (ns / 1e9), ns / cp }'
  done
done
