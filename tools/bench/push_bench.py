#!/usr/bin/python3
"""Push latency of the real program in IMAP mode: a message delivered to
dovecot, to the changed tray tooltip, next to a minimal IDLE client waiting on
the same deliveries in the same run. Prints figures, never pass or fail.
  push_bench.py linux|wine DELIVERIES
  linux: BUZONIX_PROGRAM; wine: the e2e harness's variables (BUZONIX_BIN, ...);
  both: BUZONIX_PLAIN_ADDR, BUZONIX_SERVERS_DIR"""
import base64
import os
import socket
import statistics
import subprocess
import sys
import threading
import time

here = os.path.dirname(os.path.abspath(__file__))
DOVECOT_SH = os.path.join(here, "..", "..", "tests", "servers", "dovecot.sh")
DOVECOT = os.environ["BUZONIX_PLAIN_ADDR"]
BOX = os.path.join(os.environ["BUZONIX_SERVERS_DIR"], "dovecot-plain")
USER = "erin"


def caption(count):
    return {0: "No Hay Mensajes", 1: "1 Mensaje sin leer"}.get(count, f"{count} Mensajes sin leer")


def unread(tooltip):
    if tooltip == "No Hay Mensajes":
        return 0
    if tooltip.endswith(("Mensajes sin leer", "Mensaje sin leer")):
        return int(tooltip.split()[0])
    return None


class MinimalIdleClient:
    """Logs in, examines INBOX and idles; stamps each EXISTS."""

    def __init__(self):
        self.sock = socket.create_connection((DOVECOT, 143))
        self.file = self.sock.makefile("rb")
        self.file.readline()
        auth = base64.b64encode(b"\0" + USER.encode() + b"\0secret").decode()
        self.command(f"a AUTHENTICATE PLAIN {auth}", b"a ")
        self.command("b EXAMINE INBOX", b"b ")
        self.command("c IDLE", b"+")
        self.seen = []
        threading.Thread(target=self.listen, daemon=True).start()

    def command(self, text, until):
        self.sock.sendall(text.encode() + b"\r\n")
        while not self.file.readline().startswith(until):
            pass

    def listen(self):
        for line in self.file:
            if b" EXISTS" in line:
                self.seen.append(time.monotonic())

    def close(self):
        self.sock.sendall(b"DONE\r\nd LOGOUT\r\n")
        self.sock.close()


def deliver():
    subprocess.run([DOVECOT_SH, "deliver", BOX, USER, "1"], check=True)


def report(name, times):
    times = sorted(times)
    p99 = times[min(len(times) - 1, int(0.99 * (len(times) - 1) + 0.5))]
    print(f"{name:40} median {statistics.median(times):7.1f} ms  p99 {p99:7.1f} ms  ({len(times)})")


def run(deliveries, shown_count, wait_tooltip):
    """wait_tooltip(text) returns when the tray shows text (or raises)."""
    minimal = MinimalIdleClient()
    ours, raw = [], []
    count = shown_count()
    for _ in range(deliveries):
        before = len(minimal.seen)
        expected = caption(count + 1)
        wait = wait_tooltip(expected)
        started = time.monotonic()
        deliver()
        seen = next(wait)
        ours.append((seen - started) * 1000)
        end = time.monotonic() + 5
        while len(minimal.seen) == before and time.monotonic() < end:
            time.sleep(0.001)
        raw.append((minimal.seen[-1] - started) * 1000 if len(minimal.seen) > before else 5000)
        count += 1
    minimal.close()
    report("push, the program", ours)
    report("push, minimal IDLE client", raw)
    print(f"{'polling at the 1-minute interval':40} expected 30000 ms")


def linux(deliveries):
    sys.path.insert(0, os.path.join(here, "..", "..", "tests", "linux"))
    import dbus
    import desktop
    session = desktop.Desktop("dbus")
    try:
        session.write_settings(DOVECOT, user=USER, frequency="720", extra="Protocolo=IMAP\nPuerto=143\n")
        session.start_program()
        bus = dbus.bus.BusConnection(session.env["DBUS_SESSION_BUS_ADDRESS"])
        watcher = bus.get_object("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher")
        items = desktop.wait_for(lambda: watcher.Get("org.kde.StatusNotifierWatcher",
                                                     "RegisteredStatusNotifierItems",
                                                     dbus_interface=dbus.PROPERTIES_IFACE))
        name, path = str(items[0]).split("/", 1)
        item = bus.get_object(name, "/" + path)

        def tooltip():
            return str(item.Get("org.kde.StatusNotifierItem", "ToolTip", dbus_interface=dbus.PROPERTIES_IFACE)[2])

        def shown_count():
            return desktop.wait_for(lambda: unread(tooltip()) is not None and [unread(tooltip())])[0]

        def wait_tooltip(text):
            yield desktop.wait_for(lambda: tooltip() == text and time.monotonic(), 10, 0.001)

        run(deliveries, shown_count, wait_tooltip)
    finally:
        session.close()


def wine(deliveries):
    sys.path.insert(0, os.path.join(here, "..", "..", "tests", "e2e"))
    import harness
    harness.ensure_wineserver()
    harness.driver("regdel", "HKCU", r"Software\Buzonix")
    program = harness.Program()
    try:
        for name, value in (("Host", DOVECOT), ("usuario", USER), ("clave", "secret"), ("frecuencia", "720"),
                            ("Hacer Sonido", "Beep"), ("Animacion", "No"), ("Protocolo", "IMAP"),
                            ("Puerto", "143"), ("Seguridad", "Ninguna")):
            harness.reg_set(harness.CONFIG_KEY, name, value)
        harness.reg_set(harness.VERSION_KEY, "Numero", "1.00")
        program.start()

        def shown_count():
            found = harness.wait_until(lambda: [c for c in map(unread, harness.tooltips()) if c is not None], 20)
            return found[0]

        def wait_tooltip_started(text):
            # Start the watcher before the delivery, then hand out its answer.
            watcher = subprocess.Popen([harness.WINE, harness.DRIVER, "waittip", text, "10"],
                                       stdout=subprocess.PIPE, text=True)
            assert watcher.stdout.readline().strip() == "ready"

            def answer():
                line = watcher.stdout.readline().strip()
                seen = time.monotonic()
                watcher.wait()
                assert line == "seen", line
                yield seen
            return answer()

        run(deliveries, shown_count, wait_tooltip_started)
        harness.driver("menu", harness.SALIR)
        program.exit_code()
    finally:
        program.stop()


if __name__ == "__main__":
    {"linux": linux, "wine": wine}[sys.argv[1]](int(sys.argv[2]) if len(sys.argv) > 2 else 100)
