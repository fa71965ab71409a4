#!/usr/bin/env bash
# Builds the Windows Installer package of Tandrel from installer/Tandrel.wxs
# with wixl. Each version has a product code of its own, derived from the
# upgrade code, the version and the package's architecture, so that a
# rebuild of one version is the same product and a later version upgrades
# it; the manufacturer is the one of the DLL's version block. The band's
# registry entries are those that the DLL's own DllRegisterServer writes,
# taken by RegistrationHarvest under Wine, in the project's prefix of the
# package's architecture (scripts/wine-env; a WINEPREFIX that is set must be
# of that architecture), whose registry it leaves as it was.
# Usage: msi.sh <version a.b.c.d> <Tandrel.DLL> <tools folder> <output .msi>
#               [<x64 Tandrel.DLL> <x64 tools folder>]
# A tools folder is a build's bin/, with RegistrationHarvest.exe (and, for
# the 32-bit build, InstallFolderAction.dll). With the x64 DLL the package is
# the 64-bit one, with both DLLs, and both harvests run in the 64-bit prefix,
# each DLL in a harvest of its own bitness, as on 64-bit Windows.
set -euo pipefail
version=$1
dll=$(realpath "$2")
tools=$(realpath "$3")
output=$(realpath "$4")
dll64=${5:+$(realpath "$5")}
tools64=${6:+$(realpath "$6")}
here=$(cd "$(dirname "$0")" && pwd)
wxs="$here/Tandrel.wxs"

arch=x86
[ -z "$dll64" ] || arch=x64
TANDREL_ARCH=$arch source "$here/../scripts/wine-env"
upgrade_code=$(sed -n 's/.*UpgradeCode="\([^"]*\)".*/\1/p' "$wxs")
product_code=$(python3 -c 'import sys, uuid; print(str(uuid.uuid5(uuid.UUID(sys.argv[1]), sys.argv[2])).upper())' \
  "$upgrade_code" "$version${dll64:+ x64}")
manufacturer=$(sed -n 's/^ *VALUE "CompanyName", "\(.*\)\\0" *$/\1/p' "$here/../resources/Version.rc")
[ -n "$upgrade_code" ] && [ -n "$manufacturer" ] || { echo "msi.sh: no upgrade code or manufacturer" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Writes the registry elements of the DLL $1, which the package names $2 and
# whose folder it names $3, into $4.
harvest() {
  wine "$5/RegistrationHarvest.exe" "$(winepath -w "$1")" "[#$2]" "[$3]" "$(winepath -w "$4")" ||
    { echo "msi.sh: the registration harvest of $1 failed" >&2; exit 1; }
}
harvest "$dll" TandrelDll INSTALLFOLDER "$work/Registration.wxi" "$tools"
i686-w64-mingw32-strip -o "$work/InstallFolderAction.dll" "$tools/InstallFolderAction.dll"
# The custom action ships inside the package: signed like every file shipped.
[ -z "${TANDREL_SIGN_PFX:-}" ] || "$here/sign" "$work/InstallFolderAction.dll"
cp "$dll" "$work/Tandrel.DLL"
registration="$work/Registration.wxi"
defines=()
if [ -n "$dll64" ]; then
  mkdir "$work/x64"
  cp "$dll64" "$work/x64/Tandrel.DLL"
  harvest "$dll64" TandrelDll64 INSTALLFOLDER64 "$work/Registration64.wxi" "$tools64"
  # Of HKCR, only CLSID and Interface have a key of their own in each view;
  # the ProgIDs and the type library's version key are one for both. Those
  # values are written once, by the 64-bit component: two components writing
  # one value would leave whichever the Installer wrote last.
  awk 'function id(line) { return match(line, / Type="/) ? substr(line, 1, RSTART) : line }
       NR == FNR { written64[id($0)] = 1; next }
       !(/ Root="HKCR" / && !/ Key="(CLSID|Interface)\\/ && id($0) in written64)' \
    "$work/Registration64.wxi" "$registration" >"$work/Registration32.wxi"
  registration="$work/Registration32.wxi"
  defines=(-D Dll64=x64/Tandrel.DLL -D "Registration64=$work/Registration64.wxi")
fi
defines+=(-D "Version=$version" -D "ProductCode=$product_code" -D "Manufacturer=$manufacturer"
  -D Dll=Tandrel.DLL -D FolderAction=InstallFolderAction.dll -D "Registration=$registration")

# wixl finds the files to package relative to the working folder only.
cd "$work"
wixl -a "$arch" "${defines[@]}" -o "$output" "$wxs"
# What wixl cannot write is set here.
# The DLLs are versioned files (their version blocks carry the product's
# version), so that the installer's version rules decide whether an upgrade
# replaces them; a versioned file has no hash.
msibuild "$output" -q "UPDATE File SET Version = '$version'"
msibuild "$output" -q "DELETE FROM MsiFileHash"
# The folders and the DLLs are written by Administrators and SYSTEM only,
# wherever INSTALLDIR points: a protected descriptor, so that nothing is
# inherited from the parent (a folder made under a drive root would give
# Authenticated Users the right to modify); Users may read and execute. The
# folders are owned by Administrators, as an owner keeps the right to change
# the permissions. SIDs by their SDDL aliases, the same in every language of
# Windows.
msibuild "$output" -q "CREATE TABLE \`MsiLockPermissionsEx\` (\`MsiLockPermissionsEx\` CHAR(72) NOT NULL, \
\`LockObject\` CHAR(72) NOT NULL, \`Table\` CHAR(32) NOT NULL, \`SDDLText\` LONGCHAR NOT NULL, \
\`Condition\` CHAR(255) PRIMARY KEY \`MsiLockPermissionsEx\`)"
lock() {
  msibuild "$output" -q "INSERT INTO \`MsiLockPermissionsEx\` (\`MsiLockPermissionsEx\`, \`LockObject\`, \`Table\`, \`SDDLText\`) \
VALUES ('$1', '$2', '$3', '$4')"
}
folder_sddl='O:BAD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)'
file_sddl='D:PAI(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;BU)'
lock LockInstallFolder INSTALLDIR CreateFolder "$folder_sddl"
lock LockDll TandrelDll File "$file_sddl"
if [ -n "$dll64" ]; then
  lock LockInstallFolder64 InstallDirX64 CreateFolder "$folder_sddl"
  lock LockDll64 TandrelDll64 File "$file_sddl"
fi
