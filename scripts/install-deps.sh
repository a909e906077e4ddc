#!/usr/bin/env bash
# Installs the Debian 12 packages the gateway needs to build, run and test, when any is missing.
set -euo pipefail
packages=(build-essential cmake pkg-config qt6-base-dev libgtest-dev libgmock-dev libbenchmark-dev
          xvfb xauth fonts-wqy-microhei python3-gammu python3 time
          libboost1.81-dev nlohmann-json3-dev libssl-dev openssl
          help2man man-db systemd adduser dpkg-dev postgresql libpq-dev libcurl4-openssl-dev)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "missing packages: ${missing[*]} (run as root, or install them with apt-get)" >&2
        exit 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update
    apt-get install -y --no-install-recommends "${missing[@]}"
fi
