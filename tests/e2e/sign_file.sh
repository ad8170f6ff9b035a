#!/bin/sh
# Signs a Windows program for the tests as an author signs a distribution
# after building it: openssl makes a throwaway self-signed code-signing
# certificate and its key in FOLDER (the test's scratch folder, which goes
# with the test), osslsigncode signs IN into OUT with them and verifies OUT
# against that certificate. The Windows test cannot wait for a Unix program,
# so the script ends by writing DONE (its first line "ok" or the reason it
# failed). Each tool gets a time limit.
#   sign_file.sh FOLDER IN OUT DONE
set -u
folder=$1 in=$2 out=$3 done=$4
report() { printf '%s\n' "$1" >"$done.tmp" && mv "$done.tmp" "$done"; }
key="$folder/signer.key" cert="$folder/signer.pem"
if [ ! -f "$cert" ]; then
    if ! err=$(timeout 60 openssl req -x509 -newkey rsa:2048 -nodes -keyout "$key" -out "$cert" -days 2 \
        -subj "/CN=Quenfold Test Signer" -addext extendedKeyUsage=codeSigning 2>&1); then
        report "openssl: $err"
        exit 0
    fi
fi
if ! err=$(timeout 60 osslsigncode sign -certs "$cert" -key "$key" -n "Quenfold test distribution" \
    -in "$in" -out "$out" 2>&1); then
    report "osslsigncode sign: $err"
    exit 0
fi
if ! err=$(timeout 60 osslsigncode verify -CAfile "$cert" -in "$out" 2>&1); then
    report "osslsigncode verify: $err"
    exit 0
fi
report ok
