#!/usr/bin/env bash
# Creates or refreshes a demo prefix for Vallorin: the toolkit installed (its InstallPath
# in the machine-wide branch), a sample drive T: holding the EICAR test file, a floppy image on
# drive A: whose boot sector carries the toolkit's test signature (for the boot-sector cleaner),
# one scan definition and one check definition of drive T:.
#
#   scripts/make-demo-prefix.sh PREFIX
#
# Re-running it keeps what the user changed: the definitions are created only when they are
# missing. The toolkit path and the sample drive are put back as built, since a scan with repair
# or a changed file is exactly what the demo is for.
# VALLORIN_BIN (default build/default/bin) names the folder of vallorin-reg; the toolkit lies where
# the install puts it beside that folder (the build tree has the install's layout).
set -euo pipefail
if [ $# -ne 1 ]; then
    echo "usage: $0 PREFIX" >&2
    exit 2
fi
root="$(cd "$(dirname "$0")/.." && pwd)"
bin="${VALLORIN_BIN:-$root/build/default/bin}"
toolkit="$(cd "$bin/.." && pwd)/libexec/vallorin/toolkit"
reg="$bin/vallorin-reg"
for needed in "$reg" "$bin/vallorin-sample-tree" "$toolkit/WFindV32.exe"; do
    if [ ! -x "$needed" ]; then
        echo "$0: $needed is missing; build first (cmake --build build/default)" >&2
        exit 1
    fi
done
mkdir -p -m 0700 "$1"
prefix="$(cd "$1" && pwd)"
export VALLORIN_PREFIX="$prefix"

program='HKCU\Software\Tesmarine\Vallorin'
exists() { "$reg" query "$1" >/dev/null 2>&1; }

# The toolkit, and the start-up key in which the guard registers its front end.
"$reg" add "HKLM\\SOFTWARE\\Dr Solomon's Software\\Anti-Virus" /v InstallPath /d "$toolkit/" /f >/dev/null
runservices='HKLM\Software\Microsoft\Windows\CurrentVersion\RunServices'
exists "$runservices" || "$reg" add "$runservices" /f >/dev/null

# The sample drive T: and the infected floppy on A:, rebuilt from scratch.
rm -rf "$prefix/sample"
rm -f "$prefix/floppy-a.img"
"$bin/vallorin-sample-tree" "$prefix/sample" "$prefix/floppy-a.img"
ln -sfn ../sample "$prefix/dosdevices/t:"
ln -sfn ../floppy-a.img "$prefix/dosdevices/a:"

definitions="$(mktemp)"
trap 'rm -f "$definitions"' EXIT
echo REGEDIT4 >"$definitions"
if ! exists "$program\\Find\\Sample drive"; then
    cat >>"$definitions" <<'REG'

[HKEY_CURRENT_USER\Software\Tesmarine\Vallorin\Find]
"Selected"="Sample drive"

[HKEY_CURRENT_USER\Software\Tesmarine\Vallorin\Find\Sample drive]
"Drives"="t"
"Exe"="1"
"Data"="0"
"Archives"="1"
"Compressed"="0"
"Boot"="1"
"Partition"="1"
"MemCheck"="1"
"Floppies"="0"
"Beep"="1"
"ExtErr"="0"
"PrgH"="0"
"MacH"="0"
"Exit"="0"
"PreventExit"="0"
"CheckList"="(None)"
"Extra Drv"="(None)"
"Detail"="1"
"Report"="1"
"+Report"="0"
"Print"="0"
"LastScan"="0"
REG
fi
if ! exists "$program\\Verify\\Sample drive"; then
    cat >>"$definitions" <<'REG'

[HKEY_CURRENT_USER\Software\Tesmarine\Vallorin\Verify]
"Selected"="Sample drive"

[HKEY_CURRENT_USER\Software\Tesmarine\Vallorin\Verify\Sample drive]
"Drives"="t"
"Boot"="1"
"Partition"="1"
"PreventExit"="0"
"Keyword"="1"
"Key"="Vallorin demo"
"Algorithm"="CCITT CRC"
"Turbo"="1"
"Bytes"="5"
"Beep"="1"
"Detail"="0"
"Print"="0"
"Report"="1"
"CheckDate"="0"
REG
fi
if [ "$(wc -l <"$definitions")" -gt 1 ]; then
    "$reg" import "$definitions" >/dev/null
fi
echo "Demo prefix ready: $prefix (toolkit $toolkit, drive T: = $prefix/sample)"
