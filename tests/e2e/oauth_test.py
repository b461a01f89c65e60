"""Sign-in with a provider in the real program: the dialog's choices and
presets, and a stored sign-in read back through DPAPI."""
import os
import unittest

from harness import (CONFIG_KEY, CONFIGURACION, REFUSING, SALIR, VERSION_KEY, ProgramTest, driver, reg_set,
                     wait_until)

DIALOG = "TConf"
HOST, USER, PASSWORD = 104, 105, 106
SECURITY, PORT, PROTOCOL = 115, 116, 117
SIGN_IN, SIGN_IN_BUTTON = 119, 120
AUTHORIZATION, TOKEN, CLIENT, SCOPE = 121, 122, 123, 124
PROVIDER_FIELDS = (AUTHORIZATION, TOKEN, CLIENT, SCOPE)
VK_DOWN, VK_UP = 0x28, 0x26
WM_CLOSE = 0x0010
PRODUCT_BIN = os.environ.get("BUZONIX_PRODUCT_BIN", "")
# The program's own entropy: what it seals with (src/win/SecretSealer_win.cpp).
PROGRAM_ENTROPY = "Buzonix Electronico: OAuthRefresco"
ACCOUNT = "oscar@example.invalid"


class Dialog:
    def __init__(self, seconds=10):
        self.hwnd = driver("find", DIALOG, "-", seconds)[0]

    def item(self, control):
        return driver("item", self.hwnd, control)[0]

    def text(self, control):
        return "\n".join(driver("text", self.item(control)))

    def shown(self, control):
        return driver("visible", self.item(control)) == ["1"]

    def choices(self):
        return driver("items", self.item(SIGN_IN))

    def status(self):
        """The line beside the choice: the only static text of the panel
        that a sign-in state changes."""
        panel = driver("item", self.hwnd, 103)[0]
        texts = []
        for index in range(40):
            found = driver("child", panel, "Static", index, check=False)
            if not found:
                break
            texts.extend(driver("text", found[0]))
        return texts

    def close(self):
        driver("post", self.hwnd, WM_CLOSE, 0, 0)


class SignInDialogTest(ProgramTest):
    def store_provider(self, refresh_hex):
        """A sign-in with "Otro proveedor" as an accept left it; the server
        refuses, so that no check reaches any provider."""
        reg_set(VERSION_KEY, "Numero", "1.01")
        for name, data in (("Host", REFUSING), ("usuario", ACCOUNT), ("frecuencia", "720"),
                           ("Hacer Sonido", "Beep"), ("Animacion", "Si"), ("Seguridad", "SSL/TLS"),
                           ("Puerto", "993"), ("Protocolo", "IMAP"), ("Autenticacion", "Otro proveedor"),
                           ("OAuthUrlAutorizacion", "https://localhost:1/authorize"),
                           ("OAuthUrlToken", "https://localhost:1/token"), ("OAuthCliente", "buzonix-prueba"),
                           ("OAuthAmbito", "openid email"), ("OAuthCuenta", ACCOUNT),
                           ("OAuthRefresco", refresh_hex)):
            reg_set(CONFIG_KEY, name, data)

    def open_dialog(self, **kwargs):
        program = self.program(**kwargs).start()
        program.wait_tray()
        driver("menu", CONFIGURACION)
        return program, Dialog()

    def end(self, program, dialog):
        dialog.close()
        driver("menu", SALIR)
        self.assertEqual(program.exit_code(), 0)

    @unittest.skipUnless(PRODUCT_BIN, "no product build beside this one")
    def test_a_build_without_ids_offers_only_the_password_and_another_provider(self):
        program = self.program(bin=PRODUCT_BIN).start()
        dialog = Dialog(20)  # a first run opens it
        self.assertEqual(dialog.choices(), ["Contrase\xf1a", "Otro proveedor"])
        self.assertEqual(dialog.text(SIGN_IN), "Contrase\xf1a")
        self.assertTrue(dialog.shown(PASSWORD))
        self.assertFalse(any(dialog.shown(c) for c in (SIGN_IN_BUTTON,) + PROVIDER_FIELDS))
        self.end(program, dialog)

    def test_a_provider_fills_in_its_server_and_the_button_takes_the_passwords_place(self):
        program = self.program().start()
        dialog = Dialog(20)
        if dialog.choices() != ["Contrase\xf1a", "Microsoft", "Google", "Otro proveedor"]:
            self.skipTest("this build has no client ids")
        dialog_item = dialog.item(SIGN_IN)
        driver("key", dialog_item, VK_DOWN)
        self.assertTrue(wait_until(lambda: dialog.text(HOST) == "outlook.office365.com", 5))
        self.assertEqual([dialog.text(c) for c in (SECURITY, PORT, PROTOCOL)], ["SSL/TLS", "993", "IMAP"])
        self.assertFalse(dialog.shown(PASSWORD))
        self.assertTrue(dialog.shown(SIGN_IN_BUTTON))
        self.assertEqual(dialog.text(SIGN_IN_BUTTON), "Iniciar sesi\xf3n\u2026")
        self.assertIn("Sin sesi\xf3n iniciada", dialog.status())
        self.assertFalse(any(dialog.shown(c) for c in PROVIDER_FIELDS))
        # The preset follows the protocol.
        driver("key", dialog.item(PROTOCOL), VK_UP)
        self.assertTrue(wait_until(lambda: dialog.text(PORT) == "995", 5))
        driver("key", dialog_item, VK_DOWN)
        self.assertTrue(wait_until(lambda: dialog.text(HOST) == "pop.gmail.com", 5))
        driver("key", dialog_item, VK_DOWN)
        self.assertTrue(wait_until(lambda: dialog.shown(AUTHORIZATION), 5))
        self.assertTrue(all(dialog.shown(c) for c in PROVIDER_FIELDS))
        self.assertTrue(dialog.shown(SIGN_IN_BUTTON))
        # Back to the password: everything of the sign-in goes.
        for _ in range(3):
            driver("key", dialog_item, VK_UP)
        self.assertTrue(wait_until(lambda: dialog.shown(PASSWORD), 5))
        self.assertFalse(any(dialog.shown(c) for c in (SIGN_IN_BUTTON,) + PROVIDER_FIELDS))
        self.end(program, dialog)

    def test_only_a_refresh_token_sealed_by_the_program_reads_as_signed_in(self):
        token = "1//stored-refresh"
        cases = {
            "own seal": (driver("seal", PROGRAM_ENTROPY, token)[0], True),
            "another entropy": (driver("seal", "otra aplicacion", token)[0], False),
            "damaged": (driver("seal", PROGRAM_ENTROPY, token)[0][:-8] + "00000000", False),
            "no hex": ("ZZ" + driver("seal", PROGRAM_ENTROPY, token)[0], False),
        }
        for case, (stored, signed_in) in cases.items():
            with self.subTest(case=case):
                driver("regdel", "HKCU", r"Software\Buzonix")
                self.store_provider(stored)
                program, dialog = self.open_dialog()
                self.assertEqual(dialog.text(SIGN_IN), "Otro proveedor")
                self.assertTrue(all(dialog.shown(c) for c in PROVIDER_FIELDS))
                self.assertEqual(dialog.text(CLIENT), "buzonix-prueba")
                expected = f"Sesi\xf3n iniciada: {ACCOUNT}" if signed_in else "Sin sesi\xf3n iniciada"
                self.assertIn(expected, dialog.status())
                self.end(program, dialog)


if __name__ == "__main__":
    unittest.main()
