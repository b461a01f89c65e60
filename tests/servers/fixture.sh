#!/usr/bin/env bash
# Starts or stops the servers a test run talks to, all on loopback port 110:
# the scripted server, a dovecot whose greeting carries an APOP stamp and one
# whose greeting does not. With PORT_BASE they also serve TLS on localhost
# with the certificates of DIR/certs: the scripted server on PORT_BASE, the
# APOP dovecot STLS on +1 and TLS on +2, the plain one STLS on +3 and TLS on +4;
# the scripted server also answers on ::1 at +5. The plain dovecot serves IMAP
# too: on its address's port 143, STARTTLS on +6 and TLS on +7.
# With PROVIDER_ADDR as well, the provider stand-in (oauth_provider.py, whose
# header is the contract) serves https://localhost:PORT_BASE+8 (valid
# certificate) and +9 (a bad one), introspection and its control channel on
# http://PROVIDER_ADDR:8080, and the plain dovecot takes XOAUTH2 and
# OAUTHBEARER for oscar@example.invalid with its tokens; its log is
# DIR/provider/log.jsonl.
#   fixture.sh start|stop DIR SCRIPTED_ADDR APOP_ADDR PLAIN_ADDR [PORT_BASE [PROVIDER_ADDR]]
# The tests are told where (tests/CMakeLists.txt): the Python e2e tests by
# environment, the native unit tests by compile definitions of the same names
# ending in _DEFAULT (as the other servers' addresses):
#   BUZONIX_PROVIDER_URL      https://localhost:PORT_BASE+8
#   BUZONIX_PROVIDER_BAD_URL  https://localhost:PORT_BASE+9
#   BUZONIX_PROVIDER_CONTROL  http://PROVIDER_ADDR:8080
#   BUZONIX_SCRIPTED_BROWSER  tests/servers/scripted_browser.py
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
cmd=$1 dir=$(realpath -m "$2") scripted=$3 apop=$4 plain=$5 base=${6:-} provider=${7:-}
tls_scripted=() tls_apop=() tls_plain=()
[ -n "$base" ] || provider=""
control="$provider:8080"
if [ -n "$base" ]; then
  tls_scripted=(--tls-port "$base" --certs "$dir/certs" --ipv6-port $((base + 5)))
  tls_apop=("$dir/certs" $((base + 1)) $((base + 2)))
  tls_plain=("$dir/certs" $((base + 3)) $((base + 4)) ${provider:+"http://$control/introspect"})
fi
# True when PID is the scripted server of this folder: a pid file outlives a
# server that died, and its number may since have gone to another process.
scripted_is_ours() {
  [ -r "/proc/$1/cmdline" ] &&
    tr '\0' ' ' < "/proc/$1/cmdline" | grep -qF -- "scripted_pop3.py --address $scripted --dir $dir/scripted"
}
provider_is_ours() {
  [ -r "/proc/$1/cmdline" ] &&
    tr '\0' ' ' < "/proc/$1/cmdline" | grep -qF -- "oauth_provider.py --dir $dir/provider "
}
stop_provider() {
  [ -f "$dir/provider/pid" ] || return 0
  pid=$(cat "$dir/provider/pid")
  if provider_is_ours "$pid"; then
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  fi
  rm -f "$dir/provider/pid"
}
start_provider() {
  mkdir -p "$dir/provider"
  chmod 777 "$dir/provider"
  setsid nohup python3 "$here/oauth_provider.py" --dir "$dir/provider" --certs "$dir/certs" \
    --https-port $((base + 8)) --bad-port $((base + 9)) --control "$control" \
    >"$dir/provider.out" 2>&1 < /dev/null &
  for _ in $(seq 1 50); do [ -f "$dir/provider/pid" ] && return 0; sleep 0.1; done
  echo "provider stand-in did not start: $(tail -n 3 "$dir/provider.out")" >&2; return 1
}
stop_all() {
  stop_provider
  if [ -f "$dir/scripted/pid" ]; then
    pid=$(cat "$dir/scripted/pid")
    if scripted_is_ours "$pid"; then
      kill "$pid" 2>/dev/null || true
      # Its listeners must be gone before another one binds them.
      for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    fi
    rm -f "$dir/scripted/pid"
  fi
  "$here/dovecot.sh" stop "$dir/dovecot-apop" 2>/dev/null || true
  "$here/dovecot.sh" stop "$dir/dovecot-plain" 2>/dev/null || true
}
case "$cmd" in
  start)
    stop_all
    mkdir -p "$dir/scripted"
    chmod 777 "$dir" "$dir/scripted"
    rm -f "$dir/scripted/log.jsonl"
    [ -z "$base" ] || "$here/certs.sh" "$dir/certs"
    # Before dovecot, which asks it about every bearer token.
    [ -z "$provider" ] || start_provider
    setsid nohup python3 "$here/scripted_pop3.py" --address "$scripted" --dir "$dir/scripted" \
      "${tls_scripted[@]}" >"$dir/scripted.out" 2>&1 < /dev/null &
    "$here/dovecot.sh" start "$dir/dovecot-apop" "$apop" apop "${tls_apop[@]}"
    "$here/dovecot.sh" start "$dir/dovecot-plain" "$plain" plain "${tls_plain[@]}"
    for _ in $(seq 1 50); do [ -f "$dir/scripted/pid" ] && exit 0; sleep 0.1; done
    echo "scripted server did not start: $(tail -n 3 "$dir/scripted.out")" >&2; exit 1
    ;;
  stop) stop_all ;;
esac
