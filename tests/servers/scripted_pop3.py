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
Texts are Latin-1 (each character one byte). A script's "tag" is copied into
every log entry of the connections that play it.
"""
import argparse
import hashlib
import json
import os
import socket
import struct
import sys
import threading
import time


class Connection:
    def __init__(self, sock, number, directory):
        self.sock = sock
        self.number = number
        self.directory = directory
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
    conn.wait_end()


def play_pop3(conn, script):
    users = script.get("users", {})
    greeting = script.get("greeting", "+OK ready")
    stamp = greeting[greeting.rfind("<"):] if "<" in greeting else ""
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
    args = parser.parse_args()
    os.makedirs(args.dir, exist_ok=True)
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind((args.address, args.port))
    listener.listen(64)
    with open(os.path.join(args.dir, "pid"), "w") as f:
        f.write(str(os.getpid()))
    number = 0
    while True:
        sock, _ = listener.accept()
        number += 1
        threading.Thread(target=serve, args=(Connection(sock, number, args.dir),),
                         daemon=True).start()


if __name__ == "__main__":
    sys.exit(main())
