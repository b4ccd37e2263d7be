#!/usr/bin/env bash
# End-to-end checks of the window framework: ui_demo.exe under Wine on an X
# display, driven with xdotool (real pointer), checked by screenshots.
#   ui_demo_e2e.sh BUILD_DIR CASE     CASE: faces drag clicks close minimise dim placeholder exception dialog
# Uses $DISPLAY (scripts/test starts a private Xvfb); without one, starts Xvfb :93.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
BUILD="$(cd "$1" && pwd)"
CASE="$2"
DEMO="$BUILD/ui_demo.exe"
SHOTS="$BUILD/e2e-shots"
CHECK="$ROOT/tests/e2e/shots.py"
RES="$ROOT/windows/res"
mkdir -p "$SHOTS"
eval "$("$ROOT/scripts/wineprefix" env)"

source "$ROOT/tests/e2e/lib.sh"

TMP="$(mktemp -d)"
DEMO_PID=
cleanup() {
  exec 3>&- 2>/dev/null || true
  if [[ -n $DEMO_PID ]] && kill -0 "$DEMO_PID" 2>/dev/null; then
    kill "$DEMO_PID" 2>/dev/null || true
    wait "$DEMO_PID" 2>/dev/null || true
  fi
  [[ -n $E2E_XVFB_PID ]] && kill "$E2E_XVFB_PID" 2>/dev/null
  rm -rf "$TMP"
  return 0
}
trap cleanup EXIT
# A demo that has ended must fail the check that follows, not kill this script.
trap '' PIPE
e2e_display 93

fail() { echo "FAIL [$CASE]: $*" >&2; echo "--- demo output:" >&2; cat "$TMP/out" >&2 2>/dev/null; exit 1; }

# ---- the demo process ----------------------------------------------------------
LINES_SEEN=0
start() {  # FACE
  rm -f "$TMP/cmd" "$TMP/out"
  mkfifo "$TMP/cmd"
  : >"$TMP/out"
  "$ROOT/scripts/winerun" "$DEMO" "$1" <"$TMP/cmd" >"$TMP/out" 2>"$TMP/err" &
  DEMO_PID=$!
  exec 3>"$TMP/cmd"
  LINES_SEEN=0
  expect "^ready $1" 30
  where
  sleep 0.3
}
send() { echo "$1" >&3 2>/dev/null || true; }
# Waits for a new output line matching the pattern; sets LINE.
expect() {  # PATTERN [SECONDS]
  local limit=$(( ${2:-10} * 10 )) i n
  for ((i = 0; i < limit; i++)); do
    n=$(wc -l <"$TMP/out")
    if ((n > LINES_SEEN)); then
      # Lines up to and including the first match count as seen.
      local hit
      hit=$(tail -n +"$((LINES_SEEN + 1))" "$TMP/out" | tr -d '\r' | grep -n -m1 -E "$1" || true)
      if [[ -n $hit ]]; then
        LINE=${hit#*:}
        LINES_SEEN=$((LINES_SEEN + ${hit%%:*}))
        return 0
      fi
    fi
    sleep 0.1
  done
  fail "no line /$1/ within ${2:-10}s"
}
# No new line matching the pattern appears within the time.
expect_none() {  # PATTERN SECONDS
  sleep "$2"
  if tail -n +"$((LINES_SEEN + 1))" "$TMP/out" | tr -d '\r' | grep -q -E "$1"; then fail "unexpected line /$1/"; fi
  LINES_SEEN=$(wc -l <"$TMP/out")
}
where() {  # sets WX WY WW WH
  send where
  expect "^pos " 10
  read -r _ WX WY WW WH <<<"$LINE"
}
state() { send state; expect "^state " 10; STATE="$LINE"; }
stop() {
  send quit
  exec 3>&-
  local i
  for ((i = 0; i < 100; i++)); do kill -0 "$DEMO_PID" 2>/dev/null || break; sleep 0.1; done
  wait "$DEMO_PID" 2>/dev/null || true
  DEMO_PID=
}
ended() {  # the process ends by itself within the time
  local i
  for ((i = 0; i < 100; i++)); do
    if ! kill -0 "$DEMO_PID" 2>/dev/null; then wait "$DEMO_PID" 2>/dev/null || true; DEMO_PID=; exec 3>&-; return 0; fi
    sleep 0.1
  done
  fail "the demo did not end"
}

# ---- cases --------------------------------------------------------------------------
case_faces() {
  local face ref
  for face in login list submit confirm; do
    ref="$RES/${face}_face.jpg"
    start "$face"
    read -r fw fh < <(identify -format '%w %h\n' "$ref")
    [[ "$WW $WH" == "$fw $fh" ]] || fail "$face: client ${WW}x$WH, face ${fw}x$fh"
    local s; s=$(shot "$face")
    convert "$s" -crop "${WW}x${WH}+${WX}+${WY}" +repage "$SHOTS/face-$face.png"
    python3 "$CHECK" like "$s" "$WX" "$WY" "$ref" || fail "$face: the window does not show its face"
    note "$face: ${WW}x$WH at $WX,$WY shows its face"
    stop
  done
}

case_drag() {
  # login: drag flag; confirm: left button held.
  local face bx by lx ly
  for face in login confirm; do
    if [[ $face == login ]]; then bx=400 by=600 lx=760 ly=570; else bx=60 by=150 lx=100 ly=450; fi
    start "$face"
    local x0=$WX y0=$WY before after
    before=$(shot "$face-before")
    drag $bx $by 60 40 1
    where
    [[ $WX -eq $((x0 + 60)) && $WY -eq $((y0 + 40)) ]] || fail "$face: left drag moved to $WX,$WY from $x0,$y0"
    after=$(shot "$face-after-left")
    python3 "$CHECK" same "$before" "$after" "$x0" "$y0" 400 40 "$WX" "$WY" 0 || fail "$face: face not at the new place"
    note "$face: left drag by (60,40) moved the window by (60,40)"
    x0=$WX y0=$WY
    drag $bx $by -50 -30 3
    where
    [[ $WX -eq $x0 && $WY -eq $y0 ]] || fail "$face: right drag moved the window to $WX,$WY"
    note "$face: right drag did not move it"
    drag $lx $ly 50 60 1  # released off the label: no click either
    where
    [[ $WX -eq $x0 && $WY -eq $y0 ]] || fail "$face: a drag from a button label moved the window"
    note "$face: a press on a transparent button label does not drag"
    stop
  done
}

case_clicks() {
  start login
  click 200 248; expect "^click MoreLabel$" 5
  click 640 723; expect "^click FAQLabel$" 5
  click 400 600; expect_none "^click " 1
  note "label clicks run their handlers; the background runs none"
  click 1132 429; expect "^eye shown$" 5
  stop
  start list
  click 700 330; expect "^cell 5 0$" 5
  click 1130 420; expect "^cell 6 1$" 5
  note "grid clicks report the current cell"
  stop
}

case_close() {
  start login
  click 1256 24; expect "^click CloseLabel$" 5; expect "^ended$" 10
  ended
  note "login close area ends the application"
  start submit
  click 476 23; expect "^click CloseLabel$" 5; expect "^ended$" 10
  ended
  note "dialog close area closes it"
}

case_minimise() {
  start list
  local before after
  before=$(shot before)
  click 1219 24; expect "^click MinimizeLabel$" 5
  state
  [[ $STATE == *"visible=0 minimized=1"* ]] || fail "after minimise: $STATE"
  after=$(shot minimised)
  if python3 "$CHECK" same "$before" "$after" "$WX" "$WY" "$WW" 48 "$WX" "$WY" 8 >/dev/null; then
    fail "the face is still on the screen"
  fi
  note "the minimise area hid the application"
  send restore; expect "^restored$" 5
  state
  [[ $STATE == *"visible=1 minimized=0"* ]] || fail "after restore: $STATE"
  after=$(shot restored)
  python3 "$CHECK" same "$before" "$after" "$WX" "$WY" "$WW" "$WH" "$WX" "$WY" 0 || fail "restore did not bring the face back"
  note "restore brings it back"
  stop
}

case_dim() {
  local face lx ly label before dimmed undimmed
  for face in login list; do
    if [[ $face == login ]]; then lx=200 ly=248 label=MoreLabel; else lx=400 ly=738 label=FAQLabel; fi
    start "$face"
    before=$(shot "$face-before")
    send dim; expect "^dimmed$" 5
    dimmed=$(shot "$face-dimmed")
    python3 "$CHECK" halved "$before" "$dimmed" "$WX" "$WY" "$WW" "$WH" || fail "$face: dimmed picture is not the halved one"
    click "$lx" "$ly"; expect_none "^click " 1
    local x0=$WX y0=$WY
    drag 400 600 60 40 1
    where
    [[ $WX -eq $x0 && $WY -eq $y0 ]] || fail "$face: the dimmed window could be dragged"
    note "$face: dimmed picture is every pixel halved; labels covered"
    send undim; expect "^undimmed$" 5
    undimmed=$(shot "$face-undimmed")
    python3 "$CHECK" same "$before" "$undimmed" "$WX" "$WY" "$WW" "$WH" "$WX" "$WY" 0 || fail "$face: undim did not restore"
    click "$lx" "$ly"; expect "^click $label$" 5
    note "$face: undim restores the face and its controls"
    stop
  done
  # Modal dialog over the dimmed window: result 1 from the submit spot, 2 from close.
  start list
  send modal; sleep 1.5
  shot modal >/dev/null
  local sw sh
  read -r sw sh < <(xdotool getdisplaygeometry)
  local sx=$(( (sw - 500) / 2 )) sy=$(( (sh - 620) / 2 ))
  xdotool mousemove $((sx + 370)) $((sy + 564)) click 1; expect "^modal 1$" 5
  send modal; sleep 1.5
  xdotool mousemove $((sx + 476)) $((sy + 23)) click 1; expect "^modal 2$" 5
  note "modal dialog ends with 1 (done) and 2 (cancelled)"
  stop
}

case_placeholder() {
  start login
  local s n
  local PH="137 104 162"
  # ID box at 877,236 225x28; password box at 877,296.
  s=$(shot shown)
  n=$(python3 "$CHECK" count "$s" $((WX + 877)) $((WY + 236)) 225 28 $PH)
  ((n > 20)) || fail "no placeholder text in the ID box ($n pixels)"
  click 950 250; expect "^enter IDEdit$" 5
  s=$(shot id-focused)
  n=$(python3 "$CHECK" count "$s" $((WX + 877)) $((WY + 236)) 225 28 $PH)
  ((n == 0)) || fail "placeholder still shown on focus ($n pixels)"
  xdotool type --delay 60 "a1"; sleep 0.3
  click 950 310; expect "^exit IDEdit$" 5; expect "^enter PwdEdit$" 5
  s=$(shot typed)
  n=$(python3 "$CHECK" count "$s" $((WX + 877)) $((WY + 236)) 225 28 255 255 255)
  ((n > 10)) || fail "typed text not white ($n pixels)"
  n=$(python3 "$CHECK" count "$s" $((WX + 877)) $((WY + 296)) 225 28 $PH)
  ((n == 0)) || fail "password placeholder shown while focused ($n pixels)"
  click 950 370; expect "^exit PwdEdit$" 5
  s=$(shot left-empty)
  n=$(python3 "$CHECK" count "$s" $((WX + 877)) $((WY + 296)) 225 28 $PH)
  ((n > 20)) || fail "placeholder not restored in its colour on leaving empty ($n pixels)"
  note "placeholder cleared on enter, restored on leaving empty, typed text white"
  click 950 250; expect "^enter IDEdit$" 5
  xdotool key Tab; expect_none "^exit IDEdit$" 1
  note "Tab does not leave a box that is no tab stop"
  stop
  start submit
  click 250 368; expect "^enter PFXPathEdit$" 5
  xdotool key Tab; expect "^exit PFXPathEdit$" 5; expect "^enter PFXPwdEdit$" 5
  note "Tab moves between tab stops"
  stop
}

case_exception() {
  start confirm
  local title="KOVA API權限申請暨環境使用驗證服務" box=
  send throw; sleep 1.5
  box=$(xdotool search --onlyvisible --name "$title" 2>/dev/null | head -1 || true)
  [[ -n $box ]] || fail "no exception box titled $title"
  shot box >/dev/null
  # Its one OK button, centred near the bottom (no window manager: no frame).
  local X Y WIDTH HEIGHT SCREEN
  eval "$(xdotool getwindowgeometry --shell "$box")"
  xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT - 24)); sleep 0.3
  xdotool mousedown 1; sleep 0.15; xdotool mouseup 1
  local i
  for ((i = 0; i < 50; i++)); do
    [[ -z $(xdotool search --onlyvisible --name "$title" 2>/dev/null || true) ]] && break
    sleep 0.1
  done
  ((i < 50)) || fail "the exception box stayed open"
  where  # the message loop goes on
  note "an exception in a handler shows the standard box and the loop goes on"
  stop
}

case_dialog() {
  # The file-open dialog opens in its initial folder (a bare name typed there
  # resolves in it) and hands back the chosen file's full path.
  mkdir -p "$TMP/certs"
  touch "$TMP/certs/mine.pfx" "$TMP/certs/notes.txt"
  export KOVA_DEMO_DIR="Z:${TMP//\//\\}\\certs"
  start login
  click 1132 369; expect "^click FolderImage$" 5
  sleep 2
  shot open >/dev/null
  xdotool type --delay 50 "mine.pfx"; sleep 0.3
  xdotool key Return
  expect "^file " 10
  local want="Z:${TMP//\//\\}\\certs\\mine.pfx"
  [[ $LINE == "file $want" ]] || fail "dialog gave '$LINE', expected 'file $want'"
  note "the dialog opened in its folder and returned $want"
  stop
}

"case_$CASE"
echo "[$CASE] passed"
