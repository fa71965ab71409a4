#!/usr/bin/env bash
# Builds the Windows Installer package of Tandrel from installer/Tandrel.wxs
# with wixl. Each version has a product code of its own, derived from the
# upgrade code and the version, so that a rebuild of one version is the same
# product and a later version upgrades it; the manufacturer is the one of the
# DLL's version block. The band's registry entries are those that the DLL's
# own DllRegisterServer writes, taken by RegistrationHarvest under Wine (in
# the prefix that WINEPREFIX names, whose registry it leaves as it was).
# Usage: msi.sh <version a.b.c.d> <Tandrel.DLL> <tools folder> <output .msi>
# The tools folder is a build's bin/, with RegistrationHarvest.exe and
# InstallFolderAction.dll.
set -euo pipefail
version=$1
dll=$(realpath "$2")
tools=$(realpath "$3")
output=$(realpath "$4")
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../scripts/wine-env"
wxs="$here/Tandrel.wxs"

upgrade_code=$(sed -n 's/.*UpgradeCode="\([^"]*\)".*/\1/p' "$wxs")
product_code=$(python3 -c 'import sys, uuid; print(str(uuid.uuid5(uuid.UUID(sys.argv[1]), sys.argv[2])).upper())' \
  "$upgrade_code" "$version")
manufacturer=$(sed -n 's/^ *VALUE "CompanyName", "\(.*\)\\0" *$/\1/p' "$here/../resources/Version.rc")
[ -n "$upgrade_code" ] && [ -n "$manufacturer" ] || { echo "msi.sh: no upgrade code or manufacturer" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
wine "$tools/RegistrationHarvest.exe" "$(winepath -w "$dll")" '[#TandrelDll]' '[INSTALLFOLDER]' \
  "$(winepath -w "$work/Registration.wxi")" || { echo "msi.sh: the registration harvest failed" >&2; exit 1; }
i686-w64-mingw32-strip -o "$work/InstallFolderAction.dll" "$tools/InstallFolderAction.dll"
# The custom action ships inside the package: signed like every file shipped.
[ -z "${TANDREL_SIGN_PFX:-}" ] || "$here/sign" "$work/InstallFolderAction.dll"

# wixl finds the files to package relative to the working folder only.
cd "$work"
cp "$dll" "$work/Tandrel.DLL"
wixl -a x86 -D "Version=$version" -D "ProductCode=$product_code" -D "Manufacturer=$manufacturer" \
  -D Dll=Tandrel.DLL -D FolderAction=InstallFolderAction.dll -D "Registration=$work/Registration.wxi" \
  -o "$output" "$wxs"
# What wixl cannot write is set here.
# The DLL is a versioned file (its version block carries the product's
# version), so that the installer's version rules decide whether an upgrade
# replaces it; a versioned file has no hash.
msibuild "$output" -q "UPDATE File SET Version = '$version' WHERE File = 'TandrelDll'"
msibuild "$output" -q "DELETE FROM MsiFileHash WHERE File_ = 'TandrelDll'"
# The folder and the DLL are written by Administrators and SYSTEM only,
# wherever INSTALLDIR points: a protected descriptor, so that nothing is
# inherited from the parent (a folder made under a drive root would give
# Authenticated Users the right to modify); Users may read and execute. SIDs
# by their SDDL aliases, the same in every language of Windows.
msibuild "$output" -q "CREATE TABLE \`MsiLockPermissionsEx\` (\`MsiLockPermissionsEx\` CHAR(72) NOT NULL, \
\`LockObject\` CHAR(72) NOT NULL, \`Table\` CHAR(32) NOT NULL, \`SDDLText\` LONGCHAR NOT NULL, \
\`Condition\` CHAR(255) PRIMARY KEY \`MsiLockPermissionsEx\`)"
msibuild "$output" -q "INSERT INTO \`MsiLockPermissionsEx\` (\`MsiLockPermissionsEx\`, \`LockObject\`, \`Table\`, \`SDDLText\`) \
VALUES ('LockInstallFolder', 'INSTALLDIR', 'CreateFolder', 'D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)')"
msibuild "$output" -q "INSERT INTO \`MsiLockPermissionsEx\` (\`MsiLockPermissionsEx\`, \`LockObject\`, \`Table\`, \`SDDLText\`) \
VALUES ('LockDll', 'TandrelDll', 'File', 'D:PAI(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;BU)')"
