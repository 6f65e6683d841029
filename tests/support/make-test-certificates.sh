#!/usr/bin/env bash
# Makes a certificate authority of the test's own and, signed by it, a server
# certificate for the loopback (localhost, 127.0.0.1, ::1) and a client
# certificate, each with its key, as PEM files in the folder given:
# ca.pem ca.key server.pem server.key client.pem client.key, and other-ca.pem,
# an authority that signed nothing here (for a server the client must refuse).
set -euo pipefail
dir=$1
mkdir -p "$dir"
cd "$dir"
quiet() { "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }; }

authority() { # name subject
    quiet openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=$2" \
        -keyout "$1.key" -out "$1.pem" \
        -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign
}

signed() { # name subject extensions
    quiet openssl req -newkey rsa:2048 -nodes -subj "/CN=$2" -keyout "$1.key" -out "$1.csr"
    printf '%s\n' "$3" > "$1.ext"
    quiet openssl x509 -req -in "$1.csr" -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 \
        -extfile "$1.ext" -out "$1.pem"
    rm -f "$1.csr" "$1.ext"
}

authority ca "Pelvaro Test CA"
authority other-ca "Pelvaro Other Test CA"
rm -f other-ca.key
signed server localhost "subjectAltName=DNS:localhost,IP:127.0.0.1,IP:::1
extendedKeyUsage=serverAuth"
signed client pelvaro-test-client "extendedKeyUsage=clientAuth"
chmod 600 ./*.key
