#!/usr/bin/env bash
# Runs the exchange tests against the loopback test server.
#   net_exchange.sh native SERVER TEST WORKDIR
#   net_exchange.sh wine   SERVER TEST WORKDIR ADDROOT
# Generates the test PKI into WORKDIR/pki (a trusted CA and an untrusted one,
# each with a certificate for localhost/127.0.0.1), starts the server, runs
# the test (under Wine after adding the trusted CA to the project's prefix),
# then stops the server. Nothing here touches the machine's own trust store.
set -uo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
MODE=$1 SERVER=$2 TEST=$3 WORK=$4 ADDROOT=${5:-}

if [[ ! -x "$SERVER" ]]; then
  echo "net_exchange: the native test server $SERVER is missing; build the linux preset first" >&2
  echo "  (cmake --preset linux && cmake --build --preset linux), or set KOVA_NATIVE_BUILD_DIR" >&2
  exit 1
fi

PKI="$WORK/pki"
make_pki() {
  rm -rf "$PKI" && mkdir -p "$PKI" || return 1
  cat >"$PKI/ext.cnf" <<X
basicConstraints=CA:FALSE
keyUsage=critical,digitalSignature,keyEncipherment
extendedKeyUsage=serverAuth
subjectAltName=DNS:localhost,IP:127.0.0.1
X
  for ca in ca untrusted-ca; do
    openssl req -x509 -newkey rsa:2048 -nodes -keyout "$PKI/$ca.key" -out "$PKI/$ca.pem" -days 30 \
      -subj "/CN=KOVA net test $ca" -addext "basicConstraints=critical,CA:TRUE" \
      -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null || return 1
  done
  for pair in "server ca" "untrusted untrusted-ca"; do
    set -- $pair
    openssl req -newkey rsa:2048 -nodes -keyout "$PKI/$1.key" -out "$PKI/$1.csr" -subj "/CN=localhost" 2>/dev/null &&
    openssl x509 -req -in "$PKI/$1.csr" -CA "$PKI/$2.pem" -CAkey "$PKI/$2.key" -set_serial "0x$(openssl rand -hex 8)" \
      -out "$PKI/$1.pem" -days 29 -extfile "$PKI/ext.cnf" 2>/dev/null || return 1
  done
}
# Kept between runs (one CA in the Wine prefix, not one per run); renewed
# well before it expires.
if ! openssl x509 -checkend 604800 -noout -in "$PKI/server.pem" >/dev/null 2>&1 ||
   [[ ! -f "$PKI/untrusted.pem" ]]; then
  make_pki || { echo "net_exchange: cannot generate the test PKI" >&2; exit 1; }
fi

RUN=$(mktemp -d "$WORK/run.XXXXXX")
chmod 700 "$RUN"
mkdir -p "$RUN/records" "$RUN/spool"
"$SERVER" "$PKI" "$RUN/records" "$RUN/ports" >"$RUN/server.log" 2>&1 &
SERVER_PID=$!
cleanup() {
  kill "$SERVER_PID" 2>/dev/null
  wait "$SERVER_PID" 2>/dev/null
  rm -rf "$RUN"
}
trap cleanup EXIT
for _ in $(seq 100); do [[ -f "$RUN/ports" ]] && break; sleep 0.05; done
if [[ ! -f "$RUN/ports" ]]; then
  echo "net_exchange: the test server did not start" >&2
  cat "$RUN/server.log" >&2
  exit 1
fi
read -r HTTP HTTPS UNTRUSTED RAW <"$RUN/ports"
export KOVA_NET_RAW_PORT=$RAW KOVA_NET_HTTP_PORT=$HTTP KOVA_NET_HTTPS_PORT=$HTTPS KOVA_NET_UNTRUSTED_PORT=$UNTRUSTED

case "$MODE" in
  native)
    export KOVA_NET_RECORDS="$RUN/records" KOVA_NET_SPOOL="$RUN/spool" KOVA_NET_CA="$PKI/ca.pem"
    "$TEST"
    ;;
  wine)
    # Wine maps the Unix root to drive Z:.
    export KOVA_NET_RECORDS="Z:$RUN/records" KOVA_NET_SPOOL="Z:$RUN/spool"
    "$ROOT/scripts/winerun" "$ADDROOT" "Z:$PKI/ca.pem" || { echo "net_exchange: kova_addroot failed" >&2; exit 1; }
    "$ROOT/scripts/winerun" "$TEST"
    ;;
  *) echo "net_exchange: unknown mode $MODE" >&2; exit 2 ;;
esac
