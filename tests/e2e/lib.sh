# Shared by the end-to-end scripts (sourced): the X display, screenshots and
# the pointer. The sourcing script sets CASE and SHOTS, and WX WY (the
# window's client origin on the screen) before it clicks; for a window drawn
# at another scale, also SCALE_NUM / SCALE_DEN (device per logical pixel):
# click and drag then take the window's logical coordinates.

# A display: $DISPLAY (scripts/test starts a private Xvfb), or Xvfb on the
# given number. Sets E2E_XVFB_PID when it started one (the caller ends it).
E2E_XVFB_PID=
e2e_display() {  # NUMBER
  if [[ -z ${DISPLAY:-} ]]; then
    export DISPLAY=:$1
    if ! xdpyinfo >/dev/null 2>&1; then
      Xvfb "$DISPLAY" -screen 0 1366x900x24 -nolisten tcp >/dev/null 2>&1 </dev/null &
      E2E_XVFB_PID=$!
      for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
    fi
  fi
}

note() { echo "[$CASE] $*"; }

shot() { sleep 0.4; import -window root "$SHOTS/$CASE-$1.png"; echo "$SHOTS/$CASE-$1.png"; }

SCALE_NUM=1 SCALE_DEN=1
dev() { echo $((($1 * 2 * SCALE_NUM + SCALE_DEN) / (2 * SCALE_DEN))); }  # logical to device, rounded

click() {  # X Y (client coordinates) [BUTTON]
  xdotool mousemove $((WX + $(dev "$1"))) $((WY + $(dev "$2"))); sleep 0.15
  xdotool click "${3:-1}"; sleep 0.25
}

drag() {  # X Y DX DY BUTTON (client coordinates of the press)
  local x=$((WX + $(dev "$1"))) y=$((WY + $(dev "$2"))) i
  xdotool mousemove "$x" "$y"; sleep 0.15
  xdotool mousedown "$5"; sleep 0.15
  for i in 1 2 3 4 5; do
    xdotool mousemove $((x + $3 * i / 5)) $((y + $4 * i / 5)); sleep 0.08
  done
  sleep 0.15
  xdotool mouseup "$5"; sleep 0.3
}
