#!/usr/bin/env bash
# Times a bundle-mode request (product logs and job results of a sandbox whose generated log
# directory is SIZE_MB, default 1 GiB) through "sendlogs collect" -- the library, the socket
# pair and the receiver writing and checking the file -- next to "tar -czf" of the same log
# directory and "tar -cf - | pigz -6 -p 2", run after one another on the same warm files,
# RUNS times each in turn (best kept). Then the parts of the request on their own (the tar
# steps, one append's scan of the bundle, the compression, the receiver's checksum), a
# scrubbed request, the sizes against gzip -6 of the same tar, and the request's peak memory
# on a log directory of a quarter the size.
#
#   bench/compare_bundle.sh [BUILD_DIR]
#
# Environment: DATA (folder for the sandboxes and outputs, default
# ${TMPDIR:-/tmp}/sendlogs-bench-bundle), SIZE_MB (1024), RUNS (2).
set -euo pipefail

build=${1:-build/bench}
sendlogs=$build/sendlogs
bench=$build/bench/bench_bundle
data=${DATA:-${TMPDIR:-/tmp}/sendlogs-bench-bundle}
size_mb=${SIZE_MB:-1024}
runs=${RUNS:-2}

for f in "$sendlogs" "$bench"; do
  if [ ! -x "$f" ]; then
    echo "compare_bundle: $f is missing; build it with:" >&2
    echo "  cmake --preset bench && cmake --build --preset bench" >&2
    exit 2
  fi
done
for tool in tar gzip pigz /usr/bin/time awk; do
  command -v "$tool" >/dev/null || { echo "compare_bundle: $tool is missing (scripts/install-deps.sh --bench)" >&2; exit 2; }
done

mkdir -p "$data"
sandbox() {  # sandbox DIR MB: created once
  if [ ! -d "$1/Log_Files" ]; then
    echo "creating a sandbox with $2 MiB of logs in $1 ..."
    rm -rf "$1"
    "$sendlogs" sandbox create "$1" --size-mb "$2" >/dev/null
  fi
}
sb=$data/sb$size_mb
quarter=$((size_mb / 4))
sbq=$data/sb$quarter
sandbox "$sb" "$size_mb"
sandbox "$sbq" "$quarter"
out=$data/out
mkdir -p "$out"
cat "$sb"/Log_Files/* "$sbq"/Log_Files/* >/dev/null 2>&1 || true  # into the page cache
log_bytes=$(du -sb "$sb/Log_Files" | cut -f1)

request() {  # request SANDBOX OUTDIR [options]: one bundle request
  local s=$1 o=$2
  shift 2
  rm -rf "$o"
  "$sendlogs" collect --sandbox "$s" --client-name client01 --product-logs --job-results "$@" \
    -o "$o" >/dev/null
}
export -f request
export sendlogs

# measure NAME COMMAND...: best wall, its CPU, peak RSS over the runs of that name so far.
declare -A wall cpu rss
measure() {
  local name=$1
  shift
  local stats=$out/time.$name
  /usr/bin/time -f "%e %U %S %M" -o "$stats" "$@" >/dev/null
  read -r e u s m <"$stats"
  local c
  c=$(awk -v u="$u" -v s="$s" 'BEGIN { printf "%.2f", u + s }')
  if [ -z "${wall[$name]:-}" ] || awk -v a="$e" -v b="${wall[$name]}" 'BEGIN { exit !(a < b) }'; then
    wall[$name]=$e
    cpu[$name]=$c
  fi
  [ "${m}" -gt "${rss[$name]:-0}" ] && rss[$name]=$m
  return 0
}

for _ in $(seq "$runs"); do
  measure request bash -c "request '$sb' '$out/request'"
  measure tar_czf tar -czf "$out/ref.tar.gz" -C "$sb" Log_Files
  measure pigz bash -c "tar -cf - -C '$sb' Log_Files | pigz -6 -p 2 > '$out/ref.pigz.tar.gz'"
done
bundle=$out/request/client01_logs.tar.gz

# The parts on their own.
measure part_tar tar -cf "$out/part.tar" -C "$sb/Log_Files" .
echo x >"$out/small.txt"
measure part_scan tar -rf "$out/part.tar" -C "$out" small.txt
gunzip -c "$bundle" >"$out/bundle.tar"
measure part_compress "$bench" compress "$out/bundle.tar" "$out/part.gz"
measure part_crc "$bench" crc "$bundle"
measure part_gzip6 bash -c "gzip -6 -c '$out/bundle.tar' > '$out/bundle.gzip6.gz'"

# Scrubbed: the same logs copied through the scrubber first (job results are then skipped).
printf '%s\n' client01 backupadmin hubmaster01.example.test \
  '\b[0-9]{1,3}(\.[0-9]{1,3}){3}\b&#*#&##isregexmagic##.' >"$out/patterns.txt"
measure scrubbed bash -c "request '$sb' '$out/scrubbed' --scrub --scrub-patterns '$out/patterns.txt'"
# Memory on a quarter of the logs.
measure quarter bash -c "request '$sbq' '$out/quarter'"

size() { stat -c %s "$1"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
mib() { awk -v a="$1" 'BEGIN { printf "%.1f", a / 1048576 }'; }
echo
echo "log directory: $(mib "$log_bytes") MiB; bundle tar: $(mib "$(size "$out/bundle.tar")") MiB;" \
  "$(nproc) CPUs; load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo
echo "| run | wall s | CPU s | peak RSS MiB | output MiB | wall / tar -czf | wall / pigz |"
echo "|---|---|---|---|---|---|---|"
row() {  # row LABEL NAME OUTPUT
  printf '| %s | %s | %s | %s | %s | %s | %s |\n' "$1" "${wall[$2]}" "${cpu[$2]}" \
    "$(awk -v k="${rss[$2]}" 'BEGIN { printf "%.0f", k / 1024 }')" "$(mib "$(size "$3")")" \
    "$(ratio "${wall[$2]}" "${wall[tar_czf]}")" "$(ratio "${wall[$2]}" "${wall[pigz]}")"
}
row "bundle request (collect)" request "$bundle"
row "tar -czf" tar_czf "$out/ref.tar.gz"
row "tar -cf - \\| pigz -6 -p 2" pigz "$out/ref.pigz.tar.gz"
row "scrubbed bundle request" scrubbed "$out/scrubbed/client01_logs.tar.gz"
row "bundle request, $quarter MiB of logs" quarter "$out/quarter/client01_logs.tar.gz"
echo
echo "bundle against gzip -6 of the same tar: $(ratio "$(size "$bundle")" "$(size "$out/bundle.gzip6.gz")")" \
  "($(size "$bundle") / $(size "$out/bundle.gzip6.gz") bytes); gzip -6 took ${wall[part_gzip6]} s"
echo
echo "| part | wall s | CPU s |"
echo "|---|---|---|"
for p in part_tar part_scan part_compress part_crc; do
  printf '| %s | %s | %s |\n' "$p" "${wall[$p]}" "${cpu[$p]}"
done
gunzip -t "$bundle" && tar -tzf "$bundle" >/dev/null && echo "gunzip -t and tar -tzf read the bundle"
