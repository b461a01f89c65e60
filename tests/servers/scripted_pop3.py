#!/usr/bin/env python3
"""A POP3 or IMAP server that plays a script, for what no real server does on request.

Each accepted connection reads DIR/script.json afresh and plays it; every line
the client sends and how each connection ended are appended to DIR/log.jsonl.

A script is either a behaving server:
  {"mode": "pop3", "greeting": "+OK ready <1.2@host>", "users": {"alice": "pw"},
   "count": 3, "size": 726}
or a behaving IMAP server with the faults play_imap describes:
  {"mode": "imap", "users": {"alice": "pw"}, "folders": {"INBOX": {"uidvalidity": 7, "unseen": [1]}},
   "idle": [[{"send": "* 4 EXISTS\r\n"}, {"unseen": [1, 4]}]], ...}
or a list of steps:
  {"steps": [{"send": "+OK hi\\r\\n"}, {"read": 1}, {"send": "...", "bytewise": 0.01},
             {"stall": 40}, {"close": 1}, {"reset": 1}]}
With --certs, TLS too: a behaving server takes "tls": "implicit" or "stls" and
"cert" (a certificate name of the certs folder: valid, wrongname, expired,
selfsigned, untrusted); steps take {"tls": CERT} (the server's handshake),
{"read_raw": 1} (one chunk of bytes, unlogged), {"alert": 1} (a fatal alert
record straight on the wire) and {"close_notify": 1}.
Texts are Latin-1 (each character one byte). A script's "tag" is copied into
every log entry of the connections that play it.
"""
import argparse
import hashlib
import itertools
import json
import os
import socket
import ssl
import struct
import sys
import threading
import time


CERTS = None  # the certificates folder, when TLS is served


class Connection:
    def __init__(self, sock, number, directory):
        self.sock = sock
        self.number = number
        self.directory = directory
        self.raw = sock
        self.buffer = b""
        self.lock = threading.Lock()

    def log(self, **entry):
        entry["conn"] = self.number
        # The script's tag tells a test which entries are its own, whatever
        # earlier connections log late.
        entry["tag"] = getattr(self, "tag", None)
        with open(os.path.join(self.directory, "log.jsonl"), "a", encoding="latin-1") as f:
            f.write(json.dumps(entry) + "\n")
            f.flush()

    def send(self, text, bytewise=0):
        data = text.encode("latin-1")
        if bytewise:
            for b in data:
                self.sock.sendall(bytes([b]))
                time.sleep(bytewise)
        else:
            self.sock.sendall(data)

    def read_line(self):
        while b"\n" not in self.buffer:
            chunk = self.sock.recv(4096)
            if not chunk:
                raise EOFError
            self.buffer += chunk
        line, self.buffer = self.buffer.split(b"\n", 1)
        text = (line + b"\n").decode("latin-1")
        self.log(line=text)
        return text

    def wait_end(self):
        try:
            while True:
                chunk = self.sock.recv(4096)
                if not chunk:
                    self.log(end="closed")
                    return
                self.log_lines(chunk)
        except ConnectionResetError:
            self.log(end="reset")
        except OSError:
            self.log(end="error")

    def log_lines(self, chunk):
        """Logs every whole line that `chunk` completes."""
        self.buffer += chunk
        while b"\n" in self.buffer:
            line, self.buffer = self.buffer.split(b"\n", 1)
            self.log(line=(line + b"\n").decode("latin-1"))

    def stall(self, seconds):
        """Answers nothing for `seconds`, still logging what arrives; False
        when the client ended the connection meanwhile."""
        deadline = time.time() + seconds
        try:
            while (remaining := deadline - time.time()) > 0:
                self.sock.settimeout(remaining)
                try:
                    chunk = self.sock.recv(4096)
                except socket.timeout:
                    break
                if not chunk:
                    self.log(end="closed")
                    return False
                self.log_lines(chunk)
        except ConnectionResetError:
            self.log(end="reset")
            return False
        finally:
            self.sock.settimeout(None)
        return True

    def start_tls(self, cert):
        """The server's side of the handshake with certificate `cert`."""
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(os.path.join(CERTS, cert + ".pem"), os.path.join(CERTS, cert + ".key"))
        try:
            self.sock = context.wrap_socket(self.raw, server_side=True)
        except (ssl.SSLError, OSError) as e:
            self.log(end="tls-failed", error=str(e))
            return False
        self.log(event="tls")
        return True

    def reset(self):
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        self.sock.close()
        self.log(end="server-reset")


def play_steps(conn, steps):
    for step in steps:
        if "send" in step:
            conn.send(step["send"], step.get("bytewise", 0))
        elif "read" in step:
            for _ in range(int(step["read"])):
                conn.read_line()
        elif "stall" in step:
            if not conn.stall(float(step["stall"])):
                return
        elif "close" in step:
            conn.sock.shutdown(socket.SHUT_RDWR)
            conn.sock.close()
            conn.log(end="server-closed")
            return
        elif "reset" in step:
            conn.reset()
            return
        elif "tls" in step:
            if not conn.start_tls(step["tls"]):
                return
        elif "read_raw" in step:
            if not conn.raw.recv(65536):
                conn.log(end="closed")
                return
        elif "alert" in step:
            conn.raw.sendall(b"\x15\x03\x03\x00\x02\x02\x50")  # fatal internal_error
        elif "close_notify" in step:
            try:
                conn.sock = conn.sock.unwrap()
            except (ssl.SSLError, OSError):
                pass
    conn.wait_end()


def play_pop3(conn, script):
    users = script.get("users", {})
    greeting = script.get("greeting", "+OK ready")
    stamp = greeting[greeting.rfind("<"):] if "<" in greeting else ""
    cert = script.get("cert", "valid")
    if script.get("tls") == "implicit" and not conn.start_tls(cert):
        return
    conn.send(greeting + "\r\n")
    user = None
    logged_in = False
    while True:
        line = conn.read_line().rstrip("\r\n")
        verb, _, arg = line.partition(" ")
        verb = verb.upper()
        if verb == "USER" and not logged_in:
            user = arg
            conn.send("+OK\r\n")
        elif verb == "PASS" and user is not None and not logged_in:
            if users.get(user) == arg:
                logged_in = True
                conn.send("+OK Logged in.\r\n")
            else:
                conn.send("-ERR [AUTH] Authentication failed.\r\n")
        elif verb == "APOP" and not logged_in:
            name, _, digest = arg.partition(" ")
            secret = users.get(name)
            expected = hashlib.md5((stamp + (secret or "")).encode("latin-1")).hexdigest()
            if stamp and secret is not None and digest == expected:
                logged_in = True
                conn.send("+OK Logged in.\r\n")
            else:
                conn.send("-ERR [AUTH] Authentication failed.\r\n")
        elif verb == "STLS" and script.get("tls") == "stls" and conn.sock is conn.raw:
            conn.send("+OK Begin TLS negotiation now.\r\n")
            if not conn.start_tls(cert):
                return
        elif verb == "STAT" and logged_in:
            conn.send("+OK %d %d\r\n" % (script.get("count", 0), script.get("size", 0)))
        elif verb == "QUIT":
            conn.send("+OK Logging out.\r\n")
            conn.wait_end()
            return
        else:
            conn.send("-ERR Unknown command.\r\n")


CONNECTIONS = {}  # how many connections each script tag has had
CONNECTIONS_LOCK = threading.Lock()


def imap_command(conn):
    """One command with its literals read in: (tag, verb, args, raw text)."""
    text = conn.read_line().rstrip("\r\n")
    while text.endswith("}") and "{" in text:
        size = text[text.rfind("{") + 1:-1]
        plus = size.endswith("+")
        size = int(size.rstrip("+"))
        if not plus:
            conn.send("+ Ready for literal data\r\n")
        while len(conn.buffer) < size:
            chunk = conn.sock.recv(4096)
            if not chunk:
                raise EOFError
            conn.buffer += chunk
        data, conn.buffer = conn.buffer[:size], conn.buffer[size:]
        text = text[:text.rfind("{")] + "\x00LIT" + data.decode("latin-1") + "\x00"
        text += conn.read_line().rstrip("\r\n")
    tag, _, rest = text.partition(" ")
    verb, _, args = rest.partition(" ")
    return tag, verb.upper(), args, text


def imap_strings(args):
    """The astrings of a command's arguments (quoted, literal or atom)."""
    out, i = [], 0
    while i < len(args):
        c = args[i]
        if c == " ":
            i += 1
        elif c == '"':
            i += 1
            value = ""
            while args[i] != '"':
                if args[i] == "\\":
                    i += 1
                value += args[i]
                i += 1
            out.append(value)
            i += 1
        elif args.startswith("\x00LIT", i):
            end = args.index("\x00", i + 4)
            out.append(args[i + 4:end])
            i = end + 1
        else:
            end = args.find(" ", i)
            end = len(args) if end < 0 else end
            out.append(args[i:end])
            i = end
    return out


def play_imap_steps(conn, steps, state):
    """Steps played inside IDLE or before a reply; False when the connection ended."""
    for step in steps:
        if "send" in step:
            conn.send(step["send"])
        elif "unseen" in step:
            state["unseen"] = step["unseen"]
        elif "stall" in step:
            if not conn.stall(float(step["stall"])):
                return False
        elif "close" in step:
            conn.sock.shutdown(socket.SHUT_RDWR)
            conn.sock.close()
            conn.log(end="server-closed")
            return False
        elif "reset" in step:
            conn.reset()
            return False
    return True


def play_imap(conn, base):
    """A behaving IMAP server, with the faults a script asks for. "connections"
    holds what differs for the first, second, ... connection of the script."""
    # Tags start over with each test program: the script's own file tells
    # one script from the next.
    key = (base.get("tag"), os.stat(os.path.join(conn.directory, "script.json")).st_mtime_ns)
    with CONNECTIONS_LOCK:
        number = CONNECTIONS.get(key, 0)
        CONNECTIONS[key] = number + 1
    # Each IMAP reply goes out at once, as a real server's does (no Nagle
    # wait on the client's delayed acknowledgement between IDLE's news).
    conn.raw.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    script = dict(base)
    variants = base.get("connections", [])
    if variants:
        script.update(variants[min(number, len(variants) - 1)])
    caps = script.get("caps", "IMAP4rev1 IDLE AUTH=PLAIN SASL-IR LITERAL+")
    users = script.get("users", {})
    folders = script.get("folders", {"INBOX": {"uidvalidity": 7, "unseen": [1, 2, 3]}})
    cert = script.get("cert", "valid")
    if script.get("tls") == "implicit" and not conn.start_tls(cert):
        return
    pre = caps + (" STARTTLS" if script.get("tls") == "starttls" else "")
    conn.send(script.get("greeting", "* OK [CAPABILITY %s] ready" % pre) + "\r\n")
    logged_in = False
    state = None
    idles = 0
    while True:
        tag, verb, args, raw = imap_command(conn)
        if verb in script.get("never_answer", []):
            conn.stall(3600)
            return
        reply = None
        if verb == "CAPABILITY":
            shown = caps if conn.sock is not conn.raw or script.get("tls") != "starttls" else pre
            conn.send("* CAPABILITY %s\r\n" % (script.get("caps_after_tls", caps)
                                                if conn.sock is not conn.raw else shown))
            reply = "OK CAPABILITY completed"
        elif verb == "STARTTLS" and script.get("tls") == "starttls" and conn.sock is conn.raw:
            conn.send("%s OK Begin TLS negotiation now.\r\n" % tag)
            if not conn.start_tls(cert):
                return
            continue
        elif verb == "LOGIN" and not logged_in:
            strings = imap_strings(args)
            ok = len(strings) == 2 and users.get(strings[0]) == strings[1] and not script.get("refuse")
            conn.log(login=strings)
            logged_in = ok
            reply = "OK Logged in" if ok else "NO [AUTHENTICATIONFAILED] Authentication failed."
        elif verb == "AUTHENTICATE" and not logged_in:
            parts = args.split(" ")
            response = parts[1] if len(parts) > 1 else None
            if response is None:
                conn.send("+ \r\n")
                response = conn.read_line().rstrip("\r\n")
            import base64
            fields = base64.b64decode(response).decode("utf-8").split("\x00")
            conn.log(login=[f.encode("utf-8").decode("latin-1") for f in fields[1:]])
            ok = (len(fields) == 3 and users.get(fields[1].encode("utf-8").decode("latin-1")) ==
                  fields[2].encode("utf-8").decode("latin-1") and not script.get("refuse"))
            logged_in = ok
            reply = "OK Logged in" if ok else "NO [AUTHENTICATIONFAILED] Authentication failed."
        elif verb == "EXAMINE" and logged_in:
            name = imap_strings(args)[0]
            if name in folders:
                state = dict(folders[name])
                conn.send("* FLAGS (\\Seen)\r\n* %d EXISTS\r\n* OK [UIDVALIDITY %d] UIDs valid\r\n"
                          % (len(state["unseen"]), state["uidvalidity"]))
                reply = "OK [READ-ONLY] Examine completed"
            else:
                reply = "NO Mailbox doesn't exist: " + name
        elif verb == "UID" and args.upper().startswith("SEARCH") and state is not None:
            if "search_reply" in script:
                conn.send(script["search_reply"])
            else:
                conn.send("* SEARCH%s\r\n" % "".join(" %d" % u for u in state["unseen"]))
            if not play_imap_steps(conn, script.get("after_search", []), state):
                return
            reply = "OK Search completed"
        elif verb == "NOOP":
            reply = "OK NOOP completed"
        elif verb == "IDLE" and logged_in:
            conn.send("+ idling\r\n")
            plays = script.get("idle", [])
            steps = plays[min(idles, len(plays) - 1)] if plays else []
            idles += 1
            if not play_imap_steps(conn, steps, state):
                return
            done = conn.read_line()
            if done.strip().upper() != "DONE":
                reply = "BAD Expected DONE"
            else:
                if "stall_done" in script:
                    if not conn.stall(float(script["stall_done"])):
                        return
                reply = "OK Idle completed"
        elif verb == "LOGOUT":
            conn.send("* BYE Logging out\r\n%s OK Logout completed\r\n" % tag)
            conn.wait_end()
            return
        else:
            reply = "BAD Error in IMAP command"
        if "before_reply" in script and verb in script["before_reply"]:
            conn.send(script["before_reply"][verb])
        conn.send("%s %s\r\n" % (tag, reply))


def serve(conn):
    try:
        with open(os.path.join(conn.directory, "script.json"), encoding="latin-1") as f:
            script = json.load(f)
        conn.tag = script.get("tag")
        conn.log(event="accepted")
        if script.get("mode") == "pop3":
            play_pop3(conn, script)
        elif script.get("mode") == "imap":
            play_imap(conn, script)
        else:
            play_steps(conn, script.get("steps", []))
    except EOFError:
        conn.log(end="closed")
    except ConnectionResetError:
        conn.log(end="reset")
    except OSError as e:
        conn.log(end="error", error=str(e))
    finally:
        try:
            conn.sock.close()
        except OSError:
            pass


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--address", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=110)
    parser.add_argument("--imap-port", type=int, default=143)
    parser.add_argument("--dir", required=True)
    parser.add_argument("--tls-port", type=int, help="also listen on localhost's port for TLS tests")
    parser.add_argument("--certs", help="folder of the certificates TLS scripts name")
    parser.add_argument("--ipv6-port", type=int, help="also listen on ::1's port")
    args = parser.parse_args()
    global CERTS
    CERTS = args.certs
    os.makedirs(args.dir, exist_ok=True)
    # IMAP scripts are also served on the address's IMAP port, where a new
    # installation's dialog points them.
    listeners = [listen(args.address, args.port), listen(args.address, args.imap_port)]
    if args.tls_port:
        listeners.append(listen("127.0.0.1", args.tls_port))
    if args.ipv6_port:
        listeners.append(listen("::1", args.ipv6_port, socket.AF_INET6))
    with open(os.path.join(args.dir, "pid"), "w") as f:
        f.write(str(os.getpid()))
    counter = itertools.count(1)
    for listener in listeners[1:]:
        threading.Thread(target=accept_forever, args=(listener, counter, args.dir), daemon=True).start()
    accept_forever(listeners[0], counter, args.dir)


def listen(address, port, family=socket.AF_INET):
    listener = socket.socket(family, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind((address, port))
    listener.listen(64)
    return listener


def accept_forever(listener, counter, directory):
    while True:
        sock, _ = listener.accept()
        threading.Thread(target=serve, args=(Connection(sock, next(counter), directory),),
                         daemon=True).start()


if __name__ == "__main__":
    sys.exit(main())
