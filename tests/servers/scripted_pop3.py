#!/usr/bin/env python3
"""A POP3 server that plays a script, for what no real server does on request.

Each accepted connection reads DIR/script.json afresh and plays it; every line
the client sends and how each connection ended are appended to DIR/log.jsonl.

A script is either a behaving server:
  {"mode": "pop3", "greeting": "+OK ready <1.2@host>", "users": {"alice": "pw"},
   "count": 3, "size": 726}
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


def serve(conn):
    try:
        with open(os.path.join(conn.directory, "script.json"), encoding="latin-1") as f:
            script = json.load(f)
        conn.tag = script.get("tag")
        conn.log(event="accepted")
        if script.get("mode") == "pop3":
            play_pop3(conn, script)
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
    parser.add_argument("--dir", required=True)
    parser.add_argument("--tls-port", type=int, help="also listen on localhost's port for TLS tests")
    parser.add_argument("--certs", help="folder of the certificates TLS scripts name")
    parser.add_argument("--ipv6-port", type=int, help="also listen on ::1's port")
    args = parser.parse_args()
    global CERTS
    CERTS = args.certs
    os.makedirs(args.dir, exist_ok=True)
    listeners = [listen(args.address, args.port)]
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
