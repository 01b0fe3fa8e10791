#!/usr/bin/env bash
# Runs bench_http_throughput against a real nginx on loopback, beside curl in the same run.
# Usage: bench/http_nginx.sh [build folder] [benchmark arguments...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
shift || true
bench=$build/bench/bench_http_throughput
[ -x "$bench" ] || { echo "build $bench first" >&2; exit 1; }
command -v nginx >/dev/null || { echo "nginx is missing: scripts/setup installs it" >&2; exit 1; }

work=$(mktemp -d)
chmod 755 "$work"
pid=
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/html" "$work/logs" "$work/temp"
chmod 755 "$work/html"
head -c 1024 /dev/urandom >"$work/html/small"
truncate -s 200M "$work/html/large"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat >"$work/nginx.conf" <<CONF
worker_processes 1;
daemon off;
pid $work/nginx.pid;
error_log $work/logs/error.log warn;
events { worker_connections 64; }
http {
    access_log off;
    sendfile on;
    keepalive_requests 1000000;
    keepalive_timeout 60s;
    client_body_temp_path $work/temp;
    proxy_temp_path $work/temp;
    fastcgi_temp_path $work/temp;
    uwsgi_temp_path $work/temp;
    scgi_temp_path $work/temp;
    default_type application/octet-stream;
    server {
        listen 127.0.0.1:$port;
        root $work/html;
    }
}
CONF
nginx -p "$work" -c "$work/nginx.conf" &
pid=$!
for _ in $(seq 50); do
    curl -sf -o /dev/null "http://127.0.0.1:$port/small" && break
    sleep 0.1
done
TROVANEL_BENCH_SERVER="http://127.0.0.1:$port" "$bench" "$@"
