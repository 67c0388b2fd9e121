#!/usr/bin/env bash
# Times a bundle-mode request (product logs) of a sandbox whose generated log directory is
# SIZE_MB (default 1 GiB) three ways, in turn, RUNS times each on the same warm files:
#
#   remote     sendlogs collect --remote to "sendlogs serve" on loopback (TLS 1.3, mutual
#              certificates): the service builds and streams the bundle, the requester
#              writes and checks it;
#   in-process sendlogs collect --sandbox: the same request, the library and the receiver
#              in one process over a socket pair;
#   by hand    what a user does without the service: "ssh HOST tar czf - DIR > file". No sshd
#              here, so the same pipeline without ssh: tar czf - of the log directory into
#              socat, over loopback TCP to a socat that writes the file (no encryption, so
#              this baseline is cheaper than the ssh it stands for).
#
# Wall seconds per run, the CPU seconds of every process involved (the service's from its
# /proc counters), the load average before each run, and the ratios of each run.
#
#   bench/compare_remote.sh [BUILD_DIR]
#
# Environment: DATA (folder for the sandbox and outputs, default
# ${TMPDIR:-/tmp}/sendlogs-bench-remote), SIZE_MB (1024), RUNS (3).
set -euo pipefail

build=${1:-build/release}
sendlogs=$(realpath "$build/sendlogs")
data=${DATA:-${TMPDIR:-/tmp}/sendlogs-bench-remote}
size_mb=${SIZE_MB:-1024}
runs=${RUNS:-3}

[ -x "$sendlogs" ] || { echo "compare_remote: $sendlogs is missing; build it first" >&2; exit 2; }
for tool in tar gzip socat /usr/bin/time awk; do
  command -v "$tool" >/dev/null || { echo "compare_remote: $tool is missing (scripts/install-deps.sh --bench)" >&2; exit 2; }
done

mkdir -p "$data"
sb=$data/sb$size_mb
if [ ! -d "$sb/Log_Files" ]; then
  echo "creating a sandbox with $size_mb MiB of logs in $sb ..."
  rm -rf "$sb"
  "$sendlogs" sandbox create "$sb" --size-mb "$size_mb" >/dev/null
fi
out=$data/out
mkdir -p "$out"
cat "$sb"/Log_Files/* >/dev/null 2>&1 || true  # into the page cache
log_bytes=$(du -sb "$sb/Log_Files" | cut -f1)

# The service, on a port of its choosing; stopped (by its process id) when the script ends.
"$sendlogs" serve --listen 127.0.0.1:0 --sandbox "$sb" --log-file "$out/serve.log" \
  >"$out/serve.out" 2>&1 &
serve_pid=$!
trap 'kill "$serve_pid" 2>/dev/null || true; wait "$serve_pid" 2>/dev/null || true' EXIT
for _ in $(seq 100); do
  grep -q ' port ' "$out/serve.out" && break
  sleep 0.1
done
port=$(sed -n 's/.* port \([0-9]*\) .*/\1/p' "$out/serve.out")
[ -n "$port" ] || { echo "compare_remote: the service did not start" >&2; cat "$out/serve.out" >&2; exit 1; }
tls=$sb/tls
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
ticks=$(getconf CLK_TCK)
serve_cpu() { awk -v t="$ticks" '{ printf "%.2f", ($14 + $15 + $16 + $17) / t }' "/proc/$serve_pid/stat"; }

# run NAME COMMAND...: wall and CPU (user + system of the command and its children).
run() {
  local name=$1
  shift
  /usr/bin/time -f "%e %U %S" -o "$out/time" "$@" >/dev/null 2>"$out/$name.err"
  read -r e u s <"$out/time"
  echo "$e $(awk -v u="$u" -v s="$s" 'BEGIN { printf "%.2f", u + s }')"
}

rows=()
for i in $(seq "$runs"); do
  load_remote=$(cut -d' ' -f1 /proc/loadavg)
  before=$(serve_cpu)
  rm -rf "$out/remote"
  read -r w_r c_r < <(run remote "$sendlogs" collect --remote "127.0.0.1:$port" --ca "$tls/ca.pem" \
    --cert "$tls/requester.pem" --key "$tls/requester.key" --client-name client01 \
    --product-logs -o "$out/remote")
  c_r=$(awk -v a="$c_r" -v b="$before" -v c="$(serve_cpu)" 'BEGIN { printf "%.2f", a + c - b }')
  remote_file=$(ls "$out"/remote/*/*)

  load_local=$(cut -d' ' -f1 /proc/loadavg)
  rm -rf "$out/local"
  read -r w_l c_l < <(SENDLOGS_LOG_FILE=$out/local.log run local "$sendlogs" collect \
    --sandbox "$sb" --client-name client01 --product-logs -o "$out/local")
  local_file=$(ls "$out"/local/*)

  load_hand=$(cut -d' ' -f1 /proc/loadavg)
  p=$(free_port)
  rm -f "$out/hand.tar.gz"
  read -r w_h c_h < <(run hand bash -c "
    socat -u TCP-LISTEN:$p,bind=127.0.0.1,reuseaddr OPEN:'$out/hand.tar.gz',creat,trunc &
    receiver=\$!
    for _ in \$(seq 100); do ss -ltn 2>/dev/null | grep -q ':$p ' && break; sleep 0.05; done
    tar czf - -C '$sb' Log_Files | socat -u - TCP:127.0.0.1:$p
    wait \$receiver")

  rows+=("| $i | $load_remote / $load_local / $load_hand | $w_r | $c_r | $w_l | $c_l | $w_h | $c_h |"\
" $(awk -v a="$w_r" -v b="$w_l" 'BEGIN { printf "%.2f", a / b }')"\
" | $(awk -v a="$w_r" -v b="$w_h" 'BEGIN { printf "%.2f", a / b }') |")
  sizes="remote $(stat -c %s "$remote_file"), in-process $(stat -c %s "$local_file"), by hand $(stat -c %s "$out/hand.tar.gz") bytes"
  rm -rf "$out/remote" "$out/local" "$out/hand.tar.gz"
done

mib() { awk -v a="$1" 'BEGIN { printf "%.1f", a / 1048576 }'; }
echo
echo "log directory: $(mib "$log_bytes") MiB; $(nproc) CPUs; outputs: $sizes"
echo
echo "| run | load (remote / in-process / by hand) | remote wall s | remote CPU s | in-process wall s | in-process CPU s | by hand wall s | by hand CPU s | remote / in-process | remote / by hand |"
echo "|---|---|---|---|---|---|---|---|---|---|"
printf '%s\n' "${rows[@]}"
