#!/usr/bin/env bash
# Times "sendlogs registry dump" over registry trees of growing size (10 000, 50 000 and
# 100 000 values by default, 100 values per key, in keys nested three deep), to show that
# the dump is linear in the number of keys and values. Best of RUNS, warm page cache.
#
#   bench/compare_registry_dump.sh [BUILD_DIR]
#
# Environment: DATA (default ${TMPDIR:-/tmp}/sendlogs-bench-registry), SIZES, RUNS (3).
set -euo pipefail

build=${1:-build/release}
bin=$build/sendlogs
data=${DATA:-${TMPDIR:-/tmp}/sendlogs-bench-registry}
sizes=${SIZES:-10000 50000 100000}
runs=${RUNS:-3}
[ -x "$bin" ] || { echo "compare_registry_dump: $bin is missing" >&2; exit 2; }

make_tree() {  # root values
  /usr/bin/python3 - "$1" "$2" <<'PY'
import os, sys
root, count = sys.argv[1], int(sys.argv[2])
base = os.path.join(root, "SOFTWARE", "Kestrav Systems", "Orvion", "Instance001")
for k in range(count // 100):
    key = os.path.join(base, "Group%02d" % (k % 10), "Sub%03d" % (k // 10 % 100), "Key%05d" % k)
    os.makedirs(key, exist_ok=True)
    for v in range(100):
        with open(os.path.join(key, "sValue%03d" % v), "w") as f:
            f.write("value text %d of key %d\n" % (v, k) if v % 2 else "%d\n" % v)
PY
}

printf '%-8s %8s %10s %14s\n' values "wall s" "peak MiB" "us per value"
for n in $sizes; do
  root=$data/reg$n
  [ -d "$root" ] || make_tree "$root" "$n"
  best=""
  peak=0
  for _ in $(seq "$runs"); do
    /usr/bin/time -f "%e %M" -o "$data/time" "$bin" registry dump --registry "$root" \
      -o "$data/out$n" >/dev/null
    read -r e m <"$data/time"
    if [ -z "$best" ] || awk -v a="$e" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$e; fi
    [ "$m" -gt "$peak" ] && peak=$m
  done
  lines=$(grep -c 'REG_' "$data/out$n/OrvionRegistry.txt")
  [ "$lines" -eq "$n" ] || { echo "dump of $n values has $lines value lines" >&2; exit 1; }
  awk -v n="$n" -v e="$best" -v m="$peak" \
    'BEGIN { printf "%-8d %8.2f %10d %14.1f\n", n, e, m / 1024, e * 1e6 / n }'
done
