#!/usr/bin/env bash
# The 32-bit programs as they are released, the dialog and the console
# program: the same sources built again in another folder give the same
# bytes, and the signing step signs both with a certificate made here and
# thrown away, adding nothing but the signature.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset windows >/dev/null
programs=(firmware-updater firmware-updater-cli)
cmake --build --preset windows --target "${programs[@]}"
built=build/windows/src/app/dialog/firmware-updater.exe
built_cli=build/windows/src/app/terminal/windows/firmware-updater-cli.exe

echo "== The same sources, built again in another folder"
second=build/second-build
rm -rf "$second"
mkdir -p "$second"
tar --exclude=./build --exclude=./.git -cf - . | tar -xf - -C "$second"
(cd "$second" && cmake --preset windows >/dev/null &&
  cmake --build --preset windows --target "${programs[@]}")
for program in "$built" "$built_cli"; do
  sha256sum "$program" "$second/$program"
  cmp "$program" "$second/$program"
done
echo "The two builds are the same, byte for byte"
rm -rf "$second"

signed=build/windows/signed/firmware-updater.exe
echo "== Without a certificate, the signing step changes nothing"
rm -rf build/windows/signed
before=$(sha256sum <"$built")
env -u FWUP_SIGN_PKCS12 -u FWUP_SIGN_PASSWORD cmake --build --preset windows --target sign
if [ -e build/windows/signed ] || [ "$(sha256sum <"$built")" != "$before" ]; then
  echo "The signing step changed something without a certificate"
  exit 1
fi

echo "== Signed with a certificate made here and thrown away, then verified"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export FWUP_SIGN_PKCS12="$work/signing.p12"
FWUP_SIGN_PASSWORD=$(openssl rand -hex 16)
export FWUP_SIGN_PASSWORD
openssl req -x509 -newkey rsa:3072 -sha256 -days 2 -nodes -subj "/CN=Firmware updater test signing" \
  -addext "extendedKeyUsage=codeSigning" -keyout "$work/key.pem" -out "$work/certificate.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/certificate.pem" -out "$FWUP_SIGN_PKCS12" \
  -passout env:FWUP_SIGN_PASSWORD
cmake --build --preset windows --target sign
# Without its signature, a signed file is the built one: a published file
# can be checked against a build of its sources.
for pair in "$signed:$built" "build/windows/signed/firmware-updater-cli.exe:$built_cli"; do
  osslsigncode verify -CAfile "$work/certificate.pem" -in "${pair%%:*}"
  rm -f "$work/unsigned.exe"
  osslsigncode remove-signature -in "${pair%%:*}" -out "$work/unsigned.exe"
  cmp "$work/unsigned.exe" "${pair##*:}"
done
# The signature covers the program: one byte of its code changed, it fails.
cp "$signed" "$work/changed.exe"
byte=$(od -An -tu1 -j1024 -N1 "$work/changed.exe" | tr -d ' ')
printf "\\$(printf '%03o' $((255 - byte)))" | dd of="$work/changed.exe" bs=1 seek=1024 conv=notrunc status=none
if osslsigncode verify -CAfile "$work/certificate.pem" -in "$work/changed.exe" >/dev/null 2>&1; then
  echo "A changed program still verifies"
  exit 1
fi
echo "The signature verifies, covers the program and adds nothing else"
