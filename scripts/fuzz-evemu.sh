#!/usr/bin/env bash
# Fuzzes the evemu recording reader and replay timing for SECONDS (default 60); see scripts/fuzz.sh.
#
#   scripts/fuzz-evemu.sh [SECONDS]
exec bash "$(dirname "$0")/fuzz.sh" evemu "$@"
