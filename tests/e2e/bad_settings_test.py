"""The real program started over whatever a user or another program could
have left in its registry keys."""
import unittest

from harness import (CONFIG_KEY, SALIR, SCRIPTED, VERSION_KEY, ProgramTest, driver, received_lines, reg_get,
                     reg_set, set_script, tooltips, wait_until)



def good_settings():
    reg_set(VERSION_KEY, "Numero", "1.01")
    reg_set(CONFIG_KEY, "Host", SCRIPTED)
    reg_set(CONFIG_KEY, "usuario", "alice")
    reg_set(CONFIG_KEY, "Codigo", "")
    reg_set(CONFIG_KEY, "frecuencia", "5")
    reg_set(CONFIG_KEY, "Hacer Sonido", "Beep")
    reg_set(CONFIG_KEY, "Animacion", "No")


# name, value, kind: each case changes one value of a good store.
CASES = [
    ("frecuencia", "1", "dword"),
    ("Host", "3132372e302e302e3430", "binary"),
    ("usuario", "alice", "multi"),
    ("Host", SCRIPTED, "expand"),
    ("Host", "65536:x", "repeat"),
    ("usuario", "65536:y", "repeat"),
    ("frecuencia", "0", "sz"),
    ("frecuencia", "-5", "sz"),
    ("frecuencia", "721", "sz"),
    ("frecuencia", "99999999999", "sz"),
    ("frecuencia", "abc", "sz"),
    ("frecuencia", "", "sz"),
    ("frecuencia", " 5", "sz"),
    ("Codigo", "ABC", "sz"),
    ("Codigo", "4a5b", "sz"),
    ("Codigo", "ZZ", "sz"),
    ("Host", "h" * 300, "sz"),
    ("usuario", "ali\r\nDELE 1", "sz"),
    ("Numero", "", "sz"),
    ("Seguridad", "tls", "sz"),
    ("Seguridad", "1", "dword"),
    ("Puerto", "0", "sz"),
    ("Puerto", "65536", "sz"),
    ("Puerto", "110", "dword"),
]


class BadSettingsTest(ProgramTest):
    def run_over(self, name, value, kind):
        """Starts the program over the damaged store; returns the boxes it showed."""
        set_script({"mode": "pop3", "greeting": "+OK hi", "users": {"alice": ""}, "count": 1})
        good_settings()
        key = VERSION_KEY if name == "Numero" else CONFIG_KEY
        reg_set(key, name, value, kind)
        stored = reg_get(key, name)
        program = self.program().start()
        program.wait_tray()
        boxes = []
        # Whatever the start shows is answered, then the program must still serve its menu.
        while True:
            shown = driver("box", 3, check=False)
            if not shown:
                break
            boxes.append(shown)
        self.assertTrue(tooltips())
        driver("menu", SALIR)
        self.assertEqual(program.exit_code(), 0, f"{name}={value[:20]!r} ({kind}), boxes {str(boxes)[:300]}")
        for caption, *_ in boxes:
            self.assertNotEqual(caption, "Application Error")
        for line in received_lines():
            self.assertEqual(line.find("\r"), len(line) - 2, line[:100])
            self.assertEqual(line.find("\n"), len(line) - 1, line[:100])
        # Nothing the user stored is lost or rewritten until a save.
        if name != "Numero":
            self.assertTrue(reg_get(key, name) == stored, f"{name} changed")
        return boxes

    def test_damaged_values_never_stop_the_program(self):
        for name, value, kind in CASES:
            with self.subTest(name=name, value=value[:20], kind=kind):
                self.run_over(name, value, kind)

    def test_unknown_security_and_bad_port_check_in_plain_text_on_110(self):
        for name, value in (("Seguridad", "TLS"), ("Puerto", "99999")):
            with self.subTest(name=name):
                self.run_over(name, value, "sz")
                self.assertTrue(wait_until(lambda: received_lines()[:1] == ["USER alice\r\n"], 10))

    def test_line_break_in_the_user_name_is_refused_without_a_connection(self):
        boxes = self.run_over("usuario", "ali\r\nDELE 1", "sz")
        self.assertIn(["Buzonix Electr\xf3nico", "Clave incorrecta"], [b[:2] for b in boxes])
        self.assertEqual(received_lines(), [])


if __name__ == "__main__":
    unittest.main()
