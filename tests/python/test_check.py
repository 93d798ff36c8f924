"""`ondravane-converter check`: what it reports for the layouts that empty a
conversion or that loaders misread, its options and exit statuses, and that it
flags exactly the lines the conversion rejects."""
import json
from pathlib import Path

import pytest

from conftest import ROOT, record, write_lines
from test_cli import ERROR, USAGE, corpus, program, run_cli  # noqa: F401 (program is a fixture)

ENDS_INSIDE = "the line ends inside the record (each record must stand whole on one line)"
NOT_UTF8 = "not UTF-8 (the conversion fails here: stream did not contain valid UTF-8)"
GOOD = [record(0, ("a", [[0.5, 1.0], [2.0]])), record(1, ("b", [[1.5, -1.0]]))]


def lines_of(*items):
    """Bytes of a file: records as JSON, str and bytes as they are, each ended by LF."""
    out = b""
    for item in items:
        if isinstance(item, dict):
            item = json.dumps(item)
        out += (item.encode() if isinstance(item, str) else item) + b"\n"
    return out


PRETTY = json.dumps(record(0, ("a", [[1.0]])), indent=2).encode()

# (name, file bytes, the first problem as (line, text where it goes wrong,
# reason) or None, the warning raised as (key, count, first line) or None,
# the conversion's exit status)
CASES = [
    ("negative layer indices", lines_of(*GOOD, '[2, [["c", [[-1, [1.0]], [-2, [2.0]]]]]]'),
     (3, "-1", "layer index 'index' is negative"), None, 3),
    ("blank last line", lines_of(*GOOD, ""), (3, "", "empty line"), None, 3),
    ("byte-order mark", "\ufeff".encode() + lines_of(*GOOD),
     (1, "\ufeff", "byte-order mark (the file must be UTF-8 without one)"), None, 3),
    ("NaN in a later layer", lines_of(*GOOD, '[2, [["c", [[0, [1.0]], [1, [NaN]]]]]]'),
     (3, "NaN", "NaN and Infinity are not JSON numbers"), None, 3),
    ("pretty-printed", PRETTY + b"\n", (1, "\n", ENDS_INSIDE), None, 3),
    ("invalid UTF-8", lines_of(*GOOD, b'[2, [["caf\xe9", [[0, [1.0]]]]]]'), (3, "\ufffd", NOT_UTF8), None, 1),
    ("mixed lengths", lines_of(*GOOD, record(2, ("c", [[1.0, 2.0, 3.0]]))), None, ("length_differs", 1, 3), 0),
    ("repeated sentence numbers", lines_of(*GOOD, *GOOD), None, ("repeated_sentence", 2, 3), 0),
    ("tokens with spaces", lines_of(record(0, ("New York", [[1.0]]), ("a", [[1.0]]), ("b c", [[2.0]]))),
     None, ("token_with_space", 2, 1), 0),
]


def column_of(content, number, where):
    """1-based byte column of `where` in line `number` (decoded leniently)."""
    line = content.split(b"\n")[number - 1].decode("utf-8", "replace") + "\n"
    return len(line[: line.index(where)].encode()) + 1


def check(program, source, *options):
    return run_cli(program, ["check", source, *options])


@pytest.mark.parametrize("name, content, problem, warning, conversion", CASES, ids=[c[0] for c in CASES])
def test_reports_the_layouts_that_go_wrong(program, tmp_path, name, content, problem, warning, conversion):
    source = tmp_path / "in.jsonl"
    source.write_bytes(content)
    result = check(program, str(source), "--json")
    assert result.stderr == b""
    report = json.loads(result.stdout)
    assert result.returncode == (0 if problem is None else 1)
    assert report["ok"] is (problem is None)
    if problem is not None:
        number, where, reason = problem
        column = column_of(content, number, where)
        assert report["problems"][0] == {
            "line": number, "column": column, "kind": "not-utf8" if reason == NOT_UTF8 else "rejected", "reason": reason,
        }
        assert report["reading_stops_at"] == number
        text = check(program, str(source)).stdout.decode()
        assert text.startswith(f"{source}:{number}:{column}: {reason}\n")
    else:
        assert report["problems"] == [] and report["reading_stops_at"] is None
    for key, tally in report["warnings"].items():
        expected = {"count": warning[1], "first_line": warning[2]} if warning and key == warning[0] else None
        assert tally == (expected or {"count": 0, "first_line": None}), key
    converted = run_cli(program, [str(source), str(tmp_path / "out.txt")])
    assert converted.returncode == conversion
    if conversion == 3:
        assert converted.stderr.decode().startswith(f"{ERROR}{source}:{number}:{column}: {reason};")


@pytest.mark.parametrize("jobs", [[], ["--jobs", "1"], ["-j", "3"]], ids=["default jobs", "one job", "three jobs"])
def test_a_valid_file_in_summary(program, tmp_path, jobs):
    lines = corpus(300)
    source = write_lines(tmp_path / "in.jsonl", lines)
    result = check(program, source, "--json", *jobs)
    assert (result.returncode, result.stderr) == (0, b"")
    report = json.loads(result.stdout)
    occurrences = sum(len(line["features"]) for line in lines)
    assert (report["lines"], report["sentences"], report["occurrences"]) == (300, 300, occurrences)
    assert report["layers_per_occurrence"] == [{"value": 3, "count": occurrences, "first_line": 1}]
    assert report["first_layer_lengths"] == [{"value": 4, "count": occurrences, "first_line": 1}]
    assert report["header_length"] == 4 and report["problem_count"] == 0
    text = check(program, source).stdout.decode()
    assert text.endswith("result: 0 problems; the conversion writes every record\n")
    assert f"summary: 300 lines, 300 accepted (sentences), holding {occurrences} occurrences\n" in text


def test_lists_up_to_max_problems_and_counts_all(program, tmp_path):
    source = write_lines(tmp_path / "in.jsonl", ["[-1, []]"] * 30)
    text = check(program, source, "--max-problems", "3")
    assert text.returncode == 1
    listed = [line for line in text.stdout.decode().splitlines() if line.startswith(source)]
    assert listed == [f"{source}:{n}:2: sentence number 'linex_index' is negative" for n in (1, 2, 3)]
    assert "... 27 more problems not listed (--max-problems)\n" in text.stdout.decode()
    report = json.loads(check(program, source, "--max-problems=0", "--json").stdout)
    assert (report["problems"], report["problem_count"], report["reading_stops_at"]) == ([], 30, 1)
    default = json.loads(check(program, source, "--json").stdout)
    assert len(default["problems"]) == 20
    # The largest limit lists everything (it must not wrap to a small one).
    largest = json.loads(check(program, source, "--json", "--max-problems", str(2**64 - 1)).stdout)
    assert len(largest["problems"]) == 30


@pytest.mark.parametrize(
    "arguments, message",
    [
        (["check"], "check needs the argument INPUT"),
        (["check", "a", "b"], "too many arguments: check takes INPUT only"),
        (["check", "a", "--max-problems"], "option '--max-problems' needs a value"),
        (["check", "a", "--max-problems", "-1"], "--max-problems takes an integer from 0 to 18446744073709551615, not '-1'"),
        (["check", "a", "--max-problems=1", "--max-problems=2"], "option '--max-problems' given more than once"),
        (["check", "a", "--json=yes"], "option '--json' takes no value"),
        (["check", "a", "--min", "2"], "unknown option '--min'"),
        (["check", "a", "-j", "0"], "--jobs takes an integer from 1 to 1024, not '0'"),
        (["check", "a", "--jobs=2", "--jobs=2"], "option '--jobs' given more than once"),
        (["check", "a", "--combine", "sum"], "option '--combine' needs '--layers'"),
        (["check", "a", "--layers", "-1,x"],
         "--layers takes an integer from -4294967295 to 4294967295 or several separated by commas, not '-1,x'"),
        (["check", "a", "--format=words"], "--format takes text or binary, not 'words'"),
    ],
)
def test_bad_usage_exits_2(program, arguments, message):
    result = run_cli(program, arguments)
    assert (result.returncode, result.stdout) == (2, b"")
    assert result.stderr.decode() == USAGE + ERROR + message + "\n"


def test_unreadable_input_fails_like_the_conversion(program, tmp_path):
    missing = str(tmp_path / "absent.jsonl")
    checked = check(program, missing)
    converted = run_cli(program, [missing, str(tmp_path / "out.txt")])
    assert checked.returncode == converted.returncode == 1
    assert checked.stderr == converted.stderr and checked.stderr.startswith(ERROR.encode())
    assert checked.stdout == b""


# Every JSON conformance case, embedded where the reader meets any JSON value
# (an unknown member) and, for strings, as a token: the lines the conversion
# rejects, each judged alone by processor, are exactly the lines check flags.
CASE_DIR = ROOT / "tests" / "data" / "jsontestsuite" / "test_parsing"


def embedded_cases():
    lines = []
    for case in sorted(CASE_DIR.glob("*.json")):
        body = case.read_bytes().strip(b"\n")
        if b"\n" in body:
            continue  # cannot stand within one line
        lines.append(b'{"linex_index":0,"features":[],"x":' + body + b"}")
        stripped = body.strip(b" \t\r")
        if stripped.startswith(b'"'):
            lines.append(b"[0,[[" + stripped + b",[[0,[1]]]]]]")
    return lines


def processor_verdict(module, tmp_path, line, capfd):
    """'ok', 'rejected' or 'failed' for a file of this one line."""
    source = tmp_path / "one.jsonl"
    source.write_bytes(line + b"\n")
    try:
        module.processor(str(source), str(tmp_path / "one.txt"))
    except BaseException as error:  # PanicException
        assert "valid UTF-8" in str(error)
        return "failed"
    finally:
        printed = capfd.readouterr().out
    return "rejected" if "Error parsing line" in printed else "ok"


def test_flags_exactly_the_lines_the_conversion_rejects(program, module, tmp_path, capfd):
    cases = embedded_cases()
    assert len(cases) > 300
    expected = {}
    lines = []
    for case in cases:
        lines += [case, b'[1,[["t",[[0,[1]]]]]]']  # an accepted line between cases
        expected[len(lines) - 1] = processor_verdict(module, tmp_path, case, capfd)
    assert {"ok", "rejected", "failed"} <= set(expected.values())
    for order in ("as listed", "reversed"):
        if order == "reversed":
            lines.reverse()
            expected = {len(lines) + 1 - n: verdict for n, verdict in expected.items()}
        source = tmp_path / "all.jsonl"
        source.write_bytes(b"".join(line + b"\n" for line in lines))
        report = json.loads(check(program, str(source), "--json", "--max-problems", "100000").stdout)
        flagged = {p["line"]: p["kind"] for p in report["problems"]}
        kinds = {"rejected": "rejected", "failed": "not-utf8"}
        assert flagged == {n: kinds[v] for n, v in expected.items() if v != "ok"}
        first = min(flagged)
        assert report["reading_stops_at"] == first
        converted = run_cli(program, [str(source), str(tmp_path / "out.txt")])
        assert converted.returncode == (3 if flagged[first] == "rejected" else 1)
        if converted.returncode == 3:
            assert converted.stderr.decode().startswith(f"{ERROR}{source}:{first}:")
