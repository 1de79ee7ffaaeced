"""The extensions on the real board, switched on by the tail of "setup.dat" or by the F2 dialog:
numbers that leave after their time, the highlighted newest cell, commands from a till, the
chime, and numbers fitted to their cells. Everything is read back from files and the screen."""
import os
import struct
import time
import unittest

from harness import (BoardTest, CHIME_LOG_EXE, DEFAULT_BACK, DEFAULT_BYTES, DEFAULT_TEXT, LAUNCH,
                     SENDER, Screen, find_windows, run, send, send_raw, settings_bytes, tail_bytes,
                     wait_until, web_tail_bytes)
from test_board import cells, holds_text, is_background, wait_screen

SERVICE = "Obsluga zam.*wien"  # the title holds an accented letter; match around it


def with_tail(rows=4, columns=2, **fields):
    return settings_bytes(rows, columns, *DEFAULT_BACK, *DEFAULT_TEXT, 0) + tail_bytes(**fields)


def highlighted(screen, cell):
    """A cell filled with the text colour: most of its pixels are."""
    x0, y0, x1, y1 = cell
    return screen.count(DEFAULT_TEXT, *cell) > (x1 - x0) * (y1 - y0) // 2


class Expiry(BoardTest):
    def test_a_number_leaves_after_its_time_and_the_rest_close_up(self):
        self.board(with_tail(expire_seconds=2))
        grid = cells(4, 2)
        sent_at = time.monotonic()  # before the send: the board takes it after this
        send("11")
        wait_screen(lambda s: holds_text(s, grid[0]), "the first number")
        time.sleep(1.0)
        send("22")
        wait_screen(lambda s: holds_text(s, grid[1]), "the second number")
        # '11' goes at about 2 s, and '22' closes up into the first cell.
        screen = wait_screen(lambda s: not holds_text(s, grid[1]), "the first number to leave",
                             timeout=6)
        gone_after = time.monotonic() - sent_at
        self.assertGreater(gone_after, 2.0)
        self.assertLess(gone_after, 5.0)  # the sender's start under Wine, a screenshot's lag
        self.assertEqual(screen.read_digits(*grid[0]), "22")
        wait_screen(lambda s: is_background(s, grid[0]), "the second number to leave", timeout=4)

    def test_without_the_tail_numbers_stay(self):
        board = self.board()
        send("11")
        grid = cells(4, 2)
        wait_screen(lambda s: holds_text(s, grid[0]), "the number")
        time.sleep(2.5)
        self.assertTrue(holds_text(Screen.capture(), grid[0]))
        self.assertEqual(board.settings_file(), DEFAULT_BYTES)


class Highlight(BoardTest):
    def test_the_newest_cell_swaps_its_colours_for_its_time(self):
        self.board(with_tail(highlight_seconds=3))
        grid = cells(4, 2)
        send("11", "22")
        screen = wait_screen(lambda s: highlighted(s, grid[1]), "the highlighted second cell")
        self.assertTrue(holds_text(screen, grid[0]))
        self.assertFalse(highlighted(screen, grid[0]))
        self.assertEqual(screen.read_digits(*grid[1], back=DEFAULT_TEXT), "22")
        screen = wait_screen(lambda s: not highlighted(s, grid[1]), "the highlight to end",
                             timeout=6)
        self.assertEqual(screen.read_digits(*grid[1]), "22")


class Commands(BoardTest):
    def test_with_commands_on_a_till_removes_and_clears(self):
        self.board(with_tail(commands=1))
        grid = cells(4, 2)
        send("11", "57", "#57", "33")
        wait_screen(lambda s: holds_text(s, grid[3]), "four numbers")
        send("--remove", "57")
        screen = wait_screen(lambda s: not holds_text(s, grid[3]), "'57' to leave")
        self.assertEqual([screen.read_digits(*c) for c in grid[:3]], ["11", "57", "33"])
        # A stray byte after the dash is no command, and the sender never makes one: both leave
        # "11" and "33" standing, as the read-back below shows.
        send_raw(b"- 33")
        refused = run(*LAUNCH, SENDER, "--remove", "11", "--", "--33", check=False)
        self.assertEqual(refused.returncode, 2)
        self.assertIn(b"not a number to remove: '--33'", refused.stderr)
        send_raw(b"-#57")
        screen = wait_screen(lambda s: not holds_text(s, grid[2]), "'#57' to leave")
        self.assertEqual([screen.read_digits(*c) for c in grid[:2]], ["11", "33"])
        send("--clear")
        wait_screen(lambda s: s.region(0, 0, 960, 540) == {DEFAULT_BACK}, "an empty board")

    def test_with_commands_off_a_dash_is_no_number_as_before(self):
        self.board()
        grid = cells(4, 2)
        send("11", "57")
        wait_screen(lambda s: holds_text(s, grid[1]), "two numbers")
        send_raw(b"-57")
        send_raw(b"-")
        send("33")
        screen = wait_screen(lambda s: holds_text(s, grid[2]), "the third number")
        self.assertEqual([screen.read_digits(*c) for c in grid[:3]], ["11", "57", "33"])


class ServiceDialog(BoardTest):
    def open(self, board):
        board.key("F2")
        return wait_until(lambda: find_windows(SERVICE), what="the second dialog")[0]

    def close(self, board, dialog, key):
        board.key(key, window=dialog)
        wait_until(lambda: not find_windows(SERVICE), what="the second dialog to close")

    def test_f2_round_trip_through_the_file(self):
        board = self.board()
        wait_until(lambda: board.settings_file() == DEFAULT_BYTES, what="default setup.dat")
        # OK with nothing switched on: still the 36 bytes.
        self.close(board, self.open(board), "Return")
        self.assertEqual(board.settings_file(), DEFAULT_BYTES)

        dialog = self.open(board)
        board.type("5", dialog)  # the minutes box has the focus, its text selected
        board.key("Tab", window=dialog)
        board.type("3", dialog)
        board.key("Tab", "Tab", "space", window=dialog)  # past the chime, onto commands
        self.close(board, dialog, "Return")
        self.assertEqual(board.settings_file(), DEFAULT_BYTES + tail_bytes(300, 3, 0, 1, 0))

        # Escape after editing stores nothing; the first dialog keeps the tail.
        dialog = self.open(board)
        board.type("7", dialog)
        self.close(board, dialog, "Escape")
        board.close_dialog(board.open_dialog(), "Return")
        self.assertEqual(board.settings_file(), DEFAULT_BYTES + tail_bytes(300, 3, 0, 1, 0))

        # What was stored is in effect at once: a command removes.
        grid = cells(4, 2)
        send("11", "22")
        wait_screen(lambda s: holds_text(s, grid[1]), "two numbers")
        send("--remove", "11")
        wait_screen(lambda s: not holds_text(s, grid[1]), "'11' to leave")
        # '22' is the newest and highlighted for its 3 s; then it reads plain in the first cell.
        screen = wait_screen(lambda s: not highlighted(s, grid[0]), "the highlight to end")
        self.assertEqual(screen.read_digits(*grid[0]), "22")


class Chime(BoardTest):
    @staticmethod
    def chimes(board):
        path = os.path.join(board.workdir, "chime.log")
        if not os.path.exists(path):
            return 0
        with open(path) as f:
            return len(f.read().split())

    def test_new_numbers_chime_at_most_once_a_second(self):
        board = self.board(with_tail(chime=1, commands=1), exe=CHIME_LOG_EXE)
        grid = cells(4, 2)
        send("1", "2", "3")
        wait_screen(lambda s: holds_text(s, grid[2]), "three numbers")
        self.assertEqual(self.chimes(board), 1)
        time.sleep(1.2)
        send("3")  # a duplicate
        send("--remove", "1")
        send_raw(b"x")  # the empty text
        wait_screen(lambda s: not holds_text(s, grid[2]), "the removal")
        time.sleep(0.3)
        self.assertEqual(self.chimes(board), 1)
        send("4")
        wait_until(lambda: self.chimes(board) == 2, what="the second chime")

    def test_without_the_tail_nothing_chimes(self):
        board = self.board(exe=CHIME_LOG_EXE)
        send("1", "2")
        wait_screen(lambda s: holds_text(s, cells(4, 2)[1]), "two numbers")
        time.sleep(0.3)
        self.assertEqual(self.chimes(board), 0)
        self.assertEqual(Voice.spoken(board), [])


def with_voice(**fields):
    return (settings_bytes(4, 2, *DEFAULT_BACK, *DEFAULT_TEXT, 0) +
            web_tail_bytes(web_port=0, voice=1, **fields))


class Voice(BoardTest):
    @staticmethod
    def spoken(board, stamped=False):
        """What the voice said, a list of clip names a phrase (after its tick count, if stamped)."""
        path = os.path.join(board.workdir, "voice.log")
        if not os.path.exists(path):
            return []
        with open(path) as f:
            lines = [line.split() for line in f.read().splitlines()]
        return [(int(words[0]), words[1:]) if stamped else words[1:] for words in lines]

    @staticmethod
    def drawn():
        """The window is shown, so the speaker is hooked up: a number sent before would be shown
        but not called."""
        wait_screen(lambda s: s.count(DEFAULT_BACK, 0, 0, s.width, s.height) > s.width * s.height // 2,
                    "the board")

    def test_numbers_are_called_after_the_chime_in_turn_at_most_three_waiting(self):
        board = self.board(with_voice(chime=1, commands=1), exe=CHIME_LOG_EXE)
        self.drawn()
        # One burst while the chime sounds: 57 waits behind it, then 1 and 2; 3 and 4 find three
        # waiting and are not called, and 2 goes before its turn.
        for datagram in (b"57", b"1", b"2", b"3", b"4", b"-2"):
            send_raw(datagram)
        called = lambda *numbers: [["zamowienie_numer", *n.split()] for n in numbers]
        wait_until(lambda: len(self.spoken(board)) >= 2, timeout=15, what="two phrases")
        time.sleep(4)  # time for two more, were they kept
        self.assertEqual(self.spoken(board), called("piecdziesiat siedem", "jeden"))
        with open(os.path.join(board.workdir, "chime.log")) as f:
            chimed = int(f.read().split()[0])
        self.assertLessEqual(chimed, self.spoken(board, stamped=True)[0][0])
        # A number already on show is not called again; a new one is.
        send_raw(b"1")
        send_raw(b"8")
        wait_until(lambda: len(self.spoken(board)) >= 3, timeout=10, what="the third phrase")
        time.sleep(1)
        self.assertEqual(self.spoken(board), called("piecdziesiat siedem", "jeden", "osiem"))

    def test_a_number_is_called_when_ready_not_while_prepared_and_again_when_overdue(self):
        board = self.board(with_voice(zones=1, overdue_seconds=2), exe=CHIME_LOG_EXE)
        self.drawn()
        send_raw(b"+2022")
        time.sleep(1)
        self.assertEqual(self.spoken(board), [])
        send_raw(b"2022")
        wait_until(lambda: len(self.spoken(board)) >= 2, timeout=10, what="the reminder")
        self.assertEqual(self.spoken(board),
                         [["zamowienie_numer", "dwa", "tysiace", "dwadziescia", "dwa"],
                          ["przypominamy", "zamowienie_numer", "dwa", "tysiace", "dwadziescia",
                           "dwa"]])
        self.assertFalse(os.path.exists(os.path.join(board.workdir, "chime.log")))


class Fit(BoardTest):
    def test_two_by_three_at_960_by_540_reads_back_cell_by_cell(self):
        self.board(with_tail(rows=2, columns=3, fit_text=1))
        numbers = ["101", "103", "105", "102", "1104", "106"]
        send(*numbers)
        grid = cells(2, 3)
        screen = wait_screen(lambda s: holds_text(s, grid[5]), "the sixth number")
        self.assertEqual([screen.read_digits(*c) for c in grid], numbers)
        # Every number inside its own cell: the ink of a cell ends before the next column.
        for c in grid:
            x0, y0, x1, y1 = c
            self.assertEqual(screen.count(DEFAULT_TEXT, x1 - 4, y0, x1, y1), 0, c)

    def test_neighbours_in_a_row_never_touch(self):
        # The widest number's height is fitted with a quarter of a digit to spare: between its
        # last digit and the next cell's first there are at least that many columns of
        # background, so the row does not read as one number.
        self.board(with_tail(rows=2, columns=3, fit_text=1))
        send("20104", "1", "42")
        grid = cells(2, 3)
        screen = wait_screen(lambda s: holds_text(s, grid[2]), "the third number")
        self.assertEqual(screen.read_digits(*grid[0]), "20104")
        self.assertEqual(screen.read_digits(*grid[2]), "42")
        x0, y0, x1, y1 = grid[0]
        inked = [x for x in range(x0, grid[2][2])
                 if screen.region(x, y0, x + 1, y1) != {DEFAULT_BACK}]
        left = [x for x in inked if x < x1]
        first_right = min(x for x in inked if x >= x1)
        # A digit's ink is narrower than the advance the margin is a quarter of.
        quarter_digit = (left[-1] - left[0] + 1) / len("20104") / 4
        self.assertGreaterEqual(first_right - left[-1] - 1, quarter_digit,
                                (left[0], left[-1], first_right))

if __name__ == "__main__":
    unittest.main()
