#!/usr/bin/env python3
"""Differential comparison of two builds of the module (a 32-bit x86 one
against a 64-bit one): the same seeded activation files converted by each,
their outputs compared byte for byte; and by each build's command line with
the options that combine layers, average them per token and write binary
(on files of their own whose occurrences all have three layers of one
length), their failures too.

    differential.py generate FOLDER [--files 1200] [--seed 1]
    differential.py convert FOLDER OUTPUTS      (with the interpreter under test)
    differential.py compare OUTPUTS_A OUTPUTS_B

The values are chosen where arithmetic that rounds late (x87) goes wrong:
16 to 20 significant digits (beyond what the first conversion holds exactly),
exact midpoints between neighbouring doubles and texts a digit away from
them, exponents near both ends of the range, subnormals and overflow. Some
files are filtered, so the thinning probability is compared too. Generation
uses integers only: the generating interpreter's float arithmetic never
decides a value.
"""
import argparse
import json
import os
import random
import subprocess
import sys
import sysconfig
from fractions import Fraction
from pathlib import Path

TOKENS = ["a", "b", "c", "d", "e", "Ġf", "##g"]


def digits(rng, count):
    return str(rng.randint(1, 9)) + "".join(str(rng.randint(0, 9)) for _ in range(count - 1))


def decimal_text(rng, significant, exponent):
    """`significant` digits with the decimal point somewhere and an exponent."""
    text = digits(rng, significant)
    point = rng.randint(1, significant)
    mantissa = text[:point] + ("." + text[point:] if point < significant else "")
    sign = "-" if rng.random() < 0.3 else ""
    return f"{sign}{mantissa}e{exponent}" if exponent else sign + mantissa


def midpoint_text(rng):
    """The exact decimal expansion of the midpoint between two neighbouring
    doubles (the tie case), or that text cut to 17-20 digits, or with its
    last kept digit moved by one."""
    exponent = rng.choice([rng.randint(-60, 60), rng.randint(-1074, -1000), rng.randint(900, 970)])
    odd = 2 * rng.randint(1 << 52, (1 << 53) - 1) + 1
    power = exponent - 1  # the midpoint is odd * 2^power, a finite decimal
    text, scale = (str(odd * 5**-power), -power) if power < 0 else (str(odd << power), 0)
    form = rng.randint(0, 2)
    if form > 0 and len(text) > 20:
        keep = rng.randint(17, 20)
        scale -= len(text) - keep
        cut = int(text[:keep]) + (rng.choice([-1, 1]) if form == 2 else 0)
        text = str(cut)
    return f"{text}e{-scale}" if scale else text


def extreme_text(rng):
    if rng.random() < 0.001:  # out of range: the whole file is rejected
        return rng.choice(["1.7976931348623159e308", "2e308", "1e999999999999"])
    significant = rng.randint(1, 20)
    return rng.choice([
        decimal_text(rng, significant, rng.randint(-345, -300) - significant),  # subnormal, underflow
        decimal_text(rng, significant, rng.randint(280, 307) - significant),
        "1.7976931348623157e308", "2.2250738585072011e-308",
        "2.2250738585072012e-308", "4.9406564584124654e-324", "2.4703282292062327e-324",
        "2.4703282292062328e-324", "9007199254740993", "18446744073709551615",
        "18446744073709551616", "123456789012345678901234567890", "0.12088995980580641",
        "1e23", "8.98846567431158e307", "1e-400", "-0", "0e999999999999",
    ])


def value_text(rng):
    kind = rng.random()
    if kind < 0.45:
        return decimal_text(rng, rng.randint(16, 20), rng.choice([0, 0, rng.randint(-30, 30)]))
    if kind < 0.75:
        return midpoint_text(rng)
    if kind < 0.95:
        return extreme_text(rng)
    return decimal_text(rng, rng.randint(1, 15), rng.randint(-22, 22))


def activation_line(rng, number, dimension=None, layer_count=None):
    """A line; with `dimension` and `layer_count`, every occurrence of it has
    that many layers of that length."""
    features = []
    for _ in range(rng.randint(1, 6)):
        length = dimension or rng.randint(1, 8)
        layers = [f'{{"index":{i},"values":[{",".join(value_text(rng) for _ in range(length))}]}}'
                  for i in range(layer_count or rng.randint(1, 2))]
        features.append(f'{{"token":{json.dumps(rng.choice(TOKENS))},"layers":[{",".join(layers)}]}}')
    return f'{{"linex_index":{number},"features":[{",".join(features)}]}}\n'


def generate(folder, files, seed):
    rng = random.Random(seed)
    folder.mkdir(parents=True, exist_ok=True)
    arguments = {}
    for index in range(files):
        name = f"case{index:04d}.jsonl"
        lines = [activation_line(rng, rng.randint(0, 99)) for _ in range(rng.randint(1, 12))]
        (folder / name).write_text("".join(lines), "utf-8")
        if rng.random() < 0.35:  # filtered: the thinning probability keep / count matters
            arguments[name] = {"min": rng.randint(0, 2), "keep": rng.randint(1, 6), "seed": rng.getrandbits(64)}
        else:
            arguments[name] = {}
        if index % 4 == 0:  # for the command line's options: layers 0 to 2 of one length
            dimension = rng.randint(1, 8)
            lines = [activation_line(rng, rng.randint(0, 99), dimension, 3) for _ in range(rng.randint(1, 12))]
            (folder / f"layers{index:04d}.jsonl").write_text("".join(lines), "utf-8")
    (folder / "arguments.json").write_text(json.dumps(arguments, indent=0, sort_keys=True))


# The command line's options where the arithmetic is its own: means and
# sums of layers, means of a token's occurrences, float32 rounding.
COMMAND_OPTIONS = [
    ["--layers", "0,1,2"],
    ["--layers", "2,0,1", "--combine", "sum"],
    ["--layers", "1,2", "--per-type"],
    ["--layers", "0,1,2", "--per-type", "--format", "binary"],
]


def convert_with_the_command(folder, outputs, arguments):
    """The files of layers by the command installed beside this interpreter,
    filtered as the case of the same number: its output and, when it fails
    (a value out of range), its message."""
    program = os.path.join(sysconfig.get_path("scripts"), "ondravane-converter")
    for path in sorted(folder.glob("layers*.jsonl")):
        name = path.name
        kwargs = arguments[name.replace("layers", "case")]
        filtering = [f"--{key}={value}" for key, value in sorted(kwargs.items())]
        for number, options in enumerate(COMMAND_OPTIONS):
            output = outputs / f"{name}.{number}.w2v"
            result = subprocess.run([program, str(folder / name), str(output), *filtering, *options],
                                    stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
            if result.returncode != 0:
                (outputs / f"{name}.{number}.failed").write_bytes(b"%d %s" % (result.returncode, result.stderr))


def convert(folder, outputs):
    import ondravane_converter

    outputs.mkdir(parents=True, exist_ok=True)
    arguments = json.loads((folder / "arguments.json").read_text())
    quiet = os.open(os.devnull, os.O_WRONLY)
    saved = os.dup(1)
    os.dup2(quiet, 1)  # the stage messages of a thousand conversions
    try:
        for name, kwargs in sorted(arguments.items()):
            ondravane_converter.processor(str(folder / name), str(outputs / (name + ".txt")), **kwargs)
    finally:
        os.dup2(saved, 1)
    convert_with_the_command(folder, outputs, arguments)
    print(f"converted {len(arguments)} files with {ondravane_converter.__file__} and its command line")


def compare(first, second):
    names = sorted(path.name for path in first.iterdir())
    if names != sorted(path.name for path in second.iterdir()):
        print("the two builds wrote different sets of files", file=sys.stderr)
        return 1
    differing = [name for name in names if (first / name).read_bytes() != (second / name).read_bytes()]
    values = sum(len(line.split()) - 1 for name in names if name.endswith(".txt")
                 for line in (first / name).read_text().splitlines()[1:])
    print(f"{len(names)} outputs, {values} values: {len(differing)} differ")
    for name in differing[:20]:
        print(f"  differs: {name}", file=sys.stderr)
    return 1 if differing else 0


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    commands = parser.add_subparsers(dest="command", required=True)
    make = commands.add_parser("generate")
    make.add_argument("folder", type=Path)
    make.add_argument("--files", type=int, default=1200)
    make.add_argument("--seed", type=int, default=1)
    run = commands.add_parser("convert")
    run.add_argument("folder", type=Path)
    run.add_argument("outputs", type=Path)
    check = commands.add_parser("compare")
    check.add_argument("first", type=Path)
    check.add_argument("second", type=Path)
    options = parser.parse_args()
    if options.command == "generate":
        generate(options.folder, options.files, options.seed)
    elif options.command == "convert":
        convert(options.folder, options.outputs)
    else:
        return compare(options.first, options.second)
    return 0


if __name__ == "__main__":
    sys.exit(main())
