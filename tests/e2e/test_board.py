"""A real board (the Windows program under Wine, or the Linux board): start-up, numbers arriving
over UDP, keys, hand-made settings and a second copy, all read back from the screen."""
import os
import time
import unittest

from harness import (BoardTest, DEFAULT_BACK, DEFAULT_BYTES, DEFAULT_TEXT, Screen, find_windows,
                     send, send_raw, settings_bytes, wait_until)

WIDTH, HEIGHT = 960, 540


def cells(rows, columns, width=WIDTH, height=HEIGHT):
    """Cell rectangles in slot order: down the first column, then the next."""
    ch, cw = height // rows, width // columns
    return [(c * cw, r * ch, (c + 1) * cw, (r + 1) * ch) for c in range(columns) for r in range(rows)]


def holds_text(screen, cell, back=DEFAULT_BACK, text=DEFAULT_TEXT):
    return screen.count(text, *cell) > 50


def is_background(screen, cell, back=DEFAULT_BACK):
    return screen.region(*cell) == {back}


def wait_screen(predicate, what, timeout=10.0):
    return wait_until(lambda: (lambda s: s if predicate(s) else None)(Screen.capture()),
                      timeout=timeout, step=0.1, what=what)


class StartUp(BoardTest):
    def test_without_a_settings_file_the_defaults_are_written_and_fill_the_screen(self):
        board = self.board()
        wait_until(lambda: board.settings_file() == DEFAULT_BYTES, what="default setup.dat")
        wait_screen(lambda s: s.region(0, 0, WIDTH, HEIGHT) == {DEFAULT_BACK},
                    "the whole screen in the board's background colour")

    def test_escape_ends_the_program_with_exit_code_0(self):
        board = self.board()
        board.key("Escape")
        self.assertEqual(board.wait_exit(), 0)
        self.assertEqual(find_windows("Pelivor"), [])

    def test_show_frame_gives_a_captioned_window(self):
        back = (10, 20, 30)
        self.board(settings_bytes(4, 2, *back, 240, 240, 240, 1))
        screen = wait_screen(lambda s: s.pixel(WIDTH // 2, HEIGHT - 10) == back, "the board")
        # The caption bar sits above the client area; the frameless board starts at y = 0.
        self.assertNotEqual(screen.pixel(WIDTH // 2, 2), back)
        self.assertNotEqual(screen.pixel(WIDTH // 2, 10), back)


class Numbers(BoardTest):
    def test_numbers_fill_the_grid_column_by_column(self):
        self.board()
        send("11", "22", "33", "44", "55")
        grid = cells(4, 2)
        screen = wait_screen(lambda s: holds_text(s, grid[4]), "the fifth number")
        for cell, expected in zip(grid, ["11", "22", "33", "44", "55"]):
            self.assertTrue(holds_text(screen, cell), cell)
            self.assertEqual(screen.read_digits(*cell), expected)
        for cell in grid[5:]:
            self.assertTrue(is_background(screen, cell), cell)

    def test_a_duplicate_of_the_newest_number_changes_nothing(self):
        self.board()
        send("5", "5", "6")
        grid = cells(4, 2)
        screen = wait_screen(lambda s: holds_text(s, grid[1]), "the second number")
        self.assertEqual(screen.read_digits(*grid[0]), "5")
        self.assertEqual(screen.read_digits(*grid[1]), "6")
        time.sleep(0.3)  # a wrongly accepted duplicate would have pushed '6' one cell down
        self.assertTrue(is_background(Screen.capture(), grid[2]))

    def test_a_leading_number_sign_is_not_drawn(self):
        self.board()
        send("42", "#42")
        grid = cells(4, 2)
        screen = wait_screen(lambda s: holds_text(s, grid[1]), "the second number")
        # '#42' is drawn as '42', pixel for pixel the same as the cell above it.
        self.assertEqual(screen.crop(*grid[0]), screen.crop(*grid[1]))
        self.assertEqual(screen.read_digits(*grid[1]), "42")

    def test_oversized_binary_and_empty_datagrams_do_not_stop_the_board(self):
        board = self.board()
        send_raw(b"7" * 2000)
        send_raw(b"\xff\x00\x80garbage")
        send_raw(b"")
        send_raw(b"9" * 1024)
        send("8")
        grid = cells(4, 2)
        screen = wait_screen(lambda s: holds_text(s, grid[0]), "the number after the junk")
        self.assertEqual(screen.read_digits(*grid[0]), "8")
        self.assertTrue(board.alive())


class Keys(BoardTest):
    def test_a_letter_opens_the_dialog_and_escape_there_closes_only_the_dialog(self):
        board = self.board()
        board.key("a")
        dialog = wait_until(lambda: find_windows("Parametry"), what="the dialog")[0]
        board.key("Escape", window=dialog)
        wait_until(lambda: not find_windows("Parametry"), what="the dialog to close")
        self.assertTrue(board.alive())
        self.assertTrue(find_windows("Pelivor"))

    def test_keys_without_a_dialog(self):
        board = self.board()
        board.key("alt+slash", "alt+question", "Left", "F5")
        # A paint comes only once the queue is empty, so once '3' shows the keys were handled.
        send("3")
        wait_screen(lambda s: holds_text(s, cells(4, 2)[0]), "the number")
        self.assertEqual(find_windows("Parametry"), [])
        self.assertTrue(board.alive())


class Robustness(BoardTest):
    def test_a_second_copy_stays_empty_while_the_first_goes_on(self):
        first = self.board()
        send("11")
        grid = cells(4, 2)
        wait_screen(lambda s: holds_text(s, grid[0]), "the first copy's number")
        second = self.board(workdir=self.newdir())
        wait_screen(lambda s: is_background(s, grid[0]), "the second copy's empty board")
        send("22")
        time.sleep(0.5)
        self.assertTrue(is_background(Screen.capture(), grid[0]), "the second copy showed a number")
        second.key("Escape")
        self.assertEqual(second.wait_exit(), 0)
        screen = wait_screen(lambda s: holds_text(s, grid[1]), "the first copy's new number")
        self.assertEqual(screen.read_digits(*grid[1]), "22")
        self.assertTrue(first.alive())

    def test_hand_made_grids_keep_the_program_running(self):
        for rows, columns in [(0, 2), (-3, 2), (1000, 1000), (2, 2147483647)]:
            with self.subTest(rows=rows, columns=columns):
                workdir = self.newdir()
                file = settings_bytes(rows, columns, 0, 50, 150, 240, 240, 240, 0)
                board = self.board(file, workdir=workdir)
                send("5", "6")
                send("7")
                time.sleep(0.5)
                self.assertTrue(board.alive())
                screen = Screen.capture()
                self.assertEqual(screen.region(0, 0, WIDTH, HEIGHT), {DEFAULT_BACK})
                self.assertEqual(board.settings_file(), file)
                board.key("Escape")
                self.assertEqual(board.wait_exit(), 0)


if __name__ == "__main__":
    unittest.main()
