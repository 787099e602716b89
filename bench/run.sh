#!/usr/bin/env bash
# Benchmarks (not a CI test): backup to a tape image, restore and test from it, against GNU
# tar on the same trees and disk, for
#   (a) 1 GiB in 16 files, (b) 20,000 files of 1-64 KiB, (c) 8 files of 24 MiB and 3,000
#   of 1-64 KiB, (d) 100,000 files of 100 bytes to 2 KiB;
# the listing alone, peak memory, how busy a 400 MB/s drive is kept, and the processor
# time spent waiting for the drive by the terminal program and by the desktop program.
#
#   bench/run.sh [WORKDIR]      (default: a fresh folder under /var/tmp, removed at the end)
#   PAIRS=5 bench/run.sh        (runs per figure, the tools taking turns; default 5)
#   TREES="a b c d" bench/run.sh
#
# Every figure is the median of PAIRS runs with a warm page cache; the tools alternate
# which goes first. Backups are durable on both sides: the emulated drive syncs its image
# at each filemark, tar's archive is synced (sync -d) before its clock stops. tar is run
# with 64 KiB records as a tape user gives it (-b128) and with its default 10 KiB records.
# Restores and reads are timed as each tool does them (neither syncs). Needs python3,
# GNU tar, GNU time (/usr/bin/time) and about 8 GB free in WORKDIR.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/.." && pwd)
pairs=${PAIRS:-5}
trees=${TREES:-a b c d}
build=${BENCH_BUILD:-$repo/build-bench}

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target korvessian-cli wait_cost gui_wait_cost drive_busy listing >/dev/null
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
# Seconds the command takes (its output goes to /dev/null unless redirected inside).
timed() {
  local t0 t1
  sync  # earlier runs' writes are not charged to this one
  t0=$(now)
  if ! "$@" >/dev/null 2>&1; then
    echo "failed: $*" >&2
    kill -TERM $$
  fi
  t1=$(now)
  awk -v a="$t0" -v b="$t1" 'BEGIN{printf "%.3f", b - a}'
}
median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{v[NR]=$1} END{print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN{printf "%.2f", a/b}'; }

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
"${korv[@]}" --yes format --name BENCH >/dev/null 2>&1
cp "$work/tape.tap" "$work/blank.tap"

tar_durable() {  # $1 archive, then tar's options and the tree
  local archive=$1
  shift
  tar -cf "$archive" "$@" && sync -d "$archive"
}
korv_backup() {  # $1 tree: a new set on a freshly formatted tape
  cp "$work/blank.tap" "$work/tape.tap"
  "${korv[@]}" backup --name bench "$1"
}

declare -a rows
row() {  # work, korvessian seconds, other seconds, what the other is
  rows+=("$(printf '| %s | %.2f s | %.2f s | %s | %s |' "$1" "$2" "$3" "$(ratio "$2" "$3")" "$4")")
}

measure() {  # $1 label, $2 tree folder
  local label=$1 tree=$2 i
  local kb="" t128="" tdef="" kr="" tr="" kt="" ct=""
  find "$tree" -type f -exec cat {} + >/dev/null  # warm cache
  for i in $(seq "$pairs"); do
    if [ $((i % 2)) = 1 ]; then
      kb+=" $(timed korv_backup "$tree")"
      t128+=" $(timed tar_durable "$work/a128.tar" -b128 "$tree")"
      tdef+=" $(timed tar_durable "$work/adef.tar" "$tree")"
    else
      tdef+=" $(timed tar_durable "$work/adef.tar" "$tree")"
      t128+=" $(timed tar_durable "$work/a128.tar" -b128 "$tree")"
      kb+=" $(timed korv_backup "$tree")"
    fi
  done
  cat "$work/tape.tap" "$work/adef.tar" >/dev/null
  for i in $(seq "$pairs"); do
    mkdir -p "$work/out-tar-$i"
    if [ $((i % 2)) = 1 ]; then
      kr+=" $(timed "${korv[@]}" restore 1 --to "$work/out-korv-$i" --no-namecheck --no-timecheck)"
      tr+=" $(timed tar -xf "$work/adef.tar" -C "$work/out-tar-$i")"
    else
      tr+=" $(timed tar -xf "$work/adef.tar" -C "$work/out-tar-$i")"
      kr+=" $(timed "${korv[@]}" restore 1 --to "$work/out-korv-$i" --no-namecheck --no-timecheck)"
    fi
    kt+=" $(timed "${korv[@]}" test 1)"
    ct+=" $(timed cat "$work/tape.tap")"
  done
  rm -rf "$work"/out-* "$work/a128.tar" "$work/adef.tar"
  settle
  kb=$(echo "$kb" | median)
  row "$label: backup" "$kb" "$(echo "$t128" | median)" 'tar -b128'
  row "$label: backup" "$kb" "$(echo "$tdef" | median)" 'tar (10 KiB records)'
  row "$label: restore" "$(echo "$kr" | median)" "$(echo "$tr" | median)" 'tar -x'
  row "$label: test" "$(echo "$kt" | median)" "$(echo "$ct" | median)" 'cat of the image'
}

listing() {  # $1 tree
  local tree=$1 kl="" fl="" tl="" i
  for i in $(seq "$pairs"); do
    kl+=" $(timed "$build/listing" "$tree")"
    fl+=" $(timed find "$tree" -type f)"
    tl+=" $(timed tar -cf /dev/null "$tree")"
  done
  kl=$(echo "$kl" | median)
  row "listing 100,000 files" "$kl" "$(echo "$fl" | median)" 'find -type f'
  row "listing 100,000 files" "$kl" "$(echo "$tl" | median)" 'tar -cf /dev/null'
}

# ext4 is slow to create files for a while after mass deletions: the next figures wait.
settle() {
  sync
  sleep 10
}

peak_kib() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1; }

echo "load before: $(uptime)" >&2
echo "building the trees in $work ..." >&2
for t in $trees; do
  case $t in
    a) make_tree "$work/a" 16 67108864 67108864
       measure "1 GiB in 16 files" "$work/a" ;;
    b) make_tree "$work/b" 20000 1024 65536
       measure "20,000 files of 1-64 KiB" "$work/b"
       busy_before=$("$build/drive_busy" "$work/b" 400000000 0)
       busy_after=$("$build/drive_busy" "$work/b" 400000000) ;;
    c) make_tree "$work/c" 8 25165824 25165824
       make_tree "$work/c/small" 3000 1024 65536
       measure "8 x 24 MiB + 3,000 small" "$work/c" ;;
    d) make_tree "$work/d" 100000 100 2048
       measure "100,000 files of 0.1-2 KiB" "$work/d"
       listing "$work/d"
       cp "$work/blank.tap" "$work/tape.tap"
       peak_korv=$(peak_kib "${korv[@]}" backup --name peak "$work/d")
       peak_tar=$(peak_kib tar -b128 -cf "$work/peak.tar" "$work/d")
       rm -f "$work/peak.tar" ;;
  esac
  rm -rf "${work:?}/$t"
  settle
done

echo
echo "Median of $pairs runs each; load before: $(uptime | sed 's/.*load/load/')"
echo
echo '| work | korvessian | other | ratio | other is |'
echo '| --- | --- | --- | --- | --- |'
printf '%s\n' "${rows[@]}"
if [ -n "${peak_korv:-}" ]; then
  echo
  echo "peak memory, backup of 100,000 files: korvessian $((peak_korv / 1024)) MiB, tar -b128 $((peak_tar / 1024)) MiB"
fi
if [ -n "${busy_before:-}" ]; then
  echo "drive busy, before read-ahead: $busy_before"
  echo "drive busy, with read-ahead:   $busy_after"
fi
"$build/wait_cost" 100 20
"$build/gui_wait_cost" 2000
