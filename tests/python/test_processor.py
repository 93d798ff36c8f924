"""The conversion driver: stage messages on file descriptor 1, the optional
filter, defaults, and failures through processor."""
import json
import os

import pytest

from conftest import Index, project_version, record, run_python

READ = "Start Reading! (This may take a while)\n"
FILTER = "Start Filtering!\n"
COUNT = "Start Counting!\n"
SELECT = "Start Filtering based on then counted value!\n"
WRITE = "Start Writing!(This may take a while)\n"
FINISH = "Finish Writing!\n"
UNFILTERED = READ + WRITE + FINISH
FILTERED = READ + FILTER + COUNT + SELECT + WRITE + FINISH

CORPUS = [
    record(0, ("the", [[0.5, -1.0]]), ("cat", [[0.25, 2.0]])),
    record(1, ("the", [[1e-7, 100.0]])),
]


def convert_in_subprocess(input_path, output_path, call_arguments):
    code = f"""
        import ondravane_converter as m
        result = m.processor({input_path!r}, {output_path!r}{call_arguments})
        assert result is None
        """
    return run_python(code)


@pytest.mark.parametrize(
    "call_arguments, expected",
    [
        ("", UNFILTERED),
        (", min=None", UNFILTERED),
        (", None, 5, 7", UNFILTERED),
        (", keep=5, seed=7", UNFILTERED),
        (", 0", FILTERED),
        (", min=2, keep=None, seed=None", FILTERED),
        (", 2, 10, 42", FILTERED),
    ],
)
def test_stage_messages_in_order(activation_file, tmp_path, call_arguments, expected):
    source = activation_file(CORPUS)
    result = convert_in_subprocess(source, str(tmp_path / "out.txt"), call_arguments)
    assert result.returncode == 0, result.stderr
    assert result.stdout.decode() == expected
    assert result.stderr == b""


def test_positional_and_keyword_filter_arguments_are_the_same_call(activation_file, tmp_path, module):
    corpus = [record(i, *[(f"t{j % 3}", [[float(i), float(j)]]) for j in range(6)]) for i in range(20)]
    source = activation_file(corpus)
    by_position, by_keyword = tmp_path / "a.txt", tmp_path / "b.txt"
    convert_in_subprocess(source, str(by_position), ", 2, 10, 42")
    convert_in_subprocess(source, str(by_keyword), ", keep=10, seed=42, min=2")
    assert by_position.read_bytes() == by_keyword.read_bytes()


def test_messages_bypass_python_stdout(activation_file, tmp_path):
    source = activation_file(CORPUS)
    result = run_python(
        f"""
        import io, sys
        import ondravane_converter as m
        sys.stdout = io.StringIO()
        m.processor({source!r}, {str(tmp_path / 'out.txt')!r})
        captured = sys.stdout.getvalue()
        sys.stdout = sys.__stdout__
        print('captured:', repr(captured))
        """
    )
    assert result.stdout.decode() == UNFILTERED + "captured: ''\n"


def test_accepted_argument_forms(activation_file, tmp_path, module):
    class Text(str):
        pass

    source = activation_file(CORPUS)
    reference = tmp_path / "reference.txt"
    module.processor(source, str(reference), 1)
    outputs = []
    for i, arguments in enumerate(
        [
            {"min": True},
            {"min": Index(1), "keep": -1},
            {"min": 1, "keep": Index(3)},
            {"min": 1, "seed": 18446744073709551615},
            {"min": 1, "keep": -(2**63)},
        ]
    ):
        target = tmp_path / f"out{i}.txt"
        module.processor(Text(source), Text(str(target)), **arguments)
        outputs.append(target.read_bytes())
    assert outputs == [reference.read_bytes()] * len(outputs)


def test_malformed_line_yields_empty_output(activation_file, tmp_path):
    source = activation_file([CORPUS[0], "{not json", CORPUS[1]])
    output = tmp_path / "out.txt"
    result = convert_in_subprocess(source, str(output), ", 1")
    assert result.returncode == 0
    assert result.stdout.decode() == READ + "Error parsing line\n" + FILTER + COUNT + SELECT + WRITE + FINISH
    assert output.read_bytes() == b"0 0\n"


def test_failure_while_reading_stops_before_writing(tmp_path):
    output = tmp_path / "out.txt"
    result = run_python(
        f"""
        import ondravane_converter as m
        try:
            m.processor({str(tmp_path / 'missing')!r}, {str(output)!r})
        except BaseException as e:
            print(type(e).__name__)
        print(m.version())
        """
    )
    assert result.stdout.decode() == READ + f"PanicException\nondravane_converter {project_version()}\n"
    assert not output.exists()


def test_closed_stdout_is_a_failure(activation_file, tmp_path):
    source = activation_file(CORPUS)
    result = run_python(
        f"""
        import os
        import ondravane_converter as m
        read_end, write_end = os.pipe()
        os.close(read_end)
        saved = os.dup(1)
        os.dup2(write_end, 1)
        try:
            m.processor({source!r}, {str(tmp_path / 'out.txt')!r})
        except BaseException as e:
            message = type(e).__name__ + ': ' + str(e)
        os.dup2(saved, 1)
        print(message)
        """
    )
    assert result.stdout.decode() == "PanicException: failed printing to stdout: Broken pipe (os error 32)\n"
    assert "panicked at 'failed printing to stdout: Broken pipe (os error 32)'" in result.stderr.decode()
