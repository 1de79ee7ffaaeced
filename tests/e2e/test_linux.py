"""What only the Linux board has: the pointer hidden over the full-screen board, and the digits-only
filter on the GTK entries of its dialog."""
import ctypes
import ctypes.util
import struct
import unittest

from harness import BoardTest, DEFAULT_BYTES, linux_only, run, settings_bytes, wait_until
from test_board import wait_screen


class CursorImage(ctypes.Structure):
    _fields_ = [("x", ctypes.c_short), ("y", ctypes.c_short),
                ("width", ctypes.c_ushort), ("height", ctypes.c_ushort),
                ("xhot", ctypes.c_ushort), ("yhot", ctypes.c_ushort),
                ("cursor_serial", ctypes.c_ulong), ("pixels", ctypes.POINTER(ctypes.c_ulong)),
                ("atom", ctypes.c_ulong), ("name", ctypes.c_char_p)]


def visible_cursor_pixels(display_name):
    """Pixels of the pointer's current image that are not wholly transparent (XFixes)."""
    xlib = ctypes.CDLL(ctypes.util.find_library("X11"))
    xfixes = ctypes.CDLL(ctypes.util.find_library("Xfixes"))
    xlib.XOpenDisplay.restype = ctypes.c_void_p
    xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
    xlib.XCloseDisplay.argtypes = [ctypes.c_void_p]
    xlib.XFree.argtypes = [ctypes.c_void_p]
    xfixes.XFixesGetCursorImage.restype = ctypes.POINTER(CursorImage)
    xfixes.XFixesGetCursorImage.argtypes = [ctypes.c_void_p]
    display = xlib.XOpenDisplay(display_name.encode())
    if not display:
        raise AssertionError("cannot open display %s" % display_name)
    try:
        image = xfixes.XFixesGetCursorImage(display)
        if not image:
            raise AssertionError("no cursor image")
        size = image.contents.width * image.contents.height
        # ARGB in the low 32 bits of each long; alpha 0 draws nothing.
        seen = sum(1 for i in range(size) if (image.contents.pixels[i] >> 24) & 0xFF)
        xlib.XFree(image)
        return seen
    finally:
        xlib.XCloseDisplay(display)


def pointer_pixels_over(board, x, y):
    from harness import ENV
    run("xdotool", "mousemove", str(x), str(y))
    # The cursor changes as the pointer enters the board: poll until the image settles.
    return visible_cursor_pixels(ENV["DISPLAY"])


@linux_only
class Kiosk(BoardTest):
    def test_the_pointer_is_hidden_over_the_full_screen_board_only(self):
        back = (10, 20, 30)
        board = self.board(settings_bytes(4, 2, *back, 240, 240, 240, 0))
        wait_screen(lambda s: s.pixel(480, 5) == back, "the full-screen board")
        run("xdotool", "mousemove", "300", "200")
        wait_until(lambda: pointer_pixels_over(board, 301, 200) == 0, what="a hidden pointer")
        board.key("Escape")
        self.assertEqual(board.wait_exit(), 0)

        # The framed window is an ordinary desktop window: the pointer shows over it.
        framed = self.board(settings_bytes(4, 2, *back, 240, 240, 240, 1), workdir=self.newdir())
        wait_screen(lambda s: s.pixel(480, 530) == back, "the framed board")
        wait_until(lambda: pointer_pixels_over(framed, 300, 300) > 0, what="a visible pointer")


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
