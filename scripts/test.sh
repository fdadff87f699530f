#!/usr/bin/env bash
# Installs the packages, builds and runs every test.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh"
cd "${ORVALEN_BUILD_DIR:-$root/build}"
ctest --output-on-failure -j2
