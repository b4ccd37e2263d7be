# Sourced by the Wine test scripts: a seeded kova-service on a run folder of
# its own, and the seed's CA trusted by the project's Wine prefix.
#   kova_prepare SERVICE SEED WORK   sets KOVA_RUN (data in KOVA_RUN/data)
#   kova_serve HTTPS_PORT HTTP_PORT  0 picks free ports; sets KOVA_HTTPS, KOVA_HTTP;
#                                    opens /_admin (faults, manifest) for the tests
#   kova_trust ADDROOT               adds SEED/ca.pem to the prefix
#   kova_trust_publisher ADDROOT DIR adds the test publisher's CA (DIR/ca.pem)
# The seed is kept between runs (renewed a week before its server
# certificate expires), so the prefix gains one CA, not one per run.
# The service is stopped and the run folder removed when the script exits.

KOVA_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
KOVA_SERVICE= KOVA_SEED= KOVA_RUN= KOVA_PID=

kova_cleanup() {
  if [[ -n "$KOVA_PID" ]]; then
    kill "$KOVA_PID" 2>/dev/null
    wait "$KOVA_PID" 2>/dev/null
  fi
  [[ -n "$KOVA_RUN" ]] && rm -rf "$KOVA_RUN"
  return 0
}
trap kova_cleanup EXIT

kova_prepare() {
  KOVA_SERVICE=$1 KOVA_SEED=$2
  local work=$3
  if [[ ! -x "$KOVA_SERVICE" ]]; then
    echo "the native $KOVA_SERVICE is missing; build the linux preset first" >&2
    return 1
  fi
  if ! openssl x509 -checkend 604800 -noout -in "$KOVA_SEED/server.pem" >/dev/null 2>&1; then
    rm -rf "$KOVA_SEED"
    "$KOVA_SERVICE" seed "$KOVA_SEED" --iterations 5000 >/dev/null || { echo "seed failed" >&2; return 1; }
  fi
  KOVA_RUN=$(mktemp -d "$work/run.XXXXXX")
  chmod 700 "$KOVA_RUN"
  mkdir -p "$KOVA_RUN/data"
  cp -a "$KOVA_SEED/." "$KOVA_RUN/data/"
  rm -f "$KOVA_RUN/data/ports.json"
}

kova_serve() {
  "$KOVA_SERVICE" serve --data "$KOVA_RUN/data" --https-port "$1" --http-port "$2" --admin \
    >"$KOVA_RUN/service.out" 2>"$KOVA_RUN/service.log" &
  KOVA_PID=$!
  local ports=
  for _ in $(seq 200); do
    [[ -s "$KOVA_RUN/data/ports.json" ]] && { ports=$(cat "$KOVA_RUN/data/ports.json"); break; }
    kill -0 "$KOVA_PID" 2>/dev/null || break
    sleep 0.05
  done
  KOVA_HTTPS=$(sed -n 's/.*"https":\([0-9]*\).*/\1/p' <<<"$ports")
  KOVA_HTTP=$(sed -n 's/.*"http":\([0-9]*\).*/\1/p' <<<"$ports")
  if [[ -z "$KOVA_HTTPS" || -z "$KOVA_HTTP" ]]; then
    echo "the service did not start" >&2
    cat "$KOVA_RUN/service.log" >&2
    return 1
  fi
}

# Its output goes to a file: when it is the first Wine process since the
# wineserver started, the services Wine starts with it keep its output open,
# and ctest would wait on that pipe until its time-out.
# The build's test publisher (SIGNING_DIR/ca.pem), so that its signed
# programs verify in the prefix.
kova_trust_publisher() {  # ADDROOT SIGNING_DIR
  "$KOVA_ROOT/scripts/winerun" "$1" "Z:$2/ca.pem" >"$KOVA_RUN/addroot-publisher.log" 2>&1 </dev/null ||
    { cat "$KOVA_RUN/addroot-publisher.log" >&2; echo "kova_addroot (publisher) failed" >&2; return 1; }
}

kova_trust() {
  "$KOVA_ROOT/scripts/winerun" "$1" "Z:$KOVA_SEED/ca.pem" >"$KOVA_RUN/addroot.log" 2>&1 </dev/null ||
    { cat "$KOVA_RUN/addroot.log" >&2; echo "kova_addroot failed" >&2; return 1; }
}
