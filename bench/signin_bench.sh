#!/usr/bin/env bash
# The two waits after a click, against the curl tool making the same calls to
# the same seeded service in the same run, rounds alternating:
#   sign-in:     the click on 登入 until the account list is painted, against
#                curl's userAuth.do then signText.do (with the certificate file)
#   application: the click on 送出申請 until the confirmation is painted,
#                against curl's apply.do
# The program's side is timed inside Wine by click_bench.exe; curl's by its
# own time_total. Prints each side's median and the ratio of the medians.
# (bench/memory_bench.sh measures the same program's memory.)
#
#   bench/signin_bench.sh BUILD_DIR NATIVE_SERVICE [ROUNDS]
# BUILD_DIR: a Windows test build, Release, with the targets kovaapp,
# kova_peek, kova_addroot and click_bench built, e.g.
#   cmake --preset win64 -B build/win64-bench -DCMAKE_BUILD_TYPE=Release
#   cmake --build build/win64-bench --target kovaapp kova_peek kova_addroot click_bench
# NATIVE_SERVICE: build/linux/service/kova-service. Runs on $DISPLAY, or on a
# private Xvfb; the Wine prefix is the tests' (scripts/wineprefix), whose
# windows are unmanaged: Xvfb has no window manager, and Wine would wait for
# one on every hidden window.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$(cd "$1" && pwd)"
SERVICE=$2
ROUNDS=${3:-11}
CASE=bench
CLICK="$BUILD/bench/click_bench.exe"
[[ -f $CLICK ]] || { echo "build click_bench in $BUILD first" >&2; exit 2; }
export KOVA_VERSION=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$BUILD/CMakeCache.txt")
export KOVA_NEXT_VERSION=$KOVA_VERSION  # no update is offered here
"$ROOT/scripts/wineprefix" init  # the tests' prefix, its windows unmanaged
source "$ROOT/tests/e2e/program.sh"

# The seed's customer and first account (list_e2e's grid); ID is the ID box.
CUST=A123456789 PASSWORD=Demo1234 PFX_PASSWORD=pfx1234
API="https://localhost:8443/kovaapp/api"
curl_calls() {  # curl arguments for one or more calls (--next between them)
  curl -s -o /dev/null --cacert "$DATA/ca.pem" -w '%{time_total}\n' "$@" | awk '{s += $1} END {printf "%.2f\n", s * 1000}'
}
curl_signin() {
  curl_calls -d "cust_id=$CUST&pwd=$PASSWORD&ipaddr=127.0.0.1" "$API/userAuth.do" \
    --next -s -o /dev/null --cacert "$DATA/ca.pem" -w '%{time_total}\n' \
    -F "text=$CUST" -F "pwd=$PFX_PASSWORD" -F "pfxFile=@$DATA/pfx/$CUST.pfx" "$API/signText.do"
}
# The account may apply again (an application puts it under review).
reset_account() {
  sqlite3 "$DATA/kova.db" "UPDATE accounts SET api_stus = 'N', certi_seno = '', certi_date = '', cust_ip = ''
    WHERE cust_id = '$CUST' AND branch_no = '0012' AND account = '1234567'"
}
curl_apply() {
  curl_calls -F "cust_id=$CUST" -F branch=0012 -F account=1234567 -F ipaddr=127.0.0.1 -F "pwd=$PFX_PASSWORD" \
    -F "pfxFile=@$DATA/pfx/$CUST.pfx" "$API/apply.do"
}
program_click() {  # X Y: client point of the program's topmost window
  "$ROOT/scripts/winerun" "$CLICK" "$1" "$2" 2>/dev/null | tr -d '\r'
}
median() { sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
report() {  # NAME PROGRAM_FILE CURL_FILE
  local p c
  p=$(median <"$2") c=$(median <"$3")
  printf '%-12s program median %8.1f ms   curl median %7.1f ms   ratio %.2f   (%d rounds)\n' \
    "$1" "$p" "$c" "$(awk -v a="$p" -v b="$c" 'BEGIN {print a / b}')" "$(wc -l <"$2")"
}

e2e_prepare
serve
curl_signin >/dev/null  # warm-up: the service's first answers

# Each round is a customer's first sign-in and first application: the
# program is started afresh.
for ((round = 0; round < ROUNDS; round++)); do
  app_start
  fill_all "$CUST" "$PASSWORD" "$CUST.pfx" "$PFX_PASSWORD"
  ms=$(program_click "${LOGIN[@]}") || fail "the account list did not show after 登入"
  echo "$ms" >>"$TMP/signin-program"
  curl_signin >>"$TMP/signin-curl"
  where
  click 1130 323  # the first account's apply picture
  for ((i = 0; i < 50; i++)); do [[ $(peek edits | wc -l) -eq 2 ]] && break; sleep 0.1; done
  ((i < 50)) || fail "the submit dialog did not show"
  read -r SW SH < <(xdotool getdisplaygeometry)
  WX=$(((SW - 500) / 2)) WY=$(((SH - 620) / 2))
  click 300 368; xdotool key End shift+Home; xdotool type --delay 5 "$PFX_DIR\\$CUST.pfx"
  click 300 428; xdotool key End shift+Home; xdotool type --delay 5 "$PFX_PASSWORD"
  ms=$(program_click 370 564) || fail "no confirmation after 送出申請"
  echo "$ms" >>"$TMP/apply-program"
  reset_account
  curl_apply >>"$TMP/apply-curl"
  reset_account
  xdotool key Return  # closes the confirmation
  sleep 0.3
  where
  app_end
  echo "round $((round + 1)): sign-in $(tail -1 "$TMP/signin-program") ms (curl $(tail -1 "$TMP/signin-curl")), application $(tail -1 "$TMP/apply-program") ms (curl $(tail -1 "$TMP/apply-curl"))"
done

report sign-in "$TMP/signin-program" "$TMP/signin-curl"
report application "$TMP/apply-program" "$TMP/apply-curl"
