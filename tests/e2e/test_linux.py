"""What only the Linux board has: the digits-only filter on the GTK entries of its dialog."""
import struct
import unittest

from harness import BoardTest, DEFAULT_BYTES, linux_only, wait_until


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
