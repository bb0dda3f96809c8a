#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running Vallorin need.
set -euo pipefail
# systemd: systemd-analyze checks the scheduler's units (no running systemd needed); tzdata: the
# time zones of the next-run tests.
packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools libsqlite3-dev zlib1g-dev libclamav-dev
          libgtest-dev libgmock-dev libbenchmark-dev xvfb xauth xdotool x11-utils
          clang-14 libclang-rt-14-dev fonts-dejavu-core fonts-liberation2
          clamav zip systemd tzdata)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
