"""Inputs of hostile shape: each must be handled in time linear in its size,
with memory that follows what is kept rather than what is read.

Every case converts a file and one ten times smaller in a fresh interpreter,
which reports the best time of three calls on each and its peak resident memory. Linear work
keeps the time ratio near 10; the quadratic behaviour these inputs provoke
would make it near 100, so the bound of 35 leaves room for a busy machine.
Memory bounds are stated per case."""
import json
import os
import subprocess
import sys

import pytest

MB = 1 << 20
UNDER_ASAN = "libasan" in os.environ.get("LD_PRELOAD", "")

CHILD = """
import json, resource, sys, time
import ondravane_converter as m

def peak():
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024

output = sys.argv[1]
base = peak()
report = {"base": base, "calls": []}
for source in sys.argv[2:]:
    # The best of three calls: a burst of load on a shared machine can slow
    # one call several times over, and the bound is about the work.
    seconds = []
    for _ in range(3):
        started = time.perf_counter()
        m.processor(source, output)
        seconds.append(time.perf_counter() - started)
    report["calls"].append({"seconds": min(seconds), "peak": peak()})
print(json.dumps(report))
"""


def write_chunks(path, pieces):
    """Writes an iterable of str pieces without holding the whole file."""
    with open(path, "w", encoding="utf-8") as f:
        for piece in pieces:
            f.write(piece)
    return path


def repeated(text, count, chunk=1 << 16):
    full, rest = divmod(count, chunk)
    for _ in range(full):
        yield text * chunk
    yield text * rest


def convert(tmp_path, make, size):
    """Converts make(size // 10) and then make(size); returns (report, output path)."""
    small = write_chunks(tmp_path / "small.jsonl", make(size // 10))
    large = write_chunks(tmp_path / "large.jsonl", make(size))
    output = tmp_path / "out.txt"
    result = subprocess.run(
        [sys.executable, "-c", CHILD, str(output), str(small), str(large)],
        stdout=subprocess.PIPE,
        stderr=subprocess.PIPE,
        timeout=600,
    )
    assert result.returncode == 0, result.stderr.decode(errors="replace")[-3000:]
    report = json.loads(result.stdout.decode().splitlines()[-1])
    small.unlink()
    large.unlink()
    return report, output


def assert_linear(report):
    small, large = report["calls"]
    # Tiny inputs are dominated by fixed costs; the ratio only bounds growth.
    assert large["seconds"] <= 35 * max(small["seconds"], 0.01), report


def peak_growth(report):
    return report["calls"][-1]["peak"] - report["base"]


# --- one 200 MB line, almost all of it read and dropped ----------------------


def skipped_string(size):
    yield '{"linex_index":0,"features":[["t",[[0,[1,2]]]]],"pad":"'
    yield from repeated("x", size)
    yield '"}\n'


def discarded_layer(size):
    # Every layer is checked, only the first is kept.
    yield '[0,[["t",[[0,[1,2]],[1,['
    yield from repeated("0.5,", size // 4)
    yield "1]]]]]]\n"


@pytest.mark.parametrize("make", [skipped_string, discarded_layer], ids=["skipped-string", "discarded-layer"])
def test_a_200_mb_line(tmp_path, make):
    size = 200 * MB
    report, output = convert(tmp_path, make, size)
    assert output.read_bytes() == b"1 2\nt:0:0 1 2\n"
    assert_linear(report)
    # Only the line itself is held (in a buffer that grows by doubling).
    assert peak_growth(report) < 3 * size, report


# --- many features, a huge token ---------------------------------------------


def million_features(count):
    yield "[0,["
    yield from repeated('["t",[[0,[1.5]]]],', count - 1)
    yield '["t",[[0,[1.5]]]]]]\n'


def test_a_million_features(tmp_path):
    count = 1_000_000
    report, output = convert(tmp_path, million_features, count)
    with open(output, "rb") as f:
        assert f.readline() == b"1000000 1\n"
        lines = f.readlines()
    assert len(lines) == count
    assert lines[0] == b"t:0:0 1.5\n" and lines[-1] == b"t:0:999999 1.5\n"
    assert_linear(report)
    # Each feature keeps a token, one layer and one value: a few hundred bytes
    # at most, allocator overhead and the line buffer included.
    assert peak_growth(report) < 400 * count, report


def big_token(piece, decoded):
    def make(size):
        yield '[0,[["'
        yield from repeated(piece, size // len(piece))
        yield '",[[0,[1]]]]]]\n'

    make.piece, make.decoded = piece, decoded
    return make


TOKENS = {
    "plain": big_token("a", b"a"),
    "escaped": big_token("\\u00e9", "\u00e9".encode()),
    "surrogate-pairs": big_token("\\ud83d\\ude00", "\U0001F600".encode()),
    "raw-multibyte": big_token("\u65e5", "\u65e5".encode()),
    "markers": big_token("##\u0120", b""),  # everything is removed
}


@pytest.mark.parametrize("name", TOKENS)
def test_a_10_mb_token(tmp_path, name):
    make = TOKENS[name]
    size = 10 * MB
    report, output = convert(tmp_path, make, size)
    expected_token = make.decoded * (size // len(make.piece))
    assert output.read_bytes() == b"1 1\n" + expected_token + b":0:0 1\n"
    assert_linear(report)
    assert peak_growth(report) < 8 * size, report


# --- a skipped member nested ten million levels deep --------------------------


def nested(opening, middle, closing):
    def make(depth):
        yield '{"linex_index":0,"features":[],"deep":'
        yield from repeated(opening, depth)
        yield middle
        yield from repeated(closing, depth)
        yield "}\n"

    return make


NESTINGS = {
    "arrays": nested("[", "", "]"),
    "objects": nested('{"a":', "null", "}"),
    "mixed": nested('[{"":', '"\\ud800"', "}]"),
}


@pytest.mark.parametrize("name", NESTINGS)
def test_a_skipped_member_ten_million_levels_deep(tmp_path, name):
    depth = 10_000_000
    report, output = convert(tmp_path, NESTINGS[name], depth)
    assert output.read_bytes() == b"0 0\n"
    assert_linear(report)
    # One byte of bookkeeping per open level, no call stack.
    assert peak_growth(report) < 400 * MB, report


def test_unclosed_nesting_is_rejected(tmp_path):
    def make(depth):
        yield '{"linex_index":0,"features":[],"deep":'
        yield from repeated("[", depth)
        yield "}\n"

    report, output = convert(tmp_path, make, 10_000_000)
    assert output.read_bytes() == b"0 0\n"
    assert_linear(report)


# --- the largest index everywhere ---------------------------------------------


def test_largest_index_everywhere(module, tmp_path):
    top = 2**32 - 1
    line = json.dumps([top, [["t", [[top, [1.0]], [top, [2.0]]]], ["u", [{"index": top, "values": [3.0]}]]]])
    source = tmp_path / "in.jsonl"
    source.write_text((line + "\n") * 1000)
    output = tmp_path / "out.txt"
    module.processor(str(source), str(output))
    expected = "2000 1\n" + f"t:{top}:0 1\nu:{top}:1 3\n" * 1000
    assert output.read_text() == expected

    # One past it, in any index position, rejects the file.
    for bad in [line.replace(str(top), str(top + 1), 1), line.replace(str(top), str(top + 1))]:
        source.write_text(line + "\n" + bad + "\n")
        module.processor(str(source), str(output))
        assert output.read_text() == "0 0\n"
