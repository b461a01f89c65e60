"""The real program under Wine, driven as a user would drive it."""
import os
import unittest

from harness import (tray_shows, AYUDA, APOP_DOVECOT, CHEQUEAR, CONFIG_KEY, PLAIN_DOVECOT, REFUSING, RUN_KEY,
                     RUN_VALUE, SALIR, SCRIPTED, TITLE, VERSION_KEY, ProgramTest, driver, received_lines,
                     reg_get, reg_text, set_script, tooltips, wait_tooltip, wait_until)

NOTICE_CLASS = "TFAvisa"
HELP_CLASS = "BuzonixHelp"
CONFIG_CLASS = os.environ.get("BUZONIX_CONFIG_CLASS", "TConf")


class StartTest(ProgramTest):
    def test_first_run_opens_help_and_dialog_registers_the_program_and_checks_nothing(self):
        set_script({"mode": "pop3", "greeting": "+OK ready", "users": {"alice": "secret"}, "count": 1})
        program = self.program().start()
        program.wait_tray()
        driver("find", HELP_CLASS, "-")
        driver("find", CONFIG_CLASS, "-")
        self.assertEqual(reg_text(RUN_KEY, RUN_VALUE, root="HKLM"), program.windows_path())
        self.assertIsNone(reg_get(VERSION_KEY, "Numero"))  # nothing saved before the dialog is accepted
        self.assertEqual(tooltips(), ["No hay Mensajes"])
        self.assertEqual(received_lines(), [])

    def test_start_takes_over_an_old_plain_password_and_shows_three_messages(self):
        self.store_settings(PLAIN_DOVECOT, "alice", "secret")
        program = self.program().start()
        self.assertEqual(wait_tooltip("3 Mensajes"), "3 Mensajes")
        self.assertTrue(tray_shows("bandera1"))
        notice = driver("find", NOTICE_CLASS, "-")[0]
        self.assertEqual(driver("text", notice), ["3 Mensajes"])
        self.assertEqual(driver("client", notice), ["148 112"])
        # The password is now kept scrambled, the clear one is gone.
        self.assertIsNone(reg_get(CONFIG_KEY, "clave"))
        code = reg_text(CONFIG_KEY, "Codigo")
        self.assertRegex(code, r"^[0-9A-F]{12}$")
        self.assertEqual(reg_text(VERSION_KEY, "Numero"), "1.01")
        # A click acknowledges the count; the tray click then reopens it.
        driver("post", notice, 0x0201, 0, 0x00100010)
        driver("post", notice, 0x0202, 0, 0x00100010)
        driver("gone", NOTICE_CLASS, "-")
        driver("tray", "left")
        driver("find", NOTICE_CLASS, "-")
        driver("menu", SALIR)
        self.assertEqual(program.exit_code(), 0)

    def test_apop_login_with_the_scripted_server(self):
        set_script({"mode": "pop3", "greeting": "+OK ready <1896.697170952@dbc.mtview.ca.us>",
                    "users": {"alice": "tanstaaf"}, "count": 2, "size": 500})
        self.store_settings(SCRIPTED, "alice", "tanstaaf", animation="No")
        program = self.program().start()
        self.assertEqual(wait_tooltip("2 Mensajes"), "2 Mensajes")
        self.assertTrue(tray_shows("bandera5"))
        self.assertEqual(received_lines()[:3],
                         ["APOP alice c4c9334bac560ecc979e58001b3e22fb\r\n", "STAT\r\n", "QUIT\r\n"])
        driver("nobox", 1)
        self.assertEqual(driver("gone", NOTICE_CLASS, "-", 0, check=False), [])

    def test_missing_digest_library_says_so_and_ends(self):
        program = self.program(with_digest_library=False).start()
        self.assertEqual(driver("box", 20), [TITLE, "No se encuentra libreria APOP.DLL"])
        self.assertEqual(driver("box", 20), [TITLE, "Funcion no enlazada. Esta la DLL cargada?"])
        self.assertEqual(program.exit_code(), 0)


class FailureTest(ProgramTest):
    def test_wrong_password_says_so_once_and_stops_the_timer(self):
        self.store_settings(APOP_DOVECOT, "alice", "wrong")
        program = self.program().start()
        self.assertEqual(driver("box", 20), [TITLE, "Clave incorrecta"])
        self.assertEqual(wait_tooltip("Clave incorrecta"), "Clave incorrecta")
        self.assertTrue(tray_shows("bandera2"))
        driver("menu", SALIR)
        self.assertEqual(program.exit_code(), 0)

    def test_refused_connection_shows_one_box_for_a_run_of_failures(self):
        self.store_settings(REFUSING, "alice", "secret")
        program = self.program().start()
        caption, text = driver("box", 20)[:2]
        self.assertEqual(caption, TITLE)
        self.assertEqual(text, "Conexion rechazada")
        self.assertEqual(wait_tooltip("Error en Conexion"), "Error en Conexion")
        driver("menu", CHEQUEAR)
        driver("nobox", 3)
        self.assertEqual(tooltips(), ["Error en Conexion"])
        driver("menu", SALIR)
        self.assertEqual(program.exit_code(), 0)


class EndTest(ProgramTest):
    def test_salir_while_idle_ends_without_a_word_to_the_server(self):
        set_script({"mode": "pop3", "greeting": "+OK ready", "users": {"alice": "secret"}, "count": 0})
        self.store_settings(SCRIPTED, "alice", "secret")
        program = self.program().start()
        self.assertEqual(wait_tooltip("No Hay Mensajes"), "No Hay Mensajes")
        self.assertTrue(tray_shows("bandera0"))
        self.assertFalse(tray_shows("bandera1", 0))
        lines = received_lines()
        self.assertEqual(lines, ["USER alice\r\n", "PASS secret\r\n", "STAT\r\n", "QUIT\r\n"])
        driver("menu", SALIR)
        self.assertEqual(program.exit_code(), 0)
        self.assertEqual(received_lines(), lines)

    def test_salir_during_a_stalled_check_sends_quit(self):
        set_script({"steps": [{"send": "+OK ready\r\n"}, {"read": 1}, {"stall": 25}]})
        self.store_settings(SCRIPTED, "alice", "secret")
        program = self.program().start()
        program.wait_tray()
        self.assertTrue(wait_until(lambda: received_lines() == ["USER alice\r\n"], 10))
        driver("menu", SALIR)
        self.assertEqual(program.exit_code(20), 0)
        self.assertEqual(received_lines(), ["USER alice\r\n", "QUIT\r\n"])

    def test_ayuda_opens_the_help_window_and_escape_closes_it(self):
        self.store_settings(PLAIN_DOVECOT, "bob", "secret")
        program = self.program().start()
        self.assertEqual(wait_tooltip("No Hay Mensajes"), "No Hay Mensajes")
        driver("menu", AYUDA)
        help_window = driver("find", HELP_CLASS, "-")[0]
        text = "\n".join(driver("text", driver("child", help_window, "Edit", 0)[0]))
        self.assertIn("Buzonix", text)
        driver("key", driver("child", help_window, "Edit", 0)[0], 0x1B)
        self.assertTrue(wait_until(lambda: driver("visible", help_window) == ["0"], 10))
        driver("menu", SALIR)
        self.assertEqual(program.exit_code(), 0)


if __name__ == "__main__":
    unittest.main()
