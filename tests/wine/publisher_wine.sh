#!/usr/bin/env bash
# publisher_test under Wine, on the signed next program and its variants.
#   publisher_wine.sh TEST SIGNING_DIR SIGNED_EXE WORKDIR ADDROOT
set -uo pipefail
TEST=$1 SIGNING=$2 SIGNED=$3 WORK=$4 ADDROOT=$5
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
VARIANTS="$WORK/publisher-variants"
rm -rf "$VARIANTS"
bash "$ROOT/tests/support/update_variants.sh" "$SIGNING" "$SIGNED" "$VARIANTS" || exit 1
trap 'rm -rf "$VARIANTS"' EXIT
"$ROOT/scripts/winerun" "$ADDROOT" "Z:$SIGNING/ca.pem" >/dev/null 2>&1 </dev/null ||
  { echo "publisher_wine: kova_addroot failed" >&2; exit 1; }
export KOVA_VARIANTS="Z:${VARIANTS//\//\\}"
export KOVA_TEST_PUBLISHER_KEY=$(cat "$SIGNING/publisher.key.sha256")
export KOVA_TEST_OTHER_KEY=$(cat "$SIGNING/other.key.sha256")
"$ROOT/scripts/winerun" "$TEST"
