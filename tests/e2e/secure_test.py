"""The real program over TLS under Wine: Schannel with the certificate checked
by the program, against dovecot and the scripted server."""
import unittest

from harness import (SALIR, TEST_CA, TITLE, TLS_HOST, TLS_PORT_BASE, ProgramTest, driver, received_lines,
                     set_script, tray_shows, wait_tooltip)

APOP_STLS, APOP_TLS, PLAIN_STLS, PLAIN_TLS = (TLS_PORT_BASE + n for n in (1, 2, 3, 4))


class SecureTest(ProgramTest):
    @classmethod
    def setUpClass(cls):
        driver("trustca", "Z:" + TEST_CA.replace("/", "\\"))

    def check_shows(self, security, port, tooltip):
        self.store_settings(TLS_HOST, "alice", "secret", animation="No", security=security, port=port)
        program = self.program().start()
        self.assertEqual(wait_tooltip(tooltip), tooltip)
        return program

    def test_tls_from_the_first_byte_and_stls_against_dovecot(self):
        for security, port in (("SSL/TLS", PLAIN_TLS), ("STARTTLS", APOP_STLS)):
            with self.subTest(security):
                program = self.check_shows(security, port, "3 Mensajes")
                self.assertTrue(tray_shows("bandera1"))
                driver("nobox", 1)
                driver("menu", SALIR)
                self.assertEqual(program.exit_code(), 0)

    def test_apop_inside_tls(self):
        set_script({"mode": "pop3", "tls": "implicit", "greeting": "+OK ready <1896.697170952@dbc.mtview.ca.us>",
                    "users": {"alice": "secret"}, "count": 2})
        program = self.check_shows("SSL/TLS", TLS_PORT_BASE, "2 Mensajes")
        self.assertTrue(tray_shows("bandera5"))
        self.assertEqual(received_lines()[0][:11], "APOP alice ")
        driver("menu", SALIR)
        self.assertEqual(program.exit_code(), 0)

    def test_an_untrusted_certificate_is_refused_before_the_password(self):
        set_script({"mode": "pop3", "tls": "stls", "cert": "selfsigned", "users": {"alice": "secret"}})
        self.store_settings(TLS_HOST, "alice", "secret", security="STARTTLS", port=TLS_PORT_BASE)
        program = self.program().start()
        self.assertEqual(driver("box", 20), [TITLE, "El certificado del servidor no es de confianza"])
        self.assertEqual(wait_tooltip("Error en Conexion"), "Error en Conexion")
        self.assertTrue(tray_shows("bandera2"))
        self.assertEqual(received_lines(), ["STLS\r\n"])
        driver("menu", SALIR)
        self.assertEqual(program.exit_code(), 0)


if __name__ == "__main__":
    unittest.main()
