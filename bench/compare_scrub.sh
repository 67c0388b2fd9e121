#!/usr/bin/env bash
# Times the scrubbing of generated product logs (200 MiB by default; 100 host and user names
# that occur in them and one IPv4 expression) by the library: one file on one thread, and the
# same lines as a tree of 16 files with 1 and with 2 workers; next to sed -E with 100
# whole-word case-insensitive substitutions and perl -p with all names in one alternation,
# each on one thread, on the same warm files. Then the peak memory of a file one tenth the
# size, and a check that no name and no IPv4 address is left in the outputs.
#
#   bench/compare_scrub.sh [BUILD_DIR]
#
# Then a tree shaped like a diagnostics archive (ARCHIVE_FILES JSON, YAML and log files of 1
# KiB to 1 MiB in folders, 3000 by default; 300 literal rules of addresses, MAC addresses and
# domain names and two expressions) with 1 and 2 workers, next to perl -p with the values in
# one alternation over the same files.
#
# Environment: DATA (folder for the logs, default ${TMPDIR:-/tmp}/sendlogs-bench-scrub), OUT
# (folder for the outputs, default DATA; a tmpfs such as /dev/shm keeps the kernel's
# write-back off the two cores), SIZE_MB (200), RUNS (3, best kept, library), PEER_RUNS (1,
# sed and perl).
set -euo pipefail

build=${1:-build/bench}
bin=$build/bench/bench_scrub
data=${DATA:-${TMPDIR:-/tmp}/sendlogs-bench-scrub}
size_mb=${SIZE_MB:-200}
runs=${RUNS:-3}
peer_runs=${PEER_RUNS:-1}
out=${OUT:-$data}

if [ ! -x "$bin" ]; then
  echo "compare_scrub: $bin is missing; build it with:" >&2
  echo "  cmake --preset bench && cmake --build --preset bench" >&2
  exit 2
fi
for tool in sed perl grep /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "compare_scrub: $tool is missing (scripts/install-deps.sh --bench)" >&2; exit 2; }
done

mkdir -p "$data" "$out"
all=$data/all.log
want=$((size_mb << 20))
if [ ! -f "$all" ] || [ "$(stat -c %s "$all")" -lt "$want" ] ||
   [ "$(stat -c %s "$all")" -gt $((want + (want >> 4))) ]; then
  echo "generating $size_mb MiB into $data ..."
  rm -rf "$data/tree"
  "$bin" generate "$data" "$size_mb" 1
fi
cat "$all" "$data"/tree/* >/dev/null  # into the page cache

# measure NAME RUNS OUTPUT COMMAND...: best wall and CPU seconds, and peak RSS.
declare -A wall cpu rss
measure() {
  local name=$1 count=$2 out=$3
  shift 3
  local best_wall="" best_cpu="" peak=0 stats=$data/time.$name
  for _ in $(seq "$count"); do
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

measure single "$runs" "$data/run.single" "$bin" single "$data/patterns.txt" "$all" "$out/out.single"
measure tree1 "$runs" "$data/run.tree1" "$bin" tree "$data/patterns.txt" "$data/tree" "$out/out.tree1" 1
measure tree2 "$runs" "$data/run.tree2" "$bin" tree "$data/patterns.txt" "$data/tree" "$out/out.tree2" 2
measure sed "$peer_runs" "$out/out.sed" env LC_ALL=C sed -E -f "$data/rules.sed" "$all"
measure perl "$peer_runs" "$out/out.perl" env LC_ALL=C perl -p "$data/rules.pl" "$all"
measure small "$runs" "$data/run.small" "$bin" single "$data/patterns.txt" "$data/small.log" "$out/out.small"
measure noscan "$runs" "$data/run.noscan" "$bin" noscan "$data/patterns.txt" "$all" "$out/out.noscan"
cmp -s "$out/out.single" "$out/out.noscan" || { echo "compare_scrub: scanner and per-line outputs differ" >&2; exit 1; }

archive=$data/archive
if [ ! -d "$archive" ]; then
  "$bin" generate-archive "$data" "${ARCHIVE_FILES:-3000}" 1
fi
find "$archive" -type f -exec cat {} + >/dev/null
rm -rf "$out/out.archive1" "$out/out.archive2"
measure archive1 "$runs" "$data/run.archive1" "$bin" tree "$data/archive-patterns.txt" "$archive" "$out/out.archive1" 1
rm -rf "$out/out.archive2"
measure archive2 "$runs" "$data/run.archive2" "$bin" tree "$data/archive-patterns.txt" "$archive" "$out/out.archive2" 2
measure archiveperl "$peer_runs" "$out/out.archiveperl" find "$archive" -type f -exec env LC_ALL=C perl -p "$data/archive-rules.pl" {} +

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }
rate() { awk -v s="$1" -v mb="$2" 'BEGIN { if (s > 0) printf "%.0f", mb / s; else print "-" }'; }

mib=$((($(stat -c %s "$all") + 524288) >> 20))
echo
echo "$(date -u +%Y-%m-%d) $(nproc) cores, $(awk -F: '/model name/ { print $2; exit }' /proc/cpuinfo | sed 's/^ *//'), load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "outputs in $out ($(df --output=fstype "$out" | tail -1))"
echo "logs: $mib MiB ($(wc -l <"$all") lines), 100 names + IPv4; library best of $runs, peers best of $peer_runs"
printf "%-14s %8s %8s %9s %9s %12s %12s\n" run wall_s cpu_s MiB/s_wall rss_MiB perl/this_wall perl/this_cpu
for t in single tree1 tree2 sed perl; do
  printf "%-14s %8s %8s %9s %9s %12s %12s\n" "$t" "${wall[$t]}" "${cpu[$t]}" "$(rate "${wall[$t]}" "$mib")" \
    "${rss[$t]}" "$(ratio "${wall[perl]}" "${wall[$t]}")" "$(ratio "${cpu[perl]}" "${cpu[$t]}")"
done
echo "tree with 2 workers against 1: $(ratio "${wall[tree1]}" "${wall[tree2]}")x (wall)"
echo "single file without the block scanner: wall ${wall[noscan]} s, cpu ${cpu[noscan]} s ($(ratio "${cpu[noscan]}" "${cpu[single]}")x the CPU of the scanner's)"
amib=$(awk -v b="$(du -sb "$archive" | cut -f1)" 'BEGIN { printf "%.1f", b / 1048576 }')
echo
echo "archive: $amib MiB in $(find "$archive" -type f | wc -l) files, 300 values + IPv4 + MAC"
printf "%-14s %8s %8s %9s %9s %12s\n" run wall_s cpu_s MiB/s_wall rss_MiB perl/this_cpu
for t in archive1 archive2 archiveperl; do
  printf "%-14s %8s %8s %9s %9s %12s\n" "$t" "${wall[$t]}" "${cpu[$t]}" "$(rate "${wall[$t]}" "$amib")" \
    "${rss[$t]}" "$(ratio "${cpu[archiveperl]}" "${cpu[$t]}")"
done
echo "peak memory: $((mib / 10)) MiB file ${rss[small]} MiB, $mib MiB file ${rss[single]} MiB"

# Nothing left: no name as a whole word, no IPv4 address.
left() {
  local names ips
  names=$(cat "$@" | LC_ALL=C grep -c -w -i -F -f "$data/values.txt" || true)
  ips=$(cat "$@" | LC_ALL=C grep -c -E '\b[0-9]{1,3}(\.[0-9]{1,3}){3}\b' || true)
  echo "lines with a name: $names, with an address: $ips"
}
echo "left in single: $(left "$out/out.single")"
echo "left in tree2:  $(left "$out"/out.tree2/*)"
echo "left in perl:   $(left "$out/out.perl")"
echo "left in sed:    $(left "$out/out.sed")"
