"""The Linux board next to the Windows program under Wine, measured the same way on the same
machine: start-up to the first paint, CPU while idle, resident memory, and the two pictures of the
same settings and numbers compared cell by cell (digits read back by OCR, colours, ink overlap).

    measure:  PELIVOR_BOARD=linux|win32 PELIVOR_SESSION=<dir> PELIVOR_BUILD=<dir> \\
                  python3 bench/board_compare.py measure OUT.json
    compare:  python3 bench/board_compare.py compare linux.json win32.json
scripts/compare-boards runs both sessions, both boards and the comparison.
"""
import json
import os
import struct
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import harness  # noqa: E402

NUMBERS = ["11", "22", "307", "4", "#55", "6789", "123456789", "0"]
SHOWN = ["11", "22", "307", "4", "55", "6789", "123456789", "0"]
BACK, TEXT = (0, 50, 150), (240, 240, 240)
TICKS = os.sysconf("SC_CLK_TCK")
WIDTH, HEIGHT = 960, 540


def root_pixels(points):
    """Pixels of the root window straight from an xwd dump (no image converter in the loop)."""
    done = harness.run("xwd", "-silent", "-root", check=False)
    if done.returncode != 0:  # seen now and then while a window maps: look again
        return None
    xwd = done.stdout
    header = struct.unpack(">25I", xwd[:100])
    header_size, bytes_per_line, ncolors = header[0], header[12], header[19]
    start = header_size + 12 * ncolors
    colours = []
    for x, y in points:
        value = struct.unpack_from("<I", xwd, start + y * bytes_per_line + 4 * x)[0]
        colours.append(((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF))
    return colours


def cpu_ticks(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])  # utime + stime


def wineserver_pid():
    found = harness.run("pgrep", "-x", "wineserver", check=False).stdout.split()
    for pid in map(int, found):
        try:
            with open("/proc/%d/environ" % pid, "rb") as f:
                if ("WINEPREFIX=%s" % harness.ENV["WINEPREFIX"]).encode() in f.read().split(b"\0"):
                    return pid
        except OSError:
            continue
    return None


def start_to_first_paint(runs=5):
    times = []
    for i in range(runs):
        back = (10 + 20 * i, 60, 120)
        workdir = tempfile.mkdtemp(prefix="pelivor-cmp-")
        with open(os.path.join(workdir, "setup.dat"), "wb") as f:
            f.write(harness.settings_bytes(4, 2, *back, 240, 240, 240, 0))
        board = harness.Board(workdir)
        points = [(WIDTH // 2, HEIGHT // 2), (5, 5), (WIDTH - 5, HEIGHT - 5)]
        started = time.monotonic()
        board.process = subprocess.Popen(harness.LAUNCH + [harness.EXE], cwd=workdir,
                                         env=harness.ENV, stdin=subprocess.DEVNULL,
                                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        harness.wait_until(lambda: (root_pixels(points) or [None]) == [back] * len(points),
                           step=0.005, what="the first paint")
        times.append(time.monotonic() - started)
        board.window = harness.wait_until(lambda: harness.find_windows("Pelivor"),
                                          what="the window")[0]
        board.stop()
    return times


def measure(out, idle_seconds=20):
    result = {"board": harness.BOARD, "start_to_first_paint_s": start_to_first_paint()}
    workdir = tempfile.mkdtemp(prefix="pelivor-cmp-")
    board = harness.Board(workdir).start()
    harness.send(*NUMBERS)
    last = (WIDTH // 2, 3 * HEIGHT // 4, WIDTH, HEIGHT)
    harness.wait_until(lambda: harness.Screen.capture().count(TEXT, *last) > 50, what="the numbers")
    time.sleep(0.5)
    screen = harness.Screen.capture()
    result["screen"] = os.path.join(os.path.dirname(out), "%s.rgb" % harness.BOARD)
    with open(result["screen"], "wb") as f:
        f.write(screen.data)
    pid = board.pid()
    server = wineserver_pid() if not harness.LINUX else None
    before = cpu_ticks(pid), cpu_ticks(server) if server else 0
    time.sleep(idle_seconds)
    after = cpu_ticks(pid), cpu_ticks(server) if server else 0
    result["idle_cpu_percent"] = 100.0 * (after[0] - before[0]) / TICKS / idle_seconds
    result["idle_wineserver_cpu_percent"] = (
        100.0 * (after[1] - before[1]) / TICKS / idle_seconds if server else None)
    with open("/proc/%d/status" % pid) as f:
        result["rss_kb"] = next(int(line.split()[1]) for line in f if line.startswith("VmRSS:"))
    board.stop()
    with open(out, "w") as f:
        json.dump(result, f, indent=1)


def ink(screen, cell):
    x0, y0, x1, y1 = cell
    back = bytes(BACK)
    return {(x, y) for y in range(y0, y1) for x in range(x0, x1)
            if screen.data[3 * (y * screen.width + x):3 * (y * screen.width + x) + 3] != back}


def compare(linux_json, win32_json):
    boards = []
    for path in (linux_json, win32_json):
        with open(path) as f:
            result = json.load(f)
        with open(result["screen"], "rb") as f:
            result["screen"] = harness.Screen(f.read(), WIDTH, HEIGHT)
        boards.append(result)
    linux, win32 = boards
    ch, cw = HEIGHT // 4, WIDTH // 2
    cells = [(c * cw, r * ch, (c + 1) * cw, (r + 1) * ch) for c in range(2) for r in range(4)]
    rows = []
    for cell, expected in zip(cells, SHOWN):
        read = [b["screen"].read_digits(*cell) for b in boards]
        masks = [ink(b["screen"], cell) for b in boards]
        union = masks[0] | masks[1]
        bbox = []
        for mask in masks:
            xs, ys = [p[0] for p in mask], [p[1] for p in mask]
            bbox.append((min(xs) - cell[0], min(ys) - cell[1], max(xs) - cell[0] + 1,
                         max(ys) - cell[1] + 1) if mask else None)
        rows.append({"expected": expected, "ocr_linux": read[0], "ocr_win32": read[1],
                     "ink_iou": len(masks[0] & masks[1]) / len(union) if union else 1.0,
                     "ink_bbox_linux": bbox[0], "ink_bbox_win32": bbox[1],
                     "text_pixels": [b["screen"].count(TEXT, *cell) for b in boards]})
    whole = (0, 0, WIDTH, HEIGHT)
    colours = [b["screen"].region(*whole) for b in boards]
    summary = {
        "start_to_first_paint_s": {b["board"]: b["start_to_first_paint_s"] for b in boards},
        "idle_cpu_percent": {b["board"]: b["idle_cpu_percent"] for b in boards},
        "idle_wineserver_cpu_percent": win32["idle_wineserver_cpu_percent"],
        "rss_kb": {b["board"]: b["rss_kb"] for b in boards},
        "ocr_agreement": sum(r["ocr_linux"] == r["ocr_win32"] for r in rows),
        "ocr_right": {"linux": sum(r["ocr_linux"] == r["expected"] for r in rows),
                      "win32": sum(r["ocr_win32"] == r["expected"] for r in rows)},
        "background_pixels": [b["screen"].count(BACK, *whole) for b in boards],
        "colours_in_picture": [len(c) for c in colours],
        "both_have_exact_back_and_text": [BACK in c and TEXT in c for c in colours],
        "cells": rows,
    }
    json.dump(summary, sys.stdout, indent=1)
    print()


if __name__ == "__main__":
    if sys.argv[1] == "measure":
        measure(sys.argv[2])
    else:
        compare(sys.argv[2], sys.argv[3])
