#!/usr/bin/env bash
# The program's own cost on top of the transfer: the whole run of "TolmUpdaterExec.exe /Clone URL" for a
# signed 64 MiB updater served by nginx on a loopback port, against fetchkit-get.exe alone on the same
# file, alternating in the same run; the medians count. Usage: bench/update-run-bench.sh [BUILD_DIR] [RUNS] [MIB]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
runs=${2:-7}
mib=${3:-64}
program=$build/bin/TolmUpdaterExec.exe
getter=$build/bin/fetchkit-get.exe
for file in "$program" "$getter" "$build/bin/DemoUpdater.exe" "$build/bin/InstallTestRoot.exe" "$build/pki/codesign.key"; do
  [ -f "$file" ] || { echo "no $file: build first" >&2; exit 1; }
done

source "$root/bench/lib/loopback.sh"
work=$BENCH_WORK
prefix=$build/wineprefix

# The demo updater, padded to the size with random bytes, then signed (the signature covers the padding).
python3 - "$build/bin/DemoUpdater.exe" "$work/padded.exe" "$mib" <<'PY'
import os, sys
data = open(sys.argv[1], "rb").read()
target = int(sys.argv[3]) * 1024 * 1024 - 16 * 1024  # room for the signature
open(sys.argv[2], "wb").write(data + os.urandom(target - len(data)))
PY
osslsigncode sign -h sha256 -certs "$build/pki/codesign.crt" -key "$build/pki/codesign.key" \
  -in "$work/padded.exe" -out "$work/www/updater.exe" >/dev/null
rm "$work/padded.exe"
size=$(stat -c %s "$work/www/updater.exe")
"${BENCH_WINE_RUN[@]}" "$build/bin/InstallTestRoot.exe" "$(bench_wine_path "$build/pki/root.der")" >/dev/null
bench_start_nginx
url="http://127.0.0.1:$BENCH_PORT/updater.exe"

# The Windows path from the trace, as a path in the prefix (C: is drive_c).
unix_path() { local p=${1//\\\\/\\}; p=${p#[Cc]:}; echo "$prefix/drive_c${p//\\//}"; }

getter_times=() runs_done=()
for i in $(seq "$runs"); do
  read -r t _ < <(bench_timed "${BENCH_WINE_RUN[@]}" "$getter" "$url" "$(bench_wine_path "$work/out/fk.exe")")
  [ "$(stat -c %s "$work/out/fk.exe")" = "$size" ] || { echo "fetchkit-get: short file" >&2; exit 1; }
  rm -f "$work/out/fk.exe"
  getter_times+=("$t")

  trace=$work/trace-$i.log marker=$work/marker-$i.txt
  started=$(date +%s.%N)
  KVLOG_FILE=$(bench_wine_path "$trace") TOLM_DEMO_MARKER=$(bench_wine_path "$marker") \
    "${BENCH_WINE_RUN[@]}" "$program" /Clone "$url" >"$work/run.log" 2>&1 || { cat "$work/run.log" >&2; exit 1; }
  ended=$(date +%s.%N)
  grep -q '^done' "$marker" || { echo "run $i: the updater did not run" >&2; sed 's/\r$//' "$trace" >&2; exit 1; }
  downloaded=$(sed -n 's/.*END CDlgDownloadProgress::GetDownloadFilePath: \(.*\)\r$/\1/p' "$trace")
  [ ! -e "$(unix_path "$downloaded")" ] || { echo "run $i: $downloaded was left behind" >&2; exit 1; }
  runs_done+=("$started $ended $trace")
  echo "run $i: fetchkit-get ${getter_times[-1]} s, TolmUpdaterExec $(awk "BEGIN { printf \"%.2f\", $ended - $started }") s"
done

python3 - "$mib" "${getter_times[*]}" "${runs_done[@]}" <<'PY'
import datetime, statistics, sys
mib = int(sys.argv[1])
getter = [float(x) for x in sys.argv[2].split()]
runs = [run.split(" ", 2) for run in sys.argv[3:]]
program = [float(ended) - float(started) for started, ended, _ in runs]
med = statistics.median

# Phases of the run from the trace lines' time stamps, in ms.
marks = {
    "run": "START CTolmUpdaterExecApp::DownloadAndLaunchUpdater",
    "worker": "START CDlgDownloadProgress::DownloadThread",
    "complete": "Download Status: Complete",
    "finished": "START CDlgDownloadProgress::OnDownloadFinished",
    "launch": "START CDlgDownloadProgress::LaunchUpdater",
    "launched": "END CDlgDownloadProgress::LaunchUpdater",
    "end": "END CTolmUpdaterExecApp::DownloadAndLaunchUpdater",
    "exit code": "ExitCode: ",
}
phases = [
    ("process start, to the first trace line", "started", "run"),
    ("dialog and settings, to the worker's start", "run", "worker"),
    ("transfer, to COMPLETE seen by the 100 ms poll", "worker", "complete"),
    ("the worker's pause and report", "complete", "finished"),
    ("signature check", "finished", "launch"),
    ("ShellExecuteExW", "launch", "launched"),
    ("the updater's run (waited for)", "launched", "end"),
    ("deletion of the file, Fetchkit_Uninitialize", "end", "exit code"),
    ("process end, after the last trace line", "exit code", "ended"),
]
durations = {name: [] for name, _, _ in phases}
for started, ended, path in runs:
    # The trace's time stamps are local time, like the process times taken here.
    seen = {"started": datetime.datetime.fromtimestamp(float(started)),
            "ended": datetime.datetime.fromtimestamp(float(ended))}
    for line in open(path, encoding="utf-8", errors="replace"):
        stamp = datetime.datetime.strptime(line[:23], "%Y-%m-%d %H:%M:%S.%f")
        for key, text in marks.items():
            if text in line and key not in seen:
                seen[key] = stamp
    for name, start, stop in phases:
        durations[name].append((seen[stop] - seen[start]).total_seconds() * 1000)

print("updater: %d MiB, signed; %d runs each, medians" % (mib, len(getter)))
print("fetchkit-get alone     %6.3f s" % med(getter))
print("TolmUpdaterExec run    %6.3f s" % med(program))
print("the program's own cost %6.0f ms (median of the per-run differences: %.0f ms)"
      % ((med(program) - med(getter)) * 1000, med([p - g for p, g in zip(program, getter)]) * 1000))
print("inside the run, from the trace:")
for name, _, _ in phases:
    print("  %-48s %6.0f ms" % (name, med(durations[name])))
PY
