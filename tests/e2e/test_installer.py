"""The Windows release under Wine: the installer run silently into a fresh prefix of its own (the
`installer` fixture packages first and starts that prefix's session), what it leaves where, the
board started from its shortcut, an upgrade, and the uninstaller."""
import os
import shutil
import struct
import subprocess
import unittest
import zipfile

import harness
from harness import (DEFAULT_BYTES, ENV, WINDOW_TOOL, Board, Screen, find_windows, run,
                     settings_bytes, udp_port_bound, wait_until)

VERSION = os.environ.get("PELIVOR_VERSION", "")
WIN64 = harness.BOARD == "win64"
# The 32-bit release keeps the names it always had; the 64-bit one says what it is.
SETUP = os.path.join(harness.BUILD, "pelivor-%s-%ssetup.exe" % (VERSION, "win64-" if WIN64 else ""))
ZIP = os.path.join(harness.BUILD, "pelivor-%s-%s.zip" % (VERSION, harness.BOARD))
STANDIN = os.path.join(harness.BUILD, "command_log.exe")
PLANTED_DLL = os.path.join(harness.BUILD, "pelivor-planted.dll")

PROGRAMS = r"C:\Program Files\Pelivor"
DATA = r"C:\ProgramData\Pelivor"
START_MENU = r"C:\ProgramData\Microsoft\Windows\Start Menu\Programs\Pelivor.lnk"
STARTUP = r"C:\ProgramData\Microsoft\Windows\Start Menu\Programs\StartUp\Pelivor.lnk"
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Pelivor"
FIREWALL_ADD = ('advfirewall firewall add rule name="Pelivor" dir=in action=allow protocol=UDP '
                'localport=3001 remoteip=localsubnet program="C:\\Program Files\\Pelivor\\pelivor.exe" '
                'profile=any')
FIREWALL_DELETE = 'advfirewall firewall delete rule name="Pelivor"'
FIREWALL_WEB_ADD = ('advfirewall firewall add rule name="Pelivor WWW" dir=in action=allow '
                    'protocol=TCP remoteip=localsubnet '
                    'program="C:\\Program Files\\Pelivor\\pelivor.exe" profile=any')
FIREWALL_WEB_DELETE = 'advfirewall firewall delete rule name="Pelivor WWW"'
# The data folder's rights, all its own: SYSTEM and Administrators full; Users may list it and add
# files, and get Modify on the files only. This folder alone (no /T), and not through a link (/L).
# Users get no right to add to it before its content is checked with them shut out.
ICACLS = ['"C:\\windows\\system32\\icacls.exe" "C:\\ProgramData\\Pelivor" /inheritance:r /grant:r '
          '*S-1-5-18:(OI)(CI)F *S-1-5-32-544:(OI)(CI)F *S-1-5-32-545:(RD,RA,REA,X,RC,S) /L',
          '"C:\\windows\\system32\\icacls.exe" "C:\\ProgramData\\Pelivor" /grant '
          '*S-1-5-32-545:(OI)(IO)M *S-1-5-32-545:(WD) /L']

# No menu entries and icons in the user's home for the shortcuts the installer makes; and the
# stand-ins below in place of Wine's netsh and icacls, which are stubs that do nothing.
ENV["WINEDLLOVERRIDES"] = ENV.get("WINEDLLOVERRIDES", "") + \
    ";winemenubuilder.exe=d;netsh.exe,icacls.exe=n"
DRIVE_C = os.path.join(ENV.get("WINEPREFIX", ""), "drive_c")
SYSTEM32 = os.path.join(DRIVE_C, "windows", "system32")


def host(path):
    """Where a C: path of the prefix lies on this machine."""
    assert path[:3].upper() == "C:\\", path
    return os.path.join(DRIVE_C, *path[3:].split("\\"))


def listing():
    """Every path under C:, but Wine's own folder and the temporary files."""
    found = set()
    for root, dirs, files in os.walk(DRIVE_C):
        rel = os.path.relpath(root, DRIVE_C)
        if rel == "windows" or rel.split(os.sep)[-1] == "Temp":
            dirs[:] = []
            continue
        found.update(os.path.normpath(os.path.join(rel, name)) for name in dirs + files)
    return found


def commands(name):
    """The command lines the installer ran through the stand-in for `name`."""
    path = os.path.join(SYSTEM32, name + ".exe.log")
    if not os.path.exists(path):
        return []
    with open(path, encoding="latin-1") as f:
        return [line.rstrip("\r\n") for line in f]


def shortcut(path):
    """The target and working folder of a .lnk, as lnkinfo reads them."""
    out = subprocess.run(["lnkinfo", host(path)], stdout=subprocess.PIPE, check=True,
                         timeout=20).stdout.decode("utf-8", "replace")
    fields = {}
    for line in out.splitlines():
        key, sep, value = line.partition(":")
        if sep:
            fields.setdefault(key.strip(), value.strip())
    return fields.get("Local path"), fields.get("Working directory")


def registry(key):
    """The values under a key as {name: data}, or None when there is no such key."""
    result = run("wine", "reg", "query", key, check=False)
    if result.returncode != 0:
        return None
    values = {}
    for line in result.stdout.decode("utf-8", "replace").splitlines():
        parts = line.strip().split(None, 2)
        if len(parts) == 3 and parts[1].startswith("REG_"):
            values[parts[0]] = parts[2]
    return values


def read(path):
    if not os.path.exists(path):
        return None
    with open(path, "rb") as f:
        return f.read()


def install(*options, check=True):
    return run("wine", SETUP, "/S", *options, timeout=120, check=check).returncode


def uninstall(*options):
    # In place and waited for: _?= must come last and unquoted, and wine quotes an argument that
    # holds a space, so the folder goes in as separate words.
    words = ("_?=" + PROGRAMS).split(" ")
    run("wine", PROGRAMS + r"\uninstall.exe", "/S", *options, *words, timeout=120)


def version_block(path):
    """(fixed file version as a tuple, {string name: value}) from a program's version resource."""
    raw = subprocess.run(["wrestool", "-x", "--raw", "-t16", path], stdout=subprocess.PIPE,
                         check=True, timeout=20).stdout
    fixed = raw.find(struct.pack("<I", 0xFEEF04BD))
    if fixed < 0:
        return None, {}
    ms, ls = struct.unpack_from("<II", raw, fixed + 8)
    text = raw.decode("utf-16-le", "replace")
    strings = {}
    for name in ("ProductName", "ProductVersion", "FileVersion", "FileDescription"):
        at = text.find(name + "\0")
        if at >= 0:
            # The value follows its NUL-terminated name after padding to a 4-byte boundary.
            rest = text[at + len(name) + 1:].lstrip("\0")
            strings[name] = rest.split("\0", 1)[0]
    return (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF), strings


def board_processes():
    """The pelivor.exe processes of this prefix."""
    found = []
    for pid in run("pgrep", "-f", "pelivor.exe", check=False).stdout.split():
        try:
            with open("/proc/%d/environ" % int(pid), "rb") as f:
                environ = f.read().split(b"\0")
        except OSError:  # gone meanwhile
            continue
        if ("WINEPREFIX=%s" % ENV["WINEPREFIX"]).encode() in environ:
            found.append(int(pid))
    return found


class ShortcutBoard(Board):
    """The installed board, started the way its Start-menu shortcut starts it. The shell opens
    the shortcut and returns, so the board is followed by its window and its process."""

    def start(self, expect_window=True):
        before = set(find_windows("Pelivor"))
        # No pipes: the board would inherit them and hold them open.
        subprocess.run(["wine", "start", START_MENU], env=ENV, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=20)
        new = wait_until(lambda: set(find_windows("Pelivor")) - before, what="the main window")
        self.window = max(new)
        wait_until(lambda: udp_port_bound(3001), what="the board to bind UDP port 3001")
        return self

    def alive(self):
        return bool(board_processes())

    def stop(self):
        if self.window is not None and find_windows("Pelivor"):
            self.key("Escape")
        try:
            wait_until(lambda: not self.alive(), timeout=5, what="the board to end")
        finally:
            for pid in board_processes():
                os.kill(pid, 9)


BEFORE = set()


def setUpModule():
    BEFORE.update(listing())
    for name in ("netsh", "icacls"):
        shutil.copyfile(STANDIN, os.path.join(SYSTEM32, name + ".exe"))


class Artefacts(unittest.TestCase):
    def test_the_zip_holds_both_programs_and_a_read_me_for_windows(self):
        with zipfile.ZipFile(ZIP) as z:
            self.assertEqual(sorted(z.namelist()), ["README.txt", "pelivor-send.exe", "pelivor.exe"])
            readme = z.read("README.txt")
        self.assertIn(b"Pelivor %s" % VERSION.encode(), readme)
        self.assertNotIn(b"\n", readme.replace(b"\r\n", b""))  # Notepad's line ends throughout

    def test_the_installer_and_the_programs_it_carries_are_of_this_build(self):
        self.assertEqual(harness.pe_machine(SETUP), harness.BOARD)
        with zipfile.ZipFile(ZIP) as z:
            for name in ("pelivor.exe", "pelivor-send.exe"):
                path = z.extract(name, os.path.join(harness.SESSION, "unzipped"))
                self.assertEqual(harness.pe_machine(path), harness.BOARD, name)

    def test_both_programs_carry_the_project_version(self):
        major, minor = (int(x) for x in VERSION.split(".")[:2])
        for name in ("pelivor.exe", "pelivor-send.exe"):
            fixed, strings = version_block(os.path.join(harness.BUILD, name))
            self.assertEqual(fixed[:2], (major, minor), name)
            self.assertEqual(strings.get("ProductName"), "Pelivor", name)
            self.assertEqual(strings.get("ProductVersion"), VERSION, name)
            self.assertEqual(strings.get("FileVersion"), VERSION, name)
            self.assertTrue(strings.get("FileDescription"), name)


class SilentInstall(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        install("/AUTOSTART")

    def test_the_programs_and_the_uninstaller_are_in_program_files(self):
        self.assertEqual(sorted(os.listdir(host(PROGRAMS))),
                         ["README.txt", "pelivor-send.exe", "pelivor.exe", "uninstall.exe"])
        with zipfile.ZipFile(ZIP) as z, open(host(PROGRAMS + r"\pelivor.exe"), "rb") as f:
            self.assertEqual(f.read(), z.read("pelivor.exe"))

    def test_both_shortcuts_start_the_board_in_the_data_folder(self):
        for link in (START_MENU, STARTUP):
            self.assertEqual(shortcut(link), (PROGRAMS + r"\pelivor.exe", DATA), link)
        self.assertTrue(os.path.isdir(host(DATA)))

    def test_the_firewall_lets_port_3001_in_and_every_user_may_write_the_data_folder(self):
        netsh = [line.split(" ", 1)[1] for line in commands("netsh")]
        self.assertIn(FIREWALL_ADD, netsh)
        # A rule left by an earlier install goes first, so reinstalling never doubles it.
        self.assertEqual(netsh[netsh.index(FIREWALL_ADD) - 1], FIREWALL_DELETE)
        # The web side's rule: the program over TCP, whatever port it is given later.
        self.assertIn(FIREWALL_WEB_ADD, netsh)
        self.assertEqual(netsh[netsh.index(FIREWALL_WEB_ADD) - 1], FIREWALL_WEB_DELETE)
        self.assertEqual(commands("icacls"), ICACLS)

    def test_it_is_listed_among_the_installed_programs(self):
        values = registry(UNINSTALL_KEY)
        self.assertIsNotNone(values)
        self.assertEqual(values.get("DisplayName"), "Pelivor")
        self.assertEqual(values.get("DisplayVersion"), VERSION)
        self.assertEqual(values.get("UninstallString"), '"%s\\uninstall.exe"' % PROGRAMS)

    def test_the_shortcut_starts_a_board_that_keeps_its_settings_in_the_data_folder(self):
        settings = host(DATA + r"\setup.dat")
        if os.path.exists(settings):
            os.remove(settings)
        board = ShortcutBoard(host(DATA))
        try:
            board.start()
            run("wine", PROGRAMS + r"\pelivor-send.exe", "57")
            wait_until(lambda: read(settings) == DEFAULT_BYTES, what="setup.dat in the data folder")
            # The first cell of the default 4 x 2 grid on the 960 x 540 desktop.
            cell = (0, 0, 480, 135)
            wait_until(lambda: Screen.capture().read_digits(*cell) == "57", timeout=10,
                       what="57 on the board")
        finally:
            board.stop()


    def test_neither_program_loads_a_dll_planted_in_the_data_folder(self):
        # Every user may add files there, and both programs run there.
        planted = host(DATA + r"\pelivor-planted.dll")
        shutil.copyfile(PLANTED_DLL, planted)
        self.addCleanup(os.remove, planted)

        def load(*exe):
            result = run("wine", WINDOW_TOOL, "load", "pelivor-planted.dll", *exe, check=False)
            return result.returncode == 0 and result.stdout.decode().strip()

        board = ShortcutBoard(host(DATA))
        try:
            board.start()
            self.assertEqual(load(), "not loaded")
        finally:
            board.stop()
        # With no numbers given, the sender waits on its input meanwhile.
        sender = subprocess.Popen(["wine", PROGRAMS + r"\pelivor-send.exe"], cwd=host(DATA),
                                  env=ENV, stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL)
        try:
            self.assertEqual(wait_until(lambda: load("pelivor-send.exe"), what="pelivor-send"),
                             "not loaded")
        finally:
            sender.stdin.close()
            self.assertEqual(sender.wait(timeout=20), 0)


class Uninstall(unittest.TestCase):
    """Installs (or upgrades what is there), keeps the operator's settings through an upgrade,
    then uninstalls; the observations are made here and checked one by one below."""
    SETTINGS = settings_bytes(5, 3, 1, 2, 3, 200, 210, 220, 1)

    @classmethod
    def setUpClass(cls):
        install("/AUTOSTART")
        with open(host(DATA + r"\setup.dat"), "wb") as f:
            f.write(cls.SETTINGS)
        program = host(PROGRAMS + r"\pelivor.exe")
        os.utime(program, (946684800, 946684800))  # as if from an older release
        board = ShortcutBoard(host(DATA)).start()
        install()  # an upgrade, without asking again for the start at login
        cls.board_after_upgrade = board_processes()
        cls.program_replaced = os.path.getmtime(program) != 946684800
        board.stop()
        cls.settings_after_upgrade = read(host(DATA + r"\setup.dat"))
        cls.startup_after_upgrade = os.path.exists(host(STARTUP))

        uninstall()
        cls.netsh_last = commands("netsh")[-1].split(" ", 1)[1]
        cls.netsh_before_last = commands("netsh")[-2].split(" ", 1)[1]
        cls.listed_after = registry(UNINSTALL_KEY)
        # Run in place, the uninstaller cannot delete itself nor so its folder.
        cls.left_in_programs = sorted(os.listdir(host(PROGRAMS)))
        shutil.rmtree(host(PROGRAMS))
        cls.left = listing() - BEFORE
        cls.settings_after = read(host(DATA + r"\setup.dat"))

        install()
        uninstall("/REMOVESETTINGS")
        cls.data_after_removal = os.path.exists(host(DATA))
        shutil.rmtree(host(PROGRAMS), ignore_errors=True)

    def test_an_upgrade_keeps_the_settings_and_the_start_at_login(self):
        self.assertEqual(self.settings_after_upgrade, self.SETTINGS)
        self.assertTrue(self.startup_after_upgrade)

    def test_an_upgrade_closes_a_running_board_to_replace_its_program(self):
        self.assertEqual(self.board_after_upgrade, [])
        self.assertTrue(self.program_replaced)

    def test_nothing_is_left_but_the_settings_folder(self):
        self.assertEqual(self.left_in_programs, ["uninstall.exe"])
        self.assertEqual(self.left, {os.path.join("ProgramData", "Pelivor"),
                                     os.path.join("ProgramData", "Pelivor", "setup.dat")})
        self.assertEqual(self.settings_after, self.SETTINGS)

    def test_the_firewall_rule_and_the_programs_entry_are_removed(self):
        self.assertEqual(self.netsh_last, FIREWALL_DELETE)
        self.assertEqual(self.netsh_before_last, FIREWALL_WEB_DELETE)
        self.assertIsNone(self.listed_after)

    def test_the_settings_go_too_when_asked(self):
        self.assertFalse(self.data_after_removal)


def tree(path):
    """What a host folder holds: {relative path: (mode, bytes or None for a folder)}."""
    found = {}
    for root, dirs, files in os.walk(path):
        for name in dirs + files:
            full = os.path.join(root, name)
            found[os.path.relpath(full, path)] = (os.lstat(full).st_mode, read(full)
                                                  if name in files else None)
    return found


def plant(folder, files):
    for name, data in files.items():
        os.makedirs(os.path.dirname(os.path.join(folder, name)), exist_ok=True)
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


class DataFolderStandingThere(unittest.TestCase):
    """A data folder made before the install, by anyone: what the setup and the uninstaller do
    with it and with what it holds or points to."""
    PLANTED = {"planted.txt": b"a user's own", "planted.dll": b"MZ planted"}

    def setUp(self):
        self.decoy = os.path.join(harness.SESSION, "decoy")
        self.addCleanup(self.clean)
        self.fresh()

    def clean(self):
        data = host(DATA)
        if os.path.islink(data):
            os.remove(data)
        for path in (data, host(PROGRAMS), self.decoy):
            shutil.rmtree(path, ignore_errors=True)

    def fresh(self):
        """No install, no data folder, and a folder elsewhere for links to point to."""
        self.clean()
        plant(self.decoy, dict(self.PLANTED, **{"setup.dat": DEFAULT_BYTES,
                                                "setup.dat.new": DEFAULT_BYTES}))

    def state(self):
        return (listing(), commands("icacls"), commands("netsh"), registry(UNINSTALL_KEY),
                tree(self.decoy))

    def test_a_link_a_folder_of_another_owner_or_one_holding_a_link_stops_the_setup(self):
        def link():
            os.symlink(self.decoy, host(DATA))

        def foreign():
            os.mkdir(host(DATA))
            plant(host(DATA), self.PLANTED)
            os.chown(host(DATA), 4242, 4242)  # Wine shows a stranger's folder as not the user's

        def holding_a_link():
            os.mkdir(host(DATA))
            plant(host(DATA), self.PLANTED)
            os.symlink(self.decoy, os.path.join(host(DATA), "inner"))

        def holding_a_hard_link():
            # A second name of a file elsewhere, which the rights set on the folder would reach.
            os.mkdir(host(DATA))
            plant(host(DATA), self.PLANTED)
            os.link(os.path.join(self.decoy, "setup.dat"), os.path.join(host(DATA), "setup.dat"))

        for name, make in (("link", link), ("another owner", foreign),
                           ("holding a link", holding_a_link),
                           ("holding a hard link", holding_a_hard_link)):
            with self.subTest(name):
                self.fresh()
                make()
                before = self.state()
                self.assertNotEqual(install(check=False), 0)
                self.assertEqual(self.state(), before)

    def test_a_plain_folder_is_used_and_the_uninstaller_takes_only_the_settings_from_it(self):
        os.mkdir(host(DATA))
        plant(host(DATA), self.PLANTED)
        planted = tree(host(DATA))
        icacls_before = len(commands("icacls"))
        install()
        self.assertEqual(commands("icacls")[icacls_before:], ICACLS)
        self.assertEqual(tree(host(DATA)), planted)

        plant(host(DATA), {"setup.dat": DEFAULT_BYTES, "setup.dat.new": DEFAULT_BYTES})
        uninstall("/REMOVESETTINGS")
        self.assertEqual(tree(host(DATA)), planted)

    def test_the_uninstaller_leaves_a_linked_data_folder_and_what_it_points_to_alone(self):
        install()
        os.rmdir(host(DATA))
        os.symlink(self.decoy, host(DATA))
        decoy = tree(self.decoy)
        uninstall("/REMOVESETTINGS")
        self.assertEqual(tree(self.decoy), decoy)
        self.assertTrue(os.path.islink(host(DATA)))


@unittest.skipUnless(WIN64, "about the 64-bit installer")
class The32BitReleaseStandingThere(unittest.TestCase):
    """The 64-bit setup where the 32-bit release is installed, which has the same shortcuts,
    firewall rules and data folder: its own uninstaller goes first, run in place and waited for,
    and the settings stay."""
    OLD = r"C:\Program Files (x86)\Pelivor"
    SETTINGS = settings_bytes(3, 3, 10, 20, 30, 40, 50, 60, 0)

    def test_its_uninstaller_is_run_and_the_settings_stay(self):
        # The 32-bit release as its setup leaves it, with a stand-in for its uninstaller that
        # writes down how it was started.
        os.makedirs(host(self.OLD))
        shutil.copyfile(STANDIN, host(self.OLD + r"\uninstall.exe"))
        run("wine", "reg", "add", UNINSTALL_KEY, "/v", "InstallLocation", "/d", self.OLD,
            "/reg:32", "/f")
        os.makedirs(host(DATA), exist_ok=True)
        with open(host(DATA + r"\setup.dat"), "wb") as f:
            f.write(self.SETTINGS)
        self.addCleanup(shutil.rmtree, host(PROGRAMS), ignore_errors=True)
        self.addCleanup(shutil.rmtree, host(self.OLD), ignore_errors=True)
        self.addCleanup(run, "wine", "reg", "delete", UNINSTALL_KEY, "/reg:32", "/f", check=False)

        install()
        with open(host(self.OLD + r"\uninstall.exe.log"), encoding="latin-1") as f:
            self.assertEqual(f.read().splitlines(),
                             ['"%s\\uninstall.exe" /S _?=%s' % (self.OLD, self.OLD)])
        self.assertFalse(os.path.exists(host(self.OLD + r"\uninstall.exe")))
        self.assertEqual(read(host(DATA + r"\setup.dat")), self.SETTINGS)
        self.assertTrue(os.path.exists(host(PROGRAMS + r"\pelivor.exe")))
        uninstall("/REMOVESETTINGS")


def load_tests(loader, tests, pattern):
    # The uninstaller's checks come after the install's, in one prefix.
    suite = unittest.TestSuite()
    for case in (Artefacts, SilentInstall, Uninstall, DataFolderStandingThere,
                 The32BitReleaseStandingThere):
        suite.addTests(loader.loadTestsFromTestCase(case))
    return suite
