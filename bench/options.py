#!/usr/bin/env python3
"""Measures what the command line's options that choose what is written cost
over the plain conversion.

    options.py --cli ondravane-converter [--baseline OTHER-CLI] [--row NAME ...] [--repeat 7] [--jobs 1] FILE [FILE ...]

For each FILE (the benchmark files number their layers 0 to L-1), in one run
of interleaved rounds, whole processes: the plain conversion, the first
layer chosen by its index (--layer 0), the mean of the first four layers
(--layers 0,1,2,3), their mean per token (--per-type), the plain conversion
in the binary format and the mean of four in binary. With --baseline, the
plain conversion by another build of the command as well (the same file
must come out), to compare a change against the build before it; --row
plain then times just the two builds' plain conversions. Figures are
medians of the rounds; ratios are over the plain conversion's time.
"""
import argparse
import filecmp
import os
import sys
import tempfile

from runner import MIB, Result, measure

MEAN_OF_FOUR = ["--layers", "0,1,2,3"]
ROWS = {
    "plain": [],
    "--layer 0": ["--layer", "0"],
    "mean of 4": MEAN_OF_FOUR,
    "mean of 4, per type": MEAN_OF_FOUR + ["--per-type"],
    "binary": ["--format", "binary"],
    "mean of 4, binary": MEAN_OF_FOUR + ["--format", "binary"],
}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("files", nargs="+")
    parser.add_argument("--cli", required=True)
    parser.add_argument("--baseline")
    parser.add_argument("--repeat", type=int, default=7)
    parser.add_argument("--jobs", type=int, default=1)
    parser.add_argument("--row", action="append", dest="rows",
                        help="a row to run, by name (repeatable; plain is always run; default: every row)")
    args = parser.parse_args()
    args.rows = args.rows or list(ROWS)
    unknown = set(args.rows) - set(ROWS)
    if unknown:
        parser.error("unknown rows: %s (known: %s)" % (", ".join(sorted(unknown)), ", ".join(ROWS)))
    rows = {name: options for name, options in ROWS.items() if name == "plain" or name in args.rows}
    with tempfile.TemporaryDirectory(prefix="ondravane-options-") as workdir:
        for path in args.files:
            megabytes = os.path.getsize(path) / 1e6
            outputs = {name: os.path.join(workdir, "out-%d.w2v" % k) for k, name in enumerate(rows)}
            programs = {name: [args.cli, path, outputs[name], "--jobs", str(args.jobs), *options]
                        for name, options in rows.items()}
            if args.baseline:
                outputs["plain, baseline"] = os.path.join(workdir, "baseline.w2v")
                programs["plain, baseline"] = [args.baseline, path, outputs["plain, baseline"], "--jobs", str(args.jobs)]
            runs = {name: [] for name in programs}
            for _ in range(args.repeat):
                for name, argv in programs.items():
                    runs[name].append(measure(argv))
            if "--layer 0" in rows and not filecmp.cmp(outputs["plain"], outputs["--layer 0"], shallow=False):
                sys.exit("--layer 0 wrote another file than the plain conversion")
            if args.baseline and not filecmp.cmp(outputs["plain"], outputs["plain, baseline"], shallow=False):
                sys.exit("the baseline wrote another file")
            results = {name: Result(runs[name]) for name in programs}
            plain = results["plain"]
            print("\n%s: %.0f MB, --jobs %d; medians of %d interleaved rounds"
                  % (os.path.basename(path), megabytes, args.jobs, args.repeat))
            print("  %-22s %8s %8s %8s %8s %10s %9s %10s" % (
                "options", "wall s", "best s", "cpu s", "MB/s", "/ plain", "RSS MiB", "output MB"))
            for name, result in results.items():
                print("  %-22s %8.3f %8.3f %8.3f %8.0f %10.2f %9.1f %10.1f" % (
                    name, result.call, result.best, result.cpu, megabytes / result.call,
                    result.call / plain.call, result.rss / MIB, os.path.getsize(outputs[name]) / 1e6))


if __name__ == "__main__":
    main()
