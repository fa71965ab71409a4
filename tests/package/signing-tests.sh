#!/usr/bin/env bash
# scripts/package, given a code-signing certificate of a throwaway CA, signs
# every file it ships with Authenticode: the DLL, the setup program, the
# uninstaller that the setup program writes, the Windows Installer package
# and the custom action inside it. Each verifies against that CA, and no
# longer does with one byte changed.
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
# A password with a space and a dollar sign, which must reach osslsigncode as
# it is.
password='test pa$$word'
openssl pkcs12 -export -inkey "$pki/signer.key" -in "$pki/signer.pem" -certfile "$pki/ca.pem" \
  -passout "pass:$password" -out "$pki/signer.pfx"

start_session
TANDREL_SIGN_PFX="$pki/signer.pfx" TANDREL_SIGN_PASSWORD=$password "$repo/scripts/package" "$work/dist" \
  >"$work/package.log" 2>&1 || { cat "$work/package.log"; fail "scripts/package returned $? when signing"; }
grep -F "package: signed with $pki/signer.pfx" "$work/package.log" >/dev/null || fail "scripts/package did not say it signed"

verifies() { osslsigncode verify -CAfile "$pki/ca.pem" -in "$1" >"$work/verify.log" 2>&1; }
setup=("$work"/dist/Tandrel-*-setup.exe)
msi=("$work"/dist/Tandrel-*.msi)
msiinfo extract "${msi[0]}" Binary.FolderAction >"$work/InstallFolderAction.dll"
cp "${setup[0]}" "$private/drive_c/setup.exe"
wine 'C:\setup.exe' /S >/dev/null 2>&1 || fail "the signed setup program returned $?"
cp "$private/drive_c/Program Files/Tandrel/uninstall.exe" "$work/uninstall.exe"

for file in "$work/dist/Tandrel.DLL" "${setup[0]}" "$work/uninstall.exe" "${msi[0]}" "$work/InstallFolderAction.dll"; do
  verifies "$file" || { cat "$work/verify.log"; fail "$(basename "$file") does not verify against the CA"; }
  # One byte changed: in a PE file half way, in its sections or in the setup
  # program's data; in the package inside the cabinet that holds the DLL.
  python3 - "$file" "$work/tampered" <<'PY'
import sys
data = bytearray(open(sys.argv[1], 'rb').read())
at = data.index(b'MSCF') + 200 if sys.argv[1].endswith('.msi') else len(data) // 2
data[at] ^= 0x01
open(sys.argv[2], 'wb').write(data)
PY
  ! verifies "$work/tampered" || fail "$(basename "$file") still verifies with one byte changed"
  echo "ok: $(basename "$file") is signed, verifies against the CA, and fails with one byte changed"
done
