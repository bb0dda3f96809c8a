#!/usr/bin/env bash
# Installs the Debian packages Vallorin needs:
#   scripts/deps.sh        building and running the program and its toolkit
#   scripts/deps.sh package   that, and what building and checking the Debian package needs
#   scripts/deps.sh test   all of that, and the tests, the benchmarks, the sanitizer and fuzz
#                          builds
set -euo pipefail
packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools qt6-svg-dev
          libsqlite3-dev zlib1g-dev libclamav-dev fonts-dejavu-core fonts-liberation2)
# systemd-analyze checks the installed units (no running systemd needed)
package_tools=(dpkg-dev file lintian desktop-file-utils appstream systemd)
case "${1:-}" in
    "") ;;
    package)
        packages+=("${package_tools[@]}") ;;
    test)
        packages+=("${package_tools[@]}"
                   libgtest-dev libgmock-dev libbenchmark-dev xvfb xauth xdotool x11-utils
                   clang-14 clang-format-14 libclang-rt-14-dev python3 clamav zip
                   # the engine benchmark's resident daemon and its client
                   clamav-daemon clamdscan
                   # systemd-analyze checks the scheduler's units (no running systemd needed);
                   # tzdata: the time zones of the next-run tests
                   systemd tzdata
                   # the end-to-end test through AT-SPI: a session bus, the accessibility bus
                   # and its registry, and the bindings its script reads the screen with
                   dbus-daemon at-spi2-core gir1.2-atspi-2.0 python3-gi) ;;
    *)
        echo "usage: $0 [package|test]" >&2
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
