#!/usr/bin/env bash
# Builds the .deb from a configured and built tree, unpacks it into a throw-away root and runs
# what it holds from there: the program's --version, and the example program compiled against
# the packaged header and pkg-config file and linked with the packaged libsendlogs.so.0.
#   packaging/check-deb.sh build/release
set -euo pipefail
build=$(cd "${1:?usage: check-deb.sh BUILD_DIR}" && pwd)
source_dir=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >/dev/null)
deb=$(ls "$work"/out/sendlogs_*.deb)
dpkg-deb --field "$deb" Depends | grep -q libarchive || { echo "no library dependencies in $deb"; exit 1; }
root="$work/root"
dpkg -x "$deb" "$root"

version=$("$root/usr/bin/sendlogs" --version)
[ "$version" = "sendlogs $(dpkg-deb --field "$deb" Version)" ] || { echo "wrong version: $version"; exit 1; }
lib=$(find "$root/usr/lib" -name libsendlogs.so.0 | head -n 1)
readelf -d "$lib" | grep -q 'SONAME.*libsendlogs.so.0' || { echo "no versioned soname"; exit 1; }
for f in usr/share/man/man1/sendlogs.1 usr/share/bash-completion/completions/sendlogs \
         usr/include/sendlogs/sendlogs.h; do
  [ -f "$root/$f" ] || { echo "missing /$f"; exit 1; }
done
[ -n "$(find "$root/usr/lib" -path '*/cmake/sendlogs/sendlogsConfig.cmake')" ]

pc_dir=$(dirname "$(find "$root/usr/lib" -name libsendlogs.pc)")
flags=$(PKG_CONFIG_LIBDIR="$pc_dir" pkg-config --cflags --libs libsendlogs)
# shellcheck disable=SC2086
g++ -std=c++17 -o "$work/example" "$source_dir/tools/example/Example.cpp" $flags
printf 'secret01\n' > "$work/patterns.txt"
masked=$(SENDLOGS_LOG_FILE= LD_LIBRARY_PATH="$(dirname "$lib")" \
         "$work/example" "$work/patterns.txt" "host secret01 up")
[[ "$masked" =~ ^"1 rule(s): host MaskedData"[0-9]+" up"$ ]] || { echo "example printed: $masked"; exit 1; }
echo "check-deb: $(basename "$deb") installs and runs ($version)"
