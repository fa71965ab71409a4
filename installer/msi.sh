#!/usr/bin/env bash
# Builds the Windows Installer package of Tandrel from installer/Tandrel.wxs
# with wixl. Each version has a product code of its own, derived from the
# upgrade code and the version, so that a rebuild of one version is the same
# product and a later version upgrades it; the manufacturer is the one of the
# DLL's version block.
# Usage: msi.sh <version a.b.c.d> <Tandrel.DLL> <output .msi>
set -euo pipefail
version=$1
dll=$2
output=$3
here=$(cd "$(dirname "$0")" && pwd)
wxs="$here/Tandrel.wxs"

upgrade_code=$(sed -n 's/.*UpgradeCode="\([^"]*\)".*/\1/p' "$wxs")
product_code=$(python3 -c 'import sys, uuid; print(str(uuid.uuid5(uuid.UUID(sys.argv[1]), sys.argv[2])).upper())' \
  "$upgrade_code" "$version")
manufacturer=$(sed -n 's/^ *VALUE "CompanyName", "\(.*\)\\0" *$/\1/p' "$here/../resources/Version.rc")
[ -n "$upgrade_code" ] && [ -n "$manufacturer" ] || { echo "msi.sh: no upgrade code or manufacturer" >&2; exit 1; }

# wixl finds the files to package relative to the working folder only.
output=$(realpath "$output")
cd "$(dirname "$dll")"
wixl -a x86 -D "Version=$version" -D "ProductCode=$product_code" -D "Manufacturer=$manufacturer" \
  -D "Dll=$(basename "$dll")" -o "$output" "$wxs"
# What wixl cannot write is set here.
# The DLL is a versioned file (its version block carries the product's
# version), so that the installer's version rules decide whether an upgrade
# replaces it; a versioned file has no hash.
msibuild "$output" -q "UPDATE File SET Version = '$version' WHERE File = 'TandrelDll'"
msibuild "$output" -q "DELETE FROM MsiFileHash WHERE File_ = 'TandrelDll'"
# wixl writes no rollback actions: its Execute attribute knows "deferred"
# only. The one that takes back a failed registration gets its type here:
# an executable named by a property (50), whose exit code is ignored (64),
# in the script (1024) as its rollback (256), run as the system (2048).
msibuild "$output" -q "UPDATE CustomAction SET Type = 3442 WHERE Action = 'UnregisterFailedBand'"
