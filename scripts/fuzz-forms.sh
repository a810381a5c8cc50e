#!/usr/bin/env bash
# Fuzzes the form reader for SECONDS (default 60); see scripts/fuzz.sh.
#
#   scripts/fuzz-forms.sh [SECONDS]
exec bash "$(dirname "$0")/fuzz.sh" forms "$@"
