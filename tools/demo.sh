#!/usr/bin/env bash
# Runs the program's whole job on a loopback demo: builds what is missing, serves a signed demo
# updater from 127.0.0.1, runs "TolmUpdaterExec.exe /Clone URL" under Wine and prints the trace lines
# and the exit code.
#   --slow          serve the updater slowly (about 40 s), to watch the bar and press Cancel
#   --exit-code N   the demo updater's exit code (default 0)
#   --unsigned      serve the unsigned build of the demo updater: the program refuses to start it
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

slow=0 exit_code=0 updater=DemoUpdater-signed.exe
while [ $# -gt 0 ]; do
  case $1 in
    --slow) slow=1 ;;
    --exit-code) exit_code=$2; shift ;;
    --unsigned) updater=DemoUpdater.exe ;;
    *) echo "usage: $0 [--slow] [--exit-code N] [--unsigned]" >&2; exit 2 ;;
  esac
  shift
done

bash tools/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default >/dev/null

build=$root/build
demo=$build/demo
prefix=$demo/wineprefix
mkdir -p "$demo/www"
dos() { echo "Z:${1//\//\\}"; }
run() { "$root/tools/wine-run" "$prefix" "$@"; }

# Real windows with a display, none (but working dialogs) without one.
graphics=null
[ -n "${DISPLAY:-}" ] && graphics=x11
run reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d "$graphics" /f >/dev/null 2>&1
run "$build/bin/InstallTestRoot.exe" "$(dos "$build/pki/root.der")" >/dev/null

cp "$build/bin/$updater" "$demo/www/updater.exe"
python3 tests/http_server.py start "$demo/server" "$demo/www"
trap 'python3 tests/http_server.py stop "$demo/server"; WINEPREFIX=$prefix wineserver -k 2>/dev/null || true' EXIT
port=$(cat "$demo/server/port")
url=http://127.0.0.1:$port/updater.exe
if [ "$slow" = 1 ]; then
  size=$(stat -c %s "$demo/www/updater.exe")
  url="http://127.0.0.1:$port/_/slow/$((size * 20))?rate=$((size / 2))"
  echo "Serving a slow generated body (it is not a program: let it run, or press Cancel)."
fi

log=$demo/trace.log
rm -f "$log" "$demo/updater-ran.txt"
echo "Running: TolmUpdaterExec.exe /Clone $url"
set +e
KVLOG_FILE=$(dos "$log") TOLM_DEMO_EXIT_CODE=$exit_code TOLM_DEMO_MARKER=$(dos "$demo/updater-ran.txt") \
  TOLM_DEMO_SHOW=$([ -n "${DISPLAY:-}" ] && echo 1 || echo 0) \
  run "$build/bin/TolmUpdaterExec.exe" /Clone "$url"
status=$?
set -e

echo "--- trace lines ---"
sed 's/\r$//' "$log" 2>/dev/null || echo "(no trace log)"
echo "--- result ---"
if [ -f "$demo/updater-ran.txt" ]; then
  echo "the demo updater ran: $(head -1 "$demo/updater-ran.txt" | sed 's/\r$//')"
else
  echo "the demo updater did not run"
fi
exit_line=$(grep -o 'ExitCode: -\?[0-9]*' "$log" 2>/dev/null | tail -1 || true)
echo "exit code: ${exit_line#ExitCode: } (low byte as seen by the shell: $status)"
