"""The real board flooded on loopback: distinct numbers as fast as Python can send them, mixed with
oversized, empty and binary datagrams. It must stay alive, show a number sent after the flood
as its newest, and end the flood with the memory it started with (within a bound).
PELIVOR_SOAK_SECONDS sets how long the flood lasts (default 3; for example 600 for a soak)."""
import os
import socket
import sys
import time
import unittest

from harness import LINUX, BoardTest, Screen, wait_until
from test_board import cells, holds_text, wait_screen

FLOOD_SECONDS = float(os.environ.get("PELIVOR_SOAK_SECONDS", "3"))
# The board's own data is fixed in size; what may grow is the toolkit's caches (Wine and GDI, or
# GTK and Pango), which settle after the first paints. Anything above this over the run counts as
# a leak.
RSS_GROWTH_LIMIT_KB = 4096
# GTK may hold a second pair of frame surfaces (4 bytes a pixel) while a paint overlaps the next
# one, and frees them after: room for that at the peak only, and on that board only.
PEAK_ALLOWANCE_KB = 2 * 960 * 540 * 4 // 1024 if LINUX else 0
KNOWN = "4242"  # shorter than every flood number, so it cannot be one of them
OVERSIZED = b"7" * 2000
BINARY = bytes(range(256))


def rss_kb(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    raise AssertionError("no VmRSS for process %d" % pid)


def queue_drops(port=3001):
    """Datagrams the kernel dropped because the board's socket queue was full."""
    with open("/proc/net/udp") as f:
        for line in f.readlines()[1:]:
            fields = line.split()
            if fields[1].endswith(":%04X" % port):
                return int(fields[-1])
    return 0


def flood(seconds, on_second):
    """Sends for the given time; every 100th datagram each of oversized, empty and binary.
    Calls on_second() about once a second. Returns the count of datagrams sent."""
    sent = 0
    number = 100000
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.setsockopt(socket.SOL_SOCKET, socket.SO_SNDBUF, 1 << 20)
        target = ("127.0.0.1", 3001)
        end = time.monotonic() + seconds
        next_tick = time.monotonic() + 1.0
        while time.monotonic() < end:
            for _ in range(100):
                s.sendto(str(number).encode(), target)
                number += 1
            for junk in (OVERSIZED, b"", BINARY):
                s.sendto(junk, target)
            sent += 103
            if time.monotonic() >= next_tick:
                on_second()
                next_tick += 1.0
    return sent


class Flood(BoardTest):
    def test_a_flood_of_mixed_datagrams_leaves_the_board_working(self):
        board = self.board()
        grid = cells(4, 2)
        last = grid[-1]
        # The first paints with text load what drawing needs; memory is measured from then on.
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
            for n in range(11, 19):
                s.sendto(str(n).encode(), ("127.0.0.1", 3001))
        wait_screen(lambda s: holds_text(s, last), "the warm-up numbers")
        # A short flood of the same kind first: every digit's glyphs are then cached and the
        # allocator has the blocks a flood uses, so what grows later is the board's own.
        flood(1.0, lambda: None)
        time.sleep(0.5)
        pid = board.pid()
        before = rss_kb(pid)
        samples = []

        def sample():
            samples.append(rss_kb(pid))
            self.assertTrue(board.alive(), "the board ended during the flood")

        drops = queue_drops()
        started = time.monotonic()
        sent = flood(FLOOD_SECONDS, sample)
        elapsed = time.monotonic() - started
        drops = queue_drops() - drops

        # Sent again every second until it shows: a flood can overrun the socket's queue, and
        # a repeat of the newest number is ignored by the board.
        resend = [0.0]

        def known_is_newest():
            if time.monotonic() - resend[0] > 1.0:
                with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
                    s.sendto(KNOWN.encode(), ("127.0.0.1", 3001))
                resend[0] = time.monotonic()
            screen = Screen.capture()
            return holds_text(screen, last) and screen.read_digits(*last) == KNOWN and screen

        screen = wait_until(known_is_newest, timeout=20, step=0.2, what="%s in the last cell" % KNOWN)
        # The board is full of flood numbers ahead of it.
        for cell in grid[:-1]:
            self.assertTrue(holds_text(screen, cell), cell)
        after = rss_kb(pid)
        peak = max(samples + [before, after])
        sys.stderr.write(
            "flood: %d datagrams in %.1f s (%.0f/s), %d of them dropped by the full socket queue; "
            "VmRSS before %d kB, peak %d kB, after %d kB\n"
            % (sent, elapsed, sent / elapsed, drops, before, peak, after))
        self.assertTrue(board.alive())
        self.assertLessEqual(after - before, RSS_GROWTH_LIMIT_KB)
        self.assertLessEqual(peak - before, RSS_GROWTH_LIMIT_KB + PEAK_ALLOWANCE_KB)
        board.key("Escape")
        self.assertEqual(board.wait_exit(), 0)


if __name__ == "__main__":
    unittest.main()
