"""The web side of the real board over plain HTTP: its pages, the API against what the window shows,
the event stream, the staff PIN, the PVX2 block of "setup.dat" and the F2 dialog switching it on and
off. Off, the board opens nothing but its UDP port."""
import http.client
import json
import socket
import struct
import threading
import unittest

from harness import (BoardTest, DEFAULT_BACK, DEFAULT_TEXT, find_windows, run, send,
                     settings_bytes, tail_bytes, wait_until)
from test_board import cells, holds_text, is_background, wait_screen

SERVICE = "Obsluga zam.*wien"


def web_settings(port, pin=0):
    """4 rows, 2 columns, the default colours, no extension on, and the web block."""
    return (settings_bytes(4, 2, *DEFAULT_BACK, *DEFAULT_TEXT, 0) + tail_bytes() + b"PVX2" +
            struct.pack("<2i", port, pin))


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def request(port, method, path, body=None, headers=None):
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
    try:
        connection.request(method, path, body=body, headers=headers or {})
        response = connection.getresponse()
        return response.status, dict(response.getheaders()), response.read()
    finally:
        connection.close()


def serving(port):
    try:
        return request(port, "GET", "/api/board")[0] == 200
    except OSError:
        return False


def listening():
    """The namespace's listening TCP ports and bound UDP ports, as ("tcp", port) pairs."""
    found = set()
    for proto, path, state in (("tcp", "/proc/net/tcp", "0A"), ("tcp", "/proc/net/tcp6", "0A"),
                               ("udp", "/proc/net/udp", None), ("udp", "/proc/net/udp6", None)):
        try:
            with open(path) as f:
                lines = f.readlines()[1:]
        except OSError:
            continue
        for line in lines:
            fields = line.split()
            if state is None or fields[3] == state:
                found.add((proto, int(fields[1].rsplit(":", 1)[1], 16)))
    return found


class Events:
    """An event-stream client reading on a thread of its own: every "data:" line, decoded."""

    def __init__(self, port):
        self.socket = socket.create_connection(("127.0.0.1", port), timeout=30)
        self.socket.sendall(b"GET /api/events HTTP/1.1\r\nHost: 127.0.0.1:%d\r\n\r\n" % port)
        self.events = []
        self.thread = threading.Thread(target=self.read, daemon=True)
        self.thread.start()

    def read(self):
        try:
            for line in self.socket.makefile("rb"):
                if line.startswith(b"data: "):
                    self.events.append(json.loads(line[len(b"data: "):]))
        except (OSError, ValueError):
            pass

    def wait_for(self, predicate, what):
        return wait_until(lambda: any(predicate(e) for e in list(self.events)), what=what)

    def close(self):
        self.socket.shutdown(socket.SHUT_RDWR)
        self.socket.close()
        self.thread.join(10)


class WebTest(BoardTest):
    def web_board(self, pin=0):
        self.port = free_port()
        board = self.board(web_settings(self.port, pin))
        wait_until(lambda: serving(self.port), what="the web side to serve")
        return board

    def api(self, method, path, body=None, pin=None, content_type="text/plain"):
        headers = {"Content-Type": content_type}
        if pin is not None:
            headers["Authorization"] = "Bearer %s" % pin
        return request(self.port, method, path, body, headers)

    def shown(self):
        return json.loads(self.api("GET", "/api/board")[2])["shown"]


class Off(BoardTest):
    def test_off_the_board_opens_nothing_but_udp_3001(self):
        before = listening()
        # The block present with port 0, then no block at all: the same.
        for settings in (web_settings(0), settings_bytes(4, 2, *DEFAULT_BACK, *DEFAULT_TEXT, 0)):
            board = self.board(settings)
            send("5")
            wait_screen(lambda s: holds_text(s, cells(4, 2)[0]), "the number")
            self.assertEqual(listening() - before, {("udp", 3001)})
            board.stop()
            self.boards.remove(board)


class Api(WebTest):
    def test_pages_carry_their_policy_and_the_api_is_never_cached(self):
        self.web_board()
        for path in ("/", "/staff"):
            status, headers, body = request(self.port, "GET", path)
            self.assertEqual(status, 200, path)
            self.assertTrue(headers["Content-Type"].startswith("text/html"), path)
            self.assertIn("default-src 'self'", headers["Content-Security-Policy"], path)
            self.assertEqual(headers["X-Content-Type-Options"], "nosniff", path)
            self.assertIn(b"<html", body.lower(), path)
        status, headers, _ = request(self.port, "GET", "/api/board")
        self.assertEqual((status, headers["Cache-Control"]), (200, "no-store"))
        self.assertEqual(request(self.port, "GET", "/nothing")[0], 404)

    def test_the_board_as_json_is_what_the_window_shows(self):
        self.web_board()
        send("11", "22", "#33")
        grid = cells(4, 2)
        screen = wait_screen(lambda s: holds_text(s, grid[2]), "three numbers")
        board = json.loads(self.api("GET", "/api/board")[2])
        self.assertEqual((board["rows"], board["columns"]), (4, 2))
        self.assertEqual((board["background"], board["text"]), ("#003296", "#f0f0f0"))
        self.assertEqual(board["numbers"], ["11", "22", "#33"])
        self.assertEqual(board["shown"], [screen.read_digits(*c) for c in grid[:3]])

    def test_numbers_put_up_and_taken_down_show_on_the_window_and_stream(self):
        self.web_board()
        events = Events(self.port)
        self.addCleanup(events.close)
        grid = cells(4, 2)
        self.assertEqual(self.api("POST", "/api/numbers", b"57")[0], 200)
        screen = wait_screen(lambda s: holds_text(s, grid[0]), "the posted number")
        self.assertEqual(screen.read_digits(*grid[0]), "57")
        events.wait_for(lambda e: e["shown"] == ["57"], "the stream to carry 57")
        self.assertEqual(self.api("POST", "/api/numbers", b'"58"', content_type="application/json")[0],
                         200)
        send("61")  # a datagram reaches the stream too
        events.wait_for(lambda e: e["shown"] == ["57", "58", "61"], "the datagram on the stream")
        wait_screen(lambda s: holds_text(s, grid[2]), "the datagram on the window")

        self.assertEqual(self.api("DELETE", "/api/numbers/58")[0], 200)
        screen = wait_screen(lambda s: not holds_text(s, grid[2]), "58 to leave")
        self.assertEqual([screen.read_digits(*c) for c in grid[:2]], ["57", "61"])
        self.assertEqual(self.api("DELETE", "/api/numbers")[0], 200)
        wait_screen(lambda s: is_background(s, grid[0]), "the board to clear")
        events.wait_for(lambda e: e["shown"] == [], "the stream to carry the clearing")

    def test_with_a_pin_changes_need_it_and_five_wrong_ones_lock_the_address_out(self):
        self.web_board(pin=4321)
        self.assertEqual(self.api("POST", "/api/numbers", b"7")[0], 401)
        self.assertEqual(self.api("POST", "/api/numbers", b"7", pin=4321)[0], 200)
        for _ in range(5):
            self.assertEqual(self.api("POST", "/api/numbers", b"8", pin=1111)[0], 401)
        self.assertEqual(self.api("POST", "/api/numbers", b"8", pin=1111)[0], 429)
        self.assertEqual(self.api("DELETE", "/api/numbers", pin=4321)[0], 429)
        self.assertEqual(self.shown(), ["7"])  # reading needs no PIN

    def test_locked_staff_access_refuses_every_change(self):
        self.web_board(pin=-1)
        for pin in (None, -1, 0, 99999999):
            self.assertEqual(self.api("POST", "/api/numbers", b"7", pin=pin)[0], 401, pin)
        self.assertEqual(self.shown(), [])


class Dialog(WebTest):
    def f2_port(self, board, port):
        """Types the port into the F2 dialog's box (the sixth tab stop) and presses OK; returns
        the dialog and its height before OK."""
        board.key("F2")
        dialog = wait_until(lambda: find_windows(SERVICE), what="the second dialog")[0]
        board.key(*["Tab"] * 5, window=dialog)
        board.type(str(port), dialog)
        height = self.height(dialog)
        board.key("Return", window=dialog)
        return dialog, height

    def height(self, window):
        """The window's height; 0 once it has gone."""
        shell = run("xdotool", "getwindowgeometry", "--shell", str(window), check=False)
        if shell.returncode != 0:
            return 0
        return int(dict(line.split("=") for line in shell.stdout.decode().split())["HEIGHT"])

    def closed(self):
        wait_until(lambda: not find_windows(SERVICE), what="the second dialog to close")

    def test_f2_switches_the_web_side_on_moves_it_and_off_without_a_restart(self):
        board = self.board()
        first, second = free_port(), free_port()
        self.f2_port(board, first)
        self.closed()
        wait_until(lambda: serving(first), what="the web side on")
        self.f2_port(board, second)
        self.closed()
        wait_until(lambda: serving(second) and not serving(first), what="the web side moved")
        self.f2_port(board, 0)
        self.closed()
        wait_until(lambda: not serving(second), what="the web side off")
        send("9")
        wait_screen(lambda s: holds_text(s, cells(4, 2)[0]), "a number after it all")

    def test_a_taken_port_leaves_the_board_running_and_the_dialog_says_so_once(self):
        taken = socket.socket()
        self.addCleanup(taken.close)
        taken.bind(("0.0.0.0", 0))
        taken.listen()
        port = taken.getsockname()[1]
        board = self.board(web_settings(port))
        send("5")
        wait_screen(lambda s: holds_text(s, cells(4, 2)[0]), "a number with the port taken")
        dialog, height = self.f2_port(board, port)
        # The dialog stays, grown by the line that says why.
        wait_until(lambda: self.height(dialog) > height, what="the dialog to say the port is taken")
        board.key("Return", window=dialog)  # said once: this OK closes it
        self.closed()
        send("6")
        screen = wait_screen(lambda s: holds_text(s, cells(4, 2)[1]), "a number afterwards")
        self.assertEqual(screen.read_digits(*cells(4, 2)[1]), "6")


if __name__ == "__main__":
    unittest.main()
