# Shared by the end-to-end scripts of the real program (sourced after BUILD,
# SERVICE and CASE are set): the seeded service on the program's own ports,
# the program under Wine, kova_peek, reference renderings by ui_demo, and a
# recorder in place of the browser. e2e_prepare sets it all up.

APP="$BUILD/kovaapp.exe"
NEXT="$BUILD/next/kovaapp.exe"
# The program's version and the one its update offers, from the build.
VERSION=${KOVA_VERSION:?set by the test}
NEXT_VERSION=${KOVA_NEXT_VERSION:?set by the test}
DEMO="$BUILD/ui_demo.exe"
PEEK="$BUILD/tests/e2e/kova_peek.exe"
ADDROOT="$BUILD/tests/support/win32/kova_addroot.exe"
SHOTS="$BUILD/e2e-shots"
CHECK="$ROOT/tests/e2e/shots.py"
TITLE="KOVA API權限申請暨環境使用驗證服務"
mkdir -p "$SHOTS" "$BUILD/e2e-work"
eval "$("$ROOT/scripts/wineprefix" env)"
source "$ROOT/tests/e2e/lib.sh"
source "$ROOT/tests/support/kova_service.sh"

TMP="$(mktemp -d)"
APP_PID= DEMO_PID=
cleanup() {
  exec 3>&- 2>/dev/null || true
  for pid in $APP_PID $DEMO_PID; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  "$ROOT/scripts/winerun" "$PEEK" ok >/dev/null 2>&1 || true
  "$KOVA_WINE" taskkill /f /im kovaapp.exe >/dev/null 2>&1 || true
  "$KOVA_WINE" reg delete 'HKCU\Software\Wine\WineBrowser' /v Browsers /f >/dev/null 2>&1 || true
  [[ -n $E2E_XVFB_PID ]] && kill "$E2E_XVFB_PID" 2>/dev/null
  rm -rf "$TMP"
  kova_cleanup
}
trap cleanup EXIT
trap '' PIPE
e2e_display 94

fail() {
  echo "FAIL [$CASE]: $*" >&2
  echo "--- service log:" >&2; tail -20 "$KOVA_RUN/service.log" >&2 2>/dev/null || true
  exit 1
}

# ---- the service -------------------------------------------------------------
serve() { kova_serve 8443 8080 || fail "the service did not start"; }
fault() {  # FORM (kind=...&path=...), or "kind=none"
  python3 - "$KOVA_HTTP" "$1" <<'PY' || fail "fault $1 not set"
import sys, urllib.request
urllib.request.urlopen(urllib.request.Request("http://127.0.0.1:%s/_admin/fault" % sys.argv[1],
                       data=sys.argv[2].encode(), method="POST"), timeout=10).read()
PY
}
# Makes the IP echo's next answer a hostile one (crlf, long or word); after
# the program's start, echo_taken checks that it asked for it.
hostile_echo() { fault "kind=echo-hostile&path=/json&value=$1&count=1"; }
echo_taken() {
  python3 - "$KOVA_HTTP" <<'PY' || fail "the program did not ask the hostile IP echo"
import json, sys, urllib.request
f = json.load(urllib.request.urlopen("http://127.0.0.1:%s/_admin/fault" % sys.argv[1], timeout=10))
assert f["fault"]["kind"] == "none", f
PY
}
# The program's temporary folder (%TEMP%\KovaApp) as seen from here.
temp_folder() { find "$WINEPREFIX/drive_c/users" -maxdepth 6 -type d -name KovaApp -path '*Temp*' | head -1; }
# The IDs the service was asked to sign in, in order, one a line.
signins() { sed -n 's/^userAuth cust_id="\(.*\)"$/\1/p' "$KOVA_RUN/service.log"; }
last_signin() { signins | tail -1; }
requests() { grep -c " $1 " "$KOVA_RUN/service.log" || true; }

# ---- the program --------------------------------------------------------------
where() {  # sets WX WY for the visible window of the program's title
  local w X Y WIDTH HEIGHT SCREEN
  w=$(xdotool search --onlyvisible --name "^$TITLE\$" 2>/dev/null | head -1 || true)
  [[ -n $w ]] || fail "no window titled $TITLE"
  eval "$(xdotool getwindowgeometry --shell "$w")"
  WX=$X WY=$Y
}
# After each log-out the program reports how often the two passwords the
# cases type occur in its heap (test builds only): HEAP_REPORT.
HEAP_REPORT="$TMP/heap.txt"
hex() { printf %s "$1" | od -An -tx1 | tr -d ' \n'; }
export KOVA_TEST_HEAP_SECRETS="$(hex Demo1234);$(hex pfx1234)"
export KOVA_TEST_HEAP_REPORT="Z:${HEAP_REPORT//\//\\}"
app_start() {  # [EXE]
  "$ROOT/scripts/winerun" "${1:-$APP}" >"$TMP/app.out" 2>&1 </dev/null &
  APP_PID=$!
  local i
  for ((i = 0; i < 150; i++)); do
    [[ $(peek edits 2>/dev/null | wc -l) -eq 4 ]] && break
    sleep 0.2
  done
  ((i < 150)) || fail "the login window did not show"
  sleep 0.5
  where
}
app_running() { kill -0 "$APP_PID" 2>/dev/null; }
app_end() {  # closes through the close area and waits for the process
  click 1256 24
  local i
  for ((i = 0; i < 100; i++)); do app_running || break; sleep 0.1; done
  app_running && fail "the program did not end"
  wait "$APP_PID" 2>/dev/null || true
  APP_PID=
}
peek() { "$ROOT/scripts/winerun" "$PEEK" "$@" 2>/dev/null | tr -d '\r'; }
# The visible form has no edit boxes: the account list.
main_shown() { local out; out=$("$ROOT/scripts/winerun" "$PEEK" edits 2>/dev/null) && [[ -z $out ]]; }
edit_text() { peek edits | sed -n "$(($1 + 1))s/^edit [0-9]* focus=[01] visible=[01] text=//p"; }
edit_focus() { peek edits | sed -n "$(($1 + 1))s/^edit [0-9]* focus=\([01]\).*/\1/p"; }
# Waits for the message box and prints "TITLE|TEXT".
box() {
  local i b
  for ((i = 0; i < ${1:-100}; i++)); do
    b=$(peek box || true)
    [[ -n $b ]] && { echo "${b#box }"; return 0; }
    sleep 0.2
  done
  return 1
}
box_ok() { peek ok >/dev/null; sleep 0.5; }

# Client coordinates of the boxes (middle) and the hot spots.
ID=(950 250) PWD=(950 310) PATHBOX=(950 370) PFXPWD=(950 430) LOGIN=(944 576)
focus_box() { click "$1" "$2"; }
type_into() {  # X Y TEXT
  click "$1" "$2"
  xdotool type --delay 50 "$3"; sleep 0.2
}
fill_all() {  # ID PASSWORD PFX_FILE PFX_PASSWORD
  type_into "${ID[@]}" "$1"
  type_into "${PWD[@]}" "$2"
  type_into "${PATHBOX[@]}" "$PFX_DIR\\$3"
  type_into "${PFXPWD[@]}" "$4"
}
# Enter in the ID box is the login click; waits for the answer (the window undims).
login_now() {
  local before=$(signins | wc -l) i
  xdotool key Return
  for ((i = 0; i < 100; i++)); do
    (($(signins | wc -l) > before)) && break
    sleep 0.1
  done
  ((i < 100)) || fail "no sign-in reached the service"
  sleep 1.5
}

kova_cleanup_service() {
  kill "$KOVA_PID" 2>/dev/null || true
  wait "$KOVA_PID" 2>/dev/null || true
  KOVA_PID=
}

sign_in() {  # ID PASSWORD PFX PFX_PASSWORD: starts the program, signs in, waits for the list
  app_start
  sign_in_started "$@"
}
sign_in_started() {  # the same in the program already started
  fill_all "$1" "$2" "$3" "$4"
  click "${LOGIN[@]}"
  local i s
  for ((i = 0; i < 100; i++)); do main_shown && break; sleep 0.1; done
  ((i < 100)) || fail "the account list did not show"
  where
  for ((i = 0; i < 10; i++)); do
    s=$(shot list)
    python3 "$CHECK" like "$s" "$WX" "$WY" "$ROOT/windows/res/list_face.jpg" >/dev/null && return 0
  done
  fail "the account list is not shown (see $s)"
}

# ---- reference renderings (ui_demo's labels) ----------------------------------
# ui_demo shows FACE at the same place as the program's window; each caption
# of one of its text labels is then screenshot as a reference.
demo_start() {  # FACE
  rm -f "$TMP/cmd"; mkfifo "$TMP/cmd"
  "$ROOT/scripts/winerun" "$DEMO" "$1" <"$TMP/cmd" >"$TMP/demo.out" 2>&1 &
  DEMO_PID=$!
  exec 3>"$TMP/cmd"
  DEMO_CAPTIONS=0
  local i
  for ((i = 0; i < 150; i++)); do grep -q '^ready' "$TMP/demo.out" && break; sleep 0.2; done
  sleep 0.5
}
demo_caption() {  # LABEL TEXT SHOT
  echo "caption $1 $2" >&3
  DEMO_CAPTIONS=$((DEMO_CAPTIONS + 1))
  local i
  for ((i = 0; i < 50; i++)); do (($(grep -c '^captioned' "$TMP/demo.out") >= DEMO_CAPTIONS)) && break; sleep 0.1; done
  sleep 0.3
  import -window root "$3"
}
demo_end() {
  echo quit >&3
  exec 3>&-
  wait "$DEMO_PID" 2>/dev/null || true
  DEMO_PID=
}

# The seeded service's folder (DATA, PFX_DIR as the program sees it), its CA
# trusted, and web addresses opened by the program sent to a recorder that
# fetches them as a browser would (Wine hands an "open" of a web address to
# its browser setting).
e2e_prepare() {
  kova_prepare "$SERVICE" "$BUILD/e2e-work/program-seed" "$BUILD/e2e-work" || exit 1
  DATA=$KOVA_RUN/data
  PFX_DIR="Z:${DATA//\//\\}\\pfx"
  cat >"$TMP/browser" <<EOF
#!/bin/sh
echo "\$1" >>"$TMP/opened"
exec python3 -c 'import ssl, sys, urllib.request; urllib.request.urlopen(sys.argv[1], timeout=10, context=ssl.create_default_context(cafile=sys.argv[2])).read()' "\$1" "$DATA/ca.pem" >/dev/null 2>&1
EOF
  chmod +x "$TMP/browser"
  : >"$TMP/opened"
  "$KOVA_WINE" reg add 'HKCU\Software\Wine\WineBrowser' /v Browsers /t REG_SZ /d "$TMP/browser" /f >/dev/null 2>&1
  kova_trust "$ADDROOT" || exit 1
  kova_trust_publisher "$ADDROOT" "$BUILD/signing" || exit 1
}
