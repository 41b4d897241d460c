#!/usr/bin/env bash
# Installs the Debian 12 packages Tavolin needs to build, test and run, when any is missing.
# Idempotent and non-interactive; needs root (or sudo) only when something is missing.
# usage: scripts/deps.sh [--fuzz]   (--fuzz adds clang and its libFuzzer runtime, for fuzz/run.sh)
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev libqt6opengl6-dev libgl-dev libgl1-mesa-dri
    libgtest-dev libgmock-dev libbenchmark-dev
    xvfb xauth imagemagick x11-utils xdotool
    assistant-qt6 qt6-documentation-tools
    libxml2-utils
)
if [ "${1:-}" = "--fuzz" ]; then
    packages+=(clang libclang-rt-14-dev)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "Installing missing packages: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
