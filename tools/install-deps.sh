#!/usr/bin/env bash
# Installs the Debian packages Peldor needs to build, test and run, when they are missing.
# Runs apt-get as root (through sudo when the caller is not root). Safe to run repeatedly.
set -euo pipefail

packages=(
    build-essential cmake pkg-config git
    libgtest-dev libgmock-dev libbenchmark-dev
    jackd2 libjack-jackd2-dev
    librtmidi-dev libasound2-dev libsimpleini-dev
    qt6-base-dev libx11-dev libxtst-dev xvfb xauth
    dpf-plugins-vst zam-plugins dragonfly-reverb-vst zynaddsubfx-vst
    clang libclang-rt-14-dev clang-format
    libjpeg62-turbo-dev fonts-dejavu-core
    binutils-mingw-w64-x86-64
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "Installing missing packages: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
    as_root=()
else
    as_root=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
