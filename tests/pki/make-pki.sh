#!/usr/bin/env bash
# Makes the test certificates in OUTDIR: a root CA, a code-signing certificate, a nameless code-signing
# certificate and a TLS server certificate for localhost, all issued by the root. Keys are fresh on
# every run and never leave the build tree.
set -euo pipefail
out=$1
mkdir -p "$out"
cd "$out"

cat > extensions.cnf <<'CNF'
[req]
distinguished_name = subject

[subject]

[root]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash

[codesign]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid

[server]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = DNS:localhost, IP:127.0.0.1
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
CNF

new_key() { openssl genpkey -quiet -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "$1"; }

# issue NAME SUBJECT SECTION: NAME.key and NAME.crt, signed by the root.
issue() {
  new_key "$1.key"
  openssl req -new -key "$1.key" -subj "$2" -out "$1.csr"
  openssl x509 -req -in "$1.csr" -CA root.crt -CAkey root.key -set_serial "0x$(openssl rand -hex 8)" \
    -days 3650 -sha256 -extfile extensions.cnf -extensions "$3" -out "$1.crt" 2>/dev/null
  rm "$1.csr"
}

new_key root.key
openssl req -x509 -new -key root.key -subj "/O=Tolm Test/CN=Tolm Test Root CA" -days 3650 -sha256 \
  -config extensions.cnf -extensions root -out root.crt
openssl x509 -in root.crt -outform DER -out root.der

issue codesign "/CN=Tolm Test Publisher" codesign
# An empty subject: a signer whose certificate carries no name at all.
issue noname "/" codesign
issue server "/CN=localhost" server

# 3DES and SHA-1 keep the file readable by older importers as well as by OpenSSL 3.
openssl pkcs12 -export -passout pass: -inkey codesign.key -in codesign.crt -certfile root.crt \
  -keypbe PBE-SHA1-3DES -certpbe PBE-SHA1-3DES -macalg sha1 -name "Tolm Test Publisher" -out codesign.pfx
