"""Pictures of the real program under Wine at 96, 144 and 192 DPI (the
prefix's LogPixels): the notification area, the notice, the help window and
both pages of the dialog, into docs/pictures/<dpi>/. Run by scripts/pictures.sh;
look at each one before committing it."""
import os
import sys
import time

from harness import (AYUDA, CONFIG_KEY, CONFIGURACION, PLAIN_DOVECOT, SALIR, VERSION_KEY, Program, driver, reg_set,
                     screenshot, set_dpi, wait_tooltip, window_rect)

VK_RIGHT = 0x27


def pictures_at(dpi, folder):
    os.makedirs(folder, exist_ok=True)
    set_dpi(dpi)
    driver("regdel", "HKCU", r"Software\Buzonix")
    reg_set(VERSION_KEY, "Numero", "1.00")
    for name, data in (("Host", PLAIN_DOVECOT), ("usuario", "alice"), ("clave", "secret"), ("frecuencia", "10"),
                       ("Hacer Sonido", "Beep"), ("Animacion", "Si")):
        reg_set(CONFIG_KEY, name, data)
    program = Program().start()
    try:
        wait_tooltip("3 Mensajes")
        time.sleep(1)
        screenshot(os.path.join(folder, "tray.png"), window_rect(driver("find", "-", "Wine System Tray", 5)[0]))
        screenshot(os.path.join(folder, "aviso.png"), window_rect(driver("find", "TFAvisa", "-")[0]))
        driver("menu", AYUDA)
        help_window = driver("find", "BuzonixHelp", "-")[0]
        time.sleep(0.5)
        screenshot(os.path.join(folder, "ayuda.png"), window_rect(help_window))
        driver("key", driver("child", help_window, "Edit", 0)[0], 0x1B)
        driver("menu", CONFIGURACION)
        dialog = driver("find", "TConf", "-")[0]
        time.sleep(0.5)
        screenshot(os.path.join(folder, "configuracion.png"), window_rect(dialog))
        driver("key", driver("child", dialog, "SysTabControl32", 0)[0], VK_RIGHT)
        time.sleep(0.5)
        screenshot(os.path.join(folder, "informacion.png"), window_rect(dialog))
        driver("menu", SALIR)
        program.exit_code()
    finally:
        program.stop()


def main(docs):
    try:
        for dpi in (96, 144, 192):
            pictures_at(dpi, os.path.join(docs, "pictures", str(dpi)))
    finally:
        set_dpi(96)


if __name__ == "__main__":
    main(sys.argv[1])
