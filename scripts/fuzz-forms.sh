#!/usr/bin/env bash
# Fuzzes the form reader: configures a clang build with AddressSanitizer and
# UndefinedBehaviorSanitizer, builds the libFuzzer harness tests/fuzz/fuzz_forms
# and runs it for a bounded time on a corpus seeded with the forms in
# tests/fuzz/forms. Exits non-zero when the fuzzer finds a failure (the input that
# caused it is left in the build directory as crash-*, leak-* or timeout-*).
#
#   scripts/fuzz-forms.sh [SECONDS]      default 60; VORLANE_FUZZ_BUILD_DIR picks the
#                                        build directory (default build-fuzz)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
build=${VORLANE_FUZZ_BUILD_DIR:-$root/build-fuzz}

if ! command -v clang++ >/dev/null 2>&1; then
  echo "fuzz-forms: clang++ is needed for libFuzzer (sudo apt-get install -y clang)" >&2
  exit 2
fi

cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORLANE_SANITIZE=ON \
  -DVORLANE_FUZZ=ON -DVORLANE_BUILD_TESTS=ON -DVORLANE_BUILD_BENCH=OFF \
  -DVORLANE_BUILD_TOOLS=OFF >/dev/null
if ! grep -q '^VORLANE_HAVE_LIBFUZZER:INTERNAL=1' "$build/CMakeCache.txt"; then
  echo "fuzz-forms: this clang cannot link -fsanitize=fuzzer (install clang's libFuzzer)" >&2
  exit 2
fi
cmake --build "$build" --target fuzz_forms -j2

corpus=$build/fuzz-forms-corpus
mkdir -p "$corpus"
cp "$root"/tests/fuzz/forms/* "$corpus"/

cd "$build"
exec "$build/tests/fuzz/fuzz_forms" "$corpus" \
  -dict="$root/tests/fuzz/forms.dict" \
  -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
  -print_final_stats=1
