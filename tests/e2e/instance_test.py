"""One program per user session: a second start hands over to the running copy,
the installer's WM_CLOSE ends it, and a copy that was killed blocks nothing."""
import os
import subprocess
import time
import unittest

from harness import (REFUSING, SALIR, SCRIPTED, ProgramTest, driver, ensure_wineserver, find_shown,
                     received_lines, set_script, wait_tooltip, wait_until)

INSTANCE_CLASS = "BuzonixInstancia"
CONFIG_CLASS = os.environ.get("BUZONIX_CONFIG_CLASS", "TConf")
WM_CLOSE = 0x0010
SECURE_LIBRARIES = {"secur32.dll", "crypt32.dll"}


def instance_pid():
    return driver("pid", driver("find", INSTANCE_CLASS, "-")[0])[0]


def logins():
    return [line for line in received_lines() if line.startswith("USER ")]


def restart_shell():
    """A killed program's tray icon stays with the shell: later tests start afresh."""
    subprocess.run(["wineserver", "-k"], check=False)
    subprocess.run(["wineserver", "-w"], check=False)
    ensure_wineserver()


class InstanceTest(ProgramTest):
    def start_checked(self):
        set_script({"mode": "pop3", "greeting": "+OK ready", "users": {"alice": "secret"}, "count": 0})
        self.store_settings(SCRIPTED, "alice", "secret", frequency="720")
        program = self.program().start()
        self.assertEqual(wait_tooltip("No Hay Mensajes"), "No Hay Mensajes")
        return program

    def test_second_start_opens_the_running_ones_dialog_and_leaves_at_once(self):
        first = self.start_checked()
        icons, first_pid = driver("trayicons"), instance_pid()
        self.assertEqual(len(logins()), 1)
        # A plain check needs nothing of TLS: neither library is loaded.
        loaded = {name.lower() for name in driver("modules", first_pid)}
        self.assertIn("ws2_32.dll", loaded)
        self.assertFalse(loaded & SECURE_LIBRARIES, loaded & SECURE_LIBRARIES)

        started = time.monotonic()
        self.assertEqual(self.program().start().exit_code(10), 0)
        self.assertLess(time.monotonic() - started, 5)
        dialog = find_shown(CONFIG_CLASS)
        self.assertEqual(driver("pid", dialog), [first_pid])
        # Asked again while the dialog is open: still the one dialog.
        self.assertEqual(self.program().start().exit_code(10), 0)
        time.sleep(0.5)
        self.assertEqual(driver("count", CONFIG_CLASS), ["1"])
        self.assertEqual(driver("trayicons"), icons)
        self.assertEqual(len(logins()), 1)
        driver("menu", SALIR)
        self.assertEqual(first.exit_code(), 0)

    def test_wm_close_ends_the_program_as_salir_does_whatever_it_is_doing(self):
        idle = self.start_checked()
        driver("post", driver("find", INSTANCE_CLASS, "-")[0], WM_CLOSE, 0, 0)
        self.assertEqual(idle.exit_code(), 0)

        set_script({"steps": [{"send": "+OK ready\r\n"}, {"read": 1}, {"stall": 25}]})
        stalled = self.program().start()
        stalled.wait_tray()
        self.assertTrue(wait_until(lambda: received_lines() == ["USER alice\r\n"], 10))
        driver("post", driver("find", INSTANCE_CLASS, "-")[0], WM_CLOSE, 0, 0)
        self.assertEqual(stalled.exit_code(20), 0)
        self.assertEqual(received_lines(), ["USER alice\r\n", "QUIT\r\n"])

        # A box waiting for its answer does not hold the end back.
        self.store_settings(REFUSING, "alice", "secret")
        boxed = self.program().start()
        self.assertTrue(wait_until(lambda: driver("count", "#32770") != ["0"], 20))
        driver("post", driver("find", INSTANCE_CLASS, "-")[0], WM_CLOSE, 0, 0)
        self.assertEqual(boxed.exit_code(), 0)

    def test_a_start_after_the_running_one_was_killed_runs(self):
        self.addCleanup(restart_shell)
        first = self.start_checked()
        driver("kill", instance_pid())
        self.assertIsNotNone(first.exit_code())
        set_script({"mode": "pop3", "greeting": "+OK ready", "users": {"alice": "secret"}, "count": 0})
        second = self.program().start()
        self.assertTrue(wait_until(lambda: len(logins()) == 1, 15))
        driver("menu", SALIR)
        self.assertEqual(second.exit_code(), 0)


if __name__ == "__main__":
    unittest.main()
