"""The real program at 144 and 192 DPI (Wine's LogPixels): the tray takes the
icon image of the shell's size, and the notice, help and dialog are laid out
for the DPI."""
import os
import unittest

from harness import (AYUDA, CONFIGURACION, PLAIN_DOVECOT, SALIR, ProgramTest, driver, find_shown, set_dpi, tray_shows,
                     wait_tooltip, window_rect)

NOTICE_CLASS = "TFAvisa"
HELP_CLASS = "BuzonixHelp"
CONFIG_CLASS = os.environ.get("BUZONIX_CONFIG_CLASS", "TConf")

WM_CLOSE = 0x0010

# Every control of the dialog: class, id, and its rectangle in the form's
# client coordinates, as the dialog was laid out when these were taken.
DIALOG_RECTS = {
    96: """

        TConfPanel 102 7 24 379 347
        TConfPanel 103 9 30 378 305
        Static -1 25 50 81 65
        Static -1 29 73 80 88
        Static -1 40 101 79 116
        Static -1 22 132 254 147
        Edit 104 84 46 235 68
        Edit 105 84 72 190 94
        Edit 106 84 97 190 119
        Button 120 84 97 190 119
        Edit 107 255 129 301 154
        msctls_updown32 0 299 129 315 154
        Static -1 321 132 351 147
        Button 108 249 52 349 69
        Button 109 249 76 367 93
        Button 110 249 100 372 117
        Static -1 15 164 79 179
        ComboBox 115 84 161 190 184
        Static -1 206 164 250 179
        Edit 116 255 161 311 183
        Static -1 18 190 80 205
        ComboBox 117 84 187 190 210
        Static -1 199 190 249 205
        Edit 118 255 187 367 209
        Static -1 15 216 110 231
        ComboBox 119 113 212 235 235
        Static -1 249 211 371 238
        Button -1 15 240 370 301
        Static -1 18 254 98 269
        Edit 121 100 251 222 272
        Static -1 231 254 274 269
        Edit 122 276 251 366 272
        Static -1 51 278 98 293
        Edit 123 100 275 222 296
        Static -1 224 278 274 293
        Edit 124 276 275 366 296
        Button 111 84 313 168 339
        Button 112 213 313 297 339
        TConfPanel 113 7 24 379 347
        Static 200 7 35 379 59
        Static -1 7 70 379 84
        Static -1 87 88 337 102
        Static -1 93 110 289 124
        Static -1 93 130 274 144
        Static -1 7 153 353 167
        Static -1 15 169 292 183
        Static -1 23 185 292 199
        Button 114 305 177 367 202
        SysTabControl32 101 3 1 383 351
    """,
    144: """

        TConfPanel 102 9 30 571 523
        TConfPanel 103 11 38 564 451
        Static -1 35 68 116 90
        Static -1 41 103 116 125
        Static -1 58 145 116 167
        Static -1 30 192 364 214
        Edit 104 124 62 351 96
        Edit 105 124 100 282 134
        Edit 106 124 139 282 173
        Button 120 124 139 282 173
        Edit 107 381 187 451 224
        msctls_updown32 0 449 187 465 224
        Static -1 475 192 519 214
        Button 108 371 72 521 97
        Button 109 371 108 549 133
        Button 110 371 142 556 167
        Static -1 21 240 114 262
        ComboBox 115 124 235 282 268
        Static -1 306 240 370 262
        Edit 116 381 235 465 269
        Static -1 24 278 114 300
        ComboBox 117 124 273 282 306
        Static -1 295 278 369 300
        Edit 118 381 273 549 307
        Static -1 21 316 160 338
        ComboBox 119 165 312 351 345
        Static -1 371 309 553 350
        Button -1 21 352 554 443
        Static -1 27 374 144 396
        Edit 121 148 369 330 400
        Static -1 346 374 408 396
        Edit 122 412 369 546 400
        Static -1 74 410 144 432
        Edit 123 148 405 330 436
        Static -1 335 410 408 432
        Edit 124 412 405 546 436
        Button 111 124 463 250 503
        Button 112 319 463 445 503
        TConfPanel 113 9 30 571 523
        Static 200 9 47 567 83
        Static -1 9 100 567 120
        Static -1 129 126 500 146
        Static -1 139 160 428 180
        Static -1 139 188 403 208
        Static -1 9 223 529 243
        Static -1 21 247 436 267
        Static -1 33 271 436 291
        Button 114 457 259 549 296
        SysTabControl32 101 5 1 575 527
    """,
    192: """

        TConfPanel 102 10 38 762 699
        TConfPanel 103 13 49 751 599
        Static -1 45 89 154 119
        Static -1 53 135 155 165
        Static -1 75 191 153 221
        Static -1 39 254 493 284
        Edit 104 163 81 465 126
        Edit 105 163 132 374 177
        Edit 106 163 183 374 228
        Button 120 163 183 374 228
        Edit 107 506 247 599 297
        msctls_updown32 0 597 247 613 297
        Static -1 626 254 685 284
        Button 108 493 94 693 128
        Button 109 493 142 730 176
        Button 110 493 188 739 222
        Static -1 26 318 152 348
        ComboBox 115 163 311 374 351
        Static -1 407 318 493 348
        Edit 116 506 311 618 356
        Static -1 31 369 153 399
        ComboBox 117 163 363 374 403
        Static -1 392 369 491 399
        Edit 118 506 363 730 408
        Static -1 26 420 215 450
        ComboBox 119 221 414 466 454
        Static -1 493 411 736 465
        Button -1 26 468 736 590
        Static -1 32 497 191 527
        Edit 121 195 491 438 533
        Static -1 458 497 543 527
        Edit 122 547 491 726 533
        Static -1 97 545 191 575
        Edit 123 195 539 438 581
        Static -1 444 545 543 575
        Edit 124 547 539 726 581
        Button 111 164 616 332 669
        Button 112 423 616 591 669
        TConfPanel 113 10 38 762 699
        Static 200 10 60 754 108
        Static -1 10 131 754 158
        Static -1 170 166 661 193
        Static -1 183 211 564 238
        Static -1 183 249 529 276
        Static -1 10 296 703 323
        Static -1 26 328 580 355
        Static -1 42 360 580 387
        Button 114 607 344 730 394
        SysTabControl32 101 6 2 766 703
    """,
}


def control_rects(lines):
    """(class, id, left, top, right, bottom) of each line, in a fixed order:
    the window order may change, the layout may not."""
    rows = [line.split() for line in lines if line.strip()]
    return sorted((cls, int(ident), *map(int, rect)) for cls, ident, *rect in rows)


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
                dialog = find_shown(CONFIG_CLASS)
                # The dialog is designed at 120 DPI.
                self.assertEqual(driver("client", dialog), [f"{scaled(481, dpi, 120)} {scaled(441, dpi, 120)}"])
                driver("menu", SALIR)
                self.assertEqual(program.exit_code(), 0)
                program.stop()

    def test_every_control_of_the_dialog_keeps_its_rectangle(self):
        for dpi, table in DIALOG_RECTS.items():
            with self.subTest(dpi=dpi):
                set_dpi(dpi)
                driver("regdel", "HKCU", r"Software\Buzonix")
                program = self.program().start()
                dialog = find_shown(CONFIG_CLASS, 20)  # a first run opens it
                shown = control_rects(driver("rects", dialog))
                expected = control_rects(table.splitlines())
                self.assertEqual([row[:2] for row in shown], [row[:2] for row in expected])
                for got, want in zip(shown, expected):
                    self.assertLessEqual(max(abs(a - b) for a, b in zip(got[2:], want[2:])), 1, (got, want))
                driver("post", dialog, WM_CLOSE, 0, 0)
                driver("menu", SALIR)
                self.assertEqual(program.exit_code(), 0)
                program.stop()


if __name__ == "__main__":
    unittest.main()
