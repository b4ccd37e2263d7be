#!/usr/bin/env bash
# The self-update under Wine against the native kova-service, on the origins
# built into the program (https://localhost:8443, http://127.0.0.1:8080).
#   update_wine.sh SERVICE TEST WORKDIR ADDROOT APP NEXT NEXT_VERSION SIGNING_DIR HOLDOPEN
# The manifest names NEXT_VERSION and serves NEXT (signed by the build's test
# publisher) as kovaapp.exe; beside it lie the ways it can arrive otherwise
# (update_variants.sh), as kovaapp-<variant>.exe, for the test to offer.
set -uo pipefail
SERVICE=$1 TEST=$2 WORK=$3 ADDROOT=$4 APP=$5 NEXT=$6 NEXT_VERSION=$7 SIGNING=$8 HOLDOPEN=$9
source "$(dirname "${BASH_SOURCE[0]}")/../support/kova_service.sh"

kova_prepare "$SERVICE" "$WORK/update-seed" "$WORK" || exit 1
"$SERVICE" manifest "$KOVA_RUN/data" --version "$NEXT_VERSION" --file "$NEXT" --name kovaapp.exe >/dev/null ||
  { echo "update_wine: manifest failed" >&2; exit 1; }
bash "$KOVA_ROOT/tests/support/update_variants.sh" "$SIGNING" "$NEXT" "$KOVA_RUN/variants" ||
  { echo "update_wine: the variants were not made" >&2; exit 1; }
for v in unsigned otherkey tampered appended; do
  cp "$KOVA_RUN/variants/$v.exe" "$KOVA_RUN/data/download/kovaapp-$v.exe" || exit 1
done
# The installed program as it would be without a publisher's signature.
osslsigncode remove-signature -in "$APP" -out "$KOVA_RUN/unsigned-app.exe" >/dev/null || exit 1
kova_serve 8443 8080 || exit 1
kova_trust "$ADDROOT" || exit 1
kova_trust_publisher "$ADDROOT" "$SIGNING" || exit 1

export KOVAAPP_EXE=$APP KOVAAPP_NEXT_EXE=$NEXT KOVA_UPDATE_SERVICE_LOG=$KOVA_RUN/service.log
export KOVAAPP_UNSIGNED_EXE=$KOVA_RUN/unsigned-app.exe KOVA_HOLDOPEN_EXE=$HOLDOPEN
export KOVA_UPDATE_HTTP_PORT=$KOVA_HTTP
"$KOVA_ROOT/scripts/winerun" "$TEST"
