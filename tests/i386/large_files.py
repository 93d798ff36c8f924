#!/usr/bin/env python3
"""Files beyond the 32-bit offsets: an input larger than 4 GiB whose output
is larger than 2 GiB, made cheaply. Each line carries a padding member that the
reader checks and drops, and values of 1e-300, each written out as
"0.000…0001" (302 characters) in the output.

    large_files.py make INPUT [--input-bytes N] [--output-bytes N]
    large_files.py convert INPUT OUTPUT       (with the interpreter under test)
    large_files.py digest FILE                (prints size and SHA-256)
"""
import argparse
import hashlib
import os
import sys

TWO_GIB = 1 << 31
VALUE = "1e-300"
VALUE_WRITTEN = 1 + 302  # a space and "0." followed by 299 zeros and a 1
VALUES_PER_LINE = 4096


def make(path, input_bytes, output_bytes):
    values = -(-output_bytes // VALUE_WRITTEN)
    lines = -(-values // VALUES_PER_LINE)
    head = '{"linex_index":%d,"padding":"'
    tail = '","features":[{"token":"t","layers":[{"index":0,"values":[' + ",".join([VALUE] * VALUES_PER_LINE) + "]}]}]}\n"
    padding = max(0, -(-input_bytes // lines) - len(head) - len(tail))
    chunk = b"x" * padding
    with open(path, "wb") as out:
        for number in range(lines):
            out.write((head % number).encode())
            out.write(chunk)
            out.write(tail.encode())
    print(f"{path}: {os.path.getsize(path)} bytes, {lines} lines of {VALUES_PER_LINE} values")


def convert(source, target):
    import ondravane_converter

    ondravane_converter.processor(source, target)


def digest(path):
    sha = hashlib.sha256()
    with open(path, "rb") as source:
        while block := source.read(1 << 22):
            sha.update(block)
    print(os.path.getsize(path), sha.hexdigest())


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    commands = parser.add_subparsers(dest="command", required=True)
    maker = commands.add_parser("make")
    maker.add_argument("input")
    maker.add_argument("--input-bytes", type=int, default=2 * TWO_GIB + (64 << 20))
    maker.add_argument("--output-bytes", type=int, default=TWO_GIB + (64 << 20))
    converter = commands.add_parser("convert")
    converter.add_argument("input")
    converter.add_argument("output")
    hasher = commands.add_parser("digest")
    hasher.add_argument("file")
    options = parser.parse_args()
    if options.command == "make":
        make(options.input, options.input_bytes, options.output_bytes)
    elif options.command == "convert":
        convert(options.input, options.output)
    else:
        digest(options.file)
    return 0


if __name__ == "__main__":
    sys.exit(main())
