#!/usr/bin/env python3
"""Measures the command line's conversion and check on worker threads.

    jobs.py --cli ondravane-converter --ceiling BUILD/ceiling [--repeat 5] [--max-jobs N] FILE [FILE ...]

For each FILE, in one run of interleaved rounds (each program once per
round, so a burst of load from elsewhere slows every row alike): the
conversion with --jobs 1, 2, ... up to --max-jobs (default: the processors
available), the check with --jobs 1 and the most jobs, the ceiling's
on-demand front end (one thread, the fastest general parser visiting every
number), and a plain read of the file into nothing (the read bandwidth, the
file in the page cache as for the others). Every output is compared with
the one of --jobs 1 byte for byte, and removed before the next round's run
(untimed), so that each run writes a new file. Figures are medians of the
rounds.

It ends with the projection to larger machines by Amdahl's law, with the
read bandwidth as the other limit. The calling thread's serial share is
measured: its CPU time in the run with the most jobs (from the scheduler's
count of the thread's time on a processor, sampled every millisecond), the
work no worker can take (handing out chunks, taking them back in order,
numbering, the bar, writing the output). N workers then take about
serial + (one thread's time - serial) / N, and never read faster than the
cached file can be read.
"""
import argparse
import filecmp
import glob
import os
import statistics
import subprocess
import sys
import tempfile
import time

from runner import MIB, Result, measure, remove_output


def remove_outputs(argv, outputs):
    """Removes the output argv writes (runner.remove_output: untimed, so that
    every run writes a new file), the same for every --jobs."""
    for output in outputs:
        if output in argv:
            remove_output(output)


def calling_thread_seconds(argv):
    """Runs argv; returns the CPU time of its first thread, which hands the
    chunks out and takes them back, and the CPU time of all its threads."""
    child = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    seen = {}
    while child.poll() is None:
        for path in glob.glob("/proc/%d/task/*/schedstat" % child.pid):
            try:
                with open(path) as stat:
                    seen[path.split("/")[4]] = int(stat.read().split()[0]) / 1e9
            except (OSError, ValueError, IndexError):
                pass
        time.sleep(0.001)
    return seen.get(str(child.pid), 0.0), sum(seen.values())


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("files", nargs="+")
    parser.add_argument("--cli", required=True)
    parser.add_argument("--ceiling", required=True)
    parser.add_argument("--repeat", type=int, default=5)
    parser.add_argument("--max-jobs", type=int, default=len(os.sched_getaffinity(0)))
    args = parser.parse_args()
    job_counts = list(range(1, max(args.max_jobs, 2) + 1))
    with tempfile.TemporaryDirectory(prefix="ondravane-jobs-") as workdir:
        for path in args.files:
            megabytes = os.path.getsize(path) / 1e6
            outputs = {jobs: os.path.join(workdir, "out-%d.w2v" % jobs) for jobs in job_counts}
            programs = {"convert -j %d" % jobs: [args.cli, path, outputs[jobs], "--jobs", str(jobs)]
                        for jobs in job_counts}
            programs["check -j 1"] = [args.cli, "check", path, "--jobs", "1"]
            programs["check -j %d" % job_counts[-1]] = [args.cli, "check", path, "--jobs", str(job_counts[-1])]
            programs["ceiling, on demand"] = [args.ceiling, "--ondemand", path]
            programs["read only"] = ["sh", "-c", 'cat "$0" > /dev/null', path]
            runs = {name: [] for name in programs}
            for _ in range(args.repeat):
                for name, argv in programs.items():
                    remove_outputs(argv, outputs.values())
                    runs[name].append(measure(argv))
            for jobs in job_counts[1:]:
                if not filecmp.cmp(outputs[1], outputs[jobs], shallow=False):
                    sys.exit("--jobs %d wrote another file than --jobs 1" % jobs)
            results = {name: Result(runs[name]) for name in programs}
            one = results["convert -j 1"]
            ceiling = results["ceiling, on demand"]
            print("\n%s: %.0f MB; medians of %d interleaved rounds; outputs identical for every --jobs"
                  % (os.path.basename(path), megabytes, args.repeat))
            print("  %-20s %8s %8s %8s %8s %10s %10s %9s" % (
                "program", "wall s", "best s", "cpu s", "MB/s", "/ -j 1", "/ceiling", "RSS MiB"))
            for name, result in results.items():
                print("  %-20s %8.3f %8.3f %8.3f %8.0f %10.2f %10.2f %9.1f" % (
                    name, result.call, result.best, result.cpu, megabytes / result.call,
                    one.call / result.call, ceiling.call / result.call, result.rss / MIB))
            bandwidth = megabytes / results["read only"].call
            most = job_counts[-1]
            for name, argv in (("convert", programs["convert -j %d" % most]),
                               ("check", programs["check -j %d" % most])):
                samples = []
                for _ in range(args.repeat):
                    remove_outputs(argv, outputs.values())
                    samples.append(calling_thread_seconds(argv))
                serial = statistics.median(sample[0] for sample in samples)
                single = results["%s -j 1" % name].call
                share = serial / single
                print("  %s: the calling thread takes %.3f s (%.1f ms a GB) at -j %d, a serial share of %.1f %%"
                      " of one thread's %.3f s; read bandwidth %.0f MB/s" % (
                          name, serial, serial / megabytes * 1e6, most, 100 * share, single, bandwidth))
                for cores in (2, 4, 16, 64):
                    speedup = 1 / (share + (1 - share) / cores)
                    rate = min(speedup * megabytes / single, bandwidth)
                    print("    %3d cores: %5.2f x one thread by Amdahl, about %6.0f MB/s%s" % (
                        cores, speedup, rate, " (the read bandwidth)" if rate == bandwidth else ""))


if __name__ == "__main__":
    main()
