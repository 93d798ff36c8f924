"""Progress bars on a terminal: the exact bytes a conversion draws on file
descriptor 2 when it is a pseudo-terminal, and silence otherwise."""
import os
import struct
import subprocess
import sys

from conftest import drawn_on_terminal, record

ERASE = b"\r\x1b[2K"


def f32(value):
    return struct.unpack("f", struct.pack("f", value))[0]


def bar_line(position, length, width=80):
    suffix = f" {position}/{length}"
    cells = max(width - len(suffix), 0)
    if length == 0:
        fraction = 1.0
    elif position == 0:
        fraction = 0.0
    else:
        fraction = min(f32(f32(position) / f32(length)), 1.0)
    done = int(f32(f32(cells) * fraction))
    line = "█" * done + "░" * (cells - done) + suffix
    return (line + " " * max(width - len(line), 0)).encode()


def run_on_terminal(source, output):
    code = f"import ondravane_converter as m; m.processor({source!r}, {output!r})"
    status, _, drawn = drawn_on_terminal([sys.executable, "-c", code], None)
    assert status == 0
    return drawn


def test_bars_on_a_terminal(activation_file, tmp_path):
    lines = [record(i, ("tok", [[1.0, 2.0]])) for i in range(3)]
    source = activation_file(lines)
    size = os.path.getsize(source)
    first_line = len(open(source, "rb").readline())
    drawn = run_on_terminal(source, str(tmp_path / "out.txt"))
    # Reading: the first advance draws at once, laid out for 80 columns
    # because standard output is not a terminal.
    assert drawn.startswith(bar_line(first_line, size))
    reading_redraws = [ERASE + bar_line(first_line * k, size) for k in (2, 3)]
    for redraw in reading_redraws:
        assert redraw in drawn
    # Writing: one line per occurrence.
    for position in (1, 2, 3):
        assert ERASE + bar_line(position, 3) in drawn
    # Every bar is erased when its stage ends, leaving the cursor at column 0.
    assert drawn.endswith(ERASE)
    assert drawn.count(ERASE + bar_line(3, 3) + ERASE) == 1


def test_no_bar_bytes_when_stderr_is_a_file(activation_file, tmp_path):
    source = activation_file([record(i, ("tok", [[1.0]])) for i in range(50)])
    log = tmp_path / "stderr.log"
    with open(log, "wb") as stderr:
        subprocess.run(
            [sys.executable, "-c", f"import ondravane_converter as m; m.processor({source!r}, {str(tmp_path / 'o')!r}, 1)"],
            stdout=subprocess.DEVNULL,
            stderr=stderr,
            check=True,
            timeout=120,
        )
    assert log.read_bytes() == b""
