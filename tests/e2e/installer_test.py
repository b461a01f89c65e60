"""The installer and its uninstaller under Wine, run silently in the test
prefix: what they leave in the files and the registry, a running copy asked
to end, and the program started from the installed folder."""
import filecmp
import os
import shutil
import subprocess
import tempfile
import unittest

from harness import (BIN, CONFIG_KEY, RUN_KEY, RUN_VALUE, SALIR, SCRIPTED, TITLE, VERSION_KEY, WINE, ProgramTest,
                     driver, ensure_wineserver, find_shown, reg_get, reg_set, reg_text, set_script, tray_shows, wait_tooltip,
                     wait_until)

SETUP = os.environ["BUZONIX_INSTALLER"]
PREFIX = os.environ["WINEPREFIX"]
# A copy that never ends when asked: the stand-in, deaf.
STAND_IN = os.path.join(BIN, "instancia_stub.exe")
UNINSTALL_KEY = r"Software\Microsoft\Windows\CurrentVersion\Uninstall\Buzonix"
INSTANCE_CLASS = "BuzonixInstancia"
TRAY_CLASS = "BuzonixTrayIconWindow"
DIALOG, HOST, USER, ALWAYS, ACEPTAR = "TConf", 104, 105, 109, 111
BM_GETCHECK = 0x00F0
# Wine makes no file whose name holds a non-ASCII letter under the C locale.
UTF8 = dict(os.environ, LC_ALL="C.UTF-8", LANG="C.UTF-8")
CYRILLIC_FOLDER = "\u041f\u0440\u043e\u0433\u0440\u0430\u043c\u043c\u044b"
# A password as the program keeps it: "vieja", scrambled.
PASSWORD, SCRAMBLED = "vieja", "3206291F2C"


def unix_path(windows_path):
    drive, rest = windows_path[:2].lower(), windows_path[3:]
    return os.path.join(PREFIX, "dosdevices", drive, *rest.split("\\"))


def run_setup(*arguments, timeout=60):
    return subprocess.run([WINE, SETUP, "/S", *arguments], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL, env=UTF8, timeout=timeout).returncode


def installed_folder():
    return reg_text(UNINSTALL_KEY, "InstallLocation")


def shortcut(folder):
    profile = folder.split("\\AppData\\")[0]
    return unix_path(profile + "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\" + TITLE + ".lnk")


def hklm_software():
    """HKLM\\Software as reg exports it (the rest of HKLM changes as Wine's
    display driver starts)."""
    with tempfile.TemporaryDirectory() as folder:
        out = os.path.join(folder, "hklm.reg")
        subprocess.run([WINE, "reg", "export", r"HKLM\Software", "Z:" + out.replace("/", "\\"), "/y"],
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        with open(out, "rb") as f:
            return f.read().decode("utf-16")


def version_string(exe, name):
    """A string of the file's version resource, as Explorer's properties show it."""
    with open(exe, "rb") as f:
        data = f.read()
    key = (name + "\0").encode("utf-16-le")
    at = data.index(key) + len(key)
    while data[at:at + 2] == b"\0\0":  # padding to a 32-bit boundary
        at += 2
    end = at
    while data[end:end + 2] != b"\0\0":
        end += 2
    return data[at:end].decode("utf-16-le")


class Copy:
    """A program process started here from `exe` (a Unix path)."""

    def __init__(self, exe, *arguments):
        self.process = subprocess.Popen([WINE, exe, *arguments], stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL, env=UTF8)

    def ended(self, seconds=15):
        try:
            self.process.wait(seconds)
            return True
        except subprocess.TimeoutExpired:
            return False

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()


class InstallerTest(ProgramTest):
    """Each test starts with nothing installed and no Run entry anywhere."""

    def setUp(self):
        super().setUp()
        self.forget_installation()
        self.copies = []

    def tearDown(self):
        killed = False
        for copy in self.copies:
            killed |= copy.process.poll() is None
            copy.stop()
        # A copy the installer started, and any the test could not end.
        if driver("find", TRAY_CLASS, "-", 0, check=False) or driver("find", INSTANCE_CLASS, "-", 0, check=False):
            killed = True
        if killed:
            subprocess.run(["wineserver", "-k"], check=False)
            subprocess.run(["wineserver", "-w"], check=False)
            ensure_wineserver()
        self.forget_installation()
        super().tearDown()

    def forget_installation(self):
        folder = installed_folder()
        if folder:
            shutil.rmtree(unix_path(folder), ignore_errors=True)
            if os.path.exists(shortcut(folder)):
                os.remove(shortcut(folder))
        driver("regdel", "HKCU", UNINSTALL_KEY)
        driver("regdel", "HKCU", RUN_KEY, RUN_VALUE)
        driver("regdel", "HKLM", RUN_KEY, RUN_VALUE)

    def start(self, exe, *arguments):
        copy = Copy(exe, *arguments)
        self.copies.append(copy)
        return copy

    def install(self, *arguments):
        self.assertEqual(run_setup(*arguments), 0)
        folder = installed_folder()
        self.assertIsNotNone(folder)
        return folder

    def running_copy(self, folder):
        """A copy running from `folder` (a Unix path) that ends when asked."""
        # Bytes past its end leave the program as it is but tell the old file from the new.
        with open(os.path.join(folder, "Buzonix.exe"), "ab") as f:
            f.write(b"\0" * 16)
        copy = self.start(os.path.join(folder, "Buzonix.exe"))
        driver("find", INSTANCE_CLASS, "-", 15)
        return copy

    def always_checked(self, dialog):
        return driver("send", driver("item", dialog, ALWAYS)[0], BM_GETCHECK, 0, 0) == ["1"]

    def store_current_settings(self, host=SCRIPTED):
        """Settings as this version saves them, the password scrambled."""
        reg_set(VERSION_KEY, "Numero", "1.01")
        for name, value in (("Host", host), ("usuario", "alice"), ("Codigo", SCRAMBLED), ("frecuencia", "60"),
                            ("Hacer Sonido", ""), ("Animacion", "No"), ("Seguridad", "Ninguna"), ("Puerto", "110")):
            reg_set(CONFIG_KEY, name, value)

    def settings(self):
        return {name: reg_get(CONFIG_KEY, name) for name in
                ("Host", "usuario", "Codigo", "frecuencia", "Hacer Sonido", "Animacion", "Seguridad", "Puerto")}


class InstallTest(InstallerTest):
    def test_a_silent_install_for_the_user_alone_and_the_installed_program_starts(self):
        machine_before = hklm_software()
        folder = self.install()
        self.assertRegex(folder, r"^C:\\users\\[^\\]+\\AppData\\Local\\Programs\\Buzonix$")
        here = unix_path(folder)
        for name in ("Buzonix.exe", "APOP.DLL"):
            self.assertTrue(filecmp.cmp(os.path.join(BIN, name), os.path.join(here, name), shallow=False), name)
        self.assertTrue(os.path.isfile(os.path.join(here, "Desinstalar.exe")))
        self.assertTrue(os.path.isfile(shortcut(folder)))
        program = folder + "\\Buzonix.exe"
        uninstaller = '"' + folder + '\\Desinstalar.exe"'
        for name, text in (("DisplayName", TITLE), ("DisplayVersion", "1.01"), ("DisplayIcon", program + ",0"),
                           ("Publisher", TITLE), ("InstallLocation", folder), ("UninstallString", uninstaller),
                           ("QuietUninstallString", uninstaller + " /S")):
            self.assertEqual(reg_text(UNINSTALL_KEY, name), text, name)
        files_kb = sum(os.path.getsize(os.path.join(here, name)) for name in os.listdir(here)) // 1024
        size = int.from_bytes(reg_get(UNINSTALL_KEY, "EstimatedSize")[1], "little")
        self.assertTrue(files_kb <= size <= files_kb + 4, (files_kb, size))
        for name in ("NoModify", "NoRepair"):
            self.assertEqual(reg_get(UNINSTALL_KEY, name), (4, (1).to_bytes(4, "little")), name)
        self.assertEqual(reg_text(RUN_KEY, RUN_VALUE), program)
        self.assertEqual(version_string(os.path.join(here, "Buzonix.exe"), "ProductName"), TITLE)
        self.assertEqual(version_string(os.path.join(here, "Buzonix.exe"), "FileDescription"),
                         TITLE + ": aviso de correo")

        # The first run of the installed copy: the tray, the dialog, the
        # installer's entry read as "Ejecutar siempre"; nothing machine-wide.
        self.start(unix_path(program))
        driver("find", TRAY_CLASS, "-", 15)
        self.assertTrue(tray_shows("bandera0"))
        dialog = find_shown(DIALOG)
        self.assertTrue(self.always_checked(dialog))
        self.assertEqual(reg_text(RUN_KEY, RUN_VALUE), program)
        self.assertIsNone(reg_get(RUN_KEY, RUN_VALUE, root="HKLM"))
        self.assertEqual(hklm_software(), machine_before)

    def test_an_unticked_start_with_windows_stays_so_and_an_older_entry_goes(self):
        reg_set(RUN_KEY, RUN_VALUE, r"C:\viejo\Buzonix.exe", root="HKLM")
        reg_set(RUN_KEY, RUN_VALUE, r"C:\otro\Buzonix.exe")
        folder = self.install("/SININICIO")
        self.assertIsNone(reg_get(RUN_KEY, RUN_VALUE))
        self.assertIsNone(reg_get(RUN_KEY, RUN_VALUE, root="HKLM"))
        self.start(unix_path(folder + "\\Buzonix.exe"))
        dialog = find_shown(DIALOG, 15)
        self.assertFalse(self.always_checked(dialog))
        self.assertIsNone(reg_get(RUN_KEY, RUN_VALUE))
        self.assertIsNone(reg_get(RUN_KEY, RUN_VALUE, root="HKLM"))

    def test_a_folder_name_outside_windows_1252_gives_an_entry_the_program_takes_for_its_own(self):
        top = os.path.join(unix_path("C:\\"), CYRILLIC_FOLDER)
        self.addCleanup(shutil.rmtree, top, True)
        self.install("/D=C:\\%s\\Buzonix" % CYRILLIC_FOLDER)
        self.assertTrue(os.path.isfile(os.path.join(top, "Buzonix", "Buzonix.exe")))
        entry = reg_get(RUN_KEY, RUN_VALUE)
        self.assertIsNotNone(entry)
        self.start(os.path.join(top, "Buzonix", "Buzonix.exe"))
        dialog = find_shown(DIALOG, 15)
        self.assertTrue(self.always_checked(dialog))
        driver("settext", driver("item", dialog, HOST)[0], SCRIPTED)
        driver("settext", driver("item", dialog, USER)[0], "alice")
        driver("click", driver("item", dialog, ACEPTAR)[0])
        driver("gone", DIALOG, "-")
        # The save keeps the installer's entry as it was written.
        self.assertEqual(reg_get(RUN_KEY, RUN_VALUE), entry)
        self.assertIsNone(reg_get(RUN_KEY, RUN_VALUE, root="HKLM"))


class UpgradeTest(InstallerTest):
    def assert_upgraded_and_restarted(self, copy, folder, settings):
        self.assertTrue(copy.ended(5))
        self.assertTrue(filecmp.cmp(os.path.join(BIN, "Buzonix.exe"), os.path.join(unix_path(folder), "Buzonix.exe"),
                                    shallow=False))
        self.assertEqual(self.settings(), settings)
        self.assertEqual(reg_text(VERSION_KEY, "Numero"), "1.01")
        # The new copy started again, and logs in with the kept password.
        self.assertEqual(wait_tooltip("2 Mensajes"), "2 Mensajes")
        self.assertEqual(self.settings(), settings)
        driver("menu", SALIR)
        driver("gone", TRAY_CLASS, "-", 15)

    def test_an_upgrade_ends_the_running_copy_keeps_the_settings_and_starts_the_new_one(self):
        set_script({"mode": "pop3", "greeting": "+OK hi", "users": {"alice": PASSWORD}, "count": 2})
        folder = self.install()
        self.store_current_settings()
        settings = self.settings()
        copy = self.running_copy(unix_path(folder))
        self.assertEqual(run_setup(), 0)
        self.assertEqual(installed_folder(), folder)
        self.assertEqual(reg_text(RUN_KEY, RUN_VALUE), folder + "\\Buzonix.exe")
        self.assert_upgraded_and_restarted(copy, folder, settings)

    def test_installing_over_a_loose_copy_elsewhere_ends_it_and_moves_its_entry(self):
        set_script({"mode": "pop3", "greeting": "+OK hi", "users": {"alice": PASSWORD}, "count": 2})
        loose = tempfile.mkdtemp(prefix="buzonix-suelta-")
        self.addCleanup(shutil.rmtree, loose, True)
        shutil.copy(os.path.join(BIN, "Buzonix.exe"), loose)
        shutil.copy(os.path.join(BIN, "APOP.DLL"), loose)
        reg_set(RUN_KEY, RUN_VALUE, "Z:" + os.path.join(loose, "Buzonix.exe").replace("/", "\\"), root="HKLM")
        self.store_current_settings()
        settings = self.settings()
        copy = self.running_copy(loose)
        folder = self.install()
        self.assertIsNone(reg_get(RUN_KEY, RUN_VALUE, root="HKLM"))
        self.assertEqual(reg_text(RUN_KEY, RUN_VALUE), folder + "\\Buzonix.exe")
        self.assert_upgraded_and_restarted(copy, folder, settings)

    def test_an_upgrade_keeps_a_start_with_windows_the_user_turned_off(self):
        folder = self.install("/SININICIO")
        self.store_current_settings()
        self.assertEqual(run_setup(), 0)
        self.assertIsNone(reg_get(RUN_KEY, RUN_VALUE))
        self.assertIsNone(reg_get(RUN_KEY, RUN_VALUE, root="HKLM"))
        self.assertEqual(installed_folder(), folder)

    def test_a_copy_that_will_not_end_stops_the_installation_unchanged(self):
        folder = self.install()
        here = unix_path(folder)
        shutil.copy(STAND_IN, os.path.join(here, "Buzonix.exe"))
        self.start(os.path.join(here, "Buzonix.exe"), "sordo")
        driver("find", INSTANCE_CLASS, "-", 15)
        self.assertNotEqual(run_setup(), 0)
        self.assertTrue(filecmp.cmp(STAND_IN, os.path.join(here, "Buzonix.exe"), shallow=False))


class UninstallTest(InstallerTest):
    def uninstall(self, folder, *arguments):
        here = unix_path(folder)
        subprocess.run([WINE, os.path.join(here, "Desinstalar.exe"), "/S", *arguments], stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=UTF8, timeout=60)
        # It goes on from a copy of itself once the first process has ended,
        # and removes the folder last.
        gone = wait_until(lambda: not os.path.exists(here), 20)
        self.assertTrue(gone, gone or os.listdir(here))

    def test_uninstall_ends_the_running_copy_removes_everything_and_keeps_the_settings(self):
        set_script({"mode": "pop3", "greeting": "+OK hi", "users": {"alice": PASSWORD}, "count": 2})
        folder = self.install()
        self.store_current_settings()
        settings = self.settings()
        copy = self.running_copy(unix_path(folder))
        reg_set(RUN_KEY, RUN_VALUE, r"C:\otro\Buzonix.exe", root="HKLM")  # another copy's: not ours to remove
        self.uninstall(folder)
        self.assertTrue(copy.ended(5))
        self.assertFalse(os.path.exists(shortcut(folder)))
        self.assertIsNone(reg_get(UNINSTALL_KEY, "InstallLocation"))
        self.assertIsNone(reg_get(RUN_KEY, RUN_VALUE))
        self.assertEqual(reg_text(RUN_KEY, RUN_VALUE, root="HKLM"), r"C:\otro\Buzonix.exe")
        self.assertEqual(self.settings(), settings)
        self.assertEqual(reg_text(VERSION_KEY, "Numero"), "1.01")

        folder = self.install()
        self.uninstall(folder, "/BORRARCONFIG")
        self.assertIsNone(reg_get(VERSION_KEY, "Numero"))
        self.assertIsNone(reg_get(CONFIG_KEY, "Codigo"))


if __name__ == "__main__":
    unittest.main()
