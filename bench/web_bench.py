"""The web side of the real pelivor.exe under Wine: the time from a datagram's send to the number in
a browser's page (headless Chromium, through the event stream), the window's own send-to-paint with
200 event-stream clients open against none (in alternating blocks), and the memory each open
client costs. The 200 clients
are raw HTTP stream readers in this process, not browsers (200 Chromium pages would not fit this
machine); to the board each is what a page is, one connection reading /api/events. Needs the
measuring build (preset win32-bench, for its paint log), a session of scripts/wine-session and
Debian's python3 (Selenium); prints one JSON object.

    PELIVOR_SESSION=<session dir> PELIVOR_BUILD=build/win32-bench /usr/bin/python3 \\
        bench/web_bench.py [--quick] [--out results.json]
"""
import argparse
import os
import selectors
import shutil
import socket
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from wine_bench import (Log, one_by_one, percentiles, session_pids, vm_rss_kb,  # noqa: E402
                        write_results)

PORT = 3001
WEB_PORT = harness.WEB_PORT

# Stamps each number the first time the page's list holds it, on the page's clock, which counts
# from the same wall clock as time.time_ns() here.
OBSERVE = """
window.pelivorSeen = {};
const list = document.getElementById('board');
new MutationObserver(function () {
  const now = performance.timeOrigin + performance.now();
  for (const item of list.children) {
    if (!(item.textContent in window.pelivorSeen)) {
      window.pelivorSeen[item.textContent] = now;
    }
  }
}).observe(list, {childList: true});
"""


def page_latency(driver, count, first, gap=0.03):
    """Distinct numbers `gap` apart, each timed from just before its send to the mutation that put
    it in the page; one not seen within a second of the last send is counted as lost."""
    driver.get("http://127.0.0.1:%d/" % WEB_PORT)
    harness.wait_until(lambda: driver.execute_script(
        "return document.body.style.background !== ''"), what="the page's first state")
    driver.execute_script(OBSERVE)
    # The page's clock against ours: the bracket of one round trip through the driver.
    before = time.time_ns()
    page_ms = driver.execute_script("return performance.timeOrigin + performance.now()")
    after = time.time_ns()
    skew_ms = page_ms - (before + after) / 2e6
    sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sent = {}
    for k in range(count):
        text = str(first + k)
        sent[text] = time.time_ns()
        sender.sendto(text.encode(), ("127.0.0.1", PORT))
        time.sleep(gap)
    sender.close()
    time.sleep(1.0)
    seen = driver.execute_script("return window.pelivorSeen")
    delays = [seen[text] * 1e6 - at for text, at in sent.items() if text in seen]
    result = percentiles(delays)
    result["lost"] = count - len(delays)
    result["clock_skew_ms"] = skew_ms
    result["clock_bracket_ms"] = (after - before) / 1e6
    driver.get("about:blank")
    return result


class StreamClients:
    """`count` connections each reading /api/events as fast as it comes, on one thread."""

    def __init__(self, count):
        self.selector = selectors.DefaultSelector()
        self.sockets = []
        self.answered = set()
        self.events = {}  # events read, by client
        self.stopping = False
        for k in range(count):
            # Each from an address of its own, as pages on phones are: the board holds only a
            # few streams per address.
            s = socket.create_connection(("127.0.0.1", WEB_PORT), timeout=5,
                                         source_address=("127.0.%d.%d" % (1 + k // 250, 1 + k % 250), 0))
            s.sendall(b"GET /api/events HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                      b"Accept: text/event-stream\r\n\r\n")
            s.setblocking(False)
            self.selector.register(s, selectors.EVENT_READ)
            self.sockets.append(s)
        self.thread = threading.Thread(target=self.read, daemon=True)
        self.thread.start()

    def read(self):
        while not self.stopping:
            for key, _ in self.selector.select(0.2):
                try:
                    data = key.fileobj.recv(65536)
                except BlockingIOError:
                    continue
                except OSError:
                    data = b""
                if not data:
                    self.selector.unregister(key.fileobj)
                    continue
                if data.startswith(b"HTTP/1.1 200"):
                    self.answered.add(key.fileobj.fileno())
                number = key.fileobj.fileno()
                self.events[number] = self.events.get(number, 0) + data.count(b"\ndata:") + (
                    1 if data.startswith(b"data:") else 0)

    def open(self):
        return len(self.selector.get_map())

    def close(self):
        self.stopping = True
        self.thread.join(5)
        for s in self.sockets:
            s.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--quick", action="store_true")
    parser.add_argument("--clients", type=int, default=200)
    parser.add_argument("--out")
    options = parser.parse_args()
    page_count = 150 if options.quick else 500
    blocks, per_block = (2, 150) if options.quick else (6, 200)

    if harness.udp_port_bound(PORT) or harness.web_port_open():
        sys.exit("web_bench: UDP port %d or TCP port %d is taken here" % (PORT, WEB_PORT))
    results = {"clients": options.clients}
    workdir = tempfile.mkdtemp(prefix="pelivor-web-bench-")
    with open(os.path.join(workdir, "setup.dat"), "wb") as f:
        f.write(harness.DEFAULT_BYTES + harness.web_tail_bytes())
    board = harness.Board(workdir)
    clients = None
    try:
        board.start()
        pid = board.process.pid
        harness.wait_until(harness.web_port_open, what="the board's web port")
        log = Log(os.path.join(workdir, "paint-times.log"))
        harness.wait_until(lambda: log.new_lines(), what="the first paint")
        time.sleep(2.0)
        wineserver = [p for p in session_pids(harness.ENV["WINEPREFIX"])
                      if b"wineserver" in open("/proc/%d/cmdline" % p, "rb").read()]

        driver = harness.browser()
        results["page"] = page_latency(driver, page_count, 700000)
        harness.close_browser()

        # The window's paint with no stream open and with the clients, in alternating blocks so
        # that what else this machine does falls on both alike; closing 200 connections keeps
        # Wine's server busy for a while, so each block without them starts after a pause.
        none, loaded, lost_none, lost_loaded = [], [], 0, 0
        stream = {"open_at_end": options.clients, "answered": options.clients, "events": 0,
                  "fewest_events": None, "most_events": 0}
        first = 100000
        for block in range(blocks):
            time.sleep(3.0)
            lost_none += one_by_one(log, per_block, first, samples=none)["lost"]
            first += 2 * per_block
            rss_before = vm_rss_kb(pid)
            server_before = sum(vm_rss_kb(p) for p in wineserver)
            clients = StreamClients(options.clients)
            harness.wait_until(lambda: len(clients.answered) == options.clients, timeout=30,
                               what="every stream client answered")
            time.sleep(0.5)
            events_before = {s.fileno(): clients.events.get(s.fileno(), 0)
                             for s in clients.sockets}
            lost_loaded += one_by_one(log, per_block, first, samples=loaded)["lost"]
            first += 2 * per_block
            # Every client is still reading and has had the last number (a client the board
            # dropped for falling behind would no longer count as an open page).
            settled = lambda: (sum(clients.events.values()), clients.open())
            last, quiet_since, started = settled(), time.monotonic(), time.monotonic()
            while time.monotonic() - quiet_since < 1.0 and time.monotonic() - started < 10:
                time.sleep(0.1)
                if settled() != last:
                    last, quiet_since = settled(), time.monotonic()
            if block == 0:
                results["memory"] = {"rss_before_kb": rss_before, "rss_with_kb": vm_rss_kb(pid),
                                     "wineserver_before_kb": server_before,
                                     "wineserver_with_kb": sum(vm_rss_kb(p) for p in wineserver)}
                results["memory"]["per_client_kb"] = (
                    results["memory"]["rss_with_kb"] - rss_before) / options.clients
            per_client = [clients.events.get(s.fileno(), 0) - events_before[s.fileno()]
                          for s in clients.sockets]
            stream["open_at_end"] = min(stream["open_at_end"], clients.open())
            stream["answered"] = min(stream["answered"], len(clients.answered))
            stream["events"] += sum(per_client)
            if stream["fewest_events"] is not None:
                per_client.append(stream["fewest_events"])
            stream["fewest_events"] = min(per_client)
            stream["most_events"] = max(per_client + [stream["most_events"]])
            clients.close()
            clients = None
        results["stream"] = stream
        results["paint_blocks"] = {"blocks": blocks, "numbers_each": per_block}
        results["paint_none"] = dict(percentiles(none), lost=lost_none)
        results["paint_with_clients"] = dict(percentiles(loaded), lost=lost_loaded)
    finally:
        if clients is not None:
            clients.close()
        harness.close_browser()
        board.stop()
        shutil.rmtree(workdir, ignore_errors=True)

    write_results(results, options.out)


if __name__ == "__main__":
    main()
