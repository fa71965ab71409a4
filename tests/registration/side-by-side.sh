#!/usr/bin/env bash
# The 32-bit and the 64-bit Tandrel.DLL side by side in a 64-bit prefix, as
# on 64-bit Windows: each registered by the regsvr32 of its own bitness
# (system32's and syswow64's), each created through the registry by a client
# of its own bitness, and each unregistered, in both orders, while the other
# stays registered: the other's entries stay exactly as they were and its
# client still creates the band. Runs in a private copy of the 64-bit test
# prefix.
# Usage: side-by-side.sh <64-bit Tandrel.DLL> <64-bit ProgIdClient.exe>
#                        <32-bit Tandrel.DLL> <32-bit ProgIdClient.exe>
set -euo pipefail
source "$(dirname "$0")/private-prefix.sh"
[ "$tandrel_arch" = x64 ] || fail "the side-by-side cases run in the 64-bit prefix (TANDREL_ARCH=x64)"
for file in "$@"; do
  [ -f "$file" ] || fail "$file is missing: the 32-bit tree is built first (scripts/test builds both)"
done
client64=$2
client32=$4

# Where the administrator's guide and the installers put each DLL on 64-bit Windows.
module64='C:\Program Files (x86)\Tandrel\x64\Tandrel.DLL'
module32='C:\Program Files (x86)\Tandrel\Tandrel.DLL'
mkdir -p "$private/drive_c/Program Files (x86)/Tandrel/x64"
cp "$1" "$private/drive_c/Program Files (x86)/Tandrel/x64/Tandrel.DLL"
cp "$3" "$private/drive_c/Program Files (x86)/Tandrel/Tandrel.DLL"
regsvr64='C:\windows\system32\regsvr32.exe'
regsvr32='C:\windows\syswow64\regsvr32.exe'

run_regsvr32() { wine "$@" || fail "$* returned $?"; }

# The client ($1) finds the class no longer registered in its own view.
refused() {
  local found
  found=$(wine "$1" | tr -d '\r') && fail "the client still created the band: $found"
  [ "$found" = "FAIL: CoCreateInstance: 0x80040154" ] || fail "the client failed otherwise: $found"
}

# The export named $2 equals the one named $1 but for the Toolbar key of the
# view that $3 names, which unregistration keeps.
unchanged_but_toolbar() {
  local left
  left=$(changes "$1" "$2")
  [ "$left" = "$(toolbar_left "$1" "$3")" ] || { echo "$left"; fail "$4"; }
}

start_session
export_registry before

run_regsvr32 "$regsvr32" /s "$module32"
export_registry x86
run_regsvr32 "$regsvr64" /s "$module64"
creates "$client64" "$module64"
creates "$client32" "$module32"
echo "ok: each regsvr32 registered its own DLL; each client was served by the DLL of its bitness"

run_regsvr32 "$regsvr64" /s /u "$module64"
export_registry x86_left
unchanged_but_toolbar x86 x86_left "$toolbar" "unregistering the 64-bit DLL changed the 32-bit DLL's entries"
creates "$client32" "$module32"
refused "$client64"
echo "ok: unregistering the 64-bit DLL left the 32-bit one's entries exactly, and it creatable"

run_regsvr32 "$regsvr32" /s /u "$module32"
run_regsvr32 "$regsvr64" /s "$module64"
export_registry x64
run_regsvr32 "$regsvr32" /s "$module32"
run_regsvr32 "$regsvr32" /s /u "$module32"
export_registry x64_left
unchanged_but_toolbar x64 x64_left "$toolbar32" "unregistering the 32-bit DLL changed the 64-bit DLL's entries"
creates "$client64" "$module64"
refused "$client32"
echo "ok: unregistering the 32-bit DLL left the 64-bit one's entries exactly, and it creatable"

run_regsvr32 "$regsvr64" /s /u "$module64"
export_registry after
left=$(changes before after)
expected=$(installed_toolbars_left before)
[ "$left" = "$expected" ] || { echo "$left"; fail "unregistering both left more than the NoRemove Toolbar keys"; }
echo "ok: unregistering both left only the NoRemove Toolbar keys of both views"
