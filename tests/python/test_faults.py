"""Faults from the system around a processor call: each one must end the call
with its exception and message, leave exactly the expected bytes at the
output path, and leave the process able to convert again.

Every case runs in a fresh interpreter, since several change process state
(resource limits, file descriptor 1, the user id). The child makes the failing
call, undoes what it can, makes a good call, and reports both outcomes in a
file (standard output may be the very thing that is broken)."""
import json
import os
import shutil
import stat
import subprocess
import sys
import tempfile
import textwrap
from pathlib import Path

import pytest

from conftest import record

PREFIX = "called `Result::unwrap()` on an `Err` value: "
NOBODY = 65534


def os_error(code, kind, message):
    return PREFIX + f'Os {{ code: {code}, kind: {kind}, message: "{message}" }}'


@pytest.fixture
def shared_dir():
    """A directory an unprivileged user can use too (pytest's own temporary
    directories are private to the user running the tests)."""
    path = Path(tempfile.mkdtemp(prefix="ondravane-faults-"))
    path.chmod(0o777)
    yield path
    for child in path.rglob("*"):
        if child.is_dir() and not child.is_symlink():
            child.chmod(0o777)
    shutil.rmtree(path)


def write(path, text, mode=0o644):
    path.write_bytes(text.encode() if isinstance(text, str) else text)
    path.chmod(mode)
    return path


GOOD_LINE = json.dumps(record(3, ("ok", [[1.5, -2.0]])))
GOOD_OUTPUT = b"1 2\nok:3:0 1.5 -2\n"


def run_fault(directory, setup, source, output, undo="", privileged=True, **kwargs):
    """Runs the failing call and then a good one in one child interpreter.
    Returns (first outcome, second outcome, stdout bytes)."""
    good_source = write(directory / "good.jsonl", GOOD_LINE + "\n")
    good_output = directory / "good-out.txt"
    result_file = directory / "result.json"
    drop = ""
    if not privileged and os.geteuid() == 0:
        # Permission bits mean nothing to root: become an ordinary user after
        # the module is imported (it lives in root's installation).
        drop = f"os.setgroups([]); os.setgid({NOBODY}); os.setuid({NOBODY})"
    code = f"""
import json, os, resource, signal, subprocess, sys
import ondravane_converter as m
{drop}

def call(source, output):
    try:
        m.processor(source, output)
        return None
    except BaseException as error:
        return [type(error).__name__, str(error)]

{setup}
first = call({str(source)!r}, {str(output)!r})
{undo}
second = call({str(good_source)!r}, {str(good_output)!r})
with open({str(result_file)!r}, "w") as f:
    json.dump([first, second, open({str(good_output)!r}, "rb").read().decode()], f)
"""
    completed = subprocess.run(
        [sys.executable, "-c", code], stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=300, **kwargs
    )
    assert completed.returncode == 0, completed.stderr.decode(errors="replace")
    first, second, good_text = json.loads(result_file.read_text())
    assert second is None, f"the call after the fault failed: {second}"
    assert good_text.encode() == GOOD_OUTPUT
    return first, completed.stdout


def test_output_on_a_full_device(shared_dir):
    if not os.path.exists("/dev/full"):
        pytest.skip("no /dev/full on this system")
    source = write(shared_dir / "in.jsonl", GOOD_LINE + "\n")
    link = shared_dir / "full"  # never the device path itself
    link.symlink_to("/dev/full")
    first, _ = run_fault(shared_dir, "", source, link)
    assert first == ["PanicException", os_error(28, "StorageFull", "No space left on device")]
    assert link.is_symlink() and stat.S_ISCHR(os.stat("/dev/full").st_mode)


@pytest.mark.parametrize("limit", [0, 1, 4095, 1 << 20, (1 << 20) + 7])
def test_file_size_limit_leaves_an_exact_prefix(shared_dir, limit):
    # Long enough to need several buffer drains past the largest limit.
    lines = [json.dumps(record(i, *[(f"t{i}_{k}", [[k * 0.25, -1e-7, 1e21]]) for k in range(40)])) for i in range(1500)]
    source = write(shared_dir / "in.jsonl", "\n".join(lines) + "\n")
    output = shared_dir / "out.txt"
    expected = ["60000 3\n"]
    for i in range(1500):
        expected += [f"t{i}_{k}:{i}:{k} {k * 0.25:g} -0.0000001 1{'0' * 21}\n" for k in range(40)]
    expected = "".join(expected).encode()
    assert len(expected) > limit + 2 * (1 << 20)
    first, _ = run_fault(
        shared_dir,
        # Python ignores SIGXFSZ, so a write past the limit fails with EFBIG.
        f"resource.setrlimit(resource.RLIMIT_FSIZE, ({limit}, resource.RLIM_INFINITY))",
        source,
        output,
        undo="resource.setrlimit(resource.RLIMIT_FSIZE, (resource.RLIM_INFINITY, resource.RLIM_INFINITY))",
    )
    assert first == ["PanicException", os_error(27, "FileTooLarge", "File too large")]
    assert output.read_bytes() == expected[:limit]


def test_standard_output_a_closed_pipe(shared_dir):
    source = write(shared_dir / "in.jsonl", GOOD_LINE + "\n")
    output = shared_dir / "out.txt"
    setup = textwrap.dedent(
        """
        saved = os.dup(1)
        read_end, write_end = os.pipe()
        os.close(read_end)
        os.dup2(write_end, 1)
        os.close(write_end)
        """
    )
    first, stdout = run_fault(shared_dir, setup, source, output, undo="os.dup2(saved, 1)")
    assert first == ["PanicException", "failed printing to stdout: Broken pipe (os error 32)"]
    assert not output.exists()  # the first message already failed: nothing was read or written
    assert stdout == b"".join(
        [b"Start Reading! (This may take a while)\n", b"Start Writing!(This may take a while)\n", b"Finish Writing!\n"]
    )


def test_input_is_a_directory(shared_dir):
    directory = shared_dir / "dir"
    directory.mkdir()
    output = shared_dir / "out.txt"
    first, _ = run_fault(shared_dir, "", directory, output)
    assert first == ["PanicException", os_error(21, "IsADirectory", "Is a directory")]
    assert not output.exists()


def test_input_missing(shared_dir):
    output = write(shared_dir / "out.txt", "old contents")
    first, _ = run_fault(shared_dir, "", shared_dir / "absent.jsonl", output)
    assert first == ["PanicException", os_error(2, "NotFound", "No such file or directory")]
    assert output.read_bytes() == b"old contents"  # reading failed before the writer touched it


def test_input_unreadable(shared_dir):
    source = write(shared_dir / "in.jsonl", GOOD_LINE + "\n", mode=0o000)
    output = write(shared_dir / "out.txt", "old contents", mode=0o666)
    first, _ = run_fault(shared_dir, "", source, output, privileged=False)
    assert first == ["PanicException", os_error(13, "PermissionDenied", "Permission denied")]
    assert output.read_bytes() == b"old contents"


def test_output_directory_not_writable(shared_dir):
    source = write(shared_dir / "in.jsonl", GOOD_LINE + "\n")
    locked = shared_dir / "locked"
    locked.mkdir()
    locked.chmod(0o555)
    first, _ = run_fault(shared_dir, "", source, locked / "out.txt", privileged=False)
    assert first == ["PanicException", os_error(13, "PermissionDenied", "Permission denied")]
    assert list(locked.iterdir()) == []


def test_existing_output_in_a_directory_not_writable(shared_dir):
    # The old entry cannot be removed: it must stay as it was.
    source = write(shared_dir / "in.jsonl", GOOD_LINE + "\n")
    locked = shared_dir / "locked"
    locked.mkdir()
    old = write(locked / "out.txt", "old contents", mode=0o666)
    locked.chmod(0o555)
    first, _ = run_fault(shared_dir, "", source, old, privileged=False)
    assert first == ["PanicException", os_error(13, "PermissionDenied", "Permission denied")]
    assert old.read_bytes() == b"old contents"


@pytest.mark.parametrize(
    "sent, expected_output, rejected",
    [
        # The writer goes away in the middle of a record: the reader sees the
        # end of its input, and the half line is a malformed record.
        (GOOD_LINE + "\n" + GOOD_LINE + "\n" + GOOD_LINE[:20], b"0 0\n", True),
        # The writer goes away after whole lines: what arrived is converted.
        (GOOD_LINE + "\n" + GOOD_LINE + "\n", b"2 2\nok:3:0 1.5 -2\nok:3:0 1.5 -2\n", False),
        # Nothing arrives at all.
        ("", b"0 0\n", False),
    ],
    ids=["mid-record", "after-whole-lines", "nothing"],
)
def test_input_fifo_closed_early(shared_dir, sent, expected_output, rejected):
    fifo = shared_dir / "in.fifo"
    os.mkfifo(fifo)
    payload = write(shared_dir / "payload", sent)
    output = shared_dir / "out.txt"
    # A separate process feeds the FIFO: the call holds the interpreter lock
    # while it waits in open(), so no thread of the child could.
    setup = f"feeder = subprocess.Popen(['sh', '-c', 'cat \"$0\" > \"$1\"', {str(payload)!r}, {str(fifo)!r}])"
    first, stdout = run_fault(shared_dir, setup, fifo, output, undo="feeder.wait()")
    assert first is None
    assert output.read_bytes() == expected_output
    assert (b"Error parsing line\n" in stdout) == rejected
    assert stat.S_ISFIFO(os.lstat(fifo).st_mode)


def test_invalid_utf8_after_a_million_valid_lines(shared_dir):
    line = b'[1,[["t",[[0,[0.5]]]]]]\n'
    source = shared_dir / "in.jsonl"
    source.write_bytes(line * 1_000_000 + b'[2,[["\xff",[[0,[1]]]]]]\n' + line)
    output = write(shared_dir / "out.txt", "old contents")
    first, stdout = run_fault(shared_dir, "", source, output)
    assert first == [
        "PanicException",
        PREFIX + 'Error { kind: InvalidData, message: "stream did not contain valid UTF-8" }',
    ]
    assert output.read_bytes() == b"old contents"  # the call never reached the writer
    assert b"Error parsing line" not in stdout
