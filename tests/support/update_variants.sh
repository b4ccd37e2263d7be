#!/usr/bin/env bash
# The update as a publisher signed it, and every way it can arrive otherwise:
#   update_variants.sh SIGNING_DIR SIGNED_EXE OUT_DIR
# writes into OUT_DIR:
#   signed.exe     SIGNED_EXE as it is (signed by the test publisher)
#   checksum.exe   its PE CheckSum field changed (the signature does not cover it)
#   unsigned.exe   its signature removed
#   otherkey.exe   signed with another key under the publisher's very subject name
#   tampered.exe   one byte inside a section changed after signing
#   appended.exe   bytes added after the signature
#   truncated.exe  its first half
set -euo pipefail
SIGNING=$1 SIGNED=$2 OUT=$3
mkdir -p "$OUT"
cp "$SIGNED" "$OUT/signed.exe"
rm -f "$OUT/unsigned.exe" "$OUT/otherkey.exe"
osslsigncode remove-signature -in "$SIGNED" -out "$OUT/unsigned.exe" >/dev/null
osslsigncode sign -pkcs12 "$SIGNING/other.p12" -readpass "$SIGNING/password" -h sha256 \
  -in "$OUT/unsigned.exe" -out "$OUT/otherkey.exe" >/dev/null
python3 - "$OUT" <<'PY'
import struct, sys
out = sys.argv[1]
data = bytearray(open(out + "/signed.exe", "rb").read())
pe = struct.unpack_from("<I", data, 0x3C)[0]
sections = struct.unpack_from("<H", data, pe + 6)[0]
optional = pe + 24
table = optional + struct.unpack_from("<H", data, pe + 20)[0]

checksum = bytearray(data)
struct.pack_into("<I", checksum, optional + 64, struct.unpack_from("<I", data, optional + 64)[0] ^ 0x5A5A)
open(out + "/checksum.exe", "wb").write(checksum)

# The middle of the first section with raw data: code the signature covers.
for i in range(sections):
    size, start = struct.unpack_from("<II", data, table + 40 * i + 16)
    if size:
        break
tampered = bytearray(data)
tampered[start + size // 2] ^= 0x01
open(out + "/tampered.exe", "wb").write(tampered)

open(out + "/appended.exe", "wb").write(bytes(data) + b"appended after the signature\0" * 16)
open(out + "/truncated.exe", "wb").write(bytes(data[: len(data) // 2]))
PY
