#!/usr/bin/env python3
r"""What "open the system browser at URL" ends in during the tests: a browser
that plays the user who signs in at once.

  scripted_browser.py [--config FILE] URL

FILE (else $BUZONIX_BROWSER_CONFIG) is JSON, read at every start so that a
test may change it between runs:
  {"mode": "follow" | "wrong-state" | "never" | "error",   (default follow)
   "log": "/path/browser.jsonl",        (where it writes; none: nothing logged)
   "ca": "/path/ca.pem",                (the CA it trusts for https)
   "timeout": 20}                       (seconds for each connection)
$BUZONIX_BROWSER_MODE, when set, overrides the file's mode.

Given the authorisation URL (whose redirect_uri names the program's loopback
listener), "follow":
  1. opens a spare connection to the redirect's port that sends nothing (as
     browsers preconnect), kept open until the end;
  2. GETs URL, trusting only the CA, and takes the 302's Location;
  3. GETs that Location on a connection of its own and records its status
     and page, then asks /favicon.ico on another connection.
"wrong-state" alters the state of the Location before step 3; "error" skips
step 2 and brings the program redirect_uri?error=access_denied&state=STATE;
"never" does nothing (the redirect never comes).
Each step appends one JSON line to the log: {"event": "invoked", "url",
"mode"}, {"event": "spare", "connected"}, {"event": "authorize", "status",
"location"}, {"event": "redirect", "url", "status", "body"}, {"event":
"favicon", "status"}, {"event": "failed", "step", "error"} and last
{"event": "done"}. Exits 0 whatever the servers did.

Made the browser of the programs under test by prepare(FOLDER, ...), which
writes FOLDER/config.json and FOLDER/scripted-browser (a shell wrapper that
needs no argument but the URL), and then:
  Linux: xdg-open with no desktop environment detected runs $BROWSER, so the
         program is started with linux_environment(FOLDER) (BROWSER names the
         wrapper; XDG_CURRENT_DESKTOP, DE and the sessions' variables unset;
         XDG_DATA_HOME and XDG_CONFIG_HOME empty folders of FOLDER, so that no
         registered https handler comes first). Qt's QDesktopServices::openUrl
         starts xdg-open.
  Wine:  winebrowser (what ShellExecute of an https URL ends in) tries the
         programs named by HKCU\Software\Wine\WineBrowser "Browsers" in turn;
         harness.py's use_scripted_browser() names the wrapper there.
"""
import argparse
import http.client
import json
import os
import socket
import ssl
import sys
import time
import urllib.parse


class Browser:
    def __init__(self, config):
        self.config = config
        self.timeout = float(config.get("timeout", 20))

    def log(self, **entry):
        entry["time"] = time.time()
        if self.config.get("log"):
            with open(self.config["log"], "a", encoding="utf-8") as f:
                f.write(json.dumps(entry) + "\n")

    def connection(self, url):
        parts = urllib.parse.urlsplit(url)
        if parts.scheme == "https":
            context = ssl.create_default_context(cafile=self.config.get("ca"))
            return http.client.HTTPSConnection(parts.hostname, parts.port or 443, timeout=self.timeout,
                                               context=context)
        return http.client.HTTPConnection(parts.hostname, parts.port or 80, timeout=self.timeout)

    def get(self, url):
        """GET on a fresh connection: (status, headers, body); no redirect followed."""
        parts = urllib.parse.urlsplit(url)
        connection = self.connection(url)
        try:
            connection.request("GET", (parts.path or "/") + (f"?{parts.query}" if parts.query else ""))
            response = connection.getresponse()
            return response.status, response.getheader("Location"), response.read()
        finally:
            connection.close()

    def open(self, url):
        mode = os.environ.get("BUZONIX_BROWSER_MODE") or self.config.get("mode", "follow")
        self.log(event="invoked", url=url, mode=mode)
        if mode == "never":
            return self.log(event="done")
        query = dict(urllib.parse.parse_qsl(urllib.parse.urlsplit(url).query))
        redirect_uri = query.get("redirect_uri", "")
        spare = self.preconnect(redirect_uri)
        try:
            if mode == "error":
                back = {"error": "access_denied"}
                if "state" in query:
                    back["state"] = query["state"]
                location = redirect_uri + "?" + urllib.parse.urlencode(back)
            else:
                location = self.authorize(url)
                if location and mode == "wrong-state":
                    location = altered_state(location)
            if location:
                self.redirect(location)
        finally:
            if spare is not None:
                spare.close()
        self.log(event="done")

    def preconnect(self, redirect_uri):
        parts = urllib.parse.urlsplit(redirect_uri)
        try:
            spare = socket.create_connection((parts.hostname, parts.port), timeout=self.timeout)
        except (OSError, ValueError, TypeError) as e:
            self.log(event="spare", connected=False, error=str(e))
            return None
        self.log(event="spare", connected=True)
        return spare

    def authorize(self, url):
        try:
            status, location, _ = self.get(url)
        except (OSError, ssl.SSLError, http.client.HTTPException) as e:
            return self.log(event="failed", step="authorize", error=str(e))
        self.log(event="authorize", status=status, location=location)
        return location if status in (301, 302, 303, 307) else None

    def redirect(self, location):
        try:
            status, _, body = self.get(location)
            self.log(event="redirect", url=location, status=status, body=body.decode("utf-8", "replace")[:4000])
        except (OSError, http.client.HTTPException) as e:
            self.log(event="failed", step="redirect", url=location, error=str(e))
            return
        favicon = urllib.parse.urljoin(location, "/favicon.ico")
        try:
            status, _, _ = self.get(favicon)
            self.log(event="favicon", status=status)
        except (OSError, http.client.HTTPException) as e:
            self.log(event="failed", step="favicon", error=str(e))


def altered_state(location):
    parts = urllib.parse.urlsplit(location)
    query = urllib.parse.parse_qsl(parts.query)
    query = [(k, v + "-altered" if k == "state" else v) for k, v in query]
    return urllib.parse.urlunsplit(parts._replace(query=urllib.parse.urlencode(query)))


def prepare(folder, mode="follow", ca=None, timeout=20):
    """The config and wrapper in FOLDER; returns the wrapper's path. The log
    is FOLDER/browser.jsonl, emptied here."""
    os.makedirs(folder, exist_ok=True)
    config = os.path.join(folder, "config.json")
    write_config(folder, mode=mode, ca=ca, timeout=timeout)
    open(log_path(folder), "w").close()
    wrapper = os.path.join(folder, "scripted-browser")
    with open(wrapper, "w", encoding="utf-8") as f:
        f.write(f"#!/bin/sh\nexec {sys.executable} {os.path.abspath(__file__)} --config {config} \"$1\"\n")
    os.chmod(wrapper, 0o755)
    return wrapper


def write_config(folder, **settings):
    """Changes the config of FOLDER (say mode="never") for the next start."""
    config = os.path.join(folder, "config.json")
    current = {"log": log_path(folder)}
    if os.path.exists(config):
        with open(config, encoding="utf-8") as f:
            current = json.load(f)
    current.update({k: v for k, v in settings.items() if v is not None})
    with open(config + ".tmp", "w", encoding="utf-8") as f:
        json.dump(current, f)
    os.replace(config + ".tmp", config)


def log_path(folder):
    return os.path.join(folder, "browser.jsonl")


def read_log(folder):
    """What the browser logged so far, oldest first."""
    try:
        with open(log_path(folder), encoding="utf-8") as f:
            return [json.loads(line) for line in f if line.strip()]
    except FileNotFoundError:
        return []


def linux_environment(folder, base=None):
    """The environment in which xdg-open runs FOLDER's wrapper."""
    env = dict(os.environ if base is None else base)
    for name in ("XDG_CURRENT_DESKTOP", "DE", "DESKTOP_SESSION", "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID",
                 "MATE_DESKTOP_SESSION_ID", "LXQT_SESSION_CONFIG", "DEFAULT_BROWSER"):
        env.pop(name, None)
    for name in ("XDG_DATA_HOME", "XDG_CONFIG_HOME"):
        env[name] = os.path.join(folder, name.lower())
        os.makedirs(env[name], exist_ok=True)
    env["BROWSER"] = os.path.join(folder, "scripted-browser")
    return env


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--config", default=os.environ.get("BUZONIX_BROWSER_CONFIG"))
    parser.add_argument("url")
    args = parser.parse_args()
    config = {}
    if args.config and os.path.exists(args.config):
        with open(args.config, encoding="utf-8") as f:
            config = json.load(f)
    Browser(config).open(args.url)
    return 0


if __name__ == "__main__":
    sys.exit(main())
