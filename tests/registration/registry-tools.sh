#!/usr/bin/env bash
# Registers Tandrel.DLL with the platform's own regsvr32 and checks the whole
# registry, exported with regedit before and after, for exactly the expected
# changes; creates the band from a script client by its ProgID; then
# unregisters and checks that only the keys the script keeps are left.
# Runs in a private copy of the test Wine prefix, so the shared one stays as
# it was found.
# Usage: registry-tools.sh <built Tandrel.DLL> <ProgIdClient.exe>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/wine-env"
dll=$1
client=$2

work=$(mktemp -d)
private="$work/prefix"
session=""
finish() {
  # Ends the one wineserver of the private prefix, which this script started,
  # and with it the window that held the session.
  WINEPREFIX="$private" wineserver -k 2>/dev/null || true
  [ -z "$session" ] || wait "$session" 2>/dev/null || true
  rm -rf "$work"
}
trap finish EXIT

# Files are shared by hard links; the registry files, which change, are copied.
cp -al "$WINEPREFIX" "$private"
for hive in system.reg user.reg userdef.reg; do
  rm -f "$private/$hive"
  cp "$WINEPREFIX/$hive" "$private/$hive"
done
export WINEPREFIX="$private"

folder="$private/drive_c/Tandrel's Band"
mkdir -p "$folder"
cp "$dll" "$folder/Tandrel.DLL"
module="C:\\Tandrel's Band\\Tandrel.DLL"

export_registry() { wine regedit /E "C:\\$1.reg" >/dev/null 2>&1; }
changes() { python3 "$here/regdiff.py" "$private/drive_c/$1.reg" "$private/drive_c/$2.reg"; }
fail() { echo "FAIL: $*"; exit 1; }

class='{6F3A2D14-9C57-4E0B-A1D8-3B72C54E9A06}'
library='{A9E4C1B7-2F60-4D83-9B15-7C0E3D58F2A4}'
interface='{D27B5E90-48A3-4C1F-8E62-915AF0C7B3D8}'
classes='HKEY_LOCAL_MACHINE\Software\Classes'
toolbar='HKEY_LOCAL_MACHINE\Software\Microsoft\Internet Explorer\Toolbar'
escaped_module=${module//\\/\\\\}
escaped_folder=${escaped_module%\\\\Tandrel.DLL}

expected_registration=$(cat <<REG | sort
+[$classes\\CLSID\\$class]
+[$classes\\CLSID\\$class] @="Tandrel"
+[$classes\\CLSID\\$class\\InprocServer32]
+[$classes\\CLSID\\$class\\InprocServer32] "ThreadingModel"="Apartment"
+[$classes\\CLSID\\$class\\InprocServer32] @="$escaped_module"
+[$classes\\CLSID\\$class\\ProgID]
+[$classes\\CLSID\\$class\\ProgID] @="Tandrel.RefresherBand.1"
+[$classes\\CLSID\\$class\\Programmable]
+[$classes\\CLSID\\$class\\TypeLib]
+[$classes\\CLSID\\$class\\TypeLib] @="$library"
+[$classes\\CLSID\\$class\\VersionIndependentProgID]
+[$classes\\CLSID\\$class\\VersionIndependentProgID] @="Tandrel.RefresherBand"
+[$classes\\Interface\\$interface]
+[$classes\\Interface\\$interface] @="IRefresherBand"
+[$classes\\Interface\\$interface\\ProxyStubClsid]
+[$classes\\Interface\\$interface\\ProxyStubClsid] @="{00020424-0000-0000-C000-000000000046}"
+[$classes\\Interface\\$interface\\ProxyStubClsid32]
+[$classes\\Interface\\$interface\\ProxyStubClsid32] @="{00020424-0000-0000-C000-000000000046}"
+[$classes\\Interface\\$interface\\TypeLib]
+[$classes\\Interface\\$interface\\TypeLib] "Version"="1.0"
+[$classes\\Interface\\$interface\\TypeLib] @="$library"
+[$classes\\Tandrel.RefresherBand.1]
+[$classes\\Tandrel.RefresherBand.1] @="Tandrel"
+[$classes\\Tandrel.RefresherBand.1\\CLSID]
+[$classes\\Tandrel.RefresherBand.1\\CLSID] @="$class"
+[$classes\\Tandrel.RefresherBand]
+[$classes\\Tandrel.RefresherBand] @="Tandrel"
+[$classes\\Tandrel.RefresherBand\\CLSID]
+[$classes\\Tandrel.RefresherBand\\CLSID] @="$class"
+[$classes\\Tandrel.RefresherBand\\CurVer]
+[$classes\\Tandrel.RefresherBand\\CurVer] @="Tandrel.RefresherBand.1"
+[$classes\\Typelib\\$library]
+[$classes\\Typelib\\$library\\1.0]
+[$classes\\Typelib\\$library\\1.0] @="Tandrel 1.0 Type Library"
+[$classes\\Typelib\\$library\\1.0\\409]
+[$classes\\Typelib\\$library\\1.0\\409\\win32]
+[$classes\\Typelib\\$library\\1.0\\409\\win32] @="$escaped_module"
+[$classes\\Typelib\\$library\\1.0\\FLAGS]
+[$classes\\Typelib\\$library\\1.0\\FLAGS] @="8"
+[$classes\\Typelib\\$library\\1.0\\HELPDIR]
+[$classes\\Typelib\\$library\\1.0\\HELPDIR] @="$escaped_folder"
+[$toolbar] "$class"="0"
REG
)

# One server and one desktop for the whole run: a window kept open holds the
# session (desktop, display devices) that every tool below then shares, so
# that only the registration changes the registry.
wineserver -p
wine notepad >/dev/null 2>&1 &
session=$!
sleep 3

# The script host registers its own type library the first time a script
# calls through it; let that happen before the baseline is taken.
cat > "$private/drive_c/warmup.vbs" <<'VBS'
WScript.Echo TypeName(WScript.CreateObject("Scripting.Dictionary"))
VBS
wine cscript //nologo 'C:\warmup.vbs' >/dev/null 2>&1 || true

export_registry before
# The Toolbar key is NoRemove: it may be there from an earlier registration,
# and when it is not, registration creates it and unregistration keeps it.
toolbar_left=""
if ! iconv -f UTF-16 -t UTF-8 "$private/drive_c/before.reg" | tr -d '\r' | grep -Fx "[$toolbar]" >/dev/null; then
  toolbar_left="+[$toolbar]"
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
