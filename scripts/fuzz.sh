#!/usr/bin/env bash
# Runs one of the libFuzzer harnesses in tests/fuzz: configures a clang build with
# AddressSanitizer and UndefinedBehaviorSanitizer, builds the harness and runs it
# for a bounded time on a corpus seeded from the tree. Exits non-zero when the
# fuzzer finds a failure (the input that caused it is left in the build directory
# as crash-*, leak-* or timeout-*).
#
#   scripts/fuzz.sh evemu [SECONDS]   the evemu recording reader and replay timing,
#                                     seeded with tests/evdev/data/*.evemu
#   scripts/fuzz.sh forms [SECONDS]   the form reader, seeded with tests/fuzz/forms/*
#
# SECONDS defaults to 60; VORLANE_FUZZ_BUILD_DIR picks the build directory
# (default build-fuzz). scripts/fuzz-evemu.sh and scripts/fuzz-forms.sh run one each.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
harness=${1:?"usage: scripts/fuzz.sh evemu|forms [SECONDS]"}
seconds=${2:-60}
build=${VORLANE_FUZZ_BUILD_DIR:-$root/build-fuzz}

case "$harness" in
  evemu)
    seeds=("$root"/tests/evdev/data/*.evemu)
    max_len=16384
    ;;
  forms)
    seeds=("$root"/tests/fuzz/forms/*)
    max_len=65536
    ;;
  *)
    echo "fuzz: unknown harness \"$harness\" (evemu or forms)" >&2
    exit 2
    ;;
esac

if ! command -v clang++ >/dev/null 2>&1; then
  echo "fuzz-$harness: clang++ is needed for libFuzzer (sudo apt-get install -y clang)" >&2
  exit 2
fi

cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORLANE_SANITIZE=ON \
  -DVORLANE_FUZZ=ON -DVORLANE_BUILD_TESTS=ON -DVORLANE_BUILD_BENCH=OFF \
  -DVORLANE_BUILD_TOOLS=OFF >/dev/null
if ! grep -q '^VORLANE_HAVE_LIBFUZZER:INTERNAL=1' "$build/CMakeCache.txt"; then
  echo "fuzz-$harness: this clang cannot link -fsanitize=fuzzer (install clang's libFuzzer)" >&2
  exit 2
fi
cmake --build "$build" --target "fuzz_$harness" -j2

corpus=$build/fuzz-$harness-corpus
mkdir -p "$corpus"
cp "${seeds[@]}" "$corpus"/

cd "$build"
exec "$build/tests/fuzz/fuzz_$harness" "$corpus" \
  -dict="$root/tests/fuzz/$harness.dict" \
  -max_total_time="$seconds" -max_len="$max_len" -timeout=10 -rss_limit_mb=2048 \
  -print_final_stats=1
