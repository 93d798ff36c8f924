"""The module's Python surface: attributes, argument binding and conversion
errors, PanicException and the one-time initialisation."""
import operator
import sys

import pytest

from conftest import Index, project_version, record, run_python


def test_module_attributes(module):
    assert module.__doc__ == ""
    assert module.__all__ == ["processor", "version"]
    # The text that callers rely on, and the one place that sets it.
    assert module.version() == "ondravane_converter 0.3.7" == f"ondravane_converter {project_version()}"
    assert module.processor.__module__ == "ondravane_converter"
    assert module.version.__module__ == "ondravane_converter"
    assert module.processor.__text_signature__ == "(input, output, min=..., keep=..., seed=...)"
    assert module.version.__text_signature__ == "()"
    assert module.processor.__self__ is module
    assert not hasattr(module, "PanicException")


def test_version_takes_no_arguments(module):
    with pytest.raises(TypeError):
        module.version(1)


BINDING_ERRORS = [
    ((), {}, "processor() missing 2 required positional arguments: 'input' and 'output'"),
    ((), {"output": "o"}, "processor() missing 1 required positional argument: 'input'"),
    (("i",), {}, "processor() missing 1 required positional argument: 'output'"),
    (("i", "o", 1, 2, 3, 4), {"bogus": 1}, "processor() takes from 2 to 5 positional arguments but 6 were given"),
    (("i", "o"), {"input": "x"}, "processor() got multiple values for argument 'input'"),
    (("i", "o"), {"Min": 1}, "processor() got an unexpected keyword argument 'Min'"),
    (("i",), {"bogus": 1}, "processor() got an unexpected keyword argument 'bogus'"),
    (("i", "o", 1), {"keep": 1, "min": 2}, "processor() got multiple values for argument 'min'"),
]


@pytest.mark.parametrize("args, kwargs, message", BINDING_ERRORS)
def test_binding_errors(module, args, kwargs, message):
    with pytest.raises(TypeError) as caught:
        module.processor(*args, **kwargs)
    assert str(caught.value) == message


def test_unencodable_keyword_names_no_parameter(module):
    with pytest.raises(TypeError) as caught:
        module.processor("i", "o", **{"x\udcff": 1})
    assert str(caught.value) == "processor() got an unexpected keyword argument 'x\udcff'"


class PathText(str):
    pass


class CauseRaiser:
    def __index__(self):
        try:
            raise KeyError("inner")
        except KeyError as error:
            raise TypeError("no index here") from error


RENAMED_TYPE_ERRORS = [
    ({"input": b"i"}, "argument 'input': 'bytes' object cannot be converted to 'PyString'"),
    ({"output": None}, "argument 'output': 'NoneType' object cannot be converted to 'PyString'"),
    ({"input": PathText("i"), "output": 3}, "argument 'output': 'int' object cannot be converted to 'PyString'"),
    ({"min": 1.5}, "argument 'min': 'float' object cannot be interpreted as an integer"),
    ({"keep": "3"}, "argument 'keep': 'str' object cannot be interpreted as an integer"),
    ({"seed": 2.0}, "argument 'seed': 'float' object cannot be interpreted as an integer"),
    ({"input": Index}, "argument 'input': 'type' object cannot be converted to 'PyString'"),
]


@pytest.mark.parametrize("overrides, message", RENAMED_TYPE_ERRORS)
def test_conversion_type_errors_name_the_argument(module, overrides, message):
    arguments = {"input": "in", "output": "out", **overrides}
    with pytest.raises(TypeError) as caught:
        module.processor(**arguments)
    assert type(caught.value) is TypeError
    assert str(caught.value) == message
    assert caught.value.__cause__ is None
    assert caught.value.__suppress_context__


def test_renamed_type_error_keeps_the_cause(module):
    with pytest.raises(TypeError) as caught:
        module.processor("in", "out", min=CauseRaiser())
    assert str(caught.value) == "argument 'min': no index here"
    assert isinstance(caught.value.__cause__, KeyError)


class FancyTypeError(TypeError):
    pass


class FancyRaiser:
    def __index__(self):
        raise FancyTypeError("subclass passes unchanged")


@pytest.mark.parametrize(
    "overrides, error, message",
    [
        ({"keep": 2**63}, OverflowError, None),
        ({"min": -(2**63) - 1}, OverflowError, None),
        ({"seed": -1}, OverflowError, None),
        ({"seed": 2**64}, OverflowError, None),
        ({"min": FancyRaiser()}, FancyTypeError, "subclass passes unchanged"),
        ({"input": "bad \udc80 surrogate"}, UnicodeEncodeError, None),
    ],
)
def test_other_conversion_errors_pass_unchanged(module, overrides, error, message):
    arguments = {"input": "in", "output": "out", **overrides}
    with pytest.raises(error) as caught:
        module.processor(**arguments)
    assert type(caught.value) is error
    assert "argument" not in str(caught.value)
    if message is not None:
        assert str(caught.value) == message


def test_conversions_run_in_parameter_order_without_min(module, tmp_path):
    # keep and seed are converted even when there is nothing to filter, and
    # nothing is read or printed before they are.
    result = run_python(
        f"""
        import ondravane_converter as m
        try:
            m.processor({str(tmp_path / 'missing')!r}, 'out', keep=5, seed=-1)
        except OverflowError:
            print('overflow', flush=True)
        """
    )
    assert result.stdout == b"overflow\n"
    assert result.stderr == b""


def test_panic_exception_properties(module, tmp_path):
    missing = str(tmp_path / "missing.jsonl")
    with pytest.raises(BaseException) as caught:
        try:
            module.processor(missing, str(tmp_path / "out"))
        except Exception:  # must not catch it
            pytest.fail("PanicException was caught as an Exception")
    error = caught.value
    panic_type = type(error)
    assert panic_type.__module__ == "zarvo_runtime"
    assert panic_type.__qualname__ == "PanicException"
    assert panic_type.__bases__ == (BaseException,)
    assert panic_type.__doc__ == (
        "\nThe exception raised when Nobra code called from Python panics.\n\n"
        "Like SystemExit, this exception is derived from BaseException so that\n"
        "it will typically propagate all the way through the stack and cause the\n"
        "Python interpreter to exit.\n"
    )
    assert error.args == (str(error),)
    assert str(error).startswith("called `Result::unwrap()` on an `Err` value: Os { code: 2, kind: NotFound")
    # The type is created once and reused for every later failure.
    with pytest.raises(panic_type):
        module.processor(missing, str(tmp_path / "out"))


def test_failure_report_goes_to_stderr_before_python_sees_it(tmp_path):
    missing = str(tmp_path / "missing.jsonl")
    result = run_python(
        f"""
        import os, sys
        import ondravane_converter as m
        try:
            m.processor({missing!r}, 'out')
        except BaseException as e:
            os.write(2, b'caught: ' + str(e).encode() + b'\\n')
        """
    )
    lines = result.stderr.decode().splitlines()
    message = (
        "called `Result::unwrap()` on an `Err` value: "
        'Os { code: 2, kind: NotFound, message: "No such file or directory" }'
    )
    assert lines[0].startswith(f"thread '<unnamed>' panicked at '{message}', src/")
    file, line, column = lines[0].rsplit(", ", 1)[1].split(":")
    assert file.endswith(".cc") and line.isdigit() and column.isdigit()
    assert lines[-1] == "caught: " + message


def test_panic_fetched_back_from_python_code_is_resumed(tmp_path):
    missing = str(tmp_path / "missing.jsonl")
    result = run_python(
        f"""
        import os
        import ondravane_converter as m
        try:
            m.processor({missing!r}, 'out')
        except BaseException as e:
            panic = e

        class Reraise:
            def __index__(self):
                raise panic

        try:
            m.processor('in', 'out', min=Reraise())
        except BaseException as e:
            os.write(1, (type(e).__name__ + '|' + str(e) + '|' + repr(e.args)).encode())
        """
    )
    stderr = result.stderr.decode()
    assert "--- Zarvo is resuming a panic after fetching a PanicException from Python. ---\n" in stderr
    assert "Python stack trace below:\n" in stderr
    resumed = stderr.split("Python stack trace below:\n", 1)[1]
    assert "Traceback" in resumed and "PanicException" in resumed
    assert resumed.count("panicked at") == 0  # no second failure report
    # Only the first call got as far as reading; the second failed converting `min`.
    assert result.stdout.decode() == (
        "Start Reading! (This may take a while)\n"
        "PanicException|Unwrapped panic from Python code|('Unwrapped panic from Python code',)"
    )


def test_second_initialisation_is_refused():
    result = run_python(
        """
        import importlib, sys
        import ondravane_converter as first
        del sys.modules['ondravane_converter']
        try:
            importlib.import_module('ondravane_converter')
        except ImportError as e:
            print(type(e).__name__, e)
        print(first.version())
        """
    )
    assert result.stdout.decode().splitlines() == [
        "ImportError Zarvo modules may only be initialized once per interpreter process",
        f"ondravane_converter {project_version()}",
    ]


def test_only_the_entry_point_is_exported(module):
    import shutil
    import subprocess

    if shutil.which("nm") is None:
        pytest.skip("nm is not installed")
    assert module.__file__.endswith(".abi3.so")
    listing = subprocess.run(
        ["nm", "-D", "--defined-only", module.__file__], capture_output=True, text=True, check=True
    ).stdout
    symbols = [line.split()[-1] for line in listing.splitlines() if line.strip()]
    assert symbols == ["PyInit_ondravane_converter"]
