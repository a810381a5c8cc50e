#!/usr/bin/env bash
# Builds the Windows tests (tests/windows) with the mingw-w64 x86_64 toolchain in
# build-windows64-winmm/ and runs them under wine64 against Wine's own winmm.dll, with the
# scripted dinput8.dll stand-in. Installs what it needs first (scripts/windows-deps.sh).
#
#   bash scripts/windows-test.sh            # deps, configure, build, test
#   bash scripts/windows-test.sh -R Capture # ... passing arguments on to ctest
#
# The Wine prefix lives in build-windows64-winmm/wineprefix and is created on the first
# run; no display is needed. Each step's time is printed at the end.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${VORLANE_WINDOWS_BUILD:-$root/build-windows64-winmm}"
jobs="${VORLANE_JOBS:-2}"

say() { printf 'windows-test: %s\n' "$*" >&2; }
now_ms() { echo $(($(date +%s%N) / 1000000)); }
declare -a timings=()
# Runs a step and notes its time; answers the step's status.
timed() {
  local label="$1" start status=0
  shift
  start="$(now_ms)"
  "$@" || status=$?
  local elapsed=$(($(now_ms) - start))
  timings+=("$(printf '%-12s %4d.%d s' "$label" $((elapsed / 1000)) $((elapsed % 1000 / 100)))")
  return "$status"
}

timed deps bash "$root/scripts/windows-deps.sh"
timed configure cmake -S "$root/tests/windows" -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/mingw-x86_64.cmake" >/dev/null
# The prefix first: the build lists the tests by running the test program.
if [[ ! -f "$build/wineprefix/.vorlane-ready" ]]; then
  say "creating the Wine prefix in $build/wineprefix"
  timed wine-prefix "$build/run-wine.sh" cmd /c exit
fi
timed build cmake --build "$build" -j "$jobs"
status=0
timed test ctest --test-dir "$build" -j "$jobs" --output-on-failure "$@" || status=$?
# Let the prefix's wineserver and services go now rather than linger.
WINEPREFIX="$build/wineprefix" /usr/lib/wine/wineserver -k 2>/dev/null && WINEPREFIX="$build/wineprefix" /usr/lib/wine/wineserver -w || true

say "times:"
for line in "${timings[@]}"; do say "  $line"; done
exit "$status"
