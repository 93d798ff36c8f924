"""The wheel: its name and tags, its contents, a portable build, and what a
fresh virtual environment gets from it (module, command, typing stubs)."""
import email.parser
import gzip
import os
import pathlib
import re
import shutil
import stat
import subprocess
import sys
import textwrap
import zipfile

import pytest

from conftest import ROOT, project_version

SAMPLE = ROOT / "samples" / "sample.jsonl"
VERSION = project_version()
WHEEL_NAME = re.compile(
    rf"ondravane_converter-{re.escape(VERSION)}-cp38-abi3-"
    r"(?P<platform>linux_(?P<arch>x86_64|i686)|manylinux_\d+_\d+_(?P<march>x86_64|i686)(\.manylinux\w+_(?P=march))*"
    r"|manylinux\d+_(?P<oarch>x86_64|i686))\.whl"
)


def run(command, **kwargs):
    return subprocess.run(command, capture_output=True, text=True, timeout=600, **kwargs)


@pytest.fixture(scope="session")
def built(tmp_path_factory):
    """Builds the wheel once, in a build folder of its own, unless
    ONDRAVANE_WHEEL and ONDRAVANE_WHEEL_BUILD name a wheel built elsewhere and
    its build folder (scripts/build-wheels)."""
    if os.environ.get("ONDRAVANE_WHEEL"):
        return pathlib.Path(os.environ["ONDRAVANE_WHEEL"]), pathlib.Path(os.environ["ONDRAVANE_WHEEL_BUILD"])
    folder = tmp_path_factory.mktemp("wheel")
    result = run(
        [sys.executable, "-m", "pip", "wheel", str(ROOT), "--no-deps", "-w", str(folder / "dist"),
         "--config-settings=build-dir=" + str(folder / "build")],
    )
    assert result.returncode == 0, result.stdout + result.stderr
    wheels = list((folder / "dist").glob("*.whl"))
    assert len(wheels) == 1, wheels
    return wheels[0], folder / "build"


@pytest.fixture(scope="session")
def wheel(built):
    return built[0]


@pytest.fixture(scope="session")
def venv(tmp_path_factory, wheel):
    """A fresh virtual environment with only the wheel (and mypy) installed."""
    folder = tmp_path_factory.mktemp("venv") / "env"
    result = run([sys.executable, "-m", "venv", str(folder)])
    assert result.returncode == 0, result.stderr
    python = folder / "bin" / "python"
    result = run([str(python), "-m", "pip", "install", "-q", str(wheel)])
    assert result.returncode == 0, result.stdout + result.stderr
    return folder


# The wheel's processor is the interpreter's, not the host's: a 32-bit
# interpreter on a 64-bit kernel builds for i686.
ARCHITECTURE = "x86_64" if sys.maxsize > 2**32 else "i686"


def test_wheel_name_and_tags(wheel):
    assert WHEEL_NAME.fullmatch(wheel.name), wheel.name
    with zipfile.ZipFile(wheel) as archive:
        info = email.parser.Parser().parsestr(archive.read(f"ondravane_converter-{VERSION}.dist-info/WHEEL").decode())
        metadata = email.parser.Parser().parsestr(
            archive.read(f"ondravane_converter-{VERSION}.dist-info/METADATA").decode()
        )
    assert info["Root-Is-Purelib"] == "false"
    platform = WHEEL_NAME.fullmatch(wheel.name)["platform"].split(".")
    assert sorted(info.get_all("Tag")) == sorted(f"cp38-abi3-{tag}" for tag in platform)
    assert (metadata["Name"], metadata["Version"]) == ("ondravane_converter", VERSION)
    assert metadata["Requires-Python"] == ">=3.8"
    assert wheel.name.endswith(f"_{ARCHITECTURE}.whl"), wheel.name


def test_wheel_contents(wheel):
    with zipfile.ZipFile(wheel) as archive:
        # Directory entries (a repaired wheel has them) are not files.
        names = {name for name in archive.namelist() if not name.endswith("/")}
        script = archive.getinfo(f"ondravane_converter-{VERSION}.data/scripts/ondravane-converter")
        record = archive.read(f"ondravane_converter-{VERSION}.dist-info/RECORD").decode()
    # The module sits at the top level (no package) under the stable-ABI name.
    assert "ondravane_converter.abi3.so" in names
    assert not any(name.startswith("ondravane_converter/") for name in names)
    assert "ondravane_converter-stubs/__init__.pyi" in names
    assert stat.S_IMODE(script.external_attr >> 16) & 0o111, "the command is not executable"
    recorded = {line.split(",")[0] for line in record.splitlines() if line}
    assert names == recorded


def test_portable_build(built):
    """No flag tunes the distributed build to the machine that built it."""
    _, build = built
    # Ninja or Makefile generator: the files that hold the compile and link lines.
    flag_files = [*build.rglob("*.ninja"), *build.rglob("flags.make"), *build.rglob("link.txt")]
    assert flag_files and any("ondravane" in path.read_text(errors="replace") for path in flag_files)
    flag_files.append(build / "CMakeCache.txt")
    for path in flag_files:
        text = path.read_text(errors="replace")
        for flag in ("-march=native", "-mtune=native", "-mcpu=native"):
            assert flag not in text, f"{flag} in {path}"


# scripts/build-wheels refuses a wheel unless every tag of its name, and the
# tag `auditwheel show` confirms, needs no newer glibc than the configured one.
# Rows: platform tags of the name, glibc, the confirmed tag (None: auditwheel
# confirms none), accepted. Legacy aliases stand for the glibc their
# definitions name: manylinux1 2.5, manylinux2010 2.12, manylinux2014 2.17.
TAG_CASES = [
    ("manylinux_2_24_x86_64", "2.28", "manylinux_2_24_x86_64", True),
    ("manylinux_2_28_i686", "2.28", "manylinux_2_28_i686", True),
    ("manylinux_2_17_x86_64.manylinux2014_x86_64", "2.17", "manylinux_2_17_x86_64", True),
    ("manylinux_2_5_i686.manylinux1_i686", "2.28", "manylinux_2_5_i686", True),
    ("manylinux2010_x86_64", "2.12", "manylinux2010_x86_64", True),
    ("manylinux_2_9_x86_64", "2.28", "manylinux_2_9_x86_64", True),  # 9 < 28 as numbers
    ("manylinux_2_28_x86_64", "3.0", "manylinux_2_28_x86_64", True),
    ("manylinux_2_34_x86_64", "2.28", "manylinux_2_34_x86_64", False),
    ("manylinux_2_24_x86_64.manylinux_2_31_x86_64", "2.28", "manylinux_2_24_x86_64", False),
    ("manylinux2014_i686", "2.12", "manylinux2014_i686", False),
    ("linux_x86_64", "2.28", "manylinux_2_24_x86_64", False),
    ("manylinux_2_24_x86_64", "2.28", "manylinux_2_34_x86_64", False),  # the contents need more than the name says
    ("manylinux_2_24_x86_64", "2.28", None, False),
]


@pytest.mark.parametrize("platform, glibc, confirmed, accepted", TAG_CASES)
def test_wheel_tags_no_newer_than_the_glibc(platform, glibc, confirmed, accepted):
    name = f"ondravane_converter-{VERSION}-cp38-abi3-{platform}.whl"
    # As auditwheel prints it, wrapped.
    shown = f'{name} is consistent with the\nfollowing platform tag: "{confirmed}".' if confirmed else "no tag"
    result = run([sys.executable, str(ROOT / "scripts" / "check-wheel-tags"), name, glibc, shown])
    assert (result.returncode == 0) == accepted, result.stderr
    assert (result.stderr == "") == accepted


def test_fresh_environment_imports_and_converts(venv, tmp_path):
    python, command = venv / "bin" / "python", venv / "bin" / "ondravane-converter"
    code = textwrap.dedent(
        f"""
        import ondravane_converter as m
        print(m.__file__, flush=True)  # before the module's own writes to fd 1
        print(m.version(), flush=True)
        m.processor({str(SAMPLE)!r}, "python.txt")
        """
    )
    # Run from an empty folder so nothing but the environment can be imported.
    result = run([str(python), "-c", code], cwd=tmp_path)
    assert result.returncode == 0, result.stderr
    lines = result.stdout.splitlines()
    assert lines[0].startswith(str(venv)) and lines[0].endswith(".abi3.so")
    assert lines[1] == f"ondravane_converter {VERSION}"
    assert lines[2:] == ["Start Reading! (This may take a while)", "Start Writing!(This may take a while)",
                         "Finish Writing!"]

    version = run([str(command), "--version"])
    assert (version.returncode, version.stdout) == (0, f"ondravane_converter {VERSION}\n")
    converted = run([str(command), str(SAMPLE), "cli.txt"], cwd=tmp_path)
    assert converted.returncode == 0, converted.stderr
    output = (tmp_path / "cli.txt").read_bytes()
    assert output == (tmp_path / "python.txt").read_bytes()
    header, *vectors = output.decode().splitlines()
    assert header == f"{len(vectors)} 4" and len(vectors) > 0


def needed_libraries(path):
    dynamic = run(["readelf", "-d", str(path)])
    assert dynamic.returncode == 0, dynamic.stderr
    return re.findall(r"\(NEEDED\)\s+Shared library: \[([^\]]+)\]", dynamic.stdout)


@pytest.mark.skipif(not shutil.which("readelf"), reason="readelf (binutils) is not installed")
def test_only_the_command_reads_compressed_input(venv, tmp_path):
    command = venv / "bin" / "ondravane-converter"
    module = next(venv.rglob("ondravane_converter.abi3.so"))
    # The module needs nothing but the C++ runtime and the interpreter.
    assert not [name for name in needed_libraries(module) if re.match(r"lib(z|zstd)\.", name)]
    if not os.environ.get("ONDRAVANE_WHEEL"):
        pytest.skip("a wheel of this machine links the system's compression libraries, if any")
    # A published wheel's command has both formats built in, and needs no
    # library of the system for them.
    assert not [name for name in needed_libraries(command) if re.match(r"lib(z|zstd)\.", name)]
    help_text = run([str(command), "--help"]).stdout
    assert "\ncompressed input: gzip, zstd\n" in help_text
    plain = run([str(command), str(SAMPLE), "plain.txt"], cwd=tmp_path)
    assert plain.returncode == 0, plain.stderr
    (tmp_path / "in.gz").write_bytes(gzip.compress(SAMPLE.read_bytes()))
    inputs = ["in.gz"]
    if shutil.which("zstd"):
        run(["zstd", "-q", "-o", str(tmp_path / "in.zst"), str(SAMPLE)])
        inputs.append("in.zst")
    for name in inputs:
        converted = run([str(command), name, name + ".txt"], cwd=tmp_path)
        assert converted.returncode == 0, converted.stderr
        assert (tmp_path / (name + ".txt")).read_bytes() == (tmp_path / "plain.txt").read_bytes()


GOOD_USAGE = """\
from typing import Callable, Optional

import ondravane_converter
from ondravane_converter import processor, version


def convert(source: str, target: str, minimum: Optional[int]) -> None:
    processor(source, target)
    processor(source, target, minimum, 10, seed=42)
    processor(input=source, output=target, min=None, keep=None, seed=None)
    ondravane_converter.processor(source, target, min=2)


simple: Callable[[str, str], None] = processor
full: Callable[[str, str, Optional[int], Optional[int], Optional[int]], None] = processor


text: str = version()
names: list[str] = ondravane_converter.__all__
"""

# Wrong uses, each with the error code mypy must report for it.
BAD_USAGE = {
    "processor(1, 2)": "arg-type",
    "processor('a', 'b', min='2')": "arg-type",
    "processor('a', 'b', 1.5)": "arg-type",
    "processor('a')": "call-arg",
    "processor('a', 'b', mn=2)": "call-arg",
    "processor('a', 'b', 1, 2, 3, 4)": "call-arg",
    "version(1)": "call-arg",
    "count: int = version()": "assignment",
    "x: int = processor('a', 'b')": "func-returns-value",
    "from ondravane_converter import PanicException": "attr-defined",
}


@pytest.fixture(scope="session")
def mypy_results(venv, tmp_path_factory):
    """Runs mypy --strict in the fresh environment, once on the good file and
    once on one file per wrong use; returns {file name: (status, messages)}."""
    python = str(venv / "bin" / "python")
    result = run([python, "-m", "pip", "install", "-q", "mypy"])
    if result.returncode != 0:
        pytest.fail("could not install mypy into the environment:\n" + result.stdout + result.stderr)
    folder = tmp_path_factory.mktemp("typing")
    (folder / "good.py").write_text(GOOD_USAGE)
    bad_files = []
    for number, line in enumerate(BAD_USAGE):
        prefix = "" if line.startswith("from ") else "from ondravane_converter import processor, version\n"
        (folder / f"bad{number}.py").write_text(prefix + line + "\n")
        bad_files.append(f"bad{number}.py")
    mypy = [python, "-m", "mypy", "--strict", "--show-error-codes", "--no-error-summary"]
    good = run([*mypy, "good.py"], cwd=folder)
    results = {"good.py": (good.returncode, good.stdout + good.stderr)}
    bad = run([*mypy, *bad_files], cwd=folder)
    for name in bad_files:
        lines = [line for line in bad.stdout.splitlines() if line.startswith(name + ":")]
        results[name] = (bad.returncode, "\n".join(lines))
    return results


def test_stubs_pass_strict_type_checking(mypy_results):
    status, output = mypy_results["good.py"]
    assert (status, output) == (0, "")


@pytest.mark.parametrize("number, line", list(enumerate(BAD_USAGE)), ids=list(BAD_USAGE))
def test_type_checker_flags_wrong_calls(mypy_results, number, line):
    status, output = mypy_results[f"bad{number}.py"]
    assert status == 1
    assert f"[{BAD_USAGE[line]}]" in output, output
