#!/usr/bin/env bash
# The setup program of the release package, run silently as an administrator
# deploys it: it refuses, writing nothing, a folder an ordinary user could
# take over (one holding someone else's files, a link, one under a folder
# others may change, one of a foreign owner), makes Administrators the owner
# of the folder it installs into and locks it, installs and registers the
# DLL, writes the Add/Remove Programs entry and nothing else, installs the
# same way twice (its uninstaller and x64 folder made anew), takes an empty
# folder chosen with /D= (with a quote and non-ASCII letters), and its
# uninstaller takes everything back but the keys registration keeps by
# design, also when the DLL was unregistered by hand. A refused registration
# leaves nothing installed, not even the folders it made above its own. An
# upgrade registers the new DLL from its final path even while the earlier
# one is in use; one whose registration is refused leaves the earlier
# version installed, registered and uninstallable. An uninstall with the DLL
# gone ends with success.
# In the 64-bit prefix, as on 64-bit Windows, each of these installs both
# DLLs, each registered in its own view, and takes both back; there the
# client, the refused key and the held DLL are the 64-bit ones, and the
# 32-bit build's client is given too.
# Runs in a private copy of the test Wine prefix; prints the wall time of the
# silent install and uninstall.
# Usage: installer-tests.sh <dist folder> <ProgIdClient.exe> <RefusedToolbar.exe> <HoldDll.exe>
#                           <folder with the 32-bit SetupFolder.dll>
#                           [<32-bit ProgIdClient.exe>, in the 64-bit prefix]
set -euo pipefail
source "$(dirname "$0")/../registration/private-prefix.sh"
dist=$1
refused=$3
holder=$4
plugins=$5
# The client of each installed DLL's bitness, the DLL that the holder, of
# this prefix's bitness, can load, and the view of HKLM\Software where the
# setup program, a 32-bit program, writes its Add/Remove Programs entry.
clients=("$2")
held_dll=Tandrel.DLL
software32='HKEY_LOCAL_MACHINE\Software'
if [ "$tandrel_arch" = x64 ]; then
  clients=("${6:?the 32-bit ProgIdClient.exe}" "$2")
  held_dll=x64/Tandrel.DLL
  software32='HKEY_LOCAL_MACHINE\Software\Wow6432Node'
fi

setups=("$dist"/Tandrel-*-setup.exe)
[ ${#setups[@]} -eq 1 ] && [ -f "${setups[0]}" ] || fail "no single setup program in $dist: run scripts/package"
cp "${setups[0]}" "$private/drive_c/setup.exe"
version=$(basename "${setups[0]}" | sed 's/^Tandrel-\(.*\)-setup\.exe$/\1/').0
session_manager='HKLM\System\CurrentControlSet\Control\Session Manager'
uninstall="$software32\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tandrel"

# The next version's setup program: the same DLLs with the next build number
# in their version blocks.
next_version=$(echo "$version" | awk -F. '{ printf "%d.%d.%d.%d", $1, $2, $3 + 1, $4 }')
mkdir -p "$work/next/x64"
for dll in Tandrel.DLL x64/Tandrel.DLL; do
  python3 "$private_prefix_here/../package/next-version.py" "$dist/$dll" "$work/next/$dll" "$next_version"
done
makensis -V1 -INPUTCHARSET UTF8 -DVERSION="$next_version" -DDIST="$work/next" -DDIST64="$work/next/x64" \
  -DPLUGINS="$plugins" -DOUTFILE="$private/drive_c/setup-next.exe" "$private_prefix_here/../../installer/Tandrel.nsi" >/dev/null ||
  fail "cannot build the next version's setup program"

start_session
# Each user's remembered interval, which nothing of the package may touch.
wine reg add 'HKCU\Software\Tandrel' /v Interval /t REG_DWORD /d 30 /f >/dev/null 2>&1
# Folders the setup program refuses: one with someone else's files in it, a
# link (a Unix symbolic link, which Wine shows as a reparse point; it makes
# no junction), one under a folder others may change (world-writable, which
# Wine shows as Everyone's right to delete what it holds), and an empty one
# of another owner (another Unix user's, which Wine shows as owned by
# Anonymous; only root can make one).
mkdir "$private/drive_c/Notes" "$private/drive_c/Elsewhere" "$private/drive_c/Open"
echo "Notes of the folder's owner" >"$private/drive_c/Notes/README.txt"
ln -s Elsewhere "$private/drive_c/Link"
chmod 0777 "$private/drive_c/Open"
refused_folders=('C:\Notes' 'C:\Link' 'C:\Open\Tandrel')
mkdir "$private/drive_c/Foreign"
if chown 65534 "$private/drive_c/Foreign" 2>/dev/null; then
  refused_folders+=('C:\Foreign')
else
  echo "skip: an empty folder of another owner, which only root can make"
fi
export_registry before
toolbar_left=$(installed_toolbars_left before)
files_now() { (cd "$private/drive_c" && find . -path ./users -prune -o -print | grep -aEv '\.(reg|trace)$' | sort); }
files_before=$(files_now)
seconds_since() { awk -v now="$(date +%s.%N)" -v then="$1" 'BEGIN { printf "%.1f", now - then }'; }

# Runs the setup program $2 (setup.exe when empty) with a command line of its
# own: /D= takes the rest of the line unquoted, which cmd passes on as it is.
# Wine's traces of the security calls go to C:\setup.trace: Wine applies no
# file permissions (it maps them onto Unix mode bits and reads every folder
# back as open to everyone), so what the setup program asks for is read
# there.
run_setup() {
  WINEDEBUG=trace+security,trace+advapi wine cmd /c "C:\\${2:-setup.exe} /S${1:+ /D=$1}" \
    >/dev/null 2>"$private/drive_c/setup.trace"
}

# Wine's form of a string in its traces: backslashes doubled, and characters
# beyond ASCII as a backslash and four hex digits.
traced() {
  python3 -c 'import sys; print("L\"%s\"" % "".join(
    "\\\\" if c == "\\" else c if " " <= c <= "~" else "\\%04x" % ord(c) for c in sys.argv[1]))' "$1"
}

# Checks that the last setup program made Administrators the owner of each
# folder given, and gave it the descriptor of Administrators and SYSTEM only.
check_locked() {
  local trace="$private/drive_c/setup.trace" folder
  grep -F "ConvertStringSecurityDescriptorToSecurityDescriptorW L\"O:BAD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)\"" \
    "$trace" >/dev/null || fail "$1: the setup program asked for no protected descriptor owned by Administrators"
  for folder in "$@"; do
    # SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
    # PROTECTED_DACL_SECURITY_INFORMATION
    grep -F "SetNamedSecurityInfoW $(traced "$folder") 1 -2147483643 " "$trace" >/dev/null ||
      { grep -F SetNamedSecurityInfoW "$trace" || true; fail "$folder: the setup program did not set its owner and protected DACL"; }
  done
}

# The folders of the installation in $1 that the setup program locks: its
# own and, as on 64-bit Windows, the x64 folder.
locked_folders() {
  local dll
  for dll in "${installed_dlls[@]}"; do
    dll=$(installed_path "$1" "$dll")
    echo "${dll%\\*}"
  done
}

# Runs the uninstaller of the folder $1 the way Add/Remove Programs runs its
# QuietUninstallString. The uninstaller hands over to a copy of itself in the
# temporary folder and returns; the copy removes the folder last and, as it
# ends, leaves its own deletion to the next restart.
run_uninstaller() {
  local unix_folder=$2
  wine "$1\\uninstall.exe" /S >/dev/null 2>&1 || return $?
  local i
  for i in $(seq 1 600); do
    [ -e "$unix_folder/uninstall.exe" ] || [ -z "$(pending_at_restart)" ] || return 0
    sleep 0.1
  done
  echo "the uninstaller has not finished"
  return 1
}

pending_at_restart() {
  wine reg query "$session_manager" /v PendingFileRenameOperations 2>/dev/null | tr -d '\r' |
    sed -n 's/^ *PendingFileRenameOperations *REG_MULTI_SZ *//p' | sed 's/\\0/\n/g' | grep -av '^$' || true
}

# The uninstaller's copy in the temporary folder cannot delete itself while
# it runs: it leaves that to the next restart, and so does an upgrade with
# the earlier DLL it moved aside while a program held it (the pattern $1).
# Checks that nothing else waits for the restart, and does what the restart
# does: the pattern's files are removed from the folder $2.
restart() {
  local expected='^\\\?\?\\C:\\users\\[^\\]*\\Temp\\~nsu[^\\]*\.tmp'
  [ -z "${1:-}" ] || expected="$expected|$1"
  local unexpected
  unexpected=$(pending_at_restart | grep -aEv "$expected" || true)
  [ -z "$unexpected" ] || fail "waiting for the restart: $unexpected"
  wine reg delete "$session_manager" /v PendingFileRenameOperations /f >/dev/null 2>&1
  rm -rf "$private"/drive_c/users/*/Temp/~nsu*.tmp
  [ -z "${1:-}" ] || rm -f "$2"/ns*.tmp
}

# The Add/Remove Programs entry of an installation of version $3 in the
# folder $1, whose files take $2 kilobytes.
expected_entry() {
  local folder=${1//\\/\\\\}
  sort <<REG
+[$uninstall]
+[$uninstall] "DisplayIcon"="$folder\\\\uninstall.exe"
+[$uninstall] "DisplayName"="Tandrel"
+[$uninstall] "DisplayVersion"="$3"
+[$uninstall] "EstimatedSize"=dword:$(printf '%08x' "$2")
+[$uninstall] "InstallLocation"="$folder"
+[$uninstall] "NoModify"=dword:00000001
+[$uninstall] "NoRepair"=dword:00000001
+[$uninstall] "Publisher"="Tandrel Project"
+[$uninstall] "QuietUninstallString"="\\"$folder\\\\uninstall.exe\\" /S"
+[$uninstall] "ReadmeInstalled"=dword:0000000$4
+[$uninstall] "UninstallString"="\\"$folder\\\\uninstall.exe\\""
REG
}

# An extended regular expression that matches the text $1 as it is.
literally() { sed 's/[][\\.*^$()+?{}|]/\\&/g' <<<"$1"; }

# Checks the export $1 after an install of version $3 from the DLLs in the
# folder $4 into the folder $2, whose README is the setup program's when $5
# is 1. The setup program registers the 32-bit DLL first.
check_installed() {
  local name=$1 folder=$2 expected_version=$3 source=$4 readme_ours=$5
  local unix_folder dll
  unix_folder=$(unix_path "$folder")
  local ours=("$unix_folder/uninstall.exe") files=(uninstall.exe "${installed_dlls[@]}")
  for dll in "${installed_dlls[@]}"; do
    cmp "$source/$dll" "$unix_folder/$dll" || fail "$name: the installed $dll is not the packaged one"
    ours+=("$unix_folder/$dll")
  done
  [ "$readme_ours" = 0 ] || ours+=("$unix_folder/README.txt")
  local size
  size=$(( $(cat "${ours[@]}" | wc -c) / 1024 ))
  local expected actual
  expected=$( { installed_registration "$folder" Tandrel.DLL
                expected_entry "$folder" "$size" "$expected_version" "$readme_ours"
                echo "$toolbar_left"; } | grep -v '^$' | sort)
  actual=$(changes before "$name")
  if [ "$actual" != "$expected" ]; then
    diff <(echo "$expected") <(echo "$actual") || true
    fail "$name: the install changed other entries than registration and its Add/Remove Programs entry (- expected, + actual)"
  fi
  [ "$(cd "$unix_folder" && find . -type f | sort)" = "$(printf './%s\n' README.txt "${files[@]}" | sort)" ] ||
    fail "$name: installed files: $(cd "$unix_folder" && find . -type f)"
  local i
  for i in "${!installed_dlls[@]}"; do
    creates "${clients[$i]}" "$(installed_path "$folder" "${installed_dlls[$i]}")"
  done
}

# Uninstalls from the folder $1 and checks that only the keys registration
# keeps are left.
check_uninstall() {
  local folder=$1 name=$2
  local started
  started=$(date +%s.%N)
  run_uninstaller "$folder" "$(unix_path "$folder")" || fail "$name: uninstall.exe returned $?"
  echo "time: silent uninstall $(seconds_since "$started") s"
  restart
  export_registry "uninstalled-$name"
  local left
  left=$(changes before "uninstalled-$name")
  [ "$left" = "$toolbar_left" ] || { echo "$left"; fail "$name: the uninstall left more than the NoRemove Toolbar key"; }
  [ "$(files_now)" = "$files_before" ] || { diff <(echo "$files_before") <(files_now); fail "$name: files left"; }
}

for folder in "${refused_folders[@]}"; do
  status=0
  run_setup "$folder" || status=$?
  [ "$status" -eq 3 ] || fail "$folder: the setup program returned $status, not 3, for a folder it must refuse"
  ! grep -F SetNamedSecurityInfoW "$private/drive_c/setup.trace" || fail "$folder: a refused folder was re-permissioned"
  [ "$(files_now)" = "$files_before" ] || { diff <(echo "$files_before") <(files_now); fail "$folder: a refused folder left files"; }
done
[ "$(cat "$private/drive_c/Notes/README.txt")" = "Notes of the folder's owner" ] || fail "the setup program changed a refused folder's files"
export_registry refused-folders
[ -z "$(changes before refused-folders)" ] || { changes before refused-folders; fail "refused folders left registry entries"; }
echo "ok: refused with 3, writing nothing: ${refused_folders[*]}"

default_folder="$program_files\\Tandrel"
started=$(date +%s.%N)
run_setup || fail "setup returned $?"
echo "time: silent install $(seconds_since "$started") s"
mapfile -t default_locked < <(locked_folders "$default_folder")
check_locked "${default_locked[@]}"
export_registry installed-default
check_installed installed-default "$default_folder" "$version" "$dist" 1
echo "ok: installed into a folder owned by Administrators and locked, registered and entered in Add/Remove Programs; the band is created from there"
# What an earlier installation left must not stay: an uninstaller with a
# second name (a hard link, sharing its permissions), a DLL planted in the
# x64 folder.
unix_default=$(unix_path "$default_folder")
ln "$unix_default/uninstall.exe" "$private/drive_c/uninstall-link.exe"
made_anew="the uninstaller"
if [ "$tandrel_arch" = x64 ]; then
  echo planted >"$unix_default/x64/version.dll"
  made_anew="the uninstaller and the x64 folder"
fi
run_setup || fail "second setup returned $?"
check_locked "${default_locked[@]}"
export_registry twice
[ -z "$(changes installed-default twice)" ] || { changes installed-default twice; fail "installing twice differs from once"; }
[ "$(stat -c %h "$unix_default/uninstall.exe")" = 1 ] || fail "the earlier uninstall.exe was written over, not made anew"
rm "$private/drive_c/uninstall-link.exe"
[ ! -e "$unix_default/x64/version.dll" ] || fail "the earlier x64 folder was reused with what it held"
echo "ok: installing twice equals installing once, over its own folder, with $made_anew made anew"
for i in "${!installed_dlls[@]}"; do
  wine "${installed_regsvr32[$i]}" /s /u "$(installed_path "$default_folder" "${installed_dlls[$i]}")" ||
    fail "regsvr32 /u returned $?"
done
check_uninstall "$default_folder" default
echo "ok: uninstalled, though the DLL had been unregistered by hand; only the NoRemove Toolbar key and the user's interval are left"

# An empty folder made beforehand, as an administrator makes one, chosen
# with /D=.
chosen_folder="C:\\Tandrel's Bänd"
mkdir "$(unix_path "$chosen_folder")"
run_setup "$chosen_folder" || fail "chosen: setup returned $?"
mapfile -t chosen_locked < <(locked_folders "$chosen_folder")
check_locked "${chosen_locked[@]}"
export_registry installed-chosen
check_installed installed-chosen "$chosen_folder" "$version" "$dist" 1
check_uninstall "$chosen_folder" chosen
echo "ok: installed into the empty folder chosen and uninstalled"

# A refused registration in a folder whose parent the setup program makes:
# both are locked from their making, and both go again.
made_folder='C:\Made\Tandrel'
status=0
WINEDEBUG=trace+security,trace+advapi wine "$refused" 'C:\setup.exe' /S "/D=$made_folder" 2>"$private/drive_c/setup.trace" |
  tr -d '\r' || status=$?
[ "$status" -ne 0 ] && [ "$status" -ne 255 ] || fail "the setup program returned $status although registration was refused"
check_locked 'C:\Made' "$made_folder"
export_registry refused
[ -z "$(changes uninstalled-chosen refused)" ] || { changes uninstalled-chosen refused; fail "a refused install left registry entries"; }
[ "$(files_now)" = "$files_before" ] || { diff <(echo "$files_before") <(files_now); fail "a refused install left files"; }
echo "ok: a refused registration fails the install with $status and leaves nothing behind, not even the folder it made above"

# An upgrade while a program holds the earlier DLL.
held_path=$(installed_path "$default_folder" "$held_dll")
run_setup || fail "setup returned $?"
mkdir "$private/drive_c/hold"
wine "$holder" "$held_path" 'C:\hold' &
held=$!
for i in $(seq 1 300); do [ -e "$private/drive_c/hold/held" ] && break; sleep 0.1; done
[ -e "$private/drive_c/hold/held" ] || fail "the DLL could not be held"
run_setup "" setup-next.exe || fail "the upgrade returned $? while the DLL was in use"
check_locked "${default_locked[@]}"
touch "$private/drive_c/hold/release"
wait "$held"
rm -r "$private/drive_c/hold"
# The earlier DLL waits for the restart in the installation folder, also the
# x64 one: its folder is made anew.
restart "^$(literally "\\??\\$default_folder\\")ns[^\\]*\\.tmp\$" "$unix_default"
export_registry upgraded
check_installed upgraded "$default_folder" "$next_version" "$work/next" 1
echo "ok: $next_version upgrades $version while its DLL is in use: registered from its final path, the earlier file removed at the restart"

# An upgrade, to whichever other version, whose registration is refused.
status=0
wine "$refused" 'C:\setup.exe' /S | tr -d '\r' || status=$?
[ "$status" -ne 0 ] && [ "$status" -ne 255 ] || fail "the setup program returned $status although registration was refused"
export_registry refused-upgrade
# The earlier DLL put back is registered again under the same refusal, and
# that registration stops, like every refused one, before the category step:
# its class key is whole but for the category, in the refused view alone.
categories_refused_under="$classes\\CLSID"
category_gone=$(printf -- '-[%s]\n' "$categories_refused_under\\$class\\Implemented Categories" \
  "$categories_refused_under\\$class\\Implemented Categories\\{59FB2056-D625-48D0-A944-1A85B5AB2640}" | sort)
[ "$(changes upgraded refused-upgrade | sort)" = "$category_gone" ] ||
  { changes upgraded refused-upgrade; fail "a refused upgrade changed the registry beyond the refused view's category"; }
check_installed refused-upgrade "$default_folder" "$next_version" "$work/next" 1
check_uninstall "$default_folder" refused-upgrade
categories_refused_under=
echo "ok: an upgrade whose registration is refused fails with $status and leaves $next_version installed, registered and uninstallable"

# The DLL deleted or quarantined before the uninstall: it ends with success,
# and the registration it can no longer take back is all that is left.
run_setup || fail "setup returned $?"
for dll in "${installed_dlls[@]}"; do rm "$unix_default/$dll"; done
run_uninstaller "$default_folder" "$unix_default" || fail "the uninstall returned $? with the DLL gone"
restart
export_registry uninstalled-gone
expected=$( { installed_registration "$default_folder" Tandrel.DLL; echo "$toolbar_left"; } | grep -v '^$' | sort)
[ "$(changes before uninstalled-gone)" = "$expected" ] ||
  { changes before uninstalled-gone; fail "the uninstall with the DLL gone left other entries than its registration"; }
[ "$(files_now)" = "$files_before" ] || { diff <(echo "$files_before") <(files_now); fail "files left"; }
echo "ok: uninstalled with the DLL gone; only its registration, which nothing can take back, is left"
