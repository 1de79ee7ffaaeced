"""The real pelivor.exe under Wine, measured from outside: its footprint, what it costs while idle,
the time from a send to the first paint that shows the number, a burst and a soak. The floors are
a bare Winsock reader under Wine (bench-bare-receive.exe) timed and fed the same way. Needs a
measuring build (preset win32-bench, whose paint log gives the paint times) and a session of
scripts/wine-session; prints one JSON object.

    PELIVOR_SESSION=<session dir> PELIVOR_BUILD=build/win32-bench python3 bench/wine_bench.py
        [--quick] [--shipped build/win32/pelivor.exe] [--idle-seconds S] [--out results.json]
"""
import argparse
import glob
import json
import os
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import harness  # noqa: E402  (the end-to-end tests' driver: session, board, waits)

PORT = 3001
TICKS = os.sysconf("SC_CLK_TCK")
# FILETIME counts 100 ns steps from 1601; Unix time counts from 1970.
FILETIME_1970 = 116444736000000000


def unix_ns(filetime):
    return (filetime - FILETIME_1970) * 100


class Log:
    """Lines "<filetime> <count> <text>" appended by the board's paints or the bare reader."""

    def __init__(self, path):
        self.path, self.offset, self.pending = path, 0, b""
        self.last = None  # the last line read so far

    def new_lines(self):
        try:
            with open(self.path, "rb") as f:
                f.seek(self.offset)
                data = f.read()
        except FileNotFoundError:
            return []
        self.offset += len(data)
        *complete, self.pending = (self.pending + data).split(b"\n")
        lines = []
        for line in complete:
            stamp, count, text = line.decode().rstrip("\r").split(" ", 2)
            lines.append((unix_ns(int(stamp)), int(count), text))
        if lines:
            self.last = lines[-1]
        return lines

    def wait_quiet(self, quiet=1.0, limit=120.0):
        """Reads until no line came for `quiet` seconds; the last line of the log, or None."""
        last_change, started = time.monotonic(), time.monotonic()
        while time.monotonic() - last_change < quiet and time.monotonic() - started < limit:
            if self.new_lines():
                last_change = time.monotonic()
            time.sleep(0.02)
        return self.last


# ---- processes ------------------------------------------------------------------------------

def proc_read(pid, name):
    try:
        with open("/proc/%d/%s" % (pid, name), "rb") as f:
            return f.read()
    except OSError:
        return b""


def session_pids(prefix):
    """Every process that runs in this session's Wine prefix: the wineserver, Wine's own services
    and the programs."""
    pids = []
    for entry in glob.glob("/proc/[0-9]*"):
        pid = int(entry.rsplit("/", 1)[1])
        environ = proc_read(pid, "environ").split(b"\0")
        if ("WINEPREFIX=%s" % prefix).encode() in environ:
            pids.append(pid)
    return pids


def usage(pid):
    """CPU seconds of the whole process (utime + stime, in clock ticks), and per thread the
    scheduler's nanoseconds on a CPU and the voluntary context switches: each of those is one sleep
    the thread went into, so one wake-up."""
    stat = proc_read(pid, "stat").decode()
    fields = stat[stat.rfind(")") + 2:].split()
    threads = {}
    for task in glob.glob("/proc/%d/task/*" % pid):
        tid = int(task.rsplit("/", 1)[1])
        sched = proc_read(pid, "task/%d/schedstat" % tid).split()
        switches = 0
        for line in proc_read(pid, "task/%d/status" % tid).decode().splitlines():
            if line.startswith("voluntary_ctxt_switches:"):
                switches = int(line.split()[1])
        threads[tid] = (int(sched[0]) if sched else 0, switches)
    return {"cpu_s": (int(fields[11]) + int(fields[12])) / TICKS if fields else 0.0,
            "threads": threads}


def spent_between(before, after):
    """What a process used between two samples. Threads that ended meanwhile are left out; a
    thread that started counts from zero."""
    run_ns, switches, busiest = 0, 0, 0
    for tid, (run, switched) in after["threads"].items():
        run0, switched0 = before["threads"].get(tid, (0, 0))
        run_ns += run - run0
        switches += switched - switched0
        busiest = max(busiest, switched - switched0)
    return {"cpu_s": after["cpu_s"] - before["cpu_s"], "run_s": run_ns / 1e9,
            "switches": switches, "busiest_thread_switches": busiest}


def vm_rss_kb(pid):
    for line in proc_read(pid, "status").decode().splitlines():
        if line.startswith("VmRSS:"):
            return int(line.split()[1])
    return 0


def process_name(pid):
    args = proc_read(pid, "cmdline").split(b"\0")
    name = args[0].decode(errors="replace").replace("\\", "/").rsplit("/", 1)[-1]
    return name or "?"


def measure_idle(board_pid, prefix, seconds):
    pids = session_pids(prefix)
    before = {pid: usage(pid) for pid in pids}
    started = time.monotonic()
    time.sleep(seconds)
    elapsed = time.monotonic() - started
    after = {pid: usage(pid) for pid in pids if os.path.exists("/proc/%d" % pid)}
    result = {"seconds": elapsed}
    total = {"cpu_ms": 0.0, "run_ms": 0.0, "wakeups_per_s": 0.0}
    for pid in after:
        name = "pelivor.exe" if pid == board_pid else process_name(pid)
        name = "wineserver" if name.startswith("wineserver") else name
        spent = spent_between(before[pid], after[pid])
        entry = result.setdefault(name, {"cpu_ms": 0.0, "run_ms": 0.0, "wakeups_per_s": 0.0,
                                         "busiest_thread_wakeups_per_s": 0.0})
        entry["cpu_ms"] += 1000 * spent["cpu_s"]
        entry["run_ms"] += 1000 * spent["run_s"]
        entry["wakeups_per_s"] += spent["switches"] / elapsed
        entry["busiest_thread_wakeups_per_s"] = max(entry["busiest_thread_wakeups_per_s"],
                                                    spent["busiest_thread_switches"] / elapsed)
        total["cpu_ms"] += 1000 * spent["cpu_s"]
        total["run_ms"] += 1000 * spent["run_s"]
        total["wakeups_per_s"] += spent["switches"] / elapsed
    result["all"] = total
    for name, entry in result.items():
        if isinstance(entry, dict):
            entry["cpu_percent"] = entry["run_ms"] / 10 / elapsed
    return result


# ---- traffic --------------------------------------------------------------------------------

def percentiles(delays_ns):
    delays = sorted(delays_ns)
    if not delays:
        return {"count": 0}
    at = lambda share: delays[min(len(delays) - 1, int(share * len(delays)))] / 1000
    return {"count": len(delays), "p50_us": at(0.50), "p90_us": at(0.90), "p99_us": at(0.99),
            "max_us": delays[-1] / 1000}


def one_by_one(log, count, first, timeout=2.0, right_behind=False, samples=None):
    """Sends `count` distinct numbers one at a time, each timed from just before its send to the
    log's first line that holds it; one not shown within `timeout` is counted as lost. With
    `right_behind`, each timed number follows another sent just before it, as when two stations
    send at once. The delays (ns) are added to `samples` too when given."""
    sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    delays, lost = [], 0
    log.new_lines()
    for k in range(count):
        text = str(first + 2 * k)
        payload = text.encode()
        if right_behind:
            sender.sendto(str(first + 2 * k + 1).encode(), ("127.0.0.1", PORT))
        sent_at = time.time_ns()
        sender.sendto(payload, ("127.0.0.1", PORT))
        deadline = time.monotonic() + timeout
        arrived = None
        while arrived is None and time.monotonic() < deadline:
            for stamp, _, shown in log.new_lines():
                if shown == text and arrived is None:
                    arrived = stamp
            if arrived is None:
                time.sleep(0.0002)
        if arrived is None:
            lost += 1
        else:
            delays.append(arrived - sent_at)
    sender.close()
    if samples is not None:
        samples.extend(delays)
    result = percentiles(delays)
    result["lost"] = lost
    return result


def udp_queue_drops():
    with open("/proc/net/snmp") as f:
        rows = [line.split() for line in f if line.startswith("Udp:")]
    return int(rows[1][rows[0].index("RcvbufErrors")])


def burst(count, first):
    """Distinct numbers as fast as one socket sends them; returns the seconds it took."""
    sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    target = ("127.0.0.1", PORT)
    payloads = [str(first + k).encode() for k in range(count)]
    started = time.monotonic()
    for payload in payloads:
        sender.sendto(payload, target)
    took = time.monotonic() - started
    sender.close()
    return took


def wait_port(bound):
    harness.wait_until(lambda: harness.udp_port_bound(PORT) == bound, timeout=20,
                       what="UDP port %d %s" % (PORT, "bound" if bound else "free"))


class BareReader:
    """bench-bare-receive.exe on the port, until it has been quiet for `quiet_ms`."""

    def __init__(self, build, workdir, quiet_ms, log=None):
        args = ["wine", os.path.join(build, "bench-bare-receive.exe"), str(PORT), str(quiet_ms)]
        if log:
            args.append(log)
        self.process = subprocess.Popen(args, cwd=workdir, env=harness.ENV,
                                        stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                        stderr=subprocess.DEVNULL)
        wait_port(True)

    def finish(self, timeout=120):
        out, _ = self.process.communicate(timeout=timeout)
        wait_port(False)
        return int(out.decode().strip() or "-1")


def write_results(results, out):
    """Prints the results as JSON, and writes them to `out` too when given."""
    text = json.dumps(results, indent=2)
    if out:
        with open(out, "w") as f:
            f.write(text + "\n")
    print(text)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--quick", action="store_true")
    parser.add_argument("--shipped", help="the program as built by the win32 preset")
    parser.add_argument("--idle-seconds", type=float)
    parser.add_argument("--out")
    parser.add_argument("--zones", action="store_true",
                        help="the board with two zones on (numbers sent are ready ones)")
    parser.add_argument("--voice", action="store_true",
                        help="the board calling every new number aloud")
    options = parser.parse_args()
    quick = options.quick
    idle_seconds = options.idle_seconds or (15.0 if quick else 60.0)
    latency_count = 300 if quick else 1000
    pair_count = 100 if quick else 300
    burst_size = 50000 if quick else 200000
    rounds = 2 if quick else 3
    soak_size = 20000 if quick else 100000

    build = harness.BUILD
    prefix = harness.ENV["WINEPREFIX"]
    results = {"footprint": {}}
    shipped = options.shipped or harness.EXE
    results["footprint"]["exe_bytes"] = os.path.getsize(shipped)
    results["footprint"]["measured_exe_bytes"] = os.path.getsize(harness.EXE)
    with tempfile.TemporaryDirectory() as scratch:
        stripped = os.path.join(scratch, "pelivor.exe")
        if subprocess.run(["i686-w64-mingw32-strip", "-o", stripped, shipped],
                          stderr=subprocess.DEVNULL).returncode == 0:
            results["footprint"]["stripped_exe_bytes"] = os.path.getsize(stripped)

    if harness.udp_port_bound(PORT):
        sys.exit("wine_bench: UDP port %d is taken on this machine; stop whatever holds it" % PORT)
    workdir = tempfile.mkdtemp(prefix="pelivor-bench-")
    if options.zones or options.voice:
        with open(os.path.join(workdir, "setup.dat"), "wb") as f:
            f.write(harness.DEFAULT_BYTES + harness.web_tail_bytes(
                web_port=0, zones=1 if options.zones else 0, voice=1 if options.voice else 0))
    board = harness.Board(workdir)
    try:
        board.start()
        pid = board.process.pid
        if b"pelivor.exe" not in proc_read(pid, "cmdline"):
            sys.exit("wine_bench: process %d is not pelivor.exe" % pid)
        log = Log(os.path.join(workdir, "paint-times.log"))
        harness.wait_until(lambda: log.new_lines(), what="the first paint")
        time.sleep(2.0)  # start-up done: Wine's services settle
        results["footprint"]["rss_start_kb"] = vm_rss_kb(pid)

        results["idle"] = measure_idle(pid, prefix, idle_seconds)
        results["latency_paint"] = one_by_one(log, latency_count, 100000)
        results["latency_paint_behind"] = one_by_one(log, pair_count, 300000, timeout=0.5,
                                                     right_behind=True)

        bursts = []
        for round_ in range(rounds):
            last = log.wait_quiet(quiet=0.5)
            requests_before = last[1] if last else 0
            drops_before = udp_queue_drops()
            took = burst(burst_size, 1000000 + round_ * burst_size)
            last = log.wait_quiet(quiet=1.0)
            bursts.append({"kept": last[1] - requests_before, "send_s": took,
                           "dropped": udp_queue_drops() - drops_before})

        # Paced: batches the socket's default queue holds (256 datagrams of this size on Linux),
        # each followed by a wait for its last number on screen, or for the paints to stop.
        drops_before = udp_queue_drops()
        started = time.monotonic()
        batch, sent, confirmed = 200, 0, 0
        sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        first = 5000000
        while sent < soak_size:
            for k in range(batch):
                sender.sendto(str(first + sent + k).encode(), ("127.0.0.1", PORT))
            sent += batch
            last_text = str(first + sent - 1)
            quiet_since = time.monotonic()
            while time.monotonic() - quiet_since < 0.2:
                lines = log.new_lines()
                if any(shown == last_text for _, _, shown in lines):
                    confirmed += 1
                    break
                if lines:
                    quiet_since = time.monotonic()
                time.sleep(0.001)
        sender.close()
        soak_s = time.monotonic() - started
        time.sleep(1.0)
        results["footprint"]["rss_soak_kb"] = vm_rss_kb(pid)
        results["footprint"]["soak_datagrams"] = sent
        results["soak"] = {"datagrams": sent, "seconds": soak_s, "per_s": sent / soak_s,
                           "batches_confirmed": confirmed, "batches": sent // batch,
                           "dropped": udp_queue_drops() - drops_before}
        board.stop()
        if board.alive():
            sys.exit("wine_bench: the board did not stop")
        wait_port(False)

        # The floors: the same sends to a bare Winsock reader under Wine.
        bare_log = os.path.join(workdir, "bare-times.log")
        reader = BareReader(build, workdir, 1500, bare_log)
        bare_times = Log(bare_log)
        results["latency_bare"] = one_by_one(bare_times, latency_count, 100000)
        results["latency_bare_behind"] = one_by_one(bare_times, pair_count, 300000, timeout=0.5,
                                                    right_behind=True)
        reader.finish()
        for round_ in range(rounds):
            reader = BareReader(build, workdir, 1000)
            drops_before = udp_queue_drops()
            took = burst(burst_size, 1000000 + round_ * burst_size)
            kept = reader.finish()
            bursts[round_].update({"bare_kept": kept, "bare_send_s": took,
                                   "bare_dropped": udp_queue_drops() - drops_before})
        results["burst"] = {
            "sent": burst_size,
            "rounds": bursts,
            "kept": statistics.mean(b["kept"] for b in bursts),
            "bare_kept": statistics.mean(b["bare_kept"] for b in bursts),
            "send_s": statistics.mean(b["send_s"] for b in bursts),
        }
    finally:
        board.stop()
        shutil.rmtree(workdir, ignore_errors=True)

    write_results(results, options.out)


if __name__ == "__main__":
    main()
