#!/usr/bin/env bash
# A private dovecot POP3 server on ADDRESS:110 with its own configuration; the
# plain one also serves IMAP on ADDRESS:143 (and, with CERTDIR, STARTTLS on
# localhost's STLS_PORT + 3 and TLS from the first byte on STLS_PORT + 4).
# With INTROSPECT_URL the plain one also takes XOAUTH2 and OAUTHBEARER logins,
# whose bearer tokens that URL (oauth_provider.py's /introspect) vouches for.
#   dovecot.sh start DIR ADDRESS apop|plain [CERTDIR STLS_PORT TLS_PORT [INTROSPECT_URL]]
#                                               users: alice (3 messages),
#                                               bob (none), carol (120); password "secret";
#                                               dave (1), password pa"s\wñ (UTF-8);
#                                               erin (none; the box IMAP tests deliver to);
#                                               oscar@example.invalid (2; the provider's account,
#                                               password "secret" too);
#                                               with CERTDIR also on localhost's STLS_PORT
#                                               (STLS) and TLS_PORT (TLS from the first byte)
#   dovecot.sh stop DIR
#   dovecot.sh deliver DIR USER N               drops N more messages into USER's box
#   dovecot.sh seen DIR USER UIDS               marks those messages seen (IMAP's view)
#   dovecot.sh flags DIR USER                   prints each message's UID and flags
#   dovecot.sh logins DIR                       counts the IMAP logins logged so far
set -euo pipefail
cmd=$1 dir=$(realpath -m "$2")

message() {  # a small message of about 240 bytes
  printf 'From: tester@example.invalid\nTo: %s@example.invalid\nSubject: Prueba %s\nDate: Mon, 7 Dec 2026 10:00:00 +0000\nMessage-ID: <%s.%s@example.invalid>\n\nMensaje de prueba numero %s.\n' "$1" "$2" "$1" "$2" "$2"
}

# True when PID is the dovecot started with this folder's configuration: a
# pid file outlives a server that died, and its number may since have gone to
# another process.
ours() {
  [ -r "/proc/$1/cmdline" ] && tr '\0' ' ' < "/proc/$1/cmdline" | grep -qF -- "-c $dir/dovecot.conf"
}

answers() {  # address port
  (exec 3<>"/dev/tcp/$1/$2") 2>/dev/null
}

# True when something listens where ADDRESS:PORT would be bound: that address,
# or all of them. Asked of the system, not by connecting: a listener that
# never accepts would leave a connection hanging.
held() {  # address port
  ss -Hltn "sport = :$2" | awk -v at="$1:$2" -v port="$2" \
    '$4 == at || $4 == "0.0.0.0:" port || $4 == "*:" port || $4 == "[::]:" port { found = 1 }
     END { exit !found }'
}

# Waits up to 3 s for ADDRESS:PORT to be free (a stopped dovecot's login
# processes listen for a moment); false when something still listens there.
free() {  # address port
  for _ in $(seq 1 30); do held "$1" "$2" || return 0; sleep 0.1; done
  return 1
}

deliver() {  # user count
  local box="$dir/mail/$1/Maildir"
  mkdir -p "$box/new" "$box/cur" "$box/tmp"
  local start; start=$(ls "$box/new" "$box/cur" | wc -l)
  # Written aside and moved in, so that a server watching the box never
  # sees half a message.
  for i in $(seq 1 "$2"); do
    local name="$((start + i)).$$.$RANDOM.buzonix"
    message "$1" "$((start + i))" > "$box/tmp/$name"
    chown nobody:nogroup "$box/tmp/$name"
    mv "$box/tmp/$name" "$box/new/$name"
  done
  chown -R nobody:nogroup "$dir/mail/$1"
}

case "$cmd" in
  start)
    address=$3 mode=$4 certs=${5:-} stls_port=${6:-} tls_port=${7:-} introspect=${8:-}
    mkdir -p "$dir"
    chmod 755 "$dir"
    "$0" stop "$dir" || true
    # A server this script did not start (a system dovecot, say) is never
    # stopped here: the tests then cannot have its port.
    for endpoint in "$address 110" ${certs:+"127.0.0.1 $stls_port" "127.0.0.1 $tls_port"}; do
      # shellcheck disable=SC2086
      if ! free $endpoint; then
        echo "dovecot.sh: ${endpoint/ /:} is already served by a program these tests did not start" \
             "(a system dovecot?); stop it, or move the tests' servers (BUZONIX_TEST_NET_NATIVE," \
             "BUZONIX_TEST_NET_WIN)" >&2
        exit 1
      fi
    done
    rm -rf "$dir/base" "$dir/mail"
    mkdir -p "$dir/base" "$dir/mail"
    chmod 755 "$dir/mail"
    for u in alice bob carol dave erin oscar@example.invalid; do
      mkdir -p "$dir/mail/$u/Maildir/"{new,cur,tmp}
      if [ "$u" = dave ]; then
        printf '%s:{PLAIN}%s::::%s::\n' "$u" 'pa"s\w'$'\xc3\xb1' "$dir/mail/$u"
      else
        echo "$u:{PLAIN}secret::::$dir/mail/$u::"
      fi
    done > "$dir/passwd"
    chown root:dovecot "$dir/passwd"; chmod 0640 "$dir/passwd"
    deliver alice 3; deliver carol 120; deliver bob 0; deliver dave 1; deliver erin 0
    deliver oscar@example.invalid 2
    mechanisms=plain; [ "$mode" = apop ] && mechanisms="plain apop"
    oauth2_passdb=""
    if [ "$mode" = plain ] && [ -n "$introspect" ]; then
      mechanisms="plain xoauth2 oauthbearer"
      cat > "$dir/oauth2.conf" <<OAUTH
introspection_mode = post
introspection_url = $introspect
username_attribute = username
active_attribute = active
active_value = true
OAUTH
      chmod 644 "$dir/oauth2.conf"
      # A refused token must not go on to the password file, where a token
      # equal to a password would log in.
      oauth2_passdb="passdb {
  driver = oauth2
  mechanisms = xoauth2 oauthbearer
  args = $dir/oauth2.conf
  result_failure = return-fail
  result_internalfail = return-fail
}"
    fi
    protocols="pop3" imap_port=0 imap_tls_listeners=""
    if [ "$mode" = plain ]; then
      protocols="pop3 imap" imap_port=143
      [ -z "$certs" ] || imap_tls_listeners="inet_listener imapstls {
    address = 127.0.0.1
    port = $((stls_port + 3))
  }
  inet_listener imaps {
    address = 127.0.0.1
    port = $((stls_port + 4))
    ssl = yes
  }"
    fi
    ssl="ssl = no" tls_listeners=""
    if [ -n "$certs" ]; then
      ssl="ssl = yes
ssl_cert = <$certs/valid.pem
ssl_key = <$certs/valid.key
ssl_min_protocol = TLSv1.2"
      tls_listeners="inet_listener pop3stls {
    address = 127.0.0.1
    port = $stls_port
  }
  inet_listener pop3s {
    address = 127.0.0.1
    port = $tls_port
    ssl = yes
  }"
    fi
    cat > "$dir/dovecot.conf" <<CONF
protocols = $protocols
listen = $address
base_dir = $dir/base
state_dir = $dir/base
$ssl
disable_plaintext_auth = no
auth_mechanisms = $mechanisms
auth_failure_delay = 0
mail_uid = nobody
mail_gid = nogroup
mail_location = maildir:~/Maildir
log_path = $dir/dovecot.log
auth_verbose = yes
$oauth2_passdb
passdb {
  driver = passwd-file
  args = scheme=PLAIN $dir/passwd
  override_fields = nodelay=yes
}
userdb {
  driver = passwd-file
  args = $dir/passwd
}
service auth {
  client_limit = 2000
}
service anvil {
  unix_listener anvil-auth-penalty {
    mode = 0
  }
}
service pop3-login {
  inet_listener pop3 {
    address = $address
    port = 110
  }
  $tls_listeners
  service_count = 0
  process_min_avail = 1
}
service pop3 {
  service_count = 0
  process_min_avail = 1
}
service imap-login {
  inet_listener imap {
    address = $address
    port = $imap_port
  }
  $imap_tls_listeners
  service_count = 0
  process_min_avail = 1
}
CONF
    if ! dovecot -c "$dir/dovecot.conf" >"$dir/dovecot.out" 2>&1; then
      echo "dovecot did not start: $(tail -n 3 "$dir/dovecot.out")" >&2; exit 1
    fi
    # Wait until the listener answers.
    for _ in $(seq 1 50); do
      if answers "$address" 110 && { [ -z "$certs" ] || answers 127.0.0.1 "$tls_port"; }; then exit 0; fi
      sleep 0.1
    done
    echo "dovecot did not start" >&2; exit 1
    ;;
  stop)
    if [ -f "$dir/base/master.pid" ]; then
      pid=$(cat "$dir/base/master.pid")
      if ours "$pid"; then
        kill "$pid" 2>/dev/null || true
        for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
      fi
      rm -f "$dir/base/master.pid"
    fi
    ;;
  deliver)
    deliver "$3" "$4"
    ;;
  seen)
    doveadm -c "$dir/dovecot.conf" flags add -u "$3" '\Seen' mailbox INBOX uid "$4"
    ;;
  flags)
    doveadm -c "$dir/dovecot.conf" -f flow fetch -u "$3" 'uid flags' mailbox INBOX all
    ;;
  logins)
    grep -c 'imap-login: Info: Login: user=' "$dir/dovecot.log" || true
    ;;
esac
