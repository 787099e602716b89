#!/usr/bin/env bash
# The backup dialog's listing of 100,000 files against the core listing alone (not a CI
# test): best of REPEAT runs each, with a warm directory cache, and each one's peak
# memory in a process of its own.
#
#   bench/listing.sh [WORKDIR]    (default: a fresh folder under /var/tmp, removed at the end)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${BENCH_BUILD:-$here/../build-bench}
repeat=${REPEAT:-3}
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target listing_100k >/dev/null

if [ $# -ge 1 ]; then work=$1; mkdir -p "$work"; keep=1; else
  work=$(mktemp -d /var/tmp/korv-listing.XXXXXX); keep=0; fi
trap '[ "$keep" = 1 ] || rm -rf "$work"' EXIT

tree="$work/100k"
if [ ! -d "$tree" ]; then
  python3 - "$tree" <<'PY'
import os, sys
root = sys.argv[1]
for i in range(100000):
    folder = os.path.join(root, "d%03d" % (i // 1000))
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "file-%06d.dat" % i), "wb") as f:
        f.write(b"x" * (i % 4096))
PY
fi
"$build/listing_100k" core "$tree" "$repeat"
"$build/listing_100k" dialog "$tree" "$repeat"
