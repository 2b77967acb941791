#!/usr/bin/env bash
# Signs the Windows program with Authenticode (osslsigncode), with the
# certificate the environment names, never one from the repository:
#
#   FWUP_SIGN_PKCS12=FILE FWUP_SIGN_PASSWORD=... sign-program.sh PROGRAM SIGNED
#
# FWUP_SIGN_PKCS12 is a PKCS#12 file with the key and its certificate chain,
# FWUP_SIGN_PASSWORD its password; FWUP_SIGN_TIMESTAMP_URL, if set, a
# time-stamping server, so that the signature outlives the certificate.
# Without the first two it signs nothing and changes nothing.
set -euo pipefail
program=$1
signed=$2

if [ -z "${FWUP_SIGN_PKCS12:-}" ] || [ -z "${FWUP_SIGN_PASSWORD+set}" ]; then
  echo "Not signing: FWUP_SIGN_PKCS12 and FWUP_SIGN_PASSWORD are not set"
  exit 0
fi
timestamp=()
if [ -n "${FWUP_SIGN_TIMESTAMP_URL:-}" ]; then timestamp=(-ts "$FWUP_SIGN_TIMESTAMP_URL"); fi

mkdir -p "$(dirname "$signed")"
rm -f "$signed" "$signed.partial"
# The password reaches osslsigncode through a pipe, not its command line.
osslsigncode sign -pkcs12 "$FWUP_SIGN_PKCS12" -readpass <(printf '%s' "$FWUP_SIGN_PASSWORD") \
  -h sha256 -n "Firmware updater" "${timestamp[@]}" -in "$program" -out "$signed.partial"
mv "$signed.partial" "$signed"
echo "Signed: $signed"
