#!/usr/bin/env bash
# scripts/package, given a code-signing certificate of a throwaway CA and a
# timestamp authority of that CA's on the loopback address, signs every file
# it ships with Authenticode, timestamped: both DLLs, the setup program, the
# uninstaller that the setup program writes, both Windows Installer packages
# and the custom action inside each. Each verifies against that CA, with its
# timestamp, and no longer does with one byte changed.
# Runs scripts/package into a folder of its own, and in a private copy of the
# test Wine prefix, where it installs the setup program to get its
# uninstaller.
# Usage: signing-tests.sh
set -euo pipefail
source "$(dirname "$0")/../registration/private-prefix.sh"
repo=$(cd "$private_prefix_here/../.." && pwd)

pki="$work/pki"
mkdir "$pki"
cat >"$pki/signer.cnf" <<'CNF'
[signer]
basicConstraints=critical,CA:FALSE
keyUsage=critical,digitalSignature
extendedKeyUsage=codeSigning
subjectKeyIdentifier=hash
authorityKeyIdentifier=keyid
CNF
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Tandrel Test CA" \
  -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign \
  -keyout "$pki/ca.key" -out "$pki/ca.pem" 2>/dev/null
openssl req -newkey rsa:2048 -nodes -subj "/CN=Tandrel Test Signer" \
  -keyout "$pki/signer.key" -out "$pki/signer.csr" 2>/dev/null
openssl x509 -req -days 2 -in "$pki/signer.csr" -CA "$pki/ca.pem" -CAkey "$pki/ca.key" -CAcreateserial \
  -extfile "$pki/signer.cnf" -extensions signer -out "$pki/signer.pem" 2>/dev/null
cat >"$pki/tsa.cnf" <<'CNF'
[tsa_cert]
basicConstraints=critical,CA:FALSE
keyUsage=critical,digitalSignature
extendedKeyUsage=critical,timeStamping
[tsa]
default_tsa=tsa_config
[tsa_config]
serial=./tsa.serial
signer_digest=sha256
default_policy=1.3.6.1.4.1.4146.2.3
digests=sha256,sha384,sha512
accuracy=secs:1
ess_cert_id_alg=sha256
CNF
echo 01 >"$pki/tsa.serial"
openssl req -newkey rsa:2048 -nodes -subj "/CN=Tandrel Test TSA" -keyout "$pki/tsa.key" -out "$pki/tsa.csr" 2>/dev/null
openssl x509 -req -days 2 -in "$pki/tsa.csr" -CA "$pki/ca.pem" -CAkey "$pki/ca.key" -CAcreateserial \
  -extfile "$pki/tsa.cnf" -extensions tsa_cert -out "$pki/tsa.pem" 2>/dev/null
# A password with a space and a dollar sign, which must reach osslsigncode as
# it is.
password='test pa$$word'
openssl pkcs12 -export -inkey "$pki/signer.key" -in "$pki/signer.pem" -certfile "$pki/ca.pem" \
  -passout "pass:$password" -out "$pki/signer.pfx"

python3 "$private_prefix_here/../package/timestamp-server.py" "$pki" >"$pki/tsa.port" &
tsa=$!
trap 'kill "$tsa" 2>/dev/null || true; finish' EXIT
for i in $(seq 1 100); do [ -s "$pki/tsa.port" ] && break; sleep 0.1; done
[ -s "$pki/tsa.port" ] || fail "the timestamp authority did not start"
timestamp_url="http://127.0.0.1:$(cat "$pki/tsa.port")/"

start_session
TANDREL_SIGN_PFX="$pki/signer.pfx" TANDREL_SIGN_PASSWORD=$password TANDREL_SIGN_TIMESTAMP_URL=$timestamp_url \
  "$repo/scripts/package" "$work/dist" >"$work/package.log" 2>&1 ||
  { cat "$work/package.log"; fail "scripts/package returned $? when signing"; }
kill "$tsa"
grep -F "package: signed with $pki/signer.pfx, timestamped by $timestamp_url" "$work/package.log" >/dev/null ||
  fail "scripts/package did not say it signed"

verifies() {
  osslsigncode verify -CAfile "$pki/ca.pem" -TSA-CAfile "$pki/ca.pem" -in "$1" >"$work/verify.log" 2>&1 &&
    grep -Fx "Timestamp Server Signature verification: ok" "$work/verify.log" >/dev/null
}
setup=("$work"/dist/Tandrel-*-setup.exe)
msis=("$work"/dist/Tandrel-*.msi)
[ ${#msis[@]} -eq 2 ] || fail "not both packages: ${msis[*]}"
actions=()
for msi in "${msis[@]}"; do
  actions+=("$work/$(basename "$msi" .msi)-InstallFolderAction.dll")
  msiinfo extract "$msi" Binary.FolderAction >"${actions[-1]}"
done
cp "${setup[0]}" "$private/drive_c/setup.exe"
wine 'C:\setup.exe' /S >/dev/null 2>&1 || fail "the signed setup program returned $?"
cp "$(unix_path "$program_files\\Tandrel\\uninstall.exe")" "$work/uninstall.exe"

for file in "$work/dist/Tandrel.DLL" "$work/dist/x64/Tandrel.DLL" "${setup[0]}" "$work/uninstall.exe" "${msis[@]}" \
  "${actions[@]}"; do
  verifies "$file" || { cat "$work/verify.log"; fail "${file#"$work/"} does not verify against the CA with its timestamp"; }
  # One byte changed: in a PE file half way, in its sections or in the setup
  # program's data; in the package inside the cabinet that holds the DLL.
  python3 - "$file" "$work/tampered" <<'PY'
import sys
data = bytearray(open(sys.argv[1], 'rb').read())
at = data.index(b'MSCF') + 200 if sys.argv[1].endswith('.msi') else len(data) // 2
data[at] ^= 0x01
open(sys.argv[2], 'wb').write(data)
PY
  ! verifies "$work/tampered" || fail "${file#"$work/"} still verifies with one byte changed"
  echo "ok: ${file#"$work/"} is signed and timestamped, verifies against the CA, and fails with one byte changed"
done
