"""A representative part of the fault matrix in the real program: each fault
at one step of the dialogue, what the user sees, what reached the server,
and that the next check from the menu is served normally."""
import unittest

from harness import (CHEQUEAR, SALIR, SCRIPTED, TITLE, ProgramTest, driver, received_lines, set_script,
                     tooltips, wait_tooltip, wait_until)

GREETING = {"send": "+OK ready\r\n"}
STAMPED = {"send": "+OK ready <1896.697170952@dbc.mtview.ca.us>\r\n"}
OK = {"send": "+OK\r\n"}
READ = {"read": 1}
STAT = {"send": "+OK 3 726\r\n"}
BYE = {"send": "+OK bye\r\n"}
UNREADABLE = "Protocol erroneo: Contacte con el autor. y enviele por mail el siguiente mensaje:\r"
NO_ANSWER = "El servidor no responde"

# name, steps, tooltip afterwards, boxes (texts), QUIT sent
CELLS = [
    ("greeting closed", [{"stall": 0.2}, {"close": 1}], "2 Mensajes", [NO_ANSWER], False),
    ("greeting -ERR", [{"send": "-ERR busy\r\n"}], "2 Mensajes", [NO_ANSWER], False),
    ("greeting byte by byte", [{"send": "+OK ready\r\n", "bytewise": 0.01}, READ, OK, READ, OK, READ, STAT, READ,
                               BYE], "3 Mensajes", [], True),
    ("USER reset", [GREETING, READ, {"stall": 0.2}, {"reset": 1}], "Error en Conexion", None, False),
    ("PASS -err", [GREETING, READ, OK, READ, {"send": "-err no\r\n"}], "Clave incorrecta", ["Clave incorrecta"],
     False),
    ("PASS over-long", [GREETING, READ, OK, READ, {"send": "+OK " + "x" * 700 + "\r\n"}, READ, STAT, READ, BYE],
     "3 Mensajes", [], True),
    ("APOP -ERR", [STAMPED, READ, {"send": "-ERR no\r\n"}], "Clave incorrecta", ["Clave incorrecta"], False),
    ("STAT without size", [GREETING, READ, OK, READ, OK, READ, {"send": "+OK 3\r\n"}, READ, BYE],
     "No Hay Mensajes", [UNREADABLE + "+OK 3"], True),
    ("STAT over 2^31-1", [GREETING, READ, OK, READ, OK, READ, {"send": "+OK 2147483648 1\r\n"}, READ, BYE],
     "No Hay Mensajes", [UNREADABLE + "+OK 2147483648 1"], True),
    ("STAT two spaces", [GREETING, READ, OK, READ, OK, READ, {"send": "+OK  3 726\r\n"}, READ, BYE],
     "3 Mensajes", [], True),
    ("STAT high bytes", [GREETING, READ, OK, READ, OK, READ, {"send": "+OK \xe9 3 726\r\n"}, READ, BYE],
     "3 Mensajes", [], True),
    ("QUIT closed", [GREETING, READ, OK, READ, OK, READ, STAT, READ, {"stall": 0.2}, {"close": 1}],
     "3 Mensajes", [], True),
]


class FaultTest(ProgramTest):
    def test_faults_in_the_real_program(self):
        self.store_settings(SCRIPTED, "alice", "secret", animation="No", sound="")
        set_script({"mode": "pop3", "greeting": "+OK hi", "users": {"alice": "secret"}, "count": 2})
        program = self.program().start()
        self.assertEqual(wait_tooltip("2 Mensajes"), "2 Mensajes")
        for name, steps, tooltip, boxes, quit_sent in CELLS:
            with self.subTest(cell=name):
                set_script({"steps": steps + [{"stall": 1}]})
                driver("menu", CHEQUEAR)
                shown = []
                while (box := driver("box", 3, check=False)):
                    shown.append(box)
                self.assertTrue(wait_until(lambda: tooltip in tooltips(), 5), tooltips())
                for caption, *_ in shown:
                    self.assertEqual(caption, TITLE)
                if boxes is not None:
                    self.assertEqual(["\n".join(box[1:]) for box in shown], [b.replace("\r", "\n") for b in boxes])
                else:
                    self.assertEqual(len(shown), 1)  # the component's own text of the error
                lines = received_lines()
                self.assertEqual(bool(lines) and lines[-1] == "QUIT\r\n", quit_sent, lines)
                for line in lines:
                    self.assertEqual(line.find("\r"), len(line) - 2, line[:80])
                # The next check runs as usual.
                set_script({"mode": "pop3", "greeting": "+OK hi", "users": {"alice": "secret"}, "count": 2})
                driver("menu", CHEQUEAR)
                self.assertEqual(wait_tooltip("2 Mensajes"), "2 Mensajes")
        driver("menu", SALIR)
        self.assertEqual(program.exit_code(), 0)


if __name__ == "__main__":
    unittest.main()
