#!/usr/bin/env bash
# The Windows Installer package of the release, run silently through the
# platform's own msiexec as software distribution runs it: it installs the DLL
# and registers it exactly as regsvr32 does, through the Installer's own
# tables (the harvest that makes them leaves the registry as it was), asks
# for a locked installation folder, repairs a deleted DLL, upgrades in place,
# and its uninstall, even with the DLL gone, takes everything back but what
# the Installer itself keeps. A refused registration rolls a fresh install
# back and fails an upgrade.
# Runs in a private copy of the test Wine prefix; prints the wall time of the
# silent install and uninstall.
# Usage: msi-tests.sh <dist folder> <tools folder> <ProgIdClient.exe> <RefusedToolbar.exe>
set -euo pipefail
source "$(dirname "$0")/../registration/private-prefix.sh"
dist=$1
tools=$2
client=$3
refused=$4

packages=("$dist"/Tandrel-*.msi)
[ ${#packages[@]} -eq 1 ] && [ -f "${packages[0]}" ] || fail "no single .msi in $dist: run scripts/package"
version=$(basename "${packages[0]}" | sed 's/^Tandrel-\(.*\)\.msi$/\1/').0
cp "${packages[0]}" "$private/drive_c/Tandrel.msi"

folder='C:\Program Files\Tandrel'
unix_folder="$private/drive_c/Program Files/Tandrel"
# The installer's own records of products, components and cached packages.
bookkeeping='^[-+]\[HKEY_LOCAL_MACHINE\\Software\\(Classes\\Installer|Microsoft\\Windows\\CurrentVersion\\(Installer|Uninstall\\\{))'

start_session
# Each user's remembered interval, which nothing of the package may touch.
wine reg add 'HKCU\Software\Tandrel' /v Interval /t REG_DWORD /d 30 /f >/dev/null 2>&1
export_registry before
toolbar_left=$(toolbar_left before)

# The next version's package: the same DLL with the next build number in its
# version block, so that the installer's version rules replace the file. Its
# harvest runs in this prefix, and must leave its registry as it was.
next_version=$(echo "$version" | awk -F. '{ printf "%d.%d.%d.%d", $1, $2, $3 + 1, $4 }')
mkdir "$work/next"
python3 "$private_prefix_here/../package/next-version.py" "$dist/Tandrel.DLL" "$work/next/Tandrel.DLL" "$next_version"
"$private_prefix_here/../../installer/msi.sh" "$next_version" "$work/next/Tandrel.DLL" "$tools" \
  "$private/drive_c/Tandrel-next.msi" >/dev/null 2>&1 || fail "cannot build the next version's package"
export_registry harvested
[ -z "$(changes before harvested)" ] || { changes before harvested; fail "the registration harvest changed the registry"; }
echo "ok: the registration harvest leaves the registry as it was"

# What the package asks of the Installer, which Wine's msiexec does not
# show: it applies no file permissions, and reads every folder back as open
# to everyone. The installation folder and the DLL, wherever INSTALLDIR
# points, get a protected descriptor: Administrators and SYSTEM all rights,
# Users read and execute, nothing inherited from the parent.
table() { msiinfo export "$private/drive_c/Tandrel.msi" "$1" | tail -n +4 | tr -d '\r' | sort; }
expected_locks=$(printf '%s\t%s\t%s\t%s\t\n' \
  LockDll TandrelDll File 'D:PAI(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;BU)' \
  LockInstallFolder INSTALLDIR CreateFolder 'D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)' | sort)
[ "$(table MsiLockPermissionsEx)" = "$expected_locks" ] || { table MsiLockPermissionsEx; fail "the folder's permissions"; }
[ "$(table CreateFolder)" = "$(printf 'INSTALLDIR\tBand')" ] || fail "no CreateFolder row that the folder's permissions name"
# No custom action runs a program or the DLL with the system's rights: the
# only one sets a property, before the install script is written.
[ "$(table CustomAction)" = "$(printf 'SetInstallFolder\t1\tFolderAction\tSetInstallFolder\t')" ] ||
  { table CustomAction; fail "custom actions besides the folder property"; }
echo "ok: the package locks its folder and DLL, and has no custom action that runs a program"

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

# A repair is the Installer's own: it puts back what went missing, the file
# and the registration alike. Wine's msiexec has no /f with a product code,
# and takes /f with a package for an unknown product, so the repair is asked
# for with the properties that /famus sets.
rm "$unix_folder/Tandrel.DLL"
wine reg delete 'HKLM\Software\Microsoft\Internet Explorer\Toolbar' /v "$class" /f >/dev/null 2>&1
msiexec /i 'C:\Tandrel.msi' REINSTALL=ALL REINSTALLMODE=amus /l*v 'C:\repair.log' || fail "the repair returned $?"
export_registry repaired
check_installed repaired "$version" "$dist/Tandrel.DLL"
echo "ok: a repair puts a deleted DLL and a deleted registry value back, registered as before"

msiexec /i 'C:\Tandrel-next.msi' /l*v 'C:\upgrade.log' || fail "the upgrade returned $?"
export_registry upgraded
check_installed upgraded "$next_version" "$work/next/Tandrel.DLL"
echo "ok: $next_version upgrades $version in place: one product, registered once, from the new file"

# A DLL deleted or quarantined before the uninstall does not block it.
rm "$unix_folder/Tandrel.DLL"
started=$(date +%s.%N)
msiexec /x 'C:\Tandrel-next.msi' /l*v 'C:\uninstall.log' || fail "msiexec /x returned $?"
echo "time: silent uninstall $(seconds_since "$started") s"
export_registry uninstalled
left=$(changes before uninstalled | grep -Ev "$bookkeeping" || true)
[ -z "$left" ] || { echo "$left"; fail "the uninstall left registry entries"; }
[ -z "$(products uninstalled)" ] || fail "products left: $(products uninstalled)"
[ "$(files_now)" = "$files_before" ] || { diff <(echo "$files_before") <(files_now); fail "the uninstall left files"; }
echo "ok: uninstalled with the DLL already gone; no band entries are left"

status=0
wine "$refused" msiexec /i 'C:\Tandrel.msi' /qn /l*v 'C:\refused.log' | tr -d '\r' || status=$?
# Exit codes reach here in their low 8 bits only.
[ "$status" -ne 0 ] && [ "$status" -ne 255 ] || fail "msiexec returned $status although registration was refused"
export_registry refused
# The Toolbar key is the one that RefusedToolbar makes to refuse values in.
left=$(changes uninstalled refused | grep -Ev "$bookkeeping" || true)
[ "$left" = "$toolbar_left" ] || { echo "$left"; fail "a refused install left registry entries"; }
[ -z "$(products refused)" ] || fail "a refused install left a product: $(products refused)"
[ "$(files_now)" = "$files_before" ] || { diff <(echo "$files_before") <(files_now); fail "a refused install left files"; }
echo "ok: a refused registration fails the install with $status and rolls it back"

# An upgrade whose registration is refused fails. Windows Installer then
# restores the earlier version, whose removal ran inside the failed
# transaction; Wine's msiexec cannot show that: its rollback takes away what
# the failed install wrote and restores nothing (see README).
msiexec /i 'C:\Tandrel.msi' || fail "msiexec /i returned $?"
status=0
wine "$refused" msiexec /i 'C:\Tandrel-next.msi' /qn /l*v 'C:\refused-upgrade.log' | tr -d '\r' || status=$?
[ "$status" -ne 0 ] && [ "$status" -ne 255 ] || fail "the upgrade returned $status although registration was refused"
echo "ok: an upgrade whose registration is refused fails with $status"
