"""Turns the benchmark programs' JSON into one short table, each figure beside its floor.

    python3 bench/report.py <results dir>
    python3 bench/report.py --against REV <results dir of scripts/bench --against>

Reads board.json, receiver.json, idle.json (Google Benchmark's JSON), wine.json (wine_bench.py) and
web.json (web_bench.py) from the directory; any of them may be missing, and its rows are then left out.
"""
import json
import os
import platform
import subprocess
import sys


def load(directory, name):
    path = os.path.join(directory, name)
    if not os.path.exists(path):
        return None
    with open(path) as f:
        return json.load(f)


def benchmarks(data):
    """Google Benchmark's runs by name: the median when repeated, else the one run."""
    runs = {}
    for run in (data or {}).get("benchmarks", []):
        name = run.get("run_name", run["name"]).split("/")[0]
        if run.get("run_type") == "aggregate":
            if run.get("aggregate_name") == "median":
                runs[name] = run
        else:
            runs.setdefault(name, run)
    return runs


def ns(run):
    scale = {"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}[run.get("time_unit", "ns")]
    return run["cpu_time"] * scale


def machine():
    model = "?"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    model = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    try:
        wine = subprocess.run(["wine", "--version"], stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, timeout=30).stdout.decode().strip()
    except (OSError, subprocess.SubprocessError):
        wine = "no wine"
    build = os.environ.get("PELIVOR_WINE_ARCH")
    if build:
        wine += ", the %s build run by %s" % (build, os.environ.get("PELIVOR_WINE_LOADER", "?"))
    return "%d x %s, Linux %s, %s" % (os.cpu_count() or 0, model, platform.release(), wine)


def us(value):
    return "%.0f" % value if value >= 100 else "%.1f" % value


def print_table(header, rows):
    widths = [max(len(str(r[k])) for r in rows + [header]) for k in range(4)]
    line = lambda r: "  ".join(str(c).ljust(w) for c, w in zip(r, widths)).rstrip()
    print("Machine: " + machine())
    print(line(header))
    print(line(tuple("-" * w for w in widths)))
    for row in rows:
        print(line(row))


def against(rev, directory):
    """then-N.json and now-N.json (wine_bench.py), alternating rounds, and with --web also
    then-web-N.json and now-web-N.json (web_bench.py): each figure's median over the rounds, now
    beside then."""
    def rounds_of(pattern):
        runs = {side: [load(directory, pattern % (side, k)) for k in range(1, 10)]
                for side in ("then", "now")}
        return {side: [r for r in found if r] for side, found in runs.items()}
    rounds = rounds_of("%s-%d.json")
    median = lambda values: sorted(values)[len(values) // 2]
    figures = [
        ("idle, pelivor.exe wake-ups/s", lambda r: r["idle"]["pelivor.exe"]["wakeups_per_s"]),
        ("idle, pelivor.exe CPU ms", lambda r: r["idle"]["pelivor.exe"]["run_ms"]),
        ("idle, all Wine processes wake-ups/s", lambda r: r["idle"]["all"]["wakeups_per_s"]),
        ("sendto->first paint p50 us", lambda r: r["latency_paint"]["p50_us"]),
        ("sendto->first paint p99 us", lambda r: r["latency_paint"]["p99_us"]),
        ("burst of %d, kept" % rounds["now"][0]["burst"]["sent"],
         lambda r: r["burst"]["kept"]),
        ("burst, kept over the bare loop's", lambda r: r["burst"]["kept"] / r["burst"]["bare_kept"]),
        ("soak, numbers/s", lambda r: r["soak"]["per_s"]),
        ("VmRSS at start KiB", lambda r: r["footprint"]["rss_start_kb"]),
    ]
    header = ("What (median of %d rounds each)" % len(rounds["now"]), "Now",
              "Then (%s)" % rev[:10], "Now/then")
    rows = []

    def add(runs, what, take):
        now = median([take(r) for r in runs["now"]])
        then = median([take(r) for r in runs["then"]])
        rows.append((what, "%.4g" % now, "%.4g" % then, "%.2f" % (now / then) if then else ""))
    for what, take in figures:
        add(rounds, what, take)
    web = rounds_of("%s-web-%d.json")
    if web["now"] and web["then"]:
        clients = web["now"][0]["clients"]
        loaded = lambda k: lambda r: r["paint_with_clients"][k]
        for what, take in [
                ("web on: sendto->number in a page p50 us", lambda r: r["page"]["p50_us"]),
                ("web on: sendto->number in a page p99 us", lambda r: r["page"]["p99_us"]),
                ("web on: sendto->paint, %d streams p50 us" % clients, loaded("p50_us")),
                ("web on: sendto->paint, %d streams p99 us" % clients, loaded("p99_us")),
                ("web on: that p99 over none's",
                 lambda r: r["paint_with_clients"]["p99_us"] / r["paint_none"]["p99_us"]),
                ("web on: streams open at the end", lambda r: r["stream"]["open_at_end"])]:
            add(web, what, take)
    print_table(header, rows)


def main():
    if sys.argv[1] == "--against":
        against(sys.argv[2], sys.argv[3])
        return
    directory = sys.argv[1]
    board = benchmarks(load(directory, "board.json"))
    receiver = benchmarks(load(directory, "receiver.json"))
    idle = benchmarks(load(directory, "idle.json"))
    wine = load(directory, "wine.json")
    web = load(directory, "web.json")
    rows = []

    if board:
        floor = ns(board["BM_TableCopyFloor"])
        floor_text = "%.0f ns table copy" % floor
        for name, what in [("BM_AcceptFull", "clean+accept, full 100-slot board"),
                           ("BM_AcceptEmpty", "clean+accept, empty 100-slot board"),
                           ("BM_ReceiveTextFull", "receive_text (lock), full board"),
                           ("BM_CopyBoard", "copy_board (lock)")]:
            cost = ns(board[name])
            rows.append((what, "%.0f ns" % cost, floor_text, "%.1f" % (cost / floor)))

    if "BM_Burst" in receiver:
        run = receiver["BM_Burst"]
        sent = run["sent"]
        rows.append(("burst of %d, native: processed" % sent,
                     "%.0f (%.1f%%)" % (run["receiver_kept"], 100 * run["receiver_kept"] / sent),
                     "%.0f bare loop" % run["bare_kept"], "%.3f" % run["ratio"]))
        rows.append(("  kernel drops; socket buffer %d KiB" % (run["rcvbuf_bytes"] / 1024),
                     "%.0f" % run["receiver_dropped"], "%.0f" % run["bare_dropped"],
                     "%.2f-%.2f" % (run.get("ratio_lowest", 0), run.get("ratio_highest", 0))))
    if "BM_Latency" in receiver:
        run = receiver["BM_Latency"]
        rows.append(("sendto->repaint request, native p50/p99/max us",
                     "/".join(us(run["receiver_" + k]) for k in ("p50_us", "p99_us", "max_us")),
                     "/".join(us(run["floor_" + k]) for k in ("p50_us", "p99_us", "max_us")) +
                     " bare", "%.2f" % (run["receiver_p50_us"] / run["floor_p50_us"])))
    if wine:
        paint, bare = wine.get("latency_paint"), wine.get("latency_bare")
        if paint and bare and paint.get("count") and bare.get("count"):
            rows.append(("sendto->first paint, Wine p50/p99/max us",
                         "/".join(us(paint[k]) for k in ("p50_us", "p99_us", "max_us")),
                         "/".join(us(bare[k]) for k in ("p50_us", "p99_us", "max_us")) + " bare",
                         "%.2f" % (paint["p50_us"] / bare["p50_us"])))
        paint, bare = wine.get("latency_paint_behind"), wine.get("latency_bare_behind")
        if paint and bare and bare.get("count"):
            rows.append(("  right behind another: p50/p99/max us",
                         "/".join(us(paint[k]) for k in ("p50_us", "p99_us", "max_us"))
                         if paint.get("count") else "-",
                         "/".join(us(bare[k]) for k in ("p50_us", "p99_us", "max_us")) + " bare",
                         "%.2f" % (paint["p50_us"] / bare["p50_us"]) if paint.get("count") else
                         ""))
            rows.append(("  not shown within 0.5 s (of %d)" % (paint["count"] + paint["lost"]),
                         paint["lost"], bare["lost"], ""))
        burst = wine.get("burst")
        if burst:
            sent = burst["sent"]
            ratios = [r["kept"] / r["bare_kept"] for r in burst["rounds"] if r["bare_kept"]]
            rows.append(("burst of %d, pelivor.exe under Wine" % sent,
                         "%.0f (%.1f%%)" % (burst["kept"], 100 * burst["kept"] / sent),
                         "%.0f bare loop" % burst["bare_kept"],
                         "%.3f" % (burst["kept"] / burst["bare_kept"]) if burst["bare_kept"] else
                         ""))
            if ratios:
                rows.append(("  rounds; lowest-highest ratio of a round", len(ratios), "",
                             "%.2f-%.2f" % (min(ratios), max(ratios))))
    if "BM_Idle" in idle:
        run = idle["BM_Idle"]
        rows.append(("idle, native receiver thread (%.0f s)" % run["seconds"],
                     "%.0f us CPU/s" % run["cpu_us_per_s"],
                     "%.1f wake-ups/s" % run["wakeups_per_s"], ""))
    if wine and "idle" in wine:
        spent = wine["idle"]
        for name in ("pelivor.exe", "wineserver", "all"):
            if name in spent:
                entry = spent[name]
                label = "all Wine processes" if name == "all" else name
                rows.append(("idle, %s (%.0f s)" % (label, spent["seconds"]),
                             "%.0f ms CPU (%.3f%%)" % (entry["run_ms"], entry["cpu_percent"]),
                             "%.1f wake-ups/s" % entry["wakeups_per_s"], ""))
    if wine:
        foot = wine["footprint"]
        size = "%d KiB" % (foot["exe_bytes"] / 1024)
        if "stripped_exe_bytes" in foot:
            size += " (%d KiB stripped)" % (foot["stripped_exe_bytes"] / 1024)
        rows.append(("pelivor.exe size", size, "", ""))
        if "rss_soak_kb" in foot:
            rows.append(("VmRSS under Wine: start / after soak of %d" % foot["soak_datagrams"],
                         "%d / %d KiB" % (foot["rss_start_kb"], foot["rss_soak_kb"]), "", ""))
        soak = wine.get("soak")
        if soak:
            rows.append(("soak under Wine, paced in batches of 200",
                         "%.0f numbers/s" % soak["per_s"],
                         "%d kernel drops" % soak["dropped"], ""))

    if web:
        figures = lambda run: "/".join(us(run[k]) for k in ("p50_us", "p99_us", "max_us"))
        page, none, loaded = web["page"], web["paint_none"], web["paint_with_clients"]
        if page.get("count") and none.get("count"):
            rows.append(("sendto->number in a Chromium page (stream), Wine p50/p99/max us",
                         figures(page), figures(none) + " window paint",
                         "%.2f" % (page["p99_us"] / none["p99_us"])))
            rows.append(("  page not updated within 1 s (of %d)" % (page["count"] + page["lost"]),
                         page["lost"], "", ""))
        if none.get("count") and loaded.get("count"):
            spread = lambda run: "/".join(us(run[k]) for k in ("p50_us", "p90_us", "p99_us"))
            rows.append(("sendto->first paint, %d open streams p50/p90/p99 us" % web["clients"],
                         spread(loaded), spread(none) + " none",
                         "/".join("%.2f" % (loaded[k] / none[k])
                                  for k in ("p50_us", "p90_us", "p99_us"))))
            shown = loaded["count"] + loaded["lost"]
            rows.append(("  not shown within 2 s (of %d each)" % shown,
                         loaded["lost"], none["lost"], ""))
        stream = web["stream"]
        rows.append(("  streams open at the end; events each (coalesced)",
                     "%d of %d" % (stream["open_at_end"], web["clients"]),
                     "%d-%d" % (stream["fewest_events"], stream["most_events"]), ""))
        memory = web["memory"]
        rows.append(("VmRSS per open stream (delta over %d)" % web["clients"],
                     "%.1f KiB" % memory["per_client_kb"],
                     "%d KiB before" % memory["rss_before_kb"], ""))

    header = ("What", "Measured", "Floor", "Ratio")
    print_table(header, rows)


if __name__ == "__main__":
    main()
