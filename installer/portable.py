"""Packs the portable copy: the program, APOP.DLL and LEAME.txt (read by
Notepad on any Windows: Windows-1252 with CRLF line ends).
Usage: portable.py <folder of Buzonix.exe and APOP.DLL> <zip to write>"""
import os
import sys
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))


def main(bin_dir, out):
    with open(os.path.join(HERE, "LEAME.txt"), encoding="utf-8") as f:
        readme = f.read().replace("\n", "\r\n").encode("cp1252")
    tmp = out + ".tmp"
    with zipfile.ZipFile(tmp, "w", zipfile.ZIP_DEFLATED) as z:
        for name in ("Buzonix.exe", "APOP.DLL"):
            z.write(os.path.join(bin_dir, name), name)
        z.writestr("LEAME.txt", readme)
    os.replace(tmp, out)


if __name__ == "__main__":
    main(*sys.argv[1:3])
