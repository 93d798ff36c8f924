"""Writing word-vector files through processor: the exact text, the value
format, and what happens at the output path."""
import json
import os
import stat

import pytest

from conftest import record, run_python

PREFIX = "called `Result::unwrap()` on an `Err` value: "


def test_worked_example(module, activation_file, tmp_path):
    source = activation_file(
        [record(0, ("dog", [[0.5, -1.0]]), ("cat", [[0.25, 2.0]])), record(1, ("sat", [[1e-7, 100.0]]))]
    )
    output = tmp_path / "out.txt"
    module.processor(source, str(output))
    assert output.read_bytes() == b"3 2\ndog:0:0 0.5 -1\ncat:0:1 0.25 2\nsat:1:0 0.0000001 100\n"


@pytest.mark.parametrize(
    "number, text",
    [
        ("1.0", "1"),
        ("100.0", "100"),
        ("0.5", "0.5"),
        ("-2.25", "-2.25"),
        ("0.1", "0.1"),
        ("0.30000000000000004", "0.30000000000000004"),
        ("0.3333333333333333", "0.3333333333333333"),
        ("1.5e-7", "0.00000015"),
        ("1e21", "1" + "0" * 21),
        ("1e23", "1" + "0" * 23),
        ("1.7976931348623157e308", "17976931348623157" + "0" * 292),
        ("5e-324", "0." + "0" * 323 + "5"),
        ("0", "0"),
        ("-0.0", "-0"),
        ("-1e-400", "-0"),
        ("123456789012345678901234567890", "123456789012345680000000000000"),
        ("0.12088995980580641", "0.1208899598058064"),
    ],
)
def test_value_format(module, activation_file, tmp_path, number, text):
    source = activation_file([f'[0, [["v", [[0, [{number}]]]]]]'])
    output = tmp_path / "out.txt"
    module.processor(source, str(output))
    assert output.read_text() == f"1 1\nv:0:0 {text}\n"


def test_header_identifiers_and_first_layer_only(module, activation_file, tmp_path):
    source = activation_file(
        [
            record(9),
            '[5, [["has space", [[5, [1, 2, 3]], [0, [9]]]], ["a:b", [[0, []]]], ["", [[0, [4]]]]]]',
            record(5, ("x", [[7.0]])),
        ]
    )
    output = tmp_path / "out.txt"
    module.processor(source, str(output))
    assert output.read_text() == "4 3\nhas space:5:0 1 2 3\na:b:5:1 \n:5:2 4\nx:5:0 7\n"


@pytest.mark.parametrize("records", [[], [record(0), record(1)]])
def test_no_features_writes_only_the_header(module, activation_file, tmp_path, records):
    source = activation_file(records)
    output = tmp_path / "out.txt"
    module.processor(source, str(output))
    assert output.read_text() == "0 0\n"


def write_failure(module, source, output):
    with pytest.raises(BaseException) as caught:
        module.processor(source, str(output))
    assert type(caught.value).__name__ == "PanicException"
    return str(caught.value)


def test_feature_without_layers(module, activation_file, tmp_path):
    output = tmp_path / "out.txt"
    first = activation_file([record(0, ("a", []))], name="first.jsonl")
    assert write_failure(module, first, output) == "index out of bounds: the len is 0 but the index is 0"
    assert output.read_bytes() == b""
    later = activation_file([record(0, ("a", [[1.0]]), ("b", [[2.0]])), record(1, ("c", []))], name="later.jsonl")
    assert write_failure(module, later, output) == "index out of bounds: the len is 0 but the index is 0"
    assert output.read_bytes() == b"3 1\na:0:0 1\nb:0:1 2\n"


def test_existing_file_and_link_are_replaced(module, activation_file, tmp_path):
    source = activation_file([record(0, ("a", [[1.0]]))])
    target = tmp_path / "target.txt"
    target.write_text("old contents that are longer than the new file\n")
    link = tmp_path / "link.txt"
    link.symlink_to(target)
    module.processor(source, str(link))
    assert not link.is_symlink() and link.read_text() == "1 1\na:0:0 1\n"
    assert target.read_text() == "old contents that are longer than the new file\n"
    module.processor(source, str(target))
    assert target.read_text() == "1 1\na:0:0 1\n"


# Ways for the output path to name the input file: (input path, output path)
# relative to the test directory, after "in.jsonl" and the links are made.
SAME_FILE = {
    "same path": ("in.jsonl", "in.jsonl"),
    "another spelling": ("in.jsonl", "sub/../in.jsonl"),
    "link to the input": ("in.jsonl", "link-to-in"),
    "input is a link to the output": ("link-to-in", "in.jsonl"),
    "hard link": ("in.jsonl", "hard-link"),
}


@pytest.mark.parametrize("content", ["good", "malformed"])
@pytest.mark.parametrize("way", SAME_FILE)
def test_output_naming_the_input_is_refused(module, tmp_path, capfd, way, content):
    lines = [json.dumps(record(0, ("a", [[1.0]])))] + (["{not json"] if content == "malformed" else [])
    original = ("\n".join(lines) + "\n").encode()
    (tmp_path / "in.jsonl").write_bytes(original)
    (tmp_path / "sub").mkdir()
    (tmp_path / "link-to-in").symlink_to(tmp_path / "in.jsonl")
    os.link(tmp_path / "in.jsonl", tmp_path / "hard-link")
    source, output = (str(tmp_path / name) for name in SAME_FILE[way])
    message = write_failure(module, source, output)
    assert message == "the output path names the input file: " + output
    # Refused before the first stage message: nothing printed, read, removed or written.
    assert capfd.readouterr().out == ""
    assert (tmp_path / "in.jsonl").read_bytes() == original
    assert os.path.samefile(tmp_path / "link-to-in", tmp_path / "in.jsonl")
    assert os.path.samefile(tmp_path / "hard-link", tmp_path / "in.jsonl")


def test_special_file_as_input_and_output_is_used_in_place(module, tmp_path):
    # /dev/null read as an empty input and written through a link: the same
    # file on both sides, but a device is written in place, never removed.
    link = tmp_path / "null"
    link.symlink_to("/dev/null")
    module.processor("/dev/null", str(link))
    assert link.is_symlink() and stat.S_ISCHR(os.stat("/dev/null").st_mode)


def test_dangling_link_creates_its_target(module, activation_file, tmp_path):
    source = activation_file([record(0, ("a", [[1.0]]))])
    link = tmp_path / "link.txt"
    link.symlink_to(tmp_path / "created.txt")
    module.processor(source, str(link))
    assert link.is_symlink()
    assert (tmp_path / "created.txt").read_text() == "1 1\na:0:0 1\n"


@pytest.mark.parametrize(
    "make_output, expected",
    [
        (lambda tmp: tmp / "missing" / "out.txt", 'Os { code: 2, kind: NotFound, message: "No such file or directory" }'),
        (lambda tmp: tmp, 'Os { code: 21, kind: IsADirectory, message: "Is a directory" }'),
        (lambda tmp: str(tmp / "a\0b"), "file name contained an unexpected NUL byte"),
    ],
)
def test_output_path_failures(module, activation_file, tmp_path, make_output, expected):
    source = activation_file([record(0, ("a", [[1.0]]))])
    output = make_output(tmp_path)
    message = write_failure(module, source, output)
    assert message.startswith(PREFIX) and expected in message
    assert os.path.exists(source)  # the directory case leaves everything untouched


def test_fifo_is_written_in_place(module, activation_file, tmp_path):
    source = activation_file([record(0, ("a", [[1.0]]), ("b", [[-2.5]]))])
    fifo = tmp_path / "pipe"
    os.mkfifo(fifo)
    # A non-blocking read end lets the writer open the FIFO at once; should the
    # FIFO ever be replaced by a file instead, the test fails rather than hangs.
    read_end = os.open(fifo, os.O_RDONLY | os.O_NONBLOCK)
    try:
        module.processor(source, str(fifo))
        assert os.read(read_end, 65536) == b"2 1\na:0:0 1\nb:0:1 -2.5\n"
    finally:
        os.close(read_end)
    assert stat.S_ISFIFO(os.lstat(fifo).st_mode)


def test_dev_full_is_not_removed_and_fails_to_write(module, activation_file, tmp_path):
    if not os.path.exists("/dev/full"):
        pytest.skip("no /dev/full on this system")
    source = activation_file([record(0, ("a", [[1.0]]))])
    # Through a link of our own: were devices ever removed again, only the
    # link would go, never the system's device.
    link = tmp_path / "full"
    link.symlink_to("/dev/full")
    message = write_failure(module, source, link)
    assert message == PREFIX + 'Os { code: 28, kind: StorageFull, message: "No space left on device" }'
    assert link.is_symlink()
    assert stat.S_ISCHR(os.stat("/dev/full").st_mode)


def test_file_size_limit_leaves_a_prefix(activation_file, tmp_path):
    features = [(f"token{i}", [[float(i), 0.5]]) for i in range(2000)]
    source = activation_file([record(0, *features)])
    output = tmp_path / "out.txt"
    result = run_python(
        f"""
        import resource
        import ondravane_converter as m
        resource.setrlimit(resource.RLIMIT_FSIZE, (1000, resource.RLIM_INFINITY))
        try:
            m.processor({source!r}, {str(output)!r})
        except BaseException as e:
            print(str(e))
        """
    )
    assert result.stdout.decode().splitlines()[-1] == (
        PREFIX + 'Os { code: 27, kind: FileTooLarge, message: "File too large" }'
    )
    written = output.read_bytes()
    assert len(written) == 1000
    expected = "2000 2\n" + "".join(f"token{i}:0:{i} {i} 0.5\n" for i in range(2000))
    assert written == expected.encode()[:1000]
