#!/usr/bin/env bash
# Installs the Debian packages that building and testing Vorlane needs, and only
# when one of them is missing: a machine that has them all is left alone (no
# apt-get update, no root needed).
#
#   bash scripts/deps.sh              # the build and test packages
#   bash scripts/deps.sh evemu-tools  # ... and these as well, as required
#
# Runs apt-get directly as root and through sudo otherwise. Set VORLANE_SKIP_DEPS=1
# to skip the check (for example on a system that is not Debian-based and has the
# tools installed some other way).
set -euo pipefail

# Needed to configure, build and test: the compiler, CMake with Ninja, pkg-config
# (which finds libevdev when CMake configures), GoogleTest, Google Benchmark,
# libevdev and ncurses.
required=(g++ cmake ninja-build pkg-config libgtest-dev libgmock-dev libbenchmark-dev
  libevdev-dev libncurses-dev)
# Wanted but not needed (recording and replaying input devices): installed along
# with the required packages when those have to be installed anyway.
optional=(evemu-tools)

required+=("$@")

say() { printf 'deps: %s\n' "$*" >&2; }

if [[ "${VORLANE_SKIP_DEPS:-0}" == 1 ]]; then
  exit 0
fi

if ! command -v dpkg-query >/dev/null 2>&1; then
  say "dpkg-query not found: this is not a Debian-based system, so packages are not installed."
  say "Make sure these (or their equivalents) are present: ${required[*]}"
  exit 0
fi

installed() {
  [[ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)" == "install ok installed" ]]
}

missing_required=()
for package in "${required[@]}"; do
  installed "$package" || missing_required+=("$package")
done
if ((${#missing_required[@]} == 0)); then
  exit 0
fi
missing_optional=()
for package in "${optional[@]}"; do
  installed "$package" || missing_optional+=("$package")
done

if ((EUID == 0)); then
  as_root=(env DEBIAN_FRONTEND=noninteractive)
elif command -v sudo >/dev/null 2>&1; then
  as_root=(sudo env DEBIAN_FRONTEND=noninteractive)
else
  say "missing Debian packages: ${missing_required[*]}"
  say "they have to be installed as root, and sudo is not available. As root, run:"
  say "  apt-get update && apt-get install -y ${missing_required[*]}"
  exit 1
fi

say "installing missing Debian packages: ${missing_required[*]}${missing_optional[*]:+ (and, optional, ${missing_optional[*]})}"
"${as_root[@]}" apt-get update
if ((${#missing_optional[@]} > 0)); then
  if "${as_root[@]}" apt-get install -y --no-install-recommends \
    "${missing_required[@]}" "${missing_optional[@]}"; then
    exit 0
  fi
  say "could not install together with ${missing_optional[*]} (optional); trying without them"
fi
"${as_root[@]}" apt-get install -y --no-install-recommends "${missing_required[@]}"

still_missing=()
for package in "${missing_required[@]}"; do
  installed "$package" || still_missing+=("$package")
done
if ((${#still_missing[@]} > 0)); then
  say "still missing after apt-get install: ${still_missing[*]}"
  exit 1
fi
