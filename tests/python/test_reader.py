"""Reading activation files through processor: token cleaning, line endings,
malformed lines and the reader's failures."""
import os

import pytest

from conftest import record, run_python

PREFIX = "called `Result::unwrap()` on an `Err` value: "


def identifiers(path):
    lines = open(path, encoding="utf-8").read().split("\n")
    return [line.split(" ", 1)[0] for line in lines[1:-1]]


@pytest.mark.parametrize(
    "token, cleaned",
    [
        ("##ing", "ing"),
        ("Ġthe", "the"),
        ("a##b", "ab"),
        ("###", "#"),
        ("####", ""),
        ("#Ġ#", "##"),
        ("ĠĠ", ""),
        ("plain", "plain"),
    ],
)
def test_token_cleaning(module, activation_file, tmp_path, token, cleaned):
    source = activation_file([record(4, (token, [[1.0]]))])
    output = tmp_path / "out.txt"
    module.processor(source, str(output))
    assert identifiers(output) == [f"{cleaned}:4:0"]


def test_escaped_marker_is_cleaned_too(module, activation_file, tmp_path):
    source = activation_file(['{"linex_index": 1, "features": [{"token": "\\u0120x", "layers": [[0, [2]]]}]}'])
    output = tmp_path / "out.txt"
    module.processor(source, str(output))
    assert output.read_text() == "1 1\nx:1:0 2\n"


@pytest.mark.parametrize("ending", ["\n", "\r\n"])
def test_line_endings(module, activation_file, tmp_path, ending):
    source = activation_file([record(0, ("a", [[1.0]])), record(1, ("b", [[2.0]]))], ending=ending)
    output = tmp_path / "out.txt"
    module.processor(source, str(output))
    assert output.read_text() == "2 1\na:0:0 1\nb:1:0 2\n"


@pytest.mark.parametrize(
    "content, expected_output, parse_error",
    [
        (b"", b"0 0\n", False),
        (b'[7, []]', b"0 0\n", False),  # last line without its line feed
        (b'[0, [["a", [[0, [1]]]]]]\r\r\n', b"1 1\na:0:0 1\n", False),  # one CR stays, as whitespace
        (b'[0, [["a", [[0, [1]]]]]]\n\n', b"0 0\n", True),  # a trailing empty line
        (b'[0, []]\r[1, []]\n', b"0 0\n", True),  # CR alone does not end a line
        (b'[0, [["a", [[0, [1]]]]]]\n{"linex_index": 1}\n\xff\n', b"0 0\n", True),  # never reads line 3
    ],
)
def test_whole_file_outcomes(activation_file, tmp_path, content, expected_output, parse_error):
    source = tmp_path / "input.jsonl"
    source.write_bytes(content)
    output = tmp_path / "out.txt"
    result = run_python(f"import ondravane_converter as m; m.processor({str(source)!r}, {str(output)!r})")
    assert result.returncode == 0, result.stderr
    assert output.read_bytes() == expected_output
    assert ("Error parsing line\n" in result.stdout.decode()) == parse_error


def reader_failure(module, source, tmp_path):
    output = tmp_path / "out.txt"
    with pytest.raises(BaseException) as caught:
        module.processor(source, str(output))
    assert type(caught.value).__name__ == "PanicException"
    assert not output.exists()
    return str(caught.value)


def test_missing_file(module, tmp_path):
    message = reader_failure(module, str(tmp_path / "missing.jsonl"), tmp_path)
    assert message == PREFIX + 'Os { code: 2, kind: NotFound, message: "No such file or directory" }'


def test_directory_fails_at_first_read(module, tmp_path):
    message = reader_failure(module, str(tmp_path), tmp_path)
    assert message == PREFIX + 'Os { code: 21, kind: IsADirectory, message: "Is a directory" }'


def test_nul_in_path(module, tmp_path):
    message = reader_failure(module, str(tmp_path / "a\0b"), tmp_path)
    assert message.startswith(PREFIX) and "file name contained an unexpected NUL byte" in message


@pytest.mark.parametrize("bad_line", [b"\xff", b'["\xc0\xaf"]', b'["\xed\xa0\x80"]', b'["\xf4\x90\x80\x80"]'])
def test_invalid_utf8_is_a_failure_not_a_parse_error(module, tmp_path, bad_line):
    source = tmp_path / "input.jsonl"
    source.write_bytes(b'[0, [["a", [[0, [1]]]]]]\n' + bad_line + b"\n")
    message = reader_failure(module, str(source), tmp_path)
    assert message.startswith(PREFIX)
    assert "InvalidData" in message and "stream did not contain valid UTF-8" in message


@pytest.mark.skipif(os.geteuid() == 0, reason="root reads files whatever their permission bits")
def test_unreadable_file(module, tmp_path):
    source = tmp_path / "input.jsonl"
    source.write_text("[0, []]\n")
    source.chmod(0)
    message = reader_failure(module, str(source), tmp_path)
    assert "kind: PermissionDenied" in message


def test_module_works_after_reader_failures(module, activation_file, tmp_path):
    for _ in range(3):
        reader_failure(module, str(tmp_path / "missing"), tmp_path)
    output = tmp_path / "out.txt"
    module.processor(activation_file([record(0, ("a", [[1.0]]))]), str(output))
    assert output.read_text() == "1 1\na:0:0 1\n"
