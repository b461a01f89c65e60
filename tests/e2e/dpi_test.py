"""The real program at 144 and 192 DPI (Wine's LogPixels): the tray takes the
icon image of the shell's size, and the notice, help and dialog are laid out
for the DPI."""
import os
import unittest

from harness import (AYUDA, CONFIGURACION, PLAIN_DOVECOT, SALIR, ProgramTest, driver, set_dpi, tray_shows,
                     wait_tooltip, window_rect)

NOTICE_CLASS = "TFAvisa"
HELP_CLASS = "BuzonixHelp"
CONFIG_CLASS = os.environ.get("BUZONIX_CONFIG_CLASS", "TConf")


def scaled(pixels, dpi, design_dpi=96):
    return (pixels * dpi + design_dpi // 2) // design_dpi


class DpiTest(ProgramTest):
    def tearDown(self):
        super().tearDown()
        set_dpi(96)

    def test_tray_icon_of_the_shells_size_and_windows_scaled(self):
        for dpi in (144, 192):
            with self.subTest(dpi=dpi):
                set_dpi(dpi)
                self.store_settings(PLAIN_DOVECOT, "alice", "secret")
                program = self.program().start()
                self.assertEqual(wait_tooltip("3 Mensajes"), "3 Mensajes")
                small_icon = scaled(16, dpi)  # Wine's small-icon size at this DPI
                self.assertTrue(tray_shows("bandera1", size=small_icon))
                self.assertFalse(tray_shows("bandera1", 0, size=16))
                # The frames are drawn stretched to the DPI.
                notice = driver("find", NOTICE_CLASS, "-")[0]
                self.assertEqual(driver("client", notice), [f"{scaled(148, dpi)} {scaled(112, dpi)}"])
                driver("menu", AYUDA)
                help_window = driver("find", HELP_CLASS, "-")[0]
                left, _, right, _ = window_rect(help_window)
                self.assertEqual(right - left, scaled(460, dpi))
                driver("menu", CONFIGURACION)
                dialog = driver("find", CONFIG_CLASS, "-")[0]
                # The dialog is designed at 120 DPI.
                self.assertEqual(driver("client", dialog), [f"{scaled(481, dpi, 120)} {scaled(305, dpi, 120)}"])
                driver("menu", SALIR)
                self.assertEqual(program.exit_code(), 0)
                program.stop()


if __name__ == "__main__":
    unittest.main()
