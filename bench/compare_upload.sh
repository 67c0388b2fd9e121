#!/usr/bin/env bash
# Uploads one file (1 GiB by default) to an FTP server on loopback twice: with
# "sendlogs upload --ftp" (the library's uploadToCloud: split into parts, each part sent by the
# libcurl gateway, parts removed) and with "curl -T" of the whole file, best of RUNS each,
# wall and CPU seconds and peak RSS from /usr/bin/time. The server is
# tests/support/upload_servers.py (pyftpdlib), the same for both. The "split" row times the
# cutting into parts alone (split and rm), which the library's figure includes.
#
#   bench/compare_upload.sh [BUILD_DIR]
#
# Environment: DATA (folder for the file and the server's root, default
# ${TMPDIR:-/tmp}/sendlogs-bench-upload), SIZE_MB (1024), PART_MB (100), RUNS (3).
set -euo pipefail

build=${1:-build/release}
bin=$build/sendlogs
here=$(cd "$(dirname "$0")/.." && pwd)
data=${DATA:-${TMPDIR:-/tmp}/sendlogs-bench-upload}
size_mb=${SIZE_MB:-1024}
part_mb=${PART_MB:-100}
runs=${RUNS:-3}
python=/usr/bin/python3
[ -x "$python" ] || python=python3

[ -x "$bin" ] || { echo "compare_upload: $bin is missing (cmake --build --preset release)" >&2; exit 2; }
for tool in curl /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "compare_upload: $tool is missing" >&2; exit 2; }
done

mkdir -p "$data/local" "$data/remote"
file=$data/local/bundle.tar
if [ ! -f "$file" ] || [ "$(stat -c %s "$file")" -ne $((size_mb << 20)) ]; then
  head -c $((size_mb << 20)) /dev/urandom >"$file"
fi
printf 'benchpw\n' >"$data/password"

coproc SERVER { exec "$python" "$here/tests/support/upload_servers.py" ftp --root "$data/remote" \
  --user bench --password benchpw; }
trap 'kill $SERVER_PID 2>/dev/null || true' EXIT
read -r _ port <&"${SERVER[0]}"
url=ftp://127.0.0.1:$port/

best() {  # name command...: best wall, its CPU, peak RSS of all runs
  local name=$1 stats=$data/time.$1 bw="" bc="" peak=0
  shift
  for _ in $(seq "$runs"); do
    rm -rf "$data/remote/$name"
    /usr/bin/time -f "%e %U %S %M" -o "$stats" "$@" >/dev/null
    read -r e u s m <"$stats"
    if [ -z "$bw" ] || awk -v a="$e" -v b="$bw" 'BEGIN { exit !(a < b) }'; then
      bw=$e; bc=$(awk -v u="$u" -v s="$s" 'BEGIN { printf "%.2f", u + s }'); fi
    [ "$m" -gt "$peak" ] && peak=$m
  done
  echo "$name $bw $bc $((peak / 1024))"
}

cat "$file" >/dev/null
lib=$(best library "$bin" upload --ftp --url "$url" --user bench --password-file "$data/password" \
  --id library --part-mb "$part_mb" "$file")
cut=$(best split sh -c 'split -b "$1"m "$2" "$3".part- && rm -f "$3".part-*' sh "$part_mb" "$file" \
  "$data/split")
ref=$(best curl curl -sS --ftp-create-dirs -u bench:benchpw -T "$file" "${url}curl/")
cmp -s <(cat "$data"/remote/library/bundle.tar.part-*) "$file" || { echo "library upload differs" >&2; exit 1; }
cmp -s "$data/remote/curl/bundle.tar" "$file" || { echo "curl upload differs" >&2; exit 1; }

echo "size ${size_mb} MiB, parts of ${part_mb} MiB, best of $runs"
printf '%-8s %8s %8s %12s\n' tool "wall s" "CPU s" "peak RSS MiB"
for row in "$lib" "$cut" "$ref"; do
  read -r n w c m <<<"$row"
  printf '%-8s %8s %8s %12s\n' "$n" "$w" "$c" "$m"
done
read -r _ lw _ _ <<<"$lib"
read -r _ rw _ _ <<<"$ref"
awk -v a="$lw" -v b="$rw" 'BEGIN { printf "library / curl (wall): %.2f\n", a / b }'
