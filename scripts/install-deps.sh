#!/usr/bin/env bash
# Installs the Debian packages Zyfar needs to build, run and test.
# Idempotent: only packages that are missing are installed.
# With --fuzz: only what the fuzz targets need (clang 14 and its libFuzzer runtime).
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libqt6svg6
  libgtest-dev libgmock-dev libbenchmark-dev
  libcanberra-dev libx11-dev
  libssl-dev
  python3 python3-pyftpdlib vsftpd curl lftp
  libssl-dev openssl python3-openssl
  shared-mime-info adwaita-icon-theme
  xvfb xauth
)
if [ "${1:-}" = "--fuzz" ]; then
  PACKAGES=(build-essential cmake clang-14 libclang-rt-14-dev)
fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi

echo "Installing missing packages: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
