#!/usr/bin/env bash
# Times the extraction of one job's lines from a generated log directory (300 MiB by default:
# service and other logs with rotated copies, job 1001 one of 24 interleaved jobs) by the
# library on one and on two threads, next to ripgrep -F on one and two threads, LC_ALL=C
# grep -r -F and awk selecting the job field, all on the same warm files. Then job
# extractions limited to five-minute windows of the largest log (the share of it the
# bisection left to read), and the time-window reader over that log.
#
#   bench/compare_extract.sh [BUILD_DIR]
#
# Environment: DATA (folder for the generated logs and outputs, default
# ${TMPDIR:-/tmp}/sendlogs-bench-extract), SIZE_MB (300), JOB (1001), RUNS (5, best kept).
set -euo pipefail

build=${1:-build/bench}
bin=$build/bench/bench_extract
data=${DATA:-${TMPDIR:-/tmp}/sendlogs-bench-extract}
size_mb=${SIZE_MB:-300}
job=${JOB:-1001}
runs=${RUNS:-5}

if [ ! -x "$bin" ]; then
  echo "compare_extract: $bin is missing; build it with:" >&2
  echo "  cmake --preset bench && cmake --build --preset bench" >&2
  exit 2
fi
for tool in grep awk rg /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "compare_extract: $tool is missing (scripts/install-deps.sh --bench)" >&2; exit 2; }
done

logs=$data/logs
mkdir -p "$data"
want=$((size_mb << 20))
have=$(du -sb "$logs" 2>/dev/null | cut -f1 || echo 0)
if [ ! -d "$logs" ] || [ "$have" -lt $((want * 9 / 10)) ]; then
  echo "generating $size_mb MiB into $logs ..."
  rm -rf "$logs"
  "$bin" generate-dir "$logs" "$size_mb" 1
fi
cat "$logs"/* >/dev/null  # into the page cache

# measure NAME OUTPUT COMMAND...: best wall and CPU seconds of $runs runs, and peak RSS.
declare -A wall cpu rss
measure() {
  local name=$1 out=$2
  shift 2
  local best_wall="" best_cpu="" peak=0 stats=$data/time.$name
  for _ in $(seq "$runs"); do
    /usr/bin/time -f "%e %U %S %M" -o "$stats" "$@" >"$out" || true
    read -r e u s m <"$stats"
    local c
    c=$(awk -v u="$u" -v s="$s" 'BEGIN { printf "%.2f", u + s }')
    if [ -z "$best_wall" ] || awk -v a="$e" -v b="$best_wall" 'BEGIN { exit !(a < b) }'; then best_wall=$e; fi
    if [ -z "$best_cpu" ] || awk -v a="$c" -v b="$best_cpu" 'BEGIN { exit !(a < b) }'; then best_cpu=$c; fi
    [ "$m" -gt "$peak" ] && peak=$m
  done
  wall[$name]=$best_wall
  cpu[$name]=$best_cpu
  rss[$name]=$((peak / 1024))
}

# Interleaved, so that a change of the machine's load hits every tool alike.
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
for round in 1 2; do
  measure lib1 "$data/run.lib1" "$bin" dir "$logs" "$job" 1 "$data/out.lib1"
  measure lib2 "$data/run.lib2" "$bin" dir "$logs" "$job" 2 "$data/out.lib2"
  measure rg1 "$data/out.rg1" rg -j1 -F --no-filename "$job" "$logs"
  measure rg2 "$data/out.rg2" rg -j2 -F --no-filename "$job" "$logs"
  measure grep "$data/out.grep" env LC_ALL=C grep -r -h -F "$job" "$logs"
done
measure awk "$data/out.awk" env LC_ALL=C awk "\$5 == \"$job\"" "$logs"/*
load_after=$(cut -d' ' -f1-3 /proc/loadavg)
cmp -s "$data/out.lib1" "$data/out.lib2" || { echo "compare_extract: dumps of 1 and 2 threads differ" >&2; exit 1; }

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }

echo
echo "$(date -u +%Y-%m-%d) $(nproc) cores, $(awk -F: '/model name/ { print $2; exit }' /proc/cpuinfo | sed 's/^ *//'), load $load_before before, $load_after after"
echo "logs: $((($(du -sb "$logs" | cut -f1) + 524288) >> 20)) MiB in $(ls "$logs" | wc -l) files, job $job, best of $((2 * runs)) (awk $runs)"
printf "%-14s %8s %8s %8s %11s %11s %9s\n" tool wall_s cpu_s rss_MiB wall/rg-j1 cpu/rg-j1 out_MB
for t in lib1 lib2 rg1 rg2 grep awk; do
  out=$data/out.$t
  printf "%-14s %8s %8s %8s %11s %11s %9s\n" "$t" "${wall[$t]}" "${cpu[$t]}" "${rss[$t]}" \
    "$(ratio "${wall[$t]}" "${wall[rg1]}")" "$(ratio "${cpu[$t]}" "${cpu[rg1]}")" \
    "$(awk -v b="$(stat -c %s "$out")" 'BEGIN { printf "%.1f", b / 1e6 }')"
done
echo "library 2 threads / rg -j2: wall $(ratio "${wall[lib2]}" "${wall[rg2]}"), cpu $(ratio "${cpu[lib2]}" "${cpu[rg2]}")"
echo "library: $(cat "$data/run.lib2")"

big=$(ls -S "$logs" | head -1)
echo
echo "job $job in five-minute windows of $big (hour of the day: share of the file read):"
for hour in 1 6 12 18 23; do
  printf "  %02d:00  %s\n" "$hour" "$("$bin" window "$logs" "$big" "$job" "$hour" 5 "$data/out.window")"
done
echo "time-window reader over $big (12:00, 5 minutes):"
/usr/bin/time -f "  wall %e s, cpu %U+%S s, rss %M KiB" "$bin" bytime "$logs" "$big" 12 5 "$data/out.bytime"
