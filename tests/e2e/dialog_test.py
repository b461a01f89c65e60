"""The configuration dialog of the real program, as a user fills it in."""
import unittest

from harness import (CHEQUEAR, CONFIG_KEY, CONFIGURACION, PLAIN_DOVECOT, RUN_KEY, RUN_VALUE, SALIR, SCRIPTED, VERSION_KEY,
                     ProgramTest, driver, find_shown, reg_get, reg_text, set_script, tooltips, wait_tooltip, wait_until)

DIALOG = "TConf"
# Control identifiers of the dialog's fields and buttons.
HOST, USER, PASSWORD, FREQUENCY, ANIMATION, ALWAYS, SOUND, ACEPTAR, CANCELAR = range(104, 113)
SECURITY, PORT, PROTOCOL, FOLDER = 115, 116, 117, 118
WS_DISABLED = 0x08000000
VK_DOWN, VK_UP = 0x28, 0x26
BM_GETCHECK = 0x00F0
VK_RETURN, VK_ESCAPE = 0x0D, 0x1B
WM_CLOSE = 0x0010


class Dialog:
    def __init__(self, seconds=10):
        self.hwnd = find_shown(DIALOG, seconds)

    def item(self, control):
        return driver("item", self.hwnd, control)[0]

    def text(self, control):
        return "\n".join(driver("text", self.item(control)))

    def type(self, control, text):
        driver("settext", self.item(control), text)

    def checked(self, control):
        return driver("send", self.item(control), BM_GETCHECK, 0, 0) == ["1"]

    def enabled(self, control):
        return int(driver("style", self.item(control))[0].split()[0], 16) & WS_DISABLED == 0

    def click(self, control):
        driver("click", self.item(control))

    def is_open(self):
        return driver("visible", self.hwnd) == ["1"]

    def wait_closed(self):
        return wait_until(lambda: not self.is_open(), 10)


class DialogTest(ProgramTest):
    def first_run(self):
        program = self.program().start()
        program.wait_tray()
        return program, Dialog()

    def test_first_run_dialog_fills_in_and_saves_a_clean_store(self):
        set_script({"mode": "imap", "users": {"alice": "se cret"},
                    "folders": {"INBOX": {"uidvalidity": 1, "unseen": [1, 2, 3, 4]}}})
        program, dialog = self.first_run()
        self.assertEqual([dialog.text(c) for c in (HOST, USER, PASSWORD, FREQUENCY)], ["", "", "", "1"])
        self.assertEqual([dialog.checked(c) for c in (ANIMATION, ALWAYS, SOUND)], [True, True, True])
        # A new installation is offered IMAP over TLS; this server speaks plain IMAP.
        self.assertEqual([dialog.text(c) for c in (SECURITY, PORT)], ["SSL/TLS", "993"])
        for _ in range(2):
            driver("key", dialog.item(SECURITY), VK_DOWN)
        self.assertTrue(wait_until(lambda: dialog.text(PORT) == "143", 5))
        self.assertEqual(dialog.text(SECURITY), "Ninguna")

        dialog.type(HOST, SCRIPTED)
        dialog.type(USER, "alice")
        dialog.type(PASSWORD, "se cret")
        dialog.type(FREQUENCY, "720")
        dialog.click(ACEPTAR)
        self.assertTrue(dialog.wait_closed())
        self.assertEqual(reg_text(CONFIG_KEY, "Host"), SCRIPTED)
        self.assertEqual(reg_text(CONFIG_KEY, "usuario"), "alice")
        self.assertRegex(reg_text(CONFIG_KEY, "Codigo"), r"^[0-9A-F]{14}$")
        self.assertEqual(reg_text(CONFIG_KEY, "frecuencia"), "720")
        self.assertEqual(reg_text(CONFIG_KEY, "Hacer Sonido"), "Beep")
        self.assertEqual(reg_text(CONFIG_KEY, "Animacion"), "Si")
        self.assertEqual(reg_text(CONFIG_KEY, "Seguridad"), "Ninguna")
        self.assertEqual(reg_text(CONFIG_KEY, "Puerto"), "143")
        self.assertEqual(reg_text(CONFIG_KEY, "Protocolo"), "IMAP")
        self.assertEqual(reg_text(VERSION_KEY, "Numero"), "1.01")
        self.assertEqual(reg_text(RUN_KEY, RUN_VALUE, root="HKLM"), program.windows_path())
        # The stored password works: accepting opens a session with it.
        self.assertEqual(wait_tooltip("4 Mensajes sin leer"), "4 Mensajes sin leer")

        # Unchecking "Ejecutar siempre" removes the start-up entry.
        driver("menu", CONFIGURACION)
        dialog = Dialog()
        self.assertEqual(dialog.text(HOST), SCRIPTED)
        self.assertEqual(dialog.text(FREQUENCY), "720")
        dialog.click(ALWAYS)
        self.assertTrue(wait_until(lambda: not dialog.checked(ALWAYS), 5))
        dialog.click(ACEPTAR)
        self.assertTrue(dialog.wait_closed())
        self.assertIsNone(reg_get(RUN_KEY, RUN_VALUE, root="HKLM"))
        driver("menu", SALIR)
        self.assertEqual(program.exit_code(), 0)

    def test_imap_with_its_folder_is_chosen_and_stored(self):
        set_script({"mode": "imap", "users": {"alice@example.org": "clave"},
                    "folders": {"Correo/Recibido": {"uidvalidity": 1, "unseen": [7]}}})
        program, dialog = self.first_run()
        # A first run offers IMAP; POP3 greys the folder and takes its own port.
        self.assertEqual([dialog.text(c) for c in (PROTOCOL, FOLDER, PORT)], ["IMAP", "INBOX", "993"])
        self.assertTrue(dialog.enabled(FOLDER))
        driver("key", dialog.item(PROTOCOL), VK_UP)
        self.assertTrue(wait_until(lambda: dialog.text(PORT) == "995", 5))
        self.assertEqual(dialog.text(PROTOCOL), "POP3")
        self.assertFalse(dialog.enabled(FOLDER))
        driver("key", dialog.item(PROTOCOL), VK_DOWN)
        self.assertTrue(wait_until(lambda: dialog.text(PORT) == "993", 5))
        self.assertEqual(dialog.text(PROTOCOL), "IMAP")
        self.assertTrue(dialog.enabled(FOLDER))
        # The scripted server speaks plain IMAP.
        for _ in range(2):
            driver("key", dialog.item(SECURITY), VK_DOWN)
        self.assertTrue(wait_until(lambda: dialog.text(PORT) == "143", 5))
        dialog.type(HOST, SCRIPTED)
        dialog.type(USER, "alice@example.org")
        dialog.type(PASSWORD, "clave")
        dialog.type(FOLDER, "Correo/Recibido")
        dialog.click(ACEPTAR)
        self.assertTrue(dialog.wait_closed())
        self.assertEqual(reg_text(CONFIG_KEY, "Protocolo"), "IMAP")
        self.assertEqual(reg_text(CONFIG_KEY, "Carpeta"), "Correo/Recibido")
        self.assertEqual(reg_text(CONFIG_KEY, "Seguridad"), "Ninguna")
        self.assertEqual(reg_text(CONFIG_KEY, "Puerto"), "143")
        # The session that the accept opens watches that folder.
        self.assertEqual(wait_tooltip("1 Mensaje sin leer"), "1 Mensaje sin leer")
        # The next opening shows what was stored.
        driver("menu", CONFIGURACION)
        dialog = Dialog()
        self.assertEqual([dialog.text(c) for c in (PROTOCOL, FOLDER)], ["IMAP", "Correo/Recibido"])
        self.assertTrue(dialog.enabled(FOLDER))
        driver("key", dialog.item(HOST), VK_ESCAPE)
        self.assertTrue(dialog.wait_closed())
        driver("menu", SALIR)
        self.assertEqual(program.exit_code(), 0)

    def test_accept_without_a_server_keeps_the_dialog_and_writes_nothing(self):
        program, dialog = self.first_run()
        dialog.type(USER, "alice")
        dialog.click(ACEPTAR)
        driver("nobox", 1)
        self.assertTrue(dialog.is_open())
        self.assertIsNone(reg_get(CONFIG_KEY, "usuario"))
        self.assertIsNone(reg_get(VERSION_KEY, "Numero"))
        # A second "Configuracion" while it is open opens no other.
        driver("menu", CONFIGURACION)
        driver("nobox", 1)
        self.assertEqual(driver("count", DIALOG), ["1"])
        driver("key", dialog.item(HOST), VK_ESCAPE)
        self.assertTrue(dialog.wait_closed())
        self.assertIsNone(reg_get(CONFIG_KEY, "usuario"))

    def test_close_box_cancels_and_enter_accepts(self):
        self.store_settings(PLAIN_DOVECOT, "bob", "secret")
        program = self.program().start()
        self.assertEqual(wait_tooltip("No Hay Mensajes"), "No Hay Mensajes")
        driver("menu", CONFIGURACION)
        dialog = Dialog()
        dialog.type(USER, "carol")
        driver("post", dialog.hwnd, WM_CLOSE, 0, 0)
        self.assertTrue(dialog.wait_closed())
        self.assertEqual(reg_text(CONFIG_KEY, "usuario"), "bob")

        driver("menu", CONFIGURACION)
        dialog = Dialog()
        dialog.type(USER, "carol")
        driver("key", dialog.item(USER), VK_RETURN)
        self.assertTrue(dialog.wait_closed())
        self.assertEqual(reg_text(CONFIG_KEY, "usuario"), "carol")
        driver("menu", CHEQUEAR)
        self.assertEqual(wait_tooltip("120 Mensajes"), "120 Mensajes")


if __name__ == "__main__":
    unittest.main()
