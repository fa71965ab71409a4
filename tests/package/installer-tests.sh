#!/usr/bin/env bash
# The setup program of the release package, run silently as an administrator
# deploys it: it installs and registers the DLL, writes the Add/Remove
# Programs entry and nothing else, installs the same way twice, takes a
# folder chosen with /D= (with a quote and non-ASCII letters), and its
# uninstaller takes everything back but the keys registration keeps by
# design. A refused registration leaves nothing installed.
# Runs in a private copy of the test Wine prefix; prints the wall time of the
# silent install and uninstall.
# Usage: installer-tests.sh <dist folder> <ProgIdClient.exe> <RefusedToolbar.exe>
set -euo pipefail
source "$(dirname "$0")/../registration/private-prefix.sh"
dist=$1
client=$2
refused=$3

setups=("$dist"/Tandrel-*-setup.exe)
[ ${#setups[@]} -eq 1 ] && [ -f "${setups[0]}" ] || fail "no single setup program in $dist: run scripts/package"
cp "${setups[0]}" "$private/drive_c/setup.exe"
version=$(basename "${setups[0]}" | sed 's/^Tandrel-\(.*\)-setup\.exe$/\1/').0
session_manager='HKLM\System\CurrentControlSet\Control\Session Manager'
uninstall='HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tandrel'

start_session
# Each user's remembered interval, which nothing of the package may touch.
wine reg add 'HKCU\Software\Tandrel' /v Interval /t REG_DWORD /d 30 /f >/dev/null 2>&1
export_registry before
toolbar_left=$(toolbar_left before)
files_now() { (cd "$private/drive_c" && find . -path ./users -prune -o -print | grep -v '\.reg$' | sort); }
files_before=$(files_now)
seconds_since() { awk -v now="$(date +%s.%N)" -v then="$1" 'BEGIN { printf "%.1f", now - then }'; }

# Runs the setup program with a command line of its own: /D= takes the rest
# of the line unquoted, which cmd passes on as it is.
run_setup() { wine cmd /c "C:\\setup.exe /S${1:+ /D=$1}" >/dev/null 2>&1; }

# Runs the uninstaller of the folder $1 the way Add/Remove Programs runs its
# QuietUninstallString. The uninstaller hands over to a copy of itself in the
# temporary folder and returns; the copy removes the folder last and, as it
# ends, leaves its own deletion to the next restart.
run_uninstaller() {
  local unix_folder=$2
  wine "$1\\uninstall.exe" /S >/dev/null 2>&1 || return $?
  local i
  for i in $(seq 1 600); do
    [ -e "$unix_folder" ] || [ -z "$(pending_at_restart)" ] || return 0
    sleep 0.1
  done
  echo "the uninstaller has not finished"
  return 1
}

pending_at_restart() {
  wine reg query "$session_manager" /v PendingFileRenameOperations 2>/dev/null | tr -d '\r' |
    sed -n 's/^ *PendingFileRenameOperations *REG_MULTI_SZ *//p' | sed 's/\\0/\n/g' | grep -v '^$' || true
}

# The uninstaller's copy in the temporary folder cannot delete itself while
# it runs: it leaves that to the next restart. Checks that nothing else waits
# for the restart, and does what the restart does.
restart() {
  local pending
  pending=$(pending_at_restart)
  local unexpected
  unexpected=$(echo "$pending" | grep -v '^\\??\\C:\\users\\[^\\]*\\Temp\\~nsu[^\\]*\.tmp' || true)
  [ -z "$unexpected" ] || fail "waiting for the restart: $unexpected"
  wine reg delete "$session_manager" /v PendingFileRenameOperations /f >/dev/null 2>&1
  rm -rf "$private"/drive_c/users/*/Temp/~nsu*.tmp
}

# The Add/Remove Programs entry of an installation in the folder $1, whose
# files take $2 kilobytes.
expected_entry() {
  local folder=${1//\\/\\\\}
  sort <<REG
+[$uninstall]
+[$uninstall] "DisplayIcon"="$folder\\\\uninstall.exe"
+[$uninstall] "DisplayName"="Tandrel"
+[$uninstall] "DisplayVersion"="$version"
+[$uninstall] "EstimatedSize"=dword:$(printf '%08x' "$2")
+[$uninstall] "InstallLocation"="$folder"
+[$uninstall] "NoModify"=dword:00000001
+[$uninstall] "NoRepair"=dword:00000001
+[$uninstall] "Publisher"="Tandrel Project"
+[$uninstall] "QuietUninstallString"="\\"$folder\\\\uninstall.exe\\" /S"
+[$uninstall] "UninstallString"="\\"$folder\\\\uninstall.exe\\""
REG
}

# Installs into the folder $1 (the default one when $2 is empty), checks the
# registry and the files, and uninstalls again.
install_cycle() {
  local folder=$1 chosen=$2 name=$3
  local unix_folder="$private/drive_c/${folder#C:\\}"
  unix_folder=${unix_folder//\\//}
  local started
  started=$(date +%s.%N)
  run_setup "$chosen" || fail "$name: setup returned $?"
  echo "time: silent install $(seconds_since "$started") s"
  export_registry "installed-$name"
  cmp "$dist/Tandrel.DLL" "$unix_folder/Tandrel.DLL" || fail "$name: the installed DLL is not the packaged one"
  local size
  size=$(( $(cat "$unix_folder"/* | wc -c) / 1024 ))
  local expected actual
  expected=$( { expected_registration "$folder\\Tandrel.DLL"; expected_entry "$folder" "$size"; echo "$toolbar_left"; } |
    grep -v '^$' | sort)
  actual=$(changes before "installed-$name")
  if [ "$actual" != "$expected" ]; then
    diff <(echo "$expected") <(echo "$actual") || true
    fail "$name: the install changed other entries than registration and its Add/Remove Programs entry (- expected, + actual)"
  fi
  [ "$(ls "$unix_folder" | tr '\n' ' ')" = "README.txt Tandrel.DLL uninstall.exe " ] ||
    fail "$name: installed files: $(ls "$unix_folder")"
  wine "$client" | tr -d '\r' || fail "$name: the band was not created from the installed DLL"
  echo "ok: $name: installed, registered and entered in Add/Remove Programs; the band is created from there"

  if [ "$name" = default ]; then
    run_setup "$chosen" || fail "second setup returned $?"
    export_registry twice
    [ -z "$(changes "installed-$name" twice)" ] || { changes "installed-$name" twice; fail "installing twice differs from once"; }
    echo "ok: installing twice equals installing once"
  fi

  started=$(date +%s.%N)
  run_uninstaller "$folder" "$unix_folder" || fail "$name: uninstall.exe returned $?"
  echo "time: silent uninstall $(seconds_since "$started") s"
  restart
  export_registry "uninstalled-$name"
  local left
  left=$(changes before "uninstalled-$name")
  [ "$left" = "$toolbar_left" ] || { echo "$left"; fail "$name: the uninstall left more than the NoRemove Toolbar key"; }
  [ "$(files_now)" = "$files_before" ] || { diff <(echo "$files_before") <(files_now); fail "$name: files left"; }
  echo "ok: $name: uninstalled; only the NoRemove Toolbar key and the user's interval are left"
}

install_cycle 'C:\Program Files\Tandrel' '' default
# A quote, which the registry script must escape, and letters beyond ASCII,
# which the DLL's path must keep through its conversions.
install_cycle "C:\\Tandrel's Bänd" "C:\\Tandrel's Bänd" chosen

status=0
wine "$refused" 'C:\setup.exe' /S | tr -d '\r' || status=$?
[ "$status" -ne 0 ] && [ "$status" -ne 255 ] || fail "the setup program returned $status although registration was refused"
export_registry refused
[ -z "$(changes uninstalled-chosen refused)" ] || { changes uninstalled-chosen refused; fail "a refused install left registry entries"; }
[ "$(files_now)" = "$files_before" ] || { diff <(echo "$files_before") <(files_now); fail "a refused install left files"; }
echo "ok: a refused registration fails the install with $status and leaves nothing behind"
