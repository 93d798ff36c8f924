"""How an output comes to stand at the output path: the command replaces
what was there only with a complete file, also when a signal ends it, and
both front ends write a path that leads to one of the process's own
descriptors through that descriptor, never removing the path."""
import os
import signal
import subprocess
import sys
import time

import pytest

from conftest import run_python
from test_cli import program  # noqa: F401 (a fixture)


def big_input(path):
    # About 40 MB of first layers, so that writing takes a while.
    line = '[0,[' + ",".join(f'["t{k}",[[0,[' + ",".join(["0.123456789"] * 768) + "]]]]" for k in range(25)) + "]]\n"
    path.write_text(line * 180)
    return str(path)


@pytest.mark.parametrize("sent", [signal.SIGINT, signal.SIGTERM, signal.SIGHUP, signal.SIGKILL],
                         ids=["SIGINT", "SIGTERM", "SIGHUP", "SIGKILL"])
def test_a_signal_while_writing_keeps_the_previous_output(program, tmp_path, sent):
    source = big_input(tmp_path / "in.jsonl")
    folder = tmp_path / "out"
    folder.mkdir()
    output = folder / "vectors.txt"
    output.write_bytes(b"the previous output\n")
    process = subprocess.Popen([program, source, str(output), "--jobs", "2"], stdin=subprocess.DEVNULL,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    # The signal comes once writing has begun.
    seen = b""
    while b"Start Writing!" not in seen:
        chunk = process.stdout.readline()
        assert chunk, "the command ended before it wrote"
        seen += chunk
    time.sleep(0.02)
    process.send_signal(sent)
    process.communicate(timeout=60)
    assert process.returncode == -sent
    assert output.read_bytes() == b"the previous output\n"
    assert sorted(os.listdir(folder)) == ["vectors.txt"]


def test_a_complete_output_replaces_the_previous_one(program, tmp_path):
    source = tmp_path / "in.jsonl"
    source.write_text('[0,[["a",[[0,[1.5,2]]]]]]\n')
    output = tmp_path / "vectors.txt"
    output.write_bytes(b"the previous output\n")
    os.chmod(output, 0o600)
    result = subprocess.run([program, str(source), str(output)], capture_output=True, timeout=60)
    assert result.returncode == 0, result.stderr
    assert output.read_bytes() == b"1 2\na:0:0 1.5 2\n"
    assert sorted(os.listdir(tmp_path)) == ["in.jsonl", "vectors.txt"]
    # A new file, with the bits of the umask as processor makes it.
    umask = os.umask(0)
    os.umask(umask)
    assert os.stat(output).st_mode & 0o777 == 0o666 & ~umask


FRONT_ENDS = {
    "command": lambda program, source, output: [program, source, output],
    "processor": lambda program, source, output: [
        sys.executable, "-c", f"import ondravane_converter as m; m.processor({source!r}, {output!r})"],
}


@pytest.mark.parametrize("front_end", sorted(FRONT_ENDS))
@pytest.mark.parametrize("target", ["/proc/self/fd/1", "/dev/fd/1"])
def test_a_link_to_standard_output_is_written_through_it(program, tmp_path, front_end, target):
    source = tmp_path / "in.jsonl"
    source.write_text('[0,[["a",[[0,[1.5,2]]]]]]\n')
    link = tmp_path / "stdout-link"
    link.symlink_to(target)
    captured = tmp_path / "captured.txt"
    with open(captured, "wb") as stdout:
        result = subprocess.run(FRONT_ENDS[front_end](program, str(source), str(link)),
                                stdin=subprocess.DEVNULL, stdout=stdout, stderr=subprocess.PIPE, timeout=60)
    assert result.returncode == 0, result.stderr
    # The messages and the output in the order they were written.
    assert captured.read_bytes() == (b"Start Reading! (This may take a while)\nStart Writing!(This may take a while)\n"
                                     b"1 2\na:0:0 1.5 2\nFinish Writing!\n")
    assert link.is_symlink() and os.readlink(link) == target


def test_a_link_to_standard_output_from_the_same_interpreter(tmp_path):
    # processor called twice in one process writes both outputs through the
    # descriptor, after what Python itself flushed there.
    source = tmp_path / "in.jsonl"
    source.write_text('[0,[["a",[[0,[1]]]]]]\n')
    link = tmp_path / "stdout-link"
    link.symlink_to("/proc/self/fd/1")
    captured = tmp_path / "captured.txt"
    with open(captured, "wb") as stdout:
        result = run_python(f"""
            import sys, ondravane_converter as m
            print("before", flush=True)
            m.processor({str(source)!r}, {str(link)!r})
            m.processor({str(source)!r}, {str(link)!r})
            """, stdout=stdout)
    assert result.returncode == 0, result.stderr
    text = captured.read_text()
    assert text.startswith("before\n") and text.count("1 1\na:0:0 1\n") == 2
    assert link.is_symlink()
