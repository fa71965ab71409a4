#!/usr/bin/env bash
# The Windows Installer package of the release, run silently through the
# platform's own msiexec as software distribution runs it: it refuses an
# INSTALLDIR that holds someone else's files or whose parent it would make
# unlocked, installs the DLL and registers it exactly as regsvr32 does,
# through the Installer's own tables (the harvest that makes them leaves the
# registry as it was), asks for a locked installation folder owned by
# Administrators, repairs a deleted DLL, upgrades in place,
# and its uninstall, even with the DLL gone, takes everything back but what
# the Installer itself keeps and the browser's shared Toolbar key. A refused
# registration rolls a fresh install back and fails an upgrade.
# In the 64-bit prefix, as on 64-bit Windows, the package is the 64-bit one,
# with both DLLs, each registered in its own view; there the tools folder,
# the client and the refused key are the 64-bit ones, and the 32-bit build's
# tools folder and client are given too.
# Runs in a private copy of the test Wine prefix; prints the wall time of the
# silent install and uninstall.
# Usage: msi-tests.sh <dist folder> <tools folder> <ProgIdClient.exe> <RefusedToolbar.exe>
#                     [<32-bit tools folder> <32-bit ProgIdClient.exe>, in the 64-bit prefix]
set -euo pipefail
source "$(dirname "$0")/../registration/private-prefix.sh"
dist=$1
refused=$4
# The client of each installed DLL's bitness, the tools folder of each, the
# package's components (with their file, folder and locks) and the ending
# of its file name.
clients=("$3")
tools32=$2
tools64=""
components=("Band TandrelDll INSTALLDIR LockDll LockInstallFolder")
ending=""
if [ "$tandrel_arch" = x64 ]; then
  clients=("${6:?the 32-bit ProgIdClient.exe}" "$3")
  tools32=$5
  tools64=$2
  components+=("Band64 TandrelDll64 InstallDirX64 LockDll64 LockInstallFolder64")
  ending=-x64
fi

packages=()
for package in "$dist"/Tandrel-*.msi; do
  [[ "$(basename "$package")" =~ ^Tandrel-[0-9.]+$ending\.msi$ ]] && packages+=("$package")
done
[ ${#packages[@]} -eq 1 ] || fail "no single Tandrel-<version>$ending.msi in $dist: run scripts/package"
version=$(basename "${packages[0]}" | sed 's/^Tandrel-\([0-9.]*\).*\.msi$/\1/').0
cp "${packages[0]}" "$private/drive_c/Tandrel.msi"

folder="$program_files\\Tandrel"
unix_folder=$(unix_path "$folder")
# The installer's own records of products, components and cached packages.
bookkeeping='^[-+]\[HKEY_LOCAL_MACHINE\\Software\\(Classes\\Installer|Microsoft\\Windows\\CurrentVersion\\(Installer|Uninstall\\\{))'

start_session
# Each user's remembered interval, which nothing of the package may touch.
wine reg add 'HKCU\Software\Tandrel' /v Interval /t REG_DWORD /d 30 /f >/dev/null 2>&1
# The browser's Toolbar key of each view, which every toolbar shares, with
# another toolbar's value that the package must leave as it found it: there,
# whatever the project's prefix held before (the key that the demo's
# registration keeps, or none).
for key in "${installed_toolbars[@]}"; do
  wine reg add "$key" /v '{0F1E2D3C-4B5A-4978-8796-A5B4C3D2E1F0}' /t REG_SZ /d 0 /f >/dev/null 2>&1
done
export_registry before

# The next version's package: the same DLLs with the next build number in
# their version blocks, so that the installer's version rules replace the
# files. Its harvests run in this prefix, and must leave its registry as it
# was.
next_version=$(echo "$version" | awk -F. '{ printf "%d.%d.%d.%d", $1, $2, $3 + 1, $4 }')
mkdir -p "$work/next/x64"
for dll in "${installed_dlls[@]}"; do
  python3 "$private_prefix_here/../package/next-version.py" "$dist/$dll" "$work/next/$dll" "$next_version"
done
next_package=("$work/next/Tandrel.DLL" "$tools32" "$private/drive_c/Tandrel-next.msi")
[ -z "$tools64" ] || next_package+=("$work/next/x64/Tandrel.DLL" "$tools64")
"$private_prefix_here/../../installer/msi.sh" "$next_version" "${next_package[@]}" >/dev/null 2>&1 ||
  fail "cannot build the next version's package"
export_registry harvested
[ -z "$(changes before harvested)" ] || { changes before harvested; fail "the registration harvest changed the registry"; }
echo "ok: the registration harvest leaves the registry as it was"

# What the package asks of the Installer, which Wine's msiexec does not
# show: it applies no file permissions, and reads every folder back as open
# to everyone. The installation folder and the DLL, wherever INSTALLDIR
# points, get a protected descriptor: Administrators and SYSTEM all rights,
# Users read and execute, nothing inherited from the parent; the folder is
# owned by Administrators.
table() { msiinfo export "$private/drive_c/Tandrel.msi" "$1" | tail -n +4 | tr -d '\r' | sort; }
expected_locks=$(for component in "${components[@]}"; do
  read -r name file directory file_lock folder_lock <<<"$component"
  printf '%s\t%s\t%s\t%s\t\n' \
    "$file_lock" "$file" File 'D:PAI(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;BU)' \
    "$folder_lock" "$directory" CreateFolder 'O:BAD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)'
done | sort)
[ "$(table MsiLockPermissionsEx)" = "$expected_locks" ] || { table MsiLockPermissionsEx; fail "the folder's permissions"; }
expected_folders=$(for component in "${components[@]}"; do
  read -r name file directory file_lock folder_lock <<<"$component"
  printf '%s\t%s\n' "$directory" "$name"
done | sort)
[ "$(table CreateFolder)" = "$expected_folders" ] || { table CreateFolder; fail "no CreateFolder row that a folder's permissions name"; }
# No custom action runs a program or the DLL with the system's rights: the
# two read and set properties, before the install script is written.
[ "$(table CustomAction)" = "$(printf '%s\t1\tFolderAction\t%s\t\n' CheckInstallFolder CheckInstallFolder \
  SetInstallFolder SetInstallFolder)" ] || { table CustomAction; fail "custom actions besides the folder's check and property"; }
# Windows Installer removes a key once its last value is gone, unless a "+"
# row names it: each component keeps the browser's shared Toolbar key of its
# view, as unregistration does, whether or not it was there before. Wine's
# msiexec removes such a key all the same, which the other toolbar's value
# in it keeps from showing here.
kept_toolbars=$(table Registry |
  awk -F'\t' '$2 == 2 && $3 == "Software\\Microsoft\\Internet Explorer\\Toolbar" && $4 == "+" { print $6 }' | sort)
expected_kept=$(for component in "${components[@]}"; do echo "${component%% *}"; done | sort)
[ "$kept_toolbars" = "$expected_kept" ] || { table Registry; fail "the shared Toolbar key is not kept by every component"; }
echo "ok: the package locks its folder and DLL, keeps the shared Toolbar key, and has no custom action that runs a program"

# The files beside the users' folders and the installer's cache of packages.
files_now() {
  (cd "$private/drive_c" && find . \( -path ./users -o -path ./windows/Installer \) -prune -o -print |
    grep -Ev '\.(reg|msi|log)$' | sort)
}
# A folder of someone else's, which INSTALLDIR may not name.
mkdir "$private/drive_c/Notes"
echo "Notes of the folder's owner" >"$private/drive_c/Notes/README.txt"
files_before=$(files_now)
seconds_since() { awk -v now="$(date +%s.%N)" -v then="$1" 'BEGIN { printf "%.1f", now - then }'; }
msiexec() { wine msiexec "$@" /qn >/dev/null 2>&1; }

# A folder that holds what is not Tandrel's, and one whose parent the
# Installer would make with its own parent's permissions, fail the install
# before it writes anything, with the reason in the log. Exit codes reach
# here in their low 8 bits only: 1603 is 67.
for refusal in 'C:\Notes|already holds files that are not Tandrel' 'C:\Missing\Tandrel|C:\Missing does not exist'; do
  status=0
  msiexec /i 'C:\Tandrel.msi' "INSTALLDIR=${refusal%%|*}" /l*v 'C:\refused-folder.log' || status=$?
  [ "$status" -eq 67 ] || fail "${refusal%%|*}: msiexec returned $status, not 1603, for a folder it must refuse"
  grep -aF "${refusal#*|}" "$private/drive_c/refused-folder.log" >/dev/null ||
    fail "${refusal%%|*}: the log does not say why the folder is refused"
  [ "$(files_now)" = "$files_before" ] || { diff <(echo "$files_before") <(files_now); fail "${refusal%%|*}: a refused folder changed files"; }
done
export_registry refused-folders
left=$(changes before refused-folders | grep -Ev "$bookkeeping" || true)
[ -z "$left" ] || { echo "$left"; fail "refused folders left registry entries"; }
echo "ok: a folder of someone else's and a parent the Installer would make fail the install with 1603, writing nothing"

# The versions of the products that the export $1 adds to Add/Remove
# Programs, one a line.
products() {
  changes before "$1" | sed -n 's/^+\[[^]]*\\Uninstall\\{[^]\\]*}\] "DisplayVersion"="\(.*\)"$/\1/p'
}

# Checks the export $1 after an install of version $2 from the DLLs in the
# folder $3. The 64-bit package writes the values that both DLLs share from
# the 64-bit DLL's harvest, as if that DLL were registered first.
check_installed() {
  local name=$1 expected_version=$2 source=$3 dll
  for dll in "${installed_dlls[@]}"; do
    cmp "$source/$dll" "$unix_folder/$dll" || fail "$name: the installed $dll is not the packaged one"
  done
  [ "$(cd "$unix_folder" && find . -type f | sort)" = "$(printf './%s\n' "${installed_dlls[@]}" | sort)" ] ||
    fail "$name: installed files: $(cd "$unix_folder" && find . -type f)"
  local expected actual
  expected=$(installed_registration "$folder" "${installed_dlls[-1]}")
  actual=$(changes before "$name" | grep -Ev "$bookkeeping" || true)
  if [ "$actual" != "$expected" ]; then
    diff <(echo "$expected") <(echo "$actual") || true
    fail "$name: the registry differs from the DLL's own registration (- expected, + actual)"
  fi
  [ "$(products "$name")" = "$expected_version" ] || fail "$name: products: $(products "$name")"
  local i
  for i in "${!installed_dlls[@]}"; do
    creates "${clients[$i]}" "$(installed_path "$folder" "${installed_dlls[$i]}")"
  done
}

started=$(date +%s.%N)
msiexec /i 'C:\Tandrel.msi' /l*v 'C:\install.log' || fail "msiexec /i returned $?"
echo "time: silent install $(seconds_since "$started") s"
export_registry installed
check_installed installed "$version" "$dist"
echo "ok: installed and registered as regsvr32 registers it; the band is created from there"

# A repair is the Installer's own: it puts back what went missing, the file
# and the registration alike. Wine's msiexec has no /f with a product code,
# and takes /f with a package for an unknown product, so the repair is asked
# for with the properties that /famus sets.
for dll in "${installed_dlls[@]}"; do rm "$unix_folder/$dll"; done
for key in "${installed_toolbars[@]}"; do wine reg delete "$key" /v "$class" /f >/dev/null 2>&1; done
msiexec /i 'C:\Tandrel.msi' REINSTALL=ALL REINSTALLMODE=amus /l*v 'C:\repair.log' || fail "the repair returned $?"
export_registry repaired
check_installed repaired "$version" "$dist"
echo "ok: a repair puts deleted DLLs and deleted registry values back, registered as before"

msiexec /i 'C:\Tandrel-next.msi' /l*v 'C:\upgrade.log' || fail "the upgrade returned $?"
export_registry upgraded
check_installed upgraded "$next_version" "$work/next"
echo "ok: $next_version upgrades $version in place: one product, registered once, from the new file"

# A DLL deleted or quarantined before the uninstall does not block it.
for dll in "${installed_dlls[@]}"; do rm "$unix_folder/$dll"; done
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
left=$(changes uninstalled refused | grep -Ev "$bookkeeping" || true)
[ -z "$left" ] || { echo "$left"; fail "a refused install left registry entries"; }
[ -z "$(products refused)" ] || fail "a refused install left a product: $(products refused)"
[ "$(files_now)" = "$files_before" ] || { diff <(echo "$files_before") <(files_now); fail "a refused install left files"; }
echo "ok: a refused registration fails the install with $status and rolls it back"

# An upgrade whose registration is refused fails. Windows Installer then
# restores the earlier version, whose removal ran inside the failed
# transaction; Wine's msiexec cannot show that: its rollback takes away what
# the failed install wrote and restores nothing (see docs/wine-test-bed.md).
msiexec /i 'C:\Tandrel.msi' || fail "msiexec /i returned $?"
status=0
wine "$refused" msiexec /i 'C:\Tandrel-next.msi' /qn /l*v 'C:\refused-upgrade.log' | tr -d '\r' || status=$?
[ "$status" -ne 0 ] && [ "$status" -ne 255 ] || fail "the upgrade returned $status although registration was refused"
echo "ok: an upgrade whose registration is refused fails with $status"
