#!/usr/bin/env bash
# Starts or stops the servers a test run talks to, all on loopback port 110:
# the scripted server, a dovecot whose greeting carries an APOP stamp and one
# whose greeting does not.
#   fixture.sh start|stop DIR SCRIPTED_ADDR APOP_ADDR PLAIN_ADDR
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
cmd=$1 dir=$(realpath -m "$2") scripted=$3 apop=$4 plain=$5
stop_all() {
  if [ -f "$dir/scripted/pid" ]; then kill "$(cat "$dir/scripted/pid")" 2>/dev/null || true; rm -f "$dir/scripted/pid"; fi
  "$here/dovecot.sh" stop "$dir/dovecot-apop" 2>/dev/null || true
  "$here/dovecot.sh" stop "$dir/dovecot-plain" 2>/dev/null || true
}
case "$cmd" in
  start)
    stop_all
    mkdir -p "$dir/scripted"
    chmod 777 "$dir" "$dir/scripted"
    rm -f "$dir/scripted/log.jsonl"
    setsid nohup python3 "$here/scripted_pop3.py" --address "$scripted" --dir "$dir/scripted" \
      >"$dir/scripted.out" 2>&1 < /dev/null &
    "$here/dovecot.sh" start "$dir/dovecot-apop" "$apop" apop 2>/dev/null
    "$here/dovecot.sh" start "$dir/dovecot-plain" "$plain" plain 2>/dev/null
    for _ in $(seq 1 50); do [ -f "$dir/scripted/pid" ] && exit 0; sleep 0.1; done
    echo "scripted server did not start" >&2; exit 1
    ;;
  stop) stop_all ;;
esac
