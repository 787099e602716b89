#!/usr/bin/env bash
# Benchmarks (not a CI test): backup to a tape image and restore from it, against GNU tar
# creating and extracting an archive of the same tree on the same disk, for
#   (a) 1 GiB in 16 files and (b) 20,000 files of 1-64 KiB;
# and the processor time spent waiting for the drive, by the terminal program's wait and by
# the desktop program's (one command held pending for 2 s).
#
#   bench/run.sh [WORKDIR]      (default: a fresh folder under /var/tmp, removed at the end)
#   REPEAT=3 bench/run.sh       (best of REPEAT runs per figure; default 3)
#   PIN_CPU=0 bench/run.sh      (both tools on one CPU)
#
# Every figure is the best of REPEAT runs with a warm page cache, and each run's output is
# synced to disk before the clock stops (the emulated drive flushes its image at each
# set's ending filemark; tar is given the same sync so both pay for the disk). Needs
# python3 (to build the trees), GNU tar and about 6 GB free in WORKDIR.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/.." && pwd)
repeat=${REPEAT:-3}
# PIN_CPU=N runs both tools on CPU N alone (the drive's worker thread then shares the CPU
# with the run, which saves the cross-CPU wake-ups of every tape command).
pin=""
[ -n "${PIN_CPU:-}" ] && pin="taskset -c $PIN_CPU"
build=${BENCH_BUILD:-$repo/build-bench}

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target korvessian-cli wait_cost gui_wait_cost >/dev/null
cli="$build/korvessian/korvessian-cli"

if [ $# -ge 1 ]; then
  work=$1
  mkdir -p "$work"
  keep=1
else
  work=$(mktemp -d /var/tmp/korv-bench.XXXXXX)
  keep=0
fi
cleanup() { [ "$keep" = 1 ] || rm -rf "$work"; }
trap cleanup EXIT
work=$(cd "$work" && pwd)

now() { date +%s.%N; }
# Seconds the command takes, its output synced to disk before the clock stops.
timed() {
  sync
  local t0 t1
  t0=$(now)
  if ! $pin "$@" >/dev/null 2>&1; then
    echo "failed: $*" >&2
    kill -TERM $$
  fi
  sync
  t1=$(now)
  awk -v a="$t0" -v b="$t1" 'BEGIN{printf "%.3f", b - a}'
}
lesser() { awk -v a="$1" -v b="$2" 'BEGIN{ if (a == "" || b < a) print b; else print a }'; }

make_tree() {  # $1 folder, $2 count, $3 min bytes, $4 max bytes
  python3 - "$@" <<'PY'
import os, random, sys
root, count, low, high = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
rng = random.Random(42)
per_folder = 1000
for i in range(count):
    folder = os.path.join(root, "d%03d" % (i // per_folder))
    os.makedirs(folder, exist_ok=True)
    size = rng.randint(low, high)
    with open(os.path.join(folder, "f%06d.bin" % i), "wb") as f:
        left = size
        while left:
            n = min(left, 1 << 22)
            f.write(os.urandom(n))
            left -= n
PY
}

korv=("$cli" --tape "$work/tape.tap" --config "$work/k.ini")

declare -a rows
row() {  # label, korvessian seconds, tar seconds
  rows+=("$(printf '%-38s %8.2f s %8.2f s %6.2f' "$1" "$2" "$3" \
    "$(awk -v a="$2" -v b="$3" 'BEGIN{print a/b}')")")
}

# The two tools take turns, and every run writes into a folder of its own: ext4 slows
# down creating files right after many were deleted, which would favour whichever went
# first after a cleanup.
measure() {  # $1 label, $2 tree folder
  local label=$1 tree=$2
  local kb="" kr="" tb="" tr="" i
  for i in $(seq "$repeat"); do
    rm -f "$work/tape.tap" "$work/archive.tar"
    "${korv[@]}" --yes format --name BENCH >/dev/null 2>&1
    kb=$(lesser "$kb" "$(timed "${korv[@]}" backup --name bench "$tree")")
    tb=$(lesser "$tb" "$(timed tar -cf "$work/archive.tar" "$tree")")
  done
  for i in $(seq "$repeat"); do
    kr=$(lesser "$kr" "$(timed "${korv[@]}" restore 1 --to "$work/out-korv-$i" --no-namecheck \
      --no-timecheck)")
    mkdir -p "$work/out-tar-$i"
    tr=$(lesser "$tr" "$(timed tar -xf "$work/archive.tar" -C "$work/out-tar-$i")")
  done
  rm -rf "$work"/out-* "$work/archive.tar" "$work/tape.tap"
  row "$label backup" "$kb" "$tb"
  row "$label restore" "$kr" "$tr"
}

echo "building the trees in $work ..." >&2
make_tree "$work/a" 16 67108864 67108864
measure "(a) 1 GiB in 16 files" "$work/a"
rm -rf "$work/a"
make_tree "$work/b" 20000 1024 65536
measure "(b) 20,000 files of 1-64 KiB" "$work/b"
rm -rf "$work/b"

printf '%-38s %10s %10s %6s\n' "best of $repeat${pin:+, $pin}" "korvessian" "GNU tar" "ratio"
printf '%s\n' "${rows[@]}"
"$build/wait_cost" 100 20
"$build/gui_wait_cost" 2000
