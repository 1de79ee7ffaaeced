"""A real board (the Windows program under Wine, or the Linux board): start-up, numbers arriving
over UDP, keys, hand-made settings and a second copy, all read back from the screen."""
import ctypes
import os
import re
import subprocess
import time
import unittest

from harness import (BOARD, BUILD, CHIME_LOG_EXE, EXE, LAUNCH, SENDER, BoardTest, DEFAULT_BACK,
                     DEFAULT_BYTES, DEFAULT_TEXT, ENV, Screen, find_windows, pe_machine,
                     restart_session, run, send, send_raw, settings_bytes, wait_until, win32_only)

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


class _CursorImage(ctypes.Structure):
    _fields_ = [("x", ctypes.c_short), ("y", ctypes.c_short), ("width", ctypes.c_ushort),
                ("height", ctypes.c_ushort), ("xhot", ctypes.c_ushort), ("yhot", ctypes.c_ushort),
                ("serial", ctypes.c_ulong), ("pixels", ctypes.POINTER(ctypes.c_ulong))]


def pointer_visible():
    """Whether the X server draws any pixel of the pointer, as another client sees it (the XFixes
    cursor image: a hidden pointer is a fully transparent one)."""
    x11 = ctypes.CDLL("libX11.so.6")
    xfixes = ctypes.CDLL("libXfixes.so.3")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    x11.XFree.argtypes = [ctypes.c_void_p]
    xfixes.XFixesGetCursorImage.restype = ctypes.POINTER(_CursorImage)
    xfixes.XFixesGetCursorImage.argtypes = [ctypes.c_void_p]
    display = x11.XOpenDisplay(ENV["DISPLAY"].encode())
    if not display:
        raise AssertionError("cannot open display %s" % ENV["DISPLAY"])
    try:
        image = xfixes.XFixesGetCursorImage(display)
        cursor = image.contents
        visible = any(cursor.pixels[i] >> 24 for i in range(cursor.width * cursor.height))
        x11.XFree(image)
        return visible
    finally:
        x11.XCloseDisplay(display)


def move_pointer(x, y):
    run("xdotool", "mousemove", str(x), str(y))


class StartUp(BoardTest):
    def test_without_a_settings_file_the_defaults_are_written_and_fill_the_screen(self):
        board = self.board()
        wait_until(lambda: board.settings_file() == DEFAULT_BYTES, what="default setup.dat")
        wait_screen(lambda s: s.region(0, 0, WIDTH, HEIGHT) == {DEFAULT_BACK},
                    "the whole screen in the board's background colour")

    @win32_only
    def test_a_session_of_another_size_than_the_last_is_filled_at_once(self):
        # The prefix remembers the size of its last desktop; the new one is 800 x 600.
        size = "%sx%s" % (ENV["SCREEN_WIDTH"], ENV["SCREEN_HEIGHT"])
        self.addCleanup(restart_session, size)
        restart_session("800x600")
        self.board()
        wait_screen(lambda s: (s.width, s.height) == (800, 600) and
                    s.region(0, 0, 800, 600) == {DEFAULT_BACK},
                    "the whole 800 x 600 screen in the board's background colour")

    @win32_only
    def test_the_program_is_of_the_build_the_suite_was_given(self):
        # A 64-bit run that started the 32-bit program, or the other way round, would pass
        # everything here while testing the other build.
        for program in (EXE, SENDER, CHIME_LOG_EXE):
            self.assertEqual(pe_machine(program), BOARD, program)

    def test_help_and_version_are_answered_on_the_terminal_without_a_display(self):
        with open(os.path.join(BUILD, "generated", "pelivor_version.h")) as f:
            version = re.search(r'PELIVOR_VERSION_STRING "([^"]+)"', f.read()).group(1)
        env = {k: v for k, v in ENV.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        for argument, first_line in (("--version", "pelivor " + version),
                                     ("--help", "Usage: pelivor [--help | --version]")):
            with self.subTest(argument=argument):
                answered = subprocess.run(LAUNCH + [EXE, argument], cwd=self.workdir, env=env,
                                          stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                          stderr=subprocess.PIPE, timeout=60)
                self.assertEqual(answered.returncode, 0, answered.stderr.decode()[-1000:])
                self.assertEqual(answered.stdout.decode().partition("\n")[0], first_line)
        # Nothing of a board started: no settings written, no window.
        self.assertEqual(os.listdir(self.workdir), [])
        self.assertEqual(find_windows("Pelivor"), [])

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

    def test_any_frame_field_but_zero_gives_a_captioned_window(self):
        back = (10, 20, 30)
        for frame in (2, -1):
            with self.subTest(frame=frame):
                board = self.board(settings_bytes(4, 2, *back, 240, 240, 240, frame),
                                   workdir=self.newdir())
                screen = wait_screen(lambda s: s.pixel(WIDTH // 2, HEIGHT - 10) == back,
                                     "the board")
                self.assertNotEqual(screen.pixel(WIDTH // 2, 2), back)
                self.assertNotEqual(screen.pixel(WIDTH // 2, 10), back)
                board.key("Escape")
                self.assertEqual(board.wait_exit(), 0)

    @win32_only
    def test_command_105_ends_the_program_with_exit_code_0(self):
        board = self.board()
        board.window_tool("command", "105")
        self.assertEqual(board.wait_exit(), 0)
        self.assertEqual(find_windows("Pelivor"), [])

    @win32_only
    def test_a_resized_framed_window_redraws_with_cells_and_font_fitted_to_it(self):
        back = (10, 20, 30)
        board = self.board(settings_bytes(4, 2, *back, 240, 240, 240, 1))
        send("57")
        wait_screen(lambda s: holds_text(s, (0, 0, WIDTH // 2, HEIGHT // 3), back), "the number")
        x, y, width, height = map(int, board.window_tool("resize", "480", "272").split())
        self.assertEqual((width, height), (480, 272))
        # Cells of 240 x 68 from the client area's corner; nothing of the old, larger text stays
        # below the first cell or beyond the client area.
        grid = [(x + x0, y + y0, x + x1, y + y1) for x0, y0, x1, y1 in cells(4, 2, 480, 272)]
        screen = wait_screen(lambda s: holds_text(s, grid[0], back) and
                             all(s.region(*cell) == {back} for cell in grid[1:]),
                             "the number in the first of the smaller cells")
        self.assertEqual(screen.read_digits(*grid[0], back=back), "57")
        self.assertTrue(board.alive())


class Pointer(BoardTest):
    IDLE = 3.0  # the board's stillness before it hides the pointer

    def test_a_frameless_board_hides_a_still_pointer_and_shows_it_on_movement(self):
        self.board()
        move_pointer(200, 200)
        wait_until(pointer_visible, timeout=2, what="the pointer over a fresh board")
        wait_until(lambda: not pointer_visible(), timeout=3 * self.IDLE,
                   what="a still pointer to be hidden")
        move_pointer(210, 205)
        wait_until(pointer_visible, timeout=2, what="the pointer back after a movement")
        wait_until(lambda: not pointer_visible(), timeout=3 * self.IDLE,
                   what="the pointer to be hidden again")

    def test_a_framed_board_keeps_its_pointer(self):
        back = (10, 20, 30)
        self.board(settings_bytes(4, 2, *back, 240, 240, 240, 1))
        wait_screen(lambda s: s.pixel(WIDTH // 2, HEIGHT - 10) == back, "the board")
        move_pointer(WIDTH // 2, HEIGHT // 2)
        time.sleep(self.IDLE + 1.5)
        self.assertTrue(pointer_visible())


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

    def test_space_enter_and_a_digit_open_the_dialog_as_a_letter_does(self):
        board = self.board()
        for key in ("space", "Return", "5"):
            with self.subTest(key=key):
                board.key(key)
                dialog = wait_until(lambda: find_windows("Parametry"), what="the dialog")[0]
                board.key("Escape", window=dialog)
                wait_until(lambda: not find_windows("Parametry"), what="the dialog to close")
        self.assertTrue(board.alive())

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
