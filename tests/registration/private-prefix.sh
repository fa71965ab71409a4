# Sourced by the tests that run the platform's own programs (regsvr32,
# regedit, setup programs): a private copy of the test Wine prefix with one
# session of its own, full registry exports and their differences, and the
# registry entries that registering Tandrel.DLL writes.
# The sourcing script uses "set -euo pipefail".
private_prefix_here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$private_prefix_here/../../scripts/wine-env"

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

# The shared prefix's server writes the registry to its files only now and
# then, which may be in the middle of another test program's case; once the
# server has ended, the files hold the registry as it is.
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true

# Files are shared by hard links; the registry files, which change, are copied.
cp -al "$WINEPREFIX" "$private"
for hive in system.reg user.reg userdef.reg; do
  rm -f "$private/$hive"
  cp "$WINEPREFIX/$hive" "$private/$hive"
done
export WINEPREFIX="$private"

# Whatever ran in the project's prefix before (the demo, the benchmarks, a
# test program or a run that ended half-way) may have left the band's
# registration there, in part or whole: the private copy starts without it,
# in every registry view, so that each test sees only what it does itself.
# Only the shared Toolbar key may stay, which registration keeps (see
# toolbar_left).
forget_band() {
  local view key
  {
    printf 'REGEDIT4\r\n\r\n'
    for view in "" "\\Wow6432Node"; do
      for key in "CLSID\\$class" Tandrel.RefresherBand Tandrel.RefresherBand.1 "TypeLib\\$library" "Interface\\$interface"; do
        printf '[-%s%s\\%s]\r\n' "$classes" "$view" "$key"
      done
    done
  } >"$private/drive_c/forget-band.reg"
  {
    printf 'regedit /s C:\\forget-band.reg\r\n'
    for key in "$toolbar" "$toolbar32"; do
      printf 'reg delete "%s" /v %s /f\r\n' "$key" "$class"
    done
  } >"$private/drive_c/forget-band.bat"
  wine cmd /c 'C:\forget-band.bat' >/dev/null 2>&1 || true
  rm "$private/drive_c/forget-band.reg" "$private/drive_c/forget-band.bat"
}

# One server and one desktop for the whole run: a window kept open holds the
# session (desktop, display devices) that every program then shares, so that
# only what a test does changes the registry. The band's registration is
# forgotten first.
# The session is up once the display driver has entered its device.
start_session() {
  wineserver -p
  forget_band
  wine notepad >/dev/null 2>&1 &
  session=$!
  local i
  for i in $(seq 1 30); do
    sleep 1
    wine reg query 'HKLM\Hardware\DEVICEMAP\VIDEO' /v '\Device\Video0' >/dev/null 2>&1 && break
  done
  sleep 1
}

export_registry() { wine regedit /E "C:\\$1.reg" >/dev/null 2>&1; }
changes() { PYTHONIOENCODING=utf-8 python3 "$private_prefix_here/regdiff.py" "$private/drive_c/$1.reg" "$private/drive_c/$2.reg"; }
fail() { echo "FAIL: $*"; exit 1; }

class='{6F3A2D14-9C57-4E0B-A1D8-3B72C54E9A06}'
library='{A9E4C1B7-2F60-4D83-9B15-7C0E3D58F2A4}'
interface='{D27B5E90-48A3-4C1F-8E62-915AF0C7B3D8}'
classes='HKEY_LOCAL_MACHINE\Software\Classes'
toolbar='HKEY_LOCAL_MACHINE\Software\Microsoft\Internet Explorer\Toolbar'

# The 32-bit registry view's Toolbar key in a 64-bit prefix.
toolbar32='HKEY_LOCAL_MACHINE\Software\Wow6432Node\Microsoft\Internet Explorer\Toolbar'

# The Toolbar key is NoRemove: it may be there from an earlier registration,
# and when it is not, registration creates it and unregistration keeps it.
# Prints the line the key ($2, by default the prefix's own view's) adds to a
# difference from the export named $1.
toolbar_left() {
  local key=${2:-$toolbar}
  iconv -f UTF-16 -t UTF-8 "$private/drive_c/$1.reg" | tr -d '\r' | grep -Fx "[$key]" >/dev/null ||
    echo "+[$key]"
}

# Where an export shows the keys of the type library and of its interface.
# In a 64-bit prefix the TypeLib key is one for both registry views and the
# platform's type library registration writes the interface's key into both
# views; the export shows the 32-bit view both under Classes\Wow6432Node and
# through its link Software\Wow6432Node\Classes, where the 32-bit DLL's class
# key is too.
if [ "$tandrel_arch" = x64 ]; then
  platform=win64
  library_roots=("$classes\\Typelib" "$classes\\Wow6432Node\\TypeLib"
    "HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Classes\\TypeLib")
  interface_roots=("$classes\\Interface" "$classes\\Wow6432Node\\Interface"
    "HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Classes\\Interface")
  class_roots32=("$classes\\Wow6432Node\\CLSID" "HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Classes\\CLSID")
else
  platform=win32
  library_roots=("$classes\\Typelib")
  interface_roots=("$classes\\Interface")
fi

# The class key under the CLSID key $1 for the DLL at the escaped path $2.
# A registration refused after the script has rebuilt the class key stops
# before the category step: under the CLSID key that
# categories_refused_under names, the class key is expected without it.
class_keys() {
  cat <<REG
+[$1\\$class]
+[$1\\$class] @="Tandrel"
REG
  [ "$1" = "${categories_refused_under:-}" ] || cat <<REG
+[$1\\$class\\Implemented Categories]
+[$1\\$class\\Implemented Categories\\{59FB2056-D625-48D0-A944-1A85B5AB2640}]
REG
  cat <<REG
+[$1\\$class\\InprocServer32]
+[$1\\$class\\InprocServer32] "ThreadingModel"="Apartment"
+[$1\\$class\\InprocServer32] @="$2"
+[$1\\$class\\ProgID]
+[$1\\$class\\ProgID] @="Tandrel.RefresherBand.1"
+[$1\\$class\\Programmable]
+[$1\\$class\\TypeLib]
+[$1\\$class\\TypeLib] @="$library"
+[$1\\$class\\VersionIndependentProgID]
+[$1\\$class\\VersionIndependentProgID] @="Tandrel.RefresherBand"
REG
}

# The difference that registering the DLL at the Windows path $1 makes to an
# export without it (the Toolbar key itself aside), sorted. In the 64-bit
# prefix, $2 is the 32-bit DLL registered beside the 64-bit one, in the
# 32-bit view, and $3 the folder in the type library's HELPDIR: its version
# key, one for both DLLs, keeps the folder of the DLL registered first.
expected_registration() {
  local module32=${2:-}
  local escaped_module=${1//\\/\\\\}
  local escaped_module32=${module32//\\/\\\\}
  local help_folder=${3:-${1%\\*}}
  local escaped_folder=${help_folder//\\/\\\\}
  local root
  {
    class_keys "$classes\\CLSID" "$escaped_module"
    cat <<REG
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
+[$toolbar] "$class"="0"
REG
    for root in "${interface_roots[@]}"; do
      cat <<REG
+[$root\\$interface]
+[$root\\$interface] @="IRefresherBand"
+[$root\\$interface\\ProxyStubClsid]
+[$root\\$interface\\ProxyStubClsid] @="{00020424-0000-0000-C000-000000000046}"
+[$root\\$interface\\ProxyStubClsid32]
+[$root\\$interface\\ProxyStubClsid32] @="{00020424-0000-0000-C000-000000000046}"
+[$root\\$interface\\TypeLib]
+[$root\\$interface\\TypeLib] "Version"="1.0"
+[$root\\$interface\\TypeLib] @="$library"
REG
    done
    for root in "${library_roots[@]}"; do
      cat <<REG
+[$root\\$library]
+[$root\\$library\\1.0]
+[$root\\$library\\1.0] @="Tandrel 1.0 Type Library"
+[$root\\$library\\1.0\\409]
+[$root\\$library\\1.0\\409\\$platform]
+[$root\\$library\\1.0\\409\\$platform] @="$escaped_module"
+[$root\\$library\\1.0\\FLAGS]
+[$root\\$library\\1.0\\FLAGS] @="8"
+[$root\\$library\\1.0\\HELPDIR]
+[$root\\$library\\1.0\\HELPDIR] @="$escaped_folder"
REG
      [ -z "$module32" ] || printf '+[%s]\n+[%s] @="%s"\n' "$root\\$library\\1.0\\409\\win32" \
        "$root\\$library\\1.0\\409\\win32" "$escaped_module32"
    done
    if [ -n "$module32" ]; then
      for root in "${class_roots32[@]}"; do
        class_keys "$root" "$escaped_module32"
      done
      echo "+[$toolbar32] \"$class\"=\"0\""
    fi
  } | sort
}

# Where the installers put the release package's DLLs, by their paths in the
# installation folder and in dist/: on 64-bit Windows the 64-bit DLL in x64
# beside the 32-bit one, in the 32-bit programs' folder; each registered by
# the regsvr32 of its bitness.
if [ "$tandrel_arch" = x64 ]; then
  installed_dlls=(Tandrel.DLL x64/Tandrel.DLL)
  installed_regsvr32=('C:\windows\syswow64\regsvr32.exe' 'C:\windows\system32\regsvr32.exe')
  program_files='C:\Program Files (x86)'
  installed_toolbars=("$toolbar" "$toolbar32")
else
  installed_dlls=(Tandrel.DLL)
  installed_regsvr32=(regsvr32)
  program_files='C:\Program Files'
  installed_toolbars=("$toolbar")
fi

# The Unix path of the Windows path $1 on the private prefix's C: drive.
unix_path() { local path="$private/drive_c/${1#C:\\}"; echo "${path//\\//}"; }

# The Windows path of the installed DLL $2 (a path of installed_dlls) in the folder $1.
installed_path() { echo "$1\\${2//\//\\}"; }

# The registration of the installed DLLs in the folder $1, the DLL $2 (a path
# of installed_dlls) registered first.
installed_registration() {
  if [ "$tandrel_arch" = x64 ]; then
    local first
    first=$(installed_path "$1" "$2")
    expected_registration "$1\\x64\\Tandrel.DLL" "$1\\Tandrel.DLL" "${first%\\*}"
  else
    expected_registration "$1\\Tandrel.DLL"
  fi
}

# The lines the installed DLLs' Toolbar keys add to a difference from the
# export named $1 (see toolbar_left).
installed_toolbars_left() {
  local key
  for key in "${installed_toolbars[@]}"; do toolbar_left "$1" "$key"; done | sort
}

# The client $1 creates the band through the registry from the DLL $2.
creates() {
  local found
  found=$(wine "$1" | tr -d '\r') || fail "$(basename "$(dirname "$1")") client: $found"
  [[ "$found" == *" from $2; "* ]] || fail "the client was served by another DLL than $2: $found"
}

