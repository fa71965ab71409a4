#!/usr/bin/env bash
# The Windows Installer package of the release, run silently through the
# platform's own msiexec as software distribution runs it: it installs the DLL
# and registers it exactly as regsvr32 does, a later version upgrades it in
# place, its uninstall takes everything
# back but the keys registration keeps by design, and a refused registration
# rolls the install back.
# Runs in a private copy of the test Wine prefix; prints the wall time of the
# silent install and uninstall.
# Usage: msi-tests.sh <dist folder> <ProgIdClient.exe> <RefusedToolbar.exe>
set -euo pipefail
source "$(dirname "$0")/../registration/private-prefix.sh"
dist=$1
client=$2
refused=$3

packages=("$dist"/Tandrel-*.msi)
[ ${#packages[@]} -eq 1 ] && [ -f "${packages[0]}" ] || fail "no single .msi in $dist: run scripts/package"
version=$(basename "${packages[0]}" | sed 's/^Tandrel-\(.*\)\.msi$/\1/').0
cp "${packages[0]}" "$private/drive_c/Tandrel.msi"

# The next version's package: the same DLL with the next build number in its
# version block, so that the installer's version rules replace the file.
next_version=$(echo "$version" | awk -F. '{ printf "%d.%d.%d.%d", $1, $2, $3 + 1, $4 }')
mkdir "$work/next"
python3 - "$dist/Tandrel.DLL" "$work/next/Tandrel.DLL" "$next_version" <<'PY'
import struct, sys
data = bytearray(open(sys.argv[1], 'rb').read())
at = data.index(struct.pack('<I', 0xFEEF04BD))
major, minor, build, revision = map(int, sys.argv[3].split('.'))
# dwFileVersionMS, dwFileVersionLS, dwProductVersionMS, dwProductVersionLS
struct.pack_into('<4I', data, at + 8, major << 16 | minor, build << 16 | revision,
                 major << 16 | minor, build << 16 | revision)
open(sys.argv[2], 'wb').write(data)
PY
"$private_prefix_here/../../installer/msi.sh" "$next_version" "$work/next/Tandrel.DLL" \
  "$private/drive_c/Tandrel-next.msi" || fail "cannot build the next version's package"

folder='C:\Program Files\Tandrel'
unix_folder="$private/drive_c/Program Files/Tandrel"
# The installer's own records of products, components and cached packages.
bookkeeping='^[-+]\[HKEY_LOCAL_MACHINE\\Software\\(Classes\\Installer|Microsoft\\Windows\\CurrentVersion\\(Installer|Uninstall\\\{))'

start_session
# Each user's remembered interval, which nothing of the package may touch.
wine reg add 'HKCU\Software\Tandrel' /v Interval /t REG_DWORD /d 30 /f >/dev/null 2>&1
export_registry before
toolbar_left=$(toolbar_left before)
# The files beside the users' folders and the installer's cache of packages.
files_now() {
  (cd "$private/drive_c" && find . \( -path ./users -o -path ./windows/Installer \) -prune -o -print |
    grep -Ev '\.(reg|msi|log)$' | sort)
}
files_before=$(files_now)
seconds_since() { awk -v now="$(date +%s.%N)" -v then="$1" 'BEGIN { printf "%.1f", now - then }'; }
msiexec() { wine msiexec "$@" /qn >/dev/null 2>&1; }

# The versions of the products that the export $1 adds to Add/Remove
# Programs, one a line.
products() {
  changes before "$1" | sed -n 's/^+\[[^]]*\\Uninstall\\{[^]\\]*}\] "DisplayVersion"="\(.*\)"$/\1/p'
}

# Checks the export $1 after an install of version $2 from the file $3.
check_installed() {
  local name=$1 expected_version=$2 file=$3
  cmp "$file" "$unix_folder/Tandrel.DLL" || fail "$name: the installed DLL is not the packaged one"
  [ "$(ls "$unix_folder")" = Tandrel.DLL ] || fail "$name: installed files: $(ls "$unix_folder")"
  local expected actual
  expected=$( { expected_registration "$folder\\Tandrel.DLL"; echo "$toolbar_left"; } | grep -v '^$' | sort)
  actual=$(changes before "$name" | grep -Ev "$bookkeeping" || true)
  if [ "$actual" != "$expected" ]; then
    diff <(echo "$expected") <(echo "$actual") || true
    fail "$name: the registry differs from the DLL's own registration (- expected, + actual)"
  fi
  [ "$(products "$name")" = "$expected_version" ] || fail "$name: products: $(products "$name")"
  wine "$client" | tr -d '\r' || fail "$name: the band was not created from the installed DLL"
}

started=$(date +%s.%N)
msiexec /i 'C:\Tandrel.msi' /l*v 'C:\install.log' || fail "msiexec /i returned $?"
echo "time: silent install $(seconds_since "$started") s"
export_registry installed
check_installed installed "$version" "$dist/Tandrel.DLL"
echo "ok: installed and registered as regsvr32 registers it; the band is created from there"

msiexec /i 'C:\Tandrel-next.msi' /l*v 'C:\upgrade.log' || fail "the upgrade returned $?"
export_registry upgraded
check_installed upgraded "$next_version" "$work/next/Tandrel.DLL"
echo "ok: $next_version upgrades $version in place: one product, registered once, from the new file"

started=$(date +%s.%N)
msiexec /x 'C:\Tandrel-next.msi' /l*v 'C:\uninstall.log' || fail "msiexec /x returned $?"
echo "time: silent uninstall $(seconds_since "$started") s"
export_registry uninstalled
left=$(changes before uninstalled | grep -Ev "$bookkeeping" || true)
[ "$left" = "$toolbar_left" ] || { echo "$left"; fail "the uninstall left more than the NoRemove Toolbar key"; }
[ -z "$(products uninstalled)" ] || fail "products left: $(products uninstalled)"
[ "$(files_now)" = "$files_before" ] || { diff <(echo "$files_before") <(files_now); fail "the uninstall left files"; }
echo "ok: uninstalled; only the NoRemove Toolbar key and the user's interval are left"

status=0
wine "$refused" msiexec /i 'C:\Tandrel.msi' /qn /l*v 'C:\refused.log' | tr -d '\r' || status=$?
# Exit codes reach here in their low 8 bits only.
[ "$status" -ne 0 ] && [ "$status" -ne 255 ] || fail "msiexec returned $status although registration was refused"
export_registry refused
left=$(changes uninstalled refused | grep -Ev "$bookkeeping" || true)
[ -z "$left" ] || { echo "$left"; fail "a refused install left registry entries"; }
[ -z "$(products refused)" ] || fail "a refused install left a product: $(products refused)"
[ "$(files_now)" = "$files_before" ] || { diff <(echo "$files_before") <(files_now); fail "a refused install left files"; }
echo "ok: a refused registration fails the install with $status and rolls it back"
