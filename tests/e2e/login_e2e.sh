#!/usr/bin/env bash
# End-to-end checks of the login window: the real kovaapp.exe under Wine on an
# X display against a seeded kova-service on the program's own origins
# (https://localhost:8443, http://127.0.0.1:8080), driven with xdotool (real
# pointer and keys), checked by screenshots, by what kova_peek reads from the
# edit boxes and message boxes, and by the service's log.
#   login_e2e.sh BUILD_DIR NATIVE_SERVICE CASE
#   CASE: first idedit filter failures busy signin links update
# Texts drawn by the program (error line, version) are compared with the same
# texts drawn by ui_demo's labels at the same place: same framework, same font.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
BUILD="$(cd "$1" && pwd)"
SERVICE=$2
CASE=$3
source "$ROOT/tests/e2e/program.sh"

# ---- reference renderings (ui_demo's labels) ----------------------------------
declare -A MESSAGES=(
  [empty]="" [id]="*登入失敗，請輸入身分證字號" [pwd]="*登入失敗，請輸入密碼"
  [path]="*登入失敗，請選擇憑證路徑" [pfxpwd]="*登入失敗，請輸入憑證密碼"
  [refused]="*登入失敗，身分證字號或密碼錯誤" [noservice]="*登入失敗，無法與伺服器連線 (0)"
  [certpwd]="*登入失敗，憑證密碼或檔案錯誤" [other]="*登入失敗，帳號與憑證不符"
)
references() {  # renders each message as label 0 and each version as label 1
  demo_start login
  local key
  for key in "${!MESSAGES[@]}"; do demo_caption 0 "${MESSAGES[$key]}" "$TMP/ref-$key.png"; done
  for key in "v$VERSION" "v$NEXT_VERSION"; do demo_caption 1 "$key" "$TMP/ref-$key.png"; done
  demo_end
}
error_is() {  # KEY: the error line shows MESSAGES[KEY] (empty: nothing)
  local s; s=$(shot "${2:-error-$1}")
  python3 "$CHECK" same "$TMP/ref-$1.png" "$s" $((WX + 744)) $((WY + 452)) 440 26 >/dev/null ||
    fail "the error line is not '${MESSAGES[$1]}' (see $s)"
}
version_is() {  # v$VERSION or v$NEXT_VERSION
  local s; s=$(shot "version")
  python3 "$CHECK" same "$TMP/ref-$1.png" "$s" $((WX + 30)) $((WY + 750)) 120 24 >/dev/null ||
    fail "the version label is not $1 (see $s)"
}
PH="137 104 162"
placeholder_pixels() {  # SHOT BOX_TOP
  python3 "$CHECK" count "$1" $((WX + 877)) $((WY + $2)) 225 28 $PH
}
four_placeholders() {  # SHOT
  local top n
  for top in 236 296 356 416; do
    n=$(placeholder_pixels "$1" $top)
    ((n > 20)) || fail "no placeholder in the box at $top ($n pixels)"
  done
  [[ $(edit_text 0) == "請輸入身分證字號" && $(edit_text 1) == "請輸入登入密碼" &&
     $(edit_text 2) == "請選擇憑證PFX路徑" && $(edit_text 3) == "請輸入憑證密碼" ]] ||
    fail "placeholders: $(peek edits | tr '\n' ' ')"
}
eyes_hidden() {  # SHOT: both eyes show the hidden-state picture, as ui_demo's
  python3 "$CHECK" same "$TMP/ref-empty.png" "$1" $((WX + 1116)) $((WY + 413)) 32 32 >/dev/null ||
    fail "the certificate password's eye is not in the hidden state"
  python3 "$CHECK" same "$1" "$1" $((WX + 1116)) $((WY + 413)) 32 32 $((WX + 1116)) $((WY + 293)) >/dev/null ||
    fail "the login password's eye is not in the hidden state"
}

# ---- cases -----------------------------------------------------------------------
case_first() {
  serve
  references
  app_start
  local s; s=$(shot shown)
  four_placeholders "$s"
  eyes_hidden "$s"
  error_is empty
  version_is "v$VERSION"
  python3 "$CHECK" like "$s" "$WX" "$WY" "$ROOT/windows/res/login_face.jpg" >/dev/null || fail "the login face is not shown"
  note "first showing: four placeholders in their colour, v$VERSION, hidden-state eyes, no error"
  # Tab does not move between the boxes (none is a tab stop).
  focus_box "${ID[@]}"
  xdotool key Tab; sleep 0.3
  [[ $(edit_focus 0) == 1 ]] || fail "Tab moved the focus: $(peek edits | tr '\n' ' ')"
  note "Tab leaves the focus in its box"
  app_end
}

case_idedit() {
  serve
  references
  app_start
  fill_all "" "wrong" "A123456789.pfx" "pfx1234"
  focus_box "${ID[@]}"
  xdotool type --delay 60 "a12345678b"; sleep 0.3
  [[ $(edit_text 0) == "A12345****" ]] || fail "the ID box shows '$(edit_text 0)'"
  shot typed >/dev/null
  login_now
  [[ $(last_signin) == A12345678B ]] || fail "signed in as '$(last_signin)'"
  note "a 1 2 3 4 5 6 7 8 b show A12345**** and sign in as A12345678B (Enter is the login click)"
  focus_box "${ID[@]}"
  xdotool key End; xdotool type --delay 60 "9"; sleep 0.3
  [[ $(edit_text 0) == "A12345****" ]] || fail "an 11th key changed the box: '$(edit_text 0)'"
  # Caret after the 8th character: backspace takes the 8th.
  xdotool key End Left Left BackSpace; sleep 0.3
  [[ $(edit_text 0) == "A12345***" ]] || fail "after backspace the box shows '$(edit_text 0)'"
  login_now
  [[ $(last_signin) == A1234568B ]] || fail "an 11th key or backspace gave '$(last_signin)'"
  note "an 11th key changes nothing; backspace after the 8th character removes it"
  focus_box "${ID[@]}"
  xdotool key Home BackSpace shift+Right shift+Right; sleep 0.2
  xdotool type "z"; sleep 0.3
  login_now
  [[ $(last_signin) == Z234568B ]] || fail "replacing a selection gave '$(last_signin)'"
  focus_box "${ID[@]}"
  xdotool key Home Delete; sleep 0.3
  login_now
  [[ $(last_signin) == 234568B ]] || fail "Delete gave '$(last_signin)'"
  note "backspace at the start removes nothing; a typed key replaces the selection; Delete removes one"
  # Paste, by Shift+Insert: as typed keys would have it (upper case, the
  # spaces around it gone), cut to ten; the caret stays.
  focus_box "${ID[@]}"
  xdotool key End; for _ in 1 2 3 4 5 6 7; do xdotool key BackSpace; done; sleep 0.3
  [[ -z $(edit_text 0) ]] || fail "the ID box was not emptied: '$(edit_text 0)'"
  peek clip " a1234567890 " >/dev/null || fail "clipboard not set"
  xdotool key shift+Insert; sleep 0.5
  [[ $(edit_text 0) == "A12345****" ]] || fail "after paste the box shows '$(edit_text 0)'"
  login_now
  [[ $(last_signin) == A123456789 ]] || fail "pasted ID signed in as '$(last_signin)'"
  note "Shift+Insert of ' a1234567890 ' gives A123456789 (upper case, trimmed, cut to ten)"
  # With the right password the pasted ID and its certificate sign in.
  click "${PWD[@]}"; xdotool key End; for _ in 1 2 3 4 5; do xdotool key BackSpace; done
  xdotool type --delay 50 "Demo1234"; sleep 0.2
  click "${LOGIN[@]}"
  local i
  for ((i = 0; i < 100; i++)); do main_shown && break; sleep 0.1; done
  ((i < 100)) || fail "the pasted ID did not sign in"
  note "the pasted ID signs in"
  app_end
}

case_filter() {
  serve
  app_start
  type_into "${ID[@]}" "a1-. !b"
  [[ $(edit_text 0) == "A1B" ]] || fail "punctuation reached the ID box: '$(edit_text 0)'"
  type_into "${PWD[@]}" "p w-!."
  [[ $(edit_text 1) == "p w-!." ]] || fail "the password box refused printable characters: '$(edit_text 1)'"
  type_into "${PFXPWD[@]}" "q!"
  note "punctuation and spaces are refused in the ID box and accepted in the password boxes"
  # Big5 A4 A4 is one Chinese character: through an input method
  # (WM_IME_CHAR) and as two typed bytes (WM_CHAR), into each filtered box.
  # Neither gets in, and the plain key typed after it is not lost.
  local i before
  for i in 0 1 3; do
    before=$(edit_text $i)
    case $i in 0) focus_box "${ID[@]}" ;; 1) focus_box "${PWD[@]}" ;; 3) focus_box "${PFXPWD[@]}" ;; esac
    xdotool key End
    peek ime $i A4A4 >/dev/null; sleep 0.3
    xdotool type "x"; sleep 0.2
    peek chars $i A4 A4 >/dev/null; sleep 0.3
    xdotool type "y"; sleep 0.2
    xdotool type "z"; sleep 0.3
    case $i in
      0) [[ $(edit_text 0) == "A1BXYZ" ]] ;;
      *) [[ $(edit_text $i) == "${before}xyz" ]] ;;
    esac || fail "box $i took a Chinese character or lost a key after one: '$(edit_text $i)'"
  done
  note "a Chinese character is refused in every box, as WM_IME_CHAR and as two WM_CHAR bytes"
  app_end
}

case_failures() {
  serve
  references
  app_start
  # Each empty box in turn, the others filled.
  click "${LOGIN[@]}"; error_is id empty-id
  type_into "${ID[@]}" "a123456789"
  click "${LOGIN[@]}"; error_is pwd empty-pwd
  type_into "${PWD[@]}" "Wrong999"
  click "${LOGIN[@]}"; error_is path empty-path
  type_into "${PATHBOX[@]}" "$PFX_DIR\\A123456789.pfx"
  click "${LOGIN[@]}"; error_is pfxpwd empty-pfxpwd
  type_into "${PFXPWD[@]}" "pfx1234"
  note "each empty box has its message"
  local typed; typed=$(peek edits | cut -d' ' -f4- | tr '\n' '|')
  click "${LOGIN[@]}"; sleep 2
  error_is refused
  [[ $(peek edits | cut -d' ' -f4- | tr '\n' '|') == "$typed" ]] || fail "typed values lost: $(peek edits)"
  [[ $(peek edits | grep -c 'visible=1') -eq 4 ]] || fail "the window stayed dimmed"
  note "a wrong password: '${MESSAGES[refused]}', undimmed, typed values kept"
  type_into "${PWD[@]}" ""; xdotool key End; for _ in 1 2 3 4 5 6 7 8; do xdotool key BackSpace; done
  xdotool type --delay 50 "Demo1234"
  type_into "${PFXPWD[@]}" ""; xdotool key End; for _ in 1 2 3 4 5 6 7; do xdotool key BackSpace; done
  xdotool type --delay 50 "nope"
  click "${LOGIN[@]}"; sleep 3
  error_is certpwd
  note "a wrong certificate password: '${MESSAGES[certpwd]}'"
  type_into "${PATHBOX[@]}" ""; xdotool key End shift+Home; xdotool type --delay 20 "$PFX_DIR\\B223456789.pfx"
  type_into "${PFXPWD[@]}" ""; xdotool key End; for _ in 1 2 3 4; do xdotool key BackSpace; done
  xdotool type --delay 50 "other5678"
  click "${LOGIN[@]}"; sleep 3
  error_is other
  note "another person's certificate: '${MESSAGES[other]}'"
  kova_cleanup_service
  click "${LOGIN[@]}"; sleep 3
  error_is noservice
  [[ $(peek edits | grep -c 'visible=1') -eq 4 ]] || fail "the window stayed dimmed"
  note "no service: '${MESSAGES[noservice]}'"
  app_end
}

case_busy() {
  serve
  app_start
  fill_all "a123456789" "Wrong999" "A123456789.pfx" "pfx1234"
  click 400 600  # the background: no box focused, no caret in the picture
  fault "kind=hang&path=/kovaapp/api/userAuth.do"
  local before dimmed s
  before=$(shot before)
  click "${LOGIN[@]}"; sleep 1.5
  dimmed=$(shot dimmed)
  python3 "$CHECK" halved "$before" "$dimmed" "$WX" "$WY" 1280 798 >/dev/null || fail "the busy window is not the halved picture"
  [[ $(peek edits | grep -c 'visible=0') -eq 4 ]] || fail "edit boxes shown while busy"
  note "while the call is out the window shows its snapshot with every byte halved"
  click 200 248; click 1256 24; click 1132 309; sleep 1
  [[ ! -s $TMP/opened ]] || fail "a covered link opened $(cat "$TMP/opened")"
  app_running || fail "the covered close area closed the program"
  s=$(shot covered)
  python3 "$CHECK" same "$dimmed" "$s" "$WX" "$WY" 1280 798 >/dev/null || fail "a covered label reacted"
  note "no click reaches a label while busy"
  fault "kind=none"
  sleep 3
  [[ $(peek edits | grep -c 'visible=1') -eq 4 ]] || fail "the window did not undim after the answer"
  note "the released answer undims the window"
  app_end
}

case_signin() {
  serve
  references
  local marker="$TMP/marker"; touch "$marker"; sleep 1
  # 100 KiB from the IP echo: taken as no address, the sign-in still succeeds.
  hostile_echo long
  sign_in "a123456789" "Demo1234" "A123456789.pfx" "pfx1234"
  echo_taken
  local i s
  [[ $(last_signin) == A123456789 ]] || fail "signed in as $(last_signin)"
  [[ $(requests "/kovaapp/api/signText.do") -eq 1 ]] || fail "signText was not called once"
  note "a correct sign-in hides the login window and shows the account list"
  local written
  written=$(find "$WINEPREFIX/drive_c/users" -type f -newer "$marker" 2>/dev/null || true)
  [[ -z $written ]] || fail "files written: $written"
  note "nothing written in the prefix's user folders"
  # Log out: the login window again, four placeholders, hidden eyes, no error.
  click 785 740
  for ((i = 0; i < 50; i++)); do [[ $(peek edits | wc -l) -eq 4 ]] && break; sleep 0.1; done
  ((i < 50)) || fail "log-out did not show the login window"
  sleep 0.5
  s=$(shot after-logout)
  four_placeholders "$s"
  eyes_hidden "$s"
  error_is empty
  note "after log-out: four placeholders, hidden-state eyes, an empty error line"
  app_end
}

case_links() {
  serve
  app_start
  local spots=("200 248 /ekova/upload/kovaapi/index.html" "640 723 /ekova/upload/kovaapi/faq.html"
               "797 723 /KovaWeb/miniRiskLogin.aspx" "960 723 /project/ekey/RAWinApp.exe"
               "1079 723 /ekovaTran/forgetPw.do")
  local spot x y path i
  for spot in "${spots[@]}"; do
    read -r x y path <<<"$spot"
    click "$x" "$y"
    for ((i = 0; i < 100; i++)); do [[ $(requests "$path") -ge 1 ]] && break; sleep 0.1; done
    ((i < 100)) || fail "a click on the link to $path did not reach the service"
    grep -q "^https://localhost:8443$path\$" "$TMP/opened" || fail "opened: $(cat "$TMP/opened")"
  done
  note "each of the five links opens its page on the service"
  # A double click is one click: the page opens once, the eye toggles once.
  xdotool mousemove $((WX + 640)) $((WY + 723)); sleep 0.2; xdotool click --repeat 2 --delay 80 1; sleep 3
  [[ $(requests /ekova/upload/kovaapi/faq.html) -eq 2 ]] || fail "a double click opened the page $(( $(requests /ekova/upload/kovaapi/faq.html) - 1 )) times"
  # The eye toggles only over a typed password (over a placeholder it stays hidden).
  type_into "${PWD[@]}" "abc"
  local before after
  before=$(shot eye-before)
  xdotool mousemove $((WX + 1132)) $((WY + 309)); sleep 0.2; xdotool click --repeat 2 --delay 80 1; sleep 0.5
  after=$(shot eye-after)
  python3 "$CHECK" same "$before" "$after" $((WX + 1116)) $((WY + 293)) 32 32 >/dev/null &&
    fail "a double click on the eye toggled it twice"
  note "a double click opens a page once and toggles an eye once"
  app_end
}

case_update() {
  "$SERVICE" manifest "$DATA" --version "$NEXT_VERSION" --file "$NEXT" --name kovaapp.exe >/dev/null || fail "manifest"
  serve
  references
  mkdir -p "$TMP/install"
  cp "$APP" "$TMP/install/kovaapp.exe"
  "$ROOT/scripts/winerun" "$TMP/install/kovaapp.exe" >"$TMP/app.out" 2>&1 </dev/null &
  APP_PID=$!
  local b
  b=$(box 150) || fail "no update offered"
  [[ $b == "KOVA API權限申請服務|有新的程式版本，即將下載更新" ]] || fail "offer box: $b"
  shot offered >/dev/null
  box_ok
  b=$(box 150) || fail "the download did not end"
  [[ $b == "KOVA API權限申請服務|下載更新完畢，即將重新啟動程式" ]] || fail "download box: $b"
  box_ok
  wait "$APP_PID" 2>/dev/null || true
  APP_PID=
  note "offered $NEXT_VERSION, downloaded, the program closed"
  # The replaced program starts by itself (through restart mode).
  local i
  for ((i = 0; i < 150; i++)); do [[ $(peek edits 2>/dev/null | wc -l) -eq 4 ]] && break; sleep 0.2; done
  ((i < 150)) || fail "the replaced program shows no login window"
  sleep 1
  where
  cmp -s "$NEXT" "$TMP/install/kovaapp.exe" || fail "the installed file was not replaced"
  version_is "v$NEXT_VERSION"
  note "the replaced program restarted and shows v$NEXT_VERSION"
  click 1256 24; sleep 2
  "$KOVA_WINE" taskkill /f /im kovaapp.exe >/dev/null 2>&1 || true
  # A failed download: the message, and the program goes on.
  fault "kind=status&code=404&path=/download/API/kovaapp.exe"
  cp "$APP" "$TMP/install/kovaapp.exe"
  "$ROOT/scripts/winerun" "$TMP/install/kovaapp.exe" >"$TMP/app.out" 2>&1 </dev/null &
  APP_PID=$!
  b=$(box 150) || fail "no update offered the second time"
  box_ok
  b=$(box 150) || fail "the failed download was not reported"
  [[ $b == "KOVA API權限申請服務|下載更新失敗" ]] || fail "failure box: $b"
  box_ok
  [[ $(peek edits | wc -l) -eq 4 ]] || fail "the program did not go on after the failed download"
  app_running || fail "the program ended after the failed download"
  cmp -s "$APP" "$TMP/install/kovaapp.exe" || fail "the installed file changed"
  note "a failed download shows '下載更新失敗' and the program goes on"
  where
  app_end
}

e2e_prepare
"case_$CASE"
echo "[$CASE] passed"
