#!/usr/bin/env bash
# Installs the Debian packages Vallorin needs:
#   scripts/deps.sh        building and running the program and its toolkit
#   scripts/deps.sh test   that, and the tests, the benchmarks, the sanitizer and fuzz builds and
#                          the Debian package's build and checks
set -euo pipefail
packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools qt6-svg-dev
          libsqlite3-dev zlib1g-dev libclamav-dev fonts-dejavu-core fonts-liberation2)
case "${1:-}" in
    "") ;;
    test)
        packages+=(libgtest-dev libgmock-dev libbenchmark-dev xvfb xauth xdotool x11-utils
                   clang-14 clang-format-14 libclang-rt-14-dev python3 clamav zip dpkg-dev file
                   # the engine benchmark's resident daemon and its client
                   clamav-daemon clamdscan
                   desktop-file-utils appstream
                   # systemd-analyze checks the scheduler's units (no running systemd needed);
                   # tzdata: the time zones of the next-run tests
                   systemd tzdata) ;;
    *)
        echo "usage: $0 [test]" >&2
        exit 2 ;;
esac
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
