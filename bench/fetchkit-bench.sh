#!/usr/bin/env bash
# Throughput and peak memory of fetchkit-get.exe (under Wine) against curl (native), on one 512 MiB
# file served by nginx on a loopback port. Usage: bench/fetchkit-bench.sh [BUILD_DIR] [RUNS] [MIB]
# Both clients fetch the same file in the same run, one after the other, RUNS times; the medians count.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
runs=${2:-5}
mib=${3:-512}
getter=$build/bin/fetchkit-get.exe
[ -f "$getter" ] || { echo "no $getter: build first" >&2; exit 1; }

source "$root/bench/lib/loopback.sh"
work=$BENCH_WORK
# Where both clients write: BENCH_OUT=/dev/shm/... takes the disk out of the comparison.
out=${BENCH_OUT:-$work/out}
mkdir -p "$out"
head -c "${mib}M" /dev/urandom > "$work/www/big.bin"
bench_start_nginx
url="http://127.0.0.1:$BENCH_PORT/big.bin"
size=$(stat -c %s "$work/www/big.bin")

curl_times=() curl_rss=() fk_times=() fk_rss=() fk_inner=() fk_ws=()
for i in $(seq "$runs"); do
  read -r t m < <(bench_timed curl -s -o "$out/curl.bin" "$url")
  [ "$(stat -c %s "$out/curl.bin")" = "$size" ] || { echo "curl: short file" >&2; exit 1; }
  curl_times+=("$t") curl_rss+=("$m")
  rm -f "$out/curl.bin"

  read -r t m < <(bench_timed "${BENCH_WINE_RUN[@]}" "$getter" --stats "$url" "$(bench_wine_path "$out/fk.bin")")
  [ "$(stat -c %s "$out/fk.bin")" = "$size" ] || { echo "fetchkit-get: short file" >&2; exit 1; }
  cmp -s "$work/www/big.bin" "$out/fk.bin" || { echo "fetchkit-get: content differs" >&2; exit 1; }
  stats=$(grep '^elapsed_ms=' "$work/run.log")
  fk_times+=("$t") fk_rss+=("$m")
  fk_inner+=("$(sed -E 's/.*elapsed_ms=([0-9]+).*/\1/' <<<"$stats")")
  fk_ws+=("$(sed -E 's/.*peak_working_set_kib=([0-9]+).*/\1/' <<<"$stats")")
  rm -f "$out/fk.bin"
  echo "run $i: curl ${curl_times[-1]} s, ${curl_rss[-1]} KiB; fetchkit-get ${fk_times[-1]} s (transfer ${fk_inner[-1]} ms), ${fk_rss[-1]} KiB rss, ${fk_ws[-1]} KiB working set"
done

python3 - "$mib" "${curl_times[*]}" "${curl_rss[*]}" "${fk_times[*]}" "${fk_rss[*]}" "${fk_inner[*]}" "${fk_ws[*]}" <<'PY'
import statistics, sys
mib = float(sys.argv[1])
ct, cr, ft, fr, fi, fw = ([float(x) for x in a.split()] for a in sys.argv[2:8])
med = statistics.median
print("file: %d MiB, %d runs each, medians" % (mib, len(ct)))
print("curl          %6.2f s  %7.1f MiB/s  peak RSS %6.1f MiB" % (med(ct), mib / med(ct), max(cr) / 1024))
print("fetchkit-get  %6.2f s  %7.1f MiB/s  peak RSS %6.1f MiB (whole Wine process), peak working set %.1f MiB"
      % (med(ft), mib / med(ft), max(fr) / 1024, max(fw) / 1024))
print("              transfer alone (start to COMPLETE seen by the 100 ms poll): %.2f s" % (med(fi) / 1000))
print("throughput ratio fetchkit-get / curl: %.2f (process to process), %.2f (transfer alone)"
      % (med(ct) / med(ft), med(ct) / (med(fi) / 1000)))
# The machine's own noise only ever adds time, so the fastest runs show what each client can do.
print("fastest runs: curl %.2f s, fetchkit-get %.2f s (transfer %.2f s): ratio %.2f (process), %.2f (transfer)"
      % (min(ct), min(ft), min(fi) / 1000, min(ct) / min(ft), min(ct) / (min(fi) / 1000)))
PY
