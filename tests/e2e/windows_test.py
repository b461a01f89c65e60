"""The real program as a standard user meets it on Windows: a system code page
other than Windows-1252, a DLL planted in the current folder."""
import os
import shutil
import unittest

from harness import (BIN, CHEQUEAR, CONFIG_KEY, CONFIGURACION, RUN_KEY, RUN_VALUE, SALIR, SCRIPTED, TITLE, ProgramTest,
                     driver, received_lines, reg_get, reg_set, reg_text, set_script, wait_tooltip, wait_until)

CYRILLIC = "ru_RU.UTF-8"
HELP_CLASS = "BuzonixHelp"
DIALOG = "TConf"
HOST, USER, PASSWORD, ALWAYS, ACEPTAR, SECURITY, PORT, PROTOCOL = 104, 105, 106, 109, 111, 115, 116, 117
WM_CHAR = 0x0102
VK_RETURN, VK_ESCAPE, VK_DOWN, VK_UP = 0x0D, 0x1B, 0x28, 0x26
WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC = 0x0218, 0x0012
BM_GETCHECK = 0x00F0


def texts_of(window, window_class):
    texts, index = [], 0
    while (child := driver("child", window, window_class, index, check=False)):
        texts.append("\n".join(driver("text", child[0])))
        index += 1
    return texts


class CodePageTest(ProgramTest):
    def test_texts_read_right_under_a_cyrillic_code_page(self):
        # The name reaches the server in UTF-8 (as Latin-1 characters here).
        set_script({"mode": "imap", "users": {"Jos\xc3\xa9": "secret"},
                    "folders": {"INBOX": {"uidvalidity": 1, "unseen": [1, 2]}}})
        program = self.program().start(locale=CYRILLIC)
        program.wait_tray()
        dialog = driver("find", DIALOG, "-")[0]
        self.assertEqual(driver("text", dialog), [TITLE])
        self.assertIn("Frecuencia de Comprobaci\xf3n de Correo:", texts_of(dialog, "Static"))
        self.assertIn("Animaci\xf3n", texts_of(dialog, "Button"))
        help_window = driver("find", HELP_CLASS, "-")[0]
        self.assertEqual(driver("text", help_window), ["Ayuda - Configuraci\xf3n"])
        self.assertIn("Comprobaci\xf3n", "\n".join(texts_of(help_window, "Edit")))

        driver("settext", driver("item", dialog, HOST)[0], SCRIPTED)
        user = driver("item", dialog, USER)[0]
        for character in b"Jos\xe9":  # typed: the driver's arguments carry ASCII only
            driver("post", user, WM_CHAR, character, 1)
        driver("settext", driver("item", dialog, PASSWORD)[0], "secret")
        # The scripted server speaks plain IMAP: from the offered SSL/TLS down to Ninguna.
        for _ in range(2):
            driver("key", driver("item", dialog, SECURITY)[0], VK_DOWN)
        self.assertTrue(wait_until(lambda: driver("text", driver("item", dialog, PORT)[0]) == ["143"], 5))
        driver("click", driver("item", dialog, ACEPTAR)[0])
        driver("gone", DIALOG, "-")
        self.assertEqual(reg_get(CONFIG_KEY, "usuario"), (1, b"Jos\xe9\0"))
        driver("menu", CHEQUEAR)
        self.assertEqual(wait_tooltip("2 Mensajes sin leer"), "2 Mensajes sin leer")
        driver("menu", SALIR)
        self.assertEqual(program.exit_code(), 0)


class StandardUserTest(ProgramTest):
    """HKLM's Run key readable but not writable, as a user without
    administrator rights meets it."""

    def setUp(self):
        driver("reglock", "HKLM", RUN_KEY, "off")
        super().setUp()
        driver("regdel", "HKCU", RUN_KEY, RUN_VALUE)

    def tearDown(self):
        super().tearDown()
        driver("reglock", "HKLM", RUN_KEY, "off")
        driver("regdel", "HKCU", RUN_KEY, RUN_VALUE)
        driver("regdel", "HKLM", RUN_KEY, RUN_VALUE)

    def always_checked(self, dialog):
        return driver("send", driver("item", dialog, ALWAYS)[0], BM_GETCHECK, 0, 0) == ["1"]

    def accept(self, dialog):
        driver("click", driver("item", dialog, ACEPTAR)[0])
        driver("nobox", 1)
        driver("gone", DIALOG, "-")

    def test_registers_in_the_users_own_run_key_and_the_dialog_accepts(self):
        driver("reglock", "HKLM", RUN_KEY, "on")
        program = self.program().start()
        program.wait_tray()
        dialog = driver("find", DIALOG, "-")[0]
        self.assertEqual(reg_text(RUN_KEY, RUN_VALUE), program.windows_path())
        self.assertIsNone(reg_get(RUN_KEY, RUN_VALUE, root="HKLM"))
        self.assertTrue(self.always_checked(dialog))
        driver("settext", driver("item", dialog, HOST)[0], SCRIPTED)
        driver("settext", driver("item", dialog, USER)[0], "alice")
        # POP3, whose accept checks nothing: the test is of the Run keys.
        driver("key", driver("item", dialog, PROTOCOL)[0], VK_UP)
        self.accept(dialog)
        self.assertEqual(reg_text(CONFIG_KEY, "usuario"), "alice")

        driver("menu", CONFIGURACION)
        dialog = driver("find", DIALOG, "-")[0]
        self.assertTrue(self.always_checked(dialog))
        driver("click", driver("item", dialog, ALWAYS)[0])
        self.accept(dialog)
        self.assertIsNone(reg_get(RUN_KEY, RUN_VALUE))
        driver("menu", SALIR)
        self.assertEqual(program.exit_code(), 0)

    def test_an_administrators_machine_wide_entry_reads_as_checked_and_stays_single(self):
        program = self.program()
        reg_set(RUN_KEY, RUN_VALUE, program.windows_path(), root="HKLM")
        driver("reglock", "HKLM", RUN_KEY, "on")
        self.store_settings(SCRIPTED, "alice", "secret", animation="No", sound="")
        set_script({"mode": "pop3", "greeting": "+OK hi", "users": {"alice": "secret"}, "count": 2})
        program.start()
        self.assertEqual(wait_tooltip("2 Mensajes"), "2 Mensajes")
        driver("menu", CONFIGURACION)
        dialog = driver("find", DIALOG, "-")[0]
        self.assertTrue(self.always_checked(dialog))
        self.accept(dialog)
        self.assertIsNone(reg_get(RUN_KEY, RUN_VALUE))
        self.assertEqual(reg_text(RUN_KEY, RUN_VALUE, root="HKLM"), program.windows_path())
        driver("menu", SALIR)
        self.assertEqual(program.exit_code(), 0)


class KeyboardTest(ProgramTest):
    def test_dialog_keys_work_at_once_while_a_check_waits_on_a_stalled_server(self):
        set_script({"steps": [{"send": "+OK ready\r\n"}, {"read": 1}, {"stall": 40}]})
        self.store_settings(SCRIPTED, "alice", "secret")
        program = self.program().start()
        program.wait_tray()
        self.assertTrue(wait_until(lambda: received_lines() == ["USER alice\r\n"], 10))
        for key in (VK_ESCAPE, VK_RETURN):
            with self.subTest(key=key):
                driver("menu", CONFIGURACION)
                dialog = driver("find", DIALOG, "-")[0]
                driver("key", driver("item", dialog, USER)[0], key)
                self.assertTrue(wait_until(lambda: driver("visible", dialog) == ["0"], 3))
        self.assertEqual(received_lines(), ["USER alice\r\n"])  # still waiting
        driver("menu", SALIR)
        self.assertEqual(program.exit_code(20), 0)


class ResumeTest(ProgramTest):
    def test_a_wake_from_sleep_brings_the_count_up_to_date(self):
        set_script({"mode": "pop3", "greeting": "+OK hi", "users": {"alice": "secret"}, "count": 2})
        self.store_settings(SCRIPTED, "alice", "secret", frequency="60", animation="No", sound="")
        program = self.program().start()
        self.assertEqual(wait_tooltip("2 Mensajes"), "2 Mensajes")
        set_script({"mode": "pop3", "greeting": "+OK hi", "users": {"alice": "secret"}, "count": 5})
        driver("post", driver("find", "TBuzel", "-")[0], WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0)
        self.assertEqual(wait_tooltip("5 Mensajes", 15), "5 Mensajes")
        driver("nobox", 1)
        driver("menu", SALIR)
        self.assertEqual(program.exit_code(), 0)


class ProgramFileTest(ProgramTest):
    def test_a_digest_library_in_the_current_folder_is_never_loaded(self):
        program = self.program(with_digest_library=False)
        planted = os.path.join(program.top, "actual")
        os.makedirs(planted)
        shutil.copy(os.path.join(BIN, "APOP.DLL"), planted)
        program.start(cwd=planted)
        self.assertEqual(driver("box", 20), [TITLE, "No se encuentra libreria APOP.DLL"])
        self.assertEqual(driver("box", 20), [TITLE, "Funcion no enlazada. Esta la DLL cargada?"])
        self.assertEqual(program.exit_code(), 0)

    def test_a_path_longer_than_max_path_is_registered_whole(self):
        program = self.program(subfolder="/".join(["carpeta-de-programas-%02d" % i for i in range(12)]))
        self.assertGreater(len(program.windows_path()), 300)
        program.start()
        program.wait_tray()
        driver("find", DIALOG, "-")
        self.assertEqual(reg_text(RUN_KEY, RUN_VALUE, root="HKLM"), program.windows_path())


if __name__ == "__main__":
    unittest.main()
