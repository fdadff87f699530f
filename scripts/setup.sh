#!/usr/bin/env bash
# Installs what Orvalen needs to build, run and test on Debian 12.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev libgl-dev
    zlib1g-dev libbz2-dev libjpeg-dev
    libgtest-dev libbenchmark-dev libsqlite3-dev
    libedit-dev
    dpkg-dev
    fonts-liberation xvfb xauth
    cups printer-driver-cups-pdf poppler-utils
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    sudo=""
    [[ $(id -u) -ne 0 ]] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
