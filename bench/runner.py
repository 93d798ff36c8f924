#!/usr/bin/env python3
"""Measures the converter against its parsing ceiling and a plain script.

    runner.py --ceiling BUILD/ceiling [--repeat 3] FILE [FILE ...] [--scaling SMALL LARGE]

For each FILE, in one run: `processor` without and with the filter (min=2,
keep=100, seed=0), the ceiling program (a general JSON parser visiting every
number as a double) and the plain `json` script. Each measurement is one
child process: wall time from the parent's clock, CPU time and peak RSS from
the child's resource usage (os.wait4). The median of the repeats is shown.
Files larger than --script-limit megabytes take the script's speed from the
first file measured (it would run for minutes); the table says so.
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
MIB = 1024 * 1024


def measure(argv):
    """Runs argv once; returns (wall seconds, cpu seconds, peak RSS bytes)."""
    start = time.perf_counter()
    child = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(child.pid, 0)
    wall = time.perf_counter() - start
    child.returncode = os.waitstatus_to_exitcode(status)
    error = child.stderr.read().decode(errors="replace")
    child.stderr.close()
    if child.returncode != 0:
        sys.exit("failed (%d): %s\n%s" % (child.returncode, " ".join(argv), error))
    return wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss * 1024


def repeated(argv, repeat):
    runs = [measure(argv) for _ in range(repeat)]
    return tuple(statistics.median(run[i] for run in runs) for i in range(3))


def processor_argv(python, source, target, filtered):
    call = "m.processor(%r, %r%s)" % (source, target, ", min=2, keep=100, seed=0" if filtered else "")
    return [python, "-c", "import ondravane_converter as m; " + call]


def first_layer_values(w2v_path):
    """Rows × dimension from the header of the converter's unfiltered output."""
    with open(w2v_path, "rb") as header:
        rows, dimension = header.readline().split()
    return int(rows) * int(dimension)


def bench_file(path, args, workdir, script_speed):
    size = os.path.getsize(path)
    megabytes = size / 1e6
    output = os.path.join(workdir, "out.w2v")
    results = {}
    results["processor"] = repeated(processor_argv(args.python, path, output, False), args.repeat)
    values = first_layer_values(output)
    results["processor, filter"] = repeated(processor_argv(args.python, path, output, True), args.repeat)
    results["ceiling"] = repeated([args.ceiling, path], args.repeat)
    script_note = ""
    if megabytes <= args.script_limit:
        results["json script"] = measure([args.python, os.path.join(HERE, "json_convert.py"), path, output])
        file_script_speed = megabytes / results["json script"][0]
        script_speed = script_speed or file_script_speed
    else:
        file_script_speed = script_speed
        script_note = " (json script not run on this size: its %.0f MB/s from the first file)" % script_speed
    os.remove(output)

    budget = 1.2 * 8 * values + 64 * MIB
    ceiling_wall = results["ceiling"][0]
    print("\n%s: %.0f MB, %d first-layer values%s" % (os.path.basename(path), megabytes, values, script_note))
    print("  %-18s %8s %8s %8s %9s %9s %9s %10s %7s" % (
        "program", "wall s", "cpu s", "MB/s", "/ceiling", "/script", "RSS MiB", "RSS/8B·v", "budget"))
    for name, (wall, cpu, rss) in results.items():
        speed = megabytes / wall
        in_budget = "ok" if rss <= budget else "OVER"
        print("  %-18s %8.3f %8.3f %8.0f %9.2f %9.2f %9.1f %10.2f %7s" % (
            name, wall, cpu, speed, ceiling_wall / wall, speed / file_script_speed if file_script_speed else 0,
            rss / MIB, rss / (8 * values), in_budget if name.startswith("processor") else ""))
    plain = results["processor"][0]
    filtered = results["processor, filter"][0]
    print("  processor at %.0f %% of the ceiling (target >= 75 %%); filter costs %+.1f %% (target <= 15 %%);"
          " RSS budget 1.2 x 8 B x values + 64 MiB = %.1f MiB" % (
              100 * ceiling_wall / plain, 100 * (filtered / plain - 1), budget / MIB))
    return results, script_speed


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("files", nargs="+")
    parser.add_argument("--ceiling", required=True)
    parser.add_argument("--python", default=sys.executable)
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--script-limit", type=float, default=500, help="megabytes")
    parser.add_argument("--scaling", nargs=2, metavar=("SMALL", "LARGE"),
                        help="two files of one shape, the second ten times the first")
    args = parser.parse_args()
    timings = {}
    script_speed = None
    with tempfile.TemporaryDirectory(prefix="ondravane-bench-") as workdir:
        for path in args.files:
            timings[path], script_speed = bench_file(path, args, workdir, script_speed)
    if args.scaling:
        small, large = args.scaling
        size_ratio = os.path.getsize(large) / os.path.getsize(small)
        time_ratio = timings[large]["processor"][0] / timings[small]["processor"][0]
        filtered_ratio = timings[large]["processor, filter"][0] / timings[small]["processor, filter"][0]
        print("\nscaling: %.2f x the input takes %.2f x the time without the filter, %.2f x with it"
              " (target 9 to 11 x for 10 x)" % (size_ratio, time_ratio, filtered_ratio))


if __name__ == "__main__":
    main()
