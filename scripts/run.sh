#!/usr/bin/env bash
# Installs the packages, builds and starts Orvalen.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh"
exec "${ORVALEN_BUILD_DIR:-$root/build}/app/orvalen"
