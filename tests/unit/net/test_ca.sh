#!/bin/sh
# Test certificates for the HTTPS downloads, made by openssl, and the trust
# of the system in them. Wine's WinINet trusts the authorities of the host
# (the bundle update-ca-certificates writes), so a test authority becomes
# trusted for the Windows programs under Wine when it is added there. (Wine
# also copies the host's authorities into a volatile key of its registry,
# which lasts as long as its server: the Windows test takes the authority
# out of there itself, by the thumbprint in FOLDER/trusted-ca.sha1.) The
# Windows test cannot wait for a Unix program: each step ends by writing
# DONE (its first line "ok" or the reason it failed).
#   test_ca.sh make FOLDER DONE
#       FOLDER/trusted.crt, .key: a server certificate for 127.0.0.1 and
#       localhost from the authority FOLDER/trusted-ca.crt; FOLDER/untrusted.crt,
#       .key: the same from an authority that is never trusted. Valid one day.
#   test_ca.sh trust FOLDER NAME DONE
#       adds FOLDER/trusted-ca.crt to the host's authorities as NAME.crt
#   test_ca.sh untrust NAME DONE
#       takes NAME.crt out again (also when it was never added)
set -u
anchors=/usr/local/share/ca-certificates
report() { echo "$1" >"$done.tmp" && mv "$done.tmp" "$done"; }
# update-ca-certificates rewrites the bundle through a file of a fixed name:
# two at once (another test run on this machine) would spoil it. One at a
# time, each waiting a bounded while.
update_bundle() { flock -w 50 /tmp/qfd-ca-certificates.lock update-ca-certificates; }

# authority NAME: FOLDER/NAME-ca.crt and its key; then the server's NAME.crt and NAME.key.
make_pair() {
    folder=$1 name=$2
    openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=Quenfold test authority $name $$" \
        -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
        -keyout "$folder/$name-ca.key" -out "$folder/$name-ca.crt" 2>"$folder/openssl.err" || return 1
    printf '%s\n' "subjectAltName=IP:127.0.0.1,DNS:127.0.0.1,DNS:localhost" "basicConstraints=CA:FALSE" \
        "keyUsage=critical,digitalSignature,keyEncipherment" "extendedKeyUsage=serverAuth" >"$folder/$name.ext"
    openssl req -newkey rsa:2048 -nodes -subj "/CN=127.0.0.1" -keyout "$folder/$name.key" \
        -out "$folder/$name.csr" 2>>"$folder/openssl.err" || return 1
    openssl x509 -req -days 1 -in "$folder/$name.csr" -CA "$folder/$name-ca.crt" -CAkey "$folder/$name-ca.key" \
        -set_serial "0x$(od -An -N8 -tx1 /dev/urandom | tr -d ' \n')" -extfile "$folder/$name.ext" \
        -out "$folder/$name.crt" 2>>"$folder/openssl.err" || return 1
}

case "$1" in
make)
    folder=$2 done=$3
    if ! command -v openssl >/dev/null; then
        report "no openssl (scripts/install-deps.sh installs it)"
        exit 0
    fi
    if make_pair "$folder" trusted && make_pair "$folder" untrusted &&
        openssl x509 -in "$folder/trusted-ca.crt" -noout -fingerprint -sha1 2>>"$folder/openssl.err" |
        sed -e 's/.*=//' -e 's/://g' >"$folder/trusted-ca.sha1" && [ -s "$folder/trusted-ca.sha1" ]; then
        report ok
    else
        report "openssl failed: $(tr '\n' ' ' <"$folder/openssl.err")"
    fi
    ;;
trust)
    folder=$2 name=$3 done=$4
    if ! cp "$folder/trusted-ca.crt" "$anchors/$name.crt" 2>"$folder/trust.err" ||
        ! update_bundle >>"$folder/trust.err" 2>&1; then
        rm -f "$anchors/$name.crt"
        report "cannot add the test authority: $(tr '\n' ' ' <"$folder/trust.err")"
        exit 0
    fi
    report ok
    ;;
untrust)
    name=$2 done=$3
    rm -f "$anchors/$name.crt"
    # update-ca-certificates leaves the links of a removed local authority
    # behind (until its next addition): they go here, hash link first.
    find /etc/ssl/certs -maxdepth 1 -lname "$name.pem" -exec rm -f {} +
    rm -f "/etc/ssl/certs/$name.pem"
    if update_bundle >/dev/null 2>&1; then
        report ok
    else
        report "update-ca-certificates failed"
    fi
    ;;
esac
