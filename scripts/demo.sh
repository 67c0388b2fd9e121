#!/usr/bin/env bash
# Installs what is missing, builds, creates a fresh sandbox installation and runs a
# collection request against it, writing what the requester receives into out/collect.
#   scripts/demo.sh [REQUEST OPTIONS...]     default: --job 1001 --client-name client01
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target sendlogs_cli

sandbox=out/sandbox
rm -rf "$sandbox" out/collect
build/release/sendlogs sandbox create "$sandbox"
if [ "$#" -eq 0 ]; then set -- --job 1001 --client-name client01; fi
build/release/sendlogs collect --sandbox "$sandbox" "$@" -o out/collect
echo "library log: $sandbox/Log_Files/SendLogFiles.log"
ls -l out/collect
