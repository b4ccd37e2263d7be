#!/usr/bin/env bash
# The real program on screens where its windows cannot be drawn at their own
# size: a 1366 x 768 laptop with a 40-pixel taskbar (the work area is 728
# high), and 1920 x 1080 at 150 % (144 DPI) with the same taskbar. Each case
# runs on an X screen of that size in a copy of the Wine prefix (its own
# wineserver, its own DPI), signs in, applies and logs out by clicks at the
# scaled positions, and checks that every window lies inside the work area,
# drawn at its fitted scale from the face drawn at twice the size.
# The case "large" (1920 x 1080 at 96 DPI) shows that where a window fits at
# its own size it is drawn exactly as before: the 1x faces, unscaled.
#   scale_e2e.sh BUILD_DIR NATIVE_SERVICE CASE      CASE: fit dpi144 large
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
BUILD="$(cd "$1" && pwd)"
SERVICE=$2
CASE=$3
case $CASE in
  fit) SCREEN=1366x768 DPI=96 DISPLAY_NO=95 ;;
  dpi144) SCREEN=1920x1080 DPI=144 DISPLAY_NO=96 ;;
  large) SCREEN=1920x1080 DPI=96 DISPLAY_NO=97 ;;
  *) echo "unknown case $CASE" >&2; exit 2 ;;
esac
SW=${SCREEN%x*} SH=${SCREEN#*x}
WORK_H=$((SH - 40))

# A copy of the prefix: the screen settings below must not reach other tests.
eval "$("$ROOT/scripts/wineprefix" env)"
COPY="$BUILD/e2e-work/wine-$CASE"
rm -rf "$COPY"; mkdir -p "$BUILD/e2e-work"
cp -a --reflink=auto "$WINEPREFIX" "$COPY"
export KOVA_WINEPREFIX="$COPY"

export DISPLAY=:$DISPLAY_NO
Xvfb "$DISPLAY" -noreset -screen 0 "${SCREEN}x24" -nolisten tcp >/dev/null 2>&1 </dev/null &
SCALE_XVFB=$!
trap 'kill "$SCALE_XVFB" 2>/dev/null; rm -rf "$COPY"' EXIT
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
# The taskbar's reservation, as a window manager announces it.
# (-noreset: the property must outlive the last client)
xprop -root -f _NET_WORKAREA 32c -set _NET_WORKAREA "0, 0, $SW, $WORK_H"

source "$ROOT/tests/e2e/program.sh"
E2E_XVFB_PID=$SCALE_XVFB
trap 'cleanup; wineserver -k >/dev/null 2>&1 || true; rm -rf "$COPY"' EXIT
wineserver -p >/dev/null 2>&1 </dev/null
"$KOVA_WINE" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$DPI" /f >/dev/null 2>&1 </dev/null
"$KOVA_WINE" cmd /c exit >/dev/null 2>&1 </dev/null
# What a DPI-aware program is told: the screen this case is about.
read -r _ _ _ _ _ _ _ WORK_B _ SEEN_DPI < <(peek screen)
[[ $WORK_B == "$WORK_H" && $SEEN_DPI == "$DPI" ]] ||
  fail "Wine reports a work area to y=${WORK_B:-?} at ${SEEN_DPI:-?} DPI, not $WORK_H at $DPI"

# The scale of the window at WX WY WIDTH HEIGHT, from its height (logical H).
scaled() {  # LOGICAL_HEIGHT
  SCALE_NUM=$HEIGHT SCALE_DEN=$1
}
inside() {  # WHAT: the window lies wholly inside the work area
  ((WX >= 0 && WY >= 0 && WX + WIDTH <= SW && WY + HEIGHT <= WORK_H)) ||
    fail "$1 at ${WIDTH}x${HEIGHT}+${WX}+${WY} is not inside the work area ${SW}x${WORK_H}"
}
# The fitted size of a window of this logical size: min(DPI scale, work area / size).
fitted() {  # LOGICAL_W LOGICAL_H: prints W H
  python3 - "$DPI" "$SW" "$WORK_H" "$1" "$2" <<'PY'
import sys
from fractions import Fraction as F
dpi, sw, sh, w, h = map(int, sys.argv[1:])
s = max(min(F(dpi, 96), F(sw, w), F(sh, h)), F(1, 2))
r = lambda v: int((2 * v * s.numerator + s.denominator) // (2 * s.denominator))
print(r(w), r(h))
PY
}
expect_size() {  # WHAT LOGICAL_W LOGICAL_H
  local w h
  read -r w h < <(fitted "$2" "$3")
  ((WIDTH == w && HEIGHT == h)) || fail "$1 is ${WIDTH}x${HEIGHT}, not its fitted ${w}x${h}"
}
# The face at the window's size, compared with the face drawn at twice the
# size shrunk to it; at its own size, with the face itself.
looks() {  # SHOT FACE
  local face="$ROOT/windows/res/$2.jpg" w h
  read -r w h < <(identify -format '%w %h\n' "$face")
  if ((w == WIDTH && h == HEIGHT)); then
    python3 "$CHECK" like "$1" "$WX" "$WY" "$face" >/dev/null
  else
    python3 "$CHECK" like "$1" "$WX" "$WY" "$ROOT/windows/res/${2}_2x.jpg" "$WIDTH" "$HEIGHT" >/dev/null
  fi || fail "the window does not show $2 at ${WIDTH}x${HEIGHT} (see $1)"
}
window_of() {  # TITLE: sets WX WY WIDTH HEIGHT
  local w X Y
  w=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | tail -1 || true)
  [[ -n $w ]] || return 1
  eval "$(xdotool getwindowgeometry --shell "$w")"
  WX=$X WY=$Y
}

e2e_prepare
serve
app_start
window_of "$TITLE"
expect_size "the login window" 1280 798
inside "the login window"
scaled 798
s=$(shot login)
looks "$s" login_face
note "the login window: ${WIDTH}x${HEIGHT}+${WX}+${WY}, inside ${SW}x${WORK_H}"

fill_all "a123456789" "Demo1234" "A123456789.pfx" "pfx1234"
[[ $(edit_text 0) == "A12345****" && $(edit_text 3) == "pfx1234" ]] ||
  fail "typing at the scaled boxes: '$(edit_text 0)' '$(edit_text 3)'"
click 944 576
for ((i = 0; i < 100; i++)); do main_shown && break; sleep 0.1; done
((i < 100)) || fail "the account list did not show"
sleep 1
window_of "$TITLE"
expect_size "the account list" 1280 798
inside "the account list"
scaled 798
s=$(shot list)
looks "$s" list_face
note "signed in by clicks at the scaled boxes and button; the list: ${WIDTH}x${HEIGHT}+${WX}+${WY}"
LX=$WX LY=$WY LNUM=$SCALE_NUM LDEN=$SCALE_DEN

# Row 0's apply button, in the grid's scaled cells.
click 1130 323
for ((i = 0; i < 50; i++)); do window_of "送出申請確認" && break; sleep 0.2; done
((i < 50)) || fail "the submit dialog did not show"
sleep 0.5
expect_size "the submit dialog" 500 620
inside "the submit dialog"
scaled 620
s=$(shot submit)
looks "$s" submit_face
note "the submit dialog: ${WIDTH}x${HEIGHT}+${WX}+${WY}"
click 300 368; xdotool type --delay 20 "$PFX_DIR\\A123456789.pfx"
click 300 428; xdotool type --delay 40 "pfx1234"
click 370 564
# The confirmation has the submit dialog's title: told apart by its size.
read -r _ CONFIRM_H < <(fitted 480 520)
for ((i = 0; i < 50; i++)); do
  window_of "送出申請確認" && ((HEIGHT == CONFIRM_H)) && break
  sleep 0.2
done
((i < 50)) || fail "no confirmation dialog (see $(shot no-confirm))"
sleep 0.5
window_of "送出申請確認" || fail "no confirmation dialog"
expect_size "the confirmation dialog" 480 520
inside "the confirmation dialog"
scaled 520
s=$(shot confirm)
looks "$s" confirm_face
note "the confirmation dialog: ${WIDTH}x${HEIGHT}+${WX}+${WY}"
click 240 456
for ((i = 0; i < 50; i++)); do window_of "送出申請確認" || break; sleep 0.2; done
((i < 50)) || fail "the confirmation did not close"
dump=$("$SERVICE" dump "$DATA")
python3 - "$dump" <<'PY' || fail "the service's records: $dump"
import json, sys
apps = json.loads(sys.argv[1])["applications"]
assert [(a["cust_id"], a["account"]) for a in apps] == [("A123456789", "1234567")], apps
PY
note "one application recorded for account 1234567"

WX=$LX WY=$LY SCALE_NUM=$LNUM SCALE_DEN=$LDEN WIDTH=$(dev 1280) HEIGHT=$(dev 798)
sleep 0.5
s=$(shot after)
looks "$s" list_face
note "the list is undimmed"
click 785 740
for ((i = 0; i < 50; i++)); do [[ $(peek edits | wc -l) -eq 4 ]] && break; sleep 0.1; done
((i < 50)) || fail "log-out did not show the login window"
window_of "$TITLE"
scaled 798
note "logged out by the scaled button"
app_end
echo "[$CASE] passed"
