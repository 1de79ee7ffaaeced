"""Drives a real board on the test session's virtual display: starts it in a fresh working
directory, sends datagrams through pelivor-send, presses keys with xdotool and reads the screen
back. Every wait is bounded. PELIVOR_BOARD picks the board: "win32" (pelivor.exe under Wine, the
default), "win64" (the 64-bit build under 64-bit Wine) or "linux" (the GTK board, on a display with
a window manager)."""
import os
import shlex
import shutil
import socket
import struct
import subprocess
import tempfile
import time
import unittest

SESSION = os.environ.get("PELIVOR_SESSION", "")
BUILD = os.environ.get("PELIVOR_BUILD", "")
BOARD = os.environ.get("PELIVOR_BOARD", "win32")
if BOARD not in ("win32", "win64", "linux"):
    raise SystemExit("PELIVOR_BOARD is win32, win64 or linux, not %r" % BOARD)
LINUX = BOARD == "linux"
EXE = os.path.join(BUILD, "pelivor" if LINUX else "pelivor.exe")
SENDER = os.path.join(BUILD, "pelivor-send" if LINUX else "pelivor-send.exe")
# The command that starts a program of the board's platform; PELIVOR_LAUNCH puts one in front of
# the Linux board's programs (the arm64 build's emulator, say).
LAUNCH = shlex.split(os.environ.get("PELIVOR_LAUNCH", "")) if LINUX else ["wine"]

# Cases about one board's platform alone.
win32_only = unittest.skipIf(LINUX, "about the Windows program under Wine")
linux_only = unittest.skipUnless(LINUX, "about the Linux board")
# The same board with each chime also counted, one line in "chime.log" in its working directory.
CHIME_LOG_EXE = os.path.join(BUILD, "pelivor-chime-log" if LINUX else "pelivor-chime-log.exe")
# Sends the board's window what no key can (a command, a new size).
WINDOW_TOOL = os.path.join(BUILD, "pelivor-window-tool.exe")

DEFAULT_BYTES = bytes.fromhex(
    "04000000" "02000000" "00000000" "32000000" "96000000" "f0000000" "f0000000" "f0000000" "00000000")
DEFAULT_BACK = (0, 50, 150)
DEFAULT_TEXT = (240, 240, 240)

# The dialog's edit boxes in tab order after the OK button and the check box.
DIALOG_FIELDS = ["rows", "columns", "back_red", "back_green", "back_blue", "text_red",
                 "text_green", "text_blue"]


def session_env():
    env = dict(os.environ)
    with open(os.path.join(SESSION, "env")) as f:
        for line in f:
            line = line.strip()
            if line.startswith("export "):
                key, _, value = line[len("export "):].partition("=")
                env[key] = value.strip("'")
    return env


ENV = session_env() if SESSION else dict(os.environ)


def restart_session(size):
    """Starts the Windows board's session again on a display of another size, "WIDTHxHEIGHT";
    everything here then runs in it."""
    script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts",
                          "wine-session")
    subprocess.run([script, "start", SESSION, size], check=True, timeout=120, env=ENV,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
    ENV.update(session_env())


def pe_machine(path):
    """The build a Windows program is of, from its PE header: "win32", "win64" or None."""
    with open(path, "rb") as f:
        head = f.read(4096)
    if head[:2] != b"MZ":
        return None
    (pe,) = struct.unpack_from("<I", head, 0x3C)
    if head[pe:pe + 4] != b"PE\0\0":
        return None
    (machine,) = struct.unpack_from("<H", head, pe + 4)
    return {0x14C: "win32", 0x8664: "win64"}.get(machine)


def settings_bytes(*fields):
    return struct.pack("<9i", *fields)


def tail_bytes(expire_seconds=0, highlight_seconds=0, chime=0, commands=0, fit_text=0):
    """The optional tail after the 36 bytes that switches the extensions on."""
    return b"PVX1" + struct.pack("<5i", expire_seconds, highlight_seconds, chime, commands, fit_text)


def wait_until(predicate, timeout=10.0, step=0.05, what="condition"):
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError("timed out after %.1f s waiting for %s" % (timeout, what))
        time.sleep(step)


def run(*args, timeout=20, check=True):
    return subprocess.run(args, env=ENV, timeout=timeout, check=check, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE)


def find_windows(name):
    # xdotool dies on BadWindow when a window it walks is destroyed meanwhile (a dialog closing,
    # slowly under an emulator): that search saw nothing, so it is made again.
    for _ in range(5):
        result = run("xdotool", "search", "--onlyvisible", "--name", "^%s$" % name, check=False)
        if b"X Error" not in result.stderr:
            break
    return [int(w) for w in result.stdout.split()]


def udp_port_bound(port):
    with open("/proc/net/udp") as f:
        return any(line.split()[1].endswith(":%04X" % port) for line in f.readlines()[1:])


def send(*numbers, port=3001):
    """Sends each number as one datagram through the station-side sender of the board's platform."""
    run(*LAUNCH, SENDER, "--port", str(port), *numbers)


def send_raw(payload, port=3001):
    """Bytes the sender cannot express (binary, oversized, empty), straight from Python."""
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.sendto(payload, ("127.0.0.1", port))


class Screen:
    """One capture of the whole virtual display as RGB rows."""

    def __init__(self, data, width, height):
        self.data, self.width, self.height = data, width, height

    @staticmethod
    def capture(window=None):
        target = ["-id", str(window)] if window else ["-root"]
        xwd = run("xwd", "-silent", *target).stdout
        # The dump's header starts with big-endian 32-bit fields; width and height are the 5th and 6th.
        width, height = struct.unpack(">II", xwd[16:24])
        rgb = subprocess.run(["convert", "xwd:-", "-depth", "8", "rgb:-"], input=xwd,
                             stdout=subprocess.PIPE, check=True, timeout=20).stdout
        return Screen(rgb, width, height)

    def pixel(self, x, y):
        i = 3 * (y * self.width + x)
        return tuple(self.data[i:i + 3])

    def region(self, x0, y0, x1, y1):
        """The set of colours in the rectangle [x0, x1) x [y0, y1)."""
        colours = set()
        for y in range(max(0, y0), min(self.height, y1)):
            row = self.data[3 * (y * self.width + max(0, x0)):3 * (y * self.width + min(self.width, x1))]
            colours.update(row[i:i + 3] for i in range(0, len(row), 3))
        return {tuple(c) for c in colours}

    def count(self, colour, x0, y0, x1, y1):
        want = bytes(colour)
        n = 0
        for y in range(max(0, y0), min(self.height, y1)):
            row = self.data[3 * (y * self.width + max(0, x0)):3 * (y * self.width + min(self.width, x1))]
            n += sum(1 for i in range(0, len(row), 3) if row[i:i + 3] == want)
        return n

    def crop(self, x0, y0, x1, y1):
        rows = [self.data[3 * (y * self.width + x0):3 * (y * self.width + x1)] for y in range(y0, y1)]
        return b"".join(rows)

    def save(self, path, x0=0, y0=0, x1=None, y1=None):
        x1 = self.width if x1 is None else x1
        y1 = self.height if y1 is None else y1
        header = b"P6 %d %d 255\n" % (x1 - x0, y1 - y0)
        subprocess.run(["convert", "ppm:-", path], input=header + self.crop(x0, y0, x1, y1),
                       check=True, timeout=20)

    def read_digits(self, x0, y0, x1, y1, back=DEFAULT_BACK):
        """Digits in a cell, read by tesseract: the cell made black on white (anything but the
        background is ink) and cut to the ink with a margin."""
        back = bytes(back)
        ink = []
        for y in range(y0, y1):
            row = self.data[3 * (y * self.width + x0):3 * (y * self.width + x1)]
            ink.append([row[i:i + 3] != back for i in range(0, len(row), 3)])
        xs = [x for line in ink for x, on in enumerate(line) if on]
        ys = [y for y, line in enumerate(ink) if any(line)]
        if not xs:
            return ""
        margin = 20
        left, right = min(xs), max(xs) + 1
        top, bottom = min(ys), max(ys) + 1
        width, height = right - left + 2 * margin, bottom - top + 2 * margin
        pixels = bytearray(b"\xff" * (width * height))
        for y in range(top, bottom):
            for x in range(left, right):
                if ink[y][x]:
                    pixels[(y - top + margin) * width + (x - left + margin)] = 0
        with tempfile.TemporaryDirectory() as tmp:
            cell = os.path.join(tmp, "cell.pgm")
            with open(cell, "wb") as f:
                f.write(b"P5 %d %d 255\n" % (width, height) + bytes(pixels))
            # tesseract reads digits about 30 pixels high far more reliably than the board's own
            small = os.path.join(tmp, "small.png")
            scale = "%.2f%%" % (100.0 * 30 / (bottom - top))
            subprocess.run(["convert", cell, "-resize", scale, small], check=True, timeout=20)
            out = subprocess.run(["tesseract", small, "-", "--psm", "7", "-c",
                                  "tessedit_char_whitelist=0123456789"],
                                 stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=30)
            return out.stdout.decode().strip()


# With a window manager (the Linux board's session) a window is activated; Wine's desktop has none.
FOCUS = "windowactivate" if LINUX else "windowfocus"


class Board:
    """One running board in a working directory of its own."""

    def __init__(self, workdir, exe=EXE):
        self.workdir = workdir
        self.exe = exe
        self.process = None
        self.window = None

    def start(self, expect_window=True):
        before = set(find_windows("Pelivor"))
        port_was_free = not udp_port_bound(3001)
        self.process = subprocess.Popen(LAUNCH + [self.exe], cwd=self.workdir, env=ENV,
                                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        if expect_window:
            new = wait_until(lambda: set(find_windows("Pelivor")) - before, what="the main window")
            self.window = max(new)
        if port_was_free:
            # Datagrams sent before the receiver has bound its socket are lost, as on any host.
            wait_until(lambda: udp_port_bound(3001), what="the board to bind UDP port 3001")
        return self

    def alive(self):
        return self.process is not None and self.process.poll() is None

    def key(self, *keys, window=None):
        run("xdotool", FOCUS, "--sync", str(window or self.window), "key", *keys)

    def type(self, text, window):
        run("xdotool", FOCUS, "--sync", str(window), "type", "--delay", "20", text)

    def open_dialog(self):
        self.key("p")
        return wait_until(lambda: find_windows("Parametry"), what="the dialog")[0]

    def fill_dialog(self, dialog, entries, check=False):
        """Types each entry into its box (a Tab into a box selects what it held)."""
        keys = ["Tab"] + (["space"] if check else [])
        self.key(*keys, window=dialog)
        for name in DIALOG_FIELDS:
            self.key("Tab", window=dialog)
            if name in entries:
                value = entries[name]
                if value == "":
                    self.key("BackSpace", window=dialog)
                else:
                    self.type(value, dialog)

    def close_dialog(self, dialog, key):
        """Return confirms, Escape cancels; waits until the dialog is gone."""
        self.key(key, window=dialog)
        wait_until(lambda: not find_windows("Parametry"), what="the dialog to close")

    def pid(self):
        """The pelivor.exe process itself (not a launcher): the one running in this board's
        working directory under this session's Wine prefix."""
        if LINUX:
            return self.process.pid
        found = run("pgrep", "-f", "pelivor.exe", check=False).stdout.split()
        for pid in map(int, found):
            try:
                if os.readlink("/proc/%d/cwd" % pid) != os.path.realpath(self.workdir):
                    continue
                with open("/proc/%d/environ" % pid, "rb") as f:
                    environ = f.read().split(b"\0")
            except OSError:  # gone meanwhile, or not ours to read
                continue
            if ("WINEPREFIX=%s" % ENV.get("WINEPREFIX", "")).encode() in environ:
                return pid
        raise AssertionError("no pelivor.exe process in %s" % self.workdir)

    def window_tool(self, *args):
        """Runs pelivor-window-tool on this board's window; returns what it printed."""
        return run("wine", WINDOW_TOOL, *args).stdout.decode()

    def wait_exit(self, timeout=10.0):
        return self.process.wait(timeout=timeout)

    def settings_file(self):
        path = os.path.join(self.workdir, "setup.dat")
        if not os.path.exists(path):
            return None
        with open(path, "rb") as f:
            return f.read()

    def stop(self):
        if self.alive():
            try:
                self.key("Escape")
                self.wait_exit(5)
            except Exception:  # the test already failed or the window is gone: make sure it ends
                self.process.kill()
                self.process.wait(10)


class BoardTest(unittest.TestCase):
    """Each test gets a fresh working directory; every board it starts is stopped afterwards."""

    def setUp(self):
        self.workdir = tempfile.mkdtemp(prefix="pelivor-e2e-")
        self.boards = []

    def tearDown(self):
        for board in self.boards:
            board.stop()
        shutil.rmtree(self.workdir, ignore_errors=True)

    def board(self, settings=None, workdir=None, start=True, exe=EXE):
        workdir = workdir or self.workdir
        if settings is not None:
            with open(os.path.join(workdir, "setup.dat"), "wb") as f:
                f.write(settings)
        board = Board(workdir, exe)
        self.boards.append(board)
        return board.start() if start else board

    def newdir(self):
        path = tempfile.mkdtemp(prefix="pelivor-e2e-", dir=self.workdir)
        return path


# ---- the web side ---------------------------------------------------------------------------

WEB_PORT = 8080


def web_tail_bytes(web_port=WEB_PORT, staff_pin=0, zones=None, overdue_seconds=0, voice=None,
                   **extensions):
    """Both tails: the extensions' (off unless given) and then the web side's block; with `zones`
    or `voice` given, the third block after them."""
    out = tail_bytes(**extensions) + b"PVX2" + struct.pack("<2i", web_port, staff_pin)
    if zones is not None or voice is not None:
        out += b"PVX3" + struct.pack("<4i", zones or 0, overdue_seconds, voice or 0, 0)
    return out


def web_port_open(port=WEB_PORT):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=1):
            return True
    except OSError:
        return False


def api(method, path, body=None, pin=None, port=WEB_PORT, timeout=10):
    """One request to the board's web side; its status and its body (parsed when JSON)."""
    import http.client
    import json
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=timeout)
    headers = {}
    if pin is not None:
        headers["Authorization"] = "Bearer %s" % pin
    if body is not None:
        body = json.dumps(body).encode() if not isinstance(body, bytes) else body
        headers["Content-Type"] = "application/json"
    try:
        connection.request(method, path, body=body, headers=headers)
        response = connection.getresponse()
        data = response.read()
        if response.getheader("Content-Type", "").startswith("application/json") and data:
            return response.status, json.loads(data)
        return response.status, data
    finally:
        connection.close()


# One headless Chromium per test module, started by the first test that asks for it: it is the
# slow part. Debian's python3 carries its Selenium.
CHROMIUM_FLAGS = ["--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                  "--disable-background-networking", "--disable-component-update",
                  "--disable-sync", "--no-first-run", "--disable-quic"]
_browser = None
_browser_profile = None


def browser(width=960, height=540):
    """The module's browser, its page area `width` x `height` CSS pixels at one device pixel each."""
    global _browser, _browser_profile
    if _browser is None:
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
        options = webdriver.ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        for flag in CHROMIUM_FLAGS:
            options.add_argument(flag)
        _browser_profile = tempfile.mkdtemp(prefix="pelivor-chromium-")
        options.add_argument("--user-data-dir=" + _browser_profile)
        _browser = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        _browser.set_script_timeout(10)
    _browser.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
        "width": width, "height": height, "deviceScaleFactor": 1, "mobile": False})
    return _browser


def close_browser():
    global _browser, _browser_profile
    if _browser is not None:
        try:
            _browser.quit()
        finally:
            _browser = None
            shutil.rmtree(_browser_profile, ignore_errors=True)
