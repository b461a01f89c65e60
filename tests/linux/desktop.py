"""A headless Linux desktop for the tests of the buzonix program: Xvfb, a
private session bus that starts nothing on demand, one kind of tray (trayer,
an XEmbed tray, or the tests' own StatusNotifierWatcher) and, when asked, an
unlocked Secret Service (gnome-keyring). Each desktop has its own home,
configuration and runtime folders, never the user's."""
import os
import shutil
import signal
import subprocess
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
PROGRAM = os.environ["BUZONIX_PROGRAM"]
ART = os.path.join(HERE, "..", "..", "res", "art")
SCRAMBLE_KEY = "DoLuMeA&RwJ593RwJ&DoLuMeA593"
TITLE = "Buzonix Electr\u00f3nico"


def wait_for(condition, timeout=10.0, step=0.05):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        value = condition()
        if value:
            return value
        time.sleep(step)
    return condition()


def scramble(password):
    return "".join("%02X" % (ord(c) ^ ord(SCRAMBLE_KEY[i % len(SCRAMBLE_KEY)]))
                   for i, c in enumerate(password))


class Desktop:
    def __init__(self, tray="xembed", keyring=False):
        self.root = tempfile.mkdtemp(prefix="buzonix-desktop-")
        self.processes = []
        self.program = None
        self.env = dict(os.environ)
        for folder in ("home", "config", "run", "cache"):
            os.makedirs(os.path.join(self.root, folder), mode=0o700)
        self.env.update(HOME=self.path("home"), XDG_CONFIG_HOME=self.path("config"),
                        XDG_RUNTIME_DIR=self.path("run"), XDG_CACHE_HOME=self.path("cache"),
                        QT_QPA_PLATFORM="xcb", LC_ALL="C.UTF-8")
        self.env.pop("SESSION_MANAGER", None)
        try:
            self._start_display()
            self._start_bus()
            if tray == "xembed":
                self._start(["trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
                             "--height", "24", "--SetDockType", "false"])
                wait_for(lambda: self.windows("panel"))
            else:
                watcher = self._start(["/usr/bin/python3", os.path.join(HERE, "sni_watcher.py")],
                                      stdout=subprocess.PIPE)
                assert watcher.stdout.readline().strip() == b"ready"
            if keyring:
                self._start_keyring()
        except Exception:
            self.close()
            raise

    def path(self, *parts):
        return os.path.join(self.root, *parts)

    def _start(self, argv, **kwargs):
        kwargs.setdefault("stdout", subprocess.DEVNULL)
        kwargs.setdefault("stderr", subprocess.DEVNULL)
        process = subprocess.Popen(argv, env=self.env, stdin=kwargs.pop("stdin", subprocess.DEVNULL),
                                   **kwargs)
        self.processes.append(process)
        return process

    def _start_display(self):
        read, write = os.pipe()
        self._start(["Xvfb", "-displayfd", str(write), "-screen", "0", "800x600x24", "-nolisten", "tcp"],
                    pass_fds=(write,))
        os.close(write)
        with os.fdopen(read) as pipe:
            self.env["DISPLAY"] = ":" + pipe.readline().strip()

    def _start_bus(self):
        bus = self._start(["dbus-daemon", "--config-file", os.path.join(HERE, "session.conf"),
                           "--print-address", "--nofork"], stdout=subprocess.PIPE)
        self.env["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().decode().strip()

    def _start_keyring(self):
        keyring = self._start(["gnome-keyring-daemon", "--foreground", "--unlock", "--components=secrets"],
                              stdin=subprocess.PIPE)
        keyring.stdin.write(b"test\n")
        keyring.stdin.close()
        assert wait_for(lambda: "org.freedesktop.secrets" in self.bus_names()), "no Secret Service"

    def bus_names(self):
        out = subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus",
                              "/org/freedesktop/DBus", "org.freedesktop.DBus.ListNames"],
                             env=self.env, capture_output=True, text=True).stdout
        return [line.split('"')[1] for line in out.splitlines() if line.strip().startswith("string")]

    # --- the program ----------------------------------------------------------
    def write_settings(self, host, user="alice", password="secret", frequency="1", extra=""):
        folder = self.path("config", "buzonix")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "buzonix.conf"), "w", encoding="utf-8") as f:
            f.write("[Version]\nNumero=1.01\n\n[Configuracion]\n"
                    f"Host={host}\nusuario={user}\nCodigo={scramble(password)}\n"
                    f"frecuencia={frequency}\nHacer%20Sonido=Beep\nAnimacion=Si\n{extra}")

    def settings_text(self):
        try:
            with open(self.path("config", "buzonix", "buzonix.conf"), encoding="utf-8") as f:
                return f.read()
        except FileNotFoundError:
            return None

    def autostart_entry(self):
        return self.path("config", "autostart", "buzonix.desktop")

    def start_program(self, program=None):
        self.program = self._start([program or PROGRAM], stderr=open(self.path("program.err"), "wb"))
        return self.program

    def program_ended(self, timeout=10.0):
        try:
            self.program.wait(timeout)
            return True
        except subprocess.TimeoutExpired:
            return False

    # --- X windows ------------------------------------------------------------
    def xdotool(self, *args, check=True):
        result = subprocess.run(["xdotool", *map(str, args)], env=self.env, capture_output=True, text=True)
        if check and result.returncode != 0:
            raise RuntimeError(f"xdotool {args}: {result.stderr.strip()}")
        return result.stdout.split()

    def windows(self, name):
        """Visible windows whose title matches `name` (a regular expression)."""
        return self.xdotool("search", "--onlyvisible", "--name", name, check=False)

    def window_title(self, window):
        return subprocess.run(["xdotool", "getwindowname", window], env=self.env, capture_output=True,
                              text=True).stdout.strip()

    def screenshot(self, name="shot.png"):
        target = self.path(name)
        xwd = subprocess.run(["xwd", "-root", "-silent"], env=self.env, capture_output=True, check=True)
        subprocess.run(["convert", "xwd:-", target], input=xwd.stdout, check=True)
        return target

    def close(self):
        for process in reversed(self.processes):
            if process.poll() is None:
                process.send_signal(signal.SIGTERM)
                try:
                    process.wait(5)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
        shutil.rmtree(self.root, ignore_errors=True)


def icon_nearest(image, region=None):
    """Which of the four tray pictures an image (or a region WxH+X+Y of it) is
    nearest to: each picture is laid on the image's corner colour at the
    image's size, and the root-mean-square differences are compared."""
    work = tempfile.mkdtemp(prefix="buzonix-icon-")
    try:
        crop = os.path.join(work, "crop.png")
        subprocess.run(["convert", image, *(["-crop", region, "+repage"] if region else []), crop], check=True)
        info = subprocess.run(["convert", crop, "-format", "%w %h %[pixel:p{0,0}]", "info:"],
                              capture_output=True, text=True, check=True).stdout.split()
        width, height, corner = int(info[0]), int(info[1]), info[2]
        best = None
        for name in ("bandera0", "bandera1", "bandera2", "bandera5"):
            reference = os.path.join(work, name + ".png")
            subprocess.run(["convert", os.path.join(ART, name + ".ico[0]"), "-background", corner, "-flatten",
                            "-resize", f"{width}x{height}", "-gravity", "center", "-extent",
                            f"{width}x{height}", reference], check=True)
            result = subprocess.run(["compare", "-metric", "RMSE", crop, reference, "null:"],
                                    capture_output=True, text=True)
            distance = float(result.stderr.split()[0])
            if best is None or distance < best[0]:
                best = (distance, name)
        return best[1]
    finally:
        shutil.rmtree(work, ignore_errors=True)
