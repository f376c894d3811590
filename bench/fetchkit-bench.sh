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

work=$(mktemp -d /tmp/fetchkit-bench.XXXXXX)
nginx_pid=
cleanup() {
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/www" "$work/nginx" "$work/out"
chmod 755 "$work"
head -c "${mib}M" /dev/urandom > "$work/www/big.bin"

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
# nginx as the calling user: a root caller keeps root for the worker, so it can read the temp folder.
user_line=
[ "$(id -u)" = 0 ] && user_line="user root;"
cat > "$work/nginx/nginx.conf" <<CONF
$user_line
worker_processes 1;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 64; }
http {
  access_log off;
  client_body_temp_path $work/nginx/body;
  proxy_temp_path $work/nginx/proxy;
  fastcgi_temp_path $work/nginx/fastcgi;
  uwsgi_temp_path $work/nginx/uwsgi;
  scgi_temp_path $work/nginx/scgi;
  sendfile on;
  server { listen 127.0.0.1:$port; root $work/www; }
}
CONF
/usr/sbin/nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" -g 'daemon off;' &
nginx_pid=$!
for _ in $(seq 50); do curl -s -o /dev/null "http://127.0.0.1:$port/" 2>/dev/null && break; sleep 0.1; done
url="http://127.0.0.1:$port/big.bin"
size=$(stat -c %s "$work/www/big.bin")

prefix=$build/wineprefix
wine_run=("$root/tools/wine-run" "$prefix")
wine_path() { echo "Z:${1//\//\\}"; }
"${wine_run[@]}" cmd /c exit 0 >/dev/null 2>&1  # the prefix and a persistent wineserver are up before timing

# One timed run: "seconds peak_rss_kib" on stdout.
timed() {
  local out=$work/time.txt
  /usr/bin/time -f "%e %M" -o "$out" "$@" >"$work/run.log" 2>&1 || { cat "$work/run.log" >&2; return 1; }
  cat "$out"
}

curl_times=() curl_rss=() fk_times=() fk_rss=() fk_inner=() fk_ws=()
for i in $(seq "$runs"); do
  read -r t m < <(timed curl -s -o "$work/out/curl.bin" "$url")
  [ "$(stat -c %s "$work/out/curl.bin")" = "$size" ] || { echo "curl: short file" >&2; exit 1; }
  curl_times+=("$t") curl_rss+=("$m")
  rm -f "$work/out/curl.bin"

  read -r t m < <(timed "${wine_run[@]}" "$getter" --stats "$url" "$(wine_path "$work/out/fk.bin")")
  [ "$(stat -c %s "$work/out/fk.bin")" = "$size" ] || { echo "fetchkit-get: short file" >&2; exit 1; }
  cmp -s "$work/www/big.bin" "$work/out/fk.bin" || { echo "fetchkit-get: content differs" >&2; exit 1; }
  stats=$(grep '^elapsed_ms=' "$work/run.log")
  fk_times+=("$t") fk_rss+=("$m")
  fk_inner+=("$(sed -E 's/.*elapsed_ms=([0-9]+).*/\1/' <<<"$stats")")
  fk_ws+=("$(sed -E 's/.*peak_working_set_kib=([0-9]+).*/\1/' <<<"$stats")")
  rm -f "$work/out/fk.bin"
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
PY
