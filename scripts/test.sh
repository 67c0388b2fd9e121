#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite: the plain build, then the
# address/undefined-behaviour and thread sanitizer builds.
#   scripts/test.sh            all three builds
#   scripts/test.sh --quick    the plain build only
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
presets=(release asan tsan)
[ "${1:-}" = "--quick" ] && presets=(release)

jobs=$(nproc)
for preset in "${presets[@]}"; do
  echo "== ${preset}: build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "== ${preset}: tests"
  # Sanitizer runs: leaks and races fail the run; ASan and TSan want their own options.
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    ctest --test-dir "build/$preset" -j "$jobs" --output-on-failure
done
