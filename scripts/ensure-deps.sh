#!/usr/bin/env bash
# Installs the Debian packages the build and tests need, when missing.
set -euo pipefail
packages=(cmake ninja-build g++ pkg-config git
  libgtest-dev libgmock-dev libbenchmark-dev
  libpugixml-dev libspdlog-dev libfmt-dev libcli11-dev nlohmann-json3-dev
  libsqlite3-dev uuid-dev libpixman-1-dev libpng-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
