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
the one of --jobs 1 byte for byte. Figures are medians of the rounds.

It ends with the projection to larger machines: N workers convert at about
min(N x the measured speed per core, the measured read bandwidth), the speed
per core taken from --jobs 1's CPU time.
"""
import argparse
import filecmp
import os
import sys
import tempfile

from runner import MIB, Result, measure


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
            per_core = megabytes / one.cpu
            bandwidth = megabytes / results["read only"].call
            print("  projection: %.0f MB/s per core (from -j 1's CPU time), read bandwidth %.0f MB/s:"
                  " the read bandwidth becomes the limit from about %.0f workers" % (
                      per_core, bandwidth, bandwidth / per_core))
            for cores in (8, 16, 32, 64, 128):
                print("    %3d cores: about %6.0f MB/s" % (cores, min(cores * per_core, bandwidth)))


if __name__ == "__main__":
    main()
