"""What only the Linux board has: the pointer hidden over the full-screen board, and the digits-only
filter on the GTK entries of its dialog."""
import struct
import unittest

from harness import BoardTest, DEFAULT_BYTES, linux_only, run, settings_bytes, wait_until
from test_board import pointer_visible, wait_screen


def pointer_visible_over(x, y):
    run("xdotool", "mousemove", str(x), str(y))
    # The cursor changes as the pointer enters the board: the callers poll until it settles.
    return pointer_visible()


@linux_only
class Kiosk(BoardTest):
    def test_the_pointer_is_hidden_over_the_full_screen_board_only(self):
        back = (10, 20, 30)
        board = self.board(settings_bytes(4, 2, *back, 240, 240, 240, 0))
        wait_screen(lambda s: s.pixel(480, 5) == back, "the full-screen board")
        run("xdotool", "mousemove", "300", "200")
        wait_until(lambda: not pointer_visible_over(301, 200), what="a hidden pointer")
        board.key("Escape")
        self.assertEqual(board.wait_exit(), 0)

        # The framed window is an ordinary desktop window: the pointer shows over it.
        self.board(settings_bytes(4, 2, *back, 240, 240, 240, 1), workdir=self.newdir())
        wait_screen(lambda s: s.pixel(480, 530) == back, "the framed board")
        wait_until(lambda: pointer_visible_over(300, 300), what="a visible pointer")


@linux_only
class DialogWidgets(BoardTest):
    def test_the_entries_take_digits_only(self):
        board = self.board()
        wait_until(lambda: board.settings_file() == DEFAULT_BYTES, what="default setup.dat")
        dialog = board.open_dialog()
        board.key("Tab", "Tab", "Tab", window=dialog)  # the check box, rows, then columns
        board.type("a3b-x", dialog)
        board.key("Tab", window=dialog)
        board.type("1e2", dialog)
        board.close_dialog(dialog, "Return")
        stored = struct.unpack("<9i", board.settings_file())
        self.assertEqual(stored[1:4], (3, 12, 50))


if __name__ == "__main__":
    unittest.main()
