# Shared by the benchmark scripts (sourced): a work folder, nginx on a free loopback port serving
# $BENCH_WORK/www, the build's Wine prefix with a persistent server, and a timer for one run.
# Needs: build (the build folder). Sets: BENCH_WORK, BENCH_PORT, BENCH_WINE_RUN (array).

BENCH_WORK=$(mktemp -d /tmp/tolm-bench.XXXXXX)
bench_nginx_pid=
bench_cleanup() {
  "${BENCH_WINE_RUN[@]}" "$build/bin/desktop_keeper.exe" --stop >/dev/null 2>&1 || true
  [ -n "$bench_nginx_pid" ] && kill "$bench_nginx_pid" 2>/dev/null && wait "$bench_nginx_pid" 2>/dev/null || true
  rm -rf "$BENCH_WORK"
}
trap bench_cleanup EXIT
mkdir -p "$BENCH_WORK/www" "$BENCH_WORK/nginx" "$BENCH_WORK/out"
chmod 755 "$BENCH_WORK"

bench_start_nginx() {
  BENCH_PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  # nginx as the calling user: a root caller keeps root for the worker, so it can read the temp folder.
  local user_line=
  [ "$(id -u)" = 0 ] && user_line="user root;"
  cat > "$BENCH_WORK/nginx/nginx.conf" <<CONF
$user_line
worker_processes 1;
pid $BENCH_WORK/nginx/nginx.pid;
error_log $BENCH_WORK/nginx/error.log;
events { worker_connections 64; }
http {
  access_log off;
  client_body_temp_path $BENCH_WORK/nginx/body;
  proxy_temp_path $BENCH_WORK/nginx/proxy;
  fastcgi_temp_path $BENCH_WORK/nginx/fastcgi;
  uwsgi_temp_path $BENCH_WORK/nginx/uwsgi;
  scgi_temp_path $BENCH_WORK/nginx/scgi;
  sendfile on;
  server { listen 127.0.0.1:$BENCH_PORT; root $BENCH_WORK/www; }
}
CONF
  /usr/sbin/nginx -p "$BENCH_WORK/nginx" -c "$BENCH_WORK/nginx/nginx.conf" -g 'daemon off;' &
  bench_nginx_pid=$!
  for _ in $(seq 50); do curl -s -o /dev/null "http://127.0.0.1:$BENCH_PORT/" 2>/dev/null && break; sleep 0.1; done
}

BENCH_WINE_RUN=("$root/tools/wine-run" "$build/wineprefix")
bench_wine_path() { echo "Z:${1//\//\\}"; }
# The prefix, a persistent wineserver and the desktop are up before anything is timed. On Windows the
# desktop always exists; Wine would otherwise start it anew for each run (see DesktopKeeper.cpp).
"${BENCH_WINE_RUN[@]}" cmd /c exit 0 >/dev/null 2>&1
bash "$root/tests/desktop_keeper.sh" start "${BENCH_WINE_RUN[@]}" "$build/bin/desktop_keeper.exe"
sleep 1

# One timed run of a command: prints "seconds peak_rss_kib"; its output goes to $BENCH_WORK/run.log.
bench_timed() {
  local out=$BENCH_WORK/time.txt
  /usr/bin/time -f "%e %M" -o "$out" "$@" >"$BENCH_WORK/run.log" 2>&1 || { cat "$BENCH_WORK/run.log" >&2; return 1; }
  cat "$out"
}
