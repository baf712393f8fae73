#!/usr/bin/env bash
# Installs the Debian 12 packages Ringlark needs, only those that are missing.
# Runs apt-get update once, before the first install, and only when needed.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git
  clang libclang-rt-14-dev clang-format
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev libgl-dev
  portaudio19-dev libasound2-dev libasound2-plugins
  libcli11-dev nlohmann-json3-dev libsndfile1-dev libsoxr-dev libfftw3-dev libsqlite3-dev
  libmosquitto-dev mosquitto mosquitto-clients
  qt6-charts-dev libqt6opengl6-dev
  dpkg-dev file desktop-file-utils appstream lintian
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

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi
$SUDO apt-get update
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
