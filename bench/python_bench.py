#!/usr/bin/python3
"""Times the Python module against the command-line tool for the same work.

Usage: bench/python_bench.py --build DIR --input typical.pdf [--cipher C] [--runs N]

DIR is a build folder with the tool (cli/varnel) and the module
(python/varnel). On the input, each round runs, in turns: the tool
(`varnel encrypt IN OUT`, a process each time, as a script would call it),
varnel.encrypt(IN, OUT) and the same work in memory (the file read,
varnel.encrypt_bytes, the output written). Then the cost of a call on a small
file (examples/sample.pdf): a whole encrypt_bytes call (in a fresh process)
against the library's own time for the same call (bench/tools/apibench.cpp, varnel_apibench), the
difference being what the binding adds; and a call refused before any work
(an unknown cipher), the binding's cost with an exception raised. Prints the section of bench/RESULTS.md (Markdown);
bench/run --python writes it there.
"""
import argparse
import concurrent.futures
import datetime
import os
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
HEADING = "## The Python module"


def seconds(call, runs):
    """Median wall time of call() over runs."""
    return statistics.median(each(call, runs))


def each(call, runs):
    """The wall times of runs calls."""
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        call()
        times.append(time.perf_counter() - start)
    return times


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build", required=True)
    ap.add_argument("--input", required=True)
    ap.add_argument("--cipher", default="aes-256")
    ap.add_argument("--runs", type=int, default=21)
    ap.add_argument("--small-call", action="store_true", help=argparse.SUPPRESS)
    args = ap.parse_args()
    sys.path.insert(0, os.path.join(args.build, "python"))
    import varnel
    if args.small_call:  # the times of 200 calls on the small file after 200 to warm up
        data = open(os.path.join(ROOT, "examples", "sample.pdf"), "rb").read()
        call = lambda: varnel.encrypt_bytes(data, user_password="u", owner_password="o", cipher=args.cipher)  # noqa
        each(call, 200)
        print(" ".join("%.9f" % t for t in each(call, 200)))
        return 0

    tool = os.path.join(args.build, "cli", "varnel")
    options = dict(user_password="u", owner_password="o", cipher=args.cipher)
    small = open(os.path.join(ROOT, "examples", "sample.pdf"), "rb").read()
    with tempfile.TemporaryDirectory(prefix="varnel-pybench-") as work:
        # Each way writes its own output: replacing a file another way has
        # just written waits for that file's writeback, which bills one way
        # for another's output.
        out = {way: os.path.join(work, way + ".pdf") for way in ("cli", "encrypt", "encrypt_bytes")}

        def in_memory():
            with open(args.input, "rb") as f:
                data = f.read()
            with open(out["encrypt_bytes"], "wb") as f:
                f.write(varnel.encrypt_bytes(data, **options))

        def refused():
            try:
                varnel.encrypt_bytes(small, user_password="u", cipher="none")
            except varnel.UsageError:
                pass

        ways = {
            "cli": lambda: subprocess.run([tool, "encrypt", args.input, out["cli"], "-u", "u", "-o", "o", "--cipher", args.cipher],
                                          check=True, stdout=subprocess.DEVNULL),
            "encrypt": lambda: varnel.encrypt(args.input, out["encrypt"], **options),
            "encrypt_bytes": in_memory,
        }
        for call in ways.values():  # warm the cache and the module
            call()
        times = {name: [] for name in ways}
        for r in range(args.runs):
            for k in range(len(ways)):
                name = list(ways)[(r + k) % len(ways)]
                times[name].append(seconds(ways[name], 1))
        med = {name: statistics.median(t) for name, t in times.items()}
        # In a fresh process, as the library's own timing: a process that has
        # handled large documents keeps a larger heap and calls the system less.
        whole = [float(x) for x in subprocess.run(
            [sys.executable, __file__, "--small-call", "--build", args.build, "--input", args.input, "--cipher",
             args.cipher], check=True, stdout=subprocess.PIPE).stdout.split()]
        refusal = seconds(refused, 1000)
        # The GIL is let go during a call: two threads do twelve calls in
        # less time than one thread does them.
        data = open(args.input, "rb").read()

        def on_threads(workers):
            with concurrent.futures.ThreadPoolExecutor(workers) as pool:
                list(pool.map(lambda _: varnel.encrypt_bytes(data, helper_threads=False, **options), range(12)))
        threads = statistics.median(seconds(lambda: on_threads(2), 1) / seconds(lambda: on_threads(1), 1)
                                    for _ in range(3))
        apibench = os.path.join(args.build, "bench", "varnel_apibench")
        native = None
        if os.path.exists(apibench):
            native = [float(x) / 1e6 for x in subprocess.run(
                [apibench, os.path.join(ROOT, "examples", "sample.pdf"), args.cipher, "200"],
                check=True, stdout=subprocess.PIPE).stdout.split()]

    cli, in_memory_s = med["cli"], med["encrypt_bytes"]
    lines = [HEADING, "",
             "Written by `bench/python_bench.py` (`bench/run --python`) on %s; load average %s." % (
                 datetime.datetime.now().strftime("%Y-%m-%d %H:%M"), " ".join("%.2f" % x for x in os.getloadavg())),
             "",
             "The typical input (%.1f MB), %s, %d rounds, the three ways in turns; median wall time." % (
                 os.path.getsize(args.input) / 1e6, args.cipher, args.runs), "",
             "| way | s | against the tool |", "|---|---:|---:|",
             "| `varnel encrypt IN OUT` (a process) | %.4f | 1.00 |" % cli,
             "| `varnel.encrypt(IN, OUT)` | %.4f | %.2f |" % (med["encrypt"], med["encrypt"] / cli),
             "| read IN, `varnel.encrypt_bytes`, write OUT | %.4f | %.2f |" % (in_memory_s, in_memory_s / cli), "",
             "A call on a small file (examples/sample.pdf, %d bytes, %s), 200 calls after 200 to warm up: "
             "encrypt_bytes median %.3f ms, least %.3f ms; the library alone (`varnel_apibench`, the same calls "
             "from C++, also a fresh process): %s. A call refused before any work (unknown cipher, the exception raised): %.1f us. The "
             "overhead below is the difference of the least times, the figure least disturbed by other work." % (
                 len(small), args.cipher, statistics.median(whole) * 1e3, min(whole) * 1e3,
                 "median %.3f ms, least %.3f ms" % (native[0] * 1e3, native[1] * 1e3) if native else "not built",
                 refusal * 1e6), "",
             "- [%s] encrypt_bytes on the typical input within 10%% of the tool's time (%.2fx)" % (
                 "x" if in_memory_s <= 1.1 * cli else " ", in_memory_s / cli)]
    overhead = min(whole) - native[1] if native else refusal
    lines += ["- [%s] the Python call overhead on a small file under 1 ms (%.3f ms)" % (
        "x" if overhead < 1e-3 else " ", overhead * 1e3),
              "- [%s] two threads take under 0.8 of one thread's time for the same calls, the GIL let go (%.2f)" % (
                  "x" if threads < 0.8 else " ", threads), ""]
    print("\n".join(lines))
    return 0


if __name__ == "__main__":
    sys.exit(main())
