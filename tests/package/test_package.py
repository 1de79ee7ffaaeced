"""The Debian package of the Linux board, built by cpack from this build tree: its control fields,
its files, and what it installs doing its job from a throwaway root: the launcher keeps
"setup.dat" in the user's settings folder, and the kiosk command shows the board inside cage."""
import configparser
import json
import os
import pwd
import shutil
import signal
import subprocess
import sys
import tempfile
import unittest

from harness import DEFAULT_BACK, DEFAULT_BYTES, ENV, Screen, find_windows, wait_until

BUILD = os.environ["PELIVOR_BUILD"]
LAUNCHER = "/usr/libexec/pelivor/pelivor-user"
EXPECTED_FILES = {
    "./usr/bin/pelivor": "-rwxr-xr-x",
    "./usr/bin/pelivor-send": "-rwxr-xr-x",
    "./usr/libexec/pelivor/pelivor-user": "-rwxr-xr-x",
    "./usr/share/applications/org.pelivor.Board.desktop": "-rw-r--r--",
    "./usr/lib/systemd/system/pelivor-kiosk@.service": "-rw-r--r--",
}

# The kiosk unit's sandboxing directives.
SANDBOXING = ("NoNewPrivileges=", "CapabilityBoundingSet=", "Protect", "Private", "Restrict",
              "LockPersonality=", "SystemCallArchitectures=")


def output(*args, **kwargs):
    return subprocess.run(args, check=True, stdout=subprocess.PIPE, timeout=120,
                          **kwargs).stdout.decode()


def read_entry(path, section):
    parser = configparser.ConfigParser(interpolation=None, strict=True)
    parser.optionxform = str  # keys are case-sensitive
    with open(path) as f:
        parser.read_file(f)
    return parser[section]


class Package(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="pelivor-deb-")
        output("cpack", "--config", os.path.join(BUILD, "CPackConfig.cmake"), "-B", cls.tmp)
        debs = [f for f in os.listdir(cls.tmp) if f.endswith(".deb")]
        assert len(debs) == 1, debs
        cls.deb = os.path.join(cls.tmp, debs[0])
        cls.root = os.path.join(cls.tmp, "root")
        output("dpkg-deb", "-x", cls.deb, cls.root)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def test_control_fields(self):
        arch = output("dpkg", "--print-architecture").strip()
        self.assertEqual(os.path.basename(self.deb), "pelivor_1.0_%s.deb" % arch)
        fields = {}
        for line in output("dpkg-deb", "-f", self.deb).splitlines():
            if not line.startswith(" "):
                key, _, value = line.partition(":")
                fields[key] = value.strip()
        self.assertEqual(fields["Package"], "pelivor")
        self.assertEqual(fields["Architecture"], arch)
        depends = [d.split()[0] for d in fields["Depends"].split(", ")]
        # Found by dpkg-shlibdeps from the programs, plus the face the board draws in.
        for needed in ("fonts-liberation", "libgtk-4-1", "libc6", "libstdc++6"):
            self.assertIn(needed, depends)
        # The chime's player: GTK's media backend and the plugin that reads its WAV.
        for needed in ("libgtk-4-media-gstreamer", "gstreamer1.0-plugins-good"):
            self.assertIn(needed, depends)

    def test_files(self):
        listed = {}
        for line in output("dpkg-deb", "-c", self.deb).splitlines():
            parts = line.split()
            if not parts[0].startswith("d"):
                listed[parts[-1]] = parts[0]
        self.assertEqual(listed, EXPECTED_FILES)

    def test_desktop_entry_and_unit_start_the_launcher(self):
        entry = read_entry(os.path.join(
            self.root, "usr/share/applications/org.pelivor.Board.desktop"), "Desktop Entry")
        self.assertEqual(entry["Type"], "Application")
        self.assertEqual(entry["Exec"], LAUNCHER)
        unit = os.path.join(self.root, "usr/lib/systemd/system/pelivor-kiosk@.service")
        self.assertEqual(read_entry(unit, "Service")["ExecStart"],
                         "/usr/bin/cage -s -- " + LAUNCHER)
        self.assertEqual(read_entry(unit, "Service")["User"], "%i")
        self.assertEqual(read_entry(unit, "Install")["WantedBy"], "graphical.target")
        self.assertTrue(os.access(os.path.join(self.root, LAUNCHER[1:]), os.X_OK))

    @unittest.skipUnless(shutil.which("systemd-analyze"), "systemd-analyze is not installed")
    def test_systemd_accepts_the_unit(self):
        # An instance of the template, as `systemctl enable pelivor-kiosk@USER` makes one.
        unit = os.path.join(self.tmp, "pelivor-kiosk@shop.service")
        shutil.copy(os.path.join(self.root, "usr/lib/systemd/system/pelivor-kiosk@.service"), unit)
        checked = subprocess.run(["systemd-analyze", "verify", "--man=no", unit],
                                 stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=60)
        self.assertEqual(checked.returncode, 0, checked.stdout.decode())
        self.assertEqual(checked.stdout, b"")

    @unittest.skipUnless(shutil.which("systemd-analyze"), "systemd-analyze is not installed")
    def test_the_unit_runs_sandboxed(self):
        def security(path):
            def run(*options):
                return output("systemd-analyze", "security", "--offline=yes", *options, path,
                              stderr=subprocess.STDOUT)
            overall = float(run().rsplit(":", 1)[1].split()[0])
            exposures = {e["json_field"]: float(e["exposure"] or 0)
                         for e in json.loads(run("--json=short"))}
            return overall, exposures
        # The same unit without the lines that sandbox it: what it was before.
        source = os.path.join(self.root, "usr/lib/systemd/system/pelivor-kiosk@.service")
        with open(source) as f:
            lines = f.read().splitlines(True)
        unsandboxed = [line for line in lines if not line.startswith(SANDBOXING)]
        sandboxed = os.path.join(self.tmp, "sandboxed", "pelivor-kiosk@shop.service")
        bare = os.path.join(self.tmp, "bare", "pelivor-kiosk@shop.service")
        for path, text in ((sandboxed, lines), (bare, unsandboxed)):
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "w") as f:
                f.writelines(text)
        overall, exposures = security(sandboxed)
        bare_overall, bare_exposures = security(bare)
        self.assertLess(overall, bare_overall - 3)
        for field in ("NoNewPrivileges", "PrivateTmp", "RestrictAddressFamilies_AF_PACKET",
                      "RestrictAddressFamilies_OTHER", "ProtectKernelTunables"):
            self.assertEqual(exposures[field], 0, field)
            self.assertGreater(bare_exposures[field], 0, field)
        self.assertLess(exposures["ProtectSystem"], bare_exposures["ProtectSystem"])

    def test_removing_the_package_stops_and_disables_the_kiosk(self):
        # A root of its own that dpkg installs into and removes from, with a shell for the
        # maintainer scripts and a systemctl that only logs what it is asked.
        root = os.path.join(self.tmp, "dpkg-root")
        for d in ("var/lib/dpkg/info", "var/lib/dpkg/updates", "usr/bin", "bin", "tmp",
                  "run/systemd/system", "etc/systemd/system/graphical.target.wants"):
            os.makedirs(os.path.join(root, d))
        open(os.path.join(root, "var/lib/dpkg/status"), "w").close()
        shell = os.path.realpath("/bin/sh")
        libraries = [w for w in output("ldd", shell).split() if w.startswith("/")]
        for path in [shell] + libraries:
            os.makedirs(os.path.dirname(root + path), exist_ok=True)
            shutil.copy(path, root + path)
        if not os.path.exists(os.path.join(root, "bin/sh")):
            os.symlink(shell, os.path.join(root, "bin/sh"))
        with open(os.path.join(root, "usr/bin/systemctl"), "w") as f:
            f.write('#!/bin/sh\necho "$*" >>/systemctl.log\n')
        os.chmod(os.path.join(root, "usr/bin/systemctl"), 0o755)
        os.symlink("/usr/lib/systemd/system/pelivor-kiosk@.service", os.path.join(
            root, "etc/systemd/system/graphical.target.wants/pelivor-kiosk@shop.service"))
        # dpkg runs the scripts chrooted: as root, or as root of a user namespace otherwise.
        dpkg = (["unshare", "--map-root-user"] if os.getuid() != 0 else []) + [
            "dpkg", "--root=" + root, "--force-depends", "--force-not-root"]
        env = dict(os.environ, PATH="/usr/sbin:/usr/bin:/sbin:/bin")
        output(*dpkg, "-i", self.deb, env=env, stderr=subprocess.STDOUT)
        log = os.path.join(root, "systemctl.log")
        self.assertFalse(os.path.exists(log), "installing asks nothing of systemd")
        output(*dpkg, "-r", "pelivor", env=env, stderr=subprocess.STDOUT)
        self.assertTrue(os.path.exists(log), "removing asked nothing of systemd")
        with open(log) as f:
            self.assertEqual(f.read().splitlines(),
                             ["disable pelivor-kiosk@shop.service", "stop pelivor-kiosk@*.service"])
        self.assertFalse(os.path.exists(os.path.join(root, "usr/bin/pelivor")))

    def run_launcher(self, env, cwd):
        process = subprocess.Popen([os.path.join(self.root, LAUNCHER[1:])], env=env, cwd=cwd,
                                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        try:
            wait_until(lambda: find_windows("Pelivor"), what="the installed board's window")
        finally:
            process.send_signal(signal.SIGTERM)  # as systemd stops it
            self.assertEqual(process.wait(timeout=10), 0)

    def test_the_launcher_keeps_the_settings_in_the_users_folder(self):
        home = tempfile.mkdtemp(dir=self.tmp)
        elsewhere = tempfile.mkdtemp(dir=self.tmp)
        env = dict(ENV, HOME=home)
        env.pop("XDG_CONFIG_HOME", None)
        self.run_launcher(env, elsewhere)
        with open(os.path.join(home, ".config/pelivor/setup.dat"), "rb") as f:
            self.assertEqual(f.read(), DEFAULT_BYTES)
        config = tempfile.mkdtemp(dir=self.tmp)
        self.run_launcher(dict(env, XDG_CONFIG_HOME=config), elsewhere)
        self.assertTrue(os.path.exists(os.path.join(config, "pelivor/setup.dat")))
        self.assertEqual(os.listdir(elsewhere), [])

    @unittest.skipUnless(shutil.which("cage"), "cage is not installed")
    def test_the_kiosk_command_shows_the_board_in_cage(self):
        # cage refuses to run as root: as root, run it as nobody, the way the unit runs it as a
        # user of its own. Nested in the test display through its X11 back end.
        as_root = os.getuid() == 0
        home = tempfile.mkdtemp(dir=self.tmp)
        runtime = tempfile.mkdtemp(dir=self.tmp)
        os.chmod(self.tmp, 0o755)
        if as_root:
            nobody = pwd.getpwnam("nobody")
            for path in (home, runtime):
                os.chown(path, nobody.pw_uid, nobody.pw_gid)
        os.chmod(runtime, 0o700)
        env = {"PATH": "/usr/bin:/bin", "HOME": home, "XDG_RUNTIME_DIR": runtime,
               "DISPLAY": ENV["DISPLAY"], "WLR_BACKENDS": "x11", "WLR_RENDERER": "pixman",
               "GTK_A11Y": "none", "DBUS_SESSION_BUS_ADDRESS": "disabled:"}
        # runuser sets HOME from the password file: env puts the test's own back.
        command = ["/usr/bin/env", "-i"] + ["%s=%s" % kv for kv in env.items()] + [
            shutil.which("cage"), "-s", "--", os.path.join(self.root, LAUNCHER[1:])]
        if as_root:
            command = [shutil.which("runuser") or "/usr/sbin/runuser", "-u", "nobody", "--"] + command
        log = open(os.path.join(self.tmp, "cage.log"), "wb")
        cage = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=log, stderr=log)
        try:
            settings = os.path.join(home, ".config/pelivor/setup.dat")
            wait_until(lambda: os.path.exists(settings) and open(settings, "rb").read(),
                       what="setup.dat in the kiosk user's folder")
            # The nested output window lies on the display: most of it the board's background.
            wait_until(lambda: Screen.capture().count(DEFAULT_BACK, 0, 0, 960, 540) > 300000,
                       what="the board inside cage")
            with open(settings, "rb") as f:
                self.assertEqual(f.read(), DEFAULT_BYTES)
        finally:
            cage.send_signal(signal.SIGTERM)
            cage.wait(timeout=10)
            log.close()
            if sys.exc_info()[0] is not None:  # failing: show what cage said
                with open(log.name, "rb") as f:
                    sys.stderr.write(f.read().decode(errors="replace")[-2000:])


if __name__ == "__main__":
    unittest.main()
