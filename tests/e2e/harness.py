"""Runs the real Buzonix.exe under Wine and drives it from outside through the
driver program: windows, message boxes, tray messages, menu, registry, and the
test servers (the scripted one and dovecot)."""
import json
import os
import shutil
import subprocess
import tempfile
import time
import unittest

WINE = os.environ.get("BUZONIX_WINE", "wine")
BIN = os.environ["BUZONIX_BIN"]
DRIVER = os.environ["BUZONIX_DRIVER"]
SERVERS = os.environ["BUZONIX_SERVERS_DIR"]
SCRIPTED = os.environ["BUZONIX_SCRIPTED_ADDR"]
APOP_DOVECOT = os.environ["BUZONIX_APOP_ADDR"]
PLAIN_DOVECOT = os.environ["BUZONIX_PLAIN_ADDR"]
REFUSING = "127.0.0.99"  # nothing listens there
# TLS servers answer as "localhost" (Wine never matches an address in a
# certificate): the scripted one on the base port, dovecot's as certs.sh and
# fixture.sh lay them out.
TLS_HOST = "localhost"
TLS_PORT_BASE = int(os.environ["BUZONIX_TLS_PORT_BASE"])
TEST_CA = os.path.join(SERVERS, "certs", "ca.pem")
ART = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "res", "art")

TITLE = "Buzonix Electr\xf3nico"
CONFIG_KEY = r"Software\Buzonix\Configuracion"
VERSION_KEY = r"Software\Buzonix\Version"
RUN_KEY = r"SOFTWARE\Microsoft\Windows\CurrentVersion\Run"
RUN_VALUE = "Buzonix Electronico"

# Items of the tray menu, in order (the separator is skipped by the keys).
CHEQUEAR, CONFIGURACION, AYUDA, SALIR = range(4)


def ensure_wineserver():
    """Starts a persistent wineserver with no pipes attached: a server that a
    driver run starts would inherit the driver's output pipe and hold it open."""
    subprocess.run(["wineserver", "-p"], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=False)


ensure_wineserver()


class DriverError(Exception):
    pass


def driver(*args, check=True, timeout=60):
    """Runs one driver command; returns its output lines (Windows-1252).
    Output goes through files, not pipes: Wine's own background processes,
    started by whichever program comes first, would inherit a pipe and hold
    it open."""
    encoded = [a.encode("cp1252") if isinstance(a, str) else a for a in (DRIVER,) + tuple(map(str, args))]
    for attempt in range(2):
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            code = subprocess.run([WINE.encode()] + encoded, stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                  timeout=timeout).returncode
            out.seek(0)
            err.seek(0)
            output, errors = out.read(), err.read()
        # The driver explains every failure of its own; one without a word
        # never started (Wine now and then fails to load a process under load).
        if code == 0 or output or errors:
            break
        time.sleep(1)
    if check and code != 0:
        shown = " ".join(map(str, args))[:200]
        raise DriverError(f"driver {shown}: {errors.decode('cp1252', 'replace').strip()[:200]}")
    return output.decode("cp1252").replace("\r\n", "\n").splitlines()


def reg_set(key, name, data, kind="sz", root="HKCU"):
    driver("regset", root, key, name, kind, data)


def reg_get(key, name, root="HKCU"):
    """The value as (type number, bytes), or None when missing."""
    line = driver("regget", root, key, name)[0]
    if line == "missing":
        return None
    kind, data = line.split(":", 1)
    return int(kind), bytes.fromhex(data)


def reg_text(key, name, root="HKCU"):
    value = reg_get(key, name, root)
    return None if value is None else value[1].split(b"\0")[0].decode("cp1252")


_tag = [0]


def set_script(script):
    """The scripted server's script for the next connections, under a fresh tag
    so that what older connections log late is not taken for ours."""
    _tag[0] = int(time.time() * 1000) % 1000000000
    path = os.path.join(SERVERS, "scripted", "script.json")
    with open(path + ".tmp", "w", encoding="latin-1") as f:
        json.dump(dict(script, tag=_tag[0]), f)
    os.replace(path + ".tmp", path)
    open(os.path.join(SERVERS, "scripted", "log.jsonl"), "w").close()


def server_log():
    path = os.path.join(SERVERS, "scripted", "log.jsonl")
    with open(path, encoding="latin-1") as f:
        entries = [json.loads(line) for line in f if line.strip()]
    return [entry for entry in entries if entry.get("tag") == _tag[0]]


def received_lines():
    return [entry["line"] for entry in server_log() if "line" in entry]


def wait_until(condition, seconds=10, step=0.1):
    end = time.time() + seconds
    while True:
        value = condition()
        if value or time.time() > end:
            return value
        time.sleep(step)


def find_shown(window_class, seconds=10):
    """The window's handle once it is on screen. A window can be found by its
    class as soon as it is made, before its controls are made and filled."""
    hwnd = driver("find", window_class, "-", seconds)[0]
    if not wait_until(lambda: driver("visible", hwnd, check=False) == ["1"], seconds):
        raise DriverError(f"window {window_class} found but never shown")
    return hwnd


class Program:
    """One run of Buzonix.exe, from a folder holding it (and APOP.DLL unless told otherwise)."""

    def __init__(self, with_digest_library=True, subfolder="", bin=None):
        """bin: another build's files (the product's, say) instead of this build's."""
        self.top = tempfile.mkdtemp(prefix="buzonix-e2e-")
        self.folder = os.path.join(self.top, subfolder)
        os.makedirs(self.folder, exist_ok=True)
        shutil.copy(os.path.join(bin or BIN, "Buzonix.exe"), self.folder)
        if with_digest_library:
            shutil.copy(os.path.join(bin or BIN, "APOP.DLL"), self.folder)
        self.process = None

    @property
    def exe(self):
        return os.path.join(self.folder, "Buzonix.exe")

    def windows_path(self):
        return "Z:" + self.exe.replace("/", "\\")

    def start(self, locale=None, cwd=None):
        """locale: a Unix locale for the program alone (Wine takes its code page from it)."""
        env = dict(os.environ, LC_ALL=locale, LANG=locale) if locale else None
        self.process = subprocess.Popen([WINE, self.exe], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                        env=env, cwd=cwd)
        return self

    def wait_tray(self, seconds=15):
        driver("find", "BuzonixTrayIconWindow", "-", seconds)

    def exit_code(self, seconds=15):
        try:
            return self.process.wait(seconds)
        except subprocess.TimeoutExpired:
            return None

    def stop(self):
        if self.process is not None and self.process.poll() is None:
            self.process.kill()
            self.process.wait()
            # A killed program leaves its tray icon with the shell: start afresh.
            subprocess.run(["wineserver", "-k"], check=False)
            subprocess.run(["wineserver", "-w"], check=False)
            ensure_wineserver()
        shutil.rmtree(self.top, ignore_errors=True)


def tooltips():
    return driver("tooltip")


def wait_tooltip(expected, seconds=15):
    """Waits until the tray shows `expected` as a tooltip; returns what it shows."""
    shown = wait_until(lambda: expected in tooltips() and expected, seconds, 0.2)
    return shown or tooltips()


class ProgramTest(unittest.TestCase):
    """Each test starts from a registry without the program's settings and
    ends the program it started."""

    def setUp(self):
        driver("regdel", "HKCU", r"Software\Buzonix")
        driver("regdel", "HKLM", RUN_KEY, RUN_VALUE)
        self.programs = []

    def tearDown(self):
        for program in self.programs:
            program.stop()

    def program(self, **kwargs):
        program = Program(**kwargs)
        self.programs.append(program)
        return program

    def store_settings(self, host, user, password, frequency="1", sound="Beep", animation="Si",
                       security=None, port=None):
        """Settings as an older version left them: the password in clear,
        which the program takes over at start; the security mode and port
        only when given."""
        reg_set(VERSION_KEY, "Numero", "1.00")
        reg_set(CONFIG_KEY, "Host", host)
        reg_set(CONFIG_KEY, "usuario", user)
        reg_set(CONFIG_KEY, "clave", password)
        reg_set(CONFIG_KEY, "frecuencia", frequency)
        reg_set(CONFIG_KEY, "Hacer Sonido", sound)
        reg_set(CONFIG_KEY, "Animacion", animation)
        if security is not None:
            reg_set(CONFIG_KEY, "Seguridad", security)
        if port is not None:
            reg_set(CONFIG_KEY, "Puerto", str(port))


def _rgb(source, *args):
    """Raw RGB bytes of an image through ImageMagick."""
    return subprocess.run(["convert", source, *args, "-depth", "8", "rgb:-"], capture_output=True,
                          check=True).stdout


# Sizes of the icons' 32-bit images, stored after the 16-colour 32 and 16.
TRUE_COLOUR_SIZES = [20, 24, 32, 40, 48, 64]
DESKTOP_KEY = r"Control Panel\Desktop"


def set_dpi(dpi):
    """Wine's DPI (the prefix's LogPixels) for every program started from now
    on; the shell starts afresh with it, so that its notification area takes
    the small-icon size of that DPI."""
    reg_set(DESKTOP_KEY, "LogPixels", str(dpi), kind="dword")
    subprocess.run(["wineserver", "-k"], check=False)
    subprocess.run(["wineserver", "-w"], check=False)
    ensure_wineserver()


def screenshot(path, rect=None):
    """The screen, or the rectangle (left, top, right, bottom) of it, as a PNG."""
    crop = [] if rect is None else ["-crop", f"{rect[2] - rect[0]}x{rect[3] - rect[1]}+{rect[0]}+{rect[1]}", "+repage"]
    with tempfile.NamedTemporaryFile(suffix=".png") as shot:
        subprocess.run(["import", "-display", os.environ["DISPLAY"], "-window", "root", shot.name], check=True)
        subprocess.run(["convert", shot.name, *crop, "-strip", path], check=True)


def window_rect(hwnd):
    return tuple(map(int, driver("rect", hwnd)[0].split()))


def _icon_image(picture, size):
    """The image of `size` of res/art/<picture>.ico as RGBA bytes: the 16-colour
    one at 16 pixels, else the 32-bit one."""
    index = 1 if size == 16 else 2 + TRUE_COLOUR_SIZES.index(size)
    return subprocess.run(["convert", os.path.join(ART, picture + ".ico") + f"[{index}]", "-depth", "8", "rgba:-"],
                          capture_output=True, check=True).stdout


def tray_shows(picture, seconds=10, size=16):
    """Whether the notification area shows the image of `size` pixels of
    res/art/<picture>.ico somewhere: the screen is captured and searched for
    the image's opaque pixels (how the shell blends the others differs)."""
    tray = driver("find", "-", "Wine System Tray", 5)[0]
    left, top, right, bottom = window_rect(tray)
    width, height = right - left, bottom - top
    icon = _icon_image(picture, size)
    opaque = [(i % size, i // size, icon[4 * i:4 * i + 3]) for i in range(size * size) if icon[4 * i + 3] == 255]

    def shown_at(area, x, y):
        for dx, dy, colour in opaque:
            at = 3 * ((y + dy) * width + x + dx)
            if any(abs(area[at + c] - colour[c]) > 2 for c in range(3)):
                return False
        return True

    def matches():
        with tempfile.NamedTemporaryFile(suffix=".png") as shot:
            screenshot(shot.name, (left, top, right, bottom))
            area = _rgb(shot.name)
        return any(shown_at(area, x, y) for y in range(height - size + 1) for x in range(width - size + 1))

    return wait_until(matches, seconds, 0.5)


# The scripted browser (tests/servers/scripted_browser.py) as the prefix's
# web browser: ShellExecute of an https URL ends in winebrowser, which runs
# the first program HKCU\Software\Wine\WineBrowser "Browsers" names.
BROWSER_DIR = os.path.join(tempfile.gettempdir(), f"buzonix-browser-{os.getpid()}")
WINE_BROWSER_KEY = r"Software\Wine\WineBrowser"


def _scripted_browser():
    import sys
    servers = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "servers")
    if servers not in sys.path:
        sys.path.insert(0, servers)
    import scripted_browser
    return scripted_browser


def use_scripted_browser(mode="follow"):
    """Makes the scripted browser, in `mode` (follow, wrong-state, never,
    error), the one the program opens, trusting the test CA; empties its log."""
    wrapper = _scripted_browser().prepare(BROWSER_DIR, mode=mode, ca=TEST_CA)
    reg_set(WINE_BROWSER_KEY, "Browsers", wrapper)


def set_browser_mode(mode):
    _scripted_browser().write_config(BROWSER_DIR, mode=mode)


def browser_log():
    """What the scripted browser did and saw, oldest first (its header lists the events)."""
    return _scripted_browser().read_log(BROWSER_DIR)


def wait_browser_done(seconds=20):
    """The browser's log once a run of it ended, or what it has so far."""
    return wait_until(lambda: [e for e in browser_log() if e["event"] == "done"] and browser_log(),
                      seconds) or browser_log()


def provider(path, body=None):
    """One request to the provider stand-in's control channel (oauth_provider.py's
    header): a GET, or a POST of `body` as JSON; returns the decoded answer."""
    import urllib.request
    data = None if body is None else json.dumps(body).encode()
    request = urllib.request.Request(os.environ["BUZONIX_PROVIDER_CONTROL"] + path, data=data,
                                     headers={"Content-Type": "application/json"})
    with urllib.request.urlopen(request, timeout=10) as answer:
        return json.loads(answer.read() or b"null")
