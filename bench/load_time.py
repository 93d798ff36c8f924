#!/usr/bin/env python3
"""Measures how long gensim takes to load the same vectors from a text and a
binary output of the command line.

    load_time.py --cli ondravane-converter --python PYTHON-WITH-GENSIM [--repeat 3] FILE [OPTIONS...]

Converts FILE twice with the given conversion options (for example
--per-type), once as text and once with --format binary, checks that both
hold the same keys and that every binary value is the float32 of the text's
double, then times KeyedVectors.load_word2vec_format in a fresh interpreter
for each, interleaved (the call alone, not the interpreter's start or the
import). Figures are medians of the rounds.
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile

LOAD = """
import sys, time
from gensim.models import KeyedVectors
start = time.perf_counter()
vectors = KeyedVectors.load_word2vec_format(sys.argv[1], binary=sys.argv[2] == "binary")
print(time.perf_counter() - start, len(vectors), vectors.vector_size)
"""

SAME = """
import sys, numpy
from gensim.models import KeyedVectors
text = KeyedVectors.load_word2vec_format(sys.argv[1], binary=False, datatype=numpy.float64)
binary = KeyedVectors.load_word2vec_format(sys.argv[2], binary=True)
assert text.index_to_key == binary.index_to_key
assert (text.vectors.astype(numpy.float32).view(numpy.uint32) == binary.vectors.view(numpy.uint32)).all()
"""


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("file")
    parser.add_argument("options", nargs="*")
    parser.add_argument("--cli", required=True)
    parser.add_argument("--python", required=True)
    parser.add_argument("--repeat", type=int, default=3)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory(prefix="ondravane-load-") as workdir:
        outputs = {}
        for form in ("text", "binary"):
            outputs[form] = os.path.join(workdir, "vectors." + form)
            extra = ["--format", "binary"] if form == "binary" else []
            subprocess.run([args.cli, args.file, outputs[form], *args.options, *extra], check=True,
                           stdout=subprocess.DEVNULL)
        subprocess.run([args.python, "-c", SAME, outputs["text"], outputs["binary"]], check=True)
        times = {form: [] for form in outputs}
        for _ in range(args.repeat):
            for form, path in outputs.items():
                printed = subprocess.run([args.python, "-c", LOAD, path, form], check=True,
                                         capture_output=True, text=True).stdout.split()
                times[form].append(float(printed[0]))
                shape = "%s x %s" % (printed[1], printed[2])
        print("%s %s: %s vectors; medians of %d interleaved rounds" % (
            os.path.basename(args.file), " ".join(args.options), shape, args.repeat))
        for form, path in outputs.items():
            print("  %-6s %8.1f MB  load %7.2f s" % (form, os.path.getsize(path) / 1e6, statistics.median(times[form])))
        print("  text / binary: %.1f x the load time" % (
            statistics.median(times["text"]) / statistics.median(times["binary"])))


if __name__ == "__main__":
    sys.exit(main())
