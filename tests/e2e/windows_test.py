"""The real program as a standard user meets it on Windows: a system code page
other than Windows-1252, a DLL planted in the current folder."""
import unittest

from harness import (CHEQUEAR, CONFIG_KEY, SALIR, SCRIPTED, TITLE, ProgramTest, driver, reg_get, set_script, wait_tooltip)

CYRILLIC = "ru_RU.UTF-8"
HELP_CLASS = "BuzonixHelp"
DIALOG = "TConf"
HOST, USER, ACEPTAR = 104, 105, 111
WM_CHAR = 0x0102


def texts_of(window, window_class):
    texts, index = [], 0
    while (child := driver("child", window, window_class, index, check=False)):
        texts.append("\n".join(driver("text", child[0])))
        index += 1
    return texts


class CodePageTest(ProgramTest):
    def test_texts_read_right_under_a_cyrillic_code_page(self):
        set_script({"mode": "pop3", "greeting": "+OK hi", "users": {"Jos\xe9": "secret"}, "count": 2})
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
        driver("settext", driver("item", dialog, USER + 1)[0], "secret")
        driver("click", driver("item", dialog, ACEPTAR)[0])
        driver("gone", DIALOG, "-")
        self.assertEqual(reg_get(CONFIG_KEY, "usuario"), (1, b"Jos\xe9\0"))
        driver("menu", CHEQUEAR)
        self.assertEqual(wait_tooltip("2 Mensajes"), "2 Mensajes")
        driver("menu", SALIR)
        self.assertEqual(program.exit_code(), 0)


if __name__ == "__main__":
    unittest.main()
