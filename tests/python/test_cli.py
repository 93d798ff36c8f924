"""The command-line converter: the same files, messages and progress bars as
processor for the same arguments, its option syntax, and its exit statuses."""
import errno
import json
import os
import random
import resource
import shutil
import subprocess
import sys
import sysconfig
from pathlib import Path

import pytest

from conftest import drawn_on_terminal, record, run_python, write_lines

PROGRAM = "ondravane-converter"
USAGE = (
    "usage: ondravane-converter INPUT OUTPUT [--min N] [--keep N] [--seed N] [--jobs N]\n"
    "                           [--layer I | --layers I,J,... [--combine mean|sum|concat]]\n"
    "                           [--per-type] [--format text|binary]\n"
    "       ondravane-converter check INPUT [--max-problems N] [--json] [--jobs N] [the same\n"
    "                           --layer, --layers, --combine, --per-type and --format]\n"
    "       ondravane-converter --help | --version\n"
)
ERROR = "ondravane-converter: error: "
READ = "Start Reading! (This may take a while)\n"
FILTER = "Start Filtering!\nStart Counting!\nStart Filtering based on then counted value!\n"
WRITE = "Start Writing!(This may take a while)\n"
FINISH = "Finish Writing!\n"

INT64 = ("-9223372036854775808", "9223372036854775807")
UINT64 = ("0", "18446744073709551615")


@pytest.fixture(scope="module")
def program():
    """The converter installed next to this interpreter by `pip install .`."""
    beside = Path(sysconfig.get_path("scripts")) / PROGRAM
    found = str(beside) if beside.exists() else shutil.which(PROGRAM)
    if found is None:
        pytest.fail(f"{PROGRAM} is not installed in {beside.parent} nor on PATH")
    return found


def run_cli(program, arguments, **kwargs):
    kwargs.setdefault("stdout", subprocess.PIPE)
    return subprocess.run(
        [program, *arguments], stdin=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=120, **kwargs
    )


def run_processor(tmp_path, source, output, arguments, **kwargs):
    """Calls processor in a fresh interpreter. Returns (stdout text, message of
    the PanicException or None)."""
    outcome = tmp_path / "outcome.json"
    outcome.unlink(missing_ok=True)
    result = run_python(
        f"""
        import json, ondravane_converter as m
        try:
            m.processor({source!r}, {output!r}, **{arguments!r})
            outcome = None
        except BaseException as error:
            outcome = [type(error).__name__, str(error)]
        with open({str(outcome)!r}, "w") as f:
            json.dump(outcome, f)
        """,
        **kwargs,
    )
    assert result.returncode == 0, result.stderr
    raised = json.loads(outcome.read_text())
    if raised is not None:
        assert raised[0] == "PanicException"
        raised = raised[1]
    return (result.stdout.decode() if result.stdout is not None else None), raised


def corpus(sentences=120, seed=3):
    """Sentences over a small, skewed vocabulary (so the filter has rare and
    frequent tokens), with sub-word marks, several layers and awkward values."""
    rng = random.Random(seed)
    vocabulary = ["the", "Ġthe", "cat", "##s", "Ġsat", "on", "mat", "##ing", "é", "日本", "rare", "a:b"]
    weights = [30, 10, 8, 6, 5, 5, 3, 3, 2, 2, 1, 1]
    lines = []
    for index in range(sentences):
        features = []
        for _ in range(rng.randint(0, 9)):
            # Now and then a token of its own, which a minimum of 2 drops.
            token = f"once{index}" if rng.random() < 0.05 else rng.choices(vocabulary, weights)[0]
            layers = [[rng.choice([rng.gauss(0, 1), -0.0, 1e-7, 3.4e38]) for _ in range(4)] for _ in range(3)]
            features.append((token, layers))
        lines.append(record(index, *features))
    return lines


@pytest.fixture(scope="module")
def source(tmp_path_factory):
    return write_lines(tmp_path_factory.mktemp("cli") / "corpus.jsonl", corpus())


# (command-line arguments, the same call's keyword arguments for processor)
SAME_CALLS = [
    ([], {}),
    (["--min", "0"], {"min": 0}),
    (["--min", "2"], {"min": 2}),
    (["--min", "2", "--keep", "3", "--seed", "7"], {"min": 2, "keep": 3, "seed": 7}),
    (["--seed=7", "--keep=3", "--min=2"], {"min": 2, "keep": 3, "seed": 7}),
    (["--min", "-5", "--keep", "0"], {"min": -5, "keep": 0}),
    (["--min", "1", "--keep", "4", "--seed", UINT64[1]], {"min": 1, "keep": 4, "seed": 2**64 - 1}),
    (["--min", INT64[0], "--keep", INT64[1]], {"min": -(2**63), "keep": 2**63 - 1}),
    (["--min", "+03", "--keep", "-0", "--seed", "-0"], {"min": 3, "keep": 0, "seed": 0}),
    (["--min", "2", "--keep", "-1"], {"min": 2, "keep": -1}),
    (["--keep", "2", "--seed", "9"], {"keep": 2, "seed": 9}),
    # Worker threads change nothing a run leaves behind (the default is one per processor).
    (["--jobs", "1"], {}),
    (["-j", "2", "--min", "2", "--keep", "3", "--seed", "7"], {"min": 2, "keep": 3, "seed": 7}),
    (["--jobs=3", "--min", "0"], {"min": 0}),
    (["-j", "8", "--keep", "2", "--seed", "9"], {"keep": 2, "seed": 9}),
    (["--jobs", "1024"], {}),
]


@pytest.mark.parametrize("options, arguments", SAME_CALLS, ids=[" ".join(o) or "defaults" for o, _ in SAME_CALLS])
def test_same_file_and_messages_as_processor(program, source, tmp_path, options, arguments):
    by_python, by_cli = tmp_path / "python.txt", tmp_path / "cli.txt"
    stdout, raised = run_processor(tmp_path, source, str(by_python), arguments)
    assert raised is None
    result = run_cli(program, [source, str(by_cli), *options])
    assert (result.returncode, result.stderr) == (0, b"")
    assert result.stdout.decode() == stdout == READ + (FILTER if "min" in arguments else "") + WRITE + FINISH
    assert by_cli.read_bytes() == by_python.read_bytes()


@pytest.mark.skipif("libasan" in os.environ.get("LD_PRELOAD", ""),
                    reason="an address-space limit cannot hold under ASan's shadow memory")
def test_more_jobs_than_the_system_can_start(program, source, tmp_path):
    # 1024 thread stacks and their chunks do not fit in a 1 GiB address space
    # (nor in a 32-bit process's): the command starts at most one worker per
    # processor, and converts to the same file.
    by_python, by_cli = tmp_path / "python.txt", tmp_path / "cli.txt"
    run_processor(tmp_path, source, str(by_python), {})
    limit = lambda: resource.setrlimit(resource.RLIMIT_AS, (1 << 30, resource.RLIM_INFINITY))  # noqa: E731
    result = run_cli(program, [source, str(by_cli), "--jobs", "1024"], preexec_fn=limit)
    assert (result.returncode, result.stderr) == (0, b"")
    assert by_cli.read_bytes() == by_python.read_bytes()


def test_every_option_reaches_the_conversion(program, source, tmp_path):
    """Each option changes the file for this corpus, so the comparisons above
    would notice an option that the converter dropped."""
    variants = {
        "none": [],
        "min": ["--min", "2"],
        "keep": ["--min", "2", "--keep", "5"],
        "seed": ["--min", "2", "--keep", "5", "--seed", "1"],
    }
    files = {}
    for name, options in variants.items():
        output = tmp_path / f"{name}.txt"
        assert run_cli(program, [source, str(output), *options]).returncode == 0
        files[name] = output.read_bytes()
    assert len(set(files.values())) == len(files)


@pytest.mark.parametrize(
    "layout",
    [
        ["--min", "2", "{in}", "{out}"],
        ["{in}", "--min", "2", "{out}"],
        ["--min=2", "--", "{in}", "{out}"],
    ],
)
def test_options_anywhere_and_double_dash(program, tmp_path, layout):
    # A path starting with "-" needs "--" in front of it; elsewhere "--" is harmless.
    dash = "--" in layout
    source = write_lines(tmp_path / ("-corpus.jsonl" if dash else "corpus.jsonl"), corpus(20))
    expected = tmp_path / "expected.txt"
    run_processor(tmp_path, source, str(expected), {"min": 2})
    names = {"{in}": Path(source).name, "{out}": "-out.txt" if dash else "out.txt"}
    result = run_cli(program, [names.get(argument, argument) for argument in layout], cwd=tmp_path)
    assert result.returncode == 0, result.stderr
    assert (tmp_path / names["{out}"]).read_bytes() == expected.read_bytes()


# A malformed line: the same file and messages as processor, and beyond it
# status 3 with the line's place (PATH:LINE:COLUMN, from 1) and what is wrong.
# (the lines of the file, the bad line's number, the text where it goes
# wrong, the reason)
MALFORMED_LINES = [
    ([record(0, ("a", [[1.0]])), "{not json", record(1, ("b", [[2.0]]))], 2, "not", "expected a string key"),
    ([record(0, ("a", [[1.0]])), ""], 2, "", "empty line"),
    (['[0, [["a", [[-1, [1.0]], [-2, [2.0]]]]]]'], 1, "-1", "layer index 'index' is negative"),
    (['[0, [["a", [[0, [1.0]], [1, [NaN]]]]]]'], 1, "NaN", "NaN and Infinity are not JSON numbers"),
]


@pytest.mark.parametrize("minimum", [None, 1])
@pytest.mark.parametrize("lines, number, where, reason", MALFORMED_LINES, ids=[m[3] for m in MALFORMED_LINES])
def test_malformed_line_as_in_processor_then_status_3(program, tmp_path, minimum, lines, number, where, reason):
    source = write_lines(tmp_path / "in.jsonl", lines)
    place = f"{number}:{lines[number - 1].index(where) + 1}"
    options, arguments = ([], {}) if minimum is None else (["--min", str(minimum)], {"min": minimum})
    stdout, raised = run_processor(tmp_path, source, str(tmp_path / "python.txt"), arguments)
    result = run_cli(program, [source, str(tmp_path / "cli.txt"), *options])
    assert raised is None and result.returncode == 3
    assert result.stderr.decode() == (
        f"{ERROR}{source}:{place}: {reason}; the output holds no record (ondravane-converter check lists every problem)\n"
    )
    assert result.stdout.decode() == stdout
    assert "Error parsing line\n" in stdout
    assert (tmp_path / "cli.txt").read_bytes() == (tmp_path / "python.txt").read_bytes() == b"0 0\n"


def failure_setup(case, tmp_path):
    """Returns (input path, output path, keyword arguments for running both
    front ends) that make the conversion fail."""
    good = write_lines(tmp_path / "good.jsonl", [record(0, ("a", [[1.0, 2.0]]))])
    if case == "missing input":
        return str(tmp_path / "absent.jsonl"), str(tmp_path / "out.txt"), {}
    if case == "input is a directory":
        (tmp_path / "folder").mkdir()
        return str(tmp_path / "folder"), str(tmp_path / "out.txt"), {}
    if case == "input not UTF-8":
        (tmp_path / "latin1.jsonl").write_bytes(b'[0, [["caf\xe9", [[0, [1]]]]]]\n')
        return str(tmp_path / "latin1.jsonl"), str(tmp_path / "out.txt"), {}
    if case == "output is a directory":
        (tmp_path / "taken").mkdir()
        return good, str(tmp_path / "taken"), {}
    if case == "output folder missing":
        return good, str(tmp_path / "no" / "out.txt"), {}
    if case == "output is the input":
        return good, good, {}
    if case == "feature without layers":
        bad = write_lines(tmp_path / "bad.jsonl", [record(0, ("a", [[1.0]])), '[1, [["b", [[0, [3]]]], ["c", []]]]'])
        return bad, str(tmp_path / "out.txt"), {}
    if case == "file size limit":
        big = write_lines(tmp_path / "big.jsonl", [record(0, *[(f"t{i}", [[i * 0.5, -1.0]]) for i in range(300)])])
        limit = lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (1000, resource.RLIM_INFINITY))  # noqa: E731
        return big, str(tmp_path / "out.txt"), {"preexec_fn": limit}
    raise AssertionError(case)


def file_state(path):
    return Path(path).read_bytes() if Path(path).is_file() else None


@pytest.mark.parametrize(
    "case",
    [
        "missing input",
        "input is a directory",
        "input not UTF-8",
        "output is a directory",
        "output folder missing",
        "output is the input",
        "feature without layers",
        "file size limit",
    ],
)
def test_failure_exits_1_with_the_message_of_processor(program, tmp_path, case):
    # The command replaces its output only with a complete file: what was at
    # the output path stays, and nothing else is left in its folder.
    source, output, kwargs = failure_setup(case, tmp_path)
    folder = Path(output).parent
    if folder.is_dir() and not Path(output).exists():
        Path(output).write_bytes(b"the previous output\n")
    before = file_state(output)
    listing = sorted(os.listdir(folder)) if folder.is_dir() else None
    # Not killed by a signal (a write past the file-size limit is a failure).
    result = run_cli(program, [source, output, "--min", "1"], **kwargs)
    assert result.returncode == 1
    assert file_state(output) == before
    assert (sorted(os.listdir(folder)) if folder.is_dir() else None) == listing
    stdout, message = run_processor(tmp_path, source, output, {"min": 1}, **kwargs)
    assert message, "processor was expected to fail"
    # Only the message: no usage text and no Python-style report line.
    assert result.stderr.decode() == ERROR + message + "\n"
    assert result.stdout.decode() == stdout


def closed_pipe():
    reader, writer = os.pipe()
    os.close(reader)
    return writer


def stdout_failure(error):
    return f"failed printing to stdout: {os.strerror(error)} (os error {error})"


# A closed descriptor 1 for a conversion is a case of the next test.
@pytest.mark.parametrize(
    "broken, command",
    [
        ("closed pipe", "convert"),
        ("closed pipe", "--help"),
        ("closed pipe", "--version"),
        ("closed descriptor", "--help"),
        ("closed descriptor", "--version"),
    ],
)
def test_unwritable_standard_output_is_a_failure(program, source, tmp_path, broken, command):
    if broken == "closed pipe":
        writer, error = closed_pipe(), errno.EPIPE
        kwargs = {"stdout": writer}
    else:
        writer, error = None, errno.EBADF
        kwargs = {"stdout": None, "preexec_fn": lambda: os.close(1)}
    output = tmp_path / "cli.txt"
    try:
        if command == "convert":
            _, message = run_processor(tmp_path, source, str(tmp_path / "python.txt"), {}, **kwargs)
            assert message == stdout_failure(error)
            result = run_cli(program, [source, str(output)], **kwargs)
        else:
            result = run_cli(program, [command], **kwargs)
    finally:
        if writer is not None:
            os.close(writer)
    assert (result.returncode, result.stderr.decode()) == (1, ERROR + stdout_failure(error) + "\n")
    # The first stage message failed: nothing was read or written.
    assert not output.exists() and not (tmp_path / "python.txt").exists()


@pytest.mark.parametrize("fails", [False, True], ids=["complete", "failure mid-file"])
@pytest.mark.parametrize("closed", [1, 2], ids=["stdout closed", "stderr closed"])
def test_closed_standard_stream_never_reaches_the_output(program, tmp_path, closed, fails):
    lines = [record(0, ("a", [[1.0, 2.0]])), record(1, ("b", [[0.5, -0.25]]))]
    if fails:
        lines.append('[2, [["c", []]]]')  # a feature without layers fails the writer there
    source = write_lines(tmp_path / "in.jsonl", lines)
    # As under ">&-" or "2>&-": the files opened next would take that descriptor.
    close = {"preexec_fn": lambda: os.close(closed)}
    if closed == 1:
        close["stdout"] = None
    stdout, message = run_processor(tmp_path, source, str(tmp_path / "python.txt"), {}, **close)
    result = run_cli(program, [source, str(tmp_path / "cli.txt")], **close)
    if closed == 1:
        # The first stage message fails before any file is opened.
        assert message == stdout_failure(errno.EBADF)
        assert (result.returncode, result.stderr.decode()) == (1, ERROR + message + "\n")
        assert not (tmp_path / "python.txt").exists() and not (tmp_path / "cli.txt").exists()
        return
    expected = (b"3 2\n" if fails else b"2 2\n") + b"a:0:0 1 2\nb:1:0 0.5 -0.25\n"
    assert message == ("index out of bounds: the len is 0 but the index is 0" if fails else None)
    assert result.returncode == (1 if fails else 0)
    assert stdout == result.stdout.decode() == READ + WRITE + ("" if fails else FINISH)
    assert (tmp_path / "python.txt").read_bytes() == expected
    # The command keeps a failed output from the output path altogether.
    if fails:
        assert not (tmp_path / "cli.txt").exists()
    else:
        assert (tmp_path / "cli.txt").read_bytes() == expected


def number_error(option, value):
    low, high = {"--seed": UINT64, "--jobs": ("1", "1024"), "--layer": ("-4294967295", "4294967295")}.get(option, INT64)
    return f"{option} takes an integer from {low} to {high}, not '{value}'"


@pytest.mark.parametrize(
    "arguments, message",
    [
        ([], "the arguments INPUT and OUTPUT are required"),
        (["{in}"], "the argument OUTPUT is required"),
        (["{in}", "{out}", "extra"], "too many arguments: expected INPUT and OUTPUT only"),
        (["{in}", "{out}", "--bogus"], "unknown option '--bogus'"),
        (["{in}", "{out}", "--bogus=1"], "unknown option '--bogus'"),
        (["{in}", "{out}", "-m", "2"], "unknown option '-m'"),
        (["{in}", "{out}", "--Min", "2"], "unknown option '--Min'"),
        (["{in}", "{out}", "--min"], "option '--min' needs a value"),
        (["{in}", "{out}", "--min", "1", "--min", "1"], "option '--min' given more than once"),
        (["{in}", "{out}", "--keep=1", "--keep", "2"], "option '--keep' given more than once"),
        (["{in}", "{out}", "--seed", "1", "--seed=1"], "option '--seed' given more than once"),
        (["{in}", "{out}", "--jobs", "2", "-j", "2"], "option '--jobs' given more than once"),
        (["{in}", "{out}", "-j"], "option '-j' needs a value"),
        (["{in}", "{out}", "--jobs", "0"], number_error("--jobs", "0")),
        (["{in}", "{out}", "-j", "1025"], number_error("--jobs", "1025")),
        (["{in}", "{out}", "--jobs=-1"], number_error("--jobs", "-1")),
        (["{in}", "{out}", "-j4"], "unknown option '-j4'"),
        (["--help=1"], "option '--help' takes no value"),
        (["{in}", "{out}", "--version=x"], "option '--version' takes no value"),
        (["{in}", "{out}", "--help="], "option '--help' takes no value"),
        (["{in}", "{out}", "--layer", "-1", "--layers", "-1,-2"], "options '--layer' and '--layers' exclude each other"),
        (["{in}", "{out}", "--layer", "-1", "--layer=-2"], "option '--layer' given more than once"),
        (["{in}", "{out}", "--combine", "sum"], "option '--combine' needs '--layers'"),
        (["{in}", "{out}", "--layer", "-1", "--combine", "sum"], "option '--combine' needs '--layers'"),
        (["{in}", "{out}", "--layers", "-1", "--combine", "max"], "--combine takes mean, sum or concat, not 'max'"),
        (["{in}", "{out}", "--format", "bin"], "--format takes text or binary, not 'bin'"),
        (["{in}", "{out}", "--format"], "option '--format' needs a value"),
        (["{in}", "{out}", "--per-type=yes"], "option '--per-type' takes no value"),
        (["{in}", "{out}", "--per-type", "--per-type"], "option '--per-type' given more than once"),
        (["{in}", "{out}", "--layer", "4294967296"], "--layer takes an integer from -4294967295 to 4294967295, not '4294967296'"),
        (["{in}", "{out}", "--layer=-4294967296"], "--layer takes an integer from -4294967295 to 4294967295, not '-4294967296'"),
    ]
    + [
        (["{in}", "{out}", "--layers", value],
         f"--layers takes an integer from -4294967295 to 4294967295 or several separated by commas, not '{value}'")
        for value in ["", ",", "-1,", ",-1", "-1,,-2", "-1, -2", "-1;-2", "1.5", "-4294967296,1"]
    ],
)
def test_bad_usage_exits_2(program, tmp_path, arguments, message):
    assert_usage_error(program, tmp_path, arguments, message)


# Text that is not an optional sign followed by decimal digits, even where
# Python's int() would read it.
MALFORMED = ["", "+", "-", "--5", "1.5", "1e3", " 5", "5 ", "1_000", "0x10", "\u0663", "five"]


@pytest.mark.parametrize("option", ["--min", "--keep", "--seed", "--jobs", "--layer"])
@pytest.mark.parametrize("value", MALFORMED, ids=repr)
def test_malformed_numbers_exit_2(program, tmp_path, option, value):
    assert_usage_error(program, tmp_path, ["{in}", "{out}", f"{option}={value}"], number_error(option, value))


def assert_usage_error(program, tmp_path, arguments, message):
    source = write_lines(tmp_path / "in.jsonl", [record(0, ("a", [[1.0]]))])
    output = tmp_path / "out.txt"
    names = {"{in}": source, "{out}": str(output)}
    result = run_cli(program, [names.get(argument, argument) for argument in arguments])
    assert result.returncode == 2
    assert result.stdout == b""
    assert result.stderr.decode() == USAGE + ERROR + message + "\n"
    assert not output.exists()


# The integers on either side of each end of a parameter's range.
EDGES = [
    ("min", -(2**63) - 1, False),
    ("min", -(2**63), True),
    ("min", 2**63 - 1, True),
    ("min", 2**63, False),
    ("keep", -(2**63) - 1, False),
    ("keep", 2**63 - 1, True),
    ("keep", 2**63, False),
    ("keep", 10**30, False),
    ("seed", -1, False),
    ("seed", 0, True),
    ("seed", 2**64 - 1, True),
    ("seed", 2**64, False),
]


@pytest.mark.parametrize("name, value, accepted", EDGES)
def test_numeric_ranges_match_the_python_parameters(program, module, tmp_path, name, value, accepted):
    source = write_lines(tmp_path / "in.jsonl", [record(0, ("a", [[1.0]]))])
    # The Python parameter is the reference: it takes or refuses this integer.
    arguments = {"min": 1, name: value}
    if accepted:
        module.processor(source, str(tmp_path / "python.txt"), **arguments)
    else:
        with pytest.raises(OverflowError):
            module.processor(source, str(tmp_path / "python.txt"), **arguments)
    # The value as its own argument after the option, also when it is negative.
    options = [argument for key, number in arguments.items() for argument in (f"--{key}", str(number))]
    result = run_cli(program, [source, str(tmp_path / "cli.txt"), *options])
    if accepted:
        assert result.returncode == 0, result.stderr
        assert (tmp_path / "cli.txt").read_bytes() == (tmp_path / "python.txt").read_bytes()
    else:
        assert result.returncode == 2
        assert result.stderr.decode().endswith(ERROR + number_error(f"--{name}", str(value)) + "\n")


@pytest.mark.parametrize("flag", ["--help", "-h"])
def test_help(program, flag):
    result = run_cli(program, [flag])
    assert (result.returncode, result.stderr) == (0, b"")
    text = result.stdout.decode()
    assert text.startswith(USAGE)
    for option in ("--min N", "--keep N", "--seed N", "--jobs N", "--version", "--layer I", "--layers I,J,...",
                   "--combine mean|sum|concat", "--per-type", "--format text|binary"):
        assert option in text


def test_version(program, module):
    result = run_cli(program, ["--version"])
    assert (result.returncode, result.stderr) == (0, b"")
    assert result.stdout.decode() == module.version() + "\n"


def test_runs_without_python(program, source, tmp_path):
    readelf = shutil.which("readelf")
    if readelf is None:
        pytest.skip("readelf (binutils) is not installed")
    dynamic = subprocess.run([readelf, "-d", program], capture_output=True, text=True, check=True).stdout
    needed = [line for line in dynamic.splitlines() if "(NEEDED)" in line]
    assert needed and not any("libpython" in line for line in needed)
    # No environment at all: no PATH, no PYTHONHOME, no locale.
    result = run_cli(program, [source, str(tmp_path / "out.txt")], env={})
    assert result.returncode == 0, result.stderr
    assert (tmp_path / "out.txt").read_bytes().startswith(b"%d 4\n" % sum(len(r["features"]) for r in corpus()))


@pytest.mark.parametrize("jobs", [[], ["--jobs", "1"], ["-j", "3"]], ids=["default jobs", "one job", "three jobs"])
def test_same_progress_bars_as_processor(program, tmp_path, jobs):
    # Few enough steps per bar that every step is drawn (no rate limiting),
    # so both runs draw the same bytes.
    source = write_lines(tmp_path / "in.jsonl", [record(i, ("tok", [[1.0, 2.0]])) for i in range(3)])
    code = f"import ondravane_converter as m; m.processor({source!r}, 'python.txt', 1)"
    by_python = drawn_on_terminal([sys.executable, "-c", code], tmp_path)
    by_cli = drawn_on_terminal([program, source, "cli.txt", "--min", "1", *jobs], tmp_path)
    assert by_python[0] == by_cli[0] == 0
    assert by_cli[1] == by_python[1]
    assert "█".encode() in by_cli[2] and by_cli[2].endswith(b"\r\x1b[2K")
    assert by_cli[2] == by_python[2]
