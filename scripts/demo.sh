#!/usr/bin/env bash
# The library's main job on a fresh sandbox installation: installs what is missing, builds the
# program, creates out/sandbox, then runs two requests the way the central server sends them:
#   1. a bundle of the machine's logs (product log directory, registry, firewall files, the
#      diagnostics tool's bundle) with every value of a scrub patterns file masked;
#   2. the log lines of one job (job-log mode).
# What the requester receives goes into out/bundle and out/joblog. Last, a small program built
# against the public header and libsendlogs.so.0 masks a line with the same patterns.
#   scripts/demo.sh
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target sendlogs_cli sendlogs_example
sendlogs=build/release/sendlogs

sandbox=out/sandbox
rm -rf "$sandbox" out/bundle out/joblog out/patterns.txt
mkdir -p out
$sendlogs sandbox create "$sandbox" >/dev/null
echo "sandbox installation: $sandbox"

# The values the site does not want to leave the machine: its name, its server, a user,
# and every IPv4 address.
cat > out/patterns.txt <<'PATTERNS'
client01
hubmaster01.example.test&#*#&Masked_Server
backupadmin
\b[0-9]{1,3}(\.[0-9]{1,3}){3}\b&#*#&##isregexmagic##.
PATTERNS

echo
echo "== 1. scrubbed bundle of the product logs"
$sendlogs collect --sandbox "$sandbox" --client-name client01 --product-logs --scrub \
    --scrub-patterns out/patterns.txt -o out/bundle
echo
echo "== 2. job log of job 1001"
$sendlogs collect --sandbox "$sandbox" --client-name client01 --job 1001 -o out/joblog

bundle=out/bundle/client01_logs.tar.gz
tar -tzvf "$bundle" > out/bundle/listing.txt
echo
echo "== results"
echo "bundle:      $bundle ($(wc -l < out/bundle/listing.txt) members; listing in out/bundle/listing.txt)"
echo "job log:     $(ls out/joblog/*)"
echo "library log: $sandbox/Log_Files/SendLogFiles.log"
echo "patterns:    out/patterns.txt"
echo
echo "first members of the bundle:"
head -n 12 out/bundle/listing.txt
echo
echo "an integrator's program on libsendlogs.so.0 ($(ldd build/release/sendlogs-example | grep -o 'libsendlogs[^ ]*' | head -n 1)):"
SENDLOGS_LOG_FILE= build/release/sendlogs-example out/patterns.txt "backupadmin logged in from 10.0.0.7"
leaks=$(tar -xzOf "$bundle" | grep -aic -e client01 -e backupadmin -e hubmaster01 || true)
echo "lines of the bundle that still name client01, backupadmin or hubmaster01: $leaks"
