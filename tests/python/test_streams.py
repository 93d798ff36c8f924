"""Inputs read once and compressed ones: a FIFO, standard input ("-"), gzip
and zstd data. Each gives the command's status, messages and output file
of the same bytes as a regular file, whatever faults they hold and where;
damaged compressed data fails as such, and the copy the second reading
reads fails cleanly where it cannot be written."""
import gzip
import json
import os
import random
import shutil
import struct
import subprocess
import sys
import threading

import pytest

from conftest import drawn_on_terminal
from test_cli import ERROR, program  # noqa: F401 (a fixture)

ZSTD = shutil.which("zstd")


@pytest.fixture(scope="module")
def formats(program):
    """The compressed formats the installed command reads, as its help says."""
    text = subprocess.run([program, "--help"], capture_output=True, check=True).stdout.decode()
    line = next(line for line in text.splitlines() if line.startswith("compressed input: "))
    return set(line.split(": ", 1)[1].split(", ")) - {"not supported by this build"}


def compressed(data, format):
    if format == "gzip":
        return gzip.compress(data)
    if ZSTD is None:
        pytest.skip("the zstd program is not installed (Debian: zstd)")
    return subprocess.run([ZSTD, "-q", "-3", "-c"], input=data, capture_output=True, check=True).stdout


TOKENS = ["the", "Ġcat", "##s", "a##b", "dog", "café", "", "k:1 2", "日本", "the", "dog"]


def widened_float32(value):
    return struct.unpack("<f", struct.pack("<f", value))[0]


def feature(rng):
    token = json.dumps(rng.choice(TOKENS), ensure_ascii=rng.random() < 0.5)
    # Lists of doubles, and of widened float32s as dumps of activations hold
    # them (their conversion often lands a unit beside the float32).
    value = rng.choice([lambda: rng.uniform(-3, 3), lambda: widened_float32(rng.gauss(0, 0.6))])
    first = ", ".join(repr(value()) if rng.random() < 0.9 else "-0.0" for _ in range(rng.choice([0, 2, 7])))
    layers = [f"[0, [{first}]]"] + [f'{{"index": {k}, "values": [1e-300]}}' for k in range(1, rng.randint(1, 3))]
    if rng.random() < 0.5:
        return f"[{token}, [{', '.join(layers)}]]"
    return f'{{"layers": [{", ".join(layers)}], "token": {token}}}'


def corpus(seed, sentences):
    """Sentences in both record forms, with escapes, sub-word marks, first
    layers of several lengths, later layers, CR LF endings, and on odd seeds
    no LF after the last line."""
    rng = random.Random(seed)
    lines = []
    for number in range(sentences):
        features = ", ".join(feature(rng) for _ in range(rng.randint(0, 5)))
        lines.append(f"[{number}, [{features}]]" if number % 2 else f'{{"features": [{features}], "linex_index": {number}}}')
    text = "".join(line + ("\r\n" if rng.random() < 0.2 else "\n") for line in lines).encode()
    return text.rstrip(b"\r\n") if seed % 2 else text


FAULTS = {
    "malformed": b'[3, [["x", [[0, [1.5, ]]]]]]',
    "not-utf8": b'[3, [["\xc3(", [[0, [1.5]]]]]]',
    "layerless": b'[3, [["t", [[0, [2]]]], ["lay", []]]]',  # "lay" occurs once: the filter drops it
}


def with_fault(data, fault, where):
    lines = data.split(b"\n")
    at = {"first": 0, "middle": len(lines) // 2, "last": len(lines) - 1}[where]
    lines[at] = FAULTS[fault] + (b"\r" if lines[at].endswith(b"\r") else b"")
    return b"\n".join(lines)


# way: (compressed format or None, how the command gets it)
WAYS = {
    "regular file": (None, "path"),
    "FIFO": (None, "fifo"),
    "- from a file": (None, "stdin file"),
    "- from a pipe": (None, "stdin pipe"),
    "gzip file": ("gzip", "path"),
    "zstd file": ("zstd", "path"),
    "gzip on -": ("gzip", "stdin pipe"),
    "zstd on -": ("zstd", "stdin pipe"),
}


def feed(path, data):
    def write():
        try:
            with open(path, "wb") as fifo:
                fifo.write(data)
        except BrokenPipeError:
            pass  # the command stopped reading at a malformed line
    feeder = threading.Thread(target=write)
    feeder.start()
    return feeder


def run_way(program, folder, way, data, arguments, formats):
    """Runs `program INPUT OUTPUT *arguments` with `data` given the way `way`
    says. Returns (status, stdout, stderr with the input's name as INPUT,
    output file or None)."""
    format, how = WAYS[way]
    if format is not None and format not in formats:
        pytest.skip(f"this build of the command cannot read {format}")
    payload = compressed(data, format) if format else data
    source, output = folder / f"{way}.in", folder / f"{way}.out"
    stdin, feeder = subprocess.DEVNULL, None
    if how == "fifo":
        os.mkfifo(source)
        feeder = feed(source, payload)
    else:
        source.write_bytes(payload)
    if how == "stdin file":
        stdin = open(source, "rb")
    elif how == "stdin pipe":
        stdin = subprocess.PIPE
    name = "-" if how.startswith("stdin") else str(source)
    piped = {"input": payload} if stdin == subprocess.PIPE else {"stdin": stdin}
    completed = subprocess.run([program, name, str(output), *arguments], capture_output=True, timeout=120, **piped)
    if feeder is not None:
        feeder.join()
    if how == "stdin file":
        stdin.close()
    stderr = completed.stderr.decode().replace(ERROR + ("<stdin>" if name == "-" else name), ERROR + "INPUT")
    return completed.returncode, completed.stdout, stderr, output.read_bytes() if output.exists() else None


CORPORA = [("clean", None)] + [(fault, where) for fault in FAULTS for where in ("first", "middle", "last")]


@pytest.mark.parametrize("filtered", [False, True], ids=["all", "filtered"])
@pytest.mark.parametrize("jobs", ["1", "2"])
@pytest.mark.parametrize("fault, where", CORPORA, ids=[f"{f}-{w}" if w else f for f, w in CORPORA])
def test_every_way_in_gives_the_bytes_of_a_regular_file(program, tmp_path, formats, fault, where, jobs, filtered):
    data = corpus(len(fault) + len(where or ""), 60)
    if where:
        data = with_fault(data, fault, where)
    arguments = ["--jobs", jobs] + (["--min", "2", "--keep", "3", "--seed", "7"] if filtered else [])
    expected = run_way(program, tmp_path, "regular file", data, arguments, formats)
    assert expected[0] == {"clean": 0, "malformed": 3, "not-utf8": 1, "layerless": 0 if filtered else 1}[fault]
    for way in WAYS:
        if way != "regular file" and (WAYS[way][0] is None or WAYS[way][0] in formats):
            assert run_way(program, tmp_path, way, data, arguments, formats) == expected, way


def test_many_chunks_and_blocks_through_every_way(program, tmp_path, formats):
    # About 6 MB: several chunks of the readings and blocks of the decoders.
    data = corpus(7, 12_000)
    expected = run_way(program, tmp_path, "regular file", data, ["--min", "1"], formats)
    assert expected[0] == 0
    for way in ("FIFO", "- from a pipe", "gzip on -", "zstd file"):
        if WAYS[way][0] is None or WAYS[way][0] in formats:
            assert run_way(program, tmp_path, way, data, ["--min", "1"], formats) == expected, way


def test_a_file_named_dash_after_double_dash(program, tmp_path):
    (tmp_path / "-").write_bytes(b'[0, [["a", [[0, [1.5]]]]]]\n')
    result = subprocess.run([program, "--", "-", "out.txt"], stdin=subprocess.DEVNULL, capture_output=True, cwd=tmp_path)
    assert result.returncode == 0, result.stderr
    assert (tmp_path / "out.txt").read_bytes() == b"1 1\na:0:0 1.5\n"


def test_standard_input_that_is_the_output_is_refused(program, tmp_path):
    output = tmp_path / "out.txt"
    output.write_bytes(b'[0, [["a", [[0, [1.5]]]]]]\n')
    with open(output, "rb") as stdin:
        result = subprocess.run([program, "-", str(output)], stdin=stdin, capture_output=True)
    assert (result.returncode, result.stdout) == (1, b"")
    assert result.stderr.decode() == f"{ERROR}the output path names the input file: {output}\n"
    assert output.read_bytes() == b'[0, [["a", [[0, [1.5]]]]]]\n'


@pytest.mark.parametrize("format", [None, "gzip", "zstd"])
def test_check_reads_standard_input_and_compressed_data(program, tmp_path, formats, format):
    if format is not None and format not in formats:
        pytest.skip(f"this build cannot read {format}")
    data = with_fault(corpus(3, 40), "malformed", "middle")
    source = tmp_path / "in.jsonl"
    source.write_bytes(data)
    expected = subprocess.run([program, "check", str(source), "--json"], capture_output=True)
    payload = compressed(data, format) if format else data
    result = subprocess.run([program, "check", "-", "--json"], input=payload, capture_output=True)
    assert (result.returncode, result.stderr) == (expected.returncode, expected.stderr) == (1, b"")
    assert json.loads(result.stdout) == dict(json.loads(expected.stdout), input="<stdin>")


def test_processor_reads_a_fifo_as_the_file(tmp_path):
    data = with_fault(corpus(5, 200), "layerless", "last")
    source = tmp_path / "in.jsonl"
    source.write_bytes(data)
    fifo = tmp_path / "in.fifo"
    os.mkfifo(fifo)
    outcomes = []
    for path, output in ((source, tmp_path / "file.txt"), (fifo, tmp_path / "fifo.txt")):
        # The call holds the interpreter lock while it waits in open():
        # another process feeds the FIFO.
        feeder = subprocess.Popen(["sh", "-c", 'cat "$0" > "$1"', str(source), str(fifo)]) if path == fifo else None
        code = f"""
import ondravane_converter as m
try:
    m.processor({str(path)!r}, {str(output)!r}, min=1)
except BaseException as error:
    print("raised", error)
"""
        completed = subprocess.run([sys.executable, "-c", code], capture_output=True, timeout=120)
        if feeder:
            feeder.wait()
        outcomes.append((completed.stdout, output.read_bytes()))
    assert outcomes[0] == outcomes[1]
    assert b"raised index out of bounds" in outcomes[0][0]


def test_the_bar_counts_compressed_bytes(program, tmp_path, formats):
    if "gzip" not in formats:
        pytest.skip("this build cannot read gzip")
    data = corpus(2, 3000)
    source = tmp_path / "in.jsonl.gz"
    source.write_bytes(gzip.compress(data))
    size = source.stat().st_size
    status, _, drawn = drawn_on_terminal([program, str(source), "out.txt", "--jobs", "1"], tmp_path)
    assert status == 0
    # Each frame ends "POSITION/LENGTH"; the reading's come first.
    frames = [frame.decode().rstrip() for frame in drawn.split(b"\r\x1b[2K") if frame.strip()]
    bars = [tuple(int(n) for n in frame.rsplit(" ", 1)[1].split("/")) for frame in frames]
    assert bars[0][1] == size < len(data)
    reading = [position for position, length in bars if length == size]
    assert reading == sorted(reading) and 0 < reading[0] <= size


def damaged(data, format, how):
    """`data` compressed, then cut short, or with a byte changed in the middle."""
    packed = bytearray(compressed(data, format))
    if how == "truncated":
        return bytes(packed[: len(packed) * 2 // 3])
    packed[len(packed) // 2] ^= 0x41
    return bytes(packed)


@pytest.mark.parametrize("command", ["convert", "check"])
@pytest.mark.parametrize("on_stdin", [False, True], ids=["file", "stdin"])
@pytest.mark.parametrize("how", ["truncated", "changed"])
@pytest.mark.parametrize("format", ["gzip", "zstd"])
def test_damaged_compressed_data_fails_and_says_where(program, tmp_path, formats, format, how, on_stdin, command):
    if format not in formats:
        pytest.skip(f"this build cannot read {format}")
    source = tmp_path / "in.jsonl.x"
    source.write_bytes(damaged(corpus(4, 4000), format, how))
    output = tmp_path / "out.txt"
    output.write_bytes(b"the previous output\n")
    name = "-" if on_stdin else str(source)
    arguments = ["check", name] if command == "check" else [name, str(output)]
    with open(source, "rb") as stdin:
        result = subprocess.run([program, *arguments], stdin=stdin, capture_output=True, timeout=120)
    message = result.stderr.decode()
    assert result.returncode == 1, message
    assert message.startswith(f"{ERROR}the compressed input {'<stdin>' if on_stdin else source} is damaged: "
                              f"its {format} data ")
    assert " at compressed byte " in message and message.count("\n") == 1
    assert output.read_bytes() == b"the previous output\n"
    assert sorted(os.listdir(tmp_path)) == ["in.jsonl.x", "out.txt"]


SPILL_FAILURE = "cannot write the second reading's copy of the input in "


def small_tmpfs(folder):
    """A 1 MiB file system mounted at `folder`, or a skip."""
    if os.geteuid() != 0:
        pytest.skip("mounting a small file system needs root")
    folder.mkdir()
    mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1m", "tmpfs", str(folder)], capture_output=True)
    if mounted.returncode != 0:
        pytest.skip(f"cannot mount a tmpfs here: {mounted.stderr.decode().strip()}")
    return folder


@pytest.fixture
def full_folder(tmp_path):
    folder = small_tmpfs(tmp_path / "small")
    yield folder
    subprocess.run(["umount", str(folder)], check=True)


def big_lines(count):
    return b"".join(b'[%d, [["t", [[0, [%s]]]]]]\n' % (i, b", ".join([b"0.123456789"] * 50)) for i in range(count))


@pytest.mark.parametrize("front_end", ["command", "processor"])
def test_a_full_file_system_fails_the_copy_and_names_it(program, full_folder, tmp_path, front_end):
    # The output's folder holds the copy: 3 MB of first layers do not fit in 1 MiB.
    output = full_folder / "out.txt"
    output.write_bytes(b"the previous output\n")
    data = big_lines(5000)
    if front_end == "command":
        result = subprocess.run([program, "-", str(output)], input=data, capture_output=True, timeout=120)
        assert result.returncode == 1
        assert result.stderr.decode() == (f"{ERROR}{SPILL_FAILURE}{full_folder}: called `Result::unwrap()` on an "
                                          'Err` value: Os { code: 28, kind: StorageFull, message: "No space left on device" }\n'
                                          .replace("Err`", "`Err`"))
        assert output.read_bytes() == b"the previous output\n"
    else:
        code = f"import ondravane_converter as m\ntry:\n m.processor('/dev/stdin', {str(output)!r})\nexcept BaseException as e:\n print(e)"
        result = subprocess.run([sys.executable, "-c", code], input=data, capture_output=True, timeout=120)
        assert f"{SPILL_FAILURE}{full_folder}: ".encode() in result.stdout
        assert b"kind: StorageFull" in result.stdout
    assert sorted(os.listdir(full_folder)) == (["out.txt"])


def test_the_copy_goes_to_tmpdir_for_an_output_written_in_place(program, full_folder, tmp_path):
    # /dev/null is written in place: the copy goes to TMPDIR, here too small.
    result = subprocess.run([program, "-", "/dev/null"], input=big_lines(5000), capture_output=True, timeout=120,
                            env=dict(os.environ, TMPDIR=str(full_folder)))
    assert result.returncode == 1
    assert result.stderr.decode().startswith(f"{ERROR}{SPILL_FAILURE}{full_folder}: ")
    assert os.listdir(full_folder) == []
    missing = tmp_path / "missing"
    result = subprocess.run([program, "-", "/dev/null"], input=big_lines(10), capture_output=True, timeout=120,
                            env=dict(os.environ, TMPDIR=str(missing)))
    assert result.returncode == 1
    assert result.stderr.decode().startswith(
        f"{ERROR}cannot make the second reading's copy of the input in {missing}: called `Result::unwrap()` on an "
        "`Err` value: Os { code: 2, kind: NotFound")


def test_the_file_size_limit_fails_the_copy(program, tmp_path):
    import resource
    limit = lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (100_000, resource.RLIM_INFINITY))  # noqa: E731
    output = tmp_path / "out.txt"
    result = subprocess.run([program, "-", str(output)], input=big_lines(5000), capture_output=True, timeout=120,
                            preexec_fn=limit)
    assert result.returncode == 1
    assert result.stderr.decode().startswith(f"{ERROR}{SPILL_FAILURE}{tmp_path}: ")
    assert "kind: FileTooLarge" in result.stderr.decode()
    assert not output.exists() and os.listdir(tmp_path) == []
