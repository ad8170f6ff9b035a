#!/bin/sh
# The Linux side of the code-signing tests: openssl makes throwaway
# credentials, osslsigncode checks a signature. The Windows test cannot wait
# for a Unix program, so each step ends by writing DONE: its first line "ok"
# or the reason it failed, then what the tool printed.
#   codesign_peer.sh credentials FOLDER DONE
#     FOLDER gets ca.pem (a test CA), signer.pvk (the signer's key, no
#     password), locked.pvk (the same key with a password), stray.pvk (a key
#     no certificate names), chain.spc (DER PKCS #7: the CA first, then the
#     signer), signer.cer (DER) and signer-pem.cer (PEM).
#   codesign_peer.sh verify FILE CAFILE DONE
set -u
step=$1
report() { printf '%s\n%s\n' "$1" "${2:-}" >"$done.tmp" && mv "$done.tmp" "$done"; }

case "$step" in
credentials)
    dir=$2 done=$3
    if ! cd "$dir"; then
        report "no folder $dir"
        exit 0
    fi
    printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >signer.ext
    # A serial with its top bit set is written with a leading zero byte.
    if out=$( (openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 \
        -subj "/CN=Quenfold Test CA" -addext basicConstraints=critical,CA:TRUE \
        -addext keyUsage=critical,keyCertSign &&
        openssl req -new -newkey rsa:2048 -nodes -keyout signer.key -out signer.csr \
            -subj "/CN=Quenfold Test Signer" &&
        openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -set_serial 0x8badf00d1234 -days 2 \
            -extfile signer.ext -out signer.pem &&
        openssl rsa -in signer.key -outform PVK -pvk-none -out signer.pvk &&
        openssl rsa -in signer.key -outform PVK -passout pass:secret -provider legacy -provider default \
            -out locked.pvk &&
        openssl genrsa -out stray.key 2048 &&
        openssl rsa -in stray.key -outform PVK -pvk-none -out stray.pvk &&
        openssl crl2pkcs7 -nocrl -certfile ca.pem -certfile signer.pem -outform DER -out chain.spc &&
        openssl x509 -in signer.pem -outform DER -out signer.cer &&
        cp signer.pem signer-pem.cer) 2>&1); then
        rm -f ca.key signer.key stray.key signer.csr signer.ext signer.pem
        report ok
    else
        report "openssl failed" "$out"
    fi
    ;;
verify)
    file=$2 ca=$3 done=$4
    if out=$(osslsigncode verify -CAfile "$ca" -in "$file" 2>&1); then
        report ok "$out"
    else
        report "osslsigncode refused the signature" "$out"
    fi
    ;;
*)
    echo "unknown step: $step" >&2
    exit 2
    ;;
esac
