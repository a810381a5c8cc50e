#!/usr/bin/env bash
# Installs the Debian packages that cross-building Vorlane for Windows and running
# the Windows tests under Wine need, and only when one of them is missing: a
# machine that has them all is left alone (no apt-get update, no root needed).
#
#   bash scripts/windows-deps.sh
#
# Runs apt-get directly as root and through sudo otherwise. VORLANE_SKIP_DEPS=1
# skips the check, as for scripts/deps.sh.
set -euo pipefail

# The mingw-w64 cross compilers (their posix-threads variants carry std::thread),
# the cross binutils (windres, objdump, dlltool), GoogleTest's sources (built for
# the target by the toolchain files), CMake with Ninja, and the 64-bit Wine that
# runs the tests. This kernel runs no 32-bit programs, so wine32 is left out.
required=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686
  binutils-mingw-w64-x86-64 mingw-w64-tools googletest cmake ninja-build wine64)

say() { printf 'windows-deps: %s\n' "$*" >&2; }

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

missing=()
for package in "${required[@]}"; do
  installed "$package" || missing+=("$package")
done
if ((${#missing[@]} == 0)); then
  exit 0
fi

if ((EUID == 0)); then
  as_root=(env DEBIAN_FRONTEND=noninteractive)
elif command -v sudo >/dev/null 2>&1; then
  as_root=(sudo env DEBIAN_FRONTEND=noninteractive)
else
  say "missing Debian packages: ${missing[*]}"
  say "they have to be installed as root, and sudo is not available. As root, run:"
  say "  apt-get update && apt-get install -y --no-install-recommends ${missing[*]}"
  exit 1
fi

say "installing missing Debian packages: ${missing[*]}"
"${as_root[@]}" apt-get update
"${as_root[@]}" apt-get install -y --no-install-recommends "${missing[@]}"

still_missing=()
for package in "${missing[@]}"; do
  installed "$package" || still_missing+=("$package")
done
if ((${#still_missing[@]} > 0)); then
  say "still missing after apt-get install: ${still_missing[*]}"
  exit 1
fi
