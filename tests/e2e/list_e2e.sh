#!/usr/bin/env bash
# End-to-end checks of the account list window, the submit dialog and the
# confirmation dialog: the real kovaapp.exe under Wine against a seeded
# kova-service, driven with xdotool, checked by screenshots, by the service's
# log and by its records (kova-service dump).
#   list_e2e.sh BUILD_DIR NATIVE_SERVICE CASE      CASE: grid empty apply reload
# Cells and labels are compared with ui_demo's, which shows the same faces
# with the same framework and fonts (its list grid and submit labels hold
# texts of the seed's first accounts).
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
BUILD="$(cd "$1" && pwd)"
SERVICE=$2
CASE=$3
source "$ROOT/tests/e2e/program.sh"

# Grid geometry (client coordinates), as the list window has it.
layout() { sed -n "s/^constexpr int $1\(\[[^]]*\]\)\? = {\?\([0-9, ]*\)}\?;.*/\2/p" "$ROOT/windows/listlayout.h" | tr -d ,; }
GRID_LEFT=$(layout kGridLeft) GRID_TOP=$(layout kGridTop) ROW_H=$(layout kGridRowHeight)
[[ -n $GRID_LEFT && -n $GRID_TOP && -n $ROW_H ]] || { echo "list_e2e: cannot read windows/listlayout.h" >&2; exit 1; }
COLS=("$GRID_LEFT")
for w in $(layout kGridColumnWidths); do COLS+=($((COLS[-1] + w))); done
[[ ${#COLS[@]} -eq 8 ]] || { echo "list_e2e: cannot read the column widths" >&2; exit 1; }
# Column 6 stops short of the scroll bar, which only some grids show.
COLS[-1]=$((COLS[-1] - 20))
cell() {  # COL ROW: sets CX CY CW CH
  CX=${COLS[$1]} CW=$((COLS[$1 + 1] - COLS[$1])) CY=$((GRID_TOP + ROW_H * $2)) CH=$ROW_H
}
same_cell() {  # SHOT REF COL ROW [REF_ROW]: the cell looks as in the reference
  cell "$3" "${5:-$4}"; local ry=$CY
  cell "$3" "$4"
  python3 "$CHECK" same "$2" "$1" $((WX + CX)) $((WY + ry)) "$CW" "$CH" $((WX + CX)) $((WY + CY)) >/dev/null
}

list_reference() {  # ui_demo's list face
  demo_start list
  import -window root "$TMP/ref-list.png"
  demo_end
}

# The submit dialog, centred on the screen.
SW=1366 SH=900
dialog_xy() { read -r SW SH < <(xdotool getdisplaygeometry); DX=$(((SW - 500) / 2)) DY=$(((SH - 620) / 2)); }
dclick() { xdotool mousemove $((DX + $1)) $((DY + $2)); sleep 0.15; xdotool click 1; sleep 0.3; }
dialog_shown() { xdotool search --onlyvisible --name "^送出申請確認\$" >/dev/null 2>&1; }
wait_dialog() {  # 1: shown, 0: gone
  local i
  for ((i = 0; i < 50; i++)); do
    if dialog_shown; then [[ $1 == 1 ]] && return 0; else [[ $1 == 0 ]] && return 0; fi
    sleep 0.2
  done
  return 1
}
declare -A SUBMIT=(
  [empty]="" [path]="*送出失敗，請選擇憑證路徑" [pwd]="*送出失敗，請輸入憑證密碼"
  [badpwd]="*送出失敗，憑證密碼錯誤" [badpath]="*送出失敗，憑證路徑有誤"
)
submit_references() {  # ui_demo's submit face: the account labels, each error line as label 3
  demo_start submit
  local key
  for key in "${!SUBMIT[@]}"; do demo_caption 3 "${SUBMIT[$key]}" "$TMP/ref-submit-$key.png"; done
  demo_end
}
submit_error_is() {  # KEY
  sleep 0.5
  local s; s=$(shot "submit-$1")
  python3 "$CHECK" same "$TMP/ref-submit-$1.png" "$s" $((DX + 40)) $((DY + 452)) 440 26 >/dev/null ||
    fail "the dialog's error line is not '${SUBMIT[$1]}' (see $s)"
}

# ---- cases -----------------------------------------------------------------------
case_grid() {
  serve
  list_reference
  hostile_echo word
  sign_in "a123456789" "Demo1234" "A123456789.pfx" "pfx1234"
  echo_taken
  local s; s=$(shot grid)
  # Row 0 (S 0012/1234567, may apply): as ui_demo's first row but for the
  # signing date; row 1 (unsigned): its declaration and permission cells.
  local c
  for c in 0 1 2 4 5 6; do same_cell "$s" "$TMP/ref-list.png" $c 0 || fail "row 0, column $c differs (see $s)"; done
  for c in 3 4; do same_cell "$s" "$TMP/ref-list.png" $c 1 || fail "row 1, column $c differs (see $s)"; done
  # Row 2 under review, as ui_demo's third row's permission word.
  same_cell "$s" "$TMP/ref-list.png" 4 2 || fail "row 2's permission word differs"
  # Row 1's sentence is ui_demo's up to the link, which is drawn as a link.
  cell 5 1
  python3 "$CHECK" same "$TMP/ref-list.png" "$s" $((WX + CX)) $((WY + CY)) 250 "$CH" >/dev/null ||
    fail "row 1's sentence before the link differs"
  python3 "$CHECK" same "$TMP/ref-list.png" "$s" $((WX + CX + 280)) $((WY + CY)) 80 "$CH" >/dev/null &&
    fail "'請立即簽署' is not drawn as a link"
  note "the grid shows the seeded rows: declaration with its date, permission words and sentences, the link"
  # The apply picture: active on row 0 only among the first four rows.
  same_cell "$s" "$TMP/ref-list.png" 6 1 || fail "row 1 has not the inactive picture"
  same_cell "$s" "$s" 6 2 1 && same_cell "$s" "$s" 6 3 1 || fail "rows 2 and 3 have not the inactive picture"
  same_cell "$s" "$s" 6 0 1 && fail "row 0 has not the active picture"
  note "the active apply picture on the row that may apply, the inactive one elsewhere"
  # The link opens the risk-declaration page; the sentence before it does not.
  cell 5 1
  click $((CX + 60)) $((CY + 32)); sleep 1
  [[ $(requests /KovaWeb/miniRiskLogin.aspx) -eq 0 ]] || fail "the sentence opened the page"
  click $((CX + 300)) $((CY + 32))
  local i
  for ((i = 0; i < 100; i++)); do [[ $(requests /KovaWeb/miniRiskLogin.aspx) -eq 1 ]] && break; sleep 0.1; done
  ((i < 100)) || fail "a click on the link did not reach the risk-declaration page"
  note "a click on '請立即簽署' reaches the risk-declaration page, the words before it do nothing"
  # Beside the picture in its cell: nothing.
  cell 6 0
  click $((CX + 5)) $((CY + 32)); sleep 1
  dialog_shown && fail "a click beside the apply picture opened the dialog"
  note "a click beside the apply picture does nothing"
  # The rows below: scrolled into view, the other two that may apply.
  for i in 1 2 3 4 5; do click 1182 545; done
  sleep 0.5
  s=$(shot scrolled)
  # Shown now: rows 5 to 8, of which 6 and 8 may apply.
  same_cell "$s" "$TMP/ref-list.png" 6 1 0 && same_cell "$s" "$s" 6 3 1 ||
    fail "rows 6 and 8 lack the active picture (see $s)"
  same_cell "$s" "$s" 6 2 0 && ! same_cell "$s" "$s" 6 1 0 || fail "rows 5 and 7 show the active picture (see $s)"
  note "further down, the active picture on the other two rows that may apply"
  app_end
}

case_empty() {
  sqlite3 "$DATA/kova.db" "DELETE FROM accounts WHERE cust_id = 'B223456789';" || fail "sqlite3"
  serve
  sign_in "b223456789" "Test5678" "B223456789.pfx" "other5678"
  local s; s=$(shot empty)
  # The whole grid is its background colour: no cell was painted.
  local n; n=$(python3 "$CHECK" count "$s" $((WX + 92)) $((WY + 293)) 1060 258 30 9 104)
  ((n >= 1060 * 258 * 99 / 100)) || fail "the empty grid has painted cells ($n pixels of background)"
  click 600 400; click 1130 323; sleep 1
  app_running || fail "the program ended"
  dialog_shown && fail "a click on the empty grid opened the dialog"
  note "a customer with no accounts gets an unpainted grid; clicks on it do nothing"
  app_end
}

case_apply() {
  serve
  submit_references
  sign_in "a123456789" "Demo1234" "A123456789.pfx" "pfx1234"
  local before s
  before=$(shot before)
  cell 6 0
  click $((CX + 60)) $((CY + 32))
  wait_dialog 1 || fail "the submit dialog did not show"
  dialog_xy
  sleep 0.5
  s=$(shot dialog)
  python3 "$CHECK" halved "$before" "$s" "$WX" "$WY" 380 798 >/dev/null || fail "the list is not dimmed (see $s)"
  python3 "$CHECK" same "$TMP/ref-submit-empty.png" "$s" $((DX + 180)) $((DY + 170)) 240 150 >/dev/null ||
    fail "the dialog does not show 證券, 台北分公司, 1234567 (see $s)"
  note "the window dims; the dialog shows the account's product, branch and number"
  # Cancel, then the close glyph: the dialog goes and the list undims, unchanged.
  local how
  for how in "130 564" "476 23"; do
    dclick $how
    wait_dialog 0 || fail "a click at $how did not close the dialog"
    sleep 0.5
    s=$(shot cancelled)
    python3 "$CHECK" same "$before" "$s" "$WX" "$WY" 1280 798 >/dev/null || fail "the list is not as before (see $s)"
    cell 6 0
    click $((CX + 60)) $((CY + 32))
    wait_dialog 1 || fail "the submit dialog did not show again"
    sleep 0.5
  done
  note "Cancel and the close glyph close the dialog; the list undims with its grid unchanged"
  dclick 370 564; submit_error_is path
  dclick 300 368; xdotool type --delay 20 "$PFX_DIR\\A123456789.pfx"
  dclick 370 564; submit_error_is pwd
  note "an empty path and an empty password give their messages"
  dclick 300 428; xdotool type --delay 40 "nope"; xdotool key Return; sleep 2
  submit_error_is badpwd
  dialog_shown || fail "the dialog closed on a refusal"
  note "a wrong certificate password: '${SUBMIT[badpwd]}', the dialog stays"
  dclick 300 368; xdotool key End shift+Home; xdotool type --delay 20 "$PFX_DIR\\missing.pfx"
  dclick 300 428; xdotool key End BackSpace BackSpace BackSpace BackSpace; xdotool type --delay 40 "pfx1234"
  xdotool key Return; sleep 1
  submit_error_is badpath
  note "an unreadable certificate file: '${SUBMIT[badpath]}'"
  [[ $(requests /kovaapp/api/apply.do) -eq 1 ]] || fail "apply calls: $(requests /kovaapp/api/apply.do)"
  # The right file, more than the service's keep-alive after the last call:
  # the upload must not fail on a connection the server has closed.
  sleep 3
  dclick 300 368; xdotool key End shift+Home; xdotool type --delay 20 "$PFX_DIR\\A123456789.pfx"
  # The service takes its time: the dialog is busy meanwhile, and a second
  # Enter, a click on 送出申請, Esc, Cancel and the close glyph all do nothing.
  local ready sent
  sleep 0.3
  ready=$(shot submit-ready)
  sent=$(requests /kovaapp/api/apply.do)
  fault "kind=delay&path=/kovaapp/api/apply.do&ms=5000&count=1"
  xdotool key Return; sleep 0.5
  s=$(shot submit-busy)
  python3 "$CHECK" halved "$ready" "$s" "$DX" "$DY" 500 620 >/dev/null || fail "the busy dialog is not dimmed (see $s)"
  xdotool key Return; dclick 370 564; xdotool key Escape; sleep 0.3; dclick 130 564; dclick 476 23
  dialog_shown || fail "the busy dialog closed"
  python3 "$CHECK" halved "$ready" "$(shot submit-still-busy)" "$DX" "$DY" 500 620 >/dev/null ||
    fail "the dialog is no longer dimmed while its application is out"
  note "while the application is out the dialog is dimmed; Enter, clicks, Esc and close do nothing"
  local i
  for ((i = 0; i < 50; i++)); do
    s=$(shot confirm)
    python3 "$CHECK" like "$s" $(((SW - 480) / 2)) $(((SH - 520) / 2)) "$ROOT/windows/res/confirm_face.jpg" >/dev/null && break
    sleep 0.2
  done
  ((i < 50)) || fail "no confirmation dialog (see $s)"
  note "a correct submission closes the dialog and shows the confirmation"
  [[ $(requests /kovaapp/api/apply.do) -eq $((sent + 1)) ]] ||
    fail "one submission sent $(($(requests /kovaapp/api/apply.do) - sent)) applications"
  note "the service was sent that application once"
  # One click on its painted OK closes it, the first time it is shown.
  xdotool mousemove $(((SW - 480) / 2 + 242)) $(((SH - 520) / 2 + 459)); sleep 0.15; xdotool click 1
  wait_dialog 0 || fail "one click on OK did not close the confirmation"
  sleep 0.5
  s=$(shot after)
  python3 "$CHECK" like "$s" "$WX" "$WY" "$ROOT/windows/res/list_face.jpg" >/dev/null || fail "the list stayed dimmed"
  same_cell "$s" "$s" 6 0 1 || fail "row 0 still shows the active picture"
  same_cell "$s" "$before" 4 0 2 || fail "row 0 does not read 申請中"
  note "the row turns to 申請中, the window undims"
  local dump; dump=$("$SERVICE" dump "$DATA")
  python3 - "$dump" <<'PY' || fail "the service's records: $dump"
import json, sys
apps = json.loads(sys.argv[1])["applications"]
assert len(apps) == 1, apps
a = apps[0]
assert (a["cust_id"], a["branch"], a["account"], a["ipaddr"]) == ("A123456789", "0012", "1234567", "127.0.0.1"), a
PY
  note "the service recorded exactly one application, with the address from the IP echo"
  app_end
}

case_reload() {
  serve
  list_reference
  # The IP echo answers a form part of its own after CR LF: the sign-in and
  # the application go through without it, and nothing ever reaches the disk.
  hostile_echo crlf
  app_start
  local kovatmp; kovatmp=$(temp_folder)
  [[ -d $kovatmp ]] || fail "no temporary folder"
  local stamp; stamp=$(stat -c %y "$kovatmp")
  sign_in_started "a123456789" "Demo1234" "A123456789.pfx" "pfx1234"
  echo_taken
  # The operator's review turns an application under review into enabled.
  "$SERVICE" approve "$DATA" --cust A123456789 --branch 0031 --account 4567890 >/dev/null || fail "approve"
  local before=$(signins | wc -l)
  click 346 195
  local i s
  for ((i = 0; i < 50; i++)); do (($(signins | wc -l) > before)) && break; sleep 0.1; done
  ((i < 50)) || fail "reload did not sign in again"
  sleep 1.5
  s=$(shot reloaded)
  # Row 3 now reads 已開通, as ui_demo's fourth row.
  same_cell "$s" "$TMP/ref-list.png" 4 3 || fail "the reloaded row 3 does not read 已開通 (see $s)"
  note "reload signs in again and refills the grid"
  # With the service stopped the reload fails: the window undims, the list
  # stays as it was, and once the service is back an application goes through.
  kova_cleanup_service
  click 346 195; sleep 2
  local after
  after=$(shot reload-failed)
  python3 "$CHECK" same "$s" "$after" "$WX" "$WY" 1280 798 >/dev/null || fail "a failed reload changed the list (see $after)"
  note "a reload without the service only undims; the list is unchanged"
  serve
  cell 6 0
  click $((CX + 60)) $((CY + 32))
  wait_dialog 1 || fail "the submit dialog did not show after the failed reload"
  dialog_xy
  dclick 300 368; xdotool type --delay 20 "$PFX_DIR\\A123456789.pfx"
  dclick 300 428; xdotool type --delay 40 "pfx1234"; xdotool key Return
  for ((i = 0; i < 50; i++)); do
    s=$(shot reload-confirm)
    python3 "$CHECK" like "$s" $(((SW - 480) / 2)) $(((SH - 520) / 2)) "$ROOT/windows/res/confirm_face.jpg" >/dev/null && break
    sleep 0.2
  done
  ((i < 50)) || fail "no confirmation after the failed reload (see $s)"
  xdotool key Return
  wait_dialog 0 || fail "Enter did not close the confirmation"
  note "after the failed reload the account still applies"
  local dump; dump=$("$SERVICE" dump "$DATA")
  python3 - "$dump" "$KOVA_RUN/service.log" <<'PY' || fail "an injected field, or the echo's value, reached the service: $dump"
import json, re, sys
apps = json.loads(sys.argv[1])["applications"]
assert [a["ipaddr"] for a in apps] == [""], apps
parts = re.findall(r"^apply parts=\[(.*)\]$", open(sys.argv[2], encoding="utf-8").read(), re.M)
assert parts and all(sorted(json.loads("[" + p + "]")) == sorted(["cust_id", "branch", "account", "ipaddr", "pwd", "pfxFile"])
                     for p in parts), parts
PY
  note "with a CR LF in the echo's answer the address is sent empty and the service sees no injected part"
  click 785 740
  for ((i = 0; i < 50; i++)); do [[ $(peek edits | wc -l) -eq 4 ]] && break; sleep 0.1; done
  ((i < 50)) || fail "log-out did not show the login window"
  # Focus may still be settling into the ID box, which then shows nothing
  # instead of its placeholder; either way the ID is gone.
  local idtext
  for ((i = 0; i < 20; i++)); do idtext=$(edit_text 0); [[ -n $idtext ]] && break; sleep 0.1; done
  [[ -z $idtext || $idtext == "請輸入身分證字號" ]] || fail "the login window kept the ID: $idtext"
  note "log-out returns to the login window with its placeholders"
  [[ -z $(find "$kovatmp" -mindepth 1 2>/dev/null) && $(stat -c %y "$kovatmp") == "$stamp" ]] ||
    fail "the temporary folder was written: $(ls -la "$kovatmp")"
  note "sign-in, application and log-out wrote nothing to the temporary folder, not even for a while"
  # Every line "value ansi-count utf16-count": both passwords, no copy left.
  for ((i = 0; i < 50; i++)); do [[ -f $HEAP_REPORT && $(wc -l <"$HEAP_REPORT") -ge 2 ]] && break; sleep 0.1; done
  [[ $(awk '$2 != 0 || $3 != 0' "$HEAP_REPORT" | wc -l) -eq 0 && $(wc -l <"$HEAP_REPORT") -eq 2 ]] ||
    fail "after log-out the passwords are still in the program's heap: $(cat "$HEAP_REPORT" 2>/dev/null)"
  note "after log-out neither password is left in the program's heap"
  app_end
}

e2e_prepare
"case_$CASE"
echo "[$CASE] passed"
