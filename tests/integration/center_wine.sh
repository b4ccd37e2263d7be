#!/usr/bin/env bash
# KovaCenter under Wine (WinInet) against the native kova-service.
#   center_wine.sh SERVICE TEST WORKDIR ADDROOT NEXT_VERSION
# The service runs on free ports with a manifest naming NEXT_VERSION.
set -uo pipefail
SERVICE=$1 TEST=$2 WORK=$3 ADDROOT=$4 NEXT_VERSION=$5
source "$(dirname "${BASH_SOURCE[0]}")/../support/kova_service.sh"

kova_prepare "$SERVICE" "$WORK/center-seed" "$WORK" || exit 1
mkdir -p "$KOVA_RUN/tmp"
head -c 300000 /dev/urandom >"$KOVA_RUN/payload.bin"
"$SERVICE" manifest "$KOVA_RUN/data" --version "$NEXT_VERSION" --file "$KOVA_RUN/payload.bin" --name kovaapp.exe >/dev/null ||
  { echo "center_wine: manifest failed" >&2; exit 1; }
kova_serve 0 0 || exit 1
kova_trust "$ADDROOT" || exit 1

# Wine maps the Unix root to drive Z:.
export KOVA_CENTER_HTTPS=$KOVA_HTTPS KOVA_CENTER_HTTP=$KOVA_HTTP
export KOVA_CENTER_PFX="Z:$KOVA_SEED/pfx/A123456789.pfx" KOVA_CENTER_PAYLOAD="Z:$KOVA_RUN/payload.bin"
export KOVA_CENTER_TMP="Z:$KOVA_RUN/tmp"
"$KOVA_ROOT/scripts/winerun" "$TEST"
