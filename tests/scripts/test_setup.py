"""scripts/setup against stand-ins for apt-get, apt-cache, dpkg and dpkg-query on PATH: what it
installs where 32-bit programs run and where they do not, and what it says when a step fails.
Needs no network and changes nothing on the machine."""
import os
import stat
import subprocess
import tempfile
import unittest

SETUP = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "setup")
INDEX = ("http://deb.example/debian-security/dists/bookworm-security/main/binary-i386/"
         "Packages.xz")

# Each stand-in appends its arguments to <name>.log; the FAKE_* variables steer it.
FAKES = {
    "apt-get": r"""
echo "$*" >>"$FAKE/apt-get.log"
case " $* " in
*" update "*)
  n=$(grep -c '^update ' "$FAKE/apt-get.log")
  if [ "$n" -le "${FAKE_UPDATE_FAILS:-0}" ]; then
    echo "E: Failed to fetch %s  File has unexpected size (1234 != 1200). Mirror sync in progress? [IP: 192.0.2.1 80]"
    echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
    exit 100
  fi ;;
*" install "*)
  if [ -n "${FAKE_INSTALL_FAILS:-}" ]; then
    echo "E: Unable to correct problems, you have held broken packages."
    exit 100
  fi ;;
esac
exit 0
""" % INDEX,
    "apt-cache": r"""
for p in ${FAKE_UNKNOWN:-}; do [ "$2" = "$p" ] && { echo "E: No packages found" >&2; exit 100; }; done
exit 0
""",
    "dpkg": r"""
echo "$*" >>"$FAKE/dpkg.log"
case "$1" in
--print-foreign-architectures) [ -z "${FAKE_FOREIGN:-}" ] || echo "$FAKE_FOREIGN" ;;
--add-architecture)
  [ -z "${FAKE_DPKG_FAILS:-}" ] || { echo "dpkg: error: cannot write /var/lib/dpkg/arch" >&2; exit 2; } ;;
esac
exit 0
""",
    "dpkg-query": 'echo "unknown ok not-installed"\n',
    "sudo": 'exec "$@"\n',
}


class Setup(unittest.TestCase):
    def run_setup(self, i386, **fake):
        """Runs scripts/setup with the stand-ins; returns (exit status, its output, {stand-in:
        [argument lines]})."""
        root = tempfile.mkdtemp(prefix="pelivor-setup-")
        self.addCleanup(subprocess.run, ["rm", "-rf", root])
        bin_dir = os.path.join(root, "bin")
        os.mkdir(bin_dir)
        for name, body in FAKES.items():
            path = os.path.join(bin_dir, name)
            with open(path, "w") as f:
                f.write("#!/bin/sh\n" + body)
            os.chmod(path, stat.S_IRWXU)
        # Both Wine prefixes already prepared: setup's part after the packages does nothing.
        for prefix in ("wine", "wine64"):
            os.makedirs(os.path.join(root, prefix))
            open(os.path.join(root, prefix, ".pelivor-ready"), "w").close()
        env = {"PATH": bin_dir + ":/usr/bin:/bin", "HOME": root, "FAKE": root,
               "PELIVOR_I386": i386, "PELIVOR_WINEPREFIX": os.path.join(root, "wine"),
               "PELIVOR_APT_RETRY_SECONDS": "0"}
        env.update(fake)
        done = subprocess.run([SETUP], env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, timeout=120)
        logs = {}
        for name in ("apt-get", "dpkg"):
            path = os.path.join(root, name + ".log")
            logs[name] = []
            if os.path.exists(path):
                with open(path) as f:
                    logs[name] = f.read().splitlines()
        return done.returncode, done.stdout.decode(), logs

    def installs(self, logs):
        return [line.split() for line in logs["apt-get"] if " install " in " %s " % line]

    def test_32_bit_wine_only_where_32_bit_programs_run(self):
        status, out, logs = self.run_setup("no")
        self.assertEqual(status, 0, out)
        self.assertIn("cannot run 32-bit", out)
        (install,) = self.installs(logs)
        self.assertIn("wine64", install)
        self.assertIn("g++-mingw-w64-x86-64", install)
        self.assertFalse([p for p in install if p.endswith(":i386")])
        self.assertNotIn("--add-architecture i386", logs["dpkg"])

        status, out, logs = self.run_setup("yes")
        self.assertEqual(status, 0, out)
        self.assertIn("runs 32-bit", out)
        (install,) = self.installs(logs)
        self.assertIn("wine32:i386", install)
        self.assertIn("--add-architecture i386", logs["dpkg"])

    def test_a_failing_step_names_itself_its_command_and_its_output(self):
        status, out, logs = self.run_setup("yes", FAKE_DPKG_FAILS="1")
        self.assertNotEqual(status, 0)
        self.assertIn("setup: adding the i386 architecture failed: dpkg --add-architecture i386",
                      out)
        self.assertIn("cannot write /var/lib/dpkg/arch", out)
        self.assertEqual(self.installs(logs), [])

    def test_a_package_the_archive_lacks_is_named_before_any_install(self):
        status, out, logs = self.run_setup("no", FAKE_UNKNOWN="nsis")
        self.assertNotEqual(status, 0)
        self.assertIn("the package archive lists no nsis", out)
        self.assertEqual(self.installs(logs), [])

    def test_an_index_that_fails_once_is_fetched_again_and_the_install_goes_on(self):
        status, out, logs = self.run_setup("no", FAKE_UPDATE_FAILS="1")
        self.assertEqual(status, 0, out)
        self.assertEqual(sum(" update " in " %s " % line for line in logs["apt-get"]), 2)
        self.assertEqual(len(self.installs(logs)), 1)

    def test_an_index_that_keeps_failing_is_named_as_the_likely_cause_of_a_failed_install(self):
        status, out, logs = self.run_setup("no", FAKE_UPDATE_FAILS="99", FAKE_INSTALL_FAILS="1")
        self.assertNotEqual(status, 0)
        self.assertEqual(sum(" update " in " %s " % line for line in logs["apt-get"]), 4)
        self.assertIn("setup: installing the packages failed", out)
        self.assertIn("held broken packages", out)  # apt's own words, shown
        cause = out[out.index("likely cause"):]
        self.assertIn(INDEX, cause)

    def test_i386_packages_left_where_32_bit_cannot_run_are_named_when_the_install_fails(self):
        status, out, logs = self.run_setup("no", FAKE_FOREIGN="i386", FAKE_INSTALL_FAILS="1")
        self.assertNotEqual(status, 0)
        cause = out[out.index("setup: installing the packages failed"):]
        self.assertIn("dpkg --remove-architecture i386", cause)


if __name__ == "__main__":
    unittest.main()
