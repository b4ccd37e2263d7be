#!/usr/bin/env bash
# The test publisher of one build folder:   test-signing.sh DIR
#   ca.pem              a long-lived code-signing CA, trusted in the test prefixes
#   publisher.p12       the test publisher (code-signing usage), signed by the CA
#   other.p12           another key under the publisher's very subject name
#   password            the password of both PKCS#12 files
#   publisher.key.sha256, other.key.sha256
#                       SHA-256 of each SubjectPublicKeyInfo, 64 hex digits
# Made once; never committed. Nothing here may sign a release.
set -euo pipefail
DIR=$1
mkdir -p "$DIR"
cd "$DIR"
umask 077
SUBJECT="/CN=KOVA Test Publisher/O=KOVA Test Build"

openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 7300 -keyout ca.key -out ca.pem \
  -subj "/CN=KOVA Test Code Signing CA/O=KOVA Test Build" \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
cat >leaf.ext <<X
basicConstraints=critical,CA:FALSE
keyUsage=critical,digitalSignature
extendedKeyUsage=codeSigning
subjectKeyIdentifier=hash
authorityKeyIdentifier=keyid
X
openssl rand -hex 16 >password
for who in publisher other; do
  openssl req -new -newkey rsa:2048 -nodes -keyout "$who.key" -out "$who.csr" -subj "$SUBJECT" 2>/dev/null
  openssl x509 -req -sha256 -days 3650 -in "$who.csr" -CA ca.pem -CAkey ca.key -CAcreateserial \
    -extfile leaf.ext -out "$who.pem" 2>/dev/null
  openssl pkcs12 -export -inkey "$who.key" -in "$who.pem" -certfile ca.pem -passout "file:password" \
    -out "$who.p12"
  openssl x509 -in "$who.pem" -pubkey -noout | openssl pkey -pubin -outform DER | sha256sum | cut -c1-64 \
    >"$who.key.sha256"
  rm -f "$who.csr"
done
rm -f leaf.ext
