#!/usr/bin/env bash
# Installs the Debian packages that cross-building Vorlane for Windows and running
# the Windows tests under Wine need, with those of the Linux build, through
# scripts/deps.sh: only when one of them is missing (apt-get update first), as
# root or through sudo; VORLANE_SKIP_DEPS=1 skips the check.
#
#   bash scripts/windows-deps.sh
#
# The mingw-w64 cross compilers (their posix-threads variants carry std::thread),
# the cross binutils (windres, objdump), GoogleTest's sources (built for the target
# by cmake/toolchains), CMake with Ninja (from deps.sh), and the 64-bit Wine that
# runs the tests. This kernel runs no 32-bit programs, so wine32 is left out.
set -euo pipefail

exec bash "$(dirname "${BASH_SOURCE[0]}")/deps.sh" \
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix \
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 mingw-w64-tools googletest wine64
