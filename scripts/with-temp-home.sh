#!/usr/bin/env bash
# Runs one test binary with a fresh, private home so no test touches the real one.
set -euo pipefail
home="$(mktemp -d "${TMPDIR:-/tmp}/orvalen-test.XXXXXX")"
trap 'rm -rf "$home"' EXIT
export XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" HOME="$home"
export QT_QPA_PLATFORM=offscreen
mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME"
"$@"
