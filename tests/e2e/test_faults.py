"""Faults around the real board: "setup.dat" in a directory it cannot write, the file replaced or
deleted behind its back with the dialog closed and open, and port 3001 taken before it starts."""
import os
import shutil
import socket
import stat
import struct
import subprocess
import tempfile
import time
import unittest

from harness import (BoardTest, DEFAULT_BACK, DEFAULT_BYTES, Screen, linux_only, run, send,
                     settings_bytes, wait_until, win32_only)
from test_board import HEIGHT, WIDTH, cells, holds_text, wait_screen

# A record nothing else uses: one cell, red background, yellow text.
ONE_RED = settings_bytes(1, 1, 200, 0, 0, 255, 255, 0, 0)
ONE_RED_BACK = (200, 0, 0)
WHOLE = (0, 0, WIDTH, HEIGHT)


def visible_windows():
    """Every visible X window with a name: a message box would add one."""
    ids = run("xdotool", "search", "--onlyvisible", "--name", ".", check=False).stdout.split()
    return {int(w) for w in ids}


def deny_writes(directory):
    """Makes the directory refuse new entries even to root, who ignores permission bits. An
    immutable directory (chattr +i) is a truly read-only one: no file can be created, renamed
    or removed in it; a "setup.dat" in it is made immutable too, since a writable file there is
    written in place. Where the file system has no such flag, a directory named "setup.dat.new"
    stands where the board's save creates its temporary file. Returns how, and an undo."""
    locked = [os.path.join(directory, "setup.dat")] if os.path.exists(
        os.path.join(directory, "setup.dat")) else []
    locked.append(directory)
    done = subprocess.run(["chattr", "+i", *locked], stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL).returncode == 0
    if done:
        return "immutable", lambda: subprocess.run(["chattr", "-i", *locked], check=True)
    os.mkdir(os.path.join(directory, "setup.dat.new"))
    return "blocked", lambda: None


def write_is_denied(directory):
    try:
        with open(os.path.join(directory, "setup.dat.new"), "wb"):
            return False
    except OSError:
        return True


class ReadOnlyDirectory(BoardTest):
    def setUp(self):
        super().setUp()
        self.undo = []

    def tearDown(self):
        for undo in self.undo:  # before the working directory is removed
            undo()
        super().tearDown()

    def locked_dir(self, settings=None):
        directory = self.newdir()
        if settings is not None:
            with open(os.path.join(directory, "setup.dat"), "wb") as f:
                f.write(settings)
        how, undo = deny_writes(directory)
        self.undo.append(undo)
        self.assertTrue(write_is_denied(directory), "the directory still takes new files")
        return directory, how

    def test_dialog_changes_live_in_memory_and_the_file_stays_as_it_was(self):
        directory, how = self.locked_dir(DEFAULT_BYTES)
        listing = sorted(os.listdir(directory))
        stat = os.stat(os.path.join(directory, "setup.dat"))
        board = self.board(workdir=directory)
        wait_screen(lambda s: s.region(*WHOLE) == {DEFAULT_BACK}, "the empty board")
        windows = visible_windows()
        dialog = board.open_dialog()
        board.fill_dialog(dialog, {"rows": "1", "columns": "3", "back_red": "44",
                                   "back_green": "0", "back_blue": "0"})
        board.close_dialog(dialog, "Return")
        time.sleep(0.3)
        self.assertEqual(visible_windows(), windows, "something was shown (%s)" % how)
        send("3", "4")
        grid = cells(1, 3)
        screen = wait_screen(lambda s: holds_text(s, grid[1], (44, 0, 0)), "the changed board")
        self.assertEqual(screen.read_digits(*grid[0], back=(44, 0, 0)), "3")
        self.assertEqual(board.settings_file(), DEFAULT_BYTES)
        self.assertEqual(os.stat(os.path.join(directory, "setup.dat")).st_mtime_ns, stat.st_mtime_ns)
        self.assertEqual(sorted(os.listdir(directory)), listing)
        self.assertTrue(board.alive())
        board.key("Escape")
        self.assertEqual(board.wait_exit(), 0)

    def test_without_a_file_the_defaults_hold_and_nothing_is_written(self):
        directory, how = self.locked_dir()
        listing = sorted(os.listdir(directory))
        board = self.board(workdir=directory)
        send("57")
        screen = wait_screen(lambda s: holds_text(s, cells(4, 2)[0]), "the number")
        self.assertEqual(screen.read_digits(*cells(4, 2)[0]), "57")
        self.assertEqual(sorted(os.listdir(directory)), listing, how)
        board.key("Escape")
        self.assertEqual(board.wait_exit(), 0)


class FileChangedBehindItsBack(BoardTest):
    def test_deleted_while_the_dialog_is_closed_gives_the_defaults_written_at_next_open(self):
        board = self.board(ONE_RED)
        wait_screen(lambda s: s.region(*WHOLE) == {ONE_RED_BACK}, "the red board")
        os.remove(os.path.join(self.workdir, "setup.dat"))
        dialog = board.open_dialog()
        # Written as the dialog opens, before the operator does anything.
        self.assertEqual(board.settings_file(), DEFAULT_BYTES)
        board.close_dialog(dialog, "Escape")
        send("77")
        screen = wait_screen(lambda s: holds_text(s, cells(4, 2)[0]), "the default board")
        self.assertEqual(screen.pixel(WIDTH - 1, HEIGHT - 1), DEFAULT_BACK)
        self.assertEqual(screen.read_digits(*cells(4, 2)[0]), "77")

    def test_changed_while_the_dialog_is_open(self):
        """OK writes what the dialog shows; cancel leaves the file as the other hand left it."""
        for change in ("replaced", "deleted"):
            for key in ("Return", "Escape"):
                with self.subTest(change=change, key=key):
                    board = self.board(workdir=self.newdir())
                    try:
                        self.change_while_open(board, change, key)
                    finally:
                        board.stop()

    def change_while_open(self, board, change, key):
        path = os.path.join(board.workdir, "setup.dat")
        wait_until(lambda: board.settings_file() == DEFAULT_BYTES, what="setup.dat")
        dialog = board.open_dialog()
        board.fill_dialog(dialog, {"back_red": "99"})
        if change == "replaced":
            with open(path, "wb") as f:
                f.write(ONE_RED)
        else:
            os.remove(path)
        board.close_dialog(dialog, key)
        if key == "Return":
            expected = bytearray(DEFAULT_BYTES)
            expected[8:12] = struct.pack("<i", 99)
            self.assertEqual(board.settings_file(), bytes(expected))
        else:
            time.sleep(0.3)
            self.assertEqual(board.settings_file(), ONE_RED if change == "replaced" else None)
        # The board goes by what the dialog loaded and stored, not by the file.
        send("5")
        back = (99, 50, 150) if key == "Return" else DEFAULT_BACK
        wait_screen(lambda s: holds_text(s, cells(4, 2)[0]) and s.pixel(WIDTH - 1, HEIGHT - 1) == back,
                    "the number on the dialog's background")
        board.key("Escape")
        self.assertEqual(board.wait_exit(), 0)


class FileSavedThroughLinks(BoardTest):
    """The save neither follows a link standing at its temporary name nor breaks a link that
    "setup.dat" is."""

    def setUp(self):
        super().setUp()
        self.elsewhere = tempfile.mkdtemp(prefix="pelivor-e2e-elsewhere-")

    def tearDown(self):
        super().tearDown()
        shutil.rmtree(self.elsewhere, ignore_errors=True)

    def save_back_red(self, board, value):
        wait_until(lambda: board.settings_file() is not None, what="setup.dat")
        dialog = board.open_dialog()
        board.fill_dialog(dialog, {"back_red": value})
        board.close_dialog(dialog, "Return")
        expected = bytearray(DEFAULT_BYTES)
        expected[8:12] = struct.pack("<i", int(value))
        return bytes(expected)

    def test_a_link_at_the_temporary_name_is_never_followed(self):
        precious = os.path.join(self.elsewhere, "precious")
        with open(precious, "wb") as f:
            f.write(b"keep")
        os.symlink(precious, os.path.join(self.workdir, "setup.dat.new"))
        board = self.board(DEFAULT_BYTES)
        expected = self.save_back_red(board, "99")
        self.assertEqual(board.settings_file(), expected)
        self.assertFalse(os.path.islink(os.path.join(self.workdir, "setup.dat")))
        with open(precious, "rb") as f:
            self.assertEqual(f.read(), b"keep")

    def linked_file(self):
        real = os.path.join(self.elsewhere, "real.dat")
        with open(real, "wb") as f:
            f.write(DEFAULT_BYTES)
        link = os.path.join(self.workdir, "setup.dat")
        os.symlink(real, link)
        return real, link

    @linux_only
    def test_a_linked_file_is_written_through(self):
        real, link = self.linked_file()
        before = os.stat(real).st_ino
        board = self.board()
        expected = self.save_back_red(board, "77")
        self.assertTrue(os.path.islink(link))
        with open(real, "rb") as f:
            self.assertEqual(f.read(), expected)
        self.assertNotEqual(os.stat(real).st_ino, before, "replaced whole, not written in place")

    @win32_only
    def test_a_link_is_replaced_by_a_plain_file(self):
        """The installed board's folder is every user's: a link there is not the operator's."""
        real, link = self.linked_file()
        board = self.board()
        expected = self.save_back_red(board, "77")
        self.assertFalse(os.path.islink(link))
        self.assertEqual(board.settings_file(), expected)
        with open(real, "rb") as f:
            self.assertEqual(f.read(), DEFAULT_BYTES)


class NotAFile(BoardTest):
    def test_a_fifo_gives_the_defaults_and_stays_a_fifo(self):
        fifo = os.path.join(self.workdir, "setup.dat")
        os.mkfifo(fifo)
        board = self.board()
        wait_screen(lambda s: s.region(*WHOLE) == {DEFAULT_BACK}, "the empty board")
        send("12")
        wait_screen(lambda s: holds_text(s, cells(4, 2)[0]), "the number in the defaults' grid")
        self.assertTrue(stat.S_ISFIFO(os.lstat(fifo).st_mode))
        self.assertEqual(os.listdir(self.workdir), ["setup.dat"])
        board.key("Escape")
        self.assertEqual(board.wait_exit(), 0)


class PortTaken(BoardTest):
    def test_port_3001_held_by_another_program(self):
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as squatter:
            squatter.bind(("0.0.0.0", 3001))
            squatter.settimeout(5)
            board = self.board()
            wait_screen(lambda s: s.region(*WHOLE) == {DEFAULT_BACK}, "the empty board")
            send("11")
            self.assertEqual(squatter.recvfrom(64)[0], b"11")
            time.sleep(0.5)
            self.assertEqual(Screen.capture().region(*WHOLE), {DEFAULT_BACK})
            self.assertTrue(board.alive())
            board.key("Escape")
            self.assertEqual(board.wait_exit(), 0)


if __name__ == "__main__":
    unittest.main()
