"""The settings dialog "Parametry" on the real board, driven by keys as an operator would."""
import struct
import time
import unittest

from harness import (BoardTest, DEFAULT_BYTES, DIALOG_FIELDS, Screen, find_windows, send,
                     wait_until)
from test_board import cells, holds_text, wait_screen


def fields(data):
    return dict(zip(DIALOG_FIELDS + ["show_frame"], struct.unpack("<9i", data)))


class Dialog(BoardTest):
    def test_ok_stores_the_reduced_entries_and_the_board_follows(self):
        board = self.board()
        wait_until(lambda: board.settings_file() == DEFAULT_BYTES, what="default setup.dat")
        dialog = board.open_dialog()
        board.fill_dialog(dialog, {"rows": "12", "columns": "25", "back_red": "300",
                                  "back_green": "256", "back_blue": "", "text_red": "7"})
        board.key("Return", window=dialog)
        wait_until(lambda: not find_windows("Parametry"), what="the dialog to close")
        stored = fields(wait_until(lambda: board.settings_file() != DEFAULT_BYTES and
                                   board.settings_file(), what="the new setup.dat"))
        self.assertEqual(stored, {"rows": 1, "columns": 3, "back_red": 44, "back_green": 0,
                                  "back_blue": 0, "text_red": 7, "text_green": 240,
                                  "text_blue": 240, "show_frame": 0})
        send("3", "4")  # one digit each: at this size a second would run on under the next cell
        grid = cells(1, 3)
        screen = wait_screen(lambda s: holds_text(s, grid[1], (44, 0, 0), (7, 240, 240)),
                             "the new grid and colours")
        self.assertEqual(screen.pixel(959, 539), (44, 0, 0))
        self.assertEqual(screen.read_digits(*grid[0], back=(44, 0, 0)), "3")
        self.assertEqual(screen.read_digits(*grid[1], back=(44, 0, 0)), "4")
        self.assertTrue(screen.region(*grid[2]) == {(44, 0, 0)})

    def test_cancel_after_editing_stores_nothing(self):
        board = self.board()
        wait_until(lambda: board.settings_file() == DEFAULT_BYTES, what="default setup.dat")
        dialog = board.open_dialog()
        board.fill_dialog(dialog, {"rows": "3", "back_red": "99"}, check=True)
        board.key("Escape", window=dialog)
        wait_until(lambda: not find_windows("Parametry"), what="the dialog to close")
        time.sleep(0.3)
        self.assertEqual(board.settings_file(), DEFAULT_BYTES)

    def test_a_grid_that_would_show_nothing_is_refused(self):
        board = self.board()
        wait_until(lambda: board.settings_file() == DEFAULT_BYTES, what="default setup.dat")
        dialog = board.open_dialog()
        board.fill_dialog(dialog, {"rows": "11"})
        board.key("Return", window=dialog)
        time.sleep(0.5)
        self.assertEqual(find_windows("Parametry"), [dialog])
        self.assertEqual(board.settings_file(), DEFAULT_BYTES)
        # The rows box has the focus with its text selected: typing replaces it.
        board.type("5", dialog)
        board.key("Return", window=dialog)
        wait_until(lambda: not find_windows("Parametry"), what="the dialog to close")
        self.assertEqual(fields(board.settings_file())["rows"], 5)

    def test_the_frame_choice_takes_effect_at_the_next_start(self):
        board = self.board()
        wait_until(lambda: board.settings_file() == DEFAULT_BYTES, what="default setup.dat")
        dialog = board.open_dialog()
        board.fill_dialog(dialog, {}, check=True)
        board.key("Return", window=dialog)
        wait_until(lambda: not find_windows("Parametry"), what="the dialog to close")
        self.assertEqual(fields(board.settings_file())["show_frame"], 1)
        board.key("Escape")
        self.assertEqual(board.wait_exit(), 0)

        self.board()
        screen = wait_screen(lambda s: s.pixel(480, 530) == (0, 50, 150), "the framed board")
        self.assertNotEqual(screen.pixel(480, 5), (0, 50, 150))

    def test_the_dialog_shows_what_the_file_holds(self):
        board = self.board()
        wait_until(lambda: board.settings_file() == DEFAULT_BYTES, what="default setup.dat")
        # Changed on disk behind the program's back: the dialog reloads it when it opens.
        with open(board.workdir + "/setup.dat", "wb") as f:
            f.write(struct.pack("<9i", 1, 1, 200, 0, 0, 255, 255, 0, 0))
        dialog = board.open_dialog()
        board.key("Escape", window=dialog)
        wait_until(lambda: not find_windows("Parametry"), what="the dialog to close")
        send("77")
        screen = wait_screen(lambda s: holds_text(s, (0, 0, 960, 540), (200, 0, 0), (255, 255, 0)),
                             "the file's grid and colours")
        self.assertEqual(screen.read_digits(0, 0, 960, 540, back=(200, 0, 0)), "77")


if __name__ == "__main__":
    unittest.main()
