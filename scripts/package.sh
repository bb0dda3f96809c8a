#!/usr/bin/env bash
# Builds the Debian package from scratch in build/package (a release build without tests):
# build/package/vallorin_<version>_<arch>.deb, and checks it with lintian (an error or a warning
# fails). With --install it then installs the package with apt-get and checks the installed
# program: its desktop entry and AppStream file validate; the installed-program tests (of the test
# build in build/default, built by scripts/test.sh) run against /usr: vallorin-reg from PATH, the
# panel from PATH on a fresh prefix with its toolkit, its help and a scan whose report the View
# page shows; an upgrade keeps a local change under /etc; a purge leaves nothing behind.
set -euo pipefail
cd "$(dirname "$0")/.."
install=false
case "${1:-}" in
    "") ;;
    --install) install=true ;;
    *)
        echo "usage: $0 [--install]" >&2
        exit 2 ;;
esac
scripts/deps.sh package
rm -rf build/package
cmake --preset package >/dev/null
cmake --build --preset package -j"$(nproc)"
cpack --preset package
deb="$(ls build/package/vallorin_*.deb)"
dpkg-deb --info "$deb"
dpkg-deb --contents "$deb"
lintian --fail-on error,warning "$deb"
$install || exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --reinstall "./$deb"
desktop-file-validate /usr/share/applications/com.tesmarine.Vallorin.desktop
desktop-file-validate /usr/share/applications/com.tesmarine.Vallorin.Scan.desktop
appstreamcli validate --no-net /usr/share/metainfo/com.tesmarine.Vallorin.metainfo.xml
# The engine's user units load as a user manager would load them, and are enabled for every user.
units=/usr/lib/systemd/user
runtime="$(mktemp -d)"
XDG_RUNTIME_DIR="$runtime" systemd-analyze verify --user "$units/vallorin-engine.socket" "$units/vallorin-engine.service"
rm -rf "$runtime"
test -L /etc/systemd/user/sockets.target.wants/vallorin-engine.socket
test -x build/default/bin/InstalledProgramTest || {
    echo "$0: build/default/bin/InstalledProgramTest is missing; run scripts/test.sh first" >&2
    exit 1
}
VALLORIN_INSTALLED=/usr ctest --preset default -R '^InstalledProgram\.'

# An upgrade (here: the same package again) keeps what the administrator changed under /etc.
autostart=/etc/xdg/autostart/vallorin-services.desktop
echo "# changed here" | $sudo tee -a "$autostart" >/dev/null
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --reinstall -o Dpkg::Options::=--force-confold "./$deb"
grep -q "^# changed here$" "$autostart" || { echo "$0: the upgrade lost the change to $autostart" >&2; exit 1; }
DEBIAN_FRONTEND=noninteractive $sudo apt-get purge -y vallorin
left="$(ls -d "$autostart" /usr/libexec/vallorin /usr/share/doc/vallorin \
    /etc/systemd/user/sockets.target.wants/vallorin-engine.socket 2>/dev/null || true)"
[ -z "$left" ] || { echo "$0: the purge left $left" >&2; exit 1; }
