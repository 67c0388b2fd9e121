#!/usr/bin/env bash
# Times the extraction of one job's lines from a generated product log (1 GiB by default)
# by the library, next to LC_ALL=C grep -F for the job id, LC_ALL=C awk selecting the job
# field, and ripgrep -F, all on the same warm file and on one thread each. Then a job
# extraction limited to a five-minute window, and the time-window reader over the whole file.
#
#   bench/compare_extract.sh [BUILD_DIR]
#
# Environment: DATA (folder for the generated log and outputs, default
# ${TMPDIR:-/tmp}/sendlogs-bench-extract), SIZE_MB (1024), JOB (1001), RUNS (3, best kept).
set -euo pipefail

build=${1:-build/bench}
bin=$build/bench/bench_extract
data=${DATA:-${TMPDIR:-/tmp}/sendlogs-bench-extract}
size_mb=${SIZE_MB:-1024}
job=${JOB:-1001}
runs=${RUNS:-3}

if [ ! -x "$bin" ]; then
  echo "compare_extract: $bin is missing; build it with:" >&2
  echo "  cmake --preset bench && cmake --build --preset bench" >&2
  exit 2
fi
for tool in grep awk rg /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "compare_extract: $tool is missing (scripts/install-deps.sh --bench)" >&2; exit 2; }
done

mkdir -p "$data"
log=$data/wyd.log
want=$((size_mb << 20))
if [ ! -f "$log" ] || [ "$(stat -c %s "$log")" -lt "$want" ]; then
  echo "generating $size_mb MiB into $log ..."
  "$bin" generate "$data" wyd.log "$size_mb" 1
fi
cat "$log" >/dev/null  # into the page cache

# measure NAME OUTPUT COMMAND...: best wall and CPU seconds of $runs runs, and peak RSS.
declare -A wall cpu rss
measure() {
  local name=$1 out=$2
  shift 2
  local best_wall="" best_cpu="" peak=0 stats=$data/time.$name
  for _ in $(seq "$runs"); do
    /usr/bin/time -f "%e %U %S %M" -o "$stats" "$@" >"$out"
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

measure library "$data/out.library.txt" "$bin" job "$data" wyd.log "$job" "$data/out.library"
measure grep "$data/out.grep" env LC_ALL=C grep -F "$job" "$log"
measure awk "$data/out.awk" env LC_ALL=C awk "\$5 == \"$job\"" "$log"
measure ripgrep "$data/out.ripgrep" rg -j1 -F "$job" "$log"

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }

echo
echo "$(date -u +%Y-%m-%d) $(nproc) cores, $(awk -F: '/model name/ { print $2; exit }' /proc/cpuinfo | sed 's/^ *//'), load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "file: $((($(stat -c %s "$log") + 524288) >> 20)) MiB, job $job, best of $runs"
printf "%-9s %8s %8s %9s %10s %10s\n" tool wall_s cpu_s rss_MiB wall/grep cpu/grep
for t in library grep awk ripgrep; do
  printf "%-9s %8s %8s %9s %10s %10s\n" "$t" "${wall[$t]}" "${cpu[$t]}" "${rss[$t]}" \
    "$(ratio "${wall[$t]}" "${wall[grep]}")" "$(ratio "${cpu[$t]}" "${cpu[grep]}")"
done
echo "library/awk: wall $(ratio "${wall[library]}" "${wall[awk]}"), cpu $(ratio "${cpu[library]}" "${cpu[awk]}")"
echo "library/ripgrep: wall $(ratio "${wall[library]}" "${wall[ripgrep]}"), cpu $(ratio "${cpu[library]}" "${cpu[ripgrep]}")"
echo "library: $(cat "$data/out.library.txt")"

echo
echo "job $job in five-minute windows (hour of the day: bytes share read):"
for hour in 1 6 12 18 23; do
  printf "  %02d:00  %s\n" "$hour" "$("$bin" window "$data" wyd.log "$job" "$hour" 5 "$data/out.window")"
done
echo "time-window reader over the whole file (12:00, 5 minutes):"
/usr/bin/time -f "  wall %e s, cpu %U+%S s, rss %M KiB" "$bin" bytime "$data" wyd.log 12 5 "$data/out.bytime"
