#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the benchmarks need.
# Idempotent: prints nothing and touches nothing when every package is present.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  libboost-regex-dev libboost-dev zlib1g-dev libarchive-dev libcurl4-openssl-dev libbz2-dev
  libssl-dev libdeflate-dev libvectorscan-dev
  libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev
  tar gzip bzip2 coreutils findutils sed grep file procps util-linux
  7zip python3 python3-pyftpdlib openssl tzdata
)
if [ "${1:-}" = "--bench" ]; then
  packages+=(ripgrep gawk perl hyperfine time pigz socat)
fi
if [ "${1:-}" = "--fuzz" ]; then
  packages+=(clang libclang-rt-14-dev)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ "${#missing[@]}" -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
