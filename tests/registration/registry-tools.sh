#!/usr/bin/env bash
# Registers Tandrel.DLL with the platform's own regsvr32 and checks the whole
# registry, exported with regedit before and after, for exactly the expected
# changes; creates the band from a script client by its ProgID; then
# unregisters and checks that only the keys the script keeps are left.
# Runs in a private copy of the test Wine prefix, so the shared one stays as
# it was found.
# Last, the registration tests' case for a folder named in three-byte
# characters runs with UTF-8 as the system's code page.
# Usage: registry-tools.sh <built Tandrel.DLL> <ProgIdClient.exe> <RegistrationTests.exe>
set -euo pipefail
source "$(dirname "$0")/private-prefix.sh"
dll=$1
client=$2
registration_tests=$3

folder="$private/drive_c/Tandrel's Band"
mkdir -p "$folder"
cp "$dll" "$folder/Tandrel.DLL"
module="C:\\Tandrel's Band\\Tandrel.DLL"
expected_registration=$(expected_registration "$module")

start_session

# The script host registers its own type library the first time a script
# calls through it; let that happen before the baseline is taken.
cat > "$private/drive_c/warmup.vbs" <<'VBS'
WScript.Echo TypeName(WScript.CreateObject("Scripting.Dictionary"))
VBS
wine cscript //nologo 'C:\warmup.vbs' >/dev/null 2>&1 || true

export_registry before
toolbar_left=$(toolbar_left before)
if [ -n "$toolbar_left" ]; then
  expected_registration=$(printf '%s\n%s\n' "$expected_registration" "$toolbar_left" | sort)
fi
wine regsvr32 /s "$module" || fail "regsvr32 returned $?"
export_registry registered
actual=$(changes before registered)
if [ "$actual" != "$expected_registration" ]; then
  diff <(echo "$expected_registration") <(echo "$actual") || true
  fail "registration changed other entries than expected (- expected, + actual)"
fi
echo "ok: regsvr32 wrote exactly the class, toolbar and type library entries"

wine regsvr32 /s "$module" || fail "second regsvr32 returned $?"
export_registry twice
[ -z "$(changes registered twice)" ] || { changes registered twice; fail "registering twice differs from once"; }
echo "ok: registering twice equals registering once"

# JScript: the platform's VBScript refuses every object that takes a site
# when the script host offers no service provider, as cscript does not.
cat > "$private/drive_c/create.js" <<'JS'
var band = new ActiveXObject("Tandrel.RefresherBand");
WScript.Echo("created " + typeof band);
JS
created=$(wine cscript //nologo 'C:\create.js' 2>/dev/null | tr -d '\r')
[ "$created" = "created object" ] || fail "script client got: '$created'"
echo "ok: cscript created the band by its ProgID"

# VBScript through the script host's own CreateObject, which asks COM for the
# class by its ProgID and hands the object over without siting it.
cat > "$private/drive_c/create.vbs" <<'VBS'
Set band = WScript.CreateObject("Tandrel.RefresherBand")
WScript.Echo "created " & TypeName(band)
VBS
created=$(wine cscript //nologo 'C:\create.vbs' 2>/dev/null | tr -d '\r')
[ "$created" = "created IRefresherBand" ] || fail "VBScript client got: '$created'"
echo "ok: cscript (VBScript) created the band by its ProgID and named its type"

wine "$client" | tr -d '\r' || fail "ProgID client"
echo "ok: a client found the band through the registry"

wine regsvr32 /s /u "$module" || fail "regsvr32 /u returned $?"
export_registry unregistered
left=$(changes before unregistered)
[ "$left" = "$toolbar_left" ] || { echo "$left"; fail "unregistration left more than the NoRemove Toolbar key"; }
echo "ok: regsvr32 /u removed everything it wrote but the NoRemove Toolbar key"

# Windows may take UTF-8 (65001) for the system's ANSI code page. Wine does
# for a locale that has no ANSI code page of its own, such as hi_IN, whose
# Linux locale, compiled here (the machine may have none), also gives Wine
# UTF-8 file names. The locale changes the prefix's registry, so this comes
# after every comparison of exports.
mkdir "$work/locale"
localedef -i hi_IN -f UTF-8 "$work/locale/hi_IN.UTF-8" || fail "cannot compile the hi_IN.UTF-8 locale"
utf8_case=DllRegisterServer.RegistersAFolderNamedInThreeByteCharactersInTheUtf8CodePage
result=$( (export LOCPATH="$work/locale" LC_ALL=hi_IN.UTF-8; wine "$registration_tests" --gtest_filter="$utf8_case") \
  2>/dev/null | tr -d '\r') || true
grep -qx '\[  PASSED  \] 1 test\.' <<<"$result" || { echo "$result"; fail "registration in the UTF-8 code page"; }
echo "ok: a DLL in a folder named in three-byte characters registers and unregisters in the UTF-8 code page"
