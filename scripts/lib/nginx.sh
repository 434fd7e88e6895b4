# shellcheck shell=bash
# shellcheck disable=SC2034  # NGINX_PID and NGINX_ERROR are read by the sourcing script
# A private nginx serving one folder on 127.0.0.1: its own configuration, pid file, logs and
# temporary paths under a prefix folder the caller owns, so nothing of the system's nginx is
# read or written. Source this file, then:
#   nginx_port_free PORT               true when nothing listens on 127.0.0.1:PORT
#   nginx_start PREFIX ROOT PORT [RATE [LOCATION...]]
#                                      serve ROOT on 127.0.0.1:PORT, each answer sent at most
#                                      at RATE (nginx's limit_rate, as "512k"; none when empty
#                                      or absent); with LOCATIONs (URI prefixes, as "/big/"),
#                                      only answers under them are held to RATE, as a CDN caps
#                                      what one connection carries; returns once it listens
#                                      (sets NGINX_PID), 2 when PORT is taken, 1 when nginx
#                                      fails (NGINX_ERROR says why)
#   nginx_stop                         stop the nginx started above, by its PID
# One nginx per shell at a time.
# nginx runs in the foreground as a child of the sourcing shell, so a trap can stop it and
# nothing outlives the script.

NGINX_PID=""
NGINX_ERROR=""

nginx_port_free() {
  ! (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

# Debian keeps nginx in /usr/sbin, which an ordinary user's PATH often lacks.
nginx_binary() {
  command -v nginx 2>/dev/null || echo /usr/sbin/nginx
}

# A root nginx hands its workers to "nobody". In a user namespace that maps only the caller
# (unshare -r) that user does not exist, so the workers stay with the caller there.
nginx_user_line() {
  [ "$(id -u)" -eq 0 ] || return 0
  awk '$1 <= 65534 && 65534 < $1 + $3 { found = 1 } END { exit !found }' /proc/self/uid_map ||
    echo "user root;"
}

nginx_write_conf() { # prefix root port rate [location...]
  local limit="" location
  if [ -n "${4:-}" ] && [ $# -gt 4 ]; then
    for location in "${@:5}"; do limit+="location $location { limit_rate $4; } "; done
  elif [ -n "${4:-}" ]; then
    limit="limit_rate $4;"
  fi
  cat >"$1/nginx.conf" <<CONF
daemon off;
$(nginx_user_line)
worker_processes 2;
pid $1/nginx.pid;
error_log $1/logs/error.log;
events { worker_connections 1024; }
http {
  access_log off;
  default_type application/octet-stream;
  sendfile on;
  tcp_nopush on;
  keepalive_requests 100000;
  client_body_temp_path $1/tmp;
  proxy_temp_path $1/tmp;
  fastcgi_temp_path $1/tmp;
  uwsgi_temp_path $1/tmp;
  scgi_temp_path $1/tmp;
  server { listen 127.0.0.1:$3; root $2; $limit }
}
CONF
}

nginx_start() { # prefix root port [rate [location...]]
  local prefix=$1 root=$2 port=$3 rate=${4:-} _
  NGINX_ERROR=""
  # One server per shell: a second start would lose the first one's PID.
  if [ -n "$NGINX_PID" ]; then
    NGINX_ERROR="nginx already runs here (PID $NGINX_PID)"
    return 1
  fi
  if ! nginx_port_free "$port"; then
    NGINX_ERROR="port $port on 127.0.0.1 is already in use"
    return 2
  fi
  mkdir -p "$prefix/logs" "$prefix/tmp"
  # Workers of a root-started nginx run as an unprivileged user: they must reach the files
  # (the caller keeps the folders above ROOT searchable).
  chmod 755 "$root"
  nginx_write_conf "$prefix" "$root" "$port" "$rate" "${@:5}"
  "$(nginx_binary)" -p "$prefix" -c "$prefix/nginx.conf" -e "$prefix/logs/error.log" 2>/dev/null &
  NGINX_PID=$!
  for _ in $(seq 100); do
    nginx_port_free "$port" || return 0
    kill -0 "$NGINX_PID" 2>/dev/null || break
    sleep 0.05
  done
  NGINX_ERROR="nginx did not listen on 127.0.0.1:$port: $(tail -n 3 "$prefix/logs/error.log" 2>/dev/null)"
  nginx_stop
  return 1
}

nginx_stop() {
  [ -n "$NGINX_PID" ] || return 0
  local _
  kill "$NGINX_PID" 2>/dev/null || true
  # A fast shutdown takes milliseconds; one that hangs is not left behind.
  for _ in $(seq 100); do
    kill -0 "$NGINX_PID" 2>/dev/null || break
    sleep 0.05
  done
  kill -KILL "$NGINX_PID" 2>/dev/null || true
  wait "$NGINX_PID" 2>/dev/null || true
  NGINX_PID=""
}
