# shellcheck shell=bash
# A real front end that limits how fast a client may ask, as public endpoints do (sourced, not
# run): nginx in front of a local chain node, on loopback ports, with its config, pid, logs and
# temporary files in a folder of the caller's. Each front is one server block of one kind:
#
#   over-429    10 requests a second, a burst of 2; the excess: 429 with Retry-After: 1
#   over-rpc    10 requests a second, a burst of 2; the excess: 200 with a JSON-RPC -32005 error
#               carrying data.backoff_seconds 1
#   prompt-429  as over-429, but the burst is served at once (nodelay) and the excess refused at
#               once, as endpoints that keep no queue do
#   prompt-rpc  as over-rpc, with no queue either
#   strict-429  1 request a second, no burst; the excess: 429 with Retry-After: 1
#   refuse-all  every request: 503, with no word on when to come back
#
# The burst is nginx's own queue: up to 2 requests over the rate wait their turn instead of being
# refused, so a client that keeps few requests under way is never refused at all.
#
# front_up FOLDER CHAIN_PORT KIND...: starts nginx; front_url[KIND] is each front's URL and
# FOLDER/KIND.log its access log, one line per request: the status, what the limit did (PASSED,
# DELAYED, REJECTED; "-" where none applies) and the seconds taken. front_down stops it.
# Needs demo/lib/ports.sh.

declare -A front_url=()
front_pid=""

# The server block of one front. Its refusal is an internal page of its own, so that the
# proxied answers keep the chain's headers as they are.
front_server() {
  local kind=$1 port=$2 folder=$3 rate=10r/s burst=' burst=2' refused
  local rpc_refusal='{"jsonrpc":"2.0","id":1,"error":{"code":-32005,"message":"limit exceeded","data":{"backoff_seconds":1}}}'
  case $kind in
    over-429 | prompt-429)
      [[ $kind == prompt-429 ]] && burst=' burst=2 nodelay'
      refused="error_page 429 @refused; location @refused { add_header Retry-After 1 always; return 429 'Too Many Requests'; }"
      ;;
    over-rpc | prompt-rpc)
      [[ $kind == prompt-rpc ]] && burst=' burst=2 nodelay'
      refused="error_page 429 =200 @refused; location @refused { default_type application/json; return 200 '$rpc_refusal'; }"
      ;;
    strict-429)
      rate=1r/s burst=''
      refused="error_page 429 @refused; location @refused { add_header Retry-After 1 always; return 429 'Too Many Requests'; }"
      ;;
    refuse-all)
      printf '  server { listen 127.0.0.1:%s; access_log %s/%s.log brief; location / { return 503; } }\n' \
        "$port" "$folder" "$kind"
      return
      ;;
    *) echo "front-lib: no front of kind '$kind'" >&2; return 1 ;;
  esac
  cat <<EOF
  limit_req_zone \$binary_remote_addr zone=${kind}:1m rate=${rate};
  server {
    listen 127.0.0.1:${port};
    access_log ${folder}/${kind}.log brief;
    location / { limit_req zone=${kind}${burst}; proxy_pass http://chain; }
    ${refused}
  }
EOF
}

# front_config FOLDER CHAIN_PORT KIND=PORT...
front_config() {
  local folder=$1 chain_port=$2 pair
  shift 2
  # As root the workers drop to nobody, whose group Debian calls nogroup; they touch no file.
  [[ $(id -u) -eq 0 ]] && echo "user nobody nogroup;"
  cat <<EOF
worker_processes 1;
pid ${folder}/nginx.pid;
error_log ${folder}/error.log warn;
events { worker_connections 256; }
http {
  log_format brief '\$status \$limit_req_status \$request_time';
  client_body_temp_path ${folder}/tmp/body;
  proxy_temp_path ${folder}/tmp/proxy;
  fastcgi_temp_path ${folder}/tmp/fastcgi;
  uwsgi_temp_path ${folder}/tmp/uwsgi;
  scgi_temp_path ${folder}/tmp/scgi;
  upstream chain { server 127.0.0.1:${chain_port}; keepalive 16; }
  proxy_http_version 1.1;
  proxy_set_header Connection "";
  # Answers pass through as they come, never through a temporary file.
  proxy_buffering off;
  proxy_max_temp_file_size 0;
  limit_req_status 429;
EOF
  for pair in "$@"; do
    front_server "${pair%=*}" "${pair#*=}" "$folder" || return 1
  done
  echo "}"
}

front_up() {
  local folder=$1 chain_port=$2 kind port pairs all_up pair
  shift 2
  command -v nginx >/dev/null || { echo "front-lib: nginx is missing (nginx-light)" >&2; return 77; }
  mkdir -p "$folder/tmp"
  # Another program may take a port between the look and nginx's bind: then new ports.
  for _ in 1 2 3; do
    pairs=()
    front_url=()
    for kind in "$@"; do
      port=$(free_port) || return 1
      pairs+=("$kind=$port")
      # shellcheck disable=SC2034 # read by the caller
      front_url[$kind]="http://127.0.0.1:$port"
    done
    front_config "$folder" "$chain_port" "${pairs[@]}" >"$folder/nginx.conf" || return 1
    rm -f "$folder/error.log"
    nginx -p "$folder" -c "$folder/nginx.conf" -e "$folder/error.log" -g 'daemon off;' \
      >"$folder/nginx.out" 2>&1 &
    front_pid=$!
    for _ in $(seq 50); do
      all_up=1
      for pair in "${pairs[@]}"; do port_in_use "${pair#*=}" || all_up=0; done
      ((all_up)) && return 0
      kill -0 "$front_pid" 2>/dev/null || break
      sleep 0.1
    done
    front_down
    grep -q 'in use' "$folder/error.log" 2>/dev/null && continue
    echo "front-lib: nginx did not start:" >&2
    sed 's/^/  /' "$folder/error.log" >&2 2>/dev/null
    break
  done
  return 1
}

front_down() {
  [[ -n $front_pid ]] || return 0
  kill "$front_pid" 2>/dev/null
  wait "$front_pid" 2>/dev/null
  front_pid=""
}
