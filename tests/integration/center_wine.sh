#!/usr/bin/env bash
# KovaCenter under Wine (WinInet) against the native kova-service.
#   center_wine.sh SERVICE TEST WORKDIR ADDROOT
# Seeds one data set into WORKDIR/center-seed (kept between runs, so the Wine
# prefix gains one CA, not one per run), copies it into a fresh run folder,
# starts the service on port 0 with a manifest naming 0.9.3, adds the CA to
# the prefix, runs the test, stops the service.
set -uo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
SERVICE=$1 TEST=$2 WORK=$3 ADDROOT=$4

if [[ ! -x "$SERVICE" ]]; then
  echo "center_wine: the native $SERVICE is missing; build the linux preset first" >&2
  exit 1
fi

SEED="$WORK/center-seed"
if ! openssl x509 -checkend 604800 -noout -in "$SEED/server.pem" >/dev/null 2>&1; then
  rm -rf "$SEED"
  "$SERVICE" seed "$SEED" --iterations 5000 >/dev/null || { echo "center_wine: seed failed" >&2; exit 1; }
fi

RUN=$(mktemp -d "$WORK/center-run.XXXXXX")
chmod 700 "$RUN"
mkdir -p "$RUN/data" "$RUN/tmp"
cp -a "$SEED/." "$RUN/data/"
rm -f "$RUN/data/ports.json"
head -c 300000 /dev/urandom >"$RUN/payload.bin"
"$SERVICE" manifest "$RUN/data" --version 0.9.3 --file "$RUN/payload.bin" --name kovaapp.exe >/dev/null ||
  { echo "center_wine: manifest failed" >&2; exit 1; }
"$SERVICE" serve --data "$RUN/data" --https-port 0 --http-port 0 >"$RUN/service.out" 2>"$RUN/service.log" &
SERVICE_PID=$!
cleanup() {
  kill "$SERVICE_PID" 2>/dev/null
  wait "$SERVICE_PID" 2>/dev/null
  rm -rf "$RUN"
}
trap cleanup EXIT
for _ in $(seq 200); do [[ -s "$RUN/data/ports.json" ]] && break; sleep 0.05; done
PORTS=$(cat "$RUN/data/ports.json" 2>/dev/null)
HTTPS=$(sed -n 's/.*"https":\([0-9]*\).*/\1/p' <<<"$PORTS")
HTTP=$(sed -n 's/.*"http":\([0-9]*\).*/\1/p' <<<"$PORTS")
if [[ -z "$HTTPS" || -z "$HTTP" ]]; then
  echo "center_wine: the service did not start" >&2
  cat "$RUN/service.log" >&2
  exit 1
fi

"$ROOT/scripts/winerun" "$ADDROOT" "Z:$SEED/ca.pem" || { echo "center_wine: kova_addroot failed" >&2; exit 1; }
# Wine maps the Unix root to drive Z:.
export KOVA_CENTER_HTTPS=$HTTPS KOVA_CENTER_HTTP=$HTTP
export KOVA_CENTER_PFX="Z:$SEED/pfx/A123456789.pfx" KOVA_CENTER_PAYLOAD="Z:$RUN/payload.bin" KOVA_CENTER_TMP="Z:$RUN/tmp"
"$ROOT/scripts/winerun" "$TEST"
