#!/usr/bin/env python3
"""Writes the committed seed inputs of the fuzz targets into fuzz/corpus/<target>/: the cases
the board's tests care about, in each target's input layout, for the fuzzer to start from."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
GRID_CHANGE = 0xFF
COMMANDS_TOGGLE = 0xFE


def grid(rows, columns):
    """The grid byte of datagram_fuzz: rows 1 + g % 100, columns 1 + g // 100."""
    g = (rows - 1) + 100 * (columns - 1)
    assert 0 <= g < GRID_CHANGE and 1 + g % 100 == rows and 1 + g // 100 == columns
    return bytes([g])


def datagrams(*payloads):
    out = b""
    for p in payloads:
        if p == ("commands",):  # switched on, or off again
            out += bytes([COMMANDS_TOGGLE])
        elif isinstance(p, tuple):  # ("grid", rows, columns)
            out += bytes([GRID_CHANGE]) + grid(p[1], p[2])
        else:
            assert len(p) < COMMANDS_TOGGLE
            out += bytes([len(p)]) + p
    return out


def settings(*fields, window=None):
    data = struct.pack("<9i", *fields)
    if window:
        data += struct.pack("<2i", *window)
    return data


DEFAULTS = (4, 2, 0, 50, 150, 240, 240, 240, 0)

WEB_METHODS = ["GET", "POST", "DELETE", "PUT"]


def web(method, pin, target, authorization=b"", content_type=b"", body=b""):
    """The input of web_api_fuzz: method index, PIN, then NUL-separated fields."""
    return (bytes([WEB_METHODS.index(method)]) + struct.pack("<I", pin) + target + b"\0" +
            authorization + b"\0" + content_type + b"\0" + body)


SEEDS = {
    "datagram_fuzz": {
        "four-by-two-sequence": grid(4, 2) + datagrams(
            b"12", b"13", b"13", b"#13", b"7x9", b"x7", b"14", b"13\r\n", b"14 "),
        "full-two-by-two": grid(2, 2) + datagrams(b"1", b"2", b"3", b"4", b"5", b"4", b"", b"x"),
        "one-slot": grid(1, 1) + datagrams(b"5", b"5", b"6", b"#", b"123456789", b"1234567890"),
        "hundred-slots-and-grid-changes": grid(100, 1) + datagrams(
            *[str(i).encode() for i in range(105)], b"x", ("grid", 25, 2), b"x", b"7",
            ("grid", 100, 1), b"8", ("grid", 3, 1), b"", ("grid", 50, 3), b"9"),
        "junk": grid(1, 3) + datagrams(
            b"\x80\xff1", b"\x001", b"1\x00" + b"2", b"#" * 9, b"#" * 10, bytes(range(253)),
            b"9" * 253, b"1#2", b"\xb9\xb2"),
        "commands-on-and-off": grid(2, 2) + datagrams(
            ("commands",), b"57", b"#57", b"571", b"57", b"-57\r\n", b"-5", b"-#57", b"-", b"-\r\n",
            b"1", b"-1234567890", b"-x", b"2", ("grid", 1, 1), b"-2", ("commands",), b"3", b"-3",
            b"-"),
        "commands-stray-bytes-after-the-dash": grid(2, 2) + datagrams(
            ("commands",), b"57", b"58", b"--57", b"- 57", b"-\xef\xbb\xbf57", b"-\x00", b"-\r\n57",
            b"-58 x", b"- \t\r\n", b"-"),
    },
    "web_api_fuzz": {
        "page": web("GET", 0, b"/?tv=1"),
        "put-plain": web("POST", 0, b"/api/numbers", content_type=b"text/plain", body=b"57\r\n"),
        "put-json-escapes": web("POST", 1234, b"/api/numbers", b"Bearer 1234",
                                b"application/json; charset=utf-8", b' "\\u0023\\u00357" '),
        "put-wrong-pin": web("POST", 99999999, b"/api/numbers", b"Bearer 9999999", b"", b"57"),
        "remove-encoded": web("DELETE", 7, b"/api/numbers/%2357", b"bearer 0007"),
        "clear": web("DELETE", 0, b"/api/numbers"),
        "wrong-method": web("PUT", 0, b"/api/numbers/57"),
    },
    "settings_file_fuzz": {
        "defaults": settings(*DEFAULTS),
        "defaults-960x540": settings(*DEFAULTS, window=(960, 540)),
        "empty": b"",
        "short-35": settings(*DEFAULTS)[:35],
        "long-40": settings(*DEFAULTS) + b"\xab\xcd\xef\x01",
        "zero-rows": settings(0, 2, *DEFAULTS[2:]),
        "negative-rows": settings(-3, 2, *DEFAULTS[2:]),
        "thousand-by-thousand": settings(1000, 1000, *DEFAULTS[2:]),
        "two-by-int-max": settings(2, 2**31 - 1, *DEFAULTS[2:]),
        "int-min-grid": settings(-2**31, -2**31, *DEFAULTS[2:], window=(-1, -1)),
        "ten-by-ten-odd-colours": settings(10, 10, 356, -1, 2**31 - 1, -2**31, 256, 511, 7),
        "one-by-one-tiny-window": settings(1, 1, *DEFAULTS[2:], window=(1, 1)),
        "ten-rows-huge-window": settings(10, 3, *DEFAULTS[2:], window=(2**31 - 1, 990)),
        "tail-all-on": settings(*DEFAULTS) + b"PVX1" + struct.pack("<5i", 120, 5, 1, 1, 1),
        "tail-out-of-bounds-and-kept-bytes": settings(*DEFAULTS) + b"PVX1" + struct.pack(
            "<5i", -1, 2**31 - 1, -2**31, 7, 0) + b"\x00kept\xff",
        "tail-cut-short": (settings(*DEFAULTS) + b"PVX1" + struct.pack("<5i", 1, 1, 1, 1, 1))[:59],
        "web-port-and-pin-and-kept-bytes": settings(*DEFAULTS) + b"PVX1" + struct.pack(
            "<5i", 0, 0, 0, 0, 0) + b"PVX2" + struct.pack("<2i", 8080, 1234) + b"kept",
        "web-out-of-bounds": settings(*DEFAULTS) + b"PVX1" + struct.pack(
            "<5i", 1, 1, 1, 1, 1) + b"PVX2" + struct.pack("<2i", 65536, -1),
        "web-other-marker": settings(*DEFAULTS) + b"PVX1" + struct.pack(
            "<5i", 1, 1, 1, 1, 1) + b"PVX3" + struct.pack("<2i", 80, 0),
        "web-cut-short": (settings(*DEFAULTS) + b"PVX1" + struct.pack("<5i", 0, 0, 0, 0, 0) +
                          b"PVX2" + struct.pack("<2i", 80, 0))[:67],
        "zones-on-and-kept-bytes": settings(*DEFAULTS) + b"PVX1" + struct.pack(
            "<5i", 0, 0, 1, 1, 0) + b"PVX2" + struct.pack("<2i", 0, 0) + b"PVX3" + struct.pack(
            "<4i", 1, 90, 7, -5) + b"kept",
        "zones-out-of-bounds": settings(*DEFAULTS) + b"PVX1" + struct.pack(
            "<5i", 0, 0, 0, 0, 0) + b"PVX2" + struct.pack("<2i", 0, 0) + b"PVX3" + struct.pack(
            "<4i", -1, 2**31 - 1, 0, 0),
        "zones-cut-short": (settings(*DEFAULTS) + b"PVX1" + bytes(20) + b"PVX2" + bytes(8) +
                            b"PVX3" + struct.pack("<4i", 1, 1, 0, 0))[:91],
    },
}

for target, seeds in SEEDS.items():
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    for name, data in seeds.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
