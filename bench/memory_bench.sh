#!/usr/bin/env bash
# The program's memory, as the system sees it (Wine runs it as one Linux
# process: its resident set is the working set, Wine's own share included):
#   - with its account list shown, for the seed's customer (9 accounts) and
#     for one with 100;
#   - during an update download of 100 MiB and its signature check: the peak
#     over what the program held when the update was offered, against the
#     target of the file's size plus 20 MiB.
#
#   bench/memory_bench.sh BUILD_DIR NATIVE_SERVICE [MIB]
# BUILD_DIR: a Windows test build with the targets kovaapp, kova_peek and
# kova_addroot built (as for bench/signin_bench.sh); MIB: the download's size
# (100). Runs on $DISPLAY or a private Xvfb, in the tests' Wine prefix.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$(cd "$1" && pwd)"
SERVICE=$2
SIZE_MIB=${3:-100}
CASE=bench
export KOVA_VERSION=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$BUILD/CMakeCache.txt")
export KOVA_NEXT_VERSION=99.0.0  # what the manifest offers in the download part
"$ROOT/scripts/wineprefix" init  # the tests' prefix, its windows unmanaged
source "$ROOT/tests/e2e/program.sh"


program_pid() {
  local p
  for p in $(pgrep -f '[k]ovaapp\.exe'); do
    [[ $(readlink "/proc/$p/exe" 2>/dev/null) == *wine* ]] && { echo "$p"; return 0; }
  done
  return 1
}
status_kib() {  # FIELD (VmRSS, VmHWM) of the program's process, in KiB
  local pid
  pid=$(program_pid) || fail "no Wine process runs kovaapp.exe"
  awk -v f="$1:" '$1 == f {print $2}' "/proc/$pid/status"
}
mib() { awk -v k="$1" 'BEGIN {printf "%.1f", k / 1024}'; }

e2e_prepare
serve

# ---- the account list ---------------------------------------------------------
signed_in_memory() {  # ACCOUNTS ID PASSWORD PFX PFX_PASSWORD
  app_start
  fill_all "$2" "$3" "$4" "$5"
  click "${LOGIN[@]}"
  local i
  for ((i = 0; i < 100; i++)); do main_shown && break; sleep 0.1; done
  ((i < 100)) || fail "the account list did not show for $2"
  sleep 1
  printf 'list of %3d accounts: resident %s MiB (peak %s MiB)\n' "$1" "$(mib "$(status_kib VmRSS)")" \
    "$(mib "$(status_kib VmHWM)")"
  where
  app_end
}
other=B223456789
sqlite3 "$DATA/kova.db" "INSERT INTO accounts (cust_id, prod, branch_no, account, risk_sign_stus, risk_sign_date,
    api_stus, certi_seno, certi_date, cust_ip, act, upt_date)
  WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 98)
  SELECT '$other', 'S', '0044', printf('%07d', 9100000 + i), 'S', '2024-02-29 12:00:00', 'N', '', '', '', '1',
         '2024-02-29 12:00:00' FROM n;"
[[ $(sqlite3 "$DATA/kova.db" "SELECT count(*) FROM accounts WHERE cust_id = '$other'") -eq 100 ]] ||
  fail "the 100-account customer was not seeded"
signed_in_memory 9 A123456789 Demo1234 A123456789.pfx pfx1234
signed_in_memory 100 "$other" Test5678 "$other.pfx" other5678

# ---- an update of SIZE_MIB ------------------------------------------------------
# The program itself, grown by random bytes and signed again by the
# build's test publisher: a valid update of that size.
osslsigncode remove-signature -in "$APP" -out "$TMP/unsigned.exe" >/dev/null
head -c "$((SIZE_MIB * 1024 * 1024 - $(stat -c %s "$TMP/unsigned.exe")))" /dev/urandom >>"$TMP/unsigned.exe"
mkdir -p "$TMP/update" "$TMP/install"
"$ROOT/scripts/sign-exe" "$TMP/unsigned.exe" "$TMP/update/kovaapp.exe" "$BUILD/signing/publisher.p12" \
  "$BUILD/signing/password" "$BUILD/signing/ca.pem"
size_kib=$(($(stat -c %s "$TMP/update/kovaapp.exe") / 1024))
"$SERVICE" manifest "$DATA" --version "$NEXT_VERSION" --file "$TMP/update/kovaapp.exe" --name kovaapp.exe >/dev/null ||
  fail "manifest"
# A copy of the program: the update replaces it, and restarts it.
cp "$APP" "$TMP/install/kovaapp.exe"
"$ROOT/scripts/winerun" "$TMP/install/kovaapp.exe" >"$TMP/app.out" 2>&1 </dev/null &
APP_PID=$!
b=$(box 150) || fail "no update offered"
[[ $b == *有新的程式版本* ]] || fail "offer box: $b"
before=$(status_kib VmRSS)
box_ok
b=$(box 600) || fail "the download did not end"
[[ $b == *下載更新完畢* ]] || fail "download box: $b"
# The program checks the file's signature once more as it closes to start
# it: its peak is read until it is gone.
pid=$(program_pid) || fail "no Wine process runs kovaapp.exe"
peak=$(status_kib VmHWM)
box_ok
while p=$(awk '$1 == "VmHWM:" {print $2}' "/proc/$pid/status" 2>/dev/null) && [[ -n $p ]]; do
  peak=$p
  sleep 0.05
done
wait "$APP_PID" 2>/dev/null || true
APP_PID=
"$KOVA_WINE" taskkill /f /im kovaapp.exe >/dev/null 2>&1 || true
cmp -s "$TMP/update/kovaapp.exe" "$TMP/install/kovaapp.exe" || fail "the update was not installed"
printf 'update of %s MiB: resident %s MiB when offered, peak %s MiB: %s MiB over, target %s MiB\n' \
  "$(mib "$size_kib")" "$(mib "$before")" "$(mib "$peak")" "$(mib $((peak - before)))" "$(mib $((size_kib + 20 * 1024)))"
