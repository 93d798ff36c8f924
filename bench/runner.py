#!/usr/bin/env python3
"""Measures the converter against its parsing ceiling and a plain script.

    runner.py --ceiling BUILD/ceiling [--cli ondravane-converter] [--repeat 3] FILE [FILE ...]
              [--scaling SMALL LARGE]

For each FILE, in one run: `processor` without and with the filter (min=2,
keep=100, seed=0), `processor` reading the file through a FIFO (read once:
the first reading copies what the second reads again), the ceiling program with both
of its front ends (a general JSON parser visiting every number as a double;
the ratios use the faster) and the plain `json` script. Each measurement is one
child process: its whole wall time from the parent's clock, CPU time and peak
RSS from the child's resource usage (os.wait4), and for the `processor` rows
also the time of the call itself, taken inside the child around
`processor(...)` and written back through a pipe. Interpreter start-up and the
import are not the converter's work and the ceiling program has none, so the
speeds, the ratios and the scaling use the call time; for the ceiling and the
script the call time is the whole process. With --cli, the command-line
converter's conversion and its `check` of the same file are measured too,
both as whole processes, so the check's speed and memory compare with a
conversion's on equal terms; and for the files that --compressed names, the
command on two cores (--jobs 2) on the file and on its zstd (level 3) and
gzip (level 6) forms, FILE.zst and FILE.gz, made beside it once. The programs take turns, one run
each per round; every figure is the median of the rounds, and the best call
time is shown beside it. Every run writes a new file: the output of the
round before is removed first, untimed, as bench/jobs.py does.
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


def remove_output(path):
    """Removes the output a run is about to write, so that it writes a new
    file, as a first run does. Untimed: removing the last round's 48 MB
    output took 6 to 8 ms inside the call (the kernel frees its cached
    pages), and replacing it made ext4 start writing the new one back inside
    the rename (16 to 33 ms for the command, both cores idle). The ceiling
    writes nothing."""
    if os.path.exists(path):
        os.remove(path)


def measure(argv, timed_call=False, feeder=None):
    """Runs argv once; returns (wall s, call s, cpu s, peak RSS bytes).

    With timed_call, argv is a Python child that writes the duration of its
    call (seconds, as text) to the descriptor named by BENCH_TIMING_FD;
    otherwise the call time is the whole wall time. `feeder`, when given, is
    a command started first and waited for afterwards (it fills a FIFO).
    """
    feeding = subprocess.Popen(feeder) if feeder else None
    env = None
    pass_fds = ()
    if timed_call:
        read_end, write_end = os.pipe()
        env = dict(os.environ, BENCH_TIMING_FD=str(write_end))
        pass_fds = (write_end,)
    start = time.perf_counter()
    child = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                             env=env, pass_fds=pass_fds)
    if timed_call:
        os.close(write_end)
    _, status, usage = os.wait4(child.pid, 0)
    wall = time.perf_counter() - start
    if feeding:
        feeding.wait()
    call = wall
    if timed_call:
        with os.fdopen(read_end, "rb") as timing:
            reported = timing.read().decode().strip()
    child.returncode = os.waitstatus_to_exitcode(status)
    error = child.stderr.read().decode(errors="replace")
    child.stderr.close()
    if child.returncode != 0:
        sys.exit("failed (%d): %s\n%s" % (child.returncode, " ".join(argv), error))
    if timed_call:
        call = float(reported)
    return wall, call, usage.ru_utime + usage.ru_stime, usage.ru_maxrss * 1024


class Result:
    """The medians of the repeats, and the best call time."""

    def __init__(self, runs):
        self.wall, self.call, self.cpu, self.rss = (
            statistics.median(run[i] for run in runs) for i in range(4))
        self.best = min(run[1] for run in runs)


# The child times the call alone: start-up and import come before the clock.
CHILD = """import os, time
import ondravane_converter as m
start = time.perf_counter()
m.processor(%r, %r%s)
elapsed = time.perf_counter() - start
os.write(int(os.environ["BENCH_TIMING_FD"]), repr(elapsed).encode())
"""


def processor_argv(python, source, target, filtered):
    return [python, "-c", CHILD % (source, target, ", min=2, keep=100, seed=0" if filtered else "")]


def header_counts(w2v_path):
    """(rows, rows × dimension) from the header of the converter's unfiltered output."""
    with open(w2v_path, "rb") as header:
        rows, dimension = header.readline().split()
    return int(rows), int(rows) * int(dimension)


def bench_file(path, args, workdir, script_speed):
    size = os.path.getsize(path)
    megabytes = size / 1e6
    output = os.path.join(workdir, "out.w2v")
    filtered_output = os.path.join(workdir, "out-filter.w2v")
    fifo = os.path.join(workdir, "in.fifo")
    if not os.path.exists(fifo):
        os.mkfifo(fifo)
    memory_output = os.path.join(workdir, "out-memory.w2v")
    command_output = os.path.join(workdir, "out-command.w2v")
    compressed_output = os.path.join(workdir, "out-compressed.w2v")
    # Each program: its argv, whether the call is timed inside the child, the
    # command filling the FIFO, and the output it writes.
    programs = {
        "processor": (processor_argv(args.python, path, output, False), True, None, output),
        "processor, filter": (processor_argv(args.python, path, filtered_output, True), True, None,
                              filtered_output),
        "read once (FIFO)": (processor_argv(args.python, fifo, memory_output, False), True,
                             ["sh", "-c", 'cat "$0" > "$1"', path, fifo], memory_output),
        "ceiling, DOM": ([args.ceiling, "--dom", path], False, None, None),
        "ceiling, on demand": ([args.ceiling, "--ondemand", path], False, None, None),
    }
    if args.cli:
        # One job each, as processor works: bench/jobs.py measures the worker threads.
        programs["command"] = ([args.cli, path, command_output, "--jobs", "1"], False, None, command_output)
        programs["check"] = ([args.cli, "check", path, "--jobs", "1"], False, None, None)
        if path in args.compressed:
            for name, suffix in (("command -j 2", ""), ("command -j 2, zstd", ".zst"), ("command -j 2, gzip", ".gz")):
                source = path + suffix
                if suffix and not os.path.exists(source):
                    make = ["zstd", "-q", "-3", "-o", source, path] if suffix == ".zst" else ["sh", "-c", 'gzip -6 -c "$0" > "$1"', path, source]
                    subprocess.run(make, check=True)
                programs[name] = ([args.cli, source, compressed_output, "--jobs", "2"], False, None, compressed_output)
    # Round after round, each program once: a burst of load from elsewhere
    # on the machine then slows all rows alike instead of one row's repeats.
    runs = {name: [] for name in programs}
    for _ in range(args.repeat):
        for name, (argv, timed_call, feeder, written) in programs.items():
            if written:
                remove_output(written)
            runs[name].append(measure(argv, timed_call, feeder))
    results = {name: Result(runs[name]) for name in programs}
    os.remove(memory_output)
    occurrences, values = header_counts(output)
    os.remove(filtered_output)
    script_note = ""
    if megabytes <= args.script_limit:
        results["json script"] = Result([measure([args.python, os.path.join(HERE, "json_convert.py"), path, output])])
        file_script_speed = megabytes / results["json script"].call
        script_speed = script_speed or file_script_speed
    else:
        file_script_speed = script_speed
        if script_speed:
            script_note = " (json script not run on this size: its %.0f MB/s from the first file)" % script_speed
        else:
            script_note = " (json script not run on this size; no smaller file measured it)"
    os.remove(output)

    # Two readings keep 8 bytes an occurrence (12 with the filter's token
    # numbers and decisions), whatever the vectors' length and the layers.
    budget = 12 * occurrences + 64 * MIB
    ceilings = [results["ceiling, DOM"], results["ceiling, on demand"]]
    ceiling = min(ceilings, key=lambda result: result.call)
    ceiling_time = ceiling.call
    print("\n%s: %.0f MB, %d occurrences, %d first-layer values%s" % (
        os.path.basename(path), megabytes, occurrences, values, script_note))
    print("  speeds and ratios from the call time (processor: the call inside the child, without"
          " interpreter start-up and import; others: the whole process); median of %d interleaved rounds,"
          " best call beside it"
          % args.repeat)
    print("  %-18s %8s %8s %8s %8s %8s %9s %9s %9s %10s %7s" % (
        "program", "wall s", "call s", "best s", "cpu s", "MB/s", "/ceiling", "/script", "RSS MiB",
        "RSS/occ B", "budget"))
    for name, result in results.items():
        speed = megabytes / result.call
        in_budget = "ok" if result.rss <= budget else "OVER"
        print("  %-18s %8.3f %8.3f %8.3f %8.3f %8.0f %9.2f %9.2f %9.1f %10.2f %7s" % (
            name, result.wall, result.call, result.best, result.cpu, speed, ceiling_time / result.call,
            speed / file_script_speed if file_script_speed else 0, result.rss / MIB,
            result.rss / occurrences, in_budget if name.startswith(("processor", "read once")) else ""))
    plain = results["processor"]
    filtered = results["processor, filter"]
    memory = results["read once (FIFO)"]
    print("  processor at %.2f x the faster ceiling (best calls: %.2f x; targets >= 1.0 x on 4 layers,"
          " >= 1.4 x on 13); filter costs %+.1f %% (target <= 10 %%); read once (FIFO) %.2f x, its time %.2f x"
          " the regular file's (best calls: %.2f x; target <= 1.1 x);"
          " RSS budget 64 MiB + 12 B x occurrences = %.1f MiB" % (
              ceiling_time / plain.call, ceiling.best / plain.best,
              100 * (filtered.call / plain.call - 1), ceiling_time / memory.call, memory.call / plain.call,
              memory.best / plain.best, budget / MIB))
    if args.cli:
        command, checked = results["command"], results["check"]
        print("  check at %.2f x the speed of the command's conversion (best runs: %.2f x; target >= 1),"
              " peak RSS %.1f MiB against the conversion's %.1f MiB" % (
                  command.call / checked.call, command.best / checked.best, checked.rss / MIB, command.rss / MIB))
        os.remove(command_output)
        if path in args.compressed:
            uncompressed = results["command -j 2"]
            print("  compressed, on two cores: zstd %.2f x the uncompressed file's time (best runs: %.2f x; target <= 1.5 x),"
                  " gzip %.2f x (best runs: %.2f x); compressed sizes %.0f / %.0f MB" % (tuple(
                      value for name in ("zstd", "gzip")
                      for value in (results["command -j 2, " + name].call / uncompressed.call,
                                    results["command -j 2, " + name].best / uncompressed.best))
                  + tuple(os.path.getsize(path + suffix) / 1e6 for suffix in (".zst", ".gz"))))
            os.remove(compressed_output)
    return results, script_speed


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("files", nargs="+")
    parser.add_argument("--ceiling", required=True)
    parser.add_argument("--python", default=sys.executable)
    parser.add_argument("--cli", help="the command-line converter, for the command and check rows")
    parser.add_argument("--compressed", nargs="*", default=[],
                        help="files whose zstd and gzip forms the command converts too (with --cli)")
    parser.add_argument("--repeat", type=int, default=7)
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
        time_ratio = timings[large]["processor"].call / timings[small]["processor"].call
        filtered_ratio = timings[large]["processor, filter"].call / timings[small]["processor, filter"].call
        wall_ratio = timings[large]["processor"].wall / timings[small]["processor"].wall
        best_ratio = timings[large]["processor"].best / timings[small]["processor"].best
        print("\nscaling (median call times): %.2f x the input takes %.2f x the time without the filter,"
              " %.2f x with it (target 9 to 11 x for 10 x); best calls: %.2f x; whole processes: %.2f x" % (
                  size_ratio, time_ratio, filtered_ratio, best_ratio, wall_ratio))
        print("peak RSS: %.1f MiB on the small file, %.1f MiB on the large one (%.1f / %.1f MiB with the"
              " filter; read once: %.1f / %.1f MiB)" % tuple(
                  timings[path][row].rss / MIB
                  for row in ("processor", "processor, filter", "read once (FIFO)") for path in (small, large)))


if __name__ == "__main__":
    main()
