#!/usr/bin/python3
"""Figures of the Linux program next to the minimal Qt tray program, on the
tests' headless desktop with the D-Bus tray: start to icon (until the item is
registered with the watcher), resident memory once settled, and CPU time over
an idle stretch (an empty mailbox, so no notice animates). Prints figures, never pass or fail.
  BUZONIX_PROGRAM, BUZONIX_MINTRAY, BUZONIX_APOP_ADDR, BUZONIX_IDLE_SECONDS (60)"""
import os
import statistics
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "linux"))
import dbus  # noqa: E402

import desktop  # noqa: E402

ROUNDS = 7
IDLE_SECONDS = float(os.environ.get("BUZONIX_IDLE_SECONDS", "60"))
TICKS = os.sysconf("SC_CLK_TCK")


def registered(session):
    bus = dbus.bus.BusConnection(session.env["DBUS_SESSION_BUS_ADDRESS"])
    watcher = bus.get_object("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher")
    return lambda: len(watcher.Get("org.kde.StatusNotifierWatcher", "RegisteredStatusNotifierItems",
                                   dbus_interface=dbus.PROPERTIES_IFACE)) > 0


def resident_kib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS


def measure(argv, prepare, idle):
    starts, memories, cpu = [], [], None
    for round_ in range(ROUNDS):
        session = desktop.Desktop("dbus")
        try:
            prepare(session)
            shown = registered(session)
            began = time.monotonic()
            process = session._start(argv)
            if not desktop.wait_for(shown, 10, 0.001):
                raise RuntimeError(f"{argv[0]} showed no icon")
            starts.append(1000 * (time.monotonic() - began))
            time.sleep(2)
            memories.append(resident_kib(process.pid))
            if idle and round_ == 0:
                before = cpu_seconds(process.pid)
                time.sleep(IDLE_SECONDS)
                cpu = cpu_seconds(process.pid) - before
        finally:
            session.close()
    return statistics.median(starts), statistics.median(memories), cpu


def main():
    apop = os.environ["BUZONIX_APOP_ADDR"]
    program = measure([os.environ["BUZONIX_PROGRAM"]],
                      lambda s: s.write_settings(apop, user="bob", frequency="720"), idle=True)
    minimal = measure([os.environ["BUZONIX_MINTRAY"]], lambda s: None, idle=True)
    for name, (start, rss, cpu) in (("buzonix", program), ("minimal Qt tray", minimal)):
        print(f"{name:16} start to icon {start:6.1f} ms   resident {rss / 1024:5.1f} MiB   "
              f"CPU over {IDLE_SECONDS:.0f} s idle {cpu:.2f} s")
    print(f"ratio of starts {program[0] / minimal[0]:.2f}   "
          f"extra resident {(program[1] - minimal[1]) / 1024:+.1f} MiB   ({ROUNDS} starts each, medians)")


if __name__ == "__main__":
    main()
